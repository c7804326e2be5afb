#include "codecs/cgifparser.h"

#include "codecs/modparsers.h"
#include "codecs/stream_range.h"
#include "platform/gdi/gdi.h"
#include "surface/dib_surface.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <optional>
#include <string_view>

using namespace platform;
using namespace modParsers;

namespace {

constexpr std::uint8_t kExtension = 0x21;
constexpr std::uint8_t kImage = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kGraphicControl = 0xF9;
constexpr std::size_t kGraphicControlSize = 8;

// The end of a run of data sub-blocks starting at `at`: the position after
// its terminating size byte, or none when the run leaves the data.
std::optional<std::size_t> skipSubBlocks(std::span<const std::uint8_t> d, std::size_t at) {
    while (at < d.size()) {
        const std::size_t n = d[at];
        ++at;
        if (n == 0) return at;
        at += n;
    }
    return std::nullopt;
}

// Like skipSubBlocks, but a run cut short by the end of the data ends at its
// last complete sub-block: a truncated file still shows what it holds.
std::size_t lastCompleteSubBlock(std::span<const std::uint8_t> d, std::size_t at, bool& cut) {
    cut = false;
    while (at < d.size()) {
        const std::size_t n = d[at];
        if (n == 0) return at + 1;
        if (at + 1 + n > d.size()) break;
        at += 1 + n;
    }
    cut = true;
    return at;
}

} // namespace

bool cGIFparser::walk(std::span<const std::uint8_t> d) {
    if (d.size() < 6) return false;
    std::array<char, 6> sig{};
    for (std::size_t i = 0; i < 6; ++i)
        sig[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(d[i])));
    const std::string_view text(sig.data(), sig.size());
    if (text != "gif89a" && text != "gif87a") return false;
    if (d.size() < 13) return false;

    std::size_t headerEnd = 13;
    std::size_t globalAt = 0, globalEntries = 0;
    if (d[10] & 0x80) {
        globalEntries = std::size_t{2} << (d[10] & 7);
        globalAt = 13;
        headerEnd += 3 * globalEntries;
        if (headerEnd > d.size()) return false;
    }

    // Every block is checked against the data before it is read; a file
    // that claims more than it holds is not handled here.
    std::optional<std::array<std::uint8_t, kGraphicControlSize>> control;
    std::size_t pos = headerEnd;
    while (pos < d.size()) {
        const std::uint8_t b = d[pos];
        if (b == 0) {
            ++pos;
            continue;
        }
        if (b != kExtension) break;
        if (pos + 2 >= d.size()) return false;
        if (d[pos + 1] == kGraphicControl) {
            // The fields are read only when the block is long enough to
            // hold them; the copy is rebuilt in the standard 8-byte form
            // so a longer block cannot spill into the new file.
            if (d[pos + 2] < 4 || pos + 7 > d.size()) return false;
            control = std::array<std::uint8_t, kGraphicControlSize>{
                kExtension, kGraphicControl, 4, d[pos + 3], d[pos + 4], d[pos + 5], d[pos + 6], 0};
            transparentIndex_ = (d[pos + 3] & 1) ? d[pos + 6] : -1;
        }
        const auto after = skipSubBlocks(d, pos + 2);
        if (!after) return false;
        pos = *after;
    }
    if (pos >= d.size() || d[pos] != kImage) return false;
    const std::size_t imageAt = pos;
    if (imageAt + 10 > d.size()) return false;
    const std::uint8_t packed = d[imageAt + 9];
    pos = imageAt + 10;
    if (packed & 0x80) {
        tableEntries_ = std::size_t{2} << (packed & 7);
        tableAt_ = pos;
        pos += 3 * tableEntries_;
        if (pos > d.size()) return false;
    } else {
        tableEntries_ = globalEntries;
        tableAt_ = globalAt;
    }
    if (tableEntries_ == 0) return false;
    if (pos >= d.size()) return false;
    bool cut = false;
    const std::size_t imageEnd = lastCompleteSubBlock(d, pos + 1, cut);
    if (imageEnd - imageAt < 4) return false;

    const std::size_t size =
        headerEnd + (control ? kGraphicControlSize : 0) + (imageEnd - imageAt) + (cut ? 1 : 0) + 1;
    rebuilt_.clear();
    rebuilt_.reserve(size);
    rebuilt_.insert(rebuilt_.end(), d.begin(), d.begin() + static_cast<std::ptrdiff_t>(headerEnd));
    if (control) rebuilt_.insert(rebuilt_.end(), control->begin(), control->end());
    const std::size_t newImageAt = rebuilt_.size();
    rebuilt_.insert(rebuilt_.end(), d.begin() + static_cast<std::ptrdiff_t>(imageAt),
                    d.begin() + static_cast<std::ptrdiff_t>(imageEnd));
    if (cut) rebuilt_.push_back(0);
    rebuilt_.push_back(kTrailer);

    // The first image fills the whole new picture.
    std::uint8_t* img = rebuilt_.data() + newImageAt;
    std::memset(img + 1, 0, 4);
    std::memcpy(rebuilt_.data() + 6, img + 5, 4);

    if (transparentIndex_ >= 0) {
        // A grey ramp gives every index a colour of its own, so the decoded
        // pixels can be read back as indexes and mapped here; the source
        // keeps the real colours.
        std::uint8_t* table = (packed & 0x80) ? img + 10 : rebuilt_.data() + 13;
        for (std::size_t i = 0; i < tableEntries_; ++i)
            std::memset(table + 3 * i, static_cast<int>(i & 0xFF), 3);
    }
    return true;
}

bool cGIFparser::convert(const Picture& picture, const BITMAP& info,
                         std::span<const std::uint8_t> source, surface::DibSurface& host) const {
    if (!host.InitializeDIB(info.bmWidth, info.bmHeight)) return false;

    if (transparentIndex_ < 0) {
        const HDC dc = host.LoadDIBinDC(true);
        const bool drawn = picture.Render(dc, 0, 0, info.bmWidth, info.bmHeight, 0,
                                          picture.Height(), picture.Width(), -picture.Height());
        host.LoadDIBinDC(false);
        if (!drawn) return false;
        bool hasAlpha = false;
        std::int32_t type = itNoImage;
        ClassifyAlpha(host.pixels(), host.Width(), host.Height(), true, hasAlpha, type);
        host.Alpha(false);
        return true;
    }

    const int bpp = info.bmBitsPixel;
    if (bpp < 1 || bpp > 8 || 8 % bpp != 0) return false;
    const std::size_t rowBytes =
        static_cast<std::size_t>(AlignedRowBytes(static_cast<std::uint8_t>(bpp), info.bmWidth));
    if (static_cast<std::size_t>(info.bmWidthBytes) != rowBytes) return false;
    const auto* bits = static_cast<const std::uint8_t*>(info.bmBits);
    const std::uint8_t* table = source.data() + tableAt_;
    const int mask = (1 << bpp) - 1;
    for (std::int32_t r = 0; r < host.Height(); ++r) {
        const std::uint8_t* in = bits + static_cast<std::size_t>(r) * rowBytes;
        std::uint8_t* out = host.BitsPointer() + static_cast<std::size_t>(r) *
                                                     static_cast<std::size_t>(host.scanWidth());
        int shift = 8 - bpp;
        for (std::int32_t x = 0; x < host.Width(); ++x, out += 4) {
            const int index = (*in >> shift) & mask;
            if (shift == 0) {
                ++in;
                shift = 8 - bpp;
            } else {
                shift -= bpp;
            }
            if (index == transparentIndex_) continue;
            // An index past the table (a corrupt file) shows black.
            if (static_cast<std::size_t>(index) < tableEntries_) {
                const std::uint8_t* c = table + 3 * static_cast<std::size_t>(index);
                out[0] = c[2];
                out[1] = c[1];
                out[2] = c[0];
            }
            out[3] = 255;
        }
    }
    host.Alpha(true);
    return true;
}

bool cGIFparser::LoadStream(std::span<const std::uint8_t> inStream, surface::DibSurface& cHost,
                            std::int32_t streamOffset, std::int32_t streamLength) {
    const auto range = codecs::streamRange(inStream, streamOffset, streamLength);
    if (!range) return false;
    if (!walk(*range)) return false;
    // What the picture services cannot decode is left to the next reader.
    const auto picture = PictureFromBytes(rebuilt_);
    rebuilt_.clear();
    BITMAP info;
    if (!picture || !GetObjectBitmap(picture->Handle(), info) || info.bmBits == nullptr)
        return false;
    if (convert(*picture, info, *range, cHost))
        cHost.ImageType(itGIF);
    else
        cHost.DestroyDIB();
    return true;
}

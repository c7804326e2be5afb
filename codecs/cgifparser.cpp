#include "codecs/cgifparser.h"

#include "codecs/modparsers.h"
#include "codecs/stream_range.h"
#include "platform/gdi/gdi.h"
#include "surface/dib_surface.h"

#include <algorithm>
#include <cstring>
#include <optional>

using namespace platform;
using namespace modParsers;

namespace {

constexpr std::uint8_t kTrailer = 0x3B;

// A run of data sub-blocks cut short by the end of the data ends at its last
// complete sub-block: a truncated file still shows what it holds.
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
    // A file that claims more than it holds before its first image is not
    // handled here; only the image data itself may be cut short.
    const auto layout = WalkGif(d);
    if (!layout) return lastError_.set(layout.error());
    transparentIndex_ = layout->transparentIndex();
    const std::size_t headerEnd = layout->headerEnd;
    const auto table = FindGifTable(*layout, d);
    if (!table) return lastError_.set(table.error());
    tableEntries_ = table->entries;
    tableAt_ = table->tableAt;
    if (tableEntries_ == 0) return lastError_.set(GifError::NoColourTable);
    const std::size_t imageAt = layout->imageAt;
    const std::uint8_t packed = layout->descriptor.packed;
    const std::optional<velmora::disk::GifGraphicControl>& control = layout->control;
    bool cut = false;
    const std::size_t imageEnd = lastCompleteSubBlock(d, table->dataAt + 1, cut);

    const std::size_t size =
        headerEnd + (control ? sizeof(*control) : 0) + (imageEnd - imageAt) + (cut ? 1 : 0) + 1;
    rebuilt_.clear();
    rebuilt_.reserve(size);
    rebuilt_.insert(rebuilt_.end(), d.begin(), d.begin() + static_cast<std::ptrdiff_t>(headerEnd));
    if (control) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&*control);
        rebuilt_.insert(rebuilt_.end(), bytes, bytes + sizeof(*control));
    }
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
        std::uint8_t* ramp = (packed & 0x80) ? img + 10 : rebuilt_.data() + 13;
        for (std::size_t i = 0; i < tableEntries_; ++i)
            std::memset(ramp + 3 * i, static_cast<int>(i & 0xFF), 3);
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
    lastError_.clear();
    const auto range = codecs::streamRange(inStream, streamOffset, streamLength);
    if (!range) return lastError_.set(GifError::NotGif);
    if (!walk(*range)) return false;
    // What the picture services cannot decode is left to the next reader.
    const auto picture = PictureFromBytes(rebuilt_);
    rebuilt_.clear();
    BITMAP info;
    if (!picture || !GetObjectBitmap(picture->Handle(), info) || info.bmBits == nullptr)
        return lastError_.set(GifError::NotDrawn);
    if (convert(*picture, info, *range, cHost)) {
        cHost.ImageType(itGIF);
    } else {
        // Still a GIF: the answer stays true, the code says why no image.
        lastError_.set(GifError::NotDrawn);
        cHost.DestroyDIB();
    }
    return true;
}

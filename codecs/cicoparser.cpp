#include "codecs/cicoparser.h"

#include "codecs/byte_reader.h"
#include "codecs/cpngparser.h"
#include "codecs/modparsers.h"
#include "codecs/stream_range.h"
#include "platform/gdi/gdi.h"
#include "platform/picture/bitmap_decoder.h"
#include "platform/picture/bitmap_rows.h"
#include "platform/picture/icon.h"
#include "surface/dib_surface.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

using namespace platform;
using namespace modParsers;
using codecs::loadU16le;
using codecs::loadU32be;
using codecs::loadU32le;

namespace {

constexpr std::size_t kDirectoryHeader = 6;
constexpr std::size_t kDirectoryEntry = 16;
// Bytes 14 and 15 of PNG data are "DR" of its "IHDR" chunk type, read as a
// little-endian bit count.
constexpr std::uint16_t kPngBitCountProbe = 21060;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::array<std::uint8_t, 8> kPngSignature{137, 80, 78, 71, 13, 10, 26, 10};

void storeU32le(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Frees the bitmaps GetIconInfo hands out, whatever path the conversion takes.
struct IconBitmaps {
    ICONINFO info;
    ~IconBitmaps() {
        if (info.hbmMask) DeleteObject(info.hbmMask);
        if (info.hbmColor) DeleteObject(info.hbmColor);
    }
};

} // namespace

const cICOparser::Entry* cICOparser::entry(std::int32_t index) const {
    if (index < 1 || index > IconCount()) return nullptr;
    return &entries_[static_cast<std::size_t>(index - 1)];
}

std::int32_t cICOparser::Width(std::int32_t Index) const {
    const Entry* e = entry(Index);
    return e ? (e->width == 0 ? 256 : e->width) : 0;
}

std::int32_t cICOparser::Height(std::int32_t Index) const {
    const Entry* e = entry(Index);
    return e ? (e->height == 0 ? 256 : e->height) : 0;
}

std::int32_t cICOparser::bitDepth(std::int32_t Index) const {
    const Entry* e = entry(Index);
    return e ? e->bitCount : 0;
}

bool cICOparser::IsIconPNG(std::int32_t Index) const {
    const Entry* e = entry(Index);
    return e && e->planes == kPngMarker;
}

// The sizes use the entry's width and height as read (a stored 0 being 256),
// so a 256-pixel bitmap entry has real XOR and AND sizes.
std::int64_t cICOparser::xorSize(const Entry& e) const {
    const auto w = static_cast<std::int32_t>(e.width == 0 ? 256 : e.width);
    const std::int64_t h = e.height == 0 ? 256 : e.height;
    return std::int64_t{
               AlignedRowBytes(static_cast<std::uint8_t>(std::min<int>(e.bitCount, 255)), w)} *
           h;
}

std::int64_t cICOparser::andSize(const Entry& e) const {
    const auto w = static_cast<std::int32_t>(e.width == 0 ? 256 : e.width);
    const std::int64_t h = e.height == 0 ? 256 : e.height;
    return std::int64_t{AlignedRowBytes(1, w)} * h;
}

std::int32_t cICOparser::ColorCount(std::int32_t Index) const {
    const Entry* e = entry(Index);
    if (!e || e->bitCount > 8) return 0;
    // The low byte of the entry's header size (a handle's pseudo entry has
    // no bytes behind it).
    const std::int64_t header = e->imageOffset < data_.size() ? data_[e->imageOffset] : 0;
    const std::int64_t rest = std::int64_t{e->bytesInRes} - xorSize(*e) - andSize(*e) - header;
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(rest / 4, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()));
}

std::int32_t cICOparser::ColorByteOffset(std::int32_t Index) const {
    const Entry* e = entry(Index);
    if (!e || std::size_t{e->imageOffset} + 4 > data_.size()) return 0;
    std::int64_t at = std::int64_t{e->imageOffset} + loadU32le(data_.data() + e->imageOffset);
    if (e->bitCount < 16) at += (std::int64_t{1} << e->bitCount) * 4;
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(at, std::numeric_limits<std::int32_t>::max()));
}

void cICOparser::validatePng(Entry& e) const {
    e.planes = kPngMarker;
    // Recognition has proven 16 bytes of the entry; the IHDR fields need 26.
    const std::span<const std::uint8_t> png = data_.subspan(e.imageOffset, e.bytesInRes);
    if (png.size() < 26 || !std::equal(kPngSignature.begin(), kPngSignature.end(), png.begin()) ||
        std::memcmp(png.data() + 12, "IHDR", 4) != 0) {
        e.bitCount = 0;
        return;
    }
    auto sizeByte = [&](std::uint32_t pixels, std::uint8_t& field) {
        if (pixels == 256)
            field = 0;
        else if (pixels >= 1 && pixels <= 255)
            field = static_cast<std::uint8_t>(pixels);
        else
            e.bitCount = 0;
    };
    sizeByte(loadU32be(png.data() + 16), e.width);
    sizeByte(loadU32be(png.data() + 20), e.height);
    if (e.bitCount == 0) {
        const std::uint8_t depth = png[24];
        const std::uint8_t colorType = png[25];
        if (depth == 16)
            e.bitCount = 32;
        else if (depth != 0)
            e.bitCount = colorType == 4 || colorType == 6 ? 32 : colorType == 2 ? 24 : depth;
    }
}

bool cICOparser::LoadStream(std::span<std::uint8_t> inStream, std::int32_t cx, std::int32_t cy,
                            surface::DibSurface* cHost, std::int32_t& streamOffset,
                            std::int32_t& streamLength, std::int32_t wantedBitDepth,
                            std::int32_t gdiToken) {
    entries_.clear();
    resourceType_ = 0;
    data_ = {};
    // The range the caller names is honoured, so an icon inside a larger
    // array is found where it lies.
    const auto range = codecs::streamRange(inStream, streamOffset, streamLength);
    if (!range) return false;
    streamLength = static_cast<std::int32_t>(
        std::min<std::size_t>(range->size(), std::numeric_limits<std::int32_t>::max()));
    const std::span<std::uint8_t> d = *range;
    if (d.size() <= 5) return false;
    const std::int32_t count = static_cast<std::int16_t>(loadU16le(d.data() + 4));
    const std::uint16_t type = loadU16le(d.data() + 2);
    if (loadU16le(d.data()) != 0 || (type != 1 && type != 2) || count < 1) return false;
    const std::size_t tableEnd =
        kDirectoryHeader + kDirectoryEntry * static_cast<std::size_t>(count);
    if (d.size() < tableEnd) return false;

    std::vector<Entry> entries(static_cast<std::size_t>(count));
    std::uint64_t total = tableEnd;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::uint8_t* p = d.data() + kDirectoryHeader + i * kDirectoryEntry;
        Entry& e = entries[i];
        e = Entry{p[0],
                  p[1],
                  p[2],
                  p[3],
                  loadU16le(p + 4),
                  loadU16le(p + 6),
                  loadU32le(p + 8),
                  loadU32le(p + 12)};
        total += e.bytesInRes;
    }
    if (total > d.size()) return false;

    data_ = d;
    for (Entry& e : entries) {
        // Every entry must lie inside the data, with room for the bit count
        // this reader reads from its header, before any byte of it is read.
        if (std::uint64_t{e.imageOffset} + e.bytesInRes > d.size() || e.bytesInRes < 16) {
            data_ = {};
            return false;
        }
        e.planes = 1;
        std::uint8_t* bitCountField = d.data() + e.imageOffset + 14;
        const std::uint16_t headerBits = loadU16le(bitCountField);
        if (headerBits == kPngBitCountProbe) {
            validatePng(e);
        } else if (headerBits != 0) {
            e.bitCount = headerBits; // the header's depth wins over the directory's
        } else if (e.bitCount != 0) {
            bitCountField[0] = static_cast<std::uint8_t>(e.bitCount);
            bitCountField[1] = static_cast<std::uint8_t>(e.bitCount >> 8);
        }
        if (e.bitCount == 0) {
            data_ = {};
            return false;
        }
    }
    entries_ = std::move(entries);
    resourceType_ = type;
    if (!cHost) return true;

    cHost->DestroyDIB();
    const std::int32_t chosen = chooseEntry(cx < 1 ? 32 : cx, cy < 1 ? 32 : cy, wantedBitDepth);
    if (chosen == 0) return true;
    const Entry& e = entries_[static_cast<std::size_t>(chosen - 1)];
    if (e.planes == kPngMarker) return decodePng(e, *cHost, gdiToken);
    decodeBitmap(chosen, *cHost);
    return true;
}

std::int32_t cICOparser::chooseEntry(std::int32_t cx, std::int32_t cy, std::int32_t depth) const {
    const std::int32_t count = IconCount();
    if (count == 1) return entries_[0].bitCount != 0 ? 1 : 0;

    // Narrower or shorter entries count double, so a larger entry that
    // must shrink beats a smaller one that must grow.
    std::vector<std::int64_t> scores(static_cast<std::size_t>(count), 0);
    std::int32_t best = 0;
    for (std::int32_t i = 1; i <= count; ++i) {
        const Entry& e = entries_[static_cast<std::size_t>(i - 1)];
        if (e.bitCount == 0) continue;
        std::int64_t dw = Width(i) - cx;
        std::int64_t dh = Height(i) - cy;
        if (dw < 0) dw *= 2;
        if (dh < 0) dh *= 2;
        std::int64_t score = dw + dh + std::abs(std::int64_t{depth} - e.bitCount);
        if (e.bitCount > 32) score = -10000;
        scores[static_cast<std::size_t>(i - 1)] = score;
        if (score == 0) return i;
        if (score > 0 && (best == 0 || score < scores[static_cast<std::size_t>(best - 1)]))
            best = i;
    }
    if (best != 0) return best;

    // Every entry is too small (or too deep): the least bad, favouring
    // full depth; ties go to the later entry.
    std::int64_t bestScore = 10000;
    for (std::int32_t i = count; i >= 1; --i) {
        const Entry& e = entries_[static_cast<std::size_t>(i - 1)];
        const std::int64_t score = std::abs(scores[static_cast<std::size_t>(i - 1)]) +
                                   std::abs(32 - std::int64_t{e.bitCount});
        if (score < bestScore) {
            bestScore = score;
            best = i;
        }
    }
    return best != 0 ? best : 1;
}

bool cICOparser::decodePng(const Entry& e, surface::DibSurface& host, std::int32_t gdiToken) {
    const std::span<const std::uint8_t> png = data_.subspan(e.imageOffset, e.bytesInRes);
    bool recognised = true;
    try {
        cPNGparser reader;
        recognised =
            reader.LoadStream(png, host, 0, static_cast<std::int32_t>(png.size()), gdiToken);
        // Inside an icon, a PNG failure that would leave the reader is an
        // entry without an image, like any other damaged entry.
        if (codecs::LeavesReader(reader.lastError())) recognised = true;
    } catch (const std::bad_alloc&) {
        // An entry too large for memory is an entry without an image; the
        // file is still an icon.
        host.DestroyDIB();
    }
    if (host.Handle() != 0) host.ImageType(itIconPNG);
    return recognised;
}

void cICOparser::decodeBitmap(std::int32_t index, surface::DibSurface& host) {
    const Entry& e = entries_[static_cast<std::size_t>(index - 1)];
    const std::int32_t width = Width(index);
    const std::int32_t height = Height(index);
    if (!host.InitializeDIB(width, height)) return;

    const std::size_t start = e.imageOffset;
    const std::size_t end = start + e.bytesInRes;
    std::uint8_t* header = data_.data() + start;
    const std::uint32_t headerSize = loadU32le(header);
    if (e.bytesInRes < kInfoHeaderSize || headerSize < kInfoHeaderSize ||
        headerSize > e.bytesInRes) {
        host.DestroyDIB();
        return;
    }
    // The stored header describes the colour bits and the mask stacked;
    // it is made to describe the colour image alone, with the palette size
    // the entry really has room for.
    const std::int64_t fullPalette = e.bitCount <= 8 ? (std::int64_t{1} << e.bitCount) : 0;
    const auto colors =
        static_cast<std::uint32_t>(std::clamp<std::int64_t>(ColorCount(index), 0, fullPalette));
    storeU32le(header + 32, colors);
    storeU32le(header + 8, static_cast<std::uint32_t>(height));
    storeU32le(header + 20, 0);
    storeU32le(header + 24, 0);
    storeU32le(header + 28, 0);

    const std::int64_t bitsAt = ColorByteOffset(index);
    if (bitsAt <= static_cast<std::int64_t>(start) || bitsAt >= static_cast<std::int64_t>(end)) {
        host.DestroyDIB();
        return;
    }
    const auto layout =
        ParseDib(data_.subspan(start, e.bytesInRes), static_cast<std::size_t>(bitsAt) - start);
    if (!layout || layout->height != height) {
        host.DestroyDIB();
        return;
    }
    const std::span<const std::uint8_t> bits =
        data_.subspan(static_cast<std::size_t>(bitsAt), end - static_cast<std::size_t>(bitsAt));
    if (layout->width == width) {
        if (!DecodeDib(*layout, bits, host.pixels())) {
            host.DestroyDIB();
            return;
        }
    } else {
        // A header that disagrees with the directory on the width: the
        // overlap lands in the surface the directory asked for.
        std::vector<std::uint8_t> decoded(layout->pixelCount() * 4);
        if (!DecodeDib(*layout, bits, decoded)) {
            host.DestroyDIB();
            return;
        }
        const std::size_t copy = static_cast<std::size_t>(std::min(width, layout->width)) * 4;
        for (std::int32_t r = 0; r < height; ++r)
            std::memcpy(host.BitsPointer() + static_cast<std::size_t>(r) * host.scanWidth(),
                        decoded.data() + static_cast<std::size_t>(r) * layout->width * 4, copy);
    }

    const bool icon = resourceType_ == 1;
    if (e.bitCount == 32) {
        // The fourth byte of the source bits is the alpha; the AND mask is
        // not consulted. Bytes the entry does not hold count as 0.
        const std::size_t sourceRow = static_cast<std::size_t>(layout->width) * 4;
        for (std::int32_t r = 0; r < height; ++r) {
            std::uint8_t* p = host.BitsPointer() + static_cast<std::size_t>(r) * host.scanWidth();
            const std::size_t rowAt = static_cast<std::size_t>(r) * sourceRow;
            for (std::int32_t x = 0; x < width; ++x, p += 4) {
                const std::size_t at = rowAt + static_cast<std::size_t>(x) * 4 + 3;
                const std::uint32_t a = at < bits.size() ? bits[at] : 0;
                if (a == 0) {
                    std::memset(p, 0, 4);
                } else if (a != 255) {
                    p[0] = static_cast<std::uint8_t>(p[0] * a / 255);
                    p[1] = static_cast<std::uint8_t>(p[1] * a / 255);
                    p[2] = static_cast<std::uint8_t>(p[2] * a / 255);
                    p[3] = static_cast<std::uint8_t>(a);
                }
            }
        }
        host.ImageType(icon ? itIconAlpha : itCursorAlpha);
        host.Alpha(true);
        return;
    }

    // The AND mask closes the entry. An entry too small to hold it has no
    // mask: every pixel stays opaque.
    const std::int64_t maskSize = andSize(e);
    std::span<const std::uint8_t> mask;
    if (maskSize <= static_cast<std::int64_t>(e.bytesInRes))
        mask = data_.subspan(end - static_cast<std::size_t>(maskSize),
                             static_cast<std::size_t>(maskSize));
    applyMask(host, mask);
    host.ImageType(icon ? itIcon : itCursor);
}

void cICOparser::applyMask(surface::DibSurface& host, std::span<const std::uint8_t> mask) const {
    const std::size_t rowBytes = static_cast<std::size_t>(AlignedRowBytes(1, host.Width()));
    bool anySet = false;
    for (std::int32_t r = 0; r < host.Height(); ++r) {
        std::uint8_t* p = host.BitsPointer() + static_cast<std::size_t>(r) * host.scanWidth();
        const std::size_t rowAt = static_cast<std::size_t>(r) * rowBytes;
        for (std::int32_t x = 0; x < host.Width(); ++x, p += 4) {
            const std::size_t at = rowAt + static_cast<std::size_t>(x) / 8;
            const bool set = at < mask.size() && (mask[at] & (0x80 >> (x & 7))) != 0;
            // A masked pixel is transparent black: the screen-inverting
            // colours of old icons are not reproduced.
            if (set) {
                std::memset(p, 0, 4);
                anySet = true;
            } else {
                p[3] = 255;
            }
        }
    }
    host.Alpha(anySet);
}

bool cICOparser::ConvertstdPicTo32bpp(HICON hIcon, surface::DibSurface& cHost) {
    IconBitmaps bitmaps;
    if (!GetIconInfo(hIcon, bitmaps.info)) return false;
    const ICONINFO& info = bitmaps.info;
    resourceType_ = info.fIcon ? 1 : 0;
    data_ = {};
    entries_.assign(1, Entry{});
    const bool icon = resourceType_ == 1;

    BITMAP color;
    if (info.hbmColor && GetObjectBitmap(info.hbmColor, color)) {
        if (!cHost.InitializeDIB(color.bmWidth, color.bmHeight)) return false;
        GetBitmapRows(info.hbmColor, 32, cHost.Width(), cHost.Height(), cHost.pixels());
        const std::span<std::uint8_t> px = cHost.pixels();
        bool anyAlpha = false;
        if (color.bmBitsPixel == 32)
            for (std::size_t i = 3; i < px.size() && !anyAlpha; i += 4)
                anyAlpha = px[i] != 0;
        if (anyAlpha) {
            bool hasAlpha = false;
            std::int32_t type = itBitmap;
            ClassifyAlpha(px, cHost.Width(), cHost.Height(), true, hasAlpha, type);
            cHost.ImageType(icon ? itIconAlpha : itCursorAlpha);
            cHost.Alpha(true);
            return true;
        }
    }

    BITMAP mask;
    if (!GetObjectBitmap(info.hbmMask, mask)) {
        cHost.DestroyDIB();
        return false;
    }
    if (!info.hbmColor) {
        if (!cHost.InitializeDIB(mask.bmWidth, mask.bmHeight / 2)) return false;
        const HDC dc = cHost.LoadDIBinDC(true);
        DrawIconEx(dc, 0, 0, hIcon, 0, 0, DI_NORMAL);
        cHost.LoadDIBinDC(false);
    }
    if (cHost.Handle() == 0) return false;
    const std::size_t rowBytes = static_cast<std::size_t>(AlignedRowBytes(1, cHost.Width()));
    std::vector<std::uint8_t> bits(rowBytes * static_cast<std::size_t>(cHost.Height()));
    // The mask's top rows are the AND half of a monochrome icon's double
    // mask, and the whole mask otherwise.
    GetBitmapRows(info.hbmMask, 1, cHost.Width(), cHost.Height(), bits);
    Entry& pseudo = entries_[0];
    pseudo.width = static_cast<std::uint8_t>(cHost.Width() & 0xFF);
    pseudo.height = static_cast<std::uint8_t>(cHost.Height() & 0xFF);
    pseudo.bytesInRes = static_cast<std::uint32_t>(bits.size());
    applyMask(cHost, bits);
    cHost.ImageType(icon ? itIcon : itCursor);
    return true;
}

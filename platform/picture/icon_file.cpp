#include "platform/picture/icon_file.h"

#include "platform/gdi/gdi.h"
#include "platform/picture/bitmap_decoder.h"
#include "platform/picture/icon.h"
#include "platform/util/png_signature.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

namespace platform {
namespace {

using velmora::Failure;

struct Candidate {
    std::span<const std::uint8_t> image;
    DibLayout layout; // height: the colour image's, half the header's
    std::uint32_t hotspotX = 0;
    std::uint32_t hotspotY = 0;
};

// An entry's image as a bitmap with an AND mask below its colour bits.
std::optional<Candidate> readEntry(std::span<const std::uint8_t> image) {
    if (velmora::startsWithPngSignature(image, 4)) return std::nullopt;
    auto layout = ParseDib(image);
    // The header counts the colour and mask rows together.
    if (!layout || layout->compression != BI_RGB || layout->height < 2) return std::nullopt;
    layout->height /= 2;
    if (layout->tableEnd >= image.size()) return std::nullopt;
    return Candidate{image, std::move(*layout)};
}

// Frees the handles this file makes once the icon holds its copies.
struct Bitmaps {
    HBITMAP color = 0;
    HBITMAP mask = 0;
    ~Bitmaps() {
        if (color) DeleteObject(color);
        if (mask) DeleteObject(mask);
    }
};

HICON makeIcon(const Candidate& c, bool isIcon) {
    const DibLayout& l = c.layout;
    const std::span<const std::uint8_t> bits = c.image.subspan(l.tableEnd);
    Bitmaps made;

    BITMAPINFOHEADER header;
    header.biWidth = l.width;
    header.biHeight = l.height;
    header.biBitCount = 32;
    void* colorBits = nullptr;
    made.color = CreateDIBSection(0, header, {}, &colorBits);
    if (!made.color) return 0;
    auto* color = static_cast<std::uint8_t*>(colorBits);
    const std::size_t pixels = l.pixelCount();
    if (!DecodeDib(l, bits, {color, pixels * 4})) return 0;
    // The decoder makes every pixel opaque. A 32-bit entry keeps its own
    // alpha (bytes the entry lacks count as 0); shallower entries get none,
    // as the system's colour bitmaps of such icons have none, so that their
    // mask decides.
    const std::size_t stride = (std::size_t{l.bitCount} * l.width + 31) / 32 * 4;
    for (std::int32_t r = 0; r < l.height; ++r)
        for (std::int32_t x = 0; x < l.width; ++x) {
            const std::size_t at =
                static_cast<std::size_t>(r) * stride + static_cast<std::size_t>(x) * 4 + 3;
            color[(static_cast<std::size_t>(r) * l.width + x) * 4 + 3] =
                l.bitCount == 32 && at < bits.size() ? bits[at] : 0;
        }

    // The AND mask follows the colour rows; rows the entry lacks stay clear
    // (opaque).
    header.biBitCount = 1;
    const RGBQUAD mono[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    void* maskBits = nullptr;
    made.mask = CreateDIBSection(0, header, mono, &maskBits);
    if (!made.mask) return 0;
    const std::size_t maskStride = (static_cast<std::size_t>(l.width) + 31) / 32 * 4;
    const std::size_t maskAt = stride * static_cast<std::size_t>(l.height);
    if (maskAt < bits.size()) {
        const std::size_t n =
            std::min(maskStride * static_cast<std::size_t>(l.height), bits.size() - maskAt);
        std::memcpy(maskBits, bits.data() + maskAt, n);
    }

    ICONINFO info;
    info.fIcon = isIcon;
    info.xHotspot = c.hotspotX;
    info.yHotspot = c.hotspotY;
    info.hbmColor = made.color;
    info.hbmMask = made.mask;
    return CreateIconIndirect(info);
}

} // namespace

std::string_view ErrorText(IconError error) {
    switch (error) {
    case IconError::Truncated:
        return "header or directory cut short";
    case IconError::NotIcon:
        return "not an icon or cursor";
    case IconError::NoEntries:
        return "no directory entries";
    case IconError::EntryOutside:
        return "entry outside the data";
    case IconError::EntryTooSmall:
        return "entry too small";
    case IconError::NoBitCount:
        return "entry without a bit count";
    case IconError::NoUsableEntry:
        return "no usable entry";
    case IconError::BadImage:
        return "entry image could not be decoded";
    }
    return "unknown";
}

velmora::Result<IconDirectory, IconError> ReadIconDirectory(std::span<const std::uint8_t> file) {
    const auto header = velmora::disk::readHeader<velmora::disk::IconDir>(file);
    if (!header) return Failure{IconError::Truncated};
    if (header->idReserved != 0 || (header->idType != 1 && header->idType != 2))
        return Failure{IconError::NotIcon};
    if (header->idCount == 0) return Failure{IconError::NoEntries};
    const std::size_t count = header->idCount;
    if (file.size() < sizeof(velmora::disk::IconDir) + sizeof(velmora::disk::IconDirEntry) * count)
        return Failure{IconError::Truncated};
    IconDirectory directory;
    directory.type = header->idType;
    directory.entries.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        directory.entries[i] = *velmora::disk::readHeader<velmora::disk::IconDirEntry>(
            file, sizeof(velmora::disk::IconDir) + i * sizeof(velmora::disk::IconDirEntry));
    return directory;
}

velmora::Result<HICON, IconError> ReadIconFile(std::span<const std::uint8_t> file, std::int32_t cx,
                                               std::int32_t cy) {
    const auto directory = ReadIconDirectory(file);
    if (!directory) return Failure{directory.error()};
    const bool cursor = directory->type == 2;

    std::optional<Candidate> best;
    std::int64_t bestScore = std::numeric_limits<std::int64_t>::max();
    for (const velmora::disk::IconDirEntry& e : directory->entries) {
        const std::uint64_t size = e.dwBytesInRes;
        const std::uint64_t offset = e.dwImageOffset;
        if (offset + size > file.size()) continue;
        auto candidate = readEntry(file.subspan(offset, size));
        if (!candidate) continue;
        const std::int64_t score = (std::abs(std::int64_t{candidate->layout.width} - cx) +
                                    std::abs(std::int64_t{candidate->layout.height} - cy)) *
                                       64 +
                                   (32 - std::min<std::int64_t>(candidate->layout.bitCount, 32));
        if (score < bestScore) {
            bestScore = score;
            if (cursor) {
                // A cursor keeps its hot spot where an icon keeps planes
                // and bit count.
                candidate->hotspotX = e.wPlanes;
                candidate->hotspotY = e.wBitCount;
            }
            best = std::move(candidate);
        }
    }
    if (!best) return Failure{IconError::NoUsableEntry};
    const HICON icon = makeIcon(*best, !cursor);
    if (icon == 0) return Failure{IconError::BadImage};
    return icon;
}

HICON CreateIconFromFile(std::span<const std::uint8_t> file, std::int32_t cx, std::int32_t cy) {
    const auto icon = ReadIconFile(file, cx, cy);
    return icon ? *icon : 0;
}

} // namespace platform

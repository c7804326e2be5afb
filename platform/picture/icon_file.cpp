#include "platform/picture/icon_file.h"

#include "platform/gdi/gdi.h"
#include "platform/picture/bitmap_decoder.h"
#include "platform/picture/icon.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

namespace platform {
namespace {

constexpr std::size_t kHeader = 6;
constexpr std::size_t kEntry = 16;

std::uint16_t le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

struct Candidate {
    std::span<const std::uint8_t> image;
    DibLayout layout; // height: the colour image's, half the header's
    std::uint32_t hotspotX = 0;
    std::uint32_t hotspotY = 0;
};

// An entry's image as a bitmap with an AND mask below its colour bits.
std::optional<Candidate> readEntry(std::span<const std::uint8_t> image) {
    static constexpr std::uint8_t kPng[4] = {137, 'P', 'N', 'G'};
    if (image.size() >= 4 && std::memcmp(image.data(), kPng, 4) == 0) return std::nullopt;
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

HICON CreateIconFromFile(std::span<const std::uint8_t> file, std::int32_t cx, std::int32_t cy) {
    if (file.size() < kHeader) return 0;
    const std::uint16_t type = le16(file.data() + 2);
    const std::size_t count = le16(file.data() + 4);
    if (le16(file.data()) != 0 || (type != 1 && type != 2) || count == 0) return 0;
    if (file.size() < kHeader + kEntry * count) return 0;

    std::optional<Candidate> best;
    std::int64_t bestScore = std::numeric_limits<std::int64_t>::max();
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = file.data() + kHeader + i * kEntry;
        const std::uint64_t size = le32(e + 8);
        const std::uint64_t offset = le32(e + 12);
        if (offset + size > file.size()) continue;
        auto candidate = readEntry(file.subspan(offset, size));
        if (!candidate) continue;
        const std::int64_t score = (std::abs(std::int64_t{candidate->layout.width} - cx) +
                                    std::abs(std::int64_t{candidate->layout.height} - cy)) *
                                       64 +
                                   (32 - std::min<std::int64_t>(candidate->layout.bitCount, 32));
        if (score < bestScore) {
            bestScore = score;
            if (type == 2) {
                candidate->hotspotX = le16(e + 4);
                candidate->hotspotY = le16(e + 6);
            }
            best = std::move(candidate);
        }
    }
    return best ? makeIcon(*best, type == 1) : 0;
}

} // namespace platform

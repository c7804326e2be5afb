#include "platform/picture/bitmap_rows.h"

#include "platform/picture/picture_detail.h"
#include "platform/util/byte_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace platform {
namespace detail {

std::unique_ptr<BitmapObject> cloneBitmap(const BitmapObject& source) {
    auto copy = std::make_unique<BitmapObject>();
    copy->width = source.width;
    copy->height = source.height;
    copy->bitsPerPixel = source.bitsPerPixel;
    copy->topDown = source.topDown;
    copy->stride = source.stride;
    copy->palette = source.palette;
    const std::size_t size = source.bytes().size();
    copy->pixels = zeroedPixels(size);
    if (!copy->pixels) throw std::bad_alloc();
    if (size != 0) std::memcpy(copy->pixels.get(), source.pixels.get(), size);
    return copy;
}

void readRow32(const BitmapObject& bitmap, std::int32_t y, std::uint32_t* out) {
    const std::uint8_t* s = bitmap.row(y);
    const std::int32_t w = bitmap.width;
    auto opaque = [](std::uint32_t b, std::uint32_t g, std::uint32_t r) {
        return b | (g << 8) | (r << 16) | 0xFF000000u;
    };
    auto paletteColor = [&](std::size_t index) {
        if (index >= bitmap.palette.size()) return 0xFF000000u;
        const RGBQUAD& q = bitmap.palette[index];
        return opaque(q.rgbBlue, q.rgbGreen, q.rgbRed);
    };
    switch (bitmap.bitsPerPixel) {
    case 1:
    case 2:
    case 4: {
        const int bpp = bitmap.bitsPerPixel;
        for (std::int32_t x = 0; x < w; ++x) {
            const std::size_t bit = static_cast<std::size_t>(x) * bpp;
            out[x] = paletteColor((s[bit / 8] >> (8 - bpp - int(bit % 8))) & ((1 << bpp) - 1));
        }
        break;
    }
    case 8:
        for (std::int32_t x = 0; x < w; ++x)
            out[x] = paletteColor(s[x]);
        break;
    case 16:
        // 5-5-5, the layout of a 16-bit section without masks.
        for (std::int32_t x = 0; x < w; ++x) {
            const std::uint32_t v = velmora::loadU16le(s + x * 2);
            auto c = [](std::uint32_t f) { return (f << 3) | (f >> 2); };
            out[x] = opaque(c(v & 31), c((v >> 5) & 31), c((v >> 10) & 31));
        }
        break;
    case 24:
        for (std::int32_t x = 0; x < w; ++x)
            out[x] = opaque(s[x * 3], s[x * 3 + 1], s[x * 3 + 2]);
        break;
    case 32:
        std::memcpy(out, s, static_cast<std::size_t>(w) * 4);
        break;
    default:
        std::fill_n(out, w, 0xFF000000u);
        break;
    }
}

} // namespace detail

bool GetBitmapRows(HBITMAP handle, std::uint16_t bitCount, std::int32_t width, std::int32_t height,
                   std::span<std::uint8_t> dest) {
    const detail::BitmapObject* bitmap = detail::findBitmap(handle);
    if (!bitmap || !bitmap->pixels || width < 1 || height < 1) return false;
    if (bitCount != 1 && bitCount != 32) return false;
    const std::size_t stride =
        static_cast<std::size_t>((std::int64_t{bitCount} * width + 31) / 32 * 4);
    if (dest.size() / stride < static_cast<std::size_t>(height)) return false;

    const std::int32_t rows = std::min(height, bitmap->height);
    const std::int32_t cols = std::min(width, bitmap->width);
    std::vector<std::uint32_t> line(static_cast<std::size_t>(bitmap->width));
    for (std::int32_t y = 0; y < rows; ++y) {
        std::uint8_t* out = dest.data() + static_cast<std::size_t>(height - 1 - y) * stride;
        detail::readRow32(*bitmap, y, line.data());
        if (bitCount == 32) {
            std::memcpy(out, line.data(), static_cast<std::size_t>(cols) * 4);
            continue;
        }
        for (std::int32_t x = 0; x < cols; ++x) {
            const std::uint32_t c = line[static_cast<std::size_t>(x)];
            const bool light = (c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF) >= 384;
            const auto bit = static_cast<std::uint8_t>(0x80 >> (x & 7));
            if (light)
                out[x / 8] |= bit;
            else
                out[x / 8] &= static_cast<std::uint8_t>(~bit);
        }
    }
    return true;
}

} // namespace platform

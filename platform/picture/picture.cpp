#include "platform/picture/picture.h"

#include "platform/gdi/gdi.h"
#include "platform/picture/bitmap_decoder.h"
#include "platform/picture/gif_decoder.h"
#include "platform/picture/icon.h"
#include "platform/picture/metafile.h"
#include "platform/picture/picture_detail.h"
#include "platform/util/checked.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace platform {

using velmora::Failure;

namespace {

bool isGif(std::span<const std::uint8_t> b) {
    if (b.size() < 6) return false;
    char sig[6];
    for (int i = 0; i < 6; ++i)
        sig[i] = static_cast<char>(b[static_cast<std::size_t>(i)] | 0x20);
    return std::memcmp(sig, "gif87a", 6) == 0 || std::memcmp(sig, "gif89a", 6) == 0;
}

std::unique_ptr<Picture> wrapBitmap(HBITMAP handle, std::int32_t width, std::int32_t height) {
    return std::make_unique<Picture>(PICTYPE_BITMAP, handle, PixelsToHiMetric(width),
                                     PixelsToHiMetric(height));
}

velmora::Result<std::unique_ptr<Picture>, PictureError>
pictureFromLayout(const DibLayout& layout, std::span<const std::uint8_t> bits) {
    BITMAPINFOHEADER header;
    header.biWidth = layout.width;
    header.biHeight = layout.height;
    header.biBitCount = 32;
    void* pixels = nullptr;
    const HBITMAP handle = CreateDIBSection(0, header, {}, &pixels);
    if (handle == 0) return Failure{PictureError::OutOfMemory};
    const std::span<std::uint8_t> dest(static_cast<std::uint8_t*>(pixels), layout.pixelCount() * 4);
    if (!DecodeDib(layout, bits, dest)) {
        DeleteObject(handle);
        return Failure{PictureError::BadBitmap};
    }
    return wrapBitmap(handle, layout.width, layout.height);
}

velmora::Result<std::unique_ptr<Picture>, PictureError>
readBitmap(std::span<const std::uint8_t> bytes) {
    auto file = ParseBitmapFile(bytes);
    if (!file) return Failure{PictureError::BadBitmap};
    return pictureFromLayout(file->layout, file->bits);
}

velmora::Result<std::unique_ptr<Picture>, PictureError>
readGif(std::span<const std::uint8_t> bytes) {
    auto image = DecodeGif(bytes);
    if (!image) {
        return Failure{image.error() == GifError::OutOfMemory ? PictureError::OutOfMemory
                                                              : PictureError::BadGif};
    }
    BITMAPINFOHEADER header;
    header.biWidth = image->width;
    header.biHeight = image->height;
    header.biBitCount = 8;
    header.biClrUsed = static_cast<std::uint32_t>(image->palette.size());
    void* bits = nullptr;
    const HBITMAP handle = CreateDIBSection(0, header, image->palette, &bits);
    if (handle == 0) return Failure{PictureError::OutOfMemory};
    const auto width = static_cast<std::size_t>(image->width);
    const std::size_t stride = (width + 3) & ~std::size_t{3};
    auto* rows = static_cast<std::uint8_t*>(bits);
    for (std::int32_t y = 0; y < image->height; ++y)
        std::memcpy(rows + static_cast<std::size_t>(image->height - 1 - y) * stride,
                    image->indexes.data() + static_cast<std::size_t>(y) * width, width);
    return wrapBitmap(handle, image->width, image->height);
}

} // namespace

Picture::~Picture() {
    if (handle_ != 0) DeleteObject(handle_);
}

HGDIOBJ Picture::release() {
    return std::exchange(handle_, 0);
}

namespace {

// floor(v x n / d), the pixel a mapped position falls on, or -1 outside
// [0, n). The product may need more than 64 bits (a picture a million
// pixels wide), so it is divided as it is formed, bit by bit of n: with
// 0 <= v < d < 2^62 every step stays inside 64 bits.
std::int32_t scaledIndex(std::int64_t v, std::int64_t n, std::int64_t d) {
    if (v < 0 || v >= d) return -1;
    const auto divisor = static_cast<std::uint64_t>(d), value = static_cast<std::uint64_t>(v);
    std::uint64_t quotient = 0, remainder = 0;
    for (int bit = 31; bit >= 0; --bit) {
        quotient <<= 1;
        remainder <<= 1;
        if (remainder >= divisor) {
            remainder -= divisor;
            ++quotient;
        }
        if ((static_cast<std::uint64_t>(n) >> bit) & 1) {
            remainder += value;
            if (remainder >= divisor) {
                remainder -= divisor;
                ++quotient;
            }
        }
    }
    return static_cast<std::int32_t>(quotient);
}

} // namespace

bool Picture::Render(HDC hdc, std::int32_t x, std::int32_t y, std::int32_t cx, std::int32_t cy,
                     std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc,
                     std::int32_t cySrc) const {
    if (cx <= 0 || cy <= 0) return false;
    // Anything past 2^24 pixels is far beyond any drawable picture, and 2^29
    // of 0.01 mm is past the size of such a picture (2^24 pixels are about
    // 4.4e8). Refusing more keeps the sums of the nearest-pixel mapping below
    // under 2^56.
    constexpr std::int32_t kLimit = 1 << 24;
    constexpr std::int32_t kHiMetricLimit = 1 << 29;
    for (const std::int32_t v : {cx, cy})
        if (v > kLimit || v < -kLimit) return false;
    for (const std::int32_t v : {xSrc, ySrc, cxSrc, cySrc})
        if (v > kHiMetricLimit || v < -kHiMetricLimit) return false;
    if (type_ == PICTYPE_ICON) {
        // Icons are drawn whole, whatever the source rectangle asks.
        return DrawIconEx(hdc, x, y, handle_, cx, cy, DI_NORMAL);
    }
    if (type_ != PICTYPE_BITMAP || width_ <= 0 || height_ <= 0) return false;

    auto& table = detail::HandleTable::instance();
    std::lock_guard lock(table.mutex());
    const detail::BitmapObject* source = detail::findBitmap(handle_);
    const detail::BitmapObject* target = detail::selectedBitmap(hdc);
    if (!source || !source->pixels || !target || !target->pixels || target->bitsPerPixel != 32)
        return false;
    const std::int64_t w = source->width, h = source->height;
    if (w > kLimit || h > kLimit) return false;

    // Nearest pixel: the centre of each destination pixel is mapped into
    // the source rectangle, then from 0.01 mm (y up) to source pixels.
    const std::int32_t x0 = std::max(x, 0);
    const auto x1 =
        static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{x} + cx, target->width));
    const std::int32_t y0 = std::max(y, 0);
    const auto y1 =
        static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{y} + cy, target->height));
    if (x0 >= x1 || y0 >= y1) return true;
    std::vector<std::int32_t> columns(static_cast<std::size_t>(x1 - x0));
    for (std::int32_t dx = x0; dx < x1; ++dx) {
        const std::int64_t twice = 2 * std::int64_t{cx};
        const std::int64_t v =
            std::int64_t{xSrc} * twice + std::int64_t{cxSrc} * (2 * (dx - x) + 1);
        columns[static_cast<std::size_t>(dx - x0)] =
            scaledIndex(v, w, std::int64_t{width_} * twice);
    }
    std::vector<std::uint32_t> line(static_cast<std::size_t>(w));
    std::int64_t cached = -1;
    for (std::int32_t dy = y0; dy < y1; ++dy) {
        const std::int64_t twice = 2 * std::int64_t{cy};
        const std::int64_t v =
            (std::int64_t{height_} - ySrc) * twice - std::int64_t{cySrc} * (2 * (dy - y) + 1);
        const std::int32_t row = scaledIndex(v, h, std::int64_t{height_} * twice);
        if (row < 0) continue;
        if (row != cached) {
            detail::readRow32(*source, row, line.data());
            cached = row;
        }
        auto* out = reinterpret_cast<std::uint32_t*>(target->row(dy));
        for (std::int32_t dx = x0; dx < x1; ++dx) {
            const std::int32_t col = columns[static_cast<std::size_t>(dx - x0)];
            if (col >= 0) std::memcpy(out + dx, &line[static_cast<std::size_t>(col)], 4);
        }
    }
    return true;
}

std::unique_ptr<Picture> CreatePictureIndirect(HGDIOBJ handle, int type) {
    const int objectType = GetObjectType(handle);
    std::int32_t w = 0, h = 0;
    switch (type) {
    case PICTYPE_BITMAP: {
        BITMAP info;
        if (objectType != OBJ_BITMAP || !GetObjectBitmap(handle, info)) return nullptr;
        w = info.bmWidth;
        h = info.bmHeight;
        break;
    }
    case PICTYPE_METAFILE:
        if (objectType != OBJ_METAFILE) return nullptr;
        break;
    case PICTYPE_ENHMETAFILE:
        if (objectType != OBJ_ENHMETAFILE) return nullptr;
        break;
    case PICTYPE_ICON:
        if (objectType != OBJ_ICON || !GetIconSize(handle, w, h)) return nullptr;
        break;
    default:
        return nullptr;
    }
    return std::make_unique<Picture>(type, handle, PixelsToHiMetric(w), PixelsToHiMetric(h));
}

std::string_view ErrorText(PictureError error) {
    switch (error) {
    case PictureError::Unrecognised:
        return "not a picture format";
    case PictureError::Metafile:
        return "metafiles are not played";
    case PictureError::BadBitmap:
        return "damaged bitmap";
    case PictureError::BadGif:
        return "damaged GIF";
    case PictureError::OutOfMemory:
        return "out of memory";
    }
    return "unknown";
}

velmora::Result<std::unique_ptr<Picture>, PictureError>
ReadPicture(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return readBitmap(bytes);
    if (isGif(bytes)) return readGif(bytes);
    if (IsWindowsMetafile(bytes) || IsEnhMetafile(bytes)) return Failure{PictureError::Metafile};
    return Failure{PictureError::Unrecognised};
}

velmora::Result<std::unique_ptr<Picture>, PictureError>
ReadPackedDib(std::span<const std::uint8_t> dib) {
    auto layout = ParseDib(dib);
    if (!layout) return Failure{PictureError::BadBitmap};
    // The bits follow the header, masks and colour table directly; a table
    // that claims the whole block leaves no bits.
    if (layout->tableEnd >= dib.size()) return Failure{PictureError::BadBitmap};
    return pictureFromLayout(*layout, dib.subspan(layout->tableEnd));
}

std::unique_ptr<Picture> LoadPictureFromBytes(std::span<const std::uint8_t> bytes) {
    auto picture = ReadPicture(bytes);
    return picture ? std::move(*picture) : nullptr;
}

} // namespace platform

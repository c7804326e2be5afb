#include "platform/gdi/blit.h"

#include "platform/gdi/objects.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace platform {

using namespace detail;

namespace {

bool pixelBitmap(const BitmapObject* b) {
    return b && !b->stock && (b->bitsPerPixel == 24 || b->bitsPerPixel == 32);
}

std::int32_t bytesPerPixel(const BitmapObject& b) {
    return b.bitsPerPixel / 8;
}

// Reads one pixel as blue, green, red, alpha; a 24-bpp pixel reads alpha 255.
std::array<std::uint32_t, 4> readPixel(const std::uint8_t* p, std::int32_t bpp) {
    return {p[0], p[1], p[2], bpp == 4 ? p[3] : 255u};
}

// round(a * b / 255) for a, b in 0 .. 255, exactly.
std::uint32_t mulDiv255(std::uint32_t a, std::uint32_t b) {
    const std::uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

// A rectangle of an owned copy of pixels, so a blit from a bitmap onto
// itself reads what was there before it started.
struct SourceCopy {
    std::vector<std::uint8_t> bytes;
    std::int32_t stride = 0;
};

SourceCopy copyRows(const BitmapObject& b, std::int32_t x, std::int32_t y, std::int32_t w,
                    std::int32_t h) {
    SourceCopy copy;
    const std::int32_t bpp = bytesPerPixel(b);
    copy.stride = w * bpp;
    copy.bytes.resize(static_cast<std::size_t>(copy.stride) * static_cast<std::size_t>(h));
    for (std::int32_t j = 0; j < h; ++j)
        std::memcpy(copy.bytes.data() + static_cast<std::size_t>(j) * copy.stride,
                    b.row(y + j) + static_cast<std::ptrdiff_t>(x) * bpp,
                    static_cast<std::size_t>(copy.stride));
    return copy;
}

// The source rectangle's rows: the bitmap itself, or a copy of the
// rectangle when the destination is the same bitmap.
struct SourceView {
    SourceCopy copy;
    const BitmapObject* bitmap = nullptr;
    std::int32_t x = 0, y = 0;

    const std::uint8_t* row(std::int32_t j) const {
        if (!bitmap) return copy.bytes.data() + static_cast<std::size_t>(j) * copy.stride;
        return bitmap->row(y + j) + static_cast<std::ptrdiff_t>(x) * bytesPerPixel(*bitmap);
    }
};

SourceView sourceView(const BitmapObject& from, const BitmapObject* to, std::int32_t x,
                      std::int32_t y, std::int32_t w, std::int32_t h) {
    if (&from == to) return {copyRows(from, x, y, w, h), nullptr, 0, 0};
    return {{}, &from, x, y};
}

// Per destination index, where the source is sampled along one axis.
// Nearest: the source pixel under the destination pixel's centre.
std::vector<std::int32_t> nearestMap(std::int32_t srcStart, std::int32_t srcCount,
                                     std::int32_t destCount) {
    std::vector<std::int32_t> map(static_cast<std::size_t>(destCount));
    for (std::int32_t i = 0; i < destCount; ++i)
        map[static_cast<std::size_t>(i)] =
            srcStart + static_cast<std::int32_t>((2 * std::int64_t{i} + 1) * srcCount /
                                                 (2 * std::int64_t{destCount}));
    return map;
}

// Halftone: each destination pixel covers srcCount / destCount source
// pixels; the weights are the overlaps in units of 1 / destCount of a
// source pixel, so they are whole numbers summing to srcCount.
struct Coverage {
    std::int32_t first = 0;
    std::vector<std::uint32_t> weights;
};

// Only destination indices first .. end - 1 (the visible ones) are mapped:
// a huge destination drawn into a small DC must not cost its whole size.
std::vector<Coverage> areaMap(std::int32_t srcStart, std::int32_t srcCount, std::int32_t destCount,
                              std::int32_t first, std::int32_t end) {
    std::vector<Coverage> map(static_cast<std::size_t>(end - first));
    for (std::int32_t i = first; i < end; ++i) {
        const std::int64_t from = std::int64_t{i} * srcCount;
        const std::int64_t to = from + srcCount;
        Coverage& c = map[static_cast<std::size_t>(i - first)];
        const std::int64_t firstCell = from / destCount;
        c.first = srcStart + static_cast<std::int32_t>(firstCell);
        for (std::int64_t k = firstCell; k * destCount < to; ++k) {
            const std::int64_t lo = std::max(from, k * destCount);
            const std::int64_t hi = std::min(to, (k + 1) * destCount);
            c.weights.push_back(static_cast<std::uint32_t>(hi - lo));
        }
    }
    return map;
}

struct Clip {
    std::int32_t first = 0; // first visible destination index, relative to the rectangle
    std::int32_t end = 0;   // one past the last
};

Clip clipAxis(std::int32_t start, std::int32_t count, std::int32_t limit) {
    const std::int64_t lo = std::max<std::int64_t>(0, -std::int64_t{start});
    const std::int64_t hi = std::min<std::int64_t>(count, std::int64_t{limit} - start);
    return {static_cast<std::int32_t>(lo), static_cast<std::int32_t>(std::max(lo, hi))};
}

} // namespace

// Four pixels at a time through 32-bit words (the layout is little-endian:
// a pixel word reads 0xAARRGGBB).
static_assert(std::endian::native == std::endian::little);

void PixelsTo24(const std::uint8_t* src, std::uint8_t* dst, std::int32_t count) {
    std::int32_t i = 0;
    for (; i + 4 <= count; i += 4, src += 16, dst += 12) {
        std::uint32_t p[4];
        std::memcpy(p, src, 16);
        const std::uint32_t w[3] = {(p[0] & 0xFFFFFFu) | (p[1] << 24),
                                    ((p[1] >> 8) & 0xFFFFu) | (p[2] << 16),
                                    ((p[2] >> 16) & 0xFFu) | (p[3] << 8)};
        std::memcpy(dst, w, 12);
    }
    for (; i < count; ++i, src += 4, dst += 3)
        std::memcpy(dst, src, 3);
}

void PixelsTo32(const std::uint8_t* src, std::uint8_t* dst, std::int32_t count,
                std::uint8_t alpha) {
    const std::uint32_t a = std::uint32_t{alpha} << 24;
    std::int32_t i = 0;
    for (; i + 4 <= count; i += 4, src += 12, dst += 16) {
        std::uint32_t w[3];
        std::memcpy(w, src, 12);
        const std::uint32_t p[4] = {(w[0] & 0xFFFFFFu) | a,
                                    (w[0] >> 24) | ((w[1] & 0xFFFFu) << 8) | a,
                                    (w[1] >> 16) | ((w[2] & 0xFFu) << 16) | a, (w[2] >> 8) | a};
        std::memcpy(dst, p, 16);
    }
    for (; i < count; ++i, src += 3, dst += 4) {
        std::memcpy(dst, src, 3);
        dst[3] = alpha;
    }
}

bool OffsetRect(RECT& rect, std::int32_t dx, std::int32_t dy) {
    rect.left += dx;
    rect.right += dx;
    rect.top += dy;
    rect.bottom += dy;
    return true;
}

int FillRect(HDC hdc, const RECT& rect, HBRUSH brush) {
    std::lock_guard lock(HandleTable::instance().mutex());
    BitmapObject* target = selectedBitmap(hdc);
    const auto* solid = HandleTable::instance().get<BrushObject>(brush);
    if (!pixelBitmap(target) || !solid) return 0;
    const std::int32_t left = std::max(rect.left, 0);
    const std::int32_t right = std::min(rect.right, target->width);
    const std::int32_t top = std::max(rect.top, 0);
    const std::int32_t bottom = std::min(rect.bottom, target->height);
    const std::int32_t bpp = bytesPerPixel(*target);
    const std::uint8_t pixel[4] = {static_cast<std::uint8_t>(solid->color >> 16),
                                   static_cast<std::uint8_t>(solid->color >> 8),
                                   static_cast<std::uint8_t>(solid->color), 0};
    for (std::int32_t y = top; y < bottom; ++y) {
        std::uint8_t* p = target->row(y) + static_cast<std::ptrdiff_t>(left) * bpp;
        for (std::int32_t x = left; x < right; ++x, p += bpp)
            std::memcpy(p, pixel, bpp);
    }
    return 1;
}

bool BitBlt(HDC dest, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
            HDC src, std::int32_t srcX, std::int32_t srcY, std::uint32_t rop) {
    if (rop != SRCCOPY) return false;
    std::lock_guard lock(HandleTable::instance().mutex());
    BitmapObject* to = selectedBitmap(dest);
    BitmapObject* from = selectedBitmap(src);
    if (!pixelBitmap(to) || !pixelBitmap(from) || width < 0 || height < 0) return false;

    // Clip against both bitmaps; what falls outside either is not copied.
    std::int64_t dx = x, dy = y, sx = srcX, sy = srcY, w = width, h = height;
    const auto cut = [](std::int64_t& a, std::int64_t& b, std::int64_t& n) {
        const std::int64_t skip = std::max<std::int64_t>({0, -a, -b});
        a += skip;
        b += skip;
        n -= skip;
    };
    cut(dx, sx, w);
    cut(dy, sy, h);
    w = std::min({w, to->width - dx, from->width - sx});
    h = std::min({h, to->height - dy, from->height - sy});
    if (w <= 0 || h <= 0) return true;

    const auto cw = static_cast<std::int32_t>(w), ch = static_cast<std::int32_t>(h);
    const std::int32_t fromBpp = bytesPerPixel(*from), toBpp = bytesPerPixel(*to);
    const SourceView source =
        sourceView(*from, to, static_cast<std::int32_t>(sx), static_cast<std::int32_t>(sy), cw, ch);
    for (std::int32_t j = 0; j < ch; ++j) {
        const std::uint8_t* s = source.row(j);
        std::uint8_t* d = to->row(static_cast<std::int32_t>(dy) + j) + dx * toBpp;
        if (fromBpp == toBpp) {
            std::memcpy(d, s, static_cast<std::size_t>(cw) * toBpp);
            continue;
        }
        if (toBpp == 3)
            PixelsTo24(s, d, cw);
        else
            PixelsTo32(s, d, cw, 0);
    }
    return true;
}

std::int32_t SetDIBitsToDevice(HDC dest, std::int32_t xDest, std::int32_t yDest, std::int32_t width,
                               std::int32_t height, std::int32_t xSrc, std::int32_t ySrc,
                               std::uint32_t startScan, std::uint32_t lines,
                               std::span<const std::uint8_t> bits, const BITMAPINFOHEADER& info,
                               std::uint32_t colorUse) {
    std::lock_guard lock(HandleTable::instance().mutex());
    BitmapObject* to = selectedBitmap(dest);
    if (!pixelBitmap(to) || colorUse != DIB_RGB_COLORS || info.biCompression != BI_RGB ||
        (info.biBitCount != 24 && info.biBitCount != 32) || info.biWidth <= 0 ||
        info.biHeight == 0 || width < 0 || height < 0)
        return 0;
    const std::int64_t dibHeight = info.biHeight < 0 ? -std::int64_t{info.biHeight} : info.biHeight;
    const std::int32_t fromBpp = info.biBitCount / 8;
    const std::int64_t stride = ((std::int64_t{info.biBitCount} * info.biWidth + 31) & ~31) / 8;
    if (startScan >= dibHeight || lines == 0) return 0;
    const std::int64_t available = std::min<std::int64_t>(lines, dibHeight - startScan);
    if (static_cast<std::int64_t>(bits.size()) < available * stride) return 0;

    const std::int32_t toBpp = bytesPerPixel(*to);
    // Columns that land inside both the destination and the DIB.
    const std::int64_t firstColumn =
        std::max<std::int64_t>({0, -std::int64_t{xDest}, -std::int64_t{xSrc}});
    const std::int64_t endColumn = std::min<std::int64_t>(
        {width, std::int64_t{to->width} - xDest, std::int64_t{info.biWidth} - xSrc});
    std::int32_t drawn = 0;
    for (std::int32_t j = 0; j < height; ++j) {
        const std::int64_t ty = std::int64_t{yDest} + j;
        if (ty < 0 || ty >= to->height) continue;
        // The scan line under destination row j, counted as the DIB stores it.
        const std::int64_t scan =
            info.biHeight > 0 ? std::int64_t{ySrc} + height - 1 - j : std::int64_t{ySrc} + j;
        const std::int64_t local = scan - startScan;
        if (local < 0 || local >= available) continue;
        ++drawn;
        if (firstColumn >= endColumn) continue;
        const std::uint8_t* s = bits.data() + local * stride + (xSrc + firstColumn) * fromBpp;
        std::uint8_t* d = to->row(static_cast<std::int32_t>(ty)) + (xDest + firstColumn) * toBpp;
        const std::int64_t count = endColumn - firstColumn;
        if (fromBpp == toBpp) {
            std::memcpy(d, s, static_cast<std::size_t>(count * toBpp));
            continue;
        }
        if (toBpp == 3)
            PixelsTo24(s, d, static_cast<std::int32_t>(count));
        else
            PixelsTo32(s, d, static_cast<std::int32_t>(count), 0);
    }
    return drawn;
}

bool AlphaBlend(HDC dest, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                HDC src, std::int32_t srcX, std::int32_t srcY, std::int32_t srcWidth,
                std::int32_t srcHeight, BLENDFUNCTION blend) {
    std::lock_guard lock(HandleTable::instance().mutex());
    BitmapObject* to = selectedBitmap(dest);
    BitmapObject* from = selectedBitmap(src);
    const DcObject* destDc = findDc(dest);
    if (!pixelBitmap(to) || !pixelBitmap(from) || blend.BlendOp != AC_SRC_OVER ||
        blend.BlendFlags != 0)
        return false;
    const bool perPixel = (blend.AlphaFormat & AC_SRC_ALPHA) != 0;
    if (perPixel && from->bitsPerPixel != 32) return false;
    if (width <= 0 || height <= 0 || srcWidth <= 0 || srcHeight <= 0 || srcX < 0 || srcY < 0 ||
        std::int64_t{srcX} + srcWidth > from->width ||
        std::int64_t{srcY} + srcHeight > from->height)
        return false;

    const Clip cx = clipAxis(x, width, to->width);
    const Clip cy = clipAxis(y, height, to->height);
    if (cx.first >= cx.end || cy.first >= cy.end) return true;

    const std::int32_t fromBpp = bytesPerPixel(*from), toBpp = bytesPerPixel(*to);
    const SourceView source = sourceView(*from, to, srcX, srcY, srcWidth, srcHeight);
    const auto sourceAt = [&](std::int32_t sx, std::int32_t sy) {
        return readPixel(source.row(sy - srcY) + static_cast<std::size_t>(sx - srcX) * fromBpp,
                         fromBpp);
    };

    const bool halftone =
        destDc->stretchMode == HALFTONE && (width != srcWidth || height != srcHeight);
    std::vector<std::int32_t> nearX, nearY;
    std::vector<Coverage> areaX, areaY;
    if (halftone) {
        areaX = areaMap(srcX, srcWidth, width, cx.first, cx.end);
        areaY = areaMap(srcY, srcHeight, height, cy.first, cy.end);
    } else {
        nearX = nearestMap(srcX, srcWidth, width);
        nearY = nearestMap(srcY, srcHeight, height);
    }
    const std::uint64_t area = std::uint64_t(srcWidth) * std::uint64_t(srcHeight);

    const std::uint32_t constant = blend.SourceConstantAlpha;
    for (std::int32_t j = cy.first; j < cy.end; ++j) {
        std::uint8_t* d = to->row(y + j) + static_cast<std::ptrdiff_t>(x + cx.first) * toBpp;
        for (std::int32_t i = cx.first; i < cx.end; ++i, d += toBpp) {
            std::array<std::uint32_t, 4> s{};
            if (!halftone) {
                s = sourceAt(nearX[static_cast<std::size_t>(i)],
                             nearY[static_cast<std::size_t>(j)]);
            } else {
                const Coverage& hx = areaX[static_cast<std::size_t>(i - cx.first)];
                const Coverage& vy = areaY[static_cast<std::size_t>(j - cy.first)];
                std::array<std::uint64_t, 4> sum{};
                for (std::size_t r = 0; r < vy.weights.size(); ++r)
                    for (std::size_t c = 0; c < hx.weights.size(); ++c) {
                        const auto p = sourceAt(hx.first + static_cast<std::int32_t>(c),
                                                vy.first + static_cast<std::int32_t>(r));
                        const std::uint64_t w = std::uint64_t(hx.weights[c]) * vy.weights[r];
                        for (int k = 0; k < 4; ++k)
                            sum[static_cast<std::size_t>(k)] += p[static_cast<std::size_t>(k)] * w;
                    }
                for (int k = 0; k < 4; ++k)
                    s[static_cast<std::size_t>(k)] = static_cast<std::uint32_t>(
                        (sum[static_cast<std::size_t>(k)] + area / 2) / area);
            }
            const int channels = toBpp;
            if (perPixel) {
                for (auto& v : s)
                    v = mulDiv255(v, constant);
                const std::uint32_t keep = 255 - s[3];
                for (int k = 0; k < channels; ++k)
                    d[k] = static_cast<std::uint8_t>(std::min<std::uint32_t>(
                        255, s[static_cast<std::size_t>(k)] + mulDiv255(d[k], keep)));
            } else {
                for (int k = 0; k < channels; ++k)
                    d[k] = static_cast<std::uint8_t>(std::min<std::uint32_t>(
                        255, mulDiv255(s[static_cast<std::size_t>(k)], constant) +
                                 mulDiv255(d[k], 255 - constant)));
            }
        }
    }
    return true;
}

} // namespace platform

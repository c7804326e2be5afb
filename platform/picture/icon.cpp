#include "platform/picture/icon.h"

#include "platform/gdi/gdi.h"
#include "platform/gdi/memory_canvas.h"
#include "platform/picture/picture_detail.h"

#include <algorithm>
#include <vector>

namespace platform {
namespace detail {

IconObject* findIcon(HGDIOBJ h) {
    return HandleTable::instance().get<IconObject>(h);
}

} // namespace detail

using namespace detail;

namespace {

bool light(std::uint32_t c) {
    return (c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF) >= 384;
}

bool hasAlpha(const BitmapObject& bitmap) {
    if (bitmap.bitsPerPixel != 32) return false;
    for (std::int32_t y = 0; y < bitmap.height; ++y) {
        const std::uint8_t* p = bitmap.row(y);
        for (std::int32_t x = 0; x < bitmap.width; ++x)
            if (p[x * 4 + 3] != 0) return true;
    }
    return false;
}

} // namespace

HICON CreateIconIndirect(const ICONINFO& info) {
    auto& table = HandleTable::instance();
    std::lock_guard lock(table.mutex());
    const BitmapObject* mask = findBitmap(info.hbmMask);
    if (!mask || !mask->pixels || mask->width < 1 || mask->height < 1) return 0;
    const BitmapObject* color = info.hbmColor ? findBitmap(info.hbmColor) : nullptr;
    if (info.hbmColor && (!color || !color->pixels)) return 0;
    // A monochrome icon stacks its AND and XOR halves in one mask.
    if (!color && mask->height < 2) return 0;

    auto icon = std::make_unique<IconObject>();
    icon->isIcon = info.fIcon;
    icon->xHotspot = info.xHotspot;
    icon->yHotspot = info.yHotspot;
    icon->mask = cloneBitmap(*mask);
    if (color) icon->color = cloneBitmap(*color);
    return table.add(std::move(icon));
}

bool GetIconInfo(HICON handle, ICONINFO& info) {
    auto& table = HandleTable::instance();
    std::lock_guard lock(table.mutex());
    const IconObject* icon = findIcon(handle);
    if (!icon) return false;
    info.fIcon = icon->isIcon;
    info.xHotspot = icon->xHotspot;
    info.yHotspot = icon->yHotspot;
    info.hbmMask = table.add(cloneBitmap(*icon->mask));
    info.hbmColor = icon->color ? table.add(cloneBitmap(*icon->color)) : 0;
    return true;
}

bool DestroyIcon(HICON handle) {
    if (!findIcon(handle)) return false;
    return DeleteObject(handle);
}

bool GetIconSize(HICON handle, std::int32_t& width, std::int32_t& height) {
    const IconObject* icon = findIcon(handle);
    if (!icon) return false;
    width = icon->width();
    height = icon->height();
    return true;
}

bool DrawIconEx(HDC hdc, std::int32_t x, std::int32_t y, HICON handle, std::int32_t cx,
                std::int32_t cy, std::uint32_t flags) {
    auto& table = HandleTable::instance();
    std::lock_guard lock(table.mutex());
    const IconObject* icon = findIcon(handle);
    const BitmapObject* target = selectedBitmap(hdc);
    if (!icon || !target || target->bitsPerPixel != 32 || !target->pixels) return false;
    if ((flags & DI_NORMAL) == 0) return false;
    const std::int32_t w = icon->width();
    const std::int32_t h = icon->height();
    if (cx == 0) cx = w;
    if (cy == 0) cy = h;
    if (cx < 1 || cy < 1 || w < 1 || h < 1) return false;

    const BitmapObject& mask = *icon->mask;
    const bool blend = icon->color && hasAlpha(*icon->color);
    std::vector<std::uint32_t> maskRow(static_cast<std::size_t>(mask.width));
    std::vector<std::uint32_t> colorRow(
        static_cast<std::size_t>(icon->color ? icon->color->width : mask.width));

    const std::int32_t y0 = std::max(y, 0);
    const std::int32_t y1 =
        static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{y} + cy, target->height));
    const std::int32_t x0 = std::max(x, 0);
    const std::int32_t x1 =
        static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{x} + cx, target->width));
    for (std::int32_t dy = y0; dy < y1; ++dy) {
        const auto sy = static_cast<std::int32_t>((std::int64_t{dy} - y) * h / cy);
        const bool haveMask = sy < mask.height;
        if (haveMask) readRow32(mask, sy, maskRow.data());
        bool haveColor = false;
        if (icon->color && sy < icon->color->height) {
            readRow32(*icon->color, sy, colorRow.data());
            haveColor = true;
        } else if (!icon->color && sy + h < mask.height) {
            readRow32(mask, sy + h, colorRow.data());
            haveColor = true;
        }
        auto* out = reinterpret_cast<std::uint8_t*>(target->row(dy));
        for (std::int32_t dx = x0; dx < x1; ++dx) {
            const auto sx = static_cast<std::size_t>((std::int64_t{dx} - x) * w / cx);
            const bool keep = haveMask && sx < maskRow.size() && light(maskRow[sx]);
            const std::uint32_t c = haveColor && sx < colorRow.size() ? colorRow[sx] : 0xFF000000u;
            std::uint8_t* p = out + static_cast<std::size_t>(dx) * 4;
            if (blend) {
                const std::uint32_t a = c >> 24;
                if (flags & DI_IMAGE)
                    for (int i = 0; i < 3; ++i) {
                        const std::uint32_t s = (c >> (8 * i)) & 0xFF;
                        p[i] = static_cast<std::uint8_t>((s * a + p[i] * (255 - a)) / 255);
                    }
                p[3] = static_cast<std::uint8_t>(a + p[3] * (255 - a) / 255);
                continue;
            }
            // AND with the mask, then XOR with the colour, as icons are
            // drawn; pixels the mask does not keep become opaque.
            const std::uint32_t mode = flags & DI_NORMAL;
            if (mode == DI_NORMAL && keep) {
                for (int i = 0; i < 3; ++i)
                    p[i] ^= static_cast<std::uint8_t>(c >> (8 * i));
            } else if (mode != DI_MASK || !keep) {
                const std::uint32_t v = mode == DI_MASK ? 0 : c;
                for (int i = 0; i < 3; ++i)
                    p[i] = static_cast<std::uint8_t>(v >> (8 * i));
                p[3] = 255;
            }
        }
    }
    return true;
}

PointerImage PointerImageOf(HICON icon) {
    PointerImage out;
    std::int32_t w = 0, h = 0;
    if (!GetIconSize(icon, w, h) || w < 1 || h < 1 || w > 256 || h > 256) return out;
    // The alpha is recovered by drawing the icon once over black and once
    // over white: where the two agree the pixel is opaque, and the
    // difference is what shows through.
    MemoryCanvas black(w, h), white(w, h);
    if (!black.ok() || !white.ok()) return out;
    black.fill({0, 0, w, h}, 0xFF000000u);
    white.fill({0, 0, w, h}, 0xFFFFFFFFu);
    if (!DrawIconEx(black.dc(), 0, 0, icon, w, h) || !DrawIconEx(white.dc(), 0, 0, icon, w, h))
        return out;
    out.pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* b = black.row(y);
        const std::uint8_t* wt = white.row(y);
        std::uint32_t* row = out.pixels.data() + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x, b += 4, wt += 4) {
            // Over black a pixel is c·a; over white c·a + 255·(1 − a).
            const int through = std::clamp(int{wt[1]} - int{b[1]}, 0, 255);
            const std::uint32_t alpha = 255u - static_cast<std::uint32_t>(through);
            const auto channel = [&](int i) { return std::min<std::uint32_t>(b[i], alpha); };
            row[x] = (alpha << 24) | (channel(2) << 16) | (channel(1) << 8) | channel(0);
        }
    }
    out.width = w;
    out.height = h;
    out.hotX = w / 2;
    out.hotY = h / 2;
    ICONINFO info;
    if (GetIconInfo(icon, info)) {
        if (!info.fIcon) {
            out.hotX = static_cast<std::int32_t>(info.xHotspot);
            out.hotY = static_cast<std::int32_t>(info.yHotspot);
        }
        if (info.hbmMask != 0) DeleteObject(info.hbmMask);
        if (info.hbmColor != 0) DeleteObject(info.hbmColor);
    }
    return out;
}

} // namespace platform

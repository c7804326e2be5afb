#pragma once
// Icon and cursor handles: a colour bitmap (or none, for a monochrome icon
// whose mask holds both halves) and a 1-bit mask, with the icon or cursor
// flag. They live in the GDI handle table as OBJ_ICON objects, so
// GetObjectType answers for them and DeleteObject or DestroyIcon frees them.

#include "platform/gdi/types.h"

#include <cstdint>
#include <vector>

namespace platform {

struct ICONINFO {
    bool fIcon = true; // false: a cursor
    std::uint32_t xHotspot = 0;
    std::uint32_t yHotspot = 0;
    HBITMAP hbmMask = 0;  // required; twice the height when hbmColor is 0
    HBITMAP hbmColor = 0; // may be 0
};

// Copies the bitmaps: the caller keeps and deletes its own.
HICON CreateIconIndirect(const ICONINFO& info);
// Fresh copies of the icon's bitmaps, which the caller deletes.
bool GetIconInfo(HICON icon, ICONINFO& info);
bool DestroyIcon(HICON icon);
// The icon's size in pixels (the colour bitmap's, or the mask's width and
// half its height); false for a handle that is no icon.
bool GetIconSize(HICON icon, std::int32_t& width, std::int32_t& height);

inline constexpr std::uint32_t DI_MASK = 1;
inline constexpr std::uint32_t DI_IMAGE = 2;
inline constexpr std::uint32_t DI_NORMAL = 3;

// Draws the icon onto the 32-bit bitmap selected into `hdc`, stretched to
// cx x cy (0 = the icon's own size). Mask bits that are set keep the
// destination; a 32-bit colour bitmap with alpha is blended by its alpha.
bool DrawIconEx(HDC hdc, std::int32_t x, std::int32_t y, HICON icon, std::int32_t cx,
                std::int32_t cy, std::uint32_t flags = DI_NORMAL);

// An icon or a cursor as the pixels of a pointer shape: premultiplied
// 0xAARRGGBB values in top-down rows, with its hot spot (a cursor's own, the
// middle of an icon).
struct PointerImage {
    std::vector<std::uint32_t> pixels; // empty: the icon could not be drawn
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t hotX = 0;
    std::int32_t hotY = 0;
};
// Icons of up to 256 by 256 pixels.
PointerImage PointerImageOf(HICON icon);

} // namespace platform

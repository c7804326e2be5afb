#pragma once
// Pixel transfers between device contexts: BitBlt, SetDIBitsToDevice,
// FillRect and AlphaBlend with the Windows calling shapes. They work on the
// bitmaps selected into memory DCs (24 and 32 bits per pixel); the screen DC
// holds no pixels here, so a transfer to or from it reports failure.

#include "platform/gdi/types.h"

#include <cstdint>
#include <span>

namespace platform {

inline constexpr std::uint32_t SRCCOPY = 0x00CC0020;

inline constexpr std::uint8_t AC_SRC_OVER = 0;
inline constexpr std::uint8_t AC_SRC_ALPHA = 1;

struct BLENDFUNCTION {
    std::uint8_t BlendOp = AC_SRC_OVER;
    std::uint8_t BlendFlags = 0;
    std::uint8_t SourceConstantAlpha = 255;
    std::uint8_t AlphaFormat = 0;
};

// Copies a rectangle; only SRCCOPY is supported. Parts outside either
// bitmap are left out. 32 to 24 bits drops alpha, 24 to 32 writes alpha 0.
bool BitBlt(HDC dest, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
            HDC src, std::int32_t srcX, std::int32_t srcY, std::uint32_t rop);

// Writes rows of a 24- or 32-bpp BI_RGB DIB at (xDest, yDest). For a
// bottom-up DIB (xSrc, ySrc) is measured from its lower-left corner, as on
// Windows; `bits` holds the scan lines startScan .. startScan + lines - 1
// (counted from the bottom) and must be large enough for them. Returns the
// number of scan lines drawn, 0 on failure.
std::int32_t SetDIBitsToDevice(HDC dest, std::int32_t xDest, std::int32_t yDest, std::int32_t width,
                               std::int32_t height, std::int32_t xSrc, std::int32_t ySrc,
                               std::uint32_t startScan, std::uint32_t lines,
                               std::span<const std::uint8_t> bits, const BITMAPINFOHEADER& info,
                               std::uint32_t colorUse);

// Fills the rectangle (right and bottom excluded) with a solid brush. On a
// 32-bpp bitmap the alpha bytes become 0, as the system's fill leaves them.
int FillRect(HDC hdc, const RECT& rect, HBRUSH brush);
bool OffsetRect(RECT& rect, std::int32_t dx, std::int32_t dy);

// Premultiplied source-over with a constant alpha. AC_SRC_ALPHA in
// AlphaFormat uses the source's alpha (32-bpp sources only); without it the
// constant alpha alone weighs source against destination. A size that
// differs from the source's is stretched by the destination's stretch mode:
// HALFTONE averages the covered source area, every other mode takes the
// nearest pixel. The source rectangle must lie inside the source bitmap;
// the destination is clipped to its bitmap. Negative sizes fail.
// Row conversions between 32-bpp BGRA and 24-bpp BGR pixels; widening
// writes `alpha` into every fourth byte.
void PixelsTo24(const std::uint8_t* src, std::uint8_t* dst, std::int32_t count);
void PixelsTo32(const std::uint8_t* src, std::uint8_t* dst, std::int32_t count, std::uint8_t alpha);

bool AlphaBlend(HDC dest, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                HDC src, std::int32_t srcX, std::int32_t srcY, std::int32_t srcWidth,
                std::int32_t srcHeight, BLENDFUNCTION blend);

} // namespace platform

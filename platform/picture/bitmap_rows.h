#pragma once
// Reading any bitmap of the handle table back as rows of a chosen depth, the
// service a reader asks for when it wants a bitmap's pixels in its own
// layout: 32-bit rows (blue, green, red, alpha; alpha kept from a 32-bit
// bitmap, 255 otherwise) or 1-bit rows (bit set for a light pixel, most
// significant bit first), bottom row first, rows padded to 4 bytes.

#include "platform/gdi/types.h"

#include <cstdint>
#include <span>

namespace platform {

// `width` x `height` pixels of the bitmap's top-left corner; pixels the
// bitmap does not have are left as they are. False for a handle that is no
// bitmap, a depth other than 1 or 32, or a `dest` too small for the rows.
bool GetBitmapRows(HBITMAP bitmap, std::uint16_t bitCount, std::int32_t width, std::int32_t height,
                   std::span<std::uint8_t> dest);

} // namespace platform

#pragma once
// Small helpers the surface and platform tests share: reading and writing
// one pixel of a surface by image row (0 = top), and a DIB header.

#include "dib/c32bppdib.h"
#include "platform/gdi/types.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace testpixels {

// Blue, green, red, alpha, as the surface stores them.
using Px = std::array<std::uint8_t, 4>;

inline void set(c32bppDIB& s, int x, int y, Px p) {
    std::memcpy(s.row(y) + x * 4, p.data(), 4);
}

inline Px get(const c32bppDIB& s, int x, int y) {
    Px p;
    std::memcpy(p.data(), s.row(y) + x * 4, 4);
    return p;
}

inline platform::BITMAPINFOHEADER dibHeader(std::int32_t w, std::int32_t h, std::uint16_t bpp) {
    platform::BITMAPINFOHEADER bi;
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biBitCount = bpp;
    return bi;
}

} // namespace testpixels

#pragma once
// The picture the rendering measurements blend and scale: 4000 x 3000, a
// photograph-like mix, mostly opaque, a band of soft edges, some holes.

#include "dib/c32bppdib.h"

#include <cstdint>
#include <random>

namespace benchimages {

constexpr std::int32_t kRenderWidth = 4000;
constexpr std::int32_t kRenderHeight = 3000;

inline void fillRenderImage(c32bppDIB& s, unsigned seed) {
    s.InitializeDIB(kRenderWidth, kRenderHeight);
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uint8_t* p = s.BitsPointer();
    for (std::int32_t y = 0; y < kRenderHeight; ++y)
        for (std::int32_t x = 0; x < kRenderWidth; ++x, p += 4) {
            const int band = (x / 50 + y / 50) % 4;
            const int a = band == 0 ? 0 : band == 1 ? byte(rng) : 255;
            p[3] = static_cast<std::uint8_t>(a);
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<std::uint8_t>(a ? byte(rng) % (a + 1) : 0);
        }
}

// The source every case draws from, made once.
inline c32bppDIB& renderSource() {
    static c32bppDIB s;
    if (s.Handle() == 0) fillRenderImage(s, 1);
    return s;
}

} // namespace benchimages

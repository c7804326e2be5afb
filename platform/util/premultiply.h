#pragma once
// Premultiplication of straight colour by alpha, the one rule every reader
// and the surface share: colour x alpha / 255, truncated. Truncating (never
// rounding) keeps every colour at or below its alpha and gives the same
// bytes whichever reader produced the pixel.

#include <cstdint>
#include <cstring>

namespace velmora {

constexpr std::uint8_t premultiply(std::uint32_t colour, std::uint32_t alpha) {
    return static_cast<std::uint8_t>(colour * alpha / 255);
}

// One BGRA pixel in place with the given alpha: 0 clears all four bytes,
// 255 leaves the colour as it is.
inline void premultiplyPixel(std::uint8_t* bgra, std::uint32_t alpha) {
    if (alpha == 0) {
        std::memset(bgra, 0, 4);
        return;
    }
    if (alpha != 255) {
        bgra[0] = premultiply(bgra[0], alpha);
        bgra[1] = premultiply(bgra[1], alpha);
        bgra[2] = premultiply(bgra[2], alpha);
    }
    bgra[3] = static_cast<std::uint8_t>(alpha);
}

} // namespace velmora

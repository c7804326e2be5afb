#pragma once
// Source-over rows with constant alpha, in an SSE2 build (four pixels a
// step) and an AVX2 build (eight), taken where the processor has it. Both
// do the same integer arithmetic, so both give the same bytes. Only
// render_routines.cpp and the AVX2 file use this.

#include <cstdint>

namespace velmora::render::blend {

// What becomes of the destination's alpha byte: blended like the colours
// (a host surface), kept (a 24-bit copy of a DC's area, whose fourth byte
// is thrown away), or cleared (a DC's 32-bit pixels blended in place, left
// as the round trip through 24 bits leaves them).
enum class DestAlpha { Blend, Keep, Clear };

// The formula one pixel at a time, for what the vector steps leave over and
// for pixels that break the premultiplied rule.
void pixels(std::uint8_t* dst, const std::uint8_t* src, std::int32_t n, std::uint32_t o,
            DestAlpha mode);

void rowSse2(std::uint8_t* dst, const std::uint8_t* src, std::int32_t n, std::uint32_t o,
             DestAlpha mode);
#if defined(__x86_64__)
void rowAvx2(std::uint8_t* dst, const std::uint8_t* src, std::int32_t n, std::uint32_t o,
             DestAlpha mode);
#endif

} // namespace velmora::render::blend

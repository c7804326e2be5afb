#pragma once
// What the AVX2 and AVX-512 builds of the bilinear rows share: a pixel's
// four channels in one 256-bit vector. Included by those two files only;
// everything here has internal linkage, so each file keeps a copy compiled
// for its own processor.

#include "surface/bilinear_rows.h"

#include <cstring>
#include <immintrin.h>

namespace velmora::render::bilinear {
namespace {

inline void store(std::uint8_t* out, __m256d sum) {
    // Truncation is the floor here: every sum is non-negative.
    __m128i v = _mm256_cvttpd_epi32(sum);
    v = _mm_packus_epi16(_mm_packs_epi32(v, v), v);
    const std::int32_t bytes = _mm_cvtsi128_si32(v);
    std::memcpy(out, &bytes, 4);
}

// Two pixels at once: half the packing and one store.
inline void store2(std::uint8_t* out, __m256d first, __m256d second) {
    __m128i v = _mm_packs_epi32(_mm256_cvttpd_epi32(first), _mm256_cvttpd_epi32(second));
    v = _mm_packus_epi16(v, v);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), v);
}

inline __m256d pixel(const double* row, std::int32_t column) {
    return _mm256_loadu_pd(row + static_cast<std::size_t>(column) * 4);
}

} // namespace
} // namespace velmora::render::bilinear

// The AVX-512 build of the bilinear rows, compiled with AVX-512 enabled and
// only called where the processor has it. A column pair's two pixels are
// next to each other in a row, so one 512-bit load and one multiply give
// both of its terms in that row; the sum is still made term by term in the
// formula's order. Like the AVX2 build, it uses no library templates.

#include "surface/bilinear_rows.h"

#include <cstring>
// GCC 12's AVX-512 intrinsics start from placeholders it then reports as
// maybe uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

#include "surface/bilinear_rows_wide.h"

namespace velmora::render::bilinear {
namespace {

// Columns a and a + 1 of a row.
inline __m512d pair(const double* row, std::int32_t column) {
    return _mm512_loadu_pd(row + static_cast<std::size_t>(column) * 4);
}

// (wa, wa, wa, wa, wb, wb, wb, wb)
inline __m512d columnWeights(const Column& c) {
    return _mm512_mask_broadcastsd_pd(_mm512_set1_pd(c.wa), 0xF0, _mm_load_sd(&c.wb));
}

inline __m256d highHalf(__m512d v) {
    return _mm512_castpd512_pd256(_mm512_shuffle_f64x2(v, v, 0xEE));
}

// low half + high half, the low half's term first.
inline __m256d addHalves(__m256d sum, __m512d terms) {
    return _mm256_add_pd(_mm256_add_pd(sum, _mm512_castpd512_pd256(terms)), highHalf(terms));
}

// Every column's sum, stored four pixels at a time.
template <typename SumAt>
inline void storeAll(const Column* columns, std::int32_t count, std::uint8_t* out, SumAt sumAt) {
    std::int32_t i = 0;
    for (; i + 4 <= count; i += 4, out += 16) {
        const __m128i first = _mm_packs_epi32(_mm256_cvttpd_epi32(sumAt(columns[i])),
                                              _mm256_cvttpd_epi32(sumAt(columns[i + 1])));
        const __m128i second = _mm_packs_epi32(_mm256_cvttpd_epi32(sumAt(columns[i + 2])),
                                               _mm256_cvttpd_epi32(sumAt(columns[i + 3])));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(first, second));
    }
    for (; i < count; ++i, out += 4)
        store(out, sumAt(columns[i]));
}

} // namespace

void bothRowsAvx512(const double* rowA, const double* rowB, double weightA, double weightB,
                    const Column* columns, std::int32_t count, std::uint8_t* out) {
    const __m512d rowWeightA = _mm512_set1_pd(weightA), rowWeightB = _mm512_set1_pd(weightB);
    const auto sumAt = [&](const Column& c) {
        if (c.single) {
            // Column a weighs 1, so each term's weight is its row's.
            const __m256d sum = _mm256_mul_pd(pixel(rowA, c.a), _mm512_castpd512_pd256(rowWeightA));
            return _mm256_add_pd(
                sum, _mm256_mul_pd(pixel(rowB, c.a), _mm512_castpd512_pd256(rowWeightB)));
        }
        // Column b is a + 1 here, inside the row.
        const __m512d w = columnWeights(c);
        const __m512d termsA = _mm512_mul_pd(pair(rowA, c.a), _mm512_mul_pd(w, rowWeightA));
        const __m512d termsB = _mm512_mul_pd(pair(rowB, c.a), _mm512_mul_pd(w, rowWeightB));
        const __m256d sum = _mm256_add_pd(_mm512_castpd512_pd256(termsA), highHalf(termsA));
        return addHalves(sum, termsB);
    };
    storeAll(columns, count, out, sumAt);
}

void oneRowAvx512(const double* row, const std::uint8_t* bytes, double weight,
                  const Column* columns, std::int32_t count, std::uint8_t* out) {
    if (row == nullptr) {
        // Every column single: the pixels themselves.
        for (std::int32_t i = 0; i < count; ++i, out += 4)
            std::memcpy(out, bytes + static_cast<std::size_t>(columns[i].a) * 4, 4);
        return;
    }
    const __m512d rowWeight = _mm512_set1_pd(weight);
    const auto sumAt = [&](const Column& c) {
        if (c.single) {
            // The pixel's own bytes, which come back unchanged from doubles.
            std::int32_t own;
            std::memcpy(&own, bytes + static_cast<std::size_t>(c.a) * 4, 4);
            return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(own)));
        }
        const __m512d terms =
            _mm512_mul_pd(pair(row, c.a), _mm512_mul_pd(columnWeights(c), rowWeight));
        return _mm256_add_pd(_mm512_castpd512_pd256(terms), highHalf(terms));
    };
    storeAll(columns, count, out, sumAt);
}

} // namespace velmora::render::bilinear

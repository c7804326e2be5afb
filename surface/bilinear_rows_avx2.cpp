// The AVX2 build of the bilinear rows, compiled with AVX2 enabled and only
// called where the processor has it. It uses no library templates, whose
// instances the linker could otherwise share with code for every processor.

#include "surface/bilinear_rows.h"
#include "surface/bilinear_rows_wide.h"

#include <cstring>
#include <immintrin.h>

namespace velmora::render::bilinear {

void convertAvx2(const std::uint8_t* bytes, std::int32_t count, double* out) {
    std::int32_t i = 0;
    for (; i + 2 <= count; i += 2, bytes += 8, out += 8) {
        std::int64_t pair;
        std::memcpy(&pair, bytes, 8);
        const __m256i v = _mm256_cvtepu8_epi32(_mm_cvtsi64_si128(pair));
        _mm256_storeu_pd(out, _mm256_cvtepi32_pd(_mm256_castsi256_si128(v)));
        _mm256_storeu_pd(out + 4, _mm256_cvtepi32_pd(_mm256_extracti128_si256(v, 1)));
    }
    if (i < count) {
        std::int32_t pixel;
        std::memcpy(&pixel, bytes, 4);
        _mm256_storeu_pd(out, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(pixel))));
    }
}

void bothRowsAvx2(const double* rowA, const double* rowB, double weightA, double weightB,
                  const Column* columns, std::int32_t count, std::uint8_t* out) {
    const __m256d rowWeightA = _mm256_set1_pd(weightA), rowWeightB = _mm256_set1_pd(weightB);
    const auto sumAt = [&](const Column& c) {
        // Each weight is the product column weight x row weight, made in
        // all four lanes at once.
        const __m256d wa = _mm256_broadcast_sd(&c.wa);
        __m256d sum = _mm256_mul_pd(pixel(rowA, c.a), _mm256_mul_pd(wa, rowWeightA));
        if (!c.single) {
            const __m256d wb = _mm256_broadcast_sd(&c.wb);
            sum =
                _mm256_add_pd(sum, _mm256_mul_pd(pixel(rowA, c.b), _mm256_mul_pd(wb, rowWeightA)));
            sum =
                _mm256_add_pd(sum, _mm256_mul_pd(pixel(rowB, c.a), _mm256_mul_pd(wa, rowWeightB)));
            return _mm256_add_pd(sum,
                                 _mm256_mul_pd(pixel(rowB, c.b), _mm256_mul_pd(wb, rowWeightB)));
        }
        sum = _mm256_add_pd(sum, _mm256_mul_pd(pixel(rowB, c.a), _mm256_mul_pd(wa, rowWeightB)));
        return sum;
    };
    std::int32_t i = 0;
    for (; i + 2 <= count; i += 2, out += 8)
        store2(out, sumAt(columns[i]), sumAt(columns[i + 1]));
    if (i < count) store(out, sumAt(columns[i]));
}

void oneRowAvx2(const double* row, const std::uint8_t* bytes, double weight, const Column* columns,
                std::int32_t count, std::uint8_t* out) {
    const __m256d rowWeight = _mm256_set1_pd(weight);
    for (std::int32_t i = 0; i < count; ++i, out += 4) {
        const Column& c = columns[i];
        if (c.single) {
            std::memcpy(out, bytes + static_cast<std::size_t>(c.a) * 4, 4);
            continue;
        }
        const __m256d wa = _mm256_mul_pd(_mm256_broadcast_sd(&c.wa), rowWeight);
        const __m256d wb = _mm256_mul_pd(_mm256_broadcast_sd(&c.wb), rowWeight);
        const __m256d sum =
            _mm256_add_pd(_mm256_mul_pd(pixel(row, c.a), wa), _mm256_mul_pd(pixel(row, c.b), wb));
        store(out, sum);
    }
}

} // namespace velmora::render::bilinear

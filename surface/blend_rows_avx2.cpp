// The AVX2 build of the source-over rows, compiled with AVX2 enabled and
// only called where the processor has it. It uses no library templates,
// whose instances the linker could otherwise share with code for every
// processor; what it leaves over goes to the SSE2 rows.

#include "surface/blend_rows.h"

#include <immintrin.h>

namespace velmora::render::blend {
namespace {

// x / 255, truncated, for 0 <= x <= 65534 in every 16-bit lane: the SSE2
// rows' form, eight pixels wide.
inline __m256i div255(__m256i x) {
    return _mm256_srli_epi16(_mm256_mulhi_epu16(x, _mm256_set1_epi16(static_cast<short>(0x8081))),
                             7);
}

// The same arithmetic as the SSE2 rows; see there why it equals the
// formula. Unpacking and packing work within each 128-bit half, so the
// pixels come back in their places.
template <DestAlpha Mode>
void rowAs(std::uint8_t* dst, const std::uint8_t* src, std::int32_t n, std::uint32_t o) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i c255 = _mm256_set1_epi16(255);
    const __m256i opacity = _mm256_set1_epi16(static_cast<short>(o));
    const __m256i alphaMask = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    // Each pixel's alpha byte into all four of its bytes.
    const __m256i spreadAlpha =
        _mm256_setr_epi8(3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15, 3, 3, 3, 3, 7, 7,
                         7, 7, 11, 11, 11, 11, 15, 15, 15, 15);
    std::int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i * 4));
        auto* dp = reinterpret_cast<__m256i*>(dst + i * 4);
        if (_mm256_testz_si256(s, alphaMask)) {
            if constexpr (Mode == DestAlpha::Clear) {
                // Alpha bytes that are 0 already are not written again.
                const __m256i d = _mm256_loadu_si256(dp);
                if (!_mm256_testz_si256(d, alphaMask))
                    _mm256_storeu_si256(dp, _mm256_andnot_si256(alphaMask, d));
            }
            continue;
        }
        if (o == 255 && _mm256_testc_si256(s, alphaMask)) {
            // Eight opaque pixels at full opacity are copied.
            if constexpr (Mode == DestAlpha::Blend)
                _mm256_storeu_si256(dp, s);
            else if constexpr (Mode == DestAlpha::Clear)
                _mm256_storeu_si256(dp, _mm256_andnot_si256(alphaMask, s));
            else
                _mm256_storeu_si256(dp, _mm256_blendv_epi8(s, _mm256_loadu_si256(dp), alphaMask));
            continue;
        }
        const __m256i a = _mm256_shuffle_epi8(s, spreadAlpha);
        // Premultiplied check: no channel above its pixel's alpha.
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_max_epu8(s, a), a)) != -1) {
            pixels(dst + i * 4, src + i * 4, 8, o, Mode);
            continue;
        }
        const __m256i d = _mm256_loadu_si256(dp);
        const __m256i sLo = _mm256_unpacklo_epi8(s, zero), sHi = _mm256_unpackhi_epi8(s, zero);
        const __m256i aLo = _mm256_unpacklo_epi8(a, zero), aHi = _mm256_unpackhi_epi8(a, zero);
        const __m256i dLo = _mm256_unpacklo_epi8(d, zero), dHi = _mm256_unpackhi_epi8(d, zero);
        __m256i rLo, rHi;
        if (o == 255) {
            rLo =
                _mm256_add_epi16(div255(_mm256_mullo_epi16(dLo, _mm256_sub_epi16(c255, aLo))), sLo);
            rHi =
                _mm256_add_epi16(div255(_mm256_mullo_epi16(dHi, _mm256_sub_epi16(c255, aHi))), sHi);
        } else {
            const __m256i kLo = _mm256_sub_epi16(c255, div255(_mm256_mullo_epi16(aLo, opacity)));
            const __m256i kHi = _mm256_sub_epi16(c255, div255(_mm256_mullo_epi16(aHi, opacity)));
            rLo = div255(
                _mm256_add_epi16(_mm256_mullo_epi16(dLo, kLo), _mm256_mullo_epi16(sLo, opacity)));
            rHi = div255(
                _mm256_add_epi16(_mm256_mullo_epi16(dHi, kHi), _mm256_mullo_epi16(sHi, opacity)));
        }
        __m256i r = _mm256_packus_epi16(rLo, rHi);
        if constexpr (Mode == DestAlpha::Keep)
            r = _mm256_blendv_epi8(r, d, alphaMask);
        else if constexpr (Mode == DestAlpha::Clear)
            r = _mm256_andnot_si256(alphaMask, r);
        _mm256_storeu_si256(dp, r);
    }
    if (i < n) rowSse2(dst + i * 4, src + i * 4, n - i, o, Mode);
}

} // namespace

void rowAvx2(std::uint8_t* dst, const std::uint8_t* src, std::int32_t n, std::uint32_t o,
             DestAlpha mode) {
    switch (mode) {
    case DestAlpha::Blend:
        rowAs<DestAlpha::Blend>(dst, src, n, o);
        break;
    case DestAlpha::Keep:
        rowAs<DestAlpha::Keep>(dst, src, n, o);
        break;
    case DestAlpha::Clear:
        rowAs<DestAlpha::Clear>(dst, src, n, o);
        break;
    }
}

} // namespace velmora::render::blend

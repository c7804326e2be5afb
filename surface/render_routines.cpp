#include "surface/render_routines.h"

#include "platform/util/checked.h"
#include "surface/bilinear_rows.h"
#include "surface/blend_rows.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmora::render {

bool PixelBuffer::allocate(std::int32_t w, std::int32_t h) {
    if (w < 1 || h < 1) return false;
    const auto size = velmora::imageBytes(w, h, 4);
    if (!size) return false;
    try {
        bytes.assign(*size, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    width = w;
    height = h;
    return true;
}

namespace {

bool rectFits(BgraPremulBottomUpView v, SourceRect r) {
    return !v.empty() && r.x >= 0 && r.y >= 0 && r.width >= 1 && r.height >= 1 &&
           std::int64_t{r.x} + r.width <= v.width && std::int64_t{r.y} + r.height <= v.height;
}

// One output pixel of the bilinear formula. The weights are the double
// products column weight x row weight, summed channel by channel in the
// order (row a, col a), (row a, col b), (row b, col a), (row b, col b). A
// neighbour the formula leaves out comes with weight 0 and any readable
// pixel: adding +0.0 to a non-negative sum changes no bit, so the result
// equals the formula's sum over the remaining neighbours.
struct Taps {
    const std::uint8_t* rowA;
    const std::uint8_t* rowB;
    double weightA;
    double weightB;
};

inline void bilinearPixel(const Taps& rows, std::int32_t colA, std::int32_t colB, double cwA,
                          double cwB, std::uint8_t* out) {
    const std::uint8_t* pAA = rows.rowA + static_cast<std::size_t>(colA) * 4;
    const std::uint8_t* pAB = rows.rowA + static_cast<std::size_t>(colB) * 4;
    const std::uint8_t* pBA = rows.rowB + static_cast<std::size_t>(colA) * 4;
    const std::uint8_t* pBB = rows.rowB + static_cast<std::size_t>(colB) * 4;
    const double wAA = cwA * rows.weightA, wAB = cwB * rows.weightA;
    const double wBA = cwA * rows.weightB, wBB = cwB * rows.weightB;
    for (int c = 0; c < 4; ++c) {
        const double v = pAA[c] * wAA + pAB[c] * wAB + pBA[c] * wBA + pBB[c] * wBB;
        out[c] = static_cast<std::uint8_t>(std::min(v, 255.0));
    }
}

// Rows iy (weight fy) and iy - 1 (weight 1 - fy); only row 0 at the bottom.
inline Taps rowTaps(BgraPremulBottomUpView v, std::int32_t iy, double fy) {
    if (iy <= 0) return {v.memoryRow(0), v.memoryRow(0), 1.0, 0.0};
    return {v.memoryRow(iy), v.memoryRow(iy - 1), fy, 1.0 - fy};
}

// Columns ix (weight 1 - fx) and ix + 1 (weight fx); only ix at the last.
struct ColumnTaps {
    std::int32_t a;
    std::int32_t b;
    double wa;
    double wb;
};

inline ColumnTaps columnTaps(std::int32_t ix, double fx, std::int32_t lastColumn) {
    if (ix >= lastColumn) return {lastColumn, lastColumn, 1.0, 0.0};
    return {ix, ix + 1, 1.0 - fx, fx};
}

#if defined(__SSE2__)
// A stretch of columns (relative to the rectangle's first) the arithmetic
// reads.
struct ColumnRun {
    std::int32_t first;
    std::int32_t count;
};

// Source rows as doubles, four per pixel (blue, green, red, alpha),
// converted once and kept for the next output rows, which mostly read the
// same two source rows when enlarging. The arithmetic per lane is the
// scalar formula's, operation for operation, so the bytes are the same.
class DoubleRows {
public:
    // runs: the columns the arithmetic reads; the others keep whatever
    // finite value they had, which only ever meets a weight of 0.
    DoubleRows(BgraPremulBottomUpView source, std::int32_t firstColumn, std::int32_t count,
               std::vector<ColumnRun> runs, bilinear::ConvertFn convert)
        : source_(source), first_(firstColumn), count_(count), runs_(std::move(runs)),
          convert_(convert) {}

    // Both rows, converted if needed; neither evicts the other.
    std::pair<const double*, const double*> rows(std::int32_t a, std::int32_t b) {
        const Slot& slotA = fetch(a, b);
        const Slot& slotB = fetch(b, a);
        return {slotA.data.data(), slotB.data.data()};
    }

private:
    struct Slot {
        std::int32_t index = -1;
        std::vector<double> data;
    };

    Slot& fetch(std::int32_t wanted, std::int32_t keep) {
        for (Slot& slot : slots_)
            if (slot.index == wanted) return slot;
        Slot& slot = slots_[0].index == keep ? slots_[1] : slots_[0];
        slot.index = wanted;
        slot.data.resize(static_cast<std::size_t>(count_) * 4); // new lanes are 0.0
        const std::uint8_t* row = source_.memoryRow(wanted) + static_cast<std::size_t>(first_) * 4;
        for (const ColumnRun& run : runs_)
            convert_(row + static_cast<std::size_t>(run.first) * 4, run.count,
                     slot.data.data() + static_cast<std::size_t>(run.first) * 4);
        return slot;
    }
    BgraPremulBottomUpView source_;
    std::int32_t first_;
    std::int32_t count_;
    std::vector<ColumnRun> runs_;
    bilinear::ConvertFn convert_;
    Slot slots_[2];
};

#endif

} // namespace

#if defined(__SSE2__)
namespace bilinear {
namespace {

inline void store(std::uint8_t* out, __m128d lo, __m128d hi) {
    // Truncation is the floor here: every sum is non-negative.
    __m128i v = _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
    v = _mm_packus_epi16(_mm_packs_epi32(v, v), v);
    const std::int32_t bytes = _mm_cvtsi128_si32(v);
    std::memcpy(out, &bytes, 4);
}

// sum (lo, hi) += the pixel's four channels x w.
inline void addProduct(__m128d& lo, __m128d& hi, const double* row, std::int32_t column,
                       __m128d w) {
    const double* p = row + static_cast<std::size_t>(column) * 4;
    lo = _mm_add_pd(lo, _mm_mul_pd(_mm_loadu_pd(p), w));
    hi = _mm_add_pd(hi, _mm_mul_pd(_mm_loadu_pd(p + 2), w));
}

inline void firstProduct(__m128d& lo, __m128d& hi, const double* row, std::int32_t column,
                         __m128d w) {
    const double* p = row + static_cast<std::size_t>(column) * 4;
    lo = _mm_mul_pd(_mm_loadu_pd(p), w);
    hi = _mm_mul_pd(_mm_loadu_pd(p + 2), w);
}

} // namespace

void convertSse2(const std::uint8_t* bytes, std::int32_t count, double* out) {
    const __m128i zero = _mm_setzero_si128();
    for (std::int32_t i = 0; i < count; ++i, bytes += 4, out += 4) {
        std::int32_t pixel;
        std::memcpy(&pixel, bytes, 4);
        const __m128i v =
            _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(pixel), zero), zero);
        _mm_storeu_pd(out, _mm_cvtepi32_pd(v));
        _mm_storeu_pd(out + 2, _mm_cvtepi32_pd(_mm_shuffle_epi32(v, 0x4E)));
    }
}

// The formula sums (row a, col a), (row a, col b), (row b, col a), (row b,
// col b). A term whose weight is 0 adds +0.0, which changes no bit of a
// non-negative sum, so single columns leave column b's terms out.
void bothRowsSse2(const double* rowA, const double* rowB, double weightA, double weightB,
                  const Column* columns, std::int32_t count, std::uint8_t* out) {
    const __m128d rowWeightA = _mm_set1_pd(weightA), rowWeightB = _mm_set1_pd(weightB);
    for (std::int32_t i = 0; i < count; ++i, out += 4) {
        const Column& c = columns[i];
        const __m128d cw = _mm_set_pd(c.wb, c.wa);
        const __m128d wA = _mm_mul_pd(cw, rowWeightA), wB = _mm_mul_pd(cw, rowWeightB);
        __m128d lo, hi;
        firstProduct(lo, hi, rowA, c.a, _mm_unpacklo_pd(wA, wA));
        if (!c.single) addProduct(lo, hi, rowA, c.b, _mm_unpackhi_pd(wA, wA));
        addProduct(lo, hi, rowB, c.a, _mm_unpacklo_pd(wB, wB));
        if (!c.single) addProduct(lo, hi, rowB, c.b, _mm_unpackhi_pd(wB, wB));
        store(out, lo, hi);
    }
}

void oneRowSse2(const double* row, const std::uint8_t* bytes, double weight, const Column* columns,
                std::int32_t count, std::uint8_t* out) {
    const __m128d rowWeight = _mm_set1_pd(weight);
    for (std::int32_t i = 0; i < count; ++i, out += 4) {
        const Column& c = columns[i];
        if (c.single) {
            std::memcpy(out, bytes + static_cast<std::size_t>(c.a) * 4, 4);
            continue;
        }
        const __m128d w = _mm_mul_pd(_mm_set_pd(c.wb, c.wa), rowWeight);
        __m128d lo, hi;
        firstProduct(lo, hi, row, c.a, _mm_unpacklo_pd(w, w));
        addProduct(lo, hi, row, c.b, _mm_unpackhi_pd(w, w));
        store(out, lo, hi);
    }
}

} // namespace bilinear

namespace {

struct BilinearKernels {
    bilinear::ConvertFn convert;
    bilinear::BothRowsFn bothRows;
    bilinear::OneRowFn oneRow;
};

// Chosen once, from what the processor offers.
const BilinearKernels& bilinearKernels() {
    static const BilinearKernels kernels = [] {
#if defined(VELMORA_BILINEAR_AVX512)
        if (__builtin_cpu_supports("avx512f"))
            return BilinearKernels{bilinear::convertAvx2, bilinear::bothRowsAvx512,
                                   bilinear::oneRowAvx512};
#endif
#if defined(__x86_64__)
        if (__builtin_cpu_supports("avx2"))
            return BilinearKernels{bilinear::convertAvx2, bilinear::bothRowsAvx2,
                                   bilinear::oneRowAvx2};
#endif
        return BilinearKernels{bilinear::convertSse2, bilinear::bothRowsSse2, bilinear::oneRowSse2};
    }();
    return kernels;
}

} // namespace
#endif

bool mirrorInto(BgraPremulBottomUpView source, SourceRect rect, std::int32_t dw, std::int32_t dh,
                BgraPremulBottomUpView out) {
    if (dw >= 1 && dh >= 1) return false;
    if (!rectFits(source, rect) || out.empty() || out.width != rect.width ||
        out.height != rect.height)
        return false;
    const std::int32_t w = rect.width, h = rect.height;
    const bool horizontalOnly = dh >= 0;
    const bool both = !horizontalOnly && dw < 1;
    for (std::int32_t k = 0; k < h; ++k) {
        std::uint8_t* dst = out.memoryRow(h - 1 - k);
        if (horizontalOnly || both) {
            const std::int32_t memoryRow =
                horizontalOnly ? source.height - rect.y - 1 - k : rect.y + k;
            // Output column j takes source column Width - x - 1 - j.
            const std::uint8_t* src = source.memoryRow(memoryRow) +
                                      static_cast<std::size_t>(source.width - rect.x - 1) * 4;
            for (std::int32_t j = 0; j < w; ++j, dst += 4, src -= 4)
                std::memcpy(dst, src, 4);
        } else {
            std::memcpy(dst, source.memoryRow(rect.y + k) + static_cast<std::size_t>(rect.x) * 4,
                        static_cast<std::size_t>(w) * 4);
        }
    }
    return true;
}

bool scaleInto(const ScaleJob& job, BgraPremulBottomUpView out) {
    const std::int32_t outW = job.outputWidth(), outH = job.outputHeight();
    if (!rectFits(job.source, job.rect) || job.dw < 1 || job.dh < 1 || outW < 1 || outH < 1 ||
        out.empty() || out.width != outW || out.height != outH)
        return false;
    const BgraPremulBottomUpView src = job.source;
    const SourceRect r = job.rect;
    const double rx = static_cast<double>(r.width) / job.dw;
    const double ry = static_cast<double>(r.height) / job.dh;
    const std::int32_t skipped = job.skippedLeft();
    const std::int32_t rowsBelow = job.skippedBottom();
    const std::int32_t bottom = src.height - r.y - r.height; // memory row of the rectangle's bottom
    const std::int32_t lastColumn = r.x + r.width - 1;
    const std::int32_t lastRow = src.height - 1;

    // Column positions are computed once per call.
    std::vector<double> positions(static_cast<std::size_t>(outW));
    for (std::int32_t i = 0; i < outW; ++i)
        positions[static_cast<std::size_t>(i)] = r.x + (static_cast<double>(i) + skipped) * rx;

    if (!job.bilinear) {
        std::vector<std::uint32_t> offsets(static_cast<std::size_t>(outW));
        for (std::int32_t i = 0; i < outW; ++i) {
            const auto ix =
                static_cast<std::int32_t>(std::floor(positions[static_cast<std::size_t>(i)]));
            offsets[static_cast<std::size_t>(i)] =
                static_cast<std::uint32_t>(std::clamp(ix, r.x, lastColumn)) * 4;
        }
        for (std::int32_t row = 0; row < outH; ++row) {
            const auto sy = static_cast<std::int32_t>(std::floor((row + rowsBelow) * ry)) + bottom;
            const std::uint8_t* s = src.memoryRow(std::clamp(sy, 0, lastRow));
            std::uint8_t* d = out.memoryRow(row);
            for (std::int32_t i = 0; i < outW; ++i, d += 4)
                std::memcpy(d, s + offsets[static_cast<std::size_t>(i)], 4);
        }
        return true;
    }

#if defined(__SSE2__)
    {
        std::vector<bilinear::Column> columns(static_cast<std::size_t>(outW));
        std::vector<bool> read(static_cast<std::size_t>(r.width), false);
        for (std::int32_t i = 0; i < outW; ++i) {
            const double sx = positions[static_cast<std::size_t>(i)];
            const double fx = std::floor(sx);
            const auto ix = std::clamp(static_cast<std::int32_t>(fx), r.x, lastColumn);
            const ColumnTaps c = columnTaps(ix, sx - fx, lastColumn);
            // Column a's weight is 1 - fx, never 0; column b's is fx.
            const bool single = c.wb == 0.0;
            columns[static_cast<std::size_t>(i)] = {c.a - r.x, c.b - r.x, c.wa, c.wb, single};
            read[static_cast<std::size_t>(c.a - r.x)] = true;
            if (!single) read[static_cast<std::size_t>(c.b - r.x)] = true;
        }
        std::vector<ColumnRun> runs;
        for (std::int32_t k = 0; k < r.width; ++k) {
            if (!read[static_cast<std::size_t>(k)]) continue;
            if (!runs.empty() && runs.back().first + runs.back().count == k)
                ++runs.back().count;
            else
                runs.push_back({k, 1});
        }
        const bool anyPair = std::any_of(columns.begin(), columns.end(),
                                         [](const bilinear::Column& c) { return !c.single; });
        const BilinearKernels& kernels = bilinearKernels();
        DoubleRows rows(src, r.x, r.width, std::move(runs), kernels.convert);
        for (std::int32_t row = 0; row < outH; ++row) {
            const double sy = (row + rowsBelow) * ry + bottom;
            const double fy = std::floor(sy);
            const std::int32_t iy = std::clamp(static_cast<std::int32_t>(fy), 0, lastRow);
            const Taps t = rowTaps(src, iy, sy - fy);
            std::uint8_t* d = out.memoryRow(row);
            // Row b's weight is 1 - fy, 0 only for the bottom row's single
            // tap; row a's is fy, 0 when the sample sits on a row. One row
            // then weighs 1, and a single column is that pixel itself.
            const bool onlyA = t.weightB == 0.0, onlyB = t.weightA == 0.0;
            if (onlyA || onlyB) {
                const std::int32_t index = onlyA ? iy : iy - 1;
                const std::uint8_t* bytes =
                    src.memoryRow(index) + static_cast<std::size_t>(r.x) * 4;
                const double* values = anyPair ? rows.rows(index, index).first : nullptr;
                kernels.oneRow(values, bytes, onlyA ? t.weightA : t.weightB, columns.data(), outW,
                               d);
                continue;
            }
            const auto [rowA, rowB] = rows.rows(iy, iy - 1);
            kernels.bothRows(rowA, rowB, t.weightA, t.weightB, columns.data(), outW, d);
        }
        return true;
    }
#endif
    std::vector<ColumnTaps> columns(static_cast<std::size_t>(outW));
    for (std::int32_t i = 0; i < outW; ++i) {
        const double sx = positions[static_cast<std::size_t>(i)];
        const double fx = std::floor(sx);
        const auto ix = std::clamp(static_cast<std::int32_t>(fx), r.x, lastColumn);
        columns[static_cast<std::size_t>(i)] = columnTaps(ix, sx - fx, lastColumn);
    }
    for (std::int32_t row = 0; row < outH; ++row) {
        const double sy = (row + rowsBelow) * ry + bottom;
        const double fy = std::floor(sy);
        const Taps taps =
            rowTaps(src, std::clamp(static_cast<std::int32_t>(fy), 0, lastRow), sy - fy);
        std::uint8_t* d = out.memoryRow(row);
        for (std::int32_t i = 0; i < outW; ++i, d += 4) {
            const ColumnTaps& c = columns[static_cast<std::size_t>(i)];
            bilinearPixel(taps, c.a, c.b, c.wa, c.wb, d);
        }
    }
    return true;
}

void adjustLightness(BgraPremulBottomUpView source, BgraPremulBottomUpView out, float L) {
    if (source.empty() || out.width != source.width || out.height != source.height) return;
    const float d = L / 100.0f * 255.0f;
    // delta depends on alpha alone: one table per call. round() is to even,
    // on the exact product of the single-precision d and the alpha.
    std::array<std::int32_t, 256> delta{};
    for (std::int32_t a = 1; a < 256; ++a)
        delta[static_cast<std::size_t>(a)] =
            static_cast<std::int32_t>(std::nearbyint(static_cast<double>(d) * a)) / 255;
    const bool brighter = L > 0;
    const std::size_t count = static_cast<std::size_t>(source.width) * source.height;
    const std::uint8_t* s = source.data;
    std::uint8_t* o = out.data;
    for (std::size_t i = 0; i < count; ++i, s += 4, o += 4) {
        const std::int32_t a = s[3];
        if (a == 0) continue;
        const std::int32_t dl = delta[static_cast<std::size_t>(a)];
        for (int c = 0; c < 3; ++c) {
            const std::int32_t v = s[c] + dl;
            o[c] = static_cast<std::uint8_t>(brighter ? std::min(v, a) : std::max(v, 0));
        }
        o[3] = static_cast<std::uint8_t>(a);
    }
}

namespace {

// The formulas one pixel at a time. A colour above its alpha breaks the
// surface's rule; where a channel would then leave the byte range it keeps
// its old value instead of wrapping.
inline void blendPixel(std::uint8_t* d, const std::uint8_t* s, std::uint32_t o, bool hostAlpha) {
    const std::uint32_t a = s[3];
    if (a == 0) return;
    const int channels = hostAlpha ? 4 : 3;
    if (o == 255) {
        if (a == 255) {
            std::memcpy(d, s, static_cast<std::size_t>(channels));
            return;
        }
        for (int c = 0; c < channels; ++c) {
            const std::uint32_t v = d[c] * (255 - a) / 255 + s[c];
            if (v <= 255) d[c] = static_cast<std::uint8_t>(v);
        }
        return;
    }
    const std::uint32_t k = 255 - a * o / 255;
    for (int c = 0; c < channels; ++c) {
        const std::uint32_t v = (d[c] * k + s[c] * o) / 255;
        if (v <= 255) d[c] = static_cast<std::uint8_t>(v);
    }
}

#if defined(__SSE2__)
// x / 255, truncated, for 0 <= x <= 65534 in every 16-bit lane: the high
// half of x * 0x8081, shifted by 7 more, is floor(x * 32897 / 2^23), whose
// excess over x / 255 stays below 1 / 255 in that range (checked for every
// x by the tests).
inline __m128i div255(__m128i x) {
    return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(static_cast<short>(0x8081))), 7);
}

// Each pixel's alpha in all four of its 16-bit lanes.
inline __m128i spreadAlpha(__m128i pixels16) {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(pixels16, 0xFF), 0xFF);
}
#endif

} // namespace

namespace blend {

void pixels(std::uint8_t* dst, const std::uint8_t* src, std::int32_t n, std::uint32_t o,
            DestAlpha mode) {
    for (std::int32_t i = 0; i < n; ++i, dst += 4, src += 4) {
        blendPixel(dst, src, o, mode == DestAlpha::Blend);
        if (mode == DestAlpha::Clear) dst[3] = 0;
    }
}

namespace {

// Why the vector form gives the same bytes: for a premultiplied source
// (every colour <= alpha) the special cases of the formulas are the general
// formula's own values (alpha 0 leaves D, alpha 255 at full opacity gives
// S), every intermediate stays below 65535, and div255 equals the
// truncating division there. Groups holding a pixel that breaks the rule go
// through blendPixel.
template <DestAlpha Mode>
void rowAs(std::uint8_t* dst, const std::uint8_t* src, std::int32_t n, std::uint32_t o) {
    std::int32_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i c255 = _mm_set1_epi16(255);
    const __m128i opacity = _mm_set1_epi16(static_cast<short>(o));
    const __m128i alphaMask = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    for (; i + 4 <= n; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 4));
        __m128i* dp = reinterpret_cast<__m128i*>(dst + i * 4);
        const __m128i alpha = _mm_and_si128(s, alphaMask);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, zero)) == 0xFFFF) {
            if constexpr (Mode == DestAlpha::Clear) {
                // Alpha bytes that are 0 already are not written again.
                const __m128i d = _mm_loadu_si128(dp);
                if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(d, alphaMask), zero)) != 0xFFFF)
                    _mm_storeu_si128(dp, _mm_andnot_si128(alphaMask, d));
            }
            continue;
        }
        if (o == 255 && _mm_movemask_epi8(_mm_cmpeq_epi32(alpha, alphaMask)) == 0xFFFF) {
            // Four opaque pixels at full opacity are copied.
            if constexpr (Mode == DestAlpha::Blend)
                _mm_storeu_si128(dp, s);
            else if constexpr (Mode == DestAlpha::Clear)
                _mm_storeu_si128(dp, _mm_andnot_si128(alphaMask, s));
            else
                _mm_storeu_si128(dp, _mm_or_si128(_mm_andnot_si128(alphaMask, s),
                                                  _mm_and_si128(alphaMask, _mm_loadu_si128(dp))));
            continue;
        }
        const __m128i sLo = _mm_unpacklo_epi8(s, zero), sHi = _mm_unpackhi_epi8(s, zero);
        const __m128i aLo = spreadAlpha(sLo), aHi = spreadAlpha(sHi);
        // Premultiplied check: no channel above its pixel's alpha.
        if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpgt_epi16(sLo, aLo), _mm_cmpgt_epi16(sHi, aHi))) !=
            0) {
            pixels(dst + i * 4, src + i * 4, 4, o, Mode);
            continue;
        }
        const __m128i d = _mm_loadu_si128(dp);
        const __m128i dLo = _mm_unpacklo_epi8(d, zero), dHi = _mm_unpackhi_epi8(d, zero);
        __m128i rLo, rHi;
        if (o == 255) {
            rLo = _mm_add_epi16(div255(_mm_mullo_epi16(dLo, _mm_sub_epi16(c255, aLo))), sLo);
            rHi = _mm_add_epi16(div255(_mm_mullo_epi16(dHi, _mm_sub_epi16(c255, aHi))), sHi);
        } else {
            const __m128i kLo = _mm_sub_epi16(c255, div255(_mm_mullo_epi16(aLo, opacity)));
            const __m128i kHi = _mm_sub_epi16(c255, div255(_mm_mullo_epi16(aHi, opacity)));
            rLo = div255(_mm_add_epi16(_mm_mullo_epi16(dLo, kLo), _mm_mullo_epi16(sLo, opacity)));
            rHi = div255(_mm_add_epi16(_mm_mullo_epi16(dHi, kHi), _mm_mullo_epi16(sHi, opacity)));
        }
        __m128i r = _mm_packus_epi16(rLo, rHi);
        if constexpr (Mode == DestAlpha::Keep)
            r = _mm_or_si128(_mm_andnot_si128(alphaMask, r), _mm_and_si128(alphaMask, d));
        else if constexpr (Mode == DestAlpha::Clear)
            r = _mm_andnot_si128(alphaMask, r);
        _mm_storeu_si128(dp, r);
    }
#endif
    pixels(dst + i * 4, src + i * 4, n - i, o, Mode);
}

using RowFn = void (*)(std::uint8_t*, const std::uint8_t*, std::int32_t, std::uint32_t, DestAlpha);

// Chosen once, from what the processor offers.
RowFn rowKernel() {
    static const RowFn kernel = [] {
#if defined(__x86_64__)
        if (__builtin_cpu_supports("avx2")) return &rowAvx2;
#endif
        return &rowSse2;
    }();
    return kernel;
}

} // namespace

void rowSse2(std::uint8_t* dst, const std::uint8_t* src, std::int32_t n, std::uint32_t o,
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

} // namespace blend

void blendRow(std::uint8_t* dst, const std::uint8_t* src, std::int32_t n, std::uint32_t o,
              bool hostAlpha) {
    blend::rowKernel()(dst, src, n, o,
                       hostAlpha ? blend::DestAlpha::Blend : blend::DestAlpha::Keep);
}

void blendRowClearingAlpha(std::uint8_t* dst, const std::uint8_t* src, std::int32_t n,
                           std::uint32_t o) {
    blend::rowKernel()(dst, src, n, o, blend::DestAlpha::Clear);
}

void grayRow(const std::uint8_t* src, std::uint8_t* out, std::int32_t n, GrayWeight w) {
    for (std::int32_t i = 0; i < n; ++i, src += 4, out += 4) {
        const float g = src[0] * w.blue + src[1] * w.green + src[2] * w.red;
        const auto v = static_cast<std::uint8_t>(std::min(std::nearbyint(g), 255.0f));
        out[0] = out[1] = out[2] = v;
        out[3] = src[3];
    }
}

std::int32_t rotationSize(std::int32_t dw, std::int32_t dh) {
    const double w = dw, h = dh;
    return static_cast<std::int32_t>(std::nearbyint(std::sqrt(w * w + h * h)));
}

void rotateInto(const RotateJob& job, BgraPremulBottomUpView out) {
    if (!rectFits(job.source, job.rect) || job.dw < 1 || job.dh < 1 || out.empty()) return;
    const BgraPremulBottomUpView src = job.source;
    const SourceRect r = job.rect;
    const std::int32_t D = job.size > 0 ? job.size : out.width;
    const std::int32_t u0 = job.u0, v0 = job.v0;
    if (u0 < 0 || v0 < 0 || std::int64_t{u0} + out.width > D || std::int64_t{v0} + out.height > D)
        return;
    const std::int32_t bottom = src.height - r.y - r.height;
    const std::int32_t cx = r.x + r.width / 2, cy = bottom + r.height / 2;
    const std::int32_t ox = (D - r.width) / 2, oy = (D - r.height) / 2;
    const double pi = 4.0 * std::atan(1.0);
    const long degrees = std::lrint(job.angle) % 360;
    const double theta = -static_cast<double>(degrees) * pi / 180.0;
    const double cosT = std::cos(theta), sinT = std::sin(theta);
    const double fx = static_cast<double>(job.dw) / r.width;
    const double fy = static_cast<double>(job.dh) / r.height;
    const std::int32_t lastColumn = r.x + r.width - 1;

    // The products of the formula per column and per row, each computed
    // once; the sums and quotients stay per pixel as written.
    const auto columns = static_cast<std::size_t>(out.width);
    std::vector<double> colCos(columns), colSin(columns);
    for (std::size_t j = 0; j < columns; ++j) {
        const double dc = static_cast<double>(u0 + static_cast<std::int32_t>(j) - ox - cx);
        colCos[j] = dc * cosT;
        colSin[j] = dc * sinT;
    }
    for (std::int32_t v = v0; v < v0 + out.height; ++v) {
        const double dr = static_cast<double>(v - oy - cy);
        const double rowSin = dr * sinT, rowCos = dr * cosT;
        // The filled pixels of a row form one run. Its ends follow from the
        // two range conditions, each linear in u; the run is widened by two
        // pixels, a margin far above any rounding of the per-pixel formula,
        // which still decides every pixel inside. A condition that hardly
        // changes along the row is left to the per-pixel test alone.
        double first = u0, last = u0 + out.width - 1;
        const auto limit = [&](double offset, double slope, double lo, double hi) {
            if (std::abs(slope) < 1e-3) return;
            double a = (lo - offset) / slope, b = (hi - offset) / slope;
            if (a > b) std::swap(a, b);
            first = std::max(first, a + ox + cx - 2);
            last = std::min(last, b + ox + cx + 2);
        };
        limit(rowSin, cosT, (r.x - cx) * fx, (r.x + r.width - cx) * fx);
        limit(rowCos, -sinT, (bottom - cy) * fy, (bottom + r.height - cy) * fy);
        if (first > last) continue;
        const auto uFirst = static_cast<std::int32_t>(std::ceil(first));
        const auto uEnd = static_cast<std::int32_t>(std::floor(last)) + 1;
        std::uint8_t* d = out.memoryRow(v - v0) + static_cast<std::size_t>(uFirst - u0) * 4;
        for (std::int32_t u = uFirst; u < uEnd; ++u, d += 4) {
            const auto j = static_cast<std::size_t>(u - u0);
            const double sx = cx + (colCos[j] + rowSin) / fx;
            const double sy = cy + (rowCos - colSin[j]) / fy;
            if (!(sx >= r.x && sx < r.x + r.width && sy >= bottom && sy < bottom + r.height))
                continue;
            const double flx = std::floor(sx), fly = std::floor(sy);
            const auto ix = static_cast<std::int32_t>(flx), iy = static_cast<std::int32_t>(fly);
            if (!job.bilinear) {
                std::memcpy(d, src.memoryRow(iy) + static_cast<std::size_t>(ix) * 4, 4);
                continue;
            }
            const ColumnTaps c = columnTaps(ix, sx - flx, lastColumn);
            bilinearPixel(rowTaps(src, iy, sy - fly), c.a, c.b, c.wa, c.wb, d);
        }
    }
}

} // namespace velmora::render

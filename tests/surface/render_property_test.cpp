// The optimised pixel loops against plain transcriptions of their formulas,
// on random images and arguments: every byte must agree.

#include "surface/bilinear_rows.h"
#include "surface/blend_rows.h"
#include "surface/render_routines.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <utility>
#include <vector>

using namespace velmora::render;

namespace {

struct Image {
    std::vector<std::uint8_t> bytes;
    std::int32_t width = 0, height = 0;
    velmora::BgraPremulBottomUpView view() { return {bytes.data(), width, height}; }
    const std::uint8_t* at(std::int32_t col, std::int32_t memoryRow) const {
        return bytes.data() + (static_cast<std::size_t>(memoryRow) * width + col) * 4;
    }
};

// Random premultiplied pixels, with fully transparent and opaque ones mixed in.
Image randomImage(std::mt19937& rng, std::int32_t w, std::int32_t h) {
    Image img{std::vector<std::uint8_t>(static_cast<std::size_t>(w) * h * 4), w, h};
    std::uniform_int_distribution<int> byte(0, 255), kind(0, 3);
    for (std::size_t i = 0; i < img.bytes.size(); i += 4) {
        const int k = kind(rng);
        const int a = k == 0 ? 0 : k == 1 ? 255 : byte(rng);
        img.bytes[i + 3] = static_cast<std::uint8_t>(a);
        for (int c = 0; c < 3; ++c)
            img.bytes[i + c] = static_cast<std::uint8_t>(a == 0 ? 0 : byte(rng) % (a + 1));
    }
    return img;
}

// --- transcriptions --------------------------------------------------------

std::vector<std::uint8_t> referenceScale(const Image& src, SourceRect r, std::int32_t destX,
                                         std::int32_t destY, std::int32_t dw, std::int32_t dh,
                                         bool bilinear) {
    const double rx = static_cast<double>(r.width) / dw;
    const double ry = static_cast<double>(r.height) / dh;
    const std::int32_t skipped = destX < 0 ? -destX : 0;
    const std::int32_t outW = dw - skipped, outH = destY < 0 ? dh + destY : dh;
    const std::int32_t b = (src.height - 1) - r.y - r.height + 1;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(outW) * outH * 4);
    for (std::int32_t row = 0; row < outH; ++row) {
        for (std::int32_t i = 0; i < outW; ++i) {
            const double sx = r.x + (i + skipped) * rx;
            std::uint8_t* o = &out[(static_cast<std::size_t>(row) * outW + i) * 4];
            if (!bilinear) {
                const auto iy = static_cast<std::int32_t>(std::floor(row * ry)) + b;
                std::memcpy(o, src.at(static_cast<std::int32_t>(std::floor(sx)), iy), 4);
                continue;
            }
            const double sy = row * ry + b;
            const auto iy = static_cast<std::int32_t>(std::floor(sy));
            const double fy = sy - iy;
            const auto ix = static_cast<std::int32_t>(std::floor(sx));
            const double fx = sx - ix;
            struct Tap {
                std::int32_t index;
                double weight;
            };
            std::vector<Tap> rows, cols;
            if (iy == 0)
                rows = {{0, 1.0}};
            else
                rows = {{iy, fy}, {iy - 1, 1 - fy}};
            if (ix == r.x + r.width - 1)
                cols = {{ix, 1.0}};
            else
                cols = {{ix, 1 - fx}, {ix + 1, fx}};
            for (int c = 0; c < 4; ++c) {
                double sum = 0;
                for (const Tap& rt : rows)
                    for (const Tap& ct : cols) {
                        const double w = ct.weight * rt.weight;
                        if (w == 0) continue;
                        sum += src.at(ct.index, rt.index)[c] * w;
                    }
                o[c] = static_cast<std::uint8_t>(std::floor(sum));
            }
        }
    }
    return out;
}

void referenceBlend(std::uint8_t* d, const std::uint8_t* s, int o, bool host) {
    const int a = s[3];
    const int channels = host ? 4 : 3;
    for (int c = 0; c < channels; ++c) {
        int v = d[c];
        if (o == 255) {
            if (a == 255)
                v = s[c];
            else if (a != 0)
                v = d[c] * (255 - a) / 255 + s[c];
        } else if (a != 0) {
            const int k = 255 - a * o / 255;
            v = (d[c] * k + s[c] * o) / 255;
        }
        if (v <= 255) d[c] = static_cast<std::uint8_t>(v);
    }
}

// --- the comparisons ---------------------------------------------------------

TEST(RenderProperty, DivisionBy255OfTheVectorBlendIsExact) {
    // The blend's intermediates stay below 65280; the vector division is
    // the high half of x * 0x8081 shifted by 7.
    for (std::uint32_t x = 0; x <= 65534; ++x)
        ASSERT_EQ(((x * 0x8081u) >> 16) >> 7, x / 255) << x;
}

TEST(RenderProperty, ScalingMatchesTheFormula) {
    std::mt19937 rng(1234);
    std::uniform_int_distribution<int> size(1, 23), coin(0, 1);
    for (int round = 0; round < 400; ++round) {
        Image src = randomImage(rng, size(rng), size(rng));
        std::uniform_int_distribution<int> rx(0, src.width - 1), ry(0, src.height - 1);
        SourceRect r{rx(rng), ry(rng), 0, 0};
        r.width = std::uniform_int_distribution<int>(1, src.width - r.x)(rng);
        r.height = std::uniform_int_distribution<int>(1, src.height - r.y)(rng);
        const std::int32_t dw = size(rng) * (coin(rng) ? 3 : 1), dh = size(rng);
        const std::int32_t destX =
            coin(rng) ? -std::uniform_int_distribution<int>(0, dw - 1)(rng) : 3;
        const std::int32_t destY =
            coin(rng) ? -std::uniform_int_distribution<int>(0, dh - 1)(rng) : 0;
        const bool bilinear = coin(rng);
        // Half the rounds cut the output at a destination edge too, which
        // keeps the same pixels at the same places.
        std::uniform_int_distribution<int> edge(0, 40);
        constexpr std::int32_t kNoEdge = std::numeric_limits<std::int32_t>::max();
        const std::int32_t limitX = coin(rng) ? edge(rng) : kNoEdge;
        const std::int32_t limitY = coin(rng) ? edge(rng) : kNoEdge;
        const ScaleJob job{src.view(), r, destX, destY, dw, dh, bilinear, limitX, limitY};
        const std::int32_t w = job.outputWidth(), h = job.outputHeight();
        if (w < 1 || h < 1) continue; // nothing of it lands on the destination
        Image out{std::vector<std::uint8_t>(static_cast<std::size_t>(w) * h * 4), w, h};
        ASSERT_TRUE(scaleInto(job, out.view()));
        const std::vector<std::uint8_t> whole =
            referenceScale(src, r, destX, destY, dw, dh, bilinear);
        const std::size_t wholeWidth = static_cast<std::size_t>(dw - job.skippedLeft());
        for (std::int32_t row = 0; row < h; ++row) {
            const auto at = [&](const std::vector<std::uint8_t>& bytes, std::size_t width,
                                std::int32_t memoryRow) {
                return std::vector<std::uint8_t>(
                    bytes.begin() + static_cast<std::ptrdiff_t>(memoryRow * width * 4),
                    bytes.begin() + static_cast<std::ptrdiff_t>((memoryRow * width + w) * 4));
            };
            ASSERT_EQ(at(out.bytes, static_cast<std::size_t>(w), row),
                      at(whole, wholeWidth, row + job.skippedBottom()))
                << "round " << round << (bilinear ? " bilinear" : " nearest") << " row " << row;
        }
    }
}

// Whole-number ratios put samples exactly on rows and columns, where the
// formula's zero-weight terms drop out and single taps copy pixels.
TEST(RenderProperty, ScalingByWholeRatiosMatchesTheFormula) {
    std::mt19937 rng(77);
    for (const auto& [w, h, dw, dh] : {std::array{8, 6, 16, 12},
                                       {8, 6, 4, 3},
                                       {9, 7, 27, 7},
                                       {10, 10, 5, 20},
                                       {7, 5, 7, 5},
                                       {12, 9, 3, 36}}) {
        Image src = randomImage(rng, w, h);
        for (const std::int32_t destX : {0, -1}) {
            const ScaleJob job{src.view(), {0, 0, w, h}, destX, 0, dw, dh, true};
            Image out{std::vector<std::uint8_t>(static_cast<std::size_t>(job.outputWidth()) *
                                                job.outputHeight() * 4),
                      job.outputWidth(), job.outputHeight()};
            ASSERT_TRUE(scaleInto(job, out.view()));
            ASSERT_EQ(out.bytes, referenceScale(src, {0, 0, w, h}, destX, 0, dw, dh, true))
                << w << "x" << h << " to " << dw << "x" << dh;
        }
    }
}

// scaleInto takes the AVX-512 or AVX2 rows where the processor has them;
// the SSE2 rows must give the same bytes.
TEST(RenderProperty, BothBuildsOfTheBilinearRowsAgree) {
#if defined(__x86_64__)
    if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "no AVX2 here";
    namespace bl = velmora::render::bilinear;
    struct Build {
        const char* name;
        bool present;
        bl::BothRowsFn bothRows;
        bl::OneRowFn oneRow;
    };
    const Build builds[] = {
        {"AVX2", true, bl::bothRowsAvx2, bl::oneRowAvx2},
#if defined(VELMORA_BILINEAR_AVX512)
        {"AVX-512", __builtin_cpu_supports("avx512f") != 0, bl::bothRowsAvx512, bl::oneRowAvx512},
#endif
    };
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> byte(0, 255), column(0, 30);
    std::uniform_real_distribution<double> fraction(0.0, 1.0);
    std::vector<double> rowA(32 * 4), rowB(32 * 4);
    std::vector<std::uint8_t> bytes(32 * 4);
    for (int k = 0; k < 32 * 4; ++k) {
        rowA[k] = byte(rng);
        rowB[k] = byte(rng);
        bytes[k] = static_cast<std::uint8_t>(byte(rng));
    }
    std::vector<bl::Column> columns;
    for (int i = 0; i < 200; ++i) {
        const int a = column(rng);
        const double fx = i % 3 == 0 ? 0.0 : fraction(rng);
        columns.push_back({a, a + 1, 1.0 - fx, fx, fx == 0.0});
    }
    const auto n = static_cast<std::int32_t>(columns.size());
    for (int round = 0; round < 50; ++round) {
        const double fy = fraction(rng);
        for (const Build& build : builds) {
            if (!build.present) continue;
            std::vector<std::uint8_t> sse(columns.size() * 4), wide(columns.size() * 4);
            bl::bothRowsSse2(rowA.data(), rowB.data(), fy, 1.0 - fy, columns.data(), n, sse.data());
            build.bothRows(rowA.data(), rowB.data(), fy, 1.0 - fy, columns.data(), n, wide.data());
            ASSERT_EQ(sse, wide) << build.name << ", both rows, round " << round;
            // An odd count leaves the wide builds one pixel after their pairs.
            bl::bothRowsSse2(rowA.data(), rowB.data(), fy, 1.0 - fy, columns.data(), n - 1,
                             sse.data());
            build.bothRows(rowA.data(), rowB.data(), fy, 1.0 - fy, columns.data(), n - 1,
                           wide.data());
            ASSERT_EQ(sse, wide) << build.name << ", both rows, odd count, round " << round;
            bl::oneRowSse2(rowA.data(), bytes.data(), 1.0, columns.data(), n, sse.data());
            build.oneRow(rowA.data(), bytes.data(), 1.0, columns.data(), n, wide.data());
            ASSERT_EQ(sse, wide) << build.name << ", one row, round " << round;
        }
    }
    // Source bytes to doubles, at every length around the vector step.
    for (std::int32_t count = 0; count <= 9; ++count) {
        std::vector<double> sse(32 * 4, -1.0), avx(32 * 4, -1.0);
        bl::convertSse2(bytes.data() + 4, count, sse.data() + 4);
        bl::convertAvx2(bytes.data() + 4, count, avx.data() + 4);
        ASSERT_EQ(sse, avx) << "converting " << count;
        for (std::int32_t k = 0; k < count * 4; ++k)
            ASSERT_EQ(sse[static_cast<std::size_t>(k) + 4], bytes[static_cast<std::size_t>(k) + 4]);
    }
#else
    GTEST_SKIP() << "one build only";
#endif
}

TEST(RenderProperty, BlendingMatchesTheFormula) {
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> byte(0, 255), len(1, 40), coin(0, 3);
    for (int round = 0; round < 2000; ++round) {
        const int n = len(rng);
        Image src = randomImage(rng, n, 1), dst = randomImage(rng, n, 1);
        if (coin(rng) == 0) // now and then a pixel that breaks the premultiplied rule
            src.bytes[static_cast<std::size_t>(byte(rng) % n) * 4 + 1] = 255;
        const int o = coin(rng) == 0 ? 255 : byte(rng);
        const bool host = coin(rng) != 0;
        std::vector<std::uint8_t> expected = dst.bytes;
        for (int i = 0; i < n; ++i)
            referenceBlend(&expected[i * 4u], &src.bytes[i * 4u], o, host);
        blendRow(dst.bytes.data(), src.bytes.data(), n, static_cast<std::uint32_t>(o), host);
        ASSERT_EQ(dst.bytes, expected) << "round " << round << " opacity " << o;
    }
}

// Rows made of runs, so that whole vector steps of transparent, opaque,
// translucent and mixed pixels all occur, some breaking the premultiplied
// rule, at lengths that leave every remainder.
std::vector<std::uint8_t> runsOfPixels(std::mt19937& rng, int n) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(n) * 4);
    std::uniform_int_distribution<int> byte(0, 255), kind(0, 4), run(1, 20);
    for (int i = 0; i < n;) {
        const int k = kind(rng);
        for (int end = std::min(n, i + run(rng)); i < end; ++i) {
            const int mixed = byte(rng) % 3;
            const int a = k == 0 ? 0 : k == 1 ? 255 : k == 2 ? byte(rng) : mixed == 0 ? 0 : 255;
            std::uint8_t* p = &row[static_cast<std::size_t>(i) * 4];
            p[3] = static_cast<std::uint8_t>(a);
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<std::uint8_t>(a == 0 ? 0 : byte(rng) % (a + 1));
            if (k == 4 && byte(rng) < 8) p[byte(rng) % 3] = 255; // breaks the rule
        }
    }
    return row;
}

// blendRow takes the AVX2 rows where the processor has them; both builds
// must give the formula's bytes for every way of treating the
// destination's alpha.
TEST(RenderProperty, BothBuildsOfTheBlendingRowsAgree) {
    namespace bd = velmora::render::blend;
    using Row =
        void (*)(std::uint8_t*, const std::uint8_t*, std::int32_t, std::uint32_t, bd::DestAlpha);
    std::vector<std::pair<const char*, Row>> builds{{"SSE2", bd::rowSse2}};
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx2")) builds.emplace_back("AVX2", bd::rowAvx2);
#endif
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> byte(0, 255), len(1, 70);
    for (int round = 0; round < 600; ++round) {
        const int n = len(rng);
        const std::vector<std::uint8_t> src = runsOfPixels(rng, n), dst = runsOfPixels(rng, n);
        for (const int o : {255, 254, 128, 127, 2, byte(rng)})
            for (const bd::DestAlpha mode :
                 {bd::DestAlpha::Blend, bd::DestAlpha::Keep, bd::DestAlpha::Clear}) {
                std::vector<std::uint8_t> expected = dst;
                for (int i = 0; i < n; ++i) {
                    std::uint8_t* d = &expected[i * 4u];
                    referenceBlend(d, &src[i * 4u], o, mode == bd::DestAlpha::Blend);
                    if (mode == bd::DestAlpha::Clear) d[3] = 0;
                }
                for (const auto& [name, row] : builds) {
                    std::vector<std::uint8_t> out = dst;
                    row(out.data(), src.data(), n, static_cast<std::uint32_t>(o), mode);
                    ASSERT_EQ(out, expected) << name << " round " << round << " opacity " << o
                                             << " mode " << static_cast<int>(mode);
                }
            }
    }
}

TEST(RenderProperty, LightnessMatchesTheFormula) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> light(-100.0f, 100.0f);
    for (int round = 0; round < 200; ++round) {
        Image src = randomImage(rng, 16, 4);
        float L = light(rng);
        if (round < 4) L = round % 2 ? 100.0f : -100.0f;
        if (L == 0) continue;
        std::vector<std::uint8_t> expected(src.bytes.size(), 0);
        const float d = L / 100 * 255;
        for (std::size_t i = 0; i < src.bytes.size(); i += 4) {
            const int a = src.bytes[i + 3];
            if (a == 0) continue;
            const int delta = static_cast<int>(std::nearbyint(static_cast<double>(d) * a)) / 255;
            for (int c = 0; c < 3; ++c) {
                const int v = src.bytes[i + c] + delta;
                expected[i + c] =
                    static_cast<std::uint8_t>(L > 0 ? std::min(v, a) : std::max(v, 0));
            }
            expected[i + 3] = static_cast<std::uint8_t>(a);
        }
        Image out{std::vector<std::uint8_t>(src.bytes.size()), 16, 4};
        adjustLightness(src.view(), out.view(), L);
        ASSERT_EQ(out.bytes, expected) << L;
    }
}

TEST(RenderProperty, RotationMatchesTheFormula) {
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> size(1, 17), coin(0, 1);
    std::uniform_real_distribution<float> angle(-720.0f, 720.0f);
    for (int round = 0; round < 150; ++round) {
        Image src = randomImage(rng, size(rng), size(rng));
        const SourceRect r{0, 0, src.width, src.height};
        const std::int32_t dw = size(rng) + 1, dh = size(rng) + 1;
        const RotateJob job{src.view(), r, dw, dh, angle(rng), coin(rng) != 0};
        const std::int32_t D = rotationSize(dw, dh);
        Image out{std::vector<std::uint8_t>(static_cast<std::size_t>(D) * D * 4), D, D};
        rotateInto(job, out.view());

        const std::int32_t b = src.height - r.height;
        const std::int32_t cx = r.width / 2, cy = b + r.height / 2;
        const std::int32_t ox = (D - r.width) / 2, oy = (D - r.height) / 2;
        const double pi = 4 * std::atan(1.0);
        const double theta = -(std::lrint(job.angle) % 360) * pi / 180;
        const double fx = static_cast<double>(dw) / r.width,
                     fy = static_cast<double>(dh) / r.height;
        std::vector<std::uint8_t> expected(out.bytes.size(), 0);
        for (std::int32_t v = 0; v < D; ++v)
            for (std::int32_t u = 0; u < D; ++u) {
                const std::int32_t c = u - ox, rr = v - oy;
                const double sx =
                    cx + ((c - cx) * std::cos(theta) + (rr - cy) * std::sin(theta)) / fx;
                const double sy =
                    cy + ((rr - cy) * std::cos(theta) - (c - cx) * std::sin(theta)) / fy;
                if (!(sx >= r.x && sx < r.x + r.width && sy >= b && sy < b + r.height)) continue;
                std::uint8_t* o = &expected[(static_cast<std::size_t>(v) * D + u) * 4];
                const auto ix = static_cast<std::int32_t>(std::floor(sx));
                const auto iy = static_cast<std::int32_t>(std::floor(sy));
                if (!job.bilinear) {
                    std::memcpy(o, src.at(ix, iy), 4);
                    continue;
                }
                const double wx = sx - ix, wy = sy - iy;
                const bool right = ix != r.x + r.width - 1, below = iy != 0;
                for (int ch = 0; ch < 4; ++ch) {
                    double sum = 0;
                    const double rowW[2] = {below ? wy : 1.0, 1 - wy};
                    const double colW[2] = {right ? 1 - wx : 1.0, wx};
                    for (int rI = 0; rI < (below ? 2 : 1); ++rI)
                        for (int cI = 0; cI < (right ? 2 : 1); ++cI) {
                            const double w = colW[cI] * rowW[rI];
                            if (w != 0) sum += src.at(ix + cI, iy - rI)[ch] * w;
                        }
                    o[ch] = static_cast<std::uint8_t>(std::floor(sum));
                }
            }
        ASSERT_EQ(out.bytes, expected) << "round " << round << " angle " << job.angle;
    }
}

TEST(RenderProperty, MirroringReadsTheRectangleInMirroredSpace) {
    std::mt19937 rng(3);
    Image src = randomImage(rng, 7, 5);
    const SourceRect r{2, 1, 3, 2};
    for (const auto& [dw, dh] : {std::pair{-3, 2}, {3, -2}, {-3, -2}}) {
        Image out{std::vector<std::uint8_t>(3 * 2 * 4), 3, 2};
        ASSERT_TRUE(mirrorInto(src.view(), r, dw, dh, out.view()));
        for (int k = 0; k < 2; ++k)
            for (int j = 0; j < 3; ++j) {
                const int memoryRow = dh >= 0 ? src.height - r.y - 1 - k : r.y + k;
                const int column = dw < 1 ? src.width - r.x - 1 - j : r.x + j;
                ASSERT_EQ(std::memcmp(out.at(j, 2 - 1 - k), src.at(column, memoryRow), 4), 0)
                    << dw << " x " << dh;
            }
    }
    Image out{std::vector<std::uint8_t>(3 * 2 * 4), 3, 2};
    EXPECT_FALSE(mirrorInto(src.view(), r, 3, 2, out.view())) << "nothing to mirror";
    EXPECT_FALSE(mirrorInto(src.view(), {6, 0, 3, 2}, -3, 2, out.view())) << "outside the image";
}

} // namespace

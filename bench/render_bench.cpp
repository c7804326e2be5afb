// The own rendering routines on a 4000 x 3000 image, each beside pixman
// doing the same operation where it has one (pixman is used here only as
// the yardstick).
//   build/bench/render_bench --benchmark_min_time=1

#include "dib/c32bppdib.h"
#include "platform/gdi/gdi.h"
#include "render_images.h"
#include "surface/render_routines.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <pixman.h>
#include <random>

using namespace velmora::render;

namespace {

constexpr std::int32_t kWidth = benchimages::kRenderWidth;
constexpr std::int32_t kHeight = benchimages::kRenderHeight;

using benchimages::fillRenderImage;

c32bppDIB& source() {
    return benchimages::renderSource();
}

pixman_image_t* pixmanOver(c32bppDIB& s) {
    return pixman_image_create_bits(PIXMAN_a8r8g8b8, s.Width(), s.Height(),
                                    reinterpret_cast<std::uint32_t*>(s.BitsPointer()),
                                    s.scanWidth());
}

void setBytes(benchmark::State& state, std::int64_t pixels) {
    state.SetItemsProcessed(state.iterations() * pixels);
}

// --- scaling ---------------------------------------------------------------

void BM_Scale(benchmark::State& state) {
    const bool bilinear = state.range(0) != 0;
    const double factor = state.range(1) / 2.0;
    const auto dw = static_cast<std::int32_t>(kWidth * factor);
    const auto dh = static_cast<std::int32_t>(kHeight * factor);
    PixelBuffer out;
    out.allocate(dw, dh);
    const ScaleJob job{source().view(), {0, 0, kWidth, kHeight}, 0, 0, dw, dh, bilinear};
    for (auto _ : state) {
        scaleInto(job, out.view());
        benchmark::DoNotOptimize(out.bytes.data());
    }
    setBytes(state, std::int64_t{dw} * dh);
}
BENCHMARK(BM_Scale)
    ->ArgNames({"bilinear", "factor_x2"})
    ->Args({0, 1})
    ->Args({0, 4})
    ->Args({1, 1})
    ->Args({1, 3})
    ->Args({1, 4})
    ->Unit(benchmark::kMillisecond);

void BM_PixmanScale(benchmark::State& state) {
    const bool bilinear = state.range(0) != 0;
    const double factor = state.range(1) / 2.0;
    const auto dw = static_cast<std::int32_t>(kWidth * factor);
    const auto dh = static_cast<std::int32_t>(kHeight * factor);
    PixelBuffer out;
    out.allocate(dw, dh);
    pixman_image_t* src = pixmanOver(source());
    pixman_image_t* dst = pixman_image_create_bits(
        PIXMAN_a8r8g8b8, dw, dh, reinterpret_cast<std::uint32_t*>(out.bytes.data()), dw * 4);
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(1 / factor),
                                pixman_double_to_fixed(1 / factor));
    pixman_image_set_transform(src, &t);
    pixman_image_set_filter(src, bilinear ? PIXMAN_FILTER_BILINEAR : PIXMAN_FILTER_NEAREST, nullptr,
                            0);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, dw, dh);
        benchmark::DoNotOptimize(out.bytes.data());
    }
    pixman_image_unref(dst);
    pixman_image_unref(src);
    setBytes(state, std::int64_t{dw} * dh);
}
BENCHMARK(BM_PixmanScale)
    ->ArgNames({"bilinear", "factor_x2"})
    ->Args({0, 1})
    ->Args({0, 4})
    ->Args({1, 1})
    ->Args({1, 3})
    ->Args({1, 4})
    ->Unit(benchmark::kMillisecond);

// --- source-over blending ----------------------------------------------------

// Render of the whole image with the own engine, into a host surface or
// onto a DC (through the 24-bpp area), at 100 % or 50 %.
void BM_RenderBlend(benchmark::State& state) {
    const std::int32_t opacity = static_cast<std::int32_t>(state.range(0));
    const bool ontoDc = state.range(1) != 0;
    c32bppDIB& src = source();
    src.isAlphaBlendFriendly(false);
    c32bppDIB canvas;
    fillRenderImage(canvas, 2);
    const platform::HDC dc = ontoDc ? canvas.LoadDIBinDC(true) : 0;
    for (auto _ : state)
        src.Render(dc, 0, 0, 0, 0, 0, 0, 0, 0, opacity, true, true, ontoDc ? nullptr : &canvas);
    canvas.LoadDIBinDC(false);
    src.isAlphaBlendFriendly(true);
    setBytes(state, std::int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_RenderBlend)
    ->ArgNames({"opacity", "dc"})
    ->Args({100, 0})
    ->Args({50, 0})
    ->Args({100, 1})
    ->Args({50, 1})
    ->Unit(benchmark::kMillisecond);

void BM_PixmanOver(benchmark::State& state) {
    const std::int32_t opacity = static_cast<std::int32_t>(state.range(0));
    c32bppDIB canvas;
    fillRenderImage(canvas, 2);
    pixman_image_t* src = pixmanOver(source());
    pixman_image_t* dst = pixmanOver(canvas);
    pixman_color_t half{0, 0, 0, static_cast<std::uint16_t>(opacity * 255 / 100 * 257)};
    pixman_image_t* mask = opacity == 100 ? nullptr : pixman_image_create_solid_fill(&half);
    for (auto _ : state)
        pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    if (mask) pixman_image_unref(mask);
    pixman_image_unref(dst);
    pixman_image_unref(src);
    setBytes(state, std::int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_PixmanOver)->ArgName("opacity")->Arg(100)->Arg(50)->Unit(benchmark::kMillisecond);

// The blending routine alone (one row loop over the image), without Render.
void BM_BlendRows(benchmark::State& state) {
    const auto o = static_cast<std::uint32_t>(state.range(0));
    c32bppDIB canvas;
    fillRenderImage(canvas, 2);
    for (auto _ : state)
        blendRow(canvas.BitsPointer(), source().BitsPointer(), kWidth * kHeight, o, true);
    setBytes(state, std::int64_t{kWidth} * kHeight);
}
BENCHMARK(BM_BlendRows)->ArgName("o")->Arg(255)->Arg(127)->Unit(benchmark::kMillisecond);

// --- drop shadow and rotation -------------------------------------------------

void BM_DropShadow(benchmark::State& state) {
    for (auto _ : state) {
        auto shadow = source().CreateDropShadow(10, 0);
        benchmark::DoNotOptimize(shadow.get());
    }
    setBytes(state, std::int64_t{kWidth + 20} * (kHeight + 20));
}
BENCHMARK(BM_DropShadow)->Unit(benchmark::kMillisecond);

void BM_Rotate30(benchmark::State& state) {
    const bool bilinear = state.range(0) != 0;
    const std::int32_t D = rotationSize(kWidth, kHeight);
    PixelBuffer out;
    out.allocate(D, D);
    const RotateJob job{source().view(), {0, 0, kWidth, kHeight}, kWidth, kHeight, 30.0f, bilinear};
    for (auto _ : state) {
        rotateInto(job, out.view());
        benchmark::DoNotOptimize(out.bytes.data());
    }
    setBytes(state, std::int64_t{D} * D);
}
BENCHMARK(BM_Rotate30)->ArgName("bilinear")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_PixmanRotate30(benchmark::State& state) {
    const bool bilinear = state.range(0) != 0;
    const std::int32_t D = rotationSize(kWidth, kHeight);
    PixelBuffer out;
    out.allocate(D, D);
    pixman_image_t* src = pixmanOver(source());
    pixman_image_t* dst = pixman_image_create_bits(
        PIXMAN_a8r8g8b8, D, D, reinterpret_cast<std::uint32_t*>(out.bytes.data()), D * 4);
    // Destination to source: move the centre to the origin, turn, move back.
    pixman_transform_t t;
    pixman_transform_init_translate(&t, pixman_int_to_fixed(-D / 2), pixman_int_to_fixed(-D / 2));
    const double theta = 30.0 * 4 * std::atan(1.0) / 180;
    pixman_transform_rotate(&t, nullptr, pixman_double_to_fixed(std::cos(theta)),
                            pixman_double_to_fixed(std::sin(theta)));
    pixman_transform_translate(&t, nullptr, pixman_int_to_fixed(kWidth / 2),
                               pixman_int_to_fixed(kHeight / 2));
    pixman_image_set_transform(src, &t);
    pixman_image_set_filter(src, bilinear ? PIXMAN_FILTER_BILINEAR : PIXMAN_FILTER_NEAREST, nullptr,
                            0);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, D, D);
        benchmark::DoNotOptimize(out.bytes.data());
    }
    pixman_image_unref(dst);
    pixman_image_unref(src);
    setBytes(state, std::int64_t{D} * D);
}
BENCHMARK(BM_PixmanRotate30)->ArgName("bilinear")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

// Our kernels beside the libraries a program would otherwise use for the
// same work, for bench/compare.sh. Every case comes in a pair, "Ours/<row>"
// and "Ref/<row>", which compare.sh divides; run with random interleaving
// so that both halves of a pair see the same machine.
//
//   compare_kernels --benchmark_enable_random_interleaving=true
//                   --benchmark_repetitions=9 --benchmark_format=json

#include "codecs/cpngwriter.h"
#include "codecs/inflate.h"
#include "dib/c32bppdib.h"
#include "platform/gdi/gdi.h"
#include "render_images.h"
#include "sample_images.h"
#include "surface/render_routines.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <libdeflate.h>
#include <memory>
#include <pixman.h>
#include <png.h>
#include <random>
#include <string>
#include <zlib.h>

namespace {

using benchimages::Bytes;
using namespace velmora::render;

// --- inflating --------------------------------------------------------------

struct ZlibStream {
    Bytes idat; // all IDAT data joined: one zlib stream
    std::size_t inflatedSize = 0;
};

ZlibStream idatOf(const Bytes& png, std::size_t inflatedSize) {
    ZlibStream s;
    for (std::size_t pos = 8; pos + 12 <= png.size();) {
        const std::uint32_t len = std::uint32_t{png[pos]} << 24 |
                                  std::uint32_t{png[pos + 1]} << 16 |
                                  std::uint32_t{png[pos + 2]} << 8 | png[pos + 3];
        if (std::memcmp(&png[pos + 4], "IDAT", 4) == 0)
            s.idat.insert(s.idat.end(), png.begin() + pos + 8, png.begin() + pos + 8 + len);
        pos += std::size_t{len} + 12;
    }
    s.inflatedSize = inflatedSize;
    return s;
}

// The 12-megapixel photograph's image data.
const ZlibStream& photoStream() {
    static const ZlibStream s = [] {
        const int w = 4000, h = 3000;
        return idatOf(benchimages::encodePng(benchimages::photoPixels(w, h), w, h, 3),
                      (std::size_t{w} * 3 + 1) * h);
    }();
    return s;
}

// Flat synthetic rows: areas of one colour, gradients and hard edges, RGBA.
const ZlibStream& flatStream() {
    static const ZlibStream s = [] {
        const int w = 4000, h = 3000;
        Bytes px(std::size_t{w} * h * 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                std::uint8_t* p = &px[(std::size_t{static_cast<unsigned>(y)} * w + x) * 4];
                const bool box = ((x / 150) + (y / 100)) % 3 == 0;
                p[0] = box ? 30 : static_cast<std::uint8_t>(x * 255 / w);
                p[1] = box ? 144 : static_cast<std::uint8_t>(y * 255 / h);
                p[2] = static_cast<std::uint8_t>(((x ^ y) >> 4) & 0xFF);
                const int dx = x - w / 2, dy = y - h / 2;
                p[3] = dx * dx + dy * dy < 1400 * 1400 ? 255 : (box ? 0 : 128);
            }
        return idatOf(benchimages::encodePng(px, w, h, 4), (std::size_t{w} * 4 + 1) * h);
    }();
    return s;
}

const ZlibStream& stream(bool flat) {
    return flat ? flatStream() : photoStream();
}

void oursInflate(benchmark::State& state, bool flat) {
    const ZlibStream& s = stream(flat);
    Bytes out(s.inflatedSize);
    for (auto _ : state) {
        const auto r = codecs::InflateZlib(s.idat, out);
        if (!r || *r != out.size()) state.SkipWithError("inflate failed");
        benchmark::DoNotOptimize(out.data());
    }
}

void refInflate(benchmark::State& state, bool flat) {
    const ZlibStream& s = stream(flat);
    Bytes out(s.inflatedSize);
    std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)> d(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    for (auto _ : state) {
        std::size_t n = 0;
        if (libdeflate_zlib_decompress(d.get(), s.idat.data(), s.idat.size(), out.data(),
                                       out.size(), &n) != LIBDEFLATE_SUCCESS ||
            n != out.size())
            state.SkipWithError("libdeflate failed");
        benchmark::DoNotOptimize(out.data());
    }
}

BENCHMARK_CAPTURE(oursInflate, inflate_photo, false)->Name("Ours/inflate_photo");
BENCHMARK_CAPTURE(refInflate, inflate_photo, false)->Name("Ref/inflate_photo");
BENCHMARK_CAPTURE(oursInflate, inflate_flat, true)->Name("Ours/inflate_flat");
BENCHMARK_CAPTURE(refInflate, inflate_flat, true)->Name("Ref/inflate_flat");

// --- blending and scaling -----------------------------------------------------

constexpr std::int32_t kWidth = benchimages::kRenderWidth;
constexpr std::int32_t kHeight = benchimages::kRenderHeight;

using benchimages::fillRenderImage;

c32bppDIB& source() {
    return benchimages::renderSource();
}

pixman_image_t* pixmanImage(std::uint8_t* bits, std::int32_t w, std::int32_t h) {
    return pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, reinterpret_cast<std::uint32_t*>(bits),
                                    w * 4);
}

// Render of the whole image into a host surface or onto a DC.
void oursBlend(benchmark::State& state, std::int32_t opacity, bool ontoDc) {
    c32bppDIB& src = source();
    src.isAlphaBlendFriendly(false);
    c32bppDIB canvas;
    fillRenderImage(canvas, 2);
    const platform::HDC dc = ontoDc ? canvas.LoadDIBinDC(true) : 0;
    for (auto _ : state)
        src.Render(dc, 0, 0, 0, 0, 0, 0, 0, 0, opacity, true, true, ontoDc ? nullptr : &canvas);
    canvas.LoadDIBinDC(false);
    src.isAlphaBlendFriendly(true);
}

// pixman OVER, through a constant mask below full opacity.
void refBlend(benchmark::State& state, std::int32_t opacity, bool) {
    c32bppDIB canvas;
    fillRenderImage(canvas, 2);
    pixman_image_t* src = pixmanImage(source().BitsPointer(), kWidth, kHeight);
    pixman_image_t* dst = pixmanImage(canvas.BitsPointer(), kWidth, kHeight);
    pixman_color_t level{0, 0, 0, static_cast<std::uint16_t>(opacity * 255 / 100 * 257)};
    pixman_image_t* mask = opacity == 100 ? nullptr : pixman_image_create_solid_fill(&level);
    for (auto _ : state)
        pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    if (mask) pixman_image_unref(mask);
    pixman_image_unref(dst);
    pixman_image_unref(src);
}

BENCHMARK_CAPTURE(oursBlend, host100, 100, false)->Name("Ours/blend_host_100");
BENCHMARK_CAPTURE(refBlend, host100, 100, false)->Name("Ref/blend_host_100");
BENCHMARK_CAPTURE(oursBlend, host50, 50, false)->Name("Ours/blend_host_50");
BENCHMARK_CAPTURE(refBlend, host50, 50, false)->Name("Ref/blend_host_50");
BENCHMARK_CAPTURE(oursBlend, dc100, 100, true)->Name("Ours/blend_dc_100");
BENCHMARK_CAPTURE(refBlend, dc100, 100, true)->Name("Ref/blend_dc_100");
BENCHMARK_CAPTURE(oursBlend, dc50, 50, true)->Name("Ours/blend_dc_50");
BENCHMARK_CAPTURE(refBlend, dc50, 50, true)->Name("Ref/blend_dc_50");

void oursBilinear(benchmark::State& state, int factorX2) {
    const auto dw = kWidth * factorX2 / 2, dh = kHeight * factorX2 / 2;
    PixelBuffer out;
    out.allocate(dw, dh);
    const ScaleJob job{source().view(), {0, 0, kWidth, kHeight}, 0, 0, dw, dh, true};
    for (auto _ : state) {
        scaleInto(job, out.view());
        benchmark::DoNotOptimize(out.bytes.data());
    }
}

void refBilinear(benchmark::State& state, int factorX2) {
    const auto dw = kWidth * factorX2 / 2, dh = kHeight * factorX2 / 2;
    PixelBuffer out;
    out.allocate(dw, dh);
    pixman_image_t* src = pixmanImage(source().BitsPointer(), kWidth, kHeight);
    pixman_image_t* dst = pixmanImage(out.bytes.data(), dw, dh);
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(2.0 / factorX2),
                                pixman_double_to_fixed(2.0 / factorX2));
    pixman_image_set_transform(src, &t);
    pixman_image_set_filter(src, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, dw, dh);
        benchmark::DoNotOptimize(out.bytes.data());
    }
    pixman_image_unref(dst);
    pixman_image_unref(src);
}

BENCHMARK_CAPTURE(oursBilinear, x05, 1)->Name("Ours/bilinear_0.5x");
BENCHMARK_CAPTURE(refBilinear, x05, 1)->Name("Ref/bilinear_0.5x");
BENCHMARK_CAPTURE(oursBilinear, x15, 3)->Name("Ours/bilinear_1.5x");
BENCHMARK_CAPTURE(refBilinear, x15, 3)->Name("Ref/bilinear_1.5x");
BENCHMARK_CAPTURE(oursBilinear, x2, 4)->Name("Ours/bilinear_2x");
BENCHMARK_CAPTURE(refBilinear, x2, 4)->Name("Ref/bilinear_2x");

// --- writing PNG ----------------------------------------------------------------

constexpr int kPhotoW = 2000;
constexpr int kPhotoH = 1500;

// The photograph as an opaque surface, which the writer saves as RGB with
// Paeth rows at level 9.
c32bppDIB& photoSurface() {
    static c32bppDIB s;
    if (s.Handle() == 0) {
        const Bytes rgb = benchimages::photoPixels(kPhotoW, kPhotoH);
        s.InitializeDIB(kPhotoW, kPhotoH);
        for (int y = 0; y < kPhotoH; ++y) {
            const std::uint8_t* from = &rgb[std::size_t{static_cast<unsigned>(y)} * kPhotoW * 3];
            std::uint8_t* to = s.row(y);
            for (int x = 0; x < kPhotoW; ++x, from += 3, to += 4) {
                to[0] = from[2];
                to[1] = from[1];
                to[2] = from[0];
                to[3] = 255;
            }
        }
    }
    return s;
}

void oursWrite(benchmark::State& state, bool) {
    std::vector<std::uint8_t> out;
    for (auto _ : state) {
        if (!cPNGwriter().SavePNG(photoSurface(), out)) state.SkipWithError("save failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = static_cast<double>(out.size());
}

// libpng with the writer's filter (Paeth) and level (9); with its own
// default deflate strategy for filtered rows (Z_FILTERED) or with the one
// the writer's "compress2" uses.
void refWrite(benchmark::State& state, bool libpngStrategy) {
    c32bppDIB& s = photoSurface();
    std::vector<png_bytep> rows;
    for (int y = 0; y < kPhotoH; ++y)
        rows.push_back(s.row(y));
    std::vector<std::uint8_t> out;
    for (auto _ : state) {
        out.clear();
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_write_fn(
            png, &out,
            [](png_structp p, png_bytep data, png_size_t n) {
                auto* o = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(p));
                o->insert(o->end(), data, data + n);
            },
            nullptr);
        png_set_IHDR(png, info, kPhotoW, kPhotoH, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
        png_set_compression_level(png, 9);
        if (!libpngStrategy) png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
        png_write_info(png, info);
        png_set_bgr(png);
        png_set_filler(png, 0, PNG_FILLER_AFTER);
        png_write_image(png, rows.data());
        png_write_end(png, nullptr);
        png_destroy_write_struct(&png, &info);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = static_cast<double>(out.size());
}

BENCHMARK_CAPTURE(oursWrite, same, false)->Name("Ours/png_write")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(refWrite, same, false)->Name("Ref/png_write")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(oursWrite, filtered, true)
    ->Name("Ours/png_write_libpng_strategy")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(refWrite, filtered, true)
    ->Name("Ref/png_write_libpng_strategy")
    ->Unit(benchmark::kMillisecond);

} // namespace

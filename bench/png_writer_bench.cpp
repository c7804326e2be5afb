// Saving 2000 x 1500 images with the own PNG writer, against libpng writing
// the same pixels with the same filter and level 9.
//
//   build/bench/png_writer_bench --benchmark_repetitions=5
//
// The "bytes" counter is the size of the file written. libpng is given its
// rows in the most favourable form: for RGB it reads the surface's rows in
// place (BGR order, filler byte stripped); for the palette image it gets the
// indices ready-made, computed outside the timed loop. libpng's default
// deflate strategy for filtered rows is Z_FILTERED, while "compress2" uses
// Z_DEFAULT_STRATEGY; both libpng settings are measured.

#include "codecs/cpngwriter.h"
#include "dib/c32bppdib.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <map>
#include <png.h>
#include <vector>
#include <zlib.h>

namespace {

constexpr int kWidth = 2000;
constexpr int kHeight = 1500;

// Smooth shading with fine noise: what deflate sees in a photograph after
// Paeth prediction.
std::uint8_t photoChannel(int x, int y, int channel, std::uint32_t& noise) {
    noise = noise * 1664525u + 1013904223u;
    const double fx = x / (60.0 + 25 * channel), fy = y / (45.0 + 15 * channel);
    const double shade = 128 + 70 * std::sin(fx + 0.7 * std::sin(fy)) + 40 * std::cos(fy - fx / 3);
    const int value = static_cast<int>(shade) + static_cast<int>((noise >> 24) % 9) - 4;
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

void makePhoto(c32bppDIB& s, bool softAlpha) {
    s.InitializeDIB(kWidth, kHeight);
    s.Alpha(softAlpha);
    std::uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* p = s.row(y);
        for (int x = 0; x < kWidth; ++x, p += 4) {
            const int a = softAlpha ? std::clamp(255 - std::abs(x - kWidth / 2) / 4, 0, 255) : 255;
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<std::uint8_t>(photoChannel(x, y, c, noise) * a / 255);
            p[3] = static_cast<std::uint8_t>(a);
        }
    }
}

// The photograph reduced to 6 x 7 x 6 = 252 colours: a palette image.
void makePaletteImage(c32bppDIB& s) {
    makePhoto(s, false);
    for (std::uint8_t* p = s.BitsPointer(); p != s.BitsPointer() + s.pixels().size(); p += 4) {
        p[0] = static_cast<std::uint8_t>(p[0] / 43 * 51);
        p[1] = static_cast<std::uint8_t>(p[1] / 37 * 42);
        p[2] = static_cast<std::uint8_t>(p[2] / 43 * 51);
    }
}

void BM_VelmoraWriter(benchmark::State& state, bool palette, bool softAlpha) {
    c32bppDIB s;
    palette ? makePaletteImage(s) : makePhoto(s, softAlpha);
    std::vector<std::uint8_t> out;
    for (auto _ : state) {
        if (!cPNGwriter().SavePNG(s, out)) state.SkipWithError("save failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = static_cast<double>(out.size());
}

void appendData(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

struct LibpngInput {
    int colourType = PNG_COLOR_TYPE_RGB;
    std::vector<std::uint8_t> straight; // RGBA rows for the soft-alpha image
    std::vector<png_bytep> rows;
    std::vector<png_color> palette;
    std::vector<std::uint8_t> indices;
};

bool libpngWrite(const LibpngInput& in, bool defaultStrategy, std::vector<std::uint8_t>& out) {
    out.clear();
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, appendData, nullptr);
    png_set_IHDR(png, info, kWidth, kHeight, 8, in.colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const bool rgb = in.colourType == PNG_COLOR_TYPE_RGB;
    const bool palette = in.colourType == PNG_COLOR_TYPE_PALETTE;
    if (palette) png_set_PLTE(png, info, in.palette.data(), static_cast<int>(in.palette.size()));
    png_set_filter(png, PNG_FILTER_TYPE_BASE, palette ? PNG_FILTER_NONE : PNG_FILTER_PAETH);
    png_set_compression_level(png, 9);
    if (defaultStrategy) png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    png_write_info(png, info);
    if (rgb) {
        png_set_bgr(png);
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    }
    png_write_image(png, const_cast<png_bytepp>(in.rows.data()));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

void BM_Libpng(benchmark::State& state, bool palette, bool defaultStrategy, bool softAlpha) {
    c32bppDIB s;
    palette ? makePaletteImage(s) : makePhoto(s, softAlpha);
    LibpngInput in;
    if (softAlpha) {
        // Straight RGBA, un-premultiplied as the own writer does, outside the timing.
        in.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
        in.straight.resize(s.pixels().size());
        for (int y = 0; y < kHeight; ++y) {
            const std::uint8_t* p = s.row(y);
            std::uint8_t* d = in.straight.data() + static_cast<std::size_t>(y) * kWidth * 4;
            for (int x = 0; x < kWidth; ++x, p += 4, d += 4) {
                const int a = p[3];
                for (int c = 0; c < 3; ++c)
                    d[c] = static_cast<std::uint8_t>(a == 0 ? 0 : p[2 - c] * 255 / a);
                d[3] = p[3];
            }
            in.rows.push_back(in.straight.data() + static_cast<std::size_t>(y) * kWidth * 4);
        }
    } else if (palette) {
        // Positions in ascending order of the pixel values, as the own writer
        // assigns them to an opaque image.
        in.colourType = PNG_COLOR_TYPE_PALETTE;
        std::map<std::uint32_t, std::uint8_t> position;
        const auto value = [](const std::uint8_t* p) {
            return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16;
        };
        for (std::size_t i = 0; i < s.pixels().size(); i += 4)
            position[value(&s.pixels()[i])] = 0;
        for (auto& [v, pos] : position) {
            pos = static_cast<std::uint8_t>(in.palette.size());
            in.palette.push_back({static_cast<png_byte>(v >> 16), static_cast<png_byte>(v >> 8),
                                  static_cast<png_byte>(v)});
        }
        in.indices.resize(static_cast<std::size_t>(kWidth) * kHeight);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                in.indices[static_cast<std::size_t>(y) * kWidth + x] =
                    position[value(s.row(y) + x * 4)];
        for (int y = 0; y < kHeight; ++y)
            in.rows.push_back(in.indices.data() + static_cast<std::size_t>(y) * kWidth);
    } else {
        for (int y = 0; y < kHeight; ++y)
            in.rows.push_back(s.row(y));
    }
    std::vector<std::uint8_t> out;
    for (auto _ : state) {
        if (!libpngWrite(in, defaultStrategy, out)) state.SkipWithError("libpng failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = static_cast<double>(out.size());
}

} // namespace

BENCHMARK_CAPTURE(BM_VelmoraWriter, photo_rgb, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Libpng, photo_rgb_filtered_strategy, false, false, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Libpng, photo_rgb_default_strategy, false, true, false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_VelmoraWriter, palette, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Libpng, palette, true, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_VelmoraWriter, photo_soft_alpha_rgba, false, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Libpng, photo_soft_alpha_rgba_default_strategy, false, true, true)
    ->Unit(benchmark::kMillisecond);

// The imaging library beside the libraries it stands on, called directly:
// JPEG decoding (libjpeg-turbo), bicubic shrinking and turning (pixman) and
// PNG encoding (libpng). The ratio of each pair is the library's overhead.

#include "imaging/velmora_imaging.h"
#include "tests/support/jpeg_file.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <pixman.h>
#include <png.h>
#include <vector>

namespace {

struct Picture {
    std::int32_t width, height;
    std::vector<std::uint32_t> memory;
    velmora_imaging_pixels view() {
        return {reinterpret_cast<std::uint8_t*>(memory.data()), width, height, width * 4, 0};
    }
};

// A smooth picture with some detail, premultiplied with varying alpha when
// `translucent`.
Picture makePicture(std::int32_t w, std::int32_t h, bool translucent) {
    Picture p{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h)};
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            const auto r = static_cast<std::uint32_t>(128 + 100 * std::sin(x * 0.01 + y * 0.003));
            const auto g = static_cast<std::uint32_t>((x ^ y) & 0xFF);
            const auto b = static_cast<std::uint32_t>(y * 255 / h);
            const std::uint32_t a = translucent ? 55 + (x + y) % 200 : 255;
            p.memory[static_cast<std::size_t>(y) * w + x] =
                (b * a / 255) | (g * a / 255) << 8 | (r * a / 255) << 16 | a << 24;
        }
    return p;
}

struct Session {
    Session() { velmora_imaging_startup(&token); }
    ~Session() { velmora_imaging_shutdown(token); }
    std::int32_t token = 0;
};

// --- JPEG ----------------------------------------------------------------------------

const std::vector<std::uint8_t>& photoJpeg() {
    static const std::vector<std::uint8_t> bytes = [] {
        const Picture p = makePicture(4000, 3000, false);
        const auto* samples = reinterpret_cast<const std::uint8_t*>(p.memory.data());
        return testjpeg::writeJpeg(4000, 3000, {samples, p.memory.size() * 4},
                                   {.space = JCS_EXT_BGRA, .components = 4, .quality = 90});
    }();
    return bytes;
}

std::int32_t intoPicture(void* context, std::int32_t w, std::int32_t h,
                         velmora_imaging_pixels* out) {
    auto* p = static_cast<Picture*>(context);
    p->width = w;
    p->height = h;
    p->memory.resize(static_cast<std::size_t>(w) * h);
    *out = p->view();
    return 0;
}

void JpegDecode_Library(benchmark::State& state) {
    const auto& jpeg = photoJpeg();
    Session session;
    Picture target{0, 0, {}};
    for (auto _ : state) {
        if (velmora_imaging_decode_memory(jpeg.data(), jpeg.size(), intoPicture, &target,
                                          nullptr) != 0)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(target.memory.data());
    }
}
BENCHMARK(JpegDecode_Library)->Unit(benchmark::kMillisecond);

void JpegDecode_LibjpegTurbo(benchmark::State& state) {
    const auto& jpeg = photoJpeg();
    Picture target{4000, 3000, std::vector<std::uint32_t>(4000 * 3000)};
    for (auto _ : state) {
        jpeg_decompress_struct d{};
        jpeg_error_mgr err{};
        d.err = jpeg_std_error(&err);
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, jpeg.data(), jpeg.size());
        jpeg_read_header(&d, TRUE);
        d.out_color_space = JCS_EXT_BGRA;
        jpeg_start_decompress(&d);
        JSAMPROW rows[16];
        while (d.output_scanline < d.output_height) {
            const JDIMENSION n = std::min<JDIMENSION>(16, d.output_height - d.output_scanline);
            for (JDIMENSION k = 0; k < n; ++k)
                rows[k] = reinterpret_cast<JSAMPROW>(
                    target.memory.data() + static_cast<std::size_t>(d.output_scanline + k) * 4000);
            jpeg_read_scanlines(&d, rows, n);
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
        benchmark::DoNotOptimize(target.memory.data());
    }
}
BENCHMARK(JpegDecode_LibjpegTurbo)->Unit(benchmark::kMillisecond);

// --- drawing -----------------------------------------------------------------------------

Picture& bigSource() {
    static Picture p = makePicture(4000, 3000, true);
    return p;
}
Picture& midSource() {
    static Picture p = makePicture(1000, 750, true);
    return p;
}

velmora_imaging_draw_params scaleParams(const Picture& s, float w, float h) {
    velmora_imaging_draw_params p{};
    p.src_width = static_cast<float>(s.width);
    p.src_height = static_cast<float>(s.height);
    p.dest_width = w;
    p.dest_height = h;
    p.world[0] = p.world[3] = 1;
    p.interpolation = VELMORA_IMAGING_BICUBIC;
    return p;
}

void BicubicShrink_Library(benchmark::State& state) {
    Session session;
    Picture& source = bigSource();
    Picture target{1000, 750, std::vector<std::uint32_t>(1000 * 750)};
    const auto p = scaleParams(source, 1000, 750);
    const auto s = source.view();
    const auto t = target.view();
    for (auto _ : state) {
        velmora_imaging_draw(&s, &t, &p);
        benchmark::DoNotOptimize(target.memory.data());
    }
}
BENCHMARK(BicubicShrink_Library)->Unit(benchmark::kMillisecond);

// pixman with the same filter, transform and compositing, set up by hand.
void drawWithPixman(Picture& source, Picture& target, const pixman_f_transform& inverse,
                    double scale, pixman_repeat_t repeat) {
    pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, source.width, source.height,
                                                   source.memory.data(), source.width * 4);
    pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, target.width, target.height,
                                                   target.memory.data(), target.width * 4);
    pixman_transform t;
    pixman_transform_from_pixman_f_transform(&t, &inverse);
    pixman_image_set_transform(src, &t);
    int n = 0;
    const bool shrink = scale > 1;
    pixman_fixed_t* params = pixman_filter_create_separable_convolution(
        &n, pixman_double_to_fixed(std::max(scale, 1.0)),
        pixman_double_to_fixed(std::max(scale, 1.0)),
        shrink ? PIXMAN_KERNEL_BOX : PIXMAN_KERNEL_CUBIC,
        shrink ? PIXMAN_KERNEL_BOX : PIXMAN_KERNEL_CUBIC,
        shrink ? PIXMAN_KERNEL_CUBIC : PIXMAN_KERNEL_IMPULSE,
        shrink ? PIXMAN_KERNEL_CUBIC : PIXMAN_KERNEL_IMPULSE, 4, 4);
    pixman_image_set_filter(src, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, n);
    std::free(params);
    pixman_image_set_repeat(src, repeat);
    pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0, 0, 0, target.width,
                             target.height);
    pixman_image_unref(src);
    pixman_image_unref(dst);
}

void BicubicShrink_Pixman(benchmark::State& state) {
    Picture& source = bigSource();
    Picture target{1000, 750, std::vector<std::uint32_t>(1000 * 750)};
    pixman_f_transform inverse;
    pixman_f_transform_init_scale(&inverse, 4, 4);
    for (auto _ : state) {
        drawWithPixman(source, target, inverse, 4, PIXMAN_REPEAT_PAD);
        benchmark::DoNotOptimize(target.memory.data());
    }
}
BENCHMARK(BicubicShrink_Pixman)->Unit(benchmark::kMillisecond);

// 30 degrees about the centre of a 1000 x 750 picture, onto a target of the
// same size.
constexpr double kAngle = 30 * M_PI / 180;

void Rotate30_Library(benchmark::State& state) {
    Session session;
    Picture& source = midSource();
    Picture target{1000, 750, std::vector<std::uint32_t>(1000 * 750)};
    auto p = scaleParams(source, 1000, 750);
    const float c = static_cast<float>(std::cos(kAngle)), s = static_cast<float>(std::sin(kAngle));
    p.world[0] = c, p.world[1] = s, p.world[2] = -s, p.world[3] = c;
    p.world[4] = 500 - c * 500 + s * 375;
    p.world[5] = 375 - s * 500 - c * 375;
    const auto sv = source.view();
    const auto tv = target.view();
    for (auto _ : state) {
        velmora_imaging_draw(&sv, &tv, &p);
        benchmark::DoNotOptimize(target.memory.data());
    }
}
BENCHMARK(Rotate30_Library)->Unit(benchmark::kMillisecond);

void Rotate30_Pixman(benchmark::State& state) {
    Picture& source = midSource();
    Picture target{1000, 750, std::vector<std::uint32_t>(1000 * 750)};
    pixman_f_transform inverse;
    pixman_f_transform_init_translate(&inverse, -500, -375);
    pixman_f_transform_rotate(&inverse, nullptr, std::cos(-kAngle), std::sin(-kAngle));
    pixman_f_transform_translate(&inverse, nullptr, 500, 375);
    for (auto _ : state) {
        drawWithPixman(source, target, inverse, 1, PIXMAN_REPEAT_NONE);
        benchmark::DoNotOptimize(target.memory.data());
    }
}
BENCHMARK(Rotate30_Pixman)->Unit(benchmark::kMillisecond);

// --- PNG encoding ------------------------------------------------------------------------------

std::int32_t count(void* context, const std::uint8_t*, std::size_t size) {
    *static_cast<std::size_t*>(context) += size;
    return 0;
}

void PngEncode_Library(benchmark::State& state) {
    Session session;
    Picture& source = midSource();
    velmora_imaging_codec png{};
    velmora_imaging_encoders(&png, 1);
    const auto view = source.view();
    for (auto _ : state) {
        std::size_t size = 0;
        velmora_imaging_encode_memory(&view, png.clsid, count, &size);
        benchmark::DoNotOptimize(size);
    }
}
BENCHMARK(PngEncode_Library)->Unit(benchmark::kMillisecond);

// libpng alone, handed rows already un-premultiplied.
void PngEncode_Libpng(benchmark::State& state) {
    Picture& source = midSource();
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(source.width) * source.height * 4);
    for (std::size_t i = 0; i < source.memory.size(); ++i) {
        const std::uint32_t v = source.memory[i], a = v >> 24;
        rgba[i * 4 + 0] = static_cast<std::uint8_t>((v >> 16 & 0xFF) * 255 / a);
        rgba[i * 4 + 1] = static_cast<std::uint8_t>((v >> 8 & 0xFF) * 255 / a);
        rgba[i * 4 + 2] = static_cast<std::uint8_t>((v & 0xFF) * 255 / a);
        rgba[i * 4 + 3] = static_cast<std::uint8_t>(a);
    }
    for (auto _ : state) {
        std::size_t size = 0;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_write_fn(
            png, &size,
            [](png_structp p, png_bytep, png_size_t n) {
                *static_cast<std::size_t*>(png_get_io_ptr(p)) += n;
            },
            nullptr);
        png_set_IHDR(png, info, static_cast<png_uint_32>(source.width),
                     static_cast<png_uint_32>(source.height), 8, PNG_COLOR_TYPE_RGBA,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (std::int32_t y = 0; y < source.height; ++y)
            png_write_row(png, rgba.data() + static_cast<std::size_t>(y) * source.width * 4);
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        benchmark::DoNotOptimize(size);
    }
}
BENCHMARK(PngEncode_Libpng)->Unit(benchmark::kMillisecond);

} // namespace

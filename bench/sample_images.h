#pragma once
// Images the measurements share: a generated "photograph" (smooth shading
// with sensor-like grain, RGB) and libpng's encoding of pixel rows.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <png.h>
#include <random>
#include <vector>

namespace benchimages {

using Bytes = std::vector<std::uint8_t>;

inline Bytes photoPixels(int w, int h) {
    Bytes px(static_cast<std::size_t>(w) * h * 3);
    std::mt19937 rng(42);
    std::normal_distribution<float> grain(0.f, 3.f);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float fx = x / float(w), fy = y / float(h);
            const float base = 0.5f + 0.25f * std::sin(fx * 7.1f + std::cos(fy * 5.3f) * 2.f) +
                               0.2f * std::cos(fy * 11.7f + fx * 3.1f) * std::sin(fx * 17.f);
            const float rgb[3] = {base * 230.f + 10.f, (1.f - fy) * base * 200.f + 30.f,
                                  (0.3f + 0.7f * fx) * 180.f + 20.f * std::sin(fy * 40.f)};
            for (int c = 0; c < 3; ++c)
                px[(static_cast<std::size_t>(y) * w + x) * 3 + c] =
                    static_cast<std::uint8_t>(std::clamp(rgb[c] + grain(rng), 0.f, 255.f));
        }
    return px;
}

// RGB (3 channels) or RGBA (4) rows, top row first, at libpng's defaults.
inline Bytes encodePng(const Bytes& pixels, int width, int height, int channels) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
            o->insert(o->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, width, height, 8,
                 channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, pixels.data() + static_cast<std::size_t>(y) * width * channels);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

} // namespace benchimages

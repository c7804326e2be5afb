// The yardstick for whole-process PNG decoding: what a program built on
// libpng does to turn a PNG file into the raw pixel memory that
// `velmora-image convert IN.png OUT.bgra` writes (rows bottom first,
// premultiplied blue, green, red, alpha; 16-bit samples keep their high
// byte). bench/whole_process.sh runs both under /usr/bin/time.
//
//   png_whole_process photo OUT.png [WIDTH HEIGHT]   writes the generated photograph
//   png_whole_process decode IN.png OUT.bgra          decodes with libpng

#include "sample_images.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

namespace {

int writePhoto(const char* path, int width, int height) {
    const benchimages::Bytes png =
        benchimages::encodePng(benchimages::photoPixels(width, height), width, height, 3);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    return out ? 0 : 1;
}

int decode(const char* in, const char* out) {
    FILE* f = std::fopen(in, "rb");
    if (!f) return 1;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::unique_ptr<std::uint8_t[]> pixels;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return 1;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    png_set_strip_16(png);
    png_set_packing(png);
    png_set_palette_to_rgb(png);
    png_set_expand_gray_1_2_4_to_8(png);
    png_set_tRNS_to_alpha(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const std::size_t stride = std::size_t{width} * 4;
    pixels = std::make_unique_for_overwrite<std::uint8_t[]>(stride * height);
    // Bottom row first, as a bottom-up DIB section holds it.
    std::unique_ptr<png_bytep[]> rows(new png_bytep[height]);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = pixels.get() + stride * (height - 1 - y);
    png_read_image(png, rows.get());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    // Premultiplied with a truncating division.
    for (std::size_t i = 0; i < stride * height; i += 4) {
        const unsigned a = pixels[i + 3];
        if (a == 255) continue;
        for (int c = 0; c < 3; ++c)
            pixels[i + c] = static_cast<std::uint8_t>(pixels[i + c] * a / 255);
    }
    std::ofstream o(out, std::ios::binary);
    o.write(reinterpret_cast<const char*>(pixels.get()),
            static_cast<std::streamsize>(stride * height));
    return o ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "photo") == 0)
        return writePhoto(argv[2], argc >= 5 ? std::atoi(argv[3]) : 4000,
                          argc >= 5 ? std::atoi(argv[4]) : 3000);
    if (argc == 4 && std::strcmp(argv[1], "decode") == 0) return decode(argv[2], argv[3]);
    std::cerr << "usage: png_whole_process photo OUT.png [WIDTH HEIGHT] | decode IN.png OUT.bgra\n";
    return 2;
}

#pragma once
// JPEG files written by libjpeg itself (at the highest quality unless asked
// otherwise), for tests and benchmarks that need known pixels in a format
// the program does not write.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <span>
#include <vector>

namespace testjpeg {

struct JpegOptions {
    J_COLOR_SPACE space = JCS_RGB;
    int components = 3;
    bool progressive = false;
    bool adobe = false;
    int quality = 100;
};

inline std::vector<std::uint8_t>
writeJpeg(int width, int height, std::span<const std::uint8_t> samples, const JpegOptions& o) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = o.components;
    c.in_color_space = o.space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, o.quality, TRUE);
    // CMYK defaults to Adobe's inverted form; plain CMYK is asked for.
    c.write_Adobe_marker = o.adobe ? TRUE : FALSE;
    if (o.progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        auto* row = const_cast<JSAMPLE*>(
            samples.data() + static_cast<std::size_t>(c.next_scanline) * width * o.components);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<std::uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return bytes;
}

// A baseline JPEG of one colour.
inline std::vector<std::uint8_t> flatJpeg(int width, int height, std::uint8_t r, std::uint8_t g,
                                          std::uint8_t b) {
    std::vector<std::uint8_t> samples;
    samples.reserve(static_cast<std::size_t>(width) * height * 3);
    for (int i = 0; i < width * height; ++i)
        samples.insert(samples.end(), {r, g, b});
    return writeJpeg(width, height, samples, {});
}

} // namespace testjpeg

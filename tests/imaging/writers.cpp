// The test files of the Linux library's program, made and read by the
// formats' own libraries; drawing here is exact.

#include "tests/imaging/writers.h"

#include "tests/imaging/support.h"
#include "tests/support/jpeg_file.h"

#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>

namespace imaging_test {

Bytes writePng(int width, int height, int channels, const Bytes& samples, const Bytes& trns) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t size) {
            auto* v = static_cast<Bytes*>(png_get_io_ptr(p));
            v->insert(v->end(), data, data + size);
        },
        nullptr);
    const int type = channels == 1   ? PNG_COLOR_TYPE_GRAY
                     : channels == 2 ? PNG_COLOR_TYPE_GRAY_ALPHA
                     : channels == 3 ? PNG_COLOR_TYPE_RGB
                                     : PNG_COLOR_TYPE_RGBA;
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    if (!trns.empty()) {
        // Sixteen-bit big-endian values: grey, or red, green and blue.
        const auto at = [&trns](std::size_t i) {
            return static_cast<png_uint_16>(trns[i * 2] << 8 | trns[i * 2 + 1]);
        };
        png_color_16 transparent{};
        if (trns.size() >= 6) {
            transparent.red = at(0);
            transparent.green = at(1);
            transparent.blue = at(2);
        } else {
            transparent.gray = at(0);
        }
        png_set_tRNS(png, info, nullptr, 0, &transparent);
    }
    png_write_info(png, info);
    const std::size_t row = static_cast<std::size_t>(width) * static_cast<std::size_t>(channels);
    for (int y = 0; y < height; ++y) {
        Bytes line(samples.begin() + static_cast<std::ptrdiff_t>(y * row),
                   samples.begin() + static_cast<std::ptrdiff_t>((y + 1) * row));
        png_write_row(png, line.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes smoothJpeg(int width, int height) {
    Bytes rgb;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            rgb.insert(rgb.end(), {static_cast<std::uint8_t>(x * 255 / (width - 1)),
                                   static_cast<std::uint8_t>(y * 255 / (height - 1)), 160});
    return testjpeg::writeJpeg(width, height, rgb, {});
}

Bytes rgbTiff(int width, int height) {
    const std::string path = temporaryPath("rgb.tif");
    TIFF* t = TIFFOpen(path.c_str(), "w");
    EXPECT_NE(t, nullptr);
    if (t == nullptr) return {};
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 8);
    Bytes row(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                row[static_cast<std::size_t>(x) * 3 + c] =
                    static_cast<std::uint8_t>((x * 40 + y * 13 + c * 70) & 0xFF);
        TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0);
    }
    TIFFClose(t);
    return readFile(path);
}

// libpng's own read, RGBA whatever the file holds.
PngRead readPng(const Bytes& bytes) {
    PngRead r;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return r;
    r.colourType =
        (image.format & PNG_FORMAT_FLAG_ALPHA) ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB;
    r.depth = bytes.size() > 24 ? bytes[24] : 0;
    r.width = image.width;
    r.height = image.height;
    image.format = PNG_FORMAT_RGBA;
    r.rgba.resize(PNG_IMAGE_SIZE(image));
    r.ok = png_image_finish_read(&image, nullptr, r.rgba.data(), 0, nullptr) != 0;
    return r;
}

bool drawnAs(std::uint32_t got, std::uint32_t want) {
    return got == want;
}

} // namespace imaging_test

#pragma once
// What each imaging test program provides to the cases every implementation
// of the interface must pass: test files made and read independently of the
// library under test, each program its own way, and how exact a drawn pixel
// must be on the system it runs on.

#include <cstdint>
#include <vector>

namespace imaging_test {

using Bytes = std::vector<std::uint8_t>;

// A PNG of 8-bit samples (`channels` a pixel: 1 grey, 3 RGB, 4 RGBA) with
// unfiltered rows; `trns` is the body of a tRNS chunk when not empty.
Bytes writePng(int width, int height, int channels, const Bytes& samples, const Bytes& trns = {});
// A JPEG of a smooth opaque picture.
Bytes smoothJpeg(int width, int height);
// An uncompressed 8-bit RGB TIFF.
Bytes rgbTiff(int width, int height);

// What a PNG reader sees of the library's output.
struct PngRead {
    bool ok = false;
    int colourType = -1; // 2 RGB, 6 RGBA
    int depth = 0;
    std::uint32_t width = 0, height = 0;
    Bytes rgba; // top row first, alpha 255 for RGB
};
PngRead readPng(const Bytes& png);

// Whether a drawn pixel is the one expected: exactly, unless the system
// underneath has a rounding of its own that the program names.
bool drawnAs(std::uint32_t got, std::uint32_t want);

} // namespace imaging_test

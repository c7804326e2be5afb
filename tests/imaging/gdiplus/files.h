#pragma once
// Test files made here, byte by byte, without any other software: PNG and
// uncompressed TIFF written to the formats' definitions, and a PNG reader
// for what the library encodes. JPEG files come from the system's own
// encoder, through the library's encoder list.

#include "imaging/velmora_imaging.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace imaging_test {

using Bytes = std::vector<std::uint8_t>;

// A PNG of 8-bit samples (`channels` a pixel: 1 grey, 3 RGB, 4 RGBA) with
// unfiltered rows; `trns` is the body of a tRNS chunk when not empty.
Bytes writePng(int width, int height, int channels, const Bytes& samples, const Bytes& trns = {});

// What a PNG reader needs to see of the library's output.
struct PngRead {
    bool ok = false;
    int colourType = -1; // 2 RGB, 6 RGBA
    int depth = 0;
    std::uint32_t width = 0, height = 0;
    Bytes rgba; // top row first, alpha 255 for RGB
};
PngRead readPng(const Bytes& png);

struct TiffLayout {
    std::uint16_t samples = 3;
    std::uint16_t bits = 8;
    std::uint16_t photometric = 2; // 0 white is zero, 1 black is zero, 2 RGB, 3 palette
    std::uint16_t extra = 0;       // 1 associated alpha, 2 unassociated, 0 none
    bool tiled = false;
    bool bigEndian = false;
};
// An uncompressed TIFF whose directory comes last, with the sample `c` of
// pixel (x, y) from `sample`. A palette maps index i to (i, 255 - i, i / 2).
Bytes writeTiff(int width, int height, const TiffLayout& layout,
                const std::function<std::uint16_t(int, int, int)>& sample);

// The identifier of the encoder for `mime` in the library's list; fails
// the test when there is none.
std::array<std::uint8_t, 16> encoderFor(const std::string& mime);

std::int32_t collect(void* context, const std::uint8_t* bytes, std::size_t size);

// Wine's GDI+ rounds down where Windows does not: it draws a premultiplied
// source through straight alpha (a translucent colour may come out one
// below what it was, even where a draw only copies pixels) and truncates
// its blends and colour matrices. True when running under Wine.
bool wineGdiplusRoundsDown();

// Whether a drawn pixel is the one expected: exactly, or on Wine with each
// colour at most the unit below that its rounding down may cost.
bool exactOrWinesUnitBelow(std::uint32_t got, std::uint32_t want);

} // namespace imaging_test

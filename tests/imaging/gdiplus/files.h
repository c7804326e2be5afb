#pragma once
// Test files made here, byte by byte, without any other software: PNG and
// uncompressed TIFF written to the formats' definitions, and a PNG reader
// for what the library encodes. JPEG files come from the system's own
// encoder, through the library's encoder list.

#include "imaging/velmora_imaging.h"
#include "tests/imaging/support.h"
#include "tests/imaging/writers.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace imaging_test {

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

// A smooth opaque picture, and a JPEG of it by the system's own encoder.
Picture smooth(int width, int height);
Bytes jpegOf(Picture& picture);

// Wine's GDI+ rounds down where Windows does not: it draws a premultiplied
// source through straight alpha (a translucent colour may come out one
// below what it was, even where a draw only copies pixels) and truncates
// its blends and colour matrices. True when running under Wine.
bool wineGdiplusRoundsDown();

// Whether a drawn pixel is the one expected: exactly, or on Wine with each
// colour at most the unit below that its rounding down may cost.
bool exactOrWinesUnitBelow(std::uint32_t got, std::uint32_t want);

} // namespace imaging_test

#pragma once
// The format a surface's image came from (its ImageType). The readers set
// it, the effects that make an image of their own set theirs, and callers
// read it to know what a load found.

#include <cstdint>

namespace modParsers {

enum ImageTypes : std::int32_t {
    itNoImage = -1,
    itBlank = 0,
    itBitmap = 1, // also JPEG and 32-bit bitmaps whose alpha carries nothing
    itMetafile = 2,
    itIcon = 3,
    itEnhMetafile = 4,
    itCursor = 5,
    itBitmapAlpha = 6,         // 32-bit bitmap with straight alpha
    itBitmapPremultiplied = 7, // 32-bit bitmap already premultiplied
    itIconAlpha = 8,
    itGIF = 9,
    itPNG = 10, // also every image the imaging service decoded
    itIconPNG = 11,
    itCursorAlpha = 12,
    itCheckerBoard = 64,
};

} // namespace modParsers

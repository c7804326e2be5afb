#pragma once
// The first image of a GIF file as palette indexes: the block structure is
// walked, the image's LZW data decoded (code-size growth, clear and end
// codes, interlaced row order) and the colour table in use returned with
// it. Frame positions, delays and later frames are not this decoder's
// business.

#include "platform/gdi/types.h"
#include "platform/util/result.h"

#include <cstdint>
#include <span>
#include <vector>

namespace platform {

enum class GifError {
    NotGif,        // no "GIF87a"/"GIF89a" signature
    Truncated,     // a block runs past the end of the data
    NoImage,       // the trailer, or the end, before any image
    BadBlock,      // a byte that starts no block
    BadExtension,  // a graphic control extension shorter than its fields
    BadDimensions, // an image of width or height 0
    BadCodeSize,   // an LZW minimum code size outside 1..11
    TooLarge,      // over the decode pixel limit
    OutOfMemory,
};

const char* GifErrorText(GifError error);

struct GifImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    // One index a pixel, top row first, rows in display order whatever the
    // interlacing. Pixels the data does not reach stay 0.
    std::vector<std::uint8_t> indexes;
    // The table in use: the image's local one, else the global one; may be
    // empty.
    std::vector<RGBQUAD> palette;
    std::int32_t transparentIndex = -1;
};

velmora::Result<GifImage, GifError> DecodeGif(std::span<const std::uint8_t> data);

// The LZW stage alone: `data` is the image data's sub-blocks (size byte,
// bytes, ..., size byte 0). Fills `out` in stream order and returns how
// many indexes the data produced.
std::size_t DecodeGifLzw(int minCodeSize, std::span<const std::uint8_t> data,
                         std::span<std::uint8_t> out);

} // namespace platform

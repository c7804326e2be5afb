#pragma once
// The first image of a GIF file as palette indexes: the block structure is
// walked, the image's LZW data decoded (code-size growth, clear and end
// codes, interlaced row order) and the colour table in use returned with
// it. Frame positions, delays and later frames are not this decoder's
// business.

#include "platform/gdi/types.h"
#include "platform/util/disk_headers.h"
#include "platform/util/result.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace platform {

enum class GifError {
    NotGif,        // no "GIF87a"/"GIF89a" signature
    Truncated,     // a block runs past the end of the data
    NoImage,       // the trailer, or the end, before any image
    BadBlock,      // a byte that starts no block
    BadExtension,  // a graphic control extension shorter than its fields
    BadDimensions, // an image of width or height 0
    BadCodeSize,   // an LZW minimum code size outside 1..8
    TooLarge,      // over the decode pixel limit
    OutOfMemory,
    NoColourTable, // an image with neither a local nor a global colour table
    NotDrawn,      // the picture services could not decode or draw the image
};

std::string_view ErrorText(GifError error);

// A GIF's block structure up to its first image. Every GIF reader here
// walks the file through this one function: signature, logical screen and
// global table, then extensions (stray zero bytes between blocks are
// skipped) up to the first image descriptor. Each block is checked against
// the data before a byte of it is read.
struct GifLayout {
    velmora::disk::GifHeader header;
    std::size_t globalTableAt = 0; // 0: no global table
    std::size_t globalEntries = 0;
    std::size_t headerEnd = 0; // after the logical screen and global table
    // The last graphic control extension before the image, in its standard
    // 8-byte form whatever the length of the stored block.
    std::optional<velmora::disk::GifGraphicControl> control;
    std::size_t imageAt = 0; // the image descriptor
    velmora::disk::GifImageDescriptor descriptor;

    std::int32_t transparentIndex() const {
        return control && (control->packed & 1) ? control->transparentIndex : -1;
    }
};
velmora::Result<GifLayout, GifError> WalkGif(std::span<const std::uint8_t> data);

// The colour table the first image uses (its local one, else the global
// one; entries 0 when there is none) and where its data starts: the LZW
// code size byte, known to lie inside the data.
struct GifTableInUse {
    std::size_t tableAt = 0;
    std::size_t entries = 0;
    bool local = false;
    std::size_t dataAt = 0;
};
velmora::Result<GifTableInUse, GifError> FindGifTable(const GifLayout& layout,
                                                      std::span<const std::uint8_t> data);

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

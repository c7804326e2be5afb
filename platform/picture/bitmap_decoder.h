#pragma once
// Expansion of Windows bitmaps (every header form, depth and compression a
// bitmap file or an icon entry may use) into opaque 32-bit rows: blue,
// green, red, alpha 255, bottom row first, Width x 4 bytes a row. This is
// what the readers expect the system's bitmap services to do for the
// variants they do not decode themselves.
//
// Decoding is two steps so a caller can allocate after seeing the size:
// ParseDib reads the header and palette, DecodeDib writes the rows.

#include "platform/gdi/types.h"
#include "platform/util/result.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace platform {

enum class BitmapError {
    NotBitmap,     // no "BM" signature
    Truncated,     // the header or palette runs past the data
    BadHeaderSize, // an info header size no bitmap uses
    BadDimensions, // width below 1, height 0, or a size that overflows
    BadPlanes,     // planes other than 1
    BadBitCount,   // a depth the compression cannot carry
    Unsupported,   // JPEG or PNG payloads, OS/2 Huffman or RLE24
    TooLarge,      // over the pixel limit (DecodePixelLimit)
    NoPixels,      // the bits offset lies past the end of the data
    OutOfMemory,
};

const char* BitmapErrorText(BitmapError error);

// What ParseDib learnt. Height is positive; topDown tells the row order.
struct DibLayout {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool topDown = false;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = BI_RGB;
    std::uint32_t headerSize = 0;
    // Bit-field masks (red, green, blue) for 16 and 32 bits.
    std::array<std::uint32_t, 3> masks{};
    // Always 2^bitCount entries for indexed depths: a short palette is
    // padded with black, so an index past the file's palette reads black.
    std::vector<RGBQUAD> palette;
    // Bytes the header, masks and palette took from the start of the view.
    std::size_t tableEnd = 0;

    std::size_t pixelCount() const {
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    }
};

// Reads an info header (core, OS/2 2.x, V3, V4 or V5) with the masks and
// palette that follow it. `dib` starts at the header; the palette is not
// read past `tableLimit` bytes from there (where a file's bits begin).
velmora::Result<DibLayout, BitmapError>
ParseDib(std::span<const std::uint8_t> dib, std::size_t tableLimit = static_cast<std::size_t>(-1));

// Writes the picture into `dest`, layout.width x layout.height pixels,
// bottom row first. Bits missing from a short file leave their pixels
// black; runs and deltas that leave the picture are clipped.
velmora::Status<BitmapError> DecodeDib(const DibLayout& layout, std::span<const std::uint8_t> bits,
                                       std::span<std::uint8_t> dest);

// A bitmap file: the layout and where its bits lie in `file`.
struct BitmapFile {
    DibLayout layout;
    std::span<const std::uint8_t> bits;
};
velmora::Result<BitmapFile, BitmapError> ParseBitmapFile(std::span<const std::uint8_t> file);

// The largest picture, in pixels, the bitmap and GIF decoders agree to
// allocate (the environment's decodePixelLimit).
std::size_t DecodePixelLimit();

} // namespace platform

#pragma once
// The pixel half of the PNG reader: inflating the image data, reversing the
// row filters, walking the interlace passes and turning every colour type
// and depth into the surface's premultiplied BGRA. The chunk half
// (cpngparser.cpp) gathers what it needs into a PngImage.

#include "platform/util/result.h"
#include "platform/zlib/zlib_binding.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace surface {
class DibSurface;
} // namespace surface

namespace codecs {

// Why a PNG load that carried the signature produced no image.
enum class PngError {
    None,
    TruncatedChunk,       // the data ends inside a chunk or before IEND
    BadChunkLength,       // a length with its top bit set
    LengthsOverflow,      // chunk lengths whose running sum overflows 32-bit signed
    EndsWithoutIend,      // data in memory that ends right after a chunk, before IEND
    CrcMismatch,          // IHDR, PLTE or IDAT fails its CRC (checked only with zlib)
    BadHeader,            // an IHDR field out of its allowed values, or a short IHDR
    ImageTooLarge,        // width x 32 x height does not fit 32-bit signed arithmetic
    BadPalette,           // a PLTE length not divisible by 3
    NoHeader,             // image data without any IHDR
    NoImageData,          // no IDAT data at all
    InflateFailed,        // neither zlib nor our inflater could decode the data
    UnsupportedPairing,   // a depth the colour type does not allow (e.g. RGB at 4 bits)
    BadFilter,            // an unknown filter type in an interlaced image
    PaletteIndexTooLarge, // a sample names a palette entry that does not exist
    SurfaceFailed,        // the surface could not be created
    ReadFailed,           // the file could not be read
};

std::string_view ErrorText(PngError error);

// The failures that leave the reader instead of being its answer: the
// reader then answers "not recognised" and the loading reports the failure
// to the user before it offers the data to the other readers.
constexpr bool LeavesReader(PngError error) {
    return error == PngError::LengthsOverflow || error == PngError::EndsWithoutIend;
}

namespace png {

enum ColourType : std::uint8_t {
    kGrey = 0,
    kRgb = 2,
    kPalette = 3,
    kGreyAlpha = 4,
    kRgba = 6,
};

struct Header {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint8_t bitDepth = 0;
    std::uint8_t colourType = 0;
    std::uint8_t interlace = 0;
};

// The bytes the inflated image data takes: the rows of every interlace pass
// with their filter bytes. An upper bound only: a pass of zero width still
// counts a byte per row. Empty when it does not fit 32-bit signed.
std::optional<std::uint32_t> ExpectedInflatedSize(const Header& header);

struct PngImage {
    Header header;
    bool hasHeader = false;
    std::vector<std::uint8_t> imageData;              // every IDAT's data, in order
    std::uint32_t expectedSize = 0;                   // from the latest IHDR
    std::optional<std::vector<std::uint8_t>> palette; // RGB triples as stored
    std::vector<std::uint8_t> transparency;           // tRNS data (palette: padded to 256)
    std::int32_t transparentKey = -1;                 // -1: no transparency information
};

// Inflates with zlib when bound (our inflater when zlib is absent or
// refuses the data), then fills the surface. Releases image.imageData once
// it has been inflated. On failure the surface holds no image.
velmora::Status<PngError> DecodePixels(PngImage& image, const platform::ZlibBinding& zlib,
                                       surface::DibSurface& host);

// Decodes a plain (not interlaced) image while its compressed data arrives,
// row by row straight into the surface, holding two rows and an inflater's
// window instead of the whole compressed and inflated image. The data goes
// through zlib's streaming inflate (feed), or, where the stream has no zlib,
// the caller inflates it and hands the inflated bytes on (take). Its only
// answers are "done" and "give up": at anything out of the ordinary
// (damaged data, a stream the inflater refuses, more data than the rows
// take) the caller decodes the whole data again with DecodePixels, so every
// image comes out exactly as DecodePixels makes it.
class RowStream {
public:
    // A null zlib: the caller inflates.
    RowStream(PngImage& image, const platform::ZlibBinding* zlib, surface::DibSurface& host);
    ~RowStream();
    RowStream(const RowStream&) = delete;
    RowStream& operator=(const RowStream&) = delete;

    // Makes the surface from the header, palette and transparency read so
    // far; false when the image is not one to stream.
    bool start();
    // More of the compressed data, inflated with zlib; false to give up.
    bool feed(std::span<const std::uint8_t> data);
    // More of the inflated data, when the caller inflates; false to give up.
    bool take(std::span<const std::uint8_t> inflated);
    // The data has ended; rows it did not reach read as zero. False to give
    // up. When the caller inflates, it calls this only once its inflater
    // has read the stream to its end.
    bool finish();

private:
    struct State;
    bool finishRow();

    PngImage& image_;
    const platform::ZlibBinding* zlib_;
    surface::DibSurface& host_;
    std::unique_ptr<State> state_;
};

} // namespace png
} // namespace codecs

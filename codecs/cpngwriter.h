#pragma once
// cPNGwriter: turns a premultiplied 32-bpp surface into the bytes of a PNG
// file without any imaging service. The one-byte forms (palette, grey) are
// tried first, then RGB with a key colour, then RGBA. Every save binds zlib
// afresh; without zlib there is no PNG.
//
// One writer object serves one save; its state is reset by every SavePNG.

#include "platform/util/result.h"
#include "platform/zlib/zlib_binding.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace surface {
class DibSurface;
} // namespace surface

// Why a save failed, so that a test can tell the causes apart.
enum class PngWriteError {
    None,
    NoImage,
    NoZlib,
    TooLarge,         // a size the PNG or zlib cannot carry
    NotPremultiplied, // a colour byte above its alpha: no straight colour exists
    DeflateFailed,
    OutOfMemory,
};

class cPNGwriter {
public:
    // The complete PNG in outStream (indexed from 0) and true, or false with
    // outStream erased.
    bool SavePNG(const surface::DibSurface& cHost, std::vector<std::uint8_t>& outStream);

    PngWriteError lastError() const { return error_; }

private:
    using Status = velmora::Status<PngWriteError>;
    template <typename T>
    using Result = velmora::Result<T, PngWriteError>;

    Status save(const surface::DibSurface& cHost, std::vector<std::uint8_t>& out);
    Status BindZlib();
    // true when the image fits a palette (types 3 and 0), false to decline.
    Result<bool> BuildPalette(const surface::DibSurface& cHost, bool alphaFlag);
    void BuildTrueColor(const surface::DibSurface& cHost, bool alphaFlag);
    void writeHeader(const surface::DibSurface& cHost, std::vector<std::uint8_t>& out) const;
    void writePalette(std::vector<std::uint8_t>& out) const;
    void writeTransparency(std::vector<std::uint8_t>& out) const;
    Status EncodeImageData(std::vector<std::uint8_t>& out, const surface::DibSurface& cHost);
    void writeEnd(std::vector<std::uint8_t>& out) const;

    Status filterTrueColorRows(const surface::DibSurface& cHost);
    void appendChunk(std::vector<std::uint8_t>& out, const char type[4], const std::uint8_t* data,
                     std::size_t size) const;
    std::uint32_t ChunkCRC(const std::uint8_t* typeAndData, std::size_t size) const;

    platform::ZlibBinding zlib_;
    PngWriteError error_ = PngWriteError::None;
    int colourType_ = 0;
    std::int32_t transparencyValue_ = -1;
    std::vector<std::uint8_t> palette_;    // red, green, blue per position
    std::vector<std::uint8_t> alphaTable_; // one alpha per leading translucent position
    // The filtered rows, top row first, each a filter-type byte and its samples.
    std::unique_ptr<std::uint8_t[]> filtered_;
    std::size_t filteredSize_ = 0;
};

#pragma once
// modParsers: what the readers, the surface and the imaging bridge share.
// Alpha classification and premultiplication, row sizes, byte order,
// regions from alpha, grey weights, picture objects, library probing and
// file helpers.

#include "platform/gdi/types.h"
#include "platform/picture/picture.h"
#include "platform/system/file.h"
#include "platform/util/gray_weights.h"
#include "surface/image_types.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace surface {
class DibSurface;
} // namespace surface

namespace modParsers {

// Bytes of a row padded to a multiple of four bytes.
constexpr std::int32_t AlignedRowBytes(std::uint8_t bitsPerPixel, std::int32_t width) {
    return static_cast<std::int32_t>(
        ((static_cast<std::int64_t>(bitsPerPixel) * width + 31) & ~std::int64_t{31}) / 8);
}

constexpr std::uint32_t SwapLong(std::uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

// Decides what the fourth byte of a block of width x height BGRA pixels
// means: nothing (itBitmap; with apply every alpha becomes 255), alpha with
// premultiplied colour (itBitmapPremultiplied, untouched), or straight alpha
// (itBitmapAlpha; with apply the colour is premultiplied). An imageType of
// itNoImage on entry skips the scan and gives the "nothing" answer.
void ClassifyAlpha(std::span<std::uint8_t> pixels, std::int32_t width, std::int32_t height,
                   bool apply, bool& hasAlpha, std::int32_t& imageType);

// A region of the surface's solid (alpha not 0) pixels: style 0 their
// bounding box, style 1 one rectangle per row from first to last solid
// pixel, style 2 one rectangle per run. The whole image when the surface has
// no alpha. 0 when there is nothing to make.
platform::HRGN RegionFromAlpha(const surface::DibSurface& surface, std::int32_t style);

using GrayWeight = velmora::GrayWeight;
GrayWeight GrayWeights(std::int32_t formula);

// A picture object read from a byte range; null when it cannot be read.
std::unique_ptr<platform::Picture> PictureFromBytes(std::span<const std::uint8_t> bytes);
// Wraps a handle in a picture object, which owns it from then on.
std::unique_ptr<platform::Picture> PictureFromHandle(platform::HGDIOBJ handle, std::int32_t type);

// Whether the library loads and exports the function.
bool IsFunctionExported(const std::string& library, const std::string& function);

// Locates zlib: the first library that loads and exports "crc32".
bool FindZlib(std::string& libraryName, std::int32_t& libraryId, bool& isCdecl, bool& hasCompress2,
              bool skipConvention);

// Opens for reading (existing files, shared read) or for writing (created or
// truncated, keeping an existing file's attributes). An invalid File on
// failure. The wide-character choice is kept for callers; both paths agree.
platform::File OpenFileHandle(const std::string& fileName, bool forRead, bool forceWide = false);
// Resets the file's attributes to normal and deletes it.
bool DeleteFileForce(const std::string& fileName, bool forceWide = false);

template <typename Container>
bool IsArrayAllocated(const Container& array) {
    return !array.empty();
}

} // namespace modParsers

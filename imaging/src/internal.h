#pragma once
// What the parts of the library on libjpeg-turbo, libpng, libtiff, libwebp
// and pixman share beyond what every implementation does.

#include "imaging/common/common.h"

#include <cstdio>
#include <span>

namespace vimg {

// Set only by the test-only build of the library.
void breakStartup(bool broken);

// --- decoders -------------------------------------------------------------------
Status decodeJpeg(std::span<const std::uint8_t> data, const Allocator& allocator);
Status decodePng(std::span<const std::uint8_t> data, const Allocator& allocator);
// The same from an open file of `size` bytes, read from its start.
Status decodePngFile(std::FILE* file, std::uint64_t size, const Allocator& allocator);
Status decodeTiff(std::span<const std::uint8_t> data, const Allocator& allocator);
Status decodeWebp(std::span<const std::uint8_t> data, const Allocator& allocator);

// The same on the reader's library loaded afresh from `soname` rather than
// its runtime name, refused as when that library is missing (tests only).
Status decodeJpegOn(const char* soname, std::span<const std::uint8_t> data,
                    const Allocator& allocator);
Status decodeTiffOn(const char* soname, std::span<const std::uint8_t> data,
                    const Allocator& allocator);
Status decodeWebpOn(const char* soname, std::span<const std::uint8_t> data,
                    const Allocator& allocator);

// Startup check of libpng, linked as pixman is; the other readers' libraries
// are loaded by the first file of their format.
bool pngUsable();

Status encodePng(const Pixels& pixels, velmora_imaging_sink sink, void* context);

} // namespace vimg

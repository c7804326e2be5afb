#pragma once
// cPNGparser: reads PNG data into a surface. The imaging service gets the
// data first; when it declines, our own decoder reads the chunks IHDR, PLTE,
// tRNS, IDAT and IEND (every other chunk is skipped unread) and decodes the
// pixels, inflating with zlib when it is present and by itself otherwise.
//
// A reader serves one load. Its answer says whether the data carries the
// PNG signature, not whether an image came out: after a failed decode the
// answer is still true and the surface holds no image.

#include "codecs/png_pixels.h"
#include "platform/system/file.h"

#include <cstdint>
#include <span>
#include <string>

namespace surface {
class DibSurface;
} // namespace surface

class cPNGparser {
public:
    // Reads bytes [streamOffset, streamOffset + streamLength) of Stream in
    // place; nothing outside Stream is ever read, whatever the range says.
    // May throw std::bad_alloc when memory runs out; malformed data never
    // throws.
    bool LoadStream(std::span<const std::uint8_t> Stream, surface::DibSurface& cHost,
                    std::int32_t streamOffset, std::int32_t streamLength, std::int32_t gdiToken);

    // Reads the open file chunk by chunk; the name goes to the imaging
    // service. May throw std::bad_alloc like LoadStream.
    bool LoadFile(platform::File& fileHandle, const std::string& FileName,
                  surface::DibSurface& cHost, std::int32_t gdiToken);

    // Why the latest load that carried the signature produced no image
    // (None when it produced one, or when the imaging service decoded it).
    codecs::PngError lastError() const { return error_; }

private:
    codecs::PngError error_ = codecs::PngError::None;
};

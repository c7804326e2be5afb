#pragma once
// cBMPparser: Windows bitmap files ("BM"). An uncompressed 32-bit bitmap is
// read here with its fourth byte as alpha; every other variant goes through
// the picture services and lands in the surface opaque.

#include "platform/gdi/types.h"
#include "platform/picture/picture.h"

#include <cstdint>
#include <span>

namespace surface {
class DibSurface;
} // namespace surface

class cBMPparser {
public:
    // True when an image was produced from [streamOffset, streamOffset +
    // streamLength) of inStream (a length of 0 reads to the end).
    bool LoadStream(std::span<const std::uint8_t> inStream, surface::DibSurface& cHost,
                    std::int32_t streamOffset, std::int32_t streamLength);

    // Turns a picture object (when given) or else a bitmap handle into the
    // surface. bitCount is unused; it is kept for the callers' argument list.
    bool ConvertstdPicTo32bpp(const platform::Picture* aPicture, platform::HBITMAP aHandle,
                              surface::DibSurface& cHost, std::int32_t bitCount);
};

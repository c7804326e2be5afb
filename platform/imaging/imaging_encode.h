#pragma once
// What the PNG encoding of the imaging service needs to know about a
// surface, as plain data: this layer sits below the surface and never sees
// its type. The calling side lays the view over its own pixel memory.

#include <cstddef>
#include <cstdint>

namespace platform {

// Premultiplied BGRA pixels, rows `stride` bytes apart, bottom image row
// first (the layout of a bottom-up 32-bpp DIB section).
struct ImagingPixels {
    const std::uint8_t* bits = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t stride = 0;
    bool hasAlpha = false; // false: the fourth byte carries nothing, every pixel is opaque

    bool empty() const { return bits == nullptr || width <= 0 || height <= 0; }
};

// The encoder entry the imaging library exports, with C linkage. It writes
// the PNG to the file when fileName is non-empty, otherwise hands the bytes
// to sink in order (the sink answers 0 to go on). Answers 0 on success.
extern "C" {
using VelmoraImagingSink = int (*)(void* context, const std::uint8_t* bytes, std::size_t size);
using VelmoraImagingEncodePng = int (*)(const std::uint8_t* bits, std::int32_t width,
                                        std::int32_t height, std::size_t stride,
                                        std::int32_t hasAlpha, const char* fileName,
                                        VelmoraImagingSink sink, void* context);
}
inline constexpr const char* kImagingEncodePngEntry = "velmora_imaging_encode_png";

} // namespace platform

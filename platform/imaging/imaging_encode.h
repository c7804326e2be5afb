#pragma once
// The PNG encoding entry of the imaging service. This layer sits below the
// surface and never sees its type: callers hand it a view of their pixels.

#include <cstddef>
#include <cstdint>

namespace platform {

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

#pragma once
// The imaging service's decoder as the readers and the loading dispatch
// use it: the service fills the surface, and the image is then classified
// the way every decode through the service is (alpha judged from the
// pixels, ImageType itPNG whatever the source format).

#include <cstdint>
#include <span>
#include <string>

namespace surface {
class DibSurface;
} // namespace surface

namespace codecs {

// Decodes the named file (when fileName is not empty) or the bytes. False,
// with the surface empty, when the service is absent or declines the data.
bool LoadWithImagingService(const std::string& fileName, std::span<const std::uint8_t> bytes,
                            surface::DibSurface& host, std::int32_t gdiToken);

} // namespace codecs

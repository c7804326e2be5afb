#pragma once
// cGIFparser: the first image of a GIF file, with its transparency. The
// file's blocks are walked and a minimal single-image GIF rebuilt from the
// header, colour table, graphic control extension and first image; the
// picture services decode that, and a transparent image is then mapped
// through the file's own colour table here so its transparent index comes
// out as alpha 0 exactly.

#include "platform/picture/picture.h"

#include <cstdint>
#include <span>
#include <vector>

namespace surface {
class DibSurface;
} // namespace surface

class cGIFparser {
public:
    // True when [streamOffset, streamOffset + streamLength) of inStream is
    // a GIF this reader handles (a length of 0 reads to the end). True with
    // an empty surface when the image could not be converted.
    bool LoadStream(std::span<const std::uint8_t> inStream, surface::DibSurface& cHost,
                    std::int32_t streamOffset, std::int32_t streamLength);

private:
    bool walk(std::span<const std::uint8_t> source);
    bool convert(const platform::Picture& picture, const platform::BITMAP& info,
                 std::span<const std::uint8_t> source, surface::DibSurface& host) const;

    std::vector<std::uint8_t> rebuilt_;
    std::int32_t transparentIndex_ = -1;
    std::size_t tableAt_ = 0;      // colour table in use, within the source
    std::size_t tableEntries_ = 0; // 0: no table at all
};

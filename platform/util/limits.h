#pragma once
// How much a decoder may allocate for one picture, checked after its header
// is read and before any buffer is made, so hostile sizes fail cleanly.

#include <cstddef>
#include <cstdint>
#include <limits>

namespace velmora {

struct Limits {
    // Pixels of one picture: what a 32-bit surface (4 bytes a pixel,
    // sizes in signed 32-bit arithmetic) can hold.
    std::size_t maxPixels = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) / 4;
    // Bytes one compressed stream may inflate to.
    std::size_t maxDecompressedBytes =
        static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
};

// The limits in force for this process (from the process environment).
// The one place decoders read them.
Limits CurrentLimits();

} // namespace velmora

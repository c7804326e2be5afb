#include "platform/util/limits.h"

#include "platform/picture/bitmap_decoder.h"

namespace velmora {

Limits CurrentLimits() {
    Limits limits;
    limits.maxPixels = platform::DecodePixelLimit();
    return limits;
}

} // namespace velmora

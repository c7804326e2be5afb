#include "platform/util/limits.h"

#include "platform/system/environment.h"

namespace velmora {

Limits CurrentLimits() {
    Limits limits;
    limits.maxPixels = platform::CurrentEnvironment().decodePixelLimit;
    return limits;
}

} // namespace velmora

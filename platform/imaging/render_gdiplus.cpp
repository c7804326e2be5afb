#include "platform/imaging/render_gdiplus.h"

#include "platform/imaging/cgdiplus.h"

namespace platform {

bool RenderWithGDIplus(velmora::ConstBgraPremulBottomUpView host, HDC target, float /*Angle*/,
                       std::int32_t Opacity, std::int32_t /*destX*/, std::int32_t /*destY*/,
                       std::int32_t /*destWidth*/, std::int32_t /*destHeight*/,
                       std::int32_t /*SrcX*/, std::int32_t /*SrcY*/, std::int32_t /*srcWidth*/,
                       std::int32_t /*srcHeight*/, bool /*highQuality*/, std::int32_t /*grayScale*/,
                       std::int32_t /*token*/, float /*LightAdjustment*/) {
    // Nothing to draw is a success even where the service is missing.
    if (Opacity == 0) return true;
    if (host.empty() || target == 0) return false;
    // The service library does not offer a drawing entry yet; until it
    // does, every caller takes its own drawing path, as on a system
    // without the service.
    if (!cGDIPlus().isGDIplusOk()) return false;
    return false;
}

} // namespace platform

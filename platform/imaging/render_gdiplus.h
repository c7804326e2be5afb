#pragma once
// The imaging service's drawing entry (RenderWithGDIplus of cGDIPlus): a
// region of a surface drawn onto a DC with nearest or high-quality
// resampling, rotation, opacity, greyscale and light change. It lives apart
// from the decoding and encoding entries of cgdiplus.h. The platform layer
// does not know the surface class, so the surface is described by a view
// of its pixel memory.

#include "platform/gdi/types.h"
#include "platform/util/pixel_view.h"

#include <cstdint>

namespace platform {

bool RenderWithGDIplus(velmora::ConstBgraPremulBottomUpView host, HDC target, float Angle,
                       std::int32_t Opacity, std::int32_t destX, std::int32_t destY,
                       std::int32_t destWidth, std::int32_t destHeight, std::int32_t SrcX,
                       std::int32_t SrcY, std::int32_t srcWidth, std::int32_t srcHeight,
                       bool highQuality, std::int32_t grayScale, std::int32_t token,
                       float LightAdjustment);

} // namespace platform

// The draw entry: the buffers and parameters are checked here, once, for
// every implementation's drawing engine.

#include "imaging/common/common.h"

#include <cmath>
#include <new>

namespace vimg {
namespace {

bool finite(const velmora_imaging_draw_params& p) {
    const float values[] = {p.src_x,    p.src_y,      p.src_width,   p.src_height, p.dest_x,
                            p.dest_y,   p.dest_width, p.dest_height, p.world[0],   p.world[1],
                            p.world[2], p.world[3],   p.world[4],    p.world[5]};
    for (float v : values)
        if (!std::isfinite(v) || std::abs(v) > 1e7f) return false;
    if (p.color_matrix != nullptr)
        for (int i = 0; i < 25; ++i)
            if (!std::isfinite(p.color_matrix[i])) return false;
    return true;
}

Status draw(const Pixels& source, const Pixels& target, const velmora_imaging_draw_params& p) {
    if (p.src_width <= 0 || p.src_height <= 0 || !finite(p)) return VELMORA_IMAGING_BAD_ARGUMENT;
    if (p.interpolation < VELMORA_IMAGING_NEAREST || p.interpolation > VELMORA_IMAGING_BICUBIC)
        return VELMORA_IMAGING_BAD_ARGUMENT;
    if (p.dest_width == 0 || p.dest_height == 0) return VELMORA_IMAGING_OK;
    return drawChecked(source, target, p);
}

} // namespace
} // namespace vimg

using namespace vimg;

extern "C" {

int32_t velmora_imaging_draw(const velmora_imaging_pixels* source,
                             const velmora_imaging_pixels* target,
                             const velmora_imaging_draw_params* params) {
    Pixels src, dst;
    if (params == nullptr || !validPixels(source, src) || !validPixels(target, dst))
        return VELMORA_IMAGING_BAD_ARGUMENT;
    if (!sessionLive()) return VELMORA_IMAGING_NO_SESSION;
    try {
        return draw(src, dst, *params);
    } catch (const std::bad_alloc&) {
        return VELMORA_IMAGING_NO_MEMORY;
    }
}

} // extern "C"

// Drawing through a GDI+ graphics over the target's own pixels: the
// region of a bitmap over the source's pixels lands on the parallelogram
// its destination rectangle makes, through the world transform, with the
// colour matrix of an ImageAttributes and the chosen interpolation,
// composited source-over. Pixel centres lie at half pixels, so whole-pixel
// mirrors and turns map centres onto centres.

#include "imaging/gdiplus/internal.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace vimg {
namespace {

// Source pixels a target pixel may read along an axis; beyond it a draw
// is refused rather than left to run for long.
constexpr double kMostSourcePixelsPerTargetPixel = 3000;

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

gp::InterpolationMode modeOf(std::int32_t interpolation) {
    switch (interpolation) {
    case VELMORA_IMAGING_NEAREST:
        return gp::InterpolationModeNearestNeighbor;
    case VELMORA_IMAGING_BILINEAR:
        return gp::InterpolationModeHighQualityBilinear;
    default:
        return gp::InterpolationModeHighQualityBicubic;
    }
}

Status draw(const Pixels& source, const Pixels& target, const velmora_imaging_draw_params& p) {
    if (p.src_width <= 0 || p.src_height <= 0 || !finite(p)) return VELMORA_IMAGING_BAD_ARGUMENT;
    if (p.interpolation < VELMORA_IMAGING_NEAREST || p.interpolation > VELMORA_IMAGING_BICUBIC)
        return VELMORA_IMAGING_BAD_ARGUMENT;
    if (p.dest_width == 0 || p.dest_height == 0) return VELMORA_IMAGING_OK;

    // Source image to target: scale onto the destination, then the world.
    const double sx = p.dest_width / double{p.src_width};
    const double sy = p.dest_height / double{p.src_height};
    const double a = p.world[0] * sx, b = p.world[1] * sx;
    const double c = p.world[2] * sy, d = p.world[3] * sy;
    const double det = a * d - b * c;
    if (!std::isfinite(det) || std::abs(det) < 1e-12) return VELMORA_IMAGING_OK; // nothing drawn
    // A step along a target axis moves the source point by a column of the
    // inverse.
    if (std::hypot(d / det, b / det) > kMostSourcePixelsPerTargetPixel ||
        std::hypot(c / det, a / det) > kMostSourcePixelsPerTargetPixel)
        return VELMORA_IMAGING_TOO_LARGE;

    const Bitmap from = wrapPixels(source);
    const Bitmap onto = wrapPixels(target);
    if (!from || !onto) return VELMORA_IMAGING_NO_MEMORY;
    gp::GpGraphics* madeGraphics = nullptr;
    if (gp::DllExports::GdipGetImageGraphicsContext(onto.get(), &madeGraphics) != gp::Ok)
        return VELMORA_IMAGING_NO_MEMORY;
    const Graphics graphics(madeGraphics);
    gp::GpMatrix* madeMatrix = nullptr;
    if (gp::DllExports::GdipCreateMatrix2(p.world[0], p.world[1], p.world[2], p.world[3],
                                          p.world[4], p.world[5], &madeMatrix) != gp::Ok)
        return VELMORA_IMAGING_NO_MEMORY;
    const Matrix world(madeMatrix);
    gp::GpImageAttributes* madeAttributes = nullptr;
    if (gp::DllExports::GdipCreateImageAttributes(&madeAttributes) != gp::Ok)
        return VELMORA_IMAGING_NO_MEMORY;
    const Attributes attributes(madeAttributes);

    gp::GpGraphics* g = graphics.get();
    bool ready =
        gp::DllExports::GdipSetCompositingMode(g, gp::CompositingModeSourceOver) == gp::Ok &&
        gp::DllExports::GdipSetInterpolationMode(g, modeOf(p.interpolation)) == gp::Ok &&
        gp::DllExports::GdipSetPixelOffsetMode(g, gp::PixelOffsetModeHalf) == gp::Ok &&
        gp::DllExports::GdipSetWorldTransform(g, world.get()) == gp::Ok;
    // Inside the source, the region's edge pixels are repeated outwards so
    // the filter does not fade them; outside it all is transparent.
    const bool inside = p.src_x >= 0 && p.src_y >= 0 &&
                        double{p.src_x} + p.src_width <= source.width &&
                        double{p.src_y} + p.src_height <= source.height;
    ready = ready && gp::DllExports::GdipSetImageAttributesWrapMode(
                         attributes.get(), inside ? gp::WrapModeTileFlipXY : gp::WrapModeClamp,
                         0x00000000, FALSE) == gp::Ok;
    if (p.color_matrix != nullptr) {
        gp::ColorMatrix m{};
        for (int i = 0; i < 25; ++i)
            m.m[i / 5][i % 5] = p.color_matrix[i];
        ready = ready && gp::DllExports::GdipSetImageAttributesColorMatrix(
                             attributes.get(), gp::ColorAdjustTypeDefault, TRUE, &m, nullptr,
                             gp::ColorMatrixFlagsDefault) == gp::Ok;
    }
    if (!ready) return VELMORA_IMAGING_NO_MEMORY;

    // The region's top-left, top-right and bottom-left corners: a negative
    // width or height mirrors by itself.
    const gp::PointF corners[3] = {{p.dest_x, p.dest_y},
                                   {p.dest_x + p.dest_width, p.dest_y},
                                   {p.dest_x, p.dest_y + p.dest_height}};
    const gp::GpStatus drawn = gp::DllExports::GdipDrawImagePointsRect(
        g, from.get(), corners, 3, p.src_x, p.src_y, p.src_width, p.src_height, gp::UnitPixel,
        attributes.get(), nullptr, nullptr);
    if (drawn == gp::OutOfMemory) return VELMORA_IMAGING_NO_MEMORY;
    return drawn == gp::Ok ? VELMORA_IMAGING_OK : VELMORA_IMAGING_BAD_ARGUMENT;
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

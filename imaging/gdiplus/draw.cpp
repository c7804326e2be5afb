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

// The eight whole-pixel turns and mirrors GDI+ applies to a bitmap in
// place, each as the map of a point (u, v) of a w x h bitmap to the turned
// one: (q0 u + q1 v, q2 u + q3 v), moved back into the picture.
struct Turn {
    gp::RotateFlipType type;
    int q0, q1, q2, q3;
};
constexpr Turn kTurns[] = {
    {gp::Rotate90FlipNone, 0, -1, 1, 0},  {gp::Rotate180FlipNone, -1, 0, 0, -1},
    {gp::Rotate270FlipNone, 0, 1, -1, 0}, {gp::RotateNoneFlipX, -1, 0, 0, 1},
    {gp::Rotate90FlipX, 0, 1, 1, 0},      {gp::RotateNoneFlipY, 1, 0, 0, -1},
    {gp::Rotate270FlipX, 0, -1, -1, 0},
};

// The turn that leaves a draw of linear part (a c; b d) (column vectors)
// an unmirrored, unturned scale, if the draw turns or mirrors by quarters.
const Turn* undoingTurn(double a, double b, double c, double d) {
    const auto zero = [](double v) { return std::abs(v) < 1e-6; };
    if (!(zero(b) && zero(c)) && !(zero(a) && zero(d))) return nullptr;
    if (!zero(b) || !zero(c) || a < 0 || d < 0)
        for (const Turn& t : kTurns) {
            // (a c; b d) times the turn's inverse, its transpose.
            const double m00 = a * t.q0 + c * t.q1, m01 = a * t.q2 + c * t.q3;
            const double m10 = b * t.q0 + d * t.q1, m11 = b * t.q2 + d * t.q3;
            if (zero(m01) && zero(m10) && m00 > 0 && m11 > 0) return &t;
        }
    return nullptr;
}

// Where a draw reads from: a bitmap and the region in its coordinates,
// and the map from those coordinates to the destination, before the world
// transform, as the corners the region's top-left, top-right and
// bottom-left go to.
struct Reading {
    Bitmap bitmap;
    gp::RectF region;
    gp::PointF corners[3];
    // True when the corners are already in target pixels: the world
    // transform is folded into them.
    bool folded = false;
};

// Wine's GDI+ samples a mirrored or turned draw a pixel off, whatever the
// pixel offset mode; Windows does not. A draw that mirrors or turns by
// quarters therefore reads from a copy of the source the system has
// turned or mirrored itself, drawn unmirrored, which is exact on both.
Status prepare(const Pixels& source, const velmora_imaging_draw_params& p, double a, double b,
               double c, double d, Reading& out) {
    const auto at = [&](double u, double v) {
        return gp::PointF(
            static_cast<float>(p.dest_x + (u - p.src_x) * p.dest_width / p.src_width),
            static_cast<float>(p.dest_y + (v - p.src_y) * p.dest_height / p.src_height));
    };
    out.region = gp::RectF(p.src_x, p.src_y, p.src_width, p.src_height);
    const double right = double{p.src_x} + p.src_width, bottom = double{p.src_y} + p.src_height;
    out.corners[0] = at(p.src_x, p.src_y);
    out.corners[1] = at(right, p.src_y);
    out.corners[2] = at(p.src_x, bottom);
    const Turn* turn = undoingTurn(a, b, c, d);
    if (turn == nullptr) {
        out.bitmap = wrapPixels(source);
        return out.bitmap ? VELMORA_IMAGING_OK : VELMORA_IMAGING_NO_MEMORY;
    }
    // The whole source pixels the region touches, copied and turned.
    const auto x0 =
        static_cast<std::int32_t>(std::clamp<double>(std::floor(p.src_x), 0, source.width - 1));
    const auto y0 =
        static_cast<std::int32_t>(std::clamp<double>(std::floor(p.src_y), 0, source.height - 1));
    const auto x1 =
        static_cast<std::int32_t>(std::clamp<double>(std::ceil(right), x0 + 1, source.width));
    const auto y1 =
        static_cast<std::int32_t>(std::clamp<double>(std::ceil(bottom), y0 + 1, source.height));
    const Bitmap whole = wrapPixels(source);
    gp::GpBitmap* copy = nullptr;
    if (!whole ||
        gp::DllExports::GdipCloneBitmapAreaI(x0, y0, x1 - x0, y1 - y0, PixelFormat32bppPARGB,
                                             whole.get(), &copy) != gp::Ok)
        return VELMORA_IMAGING_NO_MEMORY;
    out.bitmap.reset(copy);
    if (gp::DllExports::GdipImageRotateFlip(copy, turn->type) != gp::Ok)
        return VELMORA_IMAGING_NO_MEMORY;
    // Source point to the turned copy and back.
    const double w = x1 - x0, h = y1 - y0;
    const double ox = (turn->q0 < 0 ? w : 0) + (turn->q1 < 0 ? h : 0);
    const double oy = (turn->q2 < 0 ? w : 0) + (turn->q3 < 0 ? h : 0);
    const auto turned = [&](double u, double v, double& tu, double& tv) {
        tu = turn->q0 * (u - x0) + turn->q1 * (v - y0) + ox;
        tv = turn->q2 * (u - x0) + turn->q3 * (v - y0) + oy;
    };
    // Back to the source, to the destination and through the world, in
    // double precision: a turn given in single precision lands a hair off
    // whole pixels, which is snapped away so the draw stays a copy.
    const auto back = [&](double tu, double tv) {
        // The inverse of a signed permutation is its transpose.
        const double du = tu - ox, dv = tv - oy;
        const double u = turn->q0 * du + turn->q2 * dv + x0, v = turn->q1 * du + turn->q3 * dv + y0;
        const double x = p.dest_x + (u - p.src_x) * p.dest_width / p.src_width;
        const double y = p.dest_y + (v - p.src_y) * p.dest_height / p.src_height;
        const auto snap = [](double value) {
            return static_cast<float>(std::abs(value - std::round(value)) < 1e-3 ? std::round(value)
                                                                                 : value);
        };
        return gp::PointF(snap(p.world[0] * x + p.world[2] * y + p.world[4]),
                          snap(p.world[1] * x + p.world[3] * y + p.world[5]));
    };
    double u0, v0, u1, v1;
    turned(p.src_x, p.src_y, u0, v0);
    turned(right, bottom, u1, v1);
    const double left = std::min(u0, u1), top = std::min(v0, v1);
    const double width = std::abs(u1 - u0), height = std::abs(v1 - v0);
    out.region = gp::RectF(static_cast<float>(left), static_cast<float>(top),
                           static_cast<float>(width), static_cast<float>(height));
    out.corners[0] = back(left, top);
    out.corners[1] = back(left + width, top);
    out.corners[2] = back(left, top + height);
    out.folded = true;
    return VELMORA_IMAGING_OK;
}

} // namespace

Status drawChecked(const Pixels& source, const Pixels& target,
                   const velmora_imaging_draw_params& p) {
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

    Reading from;
    if (const Status s = prepare(source, p, a, b, c, d, from); s != VELMORA_IMAGING_OK) return s;
    const Bitmap onto = wrapPixels(target);
    if (!onto) return VELMORA_IMAGING_NO_MEMORY;
    gp::GpGraphics* madeGraphics = nullptr;
    if (gp::DllExports::GdipGetImageGraphicsContext(onto.get(), &madeGraphics) != gp::Ok)
        return VELMORA_IMAGING_NO_MEMORY;
    const Graphics graphics(madeGraphics);
    gp::GpMatrix* madeMatrix = nullptr;
    const bool identity = from.folded;
    if (gp::DllExports::GdipCreateMatrix2(identity ? 1 : p.world[0], identity ? 0 : p.world[1],
                                          identity ? 0 : p.world[2], identity ? 1 : p.world[3],
                                          identity ? 0 : p.world[4], identity ? 0 : p.world[5],
                                          &madeMatrix) != gp::Ok)
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

    const gp::GpStatus drawn = gp::DllExports::GdipDrawImagePointsRect(
        g, from.bitmap.get(), from.corners, 3, from.region.X, from.region.Y, from.region.Width,
        from.region.Height, gp::UnitPixel, attributes.get(), nullptr, nullptr);
    if (drawn == gp::OutOfMemory) return VELMORA_IMAGING_NO_MEMORY;
    return drawn == gp::Ok ? VELMORA_IMAGING_OK : VELMORA_IMAGING_BAD_ARGUMENT;
}

} // namespace vimg

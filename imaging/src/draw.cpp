// Drawing a region of one pixel buffer onto another through pixman: the
// region is mapped onto its destination rectangle, then through the world
// transform, and composited source-over with nearest, bilinear or
// separable-convolution cubic filtering. A colour matrix is applied first,
// by our own code, to a copy of the region. Draws past pixman's 16-bit
// coordinates are done in pieces.

#include "imaging/src/internal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <pixman.h>
#include <vector>

namespace vimg {
namespace {

// x' = a x + c y + e, y' = b x + d y + f.
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    // This transform after `inner`.
    Affine after(const Affine& inner) const {
        return {a * inner.a + c * inner.b,     b * inner.a + d * inner.b,
                a * inner.c + c * inner.d,     b * inner.c + d * inner.d,
                a * inner.e + c * inner.f + e, b * inner.e + d * inner.f + f};
    }
    bool invert(Affine& out) const {
        const double det = a * d - b * c;
        if (!std::isfinite(det) || std::abs(det) < 1e-12) return false;
        out = {d / det, -b / det, -c / det, a / det, (c * f - d * e) / det, (b * e - a * f) / det};
        return true;
    }
    void apply(double x, double y, double& ox, double& oy) const {
        ox = a * x + c * y + e;
        oy = b * x + d * y + f;
    }
};

bool nearInteger(double v) {
    return std::abs(v - std::round(v)) < 1e-9;
}

// True when every pixel centre maps onto a pixel centre: an axis-aligned
// turn or mirror by whole pixels, where every filter gives the source
// pixel itself.
bool mapsCentresToCentres(const Affine& m) {
    const double coefficients[] = {m.a, m.b, m.c, m.d};
    for (double v : coefficients)
        if (!nearInteger(v) || std::abs(std::round(v)) > 1) return false;
    const bool axisAligned = (std::round(m.b) == 0 && std::round(m.c) == 0) ||
                             (std::round(m.a) == 0 && std::round(m.d) == 0);
    return axisAligned && std::abs(m.a * m.d - m.b * m.c) > 0.5 && nearInteger(m.e) &&
           nearInteger(m.f);
}

struct ImageUnref {
    void operator()(pixman_image_t* image) const { pixman_image_unref(image); }
};
using Image = std::unique_ptr<pixman_image_t, ImageUnref>;

struct FilterFree {
    void operator()(pixman_fixed_t* p) const { std::free(p); }
};

inline std::uint8_t toByte(float v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f);
}

// The region's pixels through the colour matrix into a packed, top-down
// copy.
void applyMatrix(const Pixels& source, std::int32_t x0, std::int32_t y0, std::int32_t width,
                 std::int32_t height, const float* m, std::vector<std::uint32_t>& out) {
    out.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const std::uint8_t* table = unpremultiplyTable();
    auto* o = reinterpret_cast<std::uint8_t*>(out.data());
    constexpr float k = 1.0f / 255.0f;
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* p = source.row(y0 + y) + std::ptrdiff_t{x0} * 4;
        for (std::int32_t x = 0; x < width; ++x, p += 4, o += 4) {
            const std::uint8_t* t = table + p[3] * 256;
            const float r = t[p[2]] * k, g = t[p[1]] * k, b = t[p[0]] * k, a = p[3] * k;
            const float outR = r * m[0] + g * m[5] + b * m[10] + a * m[15] + m[20];
            const float outG = r * m[1] + g * m[6] + b * m[11] + a * m[16] + m[21];
            const float outB = r * m[2] + g * m[7] + b * m[12] + a * m[17] + m[22];
            const float outA = r * m[3] + g * m[8] + b * m[13] + a * m[18] + m[23];
            const std::uint32_t alpha = toByte(outA);
            o[0] = premultiply(toByte(outB), alpha);
            o[1] = premultiply(toByte(outG), alpha);
            o[2] = premultiply(toByte(outR), alpha);
            o[3] = static_cast<std::uint8_t>(alpha);
        }
    }
}

// Whether drawing with `inverse` (target to source) samples through the
// cubic convolution, whose negative lobes can overshoot.
bool convolves(std::int32_t interpolation, const Affine& inverse) {
    return interpolation == VELMORA_IMAGING_BICUBIC && !mapsCentresToCentres(inverse);
}

// Sets the filter for drawing with `inverse` (target to source).
bool setFilter(pixman_image_t* image, std::int32_t interpolation, const Affine& inverse) {
    if (interpolation == VELMORA_IMAGING_NEAREST || mapsCentresToCentres(inverse))
        return pixman_image_set_filter(image, PIXMAN_FILTER_NEAREST, nullptr, 0);
    if (interpolation == VELMORA_IMAGING_BILINEAR)
        return pixman_image_set_filter(image, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    // Source pixels a target step covers along each target axis.
    // A turn given in single precision is a hair off scale 1; that must
    // not widen the filter to the shrinking one.
    const auto snap = [](double scale) { return std::abs(scale - 1.0) < 1e-4 ? 1.0 : scale; };
    const double scaleX = snap(std::hypot(inverse.a, inverse.b));
    const double scaleY = snap(std::hypot(inverse.c, inverse.d));
    // Enlarging: the cubic reconstructs between source pixels. Shrinking:
    // the cubic, widened by the factor, weighs every source pixel the
    // target pixel covers.
    const auto kernels = [](double scale, pixman_kernel_t& reconstruct, pixman_kernel_t& sample) {
        reconstruct = scale <= 1.0 ? PIXMAN_KERNEL_CUBIC : PIXMAN_KERNEL_BOX;
        sample = scale <= 1.0 ? PIXMAN_KERNEL_IMPULSE : PIXMAN_KERNEL_CUBIC;
    };
    pixman_kernel_t reconstructX, sampleX, reconstructY, sampleY;
    kernels(scaleX, reconstructX, sampleX);
    kernels(scaleY, reconstructY, sampleY);
    int count = 0;
    std::unique_ptr<pixman_fixed_t, FilterFree> params(pixman_filter_create_separable_convolution(
        &count, pixman_double_to_fixed(std::max(scaleX, 1.0)),
        pixman_double_to_fixed(std::max(scaleY, 1.0)), reconstructX, reconstructY, sampleX, sampleY,
        4, 4));
    if (!params) return false;
    return pixman_image_set_filter(image, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params.get(), count);
}

// Pixels as pixman reads and writes them: 32 bits each, rows
// `stride` bytes apart.
struct Plane {
    std::uint32_t* bits = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    int stride = 0;
};

// A rectangle of pixels, right and bottom excluded.
struct Box {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
};

// pixman works in 16-bit coordinates: a source of 0x7FFF pixels or more on
// a side, a target rectangle reaching 0x7FFF, or source coordinates past
// +-0x8000 (16.16 fixed point) make it draw nothing without saying so.
constexpr double kPixmanReach = 0x7FFF;
// The most pixels a side of one piece of a larger draw, on the target and
// on the source it reads: well inside pixman's reach, filter and all.
constexpr std::int32_t kPieceSide = 16384;

// How far, in source pixels, the filter reads past the point it samples:
// the widened cubic of shrinking spans four source steps plus one pixel.
double filterReach(std::int32_t interpolation, const Affine& inverse) {
    const double scale =
        std::max({std::hypot(inverse.a, inverse.b), std::hypot(inverse.c, inverse.d), 1.0});
    return interpolation == VELMORA_IMAGING_NEAREST ? 1.0 : std::ceil(2 * scale) + 2;
}

// The box of source points the target box's pixels map to (memory
// coordinates of the source), before any clamping.
void sourceExtent(const Box& box, const Affine& inverse, double& minU, double& minV, double& maxU,
                  double& maxV) {
    minU = minV = 1e300;
    maxU = maxV = -1e300;
    for (const auto& [x, y] : {std::pair{box.left, box.top},
                               {box.right, box.top},
                               {box.left, box.bottom},
                               {box.right, box.bottom}}) {
        double u, v;
        inverse.apply(x, y, u, v);
        minU = std::min(minU, u), maxU = std::max(maxU, u);
        minV = std::min(minV, v), maxV = std::max(maxV, v);
    }
}

// Whether pixman can draw the box from the whole region in one composite.
bool fitsOnce(const Plane& region, const Box& box, const Affine& inverse, double reach) {
    if (region.width >= kPixmanReach || region.height >= kPixmanReach) return false;
    if (box.right + 1 >= kPixmanReach || box.bottom + 1 >= kPixmanReach) return false;
    const double coefficients[] = {inverse.a, inverse.b, inverse.c,
                                   inverse.d, inverse.e, inverse.f};
    for (double v : coefficients)
        if (std::abs(v) >= kPixmanReach) return false;
    double minU, minV, maxU, maxV;
    sourceExtent({box.left - 1, box.top - 1, box.right + 1, box.bottom + 1}, inverse, minU, minV,
                 maxU, maxV);
    const double limit = kPixmanReach - reach;
    return minU > -limit && minV > -limit && maxU < limit && maxV < limit;
}

// The part of the region (memory coordinates) a target piece reads, at
// least one pixel.
Box footprint(const Box& piece, const Affine& inverse, double reach, std::int32_t regionW,
              std::int32_t regionH) {
    double minU, minV, maxU, maxV;
    sourceExtent(piece, inverse, minU, minV, maxU, maxV);
    const auto low = [&](double v, std::int32_t size) {
        return static_cast<std::int32_t>(std::clamp<double>(std::floor(v - reach), 0, size - 1));
    };
    const auto high = [&](double v, std::int32_t from, std::int32_t size) {
        return static_cast<std::int32_t>(std::clamp<double>(std::ceil(v + reach), from + 1, size));
    };
    const std::int32_t left = low(minU, regionW), top = low(minV, regionH);
    return {left, top, high(maxU, left, regionW), high(maxV, top, regionH)};
}

// Cuts the target box into pieces small enough on both sides, halving the
// longer side; false when a single target pixel reads more than a piece.
bool cut(const Box& box, const Affine& inverse, double reach, std::int32_t regionW,
         std::int32_t regionH, std::vector<Box>& pieces) {
    const Box read = footprint(box, inverse, reach, regionW, regionH);
    if (box.width() <= kPieceSide && box.height() <= kPieceSide && read.width() <= kPieceSide &&
        read.height() <= kPieceSide) {
        pieces.push_back(box);
        return true;
    }
    if (box.width() == 1 && box.height() == 1) return false;
    Box first = box, second = box;
    if (box.width() >= box.height())
        first.right = second.left = box.left + box.width() / 2;
    else
        first.bottom = second.top = box.top + box.height() / 2;
    return cut(first, inverse, reach, regionW, regionH, pieces) &&
           cut(second, inverse, reach, regionW, regionH, pieces);
}

// Composites `box` of `onto` from `from` seen through `inverse` (target to
// source memory coordinates), source-over. The cubic convolution can give
// a colour above its alpha at see-through edges; such samples are held to
// their alpha before they are composited, band by band.
Status composite(const Plane& from, const Plane& onto, const Box& box, const Affine& inverse,
                 std::int32_t interpolation, bool pad) {
    Image src(
        pixman_image_create_bits(PIXMAN_a8r8g8b8, from.width, from.height, from.bits, from.stride));
    Image dst(
        pixman_image_create_bits(PIXMAN_a8r8g8b8, onto.width, onto.height, onto.bits, onto.stride));
    if (!src || !dst) return VELMORA_IMAGING_NO_MEMORY;

    pixman_f_transform ft{};
    ft.m[0][0] = inverse.a, ft.m[0][1] = inverse.c, ft.m[0][2] = inverse.e;
    ft.m[1][0] = inverse.b, ft.m[1][1] = inverse.d, ft.m[1][2] = inverse.f;
    ft.m[2][2] = 1;
    pixman_transform t;
    if (!pixman_transform_from_pixman_f_transform(&t, &ft)) return VELMORA_IMAGING_BAD_ARGUMENT;
    if (!pixman_image_set_transform(src.get(), &t)) return VELMORA_IMAGING_NO_MEMORY;
    if (!setFilter(src.get(), interpolation, inverse)) return VELMORA_IMAGING_NO_MEMORY;
    pixman_image_set_repeat(src.get(), pad ? PIXMAN_REPEAT_PAD : PIXMAN_REPEAT_NONE);

    if (!convolves(interpolation, inverse)) {
        pixman_image_composite32(PIXMAN_OP_OVER, src.get(), nullptr, dst.get(), box.left, box.top,
                                 0, 0, box.left, box.top, box.width(), box.height());
        return VELMORA_IMAGING_OK;
    }
    const std::int32_t band = std::clamp<std::int32_t>(65536 / box.width(), 1, box.height());
    std::vector<std::uint32_t> samples(static_cast<std::size_t>(box.width()) *
                                       static_cast<std::size_t>(band));
    Image sampled(pixman_image_create_bits(PIXMAN_a8r8g8b8, box.width(), band, samples.data(),
                                           box.width() * 4));
    if (!sampled) return VELMORA_IMAGING_NO_MEMORY;
    for (std::int32_t y = box.top; y < box.bottom; y += band) {
        const std::int32_t rows = std::min(band, box.bottom - y);
        pixman_image_composite32(PIXMAN_OP_SRC, src.get(), nullptr, sampled.get(), box.left, y, 0,
                                 0, 0, 0, box.width(), rows);
        clampToAlphaRow(reinterpret_cast<std::uint8_t*>(samples.data()), box.width() * rows);
        pixman_image_composite32(PIXMAN_OP_OVER, sampled.get(), nullptr, dst.get(), 0, 0, 0, 0,
                                 box.left, y, box.width(), rows);
    }
    return VELMORA_IMAGING_OK;
}

} // namespace

Status drawChecked(const Pixels& source, const Pixels& target,
                   const velmora_imaging_draw_params& p) {
    // pixman reads and writes whole 32-bit words.
    if (reinterpret_cast<std::uintptr_t>(source.bits) % 4 != 0 ||
        reinterpret_cast<std::uintptr_t>(target.bits) % 4 != 0)
        return VELMORA_IMAGING_BAD_ARGUMENT;

    // The whole source pixels the region touches; what lies outside the
    // source is transparent.
    const auto x0 =
        static_cast<std::int32_t>(std::clamp<double>(std::floor(p.src_x), 0, source.width));
    const auto y0 =
        static_cast<std::int32_t>(std::clamp<double>(std::floor(p.src_y), 0, source.height));
    const auto x1 = static_cast<std::int32_t>(
        std::clamp<double>(std::ceil(double{p.src_x} + p.src_width), 0, source.width));
    const auto y1 = static_cast<std::int32_t>(
        std::clamp<double>(std::ceil(double{p.src_y} + p.src_height), 0, source.height));
    if (x1 <= x0 || y1 <= y0) return VELMORA_IMAGING_OK;
    const std::int32_t regionW = x1 - x0, regionH = y1 - y0;
    const bool inside = p.src_x >= 0 && p.src_y >= 0 &&
                        double{p.src_x} + p.src_width <= source.width &&
                        double{p.src_y} + p.src_height <= source.height;

    // The pixels pixman reads: the region itself, or its copy through the
    // colour matrix, and how their memory coordinates map to image ones.
    std::vector<std::uint32_t> recoloured;
    std::uint32_t* bits = nullptr;
    int stride = 0;
    Affine subToImage; // sub-image memory coordinates to source image coordinates
    if (p.color_matrix != nullptr) {
        applyMatrix(source, x0, y0, regionW, regionH, p.color_matrix, recoloured);
        bits = recoloured.data();
        stride = regionW * 4;
        subToImage = {1, 0, 0, 1, double(x0), double(y0)};
    } else {
        const std::int32_t memoryRow = source.bottomUp ? source.height - y1 : y0;
        bits = reinterpret_cast<std::uint32_t*>(source.bits + memoryRow * source.stride +
                                                std::ptrdiff_t{x0} * 4);
        stride = static_cast<int>(source.stride);
        subToImage = source.bottomUp ? Affine{1, 0, 0, -1, double(x0), double(y1)}
                                     : Affine{1, 0, 0, 1, double(x0), double(y0)};
    }

    // Source image to destination rectangle to world to target memory.
    const double sx = p.dest_width / double{p.src_width};
    const double sy = p.dest_height / double{p.src_height};
    const Affine toRect{sx, 0, 0, sy, p.dest_x - p.src_x * sx, p.dest_y - p.src_y * sy};
    const Affine world{p.world[0], p.world[1], p.world[2], p.world[3], p.world[4], p.world[5]};
    const Affine toMemory =
        target.bottomUp ? Affine{1, 0, 0, -1, 0, double(target.height)} : Affine{};
    const Affine forward = toMemory.after(world.after(toRect.after(subToImage)));
    Affine inverse;
    if (!forward.invert(inverse)) return VELMORA_IMAGING_OK; // collapses to nothing

    // The target pixels the region can reach.
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (const auto& [u, v] : {std::pair{0, 0}, {regionW, 0}, {0, regionH}, {regionW, regionH}}) {
        double x, y;
        forward.apply(u, v, x, y);
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
    }
    const bool axisAligned = (std::abs(forward.b) < 1e-9 && std::abs(forward.c) < 1e-9) ||
                             (std::abs(forward.a) < 1e-9 && std::abs(forward.d) < 1e-9);
    // An axis-aligned draw covers whole target pixels (edges rounded), the
    // region's edge pixels repeated outwards so the filter does not fade
    // them; a turned one is clipped by its transparent surroundings.
    const bool pad = axisAligned && inside;
    const auto edge = [&](double v, bool low) {
        return pad ? std::round(v) : (low ? std::floor(v) : std::ceil(v));
    };
    const auto left =
        static_cast<std::int32_t>(std::clamp<double>(edge(minX, true), 0, target.width));
    const auto top =
        static_cast<std::int32_t>(std::clamp<double>(edge(minY, true), 0, target.height));
    const auto right =
        static_cast<std::int32_t>(std::clamp<double>(edge(maxX, false), 0, target.width));
    const auto bottom =
        static_cast<std::int32_t>(std::clamp<double>(edge(maxY, false), 0, target.height));
    if (right <= left || bottom <= top) return VELMORA_IMAGING_OK;

    const Plane region{bits, regionW, regionH, stride};
    const Plane whole{reinterpret_cast<std::uint32_t*>(target.bits), target.width, target.height,
                      static_cast<int>(target.stride)};
    const Box box{left, top, right, bottom};
    const double reach = filterReach(p.interpolation, inverse);
    // The widened cubic weighs (4 x scale) source points along each axis for
    // every target pixel, inside the source or not. Where one pixel's
    // footprint is larger than the whole region (a long, thin picture shrunk
    // and turned), nearly all of that work reads nothing: refused, and the
    // caller's own engine draws it.
    if (convolves(p.interpolation, inverse) &&
        std::hypot(inverse.a, inverse.b) * std::hypot(inverse.c, inverse.d) >
            std::max(static_cast<double>(regionW) * regionH, 1.0))
        return VELMORA_IMAGING_TOO_LARGE;
    if (fitsOnce(region, box, inverse, reach))
        return composite(region, whole, box, inverse, p.interpolation, pad);

    // Too large for one composite: drawn in pieces, each a part of the
    // target with the part of the region its filter reads. They are all
    // planned first, so a draw that cannot be done is refused before it
    // touches the target.
    std::vector<Box> pieces;
    if (!cut(box, inverse, reach, regionW, regionH, pieces)) return VELMORA_IMAGING_TOO_LARGE;
    for (const Box& piece : pieces) {
        const Box read = footprint(piece, inverse, reach, regionW, regionH);
        const Plane from{region.bits + std::ptrdiff_t{read.top} * (region.stride / 4) + read.left,
                         read.width(), read.height(), region.stride};
        const Plane onto{whole.bits + std::ptrdiff_t{piece.top} * (whole.stride / 4) + piece.left,
                         piece.width(), piece.height(), whole.stride};
        // Target piece to target, to region, to the part read.
        const Affine toRead = Affine{1, 0, 0, 1, -double(read.left), -double(read.top)}.after(
            inverse.after(Affine{1, 0, 0, 1, double(piece.left), double(piece.top)}));
        const Status status = composite(from, onto, {0, 0, piece.width(), piece.height()}, toRead,
                                        p.interpolation, pad);
        if (status != VELMORA_IMAGING_OK) return status;
    }
    return VELMORA_IMAGING_OK;
}

} // namespace vimg

#pragma once
// The surface's own pixel routines behind Render, CopyImageTo and the
// effects: mirroring, scaling, lightness, blending and rotation. They work on
// views of bottom-up premultiplied BGRA memory (row 0 is the bottom row,
// stride width x 4), the surface's own section or a buffer made for one
// call. Only the surface code and its tests include this header.

#include "platform/util/gray_weights.h"
#include "platform/util/pixel_view.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace velmora::render {

// A zeroed buffer owned for the length of one call.
struct PixelBuffer {
    std::vector<std::uint8_t> bytes;
    std::int32_t width = 0;
    std::int32_t height = 0;

    // False when the size is empty or too large for a surface.
    bool allocate(std::int32_t w, std::int32_t h);
    BgraPremulBottomUpView view() { return {bytes.data(), width, height}; }
};

// Rectangle of the source, x and y from the picture's top-left.
struct SourceRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Copies the rectangle mirrored into `out` (rect.width x rect.height):
// horizontally when dw < 1, vertically when dh < 0. The rectangle is read in
// mirrored picture space, so horizontally it is the columns ending rect.x
// from the right edge and vertically the rows starting rect.y above the
// bottom. False when there is nothing to mirror (dw and dh both >= 1) or the
// rectangle does not fit.
bool mirrorInto(BgraPremulBottomUpView source, SourceRect rect, std::int32_t dw, std::int32_t dh,
                BgraPremulBottomUpView out);

// Scales the rectangle to dw x dh. A negative destX (destY) cuts that many
// columns at the left (rows at the top) off the output; columns at or past
// limitX (rows at or past limitY), the destination's right (bottom) edge,
// are cut too, but one column (row) is always kept. The output's size is
// then outputWidth x outputHeight, and its pixels are those of the whole
// scaled rectangle at the same places. Nearest neighbour or the bilinear
// weights of the double-precision formula, truncated to bytes.
struct ScaleJob {
    BgraPremulBottomUpView source;
    SourceRect rect;
    std::int32_t destX = 0;
    std::int32_t destY = 0;
    std::int32_t dw = 0;
    std::int32_t dh = 0;
    bool bilinear = false;
    std::int32_t limitX = std::numeric_limits<std::int32_t>::max();
    std::int32_t limitY = std::numeric_limits<std::int32_t>::max();

    std::int32_t skippedLeft() const { return destX < 0 ? -std::max(destX, -dw) : 0; }
    std::int32_t skippedTop() const { return destY < 0 ? -std::max(destY, -dh) : 0; }
    std::int32_t outputWidth() const { return visibleEnd(destX, dw, limitX) - skippedLeft(); }
    std::int32_t outputHeight() const { return visibleEnd(destY, dh, limitY) - skippedTop(); }
    // Output memory row 0 is this row of the whole scaled rectangle, counted
    // from its bottom.
    std::int32_t skippedBottom() const { return dh - visibleEnd(destY, dh, limitY); }

private:
    static std::int32_t visibleEnd(std::int32_t at, std::int32_t size, std::int32_t limit) {
        const std::int64_t room = std::max<std::int64_t>(std::int64_t{limit} - at, 1);
        return static_cast<std::int32_t>(std::min<std::int64_t>(size, room));
    }
};
bool scaleInto(const ScaleJob& job, BgraPremulBottomUpView out);

// Adds L percent of each pixel's alpha to its colour, clamped to [0, alpha].
// `out` may be `source` itself; pixels with alpha 0 are not written.
void adjustLightness(BgraPremulBottomUpView source, BgraPremulBottomUpView out, float L);

// Source-over of n pixels with constant alpha o (0 .. 255), truncating
// divisions. With hostAlpha the destination's alpha byte is blended like
// the colours; without it the destination alpha byte is left as it was.
void blendRow(std::uint8_t* dst, const std::uint8_t* src, std::int32_t n, std::uint32_t o,
              bool hostAlpha);
// blendRow without hostAlpha, then every destination alpha byte of the n
// pixels set to 0: what a DC's 32-bit pixels hold after a blend through a
// 24-bit copy of them.
void blendRowClearingAlpha(std::uint8_t* dst, const std::uint8_t* src, std::int32_t n,
                           std::uint32_t o);
// The source's colour replaced by its grey value; alpha kept.
void grayRow(const std::uint8_t* src, std::uint8_t* out, std::int32_t n, GrayWeight w);

// Rotation about the rectangle's centre by whole degrees into a D x D
// square (D = round(sqrt(dw^2 + dh^2))); pixels whose source position falls
// outside the rectangle stay as they are (transparent in a new buffer).
// `out` is the whole square, or with `size` set to D, the part of it whose
// bottom-left pixel is column u0 and memory row v0 of the square.
struct RotateJob {
    BgraPremulBottomUpView source;
    SourceRect rect;
    std::int32_t dw = 0; // positive
    std::int32_t dh = 0; // positive
    float angle = 0;
    bool bilinear = false;
    std::int32_t size = 0; // 0: out.width
    std::int32_t u0 = 0;
    std::int32_t v0 = 0;
};
std::int32_t rotationSize(std::int32_t dw, std::int32_t dh);
void rotateInto(const RotateJob& job, BgraPremulBottomUpView out);

} // namespace velmora::render

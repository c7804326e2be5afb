// Painting: the drop shadow first, then the image, from the surface or from
// the redraw buffer, and only what meets the container's clip box.

#include "control/aic_alpha_image.h"
#include "platform/gdi/sys_colors.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

using namespace platform;

namespace {

// Small one-to-one images are shadowed straight from the image at paint
// time: building and keeping a shadow surface for them costs more than it
// saves.
constexpr std::int32_t kLargestUnbuiltShadow = 128;
// Controls up to this many pixels keep a shadow made for the whole control.
constexpr std::int64_t kLargestPrebuiltShadowArea = std::int64_t{1} << 22;

bool meets(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// The part [first, end) of a source `size` pixels long, placed at `origin`
// in a control, whose drop shadow can show in the control's pixels [from,
// to). The shadow starts `depth` pixels before the source, moved by
// `offset`, and each of its pixels blurs the 2 x depth + 1 source pixels
// ending at its own place. Never empty: a shadow wholly outside the control
// still has a source, whose shadow then stays outside.
std::pair<std::int32_t, std::int32_t> shadowSpan(std::int32_t origin, std::int32_t size,
                                                 std::int32_t from, std::int32_t to,
                                                 std::int32_t depth, std::int32_t offset) {
    // The shadow pixel at the area's first pixel.
    const std::int64_t shown = std::int64_t{depth} - origin - offset + from;
    const std::int64_t first = std::clamp<std::int64_t>(shown - 2 * depth, 0, size - 1);
    const std::int64_t end = std::clamp<std::int64_t>(shown + (to - from), first + 1, size);
    return {static_cast<std::int32_t>(first), static_cast<std::int32_t>(end)};
}

RECT intersection(const RECT& a, const RECT& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

RECT moved(RECT r, std::int32_t dx, std::int32_t dy) {
    r.left += dx;
    r.right += dx;
    r.top += dy;
    r.bottom += dy;
    return r;
}

} // namespace

void aicAlphaImage::rebuildShadow() {
    shadow_.reset();
    shadowCropped_ = false;
    shadowAtPaint_ = false;
    if (!ShadowEnabled() || !hasImage() || layout_.width < 1 || layout_.height < 1) return;
    if (!RotateEnabled() && layout_.oneToOne && image_.Width() <= kLargestUnbuiltShadow &&
        image_.Height() <= kLargestUnbuiltShadow)
        return;
    // A control larger than this keeps no shadow: each paint makes the part
    // its clip box shows, which the container keeps to what is on screen.
    if (std::int64_t{innerWidth()} * innerHeight() > kLargestPrebuiltShadowArea) {
        shadowAtPaint_ = true;
        return;
    }
    shadow_ = makeShadow({0, 0, innerWidth(), innerHeight()}, shadowSource_, shadowCropped_);
}

std::unique_ptr<c32bppDIB> aicAlphaImage::makeShadow(const RECT& area, POINT& at, bool& cropped) {
    // What casts the shadow and where its corner is in the control: the
    // redraw buffer, or what the image paints, turned inside its diagonal
    // square or scaled to the drawn size.
    const bool turned = !redraw_ && RotateEnabled();
    std::int32_t w = layout_.width, h = layout_.height;
    POINT origin{layout_.originX, layout_.originY};
    if (redraw_) {
        w = redraw_->Width();
        h = redraw_->Height();
        origin = {0, 0};
    } else if (turned) {
        w = h = layout_.diagonal;
        origin = {innerWidth() / 2 - w / 2, innerHeight() / 2 - h / 2};
    }
    if (w < 1 || h < 1) return nullptr;
    // Only the part whose shadow can show in the area is drawn, so a drawn
    // size far beyond it costs no more than the area.
    const auto [left, right] =
        shadowSpan(origin.x, w, area.left, area.right, shadowDepth_, shadowOffsetX_);
    const auto [top, bottom] =
        shadowSpan(origin.y, h, area.top, area.bottom, shadowDepth_, shadowOffsetY_);
    c32bppDIB source;
    source.gdiToken(image_.gdiToken());
    if (!source.InitializeDIB(right - left, bottom - top)) return nullptr;
    if (redraw_) {
        // The buffer's own bytes: the shadow reads their alpha as it is.
        const velmora::BgraPremulBottomUpView from = redraw_->view(), to = source.view();
        for (std::int32_t row = top; row < bottom; ++row)
            std::memcpy(to.memoryRow(bottom - 1 - row),
                        from.memoryRow(h - 1 - row) + static_cast<std::size_t>(left) * 4,
                        static_cast<std::size_t>(right - left) * 4);
    } else if (turned) {
        image_.Render(0, w / 2 - left, h / 2 - top, layout_.width, layout_.height, 0, 0, 0, 0, 100,
                      true, true, &source, -1, 0.0f, static_cast<float>(rotation_), true);
    } else {
        image_.Render(0, -left, -top, layout_.width, layout_.height, 0, 0, 0, 0, 100, true, true,
                      &source, -1, 0.0f);
    }
    source.Alpha(true);
    at = {origin.x + left, origin.y + top};
    cropped = left > 0 || top > 0 || right < w || bottom < h;
    auto shadow = source.CreateDropShadow(shadowDepth_, TranslateColor(shadowColor_));
    if (shadow) shadow->gdiToken(image_.gdiToken());
    return shadow;
}

void aicAlphaImage::paintShadow(HDC hdc, int x, int y, const RECT& box) {
    const std::int32_t opacity = shadowOpacity_ * opacity_ / 100;
    if (opacity <= 0) return;
    // The shadow is its source grown by the blur depth on every side,
    // centred on where that source is drawn and moved by its offsets; small
    // one-to-one images have no pre-built shadow and are their own source.
    std::unique_ptr<c32bppDIB> madeNow;
    POINT source = shadow_ ? shadowSource_ : POINT{layout_.originX, layout_.originY};
    if (shadowAtPaint_) {
        bool cropped = false;
        madeNow = makeShadow(box, source, cropped);
        if (!madeNow) return;
    }
    c32bppDIB* shadow = madeNow ? madeNow.get() : shadow_.get();
    const POINT at{source.x - shadowDepth_ + shadowOffsetX_,
                   source.y - shadowDepth_ + shadowOffsetY_};
    if (shadow) {
        const RECT area{at.x, at.y, at.x + shadow->Width(), at.y + shadow->Height()};
        if (!meets(area, box)) return;
        shadow->Render(hdc, x + at.x, y + at.y, shadow->Width(), shadow->Height(), 0, 0,
                       shadow->Width(), shadow->Height(), opacity, true, true, nullptr, -1, 0.0f);
        return;
    }
    const std::int32_t grown = 2 * shadowDepth_;
    const RECT area{at.x, at.y, at.x + image_.Width() + grown, at.y + image_.Height() + grown};
    if (!meets(area, box)) return;
    image_.RenderDropShadow_JIT(hdc, x + at.x, y + at.y, shadowDepth_, TranslateColor(shadowColor_),
                                opacity);
}

void aicAlphaImage::paintImage(HDC hdc, int x, int y, const RECT& box) {
    const std::int32_t dx = imageOffsetX_;
    const std::int32_t dy = imageOffsetY_;
    const float light = intensity_;
    if (redraw_) {
        const RECT part =
            intersection(moved(box, -dx, -dy), {0, 0, redraw_->Width(), redraw_->Height()});
        if (part.left >= part.right || part.top >= part.bottom) return;
        const std::int32_t w = part.right - part.left;
        const std::int32_t h = part.bottom - part.top;
        redraw_->Render(hdc, x + part.left + dx, y + part.top + dy, w, h, part.left, part.top, w, h,
                        opacity_, true, true, nullptr, grayFormula_, light);
        return;
    }
    if (RotateEnabled()) {
        image_.Render(hdc, x + dx + innerWidth() / 2, y + dy + innerHeight() / 2, layout_.width,
                      layout_.height, 0, 0, image_.Width(), image_.Height(), opacity_, true, true,
                      nullptr, grayFormula_, light, static_cast<float>(rotation_), true);
        return;
    }
    if (layout_.oneToOne) {
        // Only the part of the image inside the clip box is copied.
        const RECT placed{layout_.originX + dx, layout_.originY + dy,
                          layout_.originX + dx + layout_.width,
                          layout_.originY + dy + layout_.height};
        const RECT part = intersection(box, placed);
        if (part.left >= part.right || part.top >= part.bottom) return;
        const std::int32_t w = part.right - part.left;
        const std::int32_t h = part.bottom - part.top;
        image_.Render(hdc, x + part.left, y + part.top, w, h, part.left - placed.left,
                      part.top - placed.top, w, h, opacity_, true, true, nullptr, grayFormula_,
                      light);
        return;
    }
    image_.Render(hdc, x + layout_.originX + dx, y + layout_.originY + dy, layout_.width,
                  layout_.height, 0, 0, image_.Width(), image_.Height(), opacity_, true, true,
                  nullptr, grayFormula_, light);
}

void aicAlphaImage::Paint(HDC hdc, int x, int y, const RECT& clip) {
    // Nothing is drawn while the control resizes itself.
    if (resizing_ || image_.Handle() == 0 || layout_.width < 1 || layout_.height < 1) return;
    // The clip box in the control's own pixels.
    const RECT box = moved(clip, -x, -y);
    if (box.left >= box.right || box.top >= box.bottom) return;

    if (ShadowEnabled() && hasImage()) paintShadow(hdc, x, y, box);

    RECT area{layout_.originX, layout_.originY, layout_.originX + layout_.width,
              layout_.originY + layout_.height};
    if (RotateEnabled()) {
        // A turned image is drawn centred on the control, whatever origin
        // the layout gives (ScaleMethod 4 keeps its origin unturned); a
        // pixel more on each side covers the rounding of the half sizes.
        const std::int32_t half = layout_.diagonal / 2 + 1;
        const std::int32_t cx = innerWidth() / 2;
        const std::int32_t cy = innerHeight() / 2;
        area = {cx - half, cy - half, cx + half, cy + half};
    }
    if (redraw_) area = {0, 0, redraw_->Width(), redraw_->Height()};
    if (!meets(moved(area, imageOffsetX_, imageOffsetY_), box)) return;
    paintImage(hdc, x, y, box);
}

void aicAlphaImage::shadowMoved() {
    // A shadow made for part of its source shows another part now.
    if (shadowCropped_) rebuildShadow();
}

void aicAlphaImage::OffsetShadow(std::int32_t X, std::int32_t Y) {
    shadowOffsetX_ = X;
    shadowOffsetY_ = Y;
    shadowMoved();
    if (ShadowEnabled()) repaint();
}

void aicAlphaImage::OffsetImage(bool SetOffsets, std::int32_t& X, std::int32_t& Y,
                                std::int32_t& ShadowX, std::int32_t& ShadowY) {
    if (!SetOffsets) {
        X = imageOffsetX_;
        Y = imageOffsetY_;
        ShadowX = shadowOffsetX_;
        ShadowY = shadowOffsetY_;
        return;
    }
    imageOffsetX_ = X;
    imageOffsetY_ = Y;
    if (ShadowX != 0) shadowOffsetX_ = ShadowX;
    if (ShadowY != 0) shadowOffsetY_ = ShadowY;
    shadowMoved();
    // The hit area goes with the image.
    rebuildHitArea();
    repaint();
}

// Painting: the drop shadow first, then the image, from the surface or from
// the redraw buffer, and only what meets the container's clip box.

#include "control/aic_alpha_image.h"
#include "platform/gdi/sys_colors.h"

#include <algorithm>

using namespace platform;

namespace {

// Small one-to-one images are shadowed straight from the image at paint
// time: building and keeping a shadow surface for them costs more than it
// saves.
constexpr std::int32_t kLargestUnbuiltShadow = 128;

bool meets(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
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
    if (!ShadowEnabled() || !hasImage() || layout_.width < 1 || layout_.height < 1) return;
    if (!RotateEnabled() && layout_.oneToOne && image_.Width() <= kLargestUnbuiltShadow &&
        image_.Height() <= kLargestUnbuiltShadow)
        return;
    const COLORREF colour = TranslateColor(shadowColor_);
    if (redraw_) {
        shadow_ = redraw_->CreateDropShadow(shadowDepth_, colour);
        shadowSource_ = {0, 0};
    } else {
        // What the image paints: turned inside its diagonal square, or
        // scaled to the drawn size.
        c32bppDIB source;
        source.gdiToken(image_.gdiToken());
        if (RotateEnabled()) {
            const std::int32_t side = layout_.diagonal;
            if (side < 1 || !source.InitializeDIB(side, side)) return;
            image_.Render(0, side / 2, side / 2, layout_.width, layout_.height, 0, 0, 0, 0, 100,
                          true, true, &source, -1, 0.0f, static_cast<float>(rotation_), true);
            shadowSource_ = {innerWidth() / 2 - side / 2, innerHeight() / 2 - side / 2};
        } else {
            if (!source.InitializeDIB(layout_.width, layout_.height)) return;
            image_.Render(0, 0, 0, layout_.width, layout_.height, 0, 0, 0, 0, 100, true, true,
                          &source, -1, 0.0f);
            shadowSource_ = {layout_.originX, layout_.originY};
        }
        source.Alpha(true);
        shadow_ = source.CreateDropShadow(shadowDepth_, colour);
    }
    if (shadow_) shadow_->gdiToken(image_.gdiToken());
}

void aicAlphaImage::paintShadow(HDC hdc, int x, int y, const RECT& box) {
    const std::int32_t opacity = shadowOpacity_ * opacity_ / 100;
    if (opacity <= 0) return;
    // The shadow is its source grown by the blur depth on every side,
    // centred on where that source is drawn and moved by its offsets; small
    // one-to-one images have no pre-built shadow and are their own source.
    const POINT source = shadow_ ? shadowSource_ : POINT{layout_.originX, layout_.originY};
    const POINT at{source.x - shadowDepth_ + shadowOffsetX_,
                   source.y - shadowDepth_ + shadowOffsetY_};
    if (shadow_) {
        const RECT area{at.x, at.y, at.x + shadow_->Width(), at.y + shadow_->Height()};
        if (!meets(area, box)) return;
        shadow_->Render(hdc, x + at.x, y + at.y, shadow_->Width(), shadow_->Height(), 0, 0,
                        shadow_->Width(), shadow_->Height(), opacity, true, true, nullptr, -1,
                        0.0f);
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

void aicAlphaImage::OffsetShadow(std::int32_t X, std::int32_t Y) {
    shadowOffsetX_ = X;
    shadowOffsetY_ = Y;
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
    // The hit area goes with the image.
    rebuildHitArea();
    repaint();
}

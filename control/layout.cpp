// Where the image sits inside the control and how large it is drawn, and
// what follows from that: the redraw buffer, the hit area and the shadow.

#include "control/aic_alpha_image.h"
#include "surface/image_types.h"

#include <algorithm>
#include <cmath>
#include <limits>

using namespace platform;

namespace {

// Rounded to the nearest whole number, halves to even, as the drawing
// sizes always have been.
std::int32_t roundToInt(double value) {
    const double rounded = std::nearbyint(value);
    if (!(rounded >= std::numeric_limits<std::int32_t>::min())) return 0;
    if (rounded > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(rounded);
}

std::int32_t diagonalOf(std::int32_t width, std::int32_t height) {
    return roundToInt(std::hypot(static_cast<double>(width), static_cast<double>(height)));
}

// The placeholder shown at design time while the control has no image.
constexpr std::int32_t kCheckerSize = 12;
constexpr COLORREF kCheckerLight = 0xFFFFFF;
constexpr COLORREF kCheckerDark = 0xC0C0C0;

} // namespace

std::int32_t aicAlphaImage::innerWidth() const {
    const RECT extent = site_.Extent();
    return std::max<std::int32_t>(extent.right - extent.left, 0);
}

std::int32_t aicAlphaImage::innerHeight() const {
    const RECT extent = site_.Extent();
    return std::max<std::int32_t>(extent.bottom - extent.top, 0);
}

void aicAlphaImage::GetImageScales(std::int32_t& Width, std::int32_t& Height,
                                   std::int32_t ScaleMethod, std::int32_t desiredWidth,
                                   std::int32_t desiredHeight, bool asRotatedImage) const {
    if (image_.Handle() == 0) return;
    if (ScaleMethod < 0) ScaleMethod = scaleMethod_;
    if (ScaleMethod > 4) ScaleMethod = 4;
    if (ScaleMethod == 4) { // the size stays whatever it was
        Width = frozenWidth_;
        Height = frozenHeight_;
        return;
    }
    if (desiredWidth < 1) desiredWidth = innerWidth();
    if (desiredHeight < 1) desiredHeight = innerHeight();
    const double w = image_.Width();
    const double h = image_.Height();
    if (ScaleMethod == 3) {
        Width = image_.Width();
        Height = image_.Height();
        return;
    }
    if (!asRotatedImage) {
        if (ScaleMethod == 1) {
            Width = desiredWidth;
            Height = desiredHeight;
            return;
        }
        double ratio = std::min(desiredWidth / w, desiredHeight / h);
        if (ScaleMethod == 2) ratio = std::min(ratio, 1.0);
        Width = roundToInt(w * ratio);
        Height = roundToInt(h * ratio);
        return;
    }
    // Turned, the image must fit its diagonal into the target.
    const double diagonal = diagonalOf(image_.Width(), image_.Height());
    if (ScaleMethod == 1) {
        Width = roundToInt(desiredWidth * w / diagonal);
        Height = roundToInt(desiredHeight * h / diagonal);
        return;
    }
    const double side = std::min(desiredWidth, desiredHeight);
    Width = roundToInt(side * w / diagonal);
    Height = roundToInt(side * h / diagonal);
    if (ScaleMethod == 2 && (Width > image_.Width() || Height > image_.Height())) {
        Width = image_.Width();
        Height = image_.Height();
    }
}

void aicAlphaImage::layOut() {
    if (resizing_) return; // the resize this layout itself asked for
    const std::int32_t inner_w = innerWidth();
    const std::int32_t inner_h = innerHeight();

    if (!hasImage() && !site_.UserMode()) {
        image_.DestroyDIB();
        if (inner_w > 0 && inner_h > 0 && image_.InitializeDIB(inner_w, inner_h))
            image_.CreateCheckerBoard(kCheckerSize, kCheckerLight, kCheckerDark);
    }

    Layout next;
    if (image_.Handle() != 0) {
        GetImageScales(next.width, next.height, scaleMethod_, inner_w, inner_h, RotateEnabled());
        // What switching to ScaleMethod 4 keeps. Without a surface (an
        // empty control at run time) the kept size stays as it was.
        frozenWidth_ = next.width;
        frozenHeight_ = next.height;
    }
    if (RotateEnabled()) {
        next.diagonal = diagonalOf(next.width, next.height);
        if (scaleMethod_ == 4) {
            next.originX = std::max((inner_w - next.width) / 2, 0);
            next.originY = std::max((inner_h - next.height) / 2, 0);
        } else {
            // May lie outside the control: the turned image is centred.
            next.originX = (inner_w - next.diagonal) / 2;
            next.originY = (inner_h - next.diagonal) / 2;
        }
        next.oneToOne = false;
    } else {
        next.originX = std::max((inner_w - next.width) / 2, 0);
        next.originY = std::max((inner_h - next.height) / 2, 0);
        next.oneToOne =
            image_.Handle() != 0 && next.width == image_.Width() && next.height == image_.Height();
    }
    layout_ = next;

    if (AutoSize()) {
        layout_.originX = 0;
        layout_.originY = 0;
        const std::int32_t want_w = RotateEnabled() ? layout_.diagonal : layout_.width;
        const std::int32_t want_h = RotateEnabled() ? layout_.diagonal : layout_.height;
        // The placeholder already has the control's size; growing the
        // control around it would grow it again at every layout.
        if (hasImage() && want_w > 0 && want_h > 0 && (want_w != inner_w || want_h != inner_h)) {
            const RECT extent = site_.Extent();
            // A turned picture's diagonal may reach the largest coordinate.
            const auto edge = [](std::int32_t from, std::int32_t size) {
                return static_cast<std::int32_t>(std::min<std::int64_t>(
                    std::int64_t{from} + size, std::numeric_limits<std::int32_t>::max()));
            };
            resizing_ = true;
            site_.Move(
                {extent.left, extent.top, edge(extent.left, want_w), edge(extent.top, want_h)});
            resizing_ = false;
        }
    }

    if (!refreshRedrawBuffer(true)) {
        rebuildHitArea();
        rebuildShadow();
    }
}

void aicAlphaImage::reLayOut() {
    const std::int32_t before_w = innerWidth();
    const std::int32_t before_h = innerHeight();
    layOut();
    // A control that changed its size is repainted by its container.
    if (before_w == innerWidth() && before_h == innerHeight()) repaint();
}

void aicAlphaImage::Resize() {
    layOut();
}

bool aicAlphaImage::refreshRedrawBuffer(bool rebuildHit) {
    if (!redrawWanted() || layout_.width == 0 || !hasImage()) return false;
    const std::int32_t inner_w = innerWidth();
    const std::int32_t inner_h = innerHeight();
    if (inner_w < 1 || inner_h < 1) return false;
    if (!redraw_ || redraw_->Width() != inner_w || redraw_->Height() != inner_h) {
        redraw_ = std::make_unique<c32bppDIB>();
        redraw_->gdiToken(image_.gdiToken());
        if (!redraw_->InitializeDIB(inner_w, inner_h)) {
            redraw_.reset();
            return false;
        }
    } else {
        redraw_->EraseDIB();
    }
    renderFrame(*redraw_);
    if (rebuildHit) rebuildHitArea();
    if (ShadowEnabled()) rebuildShadow();
    return true;
}

void aicAlphaImage::renderFrame(c32bppDIB& into) {
    // Full opacity, no grey, no light: those are applied when the frame is
    // drawn.
    if (RotateEnabled())
        image_.Render(0, innerWidth() / 2, innerHeight() / 2, layout_.width, layout_.height, 0, 0,
                      0, 0, 100, true, true, &into, -1, 0.0f, static_cast<float>(rotation_), true);
    else
        image_.Render(0, layout_.originX, layout_.originY, layout_.width, layout_.height, 0, 0, 0,
                      0, 100, true, true, &into, -1, 0.0f);
    into.Alpha(true);
}

void aicAlphaImage::releaseRedrawBuffer() {
    redraw_.reset();
}

void aicAlphaImage::refreshAll() {
    if (!refreshRedrawBuffer(true)) {
        rebuildHitArea();
        rebuildShadow();
    }
    repaint();
}

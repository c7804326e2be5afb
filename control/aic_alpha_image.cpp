// The control's properties: every setter ignores values outside its range
// without complaint, and reports the property to the container under its
// changed name (the design-time dirty mark).

#include "control/aic_alpha_image.h"

#include "platform/gdi/gdi.h"
#include "platform/gdi/sys_colors.h"
#include "platform/picture/icon.h"
#include "platform/picture/icon_file.h"
#include "surface/image_types.h"

#include <cmath>
#include <cstdlib>

using namespace platform;
using velmora::Accept;
using velmora::Stored;

namespace {

// The value a setter keeps, or nothing for one it ignores.
std::optional<std::int32_t> accepted(Stored key, std::int32_t value) {
    return Accept(velmora::stored(key), value);
}

} // namespace

aicAlphaImage::aicAlphaImage(ContainerSite& site) : site_(site), identity_(*this) {
    image_.HighQualityInterpolation(true);
}

aicAlphaImage::~aicAlphaImage() {
    // A container that never said Terminate still must not leave timers
    // that call into a gone control.
    Terminate();
}

void aicAlphaImage::AutoRedraw(bool value) {
    if (value == AutoRedraw()) return;
    flags_ ^= kAutoRedraw;
    if (site_.UserMode()) {
        if (value) {
            if (!refreshRedrawBuffer(true)) rebuildHitArea();
        } else {
            releaseRedrawBuffer();
            rebuildHitArea();
            rebuildShadow();
        }
        repaint();
    }
    changed("AutoRedraw");
}

void aicAlphaImage::AutoSize(bool value) {
    if (value == AutoSize()) return;
    flags_ ^= kAutoSize;
    reLayOut();
    changed("AutoSize");
}

void aicAlphaImage::StretchQuality(bool value) {
    if (value == StretchQuality()) return;
    flags_ ^= kStretchQuality;
    image_.HighQualityInterpolation(value);
    refreshRedrawBuffer(false);
    repaint();
    changed("StretchQuality");
}

void aicAlphaImage::ScaleMethod(std::int32_t value) {
    // Methods past 4 would act as 4 when drawn but not keep their size
    // when saved: refused like every other value out of range.
    const auto method = accepted(Stored::Scaler, value);
    if (!method || *method == scaleMethod_) return;
    scaleMethod_ = *method;
    reLayOut();
    changed("Stretch");
}

void aicAlphaImage::Opacity(std::int32_t value) {
    // Every value folds into range: 100 stays 100, 150 is 50.
    const auto opacity = accepted(Stored::Opacity, value);
    if (!opacity) return;
    opacity_ = *opacity;
    repaint();
    changed("Opacity");
}

void aicAlphaImage::Mirror(std::int32_t value) {
    if (!accepted(Stored::Mirror, value)) return;
    const std::int32_t flip = value ^ mirror_;
    if (flip != 0 && hasImage()) image_.MirrorImage((flip & 1) != 0, (flip & 2) != 0);
    mirror_ = value;
    refreshAll();
    changed("Mirror");
}

void aicAlphaImage::InversedImage(bool value) {
    if (value == InversedImage()) return;
    flags_ ^= kInversedImage;
    if (hasImage()) image_.MakeImageInverse();
    refreshRedrawBuffer(false);
    repaint();
    changed("InversedImage");
}

void aicAlphaImage::KeepOriginalFormat(bool value) {
    if (value == KeepOriginalFormat()) return;
    flags_ ^= kKeepOriginalFormat;
    changed("KeepOriginalFormat");
}

void aicAlphaImage::grayScale(std::int32_t value) {
    // Kept as the formula: the value minus 1.
    if (value == INT32_MIN) return;
    const auto formula = accepted(Stored::GrayScale, value - 1);
    if (!formula || *formula == grayFormula_) return;
    grayFormula_ = *formula;
    repaint();
    changed("GrayScale");
}

void aicAlphaImage::RotateEnabled(bool value) {
    if (value == RotateEnabled()) return;
    flags_ ^= kRotateEnabled;
    reLayOut();
    changed("RotateEnabled");
}

void aicAlphaImage::Rotation(std::int32_t value) {
    // The sign stays: -90 is -90.
    const auto angle = accepted(Stored::Angle, value);
    if (!angle || *angle == rotation_) return;
    rotation_ = *angle;
    if (!RotateEnabled()) return; // kept for when rotation is switched on
    refreshAll();
    changed("Rotation");
}

void aicAlphaImage::IntensityOffset(float value) {
    // Written so that NaN fails the test.
    const velmora::StoredProperty& range = velmora::stored(Stored::Intensity);
    if (!(value >= static_cast<float>(range.minimum) &&
          value <= static_cast<float>(range.maximum)) ||
        value == intensity_)
        return;
    intensity_ = value;
    repaint();
    changed("Intensity");
}

void aicAlphaImage::HitTest(std::int32_t value) {
    if (!accepted(Stored::HitTest, value) || value == hitTestMode_) return;
    hitTestMode_ = value;
    rebuildHitArea();
    changed("HitTest");
}

void aicAlphaImage::MaskColor(std::int32_t value) {
    maskColor_ = value;
    if (maskActive_ && maskSource_ == 1) {
        // Without an image the colour is recorded for the next load to
        // make transparent.
        if (hasImage()) undoMask();
        appliedMask_ = value;
        if (hasImage()) {
            const COLORREF key = TranslateColor(value) ^ (InversedImage() ? 0xFFFFFFu : 0u);
            image_.MakeTransparent(key, false);
            refreshAll();
        }
    }
    changed("MaskColor");
}

void aicAlphaImage::MaskUsed(std::int32_t value) {
    if (image_.Alpha() && !maskActive_) return; // the image has its own transparency
    if (!accepted(Stored::MaskSource, value) || value == maskSource_ || !hasImage()) return;
    if (maskActive_) undoMask();
    if (value == 0) {
        maskActive_ = false;
    } else {
        COLORREF key = 0;
        if (value == 1) {
            appliedMask_ = maskColor_;
            key = TranslateColor(maskColor_) ^ (InversedImage() ? 0xFFFFFFu : 0u);
        } else {
            const std::int32_t right = image_.Width() - 1;
            const std::int32_t bottom = image_.Height() - 1;
            const std::int32_t x = (value == 3 || value == 5) ? right : 0;
            const std::int32_t y = (value == 4 || value == 5) ? bottom : 0;
            std::int32_t alpha = 0;
            const std::int32_t pixel = image_.GetPixel(x, y, alpha);
            key = static_cast<COLORREF>(pixel) & 0xFFFFFF;
            // The recorded colour is always the uninverted image's.
            appliedMask_ = static_cast<std::int32_t>(InversedImage() ? key ^ 0xFFFFFFu : key);
        }
        maskActive_ = true;
        image_.MakeTransparent(key, false);
    }
    refreshAll();
    maskSource_ = value;
    changed("MaskUsed");
}

void aicAlphaImage::ShadowEnabled(bool value) {
    if (value == ShadowEnabled()) return;
    flags_ ^= kShadowEnabled;
    rebuildShadow();
    repaint();
    changed("ShadowEnabled");
}

void aicAlphaImage::ShadowColor(std::int32_t value) {
    if (value == shadowColor_) return;
    shadowColor_ = value;
    rebuildShadow();
    repaint();
    changed("ShadowColor");
}

void aicAlphaImage::ShadowOffsetX(std::int32_t value) {
    if (!accepted(Stored::ShadowX, value) || value == shadowOffsetX_) return;
    shadowOffsetX_ = value;
    shadowMoved();
    if (ShadowEnabled()) repaint();
    changed("ShadowOffsetX");
}

void aicAlphaImage::ShadowOffsetY(std::int32_t value) {
    if (!accepted(Stored::ShadowY, value) || value == shadowOffsetY_) return;
    shadowOffsetY_ = value;
    shadowMoved();
    if (ShadowEnabled()) repaint();
    changed("ShadowOffsetY");
}

void aicAlphaImage::ShadowDepth(std::int32_t value) {
    if (!accepted(Stored::ShadowDepth, value) || value == shadowDepth_) return;
    shadowDepth_ = value;
    rebuildShadow();
    repaint();
    changed("ShadowDepth");
}

void aicAlphaImage::ShadowOpacity(std::int32_t value) {
    if (!accepted(Stored::ShadowOpacity, value) || value == shadowOpacity_) return;
    shadowOpacity_ = value;
    if (ShadowEnabled()) repaint();
    changed("ShadowOpacity");
}

void aicAlphaImage::Enabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    site_.SetEnabled(value);
    if (site_.UserMode()) {
        if (value) {
            if (link_) link_->AddRef(identity());
        } else {
            stopTracking();
            if (link_) link_->RemoveRef(identity());
        }
        rebuildHitArea();
    }
    changed("Enabled");
}

void aicAlphaImage::MousePointer(std::int32_t value) {
    // The store keeps 16 bits.
    if (!accepted(Stored::MPointer, value)) return;
    mousePointer_ = value;
    site_.SetMousePointer(static_cast<std::int16_t>(value), mouseIconHandle_);
    changed("MousePointer");
}

void aicAlphaImage::MouseIcon(std::vector<std::uint8_t> pictureFile) {
    mouseIcon_ = std::move(pictureFile);
    makeMouseIconHandle();
    site_.SetMousePointer(static_cast<std::int16_t>(mousePointer_), mouseIconHandle_);
    changed("MouseIcon");
}

void aicAlphaImage::makeMouseIconHandle() {
    if (mouseIconHandle_ != 0) DestroyIcon(mouseIconHandle_);
    // A picture that makes no pointer (a bitmap, damaged bytes) is kept as
    // it is and shows the standard pointer.
    mouseIconHandle_ = mouseIcon_.empty() ? 0 : CreateIconFromFile(mouseIcon_, 32, 32);
}

void aicAlphaImage::OLEDropMode(std::int32_t value) {
    if (!accepted(Stored::OLEdrop, value)) return;
    oleDropMode_ = value;
    site_.SetOLEDropMode(static_cast<std::int16_t>(value));
    changed("OLEDropMode");
}

std::int32_t aicAlphaImage::ImageType() const {
    switch (savedImageKind()) {
    case SavedImage::None:
        return 0;
    case SavedImage::OriginalBytes: {
        // A picture without a file of its own (a picture object, the
        // clipboard, a handle) keeps a bitmap file the control wrote, and
        // is stored as that: a source that was itself a bitmap file is
        // stored from its pixels and never gets here.
        const std::vector<std::uint8_t>& kept = image_.originalFormatBytes();
        constexpr std::size_t kBitCountAt = 28; // in the file and info headers
        if (kept.size() > kBitCountAt + 1 && kept[0] == 'B' && kept[1] == 'M')
            return kept[kBitCountAt] == 32 ? modParsers::itBitmapPremultiplied
                                           : modParsers::itBitmap;
        return image_.ImageType();
    }
    case SavedImage::Png:
        return modParsers::itPNG;
    case SavedImage::Bitmap:
        // Saved with the mask undone, which leaves no alpha of its own.
        return image_.Alpha() && !maskActive_ ? modParsers::itBitmapPremultiplied
                                              : modParsers::itBitmap;
    }
    return 0;
}

bool aicAlphaImage::GDIplusInitialized() const {
    return link_ && link_->gdiToken() != 0;
}

bool aicAlphaImage::hasImage() const {
    return image_.Handle() != 0 && image_.ImageType() != modParsers::itCheckerBoard;
}

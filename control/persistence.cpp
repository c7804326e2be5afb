// Saving and restoring the control through its container's property store.
// A value equal to its default is not written, and a missing key reads as
// its default, so a store holds only what differs from a fresh control.

#include "control/aic_alpha_image.h"
#include "platform/gdi/sys_colors.h"
#include "surface/image_types.h"

#include <cmath>

using namespace platform;

namespace {

constexpr std::int32_t kDefaultMaskColor = static_cast<std::int32_t>(0x8000000F);
constexpr std::int32_t kDefaultShadowColor = 0x404040;
// Props of a store without the key: StretchQuality alone.
constexpr std::int32_t kStoredPropsDefault = 1;
// The container's scale mode when it cannot be read (user-defined).
constexpr std::int32_t kUnknownScaleMode = 9;

using Bytes = std::vector<std::uint8_t>;

std::int32_t readInt(const PropertyStore& store, const char* key, std::int32_t fallback) {
    return store.ReadProperty<std::int32_t>(key, fallback);
}
// Keys whose values were written as 16-bit numbers read back as such.
std::int32_t readShort(const PropertyStore& store, const char* key, std::int32_t fallback) {
    return static_cast<std::int16_t>(store.ReadProperty<std::int32_t>(key, fallback));
}
// A stored value outside what the setter accepts is a damaged store: the
// default is taken instead, so the drawing code never sees it.
std::int32_t within(std::int32_t value, std::int32_t low, std::int32_t high,
                    std::int32_t fallback) {
    return value >= low && value <= high ? value : fallback;
}

} // namespace

void aicAlphaImage::readScaleMode() {
    scaleMode_ = site_.ScaleMode().value_or(kUnknownScaleMode);
}

void aicAlphaImage::InitProperties() {
    resetLink();
    opacity_ = 100;
    grayFormula_ = -1;
    scaleMethod_ = 0;
    maskColor_ = kDefaultMaskColor;
    flags_ = kStretchQuality | kAutoSize;
    shadowColor_ = kDefaultShadowColor;
    shadowOffsetX_ = 2;
    shadowOffsetY_ = 2;
    shadowDepth_ = 2;
    shadowOpacity_ = 50;
    image_.HighQualityInterpolation(true);
    readScaleMode();
    layOut();
}

void aicAlphaImage::ReadProperties(const PropertyStore& store) {
    resetLink();

    const Bytes imageBytes = store.ReadProperty("Image", Bytes{});
    scaleMethod_ = within(readInt(store, "Scaler", 0), 0, 4, 0);
    {
        const std::int32_t opacity = readShort(store, "Opacity", 100);
        opacity_ = within(opacity, 0, 100, 100);
    }
    mirror_ = within(readInt(store, "Mirror", 0), 0, 3, 0);
    rotation_ = readInt(store, "Angle", 0) % 360;
    grayFormula_ = within(readInt(store, "GrayScale", -1), -1, 7, -1);
    hitTestMode_ = within(readInt(store, "HitTest", 0), 0, 3, 0);
    // The redraw buffer is a run-time thing; step 6 below sets its bit.
    flags_ =
        static_cast<std::uint32_t>(readInt(store, "Props", kStoredPropsDefault)) & ~kRedrawInUse;
    maskActive_ = store.ReadProperty("MaskUsed", false);
    maskColor_ = readInt(store, "MaskColor", kDefaultMaskColor);
    maskSource_ = within(readInt(store, "MaskSource", 0), 0, 5, 0);
    appliedMask_ = maskActive_ ? readInt(store, "Mask", kDefaultMaskColor) : kDefaultMaskColor;
    if (maskActive_ && maskSource_ == 0) maskSource_ = 1; // an active mask has a source

    enabled_ = store.ReadProperty("Enabled", true);
    mouseIcon_ = store.ReadProperty("MIcon", Bytes{});
    mousePointer_ = readShort(store, "MPointer", 0);
    oleDropMode_ = readShort(store, "OLEdrop", 0);
    if (scaleMethod_ == 4) {
        layout_.width = std::max(readInt(store, "ScaleCx", 0), 0);
        layout_.height = std::max(readInt(store, "ScaleCy", 0), 0);
    }

    shadowColor_ = readInt(store, "ShadowColor", kDefaultShadowColor);
    shadowDepth_ = within(readShort(store, "ShadowDepth", 2), 0, 10, 2);
    shadowOffsetX_ = readShort(store, "ShadowX", 2);
    shadowOffsetY_ = readShort(store, "ShadowY", 2);
    shadowOpacity_ = within(readShort(store, "ShadowOpacity", 50), 0, 100, 50);
    {
        const float intensity = store.ReadProperty<float>("Intensity", 0.0f);
        intensity_ = intensity >= -100.0f && intensity <= 100.0f ? intensity : 0.0f;
    }

    // The pass-through settings go to the container as they are.
    site_.SetEnabled(enabled_);
    makeMouseIconHandle();
    site_.SetMousePointer(static_cast<std::int16_t>(mousePointer_), mouseIconHandle_);
    site_.SetOLEDropMode(static_cast<std::int16_t>(oleDropMode_));

    readScaleMode();
    image_.HighQualityInterpolation(StretchQuality());

    releaseRedrawBuffer();
    shadow_.reset();
    const bool keepSource = !site_.UserMode() || KeepOriginalFormat();
    if (image_.LoadPicture_Stream(imageBytes, innerWidth(), innerHeight(), 0, 0, keepSource, 32)) {
        if (maskActive_ && image_.Alpha()) {
            // Saving stores the picture without its mask, so a stored
            // picture with transparency of its own never had one: undoing
            // it later would paint over that transparency.
            maskActive_ = false;
            maskSource_ = 0;
            appliedMask_ = kDefaultMaskColor;
        }
        applyDisplayEffects();
        if (AutoRedraw() && site_.UserMode()) {
            flags_ |= kRedrawInUse;
            if (!refreshRedrawBuffer(true)) rebuildHitArea();
        }
        if (ShadowEnabled()) rebuildShadow();
    } else {
        // No image: neutral display settings, but the quality and format
        // choices stay.
        if (scaleMethod_ == 4) scaleMethod_ = 0;
        flags_ &= kStretchQuality | kKeepOriginalFormat;
        rotation_ = 0;
        opacity_ = 100;
        mirror_ = 0;
        layout_.width = 0;
        layout_.height = 0;
    }
    layOut();
}

void aicAlphaImage::WriteProperties(PropertyStore& store) {
    // A fresh store each time, in the order of the key table.
    store.clear();
    Bytes imageBytes;
    writeImageBytes(imageBytes);
    store.WriteProperty("Image", std::move(imageBytes));
    store.WriteProperty<std::int32_t>("Scaler", scaleMethod_, 0);
    store.WriteProperty<std::int32_t>("Opacity", opacity_, 100);
    store.WriteProperty<std::int32_t>("Mirror", mirror_, 0);
    store.WriteProperty<std::int32_t>("Angle", rotation_, 0);
    store.WriteProperty<bool>("Enabled", enabled_, true);
    store.WriteProperty<std::int32_t>("MPointer", static_cast<std::int16_t>(mousePointer_), 0);
    store.WriteProperty<std::int32_t>("OLEdrop", static_cast<std::int16_t>(oleDropMode_), 0);
    if (!mouseIcon_.empty()) store.WriteProperty("MIcon", mouseIcon_);
    store.WriteProperty<std::int32_t>("GrayScale", grayFormula_, -1);
    store.WriteProperty<std::int32_t>("HitTest", hitTestMode_, 0);
    store.WriteProperty<std::int32_t>("Props", props(), kStoredPropsDefault);
    store.WriteProperty<bool>("MaskUsed", maskActive_, false);
    store.WriteProperty<std::int32_t>("MaskColor", maskColor_, kDefaultMaskColor);
    store.WriteProperty<std::int32_t>("MaskSource", maskSource_, 0);
    if (maskActive_) store.WriteProperty<std::int32_t>("Mask", appliedMask_, kDefaultMaskColor);
    store.WriteProperty<std::int32_t>("ShadowColor", shadowColor_, kDefaultShadowColor);
    store.WriteProperty<std::int32_t>("ShadowDepth", shadowDepth_, 2);
    store.WriteProperty<std::int32_t>("ShadowX", shadowOffsetX_, 2);
    store.WriteProperty<std::int32_t>("ShadowY", shadowOffsetY_, 2);
    store.WriteProperty<std::int32_t>("ShadowOpacity", shadowOpacity_, 50);
    store.WriteProperty<float>("Intensity", intensity_, 0.0f);
    if (scaleMethod_ == 4) {
        store.WriteProperty<std::int32_t>("ScaleCx", layout_.width, 0);
        store.WriteProperty<std::int32_t>("ScaleCy", layout_.height, 0);
    }
}

bool aicAlphaImage::encoderAvailable() const {
    return image_.isGDIplusEnabled() || image_.isZlibEnabled();
}

aicAlphaImage::SavedImage aicAlphaImage::savedImageKind() const {
    if (!hasImage()) return SavedImage::None; // the design-time checkerboard included
    const std::int32_t type = image_.ImageType();
    const bool bitmapType = type == modParsers::itBitmap || type == modParsers::itBitmapAlpha ||
                            type == modParsers::itBitmapPremultiplied;
    if (!bitmapType && !image_.originalFormatBytes().empty()) return SavedImage::OriginalBytes;
    // Bitmaps, and images whose source bytes were not kept, are stored as
    // their pixels: PNG where an encoder exists, a bitmap file where not,
    // rather than nothing.
    return encoderAvailable() ? SavedImage::Png : SavedImage::Bitmap;
}

void aicAlphaImage::writeImageBytes(Bytes& out) {
    out.clear();
    const SavedImage kind = savedImageKind();
    if (kind == SavedImage::None) return;
    if (kind == SavedImage::OriginalBytes) {
        image_.GetOrginalFormat(out);
        return;
    }
    // The pixels as they were loaded, so that restoring and re-applying the
    // settings gives the same picture; then back to what is shown, since
    // saving must not change the display.
    undoDisplayEffects();
    const bool saved =
        kind == SavedImage::Png ? image_.SaveToStream_PNG(out) : image_.SaveToStream(out);
    if (!saved) out.clear();
    applyDisplayEffects();
}

void aicAlphaImage::applyDisplayEffects() {
    if (!hasImage()) return;
    if (mirror_ != 0) image_.MirrorImage((mirror_ & 1) != 0, (mirror_ & 2) != 0);
    if (maskActive_) image_.MakeTransparent(TranslateColor(appliedMask_), false);
    if (InversedImage()) image_.MakeImageInverse();
}

void aicAlphaImage::undoDisplayEffects() {
    if (!hasImage()) return;
    if (mirror_ != 0) image_.MirrorImage((mirror_ & 1) != 0, (mirror_ & 2) != 0);
    if (maskActive_) undoMask();
    if (InversedImage()) image_.MakeImageInverse();
}

void aicAlphaImage::undoMask() {
    // Every fully transparent pixel becomes the mask colour again, opaque,
    // in the colours shown (inverted while the image is).
    const COLORREF key = TranslateColor(appliedMask_) ^ (InversedImage() ? 0xFFFFFFu : 0u);
    image_.MakeTransparent(key, true);
}

// Saving and restoring the control through its container's property store.
// A value equal to its default is not written, and a missing key reads as
// its default, so a store holds only what differs from a fresh control.

#include "control/aic_alpha_image.h"
#include "control/property_table.h"
#include "platform/gdi/sys_colors.h"
#include "surface/image_types.h"

#include <cmath>

using namespace platform;

using velmora::Stored;
using velmora::StoredProperty;
using velmora::StoredWidth;

namespace {

// The container's scale mode when it cannot be read (user-defined).
constexpr std::int32_t kUnknownScaleMode = 9;

using Bytes = std::vector<std::uint8_t>;

const StoredProperty& row(Stored key) {
    return velmora::stored(key);
}

// A number or flag as its key's width keeps it. A stored value the setter
// would ignore is a damaged store: the default is taken instead, so the
// drawing code never sees it; a value the setter folds into range (Opacity
// 150, Angle 725) is folded as the setter would.
std::int32_t readValue(const PropertyStore& store, Stored key) {
    const StoredProperty& p = row(key);
    std::int32_t value = 0;
    switch (p.width) {
    case StoredWidth::Boolean:
        value = store.ReadProperty<bool>(p.key, p.storedDefault != 0) ? 1 : 0;
        break;
    case StoredWidth::Int16:
        value = static_cast<std::int16_t>(store.ReadProperty<std::int32_t>(p.key, p.storedDefault));
        break;
    default:
        value = store.ReadProperty<std::int32_t>(p.key, p.storedDefault);
        break;
    }
    return velmora::Accept(p, value).value_or(p.storedDefault);
}

bool readFlag(const PropertyStore& store, Stored key) {
    return readValue(store, key) != 0;
}

float readSingle(const PropertyStore& store, Stored key) {
    const StoredProperty& p = row(key);
    const float fallback = static_cast<float>(p.storedDefault);
    const float value = store.ReadProperty<float>(p.key, fallback);
    return value >= static_cast<float>(p.minimum) && value <= static_cast<float>(p.maximum)
               ? value
               : fallback;
}

// Defaults are not written (and a key holding one is removed).
void writeValue(PropertyStore& store, Stored key, std::int32_t value) {
    const StoredProperty& p = row(key);
    if (p.width == StoredWidth::Boolean)
        store.WriteProperty<bool>(p.key, value != 0, p.storedDefault != 0);
    else
        store.WriteProperty<std::int32_t>(p.key, value, p.storedDefault);
}

void writeSingle(PropertyStore& store, Stored key, float value) {
    store.WriteProperty<float>(row(key).key, value, static_cast<float>(row(key).storedDefault));
}

} // namespace

void aicAlphaImage::readScaleMode() {
    scaleMode_ = site_.ScaleMode().value_or(kUnknownScaleMode);
}

void aicAlphaImage::InitProperties() {
    resetLink();
    opacity_ = initial(Stored::Opacity);
    grayFormula_ = initial(Stored::GrayScale);
    scaleMethod_ = initial(Stored::Scaler);
    maskColor_ = initial(Stored::MaskColor);
    flags_ = static_cast<std::uint32_t>(initial(Stored::Props));
    shadowColor_ = initial(Stored::ShadowColor);
    shadowOffsetX_ = initial(Stored::ShadowX);
    shadowOffsetY_ = initial(Stored::ShadowY);
    shadowDepth_ = initial(Stored::ShadowDepth);
    shadowOpacity_ = initial(Stored::ShadowOpacity);
    unreadImage_.clear();
    unknownProperties_.clear();
    image_.HighQualityInterpolation(true);
    readScaleMode();
    layOut();
}

void aicAlphaImage::ReadProperties(const PropertyStore& store) {
    resetLink();

    const Bytes imageBytes = store.ReadProperty(row(Stored::Image).key, Bytes{});
    scaleMethod_ = readValue(store, Stored::Scaler);
    opacity_ = readValue(store, Stored::Opacity);
    mirror_ = readValue(store, Stored::Mirror);
    rotation_ = readValue(store, Stored::Angle);
    grayFormula_ = readValue(store, Stored::GrayScale);
    hitTestMode_ = readValue(store, Stored::HitTest);
    flags_ = static_cast<std::uint32_t>(readValue(store, Stored::Props)) & ~kRedrawInUse;
    maskActive_ = readFlag(store, Stored::MaskUsed);
    maskColor_ = readValue(store, Stored::MaskColor);
    maskSource_ = readValue(store, Stored::MaskSource);
    appliedMask_ = maskActive_ ? readValue(store, Stored::Mask) : row(Stored::Mask).storedDefault;
    if (maskActive_ && maskSource_ == 0) maskSource_ = 1; // an active mask has a source

    enabled_ = readFlag(store, Stored::Enabled);
    mouseIcon_ = store.ReadProperty(row(Stored::MIcon).key, Bytes{});
    mousePointer_ = readValue(store, Stored::MPointer);
    oleDropMode_ = readValue(store, Stored::OLEdrop);
    if (scaleMethod_ == 4) {
        frozenWidth_ = readValue(store, Stored::ScaleCx);
        frozenHeight_ = readValue(store, Stored::ScaleCy);
    }

    shadowColor_ = readValue(store, Stored::ShadowColor);
    shadowDepth_ = readValue(store, Stored::ShadowDepth);
    shadowOffsetX_ = readValue(store, Stored::ShadowX);
    shadowOffsetY_ = readValue(store, Stored::ShadowY);
    shadowOpacity_ = readValue(store, Stored::ShadowOpacity);
    intensity_ = readSingle(store, Stored::Intensity);

    // Keys of later versions go back into the store as they came.
    unknownProperties_.clear();
    for (const std::string& name : store.names())
        if (velmora::FindStoredProperty(name) == nullptr)
            unknownProperties_.emplace_back(name, *store.find(name));

    // The pass-through settings go to the container as they are.
    site_.SetEnabled(enabled_);
    makeMouseIconHandle();
    site_.SetMousePointer(static_cast<std::int16_t>(mousePointer_), mouseIconHandle_);
    site_.SetOLEDropMode(static_cast<std::int16_t>(oleDropMode_));

    readScaleMode();
    image_.HighQualityInterpolation(StretchQuality());

    releaseRedrawBuffer();
    shadow_.reset();
    unreadImage_.clear();
    const bool keepSource = !site_.UserMode() || KeepOriginalFormat();
    if (image_.LoadPicture_Stream(imageBytes, innerWidth(), innerHeight(), 0, 0, keepSource, 32)) {
        if (maskActive_ && image_.Alpha()) {
            // Saving stores the picture without its mask, so a stored
            // picture with transparency of its own never had one: undoing
            // it later would paint over that transparency.
            maskActive_ = false;
            maskSource_ = 0;
            appliedMask_ = row(Stored::Mask).storedDefault;
        }
        applyDisplayEffects();
        if (redrawWanted() && !refreshRedrawBuffer(true)) rebuildHitArea();
        if (ShadowEnabled()) rebuildShadow();
    } else {
        // No picture, or one this machine cannot decode (damaged bytes, a
        // format whose library is missing): the control shows no image,
        // but everything the store held stays, and is saved as it was
        // read, the picture's bytes included.
        unreadImage_ = imageBytes;
    }
    layOut();
}

void aicAlphaImage::WriteProperties(PropertyStore& store) {
    // A fresh store each time, in the order of the key table.
    store.clear();
    Bytes imageBytes;
    writeImageBytes(imageBytes);
    store.WriteProperty(row(Stored::Image).key, std::move(imageBytes));
    writeValue(store, Stored::Scaler, scaleMethod_);
    writeValue(store, Stored::Opacity, opacity_);
    writeValue(store, Stored::Mirror, mirror_);
    writeValue(store, Stored::Angle, rotation_);
    writeValue(store, Stored::Enabled, enabled_ ? 1 : 0);
    writeValue(store, Stored::MPointer, mousePointer_);
    writeValue(store, Stored::OLEdrop, oleDropMode_);
    if (!mouseIcon_.empty()) store.WriteProperty(row(Stored::MIcon).key, mouseIcon_);
    writeValue(store, Stored::GrayScale, grayFormula_);
    writeValue(store, Stored::HitTest, hitTestMode_);
    writeValue(store, Stored::Props, props());
    writeValue(store, Stored::MaskUsed, maskActive_ ? 1 : 0);
    writeValue(store, Stored::MaskColor, maskColor_);
    writeValue(store, Stored::MaskSource, maskSource_);
    if (maskActive_) writeValue(store, Stored::Mask, appliedMask_);
    writeValue(store, Stored::ShadowColor, shadowColor_);
    writeValue(store, Stored::ShadowDepth, shadowDepth_);
    writeValue(store, Stored::ShadowX, shadowOffsetX_);
    writeValue(store, Stored::ShadowY, shadowOffsetY_);
    writeValue(store, Stored::ShadowOpacity, shadowOpacity_);
    writeSingle(store, Stored::Intensity, intensity_);
    if (scaleMethod_ == 4) {
        writeValue(store, Stored::ScaleCx, frozenWidth_);
        writeValue(store, Stored::ScaleCy, frozenHeight_);
    }
    for (const auto& [name, value] : unknownProperties_)
        store.set(name, value);
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
    if (kind == SavedImage::None) {
        out = unreadImage_;
        return;
    }
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

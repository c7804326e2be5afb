// Putting images into the control and taking their pixels out: the seven
// loading methods, clearing, the pixel exchange and the design-time page's
// source image.

#include "control/aic_alpha_image.h"
#include "platform/gdi/sys_colors.h"
#include "surface/image_types.h"

#include <exception>

using namespace platform;

namespace {

// Runs a load; a failure that escapes the surface ends it as a failed load.
template <typename Load>
bool guarded(Load&& load) {
    try {
        return load();
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

void aicAlphaImage::resolveDesired(std::int32_t& width, std::int32_t& height,
                                   std::int32_t& depth) const {
    if (width < 1) width = innerWidth();
    if (height < 1) height = innerHeight();
    if (depth < 1) depth = 32;
}

bool aicAlphaImage::LoadImage_FromArray(std::span<const std::uint8_t> inStream,
                                        std::int32_t& desiredIconWidth,
                                        std::int32_t& desiredIconHeight,
                                        std::int32_t& desiredIconBitDepth) {
    resolveDesired(desiredIconWidth, desiredIconHeight, desiredIconBitDepth);
    if (!guarded([&] {
            return image_.LoadPicture_Stream(inStream, desiredIconWidth, desiredIconHeight, 0, 0,
                                             KeepOriginalFormat(), desiredIconBitDepth);
        }))
        return false;
    afterLoad();
    return true;
}

bool aicAlphaImage::LoadImage_FromFile(const std::string& FileName, std::int32_t& desiredIconWidth,
                                       std::int32_t& desiredIconHeight,
                                       std::int32_t& desiredIconBitDepth) {
    resolveDesired(desiredIconWidth, desiredIconHeight, desiredIconBitDepth);
    if (!guarded([&] {
            return image_.LoadPicture_File(FileName, desiredIconWidth, desiredIconHeight,
                                           KeepOriginalFormat(), desiredIconBitDepth);
        }))
        return false;
    afterLoad();
    return true;
}

bool aicAlphaImage::LoadImage_FromResource(const ResourceModule* resourceOwner,
                                           const ResourceName& ResSection,
                                           const ResourceName& ResID,
                                           std::int32_t& desiredIconWidth,
                                           std::int32_t& desiredIconHeight,
                                           std::int32_t& desiredIconBitDepth) {
    resolveDesired(desiredIconWidth, desiredIconHeight, desiredIconBitDepth);
    if (!guarded([&] {
            return image_.LoadPicture_Resource(ResID, ResSection, resourceOwner, desiredIconWidth,
                                               desiredIconHeight, 0, 0, desiredIconBitDepth);
        }))
        return false;
    afterLoad();
    return true;
}

bool aicAlphaImage::LoadImage_FromOrignalBytes(std::int32_t& desiredIconWidth,
                                               std::int32_t& desiredIconHeight,
                                               std::int32_t& desiredIconBitDepth) {
    resolveDesired(desiredIconWidth, desiredIconHeight, desiredIconBitDepth);
    if (!guarded([&] {
            return image_.LoadPicture_FromOrignalFormat(desiredIconWidth, desiredIconHeight,
                                                        desiredIconBitDepth);
        }))
        return false;
    afterLoad();
    return true;
}

bool aicAlphaImage::LoadImage_FromStdPicture(const Picture* stdPic) {
    if (!guarded([&] { return image_.LoadPicture_StdPicture(stdPic); })) return false;
    keepSavedFormat();
    afterLoad();
    return true;
}

bool aicAlphaImage::LoadImage_FromClipboard() {
    if (!guarded([&] { return image_.LoadPicture_ClipBoard(); })) return false;
    keepSavedFormat();
    afterLoad();
    return true;
}

bool aicAlphaImage::LoadImage_FromHandle(HGDIOBJ Handle) {
    if (!guarded([&] { return image_.LoadPicture_ByHandle(Handle); })) return false;
    keepSavedFormat();
    afterLoad();
    return true;
}

void aicAlphaImage::keepSavedFormat() {
    // Sources that have no bytes of their own keep the picture as a bitmap
    // file, so that it can be saved and loaded again later.
    if (!KeepOriginalFormat()) return;
    std::vector<std::uint8_t> bytes;
    if (image_.SaveToStream(bytes)) image_.setOriginalFormatBytes(std::move(bytes));
}

void aicAlphaImage::afterLoad() {
    if (hasImage()) {
        unreadImage_.clear(); // the stored picture has been replaced
        if (mirror_ != 0) image_.MirrorImage((mirror_ & 1) != 0, (mirror_ & 2) != 0);
        if (maskActive_) {
            if (!image_.Alpha()) {
                if (maskSource_ >= 2) {
                    // The corner pixel of the new image, before any inversion.
                    const std::int32_t x =
                        (maskSource_ == 3 || maskSource_ == 5) ? image_.Width() - 1 : 0;
                    const std::int32_t y =
                        (maskSource_ == 4 || maskSource_ == 5) ? image_.Height() - 1 : 0;
                    std::int32_t alpha = 0;
                    appliedMask_ = image_.GetPixel(x, y, alpha) & 0xFFFFFF;
                }
                image_.MakeTransparent(TranslateColor(appliedMask_), false);
            } else {
                // The new image brings its own transparency.
                maskActive_ = false;
                maskSource_ = 0;
                changed("MaskUsed");
            }
        }
        if (InversedImage()) image_.MakeImageInverse();
    }
    reLayOut();
}

void aicAlphaImage::ClearImage() {
    releaseRedrawBuffer();
    image_.DestroyDIB();
    shadow_.reset();
    unreadImage_.clear();
    if (site_.UserMode()) {
        // The old image's opaque pixels take the pointer no more.
        rebuildHitArea();
        repaint();
    } else {
        // The design-time placeholder takes the image's place.
        reLayOut();
    }
}

void aicAlphaImage::Refresh() {
    readScaleMode();
    repaint();
}

bool aicAlphaImage::GetImageBytes(std::vector<std::uint8_t>& imgBytes, std::int32_t& scanWidth,
                                  bool asArray2D, bool asBGRformat, bool asBottomUp,
                                  bool asPreMultiplied, bool asFileFormat) const {
    if (!hasImage()) return false;
    if (asFileFormat) {
        if (image_.GetOrginalFormat(imgBytes)) return true;
        return encoderAvailable() ? image_.SaveToStream_PNG(imgBytes)
                                  : image_.SaveToStream(imgBytes);
    }
    scanWidth = image_.scanWidth();
    return image_.GetDIBbits(imgBytes, asArray2D, asBGRformat, true, true, asBottomUp, 0, 0, 0, 0,
                             asPreMultiplied);
}

bool aicAlphaImage::SetImageBytes(std::span<const std::uint8_t> imgBytes, bool isBGRformat,
                                  bool isBottomUp) {
    if (!hasImage()) return false;
    // A short array would leave the image half replaced.
    if (imgBytes.size() < image_.pixels().size()) return false;
    if (!image_.SetDIBbits(imgBytes, isBGRformat, true, true, isBottomUp)) return false;
    // The kept source bytes no longer describe the image: saving stores
    // the new pixels.
    image_.setOriginalFormatBytes({});
    refreshAll();
    return true;
}

bool aicAlphaImage::GetSourceBytes(std::vector<std::uint8_t>& outBytes) const {
    if (image_.ImageType() == modParsers::itCheckerBoard) return false;
    return image_.GetOrginalFormat(outBytes);
}

void aicAlphaImage::SetSourceImage(std::span<const std::uint8_t> inBytes, std::int32_t iconWidth,
                                   std::int32_t iconHeight, std::int32_t iconBitDepth) {
    guarded([&] {
        return image_.LoadPicture_Stream(inBytes, iconWidth, iconHeight, 0, 0, true, iconBitDepth);
    });
    // The control takes the image's own size: actual size with AutoSize,
    // then the developer's settings come back.
    const std::int32_t method = scaleMethod_;
    const bool autoSize = AutoSize();
    scaleMethod_ = 3;
    flags_ |= kAutoSize;
    afterLoad();
    scaleMethod_ = method;
    if (!autoSize) flags_ &= ~kAutoSize;
    changed("ScaleMethod");
}

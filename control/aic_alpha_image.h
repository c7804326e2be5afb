#pragma once
// aicAlphaImage: a windowless control that shows one image with per-pixel
// alpha over whatever lies behind it, scaled, rotated, mirrored, inverted,
// greyed, lightened, faded and with a drop shadow. It owns the image's
// surface, keeps its settings as persisted properties and shares one link
// (cCrossComm) with the other image controls of its container.
//
// The container drives it through WindowlessControl; everything it needs
// of the container comes through the ContainerSite it is given, which must
// outlive it.

#include "control/property_table.h"
#include "dib/c32bppdib.h"
#include "platform/host/ccrosscomm.h"
#include "platform/host/container_site.h"
#include "platform/host/property_store.h"
#include "platform/resources/resources.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class aicAlphaImage final : public platform::WindowlessControl, public platform::ICrossComm {
public:
    // The type name containers list the control under; the link is shared
    // with the first control of this name.
    static constexpr const char* kTypeName = "aicAlphaImage";

    explicit aicAlphaImage(platform::ContainerSite& site);
    ~aicAlphaImage() override;
    aicAlphaImage(const aicAlphaImage&) = delete;
    aicAlphaImage& operator=(const aicAlphaImage&) = delete;

    // --- properties ----------------------------------------------------------------
    bool AutoRedraw() const { return (flags_ & kAutoRedraw) != 0; }
    void AutoRedraw(bool value);
    bool AutoSize() const { return (flags_ & kAutoSize) != 0; }
    void AutoSize(bool value);
    bool StretchQuality() const { return (flags_ & kStretchQuality) != 0; }
    void StretchQuality(bool value);
    // 0 scale to fit, 1 stretch, 2 shrink only, 3 actual size, 4 frozen size.
    std::int32_t ScaleMethod() const { return scaleMethod_; }
    void ScaleMethod(std::int32_t value);
    std::int32_t Opacity() const { return opacity_; }
    void Opacity(std::int32_t value);
    // Bit 0 horizontally, bit 1 vertically.
    std::int32_t Mirror() const { return mirror_; }
    void Mirror(std::int32_t value);
    bool InversedImage() const { return (flags_ & kInversedImage) != 0; }
    void InversedImage(bool value);
    bool KeepOriginalFormat() const { return (flags_ & kKeepOriginalFormat) != 0; }
    void KeepOriginalFormat(bool value);
    // 0 no grey, 1 to 8 the grey formulas.
    std::int32_t grayScale() const { return grayFormula_ + 1; }
    void grayScale(std::int32_t value);
    bool RotateEnabled() const { return (flags_ & kRotateEnabled) != 0; }
    void RotateEnabled(bool value);
    // Degrees.
    std::int32_t Rotation() const { return rotation_; }
    void Rotation(std::int32_t value);
    float IntensityOffset() const { return intensity_; }
    void IntensityOffset(float value);
    // 0 the whole control, 1 the image's bounds, 2 and 3 its opaque pixels.
    std::int32_t HitTest() const { return hitTestMode_; }
    void HitTest(std::int32_t value);
    // A colour; negative values name system colours.
    std::int32_t MaskColor() const { return maskColor_; }
    void MaskColor(std::int32_t value);
    // Where the colour made transparent comes from: 0 no mask, 1 MaskColor,
    // 2 to 5 the top-left, top-right, bottom-left, bottom-right pixel.
    std::int32_t MaskUsed() const { return maskSource_; }
    void MaskUsed(std::int32_t value);
    bool ShadowEnabled() const { return (flags_ & kShadowEnabled) != 0; }
    void ShadowEnabled(bool value);
    std::int32_t ShadowColor() const { return shadowColor_; }
    void ShadowColor(std::int32_t value);
    std::int32_t ShadowOffsetX() const { return shadowOffsetX_; }
    void ShadowOffsetX(std::int32_t value);
    std::int32_t ShadowOffsetY() const { return shadowOffsetY_; }
    void ShadowOffsetY(std::int32_t value);
    std::int32_t ShadowDepth() const { return shadowDepth_; }
    void ShadowDepth(std::int32_t value);
    std::int32_t ShadowOpacity() const { return shadowOpacity_; }
    void ShadowOpacity(std::int32_t value);
    bool Enabled() const { return enabled_; }
    void Enabled(bool value);
    std::int32_t MousePointer() const { return mousePointer_; }
    void MousePointer(std::int32_t value);
    // The custom pointer's picture, as the bytes of its icon, cursor or
    // bitmap file; empty for none.
    const std::vector<std::uint8_t>& MouseIcon() const { return mouseIcon_; }
    void MouseIcon(std::vector<std::uint8_t> pictureFile);
    std::int32_t OLEDropMode() const { return oleDropMode_; }
    void OLEDropMode(std::int32_t value);

    // The format saving would store the image in (0 without an image).
    std::int32_t ImageType() const;
    bool isMouseOver() const;
    bool GDIplusInitialized() const;
    bool GDIplusEnabled() const { return image_.isGDIplusEnabled(); }

    // --- loading -------------------------------------------------------------------
    // Desired sizes below 1 are replaced, in the caller's variables too, by
    // the control's inner size (a depth below 1 by 32); they choose the
    // entry of an icon or cursor file. True when the control shows the new
    // image; a failed load leaves the properties as they were.
    bool LoadImage_FromArray(std::span<const std::uint8_t> inStream, std::int32_t& desiredIconWidth,
                             std::int32_t& desiredIconHeight, std::int32_t& desiredIconBitDepth);
    bool LoadImage_FromFile(const std::string& FileName, std::int32_t& desiredIconWidth,
                            std::int32_t& desiredIconHeight, std::int32_t& desiredIconBitDepth);
    // A resource of resourceOwner (the program's own when null): ResID in
    // the data section ResSection, or a picture of a numbered kind.
    bool LoadImage_FromResource(const platform::ResourceModule* resourceOwner,
                                const platform::ResourceName& ResSection,
                                const platform::ResourceName& ResID, std::int32_t& desiredIconWidth,
                                std::int32_t& desiredIconHeight, std::int32_t& desiredIconBitDepth);
    bool LoadImage_FromOrignalBytes(std::int32_t& desiredIconWidth, std::int32_t& desiredIconHeight,
                                    std::int32_t& desiredIconBitDepth);
    bool LoadImage_FromStdPicture(const platform::Picture* stdPic);
    bool LoadImage_FromClipboard();
    bool LoadImage_FromHandle(platform::HGDIOBJ Handle);

    void ClearImage();
    void Refresh();

    // The pixels (scanWidth bytes a row, 32 bits a pixel) or, with
    // asFileFormat, the image as a file: the kept source bytes, else PNG
    // (BMP without an encoder). False without an image.
    bool GetImageBytes(std::vector<std::uint8_t>& imgBytes, std::int32_t& scanWidth,
                       bool asArray2D = false, bool asBGRformat = true, bool asBottomUp = true,
                       bool asPreMultiplied = true, bool asFileFormat = false) const;
    // Replaces the pixels of the whole image (32 bits a pixel).
    bool SetImageBytes(std::span<const std::uint8_t> imgBytes, bool isBGRformat = true,
                       bool isBottomUp = true);

    // Fades Opacity to FinalOpacity by FadeStepPercent every
    // FadeDelayInterval ms (at least 10), then raises FadeTerminated. A step
    // of 0 cancels a running fade without an event.
    void FadeInOut(std::int32_t FinalOpacity, std::int32_t FadeStepPercent,
                   std::int32_t FadeDelayInterval);
    bool isFading() const { return fadeStep_ != 0; }

    // The drawn size of the image for a target size (0 or less: the
    // control's), by ScaleMethod (negative: the current one). Width and
    // Height stay as they were without an image.
    void GetImageScales(std::int32_t& Width, std::int32_t& Height, std::int32_t ScaleMethod,
                        std::int32_t desiredWidth, std::int32_t desiredHeight,
                        bool asRotatedImage) const;

    // Moves the shadow (its offsets from the image) and repaints when it is
    // shown.
    void OffsetShadow(std::int32_t X, std::int32_t Y);
    // With SetOffsets: moves the image (and its hit area) by (X, Y) from its
    // place and sets each shadow offset given as other than 0. Without:
    // answers the image offset and the shadow offsets.
    void OffsetImage(bool SetOffsets, std::int32_t& X, std::int32_t& Y, std::int32_t& ShadowX,
                     std::int32_t& ShadowY);

    // The events, in their declaration order (which numbers them).
    struct EventInfo {
        std::int32_t number;
        const char* name;
        const char* arguments; // names, separated by spaces
        const char* description;
    };
    static std::span<const EventInfo> Events();

    // --- for the design-time page ----------------------------------------------------
    bool GetSourceBytes(std::vector<std::uint8_t>& outBytes) const;
    void SetSourceImage(std::span<const std::uint8_t> inBytes, std::int32_t iconWidth,
                        std::int32_t iconHeight, std::int32_t iconBitDepth);
    c32bppDIB& GetSurface() { return image_; }

    // --- the container's side ----------------------------------------------------------
    void Paint(platform::HDC hdc, int x, int y, const platform::RECT& clip) override;
    void HitTest(int x, int y, int& hitResult) override;
    void InitProperties() override;
    void ReadProperties(const platform::PropertyStore& store) override;
    void WriteProperties(platform::PropertyStore& store) override;
    void Resize() override;
    void Show() override;
    void Hide() override;
    void Terminate() override;
    void MouseDown(std::int16_t button, std::int16_t shift, int x, int y) override;
    void MouseMove(std::int16_t button, std::int16_t shift, int x, int y) override;
    void MouseUp(std::int16_t button, std::int16_t shift, int x, int y) override;
    void Click() override;
    void DblClick() override;
    void KeyDown(std::int16_t& keyCode, std::int16_t shift) override;
    void KeyPress(std::int16_t& keyAscii) override;
    void KeyUp(std::int16_t& keyCode, std::int16_t shift) override;
    void OLEDragDrop(platform::DataObject& data, std::int32_t& effect, std::int16_t button,
                     std::int16_t shift, int x, int y) override;
    void OLEDragOver(platform::DataObject& data, std::int32_t& effect, std::int16_t button,
                     std::int16_t shift, int x, int y, std::int16_t state) override;

    // --- the shared link ----------------------------------------------------------------
    std::shared_ptr<platform::cCrossComm> CrossTalkClass() override { return link_; }
    bool ReleaseMouseCapture() override;
    std::int32_t identity() const { return identity_.value(); }

    // --- the layout, for the drawing side --------------------------------------------------
    struct Layout {
        std::int32_t originX = 0; // top-left of the image inside the control
        std::int32_t originY = 0;
        std::int32_t width = 0; // drawn size
        std::int32_t height = 0;
        std::int32_t diagonal = 0; // side of the square holding the turned image
        bool oneToOne = false;     // drawn size equals the surface's
    };
    const Layout& layout() const { return layout_; }
    // The container's scale mode as last read (9 when it could not be).
    std::int32_t containerScaleMode() const { return scaleMode_; }
    const c32bppDIB* redrawBuffer() const { return redraw_.get(); }
    // The pre-built drop shadow; none while the shadow is off or drawn
    // straight from a small one-to-one image.
    const c32bppDIB* shadowSurface() const { return shadow_.get(); }
    // Whether a mask is applied and the colour it made transparent (always
    // the colour of the uninverted image).
    bool maskActive() const { return maskActive_; }
    std::int32_t appliedMaskColor() const { return appliedMask_; }
    // Bits 0 to 3: the buttons seen pressed; bits 4 to 7: the button of the
    // last release over the control.
    std::uint16_t buttonState() const { return buttonState_; }
    // The hit area: a region of the opaque pixels, else the rectangle.
    bool hasHitRegion() const { return region_.get() != 0; }
    const platform::RECT& hitRectangle() const { return hitRect_; }
    // A pixel position of the control in the container's scale mode.
    float ToContainerScaleX(std::int32_t pixels) const;
    float ToContainerScaleY(std::int32_t pixels) const;

    // The flag word as saving stores it.
    std::int32_t props() const { return static_cast<std::int32_t>(flags_); }

    // Flag bits of Props.
    static constexpr std::uint32_t kStretchQuality = 1;
    static constexpr std::uint32_t kAutoSize = 4;
    static constexpr std::uint32_t kAutoRedraw = 8;
    static constexpr std::uint32_t kKeepOriginalFormat = 16;
    // Bit 5, the redraw buffer in use, follows from AutoRedraw and the run
    // mode (redrawWanted): it is never kept in the flags, and restoring
    // drops it from a store that has it.
    static constexpr std::uint32_t kRedrawInUse = 32;
    static constexpr std::uint32_t kInversedImage = 64;
    static constexpr std::uint32_t kShadowEnabled = 128;
    static constexpr std::uint32_t kRotateEnabled = 256;

private:
    // What saving stores for the image.
    enum class SavedImage { None, OriginalBytes, Png, Bitmap };
    SavedImage savedImageKind() const;
    bool encoderAvailable() const;
    void writeImageBytes(std::vector<std::uint8_t>& out);

    bool hasImage() const;
    // The redraw buffer is used by an AutoRedraw control at run time.
    bool redrawWanted() const { return AutoRedraw() && site_.UserMode(); }
    std::int32_t innerWidth() const;
    std::int32_t innerHeight() const;
    void repaint() { site_.Invalidate(nullptr); }
    void changed(const char* name) { site_.PropertyChanged(name); }
    void readScaleMode();
    void makeMouseIconHandle();

    // Mask, mirror and inversion on freshly loaded pixels, in that order.
    void applyDisplayEffects();
    // Back to the pixels as loaded: mirror, mask and inversion undone.
    void undoDisplayEffects();
    void undoMask();
    // After a load: the effects, a re-resolved or dropped mask, the layout.
    void afterLoad();
    void resolveDesired(std::int32_t& width, std::int32_t& height, std::int32_t& depth) const;
    void keepSavedFormat();

    // Layout and its consequences.
    void layOut();
    void reLayOut();
    bool refreshRedrawBuffer(bool rebuildHit);
    void releaseRedrawBuffer();
    void rebuildHitArea();
    void rebuildShadow();
    // The shadow's offsets changed.
    void shadowMoved();
    // The shadow of what can show in `area` (control pixels), and where the
    // corner of what cast it lies; `cropped` when that is not all of it.
    std::unique_ptr<c32bppDIB> makeShadow(const platform::RECT& area, platform::POINT& at,
                                          bool& cropped);
    void refreshAll();
    // Renders the image as the redraw buffer holds it (control-sized, full
    // opacity, no grey or light) into an empty surface of the inner size.
    void renderFrame(c32bppDIB& into);
    bool pointOnControl(std::int32_t x, std::int32_t y) const;
    void paintShadow(platform::HDC hdc, int x, int y, const platform::RECT& box);
    void paintImage(platform::HDC hdc, int x, int y, const platform::RECT& box);

    // Pointer tracking.
    void trackingTick();
    void raiseMouse(const char* name, std::int16_t button, std::int16_t shift, int x, int y);

    // A region handle, deleted with its owner.
    class UniqueRegion {
    public:
        explicit UniqueRegion(platform::HRGN region = 0) : region_(region) {}
        ~UniqueRegion() { reset(); }
        UniqueRegion(UniqueRegion&& other) noexcept : region_(other.region_) { other.region_ = 0; }
        UniqueRegion& operator=(UniqueRegion&& other) noexcept;
        UniqueRegion(const UniqueRegion&) = delete;
        UniqueRegion& operator=(const UniqueRegion&) = delete;
        platform::HRGN get() const { return region_; }
        explicit operator bool() const { return region_ != 0; }
        void reset();

    private:
        platform::HRGN region_;
    };

    // The shared link and the callbacks.
    void resetLink();
    void dropLink();
    void stopFade();
    void fadeTick();
    void stopTracking();
    // The timer entry points: 1 the pointer tracking, 2 the fading.
    bool makeCallback(int entryPoint);
    platform::UINT_PTR fadeTimerId() const;

    platform::ContainerSite& site_;
    platform::CrossCommIdentity identity_;
    std::shared_ptr<platform::cCrossComm> link_;
    c32bppDIB image_;
    std::unique_ptr<c32bppDIB> redraw_;
    std::unique_ptr<c32bppDIB> shadow_;
    platform::HICON mouseIconHandle_ = 0;
    UniqueRegion region_;
    // The place of the image the pre-built shadow was made from, in the
    // control's pixels (where that image's top-left corner is drawn).
    platform::POINT shadowSource_{};
    // The shadow was made for part of the source only: what can show with
    // the offsets and the control's size of that time.
    bool shadowCropped_ = false;
    // The control is too large to keep a shadow: paints make what they show.
    bool shadowAtPaint_ = false;

    static constexpr std::int32_t initial(velmora::Stored key) {
        return velmora::stored(key).newControl;
    }
    std::uint32_t flags_ = static_cast<std::uint32_t>(initial(velmora::Stored::Props));
    std::int32_t rotation_ = initial(velmora::Stored::Angle);
    std::int32_t hitTestMode_ = initial(velmora::Stored::HitTest);
    platform::RECT hitRect_{};
    std::int32_t scaleMode_ = 9;
    std::int32_t grayFormula_ = initial(velmora::Stored::GrayScale);
    std::int32_t scaleMethod_ = initial(velmora::Stored::Scaler);
    std::int32_t mirror_ = initial(velmora::Stored::Mirror);
    std::int32_t opacity_ = initial(velmora::Stored::Opacity);
    float intensity_ = static_cast<float>(initial(velmora::Stored::Intensity));
    std::int32_t maskColor_ = initial(velmora::Stored::MaskColor);
    bool maskActive_ = initial(velmora::Stored::MaskUsed) != 0;
    std::int32_t appliedMask_ = initial(velmora::Stored::Mask);
    std::int32_t maskSource_ = initial(velmora::Stored::MaskSource);
    Layout layout_;
    // The drawn size ScaleMethod 4 keeps (and saves), also while there is
    // no image to draw.
    std::int32_t frozenWidth_ = initial(velmora::Stored::ScaleCx);
    std::int32_t frozenHeight_ = initial(velmora::Stored::ScaleCy);
    bool resizing_ = false; // the control is resizing itself for AutoSize
    std::int32_t shadowColor_ = initial(velmora::Stored::ShadowColor);
    std::int32_t shadowOffsetX_ = initial(velmora::Stored::ShadowX);
    std::int32_t shadowOffsetY_ = initial(velmora::Stored::ShadowY);
    std::int32_t shadowDepth_ = initial(velmora::Stored::ShadowDepth);
    std::int32_t shadowOpacity_ = initial(velmora::Stored::ShadowOpacity);
    bool enabled_ = initial(velmora::Stored::Enabled) != 0;
    std::int32_t mousePointer_ = initial(velmora::Stored::MPointer);
    std::vector<std::uint8_t> mouseIcon_;
    std::int32_t oleDropMode_ = initial(velmora::Stored::OLEdrop);

    // What a restore read but could not use is saved as it was read: the
    // stored picture this machine cannot decode (until another image takes
    // its place), and keys of later versions, in their order.
    std::vector<std::uint8_t> unreadImage_;
    std::vector<std::pair<std::string, platform::PropertyValue>> unknownProperties_;

    std::int32_t imageOffsetX_ = 0; // OffsetImage
    std::int32_t imageOffsetY_ = 0;
    // The pointer's position in the host window minus its position in the
    // control, taken when the pointer came in.
    platform::POINT pointerOffset_{};
    std::uint16_t buttonState_ = 0;
    bool leaving_ = false; // raising MouseExit: no longer under the pointer

    std::int32_t fadeStep_ = 0;
    std::int32_t fadeTarget_ = 0;
    std::int32_t fadeDelay_ = 0;
    std::uint32_t fadeGeneration_ = 0; // which FadeInOut the running fade is
    bool trackingCallback_ = false;
    bool fadeCallback_ = false;
};

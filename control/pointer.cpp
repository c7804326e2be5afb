// Which points are on the control, how it notices the pointer coming and
// going without a window of its own, and the events the container's input
// becomes.

#include "control/aic_alpha_image.h"
#include "platform/gdi/gdi.h"
#include "platform/host/data_object.h"

#include <array>

using namespace platform;

namespace {

// The tag the control carries while its tracking timer runs, and the
// timer's period in ms.
constexpr const char* kTrackingTag = "Timer";
constexpr UINT kTrackingPeriod = 100;

constexpr std::array<aicAlphaImage::EventInfo, 13> kEvents{{
    {1, "Click", "Button", "Occurs when the mouse is pressed and released over the control"},
    {2, "DblClick", "Button", "Occurs when the mouse is double clicked over the control"},
    {3, "MouseExit", "", "Occurs when the user first moves the mouse cursor out of the control"},
    {4, "MouseEnter", "", "Occurs when the user first moves the mouse cursor into the control"},
    {5, "MouseUp", "Button Shift X Y", ""},
    {6, "MouseMove", "Button Shift X Y", ""},
    {7, "MouseDown", "Button Shift X Y", ""},
    {8, "KeyDown", "KeyCode Shift", ""},
    {9, "KeyPress", "KeyAscii", ""},
    {10, "KeyUp", "KeyCode Shift", ""},
    {11, "OLEDragDrop", "Data Effect Button Shift X Y", ""},
    {12, "OLEDragOver", "Data Effect Button Shift X Y State", ""},
    {13, "FadeTerminated", "CurrentOpacity",
     "Callback event that occurs when a fade request completes"},
}};

// Units of each scale mode per pixel, across and down, at 96 pixels to the
// inch (15 twips to the pixel; a character cell is 120 x 240 twips). The
// user scale and the container's own coordinates cannot be asked of the
// container, so they stay pixels.
struct Units {
    double across;
    double down;
};
Units unitsPerPixel(std::int32_t scaleMode) {
    switch (scaleMode) {
    case 1:
        return {15.0, 15.0}; // twips
    case 2:
        return {0.75, 0.75}; // points
    case 4:
        return {15.0 / 120.0, 15.0 / 240.0}; // characters
    case 5:
        return {1.0 / 96.0, 1.0 / 96.0}; // inches
    case 6:
        return {25.4 / 96.0, 25.4 / 96.0}; // millimetres
    case 7:
        return {2.54 / 96.0, 2.54 / 96.0}; // centimetres
    case 8:
        return {2540.0 / 96.0, 2540.0 / 96.0}; // HiMetric
    default:
        return {1.0, 1.0}; // pixels and the rest
    }
}

} // namespace

std::span<const aicAlphaImage::EventInfo> aicAlphaImage::Events() {
    return kEvents;
}

aicAlphaImage::UniqueRegion& aicAlphaImage::UniqueRegion::operator=(UniqueRegion&& other) noexcept {
    if (this != &other) {
        reset();
        region_ = other.region_;
        other.region_ = 0;
    }
    return *this;
}

void aicAlphaImage::UniqueRegion::reset() {
    if (region_ != 0) DeleteObject(region_);
    region_ = 0;
}

float aicAlphaImage::ToContainerScaleX(std::int32_t pixels) const {
    return static_cast<float>(pixels * unitsPerPixel(scaleMode_).across);
}

float aicAlphaImage::ToContainerScaleY(std::int32_t pixels) const {
    return static_cast<float>(pixels * unitsPerPixel(scaleMode_).down);
}

// --- the hit area -------------------------------------------------------------------

void aicAlphaImage::rebuildHitArea() {
    region_.reset();
    // Without an image-shaped hit area the whole control takes the pointer,
    // wherever OffsetImage moved the image.
    hitRect_ = {0, 0, innerWidth(), innerHeight()};
    if (!site_.UserMode() || !enabled_ || !hasImage() || hitTestMode_ == 0 || layout_.width <= 0)
        return;
    // The opaque pixels as painted: the redraw buffer, or a frame rendered
    // like it for the purpose.
    c32bppDIB* frame = redraw_.get();
    c32bppDIB temporary;
    if (frame == nullptr) {
        temporary.gdiToken(image_.gdiToken());
        // A frame that cannot be had leaves the whole control taking the
        // pointer: better than a control that can no longer be clicked.
        if (!temporary.InitializeDIB(innerWidth(), innerHeight())) return;
        renderFrame(temporary);
        frame = &temporary;
    }
    UniqueRegion region(frame->CreateRegion(hitTestMode_ - 1));
    // No opaque pixel at all: nothing of the control is hit.
    hitRect_ = {};
    if (region.get() != 0) {
        if (hitTestMode_ == 1)
            GetRgnBox(region.get(), hitRect_);
        else
            region_ = std::move(region);
    }
    // The hit area goes where the image is moved.
    if (region_) OffsetRgn(region_.get(), imageOffsetX_, imageOffsetY_);
    if (hitRect_.left < hitRect_.right && hitRect_.top < hitRect_.bottom) {
        hitRect_.left += imageOffsetX_;
        hitRect_.right += imageOffsetX_;
        hitRect_.top += imageOffsetY_;
        hitRect_.bottom += imageOffsetY_;
    }
}

bool aicAlphaImage::pointOnControl(std::int32_t x, std::int32_t y) const {
    if (region_) return PtInRegion(region_.get(), x, y);
    return x >= hitRect_.left && x < hitRect_.right && y >= hitRect_.top && y < hitRect_.bottom;
}

// --- hit testing and pointer tracking --------------------------------------------------

void aicAlphaImage::HitTest(int x, int y, int& hitResult) {
    const bool on = pointOnControl(x, y);
    if (on) hitResult = HITRESULT_HIT;
    if (!site_.UserMode() || !enabled_ || !link_ || !trackingCallback_) return;

    const std::int32_t self = identity();
    if (!on) {
        // The pointer left this control for a point the container asked
        // about: it lets go at once rather than at the next tick.
        if (link_->CapturedControl() == self) link_->CapturedControl(0);
        return;
    }
    if (link_->CapturedControl() == self) return;
    // Another control under the pointer lets go first, so its MouseExit
    // comes before this one's MouseEnter.
    if (link_->CapturedControl() != 0 && !link_->CapturedControl(0)) return;

    PointerServices& pointer = site_.Pointer();
    POINT at{};
    pointer.GetCursorPos(&at);
    POINT origin{0, 0};
    pointer.ClientToScreen(site_.ContainerHwnd(), &origin);
    pointerOffset_ = {at.x - origin.x - x, at.y - origin.y - y};
    link_->CapturedControl(self);
    site_.RaiseEvent("MouseEnter", {});
    // A handler may have moved the capture on, or ended the control's
    // tracking altogether.
    if (!link_ || link_->CapturedControl() != self) return;
    if (site_.Timers().SetTimer(site_.ContainerHwnd(), static_cast<UINT_PTR>(self), kTrackingPeriod,
                                [this](HWND, UINT, UINT_PTR, DWORD) { trackingTick(); }) != 0)
        site_.SetTag(kTrackingTag);
}

void aicAlphaImage::trackingTick() {
    const HWND host = site_.ContainerHwnd();
    const std::int32_t self = identity();
    site_.Timers().KillTimer(host, static_cast<UINT_PTR>(self));
    if (!link_ || link_->CapturedControl() != self) {
        site_.SetTag("");
        return;
    }
    PointerServices& pointer = site_.Pointer();
    POINT at{};
    bool inside = false;
    if (pointer.GetCursorPos(&at) && pointer.WindowFromPoint(at) == host) {
        POINT origin{0, 0};
        pointer.ClientToScreen(host, &origin);
        inside =
            pointOnControl(at.x - origin.x - pointerOffset_.x, at.y - origin.y - pointerOffset_.y);
    }
    if (inside) {
        site_.Timers().SetTimer(host, static_cast<UINT_PTR>(self), kTrackingPeriod,
                                [this](HWND, UINT, UINT_PTR, DWORD) { trackingTick(); });
        return;
    }
    // Letting go through the link raises MouseExit (ReleaseMouseCapture).
    site_.SetTag("");
    link_->CapturedControl(0);
}

bool aicAlphaImage::ReleaseMouseCapture() {
    stopTracking();
    site_.SetTag("");
    leaving_ = true;
    site_.RaiseEvent("MouseExit", {});
    leaving_ = false;
    return true;
}

void aicAlphaImage::stopTracking() {
    if (site_.Tag() != kTrackingTag) return;
    site_.Timers().KillTimer(site_.ContainerHwnd(), static_cast<UINT_PTR>(identity()));
    site_.SetTag("");
}

bool aicAlphaImage::isMouseOver() const {
    return enabled_ && !leaving_ && link_ && link_->CapturedControl() == identity();
}

// --- events from the container -----------------------------------------------------------

void aicAlphaImage::raiseMouse(const char* name, std::int16_t button, std::int16_t shift, int x,
                               int y) {
    std::array<EventArg, 4> args{button, shift, ToContainerScaleX(x), ToContainerScaleY(y)};
    site_.RaiseEvent(name, args);
}

void aicAlphaImage::MouseDown(std::int16_t button, std::int16_t shift, int x, int y) {
    buttonState_ |= static_cast<std::uint16_t>(button & 0xF);
    raiseMouse("MouseDown", button, shift, x, y);
}

void aicAlphaImage::MouseMove(std::int16_t button, std::int16_t shift, int x, int y) {
    raiseMouse("MouseMove", button, shift, x, y);
}

void aicAlphaImage::MouseUp(std::int16_t button, std::int16_t shift, int x, int y) {
    // Only a button that went down over the control counts as released: a
    // press elsewhere, let go over the control, leaves the Click at 0. The
    // press is used up by its release.
    const std::uint16_t released = buttonState_ & static_cast<std::uint16_t>(button & 0xF);
    buttonState_ = static_cast<std::uint16_t>((buttonState_ & 0xF & ~released) | (released << 4));
    raiseMouse("MouseUp", button, shift, x, y);
}

void aicAlphaImage::Click() {
    EventArg button = static_cast<std::int16_t>((buttonState_ >> 4) & 0xF);
    site_.RaiseEvent("Click", {&button, 1});
}

void aicAlphaImage::DblClick() {
    EventArg button = static_cast<std::int16_t>((buttonState_ >> 4) & 0xF);
    site_.RaiseEvent("DblClick", {&button, 1});
}

void aicAlphaImage::KeyDown(std::int16_t& keyCode, std::int16_t shift) {
    std::array<EventArg, 2> args{keyCode, shift};
    site_.RaiseEvent("KeyDown", args);
    if (const auto* changed = std::get_if<std::int16_t>(&args[0])) keyCode = *changed;
}

void aicAlphaImage::KeyPress(std::int16_t& keyAscii) {
    EventArg key = keyAscii;
    site_.RaiseEvent("KeyPress", {&key, 1});
    if (const auto* changed = std::get_if<std::int16_t>(&key)) keyAscii = *changed;
}

void aicAlphaImage::KeyUp(std::int16_t& keyCode, std::int16_t shift) {
    std::array<EventArg, 2> args{keyCode, shift};
    site_.RaiseEvent("KeyUp", args);
    if (const auto* changed = std::get_if<std::int16_t>(&args[0])) keyCode = *changed;
}

void aicAlphaImage::OLEDragDrop(DataObject& data, std::int32_t& effect, std::int16_t button,
                                std::int16_t shift, int x, int y) {
    // The file collection of a drop holds narrow names; the handler gets
    // the full names of the list behind it.
    image_.GetDroppedFileNames(&data);
    std::array<EventArg, 6> args{
        &data, effect, button, shift, ToContainerScaleX(x), ToContainerScaleY(y)};
    site_.RaiseEvent("OLEDragDrop", args);
    if (const auto* changed = std::get_if<std::int32_t>(&args[1])) effect = *changed;
}

void aicAlphaImage::OLEDragOver(DataObject& data, std::int32_t& effect, std::int16_t button,
                                std::int16_t shift, int x, int y, std::int16_t state) {
    std::array<EventArg, 7> args{
        &data, effect, button, shift, ToContainerScaleX(x), ToContainerScaleY(y), state};
    site_.RaiseEvent("OLEDragOver", args);
    if (const auto* changed = std::get_if<std::int32_t>(&args[1])) effect = *changed;
}

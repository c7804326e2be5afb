// The control's life among the others of its container: the shared link,
// showing, hiding and ending, the timer callbacks and fading.

#include "control/aic_alpha_image.h"
#include "platform/host/window_host.h"
#include "platform/picture/icon.h"

#include <algorithm>
#include <cstdlib>

using namespace platform;

namespace {

// Fading never steps faster than this, in ms.
constexpr std::int32_t kMinimumFadeDelay = 10;

constexpr int kTrackingEntry = 1;
constexpr int kFadingEntry = 2;

} // namespace

void aicAlphaImage::resetLink() {
    // The first image control of the container holds the link for all.
    // Asked before this control lets go of its own: when it is that first
    // control, the others share the link it holds, and a new one would
    // split them.
    std::shared_ptr<cCrossComm> shared;
    for (const SitedControl& control : site_.Controls()) {
        if (control.typeName != kTypeName) continue;
        if (control.link != nullptr) shared = control.link->CrossTalkClass();
        break;
    }
    dropLink();
    link_ = std::move(shared);
    if (!link_) {
        link_ = std::make_shared<cCrossComm>(site_.Windows(), site_.Timers());
        if (image_.isGDIplusEnabled()) link_->ManageGDIToken(site_.ContainerHwnd());
    }
    image_.gdiToken(link_->gdiToken());
    if (redraw_) redraw_->gdiToken(link_->gdiToken());
    if (shadow_) shadow_->gdiToken(link_->gdiToken());
    link_->AddRef(identity());
    if (site_.UserMode()) makeCallback(kTrackingEntry);
}

void aicAlphaImage::dropLink() {
    if (!link_) return;
    link_->RemoveRef(identity());
    link_.reset();
}

void aicAlphaImage::Show() {
    if (enabled_ && link_) link_->AddRef(identity());
    if (layout_.width == 0) reLayOut();
}

void aicAlphaImage::Hide() {
    stopFade();
    stopTracking();
    if (enabled_ && link_) link_->RemoveRef(identity());
}

void aicAlphaImage::Terminate() {
    releaseRedrawBuffer();
    shadow_.reset();
    region_.reset();
    stopFade();
    stopTracking();
    // A tag changed by the developer must not leave a timer that calls into
    // a control that is gone.
    site_.Timers().KillTimer(site_.ContainerHwnd(), static_cast<UINT_PTR>(identity()));
    dropLink();
    trackingCallback_ = false;
    fadeCallback_ = false;
    if (mouseIconHandle_ != 0) {
        DestroyIcon(mouseIconHandle_);
        mouseIconHandle_ = 0;
    }
}

bool aicAlphaImage::makeCallback(int entryPoint) {
    bool& made = entryPoint == kTrackingEntry ? trackingCallback_ : fadeCallback_;
    const std::string title = std::string("Error in ") + kTypeName + ".cb_Callback";
    if (entryPoint != kTrackingEntry && entryPoint != kFadingEntry) {
        site_.MessageBox("nThunkNo doesn't exist.", title, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    if (made) return true;
    // A timer callback reaches the control through its container's window;
    // without one there is nothing to call back to.
    if (!site_.Windows().IsWindow(site_.ContainerHwnd())) {
        site_.MessageBox("Callback address not found.", title, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    made = true;
    return true;
}

UINT_PTR aicAlphaImage::fadeTimerId() const {
    // The negated identity: identities are positive, so a fade never meets
    // any control's tracking timer on the same window.
    return static_cast<UINT_PTR>(-static_cast<std::intptr_t>(identity()));
}

void aicAlphaImage::stopFade() {
    if (fadeStep_ == 0) return;
    site_.Timers().KillTimer(site_.ContainerHwnd(), fadeTimerId());
    fadeStep_ = 0;
}

void aicAlphaImage::FadeInOut(std::int32_t FinalOpacity, std::int32_t FadeStepPercent,
                              std::int32_t FadeDelayInterval) {
    stopFade();
    FinalOpacity = std::clamp(FinalOpacity, 0, 100);
    if (FadeStepPercent == 0 || FinalOpacity == opacity_) return;
    if (!makeCallback(kFadingEntry)) return;
    // A step past the whole range ends the fade at the first tick anyway;
    // capped so that it has an absolute value.
    const std::int32_t step = static_cast<std::int32_t>(
        std::min<long long>(std::llabs(static_cast<long long>(FadeStepPercent)), 100));
    fadeStep_ = FinalOpacity < opacity_ ? -step : step;
    fadeTarget_ = FinalOpacity;
    fadeDelay_ = std::max(FadeDelayInterval, kMinimumFadeDelay);
    ++fadeGeneration_;
    fadeTick();
}

void aicAlphaImage::fadeTick() {
    site_.Timers().KillTimer(site_.ContainerHwnd(), fadeTimerId());
    if (fadeStep_ == 0) return;
    const std::int32_t next = opacity_ + fadeStep_;
    const bool over = fadeStep_ < 0 ? next <= fadeTarget_ : next >= fadeTarget_;
    if (over) {
        fadeStep_ = 0;
        Opacity(fadeTarget_);
        EventArg current = opacity_;
        site_.RaiseEvent("FadeTerminated", {&current, 1});
        return;
    }
    const std::uint32_t generation = fadeGeneration_;
    Opacity(next);
    // A handler of the change may have stopped this fade or started another.
    if (fadeStep_ == 0 || generation != fadeGeneration_) return;
    const UINT_PTR armed =
        site_.Timers().SetTimer(site_.ContainerHwnd(), fadeTimerId(), static_cast<UINT>(fadeDelay_),
                                [this](HWND, UINT, UINT_PTR, DWORD) { fadeTick(); });
    if (armed == 0) fadeStep_ = 0; // the window is gone: nothing will tick
}

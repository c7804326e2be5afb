#include "platform/host/control_sites.h"

#include "platform/gdi/blit.h"
#include "platform/gdi/memory_canvas.h"

namespace platform {
namespace {

bool meets(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

} // namespace

SiteBase::SiteBase(ContainerBase& container, std::string typeName, std::string name,
                   const RECT& extent)
    : container_(container), typeName_(std::move(typeName)), name_(std::move(name)),
      extent_(extent) {}

HWND SiteBase::ContainerHwnd() const {
    return container_.window_;
}
WindowServices& SiteBase::Windows() {
    return container_.windows_;
}
TimerServices& SiteBase::Timers() {
    return container_.timers_;
}
PointerServices& SiteBase::Pointer() {
    return container_.pointer_;
}
ClipboardServices& SiteBase::Clipboard() {
    return container_.host_;
}
bool SiteBase::UserMode() const {
    return container_.userMode_;
}
std::optional<std::int32_t> SiteBase::ScaleMode() const {
    return container_.scaleMode_;
}

void SiteBase::Move(const RECT& extent) {
    const RECT before = extent_;
    extent_ = extent;
    container_.invalidate(before);
    container_.invalidate(extent);
    // A control learns of a new size as from any container (it ignores the
    // notice of a resize it asked for itself).
    const bool resized = extent.right - extent.left != before.right - before.left ||
                         extent.bottom - extent.top != before.bottom - before.top;
    if (control_ != nullptr && resized) control_->Resize();
}

std::vector<SitedControl> SiteBase::Controls() const {
    return container_.controls();
}

int SiteBase::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    return container_.host_.MessageBox(text, caption, flags);
}

void SiteBase::Invalidate(const RECT* area) {
    const RECT whole{0, 0, extent_.right - extent_.left, extent_.bottom - extent_.top};
    // The control draws only inside its rectangle, so that is all it can
    // have changed.
    RECT a = area != nullptr ? *area : whole;
    a = {std::max(a.left, whole.left), std::max(a.top, whole.top), std::min(a.right, whole.right),
         std::min(a.bottom, whole.bottom)};
    if (a.left >= a.right || a.top >= a.bottom) return;
    container_.invalidate({extent_.left + a.left, extent_.top + a.top, extent_.left + a.right,
                           extent_.top + a.bottom});
}

void SiteBase::PropertyChanged(std::string_view name) {
    container_.changed(*this, name);
}

void SiteBase::RaiseEvent(std::string_view name, std::span<EventArg> args) {
    container_.raised(*this, name, args);
}

void SiteBase::setVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    if (control_ != nullptr) {
        if (visible)
            control_->Show();
        else
            control_->Hide();
    }
    container_.invalidate(extent_);
}

bool SiteBase::takes(int x, int y) const {
    const RECT& e = extent_;
    // A disabled control gets no pointer input; what lies under it does.
    if (control_ == nullptr || !enabled_ || !visible_ || x < e.left || x >= e.right || y < e.top ||
        y >= e.bottom)
        return false;
    int answer = HITRESULT_OUTSIDE;
    control_->HitTest(x - e.left, y - e.top, answer);
    return answer == HITRESULT_HIT;
}

void SiteBase::paint(HDC dc, const RECT& clip) const {
    if (control_ == nullptr || !visible_ || !meets(extent_, clip)) return;
    const RECT own{std::max(clip.left, extent_.left), std::max(clip.top, extent_.top),
                   std::min(clip.right, extent_.right), std::min(clip.bottom, extent_.bottom)};
    // A control may draw past the clip box it is given (a shadow, an offset
    // or a turned image), so it paints into a canvas of just its visible
    // part, holding what lies behind it: nothing it draws can reach a
    // neighbour or stay behind when its drawing moves.
    const int w = own.right - own.left, h = own.bottom - own.top;
    MemoryCanvas part(w, h);
    if (!part.ok() || !BitBlt(part.dc(), 0, 0, w, h, dc, own.left, own.top, SRCCOPY)) return;
    control_->Paint(part.dc(), extent_.left - own.left, extent_.top - own.top, {0, 0, w, h});
    BitBlt(dc, own.left, own.top, w, h, part.dc(), 0, 0, SRCCOPY);
}

} // namespace platform

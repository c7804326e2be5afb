#include "form_view.h"

#include "platform/host/event_text.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <utility>
#include <variant>

namespace velmora_form {
namespace {

using platform::RECT;

// Copies the rectangle `area` of `from` (at its own coordinates) to (x, y)
// of `to`; both rectangles lie inside their surfaces.
void copyRows(const c32bppDIB& from, const RECT& area, c32bppDIB& to, std::int32_t x,
              std::int32_t y) {
    const std::size_t bytes = static_cast<std::size_t>(area.right - area.left) * 4;
    for (std::int32_t r = area.top; r < area.bottom; ++r)
        std::memcpy(to.row(y + r - area.top) + static_cast<std::size_t>(x) * 4,
                    from.row(r) + static_cast<std::size_t>(area.left) * 4, bytes);
}

} // namespace

void PaintForm(FormSession& session, c32bppDIB& canvas) {
    const RECT whole{0, 0, canvas.Width(), canvas.Height()};
    for (FormSession::Control& c : session.Controls()) {
        const RECT shown = c.onForm();
        const RECT area{std::max(shown.left, whole.left), std::max(shown.top, whole.top),
                        std::min(shown.right, whole.right), std::min(shown.bottom, whole.bottom)};
        if (area.left >= area.right || area.top >= area.bottom) continue;
        // The control paints into a surface of the part that shows, holding
        // what lies behind it, so that nothing it draws reaches outside.
        c32bppDIB part;
        if (!part.InitializeDIB(area.right - area.left, area.bottom - area.top)) continue;
        copyRows(canvas, area, part, 0, 0);
        {
            const surface::SectionInDc dc(part);
            const RECT extent = c.site->Extent();
            c.control->Paint(dc.dc(), c.container.left + extent.left - area.left,
                             c.container.top + extent.top - area.top,
                             {0, 0, part.Width(), part.Height()});
        }
        copyRows(part, {0, 0, part.Width(), part.Height()}, canvas, area.left, area.top);
    }
}

FormSession::Control* ControlAt(FormSession& session, std::int32_t x, std::int32_t y, int& answer) {
    auto& controls = session.Controls();
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        const RECT shown = it->onForm();
        if (x < shown.left || x >= shown.right || y < shown.top || y >= shown.bottom) continue;
        if (!it->control->Enabled()) continue;
        const RECT extent = it->site->Extent();
        int result = platform::HITRESULT_OUTSIDE;
        it->control->HitTest(x - it->container.left - extent.left,
                             y - it->container.top - extent.top, result);
        if (result == platform::HITRESULT_HIT) {
            answer = result;
            return &*it;
        }
    }
    return nullptr;
}

PointerReplay::PointerReplay(FormSession& session, std::function<void(const std::string&)> sink)
    : session_(session), start_(session.Host().now()) {
    for (FormSession::Control& c : session_.Controls()) {
        const std::string name = c.record->name;
        c.site->onEvent = [this, name, sink](const std::string& event,
                                             std::span<platform::EventArg> args) {
            sink(std::to_string(elapsed()) + ' ' + platform::EventText(name, event, args));
        };
    }
}

std::uint64_t PointerReplay::elapsed() const {
    return session_.Host().now() - start_;
}

void PointerReplay::advanceTo(std::uint64_t ms) {
    if (ms > elapsed()) session_.Host().advance(ms - elapsed());
}

void PointerReplay::wait(std::uint64_t ms) {
    session_.Host().advance(ms);
}

platform::POINT PointerReplay::local(const FormSession::Control& control, std::int32_t x,
                                     std::int32_t y) {
    const RECT extent = control.site->Extent();
    return {x - control.container.left - extent.left, y - control.container.top - extent.top};
}

FormSession::Control* PointerReplay::pointAt(std::int32_t x, std::int32_t y) {
    // The form is a top-level window at the screen's origin.
    session_.Host().setCursorPos({x, y});
    pointer_ = platform::POINT{x, y};
    int answer = 0;
    return ControlAt(session_, x, y, answer);
}

void PointerReplay::moveFirst(std::int32_t x, std::int32_t y) {
    if (!pointer_ || pointer_->x != x || pointer_->y != y) move(x, y);
}

void PointerReplay::move(std::int32_t x, std::int32_t y) {
    // Every move asks the controls under the pointer, with the button down
    // too: that is how the one under it learns that the pointer came and
    // takes it over from the one it left.
    FormSession::Control* under = pointAt(x, y);
    // The control the button went down on has the pointer's moves until it
    // comes up.
    FormSession::Control* target = pressed_ != nullptr ? pressed_ : under;
    if (target == nullptr) return;
    const platform::POINT p = local(*target, x, y);
    target->control->MouseMove(pressed_ != nullptr ? platform::vbLeftButton : 0, 0, p.x, p.y);
}

void PointerReplay::press(std::int32_t x, std::int32_t y) {
    moveFirst(x, y);
    if (pressed_ != nullptr) return; // the button is already down
    int answer = 0;
    FormSession::Control* target = ControlAt(session_, x, y, answer);
    if (target == nullptr) return;
    pressed_ = target;
    const platform::POINT p = local(*target, x, y);
    target->control->MouseDown(platform::vbLeftButton, 0, p.x, p.y);
}

void PointerReplay::release(std::int32_t x, std::int32_t y) {
    moveFirst(x, y);
    // Only the control the button went down on hears it come up.
    FormSession::Control* pressed = std::exchange(pressed_, nullptr);
    if (pressed == nullptr) return;
    const platform::POINT p = local(*pressed, x, y);
    pressed->control->MouseUp(platform::vbLeftButton, 0, p.x, p.y);
    // A click is a press and a release on the same control; asking which
    // control is under the pointer comes after the release, so a hand-over
    // it causes follows the MouseUp.
    int answer = 0;
    if (ControlAt(session_, x, y, answer) == pressed) pressed->control->Click();
}

} // namespace velmora_form

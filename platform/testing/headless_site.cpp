#include "platform/testing/headless_site.h"

#include "platform/gdi/gdi.h"

#include <algorithm>
#include <cstring>

namespace platform {

void HeadlessSite::paint(WindowlessControl& control, HeadlessCanvas& canvas,
                         const RECT* clip) const {
    const RECT whole{0, 0, canvas.width(), canvas.height()};
    control.Paint(canvas.dc(), extent_.left, extent_.top, clip != nullptr ? *clip : whole);
}

void HeadlessSite::Invalidate(const RECT* area) {
    const RECT whole{0, 0, extent_.right - extent_.left, extent_.bottom - extent_.top};
    repaints.push_back(area != nullptr ? *area : whole);
    // The container repaints the control's part of its window.
    RECT inWindow = repaints.back();
    inWindow.left += extent_.left;
    inWindow.right += extent_.left;
    inWindow.top += extent_.top;
    inWindow.bottom += extent_.top;
    host_.InvalidateRect(window_, &inWindow, false);
}

void HeadlessSite::RaiseEvent(std::string_view name, std::span<EventArg> args) {
    events.push_back({std::string(name), {args.begin(), args.end()}});
    if (onEvent) onEvent(events.back().name, args);
}

std::vector<std::string> HeadlessSite::eventNames() const {
    std::vector<std::string> names;
    for (const Event& event : events)
        names.push_back(event.name);
    return names;
}

} // namespace platform

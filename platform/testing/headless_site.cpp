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

// --- the container -----------------------------------------------------------------

HeadlessSite& HeadlessContainer::addSite(std::string typeName, std::string name,
                                         const RECT& extent) {
    Entry e;
    e.site = std::make_unique<HeadlessSite>(host_, window_, extent);
    e.site->userMode = userMode_;
    e.typeName = std::move(typeName);
    e.name = std::move(name);
    entries_.push_back(std::move(e));
    share();
    return *entries_.back().site;
}

void HeadlessContainer::attach(ContainerSite& site, WindowlessControl& control, ICrossComm* link) {
    Entry* e = entry(site);
    if (e == nullptr) return;
    e->control = &control;
    e->link = link;
    share();
}

void HeadlessContainer::detach(ContainerSite& site) {
    Entry* e = entry(site);
    if (e == nullptr) return;
    e->control = nullptr;
    e->link = nullptr;
    share();
}

void HeadlessContainer::removeSite(ContainerSite& site) {
    std::erase_if(entries_, [&](const Entry& e) { return e.site.get() == &site; });
    share();
}

void HeadlessContainer::renameSite(ContainerSite& site, std::string name) {
    if (Entry* e = entry(site)) e->name = std::move(name);
}

void HeadlessContainer::setUserMode(bool userMode) {
    userMode_ = userMode;
    for (Entry& e : entries_)
        e.site->userMode = userMode;
}

HeadlessSite* HeadlessContainer::site(std::string_view name) const {
    for (const Entry& e : entries_)
        if (e.name == name) return e.site.get();
    return nullptr;
}

HeadlessSite* HeadlessContainer::site(const ContainerSite& site) const {
    const Entry* e = entry(site);
    return e != nullptr ? e->site.get() : nullptr;
}

WindowlessControl* HeadlessContainer::control(const ContainerSite& site) const {
    const Entry* e = entry(site);
    return e != nullptr ? e->control : nullptr;
}

HeadlessContainer::Entry* HeadlessContainer::entry(const ContainerSite& site) {
    for (Entry& e : entries_)
        if (e.site.get() == &site) return &e;
    return nullptr;
}

const HeadlessContainer::Entry* HeadlessContainer::entry(const ContainerSite& site) const {
    for (const Entry& e : entries_)
        if (e.site.get() == &site) return &e;
    return nullptr;
}

void HeadlessContainer::share() {
    std::vector<SitedControl> controls;
    for (const Entry& e : entries_)
        if (e.control != nullptr) controls.push_back({e.typeName, e.link});
    for (Entry& e : entries_)
        e.site->controls = controls;
}

} // namespace platform

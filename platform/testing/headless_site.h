#pragma once
// A container for one windowless control on the headless host: the control
// is drawn into a window of that host, the ambient settings are what the
// test sets, and changes, repaint requests and events are recorded. A
// headless container holds such sites for the controls of one window and
// tells each the others.

#include "platform/gdi/memory_canvas.h"
#include "platform/host/container_site.h"
#include "platform/host/control_container.h"
#include "platform/testing/headless_host.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace platform {

// What a container paints into: a memory device context holding a 32-bpp
// DIB section (bottom-up rows, blue-green-red-alpha), zeroed at the start.
using HeadlessCanvas = MemoryCanvas;

class HeadlessSite final : public ContainerSite {
public:
    struct Event {
        std::string name;
        std::vector<EventArg> args;
    };

    HeadlessSite(HeadlessHost& host, HWND window, RECT extent)
        : host_(host), window_(window), extent_(extent) {}

    HWND ContainerHwnd() const override { return window_; }
    WindowServices& Windows() override { return host_; }
    TimerServices& Timers() override { return host_; }
    PointerServices& Pointer() override { return host_; }
    ClipboardServices& Clipboard() override { return host_; }

    bool UserMode() const override { return userMode; }
    std::optional<std::int32_t> ScaleMode() const override { return scaleMode; }
    RECT Extent() const override { return extent_; }
    void Move(const RECT& extent) override { extent_ = extent; }
    std::vector<SitedControl> Controls() const override { return controls; }
    std::string Tag() const override { return tag_; }
    void SetTag(std::string tag) override { tag_ = std::move(tag); }

    void SetMousePointer(std::int16_t pointer, HICON icon) override {
        mousePointer = pointer;
        mouseIcon = icon;
    }
    void SetOLEDropMode(std::int16_t mode) override { oleDropMode = mode; }
    void SetEnabled(bool value) override { enabled = value; }
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
        return host_.MessageBox(text, caption, flags);
    }
    void Invalidate(const RECT* area) override;
    void PropertyChanged(std::string_view name) override {
        changes.emplace_back(name);
        if (onChange) onChange(changes.back());
    }
    void RaiseEvent(std::string_view name, std::span<EventArg> args) override;

    // --- what tests set and look at ----------------------------------------------
    bool userMode = true;
    std::optional<std::int32_t> scaleMode = 3; // pixels
    std::vector<SitedControl> controls;
    std::vector<std::string> changes;
    std::vector<RECT> repaints;
    std::vector<Event> events;
    // Runs as the container's handler of every event, after it is recorded.
    std::function<void(const std::string&, std::span<EventArg>)> onEvent;
    // Runs with every changed property's name, after it is recorded.
    std::function<void(const std::string&)> onChange;

    std::int16_t mousePointer = 0;
    HICON mouseIcon = 0;
    std::int16_t oleDropMode = 0;
    bool enabled = true;

    // Paints the control into the canvas at its place, as the container
    // does on a repaint; the clip box is in the canvas's pixels (the whole
    // canvas when none is given).
    void paint(WindowlessControl& control, HeadlessCanvas& canvas,
               const RECT* clip = nullptr) const;

    // The names of the recorded events, in order.
    std::vector<std::string> eventNames() const;

private:
    HeadlessHost& host_;
    HWND window_;
    RECT extent_;
    std::string tag_;
};

// The controls of one window of the headless host, each on a site of its
// own; every site's Controls() lists the attached controls, first to last.
class HeadlessContainer final : public ControlContainer {
public:
    HeadlessContainer(HeadlessHost& host, HWND window) : host_(host), window_(window) {}

    HeadlessSite& addSite(std::string typeName, std::string name, const RECT& extent) override;
    void attach(ContainerSite& site, WindowlessControl& control, ICrossComm* link) override;
    void detach(ContainerSite& site) override;
    void removeSite(ContainerSite& site) override;
    void renameSite(ContainerSite& site, std::string name) override;

    // Run time or design time, for every site, now and later.
    void setUserMode(bool userMode);
    HWND window() const { return window_; }
    std::size_t size() const { return entries_.size(); }
    // The site of that name, or this container's own site that `site` is;
    // null when there is none.
    HeadlessSite* site(std::string_view name) const;
    HeadlessSite* site(const ContainerSite& site) const;
    // The control on the site, or null.
    WindowlessControl* control(const ContainerSite& site) const;

private:
    struct Entry {
        std::unique_ptr<HeadlessSite> site;
        std::string typeName;
        std::string name;
        WindowlessControl* control = nullptr;
        ICrossComm* link = nullptr;
    };
    Entry* entry(const ContainerSite& site);
    const Entry* entry(const ContainerSite& site) const;
    // Gives every site the list of attached controls.
    void share();

    HeadlessHost& host_;
    HWND window_;
    bool userMode_ = true;
    std::vector<Entry> entries_;
};

} // namespace platform

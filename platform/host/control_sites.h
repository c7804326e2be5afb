#pragma once
// What every container of windowless controls keeps alike, whatever draws
// its window: the sites' own state, the sites in drawing order, and which
// control holds the pointer, has the keyboard or lies under a drag. The Qt
// and the Win32 containers add their window, its painting, the system's
// events, cursors and drags, and route the pointer, the keyboard and the
// drags through here.

#include "platform/host/container_site.h"
#include "platform/host/control_container.h"
#include "platform/host/window_host.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class ContainerBase;

// A control's place in a container: its name, rectangle and settings, and
// the control once attached.
class SiteBase : public ContainerSite {
public:
    SiteBase(ContainerBase& container, std::string typeName, std::string name, const RECT& extent);

    HWND ContainerHwnd() const override;
    WindowServices& Windows() override;
    TimerServices& Timers() override;
    PointerServices& Pointer() override;
    ClipboardServices& Clipboard() override;

    bool UserMode() const override;
    std::optional<std::int32_t> ScaleMode() const override;
    RECT Extent() const override { return extent_; }
    void Move(const RECT& extent) override;
    std::vector<SitedControl> Controls() const override;
    std::string Tag() const override { return tag_; }
    void SetTag(std::string tag) override { tag_ = std::move(tag); }

    void SetOLEDropMode(std::int16_t mode) override { dropMode_ = mode; }
    void SetEnabled(bool enabled) override { enabled_ = enabled; }
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    void Invalidate(const RECT* area) override;
    void PropertyChanged(std::string_view name) override;
    void RaiseEvent(std::string_view name, std::span<EventArg> args) override;

    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    const std::string& typeName() const { return typeName_; }
    WindowlessControl* control() const { return control_; }
    ICrossComm* link() const { return link_; }
    std::int16_t mousePointer() const { return pointer_; }
    std::int16_t dropMode() const { return dropMode_; }
    bool enabled() const { return enabled_; }
    // A hidden control is neither drawn nor asked about the pointer; the
    // control is told (Show, Hide) when this changes.
    void setVisible(bool visible);
    bool visible() const { return visible_; }

    // Whether the control takes (x, y) of the container: it is shown,
    // enabled, and answers that the point is on it.
    bool takes(int x, int y) const;
    // Paints the control, when shown, where it meets `clip` of `dc` (pixels
    // of the container).
    void paint(HDC dc, const RECT& clip) const;
    // The control's pixels for (x, y) of the container.
    int localX(int x) const { return x - extent_.left; }
    int localY(int y) const { return y - extent_.top; }

protected:
    void setMousePointer(std::int16_t pointer) { pointer_ = pointer; }

private:
    template <class>
    friend class SiteContainer;

    ContainerBase& container_;
    std::string typeName_;
    std::string name_;
    RECT extent_;
    std::string tag_;
    WindowlessControl* control_ = nullptr;
    ICrossComm* link_ = nullptr;
    std::int16_t pointer_ = 0;
    std::int16_t dropMode_ = 0;
    bool enabled_ = true;
    bool visible_ = true;
};

// What the sites ask of their container: its window, the host's services
// and the ambient settings, a repaint, and the handlers of their news.
class ContainerBase : public ControlContainer {
public:
    template <class Host>
    ContainerBase(Host& host, HWND window)
        : host_(host), windows_(host), timers_(host), pointer_(host), window_(window) {}

    // The container's window (a window of the host).
    HWND window() const { return window_; }
    // Ambient settings the controls read.
    void setUserMode(bool userMode) { userMode_ = userMode; }
    void setScaleMode(std::optional<std::int32_t> mode) { scaleMode_ = mode; }

protected:
    void setWindow(HWND window) { window_ = window; }
    // Repaints `area` of the container's pixels; an empty one is nothing.
    virtual void invalidate(const RECT& area) = 0;

private:
    friend class SiteBase;
    virtual std::vector<SitedControl> controls() const = 0;
    virtual void changed(SiteBase& site, std::string_view name) = 0;
    virtual void raised(SiteBase& site, std::string_view name, std::span<EventArg> args) = 0;

    WindowHost& host_;
    WindowServices& windows_;
    TimerServices& timers_;
    PointerServices& pointer_;
    HWND window_;
    bool userMode_ = true;
    std::optional<std::int32_t> scaleMode_ = 3; // pixels
};

// The sites of a container, of its own Site type (a SiteBase made with the
// container, Site::Container), and the pointer, keyboard and drags routed
// among their controls. Points are pixels of the container.
template <class Site>
class SiteContainer : public ContainerBase {
public:
    using ContainerBase::ContainerBase;

    // A place for a control, owned by the container. A control is made with
    // its site and then attached; it is detached before it goes away.
    Site& addSite(std::string typeName, std::string name, const RECT& extent) override {
        sites_.push_back(std::make_unique<Site>(static_cast<typename Site::Container&>(*this),
                                                std::move(typeName), std::move(name), extent));
        return *sites_.back();
    }
    void attach(ContainerSite& site, WindowlessControl& control, ICrossComm* link) override {
        Site* own = this->site(site);
        if (own == nullptr) return;
        own->control_ = &control;
        own->link_ = link;
        own->Invalidate(nullptr);
    }
    void detach(ContainerSite& site) override {
        Site* own = this->site(site);
        if (own == nullptr) return;
        if (pressed_ == own) pressed_ = nullptr;
        if (focused_ == own) focused_ = nullptr;
        if (dragOver_ == own) dragOver_ = nullptr;
        own->control_ = nullptr;
        own->link_ = nullptr;
        own->Invalidate(nullptr);
    }
    // Ends a place (detaching its control first, when it has one).
    void removeSite(ContainerSite& site) override {
        Site* own = this->site(site);
        if (own == nullptr) return;
        detach(*own);
        std::erase_if(sites_, [&](const std::unique_ptr<Site>& s) { return s.get() == own; });
    }
    void renameSite(ContainerSite& site, std::string name) override {
        if (Site* own = this->site(site)) own->setName(std::move(name));
    }
    Site* site(std::string_view name) const {
        for (const auto& s : sites_)
            if (s->name() == name) return s.get();
        return nullptr;
    }
    // This container's own site that `site` is, or null for another's.
    Site* site(const ContainerSite& site) const {
        for (const auto& s : sites_)
            if (s.get() == &site) return s.get();
        return nullptr;
    }
    const std::vector<std::unique_ptr<Site>>& sites() const { return sites_; }

    // Receives every event a control raises (its site names the control).
    using EventHandler = std::function<void(Site&, std::string_view, std::span<EventArg>)>;
    void setEventHandler(EventHandler handler) { onEvent_ = std::move(handler); }
    // Receives every property change a control reports.
    using ChangeHandler = std::function<void(Site&, std::string_view)>;
    void setChangeHandler(ChangeHandler handler) { onChange_ = std::move(handler); }

    // The site of the topmost control that takes the point, or null.
    Site* siteAt(int x, int y) const {
        // The last control is drawn last, so it is the one on top.
        for (auto it = sites_.rbegin(); it != sites_.rend(); ++it)
            if ((*it)->takes(x, y)) return it->get();
        return nullptr;
    }

    // Paints the controls that meet `clip` over the background into `dc`,
    // which holds a 32-bit DIB section of the container's size, each only
    // inside its own rectangle.
    void paintControls(HDC dc, const RECT& clip) const {
        for (const auto& s : sites_)
            s->paint(dc, clip);
    }

protected:
    // Where a mouse event goes: the control holding the pointer since a
    // press, else the one under it; null when there is none.
    Site* target(int x, int y) const {
        Site* s = pressed_ != nullptr ? pressed_ : siteAt(x, y);
        return s != nullptr && s->control_ != nullptr ? s : nullptr;
    }
    // Whether a control holds the pointer (from a press to the release of
    // the last button).
    bool holding() const { return pressed_ != nullptr && pressed_->control_ != nullptr; }

    // The pointer moves; false when no control takes it.
    bool passMove(std::int16_t buttons, std::int16_t shift, int x, int y) {
        Site* s = target(x, y);
        if (s == nullptr) return false;
        s->control_->MouseMove(buttons, shift, s->localX(x), s->localY(y));
        return true;
    }
    // A button goes down on `s` (a target): it holds the pointer until the
    // last button is up, and takes the keyboard.
    void passPress(Site& s, std::int16_t button, std::int16_t shift, int x, int y) {
        pressed_ = &s;
        focused_ = &s;
        s.control_->MouseDown(button, shift, s.localX(x), s.localY(y));
    }
    // The second press of a double click on `s` (a target) is the double
    // click itself; its release ends it without a click.
    void passDoubleClick(Site& s) {
        pressed_ = &s;
        doubleClicked_ = true;
        s.control_->DblClick();
    }
    void focus(Site& s) { focused_ = &s; }
    // A button comes up while a control holds the pointer (`last` when none
    // stays down, which ends the hold). Answers the control to tell of a
    // click, a press and a release on the same control, which the caller
    // does once it has let go of the pointer; null for none.
    WindowlessControl* passRelease(std::int16_t button, std::int16_t shift, int x, int y,
                                   bool last) {
        Site* s = pressed_;
        if (s == nullptr || s->control_ == nullptr) return nullptr;
        WindowlessControl* control = s->control_;
        control->MouseUp(button, shift, s->localX(x), s->localY(y));
        const bool click =
            !doubleClicked_ && pressed_ == s && s->control_ == control && siteAt(x, y) == s;
        if (last) endHold();
        return click ? control : nullptr;
    }
    // The press is over, without a release or a click.
    void endHold() {
        pressed_ = nullptr;
        doubleClicked_ = false;
    }
    // The control with the keyboard, or null (none, or a disabled one).
    WindowlessControl* focusedControl() const {
        return focused_ != nullptr && focused_->enabled_ ? focused_->control_ : nullptr;
    }

    // The control under a drag's point that takes drops.
    Site* dropTarget(int x, int y) const {
        Site* s = siteAt(x, y);
        return s != nullptr && s->dropMode_ == 1 ? s : nullptr;
    }
    // A drag starts over the container: no control has seen it yet.
    void dragEntered() { dragOver_ = nullptr; }
    // A drag offering `effect` moves to (x, y): the control it leaves hears
    // so, the one it reaches that takes drops hears it enter or move.
    // Answers that control's effect; 0 when none takes it.
    std::int32_t passDragOver(DataObject& data, std::int32_t effect, std::int16_t button,
                              std::int16_t shift, int x, int y) {
        Site* s = dropTarget(x, y);
        if (dragOver_ != nullptr && dragOver_ != s) {
            std::int32_t none = 0;
            dragOver_->control_->OLEDragOver(data, none, button, shift, dragOver_->localX(x),
                                             dragOver_->localY(y), vbLeave);
        }
        if (s == nullptr) {
            dragOver_ = nullptr;
            return 0;
        }
        s->control_->OLEDragOver(data, effect, button, shift, s->localX(x), s->localY(y),
                                 dragOver_ == s ? vbOver : vbEnter);
        dragOver_ = s;
        return effect;
    }
    // The drag leaves the container (`empty` stands for its data).
    void passDragLeave(DataObject& empty) {
        if (dragOver_ != nullptr && dragOver_->control_ != nullptr) {
            std::int32_t none = 0;
            dragOver_->control_->OLEDragOver(empty, none, 0, 0, 0, 0, vbLeave);
        }
        dragOver_ = nullptr;
    }
    // The drag drops at (x, y); answers the effect of the control that takes
    // it, 0 when none does.
    std::int32_t passDrop(DataObject& data, std::int32_t effect, std::int16_t button,
                          std::int16_t shift, int x, int y) {
        Site* s = dropTarget(x, y);
        dragOver_ = nullptr;
        if (s == nullptr) return 0;
        s->control_->OLEDragDrop(data, effect, button, shift, s->localX(x), s->localY(y));
        return effect;
    }

private:
    std::vector<SitedControl> controls() const override {
        std::vector<SitedControl> out;
        for (const auto& site : sites_)
            if (site->control_ != nullptr) out.push_back({site->typeName_, site->link_});
        return out;
    }
    void changed(SiteBase& site, std::string_view name) override {
        if (onChange_) onChange_(static_cast<Site&>(site), name);
    }
    void raised(SiteBase& site, std::string_view name, std::span<EventArg> args) override {
        if (onEvent_) onEvent_(static_cast<Site&>(site), name, args);
    }

    std::vector<std::unique_ptr<Site>> sites_;
    Site* pressed_ = nullptr;  // holds the pointer between press and release
    Site* focused_ = nullptr;  // takes the keyboard
    Site* dragOver_ = nullptr; // under a drag
    bool doubleClicked_ = false;
    EventHandler onEvent_;
    ChangeHandler onChange_;
};

} // namespace platform

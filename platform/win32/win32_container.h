#pragma once
// A container of windowless controls in a window of the system: the picture
// boxes of the program's window on Windows, the counterpart of the Qt one.
// Each control gets a site (its place, the ambient settings, the services
// of the Win32 host); the container paints the controls with the project's
// own rendering into a 32-bit DIB section over its background and shows it
// with the system (enlarged as pixels on a display of more than 96 dots per
// inch), asks them whether the pointer is on them, and delivers the
// pointer's moves, presses, releases, clicks and double clicks to the one
// that takes the point, holding the pointer while a button is down, and the
// keyboard to the control last pressed. Files dragged onto a control whose
// OLEDropMode is 1 (manual) reach it as the drag enters, moves, leaves and
// drops. Points no control takes fall through to the window behind.

#include "platform/gdi/memory_canvas.h"
#include "platform/host/container_site.h"
#include "platform/host/control_container.h"
#include "platform/win32/win32_host.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class Win32ControlContainer;

class Win32ContainerSite final : public ContainerSite {
public:
    Win32ContainerSite(Win32ControlContainer& container, std::string typeName, std::string name,
                       const RECT& extent);

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

    void SetMousePointer(std::int16_t pointer, HICON icon) override;
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
    std::int16_t mousePointer() const { return pointer_; }
    std::int16_t dropMode() const { return dropMode_; }
    bool enabled() const { return enabled_; }
    // A hidden control is neither drawn nor asked about the pointer; the
    // control is told (Show, Hide) when this changes.
    void setVisible(bool visible);
    bool visible() const { return visible_; }
    // The cursor shown over the control (the container's default when it
    // is not valid).
    const win32::Cursor& cursor() const { return cursor_; }

private:
    friend class Win32ControlContainer;
    Win32ControlContainer& container_;
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
    win32::Cursor cursor_;
};

class Win32ControlContainer final : public ControlContainer, private win32::DropSink {
public:
    // Makes the container's window: a visible child of `parent` (a window
    // of the host) at `rect` of its client area, named `name`.
    Win32ControlContainer(Win32Host& host, HWND parent, const RECT& rect,
                          const std::string& name = "");
    // The controls must have been detached; the window goes with it.
    ~Win32ControlContainer() override;
    Win32ControlContainer(const Win32ControlContainer&) = delete;
    Win32ControlContainer& operator=(const Win32ControlContainer&) = delete;

    Win32ContainerSite& addSite(std::string typeName, std::string name,
                                const RECT& extent) override;
    void attach(ContainerSite& site, WindowlessControl& control, ICrossComm* link) override;
    void detach(ContainerSite& site) override;
    void removeSite(ContainerSite& site) override;
    void renameSite(ContainerSite& site, std::string name) override;
    Win32ContainerSite* site(std::string_view name) const;
    // This container's own site that `site` is, or null for another's.
    Win32ContainerSite* site(const ContainerSite& site) const;
    const std::vector<std::unique_ptr<Win32ContainerSite>>& sites() const { return sites_; }

    // Ambient settings the controls read.
    void setUserMode(bool userMode) { userMode_ = userMode; }
    void setScaleMode(std::optional<std::int32_t> mode) { scaleMode_ = mode; }
    // What lies behind the controls (0x00BBGGRR); the system's face colour
    // until set.
    void setBackground(COLORREF color);

    using EventHandler =
        std::function<void(Win32ContainerSite&, std::string_view, std::span<EventArg>)>;
    void setEventHandler(EventHandler handler) { onEvent_ = std::move(handler); }
    using ChangeHandler = std::function<void(Win32ContainerSite&, std::string_view)>;
    void setChangeHandler(ChangeHandler handler) { onChange_ = std::move(handler); }

    // The site of the topmost control that takes the point (pixels of the
    // container), or null.
    Win32ContainerSite* siteAt(int x, int y) const;

    Win32Host& host() const { return host_; }
    // The container's window (a window of the host).
    HWND window() const { return window_; }

    // Paints the controls that meet `clip` over the background into `dc`,
    // which holds a 32-bit DIB section of the container's size, each only
    // inside its own rectangle.
    void paintControls(HDC dc, const RECT& clip) const;
    // The pixels the window shows: the background and the controls, at 96
    // dots per inch, as the last paint left them (repainted where asked).
    const MemoryCanvas* canvas() const { return canvas_.get(); }

private:
    friend class Win32ContainerSite;

    std::optional<LRESULT> message(UINT message, WPARAM wParam, LPARAM lParam);
    void paint();
    void mouseButton(UINT message, WPARAM wParam, int x, int y);
    void mouseMove(WPARAM wParam, int x, int y);
    bool setCursor();
    void key(UINT message, WPARAM wParam);
    void invalidate(const RECT& area);
    // Device pixels of the window to the container's pixels.
    int logical(int device) const;
    // --- win32::DropSink -------------------------------------------------------
    std::uint32_t dragOver(std::span<const std::uint8_t> files, win32::Spot client,
                           std::uint32_t keys, std::uint32_t allowed, bool entering) override;
    void dragLeave() override;
    std::uint32_t drop(std::span<const std::uint8_t> files, win32::Spot client, std::uint32_t keys,
                       std::uint32_t allowed) override;
    // The control under a drag's point that takes drops.
    Win32ContainerSite* dropTarget(int x, int y) const;
    // Where a mouse event goes: the control holding the pointer since a
    // press, else the one under it.
    Win32ContainerSite* target(int x, int y) const;

    Win32Host& host_;
    HWND window_ = 0;
    bool userMode_ = true;
    std::optional<std::int32_t> scaleMode_ = 3; // pixels
    COLORREF background_;
    std::vector<std::unique_ptr<Win32ContainerSite>> sites_;
    std::unique_ptr<MemoryCanvas> canvas_;
    Win32ContainerSite* pressed_ = nullptr;  // holds the pointer between press and release
    Win32ContainerSite* focused_ = nullptr;  // takes the keyboard
    Win32ContainerSite* dragOver_ = nullptr; // under a drag
    std::unique_ptr<win32::DropRegistration> drops_;
    bool doubleClicked_ = false;
    bool tracking_ = false; // the system tells when the pointer leaves
    win32::Cursor arrow_;
    EventHandler onEvent_;
    ChangeHandler onChange_;
};

// The system's cursor for MousePointer values 0 to 15 (0: the container's
// default arrow), and for 99 a cursor made from the icon's pixels with its
// hot spot (the middle for an icon). Unknown values give the arrow.
win32::Cursor CursorForMousePointer(std::int16_t pointer, HICON icon);

} // namespace platform

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
#include "platform/host/control_sites.h"
#include "platform/win32/win32_host.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class Win32ControlContainer;

class Win32ContainerSite final : public SiteBase {
public:
    using Container = Win32ControlContainer; // the one that makes the site
    Win32ContainerSite(Win32ControlContainer& container, std::string typeName, std::string name,
                       const RECT& extent);

    void SetMousePointer(std::int16_t pointer, HICON icon) override;
    // The cursor shown over the control (the container's default when it
    // is not valid).
    const win32::Cursor& cursor() const { return cursor_; }

private:
    Win32ControlContainer& container_;
    win32::Cursor cursor_;
};

class Win32ControlContainer final : public SiteContainer<Win32ContainerSite>,
                                    private win32::DropSink {
public:
    // Makes the container's window: a visible child of `parent` (a window
    // of the host) at `rect` of its client area, named `name`.
    Win32ControlContainer(Win32Host& host, HWND parent, const RECT& rect,
                          const std::string& name = "");
    // The controls must have been detached; the window goes with it.
    ~Win32ControlContainer() override;
    Win32ControlContainer(const Win32ControlContainer&) = delete;
    Win32ControlContainer& operator=(const Win32ControlContainer&) = delete;

    // What lies behind the controls (0x00BBGGRR); the system's face colour
    // until set.
    void setBackground(COLORREF color);

    Win32Host& host() const { return host_; }

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
    void invalidate(const RECT& area) override;
    // Device pixels of the window to the container's pixels.
    int logical(int device) const;
    // --- win32::DropSink -------------------------------------------------------
    std::uint32_t dragOver(std::span<const std::uint8_t> files, win32::Spot client,
                           std::uint32_t keys, std::uint32_t allowed, bool entering) override;
    void dragLeave() override;
    std::uint32_t drop(std::span<const std::uint8_t> files, win32::Spot client, std::uint32_t keys,
                       std::uint32_t allowed) override;

    Win32Host& host_;
    COLORREF background_;
    std::unique_ptr<MemoryCanvas> canvas_;
    std::unique_ptr<win32::DropRegistration> drops_;
    bool tracking_ = false; // the system tells when the pointer leaves
    win32::Cursor arrow_;
};

// The system's cursor for MousePointer values 0 to 15 (0: the container's
// default arrow), and for 99 a cursor made from the icon's pixels with its
// hot spot (the middle for an icon). Unknown values give the arrow.
win32::Cursor CursorForMousePointer(std::int16_t pointer, HICON icon);

} // namespace platform

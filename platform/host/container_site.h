#pragma once
// What a windowless control and its container say to each other. The
// container paints the control into its own window and asks it whether a
// point is on it; the control asks the container for its window, the
// ambient settings and the services, and reports changes and events.

#include "platform/host/property_store.h"
#include "platform/host/services.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform {

class DataObject;
class ICrossComm;

// Hit-test answers.
inline constexpr int HITRESULT_OUTSIDE = 0;
inline constexpr int HITRESULT_TRANSPARENT = 1;
inline constexpr int HITRESULT_CLOSE = 2;
inline constexpr int HITRESULT_HIT = 3;

// Mouse buttons and shift keys of mouse events.
inline constexpr std::int16_t vbLeftButton = 1;
inline constexpr std::int16_t vbRightButton = 2;
inline constexpr std::int16_t vbMiddleButton = 4;

// An event argument, passed by reference: a handler may change it. A drop
// event's data object is lent for the call only.
using EventArg = std::variant<std::int16_t, std::int32_t, float, bool, std::string, DataObject*>;

// OLEDragOver states.
inline constexpr std::int16_t vbEnter = 0;
inline constexpr std::int16_t vbLeave = 1;
inline constexpr std::int16_t vbOver = 2;

// What the control implements for its container. Coordinates are pixels of
// the control's own area.
class WindowlessControl {
public:
    virtual ~WindowlessControl() = default;
    // Draw into the container's device context; the control's area starts
    // at (x, y) of it, and only the clip box needs drawing.
    virtual void Paint(HDC hdc, int x, int y, const RECT& clip) = 0;
    // Whether (x, y) is on the control: leaves the container's default
    // answer in hitResult or sets it (HITRESULT_HIT).
    virtual void HitTest(int x, int y, int& hitResult) = 0;

    // Life cycle, as the container drives it.
    virtual void InitProperties() {}
    virtual void ReadProperties(const PropertyStore& store) { static_cast<void>(store); }
    virtual void WriteProperties(PropertyStore& store) { static_cast<void>(store); }
    virtual void Resize() {}
    virtual void Show() {}
    virtual void Hide() {}
    virtual void Terminate() {}

    // The pointer, over the control.
    virtual void MouseDown(std::int16_t button, std::int16_t shift, int x, int y) {
        static_cast<void>(button), static_cast<void>(shift), static_cast<void>(x),
            static_cast<void>(y);
    }
    virtual void MouseMove(std::int16_t button, std::int16_t shift, int x, int y) {
        static_cast<void>(button), static_cast<void>(shift), static_cast<void>(x),
            static_cast<void>(y);
    }
    virtual void MouseUp(std::int16_t button, std::int16_t shift, int x, int y) {
        static_cast<void>(button), static_cast<void>(shift), static_cast<void>(x),
            static_cast<void>(y);
    }
    virtual void Click() {}
    virtual void DblClick() {}

    // The keyboard, while the control has the focus. A handler may change
    // the key (a KeyAscii of 0 swallows it); the container uses what the
    // control leaves in the argument.
    virtual void KeyDown(std::int16_t& keyCode, std::int16_t shift) {
        static_cast<void>(keyCode), static_cast<void>(shift);
    }
    virtual void KeyPress(std::int16_t& keyAscii) { static_cast<void>(keyAscii); }
    virtual void KeyUp(std::int16_t& keyCode, std::int16_t shift) {
        static_cast<void>(keyCode), static_cast<void>(shift);
    }

    // Drag and drop onto the control (when its OLEDropMode accepts drops).
    // effect is what the drop does (the container's offer in, the
    // control's answer out); state is vbEnter, vbLeave or vbOver.
    virtual void OLEDragDrop(DataObject& data, std::int32_t& effect, std::int16_t button,
                             std::int16_t shift, int x, int y) {
        static_cast<void>(data), static_cast<void>(effect), static_cast<void>(button),
            static_cast<void>(shift), static_cast<void>(x), static_cast<void>(y);
    }
    virtual void OLEDragOver(DataObject& data, std::int32_t& effect, std::int16_t button,
                             std::int16_t shift, int x, int y, std::int16_t state) {
        static_cast<void>(data), static_cast<void>(effect), static_cast<void>(button),
            static_cast<void>(shift), static_cast<void>(x), static_cast<void>(y),
            static_cast<void>(state);
    }
};

// A control among the container's controls.
struct SitedControl {
    std::string typeName;       // the control's type, e.g. "aicAlphaImage"
    ICrossComm* link = nullptr; // null for controls of other kinds
};

// What the container offers the control.
class ContainerSite {
public:
    virtual ~ContainerSite() = default;

    // The window the control is drawn into.
    virtual HWND ContainerHwnd() const = 0;
    // The services of the container's host.
    virtual WindowServices& Windows() = 0;
    virtual TimerServices& Timers() = 0;
    virtual PointerServices& Pointer() = 0;
    virtual ClipboardServices& Clipboard() = 0;

    // Ambient settings. UserMode: true at run time, false at design time.
    virtual bool UserMode() const = 0;
    // The container's scale mode; none when it cannot be read.
    virtual std::optional<std::int32_t> ScaleMode() const = 0;
    // The control's rectangle in the container's client area, in pixels.
    virtual RECT Extent() const = 0;
    virtual void Move(const RECT& extent) = 0;
    // The container's controls, first to last.
    virtual std::vector<SitedControl> Controls() const = 0;
    // The free text developers attach to the control.
    virtual std::string Tag() const = 0;
    virtual void SetTag(std::string tag) = 0;

    // The pointer shape over the control (a MousePointer value; the icon for
    // a custom one) and whether it accepts drops (an OLEDropMode value).
    virtual void SetMousePointer(std::int16_t pointer, HICON icon) = 0;
    virtual void SetOLEDropMode(std::int16_t mode) = 0;
    // Whether the container routes the pointer and the keyboard to the
    // control.
    virtual void SetEnabled(bool enabled) = 0;

    // A modal message box over the container's window; answers the button
    // pressed.
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;

    // Asks for a repaint of the control (part of it when a rectangle in the
    // control's pixels is given).
    virtual void Invalidate(const RECT* area) = 0;
    // A property changed (the design-time dirty mark).
    virtual void PropertyChanged(std::string_view name) = 0;
    // Raises an event to the container's handlers, which may change the
    // arguments.
    virtual void RaiseEvent(std::string_view name, std::span<EventArg> args) = 0;
};

} // namespace platform

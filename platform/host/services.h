#pragma once
// The window services, each a small interface of its own, so that code gets
// handed only what it uses: windows and messages, timers, the pointer, the
// clipboard. A host implements all of them; the free functions of win32.h
// reach the current host's for code written against the global calls.

#include "platform/host/window_types.h"
#include "platform/host/windows_names.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

// Windows and messages. Handles are opaque; a destroyed window's handle
// stays invalid for the rest of the process.
class WindowServices {
public:
    virtual ~WindowServices() = default;

    // Registers a class; false when the name is taken or missing. The
    // system classes ("Static", "Button", "Edit", "ComboBox", "ListBox",
    // "#32770") exist from the start.
    virtual bool RegisterClassA(const WNDCLASSA& windowClass) = 0;
    // A child (WS_CHILD) lives inside its parent; a top-level window given
    // a parent is owned by it. 0 when the class is unknown, a child has no
    // valid parent, or the class's procedure refuses WM_NCCREATE/WM_CREATE.
    virtual HWND CreateWindowExA(DWORD exStyle, const char* className, const char* windowName,
                                 DWORD style, int x, int y, int width, int height, HWND parent,
                                 HMENU menu, HINSTANCE instance, void* param) = 0;
    // Destroys the windows the window owns, then sends WM_DESTROY to the
    // window and then to each of its children (parents before children),
    // then WM_NCDESTROY, children first. Its timers die with it.
    virtual bool DestroyWindow(HWND window) = 0;
    virtual bool IsWindow(HWND window) const = 0;
    // The parent of a child, the owner of a popup, 0 otherwise.
    virtual HWND GetParent(HWND window) const = 0;
    virtual HWND GetWindow(HWND window, UINT relation) const = 0;
    // The first child of parent after childAfter (0: from the first) whose
    // class and title match; a null class or title matches any. Parent 0
    // searches the top-level windows. Names compare without regard to case
    // for classes, exactly for titles.
    virtual HWND FindWindowExA(HWND parent, HWND childAfter, const char* className,
                               const char* windowName) const = 0;
    // Copy the name into the buffer, cut to fit with its terminating zero;
    // answer the characters copied, 0 for an invalid window.
    virtual int GetClassNameA(HWND window, char* buffer, int maxCount) const = 0;
    virtual int GetWindowTextA(HWND window, char* buffer, int maxCount) const = 0;
    virtual bool SetWindowTextA(HWND window, const char* text) = 0;
    // The GWL_ slots; setting answers the previous value (the previous
    // procedure for GWL_WNDPROC), 0 for an invalid window or slot.
    virtual LONG_PTR SetWindowLongA(HWND window, int index, LONG_PTR value) = 0;
    virtual LONG_PTR GetWindowLongA(HWND window, int index) const = 0;
    virtual LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam,
                                    LPARAM lParam) = 0;
    // Calls the window's procedure at once; 0 for an invalid window.
    virtual LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // What a window does with a message it leaves alone: the text messages,
    // WM_CLOSE destroys the window, everything else answers 0.
    virtual LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;

    virtual bool ShowWindow(HWND window, int command) = 0;
    virtual bool IsWindowVisible(HWND window) const = 0;
    // Position relative to the parent's client area (the screen for a
    // top-level window).
    virtual bool MoveWindow(HWND window, int x, int y, int width, int height, bool repaint) = 0;
    // In screen coordinates.
    virtual bool GetWindowRect(HWND window, RECT* rect) const = 0;
    // Origin 0, 0 and the window's size (windows have no frame here).
    virtual bool GetClientRect(HWND window, RECT* rect) const = 0;
    // Asks for a repaint of the window (part of it when a rectangle is
    // given).
    virtual bool InvalidateRect(HWND window, const RECT* rect, bool erase) = 0;

    // Keeps an object alive until the window is gone, for procedures that
    // keep their state beside a window they subclass.
    virtual bool KeepWithWindow(HWND window, std::shared_ptr<void> object) = 0;
};

// Timers. A window timer is known by (window, identifier) and reaches the
// callback, or the window's procedure as WM_TIMER when there is none. A
// thread timer (window 0) gets its identifier from the host. Timers repeat
// until killed.
class TimerServices {
public:
    virtual ~TimerServices() = default;
    // Starts or restarts a timer; answers its identifier, 0 on failure (a
    // window timer on an invalid window).
    virtual UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC callback) = 0;
    // False for an unknown timer, which is otherwise left alone. A timer
    // killed from inside its own callback never fires again.
    virtual bool KillTimer(HWND window, UINT_PTR id) = 0;
    // Milliseconds since the host started.
    virtual DWORD GetTickCount() const = 0;
};

// The mouse pointer.
class PointerServices {
public:
    virtual ~PointerServices() = default;
    // Answers the window that held the capture before.
    virtual HWND SetCapture(HWND window) = 0;
    virtual bool ReleaseCapture() = 0;
    virtual HWND GetCapture() const = 0;
    // Screen coordinates.
    virtual bool GetCursorPos(POINT* point) const = 0;
    // The innermost visible window under a screen point, 0 for none.
    virtual HWND WindowFromPoint(POINT point) const = 0;
    virtual bool ScreenToClient(HWND window, POINT* point) const = 0;
    virtual bool ClientToScreen(HWND window, POINT* point) const = 0;
};

// Clipboard formats, numbered as the system numbers them.
inline constexpr unsigned CF_BITMAP = 2;
inline constexpr unsigned CF_METAFILEPICT = 3;
inline constexpr unsigned CF_DIB = 8;
inline constexpr unsigned CF_ENHMETAFILE = 14;
inline constexpr unsigned CF_HDROP = 15;

// The clipboard. Its data travels as the bytes of its memory block: a
// packed DIB for CF_DIB and CF_BITMAP, the metafile's own bytes for
// CF_METAFILEPICT and CF_ENHMETAFILE, a drop-file list (DROPFILES) for
// CF_HDROP. It comes from other programs, so nothing that reads it trusts
// it. A host without a clipboard offers nothing.
class ClipboardServices {
public:
    virtual ~ClipboardServices() = default;
    // Opening fails while another program holds the clipboard; every
    // successful open is matched by a close.
    virtual bool OpenClipboard() { return false; }
    virtual void CloseClipboard() {}
    // Whether a format is offered; needs no open clipboard.
    virtual bool IsClipboardFormatAvailable(unsigned format) const {
        static_cast<void>(format);
        return false;
    }
    // A format's bytes, while the clipboard is open; none when the format is
    // not offered or the clipboard is not open.
    virtual std::optional<std::vector<std::uint8_t>> GetClipboardData(unsigned format) {
        static_cast<void>(format);
        return std::nullopt;
    }
};

} // namespace platform

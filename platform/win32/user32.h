#pragma once
// The system's windows, timers, pointer, clipboard and shell for the Win32
// window host, in names of their own: the sources that include this never
// see <windows.h>, and this declares none of the names it turns into macros.
// A system window handle travels here as a number (NativeWindow).

#include "platform/host/callback.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::win32 {

using NativeWindow = std::uintptr_t;

struct Area {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};
struct Spot {
    std::int32_t x = 0, y = 0;
};

// Where the system's messages for a window the host made go. The host
// answers the messages it takes; the others reach the window's own default
// procedure (DefaultProcedure).
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Whether the host wants to see this message at all; asked first, so
    // that messages the host leaves alone never cross.
    virtual bool wants(std::uint32_t message) const = 0;
    virtual std::intptr_t deliver(NativeWindow window, std::uintptr_t tag, std::uint32_t message,
                                  std::uintptr_t wParam, std::intptr_t lParam) = 0;
    // The system destroys the window (its parent went, or its owner's code
    // destroyed it): WM_DESTROY reached it and the host did not ask for it.
    virtual void destroyedBySystem(std::uintptr_t tag) = 0;
};

// What a window is made as. An empty class name is the host's own class
// (double clicks, no background of its own); a system class name ("Static",
// "Button", ...) makes that control, its procedure kept behind the host's.
struct WindowDesign {
    std::string systemClass;
    std::string title; // UTF-8
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    Area rect;               // the parent's client area, or the screen
    NativeWindow parent = 0; // a child's parent, a top-level window's owner
};

// Makes the window; its messages go to sink with the tag. 0 when the system
// refuses it. The window is made hidden whatever its style says.
NativeWindow CreateNative(const WindowDesign& design, MessageSink& sink, std::uintptr_t tag);
// A window made elsewhere starts sending its messages to sink (its own
// procedure stays behind, as the default one), until Release.
bool AdoptNative(NativeWindow window, MessageSink& sink, std::uintptr_t tag);
// The window's messages stop reaching the sink: its own procedure is back.
void ReleaseNative(NativeWindow window);
// Releases and destroys the window.
void DestroyNative(NativeWindow window);
bool IsNative(NativeWindow window);
bool NativeVisible(NativeWindow window);
// The parent of a child window, 0 for a top-level one.
NativeWindow NativeParent(NativeWindow window);

// The procedure behind the host's: the class's own, or the system default.
std::intptr_t DefaultProcedure(NativeWindow window, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam);

void ShowNative(NativeWindow window, bool visible);
void MoveNative(NativeWindow window, const Area& rect, bool repaint);
void SetNativeText(NativeWindow window, std::string_view utf8);
std::string NativeText(NativeWindow window);
void SetNativeOwner(NativeWindow window, NativeWindow owner);
void InvalidateNative(NativeWindow window, const Area* area);
// The window's place: in screen coordinates, and relative to the parent's
// client area (the screen for a top-level window).
bool NativeWindowRect(NativeWindow window, Area& screen);
bool NativePlacement(NativeWindow window, Area& inParent);
bool NativeClientRect(NativeWindow window, Area& client);
bool NativeClientToScreen(NativeWindow window, Spot& spot);
bool NativeScreenToClient(NativeWindow window, Spot& spot);
// The innermost visible window under a screen point: the system's
// top-level window there, then its children that contain the point, with
// no window asked whether it lets the pointer through.
NativeWindow NativeWindowAt(Spot screen);

// The pointer.
NativeWindow SetNativeCapture(NativeWindow window);
bool ReleaseNativeCapture();
NativeWindow NativeCapture();
bool NativeCursorPos(Spot& spot);
// Asks for WM_MOUSELEAVE once the pointer leaves the window.
void TrackPointerLeave(NativeWindow window);
// The keyboard goes to the window.
void FocusNative(NativeWindow window);
// The shift keys held now: Shift 1, Ctrl 2, Alt 4.
std::int16_t ShiftKeys();

// A cursor shape: a standard one (an IDC_ number) or one made from pixels.
class Cursor {
public:
    Cursor() = default;
    ~Cursor();
    Cursor(Cursor&& other) noexcept;
    Cursor& operator=(Cursor&& other) noexcept;
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    static Cursor Standard(std::uint32_t idc);
    // From top-down rows of premultiplied BGRA pixels, the hot spot kept.
    static Cursor FromPixels(std::span<const std::uint32_t> pixels, int width, int height, int hotX,
                             int hotY);
    bool valid() const { return handle_ != nullptr; }
    // Where the shape points, in its pixels from the top left.
    bool hotSpot(int& x, int& y) const;
    // Shows the shape now (over the window the pointer is in).
    void show() const;

private:
    void* handle_ = nullptr;
    bool owned_ = false;
};

// OLE on the calling thread while it lives (drag and drop needs it); not
// ok where the thread's COM apartment does not allow it.
class OleSession {
public:
    OleSession();
    ~OleSession();
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

// Drags onto a window. Points are the window's client pixels; keys are the
// MK_ flags (and 0x20 for Alt); effects are 1 copy, 2 move, 0 none, the
// sink answering one of those allowed. The data is the drag's file list as
// a drop-file block, empty when it carries no files.
class DropSink {
public:
    virtual ~DropSink() = default;
    virtual std::uint32_t dragOver(std::span<const std::uint8_t> files, Spot client,
                                   std::uint32_t keys, std::uint32_t allowed, bool entering) = 0;
    virtual void dragLeave() = 0;
    virtual std::uint32_t drop(std::span<const std::uint8_t> files, Spot client, std::uint32_t keys,
                               std::uint32_t allowed) = 0;
};

// While it lives, drags over the window reach the sink (an IDropTarget of
// the system's drag and drop); inactive without OLE on the thread.
class DropRegistration {
public:
    DropRegistration(NativeWindow window, DropSink& sink);
    ~DropRegistration();
    DropRegistration(const DropRegistration&) = delete;
    DropRegistration& operator=(const DropRegistration&) = delete;
    bool active() const { return target_ != nullptr; }

private:
    NativeWindow window_;
    void* target_ = nullptr; // the registered object, one reference held
};

// Window timers send WM_TIMER to the window's sink; thread timers call back.
bool StartWindowTimer(NativeWindow window, std::uintptr_t id, std::uint32_t elapse);
bool StopWindowTimer(NativeWindow window, std::uintptr_t id);
// A thread timer: id 0 (or one not running) starts a new one, whose
// identifier the system picks; a running id restarts with the new callback.
// 0 on failure.
using ThreadTick = std::function<void(std::uintptr_t id)>;
std::uintptr_t StartThreadTimer(std::uintptr_t id, std::uint32_t elapse, ThreadTick tick);
bool StopThreadTimer(std::uintptr_t id);
std::uint32_t TickCount();

// Dispatches the messages waiting for the thread, and returns.
void PumpMessages();
// Dispatches messages until QuitMessageLoop; answers its code. The keys of
// a dialog-like window (Tab, Enter, Alt and a mnemonic) work as in a dialog
// when it is given.
int RunMessageLoop(NativeWindow dialog);
void QuitMessageLoop(int code);
// Waits up to ms for a message to arrive (returns at once when one waits).
void WaitForMessages(std::uint32_t ms);

// Painting a window: between the system's begin and end of a paint, draw
// answers the pixels of the whole client area at 96 dots per inch (rows
// bottom-up, 32 bits per pixel), having drawn at least the area asked for.
// On a window of more dots per inch the pixels are enlarged to fill it,
// without smoothing.
struct Pixels {
    const std::uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
};
void PaintNative(NativeWindow window, std::uint32_t dpi,
                 const std::function<std::optional<Pixels>(const Area& logical)>& draw);
// The window's dots per inch (96 without per-monitor awareness).
std::uint32_t NativeDpi(NativeWindow window);

int ShowMessageBox(NativeWindow owner, std::string_view text, std::string_view caption,
                   std::uint32_t flags);
std::intptr_t ShellOpen(NativeWindow window, std::string_view operation, std::string_view file,
                        std::string_view parameters, std::string_view directory, int show);

// The clipboard, its formats as the bytes of their data: CF_DIB (and
// CF_BITMAP) as the richest DIB there (a V5 header keeps the alpha), the
// metafiles as their own bytes, the others (CF_HDROP, the registered "PNG"
// format, a number of its own) as their memory blocks.
bool OpenNativeClipboard();
void CloseNativeClipboard();
bool NativeClipboardOffers(std::uint32_t format);
std::optional<std::vector<std::uint8_t>> NativeClipboardBytes(std::uint32_t format);
std::uint32_t PngClipboardFormat();

} // namespace platform::win32

#pragma once
// The window host on the system's own windows (user32). Every window of the
// host is a record of the window tree, as on the other hosts, and a real
// window of the system beside it: the record answers for the tree (names,
// links, slots, the procedure and the messages code sends), the real window
// is what the user sees and touches. What the system says to a real window
// (painting, the pointer, the keyboard, closing, moves) reaches the record's
// procedure; what the procedure leaves to the default procedure goes back to
// the system's. Timers, the capture, the cursor, the clipboard, message
// boxes and the shell are the system's.
//
// The handles code sees are the tree's; the table here that maps them to
// the system's windows is the only place that knows both.

#include "platform/host/window_host.h"
#include "platform/host/window_tree.h"
#include "platform/win32/user32.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform {

class Win32Host final : public WindowHost,
                        public WindowTree,
                        public TimerServices,
                        private win32::MessageSink {
public:
    Win32Host();
    // Timers first, then the windows (their real windows with them).
    ~Win32Host() override;

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    void DoEvents() override;
    std::intptr_t ShellExecuteA(HWND window, const std::string& operation, const std::string& file,
                                const std::string& parameters, const std::string& directory,
                                int showCommand) override;

    WindowServices* windows() override { return this; }
    TimerServices* timers() override { return this; }
    PointerServices* pointer() override { return this; }

    // --- windows: the records, and their real windows --------------------------
    HWND CreateWindowExA(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                         int x, int y, int width, int height, HWND parent, HMENU menu,
                         HINSTANCE instance, void* param) override;
    LONG_PTR SetWindowLongA(HWND window, int index, LONG_PTR value) override;
    LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    bool GetWindowRect(HWND window, RECT* rect) const override;
    bool GetClientRect(HWND window, RECT* rect) const override;

    // --- timers ------------------------------------------------------------------
    UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC callback) override;
    bool KillTimer(HWND window, UINT_PTR id) override;
    DWORD GetTickCount() const override;
    // The timers running, thread timers included.
    std::size_t timerCount() const { return timers_.size(); }

    // --- the pointer ----------------------------------------------------------------
    HWND SetCapture(HWND window) override;
    bool ReleaseCapture() override;
    HWND GetCapture() const override;
    bool GetCursorPos(POINT* point) const override;
    HWND WindowFromPoint(POINT point) const override;
    bool ScreenToClient(HWND window, POINT* point) const override;
    bool ClientToScreen(HWND window, POINT* point) const override;

    // --- the clipboard ------------------------------------------------------------------
    bool OpenClipboard() override;
    void CloseClipboard() override;
    bool IsClipboardFormatAvailable(unsigned format) const override;
    std::optional<std::vector<std::uint8_t>> GetClipboardData(unsigned format) override;
    // The registered "PNG" format's number.
    unsigned PngFormat() const;

    // --- the program's own windows and the message loop ---------------------------------
    // A top-level record for a window the program made itself (its main
    // window): its messages reach the record's procedure first (the class's
    // procedure here, normally the default one, which hands them back to the
    // window's own), its place and visibility are the real ones, and
    // destroying the record takes the host off it and leaves it standing.
    // The window's own destruction ends the record and the windows in it.
    HWND AdoptWindow(std::uintptr_t nativeWindow, const char* className);
    // The system's window of a record, 0 for none; the record of a system
    // window, 0 for none.
    std::uintptr_t nativeWindow(HWND window) const;
    HWND windowOf(std::uintptr_t nativeWindow) const;

    // Takes the system's messages for a window before its procedure does (a
    // container paints and takes the pointer this way); an empty answer
    // passes the message on. Ends with the window.
    using MessageHandler = std::function<std::optional<LRESULT>(UINT, WPARAM, LPARAM)>;
    void SetMessageHandler(HWND window, MessageHandler handler);

    // Dispatches messages as they come until done() holds, false when it
    // still does not after boundMs; the bound only ends the wait.
    bool RunUntil(const std::function<bool()>& done, DWORD boundMs);
    // The program's message loop: runs until QuitMessageLoop, answering its
    // code. Keys work in `dialog` (a window of the host, or 0) as in a
    // dialog box: Tab, Enter, Alt and a mnemonic.
    int RunMessageLoop(HWND dialog);
    void QuitMessageLoop(int code);

protected:
    void windowCreated(HWND window) override;
    void windowDestroyed(HWND window) override;
    void windowShown(HWND window, bool visible) override;
    void windowMoved(HWND window) override;
    void windowTextChanged(HWND window) override;
    void windowInvalidated(HWND window, const RECT& area) override;

private:
    // --- win32::MessageSink ----------------------------------------------------
    bool wants(std::uint32_t message) const override;
    std::intptr_t deliver(win32::NativeWindow native, std::uintptr_t tag, std::uint32_t message,
                          std::uintptr_t wParam, std::intptr_t lParam) override;
    void destroyedBySystem(std::uintptr_t tag) override;

    struct Timer {
        TIMERPROC callback;
        bool running = false;
    };
    using TimerKey = std::pair<HWND, UINT_PTR>;
    void fire(TimerKey key);
    // A message of the system being handed to a record's procedure: what
    // the default procedure gets back to the system's, as it came.
    struct Delivery {
        HWND window;
        win32::NativeWindow native;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    // The record's place as the real window shows it (a frame included).
    void syncRect(HWND window);
    RECT placement(HWND window) const;

    win32::OleSession ole_; // before any window, after every one
    std::unordered_map<HWND, win32::NativeWindow> native_;
    std::unordered_map<win32::NativeWindow, HWND> records_;
    std::set<HWND> adopted_;
    std::set<HWND> ready_; // made: the system's messages reach the procedure
    HWND systemDestroys_ = 0;
    win32::NativeWindow adopting_ = 0;
    std::map<TimerKey, Timer> timers_;
    std::unordered_map<HWND, MessageHandler> handlers_;
    std::vector<Delivery> deliveries_;
    bool ending_ = false; // the host goes: its windows go without messages
    bool clipboardOpen_ = false;
    DWORD started_ = 0;
};

} // namespace platform

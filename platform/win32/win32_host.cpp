#include "platform/win32/win32_host.h"

#include "platform/host/win32.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace platform {
namespace {

// The classes whose windows are the system's controls of that name.
bool isSystemClass(std::string name) {
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name == "static" || name == "button" || name == "edit" || name == "combobox" ||
           name == "listbox";
}

RECT rectOf(const win32::Area& a) {
    return {a.left, a.top, a.right, a.bottom};
}
win32::Area areaOf(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

// The system's messages a record's procedure sees. The others (creation and
// destruction, which the tree sends itself, text, sizing negotiations) stay
// with the real window's own procedure.
constexpr std::array<UINT, 22> kDelivered = {WM_MOVE,        WM_SIZE,
                                             WM_SETFOCUS,    WM_KILLFOCUS,
                                             WM_PAINT,       WM_CLOSE,
                                             WM_ERASEBKGND,  WM_SETCURSOR,
                                             WM_CONTEXTMENU, WM_NCHITTEST,
                                             WM_KEYDOWN,     WM_KEYUP,
                                             WM_CHAR,        WM_SYSKEYDOWN,
                                             WM_SYSKEYUP,    WM_COMMAND,
                                             WM_TIMER,       WM_MOUSELEAVE,
                                             WM_DROPFILES,   WM_CAPTURECHANGED,
                                             WM_DPICHANGED,  WM_DPICHANGED_AFTERPARENT};

} // namespace

Win32Host::Win32Host() : started_(win32::TickCount()) {}

Win32Host::~Win32Host() {
    ending_ = true;
    // Timers first (their callbacks may hold state that refers to windows),
    // then every window while this host can still answer for them.
    for (const auto& [key, timer] : timers_) {
        if (key.first == 0)
            win32::StopThreadTimer(key.second);
        else if (const win32::NativeWindow native = nativeWindow(key.first))
            win32::StopWindowTimer(native, key.second);
    }
    const std::map<TimerKey, Timer> doomed = std::move(timers_);
    timers_.clear();
    handlers_.clear();
    // Without messages, as the tree drops its records: nothing runs on a
    // host that is going away. The top-level windows take their children
    // along; what is left lives in the program's own windows, which stay.
    for (const HWND top : topLevelWindows())
        if (!adopted_.contains(top)) win32::DestroyNative(nativeWindow(top));
    for (const auto& [window, native] : native_)
        if (!adopted_.contains(window)) win32::DestroyNative(native);
    for (const HWND window : adopted_)
        win32::ReleaseNative(nativeWindow(window));
    native_.clear();
    records_.clear();
}

// --- windows ----------------------------------------------------------------------

HWND Win32Host::CreateWindowExA(DWORD exStyle, const char* className, const char* windowName,
                                DWORD style, int x, int y, int width, int height, HWND parent,
                                HMENU menu, HINSTANCE instance, void* param) {
    const HWND window = WindowTree::CreateWindowExA(exStyle, className, windowName, style, x, y,
                                                    width, height, parent, menu, instance, param);
    if (window == 0) return 0;
    ready_.insert(window);
    // The system may have placed a top-level window otherwise (a frame's
    // least size).
    syncRect(window);
    return window;
}

HWND Win32Host::AdoptWindow(std::uintptr_t nativeWindow, const char* className) {
    if (!win32::IsNative(nativeWindow) || records_.contains(nativeWindow)) return 0;
    win32::Area r{};
    win32::NativeWindowRect(nativeWindow, r);
    adopting_ = nativeWindow;
    const DWORD visible = win32::NativeVisible(nativeWindow) ? WS_VISIBLE : 0;
    const std::string title = win32::NativeText(nativeWindow);
    const HWND window = WindowTree::CreateWindowExA(
        0, className, title.c_str(), WS_OVERLAPPEDWINDOW | visible, r.left, r.top, r.right - r.left,
        r.bottom - r.top, 0, 0, 0, nullptr);
    adopting_ = 0;
    if (window == 0) return 0;
    ready_.insert(window);
    return window;
}

std::uintptr_t Win32Host::nativeWindow(HWND window) const {
    const auto it = native_.find(window);
    return it != native_.end() ? it->second : 0;
}

HWND Win32Host::windowOf(std::uintptr_t nativeWindow) const {
    const auto it = records_.find(nativeWindow);
    return it != records_.end() ? it->second : 0;
}

void Win32Host::SetMessageHandler(HWND window, MessageHandler handler) {
    if (!IsWindow(window)) return;
    if (handler)
        handlers_[window] = std::move(handler);
    else
        handlers_.erase(window);
}

RECT Win32Host::placement(HWND window) const {
    // The record's rectangle: relative to the parent's client area for a
    // child, on the screen for a top-level window.
    RECT r{};
    WindowTree::GetWindowRect(window, &r);
    if (const HWND parent = WindowTree::GetParent(window);
        parent != 0 && (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) != 0) {
        POINT origin{0, 0};
        WindowTree::ClientToScreen(parent, &origin);
        r = {r.left - origin.x, r.top - origin.y, r.right - origin.x, r.bottom - origin.y};
    }
    return r;
}

void Win32Host::syncRect(HWND window) {
    win32::Area a{};
    if (const win32::NativeWindow native = nativeWindow(window);
        native != 0 && win32::NativePlacement(native, a))
        setWindowRect(window, rectOf(a));
}

void Win32Host::windowCreated(HWND window) {
    if (adopting_ != 0) {
        if (!win32::AdoptNative(adopting_, *this, window)) return;
        native_[window] = adopting_;
        records_[adopting_] = window;
        adopted_.insert(window);
        return;
    }
    const LONG_PTR style = GetWindowLongA(window, GWL_STYLE);
    const bool child = (style & WS_CHILD) != 0;
    const HWND parent = child ? WindowTree::GetParent(window) : GetWindow(window, GW_OWNER);
    const win32::NativeWindow nativeParent = parent != 0 ? nativeWindow(parent) : 0;
    if (child && nativeParent == 0) return; // a record without a real window
    std::array<char, 256> name{};
    GetClassNameA(window, name.data(), static_cast<int>(name.size()));
    // Read from the record: the procedure has not had WM_NCCREATE yet.
    std::vector<char> title(4096, '\0');
    GetWindowTextA(window, title.data(), static_cast<int>(title.size()));

    win32::WindowDesign design;
    if (isSystemClass(name.data())) design.systemClass = name.data();
    design.title = title.data();
    design.style = static_cast<std::uint32_t>(style);
    design.exStyle = static_cast<std::uint32_t>(GetWindowLongA(window, GWL_EXSTYLE));
    design.rect = areaOf(placement(window));
    design.parent = nativeParent;
    if (const win32::NativeWindow native = win32::CreateNative(design, *this, window)) {
        native_[window] = native;
        records_[native] = window;
    }
}

void Win32Host::windowDestroyed(HWND window) {
    std::vector<TimerKey> doomed;
    for (const auto& [key, timer] : timers_)
        if (key.first == window) doomed.push_back(key);
    for (const TimerKey& key : doomed)
        KillTimer(key.first, key.second);
    handlers_.erase(window);
    ready_.erase(window);
    const auto it = native_.find(window);
    if (it == native_.end()) return;
    const win32::NativeWindow native = it->second;
    native_.erase(it);
    records_.erase(native);
    if (adopted_.erase(window) != 0)
        win32::ReleaseNative(native);
    else if (window != systemDestroys_)
        win32::DestroyNative(native);
}

void Win32Host::windowShown(HWND window, bool visible) {
    if (const win32::NativeWindow native = nativeWindow(window)) win32::ShowNative(native, visible);
}

void Win32Host::windowMoved(HWND window) {
    if (const win32::NativeWindow native = nativeWindow(window))
        win32::MoveNative(native, areaOf(placement(window)), false);
}

void Win32Host::windowTextChanged(HWND window) {
    const win32::NativeWindow native = nativeWindow(window);
    if (native == 0) return;
    std::vector<char> title(4096, '\0');
    GetWindowTextA(window, title.data(), static_cast<int>(title.size()));
    win32::SetNativeText(native, title.data());
}

void Win32Host::windowInvalidated(HWND window, const RECT& area) {
    if (const win32::NativeWindow native = nativeWindow(window)) {
        const win32::Area a = areaOf(area);
        win32::InvalidateNative(native, &a);
    }
}

LONG_PTR Win32Host::SetWindowLongA(HWND window, int index, LONG_PTR value) {
    const LONG_PTR previous = WindowTree::SetWindowLongA(window, index, value);
    if (index == GWL_HWNDPARENT) {
        if (const win32::NativeWindow native = nativeWindow(window))
            win32::SetNativeOwner(native, nativeWindow(GetWindow(window, GW_OWNER)));
    }
    return previous;
}

LRESULT Win32Host::DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // A message of the system goes back to the system's procedure as it
    // came; closing stays the tree's, which destroys the record and with it
    // the real window.
    if (!deliveries_.empty() && message != WM_CLOSE) {
        const Delivery& d = deliveries_.back();
        if (d.window == window && d.message == message)
            return win32::DefaultProcedure(d.native, d.message, d.wParam, d.lParam);
    }
    return WindowTree::DefWindowProcA(window, message, wParam, lParam);
}

bool Win32Host::wants(std::uint32_t message) const {
    return std::find(kDelivered.begin(), kDelivered.end(), message) != kDelivered.end() ||
           (message >= WM_MOUSEMOVE && message <= 0x020E);
}

std::intptr_t Win32Host::deliver(win32::NativeWindow native, std::uintptr_t tag,
                                 std::uint32_t message, std::uintptr_t wParam,
                                 std::intptr_t lParam) {
    const HWND window = static_cast<HWND>(tag);
    if (ending_ || !ready_.contains(window) || !IsWindow(window))
        return win32::DefaultProcedure(native, message, wParam, lParam);
    if (message == WM_TIMER) {
        if (!timers_.contains({window, wParam}))
            return win32::DefaultProcedure(native, message, wParam, lParam);
        fire({window, wParam});
        return 0;
    }
    if (message == WM_MOVE || message == WM_SIZE) syncRect(window);
    // Handles of the system's windows become the tree's.
    WPARAM w = wParam;
    LPARAM l = lParam;
    if (message == WM_CAPTURECHANGED || message == WM_COMMAND)
        l = static_cast<LPARAM>(windowOf(static_cast<win32::NativeWindow>(lParam)));
    if (message == WM_SETFOCUS || message == WM_KILLFOCUS || message == WM_CONTEXTMENU ||
        message == WM_SETCURSOR)
        w = static_cast<WPARAM>(windowOf(static_cast<win32::NativeWindow>(wParam)));
    if (const auto handler = handlers_.find(window); handler != handlers_.end()) {
        const MessageHandler keep = handler->second; // alive through the call
        if (const std::optional<LRESULT> answer = keep(message, w, l)) return *answer;
        if (!IsWindow(window)) return 0;
    }
    deliveries_.push_back({window, native, message, wParam, lParam});
    const LRESULT result = WindowTree::SendMessageA(window, message, w, l);
    deliveries_.pop_back();
    return result;
}

void Win32Host::destroyedBySystem(std::uintptr_t tag) {
    const HWND window = static_cast<HWND>(tag);
    if (ending_ || !IsWindow(window)) return;
    // The system takes the real window (and its children) down: the records
    // follow, and nothing destroys the real window a second time.
    const HWND before = std::exchange(systemDestroys_, window);
    WindowTree::DestroyWindow(window);
    systemDestroys_ = before;
}

bool Win32Host::GetWindowRect(HWND window, RECT* rect) const {
    win32::Area a{};
    const win32::NativeWindow native = nativeWindow(window);
    if (native == 0 || rect == nullptr || !win32::NativeWindowRect(native, a))
        return WindowTree::GetWindowRect(window, rect);
    *rect = rectOf(a);
    return true;
}

bool Win32Host::GetClientRect(HWND window, RECT* rect) const {
    win32::Area a{};
    const win32::NativeWindow native = nativeWindow(window);
    if (native == 0 || rect == nullptr || !win32::NativeClientRect(native, a))
        return WindowTree::GetClientRect(window, rect);
    *rect = rectOf(a);
    return true;
}

// --- timers -----------------------------------------------------------------------------

UINT_PTR Win32Host::SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC callback) {
    elapse = std::max(elapse, USER_TIMER_MINIMUM);
    if (window != 0) {
        const win32::NativeWindow native = IsWindow(window) ? nativeWindow(window) : 0;
        if (native == 0 || !win32::StartWindowTimer(native, id, elapse)) return 0;
        Timer& timer = timers_[{window, id}];
        timer.callback = std::move(callback);
        return id == 0 ? 1 : id;
    }
    const UINT_PTR known = id != 0 && timers_.contains({0, id}) ? id : 0;
    const UINT_PTR got = win32::StartThreadTimer(known, elapse, [this](std::uintptr_t tick) {
        fire({0, tick});
    });
    if (got == 0) return 0;
    timers_[{0, got}].callback = std::move(callback);
    return got;
}

bool Win32Host::KillTimer(HWND window, UINT_PTR id) {
    const auto it = timers_.find({window, id});
    if (it == timers_.end()) return false;
    if (window == 0)
        win32::StopThreadTimer(id);
    else if (const win32::NativeWindow native = nativeWindow(window))
        win32::StopWindowTimer(native, id);
    const TIMERPROC doomed = std::move(it->second.callback);
    timers_.erase(it);
    return true;
}

void Win32Host::fire(TimerKey key) {
    const auto it = timers_.find(key);
    // A tick that comes while the timer's callback runs (it pumps messages)
    // is dropped: a callback is never entered from inside itself.
    if (it == timers_.end() || it->second.running) return;
    it->second.running = true;
    const TIMERPROC callback = it->second.callback; // alive through the call
    if (callback)
        callback(key.first, WM_TIMER, key.second, GetTickCount());
    else
        WindowTree::SendMessageA(key.first, WM_TIMER, key.second, 0);
    if (const auto again = timers_.find(key); again != timers_.end()) again->second.running = false;
}

DWORD Win32Host::GetTickCount() const {
    return win32::TickCount() - started_;
}

// --- the pointer ----------------------------------------------------------------------------

HWND Win32Host::SetCapture(HWND window) {
    const HWND previous = GetCapture();
    const win32::NativeWindow native = nativeWindow(window);
    if (native == 0) return previous;
    win32::SetNativeCapture(native);
    WindowTree::SetCapture(window);
    return previous;
}

bool Win32Host::ReleaseCapture() {
    WindowTree::ReleaseCapture();
    return win32::ReleaseNativeCapture();
}

HWND Win32Host::GetCapture() const {
    return windowOf(win32::NativeCapture());
}

bool Win32Host::GetCursorPos(POINT* point) const {
    win32::Spot spot{};
    if (point == nullptr || !win32::NativeCursorPos(spot)) return false;
    *point = {spot.x, spot.y};
    return true;
}

HWND Win32Host::WindowFromPoint(POINT point) const {
    // A window of the system inside one of the host's stands for the host's.
    for (win32::NativeWindow at = win32::NativeWindowAt({point.x, point.y}); at != 0;
         at = win32::NativeParent(at))
        if (const HWND window = windowOf(at)) return window;
    return 0;
}

bool Win32Host::ScreenToClient(HWND window, POINT* point) const {
    const win32::NativeWindow native = nativeWindow(window);
    if (native == 0 || point == nullptr) return WindowTree::ScreenToClient(window, point);
    win32::Spot spot{point->x, point->y};
    if (!win32::NativeScreenToClient(native, spot)) return false;
    *point = {spot.x, spot.y};
    return true;
}

bool Win32Host::ClientToScreen(HWND window, POINT* point) const {
    const win32::NativeWindow native = nativeWindow(window);
    if (native == 0 || point == nullptr) return WindowTree::ClientToScreen(window, point);
    win32::Spot spot{point->x, point->y};
    if (!win32::NativeClientToScreen(native, spot)) return false;
    *point = {spot.x, spot.y};
    return true;
}

// --- the clipboard, dialogs, the shell, the message loop -----------------------------------------

bool Win32Host::OpenClipboard() {
    // One open at a time, as for other programs: the system lets the
    // thread that holds it open it again.
    if (clipboardOpen_ || !win32::OpenNativeClipboard()) return false;
    clipboardOpen_ = true;
    return true;
}

void Win32Host::CloseClipboard() {
    if (!std::exchange(clipboardOpen_, false)) return;
    win32::CloseNativeClipboard();
}

bool Win32Host::IsClipboardFormatAvailable(unsigned format) const {
    return win32::NativeClipboardOffers(format);
}

std::optional<std::vector<std::uint8_t>> Win32Host::GetClipboardData(unsigned format) {
    if (!clipboardOpen_) return std::nullopt;
    return win32::NativeClipboardBytes(format);
}

unsigned Win32Host::PngFormat() const {
    return win32::PngClipboardFormat();
}

int Win32Host::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    // Modal over the program's visible window, when it has one.
    win32::NativeWindow owner = 0;
    for (const HWND top : topLevelWindows())
        if (IsWindowVisible(top) && (owner = nativeWindow(top)) != 0) break;
    const int answer = win32::ShowMessageBox(owner, text, caption, flags);
    return answer != 0 ? answer : IDOK;
}

std::intptr_t Win32Host::ShellExecuteA(HWND window, const std::string& operation,
                                       const std::string& file, const std::string& parameters,
                                       const std::string& directory, int showCommand) {
    if (file.empty()) return kShellNoHandler;
    return win32::ShellOpen(nativeWindow(window), operation, file, parameters, directory,
                            showCommand);
}

void Win32Host::DoEvents() {
    win32::PumpMessages();
}

int Win32Host::RunMessageLoop(HWND dialog) {
    return win32::RunMessageLoop(nativeWindow(dialog));
}

void Win32Host::QuitMessageLoop(int code) {
    win32::QuitMessageLoop(code);
}

bool Win32Host::RunUntil(const std::function<bool()>& done, DWORD boundMs) {
    const DWORD start = win32::TickCount();
    while (!done()) {
        if (win32::TickCount() - start > boundMs) return false;
        win32::WaitForMessages(100);
        win32::PumpMessages();
    }
    return true;
}

} // namespace platform

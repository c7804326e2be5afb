#include "platform/win32/user32.h"

#include "platform/win32/system.h"
#include "platform/win32/windows_api.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <shellapi.h>
#include <utility>

namespace platform::win32 {
namespace {

HWND handle(NativeWindow window) {
    return reinterpret_cast<HWND>(window);
}
NativeWindow number(HWND window) {
    return reinterpret_cast<NativeWindow>(window);
}

std::wstring wide(std::string_view utf8) {
    return Widen(utf8).value_or(std::wstring());
}

constexpr const wchar_t* kSlotProperty = L"Velmora.Window";
constexpr const wchar_t* kHostClass = L"Velmora.Window";

// What a window of the host carries beside it (as a window property, so
// that a window made elsewhere keeps its own user data): where its messages
// go and the procedure behind the host's. It lives until WM_NCDESTROY.
struct Slot {
    MessageSink* sink = nullptr;
    std::uintptr_t tag = 0;
    WNDPROC original = nullptr; // null: the system default
    bool hostDestroys = false;
    bool* attached = nullptr; // set while the window is being made
};

Slot* slotOf(HWND window) {
    return static_cast<Slot*>(GetPropW(window, kSlotProperty));
}

LRESULT behind(const Slot* slot, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (slot != nullptr && slot->original != nullptr)
        return CallWindowProcW(slot->original, window, message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT VELMORA_CALLBACK Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Slot* slot = slotOf(window);
    if (slot == nullptr && message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        slot = static_cast<Slot*>(create->lpCreateParams);
        if (slot != nullptr && SetPropW(window, kSlotProperty, slot)) {
            if (slot->attached != nullptr) *slot->attached = true;
        } else {
            slot = nullptr;
        }
    }
    if (slot == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        RemovePropW(window, kSlotProperty);
        const std::unique_ptr<Slot> owned(slot);
        return behind(slot, window, message, wParam, lParam);
    }
    if (message == WM_DESTROY && !slot->hostDestroys && slot->sink != nullptr) {
        // The host lets go of the window (and may take its procedure off)
        // in here; the slot is looked up again afterwards.
        const WNDPROC original = slot->original;
        MessageSink* sink = std::exchange(slot->sink, nullptr);
        sink->destroyedBySystem(slot->tag);
        slot = slotOf(window);
        if (slot == nullptr)
            return original != nullptr ? CallWindowProcW(original, window, message, wParam, lParam)
                                       : DefWindowProcW(window, message, wParam, lParam);
    }
    if (slot->sink != nullptr && slot->sink->wants(message))
        return slot->sink->deliver(number(window), slot->tag, message, wParam, lParam);
    return behind(slot, window, message, wParam, lParam);
}

bool registerHostClass() {
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (GetClassInfoExW(instance, kHostClass, &cls)) return true;
    cls = {};
    cls.cbSize = sizeof cls;
    cls.style = CS_DBLCLKS;
    cls.lpfnWndProc = &Dispatch;
    cls.hInstance = instance;
    cls.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // the arrow
    cls.lpszClassName = kHostClass;
    return RegisterClassExW(&cls) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Top-level windows without a caption or a sizing border are popups: an
// overlapped window always gets a frame from the system.
DWORD systemStyle(DWORD style) {
    style &= ~static_cast<DWORD>(WS_VISIBLE);
    if ((style & WS_CHILD) == 0 && (style & (WS_CAPTION | WS_THICKFRAME | WS_POPUP)) == 0)
        style |= WS_POPUP;
    return style;
}

// --- thread timers -------------------------------------------------------------------

// The system calls a thread timer back with its identifier alone, so the
// callbacks are found by it; identifiers are unique in the process.
struct ThreadTimers {
    std::mutex mutex;
    std::map<UINT_PTR, ThreadTick> ticks;

    static ThreadTimers& instance() {
        static ThreadTimers timers;
        return timers;
    }
};

std::function<void(HWND, UINT, UINT_PTR, DWORD)> findTick(HWND, UINT, UINT_PTR id, DWORD) {
    ThreadTimers& timers = ThreadTimers::instance();
    std::lock_guard lock(timers.mutex);
    const auto it = timers.ticks.find(id);
    if (it == timers.ticks.end()) return {};
    return [tick = it->second](HWND, UINT, UINT_PTR at, DWORD) { tick(at); };
}

} // namespace

// --- windows -------------------------------------------------------------------------

NativeWindow CreateNative(const WindowDesign& design, MessageSink& sink, std::uintptr_t tag) {
    const bool systemClass = !design.systemClass.empty();
    if (!systemClass && !registerHostClass()) return 0;
    const std::wstring cls = systemClass ? wide(design.systemClass) : std::wstring(kHostClass);
    const std::wstring title = wide(design.title);
    auto slot = std::make_unique<Slot>();
    slot->sink = &sink;
    slot->tag = tag;
    bool attached = false;
    slot->attached = &attached;
    const Area& r = design.rect;
    const HWND window = CreateWindowExW(
        design.exStyle, cls.c_str(), title.c_str(), systemStyle(design.style), r.left, r.top,
        std::max(r.right - r.left, 0), std::max(r.bottom - r.top, 0), handle(design.parent),
        nullptr, GetModuleHandleW(nullptr), systemClass ? nullptr : slot.get());
    if (attached) {
        // The window owns it now (and freed it already when it was refused).
        Slot* const kept = slot.release();
        if (window != nullptr) kept->attached = nullptr;
    }
    if (window == nullptr) return 0;
    if (systemClass && !AdoptNative(number(window), sink, tag)) {
        DestroyWindow(window);
        return 0;
    }
    // Windows made later lie on top, as the host's window tree has them.
    if ((design.style & WS_CHILD) != 0)
        SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return number(window);
}

bool AdoptNative(NativeWindow window, MessageSink& sink, std::uintptr_t tag) {
    const HWND w = handle(window);
    if (!IsWindow(w) || slotOf(w) != nullptr) return false;
    auto slot = std::make_unique<Slot>();
    slot->sink = &sink;
    slot->tag = tag;
    slot->hostDestroys = false;
    if (!SetPropW(w, kSlotProperty, slot.get())) return false;
    slot->original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Dispatch)));
    if (slot->original == nullptr) {
        RemovePropW(w, kSlotProperty);
        return false;
    }
    slot.release(); // freed at WM_NCDESTROY, or by ReleaseNative
    return true;
}

void ReleaseNative(NativeWindow window) {
    const HWND w = handle(window);
    Slot* slot = slotOf(w);
    if (slot == nullptr) return;
    slot->sink = nullptr;
    // Only a procedure still on top can be taken off; else the slot stays,
    // passing everything on, until the window goes.
    if (slot->original == nullptr ||
        GetWindowLongPtrW(w, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&Dispatch))
        return;
    SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(slot->original));
    RemovePropW(w, kSlotProperty);
    const std::unique_ptr<Slot> owned(slot);
}

void DestroyNative(NativeWindow window) {
    const HWND w = handle(window);
    if (!IsWindow(w)) return;
    if (Slot* slot = slotOf(w)) {
        slot->sink = nullptr;
        slot->hostDestroys = true;
    }
    DestroyWindow(w);
}

bool IsNative(NativeWindow window) {
    return window != 0 && IsWindow(handle(window));
}

bool NativeVisible(NativeWindow window) {
    return IsWindowVisible(handle(window)) != 0;
}

NativeWindow NativeParent(NativeWindow window) {
    const HWND w = handle(window);
    return (GetWindowLongPtrW(w, GWL_STYLE) & WS_CHILD) != 0 ? number(GetParent(w)) : 0;
}

std::intptr_t DefaultProcedure(NativeWindow window, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam) {
    const HWND w = handle(window);
    return behind(slotOf(w), w, message, wParam, lParam);
}

void ShowNative(NativeWindow window, bool visible) {
    const HWND w = handle(window);
    const bool child = (GetWindowLongPtrW(w, GWL_STYLE) & WS_CHILD) != 0;
    ShowWindow(w, !visible ? SW_HIDE : child ? SW_SHOW : SW_SHOWNA);
}

void MoveNative(NativeWindow window, const Area& rect, bool repaint) {
    MoveWindow(handle(window), rect.left, rect.top, std::max(rect.right - rect.left, 0),
               std::max(rect.bottom - rect.top, 0), repaint);
}

void SetNativeText(NativeWindow window, std::string_view utf8) {
    SetWindowTextW(handle(window), wide(utf8).c_str());
}

std::string NativeText(NativeWindow window) {
    const int length = GetWindowTextLengthW(handle(window));
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(handle(window), text.data(), length + 1)));
    return Narrow(text).value_or(std::string());
}

void SetNativeOwner(NativeWindow window, NativeWindow owner) {
    SetWindowLongPtrW(handle(window), GWLP_HWNDPARENT, static_cast<LONG_PTR>(owner));
}

void InvalidateNative(NativeWindow window, const Area* area) {
    if (area == nullptr) {
        InvalidateRect(handle(window), nullptr, FALSE);
        return;
    }
    const RECT r{area->left, area->top, area->right, area->bottom};
    InvalidateRect(handle(window), &r, FALSE);
}

bool NativeWindowRect(NativeWindow window, Area& screen) {
    RECT r{};
    if (!GetWindowRect(handle(window), &r)) return false;
    screen = {r.left, r.top, r.right, r.bottom};
    return true;
}

bool NativePlacement(NativeWindow window, Area& inParent) {
    const HWND w = handle(window);
    RECT r{};
    if (!GetWindowRect(w, &r)) return false;
    if ((GetWindowLongPtrW(w, GWL_STYLE) & WS_CHILD) != 0)
        MapWindowPoints(nullptr, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
    inParent = {r.left, r.top, r.right, r.bottom};
    return true;
}

bool NativeClientRect(NativeWindow window, Area& client) {
    RECT r{};
    if (!GetClientRect(handle(window), &r)) return false;
    client = {r.left, r.top, r.right, r.bottom};
    return true;
}

bool NativeClientToScreen(NativeWindow window, Spot& spot) {
    POINT p{spot.x, spot.y};
    if (!ClientToScreen(handle(window), &p)) return false;
    spot = {p.x, p.y};
    return true;
}

bool NativeScreenToClient(NativeWindow window, Spot& spot) {
    POINT p{spot.x, spot.y};
    if (!ScreenToClient(handle(window), &p)) return false;
    spot = {p.x, p.y};
    return true;
}

NativeWindow NativeWindowAt(Spot screen) {
    const POINT point{screen.x, screen.y};
    HWND at = WindowFromPoint(point);
    if (at == nullptr) return 0;
    at = GetAncestor(at, GA_ROOT);
    for (int depth = 0; at != nullptr && depth < 256; ++depth) {
        POINT local = point;
        ScreenToClient(at, &local);
        const HWND child = ChildWindowFromPointEx(at, local, CWP_SKIPINVISIBLE);
        if (child == nullptr || child == at) break;
        at = child;
    }
    return number(at);
}

// --- the pointer -----------------------------------------------------------------------

NativeWindow SetNativeCapture(NativeWindow window) {
    return number(SetCapture(handle(window)));
}
bool ReleaseNativeCapture() {
    return ReleaseCapture() != 0;
}
NativeWindow NativeCapture() {
    return number(GetCapture());
}
bool NativeCursorPos(Spot& spot) {
    POINT p{};
    if (!GetCursorPos(&p)) return false;
    spot = {p.x, p.y};
    return true;
}

void TrackPointerLeave(NativeWindow window) {
    TRACKMOUSEEVENT track{};
    track.cbSize = sizeof track;
    track.dwFlags = TME_LEAVE;
    track.hwndTrack = handle(window);
    TrackMouseEvent(&track);
}

void FocusNative(NativeWindow window) {
    SetFocus(handle(window));
}

std::int16_t ShiftKeys() {
    std::int16_t out = 0;
    if (GetKeyState(VK_SHIFT) < 0) out |= 1;
    if (GetKeyState(VK_CONTROL) < 0) out |= 2;
    if (GetKeyState(VK_MENU) < 0) out |= 4;
    return out;
}

Cursor::~Cursor() {
    if (owned_ && handle_ != nullptr) DestroyCursor(static_cast<HCURSOR>(handle_));
}

Cursor::Cursor(Cursor&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), owned_(std::exchange(other.owned_, false)) {}

Cursor& Cursor::operator=(Cursor&& other) noexcept {
    std::swap(handle_, other.handle_);
    std::swap(owned_, other.owned_);
    return *this;
}

Cursor Cursor::Standard(std::uint32_t idc) {
    Cursor cursor;
    cursor.handle_ = LoadCursorW(nullptr, MAKEINTRESOURCEW(idc));
    return cursor;
}

Cursor Cursor::FromPixels(std::span<const std::uint32_t> pixels, int width, int height, int hotX,
                          int hotY) {
    Cursor cursor;
    if (width < 1 || height < 1 || width > 256 || height > 256 ||
        pixels.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return cursor;
    BITMAPV5HEADER header{};
    header.bV5Size = sizeof header;
    header.bV5Width = width;
    header.bV5Height = -height; // top-down, as the pixels come
    header.bV5Planes = 1;
    header.bV5BitCount = 32;
    header.bV5Compression = BI_BITFIELDS;
    header.bV5RedMask = 0x00FF0000;
    header.bV5GreenMask = 0x0000FF00;
    header.bV5BlueMask = 0x000000FF;
    header.bV5AlphaMask = 0xFF000000;
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    const HBITMAP color = CreateDIBSection(screen, reinterpret_cast<const BITMAPINFO*>(&header),
                                           DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (color == nullptr) return cursor;
    std::memcpy(bits, pixels.data(), static_cast<std::size_t>(width) * height * 4);
    // The alpha of the colour bitmap decides; the mask only has to exist.
    const HBITMAP mask = CreateBitmap(width, height, 1, 1, nullptr);
    ICONINFO info{};
    info.fIcon = FALSE;
    info.xHotspot = static_cast<DWORD>(std::clamp(hotX, 0, width - 1));
    info.yHotspot = static_cast<DWORD>(std::clamp(hotY, 0, height - 1));
    info.hbmMask = mask;
    info.hbmColor = color;
    cursor.handle_ = mask != nullptr ? CreateIconIndirect(&info) : nullptr;
    cursor.owned_ = cursor.handle_ != nullptr;
    if (mask != nullptr) DeleteObject(mask);
    DeleteObject(color);
    return cursor;
}

bool Cursor::hotSpot(int& x, int& y) const {
    ICONINFO info{};
    if (handle_ == nullptr || !GetIconInfo(static_cast<HICON>(handle_), &info)) return false;
    if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
    if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
    x = static_cast<int>(info.xHotspot);
    y = static_cast<int>(info.yHotspot);
    return true;
}

void Cursor::show() const {
    if (handle_ != nullptr) SetCursor(static_cast<HCURSOR>(handle_));
}

// --- timers ------------------------------------------------------------------------------

bool StartWindowTimer(NativeWindow window, std::uintptr_t id, std::uint32_t elapse) {
    return SetTimer(handle(window), id, elapse, nullptr) != 0;
}

bool StopWindowTimer(NativeWindow window, std::uintptr_t id) {
    return KillTimer(handle(window), id) != 0;
}

std::uintptr_t StartThreadTimer(std::uintptr_t id, std::uint32_t elapse, ThreadTick tick) {
    ThreadTimers& timers = ThreadTimers::instance();
    std::lock_guard lock(timers.mutex);
    if (id != 0 && !timers.ticks.contains(id)) id = 0;
    const UINT_PTR got = SetTimer(nullptr, id, elapse, &Trampoline<findTick>::call);
    if (got == 0) return 0;
    timers.ticks[got] = std::move(tick);
    return got;
}

bool StopThreadTimer(std::uintptr_t id) {
    ThreadTick doomed;
    {
        ThreadTimers& timers = ThreadTimers::instance();
        std::lock_guard lock(timers.mutex);
        const auto it = timers.ticks.find(id);
        if (it == timers.ticks.end()) return false;
        doomed = std::move(it->second);
        timers.ticks.erase(it);
    }
    KillTimer(nullptr, id);
    return true;
}

std::uint32_t TickCount() {
    return GetTickCount();
}

void PumpMessages() {
    // Bounded, so that timers falling due faster than their callbacks run
    // cannot hold the caller here.
    MSG msg;
    for (int n = 0; n < 10000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

int RunMessageLoop(NativeWindow dialog) {
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(msg.wParam);
        if (got == -1) return -1;
        const HWND keys = handle(dialog);
        if (keys != nullptr && IsWindow(keys) && IsDialogMessageW(keys, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void QuitMessageLoop(int code) {
    PostQuitMessage(code);
}

void WaitForMessages(std::uint32_t ms) {
    MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

// --- painting --------------------------------------------------------------------------------

void PaintNative(NativeWindow window, std::uint32_t dpi,
                 const std::function<std::optional<Pixels>(const Area& logical)>& draw) {
    const HWND w = handle(window);
    PAINTSTRUCT paint{};
    const HDC dc = BeginPaint(w, &paint);
    if (dc == nullptr) return;
    if (dpi < 96) dpi = 96;
    const RECT& d = paint.rcPaint;
    // The logical pixels that cover the device pixels to repaint.
    const Area logical{static_cast<std::int32_t>(d.left * 96 / static_cast<LONG>(dpi)),
                       static_cast<std::int32_t>(d.top * 96 / static_cast<LONG>(dpi)),
                       static_cast<std::int32_t>((d.right * 96 + dpi - 1) / dpi),
                       static_cast<std::int32_t>((d.bottom * 96 + dpi - 1) / dpi)};
    const std::optional<Pixels> pixels = draw(logical);
    if (pixels && pixels->bits != nullptr && pixels->width > 0 && pixels->height > 0) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = pixels->width;
        info.bmiHeader.biHeight = pixels->height; // bottom-up
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        if (dpi == 96) {
            const int left = std::clamp<int>(d.left, 0, pixels->width);
            const int top = std::clamp<int>(d.top, 0, pixels->height);
            const int right = std::clamp<int>(d.right, left, pixels->width);
            const int bottom = std::clamp<int>(d.bottom, top, pixels->height);
            // A bottom-up source counts its rows from the bottom.
            SetDIBitsToDevice(dc, left, top, static_cast<DWORD>(right - left),
                              static_cast<DWORD>(bottom - top), left, pixels->height - bottom, 0,
                              static_cast<UINT>(pixels->height), pixels->bits, &info,
                              DIB_RGB_COLORS);
        } else {
            // Enlarged as pixels, not smoothed; the paint's clip keeps it to
            // what needs it.
            SetStretchBltMode(dc, COLORONCOLOR);
            StretchDIBits(dc, 0, 0, MulDiv(pixels->width, static_cast<int>(dpi), 96),
                          MulDiv(pixels->height, static_cast<int>(dpi), 96), 0, 0, pixels->width,
                          pixels->height, pixels->bits, &info, DIB_RGB_COLORS, SRCCOPY);
        }
    }
    EndPaint(w, &paint);
}

std::uint32_t NativeDpi(NativeWindow window) {
    // Windows 10 and later; older systems scale the program themselves.
    using DpiForWindow = UINT(WINAPI*)(HWND);
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    const auto query = user32 != nullptr ? reinterpret_cast<DpiForWindow>(reinterpret_cast<void*>(
                                               GetProcAddress(user32, "GetDpiForWindow")))
                                         : nullptr;
    const UINT dpi = query != nullptr ? query(handle(window)) : 0;
    return dpi >= 96 ? dpi : 96;
}

// --- dialogs and the shell ----------------------------------------------------------------------

int ShowMessageBox(NativeWindow owner, std::string_view text, std::string_view caption,
                   std::uint32_t flags) {
    return MessageBoxW(handle(owner), wide(text).c_str(), wide(caption).c_str(), flags);
}

std::intptr_t ShellOpen(NativeWindow window, std::string_view operation, std::string_view file,
                        std::string_view parameters, std::string_view directory, int show) {
    const std::wstring op = wide(operation), f = wide(file), p = wide(parameters),
                       d = wide(directory);
    const HINSTANCE result =
        ShellExecuteW(handle(window), op.empty() ? nullptr : op.c_str(), f.c_str(),
                      p.empty() ? nullptr : p.c_str(), d.empty() ? nullptr : d.c_str(), show);
    return reinterpret_cast<std::intptr_t>(result);
}

// --- the clipboard
// --------------------------------------------------------------------------------

bool OpenNativeClipboard() {
    return OpenClipboard(nullptr) != 0;
}

void CloseNativeClipboard() {
    CloseClipboard();
}

std::uint32_t PngClipboardFormat() {
    return RegisterClipboardFormatW(L"PNG");
}

bool NativeClipboardOffers(std::uint32_t format) {
    if (format == CF_DIB)
        return IsClipboardFormatAvailable(CF_DIB) || IsClipboardFormatAvailable(CF_DIBV5);
    return IsClipboardFormatAvailable(format) != 0;
}

std::optional<std::vector<std::uint8_t>> NativeClipboardBytes(std::uint32_t format) {
    // A bitmap travels as its DIB, which the system makes from it; a V5
    // header keeps the alpha that the system's made-up CF_DIB drops.
    if (format == CF_BITMAP) format = CF_DIB;
    if (format == CF_DIB && IsClipboardFormatAvailable(CF_DIBV5)) format = CF_DIBV5;
    if (!IsClipboardFormatAvailable(format)) return std::nullopt;
    const HANDLE data = GetClipboardData(format);
    if (data == nullptr) return std::nullopt;
    // Metafiles are handles of their own; their bytes are asked for.
    if (format == CF_ENHMETAFILE) {
        const auto metafile = static_cast<HENHMETAFILE>(data);
        const UINT size = GetEnhMetaFileBits(metafile, 0, nullptr);
        if (size == 0) return std::nullopt;
        std::vector<std::uint8_t> out(size);
        if (GetEnhMetaFileBits(metafile, size, out.data()) != size) return std::nullopt;
        return out;
    }
    const SIZE_T size = GlobalSize(data);
    const void* bytes = size != 0 ? GlobalLock(data) : nullptr;
    if (bytes == nullptr) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> out;
    if (format == CF_METAFILEPICT) {
        if (size >= sizeof(METAFILEPICT)) {
            const HMETAFILE metafile = static_cast<const METAFILEPICT*>(bytes)->hMF;
            const UINT n = GetMetaFileBitsEx(metafile, 0, nullptr);
            if (n != 0) {
                out.emplace(n);
                if (GetMetaFileBitsEx(metafile, n, out->data()) != n) out.reset();
            }
        }
    } else {
        out.emplace(static_cast<const std::uint8_t*>(bytes),
                    static_cast<const std::uint8_t*>(bytes) + size);
    }
    GlobalUnlock(data);
    return out;
}

} // namespace platform::win32

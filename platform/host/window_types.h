#pragma once
// The plain types and numbers of the window services, named and valued as
// the Windows headers name them so that code calling the services reads the
// same as it would there.

#include "platform/gdi/types.h"
#include "platform/host/callback.h"
#include "platform/host/windows_names.h"

#include <cstdint>
#include <functional>

namespace platform {

using UINT = std::uint32_t;
using DWORD = std::uint32_t;
using BOOL = int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using LONG_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using HINSTANCE = std::uintptr_t;
using HMODULE = HINSTANCE;
using HMENU = std::uintptr_t;
using FARPROC = void*;

// A window procedure, as a class or a subclassing caller supplies it; the
// system calls it, so it has the system's convention.
using WNDPROC = LRESULT(VELMORA_CALLBACK*)(HWND, UINT, WPARAM, LPARAM);
// A timer callback. Unlike a bare function pointer it may carry state (a
// plain function converts to it), which is how a callback reaches the one
// object it belongs to. The arguments are the window (0 for a thread timer),
// WM_TIMER, the timer's identifier and the tick count.
using TIMERPROC = std::function<void(HWND, UINT, UINT_PTR, DWORD)>;
// The shape in which the system itself calls a timer back. A host on the
// system hands it Trampoline<find>::call, where find answers the TIMERPROC
// kept for (window, identifier).
using SystemTimerProc = void(VELMORA_CALLBACK*)(HWND, UINT, UINT_PTR, DWORD);

// Messages.
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_MOVE = 0x0003;
inline constexpr UINT WM_SIZE = 0x0005;
inline constexpr UINT WM_SETTEXT = 0x000C;
inline constexpr UINT WM_GETTEXT = 0x000D;
inline constexpr UINT WM_GETTEXTLENGTH = 0x000E;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_SETFOCUS = 0x0007;
inline constexpr UINT WM_KILLFOCUS = 0x0008;
inline constexpr UINT WM_ERASEBKGND = 0x0014;
inline constexpr UINT WM_SETCURSOR = 0x0020;
inline constexpr UINT WM_CONTEXTMENU = 0x007B;
inline constexpr UINT WM_NCCREATE = 0x0081;
inline constexpr UINT WM_NCDESTROY = 0x0082;
inline constexpr UINT WM_NCHITTEST = 0x0084;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_CHAR = 0x0102;
inline constexpr UINT WM_SYSKEYDOWN = 0x0104;
inline constexpr UINT WM_SYSKEYUP = 0x0105;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
inline constexpr UINT WM_RBUTTONDOWN = 0x0204;
inline constexpr UINT WM_RBUTTONUP = 0x0205;
inline constexpr UINT WM_RBUTTONDBLCLK = 0x0206;
inline constexpr UINT WM_MBUTTONDOWN = 0x0207;
inline constexpr UINT WM_MBUTTONUP = 0x0208;
inline constexpr UINT WM_MBUTTONDBLCLK = 0x0209;
inline constexpr UINT WM_MOUSEWHEEL = 0x020A;
inline constexpr UINT WM_CAPTURECHANGED = 0x0215;
inline constexpr UINT WM_DROPFILES = 0x0233;
inline constexpr UINT WM_MOUSELEAVE = 0x02A3;
inline constexpr UINT WM_DPICHANGED = 0x02E0;
inline constexpr UINT WM_DPICHANGED_AFTERPARENT = 0x02E3;
inline constexpr UINT WM_USER = 0x0400;

// The buttons and keys of a mouse message's wParam.
inline constexpr WPARAM MK_LBUTTON = 0x0001;
inline constexpr WPARAM MK_RBUTTON = 0x0002;
inline constexpr WPARAM MK_SHIFT = 0x0004;
inline constexpr WPARAM MK_CONTROL = 0x0008;
inline constexpr WPARAM MK_MBUTTON = 0x0010;

// Answers to WM_NCHITTEST.
inline constexpr LRESULT HTTRANSPARENT = -1;
inline constexpr LRESULT HTCLIENT = 1;

// Window styles.
inline constexpr DWORD WS_OVERLAPPED = 0x00000000;
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_DISABLED = 0x08000000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_OVERLAPPEDWINDOW = 0x00CF0000;

// Window slots of GetWindowLongA / SetWindowLongA.
inline constexpr int GWL_WNDPROC = -4;
inline constexpr int GWL_HINSTANCE = -6;
inline constexpr int GWL_HWNDPARENT = -8;
inline constexpr int GWL_ID = -12;
inline constexpr int GWL_STYLE = -16;
inline constexpr int GWL_EXSTYLE = -20;
inline constexpr int GWL_USERDATA = -21;

// Relations of GetWindow.
inline constexpr UINT GW_HWNDFIRST = 0;
inline constexpr UINT GW_HWNDLAST = 1;
inline constexpr UINT GW_HWNDNEXT = 2;
inline constexpr UINT GW_HWNDPREV = 3;
inline constexpr UINT GW_OWNER = 4;
inline constexpr UINT GW_CHILD = 5;

// ShowWindow commands.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOW = 5;

// Shorter timer intervals are raised to this one, as the system does.
inline constexpr UINT USER_TIMER_MINIMUM = 10;

// A window class, as RegisterClassA takes it (the members the host uses).
struct WNDCLASSA {
    UINT style = 0;
    WNDPROC lpfnWndProc = nullptr;
    HINSTANCE hInstance = 0;
    const char* lpszClassName = nullptr;
};

// What WM_NCCREATE and WM_CREATE carry in lParam.
struct CREATESTRUCTA {
    void* lpCreateParams = nullptr;
    HINSTANCE hInstance = 0;
    HMENU hMenu = 0;
    HWND hwndParent = 0;
    int cy = 0;
    int cx = 0;
    int y = 0;
    int x = 0;
    DWORD style = 0;
    const char* lpszName = nullptr;
    const char* lpszClass = nullptr;
    DWORD dwExStyle = 0;
};

} // namespace platform

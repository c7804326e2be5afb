#pragma once
// The window services as the global calls of the system, reaching the
// current host (the environment's). Code that is handed a service interface
// calls that instead; these serve code written against the global calls,
// such as window procedures that receive no context but their window.
// Without a host that offers the service, every call fails (0 / false).

#include "platform/host/window_types.h"
#include "platform/host/windows_names.h"

namespace platform {

HWND CreateWindowExA(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                     int x, int y, int width, int height, HWND parent, HMENU menu,
                     HINSTANCE instance, void* param);
bool DestroyWindow(HWND window);
bool IsWindow(HWND window);
HWND GetParent(HWND window);
HWND GetWindow(HWND window, UINT relation);
HWND FindWindowExA(HWND parent, HWND childAfter, const char* className, const char* windowName);
int GetClassNameA(HWND window, char* buffer, int maxCount);
int GetWindowTextA(HWND window, char* buffer, int maxCount);
LONG_PTR SetWindowLongA(HWND window, int index, LONG_PTR value);
LONG_PTR GetWindowLongA(HWND window, int index);
LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The procedure of the system's classes. A host that dispatches to it
// answers with its own default handling.
LRESULT VELMORA_CALLBACK DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC callback);
bool KillTimer(HWND window, UINT_PTR id);

HWND SetCapture(HWND window);
bool ReleaseCapture();
HWND GetCapture();
bool GetCursorPos(POINT* point);
HWND WindowFromPoint(POINT point);
bool ScreenToClient(HWND window, POINT* point);
bool ClientToScreen(HWND window, POINT* point);

// Opens a file or an address with the desktop's handler (the current
// host's shell open); above 32 when a handler was started.
std::intptr_t ShellExecuteA(HWND window, const char* operation, const char* file,
                            const char* parameters, const char* directory, int showCommand);

// A loaded module by name without taking a reference on it; null names the
// program itself. 0 when it is not loaded.
HMODULE GetModuleHandleA(const char* moduleName);
// An export of a module from GetModuleHandleA, or null.
FARPROC GetProcAddress(HMODULE module, const char* procName);

} // namespace platform

#include "platform/host/win32.h"

#include "platform/host/window_host.h"
#include "platform/system/library.h"

namespace platform {
namespace {

WindowServices* windows() {
    return CurrentHost().windows();
}
TimerServices* timers() {
    return CurrentHost().timers();
}
PointerServices* pointer() {
    return CurrentHost().pointer();
}

} // namespace

HWND CreateWindowExA(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                     int x, int y, int width, int height, HWND parent, HMENU menu,
                     HINSTANCE instance, void* param) {
    WindowServices* w = windows();
    return w != nullptr ? w->CreateWindowExA(exStyle, className, windowName, style, x, y, width,
                                             height, parent, menu, instance, param)
                        : 0;
}
bool DestroyWindow(HWND window) {
    WindowServices* w = windows();
    return w != nullptr && w->DestroyWindow(window);
}
bool IsWindow(HWND window) {
    WindowServices* w = windows();
    return w != nullptr && w->IsWindow(window);
}
HWND GetParent(HWND window) {
    WindowServices* w = windows();
    return w != nullptr ? w->GetParent(window) : 0;
}
HWND GetWindow(HWND window, UINT relation) {
    WindowServices* w = windows();
    return w != nullptr ? w->GetWindow(window, relation) : 0;
}
HWND FindWindowExA(HWND parent, HWND childAfter, const char* className, const char* windowName) {
    WindowServices* w = windows();
    return w != nullptr ? w->FindWindowExA(parent, childAfter, className, windowName) : 0;
}
int GetClassNameA(HWND window, char* buffer, int maxCount) {
    WindowServices* w = windows();
    return w != nullptr ? w->GetClassNameA(window, buffer, maxCount) : 0;
}
int GetWindowTextA(HWND window, char* buffer, int maxCount) {
    WindowServices* w = windows();
    return w != nullptr ? w->GetWindowTextA(window, buffer, maxCount) : 0;
}
LONG_PTR SetWindowLongA(HWND window, int index, LONG_PTR value) {
    WindowServices* w = windows();
    return w != nullptr ? w->SetWindowLongA(window, index, value) : 0;
}
LONG_PTR GetWindowLongA(HWND window, int index) {
    WindowServices* w = windows();
    return w != nullptr ? w->GetWindowLongA(window, index) : 0;
}
LRESULT CallWindowProcA(WNDPROC procedure, HWND window, UINT message, WPARAM wParam,
                        LPARAM lParam) {
    WindowServices* w = windows();
    if (w != nullptr) return w->CallWindowProcA(procedure, window, message, wParam, lParam);
    return procedure != nullptr && procedure != &DefWindowProcA
               ? procedure(window, message, wParam, lParam)
               : 0;
}
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowServices* w = windows();
    return w != nullptr ? w->SendMessageA(window, message, wParam, lParam) : 0;
}
LRESULT VELMORA_CALLBACK DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowServices* w = windows();
    return w != nullptr ? w->DefWindowProcA(window, message, wParam, lParam) : 0;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC callback) {
    TimerServices* t = timers();
    return t != nullptr ? t->SetTimer(window, id, elapse, std::move(callback)) : 0;
}
bool KillTimer(HWND window, UINT_PTR id) {
    TimerServices* t = timers();
    return t != nullptr && t->KillTimer(window, id);
}

HWND SetCapture(HWND window) {
    PointerServices* p = pointer();
    return p != nullptr ? p->SetCapture(window) : 0;
}
bool ReleaseCapture() {
    PointerServices* p = pointer();
    return p != nullptr && p->ReleaseCapture();
}
HWND GetCapture() {
    PointerServices* p = pointer();
    return p != nullptr ? p->GetCapture() : 0;
}
bool GetCursorPos(POINT* point) {
    PointerServices* p = pointer();
    return p != nullptr && p->GetCursorPos(point);
}
HWND WindowFromPoint(POINT point) {
    PointerServices* p = pointer();
    return p != nullptr ? p->WindowFromPoint(point) : 0;
}
bool ScreenToClient(HWND window, POINT* point) {
    PointerServices* p = pointer();
    return p != nullptr && p->ScreenToClient(window, point);
}
bool ClientToScreen(HWND window, POINT* point) {
    PointerServices* p = pointer();
    return p != nullptr && p->ClientToScreen(window, point);
}

std::intptr_t ShellExecuteA(HWND window, const char* operation, const char* file,
                            const char* parameters, const char* directory, int showCommand) {
    const auto text = [](const char* p) { return std::string(p != nullptr ? p : ""); };
    return CurrentHost().ShellExecuteA(window, text(operation), text(file), text(parameters),
                                       text(directory), showCommand);
}

HMODULE GetModuleHandleA(const char* moduleName) {
    // GetModuleHandle takes no reference.
    return reinterpret_cast<HMODULE>(LoadedModule(moduleName));
}

FARPROC GetProcAddress(HMODULE module, const char* procName) {
    if (module == 0 || procName == nullptr) return nullptr;
    return ModuleExport(reinterpret_cast<void*>(module), procName);
}

} // namespace platform

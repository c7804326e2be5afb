#include "win32_desktop.h"

#include "platform/win32/windows_api.h"

#include <cstring>

namespace win32_test {
namespace {

HWND handle(std::uintptr_t window) {
    return reinterpret_cast<HWND>(window);
}

} // namespace

bool MoveCursorTo(int x, int y) {
    POINT at{};
    return SetCursorPos(x, y) && GetCursorPos(&at) && at.x == x && at.y == y;
}

bool OfferDib(int width, int height) {
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    const std::size_t size = sizeof(BITMAPINFOHEADER) + std::size_t(width) * height * 4;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    bool done = false;
    if (memory != nullptr) {
        auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(memory));
        header->biSize = sizeof *header;
        header->biWidth = width;
        header->biHeight = height;
        header->biPlanes = 1;
        header->biBitCount = 32;
        header->biCompression = BI_RGB;
        GlobalUnlock(memory);
        done = SetClipboardData(CF_DIB, memory) != nullptr;
        if (!done) GlobalFree(memory);
    }
    CloseClipboard();
    return done;
}

void EmptyTheClipboard() {
    if (!OpenClipboard(nullptr)) return;
    EmptyClipboard();
    CloseClipboard();
}

std::intptr_t Send(std::uintptr_t window, std::uint32_t message, std::uintptr_t wParam,
                   std::intptr_t lParam) {
    return SendMessageW(handle(window), message, wParam, lParam);
}

bool PendingPaint(std::uintptr_t window, int& left, int& top, int& right, int& bottom) {
    RECT r{};
    if (!GetUpdateRect(handle(window), &r, FALSE)) return false;
    left = r.left, top = r.top, right = r.right, bottom = r.bottom;
    return true;
}

void PaintNow(std::uintptr_t window) {
    UpdateWindow(handle(window));
}

std::uintptr_t MakeProgramWindow(int x, int y, int width, int height) {
    WNDCLASSW cls{};
    cls.lpfnWndProc = &DefWindowProcW;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"Win32TestProgramWindow";
    RegisterClassW(&cls); // once per process; later calls fail harmlessly
    return reinterpret_cast<std::uintptr_t>(
        CreateWindowExW(0, cls.lpszClassName, L"Program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y,
                        width, height, nullptr, nullptr, cls.hInstance, nullptr));
}

bool DestroyProgramWindow(std::uintptr_t window) {
    return DestroyWindow(handle(window)) != 0;
}

bool IsVisible(std::uintptr_t window) {
    return IsWindowVisible(handle(window)) != 0;
}

bool Exists(std::uintptr_t window) {
    return IsWindow(handle(window)) != 0;
}

bool HasClass(std::uintptr_t window, const wchar_t* name) {
    wchar_t buffer[64] = {};
    GetClassNameW(handle(window), buffer, 64);
    return _wcsicmp(buffer, name) == 0;
}

} // namespace win32_test

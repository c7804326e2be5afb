#pragma once
// What the Win32 host's tests do to the system directly, as a user or
// another program would: move the pointer, fill the clipboard, send a
// window the system's messages, make a window of their own. In names of
// their own, so the tests never see <windows.h>.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace win32_test {

bool MoveCursorTo(int x, int y);
// Puts a width x height 32-bit DIB on the clipboard, as another program.
bool OfferDib(int width, int height);
void EmptyTheClipboard();
// Puts a list of files (CF_HDROP), or a width x height device bitmap
// (CF_BITMAP), on the clipboard.
bool OfferFiles(const std::vector<std::wstring>& files);
bool OfferBitmap(int width, int height);
// Sends the message to the system's window, as the system would.
std::intptr_t Send(std::uintptr_t window, std::uint32_t message, std::uintptr_t wParam,
                   std::intptr_t lParam);
// The bounds of what waits to be repainted; false when nothing does.
bool PendingPaint(std::uintptr_t window, int& left, int& top, int& right, int& bottom);
// Paints what waits to be repainted now.
void PaintNow(std::uintptr_t window);
// A visible top-level window of a plain class, made as a program makes its
// own main window; and its destruction by that program.
std::uintptr_t MakeProgramWindow(int x, int y, int width, int height);
bool DestroyProgramWindow(std::uintptr_t window);
bool IsVisible(std::uintptr_t window);
bool Exists(std::uintptr_t window);
// The system's class name of the window.
bool HasClass(std::uintptr_t window, const wchar_t* name);

// Drags files (wide names) over the window's registered drop target, as
// the system's drag and drop does: entering at the first screen point,
// moving over the others, then dropping at the last, or leaving when
// `drop` is false. Answers the effects the target gave at each step, or
// nothing when the window takes no drags.
std::vector<std::uint32_t> DragFiles(std::uintptr_t window, const std::vector<std::wstring>& files,
                                     const std::vector<std::pair<int, int>>& screenPoints,
                                     bool drop);

} // namespace win32_test

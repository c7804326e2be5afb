#pragma once
// Whether a Qt window can be shown at all, asked before QApplication is made:
// without a display Qt would end the process instead of letting the program
// say what went wrong.

namespace platform {

// True when a display server is named (DISPLAY, WAYLAND_DISPLAY) or Qt is
// told which platform plugin to use (QT_QPA_PLATFORM, as headless runs do).
bool QtDisplayAvailable();

} // namespace platform

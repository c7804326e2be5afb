#pragma once
// The window host: what the code below the views needs of windows. The Qt
// host draws real windows; the console host (the default) serves programs
// without windows and tests.

#include <cstdint>
#include <string>

namespace platform {

inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;

class WindowHost {
public:
    virtual ~WindowHost() = default;
    // A modal message box; returns the button pressed.
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
    // Processes pending window messages (repaint, input) and returns.
    virtual void DoEvents() {}
};

// Prints message boxes to standard error.
class ConsoleHost final : public WindowHost {
public:
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
};

// The process's host. The default is a ConsoleHost; a program with windows
// sets its own and takes it away before the host is destroyed.
WindowHost& CurrentHost();
void SetCurrentHost(WindowHost* host);

} // namespace platform

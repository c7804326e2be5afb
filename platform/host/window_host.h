#pragma once
// The window host: what the code below the views needs of windows. The Qt
// host draws real windows; the headless host (platform/testing) keeps its
// windows as records and runs its timers on virtual time; the console host
// (the default) serves programs without windows.

#include "platform/host/services.h"

#include <string>

namespace platform {

inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;

class WindowHost : public ClipboardServices {
public:
    // A modal message box; returns the button pressed.
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
    // Processes pending window messages (repaint, input) and returns.
    virtual void DoEvents() {}

    // The host's services; null where the host has none (the console host
    // has no windows, timers or pointer).
    virtual WindowServices* windows() { return nullptr; }
    virtual TimerServices* timers() { return nullptr; }
    virtual PointerServices* pointer() { return nullptr; }
    ClipboardServices& clipboard() { return *this; }
};

// Prints message boxes to standard error.
class ConsoleHost final : public WindowHost {
public:
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
};

// The process's host: the environment's host, or a ConsoleHost when it has
// none. A program with windows sets its own in the environment for as long
// as the host lives.
WindowHost& CurrentHost();

} // namespace platform

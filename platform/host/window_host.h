#pragma once
// The window host: what the code below the views needs of windows. The Qt
// host draws real windows; the headless host (platform/testing) keeps its
// windows as records and runs its timers on virtual time; the console host
// (the default) serves programs without windows.

#include "platform/host/services.h"
#include "platform/host/windows_names.h"

#include <cstdint>
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
    // Opens a file or an address with the desktop's handler for it (the
    // shell's "open" operation; an empty operation means the same). Answers
    // a value above 32 when the handler was started, 32 or less when not,
    // as the system call does. Hosts without a desktop start nothing.
    virtual std::intptr_t ShellExecuteA(HWND window, const std::string& operation,
                                        const std::string& file, const std::string& parameters,
                                        const std::string& directory, int showCommand) {
        static_cast<void>(window), static_cast<void>(operation), static_cast<void>(file),
            static_cast<void>(parameters), static_cast<void>(directory),
            static_cast<void>(showCommand);
        return kShellNoHandler;
    }
    static constexpr std::intptr_t kShellNoHandler = 31; // no program is set for the file
    static constexpr std::intptr_t kShellStarted = 42;

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

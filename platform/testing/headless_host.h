#pragma once
// A window host without a screen, for tests: windows are records, timers run
// on virtual time that only advance() moves, the cursor is where the test
// puts it, message boxes are recorded and answered with OK, and the
// clipboard is a table of formats that the test fills. Installed as the
// environment's host for the test's duration, or handed to the code under
// test through its service interfaces.

#include "platform/host/data_object.h"
#include "platform/host/window_host.h"
#include "platform/host/window_tree.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace platform {

class HeadlessHost final : public WindowHost, public WindowTree, public TimerServices {
public:
    struct Message {
        std::string text;
        std::string caption;
        unsigned flags;
    };

    HeadlessHost() = default;
    // Timers go before the windows: a callback's state may refer to either.
    ~HeadlessHost() override;

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    // Records what would be opened and answers shellAnswer.
    std::intptr_t ShellExecuteA(HWND window, const std::string& operation, const std::string& file,
                                const std::string& parameters, const std::string& directory,
                                int showCommand) override {
        shellOpened.push_back({window, operation, file, parameters, directory, showCommand});
        return shellAnswer;
    }
    struct ShellCall {
        HWND window;
        std::string operation, file, parameters, directory;
        int showCommand;
    };
    std::vector<ShellCall> shellOpened;
    std::intptr_t shellAnswer = kShellStarted;

    WindowServices* windows() override { return this; }
    TimerServices* timers() override { return this; }
    PointerServices* pointer() override { return this; }

    // --- timers on virtual time ---------------------------------------------------
    UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC callback) override;
    bool KillTimer(HWND window, UINT_PTR id) override;
    DWORD GetTickCount() const override { return static_cast<DWORD>(now_); }

    // Moves virtual time on by ms, firing every timer that falls due on the
    // way in the order of the times they fall due (a repeating timer once for
    // each of its periods), including timers that callbacks start. A call
    // from inside a callback moves time on further.
    void advance(std::uint64_t ms);
    std::uint64_t now() const { return now_; }
    std::size_t timerCount() const { return timers_.size(); }
    bool hasTimer(HWND window, UINT_PTR id) const;

    // --- the cursor -----------------------------------------------------------------
    bool GetCursorPos(POINT* point) const override;
    void setCursorPos(POINT point) { cursor_ = point; }

    // --- what the windows did ---------------------------------------------------------
    // Called with every message the default window procedure receives, before
    // it handles it, so a test can act inside a system window's procedure.
    std::function<void(HWND, UINT, WPARAM, LPARAM)> onDefaultMessage;
    // Repaint requests, in order.
    std::vector<std::pair<HWND, RECT>> invalidations;

    bool OpenClipboard() override;
    void CloseClipboard() override;
    bool IsClipboardFormatAvailable(unsigned format) const override;
    std::optional<std::vector<std::uint8_t>> GetClipboardData(unsigned format) override;

    // --- what tests set and look at -------------------------------------------
    void SetClipboardData(unsigned format, std::vector<std::uint8_t> bytes);
    void EmptyClipboard() { clipboard_.clear(); }
    // Another program holds the clipboard: opening it fails.
    void SetClipboardBusy(bool busy) { busy_ = busy; }
    bool clipboardOpen() const { return open_; }
    // Opens that were never closed would lock every other program out.
    int unbalancedOpens() const { return opens_ - closes_; }

    std::vector<Message> messages;

protected:
    void windowDestroyed(HWND window) override;
    void windowInvalidated(HWND window, const RECT& area) override;
    void defaultMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    struct Timer {
        HWND window = 0;
        UINT_PTR id = 0;
        UINT elapse = 0;
        TIMERPROC callback;
        std::uint64_t due = 0;
        std::uint64_t order = 0; // among timers due at the same time
    };

    std::vector<Timer>::iterator findTimer(HWND window, UINT_PTR id);

    std::vector<Timer> timers_;
    std::uint64_t now_ = 0;
    std::uint64_t nextOrder_ = 0;
    UINT_PTR nextThreadTimer_ = 1;
    POINT cursor_{};
    std::map<unsigned, std::vector<std::uint8_t>> clipboard_;
    bool busy_ = false;
    bool open_ = false;
    int opens_ = 0;
    int closes_ = 0;
};

// A drop event's data object whose formats and file collection the test
// sets; GetData answers with the bytes set for the format, and fails for
// any description other than a whole memory block of content.
class HeadlessDataObject final : public DataObject {
public:
    bool GetFormat(unsigned format) const override;
    std::optional<std::vector<std::uint8_t>> GetData(const FORMATETC& format) const override;

    void SetData(unsigned format, std::vector<std::uint8_t> bytes);
    // Offered by GetFormat, but GetData fails for it.
    void SetUnreadable(unsigned format) { unreadable_.push_back(format); }

private:
    std::map<unsigned, std::vector<std::uint8_t>> data_;
    std::vector<unsigned> unreadable_;
};

} // namespace platform

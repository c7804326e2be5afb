#pragma once
// The window host on Qt 6 Widgets. Top-level windows are real widgets;
// windows of other classes under them are kept as host records (the program
// draws its controls itself). Timers run on QTimer, the cursor comes from
// the windowing system, message boxes are modal Qt message boxes. Needs a
// QApplication for its whole life.

#include "platform/host/window_host.h"
#include "platform/host/window_tree.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>
#include <utility>

class QTimer;
class QWidget;

namespace platform {

class QtHost final : public WindowHost, public WindowTree, public TimerServices {
public:
    QtHost();
    ~QtHost() override;

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    void DoEvents() override;
    // "open" (or no operation) of an address or a file, through the
    // desktop's URL handler.
    std::intptr_t ShellExecuteA(HWND window, const std::string& operation, const std::string& file,
                                const std::string& parameters, const std::string& directory,
                                int showCommand) override;
    // What opens addresses; the desktop's handler unless a test sets one.
    std::function<bool(const QUrl&)> urlOpener;

    WindowServices* windows() override { return this; }
    TimerServices* timers() override { return this; }
    PointerServices* pointer() override { return this; }

    UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC callback) override;
    bool KillTimer(HWND window, UINT_PTR id) override;
    DWORD GetTickCount() const override;

    bool GetCursorPos(POINT* point) const override;

    // The desktop clipboard (see qt_clipboard.h for what it offers).
    bool OpenClipboard() override;
    void CloseClipboard() override;
    bool IsClipboardFormatAvailable(unsigned format) const override;
    std::optional<std::vector<std::uint8_t>> GetClipboardData(unsigned format) override;

    // A top-level window record for a widget the program made itself (its
    // main window): the record follows the widget's place and visibility,
    // the widget closes as the program decides, and destroying the record
    // leaves the widget alone.
    HWND AdoptWindow(QWidget* widget, const char* className);

    // The widget of a top-level window, null for other windows.
    QWidget* widget(HWND window) const;
    // The top-level window a widget stands for, 0 for none.
    HWND windowOf(const QWidget* widget) const;

protected:
    void windowCreated(HWND window) override;
    void windowDestroyed(HWND window) override;
    void windowShown(HWND window, bool visible) override;
    void windowMoved(HWND window) override;
    void windowTextChanged(HWND window) override;
    void windowInvalidated(HWND window, const RECT& area) override;

private:
    class WidgetEvents;
    struct Timer {
        QTimer* timer = nullptr; // a child of timerOwner_
        TIMERPROC callback;
    };
    using TimerKey = std::pair<HWND, UINT_PTR>;

    void fire(TimerKey key);
    void retire(Timer& timer);

    std::unique_ptr<QObject> timerOwner_;
    std::unique_ptr<WidgetEvents> events_;
    std::map<TimerKey, Timer> timers_;
    std::map<HWND, std::unique_ptr<QWidget>> widgets_;
    std::map<HWND, QPointer<QWidget>> adopted_;
    QWidget* adopting_ = nullptr;
    UINT_PTR nextThreadTimer_ = 1;
    bool clipboardOpen_ = false;
    QElapsedTimer clock_;
};

} // namespace platform

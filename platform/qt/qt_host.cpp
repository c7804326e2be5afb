#include "platform/qt/qt_host.h"

#include "platform/qt/qt_clipboard.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <array>

namespace platform {

// Carries what the windowing system does to a top-level widget back to the
// window records: moves and resizes, and closing, which becomes WM_CLOSE so
// the window's procedure decides (the default procedure destroys it).
class QtHost::WidgetEvents final : public QObject {
public:
    explicit WidgetEvents(QtHost& host) : host_(host) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* const widget = qobject_cast<QWidget*>(watched);
        const HWND window = widget != nullptr ? host_.windowOf(widget) : 0;
        if (window == 0) return false;
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize: {
            const QRect g = widget->geometry();
            host_.setWindowRect(window, {g.x(), g.y(), g.x() + g.width(), g.y() + g.height()});
            return false;
        }
        case QEvent::Show:
        case QEvent::Hide:
            if (host_.adopted_.count(window) != 0)
                host_.ShowWindow(window, event->type() == QEvent::Show ? SW_SHOW : SW_HIDE);
            return false;
        case QEvent::Close:
            // An adopted window closes as its program decides.
            if (host_.adopted_.count(window) != 0) return false;
            // The widget is deleted by DestroyWindow, never by Qt.
            event->ignore();
            host_.SendMessageA(window, WM_CLOSE, 0, 0);
            return true;
        default:
            return false;
        }
    }

private:
    QtHost& host_;
};

QtHost::QtHost()
    : timerOwner_(std::make_unique<QObject>()), events_(std::make_unique<WidgetEvents>(*this)) {
    clock_.start();
}

QtHost::~QtHost() {
    // Timers first (their callbacks may hold state that refers to windows),
    // then the widgets; the records go with the window tree.
    const std::map<TimerKey, Timer> timers = std::move(timers_);
    timers_.clear();
    timerOwner_.reset();
    widgets_.clear();
}

int QtHost::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if ((flags & 0xF0) == MB_ICONEXCLAMATION) icon = QMessageBox::Warning;
    if ((flags & 0xF0) == MB_ICONINFORMATION) icon = QMessageBox::Information;
    QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.exec();
    return IDOK;
}

std::intptr_t QtHost::ShellExecuteA(HWND, const std::string& operation, const std::string& file,
                                    const std::string&, const std::string&, int) {
    QString verb = QString::fromStdString(operation).toLower();
    if (!verb.isEmpty() && verb != QStringLiteral("open")) return kShellNoHandler;
    const QString target = QString::fromStdString(file);
    if (target.isEmpty()) return kShellNoHandler;
    // A path that exists is a file; anything else an address.
    const QUrl url =
        QFileInfo::exists(target) ? QUrl::fromLocalFile(target) : QUrl::fromUserInput(target);
    if (!url.isValid()) return kShellNoHandler;
    const bool opened = urlOpener ? urlOpener(url) : QDesktopServices::openUrl(url);
    return opened ? kShellStarted : kShellNoHandler;
}

bool QtHost::OpenClipboard() {
    // One program at a time, as the system's clipboard: a second open
    // before the close fails.
    if (clipboardOpen_ || QGuiApplication::clipboard() == nullptr) return false;
    clipboardOpen_ = true;
    return true;
}

void QtHost::CloseClipboard() {
    clipboardOpen_ = false;
}

bool QtHost::IsClipboardFormatAvailable(unsigned format) const {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard != nullptr && MimeDataOffers(clipboard->mimeData(), format);
}

std::optional<std::vector<std::uint8_t>> QtHost::GetClipboardData(unsigned format) {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboardOpen_ || clipboard == nullptr) return std::nullopt;
    return MimeDataBytes(clipboard->mimeData(), format);
}

void QtHost::DoEvents() {
    QCoreApplication::processEvents();
}

void QtHost::retire(Timer& timer) {
    // A timer may be killed from inside its own timeout; it is deleted once
    // the signal is done (or with the host, whichever comes first).
    if (timer.timer == nullptr) return;
    timer.timer->stop();
    QObject::disconnect(timer.timer, nullptr, nullptr, nullptr);
    timer.timer->deleteLater();
    timer.timer = nullptr;
}

UINT_PTR QtHost::SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC callback) {
    if (window != 0 && !IsWindow(window)) return 0;
    elapse = std::max(elapse, USER_TIMER_MINIMUM);
    if (window == 0 && !timers_.contains({0, id})) {
        while (nextThreadTimer_ == 0 || timers_.contains({0, nextThreadTimer_}))
            ++nextThreadTimer_;
        id = nextThreadTimer_++;
    }
    const TimerKey key{window, id};
    Timer& entry = timers_[key];
    entry.callback = std::move(callback);
    if (entry.timer == nullptr) {
        entry.timer = new QTimer(timerOwner_.get()); // owned by its parent
        QObject::connect(entry.timer, &QTimer::timeout, entry.timer, [this, key] { fire(key); });
    }
    entry.timer->start(static_cast<int>(std::min<UINT>(elapse, 0x7FFFFFFF)));
    return window != 0 && id == 0 ? 1 : id;
}

bool QtHost::KillTimer(HWND window, UINT_PTR id) {
    const auto it = timers_.find({window, id});
    if (it == timers_.end()) return false;
    retire(it->second);
    const TIMERPROC doomed = std::move(it->second.callback);
    timers_.erase(it);
    return true;
}

void QtHost::fire(TimerKey key) {
    const auto it = timers_.find(key);
    if (it == timers_.end()) return;
    const TIMERPROC callback = it->second.callback; // alive through the call
    if (callback)
        callback(key.first, WM_TIMER, key.second, GetTickCount());
    else
        SendMessageA(key.first, WM_TIMER, key.second, 0);
}

DWORD QtHost::GetTickCount() const {
    return static_cast<DWORD>(clock_.elapsed());
}

bool QtHost::GetCursorPos(POINT* point) const {
    if (point == nullptr) return false;
    const QPoint p = QCursor::pos();
    *point = {p.x(), p.y()};
    return true;
}

HWND QtHost::AdoptWindow(QWidget* widget, const char* className) {
    if (widget == nullptr) return 0;
    const QRect g = widget->geometry();
    const std::string title = widget->windowTitle().toStdString();
    adopting_ = widget;
    const HWND window = CreateWindowExA(
        0, className, title.c_str(), WS_OVERLAPPEDWINDOW | (widget->isVisible() ? WS_VISIBLE : 0),
        g.x(), g.y(), g.width(), g.height(), 0, 0, 0, nullptr);
    adopting_ = nullptr;
    return window;
}

QWidget* QtHost::widget(HWND window) const {
    if (const auto it = widgets_.find(window); it != widgets_.end()) return it->second.get();
    if (const auto it = adopted_.find(window); it != adopted_.end()) return it->second.data();
    return nullptr;
}

HWND QtHost::windowOf(const QWidget* widget) const {
    for (const auto& [window, w] : widgets_)
        if (w.get() == widget) return window;
    for (const auto& [window, w] : adopted_)
        if (w.data() == widget) return window;
    return 0;
}

void QtHost::windowCreated(HWND window) {
    if (!isTopLevel(window)) return;
    if (adopting_ != nullptr) {
        adopted_.emplace(window, adopting_);
        adopting_->installEventFilter(events_.get());
        return;
    }
    auto widget = std::make_unique<QWidget>();
    std::array<char, 512> title{};
    GetWindowTextA(window, title.data(), static_cast<int>(title.size()));
    widget->setWindowTitle(QString::fromUtf8(title.data()));
    RECT r{};
    GetWindowRect(window, &r);
    widget->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
    widget->installEventFilter(events_.get());
    widgets_.emplace(window, std::move(widget));
}

void QtHost::windowDestroyed(HWND window) {
    std::vector<TimerKey> doomed;
    for (const auto& [key, timer] : timers_)
        if (key.first == window) doomed.push_back(key);
    for (const TimerKey& key : doomed)
        KillTimer(key.first, key.second);
    if (const auto adopted = adopted_.find(window); adopted != adopted_.end()) {
        if (adopted->second) adopted->second->removeEventFilter(events_.get());
        adopted_.erase(adopted);
        return;
    }
    const auto it = widgets_.find(window);
    if (it == widgets_.end()) return;
    // The widget may be inside one of its own events (a close); Qt deletes
    // it once that is over.
    QWidget* const widget = it->second.release();
    widgets_.erase(it);
    widget->removeEventFilter(events_.get());
    widget->hide();
    widget->setParent(nullptr);
    widget->deleteLater();
}

void QtHost::windowShown(HWND window, bool visible) {
    if (QWidget* w = widget(window)) w->setVisible(visible);
}

void QtHost::windowMoved(HWND window) {
    QWidget* const w = widget(window);
    if (w == nullptr) return;
    RECT r{};
    GetWindowRect(window, &r);
    w->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void QtHost::windowTextChanged(HWND window) {
    QWidget* const w = widget(window);
    if (w == nullptr) return;
    std::array<char, 512> title{};
    GetWindowTextA(window, title.data(), static_cast<int>(title.size()));
    w->setWindowTitle(QString::fromUtf8(title.data()));
}

void QtHost::windowInvalidated(HWND window, const RECT& area) {
    // Records under a widget are drawn by the widget's owner: repaint the
    // top-level window that holds them.
    HWND top = window;
    while (GetParent(top) != 0 && !isTopLevel(top))
        top = GetParent(top);
    QWidget* const w = widget(top);
    if (w == nullptr) return;
    POINT origin{area.left, area.top};
    ClientToScreen(window, &origin);
    ScreenToClient(top, &origin);
    w->update(origin.x, origin.y, area.right - area.left, area.bottom - area.top);
}

} // namespace platform

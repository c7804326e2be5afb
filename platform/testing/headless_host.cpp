#include "platform/testing/headless_host.h"

#include <algorithm>

namespace platform {

HeadlessHost::~HeadlessHost() {
    // Moved out first: a callback's destructor may ask for the timers.
    const std::vector<Timer> timers = std::move(timers_);
    timers_.clear();
}

std::vector<HeadlessHost::Timer>::iterator HeadlessHost::findTimer(HWND window, UINT_PTR id) {
    return std::find_if(timers_.begin(), timers_.end(),
                        [&](const Timer& t) { return t.window == window && t.id == id; });
}

bool HeadlessHost::hasTimer(HWND window, UINT_PTR id) const {
    return std::any_of(timers_.begin(), timers_.end(),
                       [&](const Timer& t) { return t.window == window && t.id == id; });
}

UINT_PTR HeadlessHost::SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC callback) {
    if (window != 0 && !IsWindow(window)) return 0;
    elapse = std::max(elapse, USER_TIMER_MINIMUM);
    auto it = findTimer(window, id);
    if (window == 0 && it == timers_.end()) {
        // A new thread timer: the host picks an identifier not in use.
        while (nextThreadTimer_ == 0 || findTimer(0, nextThreadTimer_) != timers_.end())
            ++nextThreadTimer_;
        id = nextThreadTimer_++;
    }
    if (it == timers_.end()) it = timers_.insert(timers_.end(), Timer{window, id, 0, {}, 0, 0});
    it->elapse = elapse;
    it->callback = std::move(callback);
    it->due = now_ + elapse;
    it->order = nextOrder_++;
    return window != 0 && id == 0 ? 1 : id;
}

bool HeadlessHost::KillTimer(HWND window, UINT_PTR id) {
    const auto it = findTimer(window, id);
    if (it == timers_.end()) return false;
    // The callback may be the one running; the caller of advance() holds
    // its own copy, so dropping this one is safe.
    const TIMERPROC doomed = std::move(it->callback);
    timers_.erase(it);
    return true;
}

void HeadlessHost::advance(std::uint64_t ms) {
    const std::uint64_t target = now_ + ms;
    for (;;) {
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->due <= target && (next == timers_.end() || it->due < next->due ||
                                      (it->due == next->due && it->order < next->order)))
                next = it;
        if (next == timers_.end()) break;
        now_ = std::max(now_, next->due);
        // Re-armed before the call, so that a callback that kills or
        // restarts its timer has the last word.
        next->due = now_ + next->elapse;
        next->order = nextOrder_++;
        const HWND window = next->window;
        const UINT_PTR id = next->id;
        const TIMERPROC callback = next->callback; // alive through the call
        if (callback)
            callback(window, WM_TIMER, id, GetTickCount());
        else
            SendMessageA(window, WM_TIMER, id, 0);
    }
    now_ = std::max(now_, target);
}

bool HeadlessHost::GetCursorPos(POINT* point) const {
    if (point == nullptr) return false;
    *point = cursor_;
    return true;
}

void HeadlessHost::windowDestroyed(HWND window) {
    std::vector<Timer> doomed;
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->window == window) {
            doomed.push_back(std::move(*it));
            it = timers_.erase(it);
        } else {
            ++it;
        }
    }
}

void HeadlessHost::windowInvalidated(HWND window, const RECT& area) {
    invalidations.emplace_back(window, area);
}

void HeadlessHost::defaultMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (onDefaultMessage) onDefaultMessage(window, message, wParam, lParam);
}

int HeadlessHost::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    messages.push_back({text, caption, flags});
    return IDOK;
}

bool HeadlessHost::OpenClipboard() {
    // The system refuses a second open as well as another program's.
    if (busy_ || open_) return false;
    open_ = true;
    ++opens_;
    return true;
}

void HeadlessHost::CloseClipboard() {
    if (!open_) return;
    open_ = false;
    ++closes_;
}

bool HeadlessHost::IsClipboardFormatAvailable(unsigned format) const {
    return clipboard_.count(format) != 0;
}

std::optional<std::vector<std::uint8_t>> HeadlessHost::GetClipboardData(unsigned format) {
    const auto it = clipboard_.find(format);
    if (!open_ || it == clipboard_.end()) return std::nullopt;
    return it->second;
}

void HeadlessHost::SetClipboardData(unsigned format, std::vector<std::uint8_t> bytes) {
    clipboard_[format] = std::move(bytes);
}

bool HeadlessDataObject::GetFormat(unsigned format) const {
    return data_.count(format) != 0 ||
           std::find(unreadable_.begin(), unreadable_.end(), format) != unreadable_.end();
}

std::optional<std::vector<std::uint8_t>>
HeadlessDataObject::GetData(const FORMATETC& format) const {
    if (format.ptd != nullptr || format.dwAspect != DVASPECT_CONTENT || format.lindex != -1 ||
        format.tymed != TYMED_HGLOBAL)
        return std::nullopt;
    const auto it = data_.find(format.cfFormat);
    if (it == data_.end()) return std::nullopt;
    return it->second;
}

void HeadlessDataObject::SetData(unsigned format, std::vector<std::uint8_t> bytes) {
    data_[format] = std::move(bytes);
}

} // namespace platform

#pragma once
// The main window's error policy: a handler runs as a sequence of steps, and
// a step that fails is skipped without a word while the handler carries on.
// Handlers wrap each step in IgnoreErrors instead of catching on their own.

namespace velmora::app {

// Runs one step; returns whether it completed.
template <typename Step>
bool IgnoreErrors(Step&& step) noexcept {
    try {
        step();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace velmora::app

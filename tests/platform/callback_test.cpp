// The trampolines that carry the system's plain callbacks to the program's
// callables: a timer's TIMERPROC kept by (window, identifier), and a window
// procedure that is an object's member.

#include "platform/host/callback.h"
#include "platform/host/win32.h"
#include "platform/host/window_types.h"
#include "platform/system/environment.h"
#include "platform/testing/headless_host.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <utility>
#include <vector>

using namespace platform;

namespace {

// The system hands its callback nothing but the call's arguments, so the
// tables the trampolines search are reachable without context.
std::map<std::pair<HWND, UINT_PTR>, TIMERPROC>& timerTable() {
    static std::map<std::pair<HWND, UINT_PTR>, TIMERPROC> table;
    return table;
}

TIMERPROC findTimer(HWND window, UINT, UINT_PTR id, DWORD) {
    const auto it = timerTable().find({window, id});
    return it != timerTable().end() ? it->second : TIMERPROC();
}

TEST(Trampoline, ATimerTickReachesTheCallableKeptForItsWindowAndIdentifier) {
    timerTable().clear();
    // Converting is the check that the shape is the system's.
    const SystemTimerProc native = &Trampoline<&findTimer>::call;

    std::vector<std::pair<UINT_PTR, DWORD>> seen;
    timerTable()[{5, 7}] = [&](HWND window, UINT message, UINT_PTR id, DWORD tick) {
        EXPECT_EQ(window, 5u);
        EXPECT_EQ(message, WM_TIMER);
        seen.emplace_back(id, tick);
    };
    native(5, WM_TIMER, 7, 1234);
    native(6, WM_TIMER, 7, 1235); // another window's timer 7: none kept
    native(5, WM_TIMER, 8, 1236); // a tick on its way after the kill
    EXPECT_EQ(seen, (std::vector<std::pair<UINT_PTR, DWORD>>{{7, 1234}}));

    // A callback that kills its own timer drops the table's copy while it
    // runs; what it holds lives to the end of the call.
    auto state = std::make_shared<int>(0);
    std::weak_ptr<int> watch = state;
    timerTable()[{0, 3}] = [state](HWND, UINT, UINT_PTR id, DWORD) {
        timerTable().erase({0, id});
        ++*state;
        EXPECT_EQ(*state, 1);
    };
    state.reset();
    native(0, WM_TIMER, 3, 0);
    EXPECT_TRUE(watch.expired()) << "the last copy went with the call";
    native(0, WM_TIMER, 3, 0);
    timerTable().clear();
}

// A window procedure that is an object's member, found by its window.
class Panel {
public:
    LRESULT procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_USER) return 40 + static_cast<LRESULT>(wParam);
        return platform::DefWindowProcA(window, message, wParam, lParam);
    }
};

std::map<HWND, Panel*>& panels() {
    static std::map<HWND, Panel*> table;
    return table;
}

std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> findPanel(HWND window, UINT, WPARAM, LPARAM) {
    const auto it = panels().find(window);
    if (it == panels().end()) return &platform::DefWindowProcA; // before it is attached
    Panel* const panel = it->second;
    return [panel](HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
        return panel->procedure(w, message, wParam, lParam);
    };
}

TEST(Trampoline, AWindowProcedureReachesItsObjectsMember) {
    ScopedEnvironment scope;
    HeadlessHost host;
    scope->host = &host;
    WNDCLASSA cls;
    cls.lpfnWndProc = &Trampoline<&findPanel>::call;
    cls.lpszClassName = "Panel";
    ASSERT_TRUE(host.RegisterClassA(cls));
    const HWND window = host.CreateWindowExA(0, "Panel", "", 0, 0, 0, 10, 10, 0, 0, 0, nullptr);
    ASSERT_NE(window, 0u) << "the default procedure answers while no object is attached";
    EXPECT_EQ(host.SendMessageA(window, WM_USER, 2, 0), 0);

    Panel panel;
    panels()[window] = &panel;
    EXPECT_EQ(host.SendMessageA(window, WM_USER, 2, 0), 42);
    panels().clear();
}

} // namespace

// The headless host's windows, timers and pointer, and the global calls
// that reach the current host.

#include "platform/gdi/gdi.h"
#include "platform/host/win32.h"
#include "platform/system/environment.h"
#include "platform/testing/headless_host.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace platform;

namespace {

struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
};

// Window procedures get no context, so the recording one writes here.
std::vector<Seen>& journal() {
    static std::vector<Seen> seen;
    return seen;
}

LRESULT Recorder(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    journal().push_back({window, message, wParam});
    return platform::DefWindowProcA(window, message, wParam, lParam);
}

LRESULT Subclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
WNDPROC subclassed = nullptr;
LRESULT Subclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER) return 42;
    return platform::CallWindowProcA(subclassed, window, message, wParam, lParam);
}

LRESULT RefusesCreate(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_CREATE ? -1 : 1;
}

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        scope->host = &host;
        journal().clear();
        WNDCLASSA cls;
        cls.lpfnWndProc = &Recorder;
        cls.lpszClassName = "Recorder";
        ASSERT_TRUE(host.RegisterClassA(cls));
    }
    HWND make(const char* cls, const char* title, DWORD style, HWND parent, RECT r = {}) {
        return host.CreateWindowExA(0, cls, title, style, r.left, r.top, r.right - r.left,
                                    r.bottom - r.top, parent, 0, 0, nullptr);
    }
    std::vector<std::pair<HWND, UINT>> lifecycle() const {
        std::vector<std::pair<HWND, UINT>> out;
        for (const Seen& s : journal())
            if (s.message == WM_DESTROY || s.message == WM_NCDESTROY)
                out.emplace_back(s.window, s.message);
        return out;
    }

    ScopedEnvironment scope;
    HeadlessHost host;
};

TEST_F(HostTest, WindowTreeLinksNamesAndSearch) {
    const HWND top = make("Recorder", "Main", WS_OVERLAPPEDWINDOW, 0);
    ASSERT_NE(top, 0u);
    const HWND a = make("Static", "First", WS_CHILD, top);
    const HWND b = make("BUTTON", "Second", WS_CHILD, top);
    const HWND inner = make("static", "First", WS_CHILD, b);
    ASSERT_TRUE(a && b && inner);

    EXPECT_EQ(GetObjectType(static_cast<HGDIOBJ>(top)), 0) << "window handles are no GDI objects";
    EXPECT_EQ(host.GetParent(inner), b);
    EXPECT_EQ(host.GetParent(top), 0u);
    EXPECT_EQ(host.GetWindow(top, GW_CHILD), b) << "the newest child is on top";
    EXPECT_EQ(host.GetWindow(b, GW_HWNDNEXT), a);
    EXPECT_EQ(host.GetWindow(a, GW_HWNDNEXT), 0u);

    EXPECT_EQ(host.FindWindowExA(top, 0, "STATIC", "First"), a) << "class names ignore case";
    EXPECT_EQ(host.FindWindowExA(top, 0, "Static", "first"), 0u) << "titles do not";
    EXPECT_EQ(host.FindWindowExA(top, 0, nullptr, "Second"), b);
    EXPECT_EQ(host.FindWindowExA(top, b, nullptr, nullptr), a);
    EXPECT_EQ(host.FindWindowExA(top, a, nullptr, nullptr), 0u);
    EXPECT_EQ(host.FindWindowExA(0, 0, "Recorder", "Main"), top);

    char buffer[5];
    EXPECT_EQ(host.GetClassNameA(b, buffer, sizeof buffer), 4);
    EXPECT_STREQ(buffer, "BUTT") << "cut to fit with its zero";
    EXPECT_EQ(host.GetWindowTextA(a, buffer, sizeof buffer), 4);
    EXPECT_TRUE(host.SetWindowTextA(a, "X"));
    EXPECT_EQ(host.GetWindowTextA(a, buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "X");

    EXPECT_EQ(make("NoSuchClass", "", 0, 0), 0u);
    EXPECT_EQ(make("Static", "", WS_CHILD, 0), 0u) << "a child needs a parent";
    WNDCLASSA refusing;
    refusing.lpfnWndProc = &RefusesCreate;
    refusing.lpszClassName = "Refusing";
    ASSERT_TRUE(host.RegisterClassA(refusing));
    EXPECT_FALSE(host.RegisterClassA(refusing)) << "a name is registered once";
    const std::size_t before = host.windowCount();
    EXPECT_EQ(make("Refusing", "", WS_CHILD, top), 0u);
    EXPECT_EQ(host.windowCount(), before) << "a refused window does not stay";
}

TEST_F(HostTest, OwnersAndParentsOfTopLevelWindows) {
    const HWND main = make("Recorder", "Main", 0, 0);
    const HWND child = make("Static", "", WS_CHILD, main);
    const HWND dialog = make("#32770", "Dialog", WS_CAPTION, child);
    const HWND popup = make("Static", "Popup", WS_POPUP, main);
    EXPECT_EQ(host.GetWindow(dialog, GW_OWNER), main) << "the owner is the top of the given tree";
    EXPECT_EQ(host.GetParent(dialog), 0u) << "an overlapped window answers no parent";
    EXPECT_EQ(host.GetParent(popup), main) << "a popup answers its owner";
    EXPECT_EQ(host.GetWindow(child, GW_OWNER), 0u);

    EXPECT_EQ(host.SetWindowLongA(main, GWL_HWNDPARENT, static_cast<LONG_PTR>(dialog)), 0);
    EXPECT_EQ(host.GetWindow(main, GW_OWNER), 0u) << "ownership never runs in a circle";
    EXPECT_EQ(host.SetWindowLongA(dialog, GWL_HWNDPARENT, static_cast<LONG_PTR>(child)), 0);
    EXPECT_EQ(host.GetWindow(dialog, GW_OWNER), main) << "a child owns nothing";
}

TEST_F(HostTest, DestroyReachesTheWindowThenEachChildAndOwnedWindowsGoFirst) {
    const HWND top = make("Recorder", "Main", 0, 0);
    const HWND first = make("Recorder", "1", WS_CHILD, top);
    const HWND second = make("Recorder", "2", WS_CHILD, top);
    const HWND nested = make("Recorder", "1.1", WS_CHILD, first);
    const HWND owned = make("Recorder", "Owned", 0, top);
    const HWND other = make("Recorder", "Other", 0, 0);
    ASSERT_EQ(host.SetTimer(second, 7, 100, nullptr), 7u);
    host.SetCapture(nested);
    journal().clear();

    ASSERT_TRUE(host.DestroyWindow(top));
    const std::vector<std::pair<HWND, UINT>> expected = {
        {owned, WM_DESTROY},    {owned, WM_NCDESTROY},  {top, WM_DESTROY},
        {first, WM_DESTROY},    {nested, WM_DESTROY},   {second, WM_DESTROY},
        {second, WM_NCDESTROY}, {nested, WM_NCDESTROY}, {first, WM_NCDESTROY},
        {top, WM_NCDESTROY}};
    EXPECT_EQ(lifecycle(), expected);
    for (const HWND gone : {top, first, second, nested, owned}) {
        EXPECT_FALSE(host.IsWindow(gone));
        EXPECT_EQ(host.SendMessageA(gone, WM_USER, 0, 0), 0);
    }
    EXPECT_TRUE(host.IsWindow(other));
    EXPECT_FALSE(host.hasTimer(second, 7)) << "a window's timers die with it";
    EXPECT_EQ(host.GetCapture(), 0u);
    EXPECT_FALSE(host.DestroyWindow(top)) << "a handle stays invalid";
    EXPECT_EQ(host.SetTimer(top, 1, 10, nullptr), 0u);
}

TEST_F(HostTest, ProcedureSlotSubclassingAndDefaultHandling) {
    const HWND window = make("Recorder", "Before", 0, 0);
    subclassed = reinterpret_cast<WNDPROC>(
        host.SetWindowLongA(window, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&Subclass)));
    EXPECT_EQ(subclassed, &Recorder) << "setting answers the previous procedure";
    EXPECT_EQ(host.GetWindowLongA(window, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(&Subclass));
    EXPECT_EQ(host.SendMessageA(window, WM_USER, 0, 0), 42);
    journal().clear();
    EXPECT_EQ(host.SendMessageA(window, WM_USER + 1, 9, 0), 0);
    ASSERT_EQ(journal().size(), 1u) << "other messages reach the previous procedure";
    EXPECT_EQ(journal()[0].wParam, 9u);

    EXPECT_EQ(host.SetWindowLongA(window, GWL_USERDATA, 1234), 0);
    EXPECT_EQ(host.SetWindowLongA(window, GWL_USERDATA, 5), 1234);
    EXPECT_EQ(host.SetWindowLongA(window, GWL_WNDPROC, 0), 0) << "no procedure is refused";
    EXPECT_EQ(host.GetWindowLongA(window, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(&Subclass));

    char text[16] = {};
    EXPECT_EQ(host.SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text)),
              6);
    EXPECT_STREQ(text, "Before");
    host.SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(host.IsWindow(window)) << "the default answer to WM_CLOSE destroys";
}

TEST_F(HostTest, WindowTimersRepeatUntilKilled) {
    const HWND window = make("Recorder", "", 0, 0);
    EXPECT_EQ(host.SetTimer(window, 3, 100, nullptr), 3u);
    host.advance(99);
    EXPECT_TRUE(journal().empty() || journal().back().message != WM_TIMER);
    journal().clear();
    host.advance(251); // 100, 200, 300 fall due, 400 does not
    int ticks = 0;
    for (const Seen& s : journal())
        if (s.message == WM_TIMER && s.wParam == 3u) ++ticks;
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(host.now(), 350u);

    EXPECT_TRUE(host.KillTimer(window, 3));
    EXPECT_FALSE(host.KillTimer(window, 3)) << "an unknown timer is harmless";
    EXPECT_FALSE(host.KillTimer(0, 12345));
    journal().clear();
    host.advance(1000);
    EXPECT_TRUE(journal().empty());
}

TEST_F(HostTest, TimersFireInTimeOrderIncludingOnesStartedByCallbacks) {
    std::vector<std::pair<std::string, std::uint64_t>> fired;
    UINT_PTR started = 0;
    const UINT_PTR a = host.SetTimer(0, 0, 30, [&](HWND window, UINT message, UINT_PTR, DWORD) {
        EXPECT_EQ(window, 0u);
        EXPECT_EQ(message, WM_TIMER);
        fired.emplace_back("a", host.now());
        if (started == 0)
            started = host.SetTimer(0, 0, 15, [&](HWND, UINT, UINT_PTR id, DWORD) {
                fired.emplace_back("c", host.now());
                host.KillTimer(0, id);
            });
    });
    const UINT_PTR b = host.SetTimer(
        0, 0, 20, [&](HWND, UINT, UINT_PTR, DWORD) { fired.emplace_back("b", host.now()); });
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b) << "the host picks distinct thread timer identifiers";

    host.advance(60);
    const std::vector<std::pair<std::string, std::uint64_t>> expected = {
        {"b", 20}, {"a", 30}, {"b", 40}, {"c", 45}, {"a", 60}, {"b", 60}};
    EXPECT_EQ(fired, expected);
    EXPECT_FALSE(host.hasTimer(0, started)) << "c killed itself";
}

TEST_F(HostTest, TimerKilledInItsOwnCallbackNeverFiresAgain) {
    int count = 0;
    const UINT_PTR id = host.SetTimer(0, 0, 10, [&](HWND, UINT, UINT_PTR self, DWORD) {
        ++count;
        host.KillTimer(0, self);
        host.advance(100); // time moving on inside the callback changes nothing
    });
    host.advance(1000);
    EXPECT_EQ(count, 1);
    EXPECT_FALSE(host.hasTimer(0, id));

    // Restarting a timer moves its next tick; short intervals are raised.
    int ticks = 0;
    const HWND window = make("Recorder", "", 0, 0);
    host.SetTimer(window, 1, 50, [&](HWND, UINT, UINT_PTR, DWORD) { ++ticks; });
    host.advance(40);
    host.SetTimer(window, 1, 1, [&](HWND, UINT, UINT_PTR, DWORD) { ticks += 10; });
    host.advance(9);
    EXPECT_EQ(ticks, 0);
    host.advance(1);
    EXPECT_EQ(ticks, 10);
}

TEST_F(HostTest, CaptureCursorAndCoordinates) {
    const HWND top = make("Recorder", "", WS_VISIBLE, 0, {100, 50, 400, 250});
    const HWND panel = make("Static", "", WS_CHILD | WS_VISIBLE, top, {10, 20, 110, 120});
    const HWND button = make("Button", "", WS_CHILD | WS_VISIBLE, panel, {5, 5, 25, 25});
    const HWND hidden = make("Static", "", WS_CHILD, top, {0, 0, 300, 200});

    EXPECT_EQ(host.SetCapture(panel), 0u);
    EXPECT_EQ(host.SetCapture(button), panel) << "answers the previous capture";
    EXPECT_EQ(host.GetCapture(), button);
    EXPECT_TRUE(host.ReleaseCapture());
    EXPECT_EQ(host.GetCapture(), 0u);

    POINT p{1, 2};
    ASSERT_TRUE(host.ClientToScreen(button, &p));
    EXPECT_EQ(p, (POINT{116, 77}));
    ASSERT_TRUE(host.ScreenToClient(panel, &p));
    EXPECT_EQ(p, (POINT{6, 7}));
    RECT r{};
    ASSERT_TRUE(host.GetWindowRect(button, &r));
    EXPECT_EQ(r, (RECT{115, 75, 135, 95}));

    EXPECT_EQ(host.WindowFromPoint({120, 80}), button);
    EXPECT_EQ(host.WindowFromPoint({150, 150}), panel);
    EXPECT_EQ(host.WindowFromPoint({350, 200}), top) << "hidden windows are not hit";
    EXPECT_EQ(host.WindowFromPoint({10, 10}), 0u);
    host.ShowWindow(hidden, SW_SHOW);
    EXPECT_EQ(host.WindowFromPoint({350, 200}), hidden);
    host.ShowWindow(top, SW_HIDE);
    EXPECT_EQ(host.WindowFromPoint({120, 80}), 0u);
    EXPECT_FALSE(host.IsWindowVisible(button)) << "a hidden parent hides its children";

    host.setCursorPos({321, 123});
    ASSERT_TRUE(host.GetCursorPos(&p));
    EXPECT_EQ(p, (POINT{321, 123}));
}

TEST_F(HostTest, GlobalCallsReachTheCurrentHostOnly) {
    const HWND window =
        platform::CreateWindowExA(0, "Recorder", "G", 0, 0, 0, 10, 10, 0, 0, 0, nullptr);
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(host.IsWindow(window));
    int ticks = 0;
    const UINT_PTR id = platform::SetTimer(0, 0, 10, [&](HWND, UINT, UINT_PTR, DWORD) { ++ticks; });
    host.advance(10);
    EXPECT_EQ(ticks, 1);
    EXPECT_TRUE(platform::KillTimer(0, id));
    host.setCursorPos({4, 5});
    POINT p{};
    EXPECT_TRUE(platform::GetCursorPos(&p));
    EXPECT_EQ(p.x, 4);
    EXPECT_NE(platform::GetModuleHandleA(nullptr), 0u);

    ScopedEnvironment console; // no host: the console one, without windows
    console->host = nullptr;
    EXPECT_FALSE(platform::IsWindow(window));
    EXPECT_EQ(platform::SetTimer(0, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) {}), 0u);
    EXPECT_FALSE(platform::GetCursorPos(&p));
}

} // namespace

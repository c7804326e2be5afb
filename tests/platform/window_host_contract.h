#pragma once
// What every window host promises, whatever draws its windows: the window
// tree's links, the order of the creation and destruction messages, timers
// known by (window, identifier) and thread timers, killing, the pending-
// message step, the pointer and the clipboard. Each host's test program
// instantiates the suite with a traits type of its own:
//
//   struct Traits {
//       using Host = ...;  // default-constructible, a WindowHost with
//                          // WindowServices, TimerServices, PointerServices
//       // Runs the host's timers until done() holds; false when it never
//       // does. Any bound only ends the wait, it decides nothing.
//       static bool runUntil(Host&, const std::function<bool()>& done);
//       // Puts the pointer at a screen point; false where the host cannot.
//       static bool setCursor(Host&, POINT);
//       // Puts a width x height picture on the clipboard; false where the
//       // host cannot. clearClipboard() empties it again.
//       static bool offerImage(Host&, int width, int height);
//       static void clearClipboard(Host&);
//   };
//
// Nothing here depends on how fast the machine is: timer expectations are
// about order and about what never happens again, never about durations.

#include "platform/gdi/gdi.h"
#include "platform/host/win32.h"
#include "platform/host/window_host.h"
#include "platform/system/environment.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace host_contract {

using namespace platform;

struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
};

// Window procedures get no context, so the recording one writes here.
inline std::vector<Seen>& journal() {
    static std::vector<Seen> seen;
    return seen;
}

inline LRESULT VELMORA_CALLBACK Recorder(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    journal().push_back({window, message, wParam});
    return platform::DefWindowProcA(window, message, wParam, lParam);
}

inline WNDPROC& subclassed() {
    static WNDPROC previous = nullptr;
    return previous;
}

inline LRESULT VELMORA_CALLBACK Subclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER) return 42;
    return platform::CallWindowProcA(subclassed(), window, message, wParam, lParam);
}

inline LRESULT VELMORA_CALLBACK RefusesCreate(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_CREATE ? -1 : 1;
}

template <class Traits>
class WindowHostContract : public ::testing::Test {
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
    // WM_TIMER messages the recording procedure saw for (window, id).
    static int ticks(HWND window, UINT_PTR id) {
        return static_cast<int>(
            std::count_if(journal().begin(), journal().end(), [&](const Seen& s) {
                return s.window == window && s.message == WM_TIMER && s.wParam == id;
            }));
    }
    bool runUntil(const std::function<bool()>& done) { return Traits::runUntil(host, done); }

    ScopedEnvironment scope;
    typename Traits::Host host;
};

TYPED_TEST_SUITE_P(WindowHostContract);

TYPED_TEST_P(WindowHostContract, WindowTreeLinksNamesAndSearch) {
    auto& host = this->host;
    const HWND top = this->make("Recorder", "Main", WS_OVERLAPPEDWINDOW, 0);
    ASSERT_NE(top, 0u);
    const HWND a = this->make("Static", "First", WS_CHILD, top);
    const HWND b = this->make("BUTTON", "Second", WS_CHILD, top);
    const HWND inner = this->make("static", "First", WS_CHILD, b);
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

    EXPECT_EQ(this->make("NoSuchClass", "", 0, 0), 0u);
    EXPECT_EQ(this->make("Static", "", WS_CHILD, 0), 0u) << "a child needs a parent";
    WNDCLASSA refusing;
    refusing.lpfnWndProc = &RefusesCreate;
    refusing.lpszClassName = "Refusing";
    ASSERT_TRUE(host.RegisterClassA(refusing));
    EXPECT_FALSE(host.RegisterClassA(refusing)) << "a name is registered once";
    std::size_t before = 0;
    if constexpr (requires { host.windowCount(); }) before = host.windowCount();
    EXPECT_EQ(this->make("Refusing", "", WS_CHILD, top), 0u);
    EXPECT_EQ(host.FindWindowExA(top, 0, "Refusing", nullptr), 0u);
    if constexpr (requires { host.windowCount(); }) {
        EXPECT_EQ(host.windowCount(), before) << "a refused window does not stay";
    }
}

TYPED_TEST_P(WindowHostContract, OwnersAndParentsOfTopLevelWindows) {
    auto& host = this->host;
    const HWND main = this->make("Recorder", "Main", 0, 0);
    const HWND child = this->make("Static", "", WS_CHILD, main);
    const HWND dialog = this->make("#32770", "Dialog", WS_CAPTION, child);
    const HWND popup = this->make("Static", "Popup", WS_POPUP, main);
    EXPECT_EQ(host.GetWindow(dialog, GW_OWNER), main) << "the owner is the top of the given tree";
    EXPECT_EQ(host.GetParent(dialog), 0u) << "an overlapped window answers no parent";
    EXPECT_EQ(host.GetParent(popup), main) << "a popup answers its owner";
    EXPECT_EQ(host.GetWindow(child, GW_OWNER), 0u);

    EXPECT_EQ(host.SetWindowLongA(main, GWL_HWNDPARENT, static_cast<LONG_PTR>(dialog)), 0);
    EXPECT_EQ(host.GetWindow(main, GW_OWNER), 0u) << "ownership never runs in a circle";
    EXPECT_EQ(host.SetWindowLongA(dialog, GWL_HWNDPARENT, static_cast<LONG_PTR>(child)), 0);
    EXPECT_EQ(host.GetWindow(dialog, GW_OWNER), main) << "a child owns nothing";
}

TYPED_TEST_P(WindowHostContract, CreationSendsNcCreateThenCreateWithTheCallersValues) {
    auto& host = this->host;
    int param = 0;
    const HWND top = host.CreateWindowExA(0, "Recorder", "Main", WS_OVERLAPPEDWINDOW, 10, 20, 30,
                                          40, 0, 0, 0, &param);
    ASSERT_NE(top, 0u);
    std::vector<UINT> first;
    for (const Seen& s : journal())
        if (s.window == top && (s.message == WM_NCCREATE || s.message == WM_CREATE))
            first.push_back(s.message);
    EXPECT_EQ(first, (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));

    // What the procedure is handed is the caller's, read back through a
    // procedure of its own.
    struct Captured {
        static CREATESTRUCTA& last() {
            static CREATESTRUCTA seen;
            return seen;
        }
        static LRESULT VELMORA_CALLBACK Proc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
            if (message == WM_CREATE) last() = *reinterpret_cast<const CREATESTRUCTA*>(lParam);
            return platform::DefWindowProcA(window, message, wParam, lParam);
        }
    };
    WNDCLASSA capturing;
    capturing.lpfnWndProc = &Captured::Proc;
    capturing.lpszClassName = "Capturing";
    ASSERT_TRUE(host.RegisterClassA(capturing));
    const HWND child = host.CreateWindowExA(0, "Capturing", "Child", WS_CHILD, 1, 2, 3, 4, top,
                                            static_cast<HMENU>(77), 0, &param);
    ASSERT_NE(child, 0u);
    const CREATESTRUCTA& seen = Captured::last();
    EXPECT_EQ(seen.lpCreateParams, &param);
    EXPECT_EQ(seen.hwndParent, top);
    EXPECT_EQ(seen.hMenu, 77u);
    EXPECT_EQ(seen.x, 1);
    EXPECT_EQ(seen.y, 2);
    EXPECT_EQ(seen.cx, 3);
    EXPECT_EQ(seen.cy, 4);
    EXPECT_EQ(host.GetWindowLongA(child, GWL_ID), 77) << "a child's menu is its identifier";
}

TYPED_TEST_P(WindowHostContract, DestroyReachesTheWindowThenEachChildAndOwnedWindowsGoFirst) {
    auto& host = this->host;
    const HWND top = this->make("Recorder", "Main", 0, 0);
    const HWND first = this->make("Recorder", "1", WS_CHILD, top);
    const HWND second = this->make("Recorder", "2", WS_CHILD, top);
    const HWND nested = this->make("Recorder", "1.1", WS_CHILD, first);
    const HWND owned = this->make("Recorder", "Owned", 0, top);
    const HWND other = this->make("Recorder", "Other", 0, 0);
    ASSERT_EQ(host.SetTimer(second, 7, 100, nullptr), 7u);
    host.SetCapture(nested);
    journal().clear();

    ASSERT_TRUE(host.DestroyWindow(top));
    const std::vector<std::pair<HWND, UINT>> expected = {
        {owned, WM_DESTROY},    {owned, WM_NCDESTROY},  {top, WM_DESTROY},
        {first, WM_DESTROY},    {nested, WM_DESTROY},   {second, WM_DESTROY},
        {second, WM_NCDESTROY}, {nested, WM_NCDESTROY}, {first, WM_NCDESTROY},
        {top, WM_NCDESTROY}};
    EXPECT_EQ(this->lifecycle(), expected);
    for (const HWND gone : {top, first, second, nested, owned}) {
        EXPECT_FALSE(host.IsWindow(gone));
        EXPECT_EQ(host.SendMessageA(gone, WM_USER, 0, 0), 0);
    }
    EXPECT_TRUE(host.IsWindow(other));
    EXPECT_FALSE(host.KillTimer(second, 7)) << "a window's timers die with it";
    EXPECT_EQ(host.GetCapture(), 0u);
    EXPECT_FALSE(host.DestroyWindow(top)) << "a handle stays invalid";
    EXPECT_EQ(host.SetTimer(top, 1, 10, nullptr), 0u);
}

TYPED_TEST_P(WindowHostContract, ProcedureSlotSubclassingAndDefaultHandling) {
    auto& host = this->host;
    const HWND window = this->make("Recorder", "Before", 0, 0);
    subclassed() = reinterpret_cast<WNDPROC>(
        host.SetWindowLongA(window, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&Subclass)));
    EXPECT_EQ(subclassed(), &Recorder) << "setting answers the previous procedure";
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

TYPED_TEST_P(WindowHostContract, WindowTimersAreKnownByWindowAndIdentifier) {
    auto& host = this->host;
    const HWND a = this->make("Recorder", "A", 0, 0);
    const HWND b = this->make("Recorder", "B", 0, 0);
    EXPECT_EQ(host.SetTimer(a, 3, 10, nullptr), 3u);
    EXPECT_EQ(host.SetTimer(b, 3, 10, nullptr), 3u) << "the same identifier on another window";
    EXPECT_EQ(this->ticks(a, 3), 0) << "a timer never fires inside SetTimer";
    ASSERT_TRUE(this->runUntil([&] { return this->ticks(a, 3) >= 3 && this->ticks(b, 3) >= 3; }))
        << "without a callback WM_TIMER reaches the procedure, again and again";

    EXPECT_TRUE(host.KillTimer(a, 3));
    EXPECT_FALSE(host.KillTimer(a, 3)) << "an unknown timer is harmless";
    EXPECT_FALSE(host.KillTimer(0, 12345));
    const int silenced = this->ticks(a, 3);
    const int going = this->ticks(b, 3);
    ASSERT_TRUE(this->runUntil([&] { return this->ticks(b, 3) >= going + 3; }));
    EXPECT_EQ(this->ticks(a, 3), silenced) << "killing one leaves its namesake ticking alone";

    // Restarting (window, identifier) replaces the callback, before the
    // old one had a chance to run.
    int before = 0;
    int after = 0;
    std::vector<std::pair<HWND, UINT_PTR>> seen;
    EXPECT_EQ(host.SetTimer(a, 4, 10, [&](HWND, UINT, UINT_PTR, DWORD) { ++before; }), 4u);
    EXPECT_EQ(host.SetTimer(a, 4, 10,
                            [&](HWND window, UINT message, UINT_PTR id, DWORD) {
                                EXPECT_EQ(message, WM_TIMER);
                                seen.emplace_back(window, id);
                                ++after;
                            }),
              4u);
    ASSERT_TRUE(this->runUntil([&] { return after >= 2; }));
    EXPECT_EQ(before, 0);
    EXPECT_EQ(seen.front(), (std::pair<HWND, UINT_PTR>{a, 4}));
    EXPECT_EQ(this->ticks(a, 4), 0) << "a timer with a callback sends no WM_TIMER";

    ASSERT_TRUE(host.DestroyWindow(a));
    EXPECT_FALSE(host.KillTimer(a, 4)) << "the window's timers went with it";
    EXPECT_EQ(host.SetTimer(a, 5, 10, nullptr), 0u) << "no timer on a window that is gone";
}

TYPED_TEST_P(WindowHostContract, ThreadTimersGetTheirIdentifiersFromTheHost) {
    auto& host = this->host;
    std::vector<std::pair<HWND, UINT_PTR>> first;
    std::vector<std::pair<HWND, UINT_PTR>> second;
    const UINT_PTR a = host.SetTimer(0, 0, 10, [&](HWND window, UINT message, UINT_PTR id, DWORD) {
        EXPECT_EQ(message, WM_TIMER);
        first.emplace_back(window, id);
    });
    const UINT_PTR b = host.SetTimer(
        0, 0, 10, [&](HWND window, UINT, UINT_PTR id, DWORD) { second.emplace_back(window, id); });
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b) << "the host picks distinct thread timer identifiers";
    ASSERT_TRUE(this->runUntil([&] { return !first.empty() && !second.empty(); }));
    EXPECT_EQ(first.front(), (std::pair<HWND, UINT_PTR>{0, a}));
    EXPECT_EQ(second.front(), (std::pair<HWND, UINT_PTR>{0, b}));

    // A known identifier restarts that timer, with the new callback.
    int replaced = 0;
    EXPECT_EQ(host.SetTimer(0, a, 10, [&](HWND, UINT, UINT_PTR, DWORD) { ++replaced; }), a);
    const std::size_t old = first.size();
    ASSERT_TRUE(this->runUntil([&] { return replaced >= 2; }));
    EXPECT_EQ(first.size(), old);
    EXPECT_TRUE(host.KillTimer(0, a));
    EXPECT_TRUE(host.KillTimer(0, b));
}

TYPED_TEST_P(WindowHostContract, TimersFallingDueFirstFireFirst) {
    auto& host = this->host;
    std::string fired;
    // The short one is set first, so it falls due first however slowly the
    // second call comes.
    host.SetTimer(0, 0, 10, [&](HWND, UINT, UINT_PTR, DWORD) { fired += 's'; });
    host.SetTimer(0, 0, 200, [&](HWND, UINT, UINT_PTR, DWORD) { fired += 'l'; });
    ASSERT_TRUE(this->runUntil([&] { return fired.find('l') != std::string::npos; }));
    EXPECT_EQ(fired.front(), 's') << fired;
}

TYPED_TEST_P(WindowHostContract, KilledTimersNeverFireAgain) {
    auto& host = this->host;
    int once = 0;
    int repeating = 0;
    int started = 0;
    UINT_PTR child = 0;
    host.SetTimer(0, 0, 10, [&](HWND, UINT, UINT_PTR id, DWORD) {
        ++once;
        EXPECT_TRUE(host.KillTimer(0, id));
        // A timer started from a callback runs like any other.
        if (child == 0)
            child = host.SetTimer(0, 0, 10, [&](HWND, UINT, UINT_PTR, DWORD) { ++started; });
    });
    const UINT_PTR periodic =
        host.SetTimer(0, 0, 10, [&](HWND, UINT, UINT_PTR, DWORD) { ++repeating; });
    ASSERT_TRUE(this->runUntil([&] { return repeating >= 5 && started >= 1; }));
    EXPECT_EQ(once, 1) << "a timer killed in its callback never fires again";
    EXPECT_TRUE(host.KillTimer(0, periodic));
    EXPECT_FALSE(host.KillTimer(0, periodic));
    EXPECT_TRUE(host.KillTimer(0, child));

    // Killed from another timer's callback, even when both fall due at once.
    int victimTicks = 0;
    int atKill = -1;
    int killerTicks = 0;
    const UINT_PTR victim =
        host.SetTimer(0, 0, 10, [&](HWND, UINT, UINT_PTR, DWORD) { ++victimTicks; });
    host.SetTimer(0, 0, 10, [&](HWND, UINT, UINT_PTR, DWORD) {
        ++killerTicks;
        if (atKill < 0) {
            atKill = victimTicks;
            EXPECT_TRUE(host.KillTimer(0, victim));
        }
    });
    ASSERT_TRUE(this->runUntil([&] { return killerTicks >= 5; }));
    EXPECT_EQ(victimTicks, atKill);
}

TYPED_TEST_P(WindowHostContract, ThePendingMessageStepNeitherWaitsNorReentersACallback) {
    auto& host = this->host;
    int far = 0;
    host.SetTimer(0, 0, 3600000, [&](HWND, UINT, UINT_PTR, DWORD) { ++far; });
    host.DoEvents();
    EXPECT_EQ(far, 0) << "what falls due later is left for later";

    int depth = 0;
    int deepest = 0;
    int ticks = 0;
    const UINT_PTR id = host.SetTimer(0, 0, 10, [&](HWND, UINT, UINT_PTR, DWORD) {
        ++depth;
        deepest = std::max(deepest, depth);
        ++ticks;
        host.DoEvents();
        --depth;
    });
    ASSERT_TRUE(this->runUntil([&] { return ticks >= 3; }));
    EXPECT_EQ(deepest, 1) << "a callback is not entered again from inside itself";
    EXPECT_TRUE(host.KillTimer(0, id));
}

TYPED_TEST_P(WindowHostContract, CaptureCursorAndCoordinates) {
    auto& host = this->host;
    const HWND top = this->make("Recorder", "", WS_VISIBLE, 0, {100, 50, 400, 250});
    const HWND panel = this->make("Static", "", WS_CHILD | WS_VISIBLE, top, {10, 20, 110, 120});
    const HWND button = this->make("Button", "", WS_CHILD | WS_VISIBLE, panel, {5, 5, 25, 25});
    const HWND hidden = this->make("Static", "", WS_CHILD, top, {0, 0, 300, 200});

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

    if (TypeParam::setCursor(host, {321, 123})) {
        ASSERT_TRUE(host.GetCursorPos(&p));
        EXPECT_EQ(p, (POINT{321, 123}));
        EXPECT_EQ(host.WindowFromPoint(p), hidden) << "the window under the pointer";
    }

    host.ShowWindow(top, SW_HIDE);
    EXPECT_EQ(host.WindowFromPoint({120, 80}), 0u);
    EXPECT_FALSE(host.IsWindowVisible(button)) << "a hidden parent hides its children";
}

TYPED_TEST_P(WindowHostContract, ClipboardOpensOnceAndOffersAPictureAsADib) {
    auto& host = this->host;
    if (!TypeParam::offerImage(host, 3, 2)) GTEST_SKIP() << "this host has no clipboard to fill";
    EXPECT_TRUE(host.IsClipboardFormatAvailable(CF_DIB)) << "asking needs no open clipboard";
    EXPECT_FALSE(host.IsClipboardFormatAvailable(CF_HDROP));
    EXPECT_FALSE(host.IsClipboardFormatAvailable(CF_ENHMETAFILE));
    EXPECT_FALSE(host.GetClipboardData(CF_DIB)) << "reading needs an open clipboard";

    ASSERT_TRUE(host.OpenClipboard());
    EXPECT_FALSE(host.OpenClipboard()) << "a second open before the close fails";
    const auto dib = host.GetClipboardData(CF_DIB);
    ASSERT_TRUE(dib);
    ASSERT_GE(dib->size(), 12u);
    std::uint32_t headerSize = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::memcpy(&headerSize, dib->data(), 4);
    std::memcpy(&width, dib->data() + 4, 4);
    std::memcpy(&height, dib->data() + 8, 4);
    EXPECT_GE(headerSize, 40u);
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height < 0 ? -height : height, 2);
    EXPECT_FALSE(host.GetClipboardData(CF_HDROP)) << "a format not offered";
    host.CloseClipboard();
    EXPECT_TRUE(host.OpenClipboard()) << "open again once closed";
    host.CloseClipboard();
    TypeParam::clearClipboard(host);
    EXPECT_FALSE(host.IsClipboardFormatAvailable(CF_DIB));
}

REGISTER_TYPED_TEST_SUITE_P(WindowHostContract, WindowTreeLinksNamesAndSearch,
                            OwnersAndParentsOfTopLevelWindows,
                            CreationSendsNcCreateThenCreateWithTheCallersValues,
                            DestroyReachesTheWindowThenEachChildAndOwnedWindowsGoFirst,
                            ProcedureSlotSubclassingAndDefaultHandling,
                            WindowTimersAreKnownByWindowAndIdentifier,
                            ThreadTimersGetTheirIdentifiersFromTheHost,
                            TimersFallingDueFirstFireFirst, KilledTimersNeverFireAgain,
                            ThePendingMessageStepNeitherWaitsNorReentersACallback,
                            CaptureCursorAndCoordinates, ClipboardOpensOnceAndOffersAPictureAsADib);

} // namespace host_contract

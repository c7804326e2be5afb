// The headless host: the contract every window host meets, then what is
// its own (virtual time, exact to the millisecond) and the global calls
// that reach the current host.

#include "platform/host/win32.h"
#include "platform/system/environment.h"
#include "platform/testing/headless_host.h"
#include "tests/platform/window_host_contract.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace platform;
using host_contract::journal;
using host_contract::Seen;

namespace {

struct HeadlessTraits {
    using Host = HeadlessHost;
    // Virtual time, a millisecond at a time, so that done() is seen the
    // moment it holds; the bound only ends the wait.
    static bool runUntil(Host& host, const std::function<bool()>& done) {
        for (int ms = 0; ms < 600000 && !done(); ++ms)
            host.advance(1);
        return done();
    }
    static bool setCursor(Host& host, POINT point) {
        host.setCursorPos(point);
        return true;
    }
    // A packed 32-bit bottom-up DIB, as another program would offer it.
    static bool offerImage(Host& host, int width, int height) {
        std::vector<std::uint8_t> dib(40 + static_cast<std::size_t>(width * height) * 4, 0x7F);
        const std::int32_t fields[] = {40, width, height};
        std::memcpy(dib.data(), fields, sizeof fields);
        const std::uint16_t planesAndBits[] = {1, 32};
        std::memcpy(dib.data() + 12, planesAndBits, sizeof planesAndBits);
        std::memset(dib.data() + 16, 0, 24);
        host.SetClipboardData(CF_DIB, std::move(dib));
        return true;
    }
    static void clearClipboard(Host& host) { host.EmptyClipboard(); }
};

} // namespace

namespace host_contract {
INSTANTIATE_TYPED_TEST_SUITE_P(Headless, WindowHostContract, HeadlessTraits);
} // namespace host_contract

namespace {

// The contract's fixture: the same recording class and window maker.
class HostTest : public host_contract::WindowHostContract<HeadlessTraits> {};

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
    journal().clear();
    host.advance(1000);
    EXPECT_TRUE(journal().empty());
}

TEST_F(HostTest, TimersFireInTimeOrderIncludingOnesStartedByCallbacks) {
    std::vector<std::pair<std::string, std::uint64_t>> fired;
    UINT_PTR started = 0;
    host.SetTimer(0, 0, 30, [&](HWND, UINT, UINT_PTR, DWORD) {
        fired.emplace_back("a", host.now());
        if (started == 0)
            started = host.SetTimer(0, 0, 15, [&](HWND, UINT, UINT_PTR id, DWORD) {
                fired.emplace_back("c", host.now());
                host.KillTimer(0, id);
            });
    });
    host.SetTimer(0, 0, 20,
                  [&](HWND, UINT, UINT_PTR, DWORD) { fired.emplace_back("b", host.now()); });

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

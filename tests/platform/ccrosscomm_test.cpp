// The link between image controls: the registered set, the capture
// hand-over and the GDI+ session of a window tree with its shutdown window.

#include "platform/host/ccrosscomm.h"
#include "platform/host/win32.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/system/environment.h"
#include "platform/system/library.h"
#include "platform/testing/headless_host.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using namespace platform;

namespace {

// A control as the link sees it: it logs its releases and what the link held
// while it let go.
class FakeControl final : public ICrossComm {
public:
    FakeControl(std::vector<std::string>& log, std::string name, cCrossComm* link)
        : log_(log), name_(std::move(name)), link_(link) {}
    std::shared_ptr<cCrossComm> CrossTalkClass() override { return nullptr; }
    bool ReleaseMouseCapture() override {
        log_.push_back(name_ + " releases while " + std::to_string(link_->CapturedControl()));
        return !failRelease;
    }
    std::int32_t id() const { return identity_.value(); }

    bool failRelease = false;

private:
    std::vector<std::string>& log_;
    std::string name_;
    cCrossComm* link_;
    CrossCommIdentity identity_{*this};
};

TEST(CrossCommSet, SortedIdentitiesWithTheirAllocationSizes) {
    HeadlessHost host;
    cCrossComm link(host, host);
    EXPECT_EQ(link.allocatedSize(), 0u);
    link.AddRef(0);
    EXPECT_EQ(link.registeredCount(), 0) << "identity 0 is no control";

    for (const std::int32_t id : {50, -7, 30, 2000000000, 10, -2000000000})
        link.AddRef(id);
    EXPECT_EQ(link.allocatedSize(), 6u);
    link.AddRef(30);
    EXPECT_EQ(link.registeredCount(), 6) << "a present identity is kept once";
    link.AddRef(40);
    EXPECT_EQ(link.allocatedSize(), 12u) << "the seventh grows to count + 5";
    const std::vector<std::int32_t> sorted = {-2000000000, -7, 10, 30, 40, 50, 2000000000};
    EXPECT_EQ(std::vector<std::int32_t>(link.registered().begin(), link.registered().end()),
              sorted);
    for (const std::int32_t id : sorted)
        EXPECT_TRUE(link.isRegistered(id)) << id;
    EXPECT_FALSE(link.isRegistered(20));

    link.RemoveRef(10);
    EXPECT_EQ(link.registeredCount(), 6);
    EXPECT_EQ(link.allocatedSize(), 6u) << "more than 5 spare: shrunk to the count";
    link.RemoveRef(10);
    EXPECT_EQ(link.registeredCount(), 6) << "an absent identity changes nothing";
    for (const std::int32_t id : {10, 11, 12})
        link.AddRef(id);
    EXPECT_EQ(link.registeredCount(), 9);
    EXPECT_EQ(link.allocatedSize(), 12u);
    link.RemoveRef(11);
    link.RemoveRef(12);
    EXPECT_EQ(link.allocatedSize(), 12u) << "up to 5 spare are kept";
    link.RemoveRef(-7);
    EXPECT_EQ(link.allocatedSize(), 6u);
    for (const std::int32_t id : {-2000000000, 10, 30, 40, 2000000000})
        link.RemoveRef(id);
    EXPECT_EQ(link.registeredCount(), 1);
    EXPECT_EQ(link.allocatedSize(), 6u);
    link.RemoveRef(50);
    EXPECT_EQ(link.registeredCount(), 0);
    EXPECT_EQ(link.allocatedSize(), 0u) << "the last remove releases the set";
}

TEST(CrossCommCapture, TheOldControlLetsGoBeforeTheNewIdentityIsStored) {
    HeadlessHost host;
    cCrossComm link(host, host);
    std::vector<std::string> log;
    FakeControl a(log, "A", &link);
    FakeControl b(log, "B", &link);
    ASSERT_NE(a.id(), b.id());
    EXPECT_GT(a.id(), 0);
    EXPECT_EQ(FindCrossComm(a.id()), &a);

    EXPECT_TRUE(link.CapturedControl(a.id()));
    EXPECT_TRUE(link.CapturedControl(a.id()));
    EXPECT_TRUE(log.empty()) << "setting the held value calls nobody";

    EXPECT_TRUE(link.CapturedControl(b.id()));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "A releases while " + std::to_string(a.id()));
    EXPECT_EQ(link.CapturedControl(), b.id());

    EXPECT_TRUE(link.CapturedControl(0));
    EXPECT_EQ(log.size(), 2u) << "B lets go once";
    EXPECT_EQ(link.CapturedControl(), 0);

    link.CapturedControl(a.id());
    a.failRelease = true;
    EXPECT_FALSE(link.CapturedControl(b.id()));
    EXPECT_EQ(link.CapturedControl(), a.id()) << "a failed release keeps the old value";

    // Removing a captured control clears the capture without a call, even
    // when it was never registered.
    log.clear();
    link.RemoveRef(a.id());
    EXPECT_EQ(link.CapturedControl(), 0);
    EXPECT_TRUE(log.empty());
}

TEST(CrossCommCapture, AControlThatIsGoneIsNoSuchControl) {
    HeadlessHost host;
    cCrossComm link(host, host);
    std::vector<std::string> log;
    FakeControl b(log, "B", &link);
    std::int32_t stale = 0;
    {
        FakeControl a(log, "A", &link);
        stale = a.id();
        link.AddRef(stale);
        link.CapturedControl(stale);
    }
    EXPECT_EQ(FindCrossComm(stale), nullptr);
    EXPECT_TRUE(link.CapturedControl(b.id()));
    EXPECT_TRUE(log.empty()) << "nothing is called through a stale identity";
    EXPECT_EQ(link.CapturedControl(), b.id());
    EXPECT_EQ(FindCrossComm(0), nullptr);
}

// --- the GDI+ session of a window tree ---------------------------------------------

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        scope->host = &host;
        scope->imagingLibraryNames = {FAKEIMAGING_SESSIONS};
        fake = Library(FAKEIMAGING_SESSIONS);
        ASSERT_TRUE(fake.loaded());
        startups0 = startups();
        shutdowns0 = shutdowns();
        main = host.CreateWindowExA(0, "#32770", "Main", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, 0, 0,
                                    0, nullptr);
        ASSERT_NE(main, 0u);
    }
    int count(const char* entry) const {
        const auto read = fake.function<std::int32_t (*)()>(entry);
        return read != nullptr ? read() : -1;
    }
    int startups() const { return count("velmora_fake_imaging_startups") - startups0; }
    int shutdowns() const { return count("velmora_fake_imaging_shutdowns") - shutdowns0; }
    HWND child(HWND parent) {
        return host.CreateWindowExA(0, "Static", "", WS_CHILD, 0, 0, 10, 10, parent, 0, 0, nullptr);
    }
    HWND sessionWindow(HWND top) const {
        return host.FindWindowExA(top, 0, "Static", "GDI+Safe Patch");
    }

    ScopedEnvironment scope;
    HeadlessHost host;
    Library fake;
    int startups0 = 0;
    int shutdowns0 = 0;
    HWND main = 0;
};

TEST_F(SessionTest, NoWindowNoSession) {
    cCrossComm link(host, host);
    const std::size_t windows = host.windowCount();
    link.ManageGDIToken(0);
    EXPECT_EQ(link.gdiToken(), 0);
    EXPECT_EQ(host.windowCount(), windows);
    EXPECT_EQ(startups(), 0);
}

TEST_F(SessionTest, TwoManagersInOneTreeStartOneSession) {
    const HWND container = child(child(main));
    cCrossComm first(host, host);
    cCrossComm second(host, host);
    first.ManageGDIToken(container);
    EXPECT_NE(first.gdiToken(), 0);
    EXPECT_NE(first.gdiToken(), -1);
    EXPECT_EQ(startups(), 1);
    const HWND patch = sessionWindow(main);
    ASSERT_NE(patch, 0u) << "the shutdown window sits under the topmost window";
    EXPECT_EQ(host.GetParent(patch), main);
    EXPECT_EQ(host.GetWindowLongA(patch, GWL_STYLE), static_cast<LONG_PTR>(WS_CHILD));
    EXPECT_FALSE(host.IsWindowVisible(patch));
    RECT r{};
    host.GetWindowRect(patch, &r);
    EXPECT_EQ(r, (RECT{}));

    second.ManageGDIToken(main);
    EXPECT_EQ(second.gdiToken(), -1);
    EXPECT_EQ(startups(), 1) << "the second manager starts nothing";
}

TEST_F(SessionTest, AnOwnedDialogFindsItsOwnersSession) {
    cCrossComm owner(host, host);
    owner.ManageGDIToken(main);
    ASSERT_GT(owner.gdiToken(), 0);
    const HWND dialog = host.CreateWindowExA(0, "#32770", "Dialog", WS_CAPTION, 0, 0, 100, 100,
                                             child(main), 0, 0, nullptr);
    ASSERT_EQ(host.GetWindow(dialog, GW_OWNER), main);
    cCrossComm onDialog(host, host);
    onDialog.ManageGDIToken(child(dialog));
    EXPECT_EQ(onDialog.gdiToken(), -1);
    EXPECT_EQ(sessionWindow(dialog), 0u);
    EXPECT_EQ(startups(), 1);
}

TEST_F(SessionTest, DestroyingTheTreeShutsTheSessionDown50msLaterOnce) {
    cCrossComm link(host, host);
    link.ManageGDIToken(child(main));
    const std::int32_t token = link.gdiToken();
    ASSERT_GT(token, 0);
    host.advance(1000);
    EXPECT_EQ(shutdowns(), 0) << "never while the tree exists";

    const HWND patch = sessionWindow(main);
    const auto systemProcedure = reinterpret_cast<LONG_PTR>(&platform::DefWindowProcA);
    EXPECT_NE(host.GetWindowLongA(patch, GWL_WNDPROC), systemProcedure) << "hooked";
    bool restored = false;
    host.onDefaultMessage = [&](HWND window, UINT message, WPARAM, LPARAM) {
        if (window == patch && message == WM_NCDESTROY)
            restored = host.GetWindowLongA(patch, GWL_WNDPROC) == systemProcedure;
    };
    ASSERT_TRUE(host.DestroyWindow(main));
    host.onDefaultMessage = nullptr;
    EXPECT_TRUE(restored) << "the previous procedure is back once the destroy was seen";
    host.advance(49);
    EXPECT_EQ(shutdowns(), 0);
    host.advance(1);
    EXPECT_EQ(shutdowns(), 1);
    EXPECT_EQ(count("velmora_fake_imaging_last_shutdown_token"), token);
    host.advance(1000);
    EXPECT_EQ(shutdowns(), 1);
    EXPECT_EQ(host.timerCount(), 0u) << "the one-shot timer is gone";
    EXPECT_EQ(link.gdiToken(), token) << "the manager keeps its value";
}

TEST_F(SessionTest, ANestedDestroyWaitsForTheOutermostCall) {
    cCrossComm link(host, host);
    link.ManageGDIToken(main);
    const HWND patch = sessionWindow(main);
    ASSERT_NE(patch, 0u);

    constexpr UINT kPoke = WM_USER + 7;
    bool inside = false;
    host.onDefaultMessage = [&](HWND window, UINT message, WPARAM, LPARAM) {
        if (window != patch || message != kPoke) return;
        inside = true;
        host.DestroyWindow(main); // reaches the hook again, nested
        EXPECT_EQ(host.timerCount(), 0u) << "no timer before the outer call returned";
        host.advance(200);
        EXPECT_EQ(shutdowns(), 0);
    };
    host.SendMessageA(patch, kPoke, 0, 0);
    host.onDefaultMessage = nullptr;
    ASSERT_TRUE(inside) << "the poke passed through the hook to the static procedure";
    EXPECT_FALSE(host.IsWindow(patch));
    EXPECT_EQ(host.timerCount(), 1u);
    host.advance(49);
    EXPECT_EQ(shutdowns(), 0);
    host.advance(1);
    EXPECT_EQ(shutdowns(), 1);
    host.advance(500);
    EXPECT_EQ(shutdowns(), 1);
}

TEST_F(SessionTest, WithoutAWorkingServiceTheTokenStaysZero) {
    cCrossComm failing(host, host);
    scope->imagingLibraryNames = {FAKEIMAGING_NOSESSION};
    failing.ManageGDIToken(main);
    EXPECT_EQ(failing.gdiToken(), 0);
    EXPECT_EQ(sessionWindow(main), 0u) << "a failed start leaves no shutdown window";

    cCrossComm absent(host, host);
    scope->imagingLibraryNames = {"libvelmora-no-such-imaging.so"};
    absent.ManageGDIToken(main);
    EXPECT_EQ(absent.gdiToken(), 0);
    EXPECT_EQ(sessionWindow(main), 0u);

    cCrossComm stale(host, host);
    scope->imagingLibraryNames = {FAKEIMAGING_SESSIONS};
    HWND gone = child(main);
    host.DestroyWindow(gone);
    stale.ManageGDIToken(gone);
    EXPECT_EQ(stale.gdiToken(), 0) << "a handle of no window starts nothing";
    EXPECT_EQ(startups(), 0);
}

TEST_F(SessionTest, TheSessionCallsOfTheImagingBridge) {
    cGDIPlus gdi;
    std::int32_t token = 0;
    EXPECT_TRUE(gdi.StartStopGDIplus(token, false));
    EXPECT_NE(token, 0);
    EXPECT_EQ(startups(), 1);
    EXPECT_FALSE(gdi.StartStopGDIplus(token, true)) << "shutting down answers false";
    EXPECT_EQ(shutdowns(), 1);
    std::int32_t none = 0;
    gdi.StartStopGDIplus(none, true);
    EXPECT_EQ(shutdowns(), 1) << "token 0 has nothing to shut down";

    scope->imagingLibraryNames = {FAKEIMAGING_NOSESSION};
    token = 77;
    EXPECT_FALSE(gdi.StartStopGDIplus(token, false));
    EXPECT_EQ(token, 0);
}

TEST_F(SessionTest, AHostThatEndsFirstLeavesNothingBehind) {
    // The session then simply stays open; the hook and its timer go with
    // the host (the sanitizer build checks that nothing leaks).
    auto other = std::make_unique<HeadlessHost>();
    const HWND top = other->CreateWindowExA(0, "#32770", "", 0, 0, 0, 10, 10, 0, 0, 0, nullptr);
    cCrossComm link(*other, *other);
    link.ManageGDIToken(top);
    EXPECT_GT(link.gdiToken(), 0);
    other.reset();

    auto pending = std::make_unique<HeadlessHost>();
    const HWND second =
        pending->CreateWindowExA(0, "#32770", "", 0, 0, 0, 10, 10, 0, 0, 0, nullptr);
    cCrossComm link2(*pending, *pending);
    link2.ManageGDIToken(second);
    pending->DestroyWindow(second);
    EXPECT_EQ(pending->timerCount(), 1u);
    pending.reset();
    EXPECT_EQ(shutdowns(), 0);
}

} // namespace

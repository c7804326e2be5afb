// The window host on user32, under Wine: the contract every host meets, on
// real windows, timers and the clipboard; then what is the system's own:
// the real windows behind the records, the program's own window, and the
// GDI+ session window with its shutdown on real timers. Waits pump the
// system's messages until a condition holds; their bounds only end a wait.

#include "platform/host/ccrosscomm.h"
#include "platform/host/data_object.h"
#include "platform/system/environment.h"
#include "platform/system/library.h"
#include "platform/win32/win32_host.h"
#include "tests/platform/win32_desktop.h"
#include "window_host_contract.h"

#include <gtest/gtest.h>

namespace host_contract {

struct Win32Traits {
    using Host = platform::Win32Host;
    static bool runUntil(Host& host, const std::function<bool()>& done) {
        return host.RunUntil(done, 20000);
    }
    static bool setCursor(Host&, POINT point) { return win32_test::MoveCursorTo(point.x, point.y); }
    static bool offerImage(Host&, int width, int height) {
        return win32_test::OfferDib(width, height);
    }
    static void clearClipboard(Host&) { win32_test::EmptyTheClipboard(); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Win32, WindowHostContract, Win32Traits);

} // namespace host_contract

namespace {

using namespace platform;

class Win32HostTest : public host_contract::WindowHostContract<host_contract::Win32Traits> {};

TEST_F(Win32HostTest, RecordsHaveRealWindowsThatFollowThem) {
    const HWND top = make("Recorder", "Main", WS_CAPTION, 0, {40, 30, 340, 230});
    const HWND box = make("Static", "Box", WS_CHILD | WS_VISIBLE, top, {10, 20, 110, 70});
    const std::uintptr_t realTop = host.nativeWindow(top), realBox = host.nativeWindow(box);
    ASSERT_NE(realTop, 0u);
    ASSERT_NE(realBox, 0u);
    EXPECT_NE(realTop, static_cast<std::uintptr_t>(top)) << "the tree's handles are its own";
    EXPECT_EQ(host.windowOf(realBox), box);
    EXPECT_TRUE(win32_test::HasClass(realBox, L"Static")) << "a system class is the control";
    EXPECT_FALSE(win32_test::IsVisible(realTop));
    host.ShowWindow(top, SW_SHOW);
    EXPECT_TRUE(win32_test::IsVisible(realTop));
    EXPECT_TRUE(win32_test::IsVisible(realBox));

    // A frame: the client area starts inside the window.
    RECT outer{}, client{};
    ASSERT_TRUE(host.GetWindowRect(top, &outer));
    ASSERT_TRUE(host.GetClientRect(top, &client));
    EXPECT_LT(client.right, outer.right - outer.left);
    POINT origin{0, 0};
    host.ClientToScreen(box, &origin);
    POINT topOrigin{0, 0};
    host.ClientToScreen(top, &topOrigin);
    EXPECT_EQ(origin, (POINT{topOrigin.x + 10, topOrigin.y + 20}))
        << "children sit in the client area";
    EXPECT_EQ(host.WindowFromPoint({origin.x + 5, origin.y + 5}), box);

    host.MoveWindow(box, 50, 60, 20, 10, false);
    RECT moved{};
    host.GetWindowRect(box, &moved);
    EXPECT_EQ(moved,
              (RECT{topOrigin.x + 50, topOrigin.y + 60, topOrigin.x + 70, topOrigin.y + 70}));

    EXPECT_LE(host.ShellExecuteA(top, "open", "C:\\no-such-file.velmora", "", "", 1), 32)
        << "the shell's own answer for a file it cannot open";

    // Closing as the user does: the system's WM_CLOSE reaches the
    // procedure, whose default destroys the record and its real windows.
    win32_test::Send(realTop, WM_CLOSE, 0, 0);
    EXPECT_FALSE(host.IsWindow(top));
    EXPECT_FALSE(win32_test::Exists(realTop));
    EXPECT_FALSE(win32_test::Exists(realBox));
}

TEST_F(Win32HostTest, TheProgramsOwnWindowIsAdoptedAndEndsItsRecordsWhenItGoes) {
    const std::uintptr_t program = win32_test::MakeProgramWindow(20, 20, 300, 200);
    ASSERT_NE(program, 0u);
    const HWND main = host.AdoptWindow(program, "#32770");
    ASSERT_NE(main, 0u);
    EXPECT_EQ(host.AdoptWindow(program, "#32770"), 0u) << "adopted once";
    EXPECT_TRUE(host.IsWindowVisible(main));
    char title[16] = {};
    host.GetWindowTextA(main, title, sizeof title);
    EXPECT_STREQ(title, "Program");
    const HWND box = make("Recorder", "", WS_CHILD | WS_VISIBLE, main, {5, 5, 50, 50});
    ASSERT_NE(host.nativeWindow(box), 0u);
    host_contract::journal().clear();

    ASSERT_TRUE(win32_test::DestroyProgramWindow(program));
    EXPECT_FALSE(host.IsWindow(main));
    EXPECT_FALSE(host.IsWindow(box));
    EXPECT_EQ(lifecycle(),
              (std::vector<std::pair<HWND, UINT>>{{box, WM_DESTROY}, {box, WM_NCDESTROY}}))
        << "the records inside hear of it as from the tree";

    // Destroying the record instead leaves the program's window standing.
    const std::uintptr_t again = win32_test::MakeProgramWindow(20, 20, 300, 200);
    const HWND record = host.AdoptWindow(again, "#32770");
    ASSERT_TRUE(host.DestroyWindow(record));
    EXPECT_TRUE(win32_test::Exists(again));
    EXPECT_EQ(win32_test::Send(again, WM_USER, 0, 0), 0);
    win32_test::DestroyProgramWindow(again);
}

TEST_F(Win32HostTest, AHostThatEndsTakesItsRealWindowsWithoutMessages) {
    auto other = std::make_unique<Win32Host>();
    scope->host = other.get(); // the recording procedure's default one
    WNDCLASSA cls;
    cls.lpfnWndProc = &host_contract::Recorder;
    cls.lpszClassName = "Recorder";
    ASSERT_TRUE(other->RegisterClassA(cls));
    const HWND top =
        other->CreateWindowExA(0, "Recorder", "", WS_VISIBLE, 0, 0, 50, 50, 0, 0, 0, nullptr);
    const HWND inner = other->CreateWindowExA(0, "Recorder", "", WS_CHILD | WS_VISIBLE, 0, 0, 9, 9,
                                              top, 0, 0, nullptr);
    const std::uintptr_t realTop = other->nativeWindow(top), realInner = other->nativeWindow(inner);
    ASSERT_TRUE(realTop != 0 && realInner != 0);
    host_contract::journal().clear();
    other.reset();
    scope->host = &host;
    EXPECT_TRUE(lifecycle().empty());
    EXPECT_FALSE(win32_test::Exists(realTop));
    EXPECT_FALSE(win32_test::Exists(realInner));
}

TEST_F(Win32HostTest, TheMessageLoopRunsUntilAskedToQuit) {
    int ticks = 0;
    host.SetTimer(0, 0, 10, [&](HWND, UINT, UINT_PTR, DWORD) {
        if (++ticks == 3) host.QuitMessageLoop(7);
    });
    // A bound, should the quit never come.
    host.SetTimer(0, 0, 20000, [&](HWND, UINT, UINT_PTR, DWORD) { host.QuitMessageLoop(-99); });
    EXPECT_EQ(host.RunMessageLoop(0), 7);
    EXPECT_EQ(ticks, 3);
}

TEST_F(Win32HostTest, FilesAndBitmapsOtherProgramsCopyArriveAsTheirBytes) {
    ASSERT_TRUE(win32_test::OfferFiles({L"C:\\x.png", L"C:\\\u00e9.gif"}));
    EXPECT_TRUE(host.IsClipboardFormatAvailable(CF_HDROP));
    ASSERT_TRUE(host.OpenClipboard());
    const auto block = host.GetClipboardData(CF_HDROP);
    host.CloseClipboard();
    ASSERT_TRUE(block);
    EXPECT_EQ(ReadDropFileNames(*block), (std::vector<std::string>{"C:\\x.png", "C:\\\u00e9.gif"}));

    // A device bitmap has no bytes of its own: it comes as its DIB.
    ASSERT_TRUE(win32_test::OfferBitmap(5, 4));
    EXPECT_TRUE(host.IsClipboardFormatAvailable(CF_BITMAP));
    ASSERT_TRUE(host.OpenClipboard());
    const auto dib = host.GetClipboardData(CF_BITMAP);
    host.CloseClipboard();
    win32_test::EmptyTheClipboard();
    ASSERT_TRUE(dib);
    ASSERT_GE(dib->size(), 12u);
    std::int32_t width = 0;
    std::memcpy(&width, dib->data() + 4, 4);
    EXPECT_EQ(width, 5);
}

// --- the GDI+ session window ----------------------------------------------------------

class Win32SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        scope->host = &host;
        scope->imagingLibraryNames = {FAKEIMAGING_SESSIONS};
        fake = Library(FAKEIMAGING_SESSIONS);
        ASSERT_TRUE(fake.loaded());
        shutdowns0 = shutdowns();
    }
    int shutdowns() const {
        const auto read = fake.function<std::int32_t (*)()>("velmora_fake_imaging_shutdowns");
        return (read != nullptr ? read() : -1) - shutdowns0;
    }
    // Lets the message loop run until a thread timer of `ms` has fired.
    void runFor(UINT ms) {
        bool fired = false;
        const UINT_PTR id =
            host.SetTimer(0, 0, ms, [&](HWND, UINT, UINT_PTR, DWORD) { fired = true; });
        ASSERT_TRUE(host.RunUntil([&] { return fired; }, 20000));
        host.KillTimer(0, id);
    }

    ScopedEnvironment scope;
    Win32Host host;
    Library fake;
    int shutdowns0 = 0;
};

TEST_F(Win32SessionTest, ARealHiddenWindowWhoseDestructionShutsTheSessionDownOnce) {
    for (const bool byTheProgram : {false, true}) {
        SCOPED_TRACE(byTheProgram ? "the program destroys its window" : "the host destroys it");
        const int before = shutdowns();
        const std::uintptr_t program = win32_test::MakeProgramWindow(0, 0, 200, 100);
        const HWND main = byTheProgram
                              ? host.AdoptWindow(program, "#32770")
                              : host.CreateWindowExA(0, "#32770", "Main", WS_OVERLAPPEDWINDOW, 0, 0,
                                                     200, 100, 0, 0, 0, nullptr);
        const HWND inner = host.CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE, 0, 0, 50,
                                                50, main, 0, 0, nullptr);
        ASSERT_NE(inner, 0u);
        cCrossComm link(host, host);
        link.ManageGDIToken(inner);
        ASSERT_GT(link.gdiToken(), 0);
        const HWND patch = host.FindWindowExA(main, 0, "Static", kGdiSessionWindowTitle);
        ASSERT_NE(patch, 0u);
        const std::uintptr_t real = host.nativeWindow(patch);
        ASSERT_NE(real, 0u) << "the session window is a window of the system";
        EXPECT_TRUE(win32_test::HasClass(real, L"Static"));
        EXPECT_FALSE(win32_test::IsVisible(real));
        runFor(100);
        EXPECT_EQ(shutdowns(), before) << "never while the tree exists";

        if (byTheProgram)
            ASSERT_TRUE(win32_test::DestroyProgramWindow(program));
        else
            ASSERT_TRUE(host.DestroyWindow(main));
        EXPECT_FALSE(win32_test::Exists(real));
        EXPECT_EQ(shutdowns(), before) << "later, on the thread timer";
        ASSERT_TRUE(host.RunUntil([&] { return shutdowns() > before; }, 20000));
        runFor(200);
        EXPECT_EQ(shutdowns(), before + 1) << "once";
        EXPECT_EQ(host.timerCount(), 0u) << "the one-shot timer is gone";
        if (!byTheProgram) win32_test::DestroyProgramWindow(program);
    }
}

} // namespace

// The Qt host, headless (offscreen platform): the contract every window
// host meets, with its timers on the event loop; then what is its own, the
// real widgets for top-level windows and the GDI+ session's shutdown.

#include "platform/host/ccrosscomm.h"
#include "platform/qt/qt_host.h"
#include "platform/system/environment.h"
#include "platform/system/library.h"
#include "tests/platform/window_host_contract.h"
#include "tests/support/qt_spin.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QWidget>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

using namespace platform;
using velmora::testing::spinUntil;

namespace {

struct QtTraits {
    using Host = QtHost;
    // The event loop until done() holds; its guard only ends the wait.
    static bool runUntil(Host&, const std::function<bool()>& done) { return spinUntil(done); }
    static bool setCursor(Host&, POINT point) {
        QCursor::setPos(point.x, point.y);
        return true;
    }
    static bool offerImage(Host&, int width, int height) {
        QImage picture(width, height, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        QGuiApplication::clipboard()->setImage(picture);
        return true;
    }
    static void clearClipboard(Host&) { QGuiApplication::clipboard()->clear(); }
};

} // namespace

namespace host_contract {
INSTANTIATE_TYPED_TEST_SUITE_P(Qt, WindowHostContract, QtTraits);
} // namespace host_contract

namespace {

HWND topLevel(QtHost& host, const char* title) {
    return host.CreateWindowExA(0, "#32770", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 30, 320,
                                200, 0, 0, 0, nullptr);
}

TEST(QtHost, TopLevelWindowsAreWidgetsAndFollowTheirRecords) {
    QtHost host;
    const HWND top = topLevel(host, "Velmora");
    ASSERT_NE(top, 0u);
    QWidget* const widget = host.widget(top);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->windowTitle(), QString("Velmora"));
    EXPECT_TRUE(widget->isVisible());
    EXPECT_EQ(host.windowOf(widget), top);

    const HWND child = host.CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE, 5, 5, 10, 10,
                                            top, 0, 0, nullptr);
    EXPECT_EQ(host.widget(child), nullptr) << "windows under a top-level window are records";
    EXPECT_EQ(host.GetParent(child), top);

    host.SetWindowTextA(top, "Renamed");
    EXPECT_EQ(widget->windowTitle(), QString("Renamed"));
    host.MoveWindow(top, 50, 60, 300, 150, false);
    EXPECT_EQ(widget->size(), QSize(300, 150));
    host.ShowWindow(top, SW_HIDE);
    EXPECT_FALSE(widget->isVisible());

    POINT cursor{};
    EXPECT_TRUE(host.GetCursorPos(&cursor));

    // Closing the widget asks the window's procedure, whose default answer
    // destroys the window.
    host.ShowWindow(top, SW_SHOW);
    widget->close();
    EXPECT_FALSE(host.IsWindow(top));
    EXPECT_FALSE(host.IsWindow(child));
    EXPECT_EQ(host.widget(top), nullptr);
    host.DoEvents();
}

TEST(QtHost, TheWindowTreesSessionIsShutDownAfterTheTreeIsGone) {
    ScopedEnvironment scope;
    scope->imagingLibraryNames = {FAKEIMAGING_SESSIONS};
    const Library fake(FAKEIMAGING_SESSIONS);
    const auto shutdowns = fake.function<std::int32_t (*)()>("velmora_fake_imaging_shutdowns");
    ASSERT_NE(shutdowns, nullptr);

    QtHost host;
    scope->host = &host;
    const HWND top = topLevel(host, "Session");
    cCrossComm link(host, host);
    link.ManageGDIToken(top);
    ASSERT_GT(link.gdiToken(), 0);
    const std::int32_t before = shutdowns();
    host.DestroyWindow(top);
    EXPECT_EQ(shutdowns(), before) << "not at once";
    ASSERT_TRUE(spinUntil([&] { return shutdowns() == before + 1; }));
}

} // namespace

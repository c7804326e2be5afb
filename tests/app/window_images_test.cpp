// The window's image controls in their picture boxes: restored from the
// compiled-in form store, drawn, and the link images opening their pages.

#include "app/links.h"
#include "app/management/simulated_backend.h"
#include "app/qt/frm_main_window.h"
#include "app/qt/window_images.h"
#include "app_test_support.h"
#include "platform/system/environment.h"
#include "tests/support/qt_spin.h"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QFrame>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <gtest/gtest.h>

using namespace velmora::testing;
using velmora::app::EmbeddedFormStore;
using velmora::app::FrmMain;
using velmora::app::FrmMainWindow;
using velmora::app::WindowImages;

namespace {

class WindowImagesTest : public ::testing::Test {
protected:
    WindowImagesTest() {
        env_->host = &host_;
        host_.urlOpener = [this](const QUrl& url) {
            opened_.push_back(url.toString().toStdString());
            return true;
        };
    }

    QFrame* box(const char* name) { return qobject_cast<QFrame*>(window_.Control(name)); }

    // A click in the middle of a control, as the pointer makes it.
    void click(const char* boxName, const char* control) {
        platform::QtControlContainer* container = images_.container(boxName);
        const platform::QtContainerSite* site = container->site(control);
        const platform::RECT e = site->Extent();
        const QPointF at((e.left + e.right) / 2, (e.top + e.bottom) / 2);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, container->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(container, &event);
        }
    }

    platform::QtHost host_;
    platform::ScopedEnvironment env_;
    FrmMainWindow window_;
    // The window's images need no adapters: a state file that is never
    // written.
    velmora::management::SimulatedBackend backend_{"/nonexistent/velmora-state.json"};
    FrmMain form_{window_, backend_};
    WindowImages images_{host_, EmbeddedFormStore(), {box("Picture1"), box("Picture4")}, form_};
    std::vector<std::string> opened_;
};

TEST_F(WindowImagesTest, TheFourImageControlsAreRestoredInTheirPictureBoxes) {
    for (const char* name :
         {"aicAlphaImage1", "aicAlphaImage4", "aicAlphaImage5", "aicAlphaImage6"})
        ASSERT_NE(images_.control(name), nullptr) << name;
    EXPECT_EQ(images_.container("Picture1")->sites().size(), 1u);
    EXPECT_EQ(images_.container("Picture4")->sites().size(), 3u);
    EXPECT_EQ(images_.control("aicAlphaImage4")->ImageType(), 10);
    EXPECT_TRUE(images_.control("aicAlphaImage1")->AutoSize());
    // The links show the custom pointer from their stored icon.
    EXPECT_EQ(images_.container("Picture4")->site("aicAlphaImage5")->mousePointer(), 99);
    EXPECT_EQ(images_.container("Picture4")->site("aicAlphaImage5")->cursor().shape(),
              Qt::BitmapCursor);
}

TEST_F(WindowImagesTest, TheLogoIsDrawnInsideItsPictureBox) {
    const QImage shot = images_.container("Picture1")->grab().toImage();
    const platform::QtContainerSite* site = images_.container("Picture1")->site("aicAlphaImage1");
    const platform::RECT e = site->Extent();
    const QRgb middle = shot.pixel((e.left + e.right) / 2, (e.top + e.bottom) / 2);
    const QRgb corner = shot.pixel(e.left, e.top);
    EXPECT_NE(middle, corner) << "the globe's middle differs from the clear corner";
    EXPECT_EQ(corner, box("Picture1")->palette().color(QPalette::Window).rgb())
        << "transparent pixels show the picture box";
}

TEST_F(WindowImagesTest, EachLinkImageOpensItsPage) {
    click("Picture4", "aicAlphaImage4");
    click("Picture4", "aicAlphaImage6");
    click("Picture4", "aicAlphaImage5");
    EXPECT_EQ(opened_, (std::vector<std::string>{velmora::app::links::kMakerHomePage,
                                                 velmora::app::links::kProjectHomePage,
                                                 velmora::app::links::kIssueTracker}));
    // A page that cannot be opened was asked for, and the window goes on
    // without a word (the window's logic shows no message for it).
    int refused = 0;
    host_.urlOpener = [&](const QUrl&) {
        ++refused;
        return false;
    };
    click("Picture4", "aicAlphaImage4");
    EXPECT_EQ(refused, 1);
    click("Picture4", "aicAlphaImage5");
    EXPECT_EQ(refused, 2) << "the window still takes clicks";
}

TEST_F(WindowImagesTest, ThePointerIsTrackedOverALinkInTheRealWindow) {
    window_.show();
    platform::QtControlContainer* box = images_.container("Picture4");
    const platform::RECT e = box->site("aicAlphaImage6")->Extent();
    const QPoint inBox((e.left + e.right) / 2, (e.top + e.bottom) / 2);
    const QPoint global = box->mapToGlobal(inBox);
    QCursor::setPos(global);
    // The window's records stand where the window is: the cursor's window is
    // the picture box's.
    ASSERT_EQ(host_.WindowFromPoint({global.x(), global.y()}), box->window());

    QMouseEvent move(QEvent::MouseMove, QPointF(inBox), QPointF(global), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(box, &move);
    aicAlphaImage* link = images_.control("aicAlphaImage6");
    EXPECT_TRUE(link->isMouseOver());
    // Still over it after the tracking timer has looked a few times.
    const platform::DWORD start = host_.GetTickCount();
    spinUntil([&] { return host_.GetTickCount() - start > 350; });
    EXPECT_TRUE(link->isMouseOver());

    QCursor::setPos(window_.mapToGlobal(QPoint(400, 5)));
    EXPECT_TRUE(spinUntil([&] { return !link->isMouseOver(); })) << "the pointer left";
}

} // namespace

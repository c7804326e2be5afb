#include "app/qt/frm_main_window.h"
#include "app_test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <cstdlib>
#include <gtest/gtest.h>

using namespace velmora::testing;
using velmora::app::FrmMainWindow;

namespace {

class FrmMainWindowTest : public ::testing::Test {
protected:
    QRect Geometry(const char* name) { return window_.Control(name)->geometry(); }

    FrmMainWindow window_;
};

TEST_F(FrmMainWindowTest, ControlsSitAtTheReferenceLayout) {
    EXPECT_EQ(window_.size(), QSize(523, 232));
    EXPECT_EQ(window_.windowTitle(), "Orvello - Velmora");
    EXPECT_EQ(Geometry("Combo1"), QRect(56, 18, 263, 20));
    EXPECT_EQ(Geometry("Text4"), QRect(96, 58, 97, 18));
    EXPECT_EQ(Geometry("Label11"), QRect(198, 78, 97, 18));
    EXPECT_EQ(Geometry("Command9"), QRect(45, 106, 119, 23));
    EXPECT_EQ(Geometry("Frame3"), QRect(326, 38, 191, 63));
    EXPECT_EQ(Geometry("Command8"), QRect(166, 38, 18, 18)) << "inside the frame";
    EXPECT_EQ(Geometry("Picture4"), QRect(4, 174, 253, 53));
    EXPECT_EQ(Geometry("Line1"), QRect(24, 100, 290, 1));
    EXPECT_EQ(window_.Control("Command8")->parentWidget(), window_.Control("Frame3"));
}

TEST_F(FrmMainWindowTest, CaptionsTipsAndFontAreThoseOfTheDesign) {
    auto caption = [&](const char* name) {
        return static_cast<QPushButton*>(window_.Control(name))->text().toStdString();
    };
    EXPECT_EQ(caption("Command5"), "Use Google DNS For DNS ");
    EXPECT_EQ(caption("Command10"), "Disable Static DNS");
    EXPECT_EQ(static_cast<QGroupBox*>(window_.Control("Frame3"))->title(), "DNS Server's:");
    EXPECT_EQ(static_cast<QLabel*>(window_.Control("Label1"))->text(), "Network Adaptor:");
    EXPECT_EQ(window_.Control("Command6")->toolTip(), "About Use Router As DNS");
    EXPECT_EQ(window_.Control("Command8")->toolTip(), "About Use OpenDNS For DNS");
    EXPECT_TRUE(window_.Control("Command9")->toolTip().isEmpty());
    EXPECT_EQ(static_cast<QLineEdit*>(window_.Control("Text5"))->text(), "8.8.4.4");

    const QFont font = window_.Control("Label12")->font();
    EXPECT_EQ(font.pixelSize(), 9);
    EXPECT_EQ(font.weight(), QFont::Bold);
    const QPalette current = window_.Control("Label10")->palette();
    EXPECT_EQ(current.color(QPalette::Window), window_.palette().color(QPalette::Base))
        << "the current values are drawn like read-only fields";
    EXPECT_EQ(window_.windowIcon().availableSizes().value(0), QSize(16, 16));
}

TEST_F(FrmMainWindowTest, TabOrderFollowsTheDesign) {
    const char* order[] = {"Command9", "Combo1",   "Text4",    "Text5",    "Command10", "Command5",
                           "Command6", "Command7", "Command8", "Picture4", "Picture1"};
    auto nextTabStop = [](QWidget* widget) {
        do
            widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus));
        return widget;
    };
    for (std::size_t i = 1; i < std::size(order); ++i)
        EXPECT_EQ(nextTabStop(window_.Control(order[i - 1])), window_.Control(order[i]))
            << order[i - 1];
}

TEST_F(FrmMainWindowTest, TheListAddsEntriesWithoutChoosingOne) {
    EXPECT_EQ(window_.AddAdapter("First", 12), 0);
    EXPECT_EQ(window_.AddAdapter("First", 7), 1);
    EXPECT_EQ(window_.SelectedAdapter(), -1);
    EXPECT_EQ(window_.AdapterListText(), "");
    EXPECT_EQ(window_.AdapterItemData(1), 7);
    EXPECT_THROW(window_.AdapterItemData(2), std::out_of_range);
    EXPECT_THROW(window_.AdapterItemData(-1), std::out_of_range);
    window_.SelectAdapter(1);
    EXPECT_EQ(window_.AdapterListText(), "First");
    EXPECT_EQ(window_.AdapterItemData(window_.SelectedAdapter()), 7);
}

TEST_F(FrmMainWindowTest, ThePresetsFrameCarriesTheExtrasInItsContextMenu) {
    EXPECT_EQ(window_.Control("Frame3")->contextMenuPolicy(), Qt::DefaultContextMenu)
        << "nothing before the extras are attached";
    TempFolder folder;
    mgmt::SimulatedBackend backend{folder.path() / "state.json"};
    mgmt::RecordingBackend recording{backend, mgmt::RecordStore{folder.path()}};
    velmora::app::FrmMain form(window_, recording);
    velmora::app::FrmExtras extras(window_, form, recording);
    window_.Attach(form);
    window_.AttachExtras(extras);
    EXPECT_EQ(window_.Control("Frame3")->contextMenuPolicy(), Qt::CustomContextMenu);
    EXPECT_EQ(Geometry("Frame3"), QRect(326, 38, 191, 63)) << "the layout stays";

    auto menu = window_.PresetsMenu();
    QStringList texts;
    for (QAction* action : menu->actions())
        if (!action->isSeparator()) texts << action->text();
    EXPECT_EQ(texts, (QStringList{"More Presets", "Speed Test...", "Restore Previous Settings"}));
    QMenu* presets = menu->actions().front()->menu();
    ASSERT_NE(presets, nullptr);
    EXPECT_EQ(presets->actions().size(), 11);
    presets->actions().at(3)->trigger(); // Quad9
    EXPECT_EQ(static_cast<QLineEdit*>(window_.Control("Text4"))->text(), "9.9.9.9");
    EXPECT_EQ(static_cast<QLineEdit*>(window_.Control("Text5"))->text(), "149.112.112.112");
}

} // namespace

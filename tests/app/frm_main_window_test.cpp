#include "app/qt/frm_main_window.h"
#include "app_test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <cstdlib>
#include <fstream>
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
    EXPECT_FALSE(menu->actions().back()->isEnabled()) << "no adapter, nothing to restore";
    EXPECT_EQ(presets->actions().size(), 11);
    presets->actions().at(3)->trigger(); // Quad9
    EXPECT_EQ(static_cast<QLineEdit*>(window_.Control("Text4"))->text(), "9.9.9.9");
    EXPECT_EQ(static_cast<QLineEdit*>(window_.Control("Text5"))->text(), "149.112.112.112");
}

// Restore is offered for the chosen adapter only once a change recorded it.
TEST_F(FrmMainWindowTest, RestoreIsEnabledOnlyWhereARecordExists) {
    TempFolder folder;
    mgmt::SimulatedState state;
    state.adapters = {Adapter(7, "Ethernet", std::vector<std::string>{"192.0.2.1"})};
    mgmt::SimulatedBackend backend{folder.path() / "state.json"};
    std::ofstream(folder.path() / "state.json") << mgmt::SerializeSimulatedState(state);
    mgmt::RecordingBackend recording{backend, mgmt::RecordStore{folder.path() / "records"}};
    velmora::app::FrmMain form(window_, recording);
    velmora::app::FrmExtras extras(window_, form, recording);
    window_.Attach(form);
    window_.AttachExtras(extras);
    form.Form_Load();
    auto restoreEnabled = [&] { return window_.PresetsMenu()->actions().back()->isEnabled(); };
    EXPECT_FALSE(restoreEnabled());
    recording.EnsureRecorded(7, "Ethernet");
    EXPECT_TRUE(restoreEnabled());
}

// The fixed-size window cannot be maximised; Enter presses the focused
// button, and the focus is drawn from the start.
TEST_F(FrmMainWindowTest, KeyboardAndFrame) {
    const Qt::WindowFlags flags = window_.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(window_.testAttribute(Qt::WA_KeyboardFocusChange));

    int pressed = 0;
    auto* command10 = static_cast<QPushButton*>(window_.Control("Command10"));
    QObject::connect(command10, &QPushButton::clicked, [&] { ++pressed; });
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(command10, &press);
    }
    EXPECT_EQ(pressed, 2);
}

TEST_F(FrmMainWindowTest, AMessageBoxIsWideEnoughForItsTitle) {
    auto box = velmora::app::MakeMessageBox(&window_, "Done!");
    EXPECT_EQ(box->windowTitle(), "Orvello - Velmora");
    EXPECT_EQ(box->text(), "Done!");
    box->adjustSize();
    EXPECT_GT(box->width(), QFontMetrics(box->font()).horizontalAdvance(box->windowTitle()) + 40);
}

velmora::app::SpeedTestReport ManyResults(int count) {
    velmora::app::SpeedTestReport report;
    for (int i = 0; i < count; ++i) {
        velmora::app::SpeedTestRow row;
        row.rank = i + 1;
        row.server = "192.0.2." + std::to_string(i + 1);
        // Out of numeric order as text: 9.5 sorts after 10.5 as letters.
        if (i + 1 < count) row.median = row.p90 = i % 2 ? 10.5 + i : 9.5 + i;
        row.queries = 10;
        row.lost = i + 1 < count ? 0 : 10;
        report.rows.push_back(row);
    }
    return report;
}

TEST_F(FrmMainWindowTest, TheResultsWindowIsASortableTableThatFitsTheScreen) {
    window_.show();
    auto report = ManyResults(80);
    report.leftOut = {"3 IPv6 servers are left out: this machine has no IPv6 route to them."};
    auto dialog = velmora::app::MakeResultsDialog(&window_, report);
    dialog->show();
    QApplication::processEvents();
    const QRect free = window_.screen()->availableGeometry();
    EXPECT_LE(dialog->frameGeometry().height(), free.height());
    EXPECT_LE(dialog->maximumHeight(), free.height());

    auto* table = dialog->findChild<QTableWidget*>("Results");
    ASSERT_NE(table, nullptr);
    QStringList header;
    for (int i = 0; i < table->columnCount(); ++i)
        header << table->horizontalHeaderItem(i)->text();
    EXPECT_EQ(header,
              (QStringList{"Rank", "Server", "Median (ms)", "P90 (ms)", "Lost", "Queries"}));
    EXPECT_EQ(table->rowCount(), 80);
    EXPECT_GT(table->verticalScrollBar()->maximum(), 0) << "80 rows scroll";
    EXPECT_TRUE(table->isSortingEnabled());
    table->sortByColumn(2, Qt::DescendingOrder);
    EXPECT_EQ(table->item(0, 2)->text(), "-") << "no answer is slower than any time";
    EXPECT_EQ(table->item(1, 2)->text(), "87.5");
    table->sortByColumn(2, Qt::AscendingOrder);
    EXPECT_EQ(table->item(0, 2)->text(), "9.5");
    EXPECT_EQ(table->item(1, 2)->text(), "11.5");
    EXPECT_EQ(table->item(0, 1)->text(), "192.0.2.1");

    EXPECT_EQ(dialog->findChild<QLabel*>("LeftOut")->text().toStdString(), report.leftOut[0]);
    EXPECT_NE(dialog->findChild<QLabel*>("Rule")->text().indexOf("at most a tenth"), -1);
    auto* use = dialog->findChild<QPushButton*>("UseFastest");
    EXPECT_EQ(use->text(), "Use The Fastest Two");
    EXPECT_FALSE(use->isEnabled()) << "the report names no two servers";
    report.fastest = {"192.0.2.1", "192.0.2.2"};
    auto enabled = velmora::app::MakeResultsDialog(&window_, report);
    EXPECT_TRUE(enabled->findChild<QPushButton*>("UseFastest")->isEnabled());
    report.leftOut.clear();
    EXPECT_EQ(velmora::app::MakeResultsDialog(&window_, report)->findChild<QLabel*>("LeftOut"),
              nullptr);
}

} // namespace

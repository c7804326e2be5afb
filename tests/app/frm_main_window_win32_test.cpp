// The main window on the system's own controls, under Wine on a virtual
// display: its layout, texts, keyboard and context menu, and the window's
// logic driven through it as the user drives it.

#include "app/win32/frm_main_window.h"
#include "app_test_support.h"
#include "platform/win32/windows_api.h"

#include <array>
#include <commctrl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace velmora::testing;
using velmora::app::FrmMain;
using velmora::app::Win32FrmMainWindow;

namespace {

std::string Narrow(const std::wstring& wide) {
    std::string text;
    for (wchar_t c : wide)
        text.push_back(static_cast<char>(c)); // the window's texts are ASCII
    return text;
}

std::string TextOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return Narrow(text);
}

class FrmMainWindowWin32Test : public ::testing::Test {
protected:
    FrmMainWindowWin32Test() {
        window_.messageSink = [this](const std::string& text) { messages_.push_back(text); };
    }

    HWND Control(const char* name) { return static_cast<HWND>(window_.Control(name)); }
    HWND Window() { return static_cast<HWND>(window_.handle()); }
    int S(int pixels) { return MulDiv(pixels, static_cast<int>(window_.Dpi()), 96); }
    // Left, top, width and height in the window's client area.
    std::array<long, 4> Place(const char* name) {
        RECT r{};
        GetWindowRect(Control(name), &r);
        MapWindowPoints(HWND_DESKTOP, Window(), reinterpret_cast<POINT*>(&r), 2);
        return {r.left, r.top, r.right - r.left, r.bottom - r.top};
    }
    std::array<long, 4> Scaled(int left, int top, int width, int height) {
        return {S(left), S(top), S(width), S(height)};
    }
    // The user's choice of an entry: the selection, then the list's notice.
    void Choose(int position) {
        SendMessageW(Control("Combo1"), CB_SETCURSEL, static_cast<WPARAM>(position), 0);
        SendMessageW(Window(), WM_COMMAND,
                     MAKEWPARAM(GetDlgCtrlID(Control("Combo1")), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(Control("Combo1")));
    }
    void Write(const mgmt::SimulatedState& state) {
        std::ofstream(folder_.path() / "state.json") << mgmt::SerializeSimulatedState(state);
    }

    TempFolder folder_;
    mgmt::SimulatedBackend backend_{folder_.path() / "state.json"};
    mgmt::RecordingBackend recording_{backend_, mgmt::RecordStore{folder_.path() / "records"}};
    Win32FrmMainWindow window_;
    FrmMain form_{window_, recording_};
    velmora::app::FrmExtras extras_{window_, form_, recording_};
    std::vector<std::string> messages_;
};

TEST_F(FrmMainWindowWin32Test, ControlsSitAtTheReferenceLayoutScaledForTheDpi) {
    RECT client{};
    GetClientRect(Window(), &client);
    EXPECT_EQ(client.right, S(523));
    EXPECT_EQ(client.bottom, S(232));
    EXPECT_EQ(TextOf(Window()), "Orvello - Velmora");
    EXPECT_EQ(Place("Combo1"), Scaled(56, 18, 263, 20)) << "the closed list's field";
    EXPECT_EQ(Place("Text4"), Scaled(96, 58, 97, 18));
    EXPECT_EQ(Place("Label11"), Scaled(198, 78, 97, 18));
    EXPECT_EQ(Place("Command9"), Scaled(45, 106, 119, 23));
    EXPECT_EQ(Place("Frame3"), Scaled(326, 38, 191, 63));
    EXPECT_EQ(Place("Command8"), Scaled(326 + 166, 38 + 38, 18, 18)) << "over the frame";
    EXPECT_EQ(Place("Picture4"), Scaled(4, 174, 253, 53));
    EXPECT_EQ(Place("Line1"), Scaled(24, 100, 290, 1));
}

TEST_F(FrmMainWindowWin32Test, CaptionsTipsAndFontAreThoseOfTheDesign) {
    EXPECT_EQ(TextOf(Control("Command5")), "Use Google DNS For DNS ");
    EXPECT_EQ(TextOf(Control("Command10")), "Disable Static DNS");
    EXPECT_EQ(TextOf(Control("Frame3")), "DNS Server's:");
    EXPECT_EQ(TextOf(Control("Label1")), "Network Adaptor:");
    EXPECT_EQ(TextOf(Control("Text5")), "8.8.4.4");
    EXPECT_EQ(TextOf(Control("Label10")), "0.0.0.0");

    auto tip = [&](const char* name) {
        HWND tips = nullptr;
        // The window's tooltip control is its owned popup of that class.
        for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); w != nullptr;
             w = GetWindow(w, GW_HWNDNEXT)) {
            wchar_t className[64] = {};
            GetClassNameW(w, className, 64);
            if (GetWindow(w, GW_OWNER) == Window() && lstrcmpiW(className, TOOLTIPS_CLASSW) == 0)
                tips = w;
        }
        wchar_t text[128] = {};
        TTTOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = Window();
        tool.uId = reinterpret_cast<UINT_PTR>(Control(name));
        tool.lpszText = text;
        SendMessageW(tips, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
        return Narrow(text);
    };
    EXPECT_EQ(tip("Command6"), "About Use Router As DNS");
    EXPECT_EQ(tip("Command8"), "About Use OpenDNS For DNS");
    EXPECT_EQ(tip("Command9"), "");

    // The system's dialog face, at most its size.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    LOGFONTW face{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Control("Label12"), WM_GETFONT, 0, 0)),
               sizeof face, &face);
    EXPECT_EQ(std::wstring(face.lfFaceName), std::wstring(metrics.lfMessageFont.lfFaceName));
    EXPECT_LE(std::abs(face.lfHeight),
              std::abs(MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(window_.Dpi()),
                              static_cast<int>(GetDpiForSystem()))));
}

TEST_F(FrmMainWindowWin32Test, TabOrderFollowsTheDesign) {
    const char* order[] = {"Command9", "Combo1",   "Text4",    "Text5",    "Command10", "Command5",
                           "Command6", "Command7", "Command8", "Picture4", "Picture1"};
    for (std::size_t i = 1; i < std::size(order); ++i)
        EXPECT_EQ(GetNextDlgTabItem(Window(), Control(order[i - 1]), FALSE), Control(order[i]))
            << order[i - 1];
    EXPECT_EQ(GetNextDlgTabItem(Window(), Control("Picture1"), FALSE), Control("Command9"));
}

TEST_F(FrmMainWindowWin32Test, TheListAddsEntriesWithoutChoosingOne) {
    EXPECT_EQ(window_.AddAdapter("First", 12), 0);
    EXPECT_EQ(window_.AddAdapter("First", 7), 1);
    EXPECT_EQ(window_.SelectedAdapter(), -1);
    EXPECT_EQ(window_.AdapterListText(), "");
    EXPECT_EQ(window_.AdapterItemData(1), 7);
    EXPECT_THROW(window_.AdapterItemData(2), std::out_of_range);
    EXPECT_THROW(window_.AdapterItemData(-1), std::out_of_range);
    EXPECT_THROW(window_.SelectAdapter(2), std::out_of_range);
    window_.SelectAdapter(1);
    EXPECT_EQ(window_.AdapterListText(), "First");
    EXPECT_EQ(window_.AdapterItemData(window_.SelectedAdapter()), 7);
    // Not sorted: the query's order stays.
    EXPECT_EQ(window_.AddAdapter("Another", 3), 2);
    window_.SetText(velmora::app::TextBox::Text4, "Ωμέγα");
    EXPECT_EQ(window_.Text(velmora::app::TextBox::Text4), "Ωμέγα") << "UTF-8 both ways";
}

TEST_F(FrmMainWindowWin32Test, ThePresetsMenuOffersTheExtrasAndFillsTheBoxes) {
    window_.Attach(form_);
    window_.AttachExtras(extras_);
    velmora::app::NativeMenu menu = window_.PresetsMenu();
    HMENU top = static_cast<HMENU>(menu.get());
    auto text = [](HMENU m, int position) {
        wchar_t caption[128] = {};
        GetMenuStringW(m, static_cast<UINT>(position), caption, 128, MF_BYPOSITION);
        return Narrow(caption);
    };
    ASSERT_EQ(GetMenuItemCount(top), 4);
    EXPECT_EQ(text(top, 0), "More Presets");
    EXPECT_EQ(text(top, 1), "Speed Test...");
    EXPECT_EQ(GetMenuState(top, 2, MF_BYPOSITION) & MF_SEPARATOR, UINT(MF_SEPARATOR));
    EXPECT_EQ(text(top, 3), "Restore Previous Settings");
    EXPECT_TRUE(GetMenuState(top, 3, MF_BYPOSITION) & MF_GRAYED) << "no adapter, no record";
    HMENU presets = GetSubMenu(top, 0);
    ASSERT_NE(presets, nullptr);
    EXPECT_EQ(GetMenuItemCount(presets), 11);
    SendMessageW(Window(), WM_COMMAND, MAKEWPARAM(GetMenuItemID(presets, 3), 0), 0); // Quad9
    EXPECT_EQ(window_.Text(velmora::app::TextBox::Text4), "9.9.9.9");
    EXPECT_EQ(window_.Text(velmora::app::TextBox::Text5), "149.112.112.112");
}

TEST_F(FrmMainWindowWin32Test, RestoreIsEnabledOnlyWhereARecordExists) {
    mgmt::SimulatedState state;
    state.adapters = {Adapter(7, "Ethernet", std::vector<std::string>{"192.0.2.1"})};
    Write(state);
    window_.Attach(form_);
    window_.AttachExtras(extras_);
    form_.Form_Load();
    auto restoreEnabled = [&] {
        velmora::app::NativeMenu menu = window_.PresetsMenu();
        return !(GetMenuState(static_cast<HMENU>(menu.get()), 3, MF_BYPOSITION) & MF_GRAYED);
    };
    EXPECT_FALSE(restoreEnabled());
    recording_.EnsureRecorded(7, "Ethernet");
    EXPECT_TRUE(restoreEnabled());
}

// The fixed-size window cannot be maximised; Enter presses the focused
// button and nothing elsewhere.
TEST_F(FrmMainWindowWin32Test, KeyboardAndFrame) {
    const LONG_PTR style = GetWindowLongPtrW(Window(), GWL_STYLE);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(style & WS_SYSMENU);

    window_.Attach(form_);
    window_.Show();
    EXPECT_EQ(GetFocus(), Control("Command9")) << "the first tab stop has the focus";
    for (const char* name : {"Text4", "Command10"}) {
        SetFocus(Control(name));
        PostMessageW(Control(name), WM_KEYDOWN, VK_RETURN, 0);
        window_.DoEvents();
    }
    // Command10 without a chosen adapter asks for one.
    EXPECT_EQ(messages_, std::vector<std::string>{"Please Choose A Adapter."});
}

TEST_F(FrmMainWindowWin32Test, TheLogicRunsThroughTheWindowAsTheUserDrivesIt) {
    mgmt::SimulatedState state;
    state.adapters = {Adapter(7, "Ethernet", std::vector<std::string>{"192.0.2.1", "192.0.2.2"}),
                      Adapter(12, "Wireless")};
    Write(state);
    window_.Attach(form_);
    window_.Show();
    form_.Form_Load();
    ASSERT_EQ(window_.AdapterCount(), 2);
    EXPECT_EQ(window_.SelectedAdapter(), -1) << "two adapters: the user chooses";
    Choose(0);
    EXPECT_EQ(TextOf(Control("Label10")), "192.0.2.1");
    EXPECT_EQ(TextOf(Control("Label11")), "192.0.2.2");

    SendMessageW(Control("Command7"), BM_CLICK, 0, 0); // OpenDNS into the boxes
    EXPECT_EQ(TextOf(Control("Text4")), "208.67.222.222");
    SendMessageW(Control("Command9"), BM_CLICK, 0, 0);
    EXPECT_EQ(messages_, std::vector<std::string>{"Done!"});
    EXPECT_TRUE(window_.Closed()) << "a successful change ends the window";
    std::ifstream in(folder_.path() / "state.json");
    const mgmt::SimulatedState after =
        mgmt::ParseSimulatedState(std::string{std::istreambuf_iterator<char>(in), {}});
    EXPECT_EQ(after.adapters.at(0).dns,
              (std::vector<std::string>{"208.67.222.222", "208.67.220.220"}));
}

} // namespace

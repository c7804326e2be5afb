#include "app/win32/frm_main_window.h"

#include "app/messages.h"
#include "app/win32/native_dialogs.h"
#include "platform/net/route.h"
#include "platform/win32/system.h"
#include "platform/win32/windows_api.h"

#include <algorithm>
#include <commctrl.h>
#include <stdexcept>
#include <string_view>
#include <windowsx.h>

namespace velmora::app {

namespace {

// The reference layout is in twips; at 96 dots to the inch it is drawn at
// 15 twips to the pixel, the density it was made for, and scaled from
// there for the monitor's DPI.
constexpr int kTwipsPerPixel = 15;

constexpr int Px(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

constexpr wchar_t kWindowClass[] = L"VelmoraFrmMain";
constexpr wchar_t kPictureBoxClass[] = L"VelmoraPictureBox";

// Control identifiers; 1 and 2 are IDOK and IDCANCEL, which the dialog
// keys send on their own (Enter and Escape from anywhere) and which no
// control of this window answers.
enum ControlId : int {
    kNoId = 0,
    kCombo1 = 100,
    kText4,
    kText5,
    kLabel10,
    kLabel11,
    kLine1,
    kCommand9,
    kCommand10,
    kFrame3,
    kCommand5,
    kCommand6,
    kCommand7,
    kCommand8,
    kPicture1,
    kPicture4,
    kMenuFirst = 1000,
};

std::wstring W(std::string_view utf8) {
    return platform::win32::Widen(utf8).value_or(std::wstring());
}

std::string U(std::wstring_view wide) {
    return platform::win32::Narrow(wide).value_or(std::string());
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

HINSTANCE Instance() {
    return GetModuleHandleW(nullptr);
}

using PrintOverride = std::function<std::optional<WindowPicture>(NativeWindow)>;

void PrintChildren(HWND parent, HDC dc, const PrintOverride& override);

// Draws a window as it would paint itself, over what `dc` already holds at
// `at` (a control that leaves parts unpainted, as a group box does, shows
// its parent there). The client area is drawn in a device context of its
// own, where a control's own clipping finds it at the origin, then its
// children, and the sunken edge of a client edge around it. A window the
// override has a picture of (at 96 dots to the inch) is drawn from that.
void PrintWindowInto(HWND window, HDC dc, POINT at, const PrintOverride& override) {
    RECT outer{}, client{};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    if (width <= 0 || height <= 0 || client.right <= 0 || client.bottom <= 0) return;
    const POINT inside{origin.x - outer.left, origin.y - outer.top};
    HDC area = CreateCompatibleDC(dc);
    HBITMAP pixels = CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ before = SelectObject(area, pixels);
    BitBlt(area, 0, 0, client.right, client.bottom, dc, at.x + inside.x, at.y + inside.y, SRCCOPY);
    const std::optional<WindowPicture> picture = override ? override(window) : std::nullopt;
    if (picture && !picture->pixels.empty()) {
        BITMAPINFO format{};
        format.bmiHeader.biSize = sizeof format.bmiHeader;
        format.bmiHeader.biWidth = picture->width;
        format.bmiHeader.biHeight = -picture->height;
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        // Enlarged as pixels, not smoothed, as the window shows them.
        SetStretchBltMode(area, COLORONCOLOR);
        StretchDIBits(area, 0, 0, client.right, client.bottom, 0, 0, picture->width,
                      picture->height, picture->pixels.data(), &format, DIB_RGB_COLORS, SRCCOPY);
    } else {
        SendMessageW(window, WM_PRINT, reinterpret_cast<WPARAM>(area), PRF_CLIENT | PRF_ERASEBKGND);
    }
    PrintChildren(window, area, override);
    BitBlt(dc, at.x + inside.x, at.y + inside.y, client.right, client.bottom, area, 0, 0, SRCCOPY);
    SelectObject(area, before);
    DeleteObject(pixels);
    DeleteDC(area);
    if ((GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0) {
        RECT edge{at.x, at.y, at.x + width, at.y + height};
        DrawEdge(dc, &edge, EDGE_SUNKEN, BF_RECT);
    }
}

// The children of a window printed through WM_PRINT, which the system's
// default handling may leave out: each visible child, the bottom of the
// stacking order first.
void PrintChildren(HWND parent, HDC dc, const PrintOverride& override) {
    HWND first = GetWindow(parent, GW_CHILD);
    for (HWND child = first != nullptr ? GetWindow(first, GW_HWNDLAST) : nullptr; child != nullptr;
         child = GetWindow(child, GW_HWNDPREV)) {
        if (!IsWindowVisible(child)) continue;
        RECT place{};
        GetWindowRect(child, &place);
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&place), 2);
        PrintWindowInto(child, dc, {place.left, place.top}, override);
    }
}

LRESULT CALLBACK PictureBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // A picture box takes the focus when clicked, as a tab stop does when
    // tabbed to; its image controls live in a container window stacked over it.
    if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN) SetFocus(window);
    if (message == WM_GETDLGCODE) return DLGC_WANTARROWS;
    return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterClasses() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.hInstance = Instance();
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_3DFACE);
    // A second window registers nothing new; the class stays for the process.
    windowClass.lpfnWndProc = PictureBoxProc;
    windowClass.lpszClassName = kPictureBoxClass;
    RegisterClassExW(&windowClass);
}

} // namespace

void NativeMenuDeleter::operator()(void* menu) const {
    DestroyMenu(static_cast<HMENU>(menu));
}

struct Win32FrmMainWindow::Item {
    std::string name;
    HWND window = nullptr;
    int id = kNoId;
    // Left, top, width, height in pixels at 96 dots to the inch, in the
    // window's client area.
    RECT place{};
};

struct FrmMainWindowProc {
    static LRESULT CALLBACK call(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            auto* self = static_cast<Win32FrmMainWindow*>(create->lpCreateParams);
            self->window_ = window;
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        auto* self =
            reinterpret_cast<Win32FrmMainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            self->window_ = nullptr;
            self->closed_ = true;
            return DefWindowProcW(window, message, wParam, lParam);
        }
        return self->handle(message, wParam, lParam);
    }
};

Win32FrmMainWindow::Win32FrmMainWindow() {
    INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&common);
    RegisterClasses();
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.hInstance = Instance();
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_3DFACE);
    windowClass.lpfnWndProc = FrmMainWindowProc::call;
    windowClass.lpszClassName = kWindowClass;
    // The application icon of the resource script, where the program has one.
    windowClass.hIcon = static_cast<HICON>(
        LoadImageW(Instance(), MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                        GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    RegisterClassExW(&windowClass);

    // A window of fixed size has nothing to maximise or to resize.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, W(text::kAppTitle).c_str(), style,
                    CW_USEDEFAULT, CW_USEDEFAULT, Px(7845), Px(3480), nullptr, nullptr, Instance(),
                    this);
    if (window_ == nullptr)
        throw std::runtime_error("the window cannot be made: " +
                                 platform::win32::ErrorText(platform::win32::LastError()));
    dpi_ = std::max(96u, static_cast<unsigned>(GetDpiForWindow(static_cast<HWND>(window_))));

    auto add = [&](const char* name, const wchar_t* className, std::string_view caption,
                   DWORD style, DWORD exStyle, int id, RECT place) {
        HWND control =
            CreateWindowExW(exStyle, className, W(caption).c_str(), WS_CHILD | WS_VISIBLE | style,
                            0, 0, 0, 0, static_cast<HWND>(window_),
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
        controls_.push_back({name, control, id, place});
        return control;
    };
    auto at = [](int left, int top, int width, int height) {
        return RECT{Px(left), Px(top), Px(width), Px(height)};
    };
    const DWORD label = SS_LEFT | SS_NOPREFIX;
    add("Label1", WC_STATICW, text::kNetworkAdaptor, label, 0, kNoId, at(840, 60, 1365, 180));
    add("Label13", WC_STATICW, text::kNewInfo, label, 0, kNoId, at(1440, 630, 1455, 180));
    add("Label12", WC_STATICW, text::kCurrentInfo, label, 0, kNoId, at(2970, 630, 1455, 180));
    add("Label3", WC_STATICW, text::kDnsServer1, label, 0, kNoId, at(375, 900, 1020, 180));
    add("Label6", WC_STATICW, text::kDnsServer2, label, 0, kNoId, at(360, 1200, 1020, 180));

    // The creation order is the tab order: the dialog keys walk the
    // controls in their stacking order.
    const DWORD button = BS_PUSHBUTTON | WS_TABSTOP;
    add("Command9", WC_BUTTONW, text::kEnableStatic, button | WS_GROUP, 0, kCommand9,
        at(675, 1590, 1785, 345));
    add("Combo1", WC_COMBOBOXW, "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0, kCombo1,
        at(840, 270, 3945, 300));
    const DWORD edit = ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP;
    add("Text4", WC_EDITW, text::kGoogleFirst, edit, WS_EX_CLIENTEDGE, kText4,
        at(1440, 870, 1455, 270));
    add("Text5", WC_EDITW, text::kGoogleSecond, edit, WS_EX_CLIENTEDGE, kText5,
        at(1440, 1170, 1455, 270));
    // The current values read like read-only fields beside the editable ones.
    add("Label10", WC_STATICW, text::kPlaceholder, SS_OWNERDRAW, 0, kLabel10,
        at(2970, 870, 1455, 270));
    add("Label11", WC_STATICW, text::kPlaceholder, SS_OWNERDRAW, 0, kLabel11,
        at(2970, 1170, 1455, 270));
    add("Line1", WC_STATICW, "", SS_OWNERDRAW, 0, kLine1,
        RECT{Px(360), Px(1500), Px(4710) - Px(360), 1});
    add("Command10", WC_BUTTONW, text::kDisableStatic, button, 0, kCommand10,
        at(2535, 1590, 1785, 345));

    // The frame's buttons are the window's children placed over the frame,
    // so their clicks reach the window itself; the frame comes first so
    // that they stack above it.
    const RECT frame = at(4890, 570, 2865, 945);
    add("Frame3", WC_BUTTONW, text::kPresetsFrame, BS_GROUPBOX, 0, kFrame3, frame);
    auto inFrame = [&](int left, int top, int width, int height) {
        return RECT{frame.left + Px(left), frame.top + Px(top), Px(width), Px(height)};
    };
    add("Command5", WC_BUTTONW, text::kUseGoogle, button, 0, kCommand5,
        inFrame(90, 240, 2325, 270));
    HWND command6 = add("Command6", WC_BUTTONW, text::kExplain, button, 0, kCommand6,
                        inFrame(2490, 240, 270, 270));
    add("Command7", WC_BUTTONW, text::kUseOpenDns, button, 0, kCommand7,
        inFrame(90, 570, 2325, 270));
    HWND command8 = add("Command8", WC_BUTTONW, text::kExplain, button, 0, kCommand8,
                        inFrame(2490, 570, 270, 270));

    // The link images and the logo: their image controls come with the
    // window's form store, in a container stacked over each box's inner
    // area; a box repainting itself leaves its container alone.
    add("Picture4", kPictureBoxClass, "", WS_TABSTOP | WS_CLIPSIBLINGS, WS_EX_CLIENTEDGE, kPicture4,
        at(60, 2610, 3795, 795));
    add("Picture1", kPictureBoxClass, "", WS_TABSTOP | WS_CLIPSIBLINGS, WS_EX_CLIENTEDGE, kPicture1,
        at(30, 30, 765, 825));

    tooltips_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                static_cast<HWND>(window_), nullptr, Instance(), nullptr);
    for (auto [control, tip] : {std::pair{command6, text::kAboutGoogleTip},
                                std::pair{command8, text::kAboutOpenDnsTip}}) {
        std::wstring wide = W(tip);
        TTTOOLINFOW tool{};
        // The size every version of the common controls knows.
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = static_cast<HWND>(window_);
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.lpszText = wide.data();
        SendMessageW(static_cast<HWND>(tooltips_), TTM_ADDTOOLW, 0,
                     reinterpret_cast<LPARAM>(&tool));
    }

    ApplyFont();
    Layout();
    SetFocus(static_cast<HWND>(Control("Command9")));
}

Win32FrmMainWindow::~Win32FrmMainWindow() {
    if (window_ != nullptr) DestroyWindow(static_cast<HWND>(window_));
}

NativeWindow Win32FrmMainWindow::Control(const char* name) const {
    for (const auto& control : controls_)
        if (control.name == name) return control.window;
    return nullptr;
}

void Win32FrmMainWindow::ApplyFont() {
    // The system's dialog font (the message boxes' face) at this monitor's
    // DPI. Where it runs wider than the face the layout was made for, it is
    // made smaller until the longest caption that must fit its label does.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    LOGFONTW face = metrics.lfMessageFont;
    const int systemDpi = static_cast<int>(GetDpiForSystem());
    face.lfHeight = MulDiv(face.lfHeight, static_cast<int>(dpi_), systemDpi > 0 ? systemDpi : 96);
    const std::wstring longest = W(text::kDnsServer1);
    const int room = MulDiv(Px(1020), static_cast<int>(dpi_), 96);
    HDC dc = GetDC(static_cast<HWND>(window_));
    HFONT font = nullptr;
    for (int step = 0; step < 4; ++step) {
        if (font != nullptr) DeleteObject(font);
        font = CreateFontIndirectW(&face);
        HGDIOBJ before = SelectObject(dc, font);
        SIZE size{};
        GetTextExtentPoint32W(dc, longest.c_str(), static_cast<int>(longest.size()), &size);
        SelectObject(dc, before);
        if (size.cx <= room) break;
        face.lfHeight += face.lfHeight < 0 ? 1 : -1;
    }
    ReleaseDC(static_cast<HWND>(window_), dc);
    font_ = {font, [](void* object) { DeleteObject(static_cast<HGDIOBJ>(object)); }};
    for (const auto& control : controls_)
        SendMessageW(control.window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    SendMessageW(static_cast<HWND>(window_), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void Win32FrmMainWindow::Layout() {
    const int dpi = static_cast<int>(dpi_);
    auto scale = [dpi](LONG value) { return MulDiv(value, dpi, 96); };
    for (const auto& control : controls_) {
        const RECT& p = control.place;
        int height = std::max(1, scale(p.bottom));
        if (control.id == kCombo1) {
            // A drop-down list's height includes its list; the closed field
            // is as high as its item height makes it.
            SendMessageW(control.window, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1),
                         std::max(1, height - 6));
            MoveWindow(control.window, scale(p.left), scale(p.top), scale(p.right),
                       height + scale(160), TRUE);
            RECT field{};
            GetWindowRect(control.window, &field);
            const LONG off = (field.bottom - field.top) - height;
            if (off != 0)
                SendMessageW(control.window, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1),
                             std::max<LRESULT>(1, height - 6 - off));
            continue;
        }
        MoveWindow(control.window, scale(p.left), scale(p.top), scale(p.right), height, TRUE);
    }
    RECT frame{0, 0, scale(Px(7845)), scale(Px(3480))};
    const DWORD style =
        static_cast<DWORD>(GetWindowLongPtrW(static_cast<HWND>(window_), GWL_STYLE));
    const DWORD exStyle =
        static_cast<DWORD>(GetWindowLongPtrW(static_cast<HWND>(window_), GWL_EXSTYLE));
    AdjustWindowRectExForDpi(&frame, style, FALSE, exStyle, dpi_);
    SetWindowPos(static_cast<HWND>(window_), nullptr, 0, 0, frame.right - frame.left,
                 frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::array<int, 4> Win32FrmMainWindow::InnerArea(const char* name) const {
    HWND box = static_cast<HWND>(Control(name));
    RECT client{};
    GetClientRect(box, &client);
    MapWindowPoints(box, static_cast<HWND>(window_), reinterpret_cast<POINT*>(&client), 2);
    return {client.left, client.top, client.right, client.bottom};
}

void Win32FrmMainWindow::StackOver(NativeWindow window, const char* name) {
    HWND box = static_cast<HWND>(Control(name));
    HWND above = GetWindow(box, GW_HWNDPREV);
    SetWindowPos(static_cast<HWND>(window), above != nullptr ? above : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

std::uint32_t Win32FrmMainWindow::BackgroundColor() const {
    return GetSysColor(COLOR_3DFACE);
}

void Win32FrmMainWindow::Attach(FrmMain& form) {
    form_ = &form;
}

void Win32FrmMainWindow::AttachExtras(FrmExtras& extras) {
    extras_ = &extras;
}

void Win32FrmMainWindow::Show() {
    HWND window = static_cast<HWND>(window_);
    ShowWindow(window, SW_SHOW);
    // The focus is drawn from the start, not only after the first Tab: a
    // Space or Enter pressed now presses "Enable Static DNS", and the user
    // must be able to see that before.
    SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL),
                 0);
    SetFocus(static_cast<HWND>(Control("Command9")));
    UpdateWindow(window);
}

bool Win32FrmMainWindow::PreTranslate(void* raw) {
    MSG& message = *static_cast<MSG*>(raw);
    if (window_ == nullptr) return false;
    HWND window = static_cast<HWND>(window_);
    if (message.hwnd != window && !IsChild(window, message.hwnd)) return false;
    // Enter presses the button that has the focus, as Space does; there is
    // no default button that Enter would press from elsewhere.
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
        HWND focus = GetFocus();
        wchar_t className[16] = {};
        GetClassNameW(focus, className, 16);
        const LONG_PTR kind = GetWindowLongPtrW(focus, GWL_STYLE) & BS_TYPEMASK;
        if (IsChild(window, focus) && lstrcmpiW(className, WC_BUTTONW) == 0 &&
            (kind == BS_PUSHBUTTON || kind == BS_DEFPUSHBUTTON)) {
            SendMessageW(focus, BM_CLICK, 0, 0);
            return true;
        }
    }
    // Tab, the arrows and the mnemonics as in a dialog.
    return IsDialogMessageW(window, &message) != FALSE;
}

void Win32FrmMainWindow::Run() {
    MSG message;
    while (!closed_ && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (PreTranslate(&message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Win32FrmMainWindow::DoEvents() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Left for the loop that asked for it.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (PreTranslate(&message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Win32FrmMainWindow::Unload() {
    if (window_ != nullptr) SendMessageW(static_cast<HWND>(window_), WM_CLOSE, 0, 0);
}

void Win32FrmMainWindow::Command(int id, int notification) {
    if (id >= kMenuFirst) {
        const auto index = static_cast<std::size_t>(id - kMenuFirst);
        if (index < menuActions_.size()) {
            // The action may build the next menu, which replaces the list.
            const std::function<void()> action = menuActions_[index];
            action();
        }
        return;
    }
    if (form_ == nullptr) return;
    // The list's Click is the user's choice only; a programmatic selection
    // raises none, and start-up runs the handler itself.
    if (id == kCombo1) {
        if (notification == CBN_SELCHANGE) form_->Combo1_Click();
        return;
    }
    if (notification != BN_CLICKED) return;
    switch (id) {
    case kCommand9:
        form_->Command9_Click();
        break;
    case kCommand10:
        form_->Command10_Click();
        break;
    case kCommand5:
        form_->Command5_Click();
        break;
    case kCommand6:
        form_->Command6_Click();
        break;
    case kCommand7:
        form_->Command7_Click();
        break;
    case kCommand8:
        form_->Command8_Click();
        break;
    default:
        break;
    }
}

std::intptr_t Win32FrmMainWindow::handle(unsigned message, std::uintptr_t wParam,
                                         std::intptr_t lParam) {
    HWND window = static_cast<HWND>(window_);
    switch (message) {
    case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_CONTEXTMENU: {
        // Right-clicking the presets frame (or a button in it) opens the
        // menu; from the keyboard, with the focus on one of its buttons.
        if (extras_ == nullptr) break;
        RECT frame{};
        GetWindowRect(static_cast<HWND>(Control("Frame3")), &frame);
        POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (lParam == -1) {
            HWND focus = GetFocus();
            bool inFrame = false;
            for (const char* name : {"Command5", "Command6", "Command7", "Command8"})
                inFrame = inFrame || focus == Control(name);
            if (!inFrame) break;
            at = {frame.left, frame.top};
        } else if (!PtInRect(&frame, at)) {
            break;
        }
        NativeMenu menu = PresetsMenu();
        TrackPopupMenu(static_cast<HMENU>(menu.get()), TPM_RIGHTBUTTON, at.x, at.y, 0, window,
                       nullptr);
        return 0;
    }
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item.CtlID == kLine1) {
            FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_WINDOWTEXT));
            return TRUE;
        }
        FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_WINDOW));
        RECT inside = item.rcItem;
        inside.left += MulDiv(3, static_cast<int>(dpi_), 96);
        const std::wstring caption = WindowText(item.hwndItem);
        HGDIOBJ before = SelectObject(item.hDC, static_cast<HGDIOBJ>(font_.get()));
        SetBkMode(item.hDC, TRANSPARENT);
        SetTextColor(item.hDC, GetSysColor(COLOR_WINDOWTEXT));
        DrawTextW(item.hDC, caption.c_str(), static_cast<int>(caption.size()), &inside,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(item.hDC, before);
        return TRUE;
    }
    case WM_DPICHANGED: {
        dpi_ = HIWORD(wParam);
        const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
        ApplyFont();
        Layout();
        SetWindowPos(window, nullptr, suggested.left, suggested.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (layoutChanged) layoutChanged();
        return 0;
    }
    case WM_PRINT:
        if ((lParam & PRF_CHILDREN) != 0) {
            DefWindowProcW(window, message, wParam, lParam & ~PRF_CHILDREN);
            PrintChildren(window, reinterpret_cast<HDC>(wParam), printOverride);
            return 0;
        }
        break;
    case WM_CLOSE:
        if (form_ != nullptr) form_->Form_Unload();
        DestroyWindow(window);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

NativeMenu Win32FrmMainWindow::PresetsMenu() {
    menuActions_.clear();
    auto addAction = [this](HMENU menu, std::string_view caption, std::function<void()> action) {
        const auto id = static_cast<UINT_PTR>(kMenuFirst + menuActions_.size());
        AppendMenuW(menu, MF_STRING, id, W(caption).c_str());
        menuActions_.push_back(std::move(action));
    };
    NativeMenu menu(CreatePopupMenu());
    HMENU presets = CreatePopupMenu();
    for (const Preset& preset : Presets()) {
        const std::string caption = std::string(preset.description) + " (" +
                                    std::string(preset.ipv4[0]) + ", " +
                                    std::string(preset.ipv4[1]) + ")";
        addAction(presets, caption, [this, &preset] {
            if (extras_) extras_->UsePreset(preset);
        });
    }
    // The submenu is the menu's from here on, destroyed with it.
    AppendMenuW(static_cast<HMENU>(menu.get()), MF_POPUP, reinterpret_cast<UINT_PTR>(presets),
                W(text::kMorePresets).c_str());
    addAction(static_cast<HMENU>(menu.get()), text::kSpeedTest, [this] { RunSpeedTest(); });
    AppendMenuW(static_cast<HMENU>(menu.get()), MF_SEPARATOR, 0, nullptr);
    addAction(static_cast<HMENU>(menu.get()), text::kRestorePrevious, [this] {
        if (extras_) extras_->RestoreChosen();
    });
    if (!(extras_ && extras_->CanRestore()))
        EnableMenuItem(static_cast<HMENU>(menu.get()),
                       static_cast<UINT>(kMenuFirst + menuActions_.size() - 1),
                       MF_BYCOMMAND | MF_GRAYED);
    return menu;
}

void Win32FrmMainWindow::RunSpeedTest() {
    if (!extras_) return;
    extras_->RunSpeedTest(*this, [](const speedtest::Endpoint& server) {
        return platform::net::HasRouteTo(server.address, server.port);
    });
}

std::optional<std::vector<speedtest::Result>>
Win32FrmMainWindow::RunQueries(const std::vector<speedtest::Endpoint>& servers,
                               const speedtest::Options& options) {
    return RunQueriesWithProgress(window_, servers, options);
}

bool Win32FrmMainWindow::ShowResults(const SpeedTestReport& report) {
    return ShowResultsWindow(window_, report);
}

int Win32FrmMainWindow::AddAdapter(const std::string& text, std::int32_t itemData) {
    HWND list = static_cast<HWND>(Control("Combo1"));
    const std::wstring wide = W(text);
    // A list box adds entries without choosing one.
    const auto position =
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    if (position < 0) throw std::runtime_error("the list holds no more entries");
    SendMessageW(list, CB_SETITEMDATA, static_cast<WPARAM>(position),
                 static_cast<LPARAM>(itemData));
    return static_cast<int>(position);
}

int Win32FrmMainWindow::AdapterCount() const {
    return static_cast<int>(SendMessageW(static_cast<HWND>(Control("Combo1")), CB_GETCOUNT, 0, 0));
}

int Win32FrmMainWindow::SelectedAdapter() const {
    return static_cast<int>(SendMessageW(static_cast<HWND>(Control("Combo1")), CB_GETCURSEL, 0, 0));
}

void Win32FrmMainWindow::SelectAdapter(int position) {
    if (position < -1 || position >= AdapterCount()) throw std::out_of_range("no such entry");
    SendMessageW(static_cast<HWND>(Control("Combo1")), CB_SETCURSEL, static_cast<WPARAM>(position),
                 0);
}

std::int32_t Win32FrmMainWindow::AdapterItemData(int position) const {
    if (position < 0 || position >= AdapterCount()) throw std::out_of_range("no such entry");
    return static_cast<std::int32_t>(SendMessageW(
        static_cast<HWND>(Control("Combo1")), CB_GETITEMDATA, static_cast<WPARAM>(position), 0));
}

std::string Win32FrmMainWindow::AdapterListText() const {
    const int selected = SelectedAdapter();
    if (selected < 0) return {};
    HWND list = static_cast<HWND>(Control("Combo1"));
    const auto length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(selected), 0);
    if (length < 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(selected),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return U(text);
}

void Win32FrmMainWindow::FocusAdapterList() {
    SetFocus(static_cast<HWND>(Control("Combo1")));
}

std::string Win32FrmMainWindow::Text(TextBox box) const {
    return U(WindowText(static_cast<HWND>(Control(box == TextBox::Text4 ? "Text4" : "Text5"))));
}

void Win32FrmMainWindow::SetText(TextBox box, const std::string& text) {
    SetWindowTextW(static_cast<HWND>(Control(box == TextBox::Text4 ? "Text4" : "Text5")),
                   W(text).c_str());
}

void Win32FrmMainWindow::SetCaption(Label label, const std::string& caption) {
    HWND control = static_cast<HWND>(Control(label == Label::Label10 ? "Label10" : "Label11"));
    SetWindowTextW(control, W(caption).c_str());
    InvalidateRect(control, nullptr, TRUE);
}

void Win32FrmMainWindow::ShowMessage(const std::string& text) {
    if (messageSink) {
        messageSink(text);
        return;
    }
    MessageBoxW(static_cast<HWND>(window_), W(text).c_str(), W(text::kAppTitle).c_str(),
                MB_OK | MB_APPLMODAL);
}

std::optional<WindowPicture> Win32FrmMainWindow::Capture() const {
    HWND window = static_cast<HWND>(window_);
    RECT client{};
    if (window == nullptr || !GetClientRect(window, &client)) return std::nullopt;
    WindowPicture picture;
    picture.width = client.right;
    picture.height = client.bottom;
    if (picture.width <= 0 || picture.height <= 0) return std::nullopt;
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = picture.width;
    format.bmiHeader.biHeight = -picture.height; // top row first
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(window);
    HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(window, screen);
    HBITMAP section = CreateDIBSection(dc, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::optional<WindowPicture> result;
    if (dc != nullptr && section != nullptr && bits != nullptr) {
        HGDIOBJ before = SelectObject(dc, section);
        if (PrintWindow(window, dc, PW_CLIENTONLY)) {
            GdiFlush();
            const auto* words = static_cast<const std::uint32_t*>(bits);
            picture.pixels.assign(words, words + static_cast<std::size_t>(picture.width) *
                                                     static_cast<std::size_t>(picture.height));
            // The system's drawing leaves the fourth byte undefined; the
            // window is opaque.
            for (std::uint32_t& pixel : picture.pixels)
                pixel |= 0xff000000u;
            result = std::move(picture);
        }
        SelectObject(dc, before);
    }
    if (section != nullptr) DeleteObject(section);
    if (dc != nullptr) DeleteDC(dc);
    return result;
}

} // namespace velmora::app

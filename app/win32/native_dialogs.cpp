#include "app/win32/native_dialogs.h"

#include "app/messages.h"
#include "platform/win32/system.h"
#include "platform/win32/windows_api.h"

#include <chrono>
#include <commctrl.h>
#include <exception>
#include <functional>
#include <limits>
#include <string>

namespace velmora::app {

namespace {

constexpr wchar_t kDialogClass[] = L"VelmoraModal";
constexpr int kAccept = 100;
constexpr int kReject = 101;

std::wstring W(std::string_view utf8) {
    return platform::win32::Widen(utf8).value_or(std::wstring());
}

// A modal window of its own: the owner is disabled while it runs, the
// dialog keys work in it, and closing it is Reject.
class Modal {
public:
    Modal(HWND owner, std::string_view title, int width, int height) : owner_(owner) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = GetSysColorBrush(COLOR_3DFACE);
        windowClass.lpfnWndProc = Proc;
        windowClass.lpszClassName = kDialogClass;
        RegisterClassExW(&windowClass);
        const UINT dpi = owner != nullptr ? GetDpiForWindow(owner) : GetDpiForSystem();
        dpi_ = static_cast<int>(dpi > 0 ? dpi : 96);
        RECT frame{0, 0, S(width), S(height)};
        const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
        AdjustWindowRectExForDpi(&frame, style, FALSE, WS_EX_DLGMODALFRAME, dpi_);
        RECT area{};
        if (owner == nullptr || !GetWindowRect(owner, &area))
            SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        const int w = frame.right - frame.left, h = frame.bottom - frame.top;
        window_ =
            CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kDialogClass,
                            W(title).c_str(), style, area.left + (area.right - area.left - w) / 2,
                            std::max<LONG>(0, area.top + (area.bottom - area.top - h) / 2), w, h,
                            owner, nullptr, GetModuleHandleW(nullptr), this);
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        const int systemDpi = static_cast<int>(GetDpiForSystem());
        metrics.lfMessageFont.lfHeight =
            MulDiv(metrics.lfMessageFont.lfHeight, dpi_, systemDpi > 0 ? systemDpi : 96);
        font_ = CreateFontIndirectW(&metrics.lfMessageFont);
    }
    ~Modal() {
        if (window_ != nullptr) DestroyWindow(window_);
        if (font_ != nullptr) DeleteObject(font_);
    }
    Modal(const Modal&) = delete;
    Modal& operator=(const Modal&) = delete;

    int S(int pixels) const { return MulDiv(pixels, dpi_, 96); }
    HWND window() const { return window_; }

    HWND Add(const wchar_t* className, std::string_view caption, DWORD style, int id, int left,
             int top, int width, int height, DWORD exStyle = 0) {
        HWND control = CreateWindowExW(
            exStyle, className, W(caption).c_str(), WS_CHILD | WS_VISIBLE | style, S(left), S(top),
            S(width), S(height), window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
            GetModuleHandleW(nullptr), nullptr);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
        return control;
    }

    // Runs until End is called or the window is closed, then answers what
    // ended it; `idle` runs after every message.
    int Run(const std::function<void()>& idle = {}) {
        if (owner_ != nullptr) EnableWindow(owner_, FALSE);
        ShowWindow(window_, SW_SHOW);
        MSG message;
        while (!ended_ && GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (!IsDialogMessageW(window_, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            if (idle) idle();
        }
        // The owner comes back before this window goes, so the focus
        // returns to it rather than to another program.
        if (owner_ != nullptr) EnableWindow(owner_, TRUE);
        ShowWindow(window_, SW_HIDE);
        return result_;
    }
    void End(int result) {
        result_ = result;
        ended_ = true;
    }

    std::function<void(int id, int notification)> onCommand;
    std::function<LRESULT(const NMHDR&)> onNotify;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE)
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(
                                  reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<Modal*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
        switch (message) {
        case WM_COMMAND:
            // Escape (IDCANCEL) is Reject, as the close box is.
            if (LOWORD(wParam) == IDCANCEL)
                self->End(kReject);
            else if (self->onCommand)
                self->onCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_NOTIFY:
            if (self->onNotify) return self->onNotify(*reinterpret_cast<const NMHDR*>(lParam));
            return 0;
        case WM_CLOSE:
            self->End(kReject);
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            self->window_ = nullptr;
            self->End(kReject);
            break;
        default:
            break;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND owner_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    int dpi_ = 96;
    bool ended_ = false;
    int result_ = kReject;
};

// What a column's cells sort by: a number where the column holds numbers
// (a missing time sorts last), the text otherwise.
struct Cell {
    std::wstring text;
    double value = 0;
};

std::wstring Time(const std::optional<double>& milliseconds) {
    if (!milliseconds) return L"-";
    wchar_t text[32];
    swprintf(text, 32, L"%.1f", *milliseconds);
    return text;
}

struct Sorting {
    const std::vector<std::vector<Cell>>* rows;
    int column;
    bool ascending;
};

int CALLBACK CompareRows(LPARAM left, LPARAM right, LPARAM context) {
    const auto& sorting = *reinterpret_cast<const Sorting*>(context);
    const Cell& a = (*sorting.rows)[static_cast<std::size_t>(left)][sorting.column];
    const Cell& b = (*sorting.rows)[static_cast<std::size_t>(right)][sorting.column];
    int order = sorting.column == 1 ? a.text.compare(b.text)
                                    : (a.value < b.value   ? -1
                                       : b.value < a.value ? 1
                                                           : 0);
    return sorting.ascending ? order : -order;
}

} // namespace

std::optional<std::vector<speedtest::Result>>
RunQueriesWithProgress(void* owner, const std::vector<speedtest::Endpoint>& servers,
                       const speedtest::Options& options) {
    const int total = static_cast<int>(servers.size() * options.names.size()) * options.rounds;
    Modal progress(static_cast<HWND>(owner), text::kAppTitle, 320, 110);
    progress.Add(WC_STATICW, text::kSpeedTestRunning, SS_LEFT | SS_NOPREFIX, -1, 12, 12, 296, 16);
    HWND bar = progress.Add(PROGRESS_CLASSW, "", 0, -1, 12, 36, 296, 18);
    SendMessageW(bar, PBM_SETRANGE32, 0, total);
    progress.Add(WC_BUTTONW, text::kCancel, BS_DEFPUSHBUTTON | WS_TABSTOP, kReject, 228, 72, 80,
                 26);
    progress.onCommand = [&](int id, int) {
        if (id == kReject) progress.End(kReject);
    };
    // The queries run on a thread of their own; a timer wakes the loop to
    // show how far they are and to see them end.
    const HWND window = progress.window();
    speedtest::BackgroundRun run(servers, options,
                                 [window] { PostMessageW(window, WM_NULL, 0, 0); });
    const UINT_PTR timer = SetTimer(window, 1, 100, nullptr);
    const int outcome = progress.Run([&] {
        SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(run.done()), 0);
        if (run.finished()) progress.End(kAccept);
    });
    KillTimer(window, timer);
    auto results = run.Wait();
    if (outcome != kAccept) return std::nullopt;
    return results;
}

bool ShowResultsWindow(void* owner, const SpeedTestReport& report) {
    // As tall as the table wants, but never beyond the free part of the
    // screen, where the buttons could not be reached; the table scrolls.
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const int notes = 36 + 20 * static_cast<int>(report.leftOut.size());
    const int wanted = 28 + 18 * static_cast<int>(report.rows.size()) + notes + 56;
    const int height = std::max(200, std::min<int>(wanted, area.bottom - area.top - 60));
    const int width = 480;
    Modal dialog(static_cast<HWND>(owner),
                 std::string(text::kAppTitle) + " - " + std::string(text::kSpeedTestResults), width,
                 height);
    const int tableHeight = height - notes - 56;
    HWND table = dialog.Add(
        WC_LISTVIEWW, "", LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP | WS_VSCROLL,
        200, 8, 8, width - 16, tableHeight, WS_EX_CLIENTEDGE);
    ListView_SetExtendedListViewStyle(table, LVS_EX_FULLROWSELECT);
    const int widths[] = {44, 150, 80, 70, 50, 60};
    int column = 0;
    for (std::string_view name : text::kResultColumns) {
        std::wstring wide = W(name);
        LVCOLUMNW header{};
        header.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        header.fmt = column == 1 ? LVCFMT_LEFT : LVCFMT_RIGHT;
        header.cx = dialog.S(widths[column]);
        header.pszText = wide.data();
        ListView_InsertColumn(table, column, &header);
        ++column;
    }
    std::vector<std::vector<Cell>> rows;
    const double missing = std::numeric_limits<double>::infinity();
    for (const SpeedTestRow& row : report.rows)
        rows.push_back({{std::to_wstring(row.rank), static_cast<double>(row.rank)},
                        {W(row.server), 0},
                        {Time(row.median), row.median.value_or(missing)},
                        {Time(row.p90), row.p90.value_or(missing)},
                        {std::to_wstring(row.lost), static_cast<double>(row.lost)},
                        {std::to_wstring(row.queries), static_cast<double>(row.queries)}});
    for (std::size_t i = 0; i < rows.size(); ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.lParam = static_cast<LPARAM>(i);
        item.pszText = rows[i][0].text.data();
        const int at = ListView_InsertItem(table, &item);
        for (int cell = 1; cell < static_cast<int>(rows[i].size()); ++cell)
            ListView_SetItemText(table, at, cell,
                                 rows[i][static_cast<std::size_t>(cell)].text.data());
    }
    Sorting sorting{&rows, 0, true};
    dialog.onNotify = [&](const NMHDR& header) -> LRESULT {
        if (header.hwndFrom != table || header.code != LVN_COLUMNCLICK) return 0;
        const int clicked = reinterpret_cast<const NMLISTVIEW&>(header).iSubItem;
        sorting.ascending = clicked == sorting.column ? !sorting.ascending : true;
        sorting.column = clicked;
        ListView_SortItems(table, CompareRows, reinterpret_cast<LPARAM>(&sorting));
        return 0;
    };

    int top = 8 + tableHeight + 6;
    for (const std::string& line : report.leftOut) {
        dialog.Add(WC_STATICW, line, SS_LEFT | SS_NOPREFIX, -1, 8, top, width - 16, 18);
        top += 20;
    }
    dialog.Add(WC_STATICW, text::kFastestRule, SS_LEFT | SS_NOPREFIX, -1, 8, top, width - 16, 32);
    HWND use = dialog.Add(WC_BUTTONW, text::kUseFastest, BS_PUSHBUTTON | WS_TABSTOP, kAccept,
                          width - 16 - 80 - 8 - 150, height - 36, 150, 26);
    EnableWindow(use, report.fastest.size() == 2);
    HWND close = dialog.Add(WC_BUTTONW, text::kClose, BS_DEFPUSHBUTTON | WS_TABSTOP, kReject,
                            width - 16 - 80 + 8, height - 36, 80, 26);
    dialog.onCommand = [&](int id, int notification) {
        if (notification == BN_CLICKED && (id == kAccept || id == kReject)) dialog.End(id);
    };
    SetFocus(close);
    return dialog.Run() == kAccept;
}

} // namespace velmora::app

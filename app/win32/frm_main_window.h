#pragma once
// The main window on the system's own controls: the controls at their
// reference positions (twips at 15 to the pixel at 96 dots to the inch,
// scaled for the monitor's DPI), in the system's dialog font, handing their
// events to FrmMain. This header names no system type, so the sources that
// see the platform layer's names can use it too; windows are passed as
// NativeWindow.

#include "app/frm_extras.h"
#include "app/frm_main.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora::app {

// A window of the system (an HWND), untyped here.
using NativeWindow = void*;

// A top-down picture of a window's client area: 0xAARRGGBB words, alpha 255.
struct WindowPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// A popup menu of the system, destroyed with its owner.
struct NativeMenuDeleter {
    void operator()(void* menu) const;
};
using NativeMenu = std::unique_ptr<void, NativeMenuDeleter>;

class Win32FrmMainWindow final : public FrmMainView, public SpeedTestView {
public:
    // Makes the window and its controls, hidden; the window is laid out for
    // the DPI of the monitor it is made on.
    Win32FrmMainWindow();
    ~Win32FrmMainWindow() override;
    Win32FrmMainWindow(const Win32FrmMainWindow&) = delete;
    Win32FrmMainWindow& operator=(const Win32FrmMainWindow&) = delete;

    // Connects the controls' events to the logic; call once, before Show.
    void Attach(FrmMain& form);
    // Gives the presets frame its context menu.
    void AttachExtras(FrmExtras& extras);

    void Show();
    // Runs the window's messages until it is closed.
    void Run();
    bool Closed() const { return closed_; }

    // The presets frame's context menu: more presets, the speed test and
    // restore. Its commands reach the window as WM_COMMAND.
    NativeMenu PresetsMenu();

    int AddAdapter(const std::string& text, std::int32_t itemData) override;
    int AdapterCount() const override;
    int SelectedAdapter() const override;
    void SelectAdapter(int position) override;
    std::int32_t AdapterItemData(int position) const override;
    std::string AdapterListText() const override;
    void FocusAdapterList() override;
    std::string Text(TextBox box) const override;
    void SetText(TextBox box, const std::string& text) override;
    void SetCaption(Label label, const std::string& caption) override;
    void ShowMessage(const std::string& text) override;
    void DoEvents() override;
    void Unload() override;

    // A progress window with Cancel while the queries run on a thread of
    // their own; Cancel stops them.
    std::optional<std::vector<speedtest::Result>>
    RunQueries(const std::vector<speedtest::Endpoint>& servers,
               const speedtest::Options& options) override;
    bool ShowResults(const SpeedTestReport& report) override;

    NativeWindow handle() const { return window_; }
    // The controls, by their names (the picture boxes too).
    NativeWindow Control(const char* name) const;
    // Pixels per 96 of an inch: the monitor's DPI over 96.
    unsigned Dpi() const { return dpi_; }

    // The client area of a picture box, in the window's client area:
    // left, top, right, bottom.
    std::array<int, 4> InnerArea(const char* name) const;
    // Puts a window directly above the named control in the stacking order
    // (a picture box's container, made after it).
    void StackOver(NativeWindow window, const char* name);
    // The colour behind the controls, 0x00BBGGRR.
    std::uint32_t BackgroundColor() const;

    // Called after the layout changed with the monitor's DPI.
    std::function<void()> layoutChanged;
    // A picture (at 96 dots to the inch) of a window that does not draw
    // itself for WM_PRINT, or nullopt to let it.
    std::function<std::optional<WindowPicture>(NativeWindow)> printOverride;

    // Draws the client area as the window would paint it (PrintWindow), for
    // --screenshot; nullopt when the system cannot.
    std::optional<WindowPicture> Capture() const;

    // Where message boxes go instead of the screen (for tests); empty for the
    // system's modal message box.
    std::function<void(const std::string&)> messageSink;

private:
    struct Item;
    friend struct FrmMainWindowProc;
    std::intptr_t handle(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    void Layout();
    void ApplyFont();
    void Command(int id, int notification);
    bool PreTranslate(void* message);
    void RunSpeedTest();

    void* window_ = nullptr;
    void* tooltips_ = nullptr;
    std::unique_ptr<void, void (*)(void*)> font_{nullptr, nullptr};
    unsigned dpi_ = 96;
    bool closed_ = false;
    std::vector<Item> controls_;
    std::vector<std::function<void()>> menuActions_;
    FrmMain* form_ = nullptr;
    FrmExtras* extras_ = nullptr;
};

} // namespace velmora::app

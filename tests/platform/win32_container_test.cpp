// The container of windowless controls in a real window, under Wine: what it
// paints (each control only inside its rectangle, over the background),
// what it asks to repaint, and where the system's pointer messages go.

#include "control/aic_alpha_image.h"
#include "platform/gdi/blit.h"
#include "platform/gdi/gdi.h"
#include "platform/host/data_object.h"
#include "platform/picture/icon.h"
#include "platform/system/environment.h"
#include "platform/win32/win32_container.h"
#include "tests/platform/win32_desktop.h"
#include "tests/support/image_files.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace platform;

namespace {

// Fills far more than its own area, and takes the pointer on its left half
// only; logs the pointer events it gets.
class Swatch final : public WindowlessControl {
public:
    Swatch(std::uint32_t bgra, std::vector<std::string>& log, std::string name)
        : bgra_(bgra), log_(log), name_(std::move(name)) {}
    void Paint(HDC hdc, int x, int y, const RECT&) override {
        // Everything it can reach, as a control with a shadow might.
        const HBRUSH brush =
            CreateSolidBrush(RGB((bgra_ >> 16) & 0xFF, (bgra_ >> 8) & 0xFF, bgra_ & 0xFF));
        FillRect(hdc, {-1000, -1000, 1000, 1000}, brush);
        DeleteObject(brush);
        origins.push_back({x, y});
    }
    void HitTest(int x, int, int& result) override {
        if (x < width / 2) result = HITRESULT_HIT;
    }
    void MouseDown(std::int16_t button, std::int16_t, int x, int y) override {
        log_.push_back(name_ + " down " + std::to_string(button) + " " + std::to_string(x) + "," +
                       std::to_string(y));
    }
    void MouseMove(std::int16_t button, std::int16_t, int x, int y) override {
        log_.push_back(name_ + " move " + std::to_string(button) + " " + std::to_string(x) + "," +
                       std::to_string(y));
    }
    void MouseUp(std::int16_t button, std::int16_t, int x, int y) override {
        log_.push_back(name_ + " up " + std::to_string(button) + " " + std::to_string(x) + "," +
                       std::to_string(y));
    }
    void OLEDragOver(DataObject& data, std::int32_t& effect, std::int16_t, std::int16_t, int x,
                     int y, std::int16_t state) override {
        log_.push_back(name_ + " drag " + std::to_string(state) + " " + std::to_string(x) + "," +
                       std::to_string(y) + files(data));
        if (state != vbLeave) effect = 1;
    }
    void OLEDragDrop(DataObject& data, std::int32_t& effect, std::int16_t, std::int16_t, int x,
                     int y) override {
        log_.push_back(name_ + " drop " + std::to_string(x) + "," + std::to_string(y) +
                       files(data));
        effect = 1;
    }
    void KeyDown(std::int16_t& code, std::int16_t) override {
        log_.push_back(name_ + " keydown " + std::to_string(code));
    }
    void KeyPress(std::int16_t& ascii) override {
        log_.push_back(name_ + " keypress " + std::to_string(ascii));
    }
    void Click() override { log_.push_back(name_ + " click"); }
    void DblClick() override { log_.push_back(name_ + " dblclick"); }

    int width = 0;
    std::vector<POINT> origins;

private:
    static std::string files(const DataObject& data) {
        std::string out;
        if (data.GetFormat(CF_HDROP))
            for (const std::string& f : data.Files())
                out += " " + f;
        return out;
    }

    std::uint32_t bgra_;
    std::vector<std::string>& log_;
    std::string name_;
};

LPARAM at(int x, int y) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(y) << 16) |
                               (static_cast<std::uint32_t>(x) & 0xFFFF));
}

class Win32ContainerTest : public ::testing::Test {
protected:
    void SetUp() override {
        scope->host = &host;
        top = host.CreateWindowExA(0, "#32770", "Form", WS_VISIBLE, 100, 100, 200, 150, 0, 0, 0,
                                   nullptr);
        ASSERT_NE(top, 0u);
        container =
            std::make_unique<Win32ControlContainer>(host, top, RECT{10, 10, 170, 130}, "picBox");
        container->setBackground(RGB(0x10, 0x20, 0x30));
        red.width = 200; // takes all of itself
        blue.width = 60;
        // Blue overlaps red's right part and lies on top of it.
        attach(red, "red", {10, 10, 70, 60});
        attach(blue, "blue", {40, 30, 100, 80});
        real = host.nativeWindow(container->window());
        ASSERT_NE(real, 0u);
    }
    void TearDown() override {
        for (const auto& site : container->sites())
            container->detach(*site);
        container.reset();
    }
    void attach(Swatch& control, const char* name, const RECT& extent) {
        ContainerSite& site = container->addSite("Swatch", name, extent);
        container->attach(site, control, nullptr);
    }
    void paintNow() {
        win32_test::PaintNow(real);
        ASSERT_NE(container->canvas(), nullptr);
    }

    ScopedEnvironment scope;
    Win32Host host;
    HWND top = 0;
    std::vector<std::string> log;
    Swatch red{0xFFFF0000u, log, "red"};
    Swatch blue{0xFF0000FFu, log, "blue"};
    std::unique_ptr<Win32ControlContainer> container;
    std::uintptr_t real = 0;
};

TEST_F(Win32ContainerTest, PaintsEachControlOnlyInsideItsRectangleOverTheBackground) {
    paintNow();
    const MemoryCanvas& canvas = *container->canvas();
    EXPECT_EQ(canvas.width(), 160);
    EXPECT_EQ(canvas.height(), 120);
    const std::uint32_t background = 0xFF102030u;
    struct Probe {
        int x, y;
        std::uint32_t expected;
    };
    for (const Probe& p :
         {Probe{5, 5, background}, Probe{10, 10, 0xFFFF0000u}, Probe{39, 59, 0xFFFF0000u},
          Probe{40, 30, 0xFF0000FFu}, Probe{69, 59, 0xFF0000FFu}, Probe{99, 79, 0xFF0000FFu},
          Probe{100, 80, background}, Probe{69, 20, 0xFFFF0000u}, Probe{20, 70, background},
          Probe{159, 119, background}})
        EXPECT_EQ(canvas.pixel(p.x, p.y) & 0xFFFFFFu, p.expected & 0xFFFFFFu) << p.x << "," << p.y;
    ASSERT_FALSE(red.origins.empty());
    EXPECT_EQ(red.origins.back(), (POINT{0, 0})) << "its own part of the canvas";

    // A repaint asked for part of a control is all that is repainted, and
    // only what meets it paints again.
    int l = 0, t = 0, r = 0, b = 0;
    EXPECT_FALSE(win32_test::PendingPaint(real, l, t, r, b));
    const std::size_t redPaints = red.origins.size();
    const std::size_t bluePaints = blue.origins.size();
    RECT part{50, 40, 60, 50}; // blue's own pixels, outside red
    container->site("blue")->Invalidate(&part);
    ASSERT_TRUE(win32_test::PendingPaint(real, l, t, r, b));
    EXPECT_EQ((RECT{l, t, r, b}), (RECT{90, 70, 100, 80}));
    paintNow();
    EXPECT_EQ(red.origins.size(), redPaints);
    EXPECT_EQ(blue.origins.size(), bluePaints + 1);
    EXPECT_EQ(blue.origins.back(), (POINT{-50, -40})) << "the control starts left of the part";
}

TEST_F(Win32ContainerTest, ThePointerGoesToTheControlThatTakesItAndStaysWhileAButtonIsDown) {
    // Blue takes only its left half; its right half reaches past red, so
    // the point there belongs to the window behind.
    EXPECT_EQ(container->siteAt(45, 35), container->site("blue"));
    EXPECT_EQ(container->siteAt(20, 20), container->site("red"));
    EXPECT_EQ(container->siteAt(90, 35), nullptr);
    POINT screen{90, 35};
    host.ClientToScreen(container->window(), &screen);
    EXPECT_EQ(win32_test::Send(real, WM_NCHITTEST, 0, at(screen.x, screen.y)), HTTRANSPARENT);
    screen = {45, 35};
    host.ClientToScreen(container->window(), &screen);
    EXPECT_EQ(win32_test::Send(real, WM_NCHITTEST, 0, at(screen.x, screen.y)), HTCLIENT);

    win32_test::Send(real, WM_MOUSEMOVE, 0, at(20, 20));
    win32_test::Send(real, WM_LBUTTONDOWN, MK_LBUTTON, at(20, 20));
    EXPECT_EQ(host.GetCapture(), container->window()) << "held while a button is down";
    win32_test::Send(real, WM_MOUSEMOVE, MK_LBUTTON, at(150, 100));
    win32_test::Send(real, WM_LBUTTONUP, 0, at(150, 100));
    EXPECT_EQ(host.GetCapture(), 0u);
    EXPECT_EQ(log, (std::vector<std::string>{"red move 0 10,10", "red down 1 10,10",
                                             "red move 1 140,90", "red up 1 140,90"}))
        << "released elsewhere: no click";

    log.clear();
    win32_test::Send(real, WM_RBUTTONDOWN, MK_RBUTTON, at(45, 35));
    win32_test::Send(real, WM_RBUTTONUP, 0, at(45, 35));
    win32_test::Send(real, WM_LBUTTONDOWN, MK_LBUTTON, at(45, 35));
    win32_test::Send(real, WM_LBUTTONUP, 0, at(45, 35));
    win32_test::Send(real, WM_LBUTTONDBLCLK, MK_LBUTTON, at(45, 35));
    win32_test::Send(real, WM_LBUTTONUP, 0, at(45, 35));
    EXPECT_EQ(log, (std::vector<std::string>{"blue down 2 5,5", "blue up 2 5,5", "blue click",
                                             "blue down 1 5,5", "blue up 1 5,5", "blue click",
                                             "blue dblclick", "blue up 1 5,5"}));

    log.clear();
    container->site("blue")->SetEnabled(false);
    win32_test::Send(real, WM_LBUTTONDOWN, MK_LBUTTON, at(45, 35));
    win32_test::Send(real, WM_LBUTTONUP, 0, at(45, 35));
    EXPECT_EQ(log, (std::vector<std::string>{"red down 1 35,25", "red up 1 35,25", "red click"}))
        << "a disabled control lets the pointer through to the one below";

    log.clear();
    win32_test::Send(real, WM_LBUTTONDOWN, MK_LBUTTON, at(20, 20));
    host.SetCapture(top); // another window takes the pointer
    win32_test::Send(real, WM_LBUTTONUP, 0, at(20, 20));
    EXPECT_EQ(log, (std::vector<std::string>{"red down 1 10,10"}))
        << "a press whose capture is lost ends without a release";
    host.ReleaseCapture();
}

TEST_F(Win32ContainerTest, FilesDraggedOntoAControlThatTakesDropsReachIt) {
    container->site("red")->SetOLEDropMode(1);
    const auto screen = [&](int x, int y) {
        POINT p{x, y};
        host.ClientToScreen(container->window(), &p);
        return std::pair<int, int>{p.x, p.y};
    };
    // Onto red, over blue (which takes no drops), back onto red, dropped.
    const std::vector<std::uint32_t> effects = win32_test::DragFiles(
        real, {L"C:\\a.png", L"C:\\b\u00e9.png"},
        {screen(20, 20), screen(45, 35), screen(21, 20), screen(22, 21)}, true);
    ASSERT_FALSE(effects.empty()) << "the container's window takes drags";
    EXPECT_EQ(effects, (std::vector<std::uint32_t>{1, 0, 1, 1}));
    EXPECT_EQ(log, (std::vector<std::string>{"red drag 0 10,10 C:\\a.png C:\\b\u00e9.png",
                                             "red drag 1 35,25 C:\\a.png C:\\b\u00e9.png",
                                             "red drag 0 11,10 C:\\a.png C:\\b\u00e9.png",
                                             "red drop 12,11 C:\\a.png C:\\b\u00e9.png"}));

    log.clear();
    win32_test::DragFiles(real, {L"C:\\a.png"}, {screen(20, 20)}, false);
    EXPECT_EQ(log, (std::vector<std::string>{"red drag 0 10,10 C:\\a.png", "red drag 1 0,0"}))
        << "a drag that goes away leaves";
}

TEST_F(Win32ContainerTest, TheKeyboardGoesToTheControlLastPressed) {
    win32_test::Send(real, WM_KEYDOWN, 0x41, 0);
    EXPECT_TRUE(log.empty()) << "no control pressed yet";
    win32_test::Send(real, WM_LBUTTONDOWN, MK_LBUTTON, at(45, 35));
    win32_test::Send(real, WM_LBUTTONUP, 0, at(45, 35));
    log.clear();
    win32_test::Send(real, WM_KEYDOWN, 0x41, 0);
    win32_test::Send(real, WM_CHAR, 'a', 0);
    EXPECT_EQ(log, (std::vector<std::string>{"blue keydown 65", "blue keypress 97"}));
}

TEST_F(Win32ContainerTest, AMouseIconBecomesARealCursorWithItsHotSpot) {
    BITMAPINFOHEADER header;
    header.biWidth = 8;
    header.biHeight = 8;
    header.biBitCount = 32;
    void* bits = nullptr;
    const HBITMAP color = CreateDIBSection(0, header, {}, &bits);
    ASSERT_NE(bits, nullptr);
    std::fill_n(static_cast<std::uint32_t*>(bits), 64, 0xFFFF0000u);
    header.biBitCount = 1;
    const RGBQUAD mono[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    const HBITMAP mask = CreateDIBSection(0, header, mono, &bits);
    ICONINFO info;
    info.fIcon = false;
    info.xHotspot = 3;
    info.yHotspot = 5;
    info.hbmMask = mask;
    info.hbmColor = color;
    const HICON icon = CreateIconIndirect(info);
    DeleteObject(mask);
    DeleteObject(color);
    ASSERT_NE(icon, 0u);

    Win32ContainerSite& site = *container->site("red");
    site.SetMousePointer(99, icon);
    DestroyIcon(icon);
    int x = 0, y = 0;
    ASSERT_TRUE(site.cursor().valid());
    ASSERT_TRUE(site.cursor().hotSpot(x, y));
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 5);
    site.SetMousePointer(0, 0);
    EXPECT_FALSE(site.cursor().valid()) << "the container's default";
}

// A real image control: its picture shows in the window, and it notices the
// real pointer arriving and, on its tracking timer, leaving.
TEST(Win32ContainerImage, ShowsItsPictureAndNoticesThePointerComeAndGo) {
    ScopedEnvironment scope;
    Win32Host host;
    scope->host = &host;
    const HWND top =
        host.CreateWindowExA(0, "#32770", "Form", WS_VISIBLE, 200, 150, 200, 150, 0, 0, 0, nullptr);
    Win32ControlContainer container(host, top, {0, 0, 120, 80}, "picBox");
    container.setBackground(RGB(255, 255, 255));
    std::vector<std::string> events;
    container.setEventHandler([&](Win32ContainerSite&, std::string_view name, std::span<EventArg>) {
        if (name == "MouseEnter" || name == "MouseExit") events.emplace_back(name);
    });
    Win32ContainerSite& site =
        container.addSite(aicAlphaImage::kTypeName, "Image", {10, 10, 58, 58});
    auto image = std::make_unique<aicAlphaImage>(site);
    container.attach(site, *image, image.get());
    image->InitProperties();
    std::vector<std::uint8_t> bits;
    for (int i = 0; i < 48 * 48; ++i)
        bits.insert(bits.end(), {0xC0, 0x00, 0x00}); // blue, as BGR
    std::int32_t w = 0, h = 0, d = 0;
    ASSERT_TRUE(image->LoadImage_FromArray(
        testfiles::bmpFile(testfiles::infoHeader(48, 48, 24), bits), w, h, d));

    const std::uintptr_t real = host.nativeWindow(container.window());
    win32_test::PaintNow(real);
    ASSERT_NE(container.canvas(), nullptr);
    EXPECT_EQ(container.canvas()->pixel(34, 34) & 0xFFFFFFu, 0x0000C0u) << "the picture";
    EXPECT_EQ(container.canvas()->pixel(5, 5) & 0xFFFFFFu, 0xFFFFFFu) << "the background";

    POINT over{30, 30};
    host.ClientToScreen(container.window(), &over);
    if (!win32_test::MoveCursorTo(over.x, over.y)) GTEST_SKIP() << "the pointer cannot be moved";
    win32_test::Send(real, WM_MOUSEMOVE, 0, at(30, 30));
    EXPECT_EQ(events, std::vector<std::string>{"MouseEnter"});
    ASSERT_TRUE(win32_test::MoveCursorTo(over.x + 300, over.y + 300));
    EXPECT_TRUE(host.RunUntil([&] { return events.size() == 2; }, 20000));
    EXPECT_EQ(events, (std::vector<std::string>{"MouseEnter", "MouseExit"}));

    image->Terminate();
    container.detach(site);
}

} // namespace

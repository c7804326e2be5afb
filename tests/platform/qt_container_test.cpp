// The windowless-control container on Qt, headless (offscreen platform):
// painting over the background, hit testing that lets points fall through,
// the pointer's events in their order, and the control's pointer shapes.

#include "control/aic_alpha_image.h"
#include "platform/gdi/gdi.h"
#include "platform/host/data_object.h"
#include "platform/picture/icon.h"
#include "platform/qt/qt_container.h"
#include "tests/support/image_files.h"
#include "tests/support/qt_spin.h"

#include <QApplication>
#include <QDropEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QUrl>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using namespace platform;

namespace {

// A control that fills its left half with one colour and takes the pointer
// only there; it records what reaches it.
class HalfControl final : public WindowlessControl {
public:
    HalfControl(ContainerSite& site, std::uint32_t bgra) : site_(site), bgra_(bgra) {}

    void Paint(HDC hdc, int x, int y, const RECT& clip) override {
        DIBSECTION section;
        if (!GetObjectDIBSection(GetCurrentBitmap(hdc), section)) return;
        const RECT e = site_.Extent();
        const int w = (e.right - e.left) / 2, h = e.bottom - e.top;
        auto* bits = static_cast<std::uint8_t*>(section.dsBm.bmBits);
        for (int row = std::max<int>(y, clip.top); row < std::min<int>(y + h, clip.bottom); ++row)
            for (int col = std::max<int>(x, clip.left); col < std::min<int>(x + w, clip.right);
                 ++col)
                std::memcpy(bits + (static_cast<std::size_t>(section.dsBm.bmHeight - 1 - row) *
                                        section.dsBm.bmWidth +
                                    col) *
                                       4,
                            &bgra_, 4);
        ++paints;
    }
    void HitTest(int x, int, int& hitResult) override {
        if (x < (site_.Extent().right - site_.Extent().left) / 2) hitResult = HITRESULT_HIT;
    }
    void MouseDown(std::int16_t b, std::int16_t s, int x, int y) override {
        log.push_back("down " + std::to_string(b) + ' ' + std::to_string(s) + ' ' +
                      std::to_string(x) + ',' + std::to_string(y));
    }
    void MouseMove(std::int16_t b, std::int16_t, int x, int y) override {
        log.push_back("move " + std::to_string(b) + ' ' + std::to_string(x) + ',' +
                      std::to_string(y));
    }
    void MouseUp(std::int16_t b, std::int16_t, int x, int y) override {
        log.push_back("up " + std::to_string(b) + ' ' + std::to_string(x) + ',' +
                      std::to_string(y));
    }
    void Click() override { log.emplace_back("click"); }
    void KeyDown(std::int16_t& code, std::int16_t shift) override {
        log.push_back("keydown " + std::to_string(code) + ' ' + std::to_string(shift));
    }
    void KeyPress(std::int16_t& ascii) override {
        log.push_back("keypress " + std::to_string(ascii));
    }
    void KeyUp(std::int16_t& code, std::int16_t) override {
        log.push_back("keyup " + std::to_string(code));
    }
    void OLEDragOver(DataObject& data, std::int32_t& effect, std::int16_t, std::int16_t, int x,
                     int y, std::int16_t state) override {
        log.push_back("over " + std::to_string(state) + ' ' + std::to_string(x) + ',' +
                      std::to_string(y) + ' ' + std::to_string(data.Files().size()));
        effect = 1;
    }
    void OLEDragDrop(DataObject& data, std::int32_t& effect, std::int16_t, std::int16_t, int x,
                     int y) override {
        log.push_back("drop " + std::to_string(x) + ',' + std::to_string(y) + ' ' +
                      (data.Files().empty() ? std::string("-") : data.Files().front()) + ' ' +
                      (data.GetFormat(CF_HDROP) ? "hdrop" : "none"));
        effect = 1;
    }
    void DblClick() override { log.emplace_back("dblclick"); }
    void Resize() override { log.emplace_back("resize"); }
    void Show() override { log.emplace_back("show"); }
    void Hide() override { log.emplace_back("hide"); }

    std::vector<std::string> log;
    int paints = 0;

private:
    ContainerSite& site_;
    std::uint32_t bgra_;
};

struct Form {
    QtHost host;
    HWND window = host.CreateWindowExA(0, "#32770", "form", WS_OVERLAPPEDWINDOW, 0, 0, 120, 60, 0,
                                       0, 0, nullptr);
    QtControlContainer container{host, window};
    QtContainerSite& lower = container.addSite("aicAlphaImage", "Lower", {20, 10, 100, 40});
    QtContainerSite& upper = container.addSite("aicAlphaImage", "Upper", {30, 20, 70, 50});
    HalfControl blue{lower, 0xFF0000FFu};
    HalfControl green{upper, 0xFF00FF00u};

    Form() {
        container.resize(100, 60);
        container.setBackground(QColor(255, 0, 0));
        container.attach(lower, blue, nullptr);
        container.attach(upper, green, nullptr);
    }
    ~Form() {
        if (container.site("Upper") != nullptr) container.detach(upper);
        container.detach(lower);
    }

    bool send(QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::LeftButton,
              Qt::MouseButtons held = Qt::NoButton) {
        QMouseEvent event(type, QPointF(at), QPointF(container.mapToGlobal(at)), button, held,
                          Qt::ShiftModifier);
        event.setAccepted(true);
        QApplication::sendEvent(&container, &event);
        return event.isAccepted();
    }
};

QRgb pixel(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFFu;
}

TEST(QtContainer, PaintsTheControlsInOrderOverTheBackground) {
    Form form;
    const QImage shot = form.container.grab().toImage();
    ASSERT_EQ(shot.width(), 100);
    EXPECT_EQ(pixel(shot, 5, 5), 0xFF0000u) << "background";
    EXPECT_EQ(pixel(shot, 25, 12), 0x0000FFu) << "lower control";
    EXPECT_EQ(pixel(shot, 35, 25), 0x00FF00u) << "the upper control is drawn over the lower";
    EXPECT_EQ(pixel(shot, 29, 39), 0x0000FFu) << "bottom row of the lower control, not flipped";
    EXPECT_EQ(pixel(shot, 55, 25), 0x0000FFu) << "the lower control shows through";
    EXPECT_EQ(pixel(shot, 65, 12), 0xFF0000u) << "the lower control's right half draws nothing";
    EXPECT_GT(form.blue.paints, 0);

    // A control's Controls() lists every attached control, first to last.
    const auto controls = form.lower.Controls();
    ASSERT_EQ(controls.size(), 2u);
    EXPECT_EQ(controls[0].typeName, "aicAlphaImage");
}

TEST(QtContainer, PlacesTellTheirControlOfNewSizesAndCanBeHiddenRenamedAndRemoved) {
    Form form;
    form.lower.Move({25, 15, 105, 45}); // moved only
    EXPECT_TRUE(form.blue.log.empty());
    form.lower.Move({25, 15, 65, 45});
    EXPECT_EQ(form.blue.log, std::vector<std::string>{"resize"});

    // A hidden control is neither drawn nor asked about the pointer.
    form.upper.setVisible(false);
    EXPECT_EQ(form.green.log, std::vector<std::string>{"hide"});
    EXPECT_EQ(form.container.siteAt(35, 25), &form.lower);
    EXPECT_EQ(pixel(form.container.grab().toImage(), 35, 25), 0x0000FFu) << "the lower shows";
    form.upper.setVisible(true);
    EXPECT_EQ(form.container.siteAt(35, 25), &form.upper);

    form.upper.setName("Top");
    EXPECT_EQ(form.container.site("Upper"), nullptr);
    EXPECT_EQ(form.container.site("Top"), &form.upper);
    form.container.removeSite(form.upper); // detaches its control first
    EXPECT_EQ(form.container.site("Top"), nullptr);
    EXPECT_EQ(form.lower.Controls().size(), 1u);
}

// A 48 x 48 opaque picture of one colour (0xRRGGBB), as a bitmap file.
std::vector<std::uint8_t> squareBitmap(std::uint32_t rgb) {
    std::vector<std::uint8_t> bits;
    for (int i = 0; i < 48 * 48; ++i) {
        bits.push_back(static_cast<std::uint8_t>(rgb));
        bits.push_back(static_cast<std::uint8_t>(rgb >> 8));
        bits.push_back(static_cast<std::uint8_t>(rgb >> 16));
    }
    return testfiles::bmpFile(testfiles::infoHeader(48, 48, 24), bits);
}

// Two image controls side by side in a box: the neighbour is drawn first,
// so whatever the second draws past its own rectangle lands on it.
struct ImageBox {
    QtHost host;
    HWND window = host.CreateWindowExA(0, "#32770", "form", WS_OVERLAPPEDWINDOW, 0, 0, 120, 80, 0,
                                       0, 0, nullptr);
    QtControlContainer container{host, window};
    QtContainerSite& neighbourSite =
        container.addSite(aicAlphaImage::kTypeName, "Neighbour", {48, 0, 96, 48});
    QtContainerSite& imageSite =
        container.addSite(aicAlphaImage::kTypeName, "Image", {0, 0, 48, 48});
    std::unique_ptr<aicAlphaImage> neighbour = std::make_unique<aicAlphaImage>(neighbourSite);
    std::unique_ptr<aicAlphaImage> image = std::make_unique<aicAlphaImage>(imageSite);

    ImageBox() {
        container.resize(110, 70);
        container.setBackground(QColor(255, 255, 255));
        container.attach(neighbourSite, *neighbour, neighbour.get());
        container.attach(imageSite, *image, image.get());
        load(*neighbour, 0x00C000);
        load(*image, 0x0000C0);
        image->AutoSize(false);
    }
    ~ImageBox() {
        for (auto* c : {image.get(), neighbour.get()})
            c->Terminate();
        container.detach(imageSite);
        container.detach(neighbourSite);
    }
    static void load(aicAlphaImage& control, std::uint32_t rgb) {
        std::int32_t w = 0, h = 0, d = 0;
        ASSERT_TRUE(control.LoadImage_FromArray(squareBitmap(rgb), w, h, d));
    }
};

// The pixels of `shot` outside `own` that differ from `reference`, as
// "x,y" texts (at most a few).
std::vector<std::string> changedOutside(const QImage& shot, const QImage& reference,
                                        const QRect& own) {
    std::vector<std::string> out;
    for (int y = 0; y < shot.height() && out.size() < 4; ++y)
        for (int x = 0; x < shot.width() && out.size() < 4; ++x)
            if (!own.contains(x, y) && pixel(shot, x, y) != pixel(reference, x, y))
                out.push_back(std::to_string(x) + ',' + std::to_string(y));
    return out;
}

TEST(QtContainer, AControlDrawsOnlyInsideItsOwnRectangle) {
    // Each way a real control draws past its rectangle: beside it is the
    // neighbour, below it the empty box.
    struct Case {
        const char* name;
        std::function<void(aicAlphaImage&)> apply;
    };
    const Case cases[] = {
        {"shadow offset 6",
         [](aicAlphaImage& c) {
             c.ShadowEnabled(true);
             c.OffsetShadow(6, 6);
         }},
        {"image offset 10 with its shadow",
         [](aicAlphaImage& c) {
             c.ShadowEnabled(true);
             std::int32_t x = 10, y = 10, sx = 6, sy = 6;
             c.OffsetImage(true, x, y, sx, sy);
         }},
        {"turned at actual size",
         [](aicAlphaImage& c) {
             c.ScaleMethod(3);
             c.RotateEnabled(true);
             c.Rotation(45);
         }},
    };
    for (const Case& test : cases) {
        ImageBox box;
        const QRect own(0, 0, 48, 48);
        box.imageSite.setVisible(false);
        const QImage without = box.container.grab().toImage();
        box.imageSite.setVisible(true);
        test.apply(*box.image);
        const QImage shot = box.container.grab().toImage();
        EXPECT_EQ(changedOutside(shot, without, own), std::vector<std::string>{}) << test.name;
        EXPECT_NE(pixel(shot, 24, 24), 0xFFFFFFu) << test.name << ": the control itself shows";
    }
}

TEST(QtContainer, WhatAControlDrewIsRepaintedWhenItsDrawingMoves) {
    // In a shown window only what was invalidated is painted again: after
    // the shadow moves, the window holds what a whole fresh paint gives.
    ImageBox box;
    box.image->ShadowEnabled(true);
    box.image->OffsetShadow(6, 6);
    box.container.show();
    QScreen* screen = box.container.screen();
    const auto onScreen = [&] { return screen->grabWindow(box.container.winId()).toImage(); };
    ASSERT_TRUE(velmora::testing::spinUntil([&] { return !onScreen().isNull(); }));
    for (const QPoint offset : {QPoint(-6, -6), QPoint(0, 9), QPoint(6, 6)}) {
        box.image->OffsetShadow(offset.x(), offset.y());
        QImage fresh = box.container.grab().toImage();
        // The window shows the change once Qt has painted it.
        velmora::testing::spinUntil([&] {
            const QImage now = onScreen();
            return now.size() == fresh.size() && changedOutside(now, fresh, QRect()).empty();
        });
        EXPECT_EQ(changedOutside(onScreen(), fresh, QRect()), std::vector<std::string>{})
            << offset.x() << ',' << offset.y();
    }
}

TEST(QtContainer, HitTestingPicksTheTopmostTakerAndLetsOtherPointsThrough) {
    Form form;
    EXPECT_EQ(form.container.siteAt(35, 25), &form.upper);
    // The upper control's right half does not take the point: it falls to
    // the lower control under it.
    EXPECT_EQ(form.container.siteAt(55, 25), &form.lower);
    EXPECT_EQ(form.container.siteAt(65, 12), nullptr);
    EXPECT_EQ(form.container.siteAt(5, 5), nullptr);
    EXPECT_FALSE(form.send(QEvent::MouseButtonPress, {65, 12})) << "left to the widget behind";
    // A disabled control lets the pointer through to the one below.
    form.upper.SetEnabled(false);
    EXPECT_EQ(form.container.siteAt(35, 25), &form.lower);
    form.upper.SetEnabled(true);
    EXPECT_TRUE(form.green.log.empty());
    EXPECT_TRUE(form.blue.log.empty());
}

TEST(QtContainer, PointerEventsArriveInTheirOrderWithTheControlsCoordinates) {
    Form form;
    ASSERT_TRUE(form.send(QEvent::MouseButtonPress, {35, 25}, Qt::LeftButton, Qt::LeftButton));
    // While pressed, moves go to the pressed control even off it.
    form.send(QEvent::MouseMove, {80, 55}, Qt::NoButton, Qt::LeftButton);
    form.send(QEvent::MouseButtonRelease, {36, 26});
    form.send(QEvent::MouseButtonDblClick, {36, 26}, Qt::LeftButton, Qt::LeftButton);
    form.send(QEvent::MouseButtonRelease, {36, 26});
    EXPECT_EQ(form.green.log, (std::vector<std::string>{"down 1 1 5,5", "move 1 50,35", "up 1 6,6",
                                                        "click", "dblclick", "up 1 6,6"}));

    // A release off the control ends the press without a click.
    form.green.log.clear();
    form.send(QEvent::MouseButtonPress, {35, 25}, Qt::RightButton, Qt::RightButton);
    form.send(QEvent::MouseButtonRelease, {90, 5}, Qt::RightButton);
    EXPECT_EQ(form.green.log, (std::vector<std::string>{"down 2 1 5,5", "up 2 60,-15"}));
    EXPECT_TRUE(form.blue.log.empty());
}

TEST(QtContainer, TheControlsPointerShowsOverItAndACustomOneComesFromItsIcon) {
    Form form;
    form.upper.SetMousePointer(2, 0);
    form.send(QEvent::MouseMove, {35, 25}, Qt::NoButton);
    EXPECT_EQ(form.container.cursor().shape(), Qt::CrossCursor);
    form.send(QEvent::MouseMove, {5, 5}, Qt::NoButton);
    EXPECT_EQ(form.container.cursor().shape(), Qt::ArrowCursor);

    // A 2 x 1 icon: half-transparent red, then opaque green.
    BITMAPINFOHEADER h;
    h.biWidth = 2;
    h.biHeight = 1;
    h.biBitCount = 32;
    void* colorBits = nullptr;
    const HBITMAP color = CreateDIBSection(0, h, {}, &colorBits);
    const std::uint32_t colors[2] = {0x80FF0000u, 0xFF00FF00u};
    std::memcpy(colorBits, colors, sizeof colors);
    BITMAPINFOHEADER mh = h;
    mh.biBitCount = 1;
    const RGBQUAD mono[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    void* maskBits = nullptr;
    const HBITMAP mask = CreateDIBSection(0, mh, mono, &maskBits);
    std::memset(maskBits, 0, 4);
    ICONINFO info;
    info.fIcon = false;
    info.xHotspot = 1;
    info.hbmMask = mask;
    info.hbmColor = color;
    const HICON icon = CreateIconIndirect(info);
    DeleteObject(mask);
    DeleteObject(color);
    ASSERT_NE(icon, 0u);

    const QCursor custom = CursorForMousePointer(99, icon);
    EXPECT_EQ(custom.shape(), Qt::BitmapCursor);
    EXPECT_EQ(custom.hotSpot(), QPoint(1, 0));
    const QImage image = custom.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_NEAR(qAlpha(image.pixel(0, 0)), 128, 1);
    EXPECT_NEAR(qRed(image.pixel(0, 0)), 255, 2);
    EXPECT_EQ(image.pixel(1, 0), 0xFF00FF00u);

    form.upper.SetMousePointer(99, icon);
    form.send(QEvent::MouseMove, {35, 25}, Qt::NoButton);
    EXPECT_EQ(form.container.cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(CursorForMousePointer(99, 0).shape(), Qt::ArrowCursor) << "99 without an icon";
    EXPECT_EQ(CursorForMousePointer(42, 0).shape(), Qt::ArrowCursor);
    DestroyIcon(icon);
}

TEST(QtContainer, KeysGoToTheControlLastPressedAndFilesDropOntoAControlThatTakesThem) {
    Form form;
    form.send(QEvent::MouseButtonPress, {35, 25}, Qt::LeftButton, Qt::LeftButton);
    form.send(QEvent::MouseButtonRelease, {35, 25});
    form.green.log.clear();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier, QStringLiteral("A"));
    QApplication::sendEvent(&form.container, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Left, Qt::NoModifier);
    QApplication::sendEvent(&form.container, &release);
    EXPECT_EQ(form.green.log,
              (std::vector<std::string>{"keydown 65 1", "keypress 65", "keyup 37"}));

    // Drops reach only a control whose drop mode is manual.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/picture.png"))});
    const auto drop = [&](QPoint at) {
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form.container, &enter);
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form.container, &dropped);
        return dropped.isAccepted();
    };
    form.green.log.clear();
    EXPECT_FALSE(drop({35, 25}));
    EXPECT_TRUE(form.green.log.empty());
    form.upper.SetOLEDropMode(1);
    EXPECT_TRUE(drop({35, 25}));
    EXPECT_EQ(form.green.log,
              (std::vector<std::string>{"over 0 5,5 1", "drop 5,5 /tmp/picture.png hdrop"}));
}

} // namespace

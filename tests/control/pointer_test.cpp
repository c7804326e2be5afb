// Hit testing by HitTest mode on an image with alpha, pointer tracking on
// virtual time, the hand-over between two controls, the button state behind
// Click and DblClick, and the pass-through events.

#include "control_fixture.h"
#include "platform/host/data_object.h"

#include <cstring>

using namespace controltest;

namespace {

using platform::HITRESULT_HIT;
using platform::HITRESULT_OUTSIDE;

// 16 x 16: the left four columns and the top two rows are transparent;
// rows 2 to 15 are opaque in columns 4 to 7 and 12 to 15, with a gap
// (columns 8 to 11) in rows 2 to 9.
inline std::uint32_t holedPixel(int x, int y) {
    if (x < 4 || y < 2) return 0;
    if (x >= 8 && x < 12 && y < 10) return 0;
    return 0xFF204060u;
}

Bytes holedIcon() {
    testfiles::IcoEntry e;
    e.width = 16;
    e.height = 16;
    e.bitCount = 32;
    e.image = testfiles::bitmapEntry(16, 16, 32, {}, holedPixel, [](int, int) { return false; });
    return testfiles::icoFile({e});
}

class Pointer : public ControlTest {
protected:
    // The control at (10, 10) of the form, 16 x 16.
    Pointer() : ControlTest(true, {10, 10, 26, 26}) {
        control->InitProperties();
        std::int32_t w = 16, h = 16, d = 32;
        EXPECT_TRUE(control->LoadImage_FromArray(holedIcon(), w, h, d));
    }
    bool hits(int x, int y) {
        int result = HITRESULT_OUTSIDE;
        control->HitTest(x, y, result);
        return result == HITRESULT_HIT;
    }
    // Puts the cursor over control pixel (x, y) and asks the control.
    bool pointAt(int x, int y) {
        host.setCursorPos({10 + x, 10 + y});
        return hits(x, y);
    }
    platform::UINT_PTR timerId() const {
        return static_cast<platform::UINT_PTR>(control->identity());
    }
};

TEST_F(Pointer, HitTestModesOnAnImageWithAlpha) {
    ASSERT_EQ(site->Extent().right - site->Extent().left, 16);
    // 0: the whole control, transparent pixels included.
    EXPECT_TRUE(hits(0, 0));
    EXPECT_TRUE(hits(15, 15));
    EXPECT_FALSE(control->hasHitRegion());
    // 1: the bounding box of the opaque pixels.
    control->HitTest(1);
    EXPECT_FALSE(control->hasHitRegion());
    EXPECT_FALSE(hits(2, 8));
    EXPECT_FALSE(hits(8, 1));
    EXPECT_TRUE(hits(9, 5));
    EXPECT_TRUE(hits(4, 2));
    // 2: first to last opaque pixel of each row.
    control->HitTest(2);
    EXPECT_TRUE(control->hasHitRegion());
    EXPECT_TRUE(hits(9, 5)) << "inside the row's span";
    EXPECT_FALSE(hits(3, 5));
    // 3: every opaque pixel.
    control->HitTest(3);
    EXPECT_FALSE(hits(9, 5)) << "the gap is transparent";
    EXPECT_TRUE(hits(9, 12));
    EXPECT_TRUE(hits(5, 5));
    EXPECT_FALSE(hits(16, 5)) << "outside the control";

    // Moved with the image.
    std::int32_t x = 2, y = 1, sx = 0, sy = 0;
    control->OffsetImage(true, x, y, sx, sy);
    EXPECT_FALSE(hits(5, 5));
    EXPECT_TRUE(hits(7, 6));

    // Disabled, or at design time, the hit area is the whole control.
    control->Enabled(false);
    EXPECT_FALSE(control->hasHitRegion());
}

TEST_F(Pointer, WithoutAnImageShapedHitAreaTheWholeControlTakesThePointer) {
    // HitTest 0 is the whole control wherever the image was moved.
    std::int32_t x = 6, y = 5, sx = 0, sy = 0;
    control->OffsetImage(true, x, y, sx, sy);
    EXPECT_TRUE(hits(0, 0));
    EXPECT_TRUE(hits(15, 15));

    // Cleared at run time: the old image's opaque pixels are no hit area.
    control->HitTest(3);
    ASSERT_TRUE(control->hasHitRegion());
    control->ClearImage();
    EXPECT_FALSE(control->hasHitRegion());
    EXPECT_TRUE(hits(0, 0));

    // A control too large for a frame of its opaque pixels takes the
    // pointer everywhere rather than nowhere.
    site->Move({0, 0, 40000, 40000});
    control->AutoSize(false);
    std::int32_t w = 16, h = 16, d = 32;
    ASSERT_TRUE(control->LoadImage_FromArray(holedIcon(), w, h, d));
    control->HitTest(2);
    EXPECT_FALSE(control->hasHitRegion());
    EXPECT_TRUE(hits(100, 100));
}

TEST_F(Pointer, OnlyTheOpaquePixelsOfANearlyClearImageTakeThePointer) {
    control->HitTest(3);
    // Bottom-up rows: the last pixel of the first row is the bottom-right one.
    std::vector<std::uint8_t> clear(16 * 16 * 4, 0);
    clear[15 * 4 + 3] = 1;
    ASSERT_TRUE(control->SetImageBytes(clear));
    ASSERT_TRUE(control->GetSurface().Alpha());
    EXPECT_FALSE(hits(8, 8));
    EXPECT_TRUE(hits(15, 15));
    control->HitTest(1);
    EXPECT_FALSE(hits(14, 15));
    EXPECT_TRUE(hits(15, 15));
}

TEST_F(Pointer, TrackingEntersPollsEveryHundredMillisecondsAndExits) {
    control->HitTest(3);
    ASSERT_TRUE(pointAt(5, 5));
    EXPECT_EQ(site->eventNames(), std::vector<std::string>{"MouseEnter"});
    EXPECT_TRUE(control->isMouseOver());
    EXPECT_EQ(site->Tag(), "Timer");
    EXPECT_TRUE(host.hasTimer(form, timerId())) << "the timer's id is the control's identity";
    ASSERT_TRUE(pointAt(6, 5));
    EXPECT_EQ(site->events.size(), 1u) << "entered once";

    // Still over an opaque pixel at every tick.
    host.advance(300);
    EXPECT_EQ(site->events.size(), 1u);
    EXPECT_TRUE(host.hasTimer(form, timerId()));

    // Onto the gap: the next tick notices.
    host.setCursorPos({10 + 9, 10 + 5});
    host.advance(99);
    EXPECT_EQ(site->events.size(), 1u);
    host.advance(1);
    EXPECT_EQ(site->eventNames(), (std::vector<std::string>{"MouseEnter", "MouseExit"}));
    EXPECT_FALSE(control->isMouseOver());
    EXPECT_EQ(site->Tag(), "");
    EXPECT_FALSE(host.hasTimer(form, timerId()));

    // Over another window the control is left as well.
    ASSERT_TRUE(pointAt(5, 5));
    const platform::HWND other = host.CreateWindowExA(0, "#32770", "Other", platform::WS_VISIBLE, 0,
                                                      0, 100, 100, 0, 0, 0, nullptr);
    host.advance(100);
    EXPECT_EQ(site->events.back().name, "MouseExit");
    host.DestroyWindow(other);

    // A hit test that misses lets go at once.
    ASSERT_TRUE(pointAt(5, 5));
    EXPECT_FALSE(pointAt(9, 5));
    EXPECT_EQ(site->events.back().name, "MouseExit");
    EXPECT_FALSE(host.hasTimer(form, timerId()));
}

TEST_F(Pointer, AControlThatEndsWhileTrackingLeavesNoTimerEvenWithItsTagChanged) {
    ASSERT_TRUE(pointAt(5, 5));
    site->SetTag("the developer's");
    control.reset();
    EXPECT_EQ(host.timerCount(), 0u);
    host.advance(500);
}

TEST_F(Pointer, MovingStraightOntoAnotherControlExitsBeforeEntering) {
    platform::HeadlessSite secondSite(host, form, {26, 10, 42, 26});
    aicAlphaImage second(secondSite);
    const std::vector<platform::SitedControl> controls = {{aicAlphaImage::kTypeName, control.get()},
                                                          {aicAlphaImage::kTypeName, &second}};
    site->controls = controls;
    secondSite.controls = controls;
    control->InitProperties();
    second.InitProperties();
    ASSERT_EQ(second.CrossTalkClass(), control->CrossTalkClass());

    std::vector<std::string> order;
    site->onEvent = [&](const std::string& name, auto) { order.push_back("first." + name); };
    secondSite.onEvent = [&](const std::string& name, auto) { order.push_back("second." + name); };

    ASSERT_TRUE(pointAt(2, 2));
    host.setCursorPos({26 + 1, 12});
    int result = HITRESULT_OUTSIDE;
    second.HitTest(1, 2, result);
    EXPECT_EQ(result, HITRESULT_HIT);
    EXPECT_EQ(order, (std::vector<std::string>{"first.MouseEnter", "first.MouseExit",
                                               "second.MouseEnter"}));
    EXPECT_FALSE(host.hasTimer(form, timerId())) << "the first stopped tracking";
    EXPECT_EQ(site->Tag(), "");
    EXPECT_TRUE(second.isMouseOver());

    // A control that is asked about a point it does not take leaves the
    // control under the pointer alone.
    control->HitTest(3);
    order.clear();
    EXPECT_FALSE(hits(0, 0));
    EXPECT_TRUE(order.empty());
    EXPECT_TRUE(second.isMouseOver());
    host.advance(100);
    EXPECT_TRUE(second.isMouseOver()) << "the pointer is still on it";
    second.Terminate();
}

TEST_F(Pointer, ClickCarriesTheButtonOfTheLastReleaseOfAPressedButton) {
    const auto lastButton = [&] { return std::get<std::int16_t>(site->events.back().args[0]); };
    control->MouseDown(platform::vbLeftButton, 0, 3, 4);
    control->MouseUp(platform::vbLeftButton, 0, 3, 4);
    EXPECT_EQ(control->buttonState(), 0x10);
    control->Click();
    EXPECT_EQ(site->events.back().name, "Click");
    EXPECT_EQ(lastButton(), 1);

    // A release of a button never pressed over the control.
    control->MouseUp(platform::vbRightButton, 0, 3, 4);
    EXPECT_EQ(control->buttonState() >> 4, 0);
    control->Click();
    EXPECT_EQ(lastButton(), 0);
    // The press was used up by its release.
    control->MouseUp(platform::vbLeftButton, 0, 3, 4);
    control->Click();
    EXPECT_EQ(lastButton(), 0);

    control->MouseDown(platform::vbRightButton, 0, 3, 4);
    control->MouseUp(platform::vbRightButton, 0, 3, 4);
    control->DblClick();
    EXPECT_EQ(site->events.back().name, "DblClick");
    EXPECT_EQ(lastButton(), 2);
}

TEST_F(Pointer, PassThroughEventsInTheContainersScaleMode) {
    site->scaleMode = 1; // twips
    control->Refresh();
    control->MouseMove(platform::vbLeftButton, 4, 3, -2);
    ASSERT_EQ(site->events.back().name, "MouseMove");
    const auto& args = site->events.back().args;
    EXPECT_EQ(std::get<std::int16_t>(args[0]), 1);
    EXPECT_EQ(std::get<std::int16_t>(args[1]), 4);
    EXPECT_EQ(std::get<float>(args[2]), 45.0f);
    EXPECT_EQ(std::get<float>(args[3]), -30.0f);
    site->scaleMode = 6; // millimetres
    control->Refresh();
    EXPECT_FLOAT_EQ(control->ToContainerScaleX(96), 25.4f);
    site->scaleMode.reset(); // unreadable: 9, taken as pixels
    control->Refresh();
    EXPECT_EQ(control->ToContainerScaleY(7), 7.0f);

    // Keys: what the handler leaves goes back to the container.
    site->onEvent = [](const std::string& name, std::span<platform::EventArg> a) {
        if (name == "KeyPress") a[0] = std::int16_t{0};
    };
    std::int16_t key = 'a';
    control->KeyPress(key);
    EXPECT_EQ(key, 0);
    std::int16_t code = 13;
    control->KeyDown(code, 1);
    control->KeyUp(code, 1);
    EXPECT_EQ(code, 13);

    const auto events = aicAlphaImage::Events();
    ASSERT_EQ(events.size(), 13u);
    std::vector<std::string> names;
    for (const auto& e : events)
        names.push_back(e.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"Click", "DblClick", "MouseExit", "MouseEnter", "MouseUp",
                                        "MouseMove", "MouseDown", "KeyDown", "KeyPress", "KeyUp",
                                        "OLEDragDrop", "OLEDragOver", "FadeTerminated"}));
    EXPECT_STREQ(events[0].description,
                 "Occurs when the mouse is pressed and released over the control");
}

TEST_F(Pointer, ADropGivesTheHandlerTheFullFileNames) {
    platform::HeadlessDataObject data;
    data.SetData(platform::CF_HDROP, platform::MakeDropFiles({"/tmp/\u00e9t\u00e9.png"}, true));
    data.Files() = {"/tmp/?t?.png"}; // what the narrow list made of it
    std::vector<std::string> seen;
    site->onEvent = [&](const std::string& name, std::span<platform::EventArg> a) {
        if (name != "OLEDragDrop") return;
        seen = std::get<platform::DataObject*>(a[0])->Files();
        a[1] = std::int32_t{1};
    };
    std::int32_t effect = 7;
    control->OLEDragDrop(data, effect, platform::vbLeftButton, 0, 2, 3);
    EXPECT_EQ(seen, std::vector<std::string>{"/tmp/\u00e9t\u00e9.png"});
    EXPECT_EQ(effect, 1) << "the handler's answer";

    control->OLEDragOver(data, effect, 0, 0, 2, 3, platform::vbOver);
    ASSERT_EQ(site->events.back().name, "OLEDragOver");
    EXPECT_EQ(std::get<std::int16_t>(site->events.back().args[6]), platform::vbOver);
}

} // namespace

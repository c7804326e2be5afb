// The container side a windowless control talks to, on the headless host,
// and the property store it saves itself into.

#include "platform/host/container_site.h"
#include "platform/testing/headless_site.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

TEST(PropertyStore, KeysIgnoreCaseAndDefaultsAreNeverWritten) {
    PropertyStore store;
    store.WriteProperty<std::int32_t>("Opacity", 100, 100);
    EXPECT_FALSE(store.contains("opacity")) << "a default is not written";
    store.WriteProperty<std::int32_t>("Opacity", 40, 100);
    EXPECT_EQ(store.ReadProperty<std::int32_t>("OPACITY", 100), 40);
    store.WriteProperty<std::int32_t>("opacity", 100, 100);
    EXPECT_FALSE(store.contains("Opacity")) << "writing the default removes an older value";

    store.WriteProperty("Image", std::vector<std::uint8_t>{1, 2, 3});
    store.WriteProperty("Enabled", false, std::optional<bool>(true));
    EXPECT_EQ(store.ReadProperty("image", std::vector<std::uint8_t>{}).size(), 3u);
    EXPECT_FALSE(store.ReadProperty("ENABLED", true));
    EXPECT_EQ(store.ReadProperty<float>("image", 1.5f), 1.5f) << "another kind reads the default";
    EXPECT_EQ(store.ReadProperty<std::int32_t>("Missing", -1), -1);
    store.WriteProperty<std::int32_t>("Flag", 2);
    EXPECT_TRUE(store.ReadProperty("flag", false)) << "a non-zero number reads as true";
    EXPECT_EQ(store.names().size(), 3u);
}

class Toy final : public WindowlessControl {
public:
    void Paint(HDC hdc, int x, int y, const RECT& clip) override { painted = {hdc, x, y, clip}; }
    void HitTest(int x, int y, int& hitResult) override {
        if (x >= 2 && x < 8 && y >= 2 && y < 8) hitResult = HITRESULT_HIT;
    }
    struct Painted {
        HDC hdc = 0;
        int x = 0;
        int y = 0;
        RECT clip{};
    } painted;
};

TEST(HeadlessSite, PaintHitTestEventsAndRepaints) {
    HeadlessHost host;
    const HWND form =
        host.CreateWindowExA(0, "#32770", "Form", WS_VISIBLE, 0, 0, 200, 100, 0, 0, 0, nullptr);
    HeadlessSite site(host, form, {20, 10, 60, 40});
    Toy toy;

    HeadlessCanvas canvas(200, 100);
    ASSERT_NE(canvas.dc(), 0u);
    EXPECT_EQ(canvas.bytes().size(), 200u * 100u * 4u);
    EXPECT_EQ(canvas.pixel(5, 5), 0u);
    site.paint(toy, canvas);
    EXPECT_EQ(toy.painted.hdc, canvas.dc());
    EXPECT_EQ(toy.painted.x, 20);
    EXPECT_EQ(toy.painted.y, 10);
    EXPECT_EQ(toy.painted.clip, (RECT{0, 0, 200, 100}));

    int answer = HITRESULT_OUTSIDE;
    toy.HitTest(1, 1, answer);
    EXPECT_EQ(answer, HITRESULT_OUTSIDE) << "a miss leaves the container's default";
    toy.HitTest(3, 3, answer);
    EXPECT_EQ(answer, HITRESULT_HIT);

    // Handlers may change arguments passed by reference.
    site.onEvent = [](const std::string& name, std::span<EventArg> args) {
        if (name == "MouseDown") args[2] = 99.0f;
    };
    std::vector<EventArg> args = {std::int16_t{1}, std::int16_t{0}, 3.0f, 4.0f};
    site.RaiseEvent("MouseDown", args);
    EXPECT_EQ(std::get<float>(args[2]), 99.0f);
    site.RaiseEvent("Click", {});
    EXPECT_EQ(site.eventNames(), (std::vector<std::string>{"MouseDown", "Click"}));

    site.PropertyChanged("Opacity");
    EXPECT_EQ(site.changes, (std::vector<std::string>{"Opacity"}));
    const RECT part{1, 2, 3, 4};
    site.Invalidate(&part);
    ASSERT_EQ(host.invalidations.size(), 1u);
    EXPECT_EQ(host.invalidations[0].first, form);
    EXPECT_EQ(host.invalidations[0].second, (RECT{21, 12, 23, 14})) << "in the window's pixels";

    site.SetTag("Timer");
    EXPECT_EQ(site.Tag(), "Timer");
    EXPECT_EQ(&site.Timers(), static_cast<TimerServices*>(&host));
}

} // namespace

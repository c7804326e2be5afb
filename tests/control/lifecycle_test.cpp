// Fading on virtual time, the link shared with the other image controls,
// showing, hiding, enabling and ending, and the callback errors.

#include "control_fixture.h"
#include "platform/host/window_host.h"

using namespace controltest;

namespace {

using Fading = ControlTest;
using Lifecycle = ControlTest;

TEST_F(Fading, DownInStepsOfTenEveryFiftyMilliseconds) {
    control->InitProperties();
    std::vector<std::pair<std::uint64_t, std::int32_t>> steps;
    site->onChange = [&](const std::string& name) {
        if (name == "Opacity") steps.emplace_back(host.now(), control->Opacity());
    };
    control->FadeInOut(0, 10, 50);
    ASSERT_EQ(steps.size(), 1u) << "the first step at once";
    EXPECT_TRUE(host.hasTimer(form, static_cast<platform::UINT_PTR>(-control->identity())))
        << "the fade's timer is the negated identity";
    host.advance(1000);
    ASSERT_EQ(steps.size(), 10u);
    for (std::size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(steps[i].first, 50u * i);
        EXPECT_EQ(steps[i].second, 90 - 10 * static_cast<std::int32_t>(i));
    }
    EXPECT_EQ(steps[9], (std::pair<std::uint64_t, std::int32_t>{450, 0}));
    ASSERT_EQ(site->events.size(), 1u);
    EXPECT_EQ(site->events[0].name, "FadeTerminated");
    EXPECT_EQ(std::get<std::int32_t>(site->events[0].args[0]), 0);
    EXPECT_FALSE(control->isFading());
    EXPECT_EQ(host.timerCount(), 0u);
}

TEST_F(Fading, UpWithTheShortestDelay) {
    control->InitProperties();
    control->Opacity(0);
    std::vector<std::pair<std::uint64_t, std::int32_t>> steps;
    site->onChange = [&](const std::string& name) {
        if (name == "Opacity") steps.emplace_back(host.now(), control->Opacity());
    };
    control->FadeInOut(100, 30, 5);
    host.advance(1000);
    EXPECT_EQ(steps, (std::vector<std::pair<std::uint64_t, std::int32_t>>{
                         {0, 30}, {10, 60}, {20, 90}, {30, 100}}));
    ASSERT_EQ(site->events.size(), 1u);
    EXPECT_EQ(std::get<std::int32_t>(site->events[0].args[0]), 100);
}

TEST_F(Fading, AStepOfZeroCancelsSilently) {
    control->InitProperties();
    control->FadeInOut(0, 10, 50);
    host.advance(120);
    EXPECT_EQ(control->Opacity(), 70);
    control->FadeInOut(0, 0, 50);
    host.advance(1000);
    EXPECT_EQ(control->Opacity(), 70);
    EXPECT_TRUE(site->events.empty());
    EXPECT_EQ(host.timerCount(), 0u);

    // Nothing to do: the same opacity, clamped targets.
    control->FadeInOut(70, 10, 50);
    EXPECT_FALSE(control->isFading());
    control->FadeInOut(250, -40, 10); // up to 100, the sign of the step ignored
    host.advance(100);
    EXPECT_EQ(control->Opacity(), 100);
    EXPECT_EQ(site->eventNames(), (std::vector<std::string>{"FadeTerminated"}));

    // A new fade replaces a running one; hiding stops it.
    control->FadeInOut(0, 10, 50);
    EXPECT_EQ(control->Opacity(), 90);
    control->FadeInOut(50, 25, 20);
    EXPECT_EQ(control->Opacity(), 65);
    control->Hide();
    host.advance(1000);
    EXPECT_EQ(control->Opacity(), 65);
    EXPECT_FALSE(control->isFading());
}

TEST_F(Fading, AHandlerMayStartTheNextFade) {
    control->InitProperties();
    int finished = 0;
    site->onEvent = [&](const std::string& name, std::span<platform::EventArg>) {
        if (name == "FadeTerminated" && ++finished == 1) control->FadeInOut(100, 50, 10);
    };
    control->FadeInOut(0, 50, 10);
    host.advance(1000);
    EXPECT_EQ(finished, 2);
    EXPECT_EQ(control->Opacity(), 100);
}

TEST_F(Fading, WithoutAWindowTheCallbackCannotBeMade) {
    host.DestroyWindow(form);
    control->FadeInOut(0, 10, 50);
    EXPECT_EQ(control->Opacity(), 100);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].caption, "Error in aicAlphaImage.cb_Callback");
    EXPECT_EQ(host.messages[0].text, "Callback address not found.");
}

TEST_F(Lifecycle, TheFirstImageControlHoldsTheLinkForAll) {
    platform::HeadlessSite second(host, form, {50, 50, 60, 60});
    aicAlphaImage other(second);
    const std::vector<platform::SitedControl> controls = {{"Label", nullptr},
                                                          {aicAlphaImage::kTypeName, control.get()},
                                                          {aicAlphaImage::kTypeName, &other}};
    site->controls = controls;
    second.controls = controls;
    control->InitProperties();
    other.InitProperties();
    ASSERT_NE(control->CrossTalkClass(), nullptr);
    EXPECT_EQ(other.CrossTalkClass(), control->CrossTalkClass());
    const auto link = control->CrossTalkClass();
    EXPECT_TRUE(link->isRegistered(control->identity()));
    EXPECT_TRUE(link->isRegistered(other.identity()));

    // Hidden and shown, disabled and enabled at run time.
    other.Hide();
    EXPECT_FALSE(link->isRegistered(other.identity()));
    other.Show();
    EXPECT_TRUE(link->isRegistered(other.identity()));
    other.Enabled(false);
    EXPECT_FALSE(link->isRegistered(other.identity()));
    other.Hide();
    other.Show();
    EXPECT_FALSE(link->isRegistered(other.identity())) << "a disabled control stays out";
    other.Enabled(true);
    EXPECT_TRUE(link->isRegistered(other.identity()));

    // The pointer moves from one control to the other.
    ASSERT_TRUE(link->CapturedControl(control->identity()));
    EXPECT_TRUE(control->isMouseOver());
    ASSERT_TRUE(link->CapturedControl(other.identity()));
    EXPECT_FALSE(control->isMouseOver());
    EXPECT_TRUE(other.isMouseOver());
    EXPECT_EQ(site->eventNames(), (std::vector<std::string>{"MouseExit"}));

    // The first control initialised again keeps the one link.
    control->InitProperties();
    EXPECT_EQ(control->CrossTalkClass(), link);
    EXPECT_EQ(other.CrossTalkClass(), link);
    EXPECT_TRUE(link->isRegistered(control->identity()));

    other.Terminate();
    EXPECT_FALSE(link->isRegistered(other.identity()));
    EXPECT_EQ(link->CapturedControl(), 0) << "a control that ends lets go of the pointer";
    EXPECT_EQ(other.CrossTalkClass(), nullptr);
}

TEST_F(Lifecycle, ReleasingTheCaptureStopsTrackingAndRaisesMouseExit) {
    control->InitProperties();
    site->SetTag("Timer");
    host.SetTimer(form, static_cast<platform::UINT_PTR>(control->identity()), 100,
                  [](platform::HWND, platform::UINT, platform::UINT_PTR, platform::DWORD) {});
    EXPECT_TRUE(control->ReleaseMouseCapture());
    EXPECT_EQ(site->Tag(), "");
    EXPECT_FALSE(host.hasTimer(form, static_cast<platform::UINT_PTR>(control->identity())));
    EXPECT_EQ(site->eventNames(), (std::vector<std::string>{"MouseExit"}));
    EXPECT_TRUE(control->ReleaseMouseCapture()) << "always raised";
    EXPECT_EQ(site->events.size(), 2u);
}

TEST_F(Lifecycle, AnEndedControlLeavesNoTimerBehind) {
    control->InitProperties();
    control->FadeInOut(0, 1, 10);
    EXPECT_EQ(host.timerCount(), 1u);
    control.reset(); // without Terminate
    EXPECT_EQ(host.timerCount(), 0u);
    host.advance(1000);
}

} // namespace

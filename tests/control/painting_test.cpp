// Painting compared pixel for pixel with what the surface's own Render
// draws for the same placement: one-to-one, scaled, turned, from the redraw
// buffer, clipped, moved by OffsetImage, and the drop shadow with its
// small-image exception.

#include "control_fixture.h"
#include "platform/gdi/sys_colors.h"

#include <cstring>

using namespace controltest;

namespace {

// A 32-bit icon of w x h whose pixels pixel(x, y) gives as 0xAARRGGBB.
template <typename Pixel>
Bytes alphaIcon(int w, int h, Pixel pixel) {
    testfiles::IcoEntry e;
    e.width = static_cast<std::uint8_t>(w);
    e.height = static_cast<std::uint8_t>(h);
    e.bitCount = 32;
    e.image = testfiles::bitmapEntry(w, h, 32, {}, pixel, [](int, int) { return false; });
    return testfiles::icoFile({e});
}

// Soft-edged: alpha grows to the right, colour changes downwards.
inline std::uint32_t softPixel(int x, int y) {
    const std::uint32_t alpha = static_cast<std::uint32_t>(40 + x * 13) & 0xFF;
    return (alpha << 24) | (static_cast<std::uint32_t>(y * 15) << 16) | 0x3080;
}

bool sameBytes(const platform::HeadlessCanvas& a, const platform::HeadlessCanvas& b) {
    return a.bytes().size() == b.bytes().size() &&
           std::memcmp(a.bytes().data(), b.bytes().data(), a.bytes().size()) == 0;
}

class Painting : public ControlTest {
protected:
    Painting() : ControlTest(true, {10, 10, 42, 42}) {
        control->InitProperties();
        control->AutoSize(false);
    }
    bool loadSoft(int w, int h) {
        std::int32_t iw = w, ih = h, d = 32;
        return control->LoadImage_FromArray(alphaIcon(w, h, softPixel), iw, ih, d);
    }
    platform::HeadlessCanvas painted{60, 60};
    platform::HeadlessCanvas expected{60, 60};
};

TEST_F(Painting, OneToOneDrawsTheImageAsRenderDoesAndOnlyInsideTheClipBox) {
    ASSERT_TRUE(loadSoft(16, 16));
    control->ScaleMethod(3);
    ASSERT_TRUE(control->layout().oneToOne);
    EXPECT_EQ(control->layout().originX, 8);
    site->paint(*control, painted);
    control->GetSurface().Render(expected.dc(), 18, 18, 16, 16, 0, 0, 16, 16, 100, true, true);
    EXPECT_TRUE(sameBytes(painted, expected));
    EXPECT_NE(painted.pixel(20, 20), 0u);

    // A clip box over part of the image: the rest stays untouched.
    platform::HeadlessCanvas part(60, 60);
    const platform::RECT clip{20, 22, 27, 30};
    site->paint(*control, part, &clip);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) {
            const bool inside =
                x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
            ASSERT_EQ(part.pixel(x, y), inside ? expected.pixel(x, y) : 0u) << x << ',' << y;
        }

    // A clip box away from the image draws nothing at all.
    platform::HeadlessCanvas away(60, 60);
    const platform::RECT corner{0, 0, 12, 12};
    site->paint(*control, away, &corner);
    for (std::uint8_t byte : away.bytes())
        ASSERT_EQ(byte, 0);
}

TEST_F(Painting, ScaledGreyedAndTranslucentAsRenderDoes) {
    ASSERT_TRUE(loadSoft(16, 8));
    control->Opacity(60);
    control->grayScale(2);
    control->IntensityOffset(10);
    // Fitted: 32 x 16 at (0, 8).
    ASSERT_FALSE(control->layout().oneToOne);
    site->paint(*control, painted);
    control->GetSurface().Render(expected.dc(), 10, 18, 32, 16, 0, 0, 16, 8, 60, true, true,
                                 nullptr, 1, 10.0f);
    EXPECT_TRUE(sameBytes(painted, expected));
}

TEST_F(Painting, TurnedImagesAreCentredOnTheControl) {
    ASSERT_TRUE(loadSoft(16, 8));
    control->RotateEnabled(true);
    control->Rotation(30);
    const auto& l = control->layout();
    site->paint(*control, painted);
    control->GetSurface().Render(expected.dc(), 10 + 16, 10 + 16, l.width, l.height, 0, 0, 16, 8,
                                 100, true, true, nullptr, -1, 0.0f, 30.0f, true);
    EXPECT_TRUE(sameBytes(painted, expected));
}

TEST_F(Painting, ATurnedFrozenImageIsDrawnWhereItsClipBoxMeetsIt) {
    ASSERT_TRUE(loadSoft(16, 16));
    control->ScaleMethod(3);
    control->ScaleMethod(4); // frozen at 16 x 16
    control->RotateEnabled(true);
    control->Rotation(45);
    const auto& l = control->layout();
    ASSERT_EQ(l.width, 16);
    // Turned about the control's centre (16, 16), the image reaches from
    // about 4.7 to 27.3: a clip box over columns 5 to 7 meets it.
    const platform::RECT clip{10 + 5, 10 + 4, 10 + 8, 10 + 28};
    site->paint(*control, painted, &clip);
    control->GetSurface().Render(expected.dc(), 10 + 16, 10 + 16, 16, 16, 0, 0, 16, 16, 100, true,
                                 true, nullptr, -1, 0.0f, 45.0f, true);
    EXPECT_NE(painted.pixel(10 + 6, 10 + 16), 0u);
    EXPECT_TRUE(sameBytes(painted, expected));
}

TEST_F(Painting, TheRedrawBufferIsDrawnWithOpacityAndMovedByOffsetImage) {
    ASSERT_TRUE(loadSoft(16, 16));
    control->AutoRedraw(true);
    ASSERT_NE(control->redrawBuffer(), nullptr);
    control->Opacity(50);
    std::int32_t x = 3, y = -2, sx = 0, sy = 7;
    control->OffsetImage(true, x, y, sx, sy);
    std::int32_t gx = 0, gy = 0, gsx = 0, gsy = 0;
    control->OffsetImage(false, gx, gy, gsx, gsy);
    EXPECT_EQ(std::vector<std::int32_t>({gx, gy, gsx, gsy}),
              std::vector<std::int32_t>({3, -2, 2, 7}))
        << "a shadow offset of 0 leaves it alone";

    // The buffer is drawn from the clip box, shifted by the image offset.
    const platform::RECT clip{10, 10, 42, 42};
    site->paint(*control, painted, &clip);
    const c32bppDIB& buffer = *control->redrawBuffer();
    // Control pixels (0, 2) to (29, 32) of the buffer land on the clip box.
    const_cast<c32bppDIB&>(buffer).Render(expected.dc(), 13, 10, 29, 30, 0, 2, 29, 30, 50, true,
                                          true, nullptr, -1, 0.0f);
    EXPECT_TRUE(sameBytes(painted, expected));
}

TEST_F(Painting, SmallOneToOneImagesAreShadowedStraightFromTheImage) {
    ASSERT_TRUE(loadSoft(16, 16));
    control->ScaleMethod(3);
    control->ShadowEnabled(true);
    control->ShadowColor(0x0000FF);
    control->ShadowDepth(3);
    control->OffsetShadow(4, 5);
    EXPECT_EQ(control->shadowSurface(), nullptr) << "128 x 128 and below: no pre-built shadow";
    site->paint(*control, painted);

    // The shadow is the image grown by the depth on each side, centred under
    // it and moved by the offsets, at ShadowOpacity x Opacity / 100.
    auto shadow = control->GetSurface().CreateDropShadow(3, 0x0000FF);
    ASSERT_NE(shadow, nullptr);
    shadow->Render(expected.dc(), 18 - 3 + 4, 18 - 3 + 5, shadow->Width(), shadow->Height(), 0, 0,
                   shadow->Width(), shadow->Height(), 50, true, true);
    control->GetSurface().Render(expected.dc(), 18, 18, 16, 16, 0, 0, 16, 16, 100, true, true);
    EXPECT_TRUE(sameBytes(painted, expected));

    // Scaled, the same small image gets a pre-built shadow of the drawn
    // image, placed the same way.
    control->ScaleMethod(1);
    ASSERT_NE(control->shadowSurface(), nullptr);
    // Made for what can show in the control: the drawn image's last column
    // blurs only into pixels right of it, so it is left out.
    EXPECT_EQ(control->shadowSurface()->Width(), 31 + 6);
    control->ShadowEnabled(false);
    EXPECT_EQ(control->shadowSurface(), nullptr) << "released with the shadow";
}

TEST_F(Painting, LargeOneToOneImagesGetAPrebuiltShadowInTheSamePlace) {
    site->Move({0, 0, 140, 140});
    ASSERT_TRUE(loadSoft(129, 129));
    control->ScaleMethod(3);
    control->ShadowEnabled(true);
    ASSERT_NE(control->shadowSurface(), nullptr);
    platform::HeadlessCanvas big(150, 150), reference(150, 150);
    site->paint(*control, big);
    auto shadow = control->GetSurface().CreateDropShadow(2, 0x404040);
    ASSERT_NE(shadow, nullptr);
    shadow->Render(reference.dc(), 5 - 2 + 2, 5 - 2 + 2, shadow->Width(), shadow->Height(), 0, 0,
                   shadow->Width(), shadow->Height(), 50, true, true);
    control->GetSurface().Render(reference.dc(), 5, 5, 129, 129, 0, 0, 129, 129, 100, true, true);
    EXPECT_TRUE(sameBytes(big, reference));
}

// An image drawn far larger than the control gets a shadow made only for
// what can show: no larger than the control and the blur around it, and
// painted as the whole shadow would be, wherever the offsets move it.
TEST_F(Painting, AShadowIsMadeOnlyForWhatCanShow) {
    site->Move({0, 0, 40, 40});
    ASSERT_TRUE(loadSoft(250, 250));
    control->ScaleMethod(3);
    control->ShadowEnabled(true);
    const auto whole = control->GetSurface().CreateDropShadow(2, 0x404040);
    ASSERT_NE(whole, nullptr);
    for (const auto& [dx, dy] : {std::pair{2, 2}, {7, -5}, {-140, 90}, {400, 0}}) {
        control->OffsetShadow(dx, dy);
        ASSERT_NE(control->shadowSurface(), nullptr);
        EXPECT_LE(control->shadowSurface()->Width(), 40 + 4 * 2 + 2 * 2);
        EXPECT_LE(control->shadowSurface()->Height(), 40 + 4 * 2 + 2 * 2);
        platform::HeadlessCanvas shown(40, 40), reference(40, 40);
        site->paint(*control, shown);
        // Larger than the control, the image is drawn from its corner.
        whole->Render(reference.dc(), dx - 2, dy - 2, whole->Width(), whole->Height(), 0, 0,
                      whole->Width(), whole->Height(), 50, true, true);
        control->GetSurface().Render(reference.dc(), 0, 0, 250, 250, 0, 0, 250, 250, 100, true,
                                     true);
        EXPECT_TRUE(sameBytes(shown, reference)) << dx << ", " << dy;
    }
    // A control too large to keep a shadow makes, at each paint, the part
    // its clip box shows: here the middle of a 3000 x 3000 control.
    site->Move({-1360, -1360, 1640, 1640});
    control->Resize();
    control->OffsetShadow(6, 3);
    EXPECT_EQ(control->shadowSurface(), nullptr);
    platform::HeadlessCanvas shown(60, 60), reference(60, 60);
    site->paint(*control, shown);
    // The image is centred: its corner at (3000 - 250) / 2 - 1360.
    whole->Render(reference.dc(), 15 - 2 + 6, 15 - 2 + 3, whole->Width(), whole->Height(), 0, 0,
                  whole->Width(), whole->Height(), 50, true, true);
    control->GetSurface().Render(reference.dc(), 15, 15, 250, 250, 0, 0, 250, 250, 100, true, true);
    EXPECT_TRUE(sameBytes(shown, reference));
}

class DesignPainting : public ControlTest {
protected:
    DesignPainting() : ControlTest(false, {0, 0, 30, 30}) { control->InitProperties(); }
};

TEST_F(DesignPainting, AnEmptyControlShowsTheCheckerboard) {
    platform::HeadlessCanvas canvas(30, 30);
    site->paint(*control, canvas);
    EXPECT_EQ(canvas.pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(canvas.pixel(12, 0), 0xFFC0C0C0u);
    EXPECT_EQ(canvas.pixel(12, 12), 0xFFFFFFFFu);
    EXPECT_EQ(canvas.pixel(29, 12), 0xFFC0C0C0u);
    EXPECT_EQ(canvas.pixel(29, 29), 0xFFFFFFFFu);
}

} // namespace

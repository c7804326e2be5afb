#include "dib/c32bppdib.h"
#include "platform/gdi/gdi.h"
#include "tests/support/pixels.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

using namespace platform;

namespace {

using testpixels::get;
using testpixels::Px;
using testpixels::set;

TEST(DropShadow, IsTheBoxBlurredAlphaTinted) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> byte(0, 255), size(1, 12), depth(0, 12);
    for (int round = 0; round < 60; ++round) {
        c32bppDIB src;
        ASSERT_TRUE(src.InitializeDIB(size(rng), size(rng)));
        for (int y = 0; y < src.Height(); ++y)
            for (int x = 0; x < src.Width(); ++x)
                set(src, x, y,
                    {0, 0, 0, static_cast<std::uint8_t>(byte(rng) & ~0x3F ? byte(rng) : 0)});
        const int blur = depth(rng);
        const COLORREF colour = RGB(byte(rng), byte(rng), byte(rng));
        src.gdiToken(42);
        const auto shadow = src.CreateDropShadow(blur, colour);
        ASSERT_TRUE(shadow);
        const int n = 2 * std::min(blur, 10);
        ASSERT_EQ(shadow->Width(), src.Width() + n);
        ASSERT_EQ(shadow->Height(), src.Height() + n);
        EXPECT_EQ(shadow->ImageType(), 7);
        EXPECT_TRUE(shadow->Alpha());
        EXPECT_EQ(shadow->gdiToken(), 42);
        // Shadow (k, i) averages source columns k - n .. k, rows i - n .. i
        // in memory order.
        const std::uint8_t* s = src.BitsPointer();
        for (int i = 0; i < shadow->Height(); ++i)
            for (int k = 0; k < shadow->Width(); ++k) {
                unsigned total = 0;
                for (int r = i - n; r <= i; ++r)
                    for (int c = k - n; c <= k; ++c)
                        if (r >= 0 && r < src.Height() && c >= 0 && c < src.Width())
                            total += s[(r * src.Width() + c) * 4 + 3];
                const unsigned a = total / ((n + 1) * (n + 1));
                const auto tint = [&](unsigned component) {
                    return a == 255 ? component : component * a / 255;
                };
                const Px expected{static_cast<std::uint8_t>(tint((colour >> 16) & 0xFF)),
                                  static_cast<std::uint8_t>(tint((colour >> 8) & 0xFF)),
                                  static_cast<std::uint8_t>(tint(colour & 0xFF)),
                                  static_cast<std::uint8_t>(a)};
                Px got;
                std::memcpy(got.data(), shadow->BitsPointer() + (i * shadow->Width() + k) * 4, 4);
                ASSERT_EQ(got, expected) << "round " << round << " at " << k << ", " << i;
            }
    }
}

TEST(DropShadow, OnePixelAndTheDepthLimits) {
    c32bppDIB src;
    EXPECT_FALSE(src.CreateDropShadow(1, 0)) << "no image";
    ASSERT_TRUE(src.InitializeDIB(1, 1));
    set(src, 0, 0, {9, 9, 9, 255});
    const auto shadow = src.CreateDropShadow(1, RGB(255, 0, 0));
    ASSERT_TRUE(shadow);
    ASSERT_EQ(shadow->Width(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(get(*shadow, x, y), (Px{0, 0, 28, 28}));
    EXPECT_EQ(src.CreateDropShadow(15, 0)->Width(), 21);
    EXPECT_EQ(src.CreateDropShadow(-3, 0)->Width(), 1);
    EXPECT_EQ(get(*src.CreateDropShadow(0, RGB(1, 2, 3)), 0, 0), (Px{3, 2, 1, 255}));
}

TEST(Effects, MakeTransparentAndItsReversal) {
    c32bppDIB s;
    EXPECT_FALSE(s.MakeTransparent(0, false));
    ASSERT_TRUE(s.InitializeDIB(3, 1));
    set(s, 0, 0, {30, 20, 10, 255});
    set(s, 1, 0, {15, 10, 5, 128}); // the same colour, half transparent
    set(s, 2, 0, {1, 1, 1, 255});
    s.ImageType(1);
    s.Alpha(false);
    ASSERT_TRUE(s.MakeTransparent(RGB(10, 20, 30), false));
    EXPECT_EQ(get(s, 0, 0), (Px{0, 0, 0, 0}));
    EXPECT_EQ(get(s, 1, 0), (Px{15, 10, 5, 128})) << "only opaque pixels match";
    EXPECT_TRUE(s.Alpha());
    EXPECT_EQ(s.ImageType(), 7);

    ASSERT_TRUE(s.MakeTransparent(RGB(10, 20, 30), true));
    EXPECT_EQ(get(s, 0, 0), (Px{30, 20, 10, 255}));
    EXPECT_TRUE(s.Alpha()) << "the half-transparent pixel still carries alpha";

    set(s, 1, 0, {1, 1, 1, 255});
    ASSERT_TRUE(s.MakeTransparent(RGB(10, 20, 30), true));
    EXPECT_FALSE(s.Alpha()) << "nothing transparent left: classified as opaque";
    EXPECT_EQ(s.ImageType(), 1);
}

TEST(Effects, InverseAndMirror) {
    c32bppDIB s;
    EXPECT_FALSE(s.MakeImageInverse());
    ASSERT_TRUE(s.InitializeDIB(2, 2));
    set(s, 0, 0, {255, 255, 255, 255});
    set(s, 1, 0, {0, 0, 0, 128});
    set(s, 0, 1, {0, 0, 0, 0});
    set(s, 1, 1, {200, 0, 0, 100}); // colour above alpha: left alone
    ASSERT_TRUE(s.MakeImageInverse());
    EXPECT_EQ(get(s, 0, 0), (Px{0, 0, 0, 255}));
    EXPECT_EQ(get(s, 1, 0), (Px{128, 128, 128, 128}));
    EXPECT_EQ(get(s, 0, 1), (Px{0, 0, 0, 0}));
    EXPECT_EQ(get(s, 1, 1), (Px{200, 100, 100, 100}));

    EXPECT_FALSE(s.MirrorImage(false, false));
    ASSERT_TRUE(s.MirrorImage(true, false));
    EXPECT_EQ(get(s, 0, 0), (Px{128, 128, 128, 128}));
    EXPECT_EQ(get(s, 1, 0), (Px{0, 0, 0, 255}));
    ASSERT_TRUE(s.MirrorImage(false, true));
    EXPECT_EQ(get(s, 0, 1), (Px{128, 128, 128, 128}));
    ASSERT_TRUE(s.MirrorImage(true, true));
    EXPECT_EQ(get(s, 1, 0), (Px{128, 128, 128, 128}));
}

TEST(Effects, CheckerBoard) {
    c32bppDIB s;
    EXPECT_FALSE(s.CreateCheckerBoard(10, 0, 0));
    ASSERT_TRUE(s.InitializeDIB(25, 25));
    const COLORREF first = RGB(200, 0, 0), second = RGB(0, 0, 200);
    ASSERT_TRUE(s.CreateCheckerBoard(10, first, second));
    EXPECT_EQ(get(s, 0, 0), (Px{0, 0, 200, 255}));
    EXPECT_EQ(get(s, 9, 9), (Px{0, 0, 200, 255}));
    EXPECT_EQ(get(s, 10, 0), (Px{200, 0, 0, 255}));
    EXPECT_EQ(get(s, 0, 10), (Px{200, 0, 0, 255}))
        << "the second row starts with the second colour";
    EXPECT_EQ(get(s, 24, 24), (Px{0, 0, 200, 255})) << "the clipped corner square";
    EXPECT_EQ(get(s, 20, 10), (Px{200, 0, 0, 255}));
    EXPECT_FALSE(s.Alpha());
    EXPECT_EQ(s.ImageType(), 64);
    EXPECT_FALSE(s.isSelectedInOwnDC());

    // Below 1 the fill would never advance: refused, nothing changed.
    set(s, 3, 3, {1, 2, 3, 4});
    EXPECT_FALSE(s.CreateCheckerBoard(0, first, second));
    EXPECT_FALSE(s.CreateCheckerBoard(-4, first, second));
    EXPECT_EQ(get(s, 3, 3), (Px{1, 2, 3, 4}));

    // A 2 x 3 image with squares of 1: the row's start alternates.
    ASSERT_TRUE(s.InitializeDIB(3, 2));
    ASSERT_TRUE(s.CreateCheckerBoard(1, first, second));
    EXPECT_EQ(get(s, 2, 0)[2], 200);
    EXPECT_EQ(get(s, 0, 1)[0], 200);
}

TEST(Effects, Region) {
    c32bppDIB s;
    EXPECT_EQ(s.CreateRegion(0, 0, 0), 0u);
    ASSERT_TRUE(s.InitializeDIB(4, 2));
    set(s, 1, 0, {0, 0, 0, 255});
    set(s, 2, 1, {0, 0, 0, 1});
    EXPECT_EQ(s.CreateRegion(3, 0, 0), 0u);
    EXPECT_EQ(s.CreateRegion(-1, 0, 0), 0u);
    const HRGN box = s.CreateRegion(0, 10, 20);
    RECT r;
    GetRgnBox(box, r);
    EXPECT_EQ(r, (RECT{11, 20, 13, 22}));
    DeleteObject(box);
    s.Alpha(false);
    const HRGN whole = s.CreateRegion(2, 0, 0);
    GetRgnBox(whole, r);
    EXPECT_EQ(r, (RECT{0, 0, 4, 2}));
    DeleteObject(whole);
}

TEST(Exchange, GetDIBbitsLayouts) {
    c32bppDIB s;
    std::vector<std::uint8_t> out{7};
    EXPECT_FALSE(s.GetDIBbits(out, false, true, true, false, false));
    EXPECT_EQ(out.size(), 1u) << "untouched on failure";
    ASSERT_TRUE(s.InitializeDIB(5, 2));
    set(s, 0, 0, {10, 20, 30, 255});
    set(s, 4, 1, {64, 32, 16, 128});
    EXPECT_FALSE(s.GetDIBbits(out, false, true, true, false, false, -1, 0));

    ASSERT_TRUE(s.GetDIBbits(out, false, true, false, true, false));
    ASSERT_EQ(out.size(), 32u) << "24-bpp rows of 15 bytes aligned to 16";
    EXPECT_EQ(out[15], 0);
    EXPECT_EQ((std::vector<std::uint8_t>(out.begin(), out.begin() + 3)),
              (std::vector<std::uint8_t>{10, 20, 30}))
        << "top-down by default";
    ASSERT_TRUE(s.GetDIBbits(out, false, false, true, false, true));
    EXPECT_EQ(out.size(), 40u);
    EXPECT_EQ(out[20 + 0], 30) << "red first, bottom-up: the top row comes second";
    EXPECT_EQ(out[20 + 3], 255);

    ASSERT_TRUE(s.GetDIBbits(out, true, true, true, false, false, 4, 1, 0, 0, false));
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out, (std::vector<std::uint8_t>{127, 63, 31, 128})) << "un-premultiplied";
    ASSERT_TRUE(s.GetDIBbits(out, true, true, true, false, false, 3, 1, 0, 0, false));
    EXPECT_EQ(out[0] | out[1] | out[2] | out[3], 0) << "alpha 0 stays zero";

    ASSERT_TRUE(s.GetDIBbits(out, false, true, true, false, true));
    EXPECT_EQ(std::memcmp(out.data(), s.BitsPointer(), out.size()), 0) << "the whole-block copy";
}

TEST(Exchange, SetDIBbitsChecksTheLengthAndPremultiplies) {
    c32bppDIB s;
    ASSERT_TRUE(s.InitializeDIB(2, 3));
    // 32-bpp, RGB order, straight alpha; the rectangle is one row high but
    // the array must still cover the surface's three rows.
    const std::vector<std::uint8_t> data = {200, 0, 0, 128, 0, 0, 0, 255, 0, 0, 0, 0,
                                            0,   0, 0, 0,   0, 0, 0, 0,   0, 0, 0, 0};
    EXPECT_FALSE(s.SetDIBbits(std::span(data).first(data.size() - 1), false, true, false, false, 0,
                              0, 0, 1));
    EXPECT_EQ(get(s, 0, 0), (Px{0, 0, 0, 0}));
    EXPECT_FALSE(s.SetDIBbits({}, false, true, false, false));
    ASSERT_TRUE(s.SetDIBbits(data, false, true, false, false, 0, 0, 0, 1));
    EXPECT_EQ(get(s, 0, 0), (Px{0, 0, 100, 128})) << "200 x 128 / 255, swapped to BGR";
    EXPECT_TRUE(s.Alpha());

    // 24-bpp data leaves the alpha bytes as they were.
    c32bppDIB t;
    ASSERT_TRUE(t.InitializeDIB(2, 1));
    set(t, 1, 0, {50, 50, 50, 128});
    const std::vector<std::uint8_t> bgr = {10, 20, 30, 0};
    ASSERT_TRUE(t.SetDIBbits(bgr, true, false, true, true, 1, 0));
    EXPECT_EQ(get(t, 1, 0), (Px{10, 20, 30, 128}));
    EXPECT_TRUE(t.Alpha());
}

TEST(Exchange, CopyImageTo) {
    c32bppDIB s;
    ASSERT_TRUE(s.InitializeDIB(2, 1));
    set(s, 0, 0, {10, 0, 0, 255});
    set(s, 1, 0, {20, 0, 0, 255});
    s.gdiToken(5);
    s.HighQualityInterpolation(true);
    s.ImageType(10);
    s.setOriginalFormatBytes({1, 2, 3});

    std::unique_ptr<c32bppDIB> made;
    s.CopyImageTo(made, 0, 0, true);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->gdiToken(), 5);
    EXPECT_TRUE(made->HighQualityInterpolation());
    EXPECT_EQ(made->isGDIplusEnabled(), s.isGDIplusEnabled());
    EXPECT_EQ(made->ImageType(), 10);
    EXPECT_EQ(made->originalFormatBytes(), s.originalFormatBytes());
    EXPECT_EQ(get(*made, 1, 0), (Px{20, 0, 0, 255}));

    c32bppDIB target;
    s.CopyImageTo(target, -2, 0);
    EXPECT_EQ(get(target, 0, 0)[0], 20) << "mirrored";
    EXPECT_TRUE(target.originalFormatBytes().empty());

    // Mirrored and twice as wide: mirrored first, then scaled (bilinear).
    s.CopyImageTo(target, -4, 1);
    ASSERT_EQ(target.Width(), 4);
    EXPECT_EQ(get(target, 0, 0)[0], 20);
    EXPECT_EQ(get(target, 3, 0)[0], 10);

    // Scaled without mirroring, nearest through Render when AlphaBlend is used.
    s.HighQualityInterpolation(false);
    s.CopyImageTo(target, 4, 2);
    EXPECT_EQ(get(target, 1, 1), (Px{10, 0, 0, 255}));
    EXPECT_EQ(get(target, 2, 0), (Px{20, 0, 0, 255}));

    c32bppDIB empty;
    std::unique_ptr<c32bppDIB> none;
    empty.CopyImageTo(none);
    EXPECT_FALSE(none);
}

} // namespace

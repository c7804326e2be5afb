#include "dib/c32bppdib.h"
#include "platform/gdi/gdi.h"
#include "tests/support/pixels.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <random>

using namespace platform;

namespace {

using testpixels::get;
using testpixels::Px;
using testpixels::set;
void fill(c32bppDIB& s, Px p) {
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x)
            set(s, x, y, p);
}

// A surface that draws with its own pixel code (AlphaBlend switched off).
void ownEngine(c32bppDIB& s) {
    s.isAlphaBlendFriendly(false);
}

// A 4 x 1 image: columns 10, 20, 30, 40 in blue, opaque.
void ramp(c32bppDIB& s) {
    ASSERT_TRUE(s.InitializeDIB(4, 1));
    for (int x = 0; x < 4; ++x)
        set(s, x, 0, {static_cast<std::uint8_t>(10 * (x + 1)), 0, 0, 255});
}

TEST(Render, NeedsAnImageAndATarget) {
    c32bppDIB src, host;
    ASSERT_TRUE(host.InitializeDIB(2, 2));
    EXPECT_FALSE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &host)) << "no image";
    ASSERT_TRUE(src.InitializeDIB(2, 2));
    EXPECT_FALSE(src.Render(0)) << "neither DC nor host";
    EXPECT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 0)) << "opacity 0 draws nothing";
    EXPECT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, -5));
    EXPECT_FALSE(src.Render(0, 0, 0, 0, 0, 5, 0, 0, 0, 100, true, true, &host))
        << "a source origin past the image leaves nothing to draw";
}

TEST(Render, OpacityIsTakenModulo100) {
    for (const bool alphaBlend : {true, false}) {
        c32bppDIB src, host;
        ASSERT_TRUE(src.InitializeDIB(1, 1));
        if (!alphaBlend) ownEngine(src);
        set(src, 0, 0, {200, 200, 200, 255});
        ASSERT_TRUE(host.InitializeDIB(1, 1));
        for (const auto& [opacity, expected] :
             {std::pair{100, 200}, {200, 200}, {150, 100}, {50, 100}}) {
            fill(host, {0, 0, 0, 255});
            ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, opacity, true, true, &host));
            // 50 % is a constant alpha of 127: 200 x 127 / 255 = 99.6.
            EXPECT_NEAR(get(host, 0, 0)[0], expected, 1)
                << opacity << (alphaBlend ? " AlphaBlend" : " own");
        }
    }
}

TEST(Render, OwnBlendingTruncatesItsDivisions) {
    c32bppDIB src, host;
    ASSERT_TRUE(src.InitializeDIB(1, 1));
    ownEngine(src);
    set(src, 0, 0, {50, 50, 50, 128});
    ASSERT_TRUE(host.InitializeDIB(1, 1));
    fill(host, {255, 255, 255, 255});
    ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &host));
    EXPECT_EQ(get(host, 0, 0), (Px{177, 177, 177, 255}));

    // At half opacity: k = 255 - 128 x 127 / 255 = 192; (255 x 192 + 50 x 127) / 255 = 216.
    fill(host, {255, 255, 255, 255});
    ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 50, true, true, &host));
    EXPECT_EQ(get(host, 0, 0), (Px{216, 216, 216, 255}));
}

TEST(Render, NegativeSizesMirror) {
    for (const bool alphaBlend : {true, false}) {
        c32bppDIB src, host;
        ramp(src);
        if (!alphaBlend) ownEngine(src);
        ASSERT_TRUE(host.InitializeDIB(4, 1));
        ASSERT_TRUE(src.Render(0, 0, 0, -4, 0, 0, 0, 0, 0, 100, true, true, &host));
        EXPECT_EQ(get(host, 0, 0)[0], 40);
        EXPECT_EQ(get(host, 3, 0)[0], 10);
        host.EraseDIB();
        ASSERT_TRUE(src.Render(0, 0, 0, 4, 0, 0, 0, -4, 0, 100, true, true, &host));
        EXPECT_EQ(get(host, 0, 0)[0], 40) << "a negative source width mirrors too";
        host.EraseDIB();
        ASSERT_TRUE(src.Render(0, 0, 0, -4, 0, 0, 0, -4, 0, 100, true, true, &host));
        EXPECT_EQ(get(host, 0, 0)[0], 10) << "and cancels a mirrored destination";
    }
}

TEST(Render, VerticalMirroringAndPartOfTheSource) {
    c32bppDIB src, host;
    ASSERT_TRUE(src.InitializeDIB(1, 3));
    ownEngine(src);
    for (int y = 0; y < 3; ++y)
        set(src, 0, y, {static_cast<std::uint8_t>(y + 1), 0, 0, 255});
    ASSERT_TRUE(host.InitializeDIB(1, 3));
    ASSERT_TRUE(src.Render(0, 0, 0, 0, -3, 0, 0, 0, 0, 100, true, true, &host));
    EXPECT_EQ(get(host, 0, 0)[0], 3);
    EXPECT_EQ(get(host, 0, 2)[0], 1);
    // Two rows starting one above the bottom, read in mirrored space.
    host.EraseDIB();
    ASSERT_TRUE(src.Render(0, 0, 0, 1, -2, 0, 1, 1, 2, 100, true, true, &host));
    EXPECT_EQ(get(host, 0, 0)[0], 2);
    EXPECT_EQ(get(host, 0, 1)[0], 1);
}

TEST(Render, NegativeDestinationsAreClipped) {
    c32bppDIB src, host;
    ramp(src);
    ownEngine(src);
    ASSERT_TRUE(host.InitializeDIB(4, 1));
    ASSERT_TRUE(src.Render(0, -1, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &host));
    EXPECT_EQ(get(host, 0, 0)[0], 20);
    EXPECT_EQ(get(host, 3, 0)[3], 0) << "nothing drawn past the image";

    // Scaled to 8 wide at x = -4: the right half of the doubled image.
    host.EraseDIB();
    ASSERT_TRUE(src.Render(0, -4, 0, 8, 1, 0, 0, 0, 0, 100, true, true, &host));
    EXPECT_EQ(get(host, 0, 0)[0], 30);
    EXPECT_EQ(get(host, 3, 0)[0], 40);

    // Mirrored at x = -1: the mirrored image cut by one column.
    host.EraseDIB();
    ASSERT_TRUE(src.Render(0, -1, 0, -4, 1, 0, 0, 0, 0, 100, true, true, &host));
    EXPECT_EQ(get(host, 0, 0)[0], 30);
    EXPECT_EQ(get(host, 2, 0)[0], 10);
    EXPECT_EQ(get(host, 3, 0)[3], 0);

    EXPECT_FALSE(src.Render(0, 4, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &host))
        << "entirely right of the host";
}

TEST(Render, BilinearScalingUsesTheRowBelowTheSamplePosition) {
    c32bppDIB src, host;
    ASSERT_TRUE(src.InitializeDIB(1, 2));
    ownEngine(src);
    src.HighQualityInterpolation(true);
    set(src, 0, 0, {100, 0, 0, 255}); // top row (memory row 1)
    set(src, 0, 1, {0, 0, 0, 255});   // bottom row (memory row 0)
    ASSERT_TRUE(host.InitializeDIB(1, 4));
    ASSERT_TRUE(src.Render(0, 0, 0, 1, 4, 0, 0, 0, 0, 100, true, true, &host));
    // Output rows bottom-up sample memory rows 0, 0.5, 1.0, 1.5: the first two
    // only row 0, then row 1 with weight 0 (row 0 whole), then half each.
    EXPECT_EQ(get(host, 0, 3)[0], 0);
    EXPECT_EQ(get(host, 0, 2)[0], 0);
    EXPECT_EQ(get(host, 0, 1)[0], 0);
    EXPECT_EQ(get(host, 0, 0)[0], 50);
}

TEST(Render, LightAndGreyscale) {
    c32bppDIB src, host;
    ASSERT_TRUE(src.InitializeDIB(2, 1));
    set(src, 0, 0, {255, 255, 255, 255});
    set(src, 1, 0, {0, 0, 255, 255});
    ASSERT_TRUE(host.InitializeDIB(2, 1));
    ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &host, -1, 50));
    EXPECT_EQ(get(host, 0, 0), (Px{255, 255, 255, 255})) << "clamped to alpha";
    EXPECT_EQ(get(host, 1, 0), (Px{127, 127, 255, 255}));
    ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &host, -1, -100));
    EXPECT_EQ(get(host, 0, 0), (Px{0, 0, 0, 255}));
    host.EraseDIB();
    ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &host, -1, 150));
    EXPECT_EQ(get(host, 1, 0), (Px{0, 0, 255, 255})) << "150 % is ignored";
    ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &host, 0));
    EXPECT_EQ(get(host, 1, 0), (Px{76, 76, 76, 255})) << "255 x 0.299 = 76.245";
    ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &host, 1));
    EXPECT_EQ(get(host, 1, 0), (Px{54, 54, 54, 255})) << "255 x 0.213 = 54.3";
}

TEST(Render, WholeTurnsDrawUnrotatedAndQuarterTurnsTurn) {
    c32bppDIB src, host;
    ramp(src);
    ownEngine(src);
    for (const float angle : {360.0f, 720.0f, -360.0f}) {
        ASSERT_TRUE(host.InitializeDIB(4, 1));
        ASSERT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &host, -1, 0, angle));
        EXPECT_EQ(get(host, 0, 0)[0], 10) << angle;
        EXPECT_EQ(get(host, 3, 0)[0], 40) << angle;
    }
    // A 4 x 1 image turned by 90 degrees (the own rotation rounds 90.5 to
    // 90) stands in a column of a 4 x 4 host; positive angles turn
    // clockwise on screen, so the right end goes to the bottom.
    for (const float angle : {90.0f, 90.5f}) {
        ASSERT_TRUE(host.InitializeDIB(4, 4));
        ASSERT_TRUE(src.Render(0, 0, 0, 4, 4, 0, 0, 0, 0, 100, true, true, &host, -1, 0, angle));
        int drawn = 0;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                drawn += get(host, x, y)[3] != 0;
        EXPECT_GT(drawn, 0) << angle;
        int column = -1;
        for (int x = 0; x < 4; ++x)
            if (get(host, x, 0)[3] != 0) column = x;
        ASSERT_GE(column, 0) << angle;
        EXPECT_LT(get(host, column, 0)[0], get(host, column, 3)[0]) << angle;
    }
}

TEST(Render, CentredDrawing) {
    c32bppDIB src, host;
    ramp(src);
    ownEngine(src);
    ASSERT_TRUE(host.InitializeDIB(6, 1));
    ASSERT_TRUE(src.Render(0, 3, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &host, -1, 0, 0, true));
    EXPECT_EQ(get(host, 1, 0)[0], 10);
    EXPECT_EQ(get(host, 4, 0)[0], 40);
}

TEST(Render, OntoADcThroughATwentyFourBitArea) {
    for (const bool alphaBlend : {true, false}) {
        c32bppDIB src, canvas;
        ASSERT_TRUE(src.InitializeDIB(2, 2));
        if (!alphaBlend) ownEngine(src);
        fill(src, {50, 50, 50, 128});
        ASSERT_TRUE(canvas.InitializeDIB(3, 3));
        fill(canvas, {255, 255, 255, 255});
        const HDC dc = canvas.LoadDIBinDC(true);
        ASSERT_TRUE(src.Render(dc, 1, 1));
        canvas.LoadDIBinDC(false);
        EXPECT_EQ(get(canvas, 1, 1)[0], 177) << alphaBlend;
        EXPECT_EQ(get(canvas, 0, 0), (Px{255, 255, 255, 255})) << "outside the drawing";
        // The own engine writes the area back from 24 bits, which has no alpha.
        EXPECT_EQ(get(canvas, 2, 2)[3], alphaBlend ? 255 : 0);
        EXPECT_FALSE(src.isSelectedInOwnDC()) << "Render leaves the section as it found it";
    }
}

TEST(Render, ALargeDrawingOntoADcBlendsLikeTheHostPath) {
    // Tall enough for the 24-bpp area to be worked in several bands.
    c32bppDIB src, onHost, onDc;
    ASSERT_TRUE(src.InitializeDIB(300, 700));
    ownEngine(src);
    std::uint32_t seed = 7;
    for (std::size_t i = 0; i < src.pixels().size(); i += 4) {
        seed = seed * 1664525u + 1013904223u;
        const std::uint8_t a = static_cast<std::uint8_t>(seed >> 24);
        for (int c = 0; c < 3; ++c)
            src.pixels()[i + c] = static_cast<std::uint8_t>((seed >> (8 * c)) % (a + 1u));
        src.pixels()[i + 3] = a;
    }
    for (c32bppDIB* canvas : {&onHost, &onDc}) {
        ASSERT_TRUE(canvas->InitializeDIB(320, 720));
        fill(*canvas, {90, 160, 30, 255});
    }
    ASSERT_TRUE(src.Render(0, 13, -5, 0, 0, 0, 0, 0, 0, 70, true, true, &onHost));
    const HDC dc = onDc.LoadDIBinDC(true);
    ASSERT_TRUE(src.Render(dc, 13, -5, 0, 0, 0, 0, 0, 0, 70));
    onDc.LoadDIBinDC(false);
    for (int y = 0; y < 720; ++y)
        for (int x = 0; x < 320; ++x) {
            const Px h = get(onHost, x, y), d = get(onDc, x, y);
            ASSERT_EQ(std::memcmp(h.data(), d.data(), 3), 0) << x << ", " << y;
        }
}

// A DC holding a bottom-up 32-bit section is blended in place; any other DC
// (here a top-down section) goes through a 24-bit copy of its area. Both
// must leave the same pixels, alpha bytes included, also where the drawing
// runs past the DC's edges, and when a surface is drawn onto its own DC.
TEST(Render, InPlaceOntoADcDrawsWhatTheTwentyFourBitRoundTripDraws) {
    c32bppDIB src;
    ASSERT_TRUE(src.InitializeDIB(37, 29));
    ownEngine(src);
    std::uint32_t seed = 11;
    for (std::size_t i = 0; i < src.pixels().size(); i += 4) {
        seed = seed * 1664525u + 1013904223u;
        const std::uint8_t a = (seed >> 30) == 0 ? 0 : (seed >> 30) == 1 ? 255 : seed >> 24;
        for (int c = 0; c < 3; ++c)
            src.pixels()[i + c] = static_cast<std::uint8_t>((seed >> (8 * c)) % (a + 1u));
        src.pixels()[i + 3] = a;
    }
    auto section = [](bool topDown, void** bits) {
        BITMAPINFOHEADER header;
        header.biWidth = 40;
        header.biHeight = topDown ? -30 : 30;
        header.biBitCount = 32;
        return CreateDIBSection(0, header, {}, bits);
    };
    auto imageRow = [](std::uint8_t* bits, bool topDown, int y) {
        return bits + static_cast<std::size_t>(topDown ? y : 29 - y) * 160;
    };
    struct Case {
        std::int32_t x, y, opacity, grey;
    };
    for (const Case c : {Case{0, 0, 100, -1},
                         {5, 3, 50, -1},
                         {20, 15, 100, 0},
                         {-6, -4, 73, -1},
                         {30, 25, 100, -1}}) {
        SCOPED_TRACE(::testing::Message()
                     << c.x << "," << c.y << " " << c.opacity << "% grey " << c.grey);
        std::array<std::vector<std::uint8_t>, 2> drawn;
        for (const bool topDown : {false, true}) {
            void* bits = nullptr;
            const HBITMAP bitmap = section(topDown, &bits);
            ASSERT_NE(bitmap, 0u);
            auto* p = static_cast<std::uint8_t*>(bits);
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 160; ++x)
                    imageRow(p, topDown, y)[x] = static_cast<std::uint8_t>(x * 7 + y * 13);
            const HDC dc = CreateCompatibleDC(0);
            const HGDIOBJ previous = SelectObject(dc, bitmap);
            ASSERT_TRUE(
                src.Render(dc, c.x, c.y, 0, 0, 0, 0, 0, 0, c.opacity, true, true, nullptr, c.grey));
            for (int y = 0; y < 30; ++y)
                drawn[topDown].insert(drawn[topDown].end(), imageRow(p, topDown, y),
                                      imageRow(p, topDown, y) + 160);
            SelectObject(dc, previous);
            DeleteDC(dc);
            DeleteObject(bitmap);
        }
        EXPECT_EQ(drawn[0], drawn[1]);
    }

    // Onto its own DC the area is copied out first, so the drawing reads the
    // source as it was: the same as drawing an equal copy.
    c32bppDIB copy, expected;
    src.CopyImageTo(copy);
    src.CopyImageTo(expected);
    ownEngine(copy);
    const HDC other = expected.LoadDIBinDC(true);
    ASSERT_TRUE(copy.Render(other, 3, 2, 0, 0, 0, 0, 0, 0, 60));
    expected.LoadDIBinDC(false);
    const HDC own = src.LoadDIBinDC(true);
    ASSERT_TRUE(src.Render(own, 3, 2, 0, 0, 0, 0, 0, 0, 60));
    src.LoadDIBinDC(false);
    EXPECT_TRUE(std::equal(src.pixels().begin(), src.pixels().end(), expected.pixels().begin()));
}

// Arguments from every corner: the sanitizer build proves no read or write
// leaves the buffers; the handle count proves nothing is left behind.
TEST(Render, AnyArgumentsStayInsideTheBuffers) {
    std::mt19937 rng(2024);
    const auto pick = [&](std::initializer_list<std::int32_t> values) {
        return *(values.begin() +
                 std::uniform_int_distribution<std::size_t>(0, values.size() - 1)(rng));
    };
    const std::size_t before = LiveObjectCount();
    c32bppDIB src, host;
    for (int round = 0; round < 1500; ++round) {
        ASSERT_TRUE(src.InitializeDIB(pick({1, 2, 5, 9}), pick({1, 3, 7})));
        for (std::size_t i = 0; i < src.pixels().size(); ++i)
            src.pixels()[i] = static_cast<std::uint8_t>(rng());
        src.isAlphaBlendFriendly(rng() % 2 == 0);
        src.HighQualityInterpolation(rng() % 2 == 0);
        ASSERT_TRUE(host.InitializeDIB(pick({1, 4, 8}), pick({1, 6})));
        const bool ontoDc = rng() % 2 == 0;
        const HDC dc = ontoDc ? host.LoadDIBinDC(true) : 0;
        src.Render(
            dc, pick({-20, -3, -1, 0, 2, 7, 100}), pick({-9, -1, 0, 3, 50}),
            pick({-13, -2, -1, 0, 1, 3, 17}), pick({-6, -1, 0, 1, 4, 11}), pick({-2, 0, 1, 4, 12}),
            pick({-1, 0, 2, 9}), pick({-7, -1, 0, 1, 3, 40}), pick({-5, 0, 1, 2, 30}),
            pick({-1, 1, 50, 99, 100, 250}), true, rng() % 2 == 0, ontoDc ? nullptr : &host,
            pick({-1, -1, 0, 3, 99}), static_cast<float>(pick({0, 0, -100, -30, 40, 100})),
            static_cast<float>(pick({0, 0, 360, 45, -90, 180})) + (rng() % 3 == 0 ? 0.5f : 0.0f),
            rng() % 3 == 0);
        if (ontoDc) host.LoadDIBinDC(false);
        if (round % 50 == 0) {
            std::unique_ptr<c32bppDIB> copy;
            src.CopyImageTo(copy, pick({-9, -1, 0, 3, 12}), pick({-4, 0, 1, 6}));
            src.MirrorImage(rng() % 2 == 0, true);
            src.CreateDropShadow(pick({-1, 0, 3, 20}), 0x123456);
        }
    }
    src.DestroyDIB();
    host.DestroyDIB();
    EXPECT_EQ(LiveObjectCount(), before);
}

TEST(Render, FarOutArgumentsAreRefusedWithoutOverflow) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    c32bppDIB src, host;
    ASSERT_TRUE(src.InitializeDIB(2, 2));
    fill(src, {9, 9, 9, 255});
    ASSERT_TRUE(host.InitializeDIB(3, 3));
    for (const bool alphaBlend : {true, false}) {
        src.isAlphaBlendFriendly(alphaBlend);
        for (const std::int32_t v : {kMin, kMin + 1, -(1 << 29) - 1, (1 << 29) + 1, kMax}) {
            for (int slot = 0; slot < 8; ++slot) {
                std::array<std::int32_t, 8> a{};
                a[static_cast<std::size_t>(slot)] = v;
                for (const float angle : {0.0f, 30.0f}) {
                    EXPECT_FALSE(src.Render(0, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], 100,
                                            true, true, &host, -1, 0, angle, true))
                        << slot << ' ' << v;
                    const HDC dc = host.LoadDIBinDC(true);
                    EXPECT_FALSE(src.Render(dc, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]));
                    host.LoadDIBinDC(false);
                }
            }
        }
        EXPECT_EQ(get(host, 0, 0), (Px{0, 0, 0, 0})) << "nothing was drawn";
        // The farthest accepted values draw nothing visible and stay in range.
        src.Render(0, -(1 << 29), -(1 << 29), -(1 << 29), -(1 << 29), 0, 0, 0, 0, 100, true, true,
                   &host, -1, 0, 45, true);
        src.Render(0, 1 << 29, 1 << 29, 1 << 29, 1 << 29, 0, 0, 0, 0, 100, true, true, &host);
    }
    std::unique_ptr<c32bppDIB> copy;
    src.CopyImageTo(copy, kMin, 1);
    src.CopyImageTo(copy, 1, kMin);
    EXPECT_FALSE(copy);
}

// A draw larger than its destination makes only what lands there: the
// pixels are those of the same draw onto a larger destination, and a size
// no buffer could hold still draws its visible part.
TEST(Render, OnlyWhatLandsOnTheDestinationIsMade) {
    c32bppDIB src;
    ASSERT_TRUE(src.InitializeDIB(5, 4));
    ownEngine(src);
    std::mt19937 rng(9);
    for (std::size_t i = 0; i < src.pixels().size(); i += 4) {
        const auto a = static_cast<std::uint8_t>(rng() % 256);
        for (int c = 0; c < 3; ++c)
            src.pixels()[i + c] = static_cast<std::uint8_t>(rng() % (a + 1u));
        src.pixels()[i + 3] = a;
    }
    struct Draw {
        std::int32_t x, y, w, h;
        float angle;
    };
    for (const Draw d : {Draw{-7, -3, 40, 33, 0}, {2, -9, -37, 29, 0}, {-5, 4, 31, -26, 0},
                         {-11, -6, 45, 38, 30}, {3, 2, 24, 17, 90}, {-20, -15, -50, 44, 200}}) {
        for (const bool bilinear : {false, true}) {
            src.HighQualityInterpolation(bilinear);
            c32bppDIB small, large;
            ASSERT_TRUE(small.InitializeDIB(9, 7));
            ASSERT_TRUE(large.InitializeDIB(80, 80));
            for (const bool ontoDc : {false, true}) {
                for (c32bppDIB* target : {&small, &large}) {
                    fill(*target, {0, 0, 0, 0});
                    const HDC dc = ontoDc ? target->LoadDIBinDC(true) : 0;
                    EXPECT_TRUE(src.Render(dc, d.x, d.y, d.w, d.h, 0, 0, 0, 0, 100, true, true,
                                           ontoDc ? nullptr : target, -1, 0, d.angle));
                    if (ontoDc) target->LoadDIBinDC(false);
                }
                for (int y = 0; y < small.Height(); ++y)
                    for (int x = 0; x < small.Width(); ++x)
                        ASSERT_EQ(get(small, x, y), get(large, x, y))
                            << d.w << 'x' << d.h << " at " << d.angle << " (" << x << ", " << y
                            << ")" << (ontoDc ? " onto a DC" : "") << (bilinear ? " bilinear" : "");
            }
        }
    }
    constexpr std::int32_t kHuge = 1 << 29;
    for (const float angle : {0.0f, 30.0f}) {
        c32bppDIB host;
        ASSERT_TRUE(host.InitializeDIB(6, 6));
        EXPECT_TRUE(src.Render(0, -kHuge / 2, -kHuge / 2, kHuge, kHuge, 0, 0, 0, 0, 100, true, true,
                               &host, -1, 0, angle));
        EXPECT_NE(get(host, 3, 3)[3], 0) << angle;
    }
}

TEST(Render, ALightAdjustmentOfNaNIsIgnored) {
    c32bppDIB src, host;
    ASSERT_TRUE(src.InitializeDIB(1, 1));
    ownEngine(src);
    set(src, 0, 0, {40, 50, 60, 200});
    ASSERT_TRUE(host.InitializeDIB(1, 1));
    EXPECT_TRUE(src.Render(0, 0, 0, 0, 0, 0, 0, 0, 0, 100, true, true, &host, -1,
                           std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(get(host, 0, 0), (Px{40, 50, 60, 200}));
}

TEST(Render, NothingLeaks) {
    const std::size_t before = LiveObjectCount();
    {
        c32bppDIB src, canvas;
        ramp(src);
        ASSERT_TRUE(canvas.InitializeDIB(8, 8));
        const HDC dc = canvas.LoadDIBinDC(true);
        for (const bool alphaBlend : {true, false}) {
            src.isAlphaBlendFriendly(alphaBlend);
            EXPECT_TRUE(src.Render(dc, 0, 0, 8, 3));
            EXPECT_TRUE(src.Render(dc, 0, 0, -4, 1, 0, 0, 0, 0, 50, true, true, nullptr, 2));
            EXPECT_TRUE(
                src.Render(dc, 4, 4, 4, 4, 0, 0, 0, 0, 100, true, true, nullptr, -1, 10, 30));
        }
        canvas.LoadDIBinDC(false);
        EXPECT_EQ(src.RenderDropShadow_JIT(dc, 0, 0, 2, RGB(0, 0, 0), 50), false)
            << "the DC's section was released";
    }
    EXPECT_EQ(LiveObjectCount(), before);
}

} // namespace

#include "platform/gdi/blit.h"
#include "platform/gdi/gdi.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

using namespace platform;

namespace {

// A memory DC holding a DIB section, released at the end of the test.
struct Canvas {
    HDC dc = 0;
    HBITMAP bitmap = 0;
    HGDIOBJ previous = 0;
    std::uint8_t* bits = nullptr;
    std::int32_t width = 0, height = 0, bpp = 0, stride = 0;

    Canvas(std::int32_t w, std::int32_t h, std::uint16_t bitCount) : width(w), height(h) {
        BITMAPINFOHEADER bi;
        bi.biWidth = w;
        bi.biHeight = h;
        bi.biBitCount = bitCount;
        void* p = nullptr;
        bitmap = CreateDIBSection(0, bi, {}, &p);
        bits = static_cast<std::uint8_t*>(p);
        dc = CreateCompatibleDC(0);
        previous = SelectObject(dc, bitmap);
        bpp = bitCount / 8;
        stride = ((w * bitCount + 31) & ~31) / 8;
    }
    ~Canvas() {
        SelectObject(dc, previous);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    // (x, y) with y = 0 the top row.
    std::uint8_t* at(std::int32_t x, std::int32_t y) const {
        return bits + static_cast<std::size_t>(height - 1 - y) * stride + x * bpp;
    }
    void set(std::int32_t x, std::int32_t y, std::array<std::uint8_t, 4> bgra) const {
        std::memcpy(at(x, y), bgra.data(), static_cast<std::size_t>(bpp));
    }
    std::array<std::uint8_t, 4> get(std::int32_t x, std::int32_t y) const {
        std::array<std::uint8_t, 4> out{0, 0, 0, 0};
        std::memcpy(out.data(), at(x, y), static_cast<std::size_t>(bpp));
        return out;
    }
    void fill(std::array<std::uint8_t, 4> bgra) const {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                set(x, y, bgra);
    }
};

using Px = std::array<std::uint8_t, 4>;

TEST(Blit, BitBltCopiesClipsAndConvertsDepth) {
    Canvas src(4, 3, 32), dst(4, 3, 32), dst24(4, 3, 24);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            src.set(x, y, {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 9, 200});
    EXPECT_FALSE(BitBlt(dst.dc, 0, 0, 4, 3, src.dc, 0, 0, 0x00EE0086)) << "only SRCCOPY";
    ASSERT_TRUE(BitBlt(dst.dc, 1, 1, 10, 10, src.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(dst.get(1, 1), (Px{0, 0, 9, 200}));
    EXPECT_EQ(dst.get(3, 2), (Px{2, 1, 9, 200}));
    EXPECT_EQ(dst.get(0, 0), (Px{0, 0, 0, 0})) << "outside the destination rectangle";

    // A negative destination origin moves the source origin with it.
    ASSERT_TRUE(BitBlt(dst.dc, -2, -1, 4, 3, src.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(dst.get(0, 0), (Px{2, 1, 9, 200}));

    ASSERT_TRUE(BitBlt(dst24.dc, 0, 0, 4, 3, src.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(dst24.get(3, 2), (Px{3, 2, 9, 0}));
    ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 4, 3, dst24.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(dst.get(3, 2), (Px{3, 2, 9, 0})) << "24 to 32 bits writes alpha 0";

    const HDC screen = GetDC(0);
    EXPECT_FALSE(BitBlt(screen, 0, 0, 1, 1, src.dc, 0, 0, SRCCOPY)) << "the screen holds no pixels";
    ReleaseDC(0, screen);
}

TEST(Blit, BitBltOntoItselfReadsTheOldPixels) {
    Canvas c(4, 1, 32);
    for (int x = 0; x < 4; ++x)
        c.set(x, 0, {static_cast<std::uint8_t>(x + 1), 0, 0, 0});
    ASSERT_TRUE(BitBlt(c.dc, 1, 0, 3, 1, c.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(c.get(1, 0)[0], 1);
    EXPECT_EQ(c.get(2, 0)[0], 2);
    EXPECT_EQ(c.get(3, 0)[0], 3);
}

TEST(Blit, SetDIBitsToDeviceReadsBottomUpRowsAndChecksTheBuffer) {
    Canvas dst(3, 2, 32);
    // A 2 x 2 bottom-up 24-bpp DIB: rows of 8 bytes (6 + padding).
    BITMAPINFOHEADER bi;
    bi.biWidth = 2;
    bi.biHeight = 2;
    bi.biBitCount = 24;
    const std::vector<std::uint8_t> bits = {1, 1, 1, 2, 2, 2, 0, 0,  // bottom row
                                            3, 3, 3, 4, 4, 4, 0, 0}; // top row
    EXPECT_EQ(SetDIBitsToDevice(dst.dc, 1, 0, 2, 2, 0, 0, 0, 2, bits, bi, DIB_RGB_COLORS), 2);
    EXPECT_EQ(dst.get(1, 0), (Px{3, 3, 3, 0}));
    EXPECT_EQ(dst.get(2, 1), (Px{2, 2, 2, 0}));

    EXPECT_EQ(SetDIBitsToDevice(dst.dc, 0, 0, 2, 2, 0, 0, 0, 2,
                                std::span(bits).first(bits.size() - 1), bi, DIB_RGB_COLORS),
              0)
        << "a buffer one byte short is refused";
    bi.biCompression = BI_RLE8;
    EXPECT_EQ(SetDIBitsToDevice(dst.dc, 0, 0, 2, 2, 0, 0, 0, 2, bits, bi, DIB_RGB_COLORS), 0);
}

TEST(Blit, FillRectPaintsTheClippedRectangleWithAlphaZero) {
    Canvas c(4, 4, 32);
    c.fill({7, 7, 7, 255});
    const HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
    RECT r{2, 2, 6, 6};
    EXPECT_TRUE(OffsetRect(r, 1, -1));
    EXPECT_EQ(r, (RECT{3, 1, 7, 5}));
    EXPECT_NE(FillRect(c.dc, r, brush), 0);
    EXPECT_EQ(c.get(3, 1), (Px{30, 20, 10, 0}));
    EXPECT_EQ(c.get(3, 3), (Px{30, 20, 10, 0}));
    EXPECT_EQ(c.get(2, 1), (Px{7, 7, 7, 255}));
    EXPECT_EQ(c.get(3, 0), (Px{7, 7, 7, 255}));
    EXPECT_EQ(FillRect(c.dc, r, 0), 0) << "no brush";
    DeleteObject(brush);
}

TEST(Blit, AlphaBlendIsPremultipliedSourceOver) {
    Canvas src(2, 1, 32), dst(2, 1, 32);
    src.set(0, 0, {50, 50, 50, 128});
    src.set(1, 0, {0, 0, 0, 0});
    dst.fill({255, 255, 255, 255});
    BLENDFUNCTION bf;
    bf.AlphaFormat = AC_SRC_ALPHA;
    ASSERT_TRUE(AlphaBlend(dst.dc, 0, 0, 2, 1, src.dc, 0, 0, 2, 1, bf));
    // 50 + round(255 x 127 / 255)
    EXPECT_EQ(dst.get(0, 0), (Px{177, 177, 177, 255}));
    EXPECT_EQ(dst.get(1, 0), (Px{255, 255, 255, 255})) << "transparent leaves the destination";

    // Half constant alpha: the source is scaled first, then laid over.
    dst.fill({0, 0, 0, 0});
    src.set(0, 0, {200, 100, 0, 200});
    bf.SourceConstantAlpha = 128;
    ASSERT_TRUE(AlphaBlend(dst.dc, 0, 0, 1, 1, src.dc, 0, 0, 1, 1, bf));
    EXPECT_EQ(dst.get(0, 0), (Px{100, 50, 0, 100}));

    // Without AC_SRC_ALPHA only the constant weighs, alpha included.
    dst.fill({0, 0, 100, 255});
    bf.AlphaFormat = 0;
    bf.SourceConstantAlpha = 51; // 20 %
    ASSERT_TRUE(AlphaBlend(dst.dc, 0, 0, 1, 1, src.dc, 0, 0, 1, 1, bf));
    EXPECT_EQ(dst.get(0, 0), (Px{40, 20, 80, 244}));
}

TEST(Blit, AlphaBlendRefusesBadRectanglesAndClipsTheDestination) {
    Canvas src(2, 2, 32), dst(3, 3, 32), src24(2, 2, 24);
    src.fill({1, 2, 3, 255});
    BLENDFUNCTION bf;
    bf.AlphaFormat = AC_SRC_ALPHA;
    EXPECT_FALSE(AlphaBlend(dst.dc, 0, 0, 2, 2, src.dc, 1, 0, 2, 2, bf)) << "source outside";
    EXPECT_FALSE(AlphaBlend(dst.dc, 0, 0, -2, 2, src.dc, 0, 0, 2, 2, bf)) << "negative size";
    EXPECT_FALSE(AlphaBlend(dst.dc, 0, 0, 2, 2, src24.dc, 0, 0, 2, 2, bf))
        << "per-pixel alpha needs 32 bits";
    bf.BlendOp = 1;
    EXPECT_FALSE(AlphaBlend(dst.dc, 0, 0, 2, 2, src.dc, 0, 0, 2, 2, bf));
    bf.BlendOp = AC_SRC_OVER;

    ASSERT_TRUE(AlphaBlend(dst.dc, 2, -1, 2, 2, src.dc, 0, 0, 2, 2, bf));
    EXPECT_EQ(dst.get(2, 0), (Px{1, 2, 3, 255}));
    EXPECT_EQ(dst.get(1, 0), (Px{0, 0, 0, 0}));
    EXPECT_EQ(dst.get(2, 1), (Px{0, 0, 0, 0}));
}

TEST(Blit, AlphaBlendStretchesByTheDestinationsMode) {
    Canvas src(2, 1, 32), dst(4, 1, 32), small(1, 1, 32);
    src.set(0, 0, {0, 0, 0, 255});
    src.set(1, 0, {255, 255, 255, 255});
    BLENDFUNCTION bf;
    bf.AlphaFormat = AC_SRC_ALPHA;

    // Nearest: each source pixel doubled.
    ASSERT_TRUE(AlphaBlend(dst.dc, 0, 0, 4, 1, src.dc, 0, 0, 2, 1, bf));
    EXPECT_EQ(dst.get(1, 0)[0], 0);
    EXPECT_EQ(dst.get(2, 0)[0], 255);

    // Halftone shrinking averages the covered area.
    EXPECT_EQ(SetStretchBltMode(small.dc, HALFTONE), BLACKONWHITE);
    ASSERT_TRUE(AlphaBlend(small.dc, 0, 0, 1, 1, src.dc, 0, 0, 2, 1, bf));
    EXPECT_EQ(small.get(0, 0), (Px{128, 128, 128, 255}));
    SetStretchBltMode(small.dc, COLORONCOLOR);
    ASSERT_TRUE(AlphaBlend(small.dc, 0, 0, 1, 1, src.dc, 0, 0, 2, 1, bf));
    EXPECT_EQ(small.get(0, 0), (Px{255, 255, 255, 255})) << "nearest takes the centre's pixel";

    // Halftone enlarging by 3 / 2: the middle pixel covers half of each.
    Canvas wide(3, 1, 32);
    SetStretchBltMode(wide.dc, HALFTONE);
    ASSERT_TRUE(AlphaBlend(wide.dc, 0, 0, 3, 1, src.dc, 0, 0, 2, 1, bf));
    EXPECT_EQ(wide.get(0, 0)[0], 0);
    EXPECT_EQ(wide.get(1, 0)[0], 128);
    EXPECT_EQ(wide.get(2, 0)[0], 255);
}

TEST(Blit, AlphaBlendOntoATwentyFourBitBitmapBlendsTheColours) {
    Canvas src(1, 1, 32), dst(1, 1, 24);
    src.set(0, 0, {0, 0, 100, 100});
    dst.fill({200, 200, 200, 0});
    BLENDFUNCTION bf;
    bf.AlphaFormat = AC_SRC_ALPHA;
    ASSERT_TRUE(AlphaBlend(dst.dc, 0, 0, 1, 1, src.dc, 0, 0, 1, 1, bf));
    // 200 x 155 / 255 = 121.57 -> 122
    EXPECT_EQ(dst.get(0, 0), (Px{122, 122, 222, 0}));
}

} // namespace

namespace {

TEST(Blit, RowConversionsKeepEveryColourByte) {
    for (std::int32_t n = 0; n < 11; ++n) {
        std::vector<std::uint8_t> wide(static_cast<std::size_t>(n) * 4), narrow(n * 3u + 1, 0xEE),
            back(static_cast<std::size_t>(n) * 4 + 1, 0xEE);
        for (std::size_t i = 0; i < wide.size(); ++i)
            wide[i] = static_cast<std::uint8_t>(i * 7 + 1);
        PixelsTo24(wide.data(), narrow.data(), n);
        PixelsTo32(narrow.data(), back.data(), n, 9);
        for (std::int32_t i = 0; i < n; ++i)
            for (int c = 0; c < 4; ++c)
                ASSERT_EQ(back[i * 4u + c], c == 3 ? 9 : wide[i * 4u + c]) << n << " " << i;
        EXPECT_EQ(narrow.back(), 0xEE) << "nothing written past the row";
        EXPECT_EQ(back.back(), 0xEE);
    }
}

} // namespace

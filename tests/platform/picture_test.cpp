#include "platform/gdi/gdi.h"
#include "platform/picture/bitmap_rows.h"
#include "platform/picture/icon.h"
#include "platform/picture/picture.h"
#include "tests/support/image_files.h"
#include "tests/support/pixels.h"

#include <cstring>
#include <gtest/gtest.h>
#include <limits>

using namespace platform;
using namespace testfiles;

namespace {

const auto header = testpixels::dibHeader;

// A 32-bit target selected into a memory DC, released on scope exit.
struct Target {
    HDC dc = CreateCompatibleDC(0);
    void* bits = nullptr;
    HBITMAP bitmap;
    HGDIOBJ old;
    std::int32_t w, h;
    Target(std::int32_t width, std::int32_t height)
        : bitmap(CreateDIBSection(0, header(width, height, 32), {}, &bits)),
          old(SelectObject(dc, bitmap)), w(width), h(height) {}
    ~Target() {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    // (x, y) with y = 0 the top row, as 0xAARRGGBB.
    std::uint32_t at(int x, int y) const {
        const auto* p = static_cast<const std::uint8_t*>(bits) + ((h - 1 - y) * w + x) * 4;
        return std::uint32_t{p[3]} << 24 | p[2] << 16 | p[1] << 8 | p[0];
    }
};

TEST(Picture, ReadsBitmapsAndGifsAndRefusesMetafiles) {
    const std::size_t before = LiveObjectCount();
    {
        Bytes bits = {0, 0, 255, 0, 255, 0, 0, 0};
        const auto bmp = ReadPicture(bmpFile(infoHeader(1, 2, 24), bits));
        ASSERT_TRUE(bmp);
        EXPECT_EQ((*bmp)->Type(), PICTYPE_BITMAP);
        EXPECT_EQ((*bmp)->Width(), PixelsToHiMetric(1));
        EXPECT_EQ((*bmp)->Height(), PixelsToHiMetric(2));

        const auto gif =
            ReadPicture(gifFile(3, 1, {{0, 0, 0}, {10, 20, 30}}, {frame(0, 0, 3, 1, {1, 0, 1})}));
        ASSERT_TRUE(gif);
        BITMAP info;
        ASSERT_TRUE(GetObjectBitmap((*gif)->Handle(), info));
        EXPECT_EQ(info.bmBitsPixel, 8);
        EXPECT_EQ(static_cast<const std::uint8_t*>(info.bmBits)[0], 1);

        // Placeable and plain Windows metafiles and an enhanced metafile.
        Bytes placeable;
        put32(placeable, 0x9AC6CDD7u);
        placeable.resize(40, 0);
        EXPECT_EQ(ReadPicture(placeable).error(), PictureError::Metafile);
        EXPECT_EQ(ReadPicture(Bytes{1, 0, 9, 0, 0, 3, 0, 0}).error(), PictureError::Metafile);
        Bytes emf(88, 0);
        set32(emf, 0, 1);
        set32(emf, 40, 0x464D4520u);
        EXPECT_EQ(ReadPicture(emf).error(), PictureError::Metafile);
        EXPECT_EQ(ReadPicture(Bytes{1, 2, 3}).error(), PictureError::Unrecognised);
        EXPECT_EQ(ReadPicture(Bytes{'B', 'M', 0}).error(), PictureError::BadBitmap);
    }
    EXPECT_EQ(LiveObjectCount(), before);
}

TEST(Picture, RenderStretchesUprightOrFlipped) {
    // 2 x 2: top row red, green; bottom row blue, white.
    const Bytes bits = {255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
    const auto picture = LoadPictureFromBytes(bmpFile(infoHeader(2, 2, 24), bits));
    ASSERT_TRUE(picture);
    const std::int32_t hw = picture->Width(), hh = picture->Height();
    {
        Target t(4, 4);
        ASSERT_TRUE(picture->Render(t.dc, 0, 0, 4, 4, 0, hh, hw, -hh));
        EXPECT_EQ(t.at(0, 0), 0xFFFF0000u);
        EXPECT_EQ(t.at(3, 1), 0xFF00FF00u);
        EXPECT_EQ(t.at(1, 3), 0xFF0000FFu);
        EXPECT_EQ(t.at(3, 3), 0xFFFFFFFFu);
    }
    {
        // A positive source height draws the picture upside down.
        Target t(2, 2);
        ASSERT_TRUE(picture->Render(t.dc, 0, 0, 2, 2, 0, 0, hw, hh));
        EXPECT_EQ(t.at(0, 0), 0xFF0000FFu);
        EXPECT_EQ(t.at(0, 1), 0xFFFF0000u);
    }
    {
        // Clipped at the target's edges; nothing outside is touched.
        Target t(2, 2);
        ASSERT_TRUE(picture->Render(t.dc, 1, 1, 2, 2, 0, hh, hw, -hh));
        EXPECT_EQ(t.at(0, 0), 0u);
        EXPECT_EQ(t.at(1, 1), 0xFFFF0000u);
    }
    Target t(1, 1);
    EXPECT_FALSE(picture->Render(t.dc, 0, 0, 0, 1, 0, hh, hw, -hh));
    EXPECT_FALSE(picture->Render(0, 0, 0, 1, 1, 0, hh, hw, -hh));
    // Arguments far beyond any picture are refused, not multiplied past 64 bits.
    EXPECT_FALSE(picture->Render(t.dc, 0, 0, 2, 2, std::numeric_limits<std::int32_t>::min(), hh,
                                 std::numeric_limits<std::int32_t>::max(), -hh));
    // A picture 700 000 pixels wide (its width in 0.01 mm passes 2^24)
    // stretched across 2^22: the mapping's products pass 64 bits and must
    // still land on the right column (the middle one, whose number its
    // colour spells).
    constexpr std::uint32_t kWide = 700000;
    Bytes wideBits(3 * kWide);
    for (std::uint32_t c = 0; c < kWide; ++c)
        for (int k = 0; k < 3; ++k)
            wideBits[3 * c + k] = static_cast<std::uint8_t>(c >> (8 * k));
    const auto wide = LoadPictureFromBytes(bmpFile(infoHeader(kWide, 1, 24), wideBits));
    ASSERT_TRUE(wide);
    ASSERT_TRUE(wide->Render(t.dc, -(1 << 21), 0, 1 << 22, 1, 0, wide->Height(), wide->Width(),
                             -wide->Height()));
    EXPECT_EQ(t.at(0, 0), 0xFF000000u | (kWide / 2));
}

// A 2 x 2 mask: the top-left pixel masked.
HBITMAP makeMask(int w, int h, std::initializer_list<std::uint8_t> rowsBottomUp) {
    void* bits = nullptr;
    const RGBQUAD mono[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    const HBITMAP mask = CreateDIBSection(0, header(w, h, 1), mono, &bits);
    auto* p = static_cast<std::uint8_t*>(bits);
    for (std::uint8_t row : rowsBottomUp) {
        *p = row;
        p += 4;
    }
    return mask;
}

TEST(Icon, HandlesOwnCopiesAndDrawThroughTheirMask) {
    const std::size_t before = LiveObjectCount();
    void* colorBits = nullptr;
    const HBITMAP color = CreateDIBSection(0, header(2, 2, 32), {}, &colorBits);
    const std::uint32_t colors[4] = {0x00000010u, 0x00000020u, 0x00000030u, 0x00000040u};
    std::memcpy(colorBits, colors, sizeof colors);
    const HBITMAP mask = makeMask(2, 2, {0x00, 0x80}); // top row: x = 0 masked

    ICONINFO info;
    info.fIcon = false;
    info.xHotspot = 1;
    info.hbmMask = mask;
    info.hbmColor = color;
    const HICON icon = CreateIconIndirect(info);
    ASSERT_NE(icon, 0u);
    DeleteObject(mask);
    DeleteObject(color);
    EXPECT_EQ(GetObjectType(icon), OBJ_ICON);

    ICONINFO back;
    ASSERT_TRUE(GetIconInfo(icon, back));
    EXPECT_FALSE(back.fIcon);
    EXPECT_EQ(back.xHotspot, 1u);
    BITMAP bm;
    ASSERT_TRUE(GetObjectBitmap(back.hbmColor, bm));
    EXPECT_EQ(bm.bmWidth, 2);
    std::vector<std::uint8_t> maskRows(8);
    ASSERT_TRUE(GetBitmapRows(back.hbmMask, 1, 2, 2, maskRows));
    EXPECT_EQ(maskRows[4], 0x80); // memory row 1 is the top row
    DeleteObject(back.hbmMask);
    DeleteObject(back.hbmColor);

    {
        Target t(2, 2);
        std::memset(t.bits, 0x77, 16);
        ASSERT_TRUE(DrawIconEx(t.dc, 0, 0, icon, 0, 0));
        EXPECT_EQ(t.at(0, 0), 0x77777747u); // kept, XORed with its (black-ish) colour
        EXPECT_EQ(t.at(1, 0), 0xFF000040u);
        EXPECT_EQ(t.at(0, 1), 0xFF000010u);
    }
    {
        EXPECT_FALSE(CreatePictureIndirect(icon, PICTYPE_BITMAP));
        // The picture owns the icon from here on and frees it.
        const auto picture = CreatePictureIndirect(icon, PICTYPE_ICON);
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->Width(), PixelsToHiMetric(2));
        Target t(4, 4);
        const std::int32_t hw = picture->Width(), hh = picture->Height();
        ASSERT_TRUE(picture->Render(t.dc, 0, 0, 4, 4, 0, hh, hw, -hh));
        EXPECT_EQ(t.at(3, 3), 0xFF000020u);
    }
    EXPECT_EQ(LiveObjectCount(), before);
}

TEST(Icon, MonochromeIconsStackBothHalvesInTheMask) {
    const std::size_t before = LiveObjectCount();
    // 1 x 1 icon: mask rows bottom-up are XOR (white), then AND (clear).
    const HBITMAP mask = makeMask(1, 2, {0x80, 0x00});
    ICONINFO info;
    info.hbmMask = mask;
    const HICON icon = CreateIconIndirect(info);
    DeleteObject(mask);
    ASSERT_NE(icon, 0u);
    std::int32_t w = 0, h = 0;
    ASSERT_TRUE(GetIconSize(icon, w, h));
    EXPECT_EQ(h, 1);
    {
        Target t(1, 1);
        ASSERT_TRUE(DrawIconEx(t.dc, 0, 0, icon, 0, 0));
        EXPECT_EQ(t.at(0, 0), 0xFFFFFFFFu);
    }
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(DestroyIcon(icon));
    EXPECT_EQ(LiveObjectCount(), before);

    ICONINFO none;
    EXPECT_EQ(CreateIconIndirect(none), 0u);
}

} // namespace

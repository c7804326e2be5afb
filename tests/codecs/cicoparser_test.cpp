#include "codecs/cicoparser.h"
#include "codecs/modparsers.h"
#include "dib/c32bppdib.h"
#include "platform/gdi/gdi.h"
#include "platform/picture/icon.h"
#include "png_builder.h"
#include "tests/support/image_files.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace platform;
using namespace modParsers;
using namespace testfiles;

namespace {

std::uint32_t at(const c32bppDIB& s, int x, int y) {
    const std::uint8_t* p = s.row(y) + x * 4;
    return std::uint32_t{p[3]} << 24 | p[2] << 16 | p[1] << 8 | p[0];
}

// A 32-bit entry of one colour with alpha 255.
IcoEntry solid32(int w, int h, std::uint32_t argb = 0xFF102030u) {
    return IcoEntry{
        static_cast<std::uint8_t>(w & 0xFF), static_cast<std::uint8_t>(h & 0xFF), 32,
        bitmapEntry(
            w, h, 32, {}, [&](int, int) { return argb; }, [](int, int) { return false; })};
}

bool load(cICOparser& parser, Bytes& file, c32bppDIB* s, int cx = 0, int cy = 0, int depth = 32) {
    std::int32_t offset = 0, length = 0;
    return parser.LoadStream(file, cx, cy, s, offset, length, depth, 0);
}

Bytes pngEntry(std::uint32_t w, std::uint32_t h, std::uint8_t depth, std::uint8_t colorType) {
    Bytes b = {137, 80, 78, 71, 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (std::uint32_t v : {w, h})
        for (int i = 3; i >= 0; --i)
            b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    b.insert(b.end(), {depth, colorType, 0, 0, 0, 0, 0, 0, 0});
    return b;
}

TEST(ICOparser, EntryChoiceByScore) {
    Bytes file = icoFile({solid32(16, 16), solid32(32, 32), solid32(48, 48)});
    struct Case {
        int cx, cy, width;
    };
    for (const Case c :
         {Case{32, 32, 32}, Case{24, 24, 32}, Case{64, 64, 48}, Case{0, 0, 32}, Case{16, 16, 16}}) {
        SCOPED_TRACE(c.cx);
        cICOparser parser;
        c32bppDIB s;
        ASSERT_TRUE(load(parser, file, &s, c.cx, c.cy));
        EXPECT_EQ(s.Width(), c.width);
        EXPECT_EQ(s.ImageType(), itIconAlpha);
    }
    // Depth decides between equal sizes.
    Bytes depths = icoFile({IcoEntry{16, 16, 4,
                                     bitmapEntry(
                                         16, 16, 4, {{1, 1, 1}}, [](int, int) { return 0u; },
                                         [](int, int) { return false; })},
                            solid32(16, 16)});
    cICOparser parser;
    c32bppDIB s;
    ASSERT_TRUE(load(parser, depths, &s, 16, 16, 4));
    EXPECT_EQ(s.ImageType(), itIcon);
}

TEST(ICOparser, DirectoryPropertiesAndRepairs) {
    // The directory says 0 bits; the header says 8.
    Bytes e8 = bitmapEntry(
        2, 2, 8, {{9, 9, 9}, {1, 2, 3}}, [](int x, int) { return static_cast<std::uint32_t>(x); },
        [](int, int) { return false; });
    Bytes file = icoFile({IcoEntry{2, 2, 0, e8}, IcoEntry{0, 0, 0, pngEntry(256, 256, 8, 6)}});
    cICOparser parser;
    ASSERT_TRUE(load(parser, file, nullptr));
    EXPECT_EQ(parser.IconCount(), 2);
    EXPECT_EQ(parser.bitDepth(1), 8);
    EXPECT_FALSE(parser.IsIconPNG(1));
    EXPECT_EQ(parser.ColorCount(1), 256);
    EXPECT_EQ(parser.ColorByteOffset(1), 6 + 32 + 40 + 1024);
    EXPECT_EQ(parser.Width(2), 256);
    EXPECT_EQ(parser.bitDepth(2), 32); // from the PNG's colour type 6
    EXPECT_TRUE(parser.IsIconPNG(2));
    EXPECT_EQ(parser.Width(3), 0);

    // A directory bit count goes into a header that has none.
    Bytes e4 = bitmapEntry(
        1, 1, 4, {{1, 1, 1}}, [](int, int) { return 0u; }, [](int, int) { return false; }, 0);
    Bytes repaired = icoFile({IcoEntry{1, 1, 4, e4}});
    ASSERT_TRUE(load(parser, repaired, nullptr));
    EXPECT_EQ(repaired[6 + 16 + 14], 4);

    // Neither says: not an icon file.
    Bytes none = icoFile({IcoEntry{1, 1, 0, e4}});
    EXPECT_FALSE(load(parser, none, nullptr));
}

TEST(ICOparser, MasksAndTypes) {
    // A 4-bit icon: masked pixels transparent black, the rest opaque.
    const std::vector<Rgb> pal = {{0, 0, 0}, {255, 0, 0}, {0, 0, 255}};
    Bytes e = bitmapEntry(
        3, 2, 4, pal, [](int x, int) { return static_cast<std::uint32_t>(x % 3); },
        [](int x, int y) { return x == 0 && y == 0; });
    Bytes file = icoFile({IcoEntry{3, 2, 4, e}});
    cICOparser parser;
    c32bppDIB s;
    ASSERT_TRUE(load(parser, file, &s));
    EXPECT_EQ(s.ImageType(), itIcon);
    EXPECT_TRUE(s.Alpha());
    EXPECT_EQ(at(s, 0, 0), 0u);
    EXPECT_EQ(at(s, 1, 0), 0xFFFF0000u);
    EXPECT_EQ(at(s, 2, 1), 0xFF0000FFu);
    EXPECT_EQ(at(s, 0, 1), 0xFF000000u);

    // Nothing masked: Alpha False. As a cursor: type 5.
    Bytes plain = bitmapEntry(
        2, 2, 24, {}, [](int, int) { return 0x112233u; }, [](int, int) { return false; });
    Bytes cursor = icoFile({IcoEntry{2, 2, 24, plain}}, 2);
    ASSERT_TRUE(load(parser, cursor, &s));
    EXPECT_EQ(s.ImageType(), itCursor);
    EXPECT_FALSE(s.Alpha());
    EXPECT_EQ(at(s, 1, 1), 0xFF112233u);

    // A 32-bit cursor: its alpha, premultiplied; the mask is not used.
    Bytes alpha = bitmapEntry(
        2, 1, 32, {}, [](int x, int) { return x ? 0x80C80000u : 0x00FFFFFFu; },
        [](int, int) { return true; });
    Bytes cur32 = icoFile({IcoEntry{2, 1, 32, alpha}}, 2);
    ASSERT_TRUE(load(parser, cur32, &s));
    EXPECT_EQ(s.ImageType(), itCursorAlpha);
    EXPECT_EQ(at(s, 0, 0), 0u);
    EXPECT_EQ(at(s, 1, 0), 0x80640000u);

    // Not square: 16 x 32.
    Bytes tall = icoFile({solid32(16, 32)});
    ASSERT_TRUE(load(parser, tall, &s));
    EXPECT_EQ(s.Width(), 16);
    EXPECT_EQ(s.Height(), 32);
}

// PNG entries go through the PNG reader; the image keeps the icon's type.
TEST(ICOparser, PngEntriesDecodeThroughThePngReader) {
    // 3 x 2 RGBA: one clear pixel, one half-transparent red, the rest opaque.
    testpng::Bytes raw;
    const std::uint8_t rows[2][12] = {{0, 0, 0, 0, 200, 0, 0, 128, 1, 2, 3, 255},
                                      {4, 5, 6, 255, 7, 8, 9, 255, 10, 11, 12, 255}};
    for (const auto& row : rows) {
        raw.push_back(0);
        raw.insert(raw.end(), std::begin(row), std::end(row));
    }
    const Bytes png = testpng::file(testpng::ihdr(3, 2, 8, 6), testpng::zlibCompress(raw));
    Bytes file = icoFile({solid32(16, 16), IcoEntry{3, 2, 0, png}});
    cICOparser parser;
    c32bppDIB s;
    ASSERT_TRUE(load(parser, file, &s, 3, 2));
    EXPECT_TRUE(parser.IsIconPNG(2));
    EXPECT_EQ(s.ImageType(), itIconPNG);
    EXPECT_TRUE(s.Alpha());
    EXPECT_EQ(at(s, 0, 0), 0u);
    EXPECT_EQ(at(s, 1, 0), 0x80640000u);
    EXPECT_EQ(at(s, 2, 1), 0xFF0A0B0Cu);

    // A PNG entry that fails to decode: still an icon, no image.
    Bytes broken = icoFile({IcoEntry{0, 0, 0, pngEntry(256, 256, 8, 6)}});
    ASSERT_TRUE(load(parser, broken, &s));
    EXPECT_EQ(s.Handle(), 0u);
}

TEST(ICOparser, LyingDirectoriesAreRefused) {
    cICOparser parser;
    c32bppDIB s;
    Bytes good = icoFile({solid32(2, 2)});
    // More data claimed than the file holds.
    Bytes big = good;
    set32(big, 6 + 8, 100000);
    EXPECT_FALSE(load(parser, big, &s));
    // An offset past the end, with a size that fits.
    Bytes far = good;
    set32(far, 6 + 12, 1000);
    EXPECT_FALSE(load(parser, far, &s));
    // An offset that wraps around.
    Bytes wrap = good;
    set32(wrap, 6 + 12, 0xFFFFFFF0u);
    EXPECT_FALSE(load(parser, wrap, &s));
    // An entry too small for its header's bit count.
    Bytes tiny = icoFile({IcoEntry{1, 1, 32, Bytes(10, 0)}});
    EXPECT_FALSE(load(parser, tiny, &s));
    // Bad header words and counts.
    for (std::size_t at : {0u, 2u, 4u}) {
        Bytes bad = good;
        bad[at] = at == 4 ? 0 : 7;
        EXPECT_FALSE(load(parser, bad, &s)) << at;
    }
    // A header size that points the colour bits past the entry: recognised,
    // no image.
    Bytes liar = good;
    set32(liar, 22, 0x7FFFFFF0u);
    ASSERT_TRUE(load(parser, liar, &s));
    EXPECT_EQ(s.Handle(), 0u);

    // Every truncation of a good file is refused or handled in bounds.
    for (std::size_t n = 0; n < good.size(); ++n) {
        Bytes part(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        load(parser, part, &s);
    }
}

TEST(ICOparser, HonoursTheRangeItIsGiven) {
    Bytes file = icoFile({solid32(2, 2)});
    Bytes padded(7, 0x55);
    padded.insert(padded.end(), file.begin(), file.end());
    cICOparser parser;
    c32bppDIB s;
    std::int32_t offset = 7, length = 0;
    ASSERT_TRUE(parser.LoadStream(padded, 0, 0, &s, offset, length, 32, 0));
    EXPECT_EQ(length, static_cast<std::int32_t>(file.size()));
    EXPECT_EQ(at(s, 0, 0), 0xFF102030u);
    offset = 1000;
    EXPECT_FALSE(parser.LoadStream(padded, 0, 0, &s, offset, length, 32, 0));
}

HBITMAP section(int w, int h, int bpp, const void* pixels, std::size_t bytes) {
    BITMAPINFOHEADER bi;
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biBitCount = static_cast<std::uint16_t>(bpp);
    const RGBQUAD mono[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    void* bits = nullptr;
    const HBITMAP b = CreateDIBSection(
        0, bi, bpp == 1 ? std::span<const RGBQUAD>(mono) : std::span<const RGBQUAD>(), &bits);
    std::memcpy(bits, pixels, bytes);
    return b;
}

HICON makeIcon(bool isIcon, HBITMAP color, HBITMAP mask) {
    ICONINFO info;
    info.fIcon = isIcon;
    info.hbmColor = color;
    info.hbmMask = mask;
    const HICON icon = CreateIconIndirect(info);
    if (color) DeleteObject(color);
    DeleteObject(mask);
    return icon;
}

TEST(ICOparser, ConvertsIconAndCursorHandles) {
    const std::size_t before = LiveObjectCount();
    const std::uint8_t maskRows[8] = {0x00, 0, 0, 0, 0x80, 0, 0, 0}; // top-left masked
    c32bppDIB s;
    {
        // Colour with alpha: premultiplied, the mask ignored.
        const std::uint32_t px[4] = {0xFF0000FFu, 0x80C80000u, 0xFF00FF00u, 0x00000000u};
        const HICON icon = makeIcon(true, section(2, 2, 32, px, 16), section(2, 2, 1, maskRows, 8));
        ASSERT_TRUE(cICOparser().ConvertstdPicTo32bpp(icon, s));
        EXPECT_EQ(s.ImageType(), itIconAlpha);
        EXPECT_EQ(at(s, 1, 1), 0x80640000u);
        DestroyIcon(icon);
    }
    {
        // Colour without alpha, as a cursor: the mask decides.
        const std::uint32_t px[4] = {0x000000FFu, 0x000000FEu, 0x000000FDu, 0x000000FCu};
        const HICON cursor =
            makeIcon(false, section(2, 2, 32, px, 16), section(2, 2, 1, maskRows, 8));
        ASSERT_TRUE(cICOparser().ConvertstdPicTo32bpp(cursor, s));
        EXPECT_EQ(s.ImageType(), itCursor);
        EXPECT_TRUE(s.Alpha());
        EXPECT_EQ(at(s, 0, 0), 0u);
        EXPECT_EQ(at(s, 1, 0), 0xFF0000FCu);
        EXPECT_EQ(at(s, 0, 1), 0xFF0000FFu);
        DestroyIcon(cursor);
    }
    {
        // Monochrome: the mask holds AND over XOR; drawn, then masked.
        const std::uint8_t mono[16] = {0x40, 0, 0, 0, 0x40, 0, 0, 0, 0x80, 0, 0, 0, 0x00, 0, 0, 0};
        const HICON icon = makeIcon(true, 0, section(2, 4, 1, mono, 16));
        ASSERT_TRUE(cICOparser().ConvertstdPicTo32bpp(icon, s));
        EXPECT_EQ(s.Width(), 2);
        EXPECT_EQ(s.Height(), 2);
        EXPECT_EQ(s.ImageType(), itIcon);
        EXPECT_EQ(at(s, 1, 0), 0xFFFFFFFFu);
        EXPECT_EQ(at(s, 0, 1), 0u);
        DestroyIcon(icon);
    }
    EXPECT_FALSE(cICOparser().ConvertstdPicTo32bpp(0, s));
    s.DestroyDIB();
    EXPECT_EQ(LiveObjectCount(), before);
}

} // namespace

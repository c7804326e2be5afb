#include "codecs/cbmpparser.h"
#include "codecs/modparsers.h"
#include "dib/c32bppdib.h"
#include "platform/gdi/gdi.h"
#include "platform/picture/icon.h"
#include "tests/support/image_files.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

using namespace platform;
using namespace modParsers;
using namespace testfiles;
namespace fs = std::filesystem;

namespace {

// (x, y), y = 0 the top row, as 0xAARRGGBB premultiplied.
std::uint32_t at(const c32bppDIB& s, int x, int y) {
    const std::uint8_t* p = s.row(y) + x * 4;
    return std::uint32_t{p[3]} << 24 | p[2] << 16 | p[1] << 8 | p[0];
}

Bytes bgra32(std::initializer_list<std::uint32_t> pixels) {
    Bytes b;
    for (std::uint32_t v : pixels)
        put32(b, v);
    return b;
}

bool load(const Bytes& file, c32bppDIB& s) {
    return cBMPparser().LoadStream(file, s, 0, static_cast<std::int32_t>(file.size()));
}

TEST(BMPparser, ThirtyTwoBitAlphaIsClassified) {
    c32bppDIB s;
    // All fourth bytes 0: no alpha at all.
    ASSERT_TRUE(load(bmpFile(infoHeader(2, 1, 32), bgra32({0x00102030u, 0x00405060u})), s));
    EXPECT_EQ(s.ImageType(), itBitmap);
    EXPECT_FALSE(s.Alpha());
    EXPECT_EQ(at(s, 0, 0), 0xFF102030u);

    // Straight alpha is premultiplied.
    ASSERT_TRUE(load(bmpFile(infoHeader(2, 1, 32), bgra32({0x80C80000u, 0xFF000010u})), s));
    EXPECT_EQ(s.ImageType(), itBitmapAlpha);
    EXPECT_TRUE(s.Alpha());
    EXPECT_EQ(at(s, 0, 0), 0x80640000u);

    // Already premultiplied stays as it is.
    ASSERT_TRUE(load(bmpFile(infoHeader(2, 1, 32), bgra32({0x80400000u, 0x00000000u})), s));
    EXPECT_EQ(s.ImageType(), itBitmapPremultiplied);
    EXPECT_EQ(at(s, 0, 0), 0x80400000u);

    // Top-down rows come out the right way up.
    ASSERT_TRUE(load(bmpFile(infoHeader(1, -2, 32), bgra32({0xFF0000FFu, 0xFFFF0000u})), s));
    EXPECT_EQ(at(s, 0, 0), 0xFF0000FFu);
    EXPECT_EQ(at(s, 0, 1), 0xFFFF0000u);
}

TEST(BMPparser, OtherVariantsLoadOpaqueThroughThePictureServices) {
    c32bppDIB s;
    // One byte short of the last row: decoded by the picture services,
    // opaque, the missing pixel black.
    Bytes shortFile = bmpFile(infoHeader(1, 2, 32), bgra32({0x80FF0000u, 0x80FF0000u}));
    shortFile.pop_back();
    ASSERT_TRUE(load(shortFile, s));
    EXPECT_EQ(s.ImageType(), itBitmap);
    EXPECT_FALSE(s.Alpha());
    EXPECT_EQ(at(s, 0, 1), 0xFFFF0000u);
    EXPECT_EQ(at(s, 0, 0), 0xFF000000u);

    // Bit fields lose the alpha.
    Bytes bf = infoHeader(1, 1, 32, 3);
    put32(bf, 0xFF0000u);
    put32(bf, 0xFF00u);
    put32(bf, 0xFFu);
    ASSERT_TRUE(load(bmpFile(bf, bgra32({0x80102030u})), s));
    EXPECT_EQ(at(s, 0, 0), 0xFF102030u);
    EXPECT_EQ(s.ImageType(), itBitmap);

    // 8-bit with its palette.
    Bytes pal = infoHeader(2, 1, 8);
    putPalette(pal, {{1, 2, 3}, {4, 5, 6}});
    ASSERT_TRUE(load(bmpFile(pal, {1, 0, 0, 0}), s));
    EXPECT_EQ(at(s, 0, 0), 0xFF040506u);
    EXPECT_EQ(at(s, 1, 0), 0xFF010203u);
}

TEST(BMPparser, RefusesWhatIsNoUsableBitmap) {
    c32bppDIB s;
    EXPECT_FALSE(load(bmpFile(infoHeader(0, 1, 24), {0, 0, 0, 0}), s));
    EXPECT_FALSE(load(bmpFile(infoHeader(1, 0, 24), {0, 0, 0, 0}), s));
    EXPECT_FALSE(load(Bytes{'B', 'M', 1, 2}, s));
    EXPECT_FALSE(load(Bytes{'M', 'B', 1, 2}, s));
    // A range past the array, or one that starts inside it.
    const Bytes file = bmpFile(infoHeader(1, 1, 24), {1, 2, 3, 0});
    Bytes padded(5, 0xEE);
    padded.insert(padded.end(), file.begin(), file.end());
    EXPECT_FALSE(cBMPparser().LoadStream(padded, s, 100, 10));
    ASSERT_TRUE(cBMPparser().LoadStream(padded, s, 5, 10000));
    EXPECT_EQ(at(s, 0, 0), 0xFF030201u);
}

TEST(BMPparser, ConvertsBitmapHandlesAndPictures) {
    c32bppDIB s;
    BITMAPINFOHEADER bi;
    bi.biWidth = 2;
    bi.biHeight = -1; // top-down: the rows still come out upright
    bi.biBitCount = 32;
    void* bits = nullptr;
    const HBITMAP h = CreateDIBSection(0, bi, {}, &bits);
    const std::uint32_t px[2] = {0x80800000u, 0x00000000u};
    std::memcpy(bits, px, sizeof px);
    ASSERT_TRUE(cBMPparser().ConvertstdPicTo32bpp(nullptr, h, s, 0));
    EXPECT_EQ(s.ImageType(), itBitmapPremultiplied);
    EXPECT_EQ(at(s, 0, 0), 0x80800000u);

    bi.biBitCount = 24;
    const HBITMAP h24 = CreateDIBSection(0, bi, {}, &bits);
    static_cast<std::uint8_t*>(bits)[0] = 9;
    ASSERT_TRUE(cBMPparser().ConvertstdPicTo32bpp(nullptr, h24, s, 0));
    EXPECT_EQ(s.ImageType(), itBitmap);
    EXPECT_EQ(at(s, 0, 0), 0xFF000009u);
    DeleteObject(h);
    DeleteObject(h24);
    EXPECT_FALSE(cBMPparser().ConvertstdPicTo32bpp(nullptr, 0, s, 0));

    // A picture object: its size comes from 0.01 mm at 96 pixels per inch.
    const auto picture = PictureFromBytes(bmpFile(infoHeader(3, 2, 24), Bytes(16, 0x40)));
    ASSERT_TRUE(picture);
    ASSERT_TRUE(cBMPparser().ConvertstdPicTo32bpp(picture.get(), 0, s, 0));
    EXPECT_EQ(s.Width(), 3);
    EXPECT_EQ(s.Height(), 2);
    EXPECT_EQ(at(s, 2, 1), 0xFF404040u);
    EXPECT_EQ(s.ImageType(), itBitmap);
}

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), {}};
}

TEST(BMPparser, BitmapSuiteThroughTheReader) {
    const fs::path suite = fs::path(VELMORA_CORPUS_DIR) / "bmpsuite";
    if (!fs::is_directory(suite / "g")) GTEST_SKIP() << "no bmpsuite at " << suite;
    for (const char* folder : {"g", "b", "q"}) {
        for (const auto& entry : fs::directory_iterator(suite / folder)) {
            SCOPED_TRACE(entry.path().string());
            const Bytes file = readFile(entry.path());
            c32bppDIB s;
            const bool loaded = load(file, s);
            if (std::string(folder) == "g") {
                EXPECT_TRUE(loaded);
                EXPECT_NE(s.Handle(), 0u);
                EXPECT_EQ(s.ImageType(), itBitmap);
            }
        }
    }
}

} // namespace

#include "codecs/cpngwriter.h"
#include "codecs/modparsers.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/system/environment.h"
#include "platform/zlib/zlib_binding.h"
#include "png_test_support.h"

#include <gtest/gtest.h>
#include <random>
#include <set>

using namespace pngtest;

namespace {

// Saves and parses; fails the test when the file is not well formed.
struct Saved {
    std::vector<std::uint8_t> bytes;
    std::vector<Chunk> list;
    Header head;
};

Saved save(const c32bppDIB& s) {
    Saved out;
    cPNGwriter writer;
    EXPECT_TRUE(writer.SavePNG(s, out.bytes)) << static_cast<int>(writer.lastError());
    const auto list = chunks(out.bytes);
    EXPECT_TRUE(list) << "chunk layout or CRC";
    if (list) {
        out.list = *list;
        out.head = header(out.list);
    }
    return out;
}

std::size_t bppOf(int colourType) {
    return colourType == 6 ? 4 : colourType == 2 ? 3 : 1;
}

// The samples the file holds, rows top first.
std::vector<std::vector<std::uint8_t>> samples(const Saved& s) {
    const std::size_t bpp = bppOf(s.head.colourType);
    const std::size_t length = s.head.width * bpp;
    const auto data = inflated(s.list, s.head.height * (length + 1));
    EXPECT_EQ(data.size(), s.head.height * (length + 1));
    if (data.size() != s.head.height * (length + 1)) return {};
    return unfiltered(data, s.head.height, length, bpp);
}

c32bppDIB& make(c32bppDIB& s, int w, int h, bool alpha) {
    EXPECT_TRUE(s.InitializeDIB(w, h));
    s.Alpha(alpha);
    return s;
}

class PngWriter : public ::testing::Test {
protected:
    // Reloads go through our own readers, never the imaging service.
    void SetUp() override { env_->imagingLibraryNames = {}; }

    platform::ScopedEnvironment env_;
};

// --- colour analysis -------------------------------------------------------------------

TEST_F(PngWriter, OnePixelImageBecomesAOneEntryPalette) {
    c32bppDIB s;
    make(s, 1, 1, false);
    setPixel(s, 0, 0, {0, 0, 255, 255});
    const Saved out = save(s);
    EXPECT_EQ(chunkTypes(out.list), "IHDR PLTE IDAT IEND");
    EXPECT_EQ(out.head.colourType, 3);
    EXPECT_EQ(out.head.bitDepth, 8);
    EXPECT_EQ(out.head.interlace, 0);
    EXPECT_EQ(find(out.list, "PLTE")->data, (std::vector<std::uint8_t>{255, 0, 0}));
    EXPECT_EQ(out.bytes.size(), 33u + 15 + out.list[2].data.size() + 12 + 12);
}

TEST_F(PngWriter, TwoHundredFiftySixColoursFitAPaletteAndOneMoreDoesNot) {
    for (const bool alpha : {false, true}) {
        c32bppDIB s;
        make(s, 16, 17, alpha);
        for (int i = 0; i < 16 * 17; ++i)
            setPixel(s, i % 16, i / 16, {static_cast<std::uint8_t>(i % 256), 7, 9, 255});
        const Saved palette = save(s);
        EXPECT_EQ(palette.head.colourType, 3);
        EXPECT_EQ(find(palette.list, "PLTE")->data.size(), 256u * 3);
        EXPECT_EQ(firstMismatch(s, decodeIndependently(palette.bytes)), "");

        setPixel(s, 15, 16, {1, 2, 3, 255}); // the 257th
        const Saved trueColour = save(s);
        // Every blue value is taken, but green and red leave keys free.
        EXPECT_EQ(trueColour.head.colourType, 2) << "alpha " << alpha;
        EXPECT_EQ(find(trueColour.list, "tRNS") != nullptr, alpha);
        EXPECT_EQ(firstMismatch(s, decodeIndependently(trueColour.bytes)), "");
    }
}

TEST_F(PngWriter, PaletteIsInAscendingSignedOrderOfThePixelValues) {
    c32bppDIB s;
    make(s, 3, 1, false);
    setPixel(s, 0, 0, {0, 0, 200, 255}); // 0xFFC80000
    setPixel(s, 1, 0, {5, 0, 0, 255});   // 0xFF000005
    setPixel(s, 2, 0, {0, 9, 0, 255});   // 0xFF000900
    const Saved out = save(s);
    EXPECT_EQ(find(out.list, "PLTE")->data,
              (std::vector<std::uint8_t>{0, 0, 5, 0, 9, 0, 200, 0, 0}));
    EXPECT_EQ(samples(out).at(0), (std::vector<std::uint8_t>{2, 0, 1}));
}

TEST_F(PngWriter, GreyImages) {
    {
        SCOPED_TRACE("opaque grey: type 0 without tRNS");
        c32bppDIB s;
        make(s, 4, 2, false);
        for (int x = 0; x < 4; ++x) {
            setPixel(s, x, 0,
                     {static_cast<std::uint8_t>(x * 60), static_cast<std::uint8_t>(x * 60),
                      static_cast<std::uint8_t>(x * 60), 255});
            setPixel(s, x, 1, {200, 200, 200, 255});
        }
        const Saved out = save(s);
        EXPECT_EQ(chunkTypes(out.list), "IHDR IDAT IEND");
        EXPECT_EQ(out.head.colourType, 0);
        EXPECT_EQ(samples(out).at(0), (std::vector<std::uint8_t>{0, 60, 120, 180}));
    }
    {
        SCOPED_TRACE("transparent black, no opaque black: level 0 means transparent");
        c32bppDIB s;
        make(s, 3, 1, true);
        setPixel(s, 0, 0, {0, 0, 0, 0});
        setPixel(s, 1, 0, {5, 5, 5, 255});
        setPixel(s, 2, 0, {90, 90, 90, 255});
        const Saved out = save(s);
        EXPECT_EQ(out.head.colourType, 0);
        EXPECT_EQ(find(out.list, "tRNS")->data, (std::vector<std::uint8_t>{0, 0}));
        EXPECT_EQ(firstMismatch(s, decodeIndependently(out.bytes)), "");
    }
    {
        SCOPED_TRACE("transparent black beside opaque black: the lowest unused level");
        c32bppDIB s;
        make(s, 4, 1, true);
        setPixel(s, 0, 0, {0, 0, 0, 0});
        setPixel(s, 1, 0, {0, 0, 0, 255});
        setPixel(s, 2, 0, {1, 1, 1, 255});
        setPixel(s, 3, 0, {3, 3, 3, 255});
        const Saved out = save(s);
        EXPECT_EQ(out.head.colourType, 0);
        EXPECT_EQ(find(out.list, "tRNS")->data, (std::vector<std::uint8_t>{0, 2}));
        EXPECT_EQ(samples(out).at(0), (std::vector<std::uint8_t>{2, 0, 1, 3}));
        EXPECT_EQ(firstMismatch(s, decodeIndependently(out.bytes)), "");
    }
    {
        SCOPED_TRACE("two transparency values: palette, not grey");
        c32bppDIB s;
        make(s, 3, 1, true);
        setPixel(s, 0, 0, {0, 0, 0, 0});
        setPixel(s, 1, 0, {64, 64, 64, 128});
        setPixel(s, 2, 0, {90, 90, 90, 255});
        EXPECT_EQ(save(s).head.colourType, 3);
    }
}

// Left alone, a grey image whose only non-opaque value is partly
// transparent would be written as grey without any transparency.
TEST_F(PngWriter, GreyWithOnePartlyTransparentValueKeepsItsAlphaInAPalette) {
    c32bppDIB s;
    make(s, 3, 2, true);
    for (int x = 0; x < 3; ++x) {
        setPixel(s, x, 0, {40, 40, 40, 128});
        setPixel(s, x, 1,
                 {static_cast<std::uint8_t>(x * 100), static_cast<std::uint8_t>(x * 100),
                  static_cast<std::uint8_t>(x * 100), 255});
    }
    const Saved out = save(s);
    EXPECT_EQ(out.head.colourType, 3);
    EXPECT_EQ(find(out.list, "tRNS")->data, (std::vector<std::uint8_t>{128}));
    EXPECT_EQ(firstMismatch(s, decodeIndependently(out.bytes)), "");
}

TEST_F(PngWriter, TranslucentPaletteEntriesComeFirstAndLoseTheirPremultiplication) {
    c32bppDIB s;
    make(s, 4, 1, true);
    setPixel(s, 0, 0, {0, 0, 0, 0});
    setPixel(s, 1, 0, {10, 50, 100, 128});
    setPixel(s, 2, 0, {0, 0, 255, 255});
    setPixel(s, 3, 0, {255, 0, 0, 255});
    const Saved out = save(s);
    EXPECT_EQ(out.head.colourType, 3);
    // List order (signed): alpha 128, then the two opaque ones, then alpha 0.
    // Translucent entries take 0 and 1 in that order; the opaque ones fill
    // the positions from the end down.
    EXPECT_EQ(find(out.list, "tRNS")->data, (std::vector<std::uint8_t>{128, 0}));
    EXPECT_EQ(find(out.list, "PLTE")->data,
              (std::vector<std::uint8_t>{100 * 255 / 128, 50 * 255 / 128, 10 * 255 / 128, 0, 0, 0,
                                         255, 0, 0, 0, 0, 255}));
    EXPECT_EQ(samples(out).at(0), (std::vector<std::uint8_t>{1, 0, 2, 3}));
    EXPECT_EQ(firstMismatch(s, decodeIndependently(out.bytes)), "");
}

// More than 256 colours on a transparent-black background.
void photo(c32bppDIB& s, int w, int h, bool softEdge, std::uint32_t seed) {
    make(s, w, h, true);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if ((x + y) % 5 == 0) continue; // background
            const auto c = static_cast<std::uint8_t>(1 + rng() % 255);
            Bgra p{c, static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()), 255};
            if (softEdge && x == 0) p = premultiplied(p.r, p.g, p.b, 100);
            setPixel(s, x, y, p);
        }
}

TEST_F(PngWriter, PhotographWithTransparentBackgroundUsesAKeyColour) {
    c32bppDIB s;
    photo(s, 40, 30, false, 1);
    const Saved out = save(s);
    EXPECT_EQ(out.head.colourType, 2);
    EXPECT_EQ(find(out.list, "tRNS")->data, (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0}));
    const auto rows = samples(out);
    ASSERT_EQ(rows.size(), 30u);
    EXPECT_EQ(rows[0][0] | rows[0][1] | rows[0][2], 0) << "background written as the key";
    EXPECT_EQ(firstMismatch(s, decodeIndependently(out.bytes)), "");
}

TEST_F(PngWriter, KeySearchMovesToGreenWhenBlueUsesEveryValue) {
    c32bppDIB s;
    make(s, 300, 2, true);
    for (int x = 0; x < 300; ++x)
        setPixel(s, x, 0,
                 {static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x == 0 ? 1 : 0), 0, 255});
    const Saved out = save(s);
    EXPECT_EQ(out.head.colourType, 2);
    // Green takes 0 and 1; 2 is the lowest value left.
    EXPECT_EQ(find(out.list, "tRNS")->data, (std::vector<std::uint8_t>{0, 2, 0, 2, 0, 2}));
    EXPECT_EQ(firstMismatch(s, decodeIndependently(out.bytes)), "");
}

TEST_F(PngWriter, SoftAlphaGivesRgba) {
    c32bppDIB s;
    photo(s, 40, 30, true, 2);
    setPixel(s, 0, 0, {64, 64, 64, 128});
    const Saved out = save(s);
    EXPECT_EQ(out.head.colourType, 6);
    EXPECT_EQ(find(out.list, "tRNS"), nullptr);
    const auto data = inflated(out.list, 30 * (40 * 4 + 1));
    ASSERT_GE(data.size(), 5u);
    // A first-row first pixel is predicted as 0 by Paeth.
    EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.begin() + 5),
              (std::vector<std::uint8_t>{4, 127, 127, 127, 128}));
    EXPECT_EQ(firstMismatch(s, decodeIndependently(out.bytes)), "");
}

// --- rows and filters --------------------------------------------------------------------

TEST_F(PngWriter, FiltersAndRowLengths) {
    {
        SCOPED_TRACE("RGB one pixel wide: 3 sample bytes and a Paeth byte per row");
        c32bppDIB s;
        make(s, 1, 300, false);
        for (int y = 0; y < 300; ++y)
            setPixel(s, 0, y,
                     {static_cast<std::uint8_t>(y), static_cast<std::uint8_t>(y / 256), 1, 255});
        const Saved out = save(s);
        EXPECT_EQ(out.head.colourType, 2);
        const auto data = inflated(out.list, 300 * 4);
        ASSERT_EQ(data.size(), 300u * 4);
        for (int y = 0; y < 300; ++y)
            EXPECT_EQ(data[y * 4], 4);
        EXPECT_EQ(firstMismatch(s, decodeIndependently(out.bytes)), "");
    }
    {
        SCOPED_TRACE("palette rows are unfiltered");
        c32bppDIB s;
        make(s, 5, 7, false);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 5; ++x)
                setPixel(s, x, y, {static_cast<std::uint8_t>(x * 7 + y), 0, 1, 255});
        const Saved out = save(s);
        EXPECT_EQ(out.head.colourType, 3);
        const auto data = inflated(out.list, 7 * 6);
        ASSERT_EQ(data.size(), 7u * 6);
        for (int y = 0; y < 7; ++y)
            EXPECT_EQ(data[y * 6], 0);
    }
    {
        SCOPED_TRACE("identical RGBA rows filter to zeros after the first");
        c32bppDIB s;
        make(s, 300, 4, true);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 300; ++x)
                setPixel(s, x, y,
                         premultiplied(static_cast<std::uint8_t>(x), 3,
                                       static_cast<std::uint8_t>(x / 2),
                                       static_cast<std::uint8_t>(1 + x % 200)));
        const Saved out = save(s);
        EXPECT_EQ(out.head.colourType, 6);
        const auto data = inflated(out.list, 4 * 1201);
        ASSERT_EQ(data.size(), 4u * 1201);
        for (int y = 1; y < 4; ++y) {
            EXPECT_EQ(data[y * 1201], 4);
            for (int i = 1; i < 1201; ++i)
                ASSERT_EQ(data[y * 1201 + i], 0) << "row " << y;
        }
        EXPECT_EQ(firstMismatch(s, decodeIndependently(out.bytes)), "");
    }
}

// --- round trips of every class of image ------------------------------------------------

enum class Kind { FewColours, Grey, GreyTransparent, BinaryAlpha, SoftAlpha, Opaque };

void fill(c32bppDIB& s, Kind kind, std::mt19937& rng) {
    const int w = s.Width(), h = s.Height();
    std::vector<Bgra> few;
    for (int i = 0; i < 1 + static_cast<int>(rng() % 200); ++i)
        few.push_back(premultiplied(rng(), rng(), rng(), rng() % 3 == 0 ? rng() : 255));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Bgra p{};
            const auto v = static_cast<std::uint8_t>(rng());
            switch (kind) {
            case Kind::FewColours:
                p = few[rng() % few.size()];
                break;
            case Kind::Grey:
                p = {v, v, v, 255};
                break;
            case Kind::GreyTransparent:
                p = rng() % 4 ? Bgra{v, v, v, 255} : Bgra{};
                break;
            case Kind::BinaryAlpha:
                p = rng() % 4 ? premultiplied(rng(), rng(), rng(), 255) : Bgra{};
                break;
            case Kind::SoftAlpha:
                p = premultiplied(rng(), rng(), rng(), rng());
                break;
            case Kind::Opaque:
                p = {v, static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                     static_cast<std::uint8_t>(rng())};
                break;
            }
            setPixel(s, x, y, p);
        }
}

TEST_F(PngWriter, RandomImagesOfEveryClassDecodeToWhatTheRulesPromise) {
    struct Case {
        Kind kind;
        bool alpha;
        std::set<int> types;
    };
    const Case cases[] = {
        {Kind::FewColours, true, {3, 0}},
        {Kind::Grey, false, {0}},
        {Kind::GreyTransparent, true, {0, 6}},   // 256 levels and transparent: 257 values
        {Kind::BinaryAlpha, true, {2, 6, 3, 0}}, // 0: one transparent pixel
        {Kind::SoftAlpha, true, {6, 3}},
        // The alpha bytes of an image without alpha carry nothing.
        {Kind::Opaque, false, {2, 3}},
    };
    std::mt19937 rng(7);
    const int sizes[][2] = {{1, 1}, {1, 40}, {40, 1}, {17, 23}, {64, 64}, {300, 5}};
    for (const Case& c : cases)
        for (const auto& size : sizes) {
            c32bppDIB s;
            make(s, size[0], size[1], c.alpha);
            fill(s, c.kind, rng);
            SCOPED_TRACE("class " + std::to_string(static_cast<int>(c.kind)) + " size " +
                         std::to_string(size[0]) + "x" + std::to_string(size[1]));
            const Saved out = save(s);
            EXPECT_TRUE(c.types.count(out.head.colourType)) << out.head.colourType;
            EXPECT_EQ(firstMismatch(s, decodeIndependently(out.bytes)), "");

            bool anyNotOpaque = false;
            for (std::size_t i = 3; i < s.pixels().size(); i += 4)
                anyNotOpaque = anyNotOpaque || s.pixels()[i] != 255;
            // Our reader, inflating with zlib and then by itself.
            for (const bool withZlib : {true, false}) {
                SCOPED_TRACE(withZlib ? "our reader with zlib" : "our reader, own inflater");
                env_->zlibLibraryNames = withZlib ? platform::Environment::DefaultZlibLibraryNames()
                                                  : std::vector<std::string>{};
                c32bppDIB back;
                ASSERT_TRUE(back.LoadPicture_Stream(out.bytes));
                EXPECT_EQ(back.ImageType(), modParsers::itPNG);
                EXPECT_EQ(firstReloadMismatch(s, back), "");
                // Transparency survives; an image without the flag never gains it.
                if (!c.alpha || anyNotOpaque) {
                    EXPECT_EQ(back.Alpha(), c.alpha);
                }
            }
            env_->zlibLibraryNames = platform::Environment::DefaultZlibLibraryNames();
        }
}

// A bitmap file keeps the premultiplied pixels as they are (32 bits) or
// their colour (24 bits); the bitmap reader then decides alpha from the
// pixels alone.
TEST_F(PngWriter, BitmapSavesReloadThroughOurLoader) {
    struct Case {
        Kind kind;
        bool alpha;
    };
    const Case cases[] = {{Kind::FewColours, true},      {Kind::Grey, false},
                          {Kind::GreyTransparent, true}, {Kind::BinaryAlpha, true},
                          {Kind::SoftAlpha, true},       {Kind::Opaque, false}};
    std::mt19937 rng(11);
    const int sizes[][2] = {{1, 1}, {3, 2}, {40, 1}, {17, 23}, {300, 5}};
    for (const Case& c : cases)
        for (const auto& size : sizes) {
            c32bppDIB s;
            make(s, size[0], size[1], c.alpha);
            fill(s, c.kind, rng);
            SCOPED_TRACE("class " + std::to_string(static_cast<int>(c.kind)) + " size " +
                         std::to_string(size[0]) + "x" + std::to_string(size[1]));
            std::vector<std::uint8_t> bmp;
            ASSERT_TRUE(s.SaveToStream(bmp));
            c32bppDIB back;
            ASSERT_TRUE(back.LoadPicture_Stream(bmp));
            ASSERT_EQ(back.Width(), s.Width());
            ASSERT_EQ(back.Height(), s.Height());

            std::size_t opaque = 0, clear = 0;
            for (std::size_t i = 3; i < s.pixels().size(); i += 4) {
                opaque += s.pixels()[i] == 255;
                clear += s.pixels()[i] == 0;
            }
            const std::size_t n = s.pixels().size() / 4;
            // All opaque or all clear: the fourth byte carries nothing.
            const bool keepsAlpha = c.alpha && opaque != n && clear != n;
            EXPECT_EQ(back.Alpha(), keepsAlpha);
            EXPECT_EQ(back.ImageType(),
                      keepsAlpha ? modParsers::itBitmapPremultiplied : modParsers::itBitmap);
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint8_t* want = &s.pixels()[i * 4];
                const std::uint8_t* have = &back.pixels()[i * 4];
                ASSERT_EQ(std::memcmp(want, have, 3), 0) << "pixel " << i;
                ASSERT_EQ(have[3], keepsAlpha ? want[3] : 255) << "pixel " << i;
            }
        }
}

// --- failures ------------------------------------------------------------------------------

TEST_F(PngWriter, FailuresLeaveAnEmptyOutput) {
    std::vector<std::uint8_t> out{1, 2, 3};
    cPNGwriter writer;
    {
        c32bppDIB empty;
        EXPECT_FALSE(writer.SavePNG(empty, out));
        EXPECT_EQ(writer.lastError(), PngWriteError::NoImage);
        EXPECT_TRUE(out.empty());
    }
    {
        SCOPED_TRACE("colour above alpha: palette and true-colour paths");
        c32bppDIB s;
        make(s, 2, 1, true);
        setPixel(s, 0, 0, {200, 0, 0, 100});
        out = {1};
        EXPECT_FALSE(writer.SavePNG(s, out));
        EXPECT_EQ(writer.lastError(), PngWriteError::NotPremultiplied);
        EXPECT_TRUE(out.empty());

        photo(s, 40, 30, true, 3);
        setPixel(s, 0, 0, {200, 0, 0, 100});
        out = {1};
        EXPECT_FALSE(writer.SavePNG(s, out));
        EXPECT_EQ(writer.lastError(), PngWriteError::NotPremultiplied);
        EXPECT_TRUE(out.empty());
    }
    {
        SCOPED_TRACE("no zlib");
        env_->zlibLibraryNames = {"libvelmora-no-such-zlib.so"};
        c32bppDIB s;
        make(s, 2, 2, false);
        out = {1};
        EXPECT_FALSE(writer.SavePNG(s, out));
        EXPECT_EQ(writer.lastError(), PngWriteError::NoZlib);
        EXPECT_TRUE(out.empty());
    }
}

TEST_F(PngWriter, WithoutCompress2TheRowsAreDeflatedByCompress) {
    c32bppDIB s;
    photo(s, 40, 30, true, 4);
    {
        SCOPED_TRACE("a real zlib that lacks compress2");
        env_->zlibLibraryNames = {FAKEZ_FORWARD};
        const Saved out = save(s);
        EXPECT_EQ(firstMismatch(s, decodeIndependently(out.bytes)), "");
    }
    {
        SCOPED_TRACE("the stream is what compress answered");
        env_->zlibLibraryNames = {FAKEZ_NOCOMPRESS2};
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(cPNGwriter().SavePNG(s, bytes));
        // The fake's crc32 answers a constant, so only the layout is read here.
        const std::uint8_t idat[] = {0, 0, 0, 1, 'I', 'D', 'A', 'T', 0x42};
        EXPECT_NE(std::search(bytes.begin(), bytes.end(), std::begin(idat), std::end(idat)),
                  bytes.end());
    }
}

// Images whose alpha flag is off draw every pixel opaque, whatever the
// fourth byte says; the file shows the same.
TEST_F(PngWriter, WithoutTheAlphaFlagTheFourthByteIsIgnored) {
    c32bppDIB s;
    make(s, 3, 1, false);
    setPixel(s, 0, 0, {10, 20, 30, 0});
    setPixel(s, 1, 0, {200, 20, 30, 17});
    setPixel(s, 2, 0, {10, 20, 30, 255});
    const Saved out = save(s);
    EXPECT_EQ(out.head.colourType, 3);
    EXPECT_EQ(find(out.list, "tRNS"), nullptr);
    EXPECT_EQ(find(out.list, "PLTE")->data.size(), 6u) << "the same colour once";
    EXPECT_EQ(firstMismatch(s, decodeIndependently(out.bytes)), "");
}

} // namespace

#include "codecs/modparsers.h"
#include "dib/c32bppdib.h"
#include "platform/gdi/gdi.h"
#include "platform/system/environment.h"

#include <array>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace modParsers;
using namespace platform;

namespace {

struct Px {
    std::uint8_t b, g, r, a;
};

std::vector<std::uint8_t> block(std::initializer_list<Px> pixels) {
    std::vector<std::uint8_t> out;
    for (const Px& p : pixels)
        out.insert(out.end(), {p.b, p.g, p.r, p.a});
    return out;
}

struct Classified {
    std::int32_t type;
    bool hasAlpha;
};

Classified classify(std::vector<std::uint8_t>& px, bool apply, std::int32_t type = itBitmap) {
    bool hasAlpha = true;
    ClassifyAlpha(px, static_cast<std::int32_t>(px.size() / 4), 1, apply, hasAlpha, type);
    return {type, hasAlpha};
}

TEST(ClassifyAlpha, AllTransparentOrAllOpaqueCarriesNoAlpha) {
    auto clear = block({{9, 9, 9, 0}, {0, 0, 0, 0}, {1, 2, 3, 0}});
    auto c = classify(clear, true);
    EXPECT_EQ(c.type, itBitmap);
    EXPECT_FALSE(c.hasAlpha);
    for (std::size_t i = 3; i < clear.size(); i += 4)
        EXPECT_EQ(clear[i], 255);
    EXPECT_EQ(clear[0], 9) << "colour is kept; the picture shows opaque";

    auto opaque = block({{1, 2, 3, 255}, {4, 5, 6, 255}});
    EXPECT_EQ(classify(opaque, false).type, itBitmap);
}

TEST(ClassifyAlpha, CleanTransparencyWithOpaquePixelsIsPremultiplied) {
    auto px = block({{0, 0, 0, 0}, {10, 20, 30, 255}, {5, 5, 5, 10}});
    const auto before = px;
    auto c = classify(px, true);
    EXPECT_EQ(c.type, itBitmapPremultiplied);
    EXPECT_TRUE(c.hasAlpha);
    EXPECT_EQ(px, before) << "premultiplied pixels stay as they are";
}

TEST(ClassifyAlpha, ColourAboveAlphaMeansStraightAlpha) {
    auto px = block({{0, 0, 200, 128}, {0, 0, 0, 255}});
    auto c = classify(px, true);
    EXPECT_EQ(c.type, itBitmapAlpha);
    EXPECT_TRUE(c.hasAlpha);
    EXPECT_EQ(px[2], 100) << "200 x 128 / 255 truncates to 100";
    EXPECT_EQ(px[3], 128);
}

TEST(ClassifyAlpha, ColourUnderZeroAlphaFollowedByAnyAlphaIsStraight) {
    for (std::uint8_t next : {std::uint8_t{1}, std::uint8_t{255}}) {
        auto px = block({{0, 7, 0, 0}, {0, 0, 0, next}});
        auto c = classify(px, true);
        EXPECT_EQ(c.type, itBitmapAlpha) << int(next);
        EXPECT_EQ(px[1], 0) << "alpha 0 clears the pixel";
    }
}

// Opaque pixels around a telling pixel, at every offset the scan's steps
// over opaque runs can meet, leave its verdict as it is.
TEST(ClassifyAlpha, OpaqueRunsAroundAPixelKeepItsVerdict) {
    struct Case {
        std::array<std::uint8_t, 4> pixel;
        std::int32_t type;
    };
    const std::array cases{Case{{0, 0, 0, 0}, itBitmapPremultiplied},
                           Case{{0, 7, 0, 0}, itBitmapAlpha},
                           Case{{0, 0, 200, 128}, itBitmapAlpha}};
    for (const Case& c : cases) {
        for (std::size_t before = 0; before < 20; ++before) {
            for (std::size_t after = before == 0 ? 1 : 0; after < 20; ++after) {
                std::vector<std::uint8_t> px;
                for (std::size_t i = 0; i < before + after + 1; ++i) {
                    const std::array<std::uint8_t, 4> opaque{1, 2, 3, 255};
                    const auto& p = i == before ? c.pixel : opaque;
                    px.insert(px.end(), p.begin(), p.end());
                }
                EXPECT_EQ(classify(px, false).type, c.type)
                    << before << " before, " << after << " after, alpha " << int(c.pixel[3]);
            }
        }
    }
    std::vector<std::uint8_t> opaque(4 * 37, 255);
    EXPECT_EQ(classify(opaque, false).type, itBitmap);
}

TEST(ClassifyAlpha, NoImageOnEntrySkipsTheScan) {
    auto px = block({{0, 0, 200, 128}, {0, 0, 0, 0}});
    auto c = classify(px, true, itNoImage);
    EXPECT_EQ(c.type, itBitmap);
    EXPECT_FALSE(c.hasAlpha);
    EXPECT_EQ(px[3], 255);
    EXPECT_EQ(px[2], 200);
}

class RegionFromAlphaTest : public ::testing::Test {
protected:
    // One row: solid, solid, clear, solid; a second row fully clear.
    void SetUp() override {
        ASSERT_TRUE(surface.InitializeDIB(4, 2));
        for (int x : {0, 1, 3})
            surface.row(0)[x * 4 + 3] = 255;
    }
    std::vector<RECT> rects(int style) {
        const HRGN r = RegionFromAlpha(surface, style);
        if (!r) return {};
        auto out = GetRegionRects(r);
        DeleteObject(r);
        return out;
    }
    c32bppDIB surface;
};

TEST_F(RegionFromAlphaTest, ThreeStyles) {
    EXPECT_EQ(rects(2), (std::vector<RECT>{{0, 0, 2, 1}, {3, 0, 4, 1}}));
    EXPECT_EQ(rects(1), (std::vector<RECT>{{0, 0, 4, 1}}));
    EXPECT_EQ(rects(0), (std::vector<RECT>{{0, 0, 4, 1}}));
}

TEST_F(RegionFromAlphaTest, BoundingBoxSpansRowsAndColumns) {
    surface.row(1)[1 * 4 + 3] = 1;
    surface.row(0)[0 * 4 + 3] = 0;
    surface.row(0)[1 * 4 + 3] = 0;
    EXPECT_EQ(rects(0), (std::vector<RECT>{{1, 0, 4, 2}}));
}

TEST_F(RegionFromAlphaTest, WithoutAlphaTheWholeImageForEveryStyle) {
    surface.Alpha(false);
    for (int style : {0, 1, 2})
        EXPECT_EQ(rects(style), (std::vector<RECT>{{0, 0, 4, 2}}));
}

TEST_F(RegionFromAlphaTest, NothingSolidOrNoImageGivesNoRegion) {
    surface.EraseDIB();
    for (int style : {0, 1, 2})
        EXPECT_EQ(RegionFromAlpha(surface, style), 0u);
    c32bppDIB empty;
    EXPECT_EQ(RegionFromAlpha(empty, 2), 0u);
}

TEST(RegionFromAlphaBatches, LargeRegionsAreMadeInBatchesWhenOneRegionFails) {
    // 2500 rows with two runs each: 5000 rectangles, more than the platform
    // accepts at once here.
    c32bppDIB s;
    ASSERT_TRUE(s.InitializeDIB(5, 2500));
    for (int y = 0; y < 2500; ++y) {
        s.row(y)[0 * 4 + 3] = 255;
        s.row(y)[(2 + y % 3) * 4 + 3] = 255;
    }
    platform::ScopedEnvironment env;
    env->regionRectLimit = 2000;
    const std::size_t before = LiveObjectCount();
    const HRGN r = RegionFromAlpha(s, 2);
    ASSERT_NE(r, 0u);
    EXPECT_EQ(LiveObjectCount(), before + 1) << "the batches are merged and released";
    EXPECT_TRUE(PtInRegion(r, 0, 2499));
    EXPECT_FALSE(PtInRegion(r, 1, 2499));
    EXPECT_TRUE(PtInRegion(r, 2 + 2499 % 3, 2499));
    RECT box;
    GetRgnBox(r, box);
    EXPECT_EQ(box, (RECT{0, 0, 5, 2500}));
    DeleteObject(r);

    // A batch that cannot be made either: no region, nothing left behind.
    env->regionRectLimit = 100;
    EXPECT_EQ(RegionFromAlpha(s, 2), 0u);
    EXPECT_EQ(LiveObjectCount(), before);
}

TEST(Helpers, RowBytesSwapAndWeights) {
    EXPECT_EQ(AlignedRowBytes(24, 1), 4);
    EXPECT_EQ(AlignedRowBytes(1, 33), 8);
    EXPECT_EQ(AlignedRowBytes(32, 5), 20);
    const std::uint8_t be[4] = {0, 0, 0, 13};
    std::uint32_t le;
    std::memcpy(&le, be, 4);
    EXPECT_EQ(SwapLong(le), 13u);
    EXPECT_FLOAT_EQ(GrayWeights(1).green, 0.715f);
    EXPECT_FLOAT_EQ(GrayWeights(-1).blue, 1.0f);
    EXPECT_FLOAT_EQ(GrayWeights(0).red, 0.299f);
    EXPECT_FLOAT_EQ(GrayWeights(8).green, 0.587f);
}

TEST(Helpers, LibraryProbes) {
    // The system's zlib by the name the platform looks for first.
    const std::string zlib = platform::Environment::DefaultZlibLibraryNames().front();
    EXPECT_TRUE(IsFunctionExported(zlib, "crc32"));
    EXPECT_FALSE(IsFunctionExported(zlib, "no_such_export"));
    EXPECT_FALSE(IsFunctionExported("libmissing.so", "crc32"));
    std::string name;
    std::int32_t id = -1;
    bool cdecl = true, compress2 = false;
    EXPECT_TRUE(FindZlib(name, id, cdecl, compress2, false));
    EXPECT_EQ(name, zlib);
    EXPECT_EQ(id, 2);
    EXPECT_FALSE(cdecl);
    EXPECT_TRUE(compress2);
}

TEST(Helpers, PictureObjectsOwnTheirHandles) {
    const std::size_t before = LiveObjectCount();
    BITMAPINFOHEADER bi;
    bi.biWidth = 96;
    bi.biHeight = 48;
    bi.biBitCount = 32;
    void* bits = nullptr;
    const HBITMAP h = CreateDIBSection(0, bi, {}, &bits);
    {
        auto picture = PictureFromHandle(h, 1);
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->Type(), 1);
        EXPECT_EQ(picture->Width(), 2540) << "96 pixels are one inch";
        EXPECT_EQ(picture->Height(), 1270);
        EXPECT_FALSE(PictureFromHandle(h, 3)) << "a bitmap is no icon";
    }
    EXPECT_EQ(LiveObjectCount(), before);
    const std::uint8_t junk[] = {1, 2, 3};
    EXPECT_FALSE(PictureFromBytes(junk));
    EXPECT_FALSE(PictureFromBytes({}));
}

TEST(Helpers, FileOpenAndForcedDelete) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("velmora-parsers-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string p = (dir / "x.bin").string();
    EXPECT_FALSE(OpenFileHandle(p, true).valid());
    {
        File f = OpenFileHandle(p, false);
        ASSERT_TRUE(f.valid());
        const std::uint8_t b[] = {7};
        f.write(b);
    }
    EXPECT_EQ(OpenFileHandle(p, true, true).size(), 1);
    ::chmod(p.c_str(), 0400);
    EXPECT_TRUE(DeleteFileForce(p));
    EXPECT_FALSE(std::filesystem::exists(p));
    EXPECT_FALSE(DeleteFileForce(p));
    std::filesystem::remove_all(dir);

    std::vector<int> v;
    EXPECT_FALSE(IsArrayAllocated(v));
    v.push_back(1);
    EXPECT_TRUE(IsArrayAllocated(v));
}

} // namespace

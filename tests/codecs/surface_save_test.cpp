#include "codecs/modparsers.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/system/environment.h"
#include "platform/zlib/zlib_binding.h"
#include "png_test_support.h"

#include <gtest/gtest.h>

using namespace pngtest;

namespace {

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

void threeByTwo(c32bppDIB& s, bool alpha) {
    ASSERT_TRUE(s.InitializeDIB(3, 2));
    s.Alpha(alpha);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            setPixel(s, x, y,
                     {static_cast<std::uint8_t>(10 * x + y), static_cast<std::uint8_t>(20 + x),
                      static_cast<std::uint8_t>(30 + y), 255});
    setPixel(s, 2, 1, {10, 20, 30, 40});
}

TEST(SurfaceSaveToStream, TwentyFourBitsWithoutAlphaAndPaddedRows) {
    c32bppDIB s;
    threeByTwo(s, false);
    std::vector<std::uint8_t> bmp;
    ASSERT_TRUE(s.SaveToStream(bmp));
    ASSERT_EQ(bmp.size(), 78u);
    EXPECT_EQ(le16(bmp, 0), 19778);
    EXPECT_EQ(le32(bmp, 2), 78u);
    EXPECT_EQ(le32(bmp, 6), 0u);
    EXPECT_EQ(le32(bmp, 10), 54u);
    EXPECT_EQ(le32(bmp, 14), 40u);
    EXPECT_EQ(le32(bmp, 18), 3u);
    EXPECT_EQ(le32(bmp, 22), 2u);
    EXPECT_EQ(le16(bmp, 26), 1);
    EXPECT_EQ(le16(bmp, 28), 24);
    EXPECT_EQ(le32(bmp, 30), 0u);
    EXPECT_EQ(le32(bmp, 34), 24u);
    for (std::size_t i = 38; i < 54; ++i)
        EXPECT_EQ(bmp[i], 0);
    // First stored row is the bottom image row; each row 9 bytes + 3 zeros.
    for (int row = 0; row < 2; ++row) {
        const int y = 1 - row;
        for (int x = 0; x < 3; ++x) {
            const Bgra p = pixel(s, x, y);
            const std::size_t at = 54 + row * 12 + x * 3;
            EXPECT_EQ(bmp[at], p.b);
            EXPECT_EQ(bmp[at + 1], p.g);
            EXPECT_EQ(bmp[at + 2], p.r);
        }
        EXPECT_EQ(bmp[54 + row * 12 + 9] | bmp[54 + row * 12 + 10] | bmp[54 + row * 12 + 11], 0);
    }
}

TEST(SurfaceSaveToStream, ThirtyTwoBitsWithAlphaCopyThePremultipliedBuffer) {
    c32bppDIB s;
    threeByTwo(s, true);
    std::vector<std::uint8_t> bmp;
    ASSERT_TRUE(s.SaveToStream(bmp));
    ASSERT_EQ(bmp.size(), 78u);
    EXPECT_EQ(le16(bmp, 28), 32);
    EXPECT_EQ(le32(bmp, 34), 24u);
    EXPECT_TRUE(std::equal(bmp.begin() + 54, bmp.end(), s.pixels().begin()));
}

TEST(SurfaceSaveToStream, NoImageLeavesTheArrayAlone) {
    c32bppDIB s;
    std::vector<std::uint8_t> out{7, 7};
    EXPECT_FALSE(s.SaveToStream(out));
    EXPECT_EQ(out, (std::vector<std::uint8_t>{7, 7}));
    EXPECT_FALSE(s.SaveToStream_PNG(out));
    EXPECT_EQ(out, (std::vector<std::uint8_t>{7, 7}));
}

TEST(SurfaceGetOrginalFormat, CopiesTheKeptBytes) {
    c32bppDIB s;
    ASSERT_TRUE(s.InitializeDIB(1, 1));
    std::vector<std::uint8_t> out{1};
    EXPECT_FALSE(s.GetOrginalFormat(out));
    EXPECT_TRUE(out.empty());
    s.setOriginalFormatBytes({9, 8, 7});
    EXPECT_TRUE(s.GetOrginalFormat(out));
    EXPECT_EQ(out, (std::vector<std::uint8_t>{9, 8, 7}));
    EXPECT_EQ(s.originalFormatBytes().size(), 3u) << "the surface keeps its copy";
}

class SurfaceSavePng : public ::testing::Test {
protected:
    platform::ScopedEnvironment env_;
};

TEST_F(SurfaceSavePng, WithoutTheImagingServiceTheOwnWriterSaves) {
    env_->imagingLibraryNames = {"libvelmora-no-such-imaging.so"};
    c32bppDIB s;
    threeByTwo(s, true);
    std::vector<std::uint8_t> png;
    ASSERT_TRUE(s.SaveToStream_PNG(png));
    EXPECT_EQ(firstMismatch(s, decodeIndependently(png)), "");
}

TEST_F(SurfaceSavePng, TheImagingServiceIsAskedFirst) {
    c32bppDIB s;
    threeByTwo(s, false);
    std::vector<std::uint8_t> out{1, 2};
    env_->imagingLibraryNames = {FAKEIMAGING_ENCODES};
    ASSERT_TRUE(s.SaveToStream_PNG(out));
    EXPECT_EQ(std::string(out.begin(), out.end()), "FAKEPNG");

    env_->imagingLibraryNames = {FAKEIMAGING_FAILS};
    ASSERT_TRUE(s.SaveToStream_PNG(out));
    EXPECT_EQ(firstMismatch(s, decodeIndependently(out)), "") << "the own writer took over";
}

TEST_F(SurfaceSavePng, AServiceWithoutAPngEncoderLeavesTheStreamEmpty) {
    env_->imagingLibraryNames = {FAKEIMAGING_NOPNG};
    c32bppDIB s;
    threeByTwo(s, true);
    std::vector<std::uint8_t> out{1, 2};
    EXPECT_FALSE(platform::cGDIPlus().SaveToPNG({}, out, s.view(), true, 0));
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(s.SaveToStream_PNG(out));
    EXPECT_EQ(firstMismatch(s, decodeIndependently(out)), "") << "the own writer took over";
}

TEST_F(SurfaceSavePng, NeitherServiceNorZlibMeansNoPng) {
    env_->imagingLibraryNames = {"libvelmora-no-such-imaging.so"};
    env_->zlibLibraryNames = {};
    c32bppDIB s;
    threeByTwo(s, true);
    std::vector<std::uint8_t> out{1, 2};
    EXPECT_FALSE(s.SaveToStream_PNG(out));
    EXPECT_TRUE(out.empty());
}

} // namespace

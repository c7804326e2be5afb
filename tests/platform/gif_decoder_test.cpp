#include "platform/picture/gif_decoder.h"
#include "tests/support/image_files.h"

#include <gtest/gtest.h>
#include <random>

using namespace platform;
using namespace testfiles;

namespace {

const std::vector<Rgb> kFour = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};

std::vector<std::uint8_t> pattern(int w, int h, int colours, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(w * h));
    for (auto& v : out)
        v = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(colours));
    return out;
}

TEST(GifDecoder, LzwRoundTripsThroughCodeGrowthAndFullTables) {
    // Random data fills the 4096-entry table several times over, so the
    // code size grows to 12 bits and the encoder has to clear.
    for (const int colours : {2, 4, 16, 256}) {
        SCOPED_TRACE(colours);
        const auto indexes = pattern(300, 200, colours, 7);
        std::vector<Rgb> table(static_cast<std::size_t>(colours));
        const Bytes file = gifFile(300, 200, table, {frame(0, 0, 300, 200, indexes)});
        const auto image = DecodeGif(file);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, 300);
        EXPECT_EQ(image->height, 200);
        EXPECT_EQ(image->indexes, indexes);
        EXPECT_EQ(image->transparentIndex, -1);
    }
    // Long runs: strings far longer than any single code.
    const std::vector<std::uint8_t> flat(64 * 64, 3);
    const auto image = DecodeGif(gifFile(64, 64, kFour, {frame(0, 0, 64, 64, flat)}));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->indexes, flat);
    // Two colours at code size 1, as some writers store them.
    GifFrame twoColours = frame(0, 0, 90, 70, pattern(90, 70, 2, 11));
    twoColours.minCodeSize = 1;
    const auto two = DecodeGif(gifFile(90, 70, kFour, {twoColours}));
    ASSERT_TRUE(two);
    EXPECT_EQ(two->indexes, twoColours.indexes);
}

TEST(GifDecoder, InterlacedRowsComeBackInDisplayOrder) {
    std::vector<std::uint8_t> rows;
    for (int y = 0; y < 11; ++y)
        rows.insert(rows.end(), 3, static_cast<std::uint8_t>(y % 4));
    GifFrame f = frame(0, 0, 3, 11, rows);
    f.interlaced = true;
    const auto image = DecodeGif(gifFile(3, 11, kFour, {f}));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->indexes, rows);
}

TEST(GifDecoder, TablesTransparencyAndExtensions) {
    GifFrame f = frame(5, 6, 2, 1, {1, 0});
    f.localTable = {{9, 8, 7}, {6, 5, 4}};
    f.transparent = 1;
    const Bytes comment = {0x21, 0xFE, 3, 'a', 'b', 'c', 0};
    const auto image =
        DecodeGif(gifFile(20, 20, kFour, {f, frame(0, 0, 1, 1, {2})}, comment, "gif87A"));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 2);
    EXPECT_EQ(image->transparentIndex, 1);
    ASSERT_EQ(image->palette.size(), 2u);
    EXPECT_EQ(image->palette[1], (RGBQUAD{4, 5, 6, 0}));
}

TEST(GifDecoder, LyingFilesAreRefusedOrCutShortCleanly) {
    const Bytes good = gifFile(4, 4, kFour, {frame(0, 0, 4, 4, pattern(4, 4, 4, 1))});
    // Every truncation: refused while the LZW code size (byte 35, after
    // header 13, table 12 and image descriptor 10) is missing, decoded with
    // the missing pixels 0 from there on.
    for (std::size_t n = 0; n < good.size(); ++n) {
        const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        const auto image = DecodeGif(cut);
        EXPECT_EQ(image.ok(), n > 35) << n;
        if (image) {
            EXPECT_EQ(image->indexes.size(), 16u);
        }
    }
    EXPECT_EQ(DecodeGif(Bytes{'G', 'I', 'F', '8', '8', 'a'}).error(), GifError::NotGif);
    EXPECT_EQ(DecodeGif(gifFile(1, 1, kFour, {})).error(), GifError::NoImage);

    // A graphic control extension whose size byte promises fewer than its
    // four bytes of fields.
    Bytes shortControl = gifFile(1, 1, kFour, {}, {0x21, 0xF9, 2, 1, 0, 0});
    EXPECT_EQ(DecodeGif(shortControl).error(), GifError::BadExtension);
    // One cut off inside its fields.
    Bytes header = gifFile(1, 1, kFour, {});
    header.pop_back();
    header.insert(header.end(), {0x21, 0xF9, 4, 1, 0});
    EXPECT_EQ(DecodeGif(header).error(), GifError::Truncated);

    // Corrupt LZW: codes past the table end the image early.
    // (Header 13, table 12, descriptor 10, code size 1: the data at 36.)
    Bytes corrupt = good;
    for (std::size_t i = 36; i + 2 < corrupt.size(); ++i)
        corrupt[i] = 0xFF;
    const auto image = DecodeGif(corrupt);
    if (image) {
        EXPECT_EQ(image->indexes.size(), 16u);
    }

    // Width 0 and impossible code sizes: an index is at most 8 bits, so a
    // larger root code size would name colours no table has.
    EXPECT_EQ(DecodeGif(gifFile(1, 1, kFour, {frame(0, 0, 0, 1, {})})).error(),
              GifError::BadDimensions);
    for (const std::uint8_t size : {0, 9, 11, 12}) {
        Bytes badCode = good;
        badCode[35] = size;
        EXPECT_EQ(DecodeGif(badCode).error(), GifError::BadCodeSize) << int{size};
    }
}

} // namespace

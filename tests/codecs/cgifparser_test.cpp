#include "codecs/cgifparser.h"
#include "codecs/modparsers.h"
#include "dib/c32bppdib.h"
#include "tests/support/image_files.h"

#include <gtest/gtest.h>

using namespace modParsers;
using namespace testfiles;

namespace {

std::uint32_t at(const c32bppDIB& s, int x, int y) {
    const std::uint8_t* p = s.row(y) + x * 4;
    return std::uint32_t{p[3]} << 24 | p[2] << 16 | p[1] << 8 | p[0];
}

bool load(const Bytes& file, c32bppDIB& s) {
    return cGIFparser().LoadStream(file, s, 0, static_cast<std::int32_t>(file.size()));
}

// Entries 1 and 3 share a colour, so only the index can tell them apart.
const std::vector<Rgb> kTable = {{0, 0, 0}, {200, 10, 10}, {10, 200, 10}, {200, 10, 10}};

TEST(GIFparser, FirstFrameOnlyAtItsOwnSize) {
    GifFrame first = frame(4, 3, 2, 2, {1, 2, 2, 1});
    const Bytes file =
        gifFile(10, 10, kTable, {first, frame(0, 0, 10, 10, std::vector<std::uint8_t>(100, 3))});
    c32bppDIB s;
    ASSERT_TRUE(load(file, s));
    EXPECT_EQ(s.Width(), 2);
    EXPECT_EQ(s.Height(), 2);
    EXPECT_EQ(s.ImageType(), itGIF);
    EXPECT_FALSE(s.Alpha());
    EXPECT_EQ(at(s, 0, 0), 0xFFC80A0Au);
    EXPECT_EQ(at(s, 1, 0), 0xFF0AC80Au);
    EXPECT_EQ(at(s, 0, 1), 0xFF0AC80Au);
}

TEST(GIFparser, TransparentIndexBecomesAlphaZeroExactly) {
    GifFrame f = frame(0, 0, 4, 1, {1, 3, 0, 2});
    f.transparent = 3; // the same colour as entry 1
    c32bppDIB s;
    ASSERT_TRUE(load(gifFile(4, 1, kTable, {f}), s));
    EXPECT_TRUE(s.Alpha());
    EXPECT_EQ(at(s, 0, 0), 0xFFC80A0Au);
    EXPECT_EQ(at(s, 1, 0), 0u);
    EXPECT_EQ(at(s, 2, 0), 0xFF000000u);
    EXPECT_EQ(at(s, 3, 0), 0xFF0AC80Au);

    // A local table, interlaced rows, a comment and an application
    // extension before the image.
    GifFrame local = frame(0, 0, 1, 9, {0, 1, 0, 1, 0, 1, 0, 1, 0});
    local.localTable = {{1, 2, 3}, {4, 5, 6}};
    local.transparent = 0;
    local.interlaced = true;
    const Bytes extensions = {0x21, 0xFE, 2,   'h', 'i', 0,   0x21, 0xFF, 11, 'N', 'E', 'T', 'S',
                              'C',  'A',  'P', 'E', '2', '.', '0',  3,    1,  0,   0,   0};
    ASSERT_TRUE(load(gifFile(1, 9, kTable, {local}, extensions, "GIF89A"), s));
    for (int y = 0; y < 9; ++y)
        EXPECT_EQ(at(s, 0, y), y % 2 ? 0xFF040506u : 0u) << y;

    // A control block without the transparency flag: opaque.
    GifFrame opaque = frame(0, 0, 1, 1, {3});
    opaque.controlBlock = true;
    ASSERT_TRUE(load(gifFile(1, 1, kTable, {opaque}), s));
    EXPECT_FALSE(s.Alpha());
    EXPECT_EQ(at(s, 0, 0), 0xFFC80A0Au);
}

TEST(GIFparser, RefusesWhatItCannotHandle) {
    c32bppDIB s;
    EXPECT_FALSE(load(Bytes{'G', 'I', 'F', '9', '0', 'a', 0, 0}, s));
    // No colour table anywhere.
    EXPECT_FALSE(load(gifFile(1, 1, {}, {frame(0, 0, 1, 1, {0})}), s));
    // No image after the extensions.
    EXPECT_FALSE(load(gifFile(1, 1, kTable, {}), s));

    // A graphic control extension that claims two bytes, and one cut off
    // before its fields end: refused, never read past.
    Bytes shortControl = gifFile(1, 1, kTable, {frame(0, 0, 1, 1, {1})}, {0x21, 0xF9, 2, 1, 0, 0});
    EXPECT_FALSE(load(shortControl, s));
    Bytes cut = gifFile(1, 1, kTable, {});
    cut.pop_back();
    cut.insert(cut.end(), {0x21, 0xF9, 4, 1, 0});
    EXPECT_FALSE(load(cut, s));
    // An extension whose sub-blocks run off the end.
    EXPECT_FALSE(load(gifFile(1, 1, kTable, {frame(0, 0, 1, 1, {1})}, {0x21, 0xFE, 200, 'x'}), s));

    // A longer-than-standard control block is read by its fields.
    Bytes longControl =
        gifFile(2, 1, kTable, {frame(0, 0, 2, 1, {1, 2})}, {0x21, 0xF9, 6, 1, 0, 0, 2, 7, 7, 0});
    ASSERT_TRUE(load(longControl, s));
    EXPECT_EQ(at(s, 1, 0), 0u);
    EXPECT_EQ(at(s, 0, 0), 0xFFC80A0Au);
}

TEST(GIFparser, TruncatedFilesNeverReadPastTheirEnd) {
    GifFrame f = frame(0, 0, 8, 8, std::vector<std::uint8_t>(64, 1));
    f.transparent = 2;
    const Bytes good = gifFile(8, 8, kTable, {f});
    for (std::size_t n = 0; n <= good.size(); ++n) {
        const Bytes part(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        c32bppDIB s;
        const bool handled = load(part, s);
        if (handled && s.Handle() != 0) {
            EXPECT_EQ(s.Width(), 8);
        }
    }
}

} // namespace

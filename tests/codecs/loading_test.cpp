#include "codecs/modparsers.h"
#include "dib/c32bppdib.h"
#include "platform/host/window_host.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/system/environment.h"
#include "png_builder.h"
#include "tests/support/image_files.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using testpng::Bytes;

// Records message boxes instead of showing them.
class RecordingHost final : public platform::WindowHost {
public:
    int MessageBox(const std::string& text, const std::string&, unsigned) override {
        messages.push_back(text);
        return platform::IDOK;
    }
    std::vector<std::string> messages;
};

class Loading : public ::testing::Test {
protected:
    void SetUp() override {
        env_->imagingLibraryNames = {};
        env_->host = &host;
    }
    // A valid 1 x 1 PNG of `size` bytes (at least 80), padded with an
    // ancillary chunk.
    static Bytes pngOfSize(std::size_t size) {
        Bytes base = testpng::file(testpng::ihdr(1, 1, 8, 0), testpng::zlibCompress({0, 5}));
        Bytes pad = testpng::chunk("zzZz", Bytes(size - base.size() - 12, 0));
        base.insert(base.begin() + 33, pad.begin(), pad.end());
        return base;
    }
    std::filesystem::path writeTemp(const std::string& name, const Bytes& bytes) {
        const auto path = std::filesystem::temp_directory_path() /
                          ("velmora_loading_" + std::to_string(::getpid()) + "_" + name);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        temps.push_back(path);
        return path;
    }
    ~Loading() override {
        for (const auto& p : temps)
            std::filesystem::remove(p);
    }

    platform::ScopedEnvironment env_;
    RecordingHost host;
    c32bppDIB surface;
    std::vector<std::filesystem::path> temps;
};

TEST_F(Loading, ShortInputIsRefusedAndAFailedLoadLeavesNoImage) {
    const Bytes png = pngOfSize(80);
    EXPECT_TRUE(surface.LoadPicture_Stream(png));
    EXPECT_EQ(surface.ImageType(), 10);
    EXPECT_EQ(surface.Width(), 1);

    // A 56-byte range is refused before any reader, and the previous image
    // goes with the failed load.
    EXPECT_FALSE(surface.LoadPicture_Stream(png, 0, 0, 0, 56));
    EXPECT_EQ(surface.Handle(), 0u);

    EXPECT_TRUE(surface.LoadPicture_File(writeTemp("80.png", png).string()));
    EXPECT_FALSE(surface.LoadPicture_File(
        writeTemp("56.png", Bytes(png.begin(), png.begin() + 56)).string()));
    EXPECT_EQ(surface.Handle(), 0u);
    EXPECT_FALSE(surface.LoadPicture_File("/nonexistent/velmora.png"));
}

TEST_F(Loading, RangesAreNormalisedAndNeverReadPastTheArray) {
    const Bytes png = pngOfSize(80);
    Bytes array(20, 0x11);
    array.insert(array.end(), png.begin(), png.end());

    EXPECT_TRUE(surface.LoadPicture_Stream(array, 0, 0, 20, 0)); // length 0: to the end
    EXPECT_TRUE(surface.LoadPicture_Stream(png, 0, 0, -7, 0));   // start raised to 0
    // A range that ends beyond the array is refused instead of read.
    EXPECT_FALSE(surface.LoadPicture_Stream(array, 0, 0, 20, 81));
    EXPECT_EQ(surface.Handle(), 0u);
    EXPECT_FALSE(surface.LoadPicture_Stream({}));
}

TEST_F(Loading, KeptBytesAreTheWholeSource) {
    const Bytes png = pngOfSize(90);
    Bytes array(20, 0x11);
    array.insert(array.end(), png.begin(), png.end());
    ASSERT_TRUE(surface.LoadPicture_Stream(array, 0, 0, 20, 90, true));
    EXPECT_EQ(surface.originalFormatBytes(), array);

    // Reloading reads them from their start, and keeps them.
    EXPECT_FALSE(surface.LoadPicture_FromOrignalFormat());
    ASSERT_TRUE(surface.LoadPicture_Stream(png, 0, 0, 0, 0, true));
    ASSERT_TRUE(surface.LoadPicture_FromOrignalFormat());
    EXPECT_EQ(surface.originalFormatBytes(), png);

    // Without SaveFormat nothing is kept; a failed load keeps nothing and
    // leaves no image.
    ASSERT_TRUE(surface.LoadPicture_Stream(png));
    EXPECT_TRUE(surface.originalFormatBytes().empty());
    ASSERT_TRUE(surface.LoadPicture_Stream(png, 0, 0, 0, 0, true));
    Bytes broken = png;
    broken[0] = 0;
    EXPECT_FALSE(surface.LoadPicture_Stream(broken, 0, 0, 0, 0, true));
    EXPECT_EQ(surface.Handle(), 0u);
    EXPECT_TRUE(surface.originalFormatBytes().empty());

    // From a file, the file's bytes.
    ASSERT_TRUE(surface.LoadPicture_File(writeTemp("kept.png", png).string(), 0, 0, true));
    EXPECT_EQ(surface.originalFormatBytes(), png);
}

TEST_F(Loading, MalformedDataFailsQuietly) {
    Bytes png = pngOfSize(100);
    png[40] ^= 0xFF; // damages the padding chunk's data, which is skipped...
    EXPECT_TRUE(surface.LoadPicture_Stream(png));
    png[20] ^= 0xFF; // ...and then IHDR, which is checked
    EXPECT_FALSE(surface.LoadPicture_Stream(png));
    // A file that ends right after a chunk fails its running-end test.
    const Bytes noEnd(png.begin(), png.end() - 12);
    EXPECT_FALSE(surface.LoadPicture_File(writeTemp("noend.png", noEnd).string()));
    EXPECT_TRUE(host.messages.empty());
}

// Two PNG failures leave the reader: the user is told, and the data goes on
// to the other readers (which do not take it either).
TEST_F(Loading, PngFailuresThatLeaveTheReaderAreReported) {
    const Bytes png = pngOfSize(100);
    const Bytes noEnd(png.begin(), png.end() - 12); // in memory, ends right after IDAT
    EXPECT_FALSE(surface.LoadPicture_Stream(noEnd));
    EXPECT_EQ(surface.Handle(), 0u);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "Invalid PNG data: data ends after a chunk without IEND");

    // Chunk lengths adding up beyond 32-bit signed, from memory and from a file.
    Bytes sum = testpng::signature();
    testpng::put32(sum, 0x7FFFFFF8u);
    sum.insert(sum.end(), 60, 0);
    EXPECT_FALSE(surface.LoadPicture_Stream(sum));
    EXPECT_FALSE(surface.LoadPicture_File(writeTemp("sum.png", sum).string()));
    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[2], "Invalid PNG data: chunk lengths add up to more than 2 GB");
}

// --- every reader behind the dispatcher -------------------------------------------

std::uint32_t argbAt(const c32bppDIB& s, int x, int y) {
    const std::uint8_t* p = s.row(y) + x * 4;
    return std::uint32_t{p[3]} << 24 | p[2] << 16 | p[1] << 8 | p[0];
}

Bytes gif8x8() {
    std::vector<std::uint8_t> indexes(64);
    for (std::size_t i = 0; i < indexes.size(); ++i)
        indexes[i] = static_cast<std::uint8_t>(i % 3);
    testfiles::GifFrame f = testfiles::frame(0, 0, 8, 8, indexes);
    f.transparent = 2;
    return testfiles::gifFile(8, 8, {{200, 10, 10}, {10, 200, 10}, {0, 0, 0}, {1, 1, 1}}, {f});
}

// Two 32-bit entries of one colour each, and a 4-bit 16 x 16 entry whose
// header leaves the bit count to the directory.
Bytes icon(std::uint16_t type = 1) {
    auto solid = [](int size, std::uint32_t argb) {
        return testfiles::IcoEntry{static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size),
                                   32,
                                   testfiles::bitmapEntry(
                                       size, size, 32, {}, [=](int, int) { return argb; },
                                       [](int, int) { return false; })};
    };
    testfiles::IcoEntry four{16, 16, 4,
                             testfiles::bitmapEntry(
                                 16, 16, 4, {{9, 9, 9}}, [](int, int) { return 0u; },
                                 [](int x, int) { return x == 0; }, 0)};
    return testfiles::icoFile({solid(16, 0xFF0000FFu), solid(32, 0x80800000u), four}, type);
}

TEST_F(Loading, EveryFormatReachesItsReader) {
    struct Case {
        const char* name;
        Bytes bytes;
        std::int32_t type;
        std::int32_t width;
    };
    testfiles::Bytes dib = testfiles::infoHeader(20, 2, 24);
    const Case cases[] = {
        {"gif", gif8x8(), modParsers::itGIF, 8},
        {"ico", icon(), modParsers::itIconAlpha, 32},
        {"cur", icon(2), modParsers::itCursorAlpha, 32},
        {"bmp", testfiles::bmpFile(dib, Bytes(2 * 60, 0x40)), modParsers::itBitmap, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_GE(c.bytes.size(), 57u);
        ASSERT_TRUE(surface.LoadPicture_Stream(c.bytes));
        EXPECT_EQ(surface.ImageType(), c.type);
        EXPECT_EQ(surface.Width(), c.width);

        // Inside a larger array, and from a file (read whole once the PNG
        // reader declines it).
        Bytes padded(9, 0xEE);
        padded.insert(padded.end(), c.bytes.begin(), c.bytes.end());
        padded.insert(padded.end(), 5, 0xEE);
        ASSERT_TRUE(surface.LoadPicture_Stream(padded, 0, 0, 9,
                                               static_cast<std::int32_t>(c.bytes.size()), true));
        EXPECT_EQ(surface.ImageType(), c.type);
        EXPECT_EQ(surface.originalFormatBytes(), padded);
        ASSERT_TRUE(surface.LoadPicture_File(writeTemp(c.name, c.bytes).string(), 0, 0, true));
        EXPECT_EQ(surface.ImageType(), c.type);
        EXPECT_EQ(surface.originalFormatBytes(), c.bytes);

        // Cut short: refused or imageless, never the previous image.
        const Bytes cut(c.bytes.begin(), c.bytes.begin() + 57);
        if (!surface.LoadPicture_Stream(cut)) {
            EXPECT_EQ(surface.Handle(), 0u);
        }
    }
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(Loading, IconsKeepTheirOwnBytesAndReloadAnotherEntry) {
    const Bytes file = icon();
    ASSERT_TRUE(surface.LoadPicture_Stream(file, 16, 16, 0, 0, true, 4));
    EXPECT_EQ(surface.ImageType(), modParsers::itIcon);
    EXPECT_EQ(argbAt(surface, 0, 0), 0u);          // masked
    EXPECT_EQ(argbAt(surface, 1, 0), 0xFF090909u); // palette entry 0
    // The reader's repairs (the 4-bit header's bit count, the chosen
    // entry's height) were made on a copy: the kept source is the file.
    EXPECT_EQ(surface.originalFormatBytes(), file);

    ASSERT_TRUE(surface.LoadPicture_FromOrignalFormat(32, 32, 32));
    EXPECT_EQ(surface.Width(), 32);
    EXPECT_EQ(argbAt(surface, 3, 3), 0x80400000u); // red 128 at alpha 128, premultiplied
    EXPECT_EQ(surface.originalFormatBytes(), file);
    // Out-of-range requests: -5 is no preference (32), 48 bits is 32.
    ASSERT_TRUE(surface.LoadPicture_FromOrignalFormat(-5, -5, 48));
    EXPECT_EQ(surface.Width(), 32);
    ASSERT_TRUE(surface.LoadPicture_FromOrignalFormat(16, 16, 48));
    EXPECT_EQ(surface.ImageType(), modParsers::itIconAlpha);
    EXPECT_EQ(argbAt(surface, 0, 0), 0xFF0000FFu);
}

} // namespace

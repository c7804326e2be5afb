#include "platform/host/window_host.h"
#include "platform/imaging/cgdiplus.h"
#include "png_builder.h"
#include "surface/c32bppdib.h"

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
        platform::SetImagingLibraryNames({});
        platform::SetCurrentHost(&host);
    }
    void TearDown() override {
        platform::SetCurrentHost(nullptr);
        platform::SetImagingLibraryNames({"libvelmora-imaging.so"});
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
    Bytes noEnd(png.begin(), png.end() - 12); // ends right after IDAT
    EXPECT_FALSE(surface.LoadPicture_Stream(noEnd));
    png[40] ^= 0xFF; // damages the padding chunk's data, which is skipped...
    EXPECT_TRUE(surface.LoadPicture_Stream(png));
    png[20] ^= 0xFF; // ...and then IHDR, which is checked
    EXPECT_FALSE(surface.LoadPicture_Stream(png));
    EXPECT_FALSE(surface.LoadPicture_File(writeTemp("noend.png", noEnd).string()));
    EXPECT_TRUE(host.messages.empty());
}

} // namespace

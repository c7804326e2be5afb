#include "platform/system/environment.h"
#include "platform/util/byte_reader.h"
#include "platform/util/disk_headers.h"
#include "platform/util/failure.h"
#include "platform/util/limits.h"
#include "platform/util/png_signature.h"
#include "platform/util/premultiply.h"

#include <array>
#include <gtest/gtest.h>
#include <vector>

namespace {

using namespace velmora;

TEST(ByteOrder, StoresReadBackAndOffsetLoadsStayInside) {
    std::array<std::uint8_t, 6> b{};
    storeU32le(b.data() + 1, 0xA1B2C3D4u);
    EXPECT_EQ(b[1], 0xD4);
    EXPECT_EQ(loadU32le(b.data() + 1), 0xA1B2C3D4u);
    storeU32be(b.data(), 0x01020304u);
    EXPECT_EQ(loadU32be(b.data()), 0x01020304u);
    EXPECT_EQ(loadU16le(b.data()), 0x0201);

    const std::span<const std::uint8_t> view(b);
    EXPECT_EQ(loadU32le(view, 2), loadU32le(b.data() + 2)) << "the last whole field";
    EXPECT_EQ(loadU32le(view, 3), 0u) << "a field that leaves the view reads 0";
    EXPECT_EQ(loadU16le(view, 5), 0u);
    EXPECT_EQ(loadU16le(view, SIZE_MAX), 0u) << "no wrap-around";
}

TEST(PngSignature, WholeOrPrefix) {
    const std::vector<std::uint8_t> png(kPngSignature.begin(), kPngSignature.end());
    EXPECT_TRUE(startsWithPngSignature(png));
    EXPECT_FALSE(startsWithPngSignature(std::span(png).first(7)));
    EXPECT_TRUE(startsWithPngSignature(std::span(png).first(4), 4));
    std::vector<std::uint8_t> other = png;
    other[7] = 0;
    EXPECT_FALSE(startsWithPngSignature(other));
    EXPECT_TRUE(startsWithPngSignature(other, 4));
}

TEST(DiskHeaders, ReadOnlyWhatLiesInsideTheData) {
    // A bitmap file header and the first fields of an info header.
    std::vector<std::uint8_t> d(54, 0);
    d[0] = 'B';
    d[1] = 'M';
    storeU32le(d.data() + 10, 54);
    storeU32le(d.data() + 18, 7);           // width
    storeU32le(d.data() + 22, 0xFFFFFFFEu); // height -2: top-down
    d[28] = 24;

    const auto both = disk::readHeader<disk::BitmapFileInfo>(d);
    ASSERT_TRUE(both);
    EXPECT_EQ(+both->file.bfType, 0x4D42);
    EXPECT_EQ(+both->file.bfOffBits, 54u);
    EXPECT_EQ(+both->info.biWidth, 7);
    EXPECT_EQ(+both->info.biHeight, -2);
    EXPECT_EQ(+both->info.biBitCount, 24);

    EXPECT_FALSE(disk::readHeader<disk::BitmapFileInfo>(std::span(d).first(53)));
    EXPECT_FALSE(disk::readHeader<disk::BitmapFileHeader>(d, 41)) << "one byte short";
    EXPECT_TRUE(disk::readHeader<disk::BitmapFileHeader>(d, 40));
    EXPECT_FALSE(disk::readHeader<disk::IconDir>(d, SIZE_MAX)) << "no wrap-around";

    // Cut after the bit count: the fields present are read, the rest are 0.
    // (Fields are compared by value: packed fields cannot bind to references.)
    const auto cut = disk::readHeaderPrefix<disk::BitmapFileInfo>(std::span(d).first(30));
    EXPECT_EQ(+cut.info.biBitCount, 24);
    EXPECT_EQ(+cut.info.biCompression, 0u);
    EXPECT_EQ(VELMORA_FIELD_END(disk::BitmapFileInfo, info.biBitCount), 30u);
    EXPECT_EQ(VELMORA_FIELD_END(disk::BitmapFileInfo, info.biCompression), 34u);

    disk::IconDirEntry entry;
    entry.dwImageOffset = 0x01020304u;
    EXPECT_TRUE(disk::writeHeader(std::span(d), 38, entry));
    EXPECT_EQ(loadU32le(d.data() + 50), 0x01020304u);
    EXPECT_FALSE(disk::writeHeader(std::span(d), 39, entry));
}

TEST(Premultiply, TruncatesAndClearsTransparentPixels) {
    EXPECT_EQ(premultiply(255, 128), 128);
    EXPECT_EQ(premultiply(200, 100), 78) << "78.43 truncated, not rounded";
    EXPECT_EQ(premultiply(1, 254), 0);

    std::array<std::uint8_t, 4> p{10, 20, 30, 99};
    premultiplyPixel(p.data(), 255);
    EXPECT_EQ(p, (std::array<std::uint8_t, 4>{10, 20, 30, 255}));
    premultiplyPixel(p.data(), 51);
    EXPECT_EQ(p, (std::array<std::uint8_t, 4>{2, 4, 6, 51}));
    premultiplyPixel(p.data(), 0);
    EXPECT_EQ(p, (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
}

TEST(Limits, FollowTheEnvironment) {
    const Limits defaults;
    EXPECT_EQ(CurrentLimits().maxPixels, defaults.maxPixels);
    EXPECT_EQ(defaults.maxDecompressedBytes, 0x7FFFFFFFu);
    {
        platform::ScopedEnvironment env;
        env->decodePixelLimit = 100;
        EXPECT_EQ(CurrentLimits().maxPixels, 100u);
    }
    EXPECT_EQ(CurrentLimits().maxPixels, defaults.maxPixels);
}

enum class SampleError { Short, Odd };
std::string_view ErrorText(SampleError e) {
    return e == SampleError::Short ? "too short" : "odd";
}

TEST(LastFailure, KeepsTheCodeAndItsText) {
    LastFailure<SampleError> last;
    EXPECT_FALSE(last.code());
    EXPECT_EQ(last.text(), "none");
    EXPECT_FALSE(last.set(SampleError::Odd));
    EXPECT_EQ(last.code(), SampleError::Odd);
    EXPECT_EQ(last.text(), "odd");
    last.clear();
    EXPECT_FALSE(last.code());
}

} // namespace

#include "platform/system/environment.h"
#include "platform/zlib/zlib_binding.h"
#include "tests/platform/system_names.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace platform;

namespace {

// Each case changes the library names for itself only.
class ZlibBindingTest : public ::testing::Test {
protected:
    platform::ScopedEnvironment env_;
};

TEST_F(ZlibBindingTest, TheSystemZlibIsFoundFirstAndWorks) {
    const auto found = FindZlibLibrary(false);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, testnames::systemZlib());
    EXPECT_EQ(found->libraryId, 2);
    EXPECT_FALSE(found->cdecl) << "one calling convention on this platform";
    EXPECT_TRUE(found->hasCompress2);

    const ZlibBinding z = ZlibBinding::bind();
    ASSERT_TRUE(z.available());
    EXPECT_EQ(z.writerId(), 34);
    const std::string text = "123456789";
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size());
    EXPECT_EQ(z.crc32(bytes), 0xCBF43926u) << "the CRC-32 check value";

    std::vector<std::uint8_t> packed(64), unpacked(16);
    std::size_t packedLength = packed.size();
    ASSERT_EQ(z.compress(packed, packedLength, bytes), Z_OK);
    std::size_t unpackedLength = unpacked.size();
    ASSERT_EQ(z.uncompress(unpacked, unpackedLength, std::span(packed).first(packedLength)), Z_OK);
    EXPECT_EQ(std::string(unpacked.begin(), unpacked.begin() + static_cast<long>(unpackedLength)),
              text);
}

TEST_F(ZlibBindingTest, ALibraryWithoutCrc32IsSkipped) {
    env_->zlibLibraryNames = {FAKEZ_NOCRC, testnames::systemZlib()};
    const auto found = FindZlibLibrary(false);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, testnames::systemZlib());
    EXPECT_EQ(found->libraryId, 1);

    env_->zlibLibraryNames = {FAKEZ_NOCRC, FAKEZ_NOCRC};
    EXPECT_FALSE(FindZlibLibrary(true));
    EXPECT_FALSE(ZlibBinding::bind().available());
}

TEST_F(ZlibBindingTest, TheFirstNameWinsWhenBothLoad) {
    env_->zlibLibraryNames = {FAKEZ_NOCOMPRESS2, testnames::systemZlib()};
    const auto found = FindZlibLibrary(false);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, FAKEZ_NOCOMPRESS2);
    EXPECT_EQ(found->libraryId, 2);
    EXPECT_FALSE(found->hasCompress2);
}

TEST_F(ZlibBindingTest, WithoutCompress2TheWriterFallsBackToCompress) {
    env_->zlibLibraryNames = {testnames::kMissingLibrary, FAKEZ_NOCOMPRESS2};
    const ZlibBinding z = ZlibBinding::bind();
    ASSERT_TRUE(z.available());
    EXPECT_EQ(z.libraryId(), 1);
    EXPECT_EQ(z.writerId(), 1) << "no compress2 bit";
    const std::uint8_t one[] = {1};
    EXPECT_EQ(z.crc32(one), 0x12345678u) << "the fake answered";
    std::vector<std::uint8_t> out(8);
    std::size_t length = out.size();
    ASSERT_EQ(z.compress(out, length, {}), Z_OK);
    EXPECT_EQ(length, 1u);
    EXPECT_EQ(out[0], 0x42) << "written by compress, not compress2";
}

TEST_F(ZlibBindingTest, NoZlibAtAll) {
    env_->zlibLibraryNames = {};
    EXPECT_FALSE(FindZlibLibrary(true));
    const ZlibBinding z = ZlibBinding::bind();
    EXPECT_FALSE(z.available());
    EXPECT_EQ(z.writerId(), 0);
    std::vector<std::uint8_t> out(8);
    std::size_t length = out.size();
    EXPECT_NE(z.compress(out, length, {}), Z_OK);
    EXPECT_NE(z.uncompress(out, length, {}), Z_OK);
}

} // namespace

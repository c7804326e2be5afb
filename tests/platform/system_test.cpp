#include "platform/imaging/cgdiplus.h"
#include "platform/net/address.h"
#include "platform/picture/bitmap_decoder.h"
#include "platform/system/environment.h"
#include "platform/system/file.h"
#include "platform/system/version.h"
#include "platform/testing/headless_host.h"
#include "platform/zlib/zlib_binding.h"
#include "tests/platform/file_fixture.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <vector>

using namespace platform;

namespace {

TEST(Version, ExtendedRecordFallsBackToTheBasicOne) {
    platform::ScopedEnvironment scope;
    scope->systemVersion = {VER_PLATFORM_WIN32_NT, 4, 0, 1381, 6, 0, false};
    OSVERSIONINFOEX info;
    EXPECT_FALSE(GetVersionEx(info)) << "the extended record is refused";
    info.dwOSVersionInfoSize = kVersionInfoSize;
    ASSERT_TRUE(GetVersionEx(info));
    EXPECT_EQ(info.dwMajorVersion, 4u);
    EXPECT_EQ(info.wServicePackMajor, 0u) << "the basic record has no service pack field";
    EXPECT_STREQ(info.szCSDVersion, "Service Pack 6");

    info.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(GetVersionEx(info));
}

TEST_F(FileTest, WriteReadSeekAndSize) {
    const std::string p = path("a/../data.bin");
    std::filesystem::create_directories(dir_ / "a");
    {
        File f = File::openForWrite(p);
        ASSERT_TRUE(f.valid());
        const std::uint8_t bytes[] = {1, 2, 3, 4, 5};
        EXPECT_TRUE(f.write(bytes));
    }
    File f = File::openForRead(p);
    ASSERT_TRUE(f.valid());
    EXPECT_EQ(f.size(), 5);
    EXPECT_EQ(f.seek(3, SeekOrigin::Begin), 3);
    std::uint8_t buf[4] = {};
    EXPECT_EQ(f.read(buf), 2) << "a short read at the end";
    EXPECT_EQ(buf[0], 4);
    EXPECT_EQ(f.seek(-5, SeekOrigin::End), 0);

    File moved = std::move(f);
    EXPECT_FALSE(f.valid());
    EXPECT_TRUE(moved.valid());
}

TEST_F(FileTest, WholeFilesAreReadToTheEndAndFoldersAreNoFiles) {
    // More than one read's worth, so the reading goes on past the first.
    std::vector<std::uint8_t> bytes(200'003);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    {
        File f = File::openForWrite(path("whole"));
        ASSERT_TRUE(f.write(bytes));
    }
    const WholeFile whole = ReadWholeFile(dir_ / "whole");
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole.bytes, bytes);

    File f = File::openForRead(path("whole"));
    ASSERT_EQ(f.seek(200'000, SeekOrigin::Begin), 200'000);
    EXPECT_EQ(ReadToEnd(f), (std::vector<std::uint8_t>(bytes.end() - 3, bytes.end())))
        << "from the position on";

    EXPECT_EQ(ReadWholeFile(dir_ / "missing").outcome, WholeFile::Outcome::CannotOpen);
    EXPECT_EQ(ReadWholeFile(dir_).outcome, WholeFile::Outcome::CannotOpen);
    File::openForWrite(path("empty")).close();
    const WholeFile empty = ReadWholeFile(dir_ / "empty");
    EXPECT_TRUE(empty);
    EXPECT_TRUE(empty.bytes.empty());
}

// Every setting a scope changes is back when it ends, scopes nest, and a
// scope left by an exception (a failed ASSERT inside a helper) restores too.
TEST(Environment, ScopesRestoreWhatTheyChanged) {
    const Environment before = CurrentEnvironment();
    HeadlessHost host;
    {
        ScopedEnvironment outer;
        outer->decodePixelLimit = 7;
        outer->zlibLibraryNames = {};
        outer->host = &host;
        {
            ScopedEnvironment inner;
            inner->decodePixelLimit = 3;
            inner->systemVersion = {VER_PLATFORM_WIN32_WINDOWS, 4, 0, 950, 0, 0, false};
            EXPECT_EQ(DecodePixelLimit(), 3u);
            EXPECT_EQ(CurrentSystemVersion().platformId, VER_PLATFORM_WIN32_WINDOWS);
            EXPECT_EQ(&CurrentHost(), &host) << "unchanged fields carry over";
        }
        EXPECT_EQ(DecodePixelLimit(), 7u);
        EXPECT_EQ(CurrentSystemVersion().platformId, before.systemVersion.platformId);
        EXPECT_TRUE(ZlibLibraryNames().empty());
        try {
            ScopedEnvironment thrown;
            thrown->regionRectLimit = 1;
            throw 1;
        } catch (int) {
        }
        EXPECT_EQ(CurrentEnvironment().regionRectLimit, before.regionRectLimit);
    }
    EXPECT_EQ(DecodePixelLimit(), before.decodePixelLimit);
    EXPECT_EQ(ZlibLibraryNames(), before.zlibLibraryNames);
    EXPECT_NE(&CurrentHost(), &host);
    const ScopedEnvironment replaced(Environment{});
    EXPECT_EQ(ImagingLibraryNames(), Environment::DefaultImagingLibraryNames());
}

// The address forms every system agrees on, and the near misses some
// systems take and others do not.
TEST(Address, ParsesTheStrictFormsOnly) {
    using net::Ipv4Address;
    using net::Ipv6Address;
    const std::vector<std::pair<std::string_view, Ipv4Address>> ipv4 = {
        {"0.0.0.0", Ipv4Address{0, 0, 0, 0}},
        {"192.0.2.1", Ipv4Address{192, 0, 2, 1}},
        {"255.255.255.255", Ipv4Address{255, 255, 255, 255}},
    };
    for (const auto& [text, bytes] : ipv4)
        EXPECT_EQ(net::ParseIpv4(text), bytes) << text;
    for (const std::string_view text :
         {"", "1.2.3", "1.2.3.4.5", "1.2.3.4.", ".1.2.3", "1..2.3", "01.2.3.4", "1.2.3.256",
          "1.2.3.4000", "0x7f.0.0.1", "127.1", "1.2.3.4 ", "+1.2.3.4"})
        EXPECT_EQ(net::ParseIpv4(text), std::nullopt) << text;
    EXPECT_EQ(net::ParseIpv4(std::string_view("1.2.3.4\0"
                                              "5",
                                              9)),
              std::nullopt);

    const auto v6 = [](std::initializer_list<std::uint16_t> groups) {
        Ipv6Address bytes{};
        std::size_t at = 0;
        for (const std::uint16_t group : groups) {
            bytes[at++] = static_cast<std::uint8_t>(group >> 8);
            bytes[at++] = static_cast<std::uint8_t>(group);
        }
        return bytes;
    };
    const std::vector<std::pair<std::string_view, Ipv6Address>> ipv6 = {
        {"::", Ipv6Address{}},
        {"::1", v6({0, 0, 0, 0, 0, 0, 0, 1})},
        {"1::", v6({1, 0, 0, 0, 0, 0, 0, 0})},
        {"2001:DB8::a:0", v6({0x2001, 0xdb8, 0, 0, 0, 0, 0xa, 0})},
        {"1:2:3:4:5:6:7:8", v6({1, 2, 3, 4, 5, 6, 7, 8})},
        {"1::2:3:4:5:6:7", v6({1, 0, 2, 3, 4, 5, 6, 7})},
        {"::ffff:192.0.2.1", v6({0, 0, 0, 0, 0, 0xffff, 0xc000, 0x0201})},
        {"1:2:3:4:5:6:1.2.3.4", v6({1, 2, 3, 4, 5, 6, 0x0102, 0x0304})},
        {"0000:0000:0000:0000:0000:ffff:255.255.255.255",
         v6({0, 0, 0, 0, 0, 0xffff, 0xffff, 0xffff})},
    };
    for (const auto& [text, bytes] : ipv6)
        EXPECT_EQ(net::ParseIpv6(text), bytes) << text;
    for (const std::string_view text : {"",
                                        ":",
                                        ":::",
                                        ":1::2",
                                        "1::2:",
                                        "1:::2",
                                        "1::2::3",
                                        "1:2:3:4:5:6:7",
                                        "1:2:3:4:5:6:7:8:9",
                                        "1:2:3:4:5:6:7:8::",
                                        "::1:2:3:4:5:6:7:8",
                                        "12345::",
                                        "g::",
                                        "::1.2.3",
                                        "::01.2.3.4",
                                        "::1.2.3.4:5",
                                        "::a.2.3.4",
                                        "1:2:3:4:5:6:7:1.2.3.4",
                                        "1.2.3.4",
                                        "fe80::1%eth0",
                                        "::1/128",
                                        "[::1]"})
        EXPECT_EQ(net::ParseIpv6(text), std::nullopt) << text;
    EXPECT_EQ(net::ParseIpv6(std::string_view("::1\0"
                                              "2",
                                              5)),
              std::nullopt);
}

} // namespace

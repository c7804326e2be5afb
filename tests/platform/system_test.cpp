#include "platform/host/window_host.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/picture/bitmap_decoder.h"
#include "platform/system/environment.h"
#include "platform/system/file.h"
#include "platform/system/library.h"
#include "platform/system/version.h"
#include "platform/testing/headless_host.h"
#include "platform/zlib/zlib_binding.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST(Version, DefaultsToAnNtSystemSixOne) {
    OSVERSIONINFOEX info;
    ASSERT_TRUE(GetVersionEx(info));
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(info.dwMajorVersion, 6u);
    EXPECT_EQ(info.dwMinorVersion, 1u);
}

class FileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ =
            std::filesystem::temp_directory_path() / ("velmora-file-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path(const char* name) const { return (dir_ / name).string(); }
    std::filesystem::path dir_;
};

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

TEST_F(FileTest, ReadNeedsAnExistingFileAndWriteKeepsAttributes) {
    EXPECT_FALSE(File::openForRead(path("missing")).valid());
    EXPECT_FALSE(File::openForRead(dir_.string()).valid()) << "a folder is no file";

    const std::string p = path("mode");
    File::openForWrite(p).close();
    ::chmod(p.c_str(), 0640);
    File::openForWrite(p).close();
    struct stat st {};
    ::stat(p.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(FileTest, DeleteAfterResettingAttributes) {
    const std::string p = path("readonly");
    File::openForWrite(p).close();
    ::chmod(p.c_str(), 0444);
    EXPECT_TRUE(SetFileAttributesNormal(p));
    struct stat st {};
    ::stat(p.c_str(), &st);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
    EXPECT_TRUE(DeleteFile(p));
    EXPECT_FALSE(FileExists(p));
    EXPECT_FALSE(SetFileAttributesNormal(p));
    EXPECT_FALSE(DeleteFile(p));
}

TEST(LibraryTest, ExportsAreLookedUpInTheLibraryItself) {
    Library z("libz.so.1");
    ASSERT_TRUE(z.loaded());
    EXPECT_NE(z.symbol("crc32"), nullptr);
    EXPECT_EQ(z.symbol("no_such_function"), nullptr);
    // malloc lives in libc, which libz depends on: not an export of libz.
    EXPECT_EQ(z.symbol("malloc"), nullptr);
    EXPECT_TRUE(z.reset());
    EXPECT_FALSE(z.reset());
    EXPECT_FALSE(Library("libdoes-not-exist.so").loaded());
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

} // namespace

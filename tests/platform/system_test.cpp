#include "platform/host/window_host.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/picture/bitmap_decoder.h"
#include "platform/system/durable_file.h"
#include "platform/system/environment.h"
#include "platform/system/file.h"
#include "platform/system/library.h"
#include "platform/system/version.h"
#include "platform/testing/headless_host.h"
#include "platform/zlib/zlib_binding.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/resource.h>
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

std::string contents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

unsigned modeOf(const std::filesystem::path& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return st.st_mode & 07777;
}

// The names in a folder, so a test sees a temporary left behind.
std::vector<std::string> namesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(FileTest, DurableWritesKeepModesAndFollowLinks) {
    const mode_t mask = ::umask(022);
    EXPECT_TRUE(WriteFileDurably(dir_ / "new", "one"));
    EXPECT_EQ(modeOf(dir_ / "new"), 0644u) << "0666 narrowed by the umask";

    ::chmod((dir_ / "new").c_str(), 0600);
    EXPECT_TRUE(WriteFileDurably(dir_ / "new", "two"));
    EXPECT_EQ(contents(dir_ / "new"), "two");
    EXPECT_EQ(modeOf(dir_ / "new"), 0600u) << "an existing file keeps its mode";

    // A chain of links, one relative through another folder: the file at
    // its end is replaced and every link stays a link.
    std::filesystem::create_directories(dir_ / "links");
    std::filesystem::create_symlink("../new", dir_ / "links" / "first");
    std::filesystem::create_symlink(dir_ / "links" / "first", dir_ / "second");
    const std::uint8_t bytes[] = {'t', 'h', 'r', 'e', 'e'};
    const DurableWriteResult linked = WriteFileDurably(dir_ / "second", std::span(bytes));
    EXPECT_TRUE(linked) << linked.error;
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "second"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "links" / "first"));
    EXPECT_EQ(contents(dir_ / "new"), "three");
    EXPECT_EQ(modeOf(dir_ / "new"), 0600u);

    // A link to a file not made yet makes the file.
    std::filesystem::create_symlink("later", dir_ / "dangling");
    EXPECT_TRUE(WriteFileDurably(dir_ / "dangling", "four"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "dangling"));
    EXPECT_EQ(contents(dir_ / "later"), "four");

    // Keeping an existing file: it stays; a new one gets the mode asked for.
    const DurableWriteOptions keep{ExistingFile::Keep, 0600};
    const DurableWriteResult kept = WriteFileDurably(dir_ / "new", "five", keep);
    EXPECT_TRUE(kept.ok && kept.existed);
    EXPECT_EQ(contents(dir_ / "new"), "three");
    const DurableWriteResult made = WriteFileDurably(dir_ / "private", "six", keep);
    EXPECT_TRUE(made.ok && !made.existed) << made.error;
    EXPECT_EQ(modeOf(dir_ / "private"), 0600u);
    ::umask(mask);
    EXPECT_EQ(namesIn(dir_),
              (std::vector<std::string>{"dangling", "later", "links", "new", "private", "second"}))
        << "no temporary left behind";
}

TEST_F(FileTest, AFailedDurableWriteLeavesTheOldFileAndNoTemporary) {
    std::filesystem::create_directories(dir_ / "folder");
    ASSERT_TRUE(WriteFileDurably(dir_ / "old", "old bytes"));
    std::filesystem::create_symlink("folder", dir_ / "to-folder");
    std::filesystem::create_symlink("loop", dir_ / "loop");
    const std::vector<std::string> before = namesIn(dir_);
    for (const char* name : {"folder", "to-folder", "missing/file", "loop", ""}) {
        const DurableWriteResult r = WriteFileDurably(name[0] != 0 ? dir_ / name : "", "new");
        EXPECT_FALSE(r) << name;
        EXPECT_FALSE(r.error.empty()) << name;
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir_ / "folder"));

    // A write cut short (here by the file size limit) fails part way
    // through the bytes.
    {
        struct rlimit old {};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 4;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const DurableWriteResult r = WriteFileDurably(dir_ / "old", "far more than four bytes");
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
        EXPECT_FALSE(r);
        EXPECT_NE(r.error.find("File too large"), std::string::npos) << r.error;
    }
    EXPECT_EQ(contents(dir_ / "old"), "old bytes");
    EXPECT_EQ(namesIn(dir_), before) << "no temporary left behind";
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

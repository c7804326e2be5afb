// What the platform layer does on POSIX systems: file modes and links, the
// state folder of the XDG variables, terminals, sockets and libraries by
// their POSIX names.

#include "platform/host/window_host.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/net/address.h"
#include "platform/net/socket_wait.h"
#include "platform/picture/bitmap_decoder.h"
#include "platform/system/console.h"
#include "platform/system/durable_file.h"
#include "platform/system/environment.h"
#include "platform/system/file.h"
#include "platform/system/library.h"
#include "platform/system/state_folder.h"
#include "platform/system/version.h"
#include "platform/testing/headless_host.h"
#include "platform/zlib/zlib_binding.h"
#include "tests/platform/file_fixture.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <random>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

namespace {

TEST(Version, DefaultsToAnNtSystemSixOne) {
    OSVERSIONINFOEX info;
    ASSERT_TRUE(GetVersionEx(info));
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(info.dwMajorVersion, 6u);
    EXPECT_EQ(info.dwMinorVersion, 1u);
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

// The state folder from the variables a system sets: the first absolute one
// of the conventional variables wins, and the program's folder is named in
// lower case, as the other folders there are.
TEST(StateFolder, FollowsTheEnvironmentItIsGiven) {
    using Variables = std::map<std::string, std::string, std::less<>>;
    struct Case {
        Variables variables;
        std::optional<std::filesystem::path> folder;
    };
    const std::vector<Case> cases = {
        {{{"XDG_STATE_HOME", "/x/state"}, {"HOME", "/home/u"}}, "/x/state/velmora"},
        {{{"HOME", "/home/u"}}, "/home/u/.local/state/velmora"},
        {{{"XDG_STATE_HOME", ""}, {"HOME", "/home/u"}}, "/home/u/.local/state/velmora"},
        {{{"XDG_STATE_HOME", "state"}, {"HOME", "/home/u"}}, "/home/u/.local/state/velmora"},
        {{{"XDG_STATE_HOME", "/x/state"}, {"HOME", "relative"}}, "/x/state/velmora"},
        {{{"XDG_STATE_HOME", "state"}, {"HOME", "~"}}, std::nullopt},
        {{{"HOME", ""}}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const Case& c : cases) {
        const VariableLookup lookup = [&](std::string_view name) -> std::optional<std::string> {
            const auto it = c.variables.find(name);
            if (it == c.variables.end()) return std::nullopt;
            return it->second;
        };
        std::string described;
        for (const auto& [name, value] : c.variables)
            described += name + "=" + value + " ";
        EXPECT_EQ(StateFolder("Velmora", lookup), c.folder) << described;
    }
}

TEST(StateFolder, ReadsTheProcessEnvironment) {
    const auto home = EnvironmentVariable("HOME");
    const auto state = EnvironmentVariable("XDG_STATE_HOME");
    EXPECT_EQ(StateFolder("Velmora"), StateFolder("Velmora", [&](std::string_view name) {
                  return name == "HOME" ? home : name == "XDG_STATE_HOME" ? state : std::nullopt;
              }));
    EXPECT_FALSE(EnvironmentVariable("VELMORA_TEST_NO_SUCH_VARIABLE"));
    ::setenv("VELMORA_TEST_VARIABLE", "caf\xc3\xa9", 1);
    EXPECT_EQ(EnvironmentVariable("VELMORA_TEST_VARIABLE"), "caf\xc3\xa9");
    ::unsetenv("VELMORA_TEST_VARIABLE");
}

// Each standard stream is asked about itself: with one of them a terminal
// and the others not, only that one says so.
TEST(Console, EachStreamIsAskedAboutItself) {
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal < 0 || ::grantpt(terminal) != 0 || ::unlockpt(terminal) != 0)
        GTEST_SKIP() << "no pseudo-terminals here";
    const int side = ::open(::ptsname(terminal), O_RDWR | O_NOCTTY);
    const int nothing = ::open("/dev/null", O_RDWR);
    ASSERT_GE(side, 0);
    ASSERT_GE(nothing, 0);
    constexpr std::array streams = {StandardStream::Input, StandardStream::Output,
                                    StandardStream::Error};
    std::array<int, 3> saved{};
    for (int fd = 0; fd < 3; ++fd)
        saved[static_cast<std::size_t>(fd)] = ::dup(fd);
    // Nothing is printed while the streams are borrowed; the answers are
    // checked once they are back.
    std::array<std::array<bool, 3>, 4> answers{};
    for (std::size_t which = 0; which <= 3; ++which) {
        for (int fd = 0; fd < 3; ++fd)
            ::dup2(static_cast<std::size_t>(fd) == which ? side : nothing, fd);
        for (std::size_t asked = 0; asked < 3; ++asked)
            answers[which][asked] = IsTerminal(streams[asked]);
    }
    for (int fd = 0; fd < 3; ++fd) {
        ::dup2(saved[static_cast<std::size_t>(fd)], fd);
        ::close(saved[static_cast<std::size_t>(fd)]);
    }
    ::close(nothing);
    ::close(side);
    ::close(terminal);
    for (std::size_t which = 0; which <= 3; ++which)
        for (std::size_t asked = 0; asked < 3; ++asked)
            EXPECT_EQ(answers[which][asked], which == asked)
                << "stream " << asked << " with stream " << which << " a terminal";
}

// The parser answers as this system's own one does, for every text: written
// ones, ones near them and noise over the characters addresses are made of.
TEST(Address, AgreesWithTheSystemsParser) {
    std::mt19937 random(27);
    const std::string_view alphabet = "0123456789abcdefABF:.x% ";
    const std::vector<std::string> seeds = {
        "192.168.0.1", "::ffff:10.0.0.255", "2001:db8::1", "1:2:3:4:5:6:7:8", "fe80::", "::",
        "0.0.0.0"};
    std::vector<std::string> texts;
    for (int i = 0; i < 200'000; ++i) {
        std::string text;
        if (i % 2 == 0) {
            text = seeds[random() % seeds.size()];
            for (unsigned edits = random() % 3 + 1; edits > 0; --edits) {
                const std::size_t at = random() % (text.size() + 1);
                const char c = alphabet[random() % alphabet.size()];
                switch (random() % 3) {
                case 0:
                    text.insert(at, 1, c);
                    break;
                case 1:
                    if (at < text.size()) text.erase(at, 1);
                    break;
                default:
                    if (at < text.size()) text[at] = c;
                }
            }
        } else {
            for (unsigned length = random() % 16; length > 0; --length)
                text += alphabet[random() % 12 == 0 ? 20 + random() % 2 : random() % 20];
        }
        texts.push_back(std::move(text));
    }
    int accepted = 0;
    for (const std::string& text : texts) {
        std::array<std::uint8_t, 16> system{};
        const bool ipv4 = ::inet_pton(AF_INET, text.c_str(), system.data()) == 1;
        const auto own4 = net::ParseIpv4(text);
        ASSERT_EQ(own4.has_value(), ipv4) << text;
        if (ipv4) {
            EXPECT_TRUE(std::equal(own4->begin(), own4->end(), system.begin())) << text;
        }
        const bool ipv6 = ::inet_pton(AF_INET6, text.c_str(), system.data()) == 1;
        const auto own6 = net::ParseIpv6(text);
        ASSERT_EQ(own6.has_value(), ipv6) << text;
        if (ipv6) {
            EXPECT_TRUE(std::equal(own6->begin(), own6->end(), system.begin())) << text;
        }
        accepted += ipv4 || ipv6;
    }
    EXPECT_GT(accepted, 1000) << "enough addresses among the texts to say something";
}

// Readiness as the resolver's loop needs it: nothing before data, readable
// after, writable when there is room, and a hang-up readable so its owner
// reads and learns of it.
TEST(SocketWait, ReportsEachSocketsReadiness) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    std::array<net::SocketWait, 2> waits{};
    waits[0].socket = pair[0];
    waits[0].wantRead = true;
    waits[1].socket = pair[1];
    waits[1].wantRead = true;
    ASSERT_TRUE(net::WaitForSockets(waits, std::chrono::milliseconds(0)));
    EXPECT_FALSE(waits[0].readable || waits[1].readable) << "nothing sent yet";

    ASSERT_EQ(::write(pair[1], "x", 1), 1);
    waits[1].wantWrite = true;
    ASSERT_TRUE(net::WaitForSockets(waits, std::chrono::milliseconds(0)));
    EXPECT_TRUE(waits[0].readable);
    EXPECT_FALSE(waits[0].writable) << "not asked for";
    EXPECT_FALSE(waits[1].readable);
    EXPECT_TRUE(waits[1].writable);

    char byte = 0;
    ASSERT_EQ(::read(pair[0], &byte, 1), 1);
    ::close(pair[1]);
    ASSERT_TRUE(net::WaitForSockets(std::span(waits).first(1), std::chrono::milliseconds(0)));
    EXPECT_TRUE(waits[0].readable) << "the other end hung up";
    ::close(pair[0]);
}

} // namespace

// The velmora-image command line, run as a program.

#include "platform/imaging/cgdiplus.h"
#include "surface/c32bppdib.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
};

// Runs the program with the arguments (each single-quoted); standard error
// goes to errFile when given.
Outcome run(const std::string& args, const std::string& errFile = "/dev/null") {
    Outcome r;
    const std::string command =
        std::string("'") + VELMORA_IMAGE_BIN + "' " + args + " 2>" + errFile;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.out.append(buffer, n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string quote(const fs::path& p) {
    return "'" + p.string() + "'";
}

class VelmoraImage : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("velmora_image_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

fs::path corpus(const std::string& name) {
    return fs::path(VELMORA_CORPUS_DIR) / "pngsuite" / name;
}

TEST_F(VelmoraImage, InfoAndConvertMatchTheSurface) {
    if (!fs::exists(corpus("basn6a08.png"))) GTEST_SKIP() << "no PngSuite";
    for (const char* name : {"basn6a08.png", "ibasn0g16.png", "ftbbn3p08.png"}) {
        SCOPED_TRACE(name);
        platform::SetImagingLibraryNames({});
        c32bppDIB surface;
        ASSERT_TRUE(surface.LoadPicture_File(corpus(name).string()));

        for (const char* options : {"", " --no-zlib", " --no-imaging --icon 16x16 --depth=8"}) {
            const Outcome info = run("info " + quote(corpus(name)) + options);
            EXPECT_EQ(info.status, 0);
            EXPECT_EQ(info.out, "{\"width\":" + std::to_string(surface.Width()) +
                                    ",\"height\":" + std::to_string(surface.Height()) +
                                    ",\"imageType\":10,\"alpha\":" +
                                    (surface.Alpha() ? "true" : "false") + "}\n");
        }
        const fs::path out = dir / "out.bgra";
        EXPECT_EQ(run("convert " + quote(corpus(name)) + ' ' + quote(out) + " --no-zlib").status,
                  0);
        std::ifstream in(out, std::ios::binary);
        const std::vector<std::uint8_t> written{std::istreambuf_iterator<char>(in), {}};
        ASSERT_EQ(written.size(), surface.pixels().size());
        EXPECT_TRUE(std::equal(written.begin(), written.end(), surface.pixels().begin()));
    }
}

TEST_F(VelmoraImage, FailuresAndUsageErrorsHaveTheirOwnExitCodes) {
    const fs::path junk = dir / "junk.png";
    std::ofstream(junk) << std::string(100, 'x');
    const fs::path err = dir / "err.txt";
    const Outcome noImage = run("info " + quote(junk), err.string());
    EXPECT_EQ(noImage.status, 1);
    EXPECT_TRUE(noImage.out.empty());
    EXPECT_GT(fs::file_size(err), 0u);
    EXPECT_EQ(run("info " + quote(dir / "missing.png")).status, 1);

    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("frobnicate x").status, 2);
    EXPECT_EQ(run("info").status, 2);
    EXPECT_EQ(run("info a b").status, 2);
    EXPECT_EQ(run("info " + quote(junk) + " --bogus").status, 2);
    EXPECT_EQ(run("info " + quote(junk) + " --icon 16").status, 2);
    EXPECT_EQ(run("info " + quote(junk) + " --depth").status, 2);
    EXPECT_EQ(run("convert " + quote(junk) + ' ' + quote(dir / "out.xyz")).status, 2);

    const Outcome help = run("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* word :
         {"info", "convert", "--no-zlib", "--no-imaging", "--icon", "--depth", ".bgra"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

} // namespace

// The velmora-image command line, run as a program.

#include "dib/c32bppdib.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/system/environment.h"
#include "tests/support/image_files.h"
#include "tests/tools/run_tool.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#endif
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

using tooltest::Outcome;

// These cases pin the program's own readers, writer and engine, so they
// run without the imaging service the program finds beside itself.
Outcome run(const std::string& args, const std::string& errFile = "/dev/null") {
    return tooltest::runTool(args + " --no-imaging", errFile);
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
    platform::ScopedEnvironment env_;
    fs::path dir;
};

fs::path corpus(const std::string& name) {
    return fs::path(VELMORA_CORPUS_DIR) / "pngsuite" / name;
}

TEST_F(VelmoraImage, InfoAndConvertMatchTheSurface) {
    if (!fs::exists(corpus("basn6a08.png"))) GTEST_SKIP() << "no PngSuite";
    for (const char* name : {"basn6a08.png", "ibasn0g16.png", "ftbbn3p08.png"}) {
        SCOPED_TRACE(name);
        env_->imagingLibraryNames = {};
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

std::vector<std::uint8_t> readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A PNG with soft alpha, transparent pixels and more than 256 colours, so
// each output format has something to lose.
std::vector<std::uint8_t> samplePng() {
    c32bppDIB s;
    if (!s.InitializeDIB(37, 21)) return {};
    s.Alpha(true);
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x) {
            std::uint8_t* p = s.row(y) + x * 4;
            const auto a = static_cast<std::uint8_t>(x == 0 ? 0 : y == 0 ? 128 : 255);
            p[0] = static_cast<std::uint8_t>(x * 7 * a / 255);
            p[1] = static_cast<std::uint8_t>(y * 12 * a / 255);
            p[2] = static_cast<std::uint8_t>((x * y) % 256 * a / 255);
            p[3] = a;
        }
    std::vector<std::uint8_t> png;
    s.SaveToStream_PNG(png);
    return png;
}

TEST_F(VelmoraImage, ConvertSavesPngBitmapAndTheOriginalBytes) {
    env_->imagingLibraryNames = {};
    const fs::path in = dir / "in.png";
    const std::vector<std::uint8_t> source = samplePng();
    ASSERT_FALSE(source.empty());
    writeFile(in, source);
    c32bppDIB loaded;
    ASSERT_TRUE(loaded.LoadPicture_File(in.string()));

    {
        SCOPED_TRACE("PNG: what the surface's own saving writes");
        const fs::path out = dir / "out.PNG"; // the extension's case does not matter
        ASSERT_EQ(run("convert " + quote(in) + ' ' + quote(out)).status, 0);
        std::vector<std::uint8_t> want;
        ASSERT_TRUE(loaded.SaveToStream_PNG(want));
        EXPECT_EQ(readFile(out), want);
    }
    {
        SCOPED_TRACE("bitmap: 32 bits, the premultiplied pixels as they are");
        const fs::path out = dir / "out.bmp";
        ASSERT_EQ(run("convert " + quote(in) + ' ' + quote(out) + " --no-zlib").status, 0);
        std::vector<std::uint8_t> want;
        ASSERT_TRUE(loaded.SaveToStream(want));
        EXPECT_EQ(readFile(out), want);
        EXPECT_EQ(want[28], 32);
    }
    {
        SCOPED_TRACE("original format: the input file byte for byte");
        const fs::path out = dir / "out.orig";
        ASSERT_EQ(run("convert " + quote(in) + ' ' + quote(out)).status, 0);
        EXPECT_EQ(readFile(out), source);
        // Effects change pixels, not the kept bytes: asking for both is refused.
        fs::remove(out);
        EXPECT_EQ(run("convert " + quote(in) + ' ' + quote(out) + " --mirror x").status, 2);
        EXPECT_FALSE(fs::exists(out));
    }
}

// File modes, links and a file size limit are POSIX's.
#ifndef _WIN32
// The output replaces the file whole or not at all, keeping its mode, and a
// link to it stays a link.
TEST_F(VelmoraImage, ConvertReplacesTheOutputWholeOrNotAtAll) {
    env_->imagingLibraryNames = {};
    const fs::path in = dir / "in.png";
    writeFile(in, samplePng());
    const fs::path out = dir / "out.png";
    const std::vector<std::uint8_t> old{'o', 'l', 'd'};
    writeFile(out, old);
    ::chmod(out.c_str(), 0600);
    fs::create_symlink("out.png", dir / "link.png");
    {
        // A write cut short part way: the old file stays.
        const tooltest::FileSizeLimit limit(64);
        EXPECT_EQ(run("convert " + quote(in) + ' ' + quote(dir / "link.png")).status, 1);
    }
    EXPECT_EQ(readFile(out), old);
    EXPECT_EQ(run("convert " + quote(in) + ' ' + quote(dir / "link.png")).status, 0);
    EXPECT_TRUE(fs::is_symlink(dir / "link.png"));
    c32bppDIB loaded;
    ASSERT_TRUE(loaded.LoadPicture_File(in.string()));
    std::vector<std::uint8_t> want;
    ASSERT_TRUE(loaded.SaveToStream_PNG(want));
    EXPECT_EQ(readFile(out), want);
    EXPECT_EQ(fs::status(out).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"in.png", "link.png", "out.png"}))
        << "no temporary left behind";
}
#endif

TEST_F(VelmoraImage, WithoutZlibPngOutputFailsAndWritesNothing) {
    env_->imagingLibraryNames = {};
    const fs::path in = dir / "in.png";
    writeFile(in, samplePng());
    const fs::path out = dir / "out.png";
    const fs::path err = dir / "err.txt";
    // Loading still works without zlib (our own inflater); only the save fails.
    EXPECT_EQ(run("info " + quote(in) + " --no-zlib").status, 0);
    EXPECT_EQ(run("convert " + quote(in) + ' ' + quote(out) + " --no-zlib", err.string()).status,
              1);
    EXPECT_FALSE(fs::exists(out));
    const std::vector<std::uint8_t> message = readFile(err);
    EXPECT_NE(std::string(message.begin(), message.end()).find("zlib"), std::string::npos);
}

// Icons and cursors list every entry; the options choose the one loaded.
TEST_F(VelmoraImage, InfoListsIconAndCursorEntries) {
    env_->imagingLibraryNames = {};
    auto bitmapEntry = [](int size, int bpp) {
        return testfiles::IcoEntry{static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size),
                                   static_cast<std::uint16_t>(bpp),
                                   testfiles::bitmapEntry(
                                       size, size, bpp, {{1, 2, 3}},
                                       [](int, int) { return 0x80402010u; },
                                       [](int x, int) { return x == 0; })};
    };
    const std::vector<std::uint8_t> png = samplePng(); // 37 x 21
    ASSERT_FALSE(png.empty());
    const fs::path ico = dir / "several.ico";
    writeFile(ico, testfiles::icoFile({bitmapEntry(16, 32), bitmapEntry(32, 4),
                                       testfiles::IcoEntry{37, 21, 32, png}}));
    const std::string sizes = ",\"iconSizes\":[[16,16,32,-1],[32,32,4,16],[37,21,32,-1]]}\n";
    struct Case {
        const char* options;
        const char* head;
    };
    for (const Case& c :
         {Case{"", "{\"width\":32,\"height\":32,\"imageType\":3,\"alpha\":true"},
          Case{" --icon 16x16", "{\"width\":16,\"height\":16,\"imageType\":8,\"alpha\":true"},
          Case{" --icon 32x32 --depth 32", "{\"width\":32,\"height\":32,\"imageType\":3,"
                                           "\"alpha\":true"},
          Case{" --icon 37x21", "{\"width\":37,\"height\":21,\"imageType\":11,\"alpha\":true"},
          Case{" --icon=16x16 --depth=4", "{\"width\":16,\"height\":16,\"imageType\":8,"
                                          "\"alpha\":true"}}) {
        SCOPED_TRACE(c.options);
        const Outcome info = run("info " + quote(ico) + c.options);
        EXPECT_EQ(info.status, 0);
        EXPECT_EQ(info.out, c.head + sizes);
    }

    const fs::path cur = dir / "one.cur";
    writeFile(cur, testfiles::icoFile({bitmapEntry(24, 8)}, 2));
    EXPECT_EQ(run("info " + quote(cur)).out,
              "{\"width\":24,\"height\":24,\"imageType\":5,\"alpha\":true,"
              "\"iconSizes\":[[24,24,8,256]]}\n");

    // Bitmaps and GIFs have no entries to list.
    const fs::path bmp = dir / "plain.bmp";
    writeFile(bmp, testfiles::bmpFile(testfiles::infoHeader(9, 4, 24),
                                      std::vector<std::uint8_t>(4 * 28, 0x33)));
    EXPECT_EQ(run("info " + quote(bmp)).out,
              "{\"width\":9,\"height\":4,\"imageType\":1,\"alpha\":false}\n");
    std::vector<std::uint8_t> indexes(16 * 16);
    for (std::size_t i = 0; i < indexes.size(); ++i)
        indexes[i] = static_cast<std::uint8_t>(i % 3);
    testfiles::GifFrame frame = testfiles::frame(0, 0, 16, 16, indexes);
    frame.transparent = 0;
    const fs::path gif = dir / "plain.gif";
    writeFile(gif,
              testfiles::gifFile(16, 16, {{0, 0, 0}, {9, 9, 9}, {7, 7, 7}, {5, 5, 5}}, {frame}));
    EXPECT_EQ(run("info " + quote(gif)).out,
              "{\"width\":16,\"height\":16,\"imageType\":9,\"alpha\":true}\n");
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
    for (const char* word : {"info", "convert", "--no-zlib", "--no-imaging", "--icon", "--depth",
                             ".bgra", ".png", ".bmp", ".orig"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

// A 2 x 2 uncompressed RGB TIFF: red, green / blue, white.
std::vector<std::uint8_t> tinyTiff() {
    std::vector<std::uint8_t> t{'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put16 = [&](unsigned v) {
        t.push_back(static_cast<std::uint8_t>(v));
        t.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto put32 = [&](unsigned v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    const unsigned entries = 9, bitsAt = 8 + 2 + entries * 12 + 4, pixelsAt = bitsAt + 6;
    put16(entries);
    for (const auto& [tag, type, value] : {std::array<unsigned, 3>{256, 3, 2},
                                           {257, 3, 2},
                                           {258, 3, bitsAt},
                                           {259, 3, 1},
                                           {262, 3, 2},
                                           {273, 4, pixelsAt},
                                           {277, 3, 3},
                                           {278, 3, 2},
                                           {279, 4, 12}}) {
        put16(tag);
        put16(type);
        put32(tag == 258 ? 3 : 1);
        put32(value);
    }
    put32(0);
    put16(8), put16(8), put16(8);
    for (const unsigned char v : {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255})
        t.push_back(v);
    return t;
}

// With the imaging service beside it, the program opens what its own
// readers do not, and its PNG output can come from either encoder.
TEST_F(VelmoraImage, TheImagingServiceOpensTiffAndEncodesPng) {
    const fs::path tif = dir / "tiny.tif";
    writeFile(tif, tinyTiff());
    const auto withService = [](const std::string& args) { return tooltest::runTool(args); };
    EXPECT_EQ(withService("info " + quote(tif)).out,
              "{\"width\":2,\"height\":2,\"imageType\":10,\"alpha\":false}\n");
    EXPECT_EQ(run("info " + quote(tif)).status, 1) << "no reader of its own for TIFF";

    const fs::path bgra = dir / "tiny.bgra";
    ASSERT_EQ(withService("convert " + quote(tif) + ' ' + quote(bgra)).status, 0);
    // Bottom row first: blue, white, then red, green.
    EXPECT_EQ(readFile(bgra), (std::vector<std::uint8_t>{255, 0, 0, 255, 255, 255, 255, 255, 0, 0,
                                                         255, 255, 0, 255, 0, 255}));
    for (const char* encoder : {"imaging", "own", "auto"}) {
        SCOPED_TRACE(encoder);
        const fs::path png = dir / (std::string(encoder) + ".png");
        ASSERT_EQ(
            withService("convert " + quote(tif) + ' ' + quote(png) + " --png-encoder " + encoder)
                .status,
            0);
        const fs::path back = dir / (std::string(encoder) + ".bgra");
        ASSERT_EQ(run("convert " + quote(png) + ' ' + quote(back)).status, 0);
        EXPECT_EQ(readFile(back), readFile(bgra));
    }
    EXPECT_EQ(run("convert " + quote(tif) + " x.png --png-encoder gif").status, 2);

    // The imaging engine draws greyed pixels (here with AlphaBlend off).
    const fs::path grey = dir / "grey.bgra";
    ASSERT_EQ(withService("render " + quote(tif) + ' ' + quote(grey) +
                          " --canvas 2x2 --gray 2 --no-alphablend")
                  .status,
              0);
    const std::vector<std::uint8_t> g = readFile(grey);
    ASSERT_EQ(g.size(), 16u);
    EXPECT_EQ(g[0], g[1]);
    EXPECT_EQ(g[1], g[2]);
    EXPECT_EQ(g[3], 255);
}

#ifndef _WIN32
std::string readText(const fs::path& p) {
    std::ifstream in(p);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The bombs are written by the Linux build's generator, and the reason is
// the Linux imaging library's.
// A file the imaging service refuses as damaged (here a JPEG header
// declaring 23170 x 23170 pixels over four bytes of scan) gives no image,
// the service's reason on standard error and its own exit status; without
// the service there is no reason to give.
TEST_F(VelmoraImage, TheImagingServiceNamesWhyItRefusesAFile) {
    const fs::path bomb = fs::path(VELMORA_BOMBS_DIR) / "jpeg-header-only.jpg";
    ASSERT_TRUE(fs::exists(bomb));
    const fs::path err = dir / "err.txt";
    const std::string said = "velmora-image: no image in " + bomb.string() +
                             ": JPEG scan too short for the declared size\n";
    for (const std::string& args :
         {"info " + quote(bomb), "convert " + quote(bomb) + ' ' + quote(dir / "out.png")}) {
        SCOPED_TRACE(args);
        const Outcome refused = tooltest::runTool(args, err.string());
        EXPECT_EQ(refused.status, 2);
        EXPECT_TRUE(refused.out.empty());
        EXPECT_EQ(readText(err), said);
    }
    EXPECT_FALSE(fs::exists(dir / "out.png"));

    EXPECT_EQ(run("info " + quote(bomb), err.string()).status, 1);
    EXPECT_EQ(readText(err), "velmora-image: no image in " + bomb.string() + "\n");
}
#endif

} // namespace

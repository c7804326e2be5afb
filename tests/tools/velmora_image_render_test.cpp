// velmora-image render and the convert effects, run as a program on small
// PNG files written here, with the expected bytes worked out by hand.

#include "dib/c32bppdib.h"
#include "tests/tools/run_tool.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#ifndef _WIN32
#include <sys/wait.h>
#endif
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

using tooltest::Outcome;

using Bytes = std::vector<std::uint8_t>;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

Bytes readBytes(const fs::path& path) {
    const std::string text = readText(path);
    return {text.begin(), text.end()};
}

// --- a PNG writer of its own, so the files do not depend on the codecs -------

std::uint32_t crc32(const std::uint8_t* p, std::size_t n, std::uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void put32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void chunk(Bytes& png, const char* type, const Bytes& data) {
    put32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    put32(png, crc32(png.data() + start, png.size() - start));
}

struct Rgba {
    std::uint8_t r, g, b, a;
};

// An RGBA PNG of the rows (top row first), its data in one stored deflate block.
void writePng(const fs::path& path, std::int32_t width, const std::vector<Rgba>& pixels) {
    const auto height = static_cast<std::uint32_t>(pixels.size() / width);
    Bytes raw;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        if (i % width == 0) raw.push_back(0); // filter: none
        raw.insert(raw.end(), {pixels[i].r, pixels[i].g, pixels[i].b, pixels[i].a});
    }
    ASSERT_LT(raw.size(), 65536u);
    Bytes z{0x78, 0x01, 0x01}; // zlib header; one final stored block
    const auto len = static_cast<std::uint16_t>(raw.size());
    z.insert(z.end(), {static_cast<std::uint8_t>(len), static_cast<std::uint8_t>(len >> 8),
                       static_cast<std::uint8_t>(~len), static_cast<std::uint8_t>(~len >> 8)});
    z.insert(z.end(), raw.begin(), raw.end());
    std::uint32_t s1 = 1, s2 = 0;
    for (std::uint8_t byte : raw) {
        s1 = (s1 + byte) % 65521;
        s2 = (s2 + s1) % 65521;
    }
    put32(z, (s2 << 16) | s1);

    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    put32(header, static_cast<std::uint32_t>(width));
    put32(header, height);
    header.insert(header.end(), {8, 6, 0, 0, 0}); // 8 bits, RGBA
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", {});
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
}

constexpr Rgba kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255}, kBlue{0, 0, 255, 255},
    kWhite{255, 255, 255, 255}, kClear{0, 0, 0, 0}, kHalfRed{255, 0, 0, 128};

// Stored (premultiplied) pixels as blue, green, red, alpha.
using Bgra = std::array<std::uint8_t, 4>;
constexpr Bgra kRedPx{0, 0, 255, 255}, kGreenPx{0, 255, 0, 255}, kBluePx{255, 0, 0, 255},
    kWhitePx{255, 255, 255, 255}, kClearPx{0, 0, 0, 0}, kHalfRedPx{0, 0, 128, 128};

// Pixel (x, y) of a .bgra file, y = 0 the top row (the file is bottom-up).
Bgra pixelAt(const Bytes& file, std::int32_t width, std::int32_t height, std::int32_t x,
             std::int32_t y) {
    const std::size_t at = (static_cast<std::size_t>(height - 1 - y) * width + x) * 4;
    if (at + 4 > file.size()) return {1, 2, 3, 4}; // shows up as a mismatch
    return {file[at], file[at + 1], file[at + 2], file[at + 3]};
}

// The whole picture, top row first, for comparing small outputs at once.
std::vector<Bgra> picture(const Bytes& file, std::int32_t width, std::int32_t height) {
    std::vector<Bgra> out;
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            out.push_back(pixelAt(file, width, height, x, y));
    return out;
}

class VelmoraImageDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("velmora_image_drawing_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        // Top row red, green; bottom row blue, white.
        writePng(dir / "four.png", 2, {kRed, kGreen, kBlue, kWhite});
        // Top row half-transparent red, clear; bottom row red, half-transparent red.
        writePng(dir / "alpha.png", 2, {kHalfRed, kClear, kRed, kHalfRed});
        out = dir / "out.bgra";
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the program with the arguments (paths quoted by the caller).
    Outcome run(const std::string& args) const {
        const fs::path errFile = dir / "stderr.txt";
        // The own engine and AlphaBlend are pinned here, without the imaging
        // service the program finds beside itself.
        Outcome r = tooltest::runTool(args + " --no-imaging", errFile.string());
        r.err = readText(errFile);
        return r;
    }
    std::string in(const char* name) const { return quoted(dir / name); }
    std::string outArg() const { return quoted(out); }
    // The path in single quotes and a space, built by appending: GCC 12's
    // -Wrestrict misreads the inlined `"'" + std::string` at -O3.
    static std::string quoted(const fs::path& path) {
        std::string arg(1, '\'');
        arg.append(path.string()).append("' ");
        return arg;
    }

    // render IN to a W x H canvas; the output file's bytes.
    Bytes render(const char* image, const std::string& options, int expectedStatus = 0) const {
        const Outcome r = run("render " + in(image) + outArg() + options);
        EXPECT_EQ(r.status, expectedStatus) << options << '\n' << r.err;
        return readBytes(out);
    }
    Bytes convert(const char* image, const std::string& options) const {
        const Outcome r = run("convert " + in(image) + outArg() + options);
        EXPECT_EQ(r.status, 0) << options << '\n' << r.err;
        return readBytes(out);
    }

    fs::path dir;
    fs::path out;
};

TEST_F(VelmoraImageDrawing, RenderIntoTheHostAtAnOffsetKeepsTheFillAround) {
    constexpr Bgra fill{0x10, 0x20, 0x30, 0x40};
    // AlphaBlend and the own engine put an opaque image down the same way.
    for (const char* engine : {"", " --no-alphablend"}) {
        SCOPED_TRACE(engine);
        const Bytes canvas =
            render("four.png", "--canvas 4x3 --fill 10203040 --dest 1,1,0,0" + std::string(engine));
        ASSERT_EQ(canvas.size(), 4u * 3 * 4);
        EXPECT_EQ(picture(canvas, 4, 3), (std::vector<Bgra>{fill, fill, fill, fill,       //
                                                            fill, kRedPx, kGreenPx, fill, //
                                                            fill, kBluePx, kWhitePx, fill}));
    }
    // Hanging off the top-left corner: only the bottom-right pixel lands.
    const Bytes corner = render("four.png", "--canvas 2x2 --dest -1,-1,0,0 --no-alphablend");
    EXPECT_EQ(picture(corner, 2, 2), (std::vector<Bgra>{kWhitePx, kClearPx, kClearPx, kClearPx}));
    // Centred on (2, 2): the 2 x 2 image covers (1, 1) .. (2, 2).
    const Bytes centred = render("four.png", "--canvas 4x4 --dest 2,2,0,0 --center");
    EXPECT_EQ(pixelAt(centred, 4, 4, 1, 1), kRedPx);
    EXPECT_EQ(pixelAt(centred, 4, 4, 2, 2), kWhitePx);
    EXPECT_EQ(pixelAt(centred, 4, 4, 0, 0), kClearPx);
}

TEST_F(VelmoraImageDrawing, RenderBlendsAtHalfOpacityOverTheFill) {
    // 50 % is a constant alpha of 127: an opaque source keeps 128/255 of
    // the white below, (255 x 128 + 255 x 127) / 255 = 255 where they add up.
    for (const char* engine : {"", " --no-alphablend"}) {
        SCOPED_TRACE(engine);
        const Bytes canvas =
            render("four.png", "--canvas 2x2 --fill FFFFFFFF --opacity 50" + std::string(engine));
        EXPECT_EQ(picture(canvas, 2, 2), (std::vector<Bgra>{{128, 128, 255, 255},
                                                            {128, 255, 128, 255}, //
                                                            {255, 128, 128, 255},
                                                            kWhitePx}));
    }
    // 150 counts as 50.
    EXPECT_EQ(pixelAt(render("four.png", "--canvas 2x2 --fill FFFFFFFF --opacity 150"), 2, 2, 0, 0),
              (Bgra{128, 128, 255, 255}));
    // A half-transparent red (0, 0, 128, 128) over opaque white at full
    // opacity: 255 x 127 / 255 + 128 = 255 red, 127 blue and green.
    EXPECT_EQ(
        pixelAt(render("alpha.png", "--canvas 2x2 --fill FFFFFFFF --no-alphablend"), 2, 2, 0, 0),
        (Bgra{127, 127, 255, 255}));
    // Opacity 0 draws nothing and is no failure.
    EXPECT_EQ(picture(render("four.png", "--canvas 1x1 --fill 01020304 --opacity 0"), 1, 1),
              (std::vector<Bgra>{{1, 2, 3, 4}}));
}

TEST_F(VelmoraImageDrawing, RenderOntoTheCanvasDcGoesThroughTwentyFourBits) {
    // The own engine blends a 24-bit copy of the DC's area and writes it
    // back, so the drawn pixels lose their alpha as on a screen DC.
    const Bytes canvas =
        render("four.png", "--canvas 3x2 --fill FFFFFFFF --opacity 50 --into dc --no-alphablend");
    EXPECT_EQ(picture(canvas, 3, 2), (std::vector<Bgra>{{128, 128, 255, 0},
                                                        {128, 255, 128, 0},
                                                        kWhitePx, //
                                                        {255, 128, 128, 0},
                                                        {255, 255, 255, 0},
                                                        kWhitePx}));
    // AlphaBlend works on the DC's 32-bit section and blends alpha too.
    const Bytes blended = render("four.png", "--canvas 3x2 --fill FFFFFFFF --opacity 50 --into dc");
    EXPECT_EQ(pixelAt(blended, 3, 2, 0, 0), (Bgra{128, 128, 255, 255}));
}

TEST_F(VelmoraImageDrawing, RenderMirrorsCutsScalesAndGreys) {
    // A negative destination width mirrors left to right; a negative source
    // height flips top to bottom.
    EXPECT_EQ(picture(render("four.png", "--canvas 2x2 --dest 0,0,-2,0"), 2, 2),
              (std::vector<Bgra>{kGreenPx, kRedPx, kWhitePx, kBluePx}));
    EXPECT_EQ(picture(render("four.png", "--canvas 2x2 --src 0,0,0,-2"), 2, 2),
              (std::vector<Bgra>{kBluePx, kWhitePx, kRedPx, kGreenPx}));
    // The right column alone, at the canvas's left.
    EXPECT_EQ(picture(render("four.png", "--canvas 2x2 --src 1,0,1,2 --dest 0,0,1,2"), 2, 2),
              (std::vector<Bgra>{kGreenPx, kClearPx, kWhitePx, kClearPx}));
    // Doubled by the nearest pixel: 2 x 2 blocks.
    for (const char* engine : {"", " --no-alphablend"}) {
        SCOPED_TRACE(engine);
        const Bytes big =
            render("four.png", "--canvas 4x4 --dest 0,0,4,4 --nearest" + std::string(engine));
        EXPECT_EQ(pixelAt(big, 4, 4, 1, 1), kRedPx);
        EXPECT_EQ(pixelAt(big, 4, 4, 2, 1), kGreenPx);
        EXPECT_EQ(pixelAt(big, 4, 4, 1, 2), kBluePx);
        EXPECT_EQ(pixelAt(big, 4, 4, 3, 3), kWhitePx);
    }
    // Formula 0 weighs red 0.299: 255 x 0.299 = 76.245 gives grey 76.
    EXPECT_EQ(pixelAt(render("four.png", "--canvas 2x2 --gray 0"), 2, 2, 0, 0),
              (Bgra{76, 76, 76, 255}));
    // Light -100 blackens opaque pixels and keeps their alpha.
    EXPECT_EQ(pixelAt(render("four.png", "--canvas 2x2 --light -100"), 2, 2, 1, 1),
              (Bgra{0, 0, 0, 255}));
    // A whole turn is no rotation.
    EXPECT_EQ(render("four.png", "--canvas 2x2 --angle 720"), render("four.png", "--canvas 2x2"));
}

TEST_F(VelmoraImageDrawing, RenderThatDrawsNothingFailsAndStillWritesTheCanvas) {
    const Bytes canvas =
        render("four.png", "--canvas 2x1 --fill 05060708 --dest 5,5,0,0 --no-alphablend", 1);
    EXPECT_EQ(picture(canvas, 2, 1), (std::vector<Bgra>{{5, 6, 7, 8}, {5, 6, 7, 8}}));
    EXPECT_EQ(run("render " + in("missing.png") + outArg() + "--canvas 2x2").status, 1);
}

TEST_F(VelmoraImageDrawing, ConvertEffectsChangeTheImage) {
    EXPECT_EQ(picture(convert("four.png", "--mirror x"), 2, 2),
              (std::vector<Bgra>{kGreenPx, kRedPx, kWhitePx, kBluePx}));
    EXPECT_EQ(picture(convert("four.png", "--mirror y"), 2, 2),
              (std::vector<Bgra>{kBluePx, kWhitePx, kRedPx, kGreenPx}));
    EXPECT_EQ(picture(convert("four.png", "--mirror xy"), 2, 2),
              (std::vector<Bgra>{kWhitePx, kBluePx, kGreenPx, kRedPx}));
    // Inverting keeps alpha; a premultiplied colour c becomes alpha - c.
    EXPECT_EQ(
        picture(convert("alpha.png", "--invert"), 2, 2),
        (std::vector<Bgra>{{128, 128, 0, 128}, kClearPx, {255, 255, 0, 255}, {128, 128, 0, 128}}));
    // Only the fully opaque red goes; the half-transparent red stays.
    EXPECT_EQ(picture(convert("alpha.png", "--transparent FF0000"), 2, 2),
              (std::vector<Bgra>{kHalfRedPx, kClearPx, kClearPx, kHalfRedPx}));
    // Doubled by the nearest pixel, and a negative width mirrors the copy.
    const Bytes wide = convert("four.png", "--scale 4x2 --nearest");
    ASSERT_EQ(wide.size(), 4u * 2 * 4);
    EXPECT_EQ(picture(wide, 4, 2), (std::vector<Bgra>{kRedPx, kRedPx, kGreenPx, kGreenPx, //
                                                      kBluePx, kBluePx, kWhitePx, kWhitePx}));
    EXPECT_EQ(picture(convert("four.png", "--scale -2x0"), 2, 2),
              (std::vector<Bgra>{kGreenPx, kRedPx, kWhitePx, kBluePx}));
    EXPECT_EQ(picture(convert("four.png", "--scale -4x2 --nearest --no-alphablend"), 4, 2),
              (std::vector<Bgra>{kGreenPx, kGreenPx, kRedPx, kRedPx, //
                                 kWhitePx, kWhitePx, kBluePx, kBluePx}));
}

TEST_F(VelmoraImageDrawing, ConvertWritesTheShadowInsteadOfTheImage) {
    // Depth 2: a 5 x 5 box, the shadow 4 pixels larger each way. The
    // opaque 2 x 2 image sums to 4 x 255 under the middle of the box.
    const Bytes shadow = convert("four.png", "--shadow 2,0000FF");
    ASSERT_EQ(shadow.size(), 6u * 6 * 4);
    const std::uint8_t full = 4 * 255 / 25; // 40
    EXPECT_EQ(pixelAt(shadow, 6, 6, 2, 2), (Bgra{full * 255 / 255, 0, 0, full}));
    EXPECT_EQ(pixelAt(shadow, 6, 6, 0, 0), (Bgra{255 * 10 / 255, 0, 0, 255 / 25}));
    // Depths above 10 count as 10.
    EXPECT_EQ(convert("four.png", "--shadow 15,000000").size(), 22u * 22 * 4);
    // Depth 0 keeps the size and tints the alpha: the half-transparent
    // pixels give green at 128, premultiplied to 128.
    EXPECT_EQ(picture(convert("alpha.png", "--shadow 0,00FF00"), 2, 2),
              (std::vector<Bgra>{{0, 128, 0, 128}, kClearPx, kGreenPx, {0, 128, 0, 128}}));
}

TEST_F(VelmoraImageDrawing, ConvertEffectsRunInTheirOwnOrder) {
    // Inversion comes before the colour key whatever the command line's
    // order: red inverts to cyan, which the key then removes.
    EXPECT_EQ(
        picture(convert("four.png", "--transparent 00FFFF --invert"), 2, 2),
        (std::vector<Bgra>{kClearPx, {255, 0, 255, 255}, {0, 255, 255, 255}, {0, 0, 0, 255}}));
    // Mirroring comes before scaling. A 1 x 1 nearest copy takes the bottom
    // left pixel (the scaling starts at the bottom row of memory): blue,
    // and white once mirrored.
    EXPECT_EQ(picture(convert("four.png", "--scale 1x1 --no-alphablend"), 1, 1),
              (std::vector<Bgra>{kBluePx}));
    EXPECT_EQ(picture(convert("four.png", "--scale 1x1 --mirror x --no-alphablend"), 1, 1),
              (std::vector<Bgra>{kWhitePx}));
    // The shadow is made last, of the 1 x 1 copy: depth 1 spreads the one
    // opaque pixel over 3 x 3 pixels of alpha 255 / 9 = 28.
    const Bytes shadow = convert("four.png", "--shadow 1,FFFFFF --scale 1x1");
    ASSERT_EQ(shadow.size(), 3u * 3 * 4);
    EXPECT_EQ(picture(shadow, 3, 3), std::vector<Bgra>(9, Bgra{28, 28, 28, 28}));
}

TEST_F(VelmoraImageDrawing, MalformedValuesAreUsageErrors) {
    const std::string renderArgs = "render " + in("four.png") + outArg();
    for (const char* options : {
             "",             // no canvas
             "--canvas 0x2", // too small
             "--canvas 2",   // no height
             "--canvas 2x2 --fill 1234567", "--canvas 2x2 --fill 1234567G",
             "--canvas 2x2 --into screen", "--canvas 2x2 --dest 1,2,3",
             "--canvas 2x2 --dest 1,2,3,4,5", "--canvas 2x2 --src 1,,3,4",
             "--canvas 2x2 --opacity 50%", "--canvas 2x2 --gray x", "--canvas 2x2 --light nan",
             "--canvas 2x2 --angle inf", "--canvas 2x2 --angle 1e60", "--canvas 2x2 --center=yes",
             "--canvas 2x2 --mirror x", // an option of convert
         }) {
        const Outcome r = run(renderArgs + options);
        EXPECT_EQ(r.status, 2) << options;
        EXPECT_FALSE(r.err.empty()) << options;
    }
    EXPECT_NE(run(renderArgs + "--canvas 2x2 --dest 1,2,3").err.find("--dest"), std::string::npos);
    EXPECT_NE(run(renderArgs).err.find("--canvas"), std::string::npos);

    const std::string convertArgs = "convert " + in("four.png") + outArg();
    for (const char* options :
         {"--mirror z", "--mirror", "--transparent F00", "--transparent '#FF0000'", "--scale 4",
          "--scale 4xx", "--shadow 3", "--shadow 3,12345", "--shadow ,123456", "--canvas 2x2"}) {
        EXPECT_EQ(run(convertArgs + options).status, 2) << options;
    }
    EXPECT_EQ(run("info " + in("four.png") + "--nearest").status, 2);
    // Over-large copies are refused cleanly.
    EXPECT_EQ(run(convertArgs + "--scale 100000x100000").status, 1);
    EXPECT_EQ(run(convertArgs + "--scale -2147483648x1").status, 1);
    EXPECT_EQ(run(renderArgs + "--canvas 100000x100000").status, 1);
    // Coordinates no drawing can reach are refused by Render (exit 1), not
    // carried into arithmetic that overflows.
    for (const char* options :
         {"--dest -2147483648,-2147483648,-2,-2 --center",
          "--dest 2147483647,2147483647,-2147483648,-2147483648 --angle 30",
          "--src 1,1,-2147483648,-2147483648", "--dest -2147483648,0,0,0 --into dc --no-alphablend",
          "--dest 0,0,2000000000,2000000000 --angle 30"})
        EXPECT_EQ(run(renderArgs + "--canvas 2x2 " + options).status, 1) << options;
}

TEST_F(VelmoraImageDrawing, HelpDescribesRenderAndTheEffects) {
    const Outcome help = run("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* word :
         {"render", "--canvas", "--fill", "--into", "--dest", "--src", "--opacity", "--gray",
          "--light", "--angle", "--center", "--nearest", "--bilinear", "--no-alphablend",
          "--mirror", "--invert", "--transparent", "--scale", "--shadow"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

TEST_F(VelmoraImageDrawing, CorpusImagesOverAClearCanvasComeOutAsLoaded) {
    const fs::path corpus = fs::path(VELMORA_CORPUS_DIR) / "pngsuite";
    if (!fs::exists(corpus / "basn6a08.png")) GTEST_SKIP() << "no PngSuite";
    // Source-over onto fully transparent pixels leaves the source exactly.
    for (const char* name : {"basn6a08.png", "basn2c08.png", "basn4a16.png"}) {
        SCOPED_TRACE(name);
        c32bppDIB surface;
        ASSERT_TRUE(surface.LoadPicture_File((corpus / name).string()));
        const std::string size =
            std::to_string(surface.Width()) + 'x' + std::to_string(surface.Height());
        for (const char* engine : {"", " --no-alphablend"}) {
            const Outcome r = run("render '" + (corpus / name).string() + "' " + outArg() +
                                  "--canvas " + size + engine);
            ASSERT_EQ(r.status, 0) << r.err;
            const Bytes canvas = readBytes(out);
            ASSERT_EQ(canvas.size(), surface.pixels().size());
            EXPECT_TRUE(std::equal(canvas.begin(), canvas.end(), surface.pixels().begin()))
                << engine;
        }
    }
}

} // namespace

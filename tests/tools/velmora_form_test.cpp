// velmora-form end to end: stores made, shown, changed, loaded, exported,
// faded, painted, hit-tested and fed pointer input through the real program,
// and damaged stores refused.

#include "dib/c32bppdib.h"
#include "platform/host/form_store.h"
#include "run_tool.h"
#include "tests/support/image_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#ifndef _WIN32
#include <sys/stat.h>
#endif
#include <unistd.h>

namespace {

using tooltest::Outcome;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

class VelmoraForm : public ::testing::Test {
public:
    VelmoraForm() {
        dir_ = fs::temp_directory_path() /
               ("velmora-form-test-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    ~VelmoraForm() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::string quoted(const std::string& name) const { return "'" + path(name) + "'"; }

    Outcome run(const std::string& args) {
        Outcome r = tooltest::runProgram(VELMORA_FORM_BIN, args, path("stderr.txt"));
        r.err = read(path("stderr.txt"));
        return r;
    }

    static std::string read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(path(name), std::ios::binary) << text;
    }
    void writeText(const std::string& name, const std::string& text) { write(name, text); }
    void write(const std::string& name, const Bytes& bytes) {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }

    // A form with one 32 x 32 image control named Image1.
    void makeForm() {
        ASSERT_EQ(run("new " + quoted("f.json") + " --size 200x100").status, 0);
        ASSERT_EQ(run("add " + quoted("f.json") + " Image1 --at 8,8 --size 32x32").status, 0);
    }

    // A 4 x 2 opaque bitmap, red at the top left.
    static Bytes bitmap() {
        Bytes bits;
        for (int r = 0; r < 2; ++r) {
            for (int x = 0; x < 4; ++x) {
                const bool red = r == 1 && x == 0; // bottom-up: row 1 is the top
                bits.insert(bits.end(), {static_cast<std::uint8_t>(red ? 0 : 200),
                                         static_cast<std::uint8_t>(red ? 0 : 100),
                                         static_cast<std::uint8_t>(red ? 255 : 50)});
            }
        }
        return testfiles::bmpFile(testfiles::infoHeader(4, 2, 24), bits);
    }

    static std::string line(const std::string& out, const std::string& property) {
        std::istringstream in(out);
        for (std::string l; std::getline(in, l);)
            if (l.rfind(property + " = ", 0) == 0) return l.substr(property.size() + 3);
        return "(missing)";
    }

    fs::path dir_;
};

TEST_F(VelmoraForm, ShowPrintsEveryPropertyInOrder) {
    makeForm();
    const Outcome shown = run("show " + quoted("f.json"));
    ASSERT_EQ(shown.status, 0) << shown.err;
    std::istringstream in(shown.out);
    std::vector<std::string> names;
    for (std::string l; std::getline(in, l);)
        names.push_back(l.substr(0, l.find(' ')));
    EXPECT_EQ(names, (std::vector<std::string>{"Image1.AutoRedraw",     "Image1.AutoSize",
                                               "Image1.StretchQuality", "Image1.ScaleMethod",
                                               "Image1.Opacity",        "Image1.Mirror",
                                               "Image1.InversedImage",  "Image1.KeepOriginalFormat",
                                               "Image1.grayScale",      "Image1.RotateEnabled",
                                               "Image1.Rotation",       "Image1.IntensityOffset",
                                               "Image1.HitTest",        "Image1.MaskColor",
                                               "Image1.MaskUsed",       "Image1.ShadowEnabled",
                                               "Image1.ShadowColor",    "Image1.ShadowOffsetX",
                                               "Image1.ShadowOffsetY",  "Image1.ShadowDepth",
                                               "Image1.ShadowOpacity",  "Image1.Enabled",
                                               "Image1.MousePointer",   "Image1.MouseIcon",
                                               "Image1.OLEDropMode",    "Image1.ImageType",
                                               "Image1.isMouseOver",    "Image1.GDIplusInitialized",
                                               "Image1.GDIplusEnabled"}));
    EXPECT_EQ(line(shown.out, "Image1.MaskColor"), "-2147483633");
    EXPECT_EQ(line(shown.out, "Image1.ShadowColor"), "4210752");
    EXPECT_EQ(line(shown.out, "Image1.StretchQuality"), "True");
    EXPECT_EQ(line(shown.out, "Image1.ImageType"), "0");
    // The stored control holds only what differs from the stored defaults.
    const std::string store = read(path("f.json"));
    EXPECT_NE(store.find("\"Props\": 5"), std::string::npos) << store;
    EXPECT_EQ(store.find("Opacity"), std::string::npos);
}

TEST_F(VelmoraForm, SetGoesThroughTheSetters) {
    makeForm();
    write("pic.bmp", bitmap());
    ASSERT_EQ(run("load " + quoted("f.json") + " Image1 " + quoted("pic.bmp")).status, 0);
    const Outcome set = run("set " + quoted("f.json") +
                            " image1 Opacity=150 grayScale=9 rotation=450 RotateEnabled=True "
                            "MaskColor=0x8000000F ShadowDepth=11 IntensityOffset=-12.5 Mirror=1");
    ASSERT_EQ(set.status, 0) << set.err;
    const Outcome shown = run("show " + quoted("f.json") + " Image1");
    EXPECT_EQ(line(shown.out, "Image1.Opacity"), "50");
    EXPECT_EQ(line(shown.out, "Image1.grayScale"), "0") << "out of range: ignored";
    EXPECT_EQ(line(shown.out, "Image1.Rotation"), "90");
    EXPECT_EQ(line(shown.out, "Image1.RotateEnabled"), "True");
    EXPECT_EQ(line(shown.out, "Image1.ShadowDepth"), "2");
    EXPECT_EQ(line(shown.out, "Image1.IntensityOffset"), "-12.5");
    EXPECT_EQ(line(shown.out, "Image1.Mirror"), "1");
    EXPECT_EQ(line(shown.out, "Image1.ImageType"), "10") << "a bitmap is stored as PNG";

    // Shown mirrored: red is at the top right of the pixels.
    ASSERT_EQ(
        run("bytes " + quoted("f.json") + " Image1 " + quoted("px.bin") + " --top-down").status, 0);
    const std::string px = read(path("px.bin"));
    ASSERT_EQ(px.size(), 4u * 2u * 4u);
    EXPECT_EQ(static_cast<std::uint8_t>(px[3 * 4 + 2]), 255);
    EXPECT_EQ(static_cast<std::uint8_t>(px[0 * 4 + 2]), 50);
}

TEST_F(VelmoraForm, AControlKeepsWhatAddAndSetGaveIt) {
    makeForm();
    const Outcome added = run("show " + quoted("f.json") + " Image1");
    ASSERT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(line(added.out, "Image1.AutoSize"), "True") << "as add made it";
    EXPECT_EQ(line(added.out, "Image1.StretchQuality"), "True");

    ASSERT_EQ(run("set " + quoted("f.json") + " Image1 Opacity=55 Rotation=90").status, 0);
    const Outcome set = run("show " + quoted("f.json") + " Image1");
    EXPECT_EQ(line(set.out, "Image1.Opacity"), "55");
    EXPECT_EQ(line(set.out, "Image1.Rotation"), "90");
    EXPECT_EQ(line(set.out, "Image1.AutoSize"), "True");

    // Commands that change nothing change nothing.
    ASSERT_EQ(run("set " + quoted("f.json") + " Image1 Opacity=55").status, 0);
    ASSERT_EQ(run("bytes " + quoted("f.json") + " Image1 " + quoted("px.bin")).status, 1);
    EXPECT_EQ(run("show " + quoted("f.json") + " Image1").out, set.out);
}

TEST_F(VelmoraForm, APictureThatCannotBeShownIsKeptWithItsSettings) {
    const Bytes damaged(80, 0x5A);
    write("d.json", std::string("{\"form\": {\"width\": 100, \"height\": 80}, \"controls\": [") +
                        "{\"type\": \"aicAlphaImage\", \"name\": \"Image1\", \"left\": 2, "
                        "\"top\": 2, \"width\": 16, \"height\": 16, \"properties\": {"
                        "\"Image\": \"" +
                        platform::EncodeBase64(damaged) +
                        "\", \"Opacity\": 20, \"Angle\": 30, \"Props\": 261, \"Glow\": 7}}]}");
    ASSERT_EQ(run("set " + quoted("d.json") + " Image1 HitTest=2").status, 0);
    const auto form = platform::ReadFormStore(path("d.json"));
    ASSERT_TRUE(form) << form.error;
    const platform::PropertyStore& saved = form.form->controls.at(0).properties;
    EXPECT_EQ(saved.ReadProperty("Image", Bytes{}), damaged);
    EXPECT_EQ(saved.ReadProperty<std::int32_t>("Opacity", 0), 20);
    EXPECT_EQ(saved.ReadProperty<std::int32_t>("Angle", 0), 30);
    EXPECT_EQ(saved.ReadProperty<std::int32_t>("Props", 0), 261);
    EXPECT_EQ(saved.ReadProperty<std::int32_t>("HitTest", 0), 2);
    EXPECT_EQ(saved.ReadProperty<std::int32_t>("Glow", 0), 7) << "a key of a later version";
}

TEST_F(VelmoraForm, RefusedAssignmentsLeaveTheStoreAlone) {
    makeForm();
    const std::string before = read(path("f.json"));
    for (const char* assignment :
         {"ImageType=3", "NoSuchProperty=1", "Opacity=abc", "AutoSize=maybe", "Opacity",
          "IntensityOffset=nan", "MouseIcon=/nonexistent/icon.ico"}) {
        const Outcome r = run("set " + quoted("f.json") + " Image1 Opacity=20 " + assignment);
        EXPECT_EQ(r.status, 2) << assignment;
        EXPECT_FALSE(r.err.empty()) << assignment;
    }
    EXPECT_EQ(run("set " + quoted("f.json") + " Nobody Opacity=20").status, 2);
    EXPECT_EQ(read(path("f.json")), before);
}

TEST_F(VelmoraForm, LoadWithIconSizeAndKeptSourceBytes) {
    makeForm();
    std::vector<testfiles::IcoEntry> entries;
    for (int s : {16, 32}) {
        testfiles::IcoEntry e;
        e.width = e.height = static_cast<std::uint8_t>(s);
        e.bitCount = 32;
        e.image = testfiles::bitmapEntry(
            s, s, 32, {}, [](int, int) { return 0xFF336699u; }, [](int, int) { return false; });
        entries.push_back(std::move(e));
    }
    const Bytes ico = testfiles::icoFile(entries);
    write("icon.ico", ico);

    ASSERT_EQ(run("load " + quoted("f.json") + " Image1 " + quoted("icon.ico") +
                  " --icon 16x16 --depth 32 --keep-original")
                  .status,
              0);
    Outcome shown = run("show " + quoted("f.json") + " Image1");
    EXPECT_EQ(line(shown.out, "Image1.KeepOriginalFormat"), "True");
    EXPECT_EQ(line(shown.out, "Image1.ImageType"), "8") << "the icon's own type";
    ASSERT_EQ(run("bytes " + quoted("f.json") + " Image1 " + quoted("file.bin") + " --file-format")
                  .status,
              0);
    const std::string file = read(path("file.bin"));
    EXPECT_EQ(file, std::string(ico.begin(), ico.end())) << "the file's own bytes";

    // Without a size the control's own (32 x 32) entry is chosen.
    ASSERT_EQ(run("load " + quoted("f.json") + " Image1 " + quoted("icon.ico")).status, 0);
    ASSERT_EQ(run("bytes " + quoted("f.json") + " Image1 " + quoted("px.bin")).status, 0);
    EXPECT_EQ(read(path("px.bin")).size(), 32u * 32u * 4u);

    const Outcome missing = run("load " + quoted("f.json") + " Image1 " + quoted("none.png"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("False"), std::string::npos);
}

TEST_F(VelmoraForm, BytesOfAControlWithoutAnImageAnswerFalse) {
    makeForm();
    const Outcome r = run("bytes " + quoted("f.json") + " Image1 " + quoted("out.bin"));
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(path("out.bin")));
}

TEST_F(VelmoraForm, FadePrintsEveryStepOnVirtualTime) {
    makeForm();
    write("pic.bmp", bitmap());
    ASSERT_EQ(run("load " + quoted("f.json") + " Image1 " + quoted("pic.bmp")).status, 0);
    Outcome r = run("fade " + quoted("f.json") + " Image1 0 30 20");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0 Image1.Opacity = 70\n20 Image1.Opacity = 40\n40 Image1.Opacity = 10\n"
                     "60 Image1.Opacity = 0\n60 Image1.FadeTerminated 0\n");
    r = run("fade " + quoted("f.json") + " Image1 100 30 5");
    EXPECT_EQ(r.out, "") << "already at 100: nothing happens";
    ASSERT_EQ(run("set " + quoted("f.json") + " Image1 Opacity=0").status, 0);
    r = run("fade " + quoted("f.json") + " Image1 100 30 5");
    EXPECT_EQ(r.out, "0 Image1.Opacity = 30\n10 Image1.Opacity = 60\n20 Image1.Opacity = 90\n"
                     "30 Image1.Opacity = 100\n30 Image1.FadeTerminated 100\n");
    EXPECT_EQ(run("fade " + quoted("f.json") + " Image1 0 x 5").status, 2);
}

TEST_F(VelmoraForm, DamagedStoresAreRefusedWithTheirReason) {
    const std::vector<std::pair<std::string, std::string>> stores = {
        {"truncated.json", "{\"form\": {\"width\": 10, \"height\""},
        {"types.json", "{\"form\": {\"width\": \"ten\", \"height\": 10}, \"controls\": []}"},
        {"base64.json",
         "{\"form\": {\"width\": 10, \"height\": 10}, \"controls\": [{\"type\": "
         "\"aicAlphaImage\", \"name\": \"A\", \"left\": 0, \"top\": 0, \"width\": 5, "
         "\"height\": 5, \"properties\": {\"Image\": \"@@@not base64@@@\"}}]}"},
        {"huge.json", "{\"form\": {\"width\": 99999999999, \"height\": 10}, \"controls\": []}"},
    };
    for (const auto& [name, text] : stores) {
        write(name, text);
        for (const std::string& command :
             {"show " + quoted(name), "set " + quoted(name) + " A Opacity=5",
              "add " + quoted(name) + " B --at 0,0 --size 5x5"}) {
            const Outcome r = run(command);
            EXPECT_EQ(r.status, 2) << command;
            EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
        }
        EXPECT_EQ(read(path(name)), text) << "a damaged store is never rewritten";
    }
}

TEST_F(VelmoraForm, OtherControlsAndContainersAreKeptAsTheyAre) {
    write("boxed.json",
          std::string("{\"form\": {\"width\": 100, \"height\": 80}, \"controls\": [") +
              "{\"type\": \"PictureBox\", \"name\": \"Picture1\", \"left\": 10, \"top\": 10, "
              "\"width\": 60, \"height\": 40, \"properties\": {\"BorderStyle\": 0}}," +
              "{\"type\": \"aicAlphaImage\", \"name\": \"Inner\", \"container\": "
              "\"picture1\", \"left\": 2, \"top\": 2, \"width\": 16, \"height\": 16, "
              "\"properties\": {\"props\": 1, \"opacity\": 40}}," +
              "{\"type\": \"aicAlphaImage\", \"name\": \"Outer\", \"left\": 70, \"top\": "
              "2, \"width\": 16, \"height\": 16, \"properties\": {}}]}");
    const Outcome shown = run("show " + quoted("boxed.json"));
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(line(shown.out, "Inner.StretchQuality"), "True");
    EXPECT_EQ(line(shown.out, "Outer.AutoRedraw"), "False");
    EXPECT_EQ(shown.out.find("Picture1."), std::string::npos) << "only image controls are shown";

    ASSERT_EQ(run("set " + quoted("boxed.json") + " outer HitTest=2").status, 0);
    const std::string store = read(path("boxed.json"));
    EXPECT_NE(store.find("\"BorderStyle\": 0"), std::string::npos) << store;
    EXPECT_NE(store.find("\"container\": \"picture1\""), std::string::npos) << store;
    EXPECT_NE(store.find("\"HitTest\": 2"), std::string::npos) << store;
}

// File modes, links and a file size limit are POSIX's.
#ifndef _WIN32
// Saving keeps what the store held for later versions where it stood, the
// file's mode, and a link to it; a picture written out replaces its file
// whole or not at all.
TEST_F(VelmoraForm, SavingKeepsUnknownKeysTheFilesModeAndLinks) {
    write("keys.json", std::string(R"({"version": 3, "form": {"width": 40, "title": "Main", )") +
                           R"("height": 30}, "controls": [{"type": "aicAlphaImage", "uuid": )" +
                           R"("c1", "name": "A", "left": 1, "top": 1, "width": 8, "height": 8, )" +
                           R"("anchors": ["left", {"top": -1}], "properties": {}}], )" +
                           R"("theme": {"dark": true}})");
    ::chmod(path("keys.json").c_str(), 0600);
    fs::create_directories(dir_ / "links");
    fs::create_symlink("../keys.json", dir_ / "links" / "form.json");
    const Outcome set = run("set " + quoted("links/form.json") + " A HitTest=2");
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_TRUE(fs::is_symlink(dir_ / "links" / "form.json")) << "the link stays a link";
    EXPECT_EQ(fs::status(path("keys.json")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    const std::string store = read(path("keys.json"));
    const auto at = [&](const std::string& text) { return store.find(text); };
    for (const char* kept : {"\"version\": 3", "\"title\": \"Main\"", "\"uuid\": \"c1\"",
                             "\"top\": -1", "\"dark\": true", "\"HitTest\": 2"})
        EXPECT_NE(at(kept), std::string::npos) << kept << " in " << store;
    EXPECT_LT(at("\"version\""), at("\"form\""));
    EXPECT_LT(at("\"width\": 40"), at("\"title\""));
    EXPECT_LT(at("\"title\""), at("\"height\": 30"));
    EXPECT_LT(at("\"type\""), at("\"uuid\""));
    EXPECT_LT(at("\"uuid\""), at("\"name\""));
    EXPECT_LT(at("\"anchors\""), at("\"properties\""));
    EXPECT_LT(at("\"controls\""), at("\"theme\""));

    // A render cut short part way through its bytes leaves the old picture.
    write("shown.png", std::string("old"));
    {
        const tooltest::FileSizeLimit limit(16);
        EXPECT_EQ(run("render " + quoted("keys.json") + " " + quoted("shown.png")).status, 1);
    }
    EXPECT_EQ(read(path("shown.png")), "old");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"keys.json", "links", "shown.png", "stderr.txt"}))
        << "no temporary left behind";
}
#endif

// A change that would give the store a value its reader refuses is refused
// before the file is touched.
TEST_F(VelmoraForm, AChangeTheStoreCannotHoldIsRefused) {
    ASSERT_EQ(run("new " + quoted("big.json") + " --size 100x100").status, 0);
    ASSERT_EQ(run("add " + quoted("big.json") + " A --at 0,0 --size 1048576x1048576").status, 0);
    ASSERT_EQ(run("set " + quoted("big.json") + " A AutoSize=False").status, 0);
    write("pic.bmp", bitmap());
    ASSERT_EQ(run("load " + quoted("big.json") + " A " + quoted("pic.bmp")).status, 0);
    const std::string before = read(path("big.json"));
    // Sized to the turned picture, the control is wider than any store holds.
    const Outcome grown =
        run("set " + quoted("big.json") + " A RotateEnabled=True Rotation=45 AutoSize=True");
    EXPECT_EQ(grown.status, 2);
    EXPECT_NE(grown.err.find("\"width\" is out of range"), std::string::npos) << grown.err;
    EXPECT_EQ(read(path("big.json")), before);
    EXPECT_EQ(run("show " + quoted("big.json")).status, 0) << "the store still reads";
}

TEST_F(VelmoraForm, CommandLineMistakes) {
    EXPECT_EQ(run("--help").status, 0);
    EXPECT_NE(run("--help").out.find("exit status"), std::string::npos);
    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("frobnicate x").status, 2);
    EXPECT_EQ(run("new " + quoted("f.json")).status, 2) << "no size";
    EXPECT_EQ(run("new " + quoted("f.json") + " --size 0x5").status, 2);
    EXPECT_EQ(run("new " + quoted("f.json") + " --size 10x10 --rgb").status, 2)
        << "an option of another command";
    makeForm();
    EXPECT_EQ(run("add " + quoted("f.json") + " IMAGE1 --at 1,1 --size 5x5").status, 2)
        << "names are unique without regard to case";
    EXPECT_EQ(run("show " + quoted("f.json") + " Image2").status, 2);
    EXPECT_EQ(run("load " + quoted("f.json") + " Image1").status, 2);
}

// A form of 60 x 40: A and D side by side on the form, B in a picture box
// that cuts it off after two columns, C without an image.
void writeViewForm(VelmoraForm& test, const std::string& name, const std::string& image) {
    const std::string picture = "\"properties\": {\"Image\": \"" + image + "\"}";
    test.writeText(
        name, "{\"form\": {\"width\": 60, \"height\": 40}, \"controls\": [\n"
              "{\"type\": \"PictureBox\", \"name\": \"Picture1\", \"left\": 20, \"top\": 10, "
              "\"width\": 10, \"height\": 10},\n"
              "{\"type\": \"aicAlphaImage\", \"name\": \"A\", \"left\": 2, \"top\": 2, "
              "\"width\": 4, \"height\": 2, " +
                  picture +
                  "},\n"
                  "{\"type\": \"aicAlphaImage\", \"name\": \"D\", \"left\": 6, \"top\": 2, "
                  "\"width\": 4, \"height\": 2, " +
                  picture +
                  "},\n"
                  "{\"type\": \"aicAlphaImage\", \"name\": \"B\", \"container\": \"Picture1\", "
                  "\"left\": 8, \"top\": 1, \"width\": 4, \"height\": 2, " +
                  picture +
                  "},\n"
                  "{\"type\": \"aicAlphaImage\", \"name\": \"C\", \"left\": 40, \"top\": 20, "
                  "\"width\": 24, \"height\": 12}]}\n");
}

// The pixel at (x, y) of a picture file as 0xAARRGGBB (premultiplied).
std::uint32_t pixelAt(const c32bppDIB& picture, int x, int y) {
    const std::uint8_t* p = picture.row(y) + x * 4;
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

TEST_F(VelmoraForm, RenderPaintsEveryControlInItsPlaceCutToItsPictureBox) {
    writeViewForm(*this, "v.json", platform::EncodeBase64(bitmap()));
    const Outcome run1 =
        run("render " + quoted("v.json") + " " + quoted("run.png") + " --background 0000ff");
    ASSERT_EQ(run1.status, 0) << run1.err;
    c32bppDIB shown;
    ASSERT_TRUE(shown.LoadPicture_File(path("run.png")));
    ASSERT_EQ(shown.Width(), 60);
    ASSERT_EQ(shown.Height(), 40);
    EXPECT_EQ(pixelAt(shown, 0, 0), 0xFF0000FFu) << "the background";
    EXPECT_EQ(pixelAt(shown, 2, 2), 0xFFFF0000u) << "A's red corner";
    EXPECT_EQ(pixelAt(shown, 3, 2), 0xFF3264C8u);
    EXPECT_EQ(pixelAt(shown, 6, 2), 0xFFFF0000u) << "D beside it";
    EXPECT_EQ(pixelAt(shown, 28, 11), 0xFFFF0000u) << "B in the picture box's pixels";
    EXPECT_EQ(pixelAt(shown, 29, 11), 0xFF3264C8u);
    EXPECT_EQ(pixelAt(shown, 30, 11), 0xFF0000FFu) << "cut off by the picture box";
    EXPECT_EQ(pixelAt(shown, 40, 20), 0xFF0000FFu) << "an empty control shows nothing";

    const Outcome design =
        run("render " + quoted("v.json") + " " + quoted("design.png") + " --design");
    ASSERT_EQ(design.status, 0) << design.err;
    c32bppDIB edited;
    ASSERT_TRUE(edited.LoadPicture_File(path("design.png")));
    EXPECT_EQ(pixelAt(edited, 0, 0), 0u) << "transparent without --background";
    EXPECT_EQ(pixelAt(edited, 40, 20), 0xFFFFFFFFu) << "the checkerboard placeholder";
    EXPECT_EQ(pixelAt(edited, 52, 20), 0xFFC0C0C0u);
    EXPECT_EQ(pixelAt(edited, 2, 2), 0xFFFF0000u);
}

TEST_F(VelmoraForm, HitNamesTheControlThatTakesThePoint) {
    writeViewForm(*this, "v.json", platform::EncodeBase64(bitmap()));
    const Outcome a = run("hit " + quoted("v.json") + " 3,3");
    EXPECT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.out, "A 3\n");
    EXPECT_EQ(run("hit " + quoted("v.json") + " 29,12").out, "B 3\n");
    const Outcome cut = run("hit " + quoted("v.json") + " 30,11");
    EXPECT_EQ(cut.out, "none\n") << "outside the picture box";
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(run("hit " + quoted("v.json") + " 50,25").out, "C 3\n")
        << "HitTest 0: the whole control, image or not";
    EXPECT_EQ(run("hit " + quoted("v.json") + " 3").status, 2);
}

TEST_F(VelmoraForm, EventsReplayPointerInputOnVirtualTime) {
    writeViewForm(*this, "v.json", platform::EncodeBase64(bitmap()));
    const Outcome events = run("events " + quoted("v.json") +
                               " --move 2,2@0 --move 6,3@30 --move 28,11@120 --wait 100 "
                               "--click 3,2 --release 7,2");
    ASSERT_EQ(events.status, 0) << events.err;
    EXPECT_EQ(events.out, "0 A.MouseEnter\n"
                          "0 A.MouseMove 0 0 0 0\n"
                          "30 A.MouseExit\n"
                          "30 D.MouseEnter\n"
                          "30 D.MouseMove 0 0 0 1\n"
                          "120 B.MouseEnter\n"
                          "120 B.MouseMove 0 0 0 0\n"
                          "130 D.MouseExit\n"
                          "220 A.MouseEnter\n"
                          "220 A.MouseMove 0 0 1 0\n"
                          "220 A.MouseDown 1 0 1 0\n"
                          "220 A.MouseUp 1 0 1 0\n"
                          "220 A.Click 1\n"
                          "220 A.MouseExit\n"
                          "220 D.MouseEnter\n"
                          "220 D.MouseMove 0 0 1 0\n")
        << "a press or release elsewhere comes after a move there; a release goes only to "
           "the control the button went down on";

    // A drag from A to D, as the window delivers it: the move hit-tests with
    // the button down, so D takes the pointer over at once; A keeps the
    // moves and hears the button come up, and no Click follows.
    const Outcome drag =
        run("events " + quoted("v.json") + " --press 3,2 --move 7,2@10 --wait 200 --release 8,2");
    ASSERT_EQ(drag.status, 0) << drag.err;
    EXPECT_EQ(drag.out, "0 A.MouseEnter\n"
                        "0 A.MouseMove 0 0 1 0\n"
                        "0 A.MouseDown 1 0 1 0\n"
                        "10 A.MouseExit\n"
                        "10 D.MouseEnter\n"
                        "10 A.MouseMove 1 0 5 0\n"
                        "210 A.MouseMove 1 0 6 0\n"
                        "210 A.MouseUp 1 0 6 0\n");

    EXPECT_EQ(run("events " + quoted("v.json")).status, 2) << "no input";
    EXPECT_EQ(run("events " + quoted("v.json") + " --move 1,1@50 --move 1,1@10").status, 2)
        << "time runs forwards";
    EXPECT_EQ(run("events " + quoted("v.json") + " --move 1,1@x").status, 2);
    EXPECT_EQ(
        run("render " + quoted("v.json") + " " + quoted("o.png") + " --background red").status, 2);
    EXPECT_EQ(run("hit " + quoted("v.json") + " 1,1 --design").status, 2);
}

} // namespace

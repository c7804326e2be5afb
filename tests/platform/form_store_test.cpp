// Form stores: what a form's file keeps, how damaged files are refused, and
// that saving never damages the file already there.

#include "platform/host/form_store.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <sstream>

using namespace platform;
namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class TempDir {
public:
    // A folder no one else has: making one that exists fails.
    TempDir() {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const fs::path candidate =
                fs::temp_directory_path() / ("velmora-form-" + std::to_string(random()));
            if (fs::create_directory(candidate)) path_ = candidate;
        }
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

FormRecord sampleForm() {
    FormRecord form;
    form.width = 640;
    form.height = 480;
    FormControlRecord image;
    image.type = "aicAlphaImage";
    image.name = "Image1";
    image.container = "Picture1";
    image.left = -4;
    image.top = 8;
    image.width = 32;
    image.height = 16;
    image.properties.set("Image", std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', 0, 0xFF});
    image.properties.set("Scaler", std::int32_t{4});
    image.properties.set("Enabled", false);
    image.properties.set("Intensity", 0.1f);
    image.properties.set("Angle", std::int32_t{-2147483647 - 1});
    image.properties.set("Props", std::int32_t{2147483647});
    image.properties.set("Shadow", 20.0f);
    image.properties.set("MIcon", std::vector<std::uint8_t>{});
    form.controls.push_back(std::move(image));
    FormControlRecord second;
    second.type = "aicAlphaImage";
    second.name = "Image2";
    form.controls.push_back(std::move(second));
    return form;
}

// The reason a text is refused ("" when it is read).
std::string refusal(std::string_view text, const FormStoreLimits& limits = {}) {
    const FormStoreResult result = ParseFormStore(text, "f.json", limits);
    return result ? std::string() : result.error;
}

std::string storeWithProperty(const std::string& json) {
    return R"({"form":{"width":1,"height":1},"controls":[{"type":"aicAlphaImage","name":"A",)"
           R"("properties":{"P":)" +
           json + "}}]}";
}

} // namespace

TEST(FormStore, EveryKindOfValueSurvivesARoundTripInItsOrder) {
    const FormRecord form = sampleForm();
    const std::string text = SerializeFormStore(form);
    const FormStoreResult read = ParseFormStore(text, "f.json");
    ASSERT_TRUE(read) << read.error;
    EXPECT_EQ(SerializeFormStore(*read.form), text);

    EXPECT_EQ(read.form->width, 640);
    ASSERT_EQ(read.form->controls.size(), 2u);
    const FormControlRecord& c = read.form->controls[0];
    EXPECT_EQ(c.type, "aicAlphaImage");
    EXPECT_EQ(c.container, "Picture1");
    EXPECT_EQ(read.form->controls[1].container, "") << "on the form itself";
    EXPECT_EQ(c.left, -4);
    EXPECT_EQ(c.height, 16);
    EXPECT_EQ(c.properties.names(),
              (std::vector<std::string>{"Image", "Scaler", "Enabled", "Intensity", "Angle", "Props",
                                        "Shadow", "MIcon"}));
    EXPECT_EQ(c.properties.ReadProperty<std::vector<std::uint8_t>>("image", {}),
              (std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', 0, 0xFF}));
    EXPECT_FALSE(c.properties.ReadProperty<bool>("ENABLED", true));
    EXPECT_EQ(c.properties.ReadProperty<float>("Intensity", 5.0f), 0.1f);
    EXPECT_EQ(c.properties.ReadProperty<float>("Shadow", 5.0f), 20.0f);
    EXPECT_EQ(c.properties.ReadProperty<std::int32_t>("angle", 5), -2147483647 - 1);
    EXPECT_EQ(c.properties.ReadProperty<std::int32_t>("props", 5), 2147483647);
    EXPECT_TRUE(c.properties.contains("micon"));
    EXPECT_EQ(c.properties.ReadProperty<std::vector<std::uint8_t>>("MIcon", {1}),
              std::vector<std::uint8_t>{});
    // Stored as people would write it: 0.1 and not its double neighbour.
    EXPECT_NE(text.find("\"Intensity\": 0.1,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Shadow\": 20.0,"), std::string::npos) << text;
    EXPECT_EQ(read.form->find("image2"), &read.form->controls[1]);
    EXPECT_EQ(read.form->find("Image3"), nullptr);
}

TEST(FormStore, KeysOfEveryLetterCaseAndUnknownKeysAreAccepted) {
    const FormStoreResult read = ParseFormStore(
        R"({"FORM":{"Width":3,"HEIGHT":4,"title":"x"},"Version":2,"Controls":[
             {"TYPE":"aicAlphaImage","Name":"img","LEFT":1,"Top":2,"WIDTH":5,"height":6,
              "future":{"a":[1,2,{"b":null}]},
              "Properties":{"image":"","props":5,"intensity":7}}]})",
        "f.json");
    ASSERT_TRUE(read) << read.error;
    EXPECT_EQ(read.form->width, 3);
    EXPECT_EQ(read.form->height, 4);
    const FormControlRecord& c = read.form->controls.at(0);
    EXPECT_EQ(c.name, "img");
    EXPECT_EQ(c.left, 1);
    EXPECT_EQ(c.height, 6);
    EXPECT_EQ(c.properties.ReadProperty<std::int32_t>("Props", 1), 5);
    // A whole number where a single is read, as a hand-written store has it.
    EXPECT_EQ(c.properties.ReadProperty<float>("Intensity", 0.0f), 7.0f);
    EXPECT_TRUE(c.properties.contains("Image"));
}

TEST(FormStore, DamagedStoresAreRefusedWithFileLineAndReason) {
    struct Case {
        std::string text;
        std::string expected; // a part of the message
    };
    const std::vector<Case> cases = {
        {"", "f.json:1: "},
        {"[]", "a store is a JSON object"},
        {"{}", "no \"form\" object"},
        {R"({"form":[]})", "\"form\" must be an object"},
        {R"({"form":{"width":"640"}})", "\"width\" must be a whole number"},
        {R"({"form":{"width":1.5}})", "\"width\" must be a whole number"},
        {R"({"form":{"width":-1}})", "\"width\" is out of range"},
        {R"({"form":{"height":99999999999}})", "\"height\" is out of range"},
        {R"({"form":{},"controls":{}})", "\"controls\" must be an array"},
        {R"({"form":{},"controls":[1]})", "each control must be an object"},
        {R"({"form":{},"controls":[{"name":"a"}]})", "has no \"type\""},
        {R"({"form":{},"controls":[{"type":"t"}]})", "has no \"name\""},
        {R"({"form":{},"controls":[{"type":"t","name":"a"},{"type":"t","name":"A"}]})",
         "control \"A\": the name is used by another control"},
        {R"({"form":{},"controls":[{"type":"t","name":"a","properties":[]}]})",
         "\"properties\" must be an object"},
        {R"({"form":{},"controls":[{"type":5,"name":"a"}]})", "\"type\" must be a string"},
        {R"({"form":{},"controls":[{"type":"t","name":"a","container":[]}]})",
         "\"container\" has the wrong kind of value"},
        {R"({"form":{},"Form":{}})", "the key \"Form\" appears twice"},
        {storeWithProperty("null"), "must be a number, a Boolean or a base64 string"},
        {storeWithProperty("[1]"), "must be a number, a Boolean or a base64 string"},
        {storeWithProperty("{}"), "must be a number, a Boolean or a base64 string"},
        {storeWithProperty("\"abc\""), "is not valid base64"},
        {storeWithProperty("\"Zm9v!A==\""), "is not valid base64"},
        {storeWithProperty("\"Zg=A\""), "is not valid base64"},
        {storeWithProperty("\"Zh==\""), "is not valid base64"},
        {storeWithProperty("2147483648"), "does not fit in 32 bits"},
        {storeWithProperty("-2147483649"), "does not fit in 32 bits"},
        {storeWithProperty("18446744073709551615"), "does not fit in 32 bits"},
        {storeWithProperty("1e39"), "out of range"},
        {storeWithProperty("1, \"p\": 2"), "appears twice"},
    };
    for (const Case& c : cases) {
        const std::string why = refusal(c.text);
        EXPECT_EQ(why.rfind("f.json:", 0), 0u) << c.text << " -> " << why;
        EXPECT_NE(why.find(c.expected), std::string::npos) << c.text << " -> " << why;
    }
}

TEST(FormStore, EveryCutOfAGoodStoreIsRefusedAndNamesItsLine) {
    const std::string text = SerializeFormStore(sampleForm());
    for (std::size_t n = 0; n < text.size(); ++n) {
        // A store cut after its closing brace is whole; anything shorter is not.
        if (text.find_last_of('}') < n) break;
        const std::string why = refusal(text.substr(0, n));
        ASSERT_FALSE(why.empty()) << "cut at " << n;
        const auto lines = 1 + std::count(text.begin(), text.begin() + static_cast<long>(n), '\n');
        EXPECT_EQ(why.rfind("f.json:", 0), 0u) << why;
        const int line = std::atoi(why.c_str() + 7);
        EXPECT_GE(line, 1);
        EXPECT_LE(line, lines) << why;
    }

    // A wrong value reports the line it stands on.
    const std::string seventh =
        "{\n\"form\": {\n\"width\": 1,\n\"height\": 2\n},\n\"controls\": [\n"
        "{\"type\": \"t\", \"name\": \"a\", \"left\": true}\n]\n}\n";
    EXPECT_EQ(refusal(seventh).rfind("f.json:7: control \"a\": \"left\" must be a whole", 0), 0u)
        << refusal(seventh);
}

TEST(FormStore, HostileSizesAreRefusedBeforeAnythingIsMade) {
    FormStoreLimits limits;
    limits.maxControls = 2;
    limits.maxFileBytes = 4096;
    std::string three = R"({"form":{},"controls":[)";
    for (int i = 0; i < 3; ++i)
        three += std::string(i ? "," : "") + R"({"type":"t","name":"n)" + std::to_string(i) + "\"}";
    three += "]}";
    EXPECT_NE(refusal(three, limits).find("more than 2 controls"), std::string::npos);
    EXPECT_NE(refusal(std::string(5000, ' '), limits).find("larger than 4096 bytes"),
              std::string::npos);

    // Deep nesting inside a value the store does not use is kept for a
    // rewrite only as deep as the store's own nesting; deeper is refused,
    // never a crash.
    const auto nested = [](int depth) {
        return R"({"form":{},"x":)" + std::string(static_cast<std::size_t>(depth), '[') +
               std::string(static_cast<std::size_t>(depth), ']') + "}";
    };
    EXPECT_TRUE(ParseFormStore(nested(7), "f.json"));
    EXPECT_NE(refusal(nested(8)).find("nested too deeply"), std::string::npos);
    EXPECT_NE(refusal(nested(200000)).find("nested too deeply"), std::string::npos);
    EXPECT_FALSE(ParseFormStore(R"({"form":{},"x":)" + std::string(200000, '['), "f.json"));
}

TEST(FormStore, KeysForLaterVersionsSurviveARewriteWhereTheyStood) {
    const std::string text = R"({
  "version": 3,
  "form": {
    "title": "Main",
    "width": 30,
    "height": 20,
    "grid": {
      "x": 8,
      "y": [
        1.5,
        null,
        18446744073709551615,
        "é"
      ]
    }
  },
  "theme": {
    "dark": true
  },
  "controls": [
    {
      "uuid": "c1",
      "type": "aicAlphaImage",
      "name": "A",
      "left": 1,
      "top": 2,
      "width": 3,
      "height": 4,
      "anchors": [
        "left",
        {
          "top": -1
        }
      ],
      "properties": {
        "Later": 7
      },
      "tail": false
    }
  ],
  "end": {}
}
)";
    const FormStoreResult read = ParseFormStore(text, "f.json");
    ASSERT_TRUE(read) << read.error;
    EXPECT_EQ(SerializeFormStore(*read.form), text);

    // Known keys change; the kept ones stay where they stood.
    FormRecord changed = *read.form;
    changed.width = 31;
    changed.controls[0].container = "Box";
    changed.controls[0].properties.set("Opacity", std::int32_t{5});
    const std::string rewritten = SerializeFormStore(changed);
    const auto at = [&](const std::string& key) { return rewritten.find("\"" + key + "\""); };
    EXPECT_LT(at("version"), at("form"));
    EXPECT_LT(at("title"), at("width"));
    EXPECT_LT(at("height"), at("grid"));
    EXPECT_LT(at("grid"), at("theme"));
    EXPECT_LT(at("theme"), at("controls"));
    EXPECT_LT(at("uuid"), at("type"));
    EXPECT_LT(at("container"), at("left"));
    EXPECT_LT(at("anchors"), at("properties"));
    EXPECT_LT(at("Opacity"), at("tail"));
    EXPECT_LT(at("tail"), at("end"));
    const FormStoreResult again = ParseFormStore(rewritten, "f.json");
    ASSERT_TRUE(again) << again.error;
    EXPECT_EQ(again.form->width, 31);
    EXPECT_EQ(SerializeFormStore(*again.form), rewritten);

    // Known keys given something else than they hold are refused, not kept.
    EXPECT_NE(refusal(R"({"form":{},"controls":5})").find("must be an array"), std::string::npos);
    EXPECT_NE(refusal(R"({"form":1})").find("must be an object"), std::string::npos);
}

// Whatever the limits are, saving refuses what reading would refuse, and
// leaves the file as it was.
TEST(FormStore, TheWriterNeverWritesWhatTheReaderRefuses) {
    TempDir dir;
    const fs::path file = dir.path() / "form.json";
    std::string error;
    ASSERT_TRUE(WriteFormStore(file, sampleForm(), error)) << error;
    const std::string before = readText(file);
    FormStoreLimits limits;
    limits.maxControls = 1;
    limits.maxExtent = 1000;
    limits.maxFileBytes = 4096;

    struct Case {
        const char* what;
        void (*change)(FormRecord&);
        const char* reason;
    };
    const Case cases[] = {
        {"form width", [](FormRecord& f) { f.width = 1001; }, "\"width\" is out of range (1001)"},
        {"control height",
         [](FormRecord& f) { f.controls = {f.controls[0]}, f.controls[0].height = 1001; },
         "control \"Image1\": \"height\" is out of range (1001)"},
        {"control left",
         [](FormRecord& f) { f.controls = {f.controls[0]}, f.controls[0].left = -1001; },
         "\"left\" is out of range (-1001)"},
        {"control count", [](FormRecord&) {}, "more than 1 controls"},
        {"no name", [](FormRecord& f) { f.controls = {f.controls[1]}, f.controls[0].name.clear(); },
         "the control has no \"name\""},
        {"a single past its range",
         [](FormRecord& f) {
             f.controls = {f.controls[0]};
             f.controls[0].properties.set("Intensity", std::numeric_limits<float>::infinity());
         },
         "the property \"Intensity\" is out of range"},
        {"file size",
         [](FormRecord& f) {
             f.controls = {f.controls[0]};
             f.controls[0].properties.set("Image", std::vector<std::uint8_t>(4000, 1));
         },
         "larger than 4096 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FormRecord form = sampleForm();
        form.width = 100;
        form.height = 100;
        c.change(form);
        EXPECT_FALSE(WriteFormStore(file, form, error, limits));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(readText(file), before);
    }
    FormRecord wide = sampleForm();
    wide.width = 1001;
    EXPECT_EQ(CheckFormRecord(wide, limits), "\"width\" is out of range (1001)");
    FormRecord twoNames = sampleForm();
    twoNames.controls[1].name = "IMAGE1";
    EXPECT_NE(CheckFormRecord(twoNames).find("used by another control"), std::string::npos);
    EXPECT_EQ(CheckFormRecord(sampleForm()), "");
}

TEST(FormStore, SavingIsAtomicAndAFailedSaveKeepsThePreviousFile) {
    TempDir dir;
    const fs::path file = dir.path() / "form.json";
    std::string error;
    ASSERT_TRUE(WriteFormStore(file, sampleForm(), error)) << error;
    const std::string first = readText(file);
    const FormStoreResult read = ReadFormStore(file);
    ASSERT_TRUE(read) << read.error;
    EXPECT_EQ(SerializeFormStore(*read.form), first);

    FormRecord changed = *read.form;
    changed.width = 100;
    ASSERT_TRUE(WriteFormStore(file, changed, error)) << error;
    EXPECT_EQ(ReadFormStore(file).form->width, 100);

    // A save that cannot take the file's place (here a folder stands
    // there) fails, says why and leaves nothing behind.
    const fs::path folder = dir.path() / "taken";
    fs::create_directories(folder / "inside");
    EXPECT_FALSE(WriteFormStore(folder, changed, error));
    EXPECT_NE(error.find("cannot write the store"), std::string::npos);
    EXPECT_FALSE(WriteFormStore(dir.path() / "missing" / "form.json", changed, error));
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"form.json", "taken"}));
    EXPECT_EQ(ReadFormStore(file).form->width, 100);

    const FormStoreResult missing = ReadFormStore(dir.path() / "none.json");
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.error.find("none.json: cannot open the store"), std::string::npos);
}

TEST(FormStore, Base64MatchesTheStandardAlphabet) {
    const std::vector<std::pair<std::string, std::string>> vectors = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, coded] : vectors) {
        const std::vector<std::uint8_t> bytes(plain.begin(), plain.end());
        EXPECT_EQ(EncodeBase64(bytes), coded);
        EXPECT_EQ(DecodeBase64(coded), bytes) << coded;
    }
    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(DecodeBase64(EncodeBase64(all)), all);
    for (const char* bad : {"Zg", "Zg=", "Z===", "=Zg=", "Zg==Zg==", "Zm9v\n", "Zm-v", "Zh=="})
        EXPECT_FALSE(DecodeBase64(bad)) << bad;
}

TEST(PropertyStore, KeepsWritingOrderAndTheFirstSpellingOfAKey) {
    PropertyStore store;
    store.WriteProperty<std::int32_t>("Opacity", 50, 100);
    store.WriteProperty<std::int32_t>("Mirror", 0, 0); // a default: not written
    store.set("image", std::vector<std::uint8_t>{1});
    store.WriteProperty<std::int32_t>("OPACITY", 60, 100);
    EXPECT_EQ(store.names(), (std::vector<std::string>{"Opacity", "image"}));
    EXPECT_EQ(store.ReadProperty<std::int32_t>("opacity", 100), 60);
    store.WriteProperty<std::int32_t>("opacity", 100, 100); // back to the default
    EXPECT_EQ(store.names(), (std::vector<std::string>{"image"}));
    EXPECT_EQ(store.ReadProperty<std::string>("Image", ""), std::string("\x01"));
}

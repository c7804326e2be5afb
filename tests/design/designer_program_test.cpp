// The velmora-designer program: its arguments, a damaged store refused with
// the reason, and the screenshot of its window.

#include "design/designer/command_line.h"
#include "design/designer/designer_window.h"
#include "platform/system/environment.h"

#include <QImage>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace velmora::designer;

namespace {

// Text pieces joined by appending.
std::string join(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view p : parts)
        out += p;
    return out;
}

struct Outcome {
    int status = -1;
    std::string err;
};

Outcome runProgram(const std::string& args) {
    const fs::path errFile =
        fs::temp_directory_path() / join({"velmora-designer-err-", std::to_string(::getpid())});
    std::string command = "QT_QPA_PLATFORM=offscreen '";
    command += VELMORA_DESIGNER;
    command += "' ";
    command += args;
    command += " >/dev/null 2>'";
    command += errFile.string();
    command += "'";
    const int status = std::system(command.c_str());
    Outcome run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(errFile);
    std::ostringstream text;
    text << in.rdbuf();
    run.err = text.str();
    fs::remove(errFile);
    return run;
}

TEST(DesignerCommandLine, ArgumentsAreReadOrRefused) {
    const auto parse = [](std::vector<const char*> words) { return ParseCommandLine(words); };
    const auto ok = parse({"--screenshot", "out.png", "form.json"});
    ASSERT_TRUE(std::holds_alternative<Options>(ok));
    EXPECT_EQ(std::get<Options>(ok).screenshot, "out.png");
    EXPECT_EQ(std::get<Options>(ok).store, "form.json");
    EXPECT_EQ(std::get<Options>(parse({"--", "-odd.json"})).store, "-odd.json");
    EXPECT_TRUE(std::get<Options>(parse({"--help"})).help);
    for (const std::vector<const char*>& bad : {std::vector<const char*>{"--screenshot"},
                                                {"--frobnicate"},
                                                {"a.json", "b.json"},
                                                {"--screenshot="}})
        EXPECT_TRUE(std::holds_alternative<UsageError>(parse(bad))) << bad.front();
}

TEST(DesignerProgram, HelpBadArgumentsAndDamagedStores) {
    EXPECT_EQ(runProgram("--help").status, 0);
    const Outcome bad = runProgram("--frobnicate");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("--frobnicate"), std::string::npos);

    const fs::path damaged =
        fs::temp_directory_path() /
        join({"velmora-designer-damaged-", std::to_string(::getpid()), ".json"});
    std::ofstream(damaged) << "{ \"form\": { \"width\": 640, \"height\": 480 },\n"
                              "  \"controls\": [ { \"type\": 5 } ] }\n";
    const Outcome refused = runProgram(join({"--screenshot /dev/null '", damaged.string(), "'"}));
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find(damaged.filename().string()), std::string::npos) << refused.err;
    fs::remove(damaged);
}

TEST(DesignerProgram, TheScreenshotIsTheWindowAtItsStartingSize) {
    const std::string id = std::to_string(::getpid());
    const fs::path store =
        fs::temp_directory_path() / join({"velmora-designer-shot-", id, ".json"});
    const fs::path shot = fs::temp_directory_path() / join({"velmora-designer-shot-", id, ".png"});
    platform::FormRecord form;
    form.width = 900;
    form.height = 700;
    std::string error;
    ASSERT_TRUE(platform::WriteFormStore(store, form, error)) << error;

    ASSERT_EQ(
        runProgram(join({"--screenshot '", shot.string(), "' '", store.string(), "'"})).status, 0);
    const QImage image(QString::fromStdString(shot.string()));
    ASSERT_FALSE(image.isNull());
    {
        platform::QtHost host;
        platform::ProcessEnvironment().host = &host;
        QSize expected;
        {
            DesignerWindow window(host);
            ASSERT_TRUE(window.openStore(store, error)) << error;
            expected = window.initialSize();
        }
        platform::ProcessEnvironment().host = nullptr;
        EXPECT_EQ(image.size(), expected);
        EXPECT_GT(expected.width(), 900);
    }
    EXPECT_EQ(runProgram("--screenshot /nonexistent-folder/shot.png").status, 2);
    fs::remove(store);
    fs::remove(shot);
}

} // namespace

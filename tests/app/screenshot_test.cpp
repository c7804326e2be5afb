// `velmora --screenshot`: the real program draws its window once, headless,
// into a PNG of the window's size, and says so when it cannot.

#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

int runProgram(const std::string& args) {
    const std::string command = "QT_QPA_PLATFORM=offscreen '" VELMORA_PROGRAM
                                "' --backend=simulated:'" +
                                (fs::temp_directory_path() / "velmora-shot-state.json").string() +
                                "' " + args + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Screenshot, TheWindowIsDrawnOnceIntoAPngAndTheProgramEnds) {
    const fs::path file = fs::temp_directory_path() / "velmora-screenshot-test.png";
    fs::remove(file);
    ASSERT_EQ(runProgram("--screenshot '" + file.string() + "'"), 0);
    const QImage shot(QString::fromStdString(file.string()));
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.width(), 523); // 7845 x 3480 twips at 15 twips a pixel
    EXPECT_EQ(shot.height(), 232);
    fs::remove(file);

    EXPECT_EQ(runProgram("--screenshot /nonexistent-folder/shot.png"), 2);
}

} // namespace

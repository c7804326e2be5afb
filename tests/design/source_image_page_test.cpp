// The Image Source page's logic with a fake view on the headless host, no
// widget: what it leaves on the screen across selections, retargeting and
// applying, when it reports a change of its changed state, the clipboard of
// whatever host the preview stands on, and where it puts the preview.

#include "design/source_image_page.h"
#include "platform/host/data_object.h"
#include "platform/system/environment.h"
#include "platform/testing/headless_site.h"
#include "tests/support/image_files.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using velmora::design::IconEntry;
using velmora::design::SourceImagePage;

// What the page's controls would show.
class FakeView final : public velmora::design::SourceImagePageView {
public:
    void EnableButtons(bool enabled) override { buttons = enabled; }
    void SetIconEntries(std::span<const IconEntry> shown) override {
        entries.assign(shown.begin(), shown.end());
        // As a list box does: its first entry is chosen once it has one.
        chosen = entries.empty() ? -1 : 0;
    }
    void EnableIconList(bool enabled) override { iconListEnabled = enabled; }
    int ChosenIconEntry() const override { return chosen; }
    void ChooseIconEntry(int position) override { chosen = position; }
    void SetFormatText(const std::string& text) override { format = text; }
    void ShowFormatLabel(bool shown) override { formatShown = shown; }
    void AttachPreview(aicAlphaImage& preview) override { attached = &preview; }
    void DetachPreview() override { attached = nullptr; }
    void ShowPreview(bool shown) override { previewShown = shown; }
    platform::RECT PreviewArea() const override { return area; }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    std::string AskForFile(const std::string&,
                           const std::vector<velmora::design::FileFilter>&) override {
        return nextFile;
    }
    void ChangedChanged(bool changed) override { changes.push_back(changed); }

    bool buttons = true;
    std::vector<IconEntry> entries;
    int chosen = -1;
    bool iconListEnabled = true;
    std::string format;
    bool formatShown = true;
    aicAlphaImage* attached = nullptr;
    bool previewShown = true;
    platform::RECT area{0, 0, 100, 60};
    std::vector<std::string> messages;
    std::string nextFile;
    std::vector<bool> changes;
};

// An image control on a headless form, at design time.
struct Control {
    Control(platform::HeadlessHost& host, platform::HWND form)
        : site(host, form, {0, 0, 64, 64}), control(site) {
        site.userMode = false;
        control.InitProperties();
    }
    ~Control() { control.Terminate(); }
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    Bytes source() {
        Bytes bytes;
        control.GetSourceBytes(bytes);
        return bytes;
    }
    platform::HeadlessSite site;
    aicAlphaImage control;
};

Bytes twoSizeIcon() {
    const auto entry = [](int size) {
        return testfiles::bitmapEntry(
            size, size, 32, {}, [](int, int) { return 0xFF00FF00u; },
            [](int, int) { return false; });
    };
    return testfiles::icoFile({{32, 32, 32, entry(32)}, {16, 16, 32, entry(16)}});
}

Bytes bitmap(int width, int height) {
    return testfiles::bmpFile(
        testfiles::infoHeader(width, height, 24),
        Bytes(static_cast<std::size_t>(testfiles::rowBytes(24, width) * height), 0x40));
}

class SourcePageLogic : public ::testing::Test {
protected:
    SourcePageLogic()
        : dir_(fs::temp_directory_path() /
               ("velmora-page-logic-" + std::to_string(std::random_device{}()))) {
        env_->host = &host_;
        fs::create_directories(dir_);
    }
    ~SourcePageLogic() override { fs::remove_all(dir_); }

    std::string write(const std::string& name, const Bytes& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    void browse(const std::string& file) {
        view_.nextFile = file;
        page_.cmdBrowse_Click();
    }
    void select(Control& control) {
        aicAlphaImage* selected[] = {&control.control};
        page_.SelectionChanged(selected);
    }

    platform::ScopedEnvironment env_;
    platform::HeadlessHost host_;
    platform::HWND form_ =
        host_.CreateWindowExA(0, "#32770", "Form", 0, 0, 0, 400, 300, 0, 0, 0, nullptr);
    fs::path dir_;
    FakeView view_;
    platform::HeadlessSite previewSite_{host_, form_, {0, 0, 100, 60}};
    SourceImagePage page_{view_, previewSite_};
    Control first_{host_, form_};
    Control second_{host_, form_};
};

TEST_F(SourcePageLogic, ThePreviewIsTheViewsForThePagesLifetime) {
    EXPECT_EQ(view_.attached, &page_.preview());
    EXPECT_FALSE(view_.previewShown);
    EXPECT_FALSE(view_.buttons);

    // A page that goes hides its preview and lets go of it.
    {
        FakeView other;
        platform::HeadlessSite site{host_, form_, {0, 0, 10, 10}};
        { SourceImagePage page{other, site}; }
        EXPECT_EQ(other.attached, nullptr);
        EXPECT_FALSE(other.previewShown);
    }
}

TEST_F(SourcePageLogic, AControlWithoutAnImageLeavesNothingOfTheLastOnThePage) {
    first_.control.SetSourceImage(twoSizeIcon(), 0, 0, 0);
    select(first_);
    ASSERT_EQ(view_.entries.size(), 2u);
    EXPECT_EQ(view_.chosen, 1);

    select(second_);
    EXPECT_TRUE(view_.entries.empty());
    EXPECT_TRUE(view_.format.empty());
    EXPECT_FALSE(view_.previewShown);
    EXPECT_FALSE(view_.iconListEnabled);
    EXPECT_TRUE(view_.buttons);
    EXPECT_FALSE(page_.Changed());
    // Applying now leaves both controls as they were.
    page_.ApplyChanges();
    EXPECT_TRUE(second_.source().empty());
    EXPECT_EQ(first_.source(), twoSizeIcon());
}

TEST_F(SourcePageLogic, UnappliedChangesGoToTheRebuiltControlAndTurnTheStateOnlyOnce) {
    select(first_);
    EXPECT_TRUE(view_.changes.empty()); // selecting leaves an unchanged page unchanged
    const Bytes picture = bitmap(20, 10);
    browse(write("one.bmp", picture));
    browse(write("two.bmp", bitmap(30, 10)));
    EXPECT_EQ(view_.changes, std::vector<bool>{true});

    // The designer rebuilt the control as another object.
    page_.Retarget(&second_.control);
    EXPECT_TRUE(page_.Changed());
    page_.ApplyChanges();
    EXPECT_EQ(second_.control.GetSurface().Width(), 30);
    EXPECT_TRUE(first_.source().empty());
    page_.ApplyChanges();
    EXPECT_EQ(view_.changes, (std::vector<bool>{true, false}));
}

TEST_F(SourcePageLogic, TheClipboardIsTheHostsTheLogicStandsOn) {
    select(first_);
    // A picture on this host's clipboard.
    const Bytes dib = [] {
        const Bytes file = bitmap(12, 7);
        return Bytes(file.begin() + 14, file.end());
    }();
    host_.SetClipboardData(platform::CF_DIB, dib);
    page_.cmdClipBoard_Click();
    ASSERT_TRUE(view_.previewShown);
    EXPECT_EQ(page_.preview().GetSurface().Width(), 12);
    EXPECT_TRUE(page_.Changed());
    page_.ApplyChanges();

    // A copied file that does not load: said, and the page keeps its picture.
    host_.EmptyClipboard();
    const std::string missing = (dir_ / "missing.png").string();
    host_.SetClipboardData(platform::CF_HDROP, platform::MakeDropFiles({missing}, true));
    page_.cmdClipBoard_Click();
    ASSERT_EQ(view_.messages.size(), 1u);
    EXPECT_NE(view_.messages[0].find(missing), std::string::npos);
    EXPECT_TRUE(view_.previewShown);
    EXPECT_EQ(page_.preview().GetSurface().Width(), 12);
    EXPECT_FALSE(page_.Changed());

    // Held by another program: nothing happens, and nothing is left open.
    host_.SetClipboardBusy(true);
    page_.cmdClipBoard_Click();
    EXPECT_EQ(view_.messages.size(), 1u);
    EXPECT_FALSE(page_.Changed());
    EXPECT_EQ(host_.unbalancedOpens(), 0);
    EXPECT_FALSE(host_.clipboardOpen());
}

} // namespace

// The Windows window with its image controls, under Wine on a virtual
// display: the controls restored from the compiled-in form store into the
// Win32 host's containers, the window's picture showing their artwork and
// the simulated adapters listed; and velmora.exe --screenshot itself.

#include "app/win32/frm_main_window.h"
#include "app/win32/window_images.h"
#include "app_test_support.h"
#include "dib/c32bppdib.h"
#include "platform/system/environment.h"

#include <fstream>
#include <gtest/gtest.h>
#include <process.h>

using namespace velmora::testing;
using velmora::app::EmbeddedFormStore;
using velmora::app::FrmMain;
using velmora::app::Win32FrmMainWindow;
using velmora::app::WindowImages;
using velmora::app::WindowPicture;

namespace {

// The share of a picture box's inner area that differs from the window's
// background: the bare box has none.
template <typename PixelAt>
double DrawnShare(const std::array<int, 4>& area, std::uint32_t background, PixelAt pixelAt) {
    int drawn = 0;
    for (int y = area[1]; y < area[3]; ++y)
        for (int x = area[0]; x < area[2]; ++x)
            drawn += pixelAt(x, y) != background;
    return static_cast<double>(drawn) / ((area[2] - area[0]) * (area[3] - area[1]));
}

// 0x00BBGGRR as the picture's 0xAARRGGBB.
std::uint32_t Opaque(std::uint32_t colorref) {
    return 0xff000000u | ((colorref & 0xffu) << 16) | (colorref & 0xff00u) |
           ((colorref >> 16) & 0xffu);
}

class WindowImagesWin32Test : public ::testing::Test {
protected:
    WindowImagesWin32Test() {
        env_->host = &host_;
        std::ofstream(folder_.path() / "state.json")
            << mgmt::SerializeSimulatedState(mgmt::SampleSimulatedState());
    }

    platform::Win32Host host_;
    platform::ScopedEnvironment env_;
    TempFolder folder_;
    mgmt::SimulatedBackend backend_{folder_.path() / "state.json"};
    Win32FrmMainWindow window_;
    FrmMain form_{window_, backend_};
    WindowImages images_{host_, EmbeddedFormStore(), window_, form_};
};

TEST_F(WindowImagesWin32Test, TheFourImageControlsAreRestoredInTheirPictureBoxes) {
    for (const char* name :
         {"aicAlphaImage1", "aicAlphaImage4", "aicAlphaImage5", "aicAlphaImage6"})
        ASSERT_NE(images_.control(name), nullptr) << name;
    EXPECT_EQ(images_.container("Picture1")->sites().size(), 1u);
    EXPECT_EQ(images_.container("Picture4")->sites().size(), 3u);
    EXPECT_EQ(images_.control("aicAlphaImage4")->ImageType(), 10);
    // The links show the custom pointer from their stored icon, a real cursor.
    const platform::Win32ContainerSite* link =
        images_.container("Picture4")->site("aicAlphaImage5");
    EXPECT_EQ(link->mousePointer(), 99);
    EXPECT_TRUE(link->cursor().valid());
}

TEST_F(WindowImagesWin32Test, TheWindowShowsItsArtworkAndTheSimulatedAdapters) {
    window_.Show();
    form_.Form_Load();
    window_.DoEvents();
    const mgmt::SimulatedState sample = mgmt::SampleSimulatedState();
    ASSERT_EQ(window_.AdapterCount(), static_cast<int>(sample.adapters.size()));
    for (int i = 0; i < window_.AdapterCount(); ++i) {
        window_.SelectAdapter(i);
        EXPECT_EQ(window_.AdapterListText(),
                  sample.adapters[static_cast<std::size_t>(i)].description);
        EXPECT_EQ(window_.AdapterItemData(i), sample.adapters[static_cast<std::size_t>(i)].index);
    }

    const std::optional<WindowPicture> picture = window_.Capture();
    ASSERT_TRUE(picture);
    const int scale = static_cast<int>(window_.Dpi());
    EXPECT_EQ(picture->width, 523 * scale / 96);
    EXPECT_EQ(picture->height, 232 * scale / 96);
    const std::uint32_t background = Opaque(window_.BackgroundColor());
    auto at = [&](int x, int y) {
        return picture->pixels[static_cast<std::size_t>(y) * picture->width + x];
    };
    EXPECT_EQ(at(picture->width - 2, picture->height - 2), background);
    for (const char* box : {"Picture1", "Picture4"})
        EXPECT_GT(DrawnShare(window_.InnerArea(box), background, at), 0.2) << box;
}

// The program itself, started as a user starts it.
class ScreenshotProgramTest : public ::testing::Test {
protected:
    int Run(const std::filesystem::path& shot) {
        const std::string program = "Z:" VELMORA_PROGRAM;
        const std::string backend = "--backend=simulated:" + state_.string();
        const std::string file = shot.string();
        return static_cast<int>(_spawnl(_P_WAIT, program.c_str(), program.c_str(), backend.c_str(),
                                        "--screenshot", file.c_str(), nullptr));
    }

    TempFolder folder_;
    std::filesystem::path state_ = folder_.path() / "state.json";
};

TEST_F(ScreenshotProgramTest, TheWindowIsWrittenWithItsArtworkAndTheProgramEnds) {
    std::ofstream(state_) << mgmt::SerializeSimulatedState(mgmt::SampleSimulatedState());
    const auto shot = folder_.path() / "window.png";
    ASSERT_EQ(Run(shot), 0);
    c32bppDIB image;
    ASSERT_TRUE(image.LoadPicture_File(shot.string()));
    // 7845 x 3480 twips at 15 twips a pixel (the virtual display has 96
    // dots to the inch).
    EXPECT_EQ(image.Width(), 523);
    EXPECT_EQ(image.Height(), 232);
    auto at = [&](int x, int y) {
        std::int32_t alpha = 0;
        return Opaque(static_cast<std::uint32_t>(image.GetPixel(x, y, alpha)));
    };
    const std::uint32_t background = at(520, 229);
    // The picture boxes' inner areas of the reference layout.
    EXPECT_GT(DrawnShare({4, 4, 49, 53}, background, at), 0.2) << "the logo";
    EXPECT_GT(DrawnShare({6, 176, 255, 225}, background, at), 0.2) << "the links";

    EXPECT_EQ(Run(folder_.path() / "no-such-folder" / "window.png"), 2);
}

} // namespace

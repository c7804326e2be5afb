// Loading with the desired sizes written back, the post-load steps, the
// pixel exchange in every format, clearing and the design-time members.

#include "control_fixture.h"
#include "platform/gdi/gdi.h"
#include "platform/host/services.h"
#include "platform/picture/icon.h"
#include "platform/picture/icon_file.h"
#include "surface/image_types.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace controltest;

namespace {

using ControlLoading = ControlTest;

class DesignLoading : public ControlTest {
protected:
    DesignLoading() : ControlTest(false) {}
};

std::filesystem::path writeTemp(const std::string& name, const Bytes& bytes) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("velmora-control-" + std::to_string(::getpid()) + "-" + name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

TEST_F(ControlLoading, DesiredSizesBelowOneBecomeTheControlsAndAreWrittenBack) {
    control->InitProperties();
    const auto path = writeTemp("icon.ico", iconFile({16, 32, 48}));
    std::int32_t w = 0, h = -5, depth = 0;
    ASSERT_TRUE(control->LoadImage_FromFile(path.string(), w, h, depth));
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 32);
    EXPECT_EQ(depth, 32);
    EXPECT_EQ(control->GetSurface().Width(), 32) << "the entry of the control's size";

    // Given sizes are used as they are.
    w = 16, h = 16, depth = 8;
    ASSERT_TRUE(control->LoadImage_FromFile(path.string(), w, h, depth));
    EXPECT_EQ(control->GetSurface().Width(), 16);
    EXPECT_EQ(depth, 8);
    std::filesystem::remove(path);

    w = 0, h = 0, depth = 0;
    EXPECT_FALSE(control->LoadImage_FromFile("/nonexistent/velmora.png", w, h, depth));
    EXPECT_EQ(w, 32) << "written back before the load is tried";
}

TEST_F(ControlLoading, AFailedLoadLeavesThePropertiesAlone) {
    control->InitProperties();
    ASSERT_TRUE(load(cornerBitmap()));
    control->MaskUsed(2);
    control->Opacity(30);
    site->changes.clear();
    EXPECT_FALSE(load(Bytes(100, 0x55)));
    EXPECT_EQ(control->Opacity(), 30);
    EXPECT_EQ(control->MaskUsed(), 2);
    EXPECT_TRUE(control->maskActive());
    EXPECT_TRUE(site->changes.empty());
    EXPECT_EQ(control->ImageType(), 0) << "every load starts by emptying the surface";
}

TEST_F(ControlLoading, APixelMaskIsReappliedToTheNextImageOrDroppedForAlpha) {
    control->InitProperties();
    ASSERT_TRUE(load(cornerBitmap()));
    control->Mirror(1);
    control->MaskUsed(2); // the top-left pixel of the mirrored image
    ASSERT_TRUE(load(cornerBitmap(0x00FF00)));
    c32bppDIB& surface = control->GetSurface();
    // Mirrored like the first, then masked by the new top-left pixel (the
    // file's top-right one).
    EXPECT_EQ(pixelOf(surface, 3, 0)[1], 255) << "green moved to the right";
    const auto corner = pixelOf(surface, 0, 0);
    EXPECT_EQ(corner[3], 0);
    EXPECT_TRUE(control->maskActive());
    EXPECT_EQ(control->appliedMaskColor(), 0x602010) << "the new corner's colour";

    site->changes.clear();
    ASSERT_TRUE(load(iconFile({32})));
    EXPECT_FALSE(control->maskActive());
    EXPECT_EQ(control->MaskUsed(), 0);
    EXPECT_EQ(site->changes, (std::vector<std::string>{"MaskUsed"}));
}

TEST_F(ControlLoading, InversionFollowsEveryLoad) {
    control->InitProperties();
    control->InversedImage(true);
    ASSERT_TRUE(load(cornerBitmap()));
    EXPECT_EQ(pixelOf(control->GetSurface(), 0, 0),
              (std::array<std::uint8_t, 4>{255, 255, 0, 255}));
}

TEST_F(ControlLoading, GetImageBytesInEveryFormat) {
    control->InitProperties();
    ASSERT_TRUE(load(iconFile({32})));
    c32bppDIB& surface = control->GetSurface();
    // A distinct, translucent pixel at the top left.
    std::uint8_t* topLeft = surface.row(0);
    topLeft[0] = 10, topLeft[1] = 20, topLeft[2] = 30, topLeft[3] = 128;

    for (int mask = 0; mask < 16; ++mask) {
        const bool as2d = mask & 1, bgr = mask & 2, bottomUp = mask & 4, premultiplied = mask & 8;
        Bytes bytes;
        std::int32_t scan = 0;
        ASSERT_TRUE(control->GetImageBytes(bytes, scan, as2d, bgr, bottomUp, premultiplied, false));
        EXPECT_EQ(scan, 32 * 4);
        ASSERT_EQ(bytes.size(), 32u * 32u * 4u);
        const std::size_t at = bottomUp ? 31u * 32u * 4u : 0u;
        const std::uint8_t b = premultiplied ? 10 : 10 * 255 / 128;
        const std::uint8_t r = premultiplied ? 30 : 30 * 255 / 128;
        EXPECT_EQ(bytes[at + 0], bgr ? b : r) << mask;
        EXPECT_EQ(bytes[at + 2], bgr ? r : b) << mask;
        EXPECT_EQ(bytes[at + 3], 128) << mask;
    }

    // As a file: without kept bytes, PNG.
    Bytes file;
    std::int32_t scan = -1;
    ASSERT_TRUE(control->GetImageBytes(file, scan, false, true, true, true, true));
    ASSERT_GE(file.size(), 8u);
    EXPECT_EQ(file[1], 'P');
    EXPECT_EQ(scan, -1) << "no scan width for a file";

    // With kept bytes, exactly those.
    control->KeepOriginalFormat(true);
    const Bytes gif = gifPicture();
    ASSERT_TRUE(load(gif));
    ASSERT_TRUE(control->GetImageBytes(file, scan, true, false, false, false, true));
    EXPECT_EQ(file, gif);

    control->ClearImage();
    EXPECT_FALSE(control->GetImageBytes(file, scan));
}

TEST_F(ControlLoading, SetImageBytesReplacesEveryPixel) {
    control->InitProperties();
    Bytes pixels(4 * 2 * 4, 0);
    EXPECT_FALSE(control->SetImageBytes(pixels)) << "no image";
    ASSERT_TRUE(load(cornerBitmap()));
    EXPECT_FALSE(control->SetImageBytes(Bytes(8, 0))) << "an array shorter than the image";
    for (std::size_t i = 0; i < pixels.size(); i += 4)
        pixels[i] = 200, pixels[i + 3] = 255; // opaque blue, bottom row first
    pixels[0] = 0, pixels[2] = 200;           // bottom-left red
    site->repaints.clear();
    ASSERT_TRUE(control->SetImageBytes(pixels, true, true));
    EXPECT_EQ(pixelOf(control->GetSurface(), 0, 1), (std::array<std::uint8_t, 4>{0, 0, 200, 255}));
    EXPECT_EQ(pixelOf(control->GetSurface(), 0, 0), (std::array<std::uint8_t, 4>{200, 0, 0, 255}));
    EXPECT_FALSE(site->repaints.empty());
    ASSERT_TRUE(control->SetImageBytes(pixels, false, false)); // RGB, top row first
    EXPECT_EQ(pixelOf(control->GetSurface(), 0, 0), (std::array<std::uint8_t, 4>{200, 0, 0, 255}));
}

TEST_F(ControlLoading, PicturesWithoutBytesKeepABitmapFileWhenAsked) {
    control->InitProperties();
    control->KeepOriginalFormat(true);
    c32bppDIB source;
    ASSERT_TRUE(source.LoadPicture_Stream(cornerBitmap()));
    const platform::HBITMAP bitmap = platform::CreateDIBSection(
        0,
        [] {
            platform::BITMAPINFOHEADER bi;
            bi.biWidth = 4;
            bi.biHeight = 2;
            bi.biBitCount = 32;
            return bi;
        }(),
        {}, nullptr);
    ASSERT_NE(bitmap, 0u);
    ASSERT_TRUE(control->LoadImage_FromHandle(bitmap));
    Bytes kept;
    ASSERT_TRUE(control->GetSourceBytes(kept));
    EXPECT_EQ(kept[0], 'B');
    EXPECT_EQ(kept[1], 'M');
    platform::DeleteObject(bitmap);

    // An icon is kept, and saved, as a bitmap file: ImageType says so
    // rather than naming the icon.
    const platform::HICON icon = platform::CreateIconFromFile(iconFile({16}), 16, 16);
    ASSERT_NE(icon, 0u);
    ASSERT_TRUE(control->LoadImage_FromHandle(icon));
    platform::DestroyIcon(icon);
    platform::PropertyStore store;
    control->WriteProperties(store);
    const Bytes saved = store.ReadProperty("Image", Bytes{});
    ASSERT_GE(saved.size(), 2u);
    EXPECT_EQ(saved[0], 'B');
    EXPECT_EQ(saved[1], 'M');
    const std::int32_t type = control->ImageType();
    EXPECT_TRUE(type == modParsers::itBitmap || type == modParsers::itBitmapAlpha ||
                type == modParsers::itBitmapPremultiplied)
        << type;

    EXPECT_FALSE(control->LoadImage_FromHandle(0));
    EXPECT_FALSE(control->LoadImage_FromStdPicture(nullptr));
    EXPECT_FALSE(control->LoadImage_FromClipboard()) << "an empty clipboard";
}

TEST_F(ControlLoading, ResourcesOfAModuleAndTheKeptBytesLoadAgain) {
    control->InitProperties();
    platform::ResourceModule module;
    module.AddData("PICTURES", std::int32_t{101}, cornerBitmap());
    std::int32_t w = 0, h = 0, d = 0;
    ASSERT_TRUE(control->LoadImage_FromResource(&module, std::string("PICTURES"), std::int32_t{101},
                                                w, h, d));
    EXPECT_EQ(w, 32);
    EXPECT_EQ(control->GetSurface().Width(), 4);
    EXPECT_FALSE(control->LoadImage_FromResource(&module, std::string("PICTURES"),
                                                 std::int32_t{102}, w, h, d));

    EXPECT_FALSE(control->LoadImage_FromOrignalBytes(w, h, d)) << "nothing kept";
    control->KeepOriginalFormat(true);
    ASSERT_TRUE(load(cornerBitmap()));
    control->Mirror(1);
    w = h = d = 0;
    ASSERT_TRUE(control->LoadImage_FromOrignalBytes(w, h, d));
    EXPECT_EQ(d, 32);
    EXPECT_EQ(pixelOf(control->GetSurface(), 3, 0), (std::array<std::uint8_t, 4>{0, 0, 255, 255}))
        << "mirrored again after the load";
}

TEST_F(ControlLoading, ClearImageAtRunTimeLeavesAnEmptyControl) {
    control->InitProperties();
    ASSERT_TRUE(load(cornerBitmap()));
    site->repaints.clear();
    control->ClearImage();
    EXPECT_EQ(control->GetSurface().Handle(), 0u);
    EXPECT_EQ(control->ImageType(), 0);
    EXPECT_EQ(site->repaints.size(), 1u);
    control->Refresh();
    EXPECT_EQ(site->repaints.size(), 2u);
}

TEST_F(ControlLoading, AutoRedrawSwitchedOffAtRunTimeStaysOff) {
    control->InitProperties();
    ASSERT_TRUE(load(cornerBitmap()));
    control->AutoRedraw(true);
    ASSERT_NE(control->redrawBuffer(), nullptr);
    control->AutoRedraw(false);
    EXPECT_EQ(control->redrawBuffer(), nullptr);
    control->Mirror(1);
    site->Move({10, 10, 50, 50});
    control->Resize();
    EXPECT_EQ(control->redrawBuffer(), nullptr) << "no buffer is built again";
}

TEST_F(ControlLoading, RefreshReadsTheScaleModeAgain) {
    control->InitProperties();
    EXPECT_EQ(control->containerScaleMode(), 3);
    site->scaleMode.reset();
    control->Refresh();
    EXPECT_EQ(control->containerScaleMode(), 9) << "unreadable";
}

TEST_F(DesignLoading, SetSourceImageGivesTheControlTheImagesOwnSize) {
    control->InitProperties();
    control->AutoSize(false);
    control->ScaleMethod(2);
    site->changes.clear();
    control->SetSourceImage(cornerBitmap(), 0, 0, 32);
    EXPECT_EQ(site->Extent().right - site->Extent().left, 4);
    EXPECT_EQ(site->Extent().bottom - site->Extent().top, 2);
    EXPECT_EQ(control->ScaleMethod(), 2);
    EXPECT_FALSE(control->AutoSize());
    EXPECT_EQ(site->changes, (std::vector<std::string>{"ScaleMethod"}));
    Bytes source;
    ASSERT_TRUE(control->GetSourceBytes(source));
    EXPECT_EQ(source, cornerBitmap());
    // The surface itself, not a copy: a pixel written through it is the
    // control's.
    control->GetSurface().row(0)[0] = 0x7F;
    Bytes shown;
    std::int32_t scan = 0;
    ASSERT_TRUE(control->GetImageBytes(shown, scan, false, true, false));
    EXPECT_EQ(shown[0], 0x7F);

    // A failed load still runs the steps after it: the placeholder returns.
    control->SetSourceImage(Bytes{1, 2, 3}, 0, 0, 32);
    EXPECT_EQ(control->GetSurface().ImageType(), modParsers::itCheckerBoard);
}

TEST_F(ControlLoading, ImageScalesAndLayout) {
    // 100 x 50 in a 50 x 50 control.
    site->Move({0, 0, 50, 50});
    control->InitProperties();
    control->AutoSize(false);
    ASSERT_TRUE(load(bitmapFile(100, 50, [](int, int) { return 0x808080u; })));
    EXPECT_EQ(control->layout().width, 50);
    EXPECT_EQ(control->layout().height, 25);
    EXPECT_EQ(control->layout().originX, 0);
    EXPECT_EQ(control->layout().originY, 12);
    control->ScaleMethod(2);
    EXPECT_EQ(control->layout().height, 25);
    control->ScaleMethod(3);
    EXPECT_EQ(control->layout().width, 100);
    EXPECT_EQ(control->layout().originY, 0) << "negative centring clamped";
    EXPECT_TRUE(control->layout().oneToOne);

    std::int32_t w = -1, h = -1;
    control->GetImageScales(w, h, 1, 30, 40, false);
    EXPECT_EQ(w, 30);
    EXPECT_EQ(h, 40);
    control->GetImageScales(w, h, 0, 100, 100, true); // diagonal 112
    EXPECT_EQ(w, 89);
    EXPECT_EQ(h, 45);
    control->GetImageScales(w, h, 2, 1000, 1000, true);
    EXPECT_EQ(w, 100) << "shrink only";
    EXPECT_EQ(h, 50);

    // 20 x 10 in 100 x 100: fit grows it, shrink-only centres it.
    site->Move({0, 0, 100, 100});
    ASSERT_TRUE(load(bitmapFile(20, 10, [](int, int) { return 0x808080u; })));
    control->ScaleMethod(0);
    EXPECT_EQ(control->layout().width, 100);
    EXPECT_EQ(control->layout().height, 50);
    control->ScaleMethod(2);
    EXPECT_EQ(control->layout().width, 20);
    EXPECT_EQ(control->layout().originX, 40);
    EXPECT_EQ(control->layout().originY, 45);

    // AutoSize makes the control the drawn size.
    control->ScaleMethod(3);
    control->AutoSize(true);
    EXPECT_EQ(site->Extent().right, 20);
    EXPECT_EQ(site->Extent().bottom, 10);
    control->RotateEnabled(true);
    EXPECT_EQ(site->Extent().right, 22) << "the turned image's square";
    EXPECT_EQ(site->Extent().bottom, 22);

    aicAlphaImage empty(*site);
    w = 7, h = 8;
    empty.GetImageScales(w, h, 0, 10, 10, false);
    EXPECT_EQ(w, 7) << "untouched without an image";
}

} // namespace

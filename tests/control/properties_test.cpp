// The control's setters: their ranges, normalisation, side effects on the
// pixels and the names they report, and the mask algorithm.

#include "control/property_table.h"
#include "control_fixture.h"
#include "platform/gdi/sys_colors.h"
#include "surface/image_types.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <unistd.h>

using namespace controltest;
using platform::TranslateColor;

namespace {

using Properties = ControlTest;

TEST_F(Properties, OpacityIsNormalisedToOneToHundred) {
    const std::vector<std::pair<std::int32_t, std::int32_t>> cases = {
        {100, 100}, {200, 100},  {0, 0}, {-45, 45},
        {150, 50},  {-100, 100}, {1, 1}, {std::numeric_limits<std::int32_t>::min(), 48}};
    for (const auto& [given, stored] : cases) {
        control->Opacity(given);
        EXPECT_EQ(control->Opacity(), stored) << given;
    }
    EXPECT_EQ(site->changes.back(), "Opacity");
}

TEST_F(Properties, RotationKeepsItsSignAndIsQuietWhileDisabled) {
    control->Rotation(450);
    EXPECT_EQ(control->Rotation(), 90);
    control->Rotation(-30);
    EXPECT_EQ(control->Rotation(), -30);
    EXPECT_TRUE(site->changes.empty()) << "stored silently while rotation is off";

    control->RotateEnabled(true);
    control->RotateEnabled(true);
    EXPECT_TRUE(control->RotateEnabled());
    EXPECT_EQ(site->changes, (std::vector<std::string>{"RotateEnabled"})) << "only on a change";
    control->Rotation(-390);
    EXPECT_EQ(control->Rotation(), -30);
    EXPECT_EQ(site->changes.size(), 1u) << "the same angle is no change";
    control->Rotation(720 + 45);
    EXPECT_EQ(control->Rotation(), 45);
    EXPECT_EQ(site->changes.back(), "Rotation");
}

TEST_F(Properties, OutOfRangeValuesAreIgnoredSilently) {
    control->grayScale(9);
    control->grayScale(-1);
    EXPECT_EQ(control->grayScale(), 0);
    control->grayScale(8);
    EXPECT_EQ(control->grayScale(), 8);
    control->grayScale(0);
    EXPECT_EQ(control->grayScale(), 0);

    control->ShadowDepth(11);
    control->ShadowDepth(-1);
    control->ShadowOpacity(101);
    control->ShadowOpacity(-1);
    control->HitTest(-1);
    control->HitTest(4);
    control->Mirror(4);
    control->Mirror(-1);
    control->ScaleMethod(5);
    control->ScaleMethod(-1);
    control->IntensityOffset(100.5f);
    control->IntensityOffset(-101.0f);
    control->IntensityOffset(std::nanf(""));
    EXPECT_EQ(control->ShadowDepth(), 2);
    EXPECT_EQ(control->ShadowOpacity(), 50);
    EXPECT_EQ(control->HitTest(), 0);
    EXPECT_EQ(control->Mirror(), 0);
    EXPECT_EQ(control->ScaleMethod(), 0);
    EXPECT_EQ(control->IntensityOffset(), 0.0f);
    EXPECT_EQ(site->changes, (std::vector<std::string>{"GrayScale", "GrayScale"}));

    // The edges are accepted, each under its own name.
    site->changes.clear();
    control->ShadowDepth(10);
    control->ShadowOpacity(0);
    control->HitTest(3);
    control->ScaleMethod(4);
    control->IntensityOffset(-100.0f);
    control->ShadowOffsetX(-5);
    control->ShadowOffsetY(7);
    control->ShadowColor(0x123456);
    control->ShadowEnabled(true);
    control->StretchQuality(false);
    control->AutoSize(false);
    control->AutoRedraw(true);
    control->KeepOriginalFormat(true);
    control->InversedImage(true);
    control->MaskColor(0xFF);
    EXPECT_EQ(site->changes, (std::vector<std::string>{
                                 "ShadowDepth", "ShadowOpacity", "HitTest", "Stretch", "Intensity",
                                 "ShadowOffsetX", "ShadowOffsetY", "ShadowColor", "ShadowEnabled",
                                 "StretchQuality", "AutoSize", "AutoRedraw", "KeepOriginalFormat",
                                 "InversedImage", "MaskColor"}));
    EXPECT_FALSE(control->GetSurface().HighQualityInterpolation());
}

// Every number property of the table, given values at and past the edges of
// its range: the setter keeps a value within the range the table states,
// and saving and restoring gives the same value back.
TEST_F(Properties, EveryNumberSurvivesSaveAndRestoreWithinItsTableRange) {
    ASSERT_TRUE(load(cornerBitmap()));
    control->RotateEnabled(true);
    for (const velmora::PropertySpec& spec : velmora::Properties()) {
        if (spec.readOnly() || spec.kind != velmora::PropertySpec::Kind::Number) continue;
        if (!spec.choices.empty()) {
            EXPECT_EQ(static_cast<std::int64_t>(spec.choices.size()),
                      std::int64_t{spec.maximum} - spec.minimum + 1)
                << spec.name << ": a name for every value";
        }
        const std::vector<std::int64_t> tries = {spec.minimum,
                                                 spec.maximum,
                                                 std::int64_t{spec.minimum} - 1,
                                                 std::int64_t{spec.maximum} + 1,
                                                 150,
                                                 725,
                                                 70000,
                                                 -70000,
                                                 -32769,
                                                 32767};
        for (const std::int64_t value : tries) {
            if (value < INT32_MIN || value > INT32_MAX) continue;
            std::string error;
            ASSERT_TRUE(spec.set(*control, std::to_string(value), error)) << spec.name;
            const std::string shown = spec.show(*control);
            const std::int64_t kept = std::stoll(shown);
            EXPECT_GE(kept, spec.minimum) << spec.name << " = " << value;
            EXPECT_LE(kept, spec.maximum) << spec.name << " = " << value;
            platform::PropertyStore store;
            control->WriteProperties(store);
            platform::HeadlessSite other(host, form, site->Extent());
            auto back = restored(store, other);
            EXPECT_EQ(spec.show(*back), shown) << spec.name << " = " << value;
        }
    }
}

TEST_F(Properties, SixteenBitSettingsKeepToSixteenBits) {
    control->ShadowOffsetX(70000);
    control->ShadowOffsetY(-32769);
    control->MousePointer(70000);
    control->OLEDropMode(65537);
    EXPECT_EQ(control->ShadowOffsetX(), 2);
    EXPECT_EQ(control->ShadowOffsetY(), 2);
    EXPECT_EQ(control->MousePointer(), 0);
    EXPECT_EQ(control->OLEDropMode(), 0);
    EXPECT_TRUE(site->changes.empty()) << "ignored silently";
    control->ShadowOffsetX(-32768);
    control->ShadowOffsetY(32767);
    control->MousePointer(32767);
    EXPECT_EQ(control->ShadowOffsetX(), -32768);
    EXPECT_EQ(control->ShadowOffsetY(), 32767);
    EXPECT_EQ(control->MousePointer(), 32767);
}

TEST_F(Properties, PassThroughSettingsReachTheContainer) {
    control->MousePointer(99);
    control->OLEDropMode(1);
    control->Enabled(false);
    EXPECT_EQ(site->mousePointer, 99);
    EXPECT_EQ(site->oleDropMode, 1);
    EXPECT_FALSE(site->enabled);
    control->MouseIcon(iconFile({32}));
    EXPECT_NE(site->mouseIcon, 0u) << "an icon file makes the custom pointer";
    control->MouseIcon(Bytes{1, 2, 3});
    EXPECT_EQ(site->mouseIcon, 0u) << "bytes that make no pointer are kept, without a pointer";
    EXPECT_EQ(control->MouseIcon().size(), 3u);
    EXPECT_EQ(site->changes, (std::vector<std::string>{"MousePointer", "OLEDropMode", "Enabled",
                                                       "MouseIcon", "MouseIcon"}));
}

// The property list sets the pointer's picture from a file's path; a path
// that names no readable file (a folder among them) is refused and the
// picture kept, never silently replaced by nothing.
TEST_F(Properties, MouseIconFromAPathTakesTheFilesBytesOrRefuses) {
    const velmora::PropertySpec* spec = velmora::FindProperty("MouseIcon");
    ASSERT_NE(spec, nullptr);
    const auto folder = std::filesystem::temp_directory_path() /
                        ("velmora-mouse-icon-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const Bytes icon = iconFile({32});
    const auto file = folder / "pointer.ico";
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(icon.data()),
               static_cast<std::streamsize>(icon.size()));

    std::string error;
    EXPECT_TRUE(spec->set(*control, file.string(), error)) << error;
    EXPECT_EQ(control->MouseIcon(), icon);
    for (const auto& unreadable : {folder, folder / "missing.ico"}) {
        error.clear();
        EXPECT_FALSE(spec->set(*control, unreadable.string(), error)) << unreadable;
        EXPECT_EQ(error, "cannot read " + unreadable.string());
        EXPECT_EQ(control->MouseIcon(), icon) << "kept";
    }
    EXPECT_TRUE(spec->set(*control, "", error));
    EXPECT_TRUE(control->MouseIcon().empty()) << "an empty path removes it";
    std::filesystem::remove_all(folder);
}

TEST_F(Properties, MirrorFlipsByTheDifference) {
    ASSERT_TRUE(load(cornerBitmap()));
    const auto red = pixelOf(control->GetSurface(), 0, 0);
    control->Mirror(1);
    EXPECT_EQ(pixelOf(control->GetSurface(), 3, 0), red);
    control->Mirror(3); // only the vertical flip is added
    EXPECT_EQ(pixelOf(control->GetSurface(), 3, 1), red);
    control->Mirror(2);
    EXPECT_EQ(pixelOf(control->GetSurface(), 0, 1), red);
    control->Mirror(0);
    EXPECT_EQ(pixelOf(control->GetSurface(), 0, 0), red);
}

TEST_F(Properties, MaskFromACornerPixelAndItsUndo) {
    ASSERT_TRUE(load(cornerBitmap()));
    c32bppDIB& surface = control->GetSurface();
    const auto red = pixelOf(surface, 0, 0);
    ASSERT_EQ(red, (std::array<std::uint8_t, 4>{0, 0, 255, 255}));

    control->MaskUsed(2);
    EXPECT_EQ(control->MaskUsed(), 2);
    EXPECT_TRUE(control->maskActive());
    EXPECT_EQ(control->appliedMaskColor(), 0x0000FF); // red as 0x00BBGGRR
    EXPECT_EQ(pixelOf(surface, 0, 0), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(pixelOf(surface, 1, 0)[3], 255);
    EXPECT_EQ(site->changes.back(), "MaskUsed");

    control->MaskUsed(0);
    EXPECT_FALSE(control->maskActive());
    EXPECT_EQ(pixelOf(surface, 0, 0), red) << "the mask is undone";
    EXPECT_FALSE(surface.Alpha()) << "no transparency is left";

    // The mask can be switched on again once undone.
    control->MaskUsed(5);
    EXPECT_TRUE(control->maskActive());
    EXPECT_EQ(pixelOf(surface, 3, 1)[3], 0);
}

TEST_F(Properties, MaskOnAnInvertedImageRecordsTheUninvertedColour) {
    ASSERT_TRUE(load(cornerBitmap()));
    control->InversedImage(true);
    c32bppDIB& surface = control->GetSurface();
    EXPECT_EQ(pixelOf(surface, 0, 0), (std::array<std::uint8_t, 4>{255, 255, 0, 255}));
    control->MaskUsed(2);
    EXPECT_EQ(control->appliedMaskColor(), 0x0000FF);
    EXPECT_EQ(pixelOf(surface, 0, 0)[3], 0);
    control->MaskUsed(0);
    EXPECT_EQ(pixelOf(surface, 0, 0), (std::array<std::uint8_t, 4>{255, 255, 0, 255}))
        << "undone in the colours shown";

    // MaskColor with an inverted image is matched against the inverted
    // pixels.
    control->MaskColor(0x0000FF);
    control->MaskUsed(1);
    EXPECT_EQ(pixelOf(surface, 0, 0)[3], 0);
    EXPECT_EQ(control->appliedMaskColor(), 0x0000FF);
}

TEST_F(Properties, MaskColorReappliesAnActiveColourMask) {
    ASSERT_TRUE(load(cornerBitmap()));
    control->MaskColor(0x0000FF);
    control->MaskUsed(1);
    c32bppDIB& surface = control->GetSurface();
    EXPECT_EQ(pixelOf(surface, 0, 0)[3], 0);
    // The pixel at (1, 0) is 0x102040 as 0xRRGGBB: 0x402010 as 0x00BBGGRR.
    control->MaskColor(0x402010);
    EXPECT_EQ(pixelOf(surface, 0, 0)[3], 255) << "the old mask is undone";
    EXPECT_EQ(pixelOf(surface, 1, 0)[3], 0);
    EXPECT_EQ(control->appliedMaskColor(), 0x402010);
    // A system colour is resolved when used.
    control->MaskColor(static_cast<std::int32_t>(0x8000000F));
    EXPECT_EQ(control->appliedMaskColor(), static_cast<std::int32_t>(0x8000000F));
    EXPECT_EQ(pixelOf(surface, 1, 0)[3], 255);

    // Changed while there is no image, the colour is the one the next load
    // makes transparent.
    control->MaskColor(0x0000FF);
    control->ClearImage();
    control->MaskColor(0x402010);
    ASSERT_TRUE(load(cornerBitmap()));
    EXPECT_EQ(control->appliedMaskColor(), 0x402010);
    EXPECT_EQ(pixelOf(control->GetSurface(), 0, 0)[3], 255);
    EXPECT_EQ(pixelOf(control->GetSurface(), 1, 0)[3], 0);
}

TEST_F(Properties, MaskNeedsAnImageWithoutAlpha) {
    control->MaskUsed(2);
    EXPECT_EQ(control->MaskUsed(), 0) << "no image";
    ASSERT_TRUE(load(iconFile({32})));
    ASSERT_TRUE(control->GetSurface().Alpha());
    control->MaskUsed(2);
    EXPECT_EQ(control->MaskUsed(), 0);
    EXPECT_FALSE(control->maskActive());
    EXPECT_TRUE(site->changes.empty());
}

TEST_F(Properties, ReadOnlyStateFollowsTheLinkAndTheImage) {
    EXPECT_EQ(control->ImageType(), 0);
    EXPECT_FALSE(control->isMouseOver());
    control->InitProperties();
    ASSERT_NE(control->CrossTalkClass(), nullptr);
    ASSERT_TRUE(control->CrossTalkClass()->CapturedControl(control->identity()));
    EXPECT_TRUE(control->isMouseOver());
    control->Enabled(false);
    EXPECT_FALSE(control->isMouseOver()) << "a disabled control is never under the pointer";
    EXPECT_EQ(control->GDIplusInitialized(), control->CrossTalkClass()->gdiToken() != 0);
    EXPECT_EQ(control->GDIplusEnabled(), control->GetSurface().isGDIplusEnabled());
}

} // namespace

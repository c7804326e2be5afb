// Saving and restoring: defaults never written, every key round trip, the
// image bytes rule, the failed-load fallback and damaged stores.

#include "codecs/modparsers.h"
#include "control_fixture.h"
#include "surface/image_types.h"
#ifdef _WIN32
#include "tests/support/system_codecs.h"
#else
#include "tests/support/jpeg_file.h"
#endif

using namespace controltest;
using platform::PropertyStore;

namespace {

using Persistence = ControlTest;

class DesignPersistence : public ControlTest {
protected:
    DesignPersistence() : ControlTest(false) {}
};

Bytes imageKey(const PropertyStore& store) {
    return store.ReadProperty("Image", Bytes{});
}

TEST_F(Persistence, ANewControlWritesOnlyWhatDiffersFromTheStoredDefaults) {
    control->InitProperties();
    PropertyStore store;
    control->WriteProperties(store);
    EXPECT_EQ(store.names(), (std::vector<std::string>{"Image", "Props"}));
    EXPECT_TRUE(imageKey(store).empty());
    EXPECT_EQ(store.ReadProperty<std::int32_t>("Props", 0), 5) << "StretchQuality and AutoSize";

    // A store without any keys: StretchQuality alone, nothing else.
    platform::HeadlessSite other(host, form, {0, 0, 20, 20});
    auto bare = restored(PropertyStore{}, other);
    EXPECT_EQ(bare->props(), 1);
    EXPECT_EQ(bare->Opacity(), 100);
    EXPECT_EQ(bare->ShadowColor(), 0x404040);
    EXPECT_EQ(bare->MaskColor(), static_cast<std::int32_t>(0x8000000F));
    EXPECT_EQ(bare->grayScale(), 0);
    EXPECT_EQ(bare->ImageType(), 0);
    EXPECT_EQ(bare->GetSurface().Handle(), 0u) << "no image at run time";
}

TEST_F(Persistence, GrayScaleZeroPersistsNothing) {
    control->InitProperties();
    control->grayScale(3);
    control->grayScale(0);
    PropertyStore store;
    control->WriteProperties(store);
    EXPECT_FALSE(store.contains("GrayScale"));
    control->grayScale(1);
    control->WriteProperties(store);
    EXPECT_EQ(store.ReadProperty<std::int32_t>("grayscale", 99), 0)
        << "the stored formula, not the property";
}

TEST_F(Persistence, EveryKeyRoundTrips) {
    control->InitProperties();
    ASSERT_TRUE(load(cornerBitmap()));
    control->ScaleMethod(4);
    control->Opacity(40);
    control->Mirror(2);
    control->RotateEnabled(true);
    control->Rotation(-90);
    control->Enabled(false);
    control->MousePointer(99);
    control->OLEDropMode(1);
    control->MouseIcon(iconFile({16}));
    control->grayScale(4);
    control->HitTest(2);
    control->AutoRedraw(true);
    control->StretchQuality(false);
    control->ShadowEnabled(true);
    control->InversedImage(true);
    control->MaskColor(0x0000FF);
    control->MaskUsed(3);
    control->ShadowColor(0x112233);
    control->ShadowDepth(7);
    control->ShadowOffsetX(-3);
    control->ShadowOffsetY(5);
    control->ShadowOpacity(80);
    control->IntensityOffset(-12.5f);

    PropertyStore store;
    control->WriteProperties(store);
    EXPECT_EQ(store.names(),
              (std::vector<std::string>{"Image",         "Scaler",      "Opacity",    "Mirror",
                                        "Angle",         "Enabled",     "MPointer",   "OLEdrop",
                                        "MIcon",         "GrayScale",   "HitTest",    "Props",
                                        "MaskUsed",      "MaskColor",   "MaskSource", "Mask",
                                        "ShadowColor",   "ShadowDepth", "ShadowX",    "ShadowY",
                                        "ShadowOpacity", "Intensity",   "ScaleCx",    "ScaleCy"}));
    EXPECT_EQ(store.ReadProperty<std::int32_t>("Props", 0),
              static_cast<std::int32_t>(aicAlphaImage::kAutoSize | aicAlphaImage::kAutoRedraw |
                                        aicAlphaImage::kInversedImage |
                                        aicAlphaImage::kShadowEnabled |
                                        aicAlphaImage::kRotateEnabled))
        << "the run-time redraw bit is never saved";

    platform::HeadlessSite other(host, form, site->Extent());
    auto back = restored(store, other);
    EXPECT_EQ(back->ScaleMethod(), 4);
    EXPECT_EQ(back->Opacity(), 40);
    EXPECT_EQ(back->Mirror(), 2);
    EXPECT_EQ(back->Rotation(), -90);
    EXPECT_FALSE(back->Enabled());
    EXPECT_EQ(back->MousePointer(), 99);
    EXPECT_EQ(back->OLEDropMode(), 1);
    EXPECT_EQ(back->MouseIcon(), control->MouseIcon());
    EXPECT_EQ(back->grayScale(), 4);
    EXPECT_EQ(back->HitTest(), 2);
    EXPECT_EQ(back->props(), control->props());
    EXPECT_EQ(back->MaskUsed(), 3);
    EXPECT_TRUE(back->maskActive());
    EXPECT_EQ(back->appliedMaskColor(), control->appliedMaskColor());
    EXPECT_EQ(back->MaskColor(), 0x0000FF);
    EXPECT_EQ(back->ShadowColor(), 0x112233);
    EXPECT_EQ(back->ShadowDepth(), 7);
    EXPECT_EQ(back->ShadowOffsetX(), -3);
    EXPECT_EQ(back->ShadowOffsetY(), 5);
    EXPECT_EQ(back->ShadowOpacity(), 80);
    EXPECT_EQ(back->IntensityOffset(), -12.5f);
    EXPECT_EQ(back->layout().width, control->layout().width);
    EXPECT_EQ(back->layout().height, control->layout().height);
    EXPECT_FALSE(other.enabled);
    EXPECT_EQ(other.mousePointer, 99);
    EXPECT_NE(back->redrawBuffer(), nullptr) << "AutoRedraw at run time";

    // The restored control shows the same pixels and saves the same store.
    std::vector<std::uint8_t> a, b;
    std::int32_t scan = 0;
    ASSERT_TRUE(control->GetImageBytes(a, scan));
    ASSERT_TRUE(back->GetImageBytes(b, scan));
    EXPECT_EQ(a, b);
    PropertyStore again;
    back->WriteProperties(again);
    EXPECT_EQ(again.names(), store.names());
    for (const std::string& key : store.names())
        EXPECT_TRUE(*again.find(key) == *store.find(key)) << key;
}

TEST_F(Persistence, SavingStoresTheLoadedPictureAndLeavesTheDisplayAlone) {
    control->InitProperties();
    ASSERT_TRUE(load(cornerBitmap()));
    control->Mirror(1);
    control->InversedImage(true);
    control->MaskUsed(4); // the bottom-left pixel's colour
    Bytes shown, after;
    std::int32_t scan = 0;
    ASSERT_TRUE(control->GetImageBytes(shown, scan));
    const std::int32_t applied = control->appliedMaskColor();

    PropertyStore store;
    control->WriteProperties(store);
    ASSERT_TRUE(control->GetImageBytes(after, scan));
    EXPECT_EQ(after, shown) << "saving must not change what is shown";
    EXPECT_EQ(control->appliedMaskColor(), applied);

    // The bytes are the picture as loaded: unmirrored, unmasked, uninverted.
    c32bppDIB saved;
    const Bytes bytes = imageKey(store);
    ASSERT_TRUE(saved.LoadPicture_Stream(bytes));
    EXPECT_EQ(saved.ImageType(), modParsers::itPNG);
    c32bppDIB loaded;
    ASSERT_TRUE(loaded.LoadPicture_Stream(cornerBitmap()));
    ASSERT_EQ(saved.Width(), 4);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(pixelOf(saved, x, y), pixelOf(loaded, x, y)) << x << ',' << y;
}

TEST_F(Persistence, RestoringReappliesMirrorMaskAndInversion) {
    control->InitProperties();
    ASSERT_TRUE(load(cornerBitmap()));
    control->Mirror(3);
    control->MaskUsed(5);
    control->InversedImage(true);
    PropertyStore store;
    control->WriteProperties(store);
    platform::HeadlessSite other(host, form, site->Extent());
    auto back = restored(store, other);
    Bytes a, b;
    std::int32_t scan = 0;
    ASSERT_TRUE(control->GetImageBytes(a, scan));
    ASSERT_TRUE(back->GetImageBytes(b, scan));
    EXPECT_EQ(a, b);
}

TEST_F(Persistence, KeysMatchWithoutRegardToCase) {
    PropertyStore store;
    store.WriteProperty("image", cornerBitmap());
    store.WriteProperty<std::int32_t>("props", 4 | 64);
    store.WriteProperty<std::int32_t>("OPACITY", 30);
    store.WriteProperty<std::int32_t>("mpointer", 2);
    store.WriteProperty<std::int32_t>("scaler", 2);
    control->ReadProperties(store);
    EXPECT_TRUE(control->AutoSize());
    EXPECT_TRUE(control->InversedImage());
    EXPECT_FALSE(control->StretchQuality());
    EXPECT_EQ(control->Opacity(), 30);
    EXPECT_EQ(control->MousePointer(), 2);
    EXPECT_EQ(control->ScaleMethod(), 2);
    EXPECT_EQ(control->GetSurface().Width(), 4);
    EXPECT_EQ(pixelOf(control->GetSurface(), 0, 0), (std::array<std::uint8_t, 4>{255, 255, 0, 255}))
        << "restored inverted";
    EXPECT_TRUE(site->changes.empty()) << "restoring marks nothing as changed";
}

// A store as the writer leaves it: keys in the table's order, no defaults.
PropertyStore storeWithSettings(const Bytes& image) {
    PropertyStore store;
    store.WriteProperty("Image", image);
    store.WriteProperty<std::int32_t>("Scaler", 4);
    store.WriteProperty<std::int32_t>("Opacity", 20);
    store.WriteProperty<std::int32_t>("Mirror", 3);
    store.WriteProperty<std::int32_t>("Angle", 30);
    store.WriteProperty<std::int32_t>("GrayScale", 2);
    store.WriteProperty<std::int32_t>("Props", 0x1DF); // every flag but the redraw bit
    store.WriteProperty("MaskUsed", true);
    store.WriteProperty<std::int32_t>("MaskSource", 1);
    store.WriteProperty<std::int32_t>("Mask", 0x00FF00);
    store.WriteProperty<std::int32_t>("ShadowDepth", 4);
    store.WriteProperty<std::int32_t>("ShadowX", -7);
    store.WriteProperty("Intensity", 12.5f);
    store.WriteProperty<std::int32_t>("ScaleCx", 50);
    store.WriteProperty<std::int32_t>("ScaleCy", 60);
    return store;
}

void expectSameStore(const PropertyStore& saved, const PropertyStore& expected) {
    EXPECT_EQ(saved.names(), expected.names());
    for (const std::string& key : expected.names())
        EXPECT_TRUE(saved.contains(key) && *saved.find(key) == *expected.find(key)) << key;
}

// A picture this machine cannot show keeps every setting and is saved as it
// was read, at run time and at design time; the control shows no image.
TEST_F(Persistence, WhatARestoreCouldNotApplyIsSavedAsStored) {
    for (const bool userMode : {true, false}) {
        platform::HeadlessSite other(host, form, site->Extent());
        other.userMode = userMode;
        const PropertyStore store = storeWithSettings(Bytes(80, 0x5A)); // damaged
        auto back = restored(store, other);
        EXPECT_EQ(back->ImageType(), 0) << userMode;
        EXPECT_EQ(back->ScaleMethod(), 4);
        EXPECT_EQ(back->Opacity(), 20);
        EXPECT_EQ(back->Mirror(), 3);
        EXPECT_EQ(back->Rotation(), 30);
        EXPECT_TRUE(back->AutoSize());
        EXPECT_TRUE(back->ShadowEnabled());
        EXPECT_TRUE(back->maskActive());
        PropertyStore saved;
        back->WriteProperties(saved);
        expectSameStore(saved, store);

        // Settings changed afterwards are saved with the stored picture.
        back->Opacity(55);
        back->WriteProperties(saved);
        EXPECT_EQ(imageKey(saved), Bytes(80, 0x5A));
        EXPECT_EQ(saved.ReadProperty<std::int32_t>("Opacity", 0), 55);
        EXPECT_EQ(saved.ReadProperty<std::int32_t>("ScaleCx", 0), 50);

        // A picture put in its place replaces it, and so does clearing.
        std::int32_t w = 0, h = 0, d = 0;
        ASSERT_TRUE(back->LoadImage_FromArray(cornerBitmap(), w, h, d));
        back->WriteProperties(saved);
        EXPECT_NE(imageKey(saved), Bytes(80, 0x5A));
        auto again = restored(store, other);
        again->ClearImage();
        again->WriteProperties(saved);
        EXPECT_TRUE(imageKey(saved).empty());
    }
}

TEST_F(Persistence, AnEmptyControlKeepsItsSettings) {
    control->InitProperties();
    control->Opacity(55);
    control->Rotation(90);
    control->ShadowOffsetX(-4);
    EXPECT_EQ(control->Opacity(), 55);
    EXPECT_EQ(control->Rotation(), 90);
    PropertyStore store;
    control->WriteProperties(store);
    platform::HeadlessSite other(host, form, site->Extent());
    auto back = restored(store, other);
    EXPECT_EQ(back->Opacity(), 55);
    EXPECT_EQ(back->Rotation(), 90);
    EXPECT_EQ(back->ShadowOffsetX(), -4);
    EXPECT_TRUE(back->AutoSize()) << "a new control's flags";
    PropertyStore again;
    back->WriteProperties(again);
    expectSameStore(again, store);
}

TEST_F(Persistence, KeysOfLaterVersionsAreWrittenBackAsRead) {
    PropertyStore store;
    store.WriteProperty<std::int32_t>("Glow", 7);
    store.WriteProperty("Image", cornerBitmap());
    store.WriteProperty("Caption", std::string("kept"));
    store.WriteProperty<std::int32_t>("Opacity", 40);
    store.WriteProperty("Extra", Bytes{1, 2, 3});
    control->ReadProperties(store);
    PropertyStore saved;
    control->WriteProperties(saved);
    EXPECT_EQ(saved.names(),
              (std::vector<std::string>{"Image", "Opacity", "Glow", "Caption", "Extra"}))
        << "the known keys in their own order, then the others as read";
    EXPECT_EQ(saved.ReadProperty<std::int32_t>("Glow", 0), 7);
    EXPECT_EQ(saved.ReadProperty("Caption", std::string()), "kept");
    EXPECT_EQ(saved.ReadProperty("Extra", Bytes{}), (Bytes{1, 2, 3}));
}

TEST_F(Persistence, NewPixelsAreSavedInsteadOfTheKeptSourceBytes) {
    control->InitProperties();
    control->KeepOriginalFormat(true);
    ASSERT_TRUE(load(gifPicture()));
    Bytes pixels(16 * 16 * 4, 0);
    for (std::size_t i = 0; i < pixels.size(); i += 4)
        pixels[i + 1] = 200, pixels[i + 3] = 255; // opaque green
    ASSERT_TRUE(control->SetImageBytes(pixels));
    EXPECT_EQ(control->ImageType(), modParsers::itPNG);
    PropertyStore store;
    control->WriteProperties(store);
    c32bppDIB saved;
    ASSERT_TRUE(saved.LoadPicture_Stream(imageKey(store)));
    EXPECT_EQ(saved.ImageType(), modParsers::itPNG);
    EXPECT_EQ(pixelOf(saved, 5, 5), (std::array<std::uint8_t, 4>{0, 200, 0, 255}));
}

TEST_F(Persistence, ValuesOutOfRangeInAStoreReadAsTheirDefaults) {
    PropertyStore store;
    store.WriteProperty("Image", cornerBitmap());
    store.WriteProperty<std::int32_t>("Opacity", 500);
    store.WriteProperty<std::int32_t>("GrayScale", 99);
    store.WriteProperty<std::int32_t>("Mirror", 9);
    store.WriteProperty<std::int32_t>("HitTest", -4);
    store.WriteProperty<std::int32_t>("Scaler", 12);
    store.WriteProperty<std::int32_t>("ShadowDepth", 70000);        // 4464 as 16 bits
    store.WriteProperty<std::int32_t>("ShadowOpacity", 65536 + 20); // 20 as 16 bits
    store.WriteProperty<std::int32_t>("MaskSource", 8);
    store.WriteProperty<std::int32_t>("Angle", 725);
    store.WriteProperty("Intensity", 1e30f);
    store.WriteProperty("Opacity", std::string("x")); // another kind: the default
    control->ReadProperties(store);
    EXPECT_EQ(control->Opacity(), 100);
    EXPECT_EQ(control->grayScale(), 0);
    EXPECT_EQ(control->Mirror(), 0);
    EXPECT_EQ(control->HitTest(), 0);
    EXPECT_EQ(control->ScaleMethod(), 0);
    EXPECT_EQ(control->ShadowDepth(), 2);
    EXPECT_EQ(control->ShadowOpacity(), 20);
    EXPECT_EQ(control->MaskUsed(), 0);
    EXPECT_EQ(control->Rotation(), 5);
    EXPECT_EQ(control->IntensityOffset(), 0.0f);

    // A value the setter folds into range is restored as the setter keeps it.
    store.WriteProperty<std::int32_t>("Opacity", 150);
    control->ReadProperties(store);
    EXPECT_EQ(control->Opacity(), 50);
}

TEST_F(Persistence, AStoredMaskIsDroppedForAPictureWithItsOwnAlpha) {
    PropertyStore store;
    store.WriteProperty("Image", iconFile({32}));
    store.WriteProperty("MaskUsed", true);
    store.WriteProperty<std::int32_t>("MaskSource", 2);
    store.WriteProperty<std::int32_t>("Mask", 0x102040);
    control->ReadProperties(store);
    EXPECT_FALSE(control->maskActive());
    EXPECT_EQ(control->MaskUsed(), 0);
    const auto before = pixelOf(control->GetSurface(), 0, 0);
    PropertyStore saved;
    control->WriteProperties(saved);
    EXPECT_FALSE(saved.contains("MaskUsed"));
    EXPECT_EQ(pixelOf(control->GetSurface(), 0, 0), before);
}

TEST_F(Persistence, TheFrozenSizeIsStoredOnlyWithMethodFour) {
    control->InitProperties();
    ASSERT_TRUE(load(cornerBitmap()));
    PropertyStore store;
    control->WriteProperties(store);
    EXPECT_FALSE(store.contains("ScaleCx"));
    control->AutoSize(false);
    control->ScaleMethod(4);
    const auto frozen = control->layout();
    site->Move({10, 10, 110, 60});
    control->Resize();
    EXPECT_EQ(control->layout().width, frozen.width) << "method 4 keeps its size";
    control->WriteProperties(store);
    EXPECT_EQ(store.ReadProperty<std::int32_t>("ScaleCx", 0), frozen.width);
    EXPECT_EQ(store.ReadProperty<std::int32_t>("ScaleCy", 0), frozen.height);
}

TEST_F(DesignPersistence, TheCheckerboardIsNeverSavedAndSourceBytesAreKept) {
    control->InitProperties();
    EXPECT_EQ(control->GetSurface().ImageType(), modParsers::itCheckerBoard);
    EXPECT_EQ(control->GetSurface().Width(), 32) << "the control's size";
    EXPECT_EQ(control->ImageType(), 0);
    Bytes bytes;
    std::int32_t scan = 0;
    EXPECT_FALSE(control->GetImageBytes(bytes, scan));
    EXPECT_FALSE(control->GetSourceBytes(bytes));
    PropertyStore store;
    control->WriteProperties(store);
    EXPECT_TRUE(imageKey(store).empty());

    // At design time a restore keeps the source bytes, so a GIF is saved
    // as the very same bytes.
    const Bytes gif = gifPicture();
    store.WriteProperty("Image", gif);
    control->ReadProperties(store);
    EXPECT_EQ(control->ImageType(), modParsers::itGIF);
    ASSERT_TRUE(control->GetSourceBytes(bytes));
    EXPECT_EQ(bytes, gif);
    PropertyStore again;
    control->WriteProperties(again);
    EXPECT_EQ(imageKey(again), gif);

    control->ClearImage();
    EXPECT_EQ(control->GetSurface().ImageType(), modParsers::itCheckerBoard);
}

TEST_F(Persistence, ImageTypeIsTheFormatSavingStores) {
    control->InitProperties();
    ASSERT_TRUE(load(cornerBitmap()));
    EXPECT_EQ(control->ImageType(), modParsers::itPNG) << "bitmaps are stored as PNG";
    control->KeepOriginalFormat(true);
    const Bytes gif = gifPicture();
    ASSERT_TRUE(load(gif));
    EXPECT_EQ(control->ImageType(), modParsers::itGIF) << "kept source bytes";
    PropertyStore store;
    control->WriteProperties(store);
    EXPECT_EQ(imageKey(store), gif);
}

TEST(PersistenceWithoutImaging, AJpegStoreIsSavedAsItWasRead) {
    std::vector<std::uint8_t> samples;
    for (int i = 0; i < 24 * 16; ++i)
        samples.insert(samples.end(), {static_cast<std::uint8_t>(i), 90, 200});
#ifdef _WIN32
    const Bytes jpeg = testsystem::writeJpeg(24, 16, samples);
    ASSERT_FALSE(jpeg.empty()) << "the system's JPEG encoder";
#else
    const Bytes jpeg = testjpeg::writeJpeg(24, 16, samples, {});
#endif
    {
        // The picture is sound where the imaging library is present.
        platform::ScopedEnvironment env;
        env->imagingLibraryNames = {VELMORA_IMAGING_LIBRARY};
        c32bppDIB decoded;
        ASSERT_TRUE(decoded.LoadPicture_Stream(jpeg));
        EXPECT_EQ(decoded.Width(), 24);
    }
    platform::ScopedEnvironment env;
    env->imagingLibraryNames = {"libvelmora-no-such-imaging.so"};
    platform::HeadlessHost host;
    env->host = &host;
    const auto form = host.CreateWindowExA(0, "#32770", "Form", platform::WS_VISIBLE, 0, 0, 99, 99,
                                           0, 0, 0, nullptr);
    for (const bool userMode : {true, false}) {
        platform::HeadlessSite site(host, form, {0, 0, 24, 16});
        site.userMode = userMode;
        aicAlphaImage control(site);
        const PropertyStore store = storeWithSettings(jpeg);
        control.ReadProperties(store);
        EXPECT_EQ(control.ImageType(), 0) << "not decoded";
        PropertyStore saved;
        control.WriteProperties(saved);
        expectSameStore(saved, store);
    }
}

TEST(PersistenceWithoutEncoders, BitmapsAreStoredAsBitmapFiles) {
    platform::ScopedEnvironment env;
    env->zlibLibraryNames = {"libvelmora-no-such-zlib.so"};
    env->imagingLibraryNames = {"libvelmora-no-such-imaging.so"};
    platform::HeadlessHost host;
    env->host = &host;
    const auto form = host.CreateWindowExA(0, "#32770", "Form", platform::WS_VISIBLE, 0, 0, 99, 99,
                                           0, 0, 0, nullptr);
    platform::HeadlessSite site(host, form, {0, 0, 8, 8});
    aicAlphaImage control(site);
    control.InitProperties();
    std::int32_t w = 0, h = 0, d = 0;
    ASSERT_TRUE(control.LoadImage_FromArray(cornerBitmap(), w, h, d));
    EXPECT_EQ(control.ImageType(), modParsers::itBitmap);
    control.MaskUsed(2);
    EXPECT_EQ(control.ImageType(), modParsers::itBitmap) << "stored with the mask undone";
    PropertyStore store;
    control.WriteProperties(store);
    const Bytes bytes = store.ReadProperty("Image", Bytes{});
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    c32bppDIB back;
    ASSERT_TRUE(back.LoadPicture_Stream(bytes));
    EXPECT_EQ(pixelOf(back, 0, 0), (std::array<std::uint8_t, 4>{0, 0, 255, 255}));

    Bytes file;
    std::int32_t scan = 0;
    ASSERT_TRUE(control.GetImageBytes(file, scan, false, true, true, true, true));
    EXPECT_EQ(file[0], 'B') << "a bitmap file where no PNG encoder exists";
}

} // namespace

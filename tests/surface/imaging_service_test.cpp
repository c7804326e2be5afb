// The imaging service through its bridge, against the library built beside
// the tests: decoding, PNG encoding and drawing as the surface uses them,
// and the surface's own paths when the service is absent.

#include "dib/c32bppdib.h"
#include "platform/gdi/gdi.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/imaging/render_gdiplus.h"
#include "platform/system/environment.h"
#include "platform/system/library.h"
#include "tests/support/jpeg_file.h"
#include "tests/support/pixels.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace platform;
using testpixels::get;
using testpixels::Px;
using testpixels::set;

namespace {

using Bytes = std::vector<std::uint8_t>;

using testjpeg::flatJpeg;

class ImagingService : public ::testing::Test {
protected:
    void SetUp() override { env_->imagingLibraryNames = {VELMORA_IMAGING_LIBRARY}; }

    // A canvas of transparent black and the result of drawing src onto it
    // through the service.
    bool draw(const c32bppDIB& src, c32bppDIB& canvas, float angle, std::int32_t opacity,
              std::int32_t dw, std::int32_t dh, std::int32_t gray = -1, float light = 0,
              bool highQuality = false) {
        const HDC dc = canvas.LoadDIBinDC(true);
        const bool ok = RenderWithGDIplus(src.view(), dc, angle, opacity, 0, 0, dw, dh, 0, 0,
                                          src.Width(), src.Height(), highQuality, gray, 0, light);
        canvas.LoadDIBinDC(false);
        return ok;
    }

    ScopedEnvironment env_;
};

// The bridge binds a library once, only by its path, and only when it
// answers the interface version the bridge was built against.
TEST_F(ImagingService, BindsOnlyALibraryNamedByPathOfItsInterfaceOnce) {
    cGDIPlus gdi;
    std::int32_t token = 0;
    env_->imagingLibraryNames = {FAKEIMAGING_OLDVERSION};
    EXPECT_FALSE(gdi.isGDIplusOk(token, false)) << "another interface version is no service";

    env_->imagingLibraryNames = {FAKEIMAGING_ENCODES};
    for (int paint = 0; paint < 5; ++paint) {
        std::array<std::uint8_t, 16> clsid{};
        EXPECT_TRUE(gdi.isGDIplusOk(token, false));
        EXPECT_EQ(gdi.GetEncoderClsid("image/png", clsid), 1);
    }
    const Library fake(FAKEIMAGING_ENCODES);
    const auto asked = fake.function<std::int32_t (*)()>("velmora_fake_imaging_version_asked");
    ASSERT_NE(asked, nullptr);
    EXPECT_EQ(asked(), 1) << "bound once for the process";

    // The same library by its bare name, which the loader would resolve
    // (here to the copy already loaded): never taken.
    env_->imagingLibraryNames = {std::filesystem::path(FAKEIMAGING_ENCODES).filename().string()};
    EXPECT_FALSE(gdi.isGDIplusOk(token, false));
}

TEST_F(ImagingService, ProbeSessionsAndEncoders) {
    cGDIPlus gdi;
    std::int32_t token = 0;
    ASSERT_TRUE(gdi.isGDIplusOk(token, true));
    EXPECT_NE(token, 0);
    EXPECT_FALSE(gdi.StartStopGDIplus(token, true));
    std::array<std::uint8_t, 16> clsid{};
    EXPECT_EQ(gdi.GetEncoderClsid("IMAGE/PNG", clsid), 1) << "letter case aside";
    EXPECT_NE(clsid, (std::array<std::uint8_t, 16>{}));
    EXPECT_EQ(gdi.GetEncoderClsid("image/x-none", clsid), -1);

    EXPECT_FALSE(cGDIPlus::StreamFromArray(Bytes{1, 2, 3}, 3));
    const auto stream = cGDIPlus::StreamFromArray(Bytes{1, 2, 3}, 1);
    ASSERT_TRUE(stream);
    Bytes out;
    ASSERT_TRUE(cGDIPlus::ArrayFromStream(&*stream, out));
    EXPECT_EQ(out, (Bytes{2, 3}));
    EXPECT_FALSE(cGDIPlus::ArrayFromStream(nullptr, out));

    env_->imagingLibraryNames = {"libvelmora-no-such-imaging.so"};
    token = 0;
    EXPECT_FALSE(gdi.isGDIplusOk(token, true));
    EXPECT_EQ(gdi.GetEncoderClsid("image/png", clsid), -1);
}

TEST_F(ImagingService, JpegLoadsThroughTheServiceAsTypeTen) {
    c32bppDIB s;
    ASSERT_TRUE(s.isGDIplusEnabled());
    ASSERT_TRUE(s.LoadPicture_Stream(flatJpeg(16, 8, 200, 100, 50)));
    EXPECT_EQ(s.Width(), 16);
    EXPECT_EQ(s.Height(), 8);
    EXPECT_EQ(s.ImageType(), 10);
    EXPECT_FALSE(s.Alpha());
    const Px p = get(s, 5, 3);
    EXPECT_NEAR(p[0], 50, 3);
    EXPECT_NEAR(p[1], 100, 3);
    EXPECT_NEAR(p[2], 200, 3);
    EXPECT_EQ(p[3], 255);

    // A picture over the process's pixel limit is refused by the service
    // too, and leaves no image.
    env_->decodePixelLimit = 16 * 8 - 1;
    c32bppDIB tooLarge;
    EXPECT_FALSE(tooLarge.LoadPicture_Stream(flatJpeg(16, 8, 200, 100, 50)));
    EXPECT_EQ(tooLarge.Handle(), 0u);
    env_->decodePixelLimit = 16 * 8;
    EXPECT_TRUE(tooLarge.LoadPicture_Stream(flatJpeg(16, 8, 200, 100, 50)));

    // Without the service the same bytes are no image.
    env_->imagingLibraryNames = {};
    c32bppDIB without;
    EXPECT_FALSE(without.LoadPicture_Stream(flatJpeg(16, 8, 200, 100, 50)));
}

TEST_F(ImagingService, PngSavingToMemoryAndToAFile) {
    c32bppDIB s, empty;
    ASSERT_TRUE(s.InitializeDIB(3, 2));
    set(s, 0, 0, {10, 20, 30, 255});
    set(s, 2, 1, {0, 0, 64, 128});
    s.Alpha(true);
    Bytes png{9};
    EXPECT_FALSE(cGDIPlus().SaveToPNG("", png, empty.view(), true, 0)) << "no image";
    ASSERT_TRUE(cGDIPlus().SaveToPNG("", png, s.view(), true, 0));
    // Read back with the own reader, it gives what the own writer's file
    // gives: colour un-premultiplied with truncation both times.
    env_->imagingLibraryNames = {};
    Bytes own;
    ASSERT_TRUE(s.SaveToStream_PNG(own));
    c32bppDIB back, ownBack;
    ASSERT_TRUE(back.LoadPicture_Stream(png));
    ASSERT_TRUE(ownBack.LoadPicture_Stream(own));
    EXPECT_EQ(Bytes(back.pixels().begin(), back.pixels().end()),
              Bytes(ownBack.pixels().begin(), ownBack.pixels().end()));
    EXPECT_EQ(get(back, 0, 0), (Px{10, 20, 30, 255}));

    env_->imagingLibraryNames = {VELMORA_IMAGING_LIBRARY};
    const auto path = std::filesystem::temp_directory_path() /
                      ("velmora_imaging_save_" + std::to_string(::getpid()) + ".png");
    Bytes untouched{7, 7};
    ASSERT_TRUE(cGDIPlus().SaveToPNG(path.string(), untouched, s.view(), true, 0));
    EXPECT_EQ(untouched, (Bytes{7, 7}));
    EXPECT_EQ(std::filesystem::file_size(path), png.size());
    std::filesystem::remove(path);
}

TEST_F(ImagingService, DrawingPlainTranslucentGreyLightAndMirrored) {
    c32bppDIB src, canvas;
    ASSERT_TRUE(src.InitializeDIB(2, 1));
    set(src, 0, 0, {50, 100, 200, 255});
    set(src, 1, 0, {100, 100, 100, 255});
    ASSERT_TRUE(canvas.InitializeDIB(2, 1));

    EXPECT_TRUE(draw(src, canvas, 0, 0, 2, 1)) << "opacity 0 draws nothing and succeeds";
    EXPECT_EQ(get(canvas, 0, 0), (Px{0, 0, 0, 0}));

    ASSERT_TRUE(draw(src, canvas, 0, 100, 2, 1));
    EXPECT_EQ(get(canvas, 0, 0), (Px{50, 100, 200, 255}));

    canvas.EraseDIB();
    ASSERT_TRUE(draw(src, canvas, 0, 50, 2, 1));
    EXPECT_NEAR(get(canvas, 0, 0)[3], 128, 1) << "half the alpha";

    canvas.EraseDIB();
    ASSERT_TRUE(draw(src, canvas, 0, 100, 2, 1, 1));
    // 0.213 x 200 + 0.715 x 100 + 0.072 x 50 = 117.7
    EXPECT_NEAR(get(canvas, 0, 0)[0], 118, 1);
    EXPECT_EQ(get(canvas, 0, 0)[0], get(canvas, 0, 0)[2]);

    canvas.EraseDIB();
    ASSERT_TRUE(draw(src, canvas, 0, 100, 2, 1, -1, 20));
    EXPECT_NEAR(get(canvas, 1, 0)[1], 151, 1) << "100 + 0.2 x 255";

    canvas.EraseDIB();
    ASSERT_TRUE(draw(src, canvas, 0, 100, -2, 1));
    EXPECT_EQ(get(canvas, 0, 0), (Px{100, 100, 100, 255})) << "mirrored left to right";
    EXPECT_EQ(get(canvas, 1, 0), (Px{50, 100, 200, 255}));
}

// Quarter turns of a square about its centre land exactly: with the
// screen's y pointing down a positive angle turns clockwise.
TEST_F(ImagingService, QuarterTurnsAreExact) {
    c32bppDIB src;
    ASSERT_TRUE(src.InitializeDIB(4, 4));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            set(src, x, y, {static_cast<std::uint8_t>(x * 16 + y), 0, 0, 255});
    for (const int angle : {90, 180, 270}) {
        c32bppDIB canvas;
        ASSERT_TRUE(canvas.InitializeDIB(4, 4));
        ASSERT_TRUE(draw(src, canvas, static_cast<float>(angle), 100, 4, 4));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                // The source pixel that lands on (x, y).
                const int sx = angle == 90 ? y : angle == 180 ? 3 - x : 3 - y;
                const int sy = angle == 90 ? 3 - x : angle == 180 ? 3 - y : x;
                ASSERT_EQ(get(canvas, x, y), get(src, sx, sy)) << angle << " at " << x << "," << y;
            }
    }
}

// With the service present, the surface's drawings that go through it draw,
// and a high-quality copy is the picture, not a transparent one.
TEST_F(ImagingService, TheSurfaceDrawsAndCopiesThroughTheService) {
    c32bppDIB src, canvas;
    ASSERT_TRUE(src.InitializeDIB(8, 8));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            set(src, x, y, {static_cast<std::uint8_t>(x * 30), 60, 90, 255});
    src.isAlphaBlendFriendly(false);
    ASSERT_TRUE(src.isGDIplusEnabled());
    ASSERT_TRUE(canvas.InitializeDIB(8, 8));
    ASSERT_TRUE(src.Render(0, 0, 0, -8, 8, 0, 0, 0, 0, 100, true, true, &canvas, 2));
    EXPECT_EQ(get(canvas, 7, 0)[3], 255);
    EXPECT_EQ(get(canvas, 7, 0)[0], get(canvas, 7, 0)[2]) << "grey";

    c32bppDIB half;
    src.CopyImageTo(half, 4, 4);
    ASSERT_EQ(half.Width(), 4);
    EXPECT_EQ(get(half, 1, 1)[3], 255);
    EXPECT_NEAR(get(half, 1, 1)[1], 60, 1);
}

// What the service cannot draw, Render draws with the own engine: a shrink
// too steep for the library, and any draw through a service without a
// drawing entry, into a host surface or onto a DC. The own engine's
// drawing of the same is the reference.
TEST_F(ImagingService, RenderDrawsWhatTheServiceCannotWithTheOwnEngine) {
    const auto render = [](c32bppDIB& src, bool service, bool ontoDc) {
        src.isGDIplusEnabled(service);
        src.isAlphaBlendFriendly(false);
        c32bppDIB canvas;
        EXPECT_TRUE(canvas.InitializeDIB(4, 2));
        bool ok = false;
        if (ontoDc) {
            ok = src.Render(canvas.LoadDIBinDC(true), 0, 0, 4, 2, 0, 0, 0, 0, 100, true, true);
            canvas.LoadDIBinDC(false);
        } else {
            ok = src.Render(0, 0, 0, 4, 2, 0, 0, 0, 0, 100, true, true, &canvas);
        }
        EXPECT_TRUE(ok) << service << ontoDc;
        return Bytes(canvas.pixels().begin(), canvas.pixels().end());
    };

    c32bppDIB panorama;
    ASSERT_TRUE(panorama.InitializeDIB(40000, 2));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 40000; ++x)
            set(panorama, x, y, x < 20000 ? Px{0, 0, 200, 255} : Px{200, 0, 0, 255});
    const Bytes drawn = render(panorama, true, false);
    EXPECT_EQ(drawn, render(panorama, false, false));
    EXPECT_EQ(drawn[3], 255) << "drawn";

    env_->imagingLibraryNames = {FAKEIMAGING_ENCODES}; // no drawing entry
    c32bppDIB src;
    ASSERT_TRUE(src.InitializeDIB(2, 1));
    set(src, 0, 0, {50, 100, 200, 255});
    set(src, 1, 0, {0, 0, 64, 128});
    for (const bool ontoDc : {false, true}) {
        const Bytes fallback = render(src, true, ontoDc);
        ASSERT_TRUE(src.isGDIplusEnabled()) << "the service is there";
        EXPECT_EQ(fallback, render(src, false, ontoDc)) << ontoDc;
        EXPECT_NE(fallback, Bytes(fallback.size(), 0)) << ontoDc;
    }
}

// A scaled copy into a target that held a picture gives what a copy into a
// fresh target gives, whichever way it is drawn: through the service,
// through a service that cannot draw, or through AlphaBlend.
TEST_F(ImagingService, CopyImageToReplacesWhatTheTargetHeld) {
    struct Route {
        const char* name;
        std::string library;
        bool service;
        bool highQuality;
    };
    const Route routes[] = {{"service", VELMORA_IMAGING_LIBRARY, true, true},
                            {"service without drawing", FAKEIMAGING_ENCODES, true, true},
                            {"AlphaBlend", VELMORA_IMAGING_LIBRARY, false, false}};
    for (const Route& route : routes) {
        env_->imagingLibraryNames = {route.library};
        c32bppDIB src;
        ASSERT_TRUE(src.InitializeDIB(4, 4));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 2; ++x)
                set(src, x, y, {10, 20, 30, 255}); // the right half stays see-through
        src.isGDIplusEnabled(route.service);
        src.HighQualityInterpolation(route.highQuality);
        ASSERT_EQ(src.isGDIplusEnabled(), route.service) << route.name;

        std::unique_ptr<c32bppDIB> fresh;
        src.CopyImageTo(fresh, 8, 8);
        ASSERT_TRUE(fresh) << route.name;
        c32bppDIB used;
        ASSERT_TRUE(used.InitializeDIB(8, 8));
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                set(used, x, y, {0, 0, 255, 255});
        src.CopyImageTo(used, 8, 8);
        EXPECT_EQ(Bytes(used.pixels().begin(), used.pixels().end()),
                  Bytes(fresh->pixels().begin(), fresh->pixels().end()))
            << route.name;
        EXPECT_EQ(get(used, 1, 1)[3], 255) << route.name << ": the picture";
        EXPECT_EQ(get(used, 7, 7), (Px{0, 0, 0, 0})) << route.name << ": see-through";
    }
}

} // namespace

// PNG encoding with the system's encoder, read back here, and drawing
// through GDI+ onto the caller's pixels.

#include "tests/imaging/gdiplus/files.h"
#include "tests/imaging/support.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace imaging_test;

namespace {

// --- encoding ------------------------------------------------------------------------

TEST(GdiplusEncode, PngUnpremultipliesExactlyTopRowFirst) {
    Session session;
    Picture p(3, 2, true);
    p.at(0, 0) = bgra(10, 20, 30, 40);
    p.at(1, 0) = bgra(1, 2, 3, 3);
    p.at(2, 0) = 0;
    p.at(0, 1) = bgra(100, 0, 255, 255);
    p.at(1, 1) = bgra(127, 127, 127, 127);
    p.at(2, 1) = bgra(0, 0, 1, 1);
    const auto id = encoderFor("image/png");
    Bytes bytes;
    auto view = p.view();
    ASSERT_EQ(velmora_imaging_encode_memory(&view, id.data(), collect, &bytes), VELMORA_IMAGING_OK);
    const PngRead r = readPng(bytes);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.colourType, 6);
    ASSERT_EQ(r.width, 3u);
    const Bytes expected = {
        30 * 255 / 40, 20 * 255 / 40, 10 * 255 / 40, 40,  255, 170, 85,  3, 0, 0, 0, 0, 255, 0,
        100,           255,           255,           255, 255, 127, 255, 0, 0, 1};
    EXPECT_EQ(r.rgba, expected);
    // And the library reads its own output back to the same pixels.
    const Decoded d = decode(bytes);
    ASSERT_EQ(d.status, VELMORA_IMAGING_OK);
    EXPECT_EQ(d.picture.at(0, 1), p.at(0, 1));
    EXPECT_EQ(d.picture.at(1, 1), p.at(1, 1));

    // Opaque pictures are written without alpha, to a file as well.
    Picture opaque(2, 2, false, bgra(1, 2, 3, 255));
    auto opaqueView = opaque.view();
    const std::string path = temporaryPath("opaque.png");
    ASSERT_EQ(velmora_imaging_encode_file(&opaqueView, id.data(), path.c_str()),
              VELMORA_IMAGING_OK);
    const PngRead o = readPng(readFile(path));
    EXPECT_EQ(o.colourType, 2);
    EXPECT_EQ(o.rgba, (Bytes{3, 2, 1, 255, 3, 2, 1, 255, 3, 2, 1, 255, 3, 2, 1, 255}));
}

TEST(GdiplusEncode, ReplacingAFileLeavesOnlyTheNewOne) {
    Session session;
    Picture p(2, 2, false, bgra(1, 2, 3, 255));
    auto view = p.view();
    const std::filesystem::path folder = temporaryPath("replace");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::filesystem::path target = folder / "x.png";
    { std::ofstream(target) << "old"; }
    ASSERT_EQ(
        velmora_imaging_encode_file(&view, encoderFor("image/png").data(), target.string().c_str()),
        VELMORA_IMAGING_OK);
    EXPECT_TRUE(readPng(readFile(target.string())).ok);
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder))
        ++entries;
    EXPECT_EQ(entries, 1);
    std::filesystem::remove_all(folder);
}

TEST(GdiplusEncode, RefusalsLeaveNothingBehind) {
    Session session;
    Picture p(2, 2, false, bgra(1, 2, 3, 255));
    auto view = p.view();
    const std::array<std::uint8_t, 16> unknown{1, 2, 3};
    Bytes bytes;
    EXPECT_EQ(velmora_imaging_encode_memory(&view, unknown.data(), collect, &bytes),
              VELMORA_IMAGING_UNKNOWN_ENCODER);
    const auto png = encoderFor("image/png");
    const std::string nowhere = temporaryPath("no/such/folder/x.png");
    EXPECT_EQ(velmora_imaging_encode_file(&view, png.data(), nowhere.c_str()),
              VELMORA_IMAGING_IO_ERROR);
    const auto refuse = [](void*, const std::uint8_t*, std::size_t) -> std::int32_t { return 1; };
    EXPECT_EQ(velmora_imaging_encode_memory(&view, png.data(), refuse, nullptr),
              VELMORA_IMAGING_SINK_FAILED);
    velmora_imaging_pixels bad = view;
    bad.stride = 4; // shorter than a row
    EXPECT_EQ(velmora_imaging_encode_memory(&bad, png.data(), collect, &bytes),
              VELMORA_IMAGING_BAD_ARGUMENT);
    EXPECT_TRUE(bytes.empty());
}

// --- drawing ---------------------------------------------------------------------------

velmora_imaging_draw_params plain(const Picture& source,
                                  std::int32_t interpolation = VELMORA_IMAGING_NEAREST) {
    velmora_imaging_draw_params p{};
    p.src_width = static_cast<float>(source.width);
    p.src_height = static_cast<float>(source.height);
    p.dest_width = p.src_width;
    p.dest_height = p.src_height;
    p.world[0] = p.world[3] = 1;
    p.interpolation = interpolation;
    return p;
}

std::int32_t draw(Picture& source, Picture& target, const velmora_imaging_draw_params& p) {
    const auto s = source.view();
    const auto t = target.view();
    return velmora_imaging_draw(&s, &t, &p);
}

Picture pattern(std::int32_t w, std::int32_t h, bool bottomUp) {
    Picture p(w, h, bottomUp);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            const std::uint32_t a = 255 - static_cast<std::uint32_t>(x + y * w) % 7 * 20;
            p.at(x, y) = bgra(static_cast<std::uint32_t>(x * 30) % 256 * a / 255,
                              static_cast<std::uint32_t>(y * 40) % 256 * a / 255, 90 * a / 255, a);
        }
    return p;
}

TEST(GdiplusDraw, ColourMatrices) {
    Session session;
    Picture source(2, 1);
    source.at(0, 0) = bgra(200, 50, 100, 255);
    source.at(1, 0) = bgra(40, 20, 80, 128); // straight 79, 39, 159
    std::array<float, 25> grey{};
    for (int column = 0; column < 3; ++column) {
        grey[0 * 5 + column] = 0.213f;
        grey[1 * 5 + column] = 0.715f;
        grey[2 * 5 + column] = 0.072f;
    }
    grey[18] = grey[24] = 1;
    std::array<float, 25> light{};
    light[0] = light[6] = light[12] = light[18] = light[24] = 1;
    light[20] = light[21] = light[22] = 0.2f;
    std::array<float, 25> opacity{};
    opacity[0] = opacity[6] = opacity[12] = opacity[24] = 1;
    opacity[18] = 0.5f;

    const auto run = [&](const std::array<float, 25>& m) {
        Picture target(2, 1);
        auto p = plain(source);
        p.color_matrix = m.data();
        EXPECT_EQ(draw(source, target, p), VELMORA_IMAGING_OK);
        return target;
    };
    const Picture g = run(grey);
    const double y0 = 0.213 * 100 + 0.715 * 50 + 0.072 * 200;
    EXPECT_NEAR(red(g.at(0, 0)), y0, 1);
    EXPECT_NEAR(green(g.at(0, 0)), y0, 1);
    EXPECT_NEAR(blue(g.at(0, 0)), y0, 1);
    const double y1 = (0.213 * 159 + 0.715 * 39 + 0.072 * 79) * 128 / 255;
    EXPECT_NEAR(red(g.at(1, 0)), y1, 1);
    EXPECT_EQ(alpha(g.at(1, 0)), 128u);

    const Picture l = run(light);
    EXPECT_PRED2(exactOrWinesUnitBelow, l.at(0, 0), bgra(251, 101, 151, 255));
    EXPECT_NEAR(red(l.at(1, 0)), (159 + 51) * 128 / 255, 1);

    const Picture o = run(opacity);
    EXPECT_NEAR(alpha(o.at(0, 0)), 127.5, 1);
    EXPECT_NEAR(red(o.at(0, 0)), 100 * 127.5 / 255, 1);
    EXPECT_NEAR(alpha(o.at(1, 0)), 64, 1);
}

TEST(GdiplusDraw, SourceOverAndRegions) {
    Session session;
    Picture source(4, 4, false, bgra(0, 0, 128, 128));
    Picture target(6, 6, true, bgra(200, 0, 0, 255));
    auto p = plain(source);
    p.src_x = 1;
    p.src_y = 1;
    p.src_width = p.src_height = 2;
    p.dest_x = 3;
    p.dest_y = 1;
    p.dest_width = p.dest_height = 2;
    ASSERT_EQ(draw(source, target, p), VELMORA_IMAGING_OK);
    for (std::int32_t y = 0; y < 6; ++y)
        for (std::int32_t x = 0; x < 6; ++x) {
            const bool inside = x >= 3 && x < 5 && y >= 1 && y < 3;
            const std::uint32_t v = target.at(x, y);
            if (!inside) {
                EXPECT_EQ(v, bgra(200, 0, 0, 255)) << x << "," << y;
                continue;
            }
            // 128 red over 200 blue: blue x (255 - 128) / 255, rounded.
            EXPECT_PRED2(exactOrWinesUnitBelow, v, bgra(100, 0, 128, 255)) << x << "," << y;
        }
}

TEST(GdiplusDraw, NegativeSizesMirror) {
    Session session;
    for (bool sourceBottomUp : {false, true}) {
        Picture source = pattern(5, 3, sourceBottomUp);
        Picture across(5, 3, !sourceBottomUp), down(5, 3);
        auto p = plain(source);
        p.dest_x = 5;
        p.dest_width = -5;
        ASSERT_EQ(draw(source, across, p), VELMORA_IMAGING_OK);
        p = plain(source, VELMORA_IMAGING_BICUBIC);
        p.dest_y = 3;
        p.dest_height = -3;
        ASSERT_EQ(draw(source, down, p), VELMORA_IMAGING_OK);
        for (std::int32_t y = 0; y < 3; ++y)
            for (std::int32_t x = 0; x < 5; ++x) {
                ASSERT_PRED2(exactOrWinesUnitBelow, across.at(x, y), source.at(4 - x, y))
                    << x << "," << y;
                ASSERT_PRED2(exactOrWinesUnitBelow, down.at(x, y), source.at(x, 2 - y))
                    << x << "," << y;
            }
    }
}

TEST(GdiplusDraw, QuarterTurnsAreExact) {
    Session session;
    constexpr std::int32_t n = 7;
    const Picture source = pattern(n, n, true);
    for (int quarter : {1, 2, 3})
        for (std::int32_t filter : {VELMORA_IMAGING_NEAREST, VELMORA_IMAGING_BICUBIC}) {
            Picture src = source, target(n, n);
            auto p = plain(src, filter);
            const double angle = quarter * std::numbers::pi / 2;
            const float c = static_cast<float>(std::cos(angle)),
                        s = static_cast<float>(std::sin(angle));
            const float centre = n / 2.0f;
            p.world[0] = c, p.world[1] = s, p.world[2] = -s, p.world[3] = c;
            p.world[4] = centre - c * centre + s * centre;
            p.world[5] = centre - s * centre - c * centre;
            ASSERT_EQ(draw(src, target, p), VELMORA_IMAGING_OK);
            for (std::int32_t y = 0; y < n; ++y)
                for (std::int32_t x = 0; x < n; ++x) {
                    const std::int32_t tx = quarter == 1 ? n - 1 - y : quarter == 2 ? n - 1 - x : y;
                    const std::int32_t ty = quarter == 1 ? x : quarter == 2 ? n - 1 - y : n - 1 - x;
                    ASSERT_PRED2(exactOrWinesUnitBelow, target.at(tx, ty), source.at(x, y))
                        << quarter << " " << filter << " " << x << "," << y;
                }
        }
}

TEST(GdiplusDraw, CubicSamplesNeverExceedTheirAlpha) {
    Session session;
    Picture source(8, 8);
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 8; ++x)
            source.at(x, y) = x % 3 == 0   ? bgra(255, 255, 255, 255)
                              : x % 3 == 2 ? bgra(0, 0, 0, 255)
                                           : 0;
    for (const float size : {37.0f, 5.0f}) {
        Picture target(37, 37);
        auto p = plain(source, VELMORA_IMAGING_BICUBIC);
        p.dest_width = p.dest_height = size;
        ASSERT_EQ(draw(source, target, p), VELMORA_IMAGING_OK);
        for (std::int32_t y = 0; y < 37; ++y)
            for (std::int32_t x = 0; x < 37; ++x) {
                const std::uint32_t v = target.at(x, y);
                ASSERT_LE(std::max({red(v), green(v), blue(v)}), alpha(v))
                    << size << ": " << x << "," << y;
            }
    }
}

TEST(GdiplusDraw, ExtremeShrinksAreRefusedLeavingTheTarget) {
    Session session;
    Picture panorama(40000, 2, false, bgra(0, 0, 255, 255));
    Picture target(100, 2);
    auto p = plain(panorama, VELMORA_IMAGING_BICUBIC);
    p.dest_width = 100;
    ASSERT_EQ(draw(panorama, target, p), VELMORA_IMAGING_OK);
    EXPECT_EQ(target.at(50, 1), bgra(0, 0, 255, 255));
    Picture dot(5, 1, false, bgra(1, 2, 3, 255));
    p.dest_width = 5;
    EXPECT_EQ(draw(panorama, dot, p), VELMORA_IMAGING_TOO_LARGE);
    for (std::int32_t x = 0; x < 5; ++x)
        EXPECT_EQ(dot.at(x, 0), bgra(1, 2, 3, 255));
}

TEST(GdiplusDraw, BadArgumentsAndNoSession) {
    Picture source(2, 2), target(2, 2);
    auto p = plain(source);
    if (velmora_imaging_session_count() == 0) {
        EXPECT_EQ(draw(source, target, p), VELMORA_IMAGING_NO_SESSION);
    }
    Session session;
    p.src_width = 0;
    EXPECT_EQ(draw(source, target, p), VELMORA_IMAGING_BAD_ARGUMENT);
    p = plain(source);
    p.dest_x = NAN;
    EXPECT_EQ(draw(source, target, p), VELMORA_IMAGING_BAD_ARGUMENT);
    p = plain(source);
    p.world[0] = p.world[3] = 0; // collapses everything: nothing drawn
    EXPECT_EQ(draw(source, target, p), VELMORA_IMAGING_OK);
    p = plain(source);
    p.interpolation = 9;
    EXPECT_EQ(draw(source, target, p), VELMORA_IMAGING_BAD_ARGUMENT);
}

} // namespace

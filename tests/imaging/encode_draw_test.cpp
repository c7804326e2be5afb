// Encoding and drawing through the library on libpng and pixman where it
// goes beyond the cases every implementation passes
// (tests/imaging/contract_test.cpp): file permissions kept, the float
// reference of the cubic filter, and draws past pixman's coordinates.

#include "tests/imaging/support.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace imaging_test;

namespace {

// --- encoding ------------------------------------------------------------------------

// Saving over a file: a name another saver may hold beside it is not in the
// way, the old file's permissions stay, and no temporary file is left.
TEST(ImagingEncode, FileReplacementKeepsPermissionsAndUsesAnUnsharedName) {
    Session session;
    Picture p(2, 2, false, bgra(1, 2, 3, 255));
    auto view = p.view();
    const std::filesystem::path folder = temporaryPath("replace");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::filesystem::path target = folder / "x.png";
    { std::ofstream(target) << "old"; }
    std::filesystem::permissions(target, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::owner_write |
                                             std::filesystem::perms::group_read);
    // Another saver's temporary name of the obvious form, held open.
    std::filesystem::create_directory(folder / "x.png.part");

    ASSERT_EQ(velmora_imaging_encode_file(&view, encoderFor("image/png").data(), target.c_str()),
              VELMORA_IMAGING_OK);
    EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
    EXPECT_EQ(readFile(target.string()).size() > 8, true);
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder))
        ++entries;
    EXPECT_EQ(entries, 2) << "the target and the other saver's folder only";
    std::filesystem::remove_all(folder);
}

// --- drawing ---------------------------------------------------------------------------

// The cubic convolution kernel of the high-quality filter (B = C = 1/3).
double mitchell(double x) {
    constexpr double b = 1.0 / 3, c = 1.0 / 3;
    x = std::abs(x);
    if (x < 1)
        return ((12 - 9 * b - 6 * c) * x * x * x + (-18 + 12 * b + 6 * c) * x * x + (6 - 2 * b)) /
               6;
    if (x < 2)
        return ((-b - 6 * c) * x * x * x + (6 * b + 30 * c) * x * x + (-12 * b - 48 * c) * x +
                (8 * b + 24 * c)) /
               6;
    return 0;
}

TEST(ImagingDraw, BicubicEnlargingFollowsAFloatReference) {
    Session session;
    constexpr std::int32_t n = 16;
    Picture source(n, n);
    const auto value = [](std::int32_t x, std::int32_t y) {
        return 128 + 90 * std::sin(x * 0.45) * std::cos(y * 0.3);
    };
    for (std::int32_t y = 0; y < n; ++y)
        for (std::int32_t x = 0; x < n; ++x) {
            const auto v = static_cast<std::uint32_t>(std::lround(value(x, y)));
            source.at(x, y) = bgra(v, 255 - v, v / 2, 255);
        }
    Picture target(2 * n, 2 * n);
    auto p = plain(source, VELMORA_IMAGING_BICUBIC);
    p.dest_width = p.dest_height = 2 * n;
    ASSERT_EQ(draw(source, target, p), VELMORA_IMAGING_OK);
    int worst = 0;
    for (std::int32_t ty = 0; ty < 2 * n; ++ty)
        for (std::int32_t tx = 0; tx < 2 * n; ++tx) {
            const double u = (tx + 0.5) / 2 - 0.5, v = (ty + 0.5) / 2 - 0.5;
            double sum = 0, weights = 0;
            for (int j = static_cast<int>(std::floor(v)) - 2;
                 j <= static_cast<int>(std::floor(v)) + 3; ++j)
                for (int i = static_cast<int>(std::floor(u)) - 2;
                     i <= static_cast<int>(std::floor(u)) + 3; ++i) {
                    const double w = mitchell(u - i) * mitchell(v - j);
                    sum += w * blue(source.at(std::clamp(i, 0, n - 1), std::clamp(j, 0, n - 1)));
                    weights += w;
                }
            const int got = static_cast<int>(blue(target.at(tx, ty)));
            worst = std::max(worst, std::abs(got - static_cast<int>(std::lround(sum / weights))));
            EXPECT_EQ(alpha(target.at(tx, ty)), 255u);
        }
    EXPECT_LE(worst, 2);
}

TEST(ImagingDraw, DrawsPastSixteenBitCoordinatesOrRefuses) {
    Session session;
    // A 40000 x 2 panorama, red then blue, shrunk to 100 pixels.
    Picture panorama(40000, 2);
    for (std::int32_t y = 0; y < 2; ++y)
        for (std::int32_t x = 0; x < 40000; ++x)
            panorama.at(x, y) = x < 20000 ? bgra(0, 0, 255, 255) : bgra(255, 0, 0, 255);
    for (std::int32_t filter : {VELMORA_IMAGING_NEAREST, VELMORA_IMAGING_BICUBIC}) {
        Picture target(100, 2);
        auto p = plain(panorama, filter);
        p.dest_width = 100;
        ASSERT_EQ(draw(panorama, target, p), VELMORA_IMAGING_OK) << filter;
        for (std::int32_t x : {0, 40, 60, 99}) {
            const std::uint32_t v = target.at(x, 1);
            EXPECT_EQ(alpha(v), 255u) << filter << " " << x;
            EXPECT_EQ(x < 50 ? red(v) : blue(v), 255u) << filter << " " << x;
        }
    }

    // Rows keep their order in pieces too, whichever way each buffer lies.
    Picture striped(40000, 2, true);
    for (std::int32_t x = 0; x < 40000; ++x) {
        striped.at(x, 0) = bgra(0, 0, 255, 255);
        striped.at(x, 1) = bgra(0, 255, 0, 255);
    }
    Picture rows(100, 2);
    auto q = plain(striped);
    q.dest_width = 100;
    ASSERT_EQ(draw(striped, rows, q), VELMORA_IMAGING_OK);
    for (std::int32_t x : {0, 70, 99}) {
        EXPECT_EQ(rows.at(x, 0), bgra(0, 0, 255, 255)) << x;
        EXPECT_EQ(rows.at(x, 1), bgra(0, 255, 0, 255)) << x;
    }

    // A target reached past 32767: 2000 pixels stretched twentyfold; the
    // middle of each stretched pixel shows it.
    Picture ramp(2000, 1);
    for (std::int32_t x = 0; x < 2000; ++x)
        ramp.at(x, 0) = bgra(0, static_cast<std::uint32_t>(x % 251), 0, 255);
    Picture wide(40000, 1);
    auto p = plain(ramp);
    p.dest_width = 40000;
    ASSERT_EQ(draw(ramp, wide, p), VELMORA_IMAGING_OK);
    for (std::int32_t k : {0, 499, 500, 1638, 1999})
        EXPECT_EQ(wide.at(20 * k + 10, 0), ramp.at(k, 0)) << k;

    // Each target pixel reading 8000 source pixels is more than a piece
    // holds: refused, and the target is left alone.
    Picture dot(5, 1, false, bgra(1, 2, 3, 255));
    p = plain(panorama, VELMORA_IMAGING_BICUBIC);
    p.dest_width = 5;
    EXPECT_EQ(draw(panorama, dot, p), VELMORA_IMAGING_TOO_LARGE);
    for (std::int32_t x = 0; x < 5; ++x)
        EXPECT_EQ(dot.at(x, 0), bgra(1, 2, 3, 255));

    // A thin picture shrunk and turned: each target pixel's filter would
    // weigh millions of points, nearly all outside the one-pixel-wide
    // picture. Refused at once rather than drawn for minutes.
    Picture thin(1, 44122, false, bgra(0, 0, 255, 255));
    Picture small(32, 32, false, bgra(1, 2, 3, 255));
    auto turned = plain(thin, VELMORA_IMAGING_BICUBIC);
    turned.dest_x = 30, turned.dest_y = 2, turned.dest_width = -25, turned.dest_height = 21;
    // 30 degrees about (16, 16).
    turned.world[0] = 0.866f, turned.world[1] = 0.5f, turned.world[2] = -0.5f;
    turned.world[3] = 0.866f, turned.world[4] = 10.14f, turned.world[5] = -5.86f;
    EXPECT_EQ(draw(thin, small, turned), VELMORA_IMAGING_TOO_LARGE);
    EXPECT_EQ(small.at(16, 16), bgra(1, 2, 3, 255));
}

} // namespace

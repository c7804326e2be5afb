// PNG encoding and drawing through the imaging library.

#include "tests/imaging/support.h"

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <png.h>

using namespace imaging_test;

namespace {

// --- encoding ------------------------------------------------------------------------

std::array<std::uint8_t, 16> pngEncoder() {
    std::array<velmora_imaging_codec, 8> list{};
    const std::int32_t n =
        velmora_imaging_encoders(list.data(), static_cast<std::int32_t>(list.size()));
    for (std::int32_t i = 0; i < n; ++i)
        if (std::string(list[i].mime_type) == "image/png") {
            std::array<std::uint8_t, 16> id{};
            std::memcpy(id.data(), list[i].clsid, 16);
            return id;
        }
    ADD_FAILURE() << "no PNG encoder";
    return {};
}

std::int32_t collect(void* context, const std::uint8_t* bytes, std::size_t size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    out->insert(out->end(), bytes, bytes + size);
    return 0;
}

// libpng's own read, RGBA whatever the file holds.
struct PngRead {
    int colourType = -1;
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
};
PngRead readPng(const std::vector<std::uint8_t>& bytes) {
    PngRead r;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return r;
    r.colourType =
        (image.format & PNG_FORMAT_FLAG_ALPHA) ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB;
    r.width = image.width;
    r.height = image.height;
    image.format = PNG_FORMAT_RGBA;
    r.rgba.resize(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, r.rgba.data(), 0, nullptr);
    return r;
}

TEST(ImagingEncode, PngUnpremultipliesExactlyTopRowFirst) {
    Session session;
    Picture p(3, 2, true);
    p.at(0, 0) = bgra(10, 20, 30, 40);
    p.at(1, 0) = bgra(1, 2, 3, 3);
    p.at(2, 0) = 0;
    p.at(0, 1) = bgra(100, 0, 255, 255);
    p.at(1, 1) = bgra(127, 127, 127, 127);
    p.at(2, 1) = bgra(0, 0, 1, 1);
    const auto id = pngEncoder();
    std::vector<std::uint8_t> bytes;
    auto view = p.view();
    ASSERT_EQ(velmora_imaging_encode_memory(&view, id.data(), collect, &bytes), VELMORA_IMAGING_OK);
    const PngRead r = readPng(bytes);
    ASSERT_EQ(r.colourType, PNG_COLOR_TYPE_RGBA);
    ASSERT_EQ(r.width, 3u);
    const std::vector<std::uint8_t> expected = {
        30 * 255 / 40, 20 * 255 / 40, 10 * 255 / 40, 40,  255, 170, 85,  3, 0, 0, 0, 0, 255, 0,
        100,           255,           255,           255, 255, 127, 255, 0, 0, 1};
    EXPECT_EQ(r.rgba, expected);

    // Opaque pictures are written without alpha, to a file as well.
    Picture opaque(2, 2, false, bgra(1, 2, 3, 255));
    auto opaqueView = opaque.view();
    const std::string path = temporaryPath("opaque.png");
    ASSERT_EQ(velmora_imaging_encode_file(&opaqueView, id.data(), path.c_str()),
              VELMORA_IMAGING_OK);
    EXPECT_EQ(readPng(readFile(path)).colourType, PNG_COLOR_TYPE_RGB);
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));
}

TEST(ImagingEncode, RefusalsLeaveNothingBehind) {
    Session session;
    Picture p(2, 2, false, bgra(1, 2, 3, 255));
    auto view = p.view();
    const std::array<std::uint8_t, 16> unknown{1, 2, 3};
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(velmora_imaging_encode_memory(&view, unknown.data(), collect, &bytes),
              VELMORA_IMAGING_UNKNOWN_ENCODER);
    const std::string nowhere = temporaryPath("no/such/folder/x.png");
    EXPECT_EQ(velmora_imaging_encode_file(&view, pngEncoder().data(), nowhere.c_str()),
              VELMORA_IMAGING_IO_ERROR);
    const auto refuse = [](void*, const std::uint8_t*, std::size_t) -> std::int32_t { return 1; };
    EXPECT_EQ(velmora_imaging_encode_memory(&view, pngEncoder().data(), refuse, nullptr),
              VELMORA_IMAGING_SINK_FAILED);
    velmora_imaging_pixels bad = view;
    bad.stride = 4; // shorter than a row
    EXPECT_EQ(velmora_imaging_encode_memory(&bad, pngEncoder().data(), collect, &bytes),
              VELMORA_IMAGING_BAD_ARGUMENT);
    EXPECT_TRUE(bytes.empty());
}

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

    ASSERT_EQ(velmora_imaging_encode_file(&view, pngEncoder().data(), target.c_str()),
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

TEST(ImagingDraw, ColourMatrices) {
    Session session;
    Picture source(2, 1);
    source.at(0, 0) = bgra(200, 50, 100, 255);
    source.at(1, 0) = bgra(40, 20, 80, 128); // straight 79, 39, 159
    // Grey: every channel wR R + wG G + wB B.
    std::array<float, 25> grey{};
    for (int column = 0; column < 3; ++column) {
        grey[0 * 5 + column] = 0.213f;
        grey[1 * 5 + column] = 0.715f;
        grey[2 * 5 + column] = 0.072f;
    }
    grey[18] = grey[24] = 1;
    // Light +20: 0.2 added to R, G and B.
    std::array<float, 25> light{};
    light[0] = light[6] = light[12] = light[18] = light[24] = 1;
    light[20] = light[21] = light[22] = 0.2f;
    // Opacity 50: alpha halved.
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
    EXPECT_EQ(l.at(0, 0), bgra(251, 101, 151, 255));
    EXPECT_NEAR(red(l.at(1, 0)), (159 + 51) * 128 / 255, 1);

    const Picture o = run(opacity);
    EXPECT_NEAR(alpha(o.at(0, 0)), 127.5, 1);
    EXPECT_NEAR(red(o.at(0, 0)), 100 * 127.5 / 255, 1);
    EXPECT_NEAR(alpha(o.at(1, 0)), 64, 1);
}

TEST(ImagingDraw, SourceOverAndRegions) {
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
            // 128 red over 200 blue: blue x (255 - 128) / 255, rounded.
            EXPECT_EQ(target.at(x, y), inside ? bgra(100, 0, 128, 255) : bgra(200, 0, 0, 255))
                << x << "," << y;
        }
}

TEST(ImagingDraw, NegativeSizesMirror) {
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
                ASSERT_EQ(across.at(x, y), source.at(4 - x, y)) << x << "," << y;
                ASSERT_EQ(down.at(x, y), source.at(x, 2 - y)) << x << "," << y;
            }
    }
}

TEST(ImagingDraw, QuarterTurnsAreExact) {
    Session session;
    constexpr std::int32_t n = 7;
    const Picture source = pattern(n, n, true);
    for (int quarter : {1, 2, 3})
        for (std::int32_t filter : {VELMORA_IMAGING_NEAREST, VELMORA_IMAGING_BICUBIC}) {
            Picture src = source, target(n, n);
            auto p = plain(src, filter);
            const double angle = quarter * M_PI / 2;
            const float c = static_cast<float>(std::cos(angle)),
                        s = static_cast<float>(std::sin(angle));
            const float centre = n / 2.0f;
            // Turn about the centre.
            p.world[0] = c, p.world[1] = s, p.world[2] = -s, p.world[3] = c;
            p.world[4] = centre - c * centre + s * centre;
            p.world[5] = centre - s * centre - c * centre;
            ASSERT_EQ(draw(src, target, p), VELMORA_IMAGING_OK);
            for (std::int32_t y = 0; y < n; ++y)
                for (std::int32_t x = 0; x < n; ++x) {
                    // Where source pixel (x, y) lands.
                    const std::int32_t tx = quarter == 1 ? n - 1 - y : quarter == 2 ? n - 1 - x : y;
                    const std::int32_t ty = quarter == 1 ? x : quarter == 2 ? n - 1 - y : n - 1 - x;
                    ASSERT_EQ(target.at(tx, ty), source.at(x, y))
                        << quarter << " " << filter << " " << x << "," << y;
                }
        }
}

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

TEST(ImagingDraw, CubicSamplesNeverExceedTheirAlpha) {
    // Columns of opaque white, see-through and opaque black: where a
    // negative lobe of the cubic falls on black, it lowers alpha but not
    // the colour the white gives.
    Session session;
    Picture source(8, 8);
    for (std::int32_t y = 0; y < 8; ++y)
        for (std::int32_t x = 0; x < 8; ++x)
            source.at(x, y) = x % 3 == 0   ? bgra(255, 255, 255, 255)
                              : x % 3 == 2 ? bgra(0, 0, 0, 255)
                                           : 0;
    for (const float size : {37.0f, 5.0f}) { // enlarged, shrunk
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

TEST(ImagingDraw, BadArgumentsAndNoSession) {
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

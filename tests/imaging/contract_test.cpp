// The cases every implementation of the imaging interface passes, whatever
// codecs and drawing engine stand underneath: compiled into each
// implementation's test program, which makes and reads the files and says
// how exact a drawn pixel must be (tests/imaging/writers.h).

#include "tests/imaging/support.h"
#include "tests/imaging/writers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <numbers>
#include <string>
#include <zlib.h>

using namespace imaging_test;

namespace {

// --- encoding ------------------------------------------------------------------------

TEST(ImagingEncode, PngUnpremultipliesExactlyTopRowFirst) {
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
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));
}

TEST(ImagingEncode, ReplacingAFileLeavesOnlyTheNewOne) {
    Session session;
    Picture p(2, 2, false, bgra(1, 2, 3, 255));
    auto view = p.view();
    const std::filesystem::path folder = temporaryPath("replace-only");
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

TEST(ImagingEncode, RefusalsLeaveNothingBehind) {
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
    EXPECT_PRED2(drawnAs, l.at(0, 0), bgra(251, 101, 151, 255));
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
            const std::uint32_t v = target.at(x, y);
            if (!inside) {
                EXPECT_EQ(v, bgra(200, 0, 0, 255)) << x << "," << y;
                continue;
            }
            // 128 red over 200 blue: blue x (255 - 128) / 255, rounded.
            EXPECT_PRED2(drawnAs, v, bgra(100, 0, 128, 255)) << x << "," << y;
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
                ASSERT_PRED2(drawnAs, across.at(x, y), source.at(4 - x, y)) << x << "," << y;
                ASSERT_PRED2(drawnAs, down.at(x, y), source.at(x, 2 - y)) << x << "," << y;
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
            const double angle = quarter * std::numbers::pi / 2;
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
                    ASSERT_PRED2(drawnAs, target.at(tx, ty), source.at(x, y))
                        << quarter << " " << filter << " " << x << "," << y;
                }
        }
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

// --- PNG -------------------------------------------------------------------------

Bytes pngWithTransparentColour() {
    return writePng(3, 1, 3, {10, 20, 30, 200, 100, 50, 10, 20, 31}, {0, 10, 0, 20, 0, 30});
}

TEST(ImagingDecode, PngWithTransparentColourAndStraightAlpha) {
    Session session;
    const Decoded d = decode(pngWithTransparentColour());
    ASSERT_EQ(d.status, VELMORA_IMAGING_OK);
    EXPECT_EQ(d.format, VELMORA_IMAGING_FORMAT_PNG);
    EXPECT_EQ(d.picture.at(0, 0), 0u);
    EXPECT_EQ(d.picture.at(1, 0), bgra(50, 100, 200, 255));
    EXPECT_EQ(d.picture.at(2, 0), bgra(31, 20, 10, 255));
    // Straight alpha is premultiplied by the interface's rule, truncated.
    const Decoded rgba = decode(writePng(2, 1, 4, {200, 100, 51, 128, 255, 255, 255, 1}), true);
    ASSERT_EQ(rgba.status, VELMORA_IMAGING_OK);
    EXPECT_EQ(rgba.picture.at(0, 0), bgra(51 * 128 / 255, 100 * 128 / 255, 200 * 128 / 255, 128));
    EXPECT_EQ(rgba.picture.at(1, 0), bgra(1, 1, 1, 1));
}

TEST(ImagingDecode, DamagedPngIsRefusedBeforeAllocating) {
    Session session;
    Bytes cut = pngWithTransparentColour();
    cut.resize(cut.size() - 20);
    EXPECT_EQ(decode(cut).status, VELMORA_IMAGING_DAMAGED);
    // 4000 x 4000 RGBA declared over a few bytes of image data.
    Bytes bomb = writePng(1, 1, 4, {1, 2, 3, 4});
    bomb[16 + 3] = 0xA0, bomb[16 + 2] = 0x0F; // width 4000
    bomb[20 + 3] = 0xA0, bomb[20 + 2] = 0x0F; // height 4000
    const Decoded d = decode(bomb);
    EXPECT_EQ(d.status, VELMORA_IMAGING_DAMAGED);
    EXPECT_EQ(d.allocations, 0);
}

// A file answers as its bytes do in memory, whole or damaged: the same
// status, the same reason, the same pixels and no allocation where the
// bytes get none (the file entry may read the file as it decodes).
TEST(ImagingDecode, PngFilesDecodeAsTheirBytesDo) {
    Session session;
    // Larger than any read of the file at once, in many IDAT chunks.
    const int w = 300, h = 200;
    Bytes samples(static_cast<std::size_t>(w) * h * 3);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::uint8_t>((i * 7919) >> 5 ^ i);
    const Bytes photo = writePng(w, h, 3, samples);
    std::vector<Bytes> files{photo, pngWithTransparentColour()};
    for (const std::size_t keep : {std::size_t{7}, std::size_t{40}, std::size_t{5000},
                                   photo.size() / 2, photo.size() - 12, photo.size() - 1})
        files.emplace_back(photo.begin(), photo.begin() + static_cast<std::ptrdiff_t>(keep));
    Bytes crc = photo;
    crc[photo.size() / 2] ^= 0x10;
    files.push_back(crc);
    Bytes bomb = photo;
    bomb[16 + 1] = 0x01; // width 65836
    files.push_back(bomb);

    const std::string path = temporaryPath("as-bytes.png");
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE("file " + std::to_string(i));
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(files[i].data()),
                   static_cast<std::streamsize>(files[i].size()));
        const Decoded inMemory = decode(files[i], true);
        const char* memoryReason = velmora_imaging_last_reason();
        const Decoded fromFile = decodeFile(path, true);
        const char* fileReason = velmora_imaging_last_reason();
        EXPECT_EQ(fromFile.status, inMemory.status);
        EXPECT_EQ(fromFile.format, inMemory.format);
        EXPECT_EQ(fromFile.allocations, inMemory.allocations);
        EXPECT_EQ(std::string(fileReason ? fileReason : ""),
                  std::string(memoryReason ? memoryReason : ""));
        if (inMemory.status == VELMORA_IMAGING_OK) {
            EXPECT_TRUE(fromFile.picture.memory == inMemory.picture.memory);
        }
    }
    std::filesystem::remove(path);
}

// --- sessions, limits and refusals -----------------------------------------------------

TEST(ImagingLibrary, SessionsAreCountedAndRequired) {
    EXPECT_EQ(velmora_imaging_version(), VELMORA_IMAGING_ABI_VERSION);
    const std::int32_t before = velmora_imaging_session_count();
    const Bytes png = pngWithTransparentColour();
    if (before == 0) {
        EXPECT_EQ(decode(png).status, VELMORA_IMAGING_NO_SESSION);
    }
    std::int32_t a = 0, b = 0;
    ASSERT_EQ(velmora_imaging_startup(&a), VELMORA_IMAGING_OK);
    ASSERT_EQ(velmora_imaging_startup(&b), VELMORA_IMAGING_OK);
    EXPECT_NE(a, 0);
    EXPECT_NE(a, -1);
    EXPECT_NE(a, b);
    EXPECT_EQ(velmora_imaging_session_count(), before + 2);
    EXPECT_EQ(decode(png).status, VELMORA_IMAGING_OK);
    EXPECT_EQ(velmora_imaging_shutdown(a), VELMORA_IMAGING_OK);
    EXPECT_EQ(velmora_imaging_shutdown(a), VELMORA_IMAGING_BAD_ARGUMENT);
    // The other session keeps the system underneath up.
    EXPECT_EQ(decode(png).status, VELMORA_IMAGING_OK);
    EXPECT_EQ(velmora_imaging_shutdown(b), VELMORA_IMAGING_OK);
    EXPECT_EQ(velmora_imaging_session_count(), before);
}

TEST(ImagingLibrary, PixelLimitIsCheckedBeforeAllocating) {
    Session session;
    const Bytes jpeg = smoothJpeg(37, 21);
    const Bytes tiff = rgbTiff(37, 21);
    const Bytes png = writePng(37, 21, 1, Bytes(37 * 21, 7));
    for (const Bytes* data : {&jpeg, &tiff, &png}) {
        velmora_imaging_set_pixel_limit(37 * 21 - 1);
        const Decoded refused = decode(*data);
        EXPECT_EQ(refused.status, VELMORA_IMAGING_TOO_LARGE) << refused.format;
        EXPECT_EQ(refused.allocations, 0);
        velmora_imaging_set_pixel_limit(37 * 21);
        EXPECT_EQ(decode(*data).status, VELMORA_IMAGING_OK) << refused.format;
    }
    velmora_imaging_set_pixel_limit(0);
    EXPECT_EQ(velmora_imaging_pixel_limit(), 0x7FFFFFFFu / 4);

    // A header claiming 65535 x 65535 pixels: refused without memory.
    Bytes huge = {0x89, 'P', 'N', 'G',  0x0D, 0x0A, 0x1A, 0x0A, 0,    0, 0, 13, 'I', 'H', 'D',
                  'R',  0,   0,   0xFF, 0xFF, 0,    0,    0xFF, 0xFF, 8, 6, 0,  0,   0};
    const auto addCrc = [&huge](std::size_t from) {
        const auto crc = static_cast<std::uint32_t>(
            crc32(0, huge.data() + from, static_cast<uInt>(huge.size() - from)));
        for (int s = 24; s >= 0; s -= 8)
            huge.push_back(static_cast<std::uint8_t>(crc >> s));
    };
    addCrc(12);
    const std::size_t idat = huge.size() + 4;
    huge.insert(huge.end(), {0, 0, 0, 0, 'I', 'D', 'A', 'T'});
    addCrc(idat);
    const Decoded big = decode(huge);
    EXPECT_EQ(big.status, VELMORA_IMAGING_TOO_LARGE);
    EXPECT_EQ(big.allocations, 0);
}

TEST(ImagingLibrary, UnknownAndForeignDataIsRefused) {
    Session session;
    EXPECT_EQ(decode(Bytes{'h', 'e', 'l', 'l', 'o'}).status, VELMORA_IMAGING_UNKNOWN_FORMAT);
    EXPECT_EQ(decode({}).status, VELMORA_IMAGING_UNKNOWN_FORMAT);
    const Decoded gif = decode(Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0});
    EXPECT_EQ(gif.status, VELMORA_IMAGING_UNSUPPORTED);
    EXPECT_EQ(gif.format, VELMORA_IMAGING_FORMAT_GIF);
    EXPECT_EQ(decodeFile(temporaryPath("missing.jpg")).status, VELMORA_IMAGING_IO_ERROR);
    EXPECT_EQ(velmora_imaging_decode_memory(nullptr, 4, nullptr, nullptr, nullptr),
              VELMORA_IMAGING_BAD_ARGUMENT);
}

TEST(ImagingLibrary, CodecListsNameJpegTiffAndPng) {
    std::array<velmora_imaging_codec, 32> list{};
    const std::int32_t decoders = velmora_imaging_decoders(list.data(), 32);
    std::string mimes;
    for (std::int32_t i = 0; i < std::min(decoders, 32); ++i)
        mimes += std::string(list[i].mime_type) + " ";
    EXPECT_NE(mimes.find("image/jpeg"), std::string::npos) << mimes;
    EXPECT_NE(mimes.find("image/tiff"), std::string::npos) << mimes;
    EXPECT_NE(mimes.find("image/png"), std::string::npos) << mimes;
    EXPECT_EQ(velmora_imaging_encoders(nullptr, 0), velmora_imaging_encoders(list.data(), 32));
    const std::int32_t encoders = velmora_imaging_encoders(list.data(), 32);
    bool png = false;
    for (std::int32_t i = 0; i < std::min(encoders, 32); ++i)
        if (std::string(list[i].mime_type) == "image/png") {
            png = true;
            EXPECT_NE(std::string(list[i].extensions).find("*.PNG"), std::string::npos);
        }
    EXPECT_TRUE(png);
}

} // namespace

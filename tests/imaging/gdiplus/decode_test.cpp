// Decoding through the system's GDI+: every format against files made
// here (JPEG by the system's own encoder, PNG and TIFF byte by byte),
// damaged data, the pixel limit and sessions.

#include "tests/imaging/gdiplus/files.h"
#include "tests/imaging/support.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace imaging_test;

namespace {

Picture smooth(int width, int height) {
    Picture p(width, height, false);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p.at(x, y) = bgra(160, static_cast<std::uint32_t>(y * 255 / (height - 1)),
                              static_cast<std::uint32_t>(x * 255 / (width - 1)), 255);
    return p;
}

Bytes jpegOf(Picture& p) {
    Bytes out;
    const auto view = p.view();
    EXPECT_EQ(velmora_imaging_encode_memory(&view, encoderFor("image/jpeg").data(), collect, &out),
              VELMORA_IMAGING_OK);
    return out;
}

// --- JPEG ----------------------------------------------------------------------

TEST(GdiplusDecode, JpegComesBackNearItsPixelsInEitherRowOrder) {
    Session session;
    Picture original = smooth(48, 32);
    const Bytes jpeg = jpegOf(original);
    for (bool bottomUp : {false, true}) {
        const Decoded d = decode(jpeg, bottomUp);
        ASSERT_EQ(d.status, VELMORA_IMAGING_OK);
        EXPECT_EQ(d.format, VELMORA_IMAGING_FORMAT_JPEG);
        ASSERT_EQ(d.picture.width, 48);
        ASSERT_EQ(d.picture.height, 32);
        for (int y = 2; y < 30; y += 3)
            for (int x = 2; x < 46; x += 3) {
                const std::uint32_t got = d.picture.at(x, y), want = original.at(x, y);
                ASSERT_NEAR(static_cast<int>(red(got)), static_cast<int>(red(want)), 12)
                    << bottomUp << " " << x << "," << y;
                ASSERT_NEAR(static_cast<int>(green(got)), static_cast<int>(green(want)), 12);
                ASSERT_EQ(alpha(got), 255u);
            }
    }
}

TEST(GdiplusDecode, DamagedJpegIsRefused) {
    Session session;
    Picture original = smooth(48, 32);
    const Bytes jpeg = jpegOf(original);
    for (std::size_t keep : {std::size_t{3}, std::size_t{40}, jpeg.size() / 2, jpeg.size() - 2}) {
        const Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(keep));
        const Decoded d = decode(cut);
        EXPECT_EQ(d.status, VELMORA_IMAGING_DAMAGED) << keep;
        EXPECT_EQ(d.allocations, 0) << keep;
        EXPECT_NE(velmora_imaging_last_reason(), nullptr);
    }
}

// --- TIFF ----------------------------------------------------------------------

std::uint8_t sampleAt(int x, int y, int c) {
    return static_cast<std::uint8_t>((x * 40 + y * 13 + c * 70) & 0xFF);
}
std::uint16_t sample8(int x, int y, int c) {
    return sampleAt(x, y, c);
}

void expectRgb(const Decoded& d, int w, int h, const std::string& what) {
    ASSERT_EQ(d.status, VELMORA_IMAGING_OK) << what;
    EXPECT_EQ(d.format, VELMORA_IMAGING_FORMAT_TIFF);
    ASSERT_EQ(d.picture.width, w);
    ASSERT_EQ(d.picture.height, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(d.picture.at(x, y),
                      bgra(sampleAt(x, y, 2), sampleAt(x, y, 1), sampleAt(x, y, 0), 255))
                << what << " " << x << "," << y;
}

TEST(GdiplusDecode, TiffStripsAndTilesFromMemoryAndFile) {
    Session session;
    for (bool tiled : {false, true})
        for (bool bigEndian : {false, true}) {
            const std::string what = std::string(tiled ? "tiles" : "strips") +
                                     (bigEndian ? " big-endian" : " little-endian");
            const Bytes tiff = writeTiff(37, 21, {.tiled = tiled, .bigEndian = bigEndian}, sample8);
            expectRgb(decode(tiff, tiled), 37, 21, what);
            const std::string path = temporaryPath("picture.tif");
            std::FILE* f = std::fopen(path.c_str(), "wb");
            ASSERT_NE(f, nullptr);
            std::fwrite(tiff.data(), 1, tiff.size(), f);
            std::fclose(f);
            expectRgb(decodeFile(path), 37, 21, what + " from a file");
        }
}

TEST(GdiplusDecode, TiffSampleLayouts) {
    Session session;
    // 16 bits a sample: the high byte counts.
    const auto wide = [](int x, int y, int c) {
        return static_cast<std::uint16_t>(sampleAt(x, y, c) * 257);
    };
    expectRgb(decode(writeTiff(9, 7, {.bits = 16}, wide)), 9, 7, "16-bit");

    const Decoded grey = decode(writeTiff(9, 7, {.samples = 1, .photometric = 1}, sample8));
    ASSERT_EQ(grey.status, VELMORA_IMAGING_OK);
    const std::uint32_t g = sampleAt(4, 3, 0);
    EXPECT_EQ(grey.picture.at(4, 3), bgra(g, g, g, 255));

    const Decoded palette = decode(writeTiff(9, 7, {.samples = 1, .photometric = 3}, sample8));
    ASSERT_EQ(palette.status, VELMORA_IMAGING_OK);
    const std::uint32_t i = sampleAt(5, 2, 0);
    EXPECT_EQ(palette.picture.at(5, 2), bgra(i / 2, 255 - i, i, 255));
}

TEST(GdiplusDecode, TiffAssociatedAndUnassociatedAlpha) {
    Session session;
    // Colour 200 at alpha 100: stored premultiplied (78) or straight (200).
    const auto premultiplied = [](int x, int, int c) {
        return static_cast<std::uint16_t>(c == 3 ? (x == 0 ? 0 : 100)
                                                 : (x == 0 ? 0 : 200 * 100 / 255));
    };
    const auto straight = [](int x, int, int c) {
        return static_cast<std::uint16_t>(c == 3 ? (x == 0 ? 0 : 100) : 200);
    };
    const Decoded a = decode(writeTiff(4, 2, {.samples = 4, .extra = 1}, premultiplied));
    const Decoded u = decode(writeTiff(4, 2, {.samples = 4, .extra = 2}, straight));
    for (const Decoded* d : {&a, &u}) {
        ASSERT_EQ(d->status, VELMORA_IMAGING_OK);
        EXPECT_EQ(d->picture.at(2, 1), bgra(78, 78, 78, 100));
        EXPECT_EQ(d->picture.at(0, 0), 0u);
    }
}

TEST(GdiplusDecode, DamagedTiffIsRefusedBeforeAllocating) {
    Session session;
    const Bytes tiff = writeTiff(37, 21, {}, sample8);
    // Strips first, directory last: every cut loses the directory.
    for (std::size_t keep : {std::size_t{4}, std::size_t{8}, tiff.size() / 2, tiff.size() - 10}) {
        const Bytes cut(tiff.begin(), tiff.begin() + static_cast<std::ptrdiff_t>(keep));
        const Decoded d = decode(cut);
        EXPECT_EQ(d.status, VELMORA_IMAGING_DAMAGED) << keep;
        EXPECT_EQ(d.allocations, 0) << keep;
    }
    EXPECT_EQ(decode(Bytes{'I', 'I', 42, 0, 0xF0, 0xFF, 0xFF, 0x7F}).status,
              VELMORA_IMAGING_DAMAGED);
    // A strip moved past the end of the file: the first strip offset (8)
    // in the array after the pixels.
    Bytes moved = tiff;
    const std::uint8_t first[4] = {8, 0, 0, 0};
    const auto at = std::search(moved.begin() + 8 + 37 * 21 * 3, moved.end(), first, first + 4);
    ASSERT_NE(at, moved.end());
    at[2] = 0x10; // 0x100008
    const Decoded d = decode(moved);
    EXPECT_EQ(d.status, VELMORA_IMAGING_DAMAGED);
    EXPECT_EQ(d.allocations, 0);
}

// --- PNG -------------------------------------------------------------------------

Bytes pngWithTransparentColour() {
    return writePng(3, 1, 3, {10, 20, 30, 200, 100, 50, 10, 20, 31}, {0, 10, 0, 20, 0, 30});
}

TEST(GdiplusDecode, PngWithTransparentColourAndStraightAlpha) {
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

TEST(GdiplusDecode, DamagedPngIsRefusedBeforeAllocating) {
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

// --- sessions, limits and refusals -----------------------------------------------------

TEST(GdiplusLibrary, SessionsAreCountedAndRequired) {
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
    // The other session keeps GDI+ up.
    EXPECT_EQ(decode(png).status, VELMORA_IMAGING_OK);
    EXPECT_EQ(velmora_imaging_shutdown(b), VELMORA_IMAGING_OK);
    EXPECT_EQ(velmora_imaging_session_count(), before);
}

TEST(GdiplusLibrary, PixelLimitIsCheckedBeforeAllocating) {
    Session session;
    Picture original = smooth(37, 21);
    const Bytes jpeg = jpegOf(original);
    const Bytes tiff = writeTiff(37, 21, {}, sample8);
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
}

TEST(GdiplusLibrary, UnknownAndForeignDataIsRefused) {
    Session session;
    EXPECT_EQ(decode(Bytes{'h', 'e', 'l', 'l', 'o'}).status, VELMORA_IMAGING_UNKNOWN_FORMAT);
    EXPECT_EQ(decode({}).status, VELMORA_IMAGING_UNKNOWN_FORMAT);
    const Decoded gif = decode(Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0});
    EXPECT_EQ(gif.status, VELMORA_IMAGING_UNSUPPORTED);
    EXPECT_EQ(gif.format, VELMORA_IMAGING_FORMAT_GIF);
    const Decoded webp = decode(Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'E', 'B', 'P'});
    EXPECT_EQ(webp.status, VELMORA_IMAGING_UNSUPPORTED);
    EXPECT_EQ(webp.format, VELMORA_IMAGING_FORMAT_WEBP);
    EXPECT_EQ(decodeFile(temporaryPath("missing.jpg")).status, VELMORA_IMAGING_IO_ERROR);
    EXPECT_EQ(velmora_imaging_decode_memory(nullptr, 4, nullptr, nullptr, nullptr),
              VELMORA_IMAGING_BAD_ARGUMENT);
}

TEST(GdiplusLibrary, CodecListsNameTheSystemsCodecs) {
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

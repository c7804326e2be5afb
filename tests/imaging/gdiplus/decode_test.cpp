// Decoding through the system's GDI+: JPEG and TIFF against files made
// here (JPEG by the system's own encoder, TIFF byte by byte) and damaged
// data. The cases every implementation passes are in
// tests/imaging/contract_test.cpp.

#include "tests/imaging/gdiplus/files.h"
#include "tests/imaging/support.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace imaging_test;

namespace {

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

// --- refusals -------------------------------------------------------------------

TEST(GdiplusLibrary, WebpIsUnsupported) {
    Session session;
    const Decoded webp = decode(Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'E', 'B', 'P'});
    EXPECT_EQ(webp.status, VELMORA_IMAGING_UNSUPPORTED);
    EXPECT_EQ(webp.format, VELMORA_IMAGING_FORMAT_WEBP);
}

} // namespace

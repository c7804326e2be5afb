// Decoding through the imaging library: sessions, every format against
// files written here by the formats' own libraries (and, for JPEG, against
// an independent decode), damaged data and the pixel limit.

#include "imaging/src/test_seam.h"
#include "tests/imaging/support.h"
#include "tests/imaging/writers.h"
#include "tests/support/jpeg_file.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <tiffio.h>
#include <utility>
#include <webp/encode.h>

using namespace imaging_test;
using testjpeg::writeJpeg;

namespace {

// --- JPEG ----------------------------------------------------------------------

// libjpeg's own decode to RGB (or grey), the yardstick.
std::vector<std::uint8_t> readJpeg(const std::vector<std::uint8_t>& bytes, int& components) {
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, bytes.data(), bytes.size());
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    components = d.output_components;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(d.output_width) * d.output_height *
                                  components);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row =
            out.data() + static_cast<std::size_t>(d.output_scanline) * d.output_width * components;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return out;
}

std::vector<std::uint8_t> smoothRgb(int width, int height) {
    std::vector<std::uint8_t> s;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            s.push_back(static_cast<std::uint8_t>(x * 255 / (width - 1)));
            s.push_back(static_cast<std::uint8_t>(y * 255 / (height - 1)));
            s.push_back(static_cast<std::uint8_t>(128 + 60 * std::sin((x + y) * 0.2)));
        }
    return s;
}

void expectMatchesIndependentDecode(const std::vector<std::uint8_t>& jpeg, bool bottomUp) {
    int components = 0;
    const auto expected = readJpeg(jpeg, components);
    const Decoded d = decode(jpeg, bottomUp);
    ASSERT_EQ(d.status, VELMORA_IMAGING_OK);
    EXPECT_EQ(d.format, VELMORA_IMAGING_FORMAT_JPEG);
    const Picture& p = d.picture;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const std::uint8_t* e =
                expected.data() + (static_cast<std::size_t>(y) * p.width + x) * components;
            const std::uint32_t v = p.at(x, y);
            const std::uint32_t r = e[0], g = e[components == 1 ? 0 : 1],
                                b = e[components == 1 ? 0 : 2];
            ASSERT_EQ(v, bgra(b, g, r, 255)) << "at " << x << "," << y;
        }
}

TEST(ImagingDecode, JpegMatchesAnIndependentDecode) {
    Session session;
    const auto samples = smoothRgb(37, 21);
    expectMatchesIndependentDecode(writeJpeg(37, 21, samples, {}), false);
    expectMatchesIndependentDecode(writeJpeg(37, 21, samples, {.progressive = true}), true);
    // Known pixels survive quality 100 closely.
    const Decoded d = decode(writeJpeg(37, 21, samples, {}));
    ASSERT_EQ(d.status, VELMORA_IMAGING_OK);
    EXPECT_NEAR(static_cast<int>(red(d.picture.at(36, 0))), 255, 8);
    EXPECT_NEAR(static_cast<int>(green(d.picture.at(0, 20))), 255, 8);
}

TEST(ImagingDecode, GreyscaleJpegGivesGreyPixels) {
    Session session;
    std::vector<std::uint8_t> grey;
    for (int i = 0; i < 16 * 8; ++i)
        grey.push_back(static_cast<std::uint8_t>(i * 2));
    const auto jpeg = writeJpeg(16, 8, grey, {.space = JCS_GRAYSCALE, .components = 1});
    expectMatchesIndependentDecode(jpeg, false);
}

TEST(ImagingDecode, CmykJpegWithAndWithoutAdobeInversion) {
    Session session;
    // Two 8x8 blocks: pure cyan ink and no ink at all (white).
    const auto cmyk = [](bool inverted) {
        std::vector<std::uint8_t> s;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x) {
                const std::uint8_t ink[4] = {static_cast<std::uint8_t>(x < 8 ? 255 : 0), 0, 0, 0};
                for (std::uint8_t v : ink)
                    s.push_back(inverted ? static_cast<std::uint8_t>(255 - v) : v);
            }
        return s;
    };
    for (bool adobe : {true, false}) {
        const auto jpeg =
            writeJpeg(16, 8, cmyk(adobe), {.space = JCS_CMYK, .components = 4, .adobe = adobe});
        const Decoded d = decode(jpeg);
        ASSERT_EQ(d.status, VELMORA_IMAGING_OK) << adobe;
        const std::uint32_t cyan = d.picture.at(3, 3), white = d.picture.at(12, 3);
        EXPECT_LE(red(cyan), 4u) << adobe;
        EXPECT_GE(green(cyan), 251u) << adobe;
        EXPECT_GE(blue(cyan), 251u) << adobe;
        EXPECT_GE(red(white), 251u) << adobe;
        EXPECT_EQ(alpha(cyan), 255u);
    }
}

TEST(ImagingDecode, DamagedJpegIsRefused) {
    Session session;
    auto jpeg = writeJpeg(37, 21, smoothRgb(37, 21), {});
    for (std::size_t keep : {std::size_t{3}, std::size_t{40}, jpeg.size() / 2, jpeg.size() - 2}) {
        const std::vector<std::uint8_t> cut(jpeg.begin(),
                                            jpeg.begin() + static_cast<std::ptrdiff_t>(keep));
        EXPECT_EQ(decode(cut).status, VELMORA_IMAGING_DAMAGED) << keep;
    }
}

// --- TIFF ----------------------------------------------------------------------

struct TiffLayout {
    std::uint16_t samples = 3;
    std::uint16_t bits = 8;
    std::uint16_t photometric = PHOTOMETRIC_RGB;
    std::uint16_t compression = COMPRESSION_NONE;
    std::uint16_t extra = 0; // EXTRASAMPLE_ value when samples carry alpha
    bool tiled = false;
};

// The sample value of channel `c` at (x, y) for 8-bit layouts.
std::uint8_t sampleAt(int x, int y, int c) {
    return static_cast<std::uint8_t>((x * 40 + y * 13 + c * 70) & 0xFF);
}

std::string writeTiff(const std::string& name, int w, int h, const TiffLayout& l,
                      const std::function<std::uint16_t(int, int, int)>& sample) {
    const std::string path = temporaryPath(name);
    TIFF* t = TIFFOpen(path.c_str(), "w");
    EXPECT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, l.samples);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, l.bits);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, l.photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, l.compression);
    if (l.compression == COMPRESSION_JPEG) TIFFSetField(t, TIFFTAG_JPEGQUALITY, 100);
    if (l.extra != 0) {
        std::uint16_t extra = l.extra;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (l.photometric == PHOTOMETRIC_PALETTE) {
        static std::uint16_t r[256], g[256], b[256];
        for (int i = 0; i < 256; ++i) {
            r[i] = static_cast<std::uint16_t>(i * 257);
            g[i] = static_cast<std::uint16_t>((255 - i) * 257);
            b[i] = static_cast<std::uint16_t>((i / 2) * 257);
        }
        TIFFSetField(t, TIFFTAG_COLORMAP, r, g, b);
    }
    const int bytes = l.bits / 8;
    const auto put = [&](std::vector<std::uint8_t>& buf, std::size_t at, std::uint16_t v) {
        if (bytes == 1)
            buf[at] = static_cast<std::uint8_t>(v);
        else
            std::memcpy(&buf[at * 2], &v, 2);
    };
    if (l.tiled) {
        constexpr int kTile = 16;
        TIFFSetField(t, TIFFTAG_TILEWIDTH, kTile);
        TIFFSetField(t, TIFFTAG_TILELENGTH, kTile);
        std::vector<std::uint8_t> tile(static_cast<std::size_t>(kTile) * kTile * l.samples * bytes);
        for (int ty = 0; ty < h; ty += kTile)
            for (int tx = 0; tx < w; tx += kTile) {
                std::fill(tile.begin(), tile.end(), 0);
                for (int y = 0; y < kTile; ++y)
                    for (int x = 0; x < kTile; ++x)
                        for (int c = 0; c < l.samples; ++c)
                            if (tx + x < w && ty + y < h)
                                put(tile, (static_cast<std::size_t>(y) * kTile + x) * l.samples + c,
                                    sample(tx + x, ty + y, c));
                TIFFWriteTile(t, tile.data(), static_cast<std::uint32_t>(tx),
                              static_cast<std::uint32_t>(ty), 0, 0);
            }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 8);
        std::vector<std::uint8_t> row(static_cast<std::size_t>(w) * l.samples * bytes);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < l.samples; ++c)
                    put(row, static_cast<std::size_t>(x) * l.samples + c, sample(x, y, c));
            TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0);
        }
    }
    TIFFClose(t);
    return path;
}

std::uint16_t sample8(int x, int y, int c) {
    return sampleAt(x, y, c);
}

void expectRgb(const Decoded& d, int w, int h, int tolerance, const std::string& what) {
    ASSERT_EQ(d.status, VELMORA_IMAGING_OK) << what;
    EXPECT_EQ(d.format, VELMORA_IMAGING_FORMAT_TIFF);
    ASSERT_EQ(d.picture.width, w);
    ASSERT_EQ(d.picture.height, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t v = d.picture.at(x, y);
            ASSERT_NEAR(static_cast<int>(red(v)), sampleAt(x, y, 0), tolerance)
                << what << " " << x << "," << y;
            ASSERT_NEAR(static_cast<int>(green(v)), sampleAt(x, y, 1), tolerance) << what;
            ASSERT_NEAR(static_cast<int>(blue(v)), sampleAt(x, y, 2), tolerance) << what;
            ASSERT_EQ(alpha(v), 255u) << what;
        }
}

TEST(ImagingDecode, TiffStripsAndTilesUnderEveryCompression) {
    Session session;
    const std::pair<std::uint16_t, const char*> compressions[] = {
        {COMPRESSION_NONE, "none"},
        {COMPRESSION_LZW, "lzw"},
        {COMPRESSION_ADOBE_DEFLATE, "deflate"},
        {COMPRESSION_PACKBITS, "packbits"}};
    for (const auto& [compression, name] : compressions)
        for (bool tiled : {false, true}) {
            const std::string what = std::string(name) + (tiled ? " tiles" : " strips");
            const auto path = writeTiff(what + ".tif", 37, 21,
                                        {.compression = compression, .tiled = tiled}, sample8);
            expectRgb(decodeFile(path, tiled), 37, 21, 0, what);
            expectRgb(decode(readFile(path)), 37, 21, 0, what + " in memory");
        }
    // JPEG inside TIFF: smooth content, near the samples.
    const auto smooth = [](int x, int y, int c) {
        return static_cast<std::uint16_t>(c == 0 ? x * 6 : c == 1 ? y * 10 : 128);
    };
    const auto path = writeTiff("jpeg.tif", 40, 24, {.compression = COMPRESSION_JPEG}, smooth);
    const Decoded d = decodeFile(path);
    ASSERT_EQ(d.status, VELMORA_IMAGING_OK);
    for (int y = 0; y < 24; y += 5)
        for (int x = 0; x < 40; x += 7) {
            EXPECT_NEAR(static_cast<int>(red(d.picture.at(x, y))), x * 6, 4);
            EXPECT_NEAR(static_cast<int>(green(d.picture.at(x, y))), y * 10, 4);
        }
}

TEST(ImagingDecode, TiffSampleLayouts) {
    Session session;
    // 16 bits a sample: the high byte counts.
    const auto wide = [](int x, int y, int c) {
        return static_cast<std::uint16_t>(sampleAt(x, y, c) * 257);
    };
    expectRgb(decodeFile(writeTiff("rgb16.tif", 9, 7, {.bits = 16}, wide)), 9, 7, 0, "16-bit");

    const Decoded grey = decodeFile(writeTiff(
        "grey.tif", 9, 7, {.samples = 1, .photometric = PHOTOMETRIC_MINISBLACK}, sample8));
    ASSERT_EQ(grey.status, VELMORA_IMAGING_OK);
    EXPECT_EQ(grey.picture.at(4, 3),
              bgra(sampleAt(4, 3, 0), sampleAt(4, 3, 0), sampleAt(4, 3, 0), 255));

    const Decoded palette = decodeFile(writeTiff(
        "palette.tif", 9, 7, {.samples = 1, .photometric = PHOTOMETRIC_PALETTE}, sample8));
    ASSERT_EQ(palette.status, VELMORA_IMAGING_OK);
    const std::uint32_t i = sampleAt(5, 2, 0);
    EXPECT_EQ(palette.picture.at(5, 2), bgra(i / 2, 255 - i, i, 255));
}

TEST(ImagingDecode, TiffAssociatedAndUnassociatedAlpha) {
    Session session;
    // Colour 200 at alpha 100: stored premultiplied (78) or straight (200).
    const auto premultiplied = [](int x, int, int c) {
        return static_cast<std::uint16_t>(c == 3 ? (x == 0 ? 0 : 100)
                                                 : (x == 0 ? 0 : 200 * 100 / 255));
    };
    const auto straight = [](int x, int, int c) {
        return static_cast<std::uint16_t>(c == 3 ? (x == 0 ? 0 : 100) : 200);
    };
    const Decoded a = decodeFile(writeTiff(
        "assoc.tif", 4, 2, {.samples = 4, .extra = EXTRASAMPLE_ASSOCALPHA}, premultiplied));
    const Decoded u = decodeFile(
        writeTiff("unassoc.tif", 4, 2, {.samples = 4, .extra = EXTRASAMPLE_UNASSALPHA}, straight));
    for (const Decoded* d : {&a, &u}) {
        ASSERT_EQ(d->status, VELMORA_IMAGING_OK);
        EXPECT_EQ(d->picture.at(2, 1), bgra(78, 78, 78, 100));
        EXPECT_EQ(d->picture.at(0, 0), 0u);
    }
}

TEST(ImagingDecode, DamagedTiffIsRefused) {
    Session session;
    const auto bytes =
        readFile(writeTiff("cut.tif", 37, 21, {.compression = COMPRESSION_LZW}, sample8));
    // Strips written first, directory last: every cut loses the directory.
    for (std::size_t keep : {std::size_t{4}, std::size_t{8}, bytes.size() / 2, bytes.size() - 10}) {
        const std::vector<std::uint8_t> cut(bytes.begin(),
                                            bytes.begin() + static_cast<std::ptrdiff_t>(keep));
        const Decoded d = decode(cut);
        EXPECT_NE(d.status, VELMORA_IMAGING_OK) << keep;
    }
    // A first directory pointing outside the file.
    std::vector<std::uint8_t> wild = {'I', 'I', 42, 0, 0xF0, 0xFF, 0xFF, 0x7F};
    EXPECT_EQ(decode(wild).status, VELMORA_IMAGING_DAMAGED);
}

// --- WebP ----------------------------------------------------------------

TEST(ImagingDecode, LosslessWebpWithAlphaIsPremultiplied) {
    Session session;
    const std::uint8_t rgba[] = {200, 100, 50, 255, 200, 100, 50,  128,
                                 9,   9,   9,  0,   255, 255, 255, 1};
    std::uint8_t* out = nullptr;
    const std::size_t size = WebPEncodeLosslessRGBA(rgba, 2, 2, 8, &out);
    ASSERT_GT(size, 0u);
    const std::vector<std::uint8_t> bytes(out, out + size);
    WebPFree(out);
    // The header's alpha flag is only a hint: a file that clears it still
    // carries its alpha, and is premultiplied all the same.
    ASSERT_EQ(std::string(bytes.begin() + 12, bytes.begin() + 16), "VP8L");
    std::vector<std::uint8_t> unhinted = bytes;
    unhinted[24] &= ~0x10;
    using Case = std::pair<const std::vector<std::uint8_t>*, bool>;
    for (const auto& [file, bottomUp] :
         {Case{&bytes, false}, Case{&bytes, true}, Case{&unhinted, false}}) {
        const Decoded d = decode(*file, bottomUp);
        ASSERT_EQ(d.status, VELMORA_IMAGING_OK);
        EXPECT_EQ(d.format, VELMORA_IMAGING_FORMAT_WEBP);
        EXPECT_EQ(d.picture.at(0, 0), bgra(50, 100, 200, 255));
        EXPECT_EQ(d.picture.at(1, 0), bgra(50 * 128 / 255, 100 * 128 / 255, 200 * 128 / 255, 128));
        EXPECT_EQ(d.picture.at(0, 1), 0u);
        EXPECT_EQ(d.picture.at(1, 1), bgra(1, 1, 1, 1));
    }
    const std::vector<std::uint8_t> cut(bytes.begin(), bytes.end() - 6);
    EXPECT_EQ(decode(cut).status, VELMORA_IMAGING_DAMAGED);
}

TEST(ImagingDecode, LossyWebpDecodes) {
    Session session;
    std::vector<std::uint8_t> rgb(32 * 16 * 3, 0);
    for (std::size_t i = 0; i < rgb.size(); i += 3)
        rgb[i] = 220;
    std::uint8_t* out = nullptr;
    const std::size_t size = WebPEncodeRGB(rgb.data(), 32, 16, 96, 90, &out);
    const std::vector<std::uint8_t> bytes(out, out + size);
    WebPFree(out);
    const Decoded d = decode(bytes);
    ASSERT_EQ(d.status, VELMORA_IMAGING_OK);
    EXPECT_NEAR(static_cast<int>(red(d.picture.at(10, 10))), 220, 6);
    EXPECT_EQ(alpha(d.picture.at(10, 10)), 255u);
}

// --- libraries loaded at run time ------------------------------------------------------

std::int32_t decodeOn(const char* soname, const std::vector<std::uint8_t>& bytes,
                      Picture& picture) {
    const velmora_imaging_allocate allocate = [](void* context, std::int32_t width,
                                                 std::int32_t height,
                                                 velmora_imaging_pixels* out) -> std::int32_t {
        auto* target = static_cast<Picture*>(context);
        *target = Picture(width, height);
        *out = target->view();
        return 0;
    };
    return velmora_imaging_test_decode_memory_on(soname, bytes.data(), bytes.size(), allocate,
                                                 &picture);
}

// A reader decodes through its library loaded by name; without that library
// it refuses its files as a variant not decoded here, with a reason, and
// asks for no memory.
TEST(ImagingLibrary, ReaderWithoutItsLibraryRefusesItsFormat) {
    const std::uint8_t rgba[] = {200, 100, 50, 255, 9, 9, 9, 255};
    std::uint8_t* out = nullptr;
    const std::size_t size = WebPEncodeLosslessRGBA(rgba, 2, 1, 8, &out);
    ASSERT_GT(size, 0u);
    const std::vector<std::uint8_t> webp(out, out + size);
    WebPFree(out);
    const std::pair<const char*, std::vector<std::uint8_t>> cases[] = {
        {"libjpeg.so.62", smoothJpeg(16, 8)},
        {"libtiff.so.6", rgbTiff(16, 8)},
        {"libwebp.so.7", webp},
    };
    for (const auto& [soname, bytes] : cases) {
        Picture decoded;
        EXPECT_EQ(decodeOn(soname, bytes, decoded), VELMORA_IMAGING_OK) << soname;
        EXPECT_GT(decoded.width, 0) << soname;
        Picture none;
        EXPECT_EQ(decodeOn("libvelmora-absent.so.0", bytes, none), VELMORA_IMAGING_UNSUPPORTED)
            << soname;
        EXPECT_EQ(none.width, 0) << soname;
        const char* reason = velmora_imaging_last_reason();
        ASSERT_NE(reason, nullptr) << soname;
        EXPECT_NE(std::string(reason).find("unavailable"), std::string::npos) << reason;
    }
}

// --- sessions, limits and refusals -----------------------------------------------------

TEST(ImagingLibrary, BrokenStartupStartsNoSession) {
    const std::int32_t before = velmora_imaging_session_count();
    velmora_imaging_test_break_startup(1);
    std::int32_t broken = 77;
    EXPECT_EQ(velmora_imaging_startup(&broken), VELMORA_IMAGING_INIT_FAILED);
    EXPECT_EQ(broken, 0);
    velmora_imaging_test_break_startup(0);
    EXPECT_EQ(velmora_imaging_session_count(), before);
}

} // namespace

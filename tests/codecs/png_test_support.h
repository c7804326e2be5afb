#pragma once
// Helpers for the PNG writer tests: build surfaces, walk the chunks of a
// written PNG, undo its filters, and decode it independently (with libpng;
// on Windows with the system's own codec).

#include "dib/c32bppdib.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#ifdef _WIN32
#include "tests/support/system_codecs.h"
#else
#include <png.h>
#endif
#include <string>
#include <vector>
#include <zlib.h>

namespace pngtest {

struct Bgra {
    std::uint8_t b, g, r, a;
};

inline void setPixel(c32bppDIB& s, int x, int y, Bgra p) {
    std::uint8_t* d = s.row(y) + x * 4;
    d[0] = p.b;
    d[1] = p.g;
    d[2] = p.r;
    d[3] = p.a;
}

inline Bgra pixel(const c32bppDIB& s, int x, int y) {
    const std::uint8_t* d = s.row(y) + x * 4;
    return {d[0], d[1], d[2], d[3]};
}

// A premultiplied pixel from a straight colour.
inline Bgra premultiplied(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    return {static_cast<std::uint8_t>(b * a / 255), static_cast<std::uint8_t>(g * a / 255),
            static_cast<std::uint8_t>(r * a / 255), a};
}

inline std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

struct Chunk {
    std::string type;
    std::vector<std::uint8_t> data;
};

// The chunks in file order; nullopt when the signature, a length or a CRC
// is wrong or bytes follow IEND.
inline std::optional<std::vector<Chunk>> chunks(const std::vector<std::uint8_t>& png) {
    static const std::uint8_t signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    if (png.size() < 8 || std::memcmp(png.data(), signature, 8) != 0) return std::nullopt;
    std::vector<Chunk> list;
    std::size_t at = 8;
    while (at < png.size()) {
        if (png.size() - at < 12) return std::nullopt;
        const std::uint32_t length = be32(&png[at]);
        if (png.size() - at - 12 < length) return std::nullopt;
        const std::uint8_t* typeAndData = &png[at + 4];
        const auto crc = static_cast<std::uint32_t>(::crc32(0, typeAndData, length + 4));
        if (crc != be32(typeAndData + 4 + length)) return std::nullopt;
        list.push_back({std::string(reinterpret_cast<const char*>(typeAndData), 4),
                        std::vector<std::uint8_t>(typeAndData + 4, typeAndData + 4 + length)});
        at += 12 + length;
        if (list.back().type == "IEND" && at != png.size()) return std::nullopt;
    }
    return list;
}

inline std::string chunkTypes(const std::vector<Chunk>& list) {
    std::string out;
    for (const Chunk& c : list)
        out += (out.empty() ? "" : " ") + c.type;
    return out;
}

inline const Chunk* find(const std::vector<Chunk>& list, const std::string& type) {
    for (const Chunk& c : list)
        if (c.type == type) return &c;
    return nullptr;
}

struct Header {
    std::uint32_t width = 0, height = 0;
    int bitDepth = 0, colourType = -1, interlace = -1;
};

inline Header header(const std::vector<Chunk>& list) {
    const std::vector<std::uint8_t>& d = list.at(0).data;
    return {be32(&d[0]), be32(&d[4]), d[8], d[9], d[12]};
}

// The inflated IDAT stream (the filtered rows).
inline std::vector<std::uint8_t> inflated(const std::vector<Chunk>& list, std::size_t expected) {
    const Chunk* idat = find(list, "IDAT");
    if (!idat) return {};
    std::vector<std::uint8_t> out(expected + 1);
    uLongf length = out.size();
    if (::uncompress(out.data(), &length, idat->data.data(), idat->data.size()) != Z_OK) return {};
    out.resize(length);
    return out;
}

// The samples of each row with the filters undone, top row first.
inline std::vector<std::vector<std::uint8_t>> unfiltered(const std::vector<std::uint8_t>& data,
                                                         std::size_t rows, std::size_t length,
                                                         std::size_t bpp) {
    std::vector<std::vector<std::uint8_t>> out(rows, std::vector<std::uint8_t>(length));
    std::vector<std::uint8_t> zero(length, 0);
    for (std::size_t y = 0; y < rows; ++y) {
        const std::uint8_t* in = &data.at(y * (length + 1));
        const std::vector<std::uint8_t>& up = y ? out[y - 1] : zero;
        std::vector<std::uint8_t>& cur = out[y];
        for (std::size_t i = 0; i < length; ++i) {
            const int a = i >= bpp ? cur[i - bpp] : 0, b = up[i], c = i >= bpp ? up[i - bpp] : 0;
            int pred = 0;
            switch (in[0]) {
            case 1:
                pred = a;
                break;
            case 2:
                pred = b;
                break;
            case 3:
                pred = (a + b) / 2;
                break;
            case 4: {
                const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b),
                          pc = std::abs(p - c);
                pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                break;
            }
            default:
                break;
            }
            cur[i] = static_cast<std::uint8_t>(in[1 + i] + pred);
        }
    }
    return out;
}

// Straight RGBA, top row first, as an independent decoder reads the file.
struct Decoded {
    bool ok = false;
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
    std::string message;
};

#ifdef _WIN32
inline Decoded decodeIndependently(const std::vector<std::uint8_t>& png) {
    testsystem::Decoded system = testsystem::decodePng(png, testsystem::SampleOrder::Rgba);
    return {system.ok, system.width, system.height, std::move(system.pixels),
            std::move(system.message)};
}
#else
inline Decoded decodeIndependently(const std::vector<std::uint8_t>& png) {
    Decoded out;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) {
        out.message = image.message;
        return out;
    }
    image.format = PNG_FORMAT_RGBA;
    out.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr)) {
        out.message = image.message;
        png_image_free(&image);
        return out;
    }
    out.ok = true;
    out.width = image.width;
    out.height = image.height;
    return out;
}
#endif

// What must come back for a surface pixel: straight colour and alpha; the
// colour of a fully transparent pixel carries nothing and reads as 0.
inline std::array<std::uint8_t, 4> expectedRgba(Bgra p, bool alphaFlag) {
    if (!alphaFlag || p.a == 255) return {p.r, p.g, p.b, 255};
    if (p.a == 0) return {0, 0, 0, 0};
    return {static_cast<std::uint8_t>(p.r * 255 / p.a), static_cast<std::uint8_t>(p.g * 255 / p.a),
            static_cast<std::uint8_t>(p.b * 255 / p.a), p.a};
}

// The first pixel whose decoded value differs from what the rules say, as
// text; empty when every pixel matches.
inline std::string firstMismatch(const c32bppDIB& s, const Decoded& d) {
    if (!d.ok) return "the independent decoder failed: " + d.message;
    if (d.width != static_cast<std::uint32_t>(s.Width()) ||
        d.height != static_cast<std::uint32_t>(s.Height()))
        return "size differs";
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x) {
            auto want = expectedRgba(pixel(s, x, y), s.Alpha());
            const std::uint8_t* got = &d.rgba[(static_cast<std::size_t>(y) * s.Width() + x) * 4];
            std::array<std::uint8_t, 4> have{got[0], got[1], got[2], got[3]};
            if (have[3] == 0) have = {0, 0, 0, 0};
            if (have != want)
                return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + "): got " +
                       std::to_string(have[0]) + "," + std::to_string(have[1]) + "," +
                       std::to_string(have[2]) + "," + std::to_string(have[3]) + " want " +
                       std::to_string(want[0]) + "," + std::to_string(want[1]) + "," +
                       std::to_string(want[2]) + "," + std::to_string(want[3]);
        }
    return {};
}

// What our own reader must give back for a surface pixel after a PNG save:
// the straight colour the file holds, premultiplied again with the same
// truncating division, so a soft-alpha colour may come back a step lower.
inline Bgra expectedReload(Bgra p, bool alphaFlag) {
    const auto rgba = expectedRgba(p, alphaFlag);
    const unsigned a = rgba[3];
    return {static_cast<std::uint8_t>(rgba[2] * a / 255),
            static_cast<std::uint8_t>(rgba[1] * a / 255),
            static_cast<std::uint8_t>(rgba[0] * a / 255), static_cast<std::uint8_t>(a)};
}

// The first pixel of `reloaded` (read back by our reader) that differs from
// what the writer's rules promise for `original`; empty when all match.
inline std::string firstReloadMismatch(const c32bppDIB& original, const c32bppDIB& reloaded) {
    if (reloaded.Handle() == 0) return "our reader produced no image";
    if (reloaded.Width() != original.Width() || reloaded.Height() != original.Height())
        return "size differs";
    for (int y = 0; y < original.Height(); ++y)
        for (int x = 0; x < original.Width(); ++x) {
            const Bgra want = expectedReload(pixel(original, x, y), original.Alpha());
            const Bgra have = pixel(reloaded, x, y);
            if (std::memcmp(&want, &have, 4) != 0)
                return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + "): got " +
                       std::to_string(have.b) + "," + std::to_string(have.g) + "," +
                       std::to_string(have.r) + "," + std::to_string(have.a) + " want " +
                       std::to_string(want.b) + "," + std::to_string(want.g) + "," +
                       std::to_string(want.r) + "," + std::to_string(want.a) + " (BGRA)";
        }
    return {};
}

} // namespace pngtest

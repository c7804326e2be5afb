// Builds a surface from the input bytes, saves it as PNG and as a bitmap
// file, and checks what came out: the chunk layout and CRCs, the inflated
// rows and their filters, and that every pixel reads back as the writer's
// rules promise. Any disagreement stops the run.
//
// Input: width - 1, height - 1 (each modulo 64), a mode byte, then pixel
// bytes used cyclically. Mode bit 0: the Alpha flag; bit 1: keep the bytes
// as they are (possibly not premultiplied) instead of premultiplying them;
// bits 2-3: 0 any colour, 1 few colours, 2 grey, 3 grey or transparent.

#include "codecs/cpngwriter.h"
#include "dib/c32bppdib.h"
#include "platform/zlib/zlib_binding.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

struct Chunk {
    char type[5] = {};
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

std::vector<Chunk> walk(const std::vector<std::uint8_t>& png, const platform::ZlibBinding& z) {
    static const std::uint8_t signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    require(png.size() >= 8 && std::memcmp(png.data(), signature, 8) == 0);
    std::vector<Chunk> list;
    std::size_t at = 8;
    while (at < png.size()) {
        require(png.size() - at >= 12);
        const std::uint32_t length = be32(&png[at]);
        require(png.size() - at - 12 >= length);
        Chunk c;
        std::memcpy(c.type, &png[at + 4], 4);
        c.data = &png[at + 8];
        c.size = length;
        require(z.crc32({&png[at + 4], length + 4}) == be32(&png[at + 8 + length]));
        list.push_back(c);
        at += 12 + length;
    }
    return list;
}

std::uint8_t paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

void checkPng(const c32bppDIB& s, const std::vector<std::uint8_t>& png) {
    const platform::ZlibBinding z = platform::ZlibBinding::bind();
    const std::vector<Chunk> list = walk(png, z);
    require(list.size() >= 3 && std::strcmp(list.front().type, "IHDR") == 0 &&
            list.front().size == 13 && std::strcmp(list.back().type, "IEND") == 0 &&
            list.back().size == 0);
    const std::uint8_t* ihdr = list.front().data;
    require(be32(ihdr) == static_cast<std::uint32_t>(s.Width()) &&
            be32(ihdr + 4) == static_cast<std::uint32_t>(s.Height()));
    require(ihdr[8] == 8 && ihdr[10] == 0 && ihdr[11] == 0 && ihdr[12] == 0);
    const int type = ihdr[9];
    require(type == 0 || type == 2 || type == 3 || type == 6);

    const Chunk* plte = nullptr;
    const Chunk* trns = nullptr;
    std::size_t next = 1;
    if (type == 3) {
        require(std::strcmp(list[next].type, "PLTE") == 0);
        plte = &list[next++];
        require(plte->size % 3 == 0 && plte->size >= 3 && plte->size <= 768);
    }
    if (std::strcmp(list[next].type, "tRNS") == 0) {
        trns = &list[next++];
        require(type != 6);
        require(type != 0 || trns->size == 2);
        require(type != 2 || trns->size == 6);
        require(type != 3 || (trns->size >= 1 && trns->size <= plte->size / 3));
    }
    require(next == list.size() - 2 && std::strcmp(list[next].type, "IDAT") == 0);

    const std::size_t width = static_cast<std::size_t>(s.Width());
    const std::size_t height = static_cast<std::size_t>(s.Height());
    const std::size_t bpp = type == 6 ? 4 : type == 2 ? 3 : 1;
    const std::size_t length = width * bpp;
    std::vector<std::uint8_t> rows(height * (length + 1) + 1);
    std::size_t got = rows.size();
    require(z.uncompress(rows, got, {list[next].data, list[next].size}) == platform::Z_OK);
    require(got == height * (length + 1));

    std::vector<std::uint8_t> previous(length, 0), current(length);
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* in = &rows[y * (length + 1)];
        require(in[0] == (bpp == 1 ? 0 : 4));
        for (std::size_t i = 0; i < length; ++i) {
            const std::uint8_t prediction =
                bpp == 1 ? 0
                         : paeth(i >= bpp ? current[i - bpp] : 0, previous[i],
                                 i >= bpp ? previous[i - bpp] : 0);
            current[i] = static_cast<std::uint8_t>(in[1 + i] + prediction);
        }
        const std::uint8_t* src = s.row(static_cast<std::int32_t>(y));
        for (std::size_t x = 0; x < width; ++x, src += 4) {
            std::array<std::uint8_t, 4> have{};
            const std::uint8_t* v = &current[x * bpp];
            switch (type) {
            case 0:
                have = {v[0], v[0], v[0],
                        trns && trns->data[1] == v[0] ? std::uint8_t{0} : std::uint8_t{255}};
                break;
            case 2: {
                const bool key =
                    trns && trns->data[1] == v[0] && trns->data[3] == v[1] && trns->data[5] == v[2];
                have = {v[0], v[1], v[2], key ? std::uint8_t{0} : std::uint8_t{255}};
                break;
            }
            case 3:
                require(v[0] < plte->size / 3);
                have = {plte->data[v[0] * 3], plte->data[v[0] * 3 + 1], plte->data[v[0] * 3 + 2],
                        trns && v[0] < trns->size ? trns->data[v[0]] : std::uint8_t{255}};
                break;
            default:
                have = {v[0], v[1], v[2], v[3]};
            }
            if (have[3] == 0) have = {0, 0, 0, 0};
            const std::uint8_t a = s.Alpha() ? src[3] : 255;
            std::array<std::uint8_t, 4> want{src[2], src[1], src[0], 255};
            if (a == 0)
                want = {0, 0, 0, 0};
            else if (a != 255)
                want = {static_cast<std::uint8_t>(src[2] * 255 / a),
                        static_cast<std::uint8_t>(src[1] * 255 / a),
                        static_cast<std::uint8_t>(src[0] * 255 / a), a};
            require(have == want);
        }
        current.swap(previous);
    }
}

void checkBitmap(const c32bppDIB& s, const std::vector<std::uint8_t>& bmp) {
    const std::size_t width = static_cast<std::size_t>(s.Width());
    const std::size_t height = static_cast<std::size_t>(s.Height());
    const std::size_t bytes = s.Alpha() ? 4 : 3;
    const std::size_t rowLength = (width * bytes + 3) & ~std::size_t{3};
    require(bmp.size() == 54 + rowLength * height);
    require(bmp[0] == 'B' && bmp[1] == 'M' && le32(&bmp[2]) == bmp.size() && le32(&bmp[10]) == 54 &&
            le32(&bmp[14]) == 40 && le32(&bmp[18]) == width && le32(&bmp[22]) == height &&
            bmp[28] == bytes * 8 && le32(&bmp[34]) == rowLength * height);
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* stored = s.BitsPointer() + y * width * 4; // bottom row first
        const std::uint8_t* row = &bmp[54 + y * rowLength];
        for (std::size_t x = 0; x < width; ++x)
            require(std::memcmp(row + x * bytes, stored + x * 4, bytes) == 0);
        for (std::size_t i = width * bytes; i < rowLength; ++i)
            require(row[i] == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const int width = 1 + data[0] % 64;
    const int height = 1 + data[1] % 64;
    const std::uint8_t mode = data[2];
    const bool alphaFlag = mode & 1;
    const bool raw = mode & 2;
    const int palette = (mode >> 2) & 3;
    const std::uint8_t* bytes = data + 3;
    const std::size_t count = size - 3;

    c32bppDIB s;
    if (!s.InitializeDIB(width, height)) return 0;
    s.Alpha(alphaFlag);
    std::uint8_t* p = s.BitsPointer();
    for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i, p += 4) {
        auto at = [&](std::size_t k) -> std::uint8_t {
            return count ? bytes[(i * 4 + k) % count] : 0;
        };
        std::uint8_t b = at(0), g = at(1), r = at(2), a = at(3);
        if (palette == 1) {
            b &= 0xC0, g &= 0xC0, r &= 0x80, a = a & 1 ? 255 : a & 0x80;
        } else if (palette >= 2) {
            g = r = b;
            if (palette == 3) a = (a & 3) == 0 ? 0 : 255;
        }
        if (!raw) {
            b = static_cast<std::uint8_t>(b * a / 255);
            g = static_cast<std::uint8_t>(g * a / 255);
            r = static_cast<std::uint8_t>(r * a / 255);
        }
        p[0] = b, p[1] = g, p[2] = r, p[3] = a;
    }

    std::vector<std::uint8_t> png{1, 2, 3};
    cPNGwriter writer;
    const bool saved = writer.SavePNG(s, png);
    if (saved) {
        checkPng(s, png);
    } else {
        require(png.empty());
        // Only colour above alpha may stop a save of a valid image.
        require(raw && writer.lastError() == PngWriteError::NotPremultiplied);
    }

    std::vector<std::uint8_t> bmp;
    require(s.SaveToStream(bmp));
    checkBitmap(s, bmp);
    return 0;
}

#include "tests/imaging/gdiplus/files.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <windows.h>
#include <zlib.h>

namespace imaging_test {
namespace {

void put32(Bytes& out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> s));
}

void chunk(Bytes& out, const char* type, const Bytes& body) {
    put32(out, static_cast<std::uint32_t>(body.size()));
    const std::size_t from = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    put32(out, static_cast<std::uint32_t>(
                   crc32(0, out.data() + from, static_cast<uInt>(out.size() - from))));
}

std::uint32_t get32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

int paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

} // namespace

Bytes writePng(int width, int height, int channels, const Bytes& samples, const Bytes& trns) {
    Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes header;
    put32(header, static_cast<std::uint32_t>(width));
    put32(header, static_cast<std::uint32_t>(height));
    const std::uint8_t type = channels == 1 ? 0 : channels == 3 ? 2 : channels == 2 ? 4 : 6;
    header.insert(header.end(), {8, type, 0, 0, 0});
    chunk(out, "IHDR", header);
    if (!trns.empty()) chunk(out, "tRNS", trns);
    Bytes raw;
    const std::size_t row = static_cast<std::size_t>(width) * channels;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), samples.begin() + static_cast<std::ptrdiff_t>(y * row),
                   samples.begin() + static_cast<std::ptrdiff_t>((y + 1) * row));
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes packed(size);
    compress2(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9);
    packed.resize(size);
    chunk(out, "IDAT", packed);
    chunk(out, "IEND", {});
    return out;
}

PngRead readPng(const Bytes& png) {
    PngRead r;
    if (png.size() < 8 + 25) return r;
    Bytes packed;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t length = get32(&png[at]);
        if (at + 12 + length > png.size()) return r;
        const std::uint8_t* body = &png[at + 8];
        if (std::memcmp(&png[at + 4], "IHDR", 4) == 0) {
            r.width = get32(body);
            r.height = get32(body + 4);
            r.depth = body[8];
            r.colourType = body[9];
            if (body[12] != 0) return r; // interlaced: not read here
        }
        if (std::memcmp(&png[at + 4], "IDAT", 4) == 0)
            packed.insert(packed.end(), body, body + length);
        at += 12 + length;
    }
    if (r.depth != 8 || (r.colourType != 2 && r.colourType != 6)) return r;
    const std::size_t channels = r.colourType == 6 ? 4 : 3;
    const std::size_t stride = r.width * channels;
    Bytes raw((stride + 1) * r.height);
    uLongf size = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &size, packed.data(), static_cast<uLong>(packed.size())) != Z_OK ||
        size != raw.size())
        return r;
    Bytes previous(stride, 0), current(stride);
    for (std::uint32_t y = 0; y < r.height; ++y) {
        const std::uint8_t* line = &raw[y * (stride + 1)];
        for (std::size_t i = 0; i < stride; ++i) {
            const int a = i >= channels ? current[i - channels] : 0;
            const int b = previous[i];
            const int c = i >= channels ? previous[i - channels] : 0;
            const int x = line[1 + i];
            const int predicted = line[0] == 0   ? 0
                                  : line[0] == 1 ? a
                                  : line[0] == 2 ? b
                                  : line[0] == 3 ? (a + b) / 2
                                                 : paeth(a, b, c);
            current[i] = static_cast<std::uint8_t>(x + predicted);
        }
        for (std::uint32_t x = 0; x < r.width; ++x) {
            const std::uint8_t* p = &current[x * channels];
            r.rgba.insert(r.rgba.end(), {p[0], p[1], p[2],
                                         static_cast<std::uint8_t>(channels == 4 ? p[3] : 255)});
        }
        previous = current;
    }
    r.ok = true;
    return r;
}

Bytes writeTiff(int width, int height, const TiffLayout& l,
                const std::function<std::uint16_t(int, int, int)>& sample) {
    Bytes out;
    const auto u16 = [&](std::uint32_t v) {
        const std::uint8_t lo = v & 0xFF, hi = v >> 8 & 0xFF;
        out.insert(out.end(), l.bigEndian ? std::initializer_list<std::uint8_t>{hi, lo}
                                          : std::initializer_list<std::uint8_t>{lo, hi});
    };
    const auto u32 = [&](std::uint32_t v) {
        if (l.bigEndian) {
            u16(v >> 16);
            u16(v & 0xFFFF);
        } else {
            u16(v & 0xFFFF);
            u16(v >> 16);
        }
    };
    if (l.bigEndian)
        out.insert(out.end(), {'M', 'M', 0, 42});
    else
        out.insert(out.end(), {'I', 'I', 42, 0});
    u32(0); // the directory's place, filled in last

    // The pixel data: strips of 8 rows, or 16 x 16 tiles padded with zeros.
    const int bytes = l.bits / 8;
    const auto putSample = [&](std::uint16_t v) {
        if (bytes == 1)
            out.push_back(static_cast<std::uint8_t>(v));
        else
            u16(v);
    };
    constexpr int kStripRows = 8, kTile = 16;
    std::vector<std::uint32_t> offsets, counts;
    if (l.tiled) {
        for (int ty = 0; ty < height; ty += kTile)
            for (int tx = 0; tx < width; tx += kTile) {
                offsets.push_back(static_cast<std::uint32_t>(out.size()));
                for (int y = ty; y < ty + kTile; ++y)
                    for (int x = tx; x < tx + kTile; ++x)
                        for (int c = 0; c < l.samples; ++c)
                            putSample(x < width && y < height ? sample(x, y, c) : 0);
                counts.push_back(static_cast<std::uint32_t>(out.size() - offsets.back()));
            }
    } else {
        for (int top = 0; top < height; top += kStripRows) {
            offsets.push_back(static_cast<std::uint32_t>(out.size()));
            for (int y = top; y < std::min(height, top + kStripRows); ++y)
                for (int x = 0; x < width; ++x)
                    for (int c = 0; c < l.samples; ++c)
                        putSample(sample(x, y, c));
            counts.push_back(static_cast<std::uint32_t>(out.size() - offsets.back()));
        }
    }

    struct Entry {
        std::uint16_t tag, type;
        std::vector<std::uint32_t> values;
    };
    std::vector<Entry> entries = {
        {256, 4, {static_cast<std::uint32_t>(width)}},
        {257, 4, {static_cast<std::uint32_t>(height)}},
        {258, 3, std::vector<std::uint32_t>(l.samples, l.bits)},
        {259, 3, {1}},
        {262, 3, {l.photometric}},
        {277, 3, {l.samples}},
        {284, 3, {1}},
    };
    if (l.tiled) {
        entries.push_back({322, 3, {kTile}});
        entries.push_back({323, 3, {kTile}});
        entries.push_back({324, 4, offsets});
        entries.push_back({325, 4, counts});
    } else {
        entries.push_back({273, 4, offsets});
        entries.push_back({278, 4, {kStripRows}});
        entries.push_back({279, 4, counts});
    }
    if (l.photometric == 3) {
        std::vector<std::uint32_t> map;
        const int n = 1 << l.bits;
        for (int i = 0; i < n; ++i)
            map.push_back(static_cast<std::uint32_t>(i * 257));
        for (int i = 0; i < n; ++i)
            map.push_back(static_cast<std::uint32_t>((n - 1 - i) * 257));
        for (int i = 0; i < n; ++i)
            map.push_back(static_cast<std::uint32_t>(i / 2 * 257));
        entries.push_back({320, 3, map});
    }
    if (l.extra != 0) entries.push_back({338, 3, {l.extra}});
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.tag < b.tag; });

    // Arrays too long for their entry go before the directory.
    std::vector<std::uint32_t> placed(entries.size(), 0);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        if (e.values.size() * (e.type == 3 ? 2 : 4) <= 4) continue;
        if (out.size() % 2) out.push_back(0);
        placed[i] = static_cast<std::uint32_t>(out.size());
        for (std::uint32_t v : e.values)
            e.type == 3 ? u16(v) : u32(v);
    }
    if (out.size() % 2) out.push_back(0);
    const auto directory = static_cast<std::uint32_t>(out.size());
    u16(static_cast<std::uint32_t>(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        u16(e.tag);
        u16(e.type);
        u32(static_cast<std::uint32_t>(e.values.size()));
        if (placed[i] != 0) {
            u32(placed[i]);
        } else if (e.type == 3) {
            u16(e.values[0]);
            u16(e.values.size() > 1 ? e.values[1] : 0);
        } else {
            u32(e.values[0]);
        }
    }
    u32(0); // no next directory
    // The directory's place, in the file's byte order.
    Bytes where;
    std::swap(out, where);
    u32(directory);
    std::swap(out, where);
    std::copy(where.begin(), where.end(), out.begin() + 4);
    return out;
}

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

Bytes smoothJpeg(int width, int height) {
    Picture p = smooth(width, height);
    return jpegOf(p);
}

Bytes rgbTiff(int width, int height) {
    return writeTiff(width, height, {}, [](int x, int y, int c) {
        return static_cast<std::uint16_t>((x * 40 + y * 13 + c * 70) & 0xFF);
    });
}

bool wineGdiplusRoundsDown() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool exactOrWinesUnitBelow(std::uint32_t got, std::uint32_t want) {
    if (got == want) return true;
    if (!wineGdiplusRoundsDown() || got >> 24 != want >> 24) return false;
    for (int shift : {0, 8, 16}) {
        const int g = static_cast<int>(got >> shift & 0xFF),
                  w = static_cast<int>(want >> shift & 0xFF);
        if (g != w && g != w - 1) return false;
    }
    return true;
}

bool drawnAs(std::uint32_t got, std::uint32_t want) {
    return exactOrWinesUnitBelow(got, want);
}

} // namespace imaging_test

#pragma once
// Small image files built in code for the reader and decoder tests: bitmap
// files, GIFs (with a real LZW encoder, so code-size growth and full tables
// are exercised) and icon/cursor directories.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace testfiles {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
inline void set32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct Rgb {
    std::uint8_t r, g, b;
};

// A 40-byte info header.
inline Bytes infoHeader(std::int32_t w, std::int32_t h, std::uint16_t bpp,
                        std::uint32_t compression = 0, std::uint32_t colorsUsed = 0) {
    Bytes b;
    put32(b, 40);
    put32(b, static_cast<std::uint32_t>(w));
    put32(b, static_cast<std::uint32_t>(h));
    put16(b, 1);
    put16(b, bpp);
    put32(b, compression);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    put32(b, colorsUsed);
    put32(b, 0);
    return b;
}

// A bitmap file around an info header (with masks or palette) and bits.
inline Bytes bmpFile(const Bytes& dib, const Bytes& bits) {
    Bytes b{'B', 'M'};
    put32(b, static_cast<std::uint32_t>(14 + dib.size() + bits.size()));
    put32(b, 0);
    put32(b, static_cast<std::uint32_t>(14 + dib.size()));
    b.insert(b.end(), dib.begin(), dib.end());
    b.insert(b.end(), bits.begin(), bits.end());
    return b;
}

inline void putPalette(Bytes& b, const std::vector<Rgb>& colors) {
    for (const Rgb& c : colors)
        b.insert(b.end(), {c.b, c.g, c.r, 0});
}

// GIF LZW compression of `indexes` at `minCodeSize`, as data sub-blocks
// with their terminator.
inline Bytes lzwSubBlocks(const std::vector<std::uint8_t>& indexes, int minCodeSize) {
    const int clear = 1 << minCodeSize;
    Bytes packed;
    std::uint32_t buffer = 0;
    int count = 0;
    int size = minCodeSize + 1;
    auto putCode = [&](int code) {
        buffer |= static_cast<std::uint32_t>(code) << count;
        count += size;
        while (count >= 8) {
            packed.push_back(static_cast<std::uint8_t>(buffer));
            buffer >>= 8;
            count -= 8;
        }
    };
    std::map<std::pair<int, int>, int> table;
    int next = clear + 2;
    putCode(clear);
    int prefix = -1;
    for (const std::uint8_t k : indexes) {
        if (prefix < 0) {
            prefix = k;
            continue;
        }
        const auto it = table.find({prefix, k});
        if (it != table.end()) {
            prefix = it->second;
            continue;
        }
        putCode(prefix);
        if (next < 4096) {
            table[{prefix, k}] = next++;
            // The decoder grows one code later than the encoder defines.
            if (next - 1 == (1 << size) && size < 12) ++size;
        } else {
            putCode(clear);
            table.clear();
            next = clear + 2;
            size = minCodeSize + 1;
        }
        prefix = k;
    }
    if (prefix >= 0) putCode(prefix);
    putCode(clear + 1);
    if (count > 0) packed.push_back(static_cast<std::uint8_t>(buffer));

    Bytes out;
    for (std::size_t at = 0; at < packed.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, packed.size() - at);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), packed.begin() + static_cast<std::ptrdiff_t>(at),
                   packed.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    out.push_back(0);
    return out;
}

struct GifFrame {
    std::uint16_t left = 0, top = 0, width = 0, height = 0;
    std::vector<std::uint8_t> indexes; // top row first, display order
    std::vector<Rgb> localTable;
    int transparent = -1;      // with a graphic control extension when >= 0
    bool controlBlock = false; // a graphic control extension without transparency
    bool interlaced = false;
    int minCodeSize = 0; // 0: the smallest the colour table allows, at least 2
};

inline GifFrame frame(std::uint16_t left, std::uint16_t top, std::uint16_t width,
                      std::uint16_t height, std::vector<std::uint8_t> indexes) {
    GifFrame f;
    f.left = left;
    f.top = top;
    f.width = width;
    f.height = height;
    f.indexes = std::move(indexes);
    return f;
}

inline void putTable(Bytes& b, const std::vector<Rgb>& table) {
    for (const Rgb& c : table)
        b.insert(b.end(), {c.r, c.g, c.b});
}

inline int sizeCode(std::size_t entries) {
    int n = 0;
    while ((std::size_t{2} << n) < entries)
        ++n;
    return n;
}

inline Bytes gifFile(std::uint16_t screenW, std::uint16_t screenH, const std::vector<Rgb>& global,
                     const std::vector<GifFrame>& frames, const Bytes& beforeImages = {},
                     const char* signature = "GIF89a") {
    Bytes b(signature, signature + 6);
    put16(b, screenW);
    put16(b, screenH);
    b.push_back(global.empty() ? 0 : static_cast<std::uint8_t>(0x80 | sizeCode(global.size())));
    b.push_back(0);
    b.push_back(0);
    putTable(b, global);
    b.insert(b.end(), beforeImages.begin(), beforeImages.end());
    for (const GifFrame& f : frames) {
        if (f.transparent >= 0 || f.controlBlock)
            b.insert(b.end(),
                     {0x21, 0xF9, 4, static_cast<std::uint8_t>(f.transparent >= 0 ? 1 : 0), 10, 0,
                      static_cast<std::uint8_t>(f.transparent >= 0 ? f.transparent : 0), 0});
        b.push_back(0x2C);
        put16(b, f.left);
        put16(b, f.top);
        put16(b, f.width);
        put16(b, f.height);
        b.push_back(static_cast<std::uint8_t>(
            (f.localTable.empty() ? 0 : 0x80 | sizeCode(f.localTable.size())) |
            (f.interlaced ? 0x40 : 0)));
        putTable(b, f.localTable);
        std::vector<std::uint8_t> stored = f.indexes;
        if (f.interlaced) {
            stored.clear();
            const int passes[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
            for (const auto& p : passes)
                for (int y = p[0]; y < f.height; y += p[1])
                    stored.insert(stored.end(), f.indexes.begin() + y * f.width,
                                  f.indexes.begin() + (y + 1) * f.width);
        }
        const std::size_t tableSize = f.localTable.empty() ? global.size() : f.localTable.size();
        const int minCode =
            f.minCodeSize > 0 ? f.minCodeSize : std::max(2, sizeCode(tableSize) + 1);
        b.push_back(static_cast<std::uint8_t>(minCode));
        const Bytes data = lzwSubBlocks(stored, minCode);
        b.insert(b.end(), data.begin(), data.end());
    }
    b.push_back(0x3B);
    return b;
}

// An icon or cursor directory around complete entry images.
struct IcoEntry {
    std::uint8_t width = 0, height = 0; // 0 = 256
    std::uint16_t bitCount = 0;
    Bytes image;
};

inline Bytes icoFile(const std::vector<IcoEntry>& entries, std::uint16_t type = 1) {
    Bytes b;
    put16(b, 0);
    put16(b, type);
    put16(b, static_cast<std::uint16_t>(entries.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
    for (const IcoEntry& e : entries) {
        b.insert(b.end(), {e.width, e.height, 0, 0});
        put16(b, 1);
        put16(b, e.bitCount);
        put32(b, static_cast<std::uint32_t>(e.image.size()));
        put32(b, offset);
        offset += static_cast<std::uint32_t>(e.image.size());
    }
    for (const IcoEntry& e : entries)
        b.insert(b.end(), e.image.begin(), e.image.end());
    return b;
}

inline std::int32_t rowBytes(int bpp, int width) {
    return (bpp * width + 31) / 32 * 4;
}

// A bitmap icon entry: header (height doubled), palette, XOR bits, AND mask.
// `pixel(x, y)` gives the palette index or 0xAARRGGBB (y = 0 the top row);
// `masked(x, y)` sets the AND bit.
template <typename Pixel, typename Masked>
Bytes bitmapEntry(int w, int h, int bpp, const std::vector<Rgb>& palette, Pixel pixel,
                  Masked masked, std::uint16_t headerBitCount = 0xFFFF) {
    Bytes b = infoHeader(
        w, h * 2, headerBitCount == 0xFFFF ? static_cast<std::uint16_t>(bpp) : headerBitCount);
    if (bpp <= 8) {
        std::vector<Rgb> full = palette;
        full.resize(std::size_t{1} << bpp, Rgb{0, 0, 0});
        putPalette(b, full);
    }
    const int stride = rowBytes(bpp, w);
    for (int r = 0; r < h; ++r) {
        const int y = h - 1 - r;
        Bytes row(static_cast<std::size_t>(stride), 0);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t v = pixel(x, y);
            if (bpp == 32) {
                for (int i = 0; i < 4; ++i)
                    row[static_cast<std::size_t>(x * 4 + i)] =
                        static_cast<std::uint8_t>(v >> (8 * i));
            } else if (bpp == 16) {
                for (int i = 0; i < 2; ++i)
                    row[static_cast<std::size_t>(x * 2 + i)] =
                        static_cast<std::uint8_t>(v >> (8 * i));
            } else if (bpp == 24) {
                for (int i = 0; i < 3; ++i)
                    row[static_cast<std::size_t>(x * 3 + i)] =
                        static_cast<std::uint8_t>(v >> (8 * i));
            } else {
                const int bit = x * bpp;
                row[static_cast<std::size_t>(bit / 8)] |=
                    static_cast<std::uint8_t>(v << (8 - bpp - bit % 8));
            }
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    const int maskStride = rowBytes(1, w);
    for (int r = 0; r < h; ++r) {
        const int y = h - 1 - r;
        Bytes row(static_cast<std::size_t>(maskStride), 0);
        for (int x = 0; x < w; ++x)
            if (masked(x, y))
                row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        b.insert(b.end(), row.begin(), row.end());
    }
    return b;
}

} // namespace testfiles

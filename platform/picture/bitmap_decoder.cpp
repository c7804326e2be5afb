#include "platform/picture/bitmap_decoder.h"

#include "platform/system/environment.h"
#include "platform/util/checked.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

namespace platform {

using velmora::Failure;

namespace {

constexpr std::uint32_t kBiJpeg = 4;
constexpr std::uint32_t kBiPng = 5;
constexpr std::uint32_t kBiAlphaBitfields = 6;
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kOpaque = 0xFF000000u;

std::uint16_t u16(std::span<const std::uint8_t> d, std::size_t at) {
    return at + 2 <= d.size() ? static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8)) : 0;
}
std::uint32_t u32(std::span<const std::uint8_t> d, std::size_t at) {
    if (at + 4 > d.size()) return 0;
    return std::uint32_t{d[at]} | (std::uint32_t{d[at + 1]} << 8) |
           (std::uint32_t{d[at + 2]} << 16) | (std::uint32_t{d[at + 3]} << 24);
}

std::uint32_t bgra(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    return std::uint32_t{b} | (std::uint32_t{g} << 8) | (std::uint32_t{r} << 16) | kOpaque;
}

void store(std::uint8_t* p, std::uint32_t v) {
    std::memcpy(p, &v, 4);
}

// One bit-field channel: the field is shifted down and scaled to 8 bits.
// Fields of up to 8 bits go through a table (rounded, so 5 and 6 bit fields
// spread evenly over 0..255); wider fields keep their top 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    std::array<std::uint8_t, 256> scale{};

    explicit Channel(std::uint32_t m) : mask(m) {
        if (m == 0) return;
        shift = std::countr_zero(m);
        bits = 32 - std::countl_zero(m >> shift);
        if (bits <= 8) {
            const std::uint32_t max = (1u << bits) - 1;
            for (std::uint32_t v = 0; v <= max; ++v)
                scale[v] = static_cast<std::uint8_t>((v * 255 + max / 2) / max);
        }
    }
    std::uint8_t operator()(std::uint32_t pixel) const {
        if (bits == 0) return 0;
        const std::uint32_t v = (pixel & mask) >> shift;
        return bits <= 8 ? scale[v] : static_cast<std::uint8_t>(v >> (bits - 8));
    }
};

// The decoding of one picture into bottom-up 32-bit rows.
class Decoder {
public:
    Decoder(const DibLayout& layout, std::span<const std::uint8_t> bits,
            std::span<std::uint8_t> dest)
        : l_(layout), bits_(bits), dest_(dest) {
        for (std::size_t i = 0; i < l_.palette.size() && i < colors_.size(); ++i) {
            const RGBQUAD& q = l_.palette[i];
            colors_[i] = bgra(q.rgbBlue, q.rgbGreen, q.rgbRed);
        }
        for (std::size_t i = l_.palette.size(); i < colors_.size(); ++i)
            colors_[i] = kOpaque;
    }

    void run() {
        if (l_.compression == BI_RLE8 || l_.compression == BI_RLE4)
            decodeRle(l_.compression == BI_RLE4);
        else
            decodeRows();
    }

private:
    // Memory row for file row r (file rows count from the bottom unless the
    // bitmap is top-down).
    std::uint8_t* destRow(std::int32_t fileRow) const {
        const std::int32_t r = l_.topDown ? l_.height - 1 - fileRow : fileRow;
        return dest_.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(l_.width) * 4;
    }

    void fillRow(std::uint8_t* row, std::int32_t from, std::uint32_t value) const {
        for (std::int32_t x = from; x < l_.width; ++x)
            store(row + x * 4, value);
    }

    void decodeRows() {
        const std::size_t stride =
            static_cast<std::size_t>((std::int64_t{l_.bitCount} * l_.width + 31) / 32 * 4);
        const Channel red(l_.masks[0]), green(l_.masks[1]), blue(l_.masks[2]);
        const bool plain32 = l_.bitCount == 32 &&
                             l_.masks == std::array<std::uint32_t, 3>{0xFF0000u, 0xFF00u, 0xFFu};
        for (std::int32_t r = 0; r < l_.height; ++r) {
            std::uint8_t* out = destRow(r);
            const std::size_t at = static_cast<std::size_t>(r) * stride;
            const std::span<const std::uint8_t> src =
                at < bits_.size() ? bits_.subspan(at, std::min(stride, bits_.size() - at))
                                  : std::span<const std::uint8_t>{};
            // A short file: only the pixels whose bits are all present.
            const std::int32_t have = static_cast<std::int32_t>(
                std::min<std::int64_t>(l_.width, std::int64_t(src.size()) * 8 / l_.bitCount));
            const std::uint8_t* s = src.data();
            switch (l_.bitCount) {
            case 1:
            case 2:
            case 4: {
                const int bpp = l_.bitCount;
                const int mask = (1 << bpp) - 1;
                for (std::int32_t x = 0; x < have; ++x) {
                    const std::size_t bit = static_cast<std::size_t>(x) * bpp;
                    const int index = (s[bit / 8] >> (8 - bpp - int(bit % 8))) & mask;
                    store(out + x * 4, colors_[index]);
                }
                break;
            }
            case 8:
                for (std::int32_t x = 0; x < have; ++x)
                    store(out + x * 4, colors_[s[x]]);
                break;
            case 16:
                for (std::int32_t x = 0; x < have; ++x) {
                    const std::uint32_t v = s[x * 2] | (s[x * 2 + 1] << 8);
                    store(out + x * 4, bgra(blue(v), green(v), red(v)));
                }
                break;
            case 24:
                for (std::int32_t x = 0; x < have; ++x)
                    store(out + x * 4, bgra(s[x * 3], s[x * 3 + 1], s[x * 3 + 2]));
                break;
            case 32:
                if (plain32) {
                    for (std::int32_t x = 0; x < have; ++x)
                        store(out + x * 4, bgra(s[x * 4], s[x * 4 + 1], s[x * 4 + 2]));
                } else {
                    for (std::int32_t x = 0; x < have; ++x) {
                        std::uint32_t v;
                        std::memcpy(&v, s + x * 4, 4);
                        store(out + x * 4, bgra(blue(v), green(v), red(v)));
                    }
                }
                break;
            default:
                break;
            }
            fillRow(out, std::max(have, 0), kOpaque);
        }
    }

    // Run-length data, bottom-up only. Pixels that no run reaches keep the
    // first palette colour, as a zeroed indexed bitmap would show them.
    void decodeRle(bool fourBit) {
        for (std::int32_t r = 0; r < l_.height; ++r)
            fillRow(destRow(r), 0, colors_[0]);
        std::size_t pos = 0;
        std::int32_t x = 0, y = 0;
        auto put = [&](int index) {
            if (x < l_.width && y < l_.height) store(destRow(y) + x * 4, colors_[index]);
            ++x;
        };
        while (y < l_.height && pos + 2 <= bits_.size()) {
            const std::uint8_t count = bits_[pos];
            const std::uint8_t value = bits_[pos + 1];
            pos += 2;
            if (count > 0) {
                // A run: one index, or two alternating nibbles.
                for (int i = 0; i < count && x < l_.width; ++i)
                    put(fourBit ? ((i & 1) ? value & 15 : value >> 4) : value);
                continue;
            }
            switch (value) {
            case 0: // end of line
                x = 0;
                ++y;
                break;
            case 1: // end of bitmap
                return;
            case 2: { // delta
                if (pos + 2 > bits_.size()) return;
                x += bits_[pos];
                y += bits_[pos + 1];
                pos += 2;
                break;
            }
            default: { // absolute run, padded to a 16-bit boundary
                const std::size_t bytes = fourBit ? (value + 1u) / 2 : value;
                const std::size_t padded = (bytes + 1) & ~std::size_t{1};
                const std::size_t avail = std::min(bytes, bits_.size() - pos);
                for (int i = 0; i < value; ++i) {
                    const std::size_t b = fourBit ? std::size_t(i) / 2 : std::size_t(i);
                    if (b >= avail) return;
                    if (x >= l_.width) break;
                    const std::uint8_t v = bits_[pos + b];
                    put(fourBit ? ((i & 1) ? v & 15 : v >> 4) : v);
                }
                pos += std::min(padded, bits_.size() - pos);
                break;
            }
            }
        }
    }

    const DibLayout& l_;
    std::span<const std::uint8_t> bits_;
    std::span<std::uint8_t> dest_;
    std::array<std::uint32_t, 256> colors_{};
};

bool validDepth(std::uint16_t bpp) {
    return bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
}

} // namespace

const char* BitmapErrorText(BitmapError error) {
    switch (error) {
    case BitmapError::NotBitmap:
        return "not a bitmap";
    case BitmapError::Truncated:
        return "header or palette cut short";
    case BitmapError::BadHeaderSize:
        return "unknown info header size";
    case BitmapError::BadDimensions:
        return "bad width or height";
    case BitmapError::BadPlanes:
        return "planes other than 1";
    case BitmapError::BadBitCount:
        return "bit count not allowed for this compression";
    case BitmapError::Unsupported:
        return "compression not supported";
    case BitmapError::TooLarge:
        return "picture too large";
    case BitmapError::NoPixels:
        return "pixel data missing";
    case BitmapError::OutOfMemory:
        return "out of memory";
    }
    return "unknown";
}

std::size_t DecodePixelLimit() {
    return CurrentEnvironment().decodePixelLimit;
}

velmora::Result<DibLayout, BitmapError> ParseDib(std::span<const std::uint8_t> dib,
                                                 std::size_t tableLimit) {
    if (dib.size() < 4) return Failure{BitmapError::Truncated};
    DibLayout l;
    l.headerSize = u32(dib, 0);
    const std::uint32_t hs = l.headerSize;
    const bool core = hs == 12;
    const bool windows = hs == 40 || hs == 52 || hs == 56 || hs == 108 || hs == 124;
    // OS/2 2.x headers: 16 to 64 bytes, the fields of the 40-byte form as
    // far as they go.
    const bool os2 = !windows && hs >= 16 && hs <= 64 && hs % 4 == 0;
    if (!core && !windows && !os2) return Failure{BitmapError::BadHeaderSize};
    if (dib.size() < hs) return Failure{BitmapError::Truncated};

    std::int64_t width = 0, height = 0;
    std::uint16_t planes = 0;
    std::uint32_t colorsUsed = 0;
    if (core) {
        width = u16(dib, 4);
        height = u16(dib, 6);
        planes = u16(dib, 8);
        l.bitCount = u16(dib, 10);
    } else {
        width = static_cast<std::int32_t>(u32(dib, 4));
        height = static_cast<std::int32_t>(u32(dib, 8));
        planes = u16(dib, 12);
        l.bitCount = u16(dib, 14);
        if (hs >= 20) l.compression = u32(dib, 16);
        if (hs >= 36) colorsUsed = u32(dib, 32);
    }
    if (planes != 1) return Failure{BitmapError::BadPlanes};
    if (width < 1 || height == 0) return Failure{BitmapError::BadDimensions};
    l.topDown = height < 0;
    height = height < 0 ? -height : height;
    if (height > std::numeric_limits<std::int32_t>::max())
        return Failure{BitmapError::BadDimensions};
    if (!velmora::imageBytes(width, height, 4)) return Failure{BitmapError::TooLarge};
    l.width = static_cast<std::int32_t>(width);
    l.height = static_cast<std::int32_t>(height);
    if (l.pixelCount() > DecodePixelLimit()) return Failure{BitmapError::TooLarge};

    if (os2 && (l.compression == 3 || l.compression == 4))
        return Failure{BitmapError::Unsupported}; // Huffman 1D and RLE24
    std::size_t tableAt = hs;
    switch (l.compression) {
    case BI_RGB:
        if (!validDepth(l.bitCount)) return Failure{BitmapError::BadBitCount};
        if (l.bitCount == 16) l.masks = {0x7C00u, 0x03E0u, 0x001Fu};
        if (l.bitCount == 32) l.masks = {0xFF0000u, 0xFF00u, 0xFFu};
        break;
    case BI_RLE8:
    case BI_RLE4:
        if (l.bitCount != (l.compression == BI_RLE8 ? 8 : 4))
            return Failure{BitmapError::BadBitCount};
        // Run-length bitmaps are bottom-up by definition.
        if (l.topDown) return Failure{BitmapError::Unsupported};
        break;
    case BI_BITFIELDS:
    case kBiAlphaBitfields: {
        if (l.bitCount != 16 && l.bitCount != 32) return Failure{BitmapError::BadBitCount};
        const std::size_t maskBytes = l.compression == BI_BITFIELDS ? 12 : 16;
        // Small headers carry the masks behind them; the larger ones inside.
        std::size_t at = 40;
        if (hs < 40 + maskBytes) {
            at = hs;
            tableAt = hs + maskBytes;
        }
        if (dib.size() < at + 12) return Failure{BitmapError::Truncated};
        l.masks = {u32(dib, at), u32(dib, at + 4), u32(dib, at + 8)};
        break;
    }
    case kBiJpeg:
    case kBiPng:
        return Failure{BitmapError::Unsupported};
    default:
        return Failure{BitmapError::Unsupported};
    }

    std::size_t entries = 0;
    const std::size_t entrySize = core ? 3 : 4;
    if (l.bitCount <= 8) {
        const std::size_t full = std::size_t{1} << l.bitCount;
        entries = colorsUsed == 0 ? full : std::min<std::size_t>(colorsUsed, full);
        // The palette stops where the pixel bits start, and at the data's
        // end: a short palette leaves the other indexes black.
        const std::size_t limit = std::min(tableLimit, dib.size());
        const std::size_t room = limit > tableAt ? (limit - tableAt) / entrySize : 0;
        const std::size_t have = std::min(entries, room);
        l.palette.resize(full);
        for (std::size_t i = 0; i < have; ++i) {
            const std::uint8_t* p = dib.data() + tableAt + i * entrySize;
            l.palette[i] = RGBQUAD{p[0], p[1], p[2], 0};
        }
        // An oversize palette still takes its declared room before the bits.
        if (colorsUsed > full) entries = colorsUsed;
    }
    l.tableEnd = tableAt + std::min<std::size_t>(entries, 1u << 16) * entrySize;
    return l;
}

velmora::Status<BitmapError> DecodeDib(const DibLayout& layout, std::span<const std::uint8_t> bits,
                                       std::span<std::uint8_t> dest) {
    if (layout.width < 1 || layout.height < 1 || dest.size() / 4 < layout.pixelCount())
        return Failure{BitmapError::BadDimensions};
    Decoder(layout, bits, dest).run();
    return {};
}

velmora::Result<BitmapFile, BitmapError> ParseBitmapFile(std::span<const std::uint8_t> file) {
    if (file.size() < 2 || file[0] != 'B' || file[1] != 'M') return Failure{BitmapError::NotBitmap};
    if (file.size() < kFileHeaderSize + 4) return Failure{BitmapError::Truncated};
    const std::uint32_t bitsOffset = u32(file, 10);
    const std::span<const std::uint8_t> dib = file.subspan(kFileHeaderSize);
    const std::size_t tableLimit = bitsOffset > kFileHeaderSize
                                       ? bitsOffset - kFileHeaderSize
                                       : std::numeric_limits<std::size_t>::max();
    auto layout = ParseDib(dib, tableLimit);
    if (!layout) return Failure{layout.error()};
    // A zero offset is read as "right after the palette", which is where
    // writers that leave it out put the bits.
    const std::size_t at = bitsOffset != 0 ? bitsOffset : kFileHeaderSize + layout->tableEnd;
    if (at >= file.size()) return Failure{BitmapError::NoPixels};
    return BitmapFile{std::move(*layout), file.subspan(at)};
}

} // namespace platform

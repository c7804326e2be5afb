#include "codecs/png_pixels.h"

#include "codecs/inflate.h"
#include "codecs/modparsers.h"
#include "platform/util/limits.h"
#include "platform/util/premultiply.h"
#include "surface/dib_surface.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace codecs {

std::string_view ErrorText(PngError error) {
    switch (error) {
    case PngError::None:
        return "no error";
    case PngError::TruncatedChunk:
        return "data ends inside a chunk or before IEND";
    case PngError::BadChunkLength:
        return "invalid chunk length";
    case PngError::LengthsOverflow:
        return "chunk lengths add up to more than 2 GB";
    case PngError::EndsWithoutIend:
        return "data ends after a chunk without IEND";
    case PngError::CrcMismatch:
        return "chunk CRC mismatch";
    case PngError::BadHeader:
        return "invalid IHDR";
    case PngError::ImageTooLarge:
        return "image too large";
    case PngError::BadPalette:
        return "PLTE length not a multiple of 3";
    case PngError::NoHeader:
        return "no IHDR";
    case PngError::NoImageData:
        return "no IDAT data";
    case PngError::InflateFailed:
        return "image data cannot be inflated";
    case PngError::UnsupportedPairing:
        return "bit depth not allowed for the colour type";
    case PngError::BadFilter:
        return "unknown filter type in an interlaced image";
    case PngError::PaletteIndexTooLarge:
        return "palette index beyond the palette";
    case PngError::SurfaceFailed:
        return "surface cannot be created";
    case PngError::ReadFailed:
        return "file cannot be read";
    }
    return "unknown PNG error";
}

namespace png {
namespace {

using velmora::Failure;
using velmora::Status;

struct Pass {
    std::int32_t startRow, startCol, rowStep, colStep;
};
// Adam7's seven passes, then the whole image as a single pass.
constexpr std::array<Pass, 8> kPasses{{{0, 0, 8, 8},
                                       {0, 4, 8, 8},
                                       {4, 0, 8, 4},
                                       {0, 2, 4, 4},
                                       {2, 0, 4, 2},
                                       {0, 1, 2, 2},
                                       {1, 0, 2, 1},
                                       {0, 0, 1, 1}}};
constexpr std::size_t kWholeImage = 7;

std::int32_t passExtent(std::int32_t size, std::int32_t start, std::int32_t step) {
    return size / step + (size % step > start ? 1 : 0);
}

unsigned channels(std::uint8_t colourType) {
    switch (colourType) {
    case kRgb:
        return 3;
    case kGreyAlpha:
        return 2;
    case kRgba:
        return 4;
    default:
        return 1;
    }
}

std::uint64_t rowBytes(std::int64_t width, unsigned bitsPerPixel) {
    return (static_cast<std::uint64_t>(width) * bitsPerPixel + 7) / 8;
}

// The byte distance the filters look back: a whole pixel, or one byte for
// pixels smaller than a byte.
std::size_t filterStride(const Header& h) {
    if (h.colourType == kPalette) return 1;
    return std::max<std::size_t>(1, std::size_t{h.bitDepth} / 8 * channels(h.colourType));
}

bool allowedPairing(const Header& h) {
    switch (h.colourType) {
    case kGrey:
        return true; // every depth the header accepts
    case kPalette:
        return h.bitDepth <= 8;
    default:
        return h.bitDepth >= 8;
    }
}

// --- filters ----------------------------------------------------------------

inline std::uint8_t paeth(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
    return static_cast<std::uint8_t>(pb <= pc ? b : c);
}

// The stride is a template argument for the common pixel sizes so the
// compiler keeps a pixel's bytes in registers and overlaps their work.
template <std::size_t Bpp>
void unfilterWith(std::uint8_t type, std::uint8_t* row, const std::uint8_t* up, std::size_t n,
                  std::size_t bppRuntime) {
    const std::size_t bpp = Bpp ? Bpp : bppRuntime;
    const std::size_t head = std::min(bpp, n);
    switch (type) {
    case 1:
        for (std::size_t i = bpp; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + row[i - bpp]);
        break;
    case 2:
        for (std::size_t i = 0; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + up[i]);
        break;
    case 3:
        for (std::size_t i = 0; i < head; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + up[i] / 2);
        for (std::size_t i = bpp; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + ((row[i - bpp] + up[i]) >> 1));
        break;
    case 4:
        for (std::size_t i = 0; i < head; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + up[i]);
        for (std::size_t i = bpp; i < n; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + paeth(row[i - bpp], up[i], up[i - bpp]));
        break;
    default:
        break;
    }
}

// Reverses one row's filter in place. The row before the first is all
// zero, which gives the first row's rules (Up adds nothing, Average adds
// half the left byte, Paeth adds the left byte). False for an unknown type.
bool unfilterRow(std::uint8_t type, std::uint8_t* row, const std::uint8_t* up, std::size_t n,
                 std::size_t bpp) {
    if (type > 4) return false;
    if (type == 0) return true;
    switch (bpp) {
    case 1:
        unfilterWith<1>(type, row, up, n, bpp);
        break;
    case 3:
        unfilterWith<3>(type, row, up, n, bpp);
        break;
    case 4:
        unfilterWith<4>(type, row, up, n, bpp);
        break;
    default:
        unfilterWith<0>(type, row, up, n, bpp);
        break;
    }
    return true;
}

// --- pixel conversion ---------------------------------------------------------

// Writes one pixel: colour premultiplied by alpha with a truncating division,
// the rule every reader of this system follows. Alpha 0 leaves the pixel as
// the new surface has it, transparent black.
inline void putPixel(std::uint8_t* d, unsigned r, unsigned g, unsigned b, unsigned a) {
    if (a == 255) {
        d[0] = static_cast<std::uint8_t>(b);
        d[1] = static_cast<std::uint8_t>(g);
        d[2] = static_cast<std::uint8_t>(r);
        d[3] = 255;
    } else if (a != 0) {
        d[0] = velmora::premultiply(b, a);
        d[1] = velmora::premultiply(g, a);
        d[2] = velmora::premultiply(r, a);
        d[3] = static_cast<std::uint8_t>(a);
    }
}

struct ConvertContext {
    // Samples of depth 8 and below go through this table of finished pixels
    // (palette colour or grey level, with its alpha, premultiplied).
    std::array<std::uint32_t, 256> lut{};
    std::array<bool, 256> lutValid{};
    bool hasKey = false;
    std::uint8_t keyRed = 0, keyGreen = 0, keyBlue = 0; // 8-bit RGB key (low bytes)
    std::array<std::uint8_t, 6> key16{};                // tRNS bytes for 16-bit keys
    bool key16Usable = false;
};

// One pass row: `count` pixels from column x0 in steps of dx.
using RowConverter = bool (*)(const std::uint8_t* src, std::uint8_t* dst, std::int32_t x0,
                              std::int32_t dx, std::int32_t count, std::uint8_t depth,
                              const ConvertContext& ctx);

// Pixels whose samples carry alpha sit at fixed offsets within a pixel of
// Stride bytes; sixteen-bit samples keep their high byte, without rounding.
template <std::size_t Stride, std::size_t R, std::size_t G, std::size_t B, std::size_t A>
bool convertWithAlpha(const std::uint8_t* s, std::uint8_t* dst, std::int32_t x0, std::int32_t dx,
                      std::int32_t count, std::uint8_t, const ConvertContext&) {
    std::uint8_t* d = dst + std::size_t(x0) * 4;
    const std::size_t step = std::size_t(dx) * 4;
    for (std::int32_t i = 0; i < count; ++i, s += Stride, d += step)
        putPixel(d, s[R], s[G], s[B], s[A]);
    return true;
}

bool convertRgb8(const std::uint8_t* s, std::uint8_t* dst, std::int32_t x0, std::int32_t dx,
                 std::int32_t count, std::uint8_t, const ConvertContext& ctx) {
    std::uint8_t* d = dst + std::size_t(x0) * 4;
    const std::size_t step = std::size_t(dx) * 4;
    if (!ctx.hasKey) {
        for (std::int32_t i = 0; i < count; ++i, s += 3, d += step) {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = 255;
        }
        return true;
    }
    for (std::int32_t i = 0; i < count; ++i, s += 3, d += step) {
        if (s[0] == ctx.keyRed && s[1] == ctx.keyGreen && s[2] == ctx.keyBlue) continue;
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
        d[3] = 255;
    }
    return true;
}

// A 16-bit colour key matches on the high bytes only.
bool convertRgb16(const std::uint8_t* s, std::uint8_t* dst, std::int32_t x0, std::int32_t dx,
                  std::int32_t count, std::uint8_t, const ConvertContext& ctx) {
    std::uint8_t* d = dst + std::size_t(x0) * 4;
    const std::size_t step = std::size_t(dx) * 4;
    const bool keyed = ctx.hasKey && ctx.key16Usable;
    for (std::int32_t i = 0; i < count; ++i, s += 6, d += step) {
        if (keyed && s[4] == ctx.key16[4] && s[2] == ctx.key16[2] && s[0] == ctx.key16[0]) continue;
        putPixel(d, s[0], s[2], s[4], 255);
    }
    return true;
}

bool convertGrey16(const std::uint8_t* s, std::uint8_t* dst, std::int32_t x0, std::int32_t dx,
                   std::int32_t count, std::uint8_t, const ConvertContext& ctx) {
    std::uint8_t* d = dst + std::size_t(x0) * 4;
    const std::size_t step = std::size_t(dx) * 4;
    const bool keyed = ctx.hasKey && ctx.key16Usable;
    for (std::int32_t i = 0; i < count; ++i, s += 2, d += step) {
        if (keyed && s[0] == ctx.key16[0]) continue;
        putPixel(d, s[0], s[0], s[0], 255);
    }
    return true;
}

// Palette indices and grey samples of 1, 2, 4 or 8 bits, first sample in the
// most significant bits of a byte.
bool convertPacked(const std::uint8_t* s, std::uint8_t* dst, std::int32_t x0, std::int32_t dx,
                   std::int32_t count, std::uint8_t depth, const ConvertContext& ctx) {
    std::uint8_t* d = dst + std::size_t(x0) * 4;
    const std::size_t step = std::size_t(dx) * 4;
    if (depth == 8) {
        for (std::int32_t i = 0; i < count; ++i, d += step) {
            const std::uint8_t v = s[i];
            if (!ctx.lutValid[v]) return false;
            std::memcpy(d, &ctx.lut[v], 4);
        }
        return true;
    }
    const unsigned mask = (1u << depth) - 1;
    unsigned shift = 0;
    unsigned byte = 0;
    for (std::int32_t i = 0; i < count; ++i, d += step) {
        if (shift == 0) {
            byte = *s++;
            shift = 8;
        }
        shift -= depth;
        const unsigned v = (byte >> shift) & mask;
        if (!ctx.lutValid[v]) return false;
        std::memcpy(d, &ctx.lut[v], 4);
    }
    return true;
}

std::uint32_t packPixel(unsigned r, unsigned g, unsigned b, unsigned a) {
    std::array<std::uint8_t, 4> px{};
    putPixel(px.data(), r, g, b, a);
    std::uint32_t out;
    std::memcpy(&out, px.data(), 4);
    return out;
}

RowConverter pickConverter(const Header& h) {
    const bool wide = h.bitDepth == 16;
    switch (h.colourType) {
    case kRgba:
        return wide ? convertWithAlpha<8, 0, 2, 4, 6> : convertWithAlpha<4, 0, 1, 2, 3>;
    case kGreyAlpha:
        return wide ? convertWithAlpha<4, 0, 0, 0, 2> : convertWithAlpha<2, 0, 0, 0, 1>;
    case kRgb:
        return wide ? convertRgb16 : convertRgb8;
    case kGrey:
        return wide ? convertGrey16 : convertPacked;
    default:
        return convertPacked;
    }
}

// A grey ramp for grey images, or black for a palette image that came
// without PLTE (with white as entry 1 at one bit, so two-colour images
// still show). Only when no palette exists yet: a PLTE read while an
// earlier header said RGB stays in force.
void completePalette(PngImage& image) {
    const Header& h = image.header;
    if (image.palette || (h.colourType != kGrey && h.colourType != kPalette)) return;
    std::vector<std::uint8_t> palette(256 * 3, 0);
    if (h.colourType == kGrey && h.bitDepth < 16) {
        const unsigned top = (1u << h.bitDepth) - 1;
        const unsigned step = 255 / top;
        for (unsigned i = 1; i <= top; ++i)
            std::fill_n(palette.begin() + i * 3, 3, i * step);
    } else if (h.colourType == kPalette && h.bitDepth == 1) {
        std::fill_n(palette.begin() + 3, 3, 255);
    }
    image.palette = std::move(palette);
}

void prepareContext(const PngImage& image, ConvertContext& ctx) {
    const Header& h = image.header;
    const auto& trns = image.transparency;
    ctx.hasKey = image.transparentKey != -1;
    ctx.keyRed = static_cast<std::uint8_t>(image.transparentKey >> 16);
    ctx.keyGreen = static_cast<std::uint8_t>(image.transparentKey >> 8);
    ctx.keyBlue = static_cast<std::uint8_t>(image.transparentKey);
    // A key kept from a tRNS read under another colour type may be too short
    // for this one; such a key matches nothing.
    const std::size_t needed = h.colourType == kRgb ? 6 : 2;
    ctx.key16Usable = trns.size() >= needed;
    std::copy_n(trns.begin(), std::min(trns.size(), ctx.key16.size()), ctx.key16.begin());

    if (h.bitDepth > 8 || (h.colourType != kGrey && h.colourType != kPalette)) return;
    const auto& palette = *image.palette;
    const std::size_t entries = std::min<std::size_t>(palette.size() / 3, 256);
    for (std::size_t i = 0; i < entries; ++i) {
        unsigned alpha = 255;
        if (h.colourType == kPalette) {
            if (ctx.hasKey && i < trns.size()) alpha = trns[i];
        } else if (ctx.hasKey && i == static_cast<std::size_t>(image.transparentKey & 0xFF)) {
            alpha = 0;
        }
        ctx.lut[i] = packPixel(palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2], alpha);
        ctx.lutValid[i] = true;
    }
}

Status<PngError> inflateImage(PngImage& image, const platform::ZlibBinding& zlib,
                              std::span<std::uint8_t> out) {
    std::size_t written = 0;
    bool done = false;
    if (zlib.available()) {
        std::size_t length = out.size();
        if (zlib.uncompress(out, length, image.imageData) == platform::Z_OK) {
            written = length;
            done = true;
        }
    }
    if (!done) {
        auto inflated = InflateZlib(image.imageData, out);
        if (!inflated) return Failure{PngError::InflateFailed};
        written = *inflated;
    }
    // Rows the data does not reach read as zero: filter None, samples 0.
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(written), out.end(), 0);
    return {};
}

} // namespace

std::optional<std::uint32_t> ExpectedInflatedSize(const Header& h) {
    if (h.width < 1 || h.height < 1) return std::nullopt;
    const unsigned bits = unsigned{h.bitDepth} * channels(h.colourType);
    std::uint64_t total = 0;
    if (h.interlace == 0) {
        total = (rowBytes(h.width, bits) + 1) * static_cast<std::uint64_t>(h.height);
    } else {
        for (std::size_t p = 0; p < 7; ++p) {
            const Pass& pass = kPasses[p];
            const std::int32_t w = passExtent(h.width, pass.startCol, pass.colStep);
            const std::int32_t rows = passExtent(h.height, pass.startRow, pass.rowStep);
            total += (rowBytes(w, bits) + 1) * static_cast<std::uint64_t>(rows);
        }
    }
    if (total > velmora::CurrentLimits().maxDecompressedBytes) return std::nullopt;
    return static_cast<std::uint32_t>(total);
}

Status<PngError> DecodePixels(PngImage& image, const platform::ZlibBinding& zlib,
                              surface::DibSurface& host) {
    const Header h = image.header;
    if (!image.hasHeader) return Failure{PngError::NoHeader};
    if (image.imageData.empty()) return Failure{PngError::NoImageData};
    if (!allowedPairing(h)) return Failure{PngError::UnsupportedPairing};
    const auto expected = ExpectedInflatedSize(h);
    if (!expected) return Failure{PngError::ImageTooLarge};

    // Left uninitialised: the inflater fills it and the tail is cleared after.
    const std::size_t size = *expected;
    auto inflated = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    const std::span<std::uint8_t> data(inflated.get(), size);
    VELMORA_TRY(inflateImage(image, zlib, data));
    std::vector<std::uint8_t>().swap(image.imageData);

    completePalette(image);
    ConvertContext ctx;
    prepareContext(image, ctx);

    if (!host.InitializeDIB(h.width, h.height)) return Failure{PngError::SurfaceFailed};

    const unsigned bits = unsigned{h.bitDepth} * channels(h.colourType);
    const std::size_t bpp = filterStride(h);
    const RowConverter convert = pickConverter(h);
    const bool interlaced = h.interlace != 0;
    const std::size_t widestRow = rowBytes(h.width, bits);
    const std::vector<std::uint8_t> zeroRow(widestRow, 0);

    std::size_t offset = 0;
    const std::size_t first = interlaced ? 0 : kWholeImage;
    const std::size_t last = interlaced ? 7 : kWholeImage + 1;
    for (std::size_t p = first; p < last; ++p) {
        const Pass& pass = kPasses[p];
        const std::int32_t width = passExtent(h.width, pass.startCol, pass.colStep);
        const std::int32_t rows = passExtent(h.height, pass.startRow, pass.rowStep);
        if (width == 0 || rows == 0) continue; // an empty pass has no data at all
        const std::size_t stride = rowBytes(width, bits) + 1;
        const std::uint8_t* up = zeroRow.data();
        for (std::int32_t r = 0; r < rows; ++r) {
            // The expected size counts every non-empty pass's rows, so each
            // row lies inside the buffer.
            std::uint8_t* row = data.data() + offset;
            offset += stride;
            if (!unfilterRow(row[0], row + 1, up, stride - 1, bpp)) {
                if (interlaced) {
                    host.DestroyDIB();
                    return Failure{PngError::BadFilter};
                }
                // Tolerated in a plain image: the row stays as stored.
            }
            up = row + 1;
            const std::int32_t y = pass.startRow + r * pass.rowStep;
            if (!convert(row + 1, host.row(y), pass.startCol, pass.colStep, width, h.bitDepth,
                         ctx)) {
                host.DestroyDIB();
                return Failure{PngError::PaletteIndexTooLarge};
            }
        }
    }

    bool alpha = h.colourType == kGreyAlpha || h.colourType == kRgba;
    if (!alpha) alpha = image.transparentKey != -1;
    host.Alpha(alpha);
    host.ImageType(modParsers::itPNG);
    return {};
}

struct RowStream::State {
    std::optional<platform::InflateStream> inflater; // when zlib inflates
    std::size_t headerLeft = 2;                      // zlib header bytes still to skip
    ConvertContext ctx;
    RowConverter convert = nullptr;
    std::size_t stride = 0; // filter byte and samples
    std::size_t bpp = 0;
    std::vector<std::uint8_t> current;  // the row being filled, filter byte first
    std::vector<std::uint8_t> previous; // the row above, unfiltered
    std::size_t filled = 0;
    std::int32_t row = 0;
    bool ended = false;
};

RowStream::RowStream(PngImage& image, const platform::ZlibBinding* zlib, surface::DibSurface& host)
    : image_(image), zlib_(zlib), host_(host) {}

RowStream::~RowStream() = default;

bool RowStream::start() {
    const Header& h = image_.header;
    if (!image_.hasHeader || h.interlace != 0 || !allowedPairing(h) || !ExpectedInflatedSize(h))
        return false;
    state_ = std::make_unique<State>();
    State& s = *state_;
    if (zlib_) {
        // Raw blocks after the two header bytes, skipped unread, and no
        // check value: what our own inflater reads of the stream. zlib
        // accepts no blocks our inflater refuses, and both make the same
        // bytes of the blocks they accept, so the rows come out as a whole
        // decode makes them, without zlib's Adler-32 pass over every byte
        // (a whole decode falls back to our inflater when that check fails).
        s.inflater.emplace(*zlib_);
        if (!s.inflater->ready()) return false;
    }
    completePalette(image_);
    prepareContext(image_, s.ctx);
    s.convert = pickConverter(h);
    s.bpp = filterStride(h);
    s.stride = rowBytes(h.width, unsigned{h.bitDepth} * channels(h.colourType)) + 1;
    s.current.assign(s.stride, 0);
    s.previous.assign(s.stride, 0);
    return host_.InitializeDIB(h.width, h.height);
}

// Unfilters and converts the full row; an unknown filter type leaves the
// row as stored, as in a whole decode of a plain image.
bool RowStream::finishRow() {
    State& s = *state_;
    const Header& h = image_.header;
    unfilterRow(s.current[0], s.current.data() + 1, s.previous.data() + 1, s.stride - 1, s.bpp);
    if (!s.convert(s.current.data() + 1, host_.row(s.row), 0, 1, h.width, h.bitDepth, s.ctx))
        return false;
    s.current.swap(s.previous);
    s.filled = 0;
    ++s.row;
    return true;
}

bool RowStream::feed(std::span<const std::uint8_t> data) {
    State& s = *state_;
    const Header& h = image_.header;
    const std::size_t header = std::min(s.headerLeft, data.size());
    s.headerLeft -= header;
    data = data.subspan(header);
    while (!data.empty() && !s.ended) {
        int rc;
        if (s.row == h.height) {
            // Every row is complete; the stream may only end now. Output
            // beyond the rows is more than a whole decode accepts.
            std::array<std::uint8_t, 1> extra{};
            std::span<std::uint8_t> out(extra);
            rc = s.inflater->inflate(data, out);
            if (out.empty()) return false;
        } else {
            std::span<std::uint8_t> out(s.current.data() + s.filled, s.stride - s.filled);
            rc = s.inflater->inflate(data, out);
            s.filled = s.stride - out.size();
            if (s.filled == s.stride && !finishRow()) return false;
        }
        if (rc == platform::Z_STREAM_END)
            s.ended = true;
        else if (rc != platform::Z_OK)
            return false;
    }
    return true;
}

bool RowStream::take(std::span<const std::uint8_t> inflated) {
    State& s = *state_;
    const Header& h = image_.header;
    while (!inflated.empty()) {
        // Output beyond the rows is more than a whole decode accepts.
        if (s.row == h.height) return false;
        const std::size_t part = std::min(inflated.size(), s.stride - s.filled);
        std::memcpy(s.current.data() + s.filled, inflated.data(), part);
        s.filled += part;
        inflated = inflated.subspan(part);
        if (s.filled == s.stride && !finishRow()) return false;
    }
    return true;
}

bool RowStream::finish() {
    State& s = *state_;
    const Header& h = image_.header;
    // A stream zlib has not seen the end of may still be one our own
    // inflater accepts: the whole decode decides.
    if (zlib_ && !s.ended) return false;
    if (s.filled != 0) {
        std::fill(s.current.begin() + static_cast<std::ptrdiff_t>(s.filled), s.current.end(), 0);
        if (!finishRow()) return false;
    }
    while (s.row < h.height) {
        std::fill(s.current.begin(), s.current.end(), 0);
        if (!finishRow()) return false;
    }
    bool alpha = h.colourType == kGreyAlpha || h.colourType == kRgba;
    if (!alpha) alpha = image_.transparentKey != -1;
    host_.Alpha(alpha);
    host_.ImageType(modParsers::itPNG);
    return true;
}

} // namespace png
} // namespace codecs

#include "codecs/cpngwriter.h"

#include "platform/util/byte_reader.h"
#include "platform/util/png_signature.h"
#include "surface/dib_surface.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <optional>

namespace {

using velmora::Failure;
namespace png = codecs::png;

// PNG chunk lengths are limited to 2^31 - 1.
constexpr std::size_t kMaxChunkData = 0x7FFFFFFF;

void putBE32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

// The pixel as the little-endian 32-bit value of its bytes: alpha on top.
std::uint32_t pixelValue(const std::uint8_t* p) {
    return velmora::loadU32le(p);
}
std::uint8_t blueOf(std::uint32_t v) {
    return static_cast<std::uint8_t>(v);
}
std::uint8_t greenOf(std::uint32_t v) {
    return static_cast<std::uint8_t>(v >> 8);
}
std::uint8_t redOf(std::uint32_t v) {
    return static_cast<std::uint8_t>(v >> 16);
}
std::uint8_t alphaOf(std::uint32_t v) {
    return static_cast<std::uint8_t>(v >> 24);
}

// c * 255 / a, truncated, for every alpha a and colour c <= a: the straight
// colour of a premultiplied one. Looked up rather than divided, since soft
// edges of large images need it for every pixel.
const std::uint8_t* unpremultiplyTable() {
    static const auto table = [] {
        auto t = std::make_unique<std::uint8_t[]>(256 * 256);
        for (unsigned a = 1; a < 256; ++a)
            for (unsigned c = 0; c <= a; ++c)
                t[a * 256 + c] = static_cast<std::uint8_t>(c * 255 / a);
        return t;
    }();
    return table.get();
}

// The distinct pixel values of an image in order of first appearance, at
// most 256. A hash of 1024 slots keeps every probe short; the sorted list
// the palette rules speak of is made from these values at the end.
class ColourSet {
public:
    static constexpr int kMaxColours = 256;

    // The value's id, added when new; -1 when it would be the 257th.
    int idOf(std::uint32_t value) {
        std::uint32_t slot = (value * 0x9E3779B1u) >> (32 - kSlotBits);
        for (;;) {
            const std::uint16_t held = slots_[slot];
            if (held == 0) {
                if (count_ == kMaxColours) return -1;
                values_[count_] = value;
                slots_[slot] = static_cast<std::uint16_t>(++count_);
                return count_ - 1;
            }
            if (values_[held - 1] == value) return held - 1;
            slot = (slot + 1) & (kSlots - 1);
        }
    }
    int size() const { return count_; }
    std::uint32_t value(int id) const { return values_[id]; }

private:
    static constexpr int kSlotBits = 10;
    static constexpr std::uint32_t kSlots = 1u << kSlotBits;
    std::array<std::uint16_t, kSlots> slots_{}; // id + 1, 0 = empty
    std::array<std::uint32_t, kMaxColours> values_{};
    int count_ = 0;
};

// Paeth: predicts each byte from its left (a), upper (b) and upper-left (c)
// neighbours; bytes outside the image count as 0.
void paethRow(const std::uint8_t* cur, const std::uint8_t* prev, std::uint8_t* out,
              std::size_t length, std::size_t bpp) {
    // With a = c = 0 the prediction is always b.
    for (std::size_t i = 0; i < bpp && i < length; ++i)
        out[i] = static_cast<std::uint8_t>(cur[i] - prev[i]);
    for (std::size_t i = bpp; i < length; ++i) {
        const int a = cur[i - bpp];
        const int b = prev[i];
        const int c = prev[i - bpp];
        const int pa = std::abs(b - c);
        const int pb = std::abs(a - c);
        const int pc = std::abs(a + b - 2 * c);
        const int prediction = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        out[i] = static_cast<std::uint8_t>(cur[i] - prediction);
    }
}

} // namespace

std::string_view ErrorText(PngWriteError error) {
    switch (error) {
    case PngWriteError::None:
        return "no error";
    case PngWriteError::NoImage:
        return "no image";
    case PngWriteError::NoZlib:
        return "no zlib";
    case PngWriteError::TooLarge:
        return "image too large";
    case PngWriteError::NotPremultiplied:
        return "colour above its alpha";
    case PngWriteError::DeflateFailed:
        return "deflate failed";
    case PngWriteError::OutOfMemory:
        return "out of memory";
    }
    return "unknown";
}

bool cPNGwriter::SavePNG(const surface::DibSurface& cHost, std::vector<std::uint8_t>& outStream) {
    error_ = PngWriteError::None;
    colourType_ = png::kGrey;
    transparencyValue_ = -1;
    palette_.clear();
    alphaTable_.clear();
    filtered_.reset();
    filteredSize_ = 0;

    Status status;
    try {
        status = save(cHost, outStream);
    } catch (const std::bad_alloc&) {
        status = Failure{PngWriteError::OutOfMemory};
    }
    // Nothing of this save outlives it: buffers and the library binding go.
    filtered_.reset();
    palette_ = {};
    alphaTable_ = {};
    zlib_ = {};
    if (status) return true;
    error_ = status.error();
    outStream.clear();
    return false;
}

cPNGwriter::Status cPNGwriter::save(const surface::DibSurface& cHost,
                                    std::vector<std::uint8_t>& out) {
    if (cHost.Handle() == 0 || cHost.BitsPointer() == nullptr || cHost.Width() <= 0 ||
        cHost.Height() <= 0)
        return Failure{PngWriteError::NoImage};
    VELMORA_TRY(BindZlib());

    const auto palette = BuildPalette(cHost, cHost.Alpha());
    if (!palette) return Failure{palette.error()};
    if (!*palette) BuildTrueColor(cHost, cHost.Alpha());

    out.clear();
    writeHeader(cHost, out);
    if (colourType_ == png::kPalette) writePalette(out);
    if (transparencyValue_ != -1) writeTransparency(out);
    VELMORA_TRY(EncodeImageData(out, cHost));
    writeEnd(out);
    return {};
}

cPNGwriter::Status cPNGwriter::BindZlib() {
    zlib_ = platform::ZlibBinding::bind();
    if (!zlib_.available()) return Failure{PngWriteError::NoZlib};
    return {};
}

namespace {

// Collecting: every pixel's value is added to the set and the pixel's id
// among them written where its sample will go (PNG rows run top down,
// each behind a filter-type byte of 0). False at a 257th value.
bool collectColours(const surface::DibSurface& host, bool alphaFlag, ColourSet& colours,
                    std::uint8_t* rows) {
    const auto width = static_cast<std::size_t>(host.Width());
    const auto height = static_cast<std::size_t>(host.Height());
    const std::size_t rowBytes = width + 1;
    // Without the Alpha flag the fourth byte carries nothing: every pixel
    // counts as opaque, as it is drawn.
    const std::uint32_t forcedAlpha = alphaFlag ? 0 : 0xFF000000u;
    std::uint32_t last = pixelValue(host.row(0)) | forcedAlpha;
    auto lastId = static_cast<std::uint8_t>(colours.idOf(last));
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* src = host.row(static_cast<std::int32_t>(y));
        std::uint8_t* dst = rows + y * rowBytes;
        *dst++ = 0; // filter type none
        for (std::size_t x = 0; x < width; ++x, src += 4) {
            const std::uint32_t value = pixelValue(src) | forcedAlpha;
            if (value != last) {
                const int id = colours.idOf(value);
                if (id < 0) return false;
                last = value;
                lastId = static_cast<std::uint8_t>(id);
            }
            dst[x] = lastId;
        }
    }
    return true;
}

// Ordering: the values in ascending signed order (entries with alpha 128
// and above, negative values, come first), with what the choice of colour
// type needs to know about them.
struct OrderedColours {
    int count = 0;
    std::array<std::uint8_t, ColourSet::kMaxColours> idAt{}; // list position -> id
    int translucentCount = 0;                                // entries whose alpha is not 255
    int firstTranslucent = -1;
    bool allGrey = true;

    std::uint32_t value(const ColourSet& colours, int position) const {
        return colours.value(idAt[static_cast<std::size_t>(position)]);
    }
    // The palette's transparency: -1 none, 0 an alpha table of several
    // entries, n > 0 the one translucent entry at list position n - 1.
    std::int32_t paletteTransparency() const {
        return translucentCount == 0 ? -1 : translucentCount == 1 ? firstTranslucent + 1 : 0;
    }
};

OrderedColours orderColours(const ColourSet& colours) {
    OrderedColours o;
    o.count = colours.size();
    for (int id = 0; id < o.count; ++id)
        o.idAt[static_cast<std::size_t>(id)] = static_cast<std::uint8_t>(id);
    std::sort(o.idAt.begin(), o.idAt.begin() + o.count, [&](std::uint8_t l, std::uint8_t r) {
        return static_cast<std::int32_t>(colours.value(l)) <
               static_cast<std::int32_t>(colours.value(r));
    });
    for (int k = 0; k < o.count; ++k) {
        const std::uint32_t v = o.value(colours, k);
        if (alphaOf(v) != 255) {
            if (o.translucentCount++ == 0) o.firstTranslucent = k;
        }
        o.allGrey = o.allGrey && blueOf(v) == greenOf(v) && blueOf(v) == redOf(v);
    }
    return o;
}

// Choosing: a grey image whose transparency a grey key can say is written
// as grey levels. The answer is the level that means "transparent" (-1
// for none), or nothing when the palette form is needed.
std::optional<std::int32_t> greyTransparentLevel(const ColourSet& colours, const OrderedColours& o,
                                                 bool alphaFlag) {
    if (o.paletteTransparency() == 0 || !o.allGrey) return std::nullopt;
    if (!alphaFlag) return -1;
    // One level that no visible pixel uses is picked to mean
    // "transparent".
    std::int32_t level = -1;
    std::array<bool, 256> used{};
    for (int k = 0; k < o.count; ++k)
        if (o.value(colours, k) != 0) used[blueOf(o.value(colours, k))] = true;
    if (!used[0]) {
        level = 0;
    } else {
        for (int l = 1; l <= o.count - 1; ++l)
            if (!used[static_cast<std::size_t>(l)]) {
                level = l;
                break;
            }
    }
    // A grey key can only say "fully transparent": a partly transparent
    // value would lose its alpha, and an alpha-0 value without a free
    // level would have no sample. Both keep the palette form, whose alpha
    // table carries any alpha.
    if (o.translucentCount == 1) {
        const std::uint8_t alpha = alphaOf(o.value(colours, o.firstTranslucent));
        if (alpha != 0 || level < 0) return std::nullopt;
    }
    return level;
}

using ByteOfId = std::array<std::uint8_t, ColourSet::kMaxColours>;

// Emitting, grey: each id's sample is its grey level, or the transparent
// level for alpha 0.
void emitGrey(const ColourSet& set, std::int32_t transparentLevel, ByteOfId& byteOfId) {
    for (int id = 0; id < set.size(); ++id) {
        const std::uint32_t v = set.value(id);
        byteOfId[static_cast<std::size_t>(id)] =
            alphaOf(v) == 0 ? static_cast<std::uint8_t>(transparentLevel) : blueOf(v);
    }
}

// Emitting, palette: the PLTE entries (straight colour) and the alpha
// table. Without transparency the positions follow the list; with it the
// translucent entries come first (so the alpha table stays short) and the
// opaque ones fill from the last position downwards.
velmora::Status<PngWriteError> emitPalette(const ColourSet& set, const OrderedColours& o,
                                           std::vector<std::uint8_t>& palette,
                                           std::vector<std::uint8_t>& alphaTable,
                                           ByteOfId& byteOfId) {
    const int count = o.count;
    const bool transparency = o.paletteTransparency() != -1;
    std::array<std::uint8_t, ColourSet::kMaxColours> positionOf{}; // list position -> palette
    if (!transparency) {
        for (int k = 0; k < count; ++k)
            positionOf[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(k);
    } else {
        int front = 0;
        int back = count - 1;
        for (int k = 0; k < count; ++k)
            positionOf[static_cast<std::size_t>(k)] =
                static_cast<std::uint8_t>(alphaOf(o.value(set, k)) != 255 ? front++ : back--);
    }

    palette.assign(static_cast<std::size_t>(count) * 3, 0);
    if (transparency) alphaTable.assign(static_cast<std::size_t>(o.translucentCount), 0);
    for (int k = 0; k < count; ++k) {
        const std::uint32_t v = o.value(set, k);
        const std::uint8_t position = positionOf[static_cast<std::size_t>(k)];
        byteOfId[o.idAt[static_cast<std::size_t>(k)]] = position;
        const std::uint8_t alpha = alphaOf(v);
        std::uint8_t* rgb = palette.data() + std::size_t{position} * 3;
        if (alpha == 255) {
            rgb[0] = redOf(v);
            rgb[1] = greenOf(v);
            rgb[2] = blueOf(v);
        } else if (alpha != 0) {
            if (redOf(v) > alpha || greenOf(v) > alpha || blueOf(v) > alpha)
                return Failure{PngWriteError::NotPremultiplied};
            const std::uint8_t* straight = unpremultiplyTable() + std::size_t{alpha} * 256;
            rgb[0] = straight[redOf(v)];
            rgb[1] = straight[greenOf(v)];
            rgb[2] = straight[blueOf(v)];
        } // alpha 0 stays black
        if (alpha != 255 && !alphaTable.empty()) alphaTable[position] = alpha;
    }
    return {};
}

} // namespace

cPNGwriter::Result<bool> cPNGwriter::BuildPalette(const surface::DibSurface& cHost,
                                                  bool alphaFlag) {
    const auto width = static_cast<std::size_t>(cHost.Width());
    const auto height = static_cast<std::size_t>(cHost.Height());
    const std::size_t rowBytes = width + 1; // filter-type byte, then one byte per pixel

    auto rows = std::make_unique_for_overwrite<std::uint8_t[]>(height * rowBytes);
    ColourSet colours;
    // A 257th colour: true colour it is.
    if (!collectColours(cHost, alphaFlag, colours, rows.get())) return false;
    const OrderedColours order = orderColours(colours);

    ByteOfId byteOfId{};
    if (const auto level = greyTransparentLevel(colours, order, alphaFlag)) {
        colourType_ = png::kGrey;
        transparencyValue_ = *level;
        emitGrey(colours, *level, byteOfId);
    } else {
        colourType_ = png::kPalette;
        transparencyValue_ = order.paletteTransparency();
        VELMORA_TRY(emitPalette(colours, order, palette_, alphaTable_, byteOfId));
    }

    // Ids become samples (palette positions or grey levels).
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* dst = rows.get() + y * rowBytes + 1;
        for (std::size_t x = 0; x < width; ++x)
            dst[x] = byteOfId[dst[x]];
    }
    filtered_ = std::move(rows);
    filteredSize_ = height * rowBytes;
    return true;
}

void cPNGwriter::BuildTrueColor(const surface::DibSurface& cHost, bool alphaFlag) {
    transparencyValue_ = -1;
    if (!alphaFlag) {
        colourType_ = png::kRgb;
        return;
    }
    colourType_ = png::kRgba;
    // RGB with a key colour serves when every pixel is opaque or
    // transparent black and some grey (v, v, v) is free: no opaque pixel
    // has v in the channel searched, so the key can never hit one.
    std::array<std::array<bool, 256>, 3> used{}; // blue, green, red over opaque pixels
    const auto width = static_cast<std::size_t>(cHost.Width());
    for (std::int32_t y = 0; y < cHost.Height(); ++y) {
        const std::uint8_t* p = cHost.row(y);
        for (std::size_t x = 0; x < width; ++x, p += 4) {
            if (p[3] == 255) {
                used[0][p[0]] = true;
                used[1][p[1]] = true;
                used[2][p[2]] = true;
            } else if (p[3] != 0 || (p[0] | p[1] | p[2]) != 0) {
                return; // soft alpha (or colour under alpha 0): RGBA
            }
        }
    }
    for (const auto& channel : used) {
        const auto free = std::find(channel.begin(), channel.end(), false);
        if (free == channel.end()) continue;
        const auto v = static_cast<std::int32_t>(free - channel.begin());
        transparencyValue_ = v + 256 * v + 65536 * v;
        colourType_ = png::kRgb;
        return;
    }
}

void cPNGwriter::appendChunk(std::vector<std::uint8_t>& out, const char type[4],
                             const std::uint8_t* data, std::size_t size) const {
    const std::size_t start = out.size();
    out.resize(start + 12 + size);
    std::uint8_t* p = out.data() + start;
    putBE32(p, static_cast<std::uint32_t>(size));
    std::memcpy(p + 4, type, 4);
    if (size != 0) std::memcpy(p + 8, data, size);
    putBE32(p + 8 + size, ChunkCRC(p + 4, size + 4));
}

std::uint32_t cPNGwriter::ChunkCRC(const std::uint8_t* typeAndData, std::size_t size) const {
    // zlib answers in native order; PNG stores it big-endian (putBE32).
    return zlib_.crc32({typeAndData, size});
}

void cPNGwriter::writeHeader(const surface::DibSurface& cHost,
                             std::vector<std::uint8_t>& out) const {
    out.reserve(33);
    out.insert(out.end(), velmora::kPngSignature.begin(), velmora::kPngSignature.end());
    std::uint8_t ihdr[13] = {};
    putBE32(ihdr, static_cast<std::uint32_t>(cHost.Width()));
    putBE32(ihdr + 4, static_cast<std::uint32_t>(cHost.Height()));
    ihdr[8] = 8; // bit depth: palettes and greys are never packed below a byte
    ihdr[9] = static_cast<std::uint8_t>(colourType_);
    // compression, filter method, interlace: all 0
    appendChunk(out, "IHDR", ihdr, sizeof ihdr);
}

void cPNGwriter::writePalette(std::vector<std::uint8_t>& out) const {
    appendChunk(out, "PLTE", palette_.data(), palette_.size());
}

void cPNGwriter::writeTransparency(std::vector<std::uint8_t>& out) const {
    const auto v = static_cast<std::uint8_t>(transparencyValue_);
    switch (colourType_) {
    case png::kGrey: {
        const std::uint8_t grey[2] = {0, v};
        appendChunk(out, "tRNS", grey, sizeof grey);
        break;
    }
    case png::kRgb: {
        const std::uint8_t key[6] = {0, v, 0, v, 0, v};
        appendChunk(out, "tRNS", key, sizeof key);
        break;
    }
    case png::kPalette:
        appendChunk(out, "tRNS", alphaTable_.data(), alphaTable_.size());
        break;
    default:
        break; // RGBA carries its alpha in the samples
    }
}

cPNGwriter::Status cPNGwriter::filterTrueColorRows(const surface::DibSurface& cHost) {
    const auto width = static_cast<std::size_t>(cHost.Width());
    const auto height = static_cast<std::size_t>(cHost.Height());
    const bool rgba = colourType_ == png::kRgba;
    const std::size_t bpp = rgba ? 4 : 3;
    const std::size_t length = width * bpp;
    filteredSize_ = height * (length + 1);
    filtered_ = std::make_unique_for_overwrite<std::uint8_t[]>(filteredSize_);

    // The key colour stands in for transparent pixels of RGB images; white
    // when there is none.
    const std::uint8_t key =
        transparencyValue_ >= 0 ? static_cast<std::uint8_t>(transparencyValue_) : 255;
    const bool alphaFlag = cHost.Alpha();
    const std::uint8_t* straight = unpremultiplyTable();
    std::vector<std::uint8_t> previous(length, 0), current(length);

    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* src = cHost.row(static_cast<std::int32_t>(y));
        std::uint8_t* d = current.data();
        for (std::size_t x = 0; x < width; ++x, src += 4, d += bpp) {
            const std::uint8_t b = src[0], g = src[1], r = src[2];
            const std::uint8_t a = alphaFlag ? src[3] : 255;
            if (a == 255) {
                d[0] = r;
                d[1] = g;
                d[2] = b;
            } else if (a == 0) {
                d[0] = d[1] = d[2] = rgba ? 0 : key;
            } else {
                if (r > a || g > a || b > a) return Failure{PngWriteError::NotPremultiplied};
                const std::uint8_t* t = straight + std::size_t{a} * 256;
                d[0] = t[r];
                d[1] = t[g];
                d[2] = t[b];
            }
            if (rgba) d[3] = a;
        }
        std::uint8_t* out = filtered_.get() + y * (length + 1);
        out[0] = 4; // Paeth
        paethRow(current.data(), previous.data(), out + 1, length, bpp);
        current.swap(previous);
    }
    return {};
}

cPNGwriter::Status cPNGwriter::EncodeImageData(std::vector<std::uint8_t>& out,
                                               const surface::DibSurface& cHost) {
    if (colourType_ == png::kRgb || colourType_ == png::kRgba)
        VELMORA_TRY(filterTrueColorRows(cHost));

    // Room for the deflated rows: n + 1 % + 12, rounded half to even. Deflate
    // never needs more than n + 11 bytes for stored blocks, so this suffices.
    const std::uint64_t n = filteredSize_;
    const std::uint64_t hundredths = n * 101 + 1200;
    std::uint64_t capacity = hundredths / 100;
    const std::uint64_t rest = hundredths % 100;
    if (rest > 50 || (rest == 50 && (capacity & 1) != 0)) ++capacity;

    const std::size_t start = out.size();
    if (capacity > std::numeric_limits<std::size_t>::max() - start - 16)
        return Failure{PngWriteError::TooLarge};
    // Checked above to fit the address space (which a 32-bit one may not).
    const auto room = static_cast<std::size_t>(capacity);
    // The stream is deflated straight into the output; IDAT's CRC and IEND
    // follow without moving it again.
    out.reserve(start + 8 + room + 4 + 12);
    out.resize(start + 8 + room);
    std::memcpy(out.data() + start + 4, "IDAT", 4);
    std::size_t written = room;
    const int rc =
        zlib_.compress({out.data() + start + 8, room}, written, {filtered_.get(), filteredSize_});
    filtered_.reset();
    if (rc != platform::Z_OK || written > room) return Failure{PngWriteError::DeflateFailed};
    if (written > kMaxChunkData) return Failure{PngWriteError::TooLarge};

    out.resize(start + 8 + written);
    putBE32(out.data() + start, static_cast<std::uint32_t>(written));
    std::uint8_t crc[4];
    putBE32(crc, ChunkCRC(out.data() + start + 4, written + 4));
    out.insert(out.end(), crc, crc + 4);
    return {};
}

void cPNGwriter::writeEnd(std::vector<std::uint8_t>& out) const {
    appendChunk(out, "IEND", nullptr, 0);
}

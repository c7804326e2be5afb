#include "codecs/cpngwriter.h"

#include "surface/dib_surface.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace {

using velmora::Failure;

constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
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
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
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

bool cPNGwriter::SavePNG(const surface::DibSurface& cHost, std::vector<std::uint8_t>& outStream) {
    error_ = PngWriteError::None;
    colourType_ = 0;
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
    if (colourType_ == 3) writePalette(out);
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

cPNGwriter::Result<bool> cPNGwriter::BuildPalette(const surface::DibSurface& cHost,
                                                  bool alphaFlag) {
    const auto width = static_cast<std::size_t>(cHost.Width());
    const auto height = static_cast<std::size_t>(cHost.Height());
    const std::size_t rowBytes = width + 1; // filter-type byte, then one byte per pixel
    // Without the Alpha flag the fourth byte carries nothing: every pixel
    // counts as opaque, as it is drawn.
    const std::uint32_t forcedAlpha = alphaFlag ? 0 : 0xFF000000u;

    // First pass: the distinct values, and each pixel's id among them
    // written where its palette position will go (PNG rows run top down).
    auto rows = std::make_unique_for_overwrite<std::uint8_t[]>(height * rowBytes);
    ColourSet colours;
    std::uint32_t last = pixelValue(cHost.row(0)) | forcedAlpha;
    auto lastId = static_cast<std::uint8_t>(colours.idOf(last));
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* src = cHost.row(static_cast<std::int32_t>(y));
        std::uint8_t* dst = rows.get() + y * rowBytes;
        *dst++ = 0; // filter type none
        for (std::size_t x = 0; x < width; ++x, src += 4) {
            const std::uint32_t value = pixelValue(src) | forcedAlpha;
            if (value != last) {
                const int id = colours.idOf(value);
                if (id < 0) return false; // a 257th colour: true colour it is
                last = value;
                lastId = static_cast<std::uint8_t>(id);
            }
            dst[x] = lastId;
        }
    }

    // The list in ascending signed order of the values: entries with
    // alpha 128 and above (negative values) come first.
    const int count = colours.size();
    std::array<std::uint8_t, ColourSet::kMaxColours> list{}; // list position -> id
    for (int id = 0; id < count; ++id)
        list[static_cast<std::size_t>(id)] = static_cast<std::uint8_t>(id);
    std::sort(list.begin(), list.begin() + count, [&](std::uint8_t l, std::uint8_t r) {
        return static_cast<std::int32_t>(colours.value(l)) <
               static_cast<std::int32_t>(colours.value(r));
    });
    auto entry = [&](int position) {
        return colours.value(list[static_cast<std::size_t>(position)]);
    };

    int translucentCount = 0; // entries whose alpha is not 255
    int firstTranslucent = -1;
    bool allGrey = true;
    for (int k = 0; k < count; ++k) {
        const std::uint32_t v = entry(k);
        if (alphaOf(v) != 255) {
            if (translucentCount++ == 0) firstTranslucent = k;
        }
        allGrey = allGrey && blueOf(v) == greenOf(v) && blueOf(v) == redOf(v);
    }
    transparencyValue_ = translucentCount == 0   ? -1
                         : translucentCount == 1 ? firstTranslucent + 1
                                                 : 0;

    std::array<std::uint8_t, ColourSet::kMaxColours> byteOfId{};
    colourType_ = 3;
    if (transparencyValue_ != 0 && allGrey) {
        // A grey image: the grey level itself is the sample. With alpha,
        // one level that no visible pixel uses is picked to mean
        // "transparent".
        std::int32_t transparentLevel = -1;
        bool greyFits = true;
        if (alphaFlag) {
            std::array<bool, 256> used{};
            for (int k = 0; k < count; ++k)
                if (entry(k) != 0) used[blueOf(entry(k))] = true;
            if (!used[0]) {
                transparentLevel = 0;
            } else {
                for (int level = 1; level <= count - 1; ++level)
                    if (!used[static_cast<std::size_t>(level)]) {
                        transparentLevel = level;
                        break;
                    }
            }
            // A grey key can only say "fully transparent": a partly
            // transparent value would lose its alpha, and an alpha-0 value
            // without a free level would have no sample. Both keep the
            // palette form, whose alpha table carries any alpha.
            if (translucentCount == 1) {
                const std::uint8_t alpha = alphaOf(entry(firstTranslucent));
                greyFits = alpha == 0 && transparentLevel >= 0;
            }
        }
        if (greyFits) {
            colourType_ = 0;
            transparencyValue_ = transparentLevel;
            for (int id = 0; id < count; ++id) {
                const std::uint32_t v = colours.value(id);
                byteOfId[static_cast<std::size_t>(id)] =
                    alphaOf(v) == 0 ? static_cast<std::uint8_t>(transparentLevel) : blueOf(v);
            }
        }
    }

    if (colourType_ == 3) {
        // Palette positions: without transparency in list order; with it,
        // the translucent entries first (so the alpha table stays short)
        // and the opaque ones from the last position downwards.
        std::array<std::uint8_t, ColourSet::kMaxColours> positionOf{}; // list position -> palette
        if (transparencyValue_ == -1) {
            for (int k = 0; k < count; ++k)
                positionOf[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(k);
        } else {
            int front = 0;
            int back = count - 1;
            for (int k = 0; k < count; ++k)
                positionOf[static_cast<std::size_t>(k)] =
                    static_cast<std::uint8_t>(alphaOf(entry(k)) != 255 ? front++ : back--);
        }

        palette_.assign(static_cast<std::size_t>(count) * 3, 0);
        if (transparencyValue_ != -1)
            alphaTable_.assign(static_cast<std::size_t>(translucentCount), 0);
        for (int k = 0; k < count; ++k) {
            const std::uint32_t v = entry(k);
            const std::uint8_t position = positionOf[static_cast<std::size_t>(k)];
            byteOfId[list[static_cast<std::size_t>(k)]] = position;
            const std::uint8_t alpha = alphaOf(v);
            std::uint8_t* rgb = palette_.data() + std::size_t{position} * 3;
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
            if (alpha != 255 && !alphaTable_.empty()) alphaTable_[position] = alpha;
        }
    }

    // Second pass: ids become samples (palette positions or grey levels).
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
        colourType_ = 2;
        return;
    }
    colourType_ = 6;
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
        colourType_ = 2;
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
    out.insert(out.end(), std::begin(kSignature), std::end(kSignature));
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
    case 0: {
        const std::uint8_t grey[2] = {0, v};
        appendChunk(out, "tRNS", grey, sizeof grey);
        break;
    }
    case 2: {
        const std::uint8_t key[6] = {0, v, 0, v, 0, v};
        appendChunk(out, "tRNS", key, sizeof key);
        break;
    }
    case 3:
        appendChunk(out, "tRNS", alphaTable_.data(), alphaTable_.size());
        break;
    default:
        break; // RGBA carries its alpha in the samples
    }
}

cPNGwriter::Status cPNGwriter::filterTrueColorRows(const surface::DibSurface& cHost) {
    const auto width = static_cast<std::size_t>(cHost.Width());
    const auto height = static_cast<std::size_t>(cHost.Height());
    const bool rgba = colourType_ == 6;
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
    if (colourType_ == 2 || colourType_ == 6) VELMORA_TRY(filterTrueColorRows(cHost));

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
    // The stream is deflated straight into the output; IDAT's CRC and IEND
    // follow without moving it again.
    out.reserve(start + 8 + capacity + 4 + 12);
    out.resize(start + 8 + capacity);
    std::memcpy(out.data() + start + 4, "IDAT", 4);
    std::size_t written = capacity;
    const int rc = zlib_.compress({out.data() + start + 8, capacity}, written,
                                  {filtered_.get(), filteredSize_});
    filtered_.reset();
    if (rc != platform::Z_OK || written > capacity) return Failure{PngWriteError::DeflateFailed};
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

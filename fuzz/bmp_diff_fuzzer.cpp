// Our bitmap reader (its own 32-bit path and the bitmap decoder behind the
// picture services) against stb_image, for the files stb_image accepts.
//
// Alpha follows our rules, not stb_image's: only an uncompressed 32-bit
// file keeps its fourth byte (all 0 or all 255 means none; colour already
// at most its alpha is taken as premultiplied, anything else is
// premultiplied here), and every other variant is opaque. So the colour is
// compared everywhere, and the alpha only where our rules use it.
//
// Listed:
// - a file whose header, palette or bits start lies past its end is
//   refused here; stb_image reads the missing bytes as zero;
// - a file whose rows are cut short: we leave missing pixels black (a
//   pixel cut in the middle too), stb_image reads zero bytes (index 0 of
//   a palette), so such files are compared for size only;
// - an indexed file with a short palette: we show the missing entries
//   black, stb_image leaves them unset (and reads four entries fewer of
//   an OS/2 palette than there are), so such files are compared for size
//   only;
// - a compression code with its top bit set names no method and is
//   refused here; stb_image reads the field as a signed number, takes it
//   for none of its methods and decodes the file as uncompressed;
// - bit-field masks whose bits are not one run are widened differently:
//   such files are compared for size only;
// - channels narrower than 8 bits (16-bit and bit-field files) are scaled
//   to the nearest 8-bit value here and by repeating the top bits in
//   stb_image: the two may differ by one.

#include "codecs/cbmpparser.h"
#include "dib/c32bppdib.h"
#include "fuzz/differential.h"
#include "platform/picture/bitmap_decoder.h"
#include "platform/system/environment.h"
#include "surface/image_types.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>

#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

namespace {

constexpr std::size_t kMaxPixels = std::size_t{1} << 20;

std::uint32_t u32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// Whether an indexed file's palette holds fewer entries than its depth
// can name (declared short, or cut by where the bits start).
bool shortPalette(std::span<const std::uint8_t> d) {
    if (d.size() < 18) return false;
    const std::uint32_t bitsAt = u32(&d[10]);
    const std::uint32_t headerSize = u32(&d[14]);
    const bool core = headerSize == 12;
    const std::size_t bitCountAt = core ? 24 : 28;
    if (d.size() < bitCountAt + 2) return false;
    const unsigned bits = d[bitCountAt] | d[bitCountAt + 1] << 8;
    if (bits > 8) return false;
    const std::size_t full = std::size_t{1} << bits;
    std::size_t entries = full;
    if (!core && headerSize >= 36 && d.size() >= 50 && u32(&d[46]) != 0)
        entries = std::min<std::size_t>(u32(&d[46]), full);
    const std::size_t tableAt = 14 + std::size_t{headerSize};
    const std::size_t end = std::min<std::size_t>(bitsAt, d.size());
    std::size_t room = end > tableAt ? (end - tableAt) / (core ? 3 : 4) : 0;
    // stb_image counts an OS/2 palette from the bits offset less 24 header
    // bytes, not 12: it reads four entries fewer and leaves those unset.
    if (core) room = std::min<std::size_t>(room, bitsAt >= 38 ? (bitsAt - 38) / 3 : 0);
    return std::min(entries, room) < full;
}

// Whether an uncompressed or bit-field file holds fewer bytes than its rows.
bool rowsCut(std::span<const std::uint8_t> d) {
    if (d.size() < 30) return false;
    const bool core = u32(&d[14]) == 12;
    const std::int64_t width = core ? (d[18] | d[19] << 8) : static_cast<std::int32_t>(u32(&d[18]));
    std::int64_t height = core ? (d[20] | d[21] << 8) : static_cast<std::int32_t>(u32(&d[22]));
    const unsigned bits = core ? (d[24] | d[25] << 8) : (d[28] | d[29] << 8);
    if (height < 0) height = -height;
    const std::int64_t row = ((std::int64_t{bits} * width + 31) / 32) * 4;
    return std::int64_t{u32(&d[10])} + row * height > static_cast<std::int64_t>(d.size());
}

// Channels stored in fewer than 8 bits.
bool narrowChannels(std::span<const std::uint8_t> d) {
    if (d.size() < 34 || u32(&d[14]) == 12) return false;
    const unsigned bits = d[28] | d[29] << 8;
    const std::uint32_t compression = u32(&d[30]);
    return bits == 16 || compression == 3 || compression == 6;
}

// A compression field with its top bit set, which stb_image reads as a
// negative number.
bool negativeCompression(std::span<const std::uint8_t> d) {
    return d.size() >= 34 && u32(&d[14]) >= 40 && (u32(&d[30]) & 0x80000000u) != 0;
}

// Bit-field masks whose set bits are not one run. The format asks for one
// run; such a mask has no single scale, and we and stb_image widen it
// differently, so such files are compared for size only.
bool brokenMasks(std::span<const std::uint8_t> d) {
    if (d.size() < 66 || u32(&d[14]) < 40) return false;
    const std::uint32_t compression = u32(&d[30]);
    if (compression != 3 && compression != 6) return false;
    for (std::size_t at = 54; at < 66; at += 4) {
        std::uint32_t m = u32(&d[at]);
        if (m == 0) continue;
        while ((m & 1) == 0)
            m >>= 1;
        if ((m & (m + 1)) != 0) return true;
    }
    return false;
}

struct StbFree {
    void operator()(stbi_uc* p) const { stbi_image_free(p); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || data[0] != 'B' || data[1] != 'M' || size > INT32_MAX) return 0;
    platform::ProcessEnvironment().decodePixelLimit = kMaxPixels;
    const int length = static_cast<int>(size);
    int w = 0, h = 0, n = 0;
    const bool sized = stbi_info_from_memory(data, length, &w, &h, &n) != 0;
    if (sized && static_cast<std::size_t>(w) * static_cast<std::size_t>(h) > kMaxPixels) return 0;

    c32bppDIB surface;
    cBMPparser parser;
    const bool ours = parser.LoadStream({data, size}, surface, 0, length);
    if (!sized) return 0;
    const std::unique_ptr<stbi_uc, StbFree> ref(stbi_load_from_memory(data, length, &w, &h, &n, 4));
    if (!ref) return 0; // a variant stb_image does not read
    if (!ours) {
        const auto error = parser.lastError();
        if (error == platform::BitmapError::Truncated || error == platform::BitmapError::NoPixels)
            return 0;
        if (error == platform::BitmapError::TooLarge) return 0;
        // A picture without pixels is no picture; stb_image hands back an
        // empty one.
        if ((w == 0 || h == 0) && error == platform::BitmapError::BadDimensions) return 0;
        if (error == platform::BitmapError::Unsupported && negativeCompression({data, size}))
            return 0;
        fuzzdiff::Disagree("we refuse (%s), stb_image decodes %d x %d",
                           error ? std::string(platform::ErrorText(*error)).c_str() : "?", w, h);
    }
    if (surface.Width() != w || surface.Height() != h)
        fuzzdiff::Disagree("size: stb_image %d x %d, we %d x %d", w, h, surface.Width(),
                           surface.Height());
    if (shortPalette({data, size}) || rowsCut({data, size}) || brokenMasks({data, size})) return 0;
    const bool narrow = narrowChannels({data, size});
    const std::int32_t type = surface.ImageType();
    for (int y = 0; y < h; ++y) {
        const stbi_uc* theirs = ref.get() + static_cast<std::size_t>(y) * w * 4;
        const std::uint8_t* mine = surface.row(y);
        for (int x = 0; x < w; ++x, theirs += 4, mine += 4) {
            std::array<std::uint8_t, 4> want{theirs[2], theirs[1], theirs[0], 255};
            if (type == modParsers::itBitmapAlpha)
                want = fuzzdiff::Premultiplied(theirs[0], theirs[1], theirs[2], mine[3]);
            else if (type == modParsers::itBitmapPremultiplied)
                want[3] = mine[3];
            bool same = want[3] == mine[3];
            for (int c = 0; c < 3; ++c)
                same = same && (want[c] == mine[c] || (narrow && std::abs(want[c] - mine[c]) == 1));
            if (!same)
                fuzzdiff::Disagree("pixel (%d, %d), image type %d: stb_image %u %u %u %u, we %u %u "
                                   "%u %u (blue, green, red, alpha)",
                                   x, y, type, want[0], want[1], want[2], want[3], mine[0], mine[1],
                                   mine[2], mine[3]);
        }
    }
    return 0;
}

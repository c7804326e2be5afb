// Our PNG reader against libpng on the same bytes.
//
// Every chunk CRC that lies inside the data is recomputed first, so the
// mutations reach the pixel layers of both decoders instead of stopping at
// a checksum. Our reader then decodes twice, inflating with zlib and with
// our own inflater: the two must give the same pixels or the same refusal,
// whatever the file.
//
// libpng is asked only about files whose chunks stand in the standard's
// order (one IHDR first, at most one PLTE and one tRNS of valid length
// before the image data, consecutive IDATs, IEND): our reader takes chunks
// in any order, lets later ones replace earlier ones, skips zero-length
// and unknown critical chunks, and libpng refuses most of that. For those
// files both must accept with identical premultiplied pixels, or refuse,
// except for the differences listed in ourRefusalListed and
// libpngRefusalListed, which our rules make on purpose.

#include "codecs/cpngparser.h"
#include "dib/c32bppdib.h"
#include "fuzz/differential.h"
#include "platform/system/environment.h"
#include "platform/util/byte_reader.h"

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <png.h>
#include <span>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

// Keeps each decode small: a few bytes may declare a huge picture.
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 20;

bool isLetter(std::uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

struct Layout {
    bool regular = false;
    std::uint32_t width = 0, height = 0;
    int depth = 0, colourType = 0;
    std::size_t paletteEntries = 0;
    std::vector<std::uint8_t> trns;
    bool hasTrns = false;
    bool interlaced = false;
    std::vector<std::uint8_t> idat; // the image data, every IDAT's in turn
};

// Recomputes the CRC of every chunk that lies inside the data and tells
// whether the chunks stand in the standard's order.
Layout fixCrcsAndJudge(std::vector<std::uint8_t>& png) {
    Layout layout;
    bool ihdr = false, plte = false, idat = false, idatEnded = false, iend = false;
    bool regular = png.size() >= 8;
    std::size_t at = 8;
    int index = 0;
    while (at < png.size() && png.size() - at >= 12) {
        const std::uint32_t length = velmora::loadU32be(&png[at]);
        if (length > png.size() - at - 12) {
            regular = false;
            break;
        }
        const std::uint8_t* type = &png[at + 4];
        const std::uint8_t* data = type + 4;
        const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, type, length + 4));
        std::uint8_t* stored = &png[at + 8 + length];
        stored[0] = static_cast<std::uint8_t>(crc >> 24);
        stored[1] = static_cast<std::uint8_t>(crc >> 16);
        stored[2] = static_cast<std::uint8_t>(crc >> 8);
        stored[3] = static_cast<std::uint8_t>(crc);
        at += std::size_t{length} + 12;
        if (iend) continue; // past IEND: neither reader looks
        const std::string name(reinterpret_cast<const char*>(type), 4);
        if (!isLetter(type[0]) || !isLetter(type[1]) || !isLetter(type[2]) || !isLetter(type[3]))
            regular = false;
        if (idat && name != "IDAT") idatEnded = true;
        if (index++ == 0) {
            if (name != "IHDR" || length != 13) {
                regular = false;
                continue;
            }
            ihdr = true;
            layout.width = velmora::loadU32be(data);
            layout.height = velmora::loadU32be(data + 4);
            layout.depth = data[8];
            layout.colourType = data[9];
            layout.interlaced = data[12] != 0;
        } else if (name == "IHDR") {
            regular = false;
        } else if (name == "PLTE") {
            if (plte || idat || length == 0 || length % 3 != 0 || length > 768) regular = false;
            plte = true;
            layout.paletteEntries = length / 3;
        } else if (name == "tRNS") {
            if (layout.hasTrns || idat) regular = false;
            const int t = layout.colourType;
            if ((t == 0 && length != 2) || (t == 2 && length != 6) ||
                (t == 3 && (!plte || length == 0 || length > layout.paletteEntries)))
                regular = false;
            layout.hasTrns = true;
            layout.trns.assign(data, data + length);
        } else if (name == "IDAT") {
            layout.idat.insert(layout.idat.end(), data, data + length);
            if (idatEnded) regular = false;
            idat = true;
        } else if (name == "IEND") {
            iend = true;
        } else if (length == 0 || !(type[0] & 0x20)) {
            // Zero-length and unknown critical chunks: we skip them, libpng
            // judges them.
            regular = false;
        }
    }
    layout.regular = regular && ihdr && idat && iend && (layout.colourType != 3 || plte);
    return layout;
}

// The largest picture any IHDR in the data declares.
bool tooLarge(std::span<const std::uint8_t> data) {
    for (std::size_t i = 0; i + 12 <= data.size(); ++i) {
        if (std::memcmp(&data[i], "IHDR", 4) != 0) continue;
        const std::uint64_t w = velmora::loadU32be(&data[i + 4]) & 0x7FFFFFFF;
        const std::uint64_t h = velmora::loadU32be(&data[i + 8]) & 0x7FFFFFFF;
        if (w * h > kMaxPixels || w > kMaxPixels || h > kMaxPixels) return true;
    }
    return false;
}

struct Ours {
    bool image = false;
    codecs::PngError error = codecs::PngError::None;
    std::vector<std::uint8_t> pixels; // bottom row first, as the surface holds them
};

Ours decodeOurs(std::span<const std::uint8_t> png, bool withZlib) {
    platform::ProcessEnvironment().zlibLibraryNames =
        withZlib ? platform::Environment::DefaultZlibLibraryNames() : std::vector<std::string>{};
    c32bppDIB surface;
    cPNGparser reader;
    reader.LoadStream(png, surface, 0, static_cast<std::int32_t>(png.size()), 0);
    Ours ours;
    ours.error = reader.lastError();
    ours.image = surface.Handle() != 0;
    if (ours.image) ours.pixels.assign(surface.pixels().begin(), surface.pixels().end());
    return ours;
}

// What libpng made of the file: its rows expanded to 8-bit red, green,
// blue, alpha (alpha 255 for grey and RGB, whose key colour the harness
// applies by our rule), top row first.
struct Reference {
    bool image = false;
    std::string error;
    std::vector<std::string> warnings;
    int paletteMax = -1;
    std::vector<std::uint8_t> rgba;
    std::vector<png_bytep> rows;
    std::span<const std::uint8_t> input;
    std::size_t position = 0;
};

void onError(png_structp png, png_const_charp message) {
    static_cast<Reference*>(png_get_error_ptr(png))->error = message;
    png_longjmp(png, 1);
}

void onWarning(png_structp png, png_const_charp message) {
    static_cast<Reference*>(png_get_error_ptr(png))->warnings.emplace_back(message);
}

void onRead(png_structp png, png_bytep out, png_size_t size) {
    auto* ref = static_cast<Reference*>(png_get_io_ptr(png));
    if (ref->input.size() - ref->position < size) png_error(png, "read past the end");
    std::memcpy(out, ref->input.data() + ref->position, size);
    ref->position += size;
}

// Only trivially destructible locals live in this frame: libpng leaves it
// by longjmp on an error.
void decodeLibpngInto(Reference& ref, const Layout& layout) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ref, onError, onWarning);
    if (png == nullptr) return;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return;
    }
    png_set_read_fn(png, &ref, onRead);
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    // Our inflater does not check the Adler-32 trailer: the chunk CRCs
    // guard the data.
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_benign_errors(png, 1);
    png_set_check_for_invalid_index(png, 1);
    png_read_info(png, info);
    if (layout.colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
        if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    }
    if (layout.colourType == PNG_COLOR_TYPE_GRAY && layout.depth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (layout.depth == 16) png_set_strip_16(png);
    if (!(layout.colourType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
    if (!(layout.colourType & PNG_COLOR_MASK_ALPHA)) png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != std::size_t{layout.width} * 4)
        png_error(png, "unexpected row size");
    ref.rgba.assign(std::size_t{layout.width} * layout.height * 4, 0);
    ref.rows.resize(layout.height);
    for (std::uint32_t y = 0; y < layout.height; ++y)
        ref.rows[y] = ref.rgba.data() + std::size_t{y} * layout.width * 4;
    png_read_image(png, ref.rows.data());
    png_read_end(png, nullptr);
    ref.paletteMax = png_get_palette_max(png, info);
    ref.image = true;
    png_destroy_read_struct(&png, &info, nullptr);
}

// The largest palette index libpng reads from the rows, packed one to a
// byte and not expanded: its own tracking of the largest index skips rows
// that the palette expansion has already turned into colours.
struct Indexes {
    std::span<const std::uint8_t> input;
    std::size_t position = 0;
    std::string error;
    std::vector<std::uint8_t> bytes;
    std::vector<png_bytep> rows;
    int largest = -1;
};

void onIndexesError(png_structp png, png_const_charp message) {
    static_cast<Indexes*>(png_get_error_ptr(png))->error = message;
    png_longjmp(png, 1);
}

void onIndexesWarning(png_structp, png_const_charp) {}

void onIndexesRead(png_structp png, png_bytep out, png_size_t size) {
    auto* idx = static_cast<Indexes*>(png_get_io_ptr(png));
    if (idx->input.size() - idx->position < size) png_error(png, "read past the end");
    std::memcpy(out, idx->input.data() + idx->position, size);
    idx->position += size;
}

// Only trivially destructible locals live in this frame: libpng leaves it
// by longjmp on an error.
void readIndexesInto(Indexes& idx, const Layout& layout) {
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &idx, onIndexesError, onIndexesWarning);
    if (png == nullptr) return;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return;
    }
    png_set_read_fn(png, &idx, onIndexesRead);
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_benign_errors(png, 1);
    png_read_info(png, info);
    if (layout.depth < 8) png_set_packing(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != std::size_t{layout.width})
        png_error(png, "unexpected row size");
    idx.bytes.assign(std::size_t{layout.width} * layout.height, 0);
    idx.rows.resize(layout.height);
    for (std::uint32_t y = 0; y < layout.height; ++y)
        idx.rows[y] = idx.bytes.data() + std::size_t{y} * layout.width;
    png_read_image(png, idx.rows.data());
    for (const std::uint8_t index : idx.bytes)
        idx.largest = std::max<int>(idx.largest, index);
    png_destroy_read_struct(&png, &info, nullptr);
}

int largestIndex(std::span<const std::uint8_t> png, const Layout& layout) {
    Indexes idx;
    idx.input = png;
    readIndexesInto(idx, layout);
    return idx.largest;
}

// Our rule for the key colour of grey and RGB images: an 8-bit or smaller
// sample is compared with the low byte of the stored 16-bit value, a
// 16-bit one by its high byte with the high byte. libpng compares whole
// values (a grey key above 255 never matches an 8-bit sample).
bool isKey(const Layout& layout, const std::uint8_t* rgba) {
    if (!layout.hasTrns) return false;
    const std::vector<std::uint8_t>& t = layout.trns;
    if (layout.colourType == 0) {
        if (layout.depth == 16) return rgba[0] == t[0];
        if (layout.depth == 8) return rgba[0] == t[1];
        const int max = (1 << layout.depth) - 1;
        return t[1] <= max && rgba[0] == t[1] * (255 / max);
    }
    if (layout.colourType == 2) {
        if (layout.depth == 16) return rgba[0] == t[0] && rgba[1] == t[2] && rgba[2] == t[4];
        return rgba[0] == t[1] && rgba[1] == t[3] && rgba[2] == t[5];
    }
    return false;
}

// The bytes the rows take once inflated, filter bytes included.
std::size_t inflatedSize(const Layout& layout) {
    static const int kChannels[] = {1, 0, 3, 1, 2, 0, 4};
    const std::size_t bits = std::size_t{static_cast<unsigned>(layout.depth)} *
                             kChannels[layout.colourType <= 6 ? layout.colourType : 1];
    const auto rows = [bits](std::size_t width, std::size_t height) {
        return width == 0 ? 0 : height * (1 + (width * bits + 7) / 8);
    };
    if (!layout.interlaced) return rows(layout.width, layout.height);
    static const int kX[] = {0, 4, 0, 2, 0, 1, 0}, kY[] = {0, 0, 4, 0, 2, 0, 1};
    static const int kDx[] = {8, 8, 4, 4, 2, 2, 1}, kDy[] = {8, 8, 8, 4, 4, 2, 2};
    std::size_t total = 0;
    for (int p = 0; p < 7; ++p)
        total += rows((layout.width + kDx[p] - 1 - kX[p]) / kDx[p],
                      (layout.height + kDy[p] - 1 - kY[p]) / kDy[p]);
    return total;
}

// Whether the image data's DEFLATE stream ends within the bytes the rows
// take (its zlib header and trailer aside, as our inflater reads it).
bool streamEndsWithinRows(const Layout& layout) {
    if (layout.idat.size() < 2) return false;
    std::vector<std::uint8_t> out(inflatedSize(layout) + 1);
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(layout.idat.data() + 2);
    z.avail_in = static_cast<uInt>(layout.idat.size() - 2);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size() - 1);
    const int rc = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

// Refusals of ours that libpng does not make, and why our rules make them.
bool ourRefusalListed(codecs::PngError error, const Reference& ref, const Layout& layout,
                      std::span<const std::uint8_t> png) {
    using codecs::PngError;
    switch (error) {
    case PngError::PaletteIndexTooLarge:
        // libpng shows an index past the palette as black; we refuse it.
        return ref.paletteMax >= static_cast<int>(layout.paletteEntries) ||
               largestIndex(png, layout) >= static_cast<int>(layout.paletteEntries);
    case PngError::InflateFailed:
        // A stream that goes on past the rows (more data, or damage after
        // the last row): libpng keeps the rows and only warns about the
        // rest; our inflaters take a stream that ends within the rows.
        return ref.image && !streamEndsWithinRows(layout);
    default:
        return false;
    }
}

// Refusals of libpng that we do not make, and why our rules accept.
bool libpngRefusalListed(const Reference& ref) {
    static const char* const kListed[] = {
        // The rows missing from a short stream read as zero bytes.
        "Not enough image data",
        // A non-interlaced row with an unknown filter type is taken as
        // unfiltered.
        "bad adaptive filter value",
        // Incomplete code sets and headers of 286/287 literal or 31/32
        // distance symbols: our inflater accepts them and refuses only a
        // symbol out of range when it is used.
        "invalid literal/lengths set",
        "invalid distances set",
        "invalid code lengths set",
        "too many length or distance symbols",
        // Our inflater skips the zlib header unread; the CRCs guard it.
        "incorrect header check",
        "unknown compression method",
        "invalid window size",
        "preset dictionary",
        "missing LZ dictionary",
    };
    for (const char* text : kListed)
        if (ref.error.find(text) != std::string::npos) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool once = [] {
        platform::ProcessEnvironment().imagingLibraryNames = {};
        return true;
    }();
    (void)once;
    if (tooLarge({data, size})) return 0;
    std::vector<std::uint8_t> png(data, data + size);
    const Layout layout = fixCrcsAndJudge(png);

    const Ours withZlib = decodeOurs(png, true);
    const Ours ownInflater = decodeOurs(png, false);
    if (withZlib.image != ownInflater.image || withZlib.error != ownInflater.error ||
        withZlib.pixels != ownInflater.pixels)
        fuzzdiff::Disagree("zlib path (%s) and own inflater (%s) differ",
                           std::string(codecs::ErrorText(withZlib.error)).c_str(),
                           std::string(codecs::ErrorText(ownInflater.error)).c_str());
    if (!layout.regular) return 0;

    Reference ref;
    ref.input = png;
    decodeLibpngInto(ref, layout);
    const Ours& ours = withZlib;
    if (!ours.image && !ref.image) return 0;
    if (!ours.image) {
        if (ourRefusalListed(ours.error, ref, layout, png)) return 0;
        fuzzdiff::Disagree("we refuse (%s), libpng decodes",
                           std::string(codecs::ErrorText(ours.error)).c_str());
    }
    if (!ref.image) {
        if (libpngRefusalListed(ref)) return 0;
        fuzzdiff::Disagree("libpng refuses (%s), we decode", ref.error.c_str());
    }
    const std::size_t width = layout.width;
    for (std::size_t y = 0; y < layout.height; ++y) {
        const std::uint8_t* theirs = ref.rows[y];
        const std::uint8_t* mine = &ours.pixels[(layout.height - 1 - y) * width * 4];
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t* p = theirs + x * 4;
            const std::uint8_t alpha = isKey(layout, p) ? 0 : p[3];
            const auto want = fuzzdiff::Premultiplied(p[0], p[1], p[2], alpha);
            if (std::memcmp(want.data(), mine + x * 4, 4) != 0)
                fuzzdiff::Disagree("pixel (%zu, %zu): libpng %u %u %u %u, we %u %u %u %u "
                                   "(blue, green, red, alpha)",
                                   x, y, want[0], want[1], want[2], want[3], mine[x * 4],
                                   mine[x * 4 + 1], mine[x * 4 + 2], mine[x * 4 + 3]);
        }
    }
    return 0;
}

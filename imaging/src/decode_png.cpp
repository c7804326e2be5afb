// PNG through libpng: every colour type and depth, tRNS, interlacing,
// expanded to 8-bit BGRA and premultiplied.
//
// libpng reports errors by a long jump; the function that sets the jump
// point owns nothing with a destructor.

#include "imaging/src/internal.h"

#include <csetjmp>
#include <cstring>
#include <png.h>

namespace vimg {
namespace {

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
    Status status;
};

void readBytes(png_structp png, png_bytep out, png_size_t count) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(png));
    if (count > r->size - r->at) png_error(png, "truncated");
    std::memcpy(out, r->data + r->at, count);
    r->at += count;
}

[[noreturn]] void onError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void onWarning(png_structp, png_const_charp) {}

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// Deflate's densest form: a 258-byte match in a one-bit length code and a
// one-bit distance code, 1032 bytes out of every byte in.
constexpr std::uint64_t kDeflateExpansion = 1032;

// Judges the header against the image data that follows it: the IDAT
// chunks together cannot inflate to more than kDeflateExpansion times their
// size, and the picture needs at least width x height x bits-per-pixel / 8
// bytes of it. Chunk lengths past the end of the data end the walk; libpng
// then reports the damage itself.
const char* judgeStructure(std::span<const std::uint8_t> d) {
    if (d.size() < 8 + 8 + 13) return nullptr;
    const std::uint8_t* ihdr = d.data() + 16;
    if (std::memcmp(d.data() + 12, "IHDR", 4) != 0) return nullptr;
    const std::uint64_t width = be32(ihdr), height = be32(ihdr + 4);
    const unsigned depth = ihdr[8];
    unsigned channels = 0;
    switch (ihdr[9]) {
    case 0: // grey
    case 3: // palette
        channels = 1;
        break;
    case 2:
        channels = 3;
        break;
    case 4:
        channels = 2;
        break;
    case 6:
        channels = 4;
        break;
    default:
        return nullptr; // libpng names the fault
    }
    std::uint64_t idat = 0;
    std::size_t at = 8;
    while (d.size() - at >= 12) {
        const std::uint64_t length = be32(d.data() + at);
        if (length > d.size() - at - 12) break;
        if (std::memcmp(d.data() + at + 4, "IDAT", 4) == 0) idat += length;
        if (std::memcmp(d.data() + at + 4, "IEND", 4) == 0) break;
        at += 12 + static_cast<std::size_t>(length);
    }
    // A picture over the limit is refused as that, whatever its data.
    if (checkSize(static_cast<std::int64_t>(width), static_cast<std::int64_t>(height)) !=
        VELMORA_IMAGING_OK)
        return nullptr;
    const std::uint64_t bitsPerPixel = std::uint64_t{depth} * channels;
    // Sizes of 2^31 or more and bad depths are libpng's to name.
    if (width > PNG_UINT_31_MAX || height > PNG_UINT_31_MAX || bitsPerPixel == 0 ||
        bitsPerPixel > 64)
        return nullptr;
    // idat x 1032 < (width x height / 8) x bits, without the right side's
    // overflow.
    if (idat * kDeflateExpansion / bitsPerPixel < width * height / 8)
        return "PNG image data too short for the declared size";
    return nullptr;
}

} // namespace

Status decodePng(std::span<const std::uint8_t> data, const Allocator& allocator) {
    if (const char* reason = judgeStructure(data)) return refuse(VELMORA_IMAGING_DAMAGED, reason);
    Reader reader{data.data(), data.size(), 0, VELMORA_IMAGING_DAMAGED};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (png == nullptr) return VELMORA_IMAGING_NO_MEMORY;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return VELMORA_IMAGING_NO_MEMORY;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        if (reader.status == VELMORA_IMAGING_DAMAGED)
            return refuse(VELMORA_IMAGING_DAMAGED, "PNG data damaged");
        return reader.status;
    }
    png_set_read_fn(png, &reader, readBytes);
    // The size is judged below against the pixel limit; libpng's own
    // default cap of a million pixels a side is not ours.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_read_info(png, info);

    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int colourType = png_get_color_type(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_set_bgr(png);
    const bool alpha =
        (colourType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (!alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<png_size_t>(width) * 4) png_error(png, "layout");

    Pixels px;
    reader.status = allocator.make(width, height, px);
    if (reader.status != VELMORA_IMAGING_OK) png_error(png, "allocation");
    reader.status = VELMORA_IMAGING_DAMAGED;

    // Row by row, pass by pass: interlaced passes fill in rows already in
    // the target, so no table of row pointers is needed.
    const auto h = static_cast<std::int32_t>(height);
    for (int pass = 0; pass < passes; ++pass)
        for (std::int32_t y = 0; y < h; ++y) {
            png_read_row(png, px.row(y), nullptr);
            if (alpha && pass == passes - 1) premultiplyRow(px.row(y), px.width);
        }
    png_destroy_read_struct(&png, &info, nullptr);
    return VELMORA_IMAGING_OK;
}

bool pngUsable() {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (png == nullptr) return false;
    png_destroy_read_struct(&png, nullptr, nullptr);
    return true;
}

} // namespace vimg

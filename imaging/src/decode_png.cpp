// PNG through libpng: every colour type and depth, tRNS, interlacing,
// expanded to 8-bit BGRA and premultiplied.
//
// libpng reports errors by a long jump; the function that sets the jump
// point owns nothing with a destructor.

#include "imaging/src/internal.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <png.h>
#include <unistd.h>

namespace vimg {
namespace {

// The data in memory, or a file read through a buffer of the caller's.
struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
    Status status;
    std::FILE* file = nullptr;
    std::uint8_t* buffer = nullptr;
    std::size_t capacity = 0;
};

// Refills the buffer from the file once it is used up; the file's end is
// the data's end.
bool refill(Reader& r) {
    r.at = 0;
    r.size = std::fread(r.buffer, 1, r.capacity, r.file);
    if (r.size == 0 && std::ferror(r.file)) r.status = VELMORA_IMAGING_IO_ERROR;
    return r.size != 0;
}

void readBytes(png_structp png, png_bytep out, png_size_t count) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(png));
    if (r->file == nullptr) {
        if (count > r->size - r->at) png_error(png, "truncated");
        std::memcpy(out, r->data + r->at, count);
        r->at += count;
        return;
    }
    while (count > 0) {
        if (r->at == r->size && !refill(*r)) png_error(png, "truncated");
        const std::size_t part = std::min(count, r->size - r->at);
        std::memcpy(out, r->buffer + r->at, part);
        r->at += part;
        out += part;
        count -= part;
    }
}

[[noreturn]] void onError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void onWarning(png_structp, png_const_charp) {}

// Judges the header against the image data that follows it. Headers this
// walk cannot read, chunk lengths past the end of the data and sizes past
// the limit are left to libpng and the allocation, which name them.
const char* judgeStructure(const PngLayout& png) {
    if (!png.header || png.channels == 0) return nullptr;
    if (png.depth != 1 && png.depth != 2 && png.depth != 4 && png.depth != 8 && png.depth != 16)
        return nullptr;
    // A picture over the limit is refused as that, whatever its data.
    if (checkSize(static_cast<std::int64_t>(png.width), static_cast<std::int64_t>(png.height)) !=
        VELMORA_IMAGING_OK)
        return nullptr;
    if (pngDataTooShort(png)) return "PNG image data too short for the declared size";
    return nullptr;
}

// Decodes what the reader gives; the judgement of the structure has been
// passed.
Status decodeFrom(Reader& reader, const Allocator& allocator) {
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

} // namespace

Status decodePng(std::span<const std::uint8_t> data, const Allocator& allocator) {
    if (const char* reason = judgeStructure(walkPng(data)))
        return refuse(VELMORA_IMAGING_DAMAGED, reason);
    Reader reader{data.data(), data.size(), 0, VELMORA_IMAGING_DAMAGED};
    return decodeFrom(reader, allocator);
}

Status decodePngFile(std::FILE* file, std::uint64_t size, const Allocator& allocator) {
    // The walk reads the chunk frames in place, leaving the stream where it
    // stands for the decode.
    const int fd = fileno(file);
    const PngLayout layout = walkPng(size, [fd](std::uint64_t at, std::span<std::uint8_t> out) {
        return pread(fd, out.data(), out.size(), static_cast<off_t>(at)) ==
               static_cast<ssize_t>(out.size());
    });
    if (const char* reason = judgeStructure(layout)) return refuse(VELMORA_IMAGING_DAMAGED, reason);
    constexpr std::size_t kBuffer = 64 * 1024;
    const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kBuffer);
    Reader reader{nullptr, 0, 0, VELMORA_IMAGING_DAMAGED, file, buffer.get(), kBuffer};
    return decodeFrom(reader, allocator);
}

bool pngUsable() {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (png == nullptr) return false;
    png_destroy_read_struct(&png, nullptr, nullptr);
    return true;
}

} // namespace vimg

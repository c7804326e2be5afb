// PNG encoding through libpng: 8 bits a sample, top row first, RGBA when
// any pixel is not opaque and RGB otherwise, colours un-premultiplied
// exactly (colour x 255 / alpha, truncated).
//
// libpng reports errors by a long jump; everything with a destructor is
// made before the jump point and lives past it.

#include "imaging/src/internal.h"

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <new>
#include <png.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vimg {
namespace {

struct Output {
    velmora_imaging_sink sink;
    void* context;
    Status status;
    bool alpha; // kept in memory: it is read after the jump point
};

void writeBytes(png_structp png, png_bytep bytes, png_size_t size) {
    auto* out = static_cast<Output*>(png_get_io_ptr(png));
    if (out->sink(out->context, bytes, size) != 0) {
        out->status = VELMORA_IMAGING_SINK_FAILED;
        png_error(png, "sink");
    }
}
void flushNothing(png_structp) {}

[[noreturn]] void onError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void onWarning(png_structp, png_const_charp) {}

// One image row to RGB or RGBA samples.
void convertRow(const std::uint8_t* in, std::uint8_t* out, std::int32_t width, bool alpha,
                const std::uint8_t* table) {
    if (alpha) {
        for (std::int32_t x = 0; x < width; ++x, in += 4, out += 4) {
            const std::uint8_t* t = table + in[3] * 256;
            out[0] = t[in[2]];
            out[1] = t[in[1]];
            out[2] = t[in[0]];
            out[3] = in[3];
        }
    } else {
        for (std::int32_t x = 0; x < width; ++x, in += 4, out += 3) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
}

} // namespace

Status encodePng(const Pixels& px, velmora_imaging_sink sink, void* context) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(px.width) * 4);
    const std::uint8_t* table = unpremultiplyTable();
    Output out{sink, context, VELMORA_IMAGING_NO_MEMORY, anyTranslucent(px)};

    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (png == nullptr) return VELMORA_IMAGING_NO_MEMORY;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return VELMORA_IMAGING_NO_MEMORY;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return out.status;
    }
    png_set_write_fn(png, &out, writeBytes, flushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(px.width), static_cast<png_uint_32>(px.height),
                 8, out.alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (std::int32_t y = 0; y < px.height; ++y) {
        convertRow(px.row(y), row.data(), px.width, out.alpha, table);
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return VELMORA_IMAGING_OK;
}

namespace {

struct FileSink {
    std::FILE* file;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The permissions a file made by fopen would get: 0666 less the umask,
// read from the kernel's record so that no thread's umask is changed.
mode_t newFileMode() {
    mode_t mask = 022;
    if (std::unique_ptr<std::FILE, FileCloser> status{std::fopen("/proc/self/status", "r")}) {
        char line[256];
        while (std::fgets(line, sizeof line, status.get()))
            if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
    }
    return 0666 & ~mask;
}
std::int32_t toFile(void* context, const std::uint8_t* bytes, std::size_t size) {
    auto* f = static_cast<FileSink*>(context);
    return std::fwrite(bytes, 1, size, f->file) == size ? 0 : 1;
}

} // namespace

Status encodeWith(std::size_t, const Pixels& pixels, velmora_imaging_sink sink, void* context) {
    return encodePng(pixels, sink, context);
}

Status encodeFile(std::size_t, const Pixels& px, const char* path) {
    // Written beside the target under a name of its own (two savers of
    // one file never share one) and renamed over it once complete, so a
    // failure leaves neither a partial file nor a lost old one. The new
    // file keeps the old one's permissions.
    std::string temporary = std::string(path) + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return VELMORA_IMAGING_IO_ERROR;
    struct stat old {};
    const mode_t mode = ::stat(path, &old) == 0 ? old.st_mode & 07777 : newFileMode();
    FileSink sink{::fchmod(fd, mode) == 0 ? ::fdopen(fd, "wb") : nullptr};
    if (sink.file == nullptr) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return VELMORA_IMAGING_IO_ERROR;
    }
    Status status = encodePng(px, toFile, &sink);
    if (status == VELMORA_IMAGING_SINK_FAILED) status = VELMORA_IMAGING_IO_ERROR;
    if (std::fclose(sink.file) != 0 && status == VELMORA_IMAGING_OK)
        status = VELMORA_IMAGING_IO_ERROR;
    if (status == VELMORA_IMAGING_OK && std::rename(temporary.c_str(), path) != 0)
        status = VELMORA_IMAGING_IO_ERROR;
    if (status != VELMORA_IMAGING_OK) ::unlink(temporary.c_str());
    return status;
}

} // namespace vimg

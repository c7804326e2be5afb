// The formats this library reads, each through its own library, and files
// read through the C library: PNG as it is decoded, the others whole.

#include "imaging/src/internal.h"

#include <array>
#include <cstdio>
#include <limits>
#include <memory>
#include <sys/stat.h>

namespace vimg {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

Status decodeFormat(std::int32_t format, std::span<const std::uint8_t> data,
                    const Allocator& allocator) {
    switch (format) {
    case VELMORA_IMAGING_FORMAT_JPEG:
        return decodeJpeg(data, allocator);
    case VELMORA_IMAGING_FORMAT_PNG:
        return decodePng(data, allocator);
    case VELMORA_IMAGING_FORMAT_TIFF:
        return decodeTiff(data, allocator);
    case VELMORA_IMAGING_FORMAT_WEBP:
        return decodeWebp(data, allocator);
    default:
        return VELMORA_IMAGING_UNKNOWN_FORMAT;
    }
}

// PNG is read from the file as libpng asks for it; the other formats'
// libraries get the file whole.
Status decodeFileDirectly(const char* path, const Allocator& allocator, std::int32_t& format) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file) return kReadWhole;
    struct stat info {};
    if (fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > std::numeric_limits<std::int32_t>::max())
        return kReadWhole;
    // As many bytes as formatOf looks at.
    std::array<std::uint8_t, 12> head{};
    const std::size_t got = std::fread(head.data(), 1, head.size(), file.get());
    if (formatOf(std::span(head).first(got)) != VELMORA_IMAGING_FORMAT_PNG ||
        std::fseek(file.get(), 0, SEEK_SET) != 0)
        return kReadWhole;
    format = VELMORA_IMAGING_FORMAT_PNG;
    return decodePngFile(file.get(), static_cast<std::uint64_t>(info.st_size), allocator);
}

Status readWholeFile(const char* path, std::vector<std::uint8_t>& out) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file) return VELMORA_IMAGING_IO_ERROR;
    struct stat info {};
    if (fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode))
        return VELMORA_IMAGING_IO_ERROR;
    // The program's byte arrays are indexed by signed 32-bit numbers.
    if (info.st_size > std::numeric_limits<std::int32_t>::max()) return VELMORA_IMAGING_TOO_LARGE;
    out.resize(static_cast<std::size_t>(info.st_size));
    if (!out.empty() && std::fread(out.data(), 1, out.size(), file.get()) != out.size())
        return VELMORA_IMAGING_IO_ERROR;
    return VELMORA_IMAGING_OK;
}

} // namespace vimg

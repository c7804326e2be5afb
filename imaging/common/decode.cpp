// The decode entries: the format is told by its signature, then the data
// goes to the implementation's reader of that format. Files are read whole
// first, so every reader works on one bounded byte range, except those an
// implementation reads straight from the file (a picture's file need not
// sit in memory beside the picture).

#include "imaging/common/common.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <new>

namespace vimg {
namespace {

bool startsWith(std::span<const std::uint8_t> data, std::initializer_list<std::uint8_t> prefix) {
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

} // namespace

std::int32_t formatOf(std::span<const std::uint8_t> d) {
    if (startsWith(d, {0xFF, 0xD8, 0xFF})) return VELMORA_IMAGING_FORMAT_JPEG;
    if (startsWith(d, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}))
        return VELMORA_IMAGING_FORMAT_PNG;
    if (startsWith(d, {'I', 'I', 42, 0}) || startsWith(d, {'M', 'M', 0, 42}))
        return VELMORA_IMAGING_FORMAT_TIFF;
    if (startsWith(d, {'G', 'I', 'F', '8'})) return VELMORA_IMAGING_FORMAT_GIF;
    if (startsWith(d, {'B', 'M'})) return VELMORA_IMAGING_FORMAT_BMP;
    if (startsWith(d, {0, 0, 1, 0})) return VELMORA_IMAGING_FORMAT_ICO;
    if (d.size() >= 12 && startsWith(d, {'R', 'I', 'F', 'F'}) &&
        std::memcmp(d.data() + 8, "WEBP", 4) == 0)
        return VELMORA_IMAGING_FORMAT_WEBP;
    return 0;
}

namespace {

Status decodeKnown(std::span<const std::uint8_t> data, velmora_imaging_allocate allocate,
                   void* context, std::int32_t* format) {
    const std::int32_t kind = formatOf(data);
    if (format) *format = kind;
    switch (kind) {
    case VELMORA_IMAGING_FORMAT_JPEG:
    case VELMORA_IMAGING_FORMAT_PNG:
    case VELMORA_IMAGING_FORMAT_TIFF:
    case VELMORA_IMAGING_FORMAT_WEBP:
        break;
    // The program reads these three with its own readers.
    case VELMORA_IMAGING_FORMAT_GIF:
    case VELMORA_IMAGING_FORMAT_BMP:
    case VELMORA_IMAGING_FORMAT_ICO:
        return VELMORA_IMAGING_UNSUPPORTED;
    default:
        return VELMORA_IMAGING_UNKNOWN_FORMAT;
    }
    // No C++ exception may leave the library; the readers report failures
    // as codes, so only an allocation inside them can throw.
    try {
        return decodeFormat(kind, data, Allocator(allocate, context));
    } catch (const std::bad_alloc&) {
        return VELMORA_IMAGING_NO_MEMORY;
    } catch (...) {
        return VELMORA_IMAGING_DAMAGED;
    }
}

// Every failure names a reason; the status text serves where a reader had
// nothing more precise to say.
Status named(Status status) {
    if (status != VELMORA_IMAGING_OK && lastReason() == nullptr)
        refuse(status, velmora_imaging_status_text(status));
    return status;
}

Status decode(std::span<const std::uint8_t> data, velmora_imaging_allocate allocate, void* context,
              std::int32_t* format) {
    if (format) *format = 0;
    if (allocate == nullptr) return VELMORA_IMAGING_BAD_ARGUMENT;
    if (!sessionLive()) return VELMORA_IMAGING_NO_SESSION;
    return named(decodeKnown(data, allocate, context, format));
}

// A file the implementation decodes straight from the file, caught as
// decodeKnown catches; kReadWhole for any other.
Status decodeDirectly(const char* path, velmora_imaging_allocate allocate, void* context,
                      std::int32_t* format) {
    std::int32_t kind = 0;
    Status status;
    try {
        status = decodeFileDirectly(path, Allocator(allocate, context), kind);
    } catch (const std::bad_alloc&) {
        status = VELMORA_IMAGING_NO_MEMORY;
    } catch (...) {
        status = VELMORA_IMAGING_DAMAGED;
    }
    if (status == kReadWhole) return status;
    if (format) *format = kind;
    return named(status);
}

} // namespace
} // namespace vimg

using namespace vimg;

extern "C" {

int32_t velmora_imaging_decode_memory(const uint8_t* data, size_t size,
                                      velmora_imaging_allocate allocate, void* context,
                                      int32_t* format) {
    if (format) *format = 0;
    clearReason();
    if (data == nullptr && size != 0) return VELMORA_IMAGING_BAD_ARGUMENT;
    return decode({data, size}, allocate, context, format);
}

int32_t velmora_imaging_decode_file(const char* path, velmora_imaging_allocate allocate,
                                    void* context, int32_t* format) {
    if (format) *format = 0;
    clearReason();
    if (path == nullptr || path[0] == '\0' || allocate == nullptr)
        return VELMORA_IMAGING_BAD_ARGUMENT;
    if (!sessionLive()) return VELMORA_IMAGING_NO_SESSION;
    if (const Status direct = decodeDirectly(path, allocate, context, format); direct != kReadWhole)
        return direct;
    std::vector<std::uint8_t> bytes;
    try {
        if (const Status read = readWholeFile(path, bytes); read != VELMORA_IMAGING_OK) return read;
    } catch (const std::bad_alloc&) {
        return VELMORA_IMAGING_NO_MEMORY;
    }
    return decode(bytes, allocate, context, format);
}

} // extern "C"

#include "imaging/src/test_seam.h"

#include "imaging/src/internal.h"

#include <new>

extern "C" void velmora_imaging_test_break_startup(int32_t broken) {
    vimg::breakStartup(broken != 0);
}

extern "C" int32_t velmora_imaging_test_decode_memory_on(const char* soname, const uint8_t* data,
                                                         size_t size,
                                                         velmora_imaging_allocate allocate,
                                                         void* context) {
    vimg::clearReason();
    const std::span<const std::uint8_t> bytes(data, size);
    const vimg::Allocator allocator(allocate, context);
    try {
        switch (vimg::formatOf(bytes)) {
        case VELMORA_IMAGING_FORMAT_JPEG:
            return vimg::decodeJpegOn(soname, bytes, allocator);
        case VELMORA_IMAGING_FORMAT_TIFF:
            return vimg::decodeTiffOn(soname, bytes, allocator);
        case VELMORA_IMAGING_FORMAT_WEBP:
            return vimg::decodeWebpOn(soname, bytes, allocator);
        default:
            return VELMORA_IMAGING_UNKNOWN_FORMAT;
        }
    } catch (const std::bad_alloc&) {
        return VELMORA_IMAGING_NO_MEMORY;
    }
}

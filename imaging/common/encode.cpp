// The encode entries: the buffer, the encoder's identifier and the output
// are checked here, once, then the implementation's encoder writes.

#include "imaging/common/common.h"

#include <cstring>
#include <new>

namespace vimg {
namespace {

Status checkEncode(const velmora_imaging_pixels* pixels, const std::uint8_t* clsid, Pixels& px,
                   std::size_t& encoder) {
    if (!validPixels(pixels, px) || clsid == nullptr) return VELMORA_IMAGING_BAD_ARGUMENT;
    if (!sessionLive()) return VELMORA_IMAGING_NO_SESSION;
    const std::span<const velmora_imaging_codec> list = encoderList();
    for (encoder = 0; encoder < list.size(); ++encoder)
        if (std::memcmp(list[encoder].clsid, clsid, 16) == 0) return VELMORA_IMAGING_OK;
    return VELMORA_IMAGING_UNKNOWN_ENCODER;
}

} // namespace
} // namespace vimg

using namespace vimg;

extern "C" {

int32_t velmora_imaging_encode_memory(const velmora_imaging_pixels* pixels, const uint8_t clsid[16],
                                      velmora_imaging_sink sink, void* context) {
    Pixels px;
    std::size_t encoder = 0;
    if (sink == nullptr) return VELMORA_IMAGING_BAD_ARGUMENT;
    if (const Status s = checkEncode(pixels, clsid, px, encoder); s != VELMORA_IMAGING_OK) return s;
    try {
        return encodeWith(encoder, px, sink, context);
    } catch (const std::bad_alloc&) {
        return VELMORA_IMAGING_NO_MEMORY;
    }
}

int32_t velmora_imaging_encode_file(const velmora_imaging_pixels* pixels, const uint8_t clsid[16],
                                    const char* path) {
    Pixels px;
    std::size_t encoder = 0;
    if (path == nullptr || path[0] == '\0') return VELMORA_IMAGING_BAD_ARGUMENT;
    if (const Status s = checkEncode(pixels, clsid, px, encoder); s != VELMORA_IMAGING_OK) return s;
    try {
        return encodeFile(encoder, px, path);
    } catch (const std::bad_alloc&) {
        return VELMORA_IMAGING_NO_MEMORY;
    }
}

} // extern "C"

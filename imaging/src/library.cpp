// Sessions here stand on the libraries underneath being usable; the codec
// lists are this library's own.

#include "imaging/src/internal.h"

#include <array>
#include <atomic>
#include <pixman.h>

namespace vimg {
namespace {

std::atomic<bool> startupBroken{false};

bool dependenciesUsable() {
    if (startupBroken) return false;
    // The libraries loaded must be at least as new as the ones built against.
    if (pixman_version() < PIXMAN_VERSION) return false;
    // JPEG, TIFF and WebP need not be present to start: their libraries are
    // checked when they load, and a reader without one refuses its files.
    return pngUsable();
}

// Identifiers of the codecs; the encoder's is what a caller passes back.
#define VIMG_CLSID(last)                                                                           \
    {                                                                                              \
        0x5e, 0x7a, 0x2c, 0x91, 0x3b, 0x64, 0x4f, 0x0d, 0x9a, 0x71, 0x56, 0x0e, 0x21, 0xc4, 0x88,  \
            last                                                                                   \
    }

constexpr std::array<velmora_imaging_codec, 1> kEncoders{{
    {VIMG_CLSID(0x01), "PNG", "image/png", "*.PNG"},
}};

constexpr std::array<velmora_imaging_codec, 4> kDecoders{{
    {VIMG_CLSID(0x02), "JPEG", "image/jpeg", "*.JPG;*.JPEG;*.JPE;*.JFIF"},
    {VIMG_CLSID(0x03), "TIFF", "image/tiff", "*.TIF;*.TIFF"},
    {VIMG_CLSID(0x01), "PNG", "image/png", "*.PNG"},
    {VIMG_CLSID(0x07), "WEBP", "image/webp", "*.WEBP"},
}};

#undef VIMG_CLSID

} // namespace

void breakStartup(bool broken) {
    startupBroken = broken;
}

bool startSystem(std::uintptr_t& handle) {
    handle = 0;
    return dependenciesUsable();
}

void stopSystem(std::uintptr_t) {}

std::span<const velmora_imaging_codec> encoderList() {
    return kEncoders;
}

std::span<const velmora_imaging_codec> decoderList() {
    return kDecoders;
}

} // namespace vimg

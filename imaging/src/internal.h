#pragma once
// What the library's parts share: status codes, the pixel-buffer view, the
// allocation step every decoder goes through (pixel limit first) and the
// premultiplication rules.

#include "imaging/velmora_imaging.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace vimg {

using Status = std::int32_t;

// A pixel buffer as the public structure describes it, with rows reached by
// image row (0 = top) whatever the memory order.
struct Pixels {
    std::uint8_t* bits = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::ptrdiff_t stride = 0;
    bool bottomUp = false;

    std::uint8_t* row(std::int32_t y) const {
        const std::ptrdiff_t memoryRow = bottomUp ? height - 1 - y : y;
        return bits + memoryRow * stride;
    }
    // True when the rows lie back to back, width x 4 bytes each.
    bool packed() const { return stride == std::ptrdiff_t{width} * 4; }
};

// Checks a caller's description: non-null bits, positive size, a stride of
// at least a row that is a multiple of four, and a buffer size that fits.
bool validPixels(const velmora_imaging_pixels* in, Pixels& out);

// The decoders' way to their pixel memory: the size is checked against the
// pixel limit (and the 32-bit surface size) before the caller is asked.
class Allocator {
public:
    Allocator(velmora_imaging_allocate allocate, void* context)
        : allocate_(allocate), context_(context) {}
    // VELMORA_IMAGING_OK with `out` filled, or the reason there is none.
    Status make(std::int64_t width, std::int64_t height, Pixels& out) const;

private:
    velmora_imaging_allocate allocate_;
    void* context_;
};

// Without a buffer bigger than the pixel limit: DAMAGED for sizes below 1,
// TOO_LARGE past the limit.
Status checkSize(std::int64_t width, std::int64_t height);

bool sessionLive();

// Why the last decode on the calling thread failed: a fixed English phrase
// that lives as long as the library. refuse() records the phrase and
// answers the status, so a decoder writes `return refuse(DAMAGED, "...")`.
Status refuse(Status status, const char* reason);
void clearReason();
const char* lastReason();

// Set only by the test-only build of the library.
void breakStartup(bool broken);

// True for the identifier of the PNG encoder.
bool isPngEncoder(const std::uint8_t* clsid);

// colour x alpha / 255, truncated.
inline std::uint8_t premultiply(std::uint32_t colour, std::uint32_t alpha) {
    return static_cast<std::uint8_t>(colour * alpha / 255);
}

// Straight BGRA to premultiplied, in place.
void premultiplyRow(std::uint8_t* bgra, std::int32_t count);
// Straight RGBA (red first) to premultiplied BGRA, in place.
void premultiplySwapRow(std::uint8_t* rgba, std::int32_t count);
// Premultiplied data read from a file that may break the rule colour <=
// alpha: each colour is held to its alpha, in place.
void clampToAlphaRow(std::uint8_t* bgra, std::int32_t count);

// colour x 255 / alpha, truncated, for alpha 1..255 (index alpha x 256 +
// colour); alpha 0 gives 0.
const std::uint8_t* unpremultiplyTable();

// --- decoders -------------------------------------------------------------------
Status decodeJpeg(std::span<const std::uint8_t> data, const Allocator& allocator);
Status decodePng(std::span<const std::uint8_t> data, const Allocator& allocator);
Status decodeTiff(std::span<const std::uint8_t> data, const Allocator& allocator);
Status decodeWebp(std::span<const std::uint8_t> data, const Allocator& allocator);

// Startup checks of the libraries underneath: true when each can be set up.
bool jpegUsable();
bool pngUsable();

} // namespace vimg

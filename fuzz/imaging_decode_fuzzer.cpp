// Feeds arbitrary bytes to the imaging library's decode entry with the
// default pixel limit and pixel memory shaped as the program's surfaces
// give it: bottom row first, rows padded, fresh pages nobody has written.
// A header that makes the library write a picture its data cannot hold
// then costs its full size, which the fuzzer's memory and time limits turn
// into findings. What decodes is encoded as PNG and drawn turned and
// scaled, so the pixels a damaged file yields go through every other entry
// as well.

#include "imaging/velmora_imaging.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct FreeMemory {
    void operator()(std::uint8_t* p) const { std::free(p); }
};

// Up to this many pixels the memory is first filled with pixels that break
// the premultiplication rule, so a pixel the decoder never wrote shows
// after a successful decode; larger pictures keep untouched pages, as the
// program's do, and are neither checked, encoded nor drawn.
constexpr std::int64_t kCheckedPixels = std::int64_t{1} << 20;
constexpr std::uint32_t kUnwritten = 0x01FFFFFF; // alpha 1, white

struct Buffer {
    std::unique_ptr<std::uint8_t, FreeMemory> memory;
    velmora_imaging_pixels view{};
    bool filled = false;
};

std::int32_t allocate(void* context, std::int32_t width, std::int32_t height,
                      velmora_imaging_pixels* out) {
    auto* b = static_cast<Buffer*>(context);
    if (width <= 0 || height <= 0 || b->memory) __builtin_trap();
    // Checked pictures get rows padded to 64 bytes (packed for widths that
    // are multiples of 16, with a gap the decoder must not write into for
    // the others); larger ones are packed, as a surface's rows are, so that
    // the largest pictures the limit allows still fit.
    b->filled = std::int64_t{width} * height <= kCheckedPixels;
    const std::int64_t row = std::int64_t{width} * 4;
    const std::int64_t stride = b->filled ? (row + 63) / 64 * 64 : row;
    const std::int64_t bytes = stride * height;
    if (stride > INT32_MAX || bytes > INT32_MAX) return 1;
    // malloc, not calloc: the library promises to write every pixel, so
    // nothing here clears what the decoder is about to overwrite.
    b->memory.reset(static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(bytes))));
    if (!b->memory) return 1;
    if (b->filled) {
        for (std::int64_t i = 0; i < bytes; i += 4)
            std::memcpy(b->memory.get() + i, &kUnwritten, 4);
    }
    b->view = {b->memory.get(), width, height, static_cast<std::int32_t>(stride), 1};
    *out = b->view;
    return 0;
}

// Every pixel inside the rows holds colour <= alpha (so was written), and
// the padding after each row is as it was.
void checkWritten(const velmora_imaging_pixels& v) {
    for (std::int32_t y = 0; y < v.height; ++y) {
        const std::uint8_t* row = v.bits + std::ptrdiff_t{y} * v.stride;
        for (std::int32_t x = 0; x < v.width; ++x) {
            const std::uint8_t* p = row + std::ptrdiff_t{x} * 4;
            if (p[0] > p[3] || p[1] > p[3] || p[2] > p[3]) __builtin_trap();
        }
        for (std::int32_t x = v.width * 4; x < v.stride; x += 4)
            if (std::memcmp(row + x, &kUnwritten, 4) != 0) __builtin_trap();
    }
}

std::int32_t discard(void*, const std::uint8_t*, std::size_t) {
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        std::int32_t token = 0;
        velmora_imaging_set_pixel_limit(0);
        return velmora_imaging_startup(&token) == VELMORA_IMAGING_OK;
    }();
    if (!ready) return 0;

    Buffer decoded;
    std::int32_t format = 0;
    const std::int32_t status =
        velmora_imaging_decode_memory(data, size, allocate, &decoded, &format);
    // Every refusal names its reason.
    if (status != VELMORA_IMAGING_OK) {
        if (velmora_imaging_last_reason() == nullptr) __builtin_trap();
        return 0;
    }
    if (!decoded.memory) __builtin_trap();
    if (!decoded.filled) return 0;
    checkWritten(decoded.view);
    if (decoded.view.width * std::int64_t{decoded.view.height} > 65536) return 0;

    velmora_imaging_codec encoder{};
    velmora_imaging_encoders(&encoder, 1);
    velmora_imaging_encode_memory(&decoded.view, encoder.clsid, discard, nullptr);

    std::vector<std::uint32_t> target(32 * 32, 0xFF336699);
    const velmora_imaging_pixels view{reinterpret_cast<std::uint8_t*>(target.data()), 32, 32, 128,
                                      0};
    const float grey[25] = {0.3f, 0.3f, 0.3f, 0, 0, 0.6f, 0.6f, 0.6f, 0,    0,    0.1f, 0.1f, 0.1f,
                            0,    0,    0,    0, 0, 0.5f, 0,    0.1f, 0.1f, 0.1f, 0,    1};
    velmora_imaging_draw_params p{};
    p.src_width = static_cast<float>(decoded.view.width);
    p.src_height = static_cast<float>(decoded.view.height);
    p.dest_x = 30;
    p.dest_y = 2;
    p.dest_width = -25;
    p.dest_height = 21;
    // 30 degrees about (16, 16).
    p.world[0] = 0.866f, p.world[1] = 0.5f, p.world[2] = -0.5f, p.world[3] = 0.866f;
    p.world[4] = 10.14f, p.world[5] = -5.86f;
    p.interpolation = VELMORA_IMAGING_BICUBIC;
    p.color_matrix = grey;
    velmora_imaging_draw(&decoded.view, &view, &p);
    return 0;
}

// Feeds arbitrary bytes to the imaging library's decode entry; what decodes
// is then encoded as PNG and drawn turned and scaled, so the pixels a
// damaged file yields go through every other entry as well.

#include "imaging/velmora_imaging.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

struct Buffer {
    std::vector<std::uint32_t> memory;
    velmora_imaging_pixels view{};
};

std::int32_t allocate(void* context, std::int32_t width, std::int32_t height,
                      velmora_imaging_pixels* out) {
    auto* b = static_cast<Buffer*>(context);
    b->memory.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    b->view = {reinterpret_cast<std::uint8_t*>(b->memory.data()), width, height, width * 4, 1};
    *out = b->view;
    return 0;
}

std::int32_t discard(void*, const std::uint8_t*, std::size_t) {
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        std::int32_t token = 0;
        // A few bytes may ask for a huge picture; that costs only memory here.
        velmora_imaging_set_pixel_limit(std::uint64_t{1} << 22);
        return velmora_imaging_startup(&token) == VELMORA_IMAGING_OK;
    }();
    if (!ready) return 0;

    Buffer decoded;
    std::int32_t format = 0;
    if (velmora_imaging_decode_memory(data, size, allocate, &decoded, &format) !=
        VELMORA_IMAGING_OK)
        return 0;
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

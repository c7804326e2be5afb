#include "tests/imaging/support.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <unistd.h>

namespace imaging_test {

Picture::Picture(std::int32_t w, std::int32_t h, bool bottomUp_, std::uint32_t fill)
    : width(w), height(h), bottomUp(bottomUp_),
      memory(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill) {}

std::uint32_t& Picture::at(std::int32_t x, std::int32_t y) {
    const std::int32_t row = bottomUp ? height - 1 - y : y;
    return memory[static_cast<std::size_t>(row) * width + x];
}
std::uint32_t Picture::at(std::int32_t x, std::int32_t y) const {
    return const_cast<Picture*>(this)->at(x, y);
}
velmora_imaging_pixels Picture::view() {
    return {reinterpret_cast<std::uint8_t*>(memory.data()), width, height, width * 4,
            bottomUp ? 1 : 0};
}

Session::Session() {
    EXPECT_EQ(velmora_imaging_startup(&token_), VELMORA_IMAGING_OK);
}
Session::~Session() {
    velmora_imaging_shutdown(token_);
}

namespace {
struct Target {
    Decoded* decoded;
    bool bottomUp;
};
std::int32_t allocate(void* context, std::int32_t width, std::int32_t height,
                      velmora_imaging_pixels* out) {
    auto* t = static_cast<Target*>(context);
    ++t->decoded->allocations;
    // Filled with a pattern no decoder writes by accident.
    t->decoded->picture = Picture(width, height, t->bottomUp, 0xA5A5A5A5);
    *out = t->decoded->picture.view();
    return 0;
}
} // namespace

Decoded decode(std::span<const std::uint8_t> bytes, bool bottomUp) {
    Decoded d;
    Target t{&d, bottomUp};
    d.status = velmora_imaging_decode_memory(bytes.data(), bytes.size(), allocate, &t, &d.format);
    return d;
}

Decoded decodeFile(const std::string& path, bool bottomUp) {
    Decoded d;
    Target t{&d, bottomUp};
    d.status = velmora_imaging_decode_file(path.c_str(), allocate, &t, &d.format);
    return d;
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string temporaryPath(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("velmora-imaging-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

std::array<std::uint8_t, 16> encoderFor(const std::string& mime) {
    std::array<velmora_imaging_codec, 32> list{};
    const std::int32_t n =
        velmora_imaging_encoders(list.data(), static_cast<std::int32_t>(list.size()));
    for (std::int32_t i = 0; i < std::min<std::int32_t>(n, 32); ++i)
        if (mime == list[i].mime_type) {
            std::array<std::uint8_t, 16> id{};
            std::memcpy(id.data(), list[i].clsid, 16);
            return id;
        }
    ADD_FAILURE() << "no encoder for " << mime;
    return {};
}

velmora_imaging_draw_params plain(const Picture& source, std::int32_t interpolation) {
    velmora_imaging_draw_params p{};
    p.src_width = static_cast<float>(source.width);
    p.src_height = static_cast<float>(source.height);
    p.dest_width = p.src_width;
    p.dest_height = p.src_height;
    p.world[0] = p.world[3] = 1;
    p.interpolation = interpolation;
    return p;
}

std::int32_t draw(Picture& source, Picture& target, const velmora_imaging_draw_params& p) {
    const auto s = source.view();
    const auto t = target.view();
    return velmora_imaging_draw(&s, &t, &p);
}

Picture pattern(std::int32_t w, std::int32_t h, bool bottomUp) {
    Picture p(w, h, bottomUp);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            const std::uint32_t a = 255 - static_cast<std::uint32_t>(x + y * w) % 7 * 20;
            p.at(x, y) = bgra(static_cast<std::uint32_t>(x * 30) % 256 * a / 255,
                              static_cast<std::uint32_t>(y * 40) % 256 * a / 255, 90 * a / 255, a);
        }
    return p;
}

std::int32_t collect(void* context, const std::uint8_t* bytes, std::size_t size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    out->insert(out->end(), bytes, bytes + size);
    return 0;
}

} // namespace imaging_test

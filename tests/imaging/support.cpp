#include "tests/imaging/support.h"

#include <cstdio>
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

} // namespace imaging_test

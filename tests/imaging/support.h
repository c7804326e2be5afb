#pragma once
// Pixel buffers, a session and a decode into a buffer for the imaging
// library's tests.

#include "imaging/velmora_imaging.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace imaging_test {

// A premultiplied BGRA picture; rows are addressed top row first whatever
// the memory order.
struct Picture {
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool bottomUp = false;
    std::vector<std::uint32_t> memory;

    Picture() = default;
    Picture(std::int32_t w, std::int32_t h, bool bottomUp = false, std::uint32_t fill = 0);
    std::uint32_t& at(std::int32_t x, std::int32_t y);
    std::uint32_t at(std::int32_t x, std::int32_t y) const;
    velmora_imaging_pixels view();
};

constexpr std::uint32_t bgra(std::uint32_t b, std::uint32_t g, std::uint32_t r, std::uint32_t a) {
    return b | g << 8 | r << 16 | a << 24;
}
inline std::uint32_t blue(std::uint32_t p) {
    return p & 0xFF;
}
inline std::uint32_t green(std::uint32_t p) {
    return p >> 8 & 0xFF;
}
inline std::uint32_t red(std::uint32_t p) {
    return p >> 16 & 0xFF;
}
inline std::uint32_t alpha(std::uint32_t p) {
    return p >> 24;
}

// Keeps a session open for its lifetime.
class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    std::int32_t token() const { return token_; }

private:
    std::int32_t token_ = 0;
};

struct Decoded {
    std::int32_t status = -1;
    std::int32_t format = 0;
    int allocations = 0;
    Picture picture;
};

Decoded decode(std::span<const std::uint8_t> bytes, bool bottomUp = false);
Decoded decodeFile(const std::string& path, bool bottomUp = false);

std::vector<std::uint8_t> readFile(const std::string& path);

// The identifier of the encoder for `mime` in the library's list; fails
// the test when there is none.
std::array<std::uint8_t, 16> encoderFor(const std::string& mime);

// A sink that appends to the std::vector<std::uint8_t> it is given.
std::int32_t collect(void* context, const std::uint8_t* bytes, std::size_t size);
// A fresh path in the test's temporary folder.
std::string temporaryPath(const std::string& name);

// Draws the whole of `source` at the same size, untransformed.
velmora_imaging_draw_params plain(const Picture& source,
                                  std::int32_t interpolation = VELMORA_IMAGING_NEAREST);
std::int32_t draw(Picture& source, Picture& target, const velmora_imaging_draw_params& p);
// Colours and alphas that differ from pixel to pixel, premultiplied.
Picture pattern(std::int32_t w, std::int32_t h, bool bottomUp);

} // namespace imaging_test

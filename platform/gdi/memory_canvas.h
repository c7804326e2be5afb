#pragma once
// A memory device context holding a 32-bpp DIB section (bottom-up rows,
// blue-green-red-alpha, zeroed at the start): what containers have windowless
// controls paint into. Bottom-up rows are what the surface blends into in
// place.

#include "platform/gdi/types.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform {

class MemoryCanvas {
public:
    // Sizes below 1 are taken as 1.
    MemoryCanvas(int width, int height);
    ~MemoryCanvas();
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;

    // False when the system could not make the section.
    bool ok() const { return !bits_.empty(); }
    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t stride() const { return static_cast<std::size_t>(width_) * 4; }
    std::span<std::uint8_t> bytes() const { return bits_; }
    // Row y, counted from the top.
    std::uint8_t* row(int y) const {
        return bits_.data() + static_cast<std::size_t>(height_ - 1 - y) * stride();
    }
    // The pixel at (x, y), y = 0 the top row, as 0xAARRGGBB; 0 outside.
    std::uint32_t pixel(int x, int y) const;
    // Fills the part of `area` inside the canvas with one pixel value.
    void fill(const RECT& area, std::uint32_t bgra);

private:
    int width_;
    int height_;
    HDC dc_ = 0;
    HBITMAP bitmap_ = 0;
    HGDIOBJ previous_ = 0;
    std::span<std::uint8_t> bits_;
};

} // namespace platform

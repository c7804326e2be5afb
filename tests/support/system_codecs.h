#pragma once
// The system's own image codecs on Windows (the Windows Imaging Component),
// for tests that need a PNG decoded, or a JPEG written, independently of
// this program's readers and writer, where the Linux tests use libpng and
// libjpeg.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace testsystem {

enum class SampleOrder { Rgba, Bgra };

// Straight 8-bit samples, top row first.
struct Decoded {
    bool ok = false;
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
    std::string message;
};

Decoded decodePng(std::span<const std::uint8_t> file, SampleOrder order);

// A JPEG of `width` x `height` RGB samples (three bytes a pixel, top row
// first) at the encoder's highest quality; empty when the system cannot.
std::vector<std::uint8_t> writeJpeg(int width, int height, std::span<const std::uint8_t> rgb);

} // namespace testsystem

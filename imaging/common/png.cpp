// The PNG chunk walk, on the bytes alone: what a reader checks before any
// PNG library inflates the data.

#include "imaging/common/common.h"

#include <array>
#include <cstring>

namespace vimg {
namespace {

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) {
    return (a + b - 1) / b;
}

// Deflate's densest form: a 258-byte match in a one-bit length code and a
// one-bit distance code, 1032 bytes out of every byte in.
constexpr std::uint64_t kDeflateExpansion = 1032;

} // namespace

PngLayout walkPng(std::span<const std::uint8_t> d) {
    return walkPng(d.size(), [d](std::uint64_t at, std::span<std::uint8_t> out) {
        std::memcpy(out.data(), d.data() + at, out.size());
        return true;
    });
}

PngLayout walkPng(std::uint64_t size, const ReadAt& readAt) {
    PngLayout out;
    std::array<std::uint8_t, 8 + 12 + 13> head{};
    if (size < head.size() || !readAt(0, head) || be32(&head[8]) != 13 ||
        std::memcmp(&head[12], "IHDR", 4) != 0)
        return out;
    out.header = true;
    const std::uint8_t* ihdr = &head[16];
    out.width = be32(ihdr);
    out.height = be32(ihdr + 4);
    out.depth = ihdr[8];
    switch (ihdr[9]) {
    case 0: // grey
    case 3: // palette
        out.channels = 1;
        break;
    case 2: // RGB
        out.channels = 3;
        break;
    case 4: // grey and alpha
        out.channels = 2;
        break;
    case 6: // RGBA
        out.channels = 4;
        break;
    default:
        break;
    }
    for (std::uint64_t at = 8;;) {
        std::array<std::uint8_t, 8> frame{};
        if (size - at < 12 || !readAt(at, frame)) {
            out.end = PngLayout::End::Truncated;
            return out;
        }
        const std::uint64_t length = be32(frame.data());
        if (length > 0x7FFFFFFF || size - at - 12 < length) {
            out.end = PngLayout::End::Overrun;
            return out;
        }
        if (std::memcmp(&frame[4], "IDAT", 4) == 0) out.compressed += length;
        if (std::memcmp(&frame[4], "IEND", 4) == 0) {
            out.end = PngLayout::End::Ended;
            return out;
        }
        at += 12 + length;
    }
}

bool pngDataTooShort(const PngLayout& layout) {
    const std::uint64_t rowBytes = ceilDiv(layout.width * layout.channels * layout.depth, 8) + 1;
    return layout.compressed * kDeflateExpansion < rowBytes * layout.height;
}

} // namespace vimg

#pragma once
// The one way code here looks at 32-bit pixel memory it does not own: four
// bytes per pixel in blue, green, red, alpha order, colour premultiplied by
// alpha, rows stored bottom image row first, `stride` bytes apart. It is the
// layout of a bottom-up 32-bpp DIB section, which every surface uses, so a
// view over a surface, a scratch buffer or a section selected into a DC
// reads the same way.

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace velmora {

template <typename Byte>
struct BgraPremulBottomUp {
    static_assert(std::is_same_v<std::remove_const_t<Byte>, std::uint8_t>);

    Byte* data = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t stride = 0; // bytes from one memory row to the next

    constexpr BgraPremulBottomUp() = default;
    // Rows packed without padding unless a stride is given.
    constexpr BgraPremulBottomUp(Byte* bits, std::int32_t w, std::int32_t h,
                                 std::size_t rowBytes = 0)
        : data(bits), width(w), height(h),
          stride(rowBytes != 0 ? rowBytes : static_cast<std::size_t>(w < 0 ? 0 : w) * 4) {}
    // A writable view reads as a read-only one.
    template <typename Other>
    requires(std::is_const_v<Byte> && !std::is_const_v<Other>) constexpr BgraPremulBottomUp(
        const BgraPremulBottomUp<Other>& other)
        : data(other.data), width(other.width), height(other.height), stride(other.stride) {}

    constexpr bool empty() const { return data == nullptr || width < 1 || height < 1; }
    // Rows in memory order: 0 is the bottom row of the picture.
    constexpr Byte* memoryRow(std::int32_t r) const {
        return data + static_cast<std::size_t>(r) * stride;
    }
    // Rows in picture order: 0 is the top row.
    constexpr Byte* imageRow(std::int32_t y) const { return memoryRow(height - 1 - y); }
};

using BgraPremulBottomUpView = BgraPremulBottomUp<std::uint8_t>;
using ConstBgraPremulBottomUpView = BgraPremulBottomUp<const std::uint8_t>;

} // namespace velmora

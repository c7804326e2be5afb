#pragma once
// Overflow-checked size arithmetic for everything computed from untrusted
// headers: the product or sum is produced only when it fits.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

namespace velmora {

template <typename T>
constexpr std::optional<T> checkedMul(T a, T b) {
    T out{};
    if (__builtin_mul_overflow(a, b, &out)) return std::nullopt;
    return out;
}

template <typename T>
constexpr std::optional<T> checkedAdd(T a, T b) {
    T out{};
    if (__builtin_add_overflow(a, b, &out)) return std::nullopt;
    return out;
}

// Width x Height x bytesPerPixel as a byte count that also fits a signed
// 32-bit value, the largest buffer any surface or codec here allocates.
constexpr std::optional<std::size_t> imageBytes(std::int64_t width, std::int64_t height,
                                                std::int64_t bytesPerPixel) {
    if (width < 0 || height < 0 || bytesPerPixel < 0) return std::nullopt;
    auto wh = checkedMul<std::int64_t>(width, height);
    if (!wh) return std::nullopt;
    auto total = checkedMul<std::int64_t>(*wh, bytesPerPixel);
    if (!total || *total > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return static_cast<std::size_t>(*total);
}

} // namespace velmora

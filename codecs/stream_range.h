#pragma once
// The part of a caller's byte array a reader is asked to read. Callers pass
// offsets and lengths that nothing has checked against the array, so the
// range is clamped to what the array holds: a reader never sees a byte
// outside it.

#include <cstdint>
#include <optional>
#include <span>

namespace codecs {

// [offset, offset + length) within `bytes`; a length of 0 or less means up
// to the end, a length past the end is cut there. None when the offset
// lies outside the array.
template <typename T>
std::optional<std::span<T>> streamRange(std::span<T> bytes, std::int32_t offset,
                                        std::int32_t length) {
    if (offset < 0 || static_cast<std::size_t>(offset) >= bytes.size()) return std::nullopt;
    const std::size_t start = static_cast<std::size_t>(offset);
    const std::size_t available = bytes.size() - start;
    const std::size_t count =
        length <= 0 ? available
                    : std::min<std::size_t>(static_cast<std::size_t>(length), available);
    return bytes.subspan(start, count);
}

} // namespace codecs

#pragma once
// The eight bytes every PNG stream starts with. The reader looks for them,
// the writer emits them and the icon readers tell PNG entries apart by them.

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

namespace velmora {

inline constexpr std::array<std::uint8_t, 8> kPngSignature{137, 80, 78, 71, 13, 10, 26, 10};

// Whether `bytes` starts with the first `count` bytes of the signature (all
// eight unless a caller only needs to tell PNG data from other data).
constexpr bool startsWithPngSignature(std::span<const std::uint8_t> bytes,
                                      std::size_t count = kPngSignature.size()) {
    count = std::min(count, kPngSignature.size());
    return bytes.size() >= count &&
           std::equal(kPngSignature.begin(), kPngSignature.begin() + count, bytes.begin());
}

} // namespace velmora

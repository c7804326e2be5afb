// What reading a file means on every system, over the platform's File.

#include "platform/system/file.h"

namespace platform {

std::optional<std::vector<std::uint8_t>> ReadToEnd(File& file) {
    // The size is only a first guess: the file may grow or shrink while it
    // is read, so reading goes on until a read comes back short.
    constexpr std::size_t kChunk = 64 * 1024;
    std::vector<std::uint8_t> bytes;
    const std::int64_t size = file.size();
    const std::int64_t at = file.position();
    if (size > at && at >= 0) bytes.reserve(static_cast<std::size_t>(size - at) + kChunk);
    for (;;) {
        const std::size_t start = bytes.size();
        bytes.resize(start + kChunk);
        const std::int64_t got = file.read(std::span(bytes).subspan(start));
        if (got < 0) return std::nullopt;
        bytes.resize(start + static_cast<std::size_t>(got));
        if (static_cast<std::size_t>(got) < kChunk) return bytes;
    }
}

bool UnicodeDesktop() {
    return true;
}

} // namespace platform

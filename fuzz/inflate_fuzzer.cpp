// Feeds arbitrary bytes to our inflater as a raw DEFLATE stream, with an
// output size taken from the first two bytes, and checks what it claims
// against zlib's answer for the same stream.

#include "codecs/inflate.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>
#include <zlib.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t capacity = (std::size_t{data[0]} << 8 | data[1]) * 4;
    const std::span<const std::uint8_t> in(data + 2, size - 2);

    std::vector<std::uint8_t> out(capacity);
    const auto ours = codecs::InflateRaw(in, out);
    if (ours && *ours > capacity) std::abort();

    // zlib's raw inflate on the same stream and buffer size. When zlib
    // finishes the stream, we must finish it with the same bytes; ours may
    // also succeed where zlib refuses (we accept 286/287-symbol headers
    // and incomplete codes), never the other way round.
    std::vector<std::uint8_t> ref(capacity + 1);
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return 0;
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = ref.data();
    z.avail_out = static_cast<uInt>(ref.size());
    const int rc = inflate(&z, Z_FINISH);
    const std::size_t produced = ref.size() - z.avail_out;
    inflateEnd(&z);
    if (rc == Z_STREAM_END && produced <= capacity) {
        if (!ours) std::abort();
        // memcmp wants real pointers even for no bytes, and an empty room has none.
        if (*ours != produced ||
            (produced != 0 && std::memcmp(out.data(), ref.data(), produced) != 0))
            std::abort();
    }
    return 0;
}

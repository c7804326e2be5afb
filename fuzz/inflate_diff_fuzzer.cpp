// Our inflater against zlib on raw DEFLATE streams: the same bytes out, or
// both refuse. The first two input bytes give the output room (times 4),
// the rest is the stream.
//
// Listed differences (our inflater accepts where zlib refuses):
// - literal/length headers of 286 or 287 symbols and distance headers of
//   31 or 32: the header fields allow them, and a symbol out of range is
//   refused only when it is used;
// - incomplete code sets, as the DEFLATE format permits decoders to.
// Where zlib refuses and we accept, what zlib wrote before it stopped must
// be the start of our output.

#include "codecs/inflate.h"
#include "fuzz/differential.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

bool listed(const char* message) {
    static const char* const kListed[] = {
        "too many length or distance symbols",
        "invalid code lengths set",
        "invalid literal/lengths set",
        "invalid distances set",
    };
    if (message == nullptr) return false;
    for (const char* text : kListed)
        if (std::strcmp(message, text) == 0) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t capacity = (std::size_t{data[0]} << 8 | data[1]) * 4;
    const std::span<const std::uint8_t> in(data + 2, size - 2);

    std::vector<std::uint8_t> out(capacity);
    const auto ours = codecs::InflateRaw(in, out);
    if (ours && *ours > capacity) fuzzdiff::Disagree("we claim %zu bytes in %zu", *ours, capacity);

    // One byte more than the room given, so zlib never sees a null buffer.
    std::vector<std::uint8_t> ref(capacity + 1);
    // memcmp wants real pointers even for no bytes: an empty room has none.
    const auto sameStart = [&](std::size_t n) {
        return n == 0 || std::memcmp(out.data(), ref.data(), n) == 0;
    };
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return 0;
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = ref.data();
    z.avail_out = static_cast<uInt>(capacity);
    const int rc = inflate(&z, Z_FINISH);
    const std::size_t produced = capacity - z.avail_out;
    const std::string message = z.msg != nullptr ? z.msg : "";
    inflateEnd(&z);

    const bool zlibDone = rc == Z_STREAM_END;
    if (zlibDone && !ours)
        fuzzdiff::Disagree("zlib inflates %zu bytes, we refuse (%s)", produced,
                           std::string(codecs::ErrorText(ours.error())).c_str());
    if (zlibDone) {
        if (*ours != produced || !sameStart(produced))
            fuzzdiff::Disagree("zlib inflates %zu bytes, we %zu, or other bytes", produced, *ours);
        return 0;
    }
    if (!ours) return 0;
    // We finish a stream zlib does not. A stream zlib merely could not
    // finish in the room given (or whose input ran out) is one we must
    // refuse too; a refusal by zlib must be listed.
    if (rc != Z_DATA_ERROR || !listed(message.c_str()))
        fuzzdiff::Disagree("we inflate %zu bytes, zlib stops (%d: %s) after %zu", *ours, rc,
                           message.c_str(), produced);
    if (produced > *ours || !sameStart(produced))
        fuzzdiff::Disagree("zlib's %zu bytes before its refusal are not the start of ours",
                           produced);
    return 0;
}

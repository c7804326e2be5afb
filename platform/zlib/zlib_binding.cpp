#include "platform/zlib/zlib_binding.h"

#include "platform/system/environment.h"

#include <algorithm>
#include <climits>
#include <zlib.h>

namespace platform {
namespace {} // namespace

std::vector<std::string> ZlibLibraryNames() {
    return CurrentEnvironment().zlibLibraryNames;
}

std::optional<ZlibLocation> FindZlibLibrary(bool /*skipConvention*/) {
    const std::vector<std::string> list = ZlibLibraryNames();
    // The first two names carry the ids 2 and 1; further names (none by
    // default) would count down past them, so only two are ever tried.
    for (std::size_t i = 0; i < list.size() && i < 2; ++i) {
        const Library probe(list[i]);
        if (!probe.loaded() || !probe.symbol("crc32")) continue;
        ZlibLocation found;
        found.name = list[i];
        found.libraryId = static_cast<std::int32_t>(2 - i);
        found.hasCompress2 = probe.symbol("compress2") != nullptr;
        return found; // the probe's handle is freed; the codec loads the library again
    }
    return std::nullopt;
}

ZlibBinding ZlibBinding::bind() {
    ZlibBinding binding;
    const auto found = FindZlibLibrary(false);
    if (!found) return binding;
    binding.library_ = Library(found->name);
    if (!binding.library_.loaded()) return {};
    binding.location_ = *found;
    binding.crc32_ = binding.library_.function<Crc32Fn>("crc32");
    binding.uncompress_ = binding.library_.function<UncompressFn>("uncompress");
    binding.compress_ = binding.library_.function<CompressFn>("compress");
    binding.compress2_ = binding.library_.function<Compress2Fn>("compress2");
    binding.inflateInit2_ = binding.library_.function<InflateInit2Fn>("inflateInit2_");
    binding.inflate_ = binding.library_.function<InflateFn>("inflate");
    binding.inflateEnd_ = binding.library_.function<InflateEndFn>("inflateEnd");
    if (!binding.crc32_) return {};
    return binding;
}

std::uint32_t ZlibBinding::crc32(std::span<const std::uint8_t> data, std::uint32_t crc) const {
    if (!crc32_) return 0;
    unsigned long value = crc;
    // zlib takes the length as a 32-bit count; longer data goes in pieces.
    while (!data.empty()) {
        const std::size_t piece = std::min<std::size_t>(data.size(), UINT_MAX);
        value = crc32_(value, data.data(), static_cast<unsigned int>(piece));
        data = data.subspan(piece);
    }
    return static_cast<std::uint32_t>(value);
}

int ZlibBinding::uncompress(std::span<std::uint8_t> out, std::size_t& outLength,
                            std::span<const std::uint8_t> in) const {
    if (!uncompress_) return Z_DATA_ERROR;
    unsigned long length = std::min(outLength, out.size());
    const int rc = uncompress_(out.data(), &length, in.data(), in.size());
    outLength = length;
    return rc;
}

int ZlibBinding::compress(std::span<std::uint8_t> out, std::size_t& outLength,
                          std::span<const std::uint8_t> in) const {
    unsigned long length = std::min(outLength, out.size());
    int rc = Z_DATA_ERROR;
    if (compress2_)
        rc = compress2_(out.data(), &length, in.data(), in.size(), 9);
    else if (compress_)
        rc = compress_(out.data(), &length, in.data(), in.size());
    else
        return rc;
    outLength = length;
    return rc;
}

// The stream record is zlib's own; only its layout comes from the header,
// every function is the loaded library's.
struct InflateStream::State {
    z_stream stream{};
};

InflateStream::InflateStream(const ZlibBinding& zlib)
    : zlib_(zlib), state_(std::make_unique<State>()) {
    if (!zlib_.canStream()) return;
    // Negative window bits: raw blocks with the full 32 KiB window.
    started_ = zlib_.inflateInit2_(&state_->stream, -MAX_WBITS, ZLIB_VERSION,
                                   static_cast<int>(sizeof(z_stream))) == Z_OK;
}

InflateStream::~InflateStream() {
    if (started_) zlib_.inflateEnd_(&state_->stream);
}

int InflateStream::inflate(std::span<const std::uint8_t>& in, std::span<std::uint8_t>& out) {
    if (!started_) return Z_STREAM_ERROR;
    z_stream& s = state_->stream;
    // zlib counts in 32 bits; larger spans go through in several calls.
    const auto inPiece = static_cast<uInt>(std::min<std::size_t>(in.size(), UINT_MAX));
    const auto outPiece = static_cast<uInt>(std::min<std::size_t>(out.size(), UINT_MAX));
    s.next_in = const_cast<Bytef*>(in.data());
    s.avail_in = inPiece;
    s.next_out = out.data();
    s.avail_out = outPiece;
    const int rc = zlib_.inflate_(&s, Z_NO_FLUSH);
    in = in.subspan(inPiece - s.avail_in);
    out = out.subspan(outPiece - s.avail_out);
    return rc;
}

} // namespace platform

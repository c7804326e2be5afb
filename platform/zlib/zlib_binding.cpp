#include "platform/zlib/zlib_binding.h"

#include "platform/system/environment.h"

#include <algorithm>
#include <climits>

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

} // namespace platform

// Feeds arbitrary bytes to the PNG reader's memory entry, once with zlib and
// once with our own inflater (no CRC checks, so the mutations reach the
// pixel layer instead of stopping at a CRC).

#include "codecs/byte_reader.h"
#include "codecs/cpngparser.h"
#include "dib/c32bppdib.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/system/environment.h"
#include "platform/zlib/zlib_binding.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace {

// Large headers are valid PNG but only cost memory and time here: a few
// bytes may ask for a 64-megapixel surface. Skip inputs whose IHDR asks
// for more than 4 megapixels.
bool tooLarge(std::span<const std::uint8_t> data) {
    for (std::size_t i = 0; i + 12 <= data.size(); ++i) {
        if (data[i] != 'I' || data[i + 1] != 'H' || data[i + 2] != 'D' || data[i + 3] != 'R')
            continue;
        const std::uint64_t w = codecs::loadU32be(&data[i + 4]) & 0x7FFFFFFF;
        const std::uint64_t h = codecs::loadU32be(&data[i + 8]) & 0x7FFFFFFF;
        if (w * h > (std::uint64_t{1} << 22)) return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    if (tooLarge(bytes)) return 0;
    static const bool once = [] {
        platform::ProcessEnvironment().imagingLibraryNames = {};
        return true;
    }();
    (void)once;
    for (const bool withZlib : {true, false}) {
        platform::ProcessEnvironment().zlibLibraryNames =
            withZlib ? platform::Environment::DefaultZlibLibraryNames()
                     : std::vector<std::string>{};
        c32bppDIB surface;
        cPNGparser reader;
        reader.LoadStream(bytes, surface, 0, static_cast<std::int32_t>(size), 0);
        if (surface.Handle() != 0) {
            // Touch every pixel so a short surface would show.
            volatile std::uint8_t sink = 0;
            for (const std::uint8_t b : surface.pixels())
                sink = sink + b;
        }
    }
    return 0;
}

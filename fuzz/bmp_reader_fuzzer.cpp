// cBMPparser over arbitrary bytes, and the picture it may have made.
#include "codecs/cbmpparser.h"
#include "dib/c32bppdib.h"
#include "platform/picture/bitmap_decoder.h"
#include "platform/system/environment.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    platform::ProcessEnvironment().decodePixelLimit = std::size_t{1} << 22;
    // The reader's own 32-bit path allocates what the header says once the
    // data covers it, so the data bounds it already.
    c32bppDIB surface;
    cBMPparser().LoadStream({data, size}, surface, 0, static_cast<std::int32_t>(size));
    return 0;
}

// cGIFparser: block walk, rebuilt single-image GIF, index mapping.
#include "codecs/cgifparser.h"
#include "dib/c32bppdib.h"
#include "platform/picture/bitmap_decoder.h"
#include "platform/system/environment.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    platform::ProcessEnvironment().decodePixelLimit = std::size_t{1} << 22;
    c32bppDIB surface;
    cGIFparser().LoadStream({data, size}, surface, 0, static_cast<std::int32_t>(size));
    return 0;
}

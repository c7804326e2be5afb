// The GIF decoder of the picture services: block walk and LZW.
#include "platform/picture/bitmap_decoder.h"
#include "platform/picture/gif_decoder.h"
#include "platform/system/environment.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    platform::ProcessEnvironment().decodePixelLimit = std::size_t{1} << 22;
    static_cast<void>(platform::DecodeGif({data, size}));
    return 0;
}

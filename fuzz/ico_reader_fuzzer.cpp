// cICOparser: directory checks, entry choice, bitmap entries and masks. The
// first byte picks the wanted size and depth so every scoring path runs.
#include "codecs/cicoparser.h"
#include "dib/c32bppdib.h"
#include "platform/picture/bitmap_decoder.h"
#include "platform/system/environment.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    platform::ProcessEnvironment().decodePixelLimit = std::size_t{1} << 22;
    const std::int32_t wanted = (data[0] & 0x1F) * 8;
    const std::int32_t depth = data[0] >> 5 << 2;
    // The reader repairs the bytes it reads, so it gets a copy it may change.
    std::vector<std::uint8_t> bytes(data + 1, data + size);
    cICOparser parser;
    std::int32_t offset = 0, length = 0;
    if (!parser.LoadStream(bytes, wanted, wanted, nullptr, offset, length, depth, 0)) return 0;
    for (std::int32_t i = 1; i <= parser.IconCount(); ++i) {
        static_cast<void>(parser.ColorCount(i));
        static_cast<void>(parser.ColorByteOffset(i));
    }
    c32bppDIB surface;
    length = 0;
    parser.LoadStream(bytes, wanted, wanted, &surface, offset, length, depth, 0);
    return 0;
}

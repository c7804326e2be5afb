// The bitmap decoder of the picture services, both as a file and as the
// header, palette and bits an icon entry hands it.
#include "platform/picture/bitmap_decoder.h"
#include "platform/picture/picture.h"
#include "platform/system/environment.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Pictures of a few million pixels at most keep each run fast; the
    // limit is what the size checks guard, not the decoding.
    platform::ProcessEnvironment().decodePixelLimit = std::size_t{1} << 22;
    const std::span<const std::uint8_t> bytes(data, size);
    platform::LoadPictureFromBytes(bytes);

    if (auto layout = platform::ParseDib(bytes, size / 2)) {
        std::vector<std::uint8_t> rows(layout->pixelCount() * 4);
        const std::size_t bitsAt = std::min(layout->tableEnd, size);
        static_cast<void>(platform::DecodeDib(*layout, bytes.subspan(bitsAt), rows));
    }
    return 0;
}

// What other programs hand over through the clipboard, a drop or the
// program's resources: drop-file lists, packed DIBs and icon or cursor
// files. The first byte picks the reader; every handle made is freed, so a
// leak shows as a growing handle table.
#include "platform/gdi/gdi.h"
#include "platform/host/data_object.h"
#include "platform/picture/bitmap_decoder.h"
#include "platform/picture/icon.h"
#include "platform/picture/icon_file.h"
#include "platform/picture/picture.h"
#include "platform/system/environment.h"

#include <cstddef>
#include <cstdint>

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    platform::ProcessEnvironment().decodePixelLimit = std::size_t{1} << 22;
    const std::span<const std::uint8_t> bytes(data + 1, size - 1);
    const std::size_t before = platform::LiveObjectCount();
    switch (data[0] % 3) {
    case 0: {
        const auto names = platform::ReadDropFileNames(bytes);
        // Every name came out of the block: no more names than bytes.
        require(names.size() <= bytes.size());
        break;
    }
    case 1:
        static_cast<void>(platform::ReadPackedDib(bytes));
        break;
    default:
        for (const std::int32_t size : {16, 32, 256}) {
            const platform::HICON icon = platform::CreateIconFromFile(bytes, size, size);
            if (icon) platform::DestroyIcon(icon);
        }
        break;
    }
    require(platform::LiveObjectCount() == before);
    return 0;
}

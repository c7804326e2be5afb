#pragma once
// Icon and cursor handles made from icon (.ico) and cursor (.cur) files, as
// the system makes them from a program's icon and cursor resources.

#include "platform/gdi/types.h"

#include <cstdint>
#include <span>

namespace platform {

// The bitmap entry whose size is closest to cx x cy (the deepest among
// equally close ones) as an icon or cursor handle, with a cursor's hot
// spot. PNG entries are passed over: the picture services have no PNG
// decoder. 0 when the data is no icon or cursor file or no entry decodes;
// every offset and size is checked against the data first.
HICON CreateIconFromFile(std::span<const std::uint8_t> file, std::int32_t cx = 32,
                         std::int32_t cy = 32);

} // namespace platform

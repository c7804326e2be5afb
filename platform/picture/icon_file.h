#pragma once
// Icon and cursor handles made from icon (.ico) and cursor (.cur) files, as
// the system makes them from a program's icon and cursor resources.

#include "platform/gdi/types.h"
#include "platform/util/disk_headers.h"
#include "platform/util/result.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace platform {

// The bitmap entry whose size is closest to cx x cy (the deepest among
// equally close ones) as an icon or cursor handle, with a cursor's hot
// spot. PNG entries are passed over: the picture services have no PNG
// decoder. 0 when the data is no icon or cursor file or no entry decodes;
// every offset and size is checked against the data first.
HICON CreateIconFromFile(std::span<const std::uint8_t> file, std::int32_t cx = 32,
                         std::int32_t cy = 32);

enum class IconError {
    Truncated,     // the header or the directory runs past the data
    NotIcon,       // a reserved word other than 0, or a type other than icon or cursor
    NoEntries,     // a directory without entries (or with a count above 32767)
    EntryOutside,  // an entry whose bytes lie outside the data
    EntryTooSmall, // an entry too small for the header fields read from it
    NoBitCount,    // an entry whose depth neither its directory nor its header gives
    NoUsableEntry, // no entry holds an image that can be used
    BadImage,      // the chosen entry's image could not be decoded
};

std::string_view ErrorText(IconError error);

// The directory of an icon or cursor file: its type (1 icon, 2 cursor) and
// its entries as stored. The entries' offsets and sizes are not checked
// against the data here; each reader has its own policy for bad entries.
struct IconDirectory {
    std::uint16_t type = 0;
    std::vector<velmora::disk::IconDirEntry> entries;
};
velmora::Result<IconDirectory, IconError> ReadIconDirectory(std::span<const std::uint8_t> file);

// CreateIconFromFile with the reason when no icon was made.
velmora::Result<HICON, IconError> ReadIconFile(std::span<const std::uint8_t> file,
                                               std::int32_t cx = 32, std::int32_t cy = 32);

} // namespace platform

#pragma once
// Windows and enhanced metafile handles. This platform has no metafile
// player: a metafile is recognised by its header and kept as its bytes, so
// that code which asks what a handle is, or wraps it in a picture object,
// behaves as it would with the system's metafiles, and drawing it fails.

#include "platform/gdi/types.h"

#include <cstdint>
#include <span>

namespace platform {

// A placeable or plain Windows metafile header.
bool IsWindowsMetafile(std::span<const std::uint8_t> bytes);
// An enhanced metafile header (record type 1 with the " EMF" signature).
bool IsEnhMetafile(std::span<const std::uint8_t> bytes);

// Handles of type OBJ_METAFILE and OBJ_ENHMETAFILE over a copy of the
// bytes; 0 when the bytes are not that kind of metafile. DeleteObject (or
// the Delete calls below) frees them.
HMETAFILE SetMetaFileBitsEx(std::span<const std::uint8_t> bytes);
HENHMETAFILE SetEnhMetaFileBits(std::span<const std::uint8_t> bytes);
bool DeleteMetaFile(HMETAFILE handle);
bool DeleteEnhMetaFile(HENHMETAFILE handle);

} // namespace platform

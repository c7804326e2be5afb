#pragma once
// Shared insides of the picture services: the icon object of the handle
// table and the conversion of any bitmap row to 32-bit pixels.

#include "platform/gdi/objects.h"

#include <cstdint>
#include <memory>

namespace platform::detail {

struct IconObject final : GdiObject {
    int type() const override { return OBJ_ICON; }
    bool isIcon = true;
    std::uint32_t xHotspot = 0;
    std::uint32_t yHotspot = 0;
    // Owned outright, outside the table: handing out the icon's bitmaps
    // always means handing out copies, as the system does.
    std::unique_ptr<BitmapObject> color; // may be null
    std::unique_ptr<BitmapObject> mask;

    std::int32_t width() const { return color ? color->width : mask->width; }
    std::int32_t height() const { return color ? color->height : mask->height / 2; }
};

IconObject* findIcon(HGDIOBJ h);

std::unique_ptr<BitmapObject> cloneBitmap(const BitmapObject& source);

// Image row y (0 = top) of any bitmap as `bitmap.width` pixels of 0xAARRGGBB
// in memory order blue, green, red, alpha; alpha 255 unless the bitmap has
// 32 bits.
void readRow32(const BitmapObject& bitmap, std::int32_t y, std::uint32_t* out);

} // namespace platform::detail

#include "platform/host/clipboard.h"

#include "platform/gdi/gdi.h"
#include "platform/picture/bitmap_decoder.h"
#include "platform/picture/metafile.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

// The bitmap decoder makes every pixel opaque, as the system's bitmap
// services do. A 32-bit DIB another program put on the clipboard carries its
// transparency in the fourth byte, though: it is put back, and the surface
// then decides from the bytes whether they mean alpha at all (a bitmap that
// leaves them all 0 or all 255 stays opaque).
void keepAlpha(const Picture& picture, std::span<const std::uint8_t> dib) {
    const auto layout = ParseDib(dib);
    if (!layout || layout->bitCount != 32) return;
    // Bit fields put the colours elsewhere only when their masks say so.
    const bool plainOrder =
        layout->compression == BI_RGB ||
        (layout->compression == BI_BITFIELDS &&
         layout->masks == std::array<std::uint32_t, 3>{0xFF0000u, 0xFF00u, 0xFFu});
    if (!plainOrder) return;
    BITMAP info;
    if (!GetObjectBitmap(static_cast<HBITMAP>(picture.Handle()), info) || info.bmBits == nullptr ||
        info.bmBitsPixel != 32 || info.bmWidth != layout->width || info.bmHeight != layout->height)
        return;
    const std::size_t row = static_cast<std::size_t>(layout->width) * 4;
    if (static_cast<std::size_t>(info.bmWidthBytes) != row) return;
    const std::span<const std::uint8_t> bits = dib.subspan(layout->tableEnd);
    auto* out = static_cast<std::uint8_t*>(info.bmBits);
    for (std::int32_t r = 0; r < layout->height; ++r) {
        // Both bottom-up in memory unless the DIB says it is top-down.
        const std::size_t from =
            static_cast<std::size_t>(layout->topDown ? layout->height - 1 - r : r) * row;
        if (from + row > bits.size()) continue; // a short DIB: those rows stay opaque
        for (std::size_t x = 3; x < row; x += 4)
            out[static_cast<std::size_t>(r) * row + x] = bits[from + x];
    }
}

} // namespace

std::unique_ptr<Picture> GetClipboardPicture(WindowHost& host) {
    const ClipboardLock lock(host);
    if (!lock.open()) return nullptr;

    for (const unsigned format : {CF_DIB, CF_BITMAP}) {
        const auto dib = host.GetClipboardData(format);
        if (!dib) continue;
        auto picture = ReadPackedDib(*dib);
        if (!picture) return nullptr;
        keepAlpha(**picture, *dib);
        return std::move(*picture);
    }
    struct Metafile {
        unsigned format;
        HGDIOBJ (*make)(std::span<const std::uint8_t>);
        int pictureType;
    };
    for (const Metafile m : {Metafile{CF_ENHMETAFILE, SetEnhMetaFileBits, PICTYPE_ENHMETAFILE},
                             Metafile{CF_METAFILEPICT, SetMetaFileBitsEx, PICTYPE_METAFILE}}) {
        const auto bytes = host.GetClipboardData(m.format);
        if (!bytes) continue;
        const HGDIOBJ handle = m.make(*bytes);
        if (!handle) return nullptr;
        auto picture = CreatePictureIndirect(handle, m.pictureType);
        if (!picture) DeleteObject(handle);
        return picture;
    }
    return nullptr;
}

} // namespace platform

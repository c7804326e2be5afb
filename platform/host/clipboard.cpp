#include "platform/host/clipboard.h"

#include "platform/gdi/gdi.h"
#include "platform/picture/metafile.h"

namespace platform {

std::unique_ptr<Picture> GetClipboardPicture(WindowHost& host) {
    const ClipboardLock lock(host);
    if (!lock.open()) return nullptr;

    for (const unsigned format : {CF_DIB, CF_BITMAP}) {
        const auto dib = host.GetClipboardData(format);
        if (!dib) continue;
        auto picture = ReadPackedDib(*dib);
        return picture ? std::move(*picture) : nullptr;
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

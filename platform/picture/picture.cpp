#include "platform/picture/picture.h"

#include "platform/gdi/gdi.h"

#include <utility>

namespace platform {

Picture::~Picture() {
    if (handle_ != 0) DeleteObject(handle_);
}

HGDIOBJ Picture::release() {
    return std::exchange(handle_, 0);
}

std::unique_ptr<Picture> CreatePictureIndirect(HGDIOBJ handle, int type) {
    const int objectType = GetObjectType(handle);
    std::int32_t w = 0, h = 0;
    switch (type) {
    case PICTYPE_BITMAP: {
        BITMAP info;
        if (objectType != OBJ_BITMAP || !GetObjectBitmap(handle, info)) return nullptr;
        w = info.bmWidth;
        h = info.bmHeight;
        break;
    }
    case PICTYPE_METAFILE:
        if (objectType != OBJ_METAFILE) return nullptr;
        break;
    case PICTYPE_ENHMETAFILE:
        if (objectType != OBJ_ENHMETAFILE) return nullptr;
        break;
    case PICTYPE_ICON:
        if (objectType != OBJ_ICON) return nullptr;
        break;
    default:
        return nullptr;
    }
    return std::make_unique<Picture>(type, handle, PixelsToHiMetric(w), PixelsToHiMetric(h));
}

std::unique_ptr<Picture> LoadPictureFromBytes(std::span<const std::uint8_t> /*bytes*/) {
    // No stream decoder yet: bitmap and GIF expansion arrive with the
    // picture services; until then every stream is "not a picture".
    return nullptr;
}

} // namespace platform

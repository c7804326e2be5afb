#include "platform/picture/metafile.h"

#include "platform/gdi/gdi.h"
#include "platform/gdi/objects.h"
#include "platform/util/byte_reader.h"

#include <vector>

namespace platform {
namespace {

struct MetafileObject final : detail::GdiObject {
    MetafileObject(int kind, std::span<const std::uint8_t> data)
        : kind(kind), bytes(data.begin(), data.end()) {}
    int type() const override { return kind; }
    int kind;
    std::vector<std::uint8_t> bytes;
};

HGDIOBJ adopt(int kind, std::span<const std::uint8_t> bytes) {
    auto& table = detail::HandleTable::instance();
    std::lock_guard lock(table.mutex());
    return table.add(std::make_unique<MetafileObject>(kind, bytes));
}

} // namespace

bool IsWindowsMetafile(std::span<const std::uint8_t> b) {
    // The placeable header's key, or a plain header: type 1 (memory) or 2
    // (disk), nine header words, version 1.0 or 3.0.
    if (b.size() >= 4 && velmora::loadU32le(b, 0) == 0x9AC6CDD7u) return true;
    if (b.size() < 6) return false;
    const unsigned type = velmora::loadU16le(b, 0);
    const unsigned headerWords = velmora::loadU16le(b, 2);
    const unsigned version = velmora::loadU16le(b, 4);
    return (type == 1 || type == 2) && headerWords == 9 && (version == 0x100 || version == 0x300);
}

bool IsEnhMetafile(std::span<const std::uint8_t> b) {
    return b.size() >= 44 && velmora::loadU32le(b, 0) == 1 &&
           velmora::loadU32le(b, 40) == 0x464D4520u; // " EMF"
}

HMETAFILE SetMetaFileBitsEx(std::span<const std::uint8_t> bytes) {
    return IsWindowsMetafile(bytes) ? adopt(OBJ_METAFILE, bytes) : 0;
}

HENHMETAFILE SetEnhMetaFileBits(std::span<const std::uint8_t> bytes) {
    return IsEnhMetafile(bytes) ? adopt(OBJ_ENHMETAFILE, bytes) : 0;
}

bool DeleteMetaFile(HMETAFILE handle) {
    return GetObjectType(handle) == OBJ_METAFILE && DeleteObject(handle);
}

bool DeleteEnhMetaFile(HENHMETAFILE handle) {
    return GetObjectType(handle) == OBJ_ENHMETAFILE && DeleteObject(handle);
}

} // namespace platform

#include "platform/win32/regions.h"

#include "platform/win32/windows_api.h"

#include <cstddef>
#include <cstring>
#include <memory>

namespace platform::win32 {
namespace {

HRGN native(void* handle) {
    return static_cast<HRGN>(handle);
}

} // namespace

Region::Region() : handle_(CreateRectRgn(0, 0, 0, 0)) {}

Region::~Region() {
    if (handle_ != nullptr) DeleteObject(native(handle_));
}

Region Region::FromBoxes(std::span<const Box> boxes) {
    Region region;
    if (boxes.empty() || !region.valid()) return region;
    // One RGNDATA record: the header, then the rectangles.
    const std::size_t size = sizeof(RGNDATAHEADER) + boxes.size() * sizeof(RECT);
    auto bytes = std::make_unique<std::byte[]>(size);
    RGNDATAHEADER header{};
    header.dwSize = sizeof header;
    header.iType = RDH_RECTANGLES;
    header.nCount = static_cast<DWORD>(boxes.size());
    header.nRgnSize = static_cast<DWORD>(boxes.size() * sizeof(RECT));
    std::memcpy(bytes.get(), &header, sizeof header);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const RECT r{boxes[i].left, boxes[i].top, boxes[i].right, boxes[i].bottom};
        std::memcpy(bytes.get() + sizeof header + i * sizeof(RECT), &r, sizeof r);
    }
    HRGN made = ExtCreateRegion(nullptr, static_cast<DWORD>(size),
                                reinterpret_cast<const RGNDATA*>(bytes.get()));
    // A refused list leaves no region at all.
    DeleteObject(native(std::exchange(region.handle_, made)));
    return region;
}

bool Region::combine(const Region& a, const Region& b, Combination how) {
    if (!valid() || !a.valid() || !b.valid()) return false;
    const int mode = how == Combination::And    ? RGN_AND
                     : how == Combination::Or   ? RGN_OR
                     : how == Combination::Xor  ? RGN_XOR
                     : how == Combination::Diff ? RGN_DIFF
                                                : RGN_COPY;
    return CombineRgn(native(handle_), native(a.handle_), native(b.handle_), mode) != ERROR;
}

void Region::offset(std::int32_t dx, std::int32_t dy) {
    if (valid()) OffsetRgn(native(handle_), dx, dy);
}

bool Region::contains(std::int32_t x, std::int32_t y) const {
    return valid() && PtInRegion(native(handle_), x, y) != FALSE;
}

std::vector<Box> Region::boxes() const {
    if (!valid()) return {};
    const DWORD size = GetRegionData(native(handle_), 0, nullptr);
    if (size < sizeof(RGNDATAHEADER)) return {};
    auto bytes = std::make_unique<std::byte[]>(size);
    if (GetRegionData(native(handle_), size, reinterpret_cast<RGNDATA*>(bytes.get())) != size)
        return {};
    RGNDATAHEADER header;
    std::memcpy(&header, bytes.get(), sizeof header);
    const std::size_t available = (size - header.dwSize) / sizeof(RECT);
    const std::size_t count = header.nCount < available ? header.nCount : available;
    std::vector<Box> out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        RECT r;
        std::memcpy(&r, bytes.get() + header.dwSize + i * sizeof(RECT), sizeof r);
        out.push_back({r.left, r.top, r.right, r.bottom});
    }
    return out;
}

} // namespace platform::win32

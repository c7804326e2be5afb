// Regions as the system's own GDI regions, behind the platform's handles.

#include "platform/gdi/gdi.h"
#include "platform/gdi/objects.h"
#include "platform/system/environment.h"

#include <cstring>

namespace platform {

using namespace detail;

namespace {

int complexity(const win32::Region& region) {
    const std::size_t n = region.boxes().size();
    return n == 0 ? NULLREGION : n == 1 ? SIMPLEREGION : COMPLEXREGION;
}

// Windows orders the corners itself; an empty rectangle is an empty region.
RECT normalised(RECT r) {
    if (r.left > r.right) std::swap(r.left, r.right);
    if (r.top > r.bottom) std::swap(r.top, r.bottom);
    return r;
}

HRGN adopt(win32::Region region) {
    if (!region.valid()) return 0;
    auto object = std::make_unique<RegionObject>();
    object->region = std::move(region);
    return HandleTable::instance().add(std::move(object));
}

} // namespace

HRGN CreateRectRgn(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    const RECT r = normalised({left, top, right, bottom});
    if (r.left < r.right && r.top < r.bottom) {
        const win32::Box box{r.left, r.top, r.right, r.bottom};
        return adopt(win32::Region::FromBoxes(std::span(&box, 1)));
    }
    return adopt(win32::Region());
}

HRGN CreateRectRgnIndirect(const RECT& rect) {
    return CreateRectRgn(rect.left, rect.top, rect.right, rect.bottom);
}

HRGN ExtCreateRegion(const void* xform, std::span<const std::byte> data) {
    if (xform != nullptr || data.size() < sizeof(RGNDATAHEADER)) return 0;
    RGNDATAHEADER header;
    std::memcpy(&header, data.data(), sizeof header);
    if (header.dwSize != sizeof(RGNDATAHEADER) || header.iType != 1) return 0;
    const std::size_t available = (data.size() - sizeof header) / sizeof(RECT);
    if (header.nCount > available) return 0;
    const std::uint32_t limit = CurrentEnvironment().regionRectLimit;
    if (limit != 0 && header.nCount > limit) return 0;

    std::vector<win32::Box> boxes;
    boxes.reserve(header.nCount);
    for (std::uint32_t i = 0; i < header.nCount; ++i) {
        RECT r;
        std::memcpy(&r, data.data() + sizeof header + i * sizeof(RECT), sizeof r);
        r = normalised(r);
        if (r.left < r.right && r.top < r.bottom)
            boxes.push_back({r.left, r.top, r.right, r.bottom});
    }
    return adopt(win32::Region::FromBoxes(boxes));
}

int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode) {
    RegionObject* d = findRegion(dest);
    RegionObject* a = findRegion(src1);
    RegionObject* b = mode == RGN_COPY ? a : findRegion(src2);
    if (!d || !a || !b) return RGN_ERROR;
    win32::Combination how{};
    switch (mode) {
    case RGN_AND:
        how = win32::Combination::And;
        break;
    case RGN_OR:
        how = win32::Combination::Or;
        break;
    case RGN_XOR:
        how = win32::Combination::Xor;
        break;
    case RGN_DIFF:
        how = win32::Combination::Diff;
        break;
    case RGN_COPY:
        how = win32::Combination::Copy;
        break;
    default:
        return RGN_ERROR;
    }
    return d->region.combine(a->region, b->region, how) ? complexity(d->region) : RGN_ERROR;
}

int OffsetRgn(HRGN region, std::int32_t dx, std::int32_t dy) {
    RegionObject* r = findRegion(region);
    if (!r) return RGN_ERROR;
    r->region.offset(dx, dy);
    return complexity(r->region);
}

bool PtInRegion(HRGN region, std::int32_t x, std::int32_t y) {
    RegionObject* r = findRegion(region);
    return r && r->region.contains(x, y);
}

int GetRgnBox(HRGN region, RECT& box) {
    RegionObject* r = findRegion(region);
    if (!r) return RGN_ERROR;
    const std::vector<win32::Box> boxes = r->region.boxes();
    box = RECT{};
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const win32::Box& b = boxes[i];
        if (i == 0) {
            box = {b.left, b.top, b.right, b.bottom};
            continue;
        }
        box.left = std::min(box.left, b.left);
        box.top = std::min(box.top, b.top);
        box.right = std::max(box.right, b.right);
        box.bottom = std::max(box.bottom, b.bottom);
    }
    return boxes.empty() ? NULLREGION : boxes.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

std::vector<RECT> GetRegionRects(HRGN region) {
    RegionObject* r = findRegion(region);
    if (!r) return {};
    std::vector<RECT> out;
    for (const win32::Box& b : r->region.boxes())
        out.push_back({b.left, b.top, b.right, b.bottom});
    return out;
}

} // namespace platform

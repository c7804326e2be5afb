// Regions as pixman's banded rectangle lists: the same y-x banded form
// Windows keeps, with union, intersection and the rest done by a library
// that has drawn every X11 screen for decades.

#include "platform/gdi/gdi.h"
#include "platform/gdi/objects.h"
#include "platform/system/environment.h"

#include <cstring>

namespace platform {
namespace detail {

HRGN adoptRegion(const pixman_region32_t& source) {
    auto object = std::make_unique<RegionObject>();
    pixman_region32_copy(&object->region, const_cast<pixman_region32_t*>(&source));
    return HandleTable::instance().add(std::move(object));
}

} // namespace detail

using namespace detail;

namespace {

int complexity(const pixman_region32_t& region) {
    const int n = pixman_region32_n_rects(const_cast<pixman_region32_t*>(&region));
    return n == 0 ? NULLREGION : n == 1 ? SIMPLEREGION : COMPLEXREGION;
}

// Windows orders the corners itself; an empty rectangle is an empty region.
RECT normalised(RECT r) {
    if (r.left > r.right) std::swap(r.left, r.right);
    if (r.top > r.bottom) std::swap(r.top, r.bottom);
    return r;
}

} // namespace

HRGN CreateRectRgn(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    const RECT r = normalised({left, top, right, bottom});
    auto object = std::make_unique<RegionObject>();
    if (r.left < r.right && r.top < r.bottom)
        pixman_region32_init_rect(&object->region, r.left, r.top,
                                  static_cast<unsigned>(r.right - r.left),
                                  static_cast<unsigned>(r.bottom - r.top));
    return HandleTable::instance().add(std::move(object));
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

    std::vector<pixman_box32_t> boxes;
    boxes.reserve(header.nCount);
    for (std::uint32_t i = 0; i < header.nCount; ++i) {
        RECT r;
        std::memcpy(&r, data.data() + sizeof header + i * sizeof(RECT), sizeof r);
        r = normalised(r);
        if (r.left < r.right && r.top < r.bottom)
            boxes.push_back({r.left, r.top, r.right, r.bottom});
    }
    auto object = std::make_unique<RegionObject>();
    if (!boxes.empty()) {
        pixman_region32_fini(&object->region);
        if (!pixman_region32_init_rects(&object->region, boxes.data(),
                                        static_cast<int>(boxes.size()))) {
            pixman_region32_init(&object->region);
            return 0;
        }
    }
    return HandleTable::instance().add(std::move(object));
}

int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode) {
    RegionObject* d = findRegion(dest);
    RegionObject* a = findRegion(src1);
    RegionObject* b = mode == RGN_COPY ? a : findRegion(src2);
    if (!d || !a || !b) return RGN_ERROR;

    pixman_region32_t result;
    pixman_region32_init(&result);
    bool ok = true;
    switch (mode) {
    case RGN_AND:
        ok = pixman_region32_intersect(&result, &a->region, &b->region);
        break;
    case RGN_OR:
        ok = pixman_region32_union(&result, &a->region, &b->region);
        break;
    case RGN_DIFF:
        ok = pixman_region32_subtract(&result, &a->region, &b->region);
        break;
    case RGN_COPY:
        ok = pixman_region32_copy(&result, &a->region);
        break;
    case RGN_XOR: {
        pixman_region32_t both, either;
        pixman_region32_init(&both);
        pixman_region32_init(&either);
        ok = pixman_region32_intersect(&both, &a->region, &b->region) &&
             pixman_region32_union(&either, &a->region, &b->region) &&
             pixman_region32_subtract(&result, &either, &both);
        pixman_region32_fini(&both);
        pixman_region32_fini(&either);
        break;
    }
    default:
        ok = false;
    }
    if (ok) ok = pixman_region32_copy(&d->region, &result);
    pixman_region32_fini(&result);
    return ok ? complexity(d->region) : RGN_ERROR;
}

int OffsetRgn(HRGN region, std::int32_t dx, std::int32_t dy) {
    RegionObject* r = findRegion(region);
    if (!r) return RGN_ERROR;
    pixman_region32_translate(&r->region, dx, dy);
    return complexity(r->region);
}

bool PtInRegion(HRGN region, std::int32_t x, std::int32_t y) {
    RegionObject* r = findRegion(region);
    return r && pixman_region32_contains_point(&r->region, x, y, nullptr);
}

int GetRgnBox(HRGN region, RECT& box) {
    RegionObject* r = findRegion(region);
    if (!r) return RGN_ERROR;
    const pixman_box32_t* e = pixman_region32_extents(&r->region);
    box = pixman_region32_not_empty(&r->region) ? RECT{e->x1, e->y1, e->x2, e->y2} : RECT{};
    return complexity(r->region);
}

std::vector<RECT> GetRegionRects(HRGN region) {
    RegionObject* r = findRegion(region);
    if (!r) return {};
    int n = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(&r->region, &n);
    std::vector<RECT> out;
    out.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        out.push_back({boxes[i].x1, boxes[i].y1, boxes[i].x2, boxes[i].y2});
    return out;
}

} // namespace platform

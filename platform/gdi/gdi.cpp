#include "platform/gdi/gdi.h"

#include "platform/gdi/objects.h"
#include "platform/util/checked.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#ifndef _WIN32
#include <sys/mman.h>
#endif

namespace platform {
namespace detail {

PixelMemory zeroedPixels(std::size_t size) {
    PixelMemory memory(static_cast<std::uint8_t*>(std::calloc(size == 0 ? 1 : size, 1)));
#ifdef MADV_HUGEPAGE
    // Only the whole huge pages inside the block; the advice is a hint, and
    // its failure changes nothing.
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    if (memory && size >= 4 * kHugePage) {
        const auto start = reinterpret_cast<std::uintptr_t>(memory.get());
        const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
        const std::uintptr_t last = (start + size) & ~(kHugePage - 1);
        if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
#endif
    return memory;
}

HandleTable& HandleTable::instance() {
    static HandleTable table;
    return table;
}

HGDIOBJ HandleTable::add(std::unique_ptr<GdiObject> object) {
    std::lock_guard lock(mutex_);
    while (next_ == 0 || objects_.contains(next_))
        ++next_;
    const HGDIOBJ h = next_++;
    objects_.emplace(h, std::move(object));
    return h;
}

HGDIOBJ HandleTable::reserve() {
    std::lock_guard lock(mutex_);
    while (next_ == 0 || objects_.contains(next_))
        ++next_;
    return next_++;
}

GdiObject* HandleTable::find(HGDIOBJ h) {
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(h);
    return it == objects_.end() ? nullptr : it->second.get();
}

std::unique_ptr<GdiObject> HandleTable::remove(HGDIOBJ h) {
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(h);
    if (it == objects_.end()) return nullptr;
    auto object = std::move(it->second);
    objects_.erase(it);
    return object;
}

std::size_t HandleTable::size() {
    std::lock_guard lock(mutex_);
    std::size_t live = 0;
    for (const auto& [handle, object] : objects_)
        live += object->stock ? 0 : 1;
    return live;
}

BitmapObject* findBitmap(HGDIOBJ h) {
    return HandleTable::instance().get<BitmapObject>(h);
}
DcObject* findDc(HDC h) {
    return HandleTable::instance().get<DcObject>(h);
}
RegionObject* findRegion(HRGN h) {
    return HandleTable::instance().get<RegionObject>(h);
}

BitmapObject* selectedBitmap(HDC h) {
    const DcObject* dc = findDc(h);
    return dc ? findBitmap(dc->bitmap) : nullptr;
}

namespace {

// Every new memory DC starts with this 1 x 1 monochrome bitmap selected, as
// on Windows; SelectObject hands it back when a caller's bitmap displaces it.
HBITMAP stockBitmap() {
    static const HBITMAP handle = [] {
        auto bitmap = std::make_unique<BitmapObject>();
        bitmap->stock = true;
        bitmap->width = 1;
        bitmap->height = 1;
        bitmap->bitsPerPixel = 1;
        bitmap->stride = 4;
        bitmap->palette = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
        bitmap->pixels = zeroedPixels(4);
        return HandleTable::instance().add(std::move(bitmap));
    }();
    return handle;
}

HBRUSH stockWhiteBrush() {
    static const HBRUSH handle = [] {
        auto brush = std::make_unique<BrushObject>();
        brush->stock = true;
        brush->color = RGB(255, 255, 255);
        return HandleTable::instance().add(std::move(brush));
    }();
    return handle;
}

HDC newDc(bool screen) {
    auto dc = std::make_unique<DcObject>();
    dc->screen = screen;
    dc->bitmap = screen ? 0 : stockBitmap();
    dc->brush = stockWhiteBrush();
    return HandleTable::instance().add(std::move(dc));
}

} // namespace
} // namespace detail

using namespace detail;

int GetObjectType(HGDIOBJ h) {
    const GdiObject* object = HandleTable::instance().find(h);
    return object ? object->type() : 0;
}

bool DeleteObject(HGDIOBJ h) {
    auto& table = HandleTable::instance();
    std::lock_guard lock(table.mutex());
    GdiObject* object = table.find(h);
    if (!object) return false;
    if (object->stock) return true;
    if (dynamic_cast<DcObject*>(object)) return false; // DCs go through DeleteDC
    if (const auto* bitmap = dynamic_cast<BitmapObject*>(object); bitmap && bitmap->selectedInto)
        return false; // Windows refuses to delete a bitmap that a DC still holds
    table.remove(h);
    return true;
}

bool GetObjectBitmap(HBITMAP h, BITMAP& out) {
    const BitmapObject* bitmap = findBitmap(h);
    if (!bitmap) return false;
    out.bmType = 0;
    out.bmWidth = bitmap->width;
    out.bmHeight = bitmap->height;
    out.bmWidthBytes = bitmap->stride;
    out.bmPlanes = 1;
    out.bmBitsPixel = bitmap->bitsPerPixel;
    out.bmBits = bitmap->stock ? nullptr : bitmap->pixels.get();
    return true;
}

bool GetObjectDIBSection(HBITMAP h, DIBSECTION& out) {
    const BitmapObject* bitmap = findBitmap(h);
    if (!bitmap || !bitmap->dibSection || !GetObjectBitmap(h, out.dsBm)) return false;
    out.dsBmih = BITMAPINFOHEADER{};
    out.dsBmih.biWidth = bitmap->width;
    out.dsBmih.biHeight = bitmap->topDown ? -bitmap->height : bitmap->height;
    out.dsBmih.biBitCount = bitmap->bitsPerPixel;
    out.dsBmih.biSizeImage = static_cast<std::uint32_t>(bitmap->bytes().size());
    return true;
}

std::size_t LiveObjectCount() {
    return HandleTable::instance().size();
}

HDC GetDC(HWND window) {
    return window == 0 ? newDc(true) : 0;
}

int ReleaseDC(HWND window, HDC hdc) {
    const DcObject* dc = findDc(hdc);
    if (window != 0 || !dc || !dc->screen) return 0;
    HandleTable::instance().remove(hdc);
    return 1;
}

HDC CreateCompatibleDC(HDC hdc) {
    if (hdc != 0 && !findDc(hdc)) return 0;
    return newDc(false);
}

bool DeleteDC(HDC hdc) {
    auto& table = HandleTable::instance();
    std::lock_guard lock(table.mutex());
    DcObject* dc = findDc(hdc);
    if (!dc) return false;
    if (BitmapObject* bitmap = findBitmap(dc->bitmap)) bitmap->selectedInto = 0;
    table.remove(hdc);
    return true;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
    auto& table = HandleTable::instance();
    std::lock_guard lock(table.mutex());
    DcObject* dc = findDc(hdc);
    GdiObject* target = table.find(object);
    if (!dc || !target) return 0;

    if (auto* bitmap = dynamic_cast<BitmapObject*>(target)) {
        if (dc->screen) return 0;
        if (dc->bitmap == object) return object;
        if (bitmap->selectedInto != 0 && !bitmap->stock) return 0;
        const HBITMAP previous = dc->bitmap;
        if (BitmapObject* old = findBitmap(previous)) old->selectedInto = 0;
        if (!bitmap->stock) bitmap->selectedInto = hdc;
        dc->bitmap = object;
        return previous;
    }
    if (dynamic_cast<BrushObject*>(target)) {
        const HBRUSH previous = dc->brush;
        dc->brush = object;
        return previous;
    }
    return 0;
}

HGDIOBJ GetCurrentBitmap(HDC hdc) {
    const DcObject* dc = findDc(hdc);
    return dc ? dc->bitmap : 0;
}

int GetClipBox(HDC hdc, RECT& box) {
    std::lock_guard lock(HandleTable::instance().mutex());
    const DcObject* dc = findDc(hdc);
    const BitmapObject* bitmap = dc && !dc->screen ? findBitmap(dc->bitmap) : nullptr;
    if (!bitmap) return RGN_ERROR;
    box = {0, 0, bitmap->width, bitmap->height};
    return bitmap->width > 0 && bitmap->height > 0 ? SIMPLEREGION : NULLREGION;
}

int SetStretchBltMode(HDC hdc, int mode) {
    DcObject* dc = findDc(hdc);
    if (!dc || mode < BLACKONWHITE || mode > HALFTONE) return 0;
    const int previous = dc->stretchMode;
    dc->stretchMode = mode;
    return previous;
}

int GetStretchBltMode(HDC hdc) {
    const DcObject* dc = findDc(hdc);
    return dc ? dc->stretchMode : 0;
}

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFOHEADER& header, std::span<const RGBQUAD> colors,
                         void** bits) {
    if (bits) *bits = nullptr;
    if (hdc != 0 && !findDc(hdc)) return 0;
    if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biPlanes != 1) return 0;
    if (header.biCompression != BI_RGB && header.biCompression != BI_BITFIELDS) return 0;
    const std::uint16_t bpp = header.biBitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return 0;
    if (header.biWidth <= 0 || header.biHeight == 0 ||
        header.biHeight == std::numeric_limits<std::int32_t>::min())
        return 0;

    const std::int64_t height =
        header.biHeight < 0 ? -std::int64_t{header.biHeight} : std::int64_t{header.biHeight};
    const std::int64_t stride = ((std::int64_t{bpp} * header.biWidth + 31) & ~std::int64_t{31}) / 8;
    const auto size = velmora::imageBytes(stride, height, 1);
    if (!size) return 0;

    auto bitmap = std::make_unique<BitmapObject>();
    bitmap->width = header.biWidth;
    bitmap->height = static_cast<std::int32_t>(height);
    bitmap->bitsPerPixel = bpp;
    bitmap->topDown = header.biHeight < 0;
    bitmap->dibSection = true;
    bitmap->stride = static_cast<std::int32_t>(stride);
    if (bpp <= 8) {
        const std::size_t entries = std::size_t{1} << bpp;
        bitmap->palette.assign(colors.begin(),
                               colors.begin() +
                                   static_cast<std::ptrdiff_t>(std::min(entries, colors.size())));
        bitmap->palette.resize(entries);
    }
    // A new section is all zero, as the callers rely on; see zeroedPixels.
    bitmap->pixels = zeroedPixels(*size);
    if (!bitmap->pixels) return 0;
    if (bits) *bits = bitmap->pixels.get();
    return HandleTable::instance().add(std::move(bitmap));
}

HBRUSH CreateSolidBrush(COLORREF color) {
    auto brush = std::make_unique<BrushObject>();
    brush->color = color & 0x00FFFFFF;
    return HandleTable::instance().add(std::move(brush));
}

} // namespace platform

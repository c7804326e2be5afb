#pragma once
// The objects behind GDI handles. Only the platform layer includes this; the
// layers above see handles and the calls of gdi.h.

#include "platform/gdi/types.h"

// Region arithmetic: the system's own regions on Windows, pixman's banded
// rectangle lists elsewhere.
#ifdef _WIN32
#include "platform/win32/regions.h"
#else
#include <pixman.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <span>
#include <unordered_map>
#include <vector>

namespace platform::detail {

// A bitmap's pixel memory: zero, as a new DIB section is, but taken from
// calloc, which hands large blocks over as fresh pages without writing them.
// A picture that a decoder then refuses costs nothing of its size, and one it
// fills is written once, not twice.
struct FreePixels {
    void operator()(std::uint8_t* p) const { std::free(p); }
};
using PixelMemory = std::unique_ptr<std::uint8_t[], FreePixels>;
// Null when the memory cannot be had. Large blocks are offered huge pages
// where the system has them, so a picture costs a few page faults, not one
// for every 4 KiB.
PixelMemory zeroedPixels(std::size_t size);

struct GdiObject {
    virtual ~GdiObject() = default;
    virtual int type() const = 0;
    bool stock = false; // stock objects ignore DeleteObject
};

struct BitmapObject final : GdiObject {
    int type() const override { return OBJ_BITMAP; }

    std::int32_t width = 0;
    std::int32_t height = 0; // always positive; topDown tells the row order
    std::uint16_t bitsPerPixel = 0;
    bool topDown = false;
    bool dibSection = false; // made by CreateDIBSection
    std::int32_t stride = 0; // bytes per row, a multiple of 4
    std::vector<RGBQUAD> palette;
    PixelMemory pixels;
    HDC selectedInto = 0;

    std::span<std::uint8_t> bytes() const {
        return {pixels.get(), static_cast<std::size_t>(stride) * static_cast<std::size_t>(height)};
    }
    // Image row y, 0 being the top row, whatever the memory order.
    std::uint8_t* row(std::int32_t y) const {
        const std::int32_t memoryRow = topDown ? y : height - 1 - y;
        return pixels.get() +
               static_cast<std::size_t>(memoryRow) * static_cast<std::size_t>(stride);
    }
};

struct BrushObject final : GdiObject {
    int type() const override { return OBJ_BRUSH; }
    COLORREF color = 0;
};

#ifdef _WIN32
struct RegionObject final : GdiObject {
    int type() const override { return OBJ_REGION; }
    win32::Region region;
};
#else
struct RegionObject final : GdiObject {
    RegionObject() { pixman_region32_init(&region); }
    ~RegionObject() override { pixman_region32_fini(&region); }
    RegionObject(const RegionObject&) = delete;
    RegionObject& operator=(const RegionObject&) = delete;
    int type() const override { return OBJ_REGION; }
    pixman_region32_t region;
};
#endif

struct DcObject final : GdiObject {
    int type() const override { return screen ? OBJ_DC : OBJ_MEMDC; }
    bool screen = false;
    HBITMAP bitmap = 0; // selected bitmap (memory DCs)
    HBRUSH brush = 0;
    int stretchMode = BLACKONWHITE;
};

// The handle table. Handles count up and are not reused while the process
// runs (short of 2^32 allocations), so a stale handle finds nothing.
class HandleTable {
public:
    static HandleTable& instance();

    HGDIOBJ add(std::unique_ptr<GdiObject> object);
    // A value no object of the table will ever get, for handles of other
    // kinds (windows) that must not be mistaken for a GDI object.
    HGDIOBJ reserve();
    GdiObject* find(HGDIOBJ h);
    template <typename T>
    T* get(HGDIOBJ h) {
        return dynamic_cast<T*>(find(h));
    }
    std::unique_ptr<GdiObject> remove(HGDIOBJ h);
    std::size_t size();

    std::recursive_mutex& mutex() { return mutex_; }

private:
    std::recursive_mutex mutex_;
    std::unordered_map<HGDIOBJ, std::unique_ptr<GdiObject>> objects_;
    HGDIOBJ next_ = 1;
};

BitmapObject* findBitmap(HGDIOBJ h);
DcObject* findDc(HDC h);
RegionObject* findRegion(HRGN h);
// The bitmap selected into a memory DC, or null.
BitmapObject* selectedBitmap(HDC h);

#ifndef _WIN32
// Creates a region object from a pixman region, taking a copy.
HRGN adoptRegion(const pixman_region32_t& region);
#endif

} // namespace platform::detail

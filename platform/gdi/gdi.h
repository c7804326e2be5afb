#pragma once
// The GDI stand-in: device contexts, DIB sections, brushes and regions with
// the Windows calling shapes. Every object lives in one handle table, so a
// caller can ask what a handle is (GetObjectType) and delete it.

#include "platform/gdi/types.h"

#include <cstddef>
#include <span>
#include <vector>

namespace platform {

// --- handles -------------------------------------------------------------
int GetObjectType(HGDIOBJ h);
bool DeleteObject(HGDIOBJ h);
bool GetObjectBitmap(HBITMAP h, BITMAP& out);
// False for a bitmap that is no DIB section.
bool GetObjectDIBSection(HBITMAP h, DIBSECTION& out);
// Live objects in the table, stock objects aside; tests use it to prove
// nothing leaks.
std::size_t LiveObjectCount();

// --- device contexts -----------------------------------------------------
// GetDC(0) is the screen; a window handle other than 0 is not supported by
// this layer and gives 0.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC hdc);
HDC CreateCompatibleDC(HDC hdc);
bool DeleteDC(HDC hdc);
// Selects a bitmap or brush into a DC and returns the object it displaced;
// 0 on failure (for instance a bitmap already selected into another DC).
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
// The bitmap selected into a DC (the 1 x 1 stock bitmap of a new memory DC).
HGDIOBJ GetCurrentBitmap(HDC hdc);
// The part of a DC that drawing can reach: for a memory DC, its selected
// bitmap. SIMPLEREGION, NULLREGION for an empty bitmap, RGN_ERROR for a DC
// whose extent this layer does not know (the screen).
int GetClipBox(HDC hdc, RECT& box);
int SetStretchBltMode(HDC hdc, int mode);
int GetStretchBltMode(HDC hdc);

// --- bitmaps -------------------------------------------------------------
// A DIB section in plain memory: 1, 4, 8, 16, 24 or 32 bits per pixel,
// rows aligned to 4 bytes, bottom-up for a positive biHeight. The pixels
// start zeroed. `bits` receives the pixel address.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFOHEADER& header, std::span<const RGBQUAD> colors,
                         void** bits);

// --- brushes -------------------------------------------------------------
HBRUSH CreateSolidBrush(COLORREF color);

// --- regions -------------------------------------------------------------
HRGN CreateRectRgn(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
HRGN CreateRectRgnIndirect(const RECT& rect);
// `data` is an RGNDATAHEADER followed by nCount RECTs. The transform must be
// absent (null); any other use is refused.
HRGN ExtCreateRegion(const void* xform, std::span<const std::byte> data);
int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode);
int OffsetRgn(HRGN region, std::int32_t dx, std::int32_t dy);
bool PtInRegion(HRGN region, std::int32_t x, std::int32_t y);
int GetRgnBox(HRGN region, RECT& box);
// The region's rectangles in y-x banded order (GetRegionData's payload).
std::vector<RECT> GetRegionRects(HRGN region);

} // namespace platform

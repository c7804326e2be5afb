#pragma once
// The plain data types of the GDI stand-in, laid out as the Windows
// structures they replace so that code filling them reads the same.

#include "platform/host/windows_names.h"
#include "platform/util/disk_headers.h"

#include <cstdint>

namespace platform {

// Handles are keys into the process's handle table; 0 is "no object".
using HGDIOBJ = std::uint32_t;
using HDC = HGDIOBJ;
using HBITMAP = HGDIOBJ;
using HRGN = HGDIOBJ;
using HBRUSH = HGDIOBJ;
using HICON = HGDIOBJ;
using HMETAFILE = HGDIOBJ;
using HENHMETAFILE = HGDIOBJ;
using HWND = std::uintptr_t;
using COLORREF = std::uint32_t; // 0x00BBGGRR

// Object types reported by GetObjectType. Icons are no GDI objects on
// Windows; they share the table here so one lookup answers for every handle.
inline constexpr int OBJ_BRUSH = 2;
inline constexpr int OBJ_DC = 3;
inline constexpr int OBJ_BITMAP = 7;
inline constexpr int OBJ_REGION = 8;
inline constexpr int OBJ_METAFILE = 9;
inline constexpr int OBJ_MEMDC = 10;
inline constexpr int OBJ_ENHMETAFILE = 13;
inline constexpr int OBJ_ICON = 0x100;

// Region complexity, the result of the region calls.
inline constexpr int RGN_ERROR = 0;
inline constexpr int NULLREGION = 1;
inline constexpr int SIMPLEREGION = 2;
inline constexpr int COMPLEXREGION = 3;

// CombineRgn modes.
inline constexpr int RGN_AND = 1;
inline constexpr int RGN_OR = 2;
inline constexpr int RGN_XOR = 3;
inline constexpr int RGN_DIFF = 4;
inline constexpr int RGN_COPY = 5;

// Stretch modes.
inline constexpr int BLACKONWHITE = 1;
inline constexpr int WHITEONBLACK = 2;
inline constexpr int COLORONCOLOR = 3;
inline constexpr int HALFTONE = 4;

inline constexpr std::uint32_t BI_RGB = 0;
inline constexpr std::uint32_t BI_RLE8 = 1;
inline constexpr std::uint32_t BI_RLE4 = 2;
inline constexpr std::uint32_t BI_BITFIELDS = 3;
inline constexpr std::uint32_t DIB_RGB_COLORS = 0;

struct RECT {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    friend bool operator==(const RECT&, const RECT&) = default;
};
static_assert(sizeof(RECT) == 16);

struct POINT {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const POINT&, const POINT&) = default;
};

#pragma pack(push, 1)
// The info header as bitmap files store it.
using BITMAPINFOHEADER = velmora::disk::BitmapInfoHeader;
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
    std::uint8_t rgbBlue = 0;
    std::uint8_t rgbGreen = 0;
    std::uint8_t rgbRed = 0;
    std::uint8_t rgbReserved = 0;
    friend bool operator==(const RGBQUAD&, const RGBQUAD&) = default;
};
static_assert(sizeof(RGBQUAD) == 4);

// The 32-byte header in front of the rectangles of ExtCreateRegion.
struct RGNDATAHEADER {
    std::uint32_t dwSize = 32;
    std::uint32_t iType = 1; // RDH_RECTANGLES
    std::uint32_t nCount = 0;
    std::uint32_t nRgnSize = 0;
    RECT rcBound;
};
static_assert(sizeof(RGNDATAHEADER) == 32);
#pragma pack(pop)

// What GetObject reports of a bitmap.
struct BITMAP {
    std::int32_t bmType = 0;
    std::int32_t bmWidth = 0;
    std::int32_t bmHeight = 0;
    std::int32_t bmWidthBytes = 0;
    std::uint16_t bmPlanes = 1;
    std::uint16_t bmBitsPixel = 0;
    void* bmBits = nullptr;
};

// What GetObject reports of a DIB section: the bitmap, and the header it
// was made from (biHeight negative for top-down rows).
struct DIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
};

constexpr COLORREF RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
           (static_cast<COLORREF>(b) << 16);
}

} // namespace platform

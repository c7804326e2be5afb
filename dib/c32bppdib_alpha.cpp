// The surface members that need the alpha analysis of modParsers, which
// sits in this layer: colour-key transparency, pixel import and regions.

#include "codecs/modparsers.h"
#include "dib/c32bppdib.h"
#include "platform/gdi/gdi.h"

#include <algorithm>
#include <cstring>

using namespace platform;

bool c32bppDIB::MakeTransparent(COLORREF TransparentColor, bool Revert) {
    if (Handle() == 0) return false;
    // The opaque pixel of that colour, as a little-endian BGRA word.
    const std::uint32_t key = 0xFF000000u | ((TransparentColor & 0xFF) << 16) |
                              (TransparentColor & 0xFF00) | ((TransparentColor >> 16) & 0xFF);
    const std::span<std::uint8_t> px = pixels();
    if (!Revert) {
        bool changed = false;
        for (std::size_t i = 0; i < px.size(); i += 4) {
            std::uint32_t v;
            std::memcpy(&v, &px[i], 4);
            if (v != key) continue;
            std::memset(&px[i], 0, 4);
            changed = true;
        }
        if (changed) {
            Alpha(true);
            if (ImageType() == modParsers::itBitmap) ImageType(modParsers::itBitmapPremultiplied);
        }
        return true;
    }
    for (std::size_t i = 0; i < px.size(); i += 4) {
        std::uint32_t v;
        std::memcpy(&v, &px[i], 4);
        if (v == 0) std::memcpy(&px[i], &key, 4);
    }
    bool hasAlpha = false;
    std::int32_t type = ImageType();
    if (type == modParsers::itNoImage) type = modParsers::itBlank; // a scan, not the forced answer
    modParsers::ClassifyAlpha(px, Width(), Height(), false, hasAlpha, type);
    Alpha(hasAlpha);
    if (!hasAlpha && (ImageType() == modParsers::itBitmapAlpha ||
                      ImageType() == modParsers::itBitmapPremultiplied))
        ImageType(modParsers::itBitmap);
    return true;
}

bool c32bppDIB::SetDIBbits(std::span<const std::uint8_t> inStream, bool isBGRformat, bool is32bpp,
                           bool isWordAligned, bool isBottomUp, std::int32_t dstX,
                           std::int32_t dstY, std::int32_t dstWidth, std::int32_t dstHeight) {
    if (Handle() == 0 || dstX < 0 || dstY < 0 || dstWidth < 0 || dstHeight < 0 || inStream.empty())
        return false;
    if (dstWidth == 0) dstWidth = Width();
    if (dstHeight == 0) dstHeight = Height();
    if (std::int64_t{dstX} + dstWidth > Width()) dstWidth = Width() - dstX;
    if (std::int64_t{dstY} + dstHeight > Height()) dstHeight = Height() - dstY;
    if (dstWidth < 1 || dstHeight < 1) return false;

    const std::int32_t bpp = is32bpp ? 4 : 3;
    const std::int64_t rowLength = is32bpp         ? std::int64_t{dstWidth} * 4
                                   : isWordAligned ? modParsers::AlignedRowBytes(24, dstWidth)
                                                   : std::int64_t{dstWidth} * 3;
    // The array must cover the surface's height, whatever the rectangle's.
    if (static_cast<std::int64_t>(inStream.size()) < std::int64_t{Height()} * rowLength)
        return false;

    for (std::int32_t j = 0; j < dstHeight; ++j) {
        const std::int64_t arrayRow = isBottomUp ? dstHeight - 1 - j : j;
        const std::uint8_t* s = inStream.data() + arrayRow * rowLength;
        std::uint8_t* d = row(dstY + j) + static_cast<std::size_t>(dstX) * 4;
        for (std::int32_t i = 0; i < dstWidth; ++i, s += bpp, d += 4) {
            d[0] = isBGRformat ? s[0] : s[2];
            d[1] = s[1];
            d[2] = isBGRformat ? s[2] : s[0];
            if (bpp == 4) d[3] = s[3];
        }
    }
    bool hasAlpha = false;
    std::int32_t type = modParsers::itBlank;
    modParsers::ClassifyAlpha(pixels(), Width(), Height(), true, hasAlpha, type);
    Alpha(hasAlpha);
    return true;
}

HRGN c32bppDIB::CreateRegion(std::int32_t Style, std::int32_t xOffset, std::int32_t yOffset) {
    if (Handle() == 0 || Style < 0 || Style > 2) return 0;
    const HRGN region = modParsers::RegionFromAlpha(*this, Style);
    if (region != 0 && (xOffset != 0 || yOffset != 0)) OffsetRgn(region, xOffset, yOffset);
    return region;
}

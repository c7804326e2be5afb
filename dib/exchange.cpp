// Pixel exchange: export of a rectangle in a caller's layout, and copies of
// the image into another surface, scaled or mirrored.

#include "dib/c32bppdib.h"
#include "platform/imaging/render_gdiplus.h"
#include "platform/util/checked.h"
#include "surface/render_routines.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

using namespace platform;
using namespace velmora::render;

bool c32bppDIB::GetDIBbits(std::vector<std::uint8_t>& outStream, bool /*as2dArray*/,
                           bool asBGRformat, bool as32bpp, bool asWordAligned, bool asBottomUp,
                           std::int32_t x, std::int32_t y, std::int32_t Width, std::int32_t Height,
                           bool asPreMultiplied) const {
    if (Handle() == 0 || x < 0 || y < 0 || Width < 0 || Height < 0) return false;
    if (Width == 0) Width = DibSurface::Width();
    if (Height == 0) Height = DibSurface::Height();
    if (std::int64_t{x} + Width > DibSurface::Width()) Width = DibSurface::Width() - x;
    if (std::int64_t{y} + Height > DibSurface::Height()) Height = DibSurface::Height() - y;
    if (Width < 1 || Height < 1) return false; // the rectangle starts past the image

    const std::int32_t bpp = as32bpp ? 4 : 3;
    const std::int64_t rowLength = as32bpp         ? std::int64_t{Width} * 4
                                   : asWordAligned ? ((std::int64_t{Width} * 24 + 31) & ~31) / 8
                                                   : std::int64_t{Width} * 3;
    const auto size = velmora::imageBytes(rowLength, Height, 1);
    if (!size) return false;
    try {
        outStream.assign(*size, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }

    if (as32bpp && asBGRformat && asBottomUp && asPreMultiplied && Width == DibSurface::Width() &&
        Height == DibSurface::Height()) {
        std::memcpy(outStream.data(), BitsPointer(), *size);
        return true;
    }
    const int first = asBGRformat ? 0 : 2, third = asBGRformat ? 2 : 0;
    for (std::int32_t j = 0; j < Height; ++j) {
        const std::uint8_t* s = row(y + j) + static_cast<std::size_t>(x) * 4;
        std::uint8_t* d = outStream.data() + (asBottomUp ? Height - 1 - j : j) * rowLength;
        for (std::int32_t i = 0; i < Width; ++i, s += 4, d += bpp) {
            const std::uint32_t a = s[3];
            std::uint32_t b = s[0], g = s[1], r = s[2];
            if (!asPreMultiplied && a != 255) {
                if (a == 0) continue;
                // Held at 255 where a colour above its alpha would overflow.
                b = std::min(b * 255 / a, 255u);
                g = std::min(g * 255 / a, 255u);
                r = std::min(r * 255 / a, 255u);
            }
            d[first] = static_cast<std::uint8_t>(b);
            d[1] = static_cast<std::uint8_t>(g);
            d[third] = static_cast<std::uint8_t>(r);
            if (bpp == 4) d[3] = static_cast<std::uint8_t>(a);
        }
    }
    return true;
}

void c32bppDIB::CopyImageTo(std::unique_ptr<c32bppDIB>& cDIBclass, std::int32_t newWidth,
                            std::int32_t newHeight, bool CopyOriginalFormat) {
    if (Handle() == 0) return;
    if (!cDIBclass) {
        // The one size no surface can have and whose negation overflows.
        if (newWidth == std::numeric_limits<std::int32_t>::min() ||
            newHeight == std::numeric_limits<std::int32_t>::min())
            return;
        auto made = std::make_unique<c32bppDIB>();
        made->gdiToken(gdiToken_);
        made->isGDIplusEnabled(isGDIplusEnabled());
        made->HighQualityInterpolation(highQuality_);
        const std::int32_t w = newWidth == 0 ? Width() : newWidth;
        const std::int32_t h = newHeight == 0 ? Height() : newHeight;
        if (!made->InitializeDIB(std::abs(w), std::abs(h))) return;
        cDIBclass = std::move(made);
    }
    CopyImageTo(*cDIBclass, newWidth, newHeight, CopyOriginalFormat);
}

void c32bppDIB::CopyImageTo(c32bppDIB& target, std::int32_t newWidth, std::int32_t newHeight,
                            bool CopyOriginalFormat) {
    if (Handle() == 0 || &target == this) return;
    if (newWidth == 0) newWidth = Width();
    if (newHeight == 0) newHeight = Height();
    if (newWidth == std::numeric_limits<std::int32_t>::min() ||
        newHeight == std::numeric_limits<std::int32_t>::min())
        return;
    const std::int32_t w = std::abs(newWidth), h = std::abs(newHeight);
    target.gdiToken(gdiToken_);
    if (target.Width() != w || target.Height() != h || target.Handle() == 0)
        if (!target.InitializeDIB(w, h)) return;
    const bool sameSize = newWidth == Width() && newHeight == Height();
    // A scaled or mirrored copy may be drawn over the target: nothing the
    // target held may show through the picture's see-through parts, or stay
    // when the drawing fails.
    if (!sameSize) target.EraseDIB();
    target.Alpha(Alpha());
    target.ImageType(ImageType());

    if (sameSize) {
        std::memcpy(target.BitsPointer(), BitsPointer(), pixels().size());
    } else {
        // 98 and ME stretch badly through AlphaBlend; it is off for the copy.
        const bool alphaBlendOff = (flags_ & kAlphaBlendInUse) && (flags_ & kConsumerWindows);
        if (alphaBlendOff) isAlphaBlendFriendly(false);
        const velmora::BgraPremulBottomUpView source = view();
        const SourceRect whole{0, 0, Width(), Height()};
        bool drawn = false;
        if (isGDIplusEnabled() && !(isAlphaBlendFriendly() && !highQuality_)) {
            const bool wasSelected = isSelectedInOwnDC();
            LoadDIBinDC(true);
            const HDC dc = target.LoadDIBinDC(true);
            drawn = RenderWithGDIplus(view(), dc, 0.0f, 100, 0, 0, newWidth, newHeight, 0, 0,
                                      Width(), Height(), true, -1, gdiToken_, 0.0f);
            target.LoadDIBinDC(false);
            if (!wasSelected) LoadDIBinDC(false);
        }
        // What the service could not draw the own routines copy.
        if (drawn) {
            // The service drew the copy.
        } else if (newWidth < 0 || newHeight < 0) {
            // The mirroring routine copies at the source's size; a copy that
            // also changes size is mirrored first and then scaled.
            if (w == Width() && h == Height()) {
                mirrorInto(source, whole, newWidth, newHeight, {target.BitsPointer(), w, h});
            } else {
                PixelBuffer mirrored;
                if (mirrored.allocate(Width(), Height()) &&
                    mirrorInto(source, whole, newWidth, newHeight, mirrored.view()))
                    scaleInto({mirrored.view(), whole, 0, 0, w, h, highQuality_},
                              {target.BitsPointer(), w, h});
            }
        } else if (!isAlphaBlendFriendly() || highQuality_) {
            scaleInto({source, whole, 0, 0, w, h, highQuality_}, {target.BitsPointer(), w, h});
        } else {
            Render(0, 0, 0, newWidth, newHeight, 0, 0, Width(), Height(), 100, true, false, &target,
                   -1, 0, 0, false);
        }
        if (alphaBlendOff) isAlphaBlendFriendly(true);
    }
    if (CopyOriginalFormat) target.setOriginalFormatBytes(originalFormatBytes());
}

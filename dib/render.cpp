// Render: argument preparation, the choice between the imaging service,
// AlphaBlend and the own pixel code, and the own engine's blending and
// rotation around the routines of render_routines.h.

#include "dib/c32bppdib.h"
#include "platform/gdi/blit.h"
#include "platform/gdi/gdi.h"
#include "platform/imaging/render_gdiplus.h"
#include "platform/util/checked.h"
#include "surface/render_routines.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

using namespace platform;
using namespace velmora::render;

namespace {

using surface::SectionInDc;

// A copy of the whole surface with the light adjustment applied.
bool lightAdjustedCopy(const c32bppDIB& s, float light, PixelBuffer& out) {
    if (!out.allocate(s.Width(), s.Height())) return false;
    adjustLightness(s.view(), out.view(), light);
    return true;
}

struct BlendSource {
    velmora::BgraPremulBottomUpView pixels;
    std::int32_t x = 0;
    std::int32_t y = 0;
    // True for a buffer the scaling routine has already cut to the visible
    // part: it is drawn from its origin at the clamped destination.
    bool preClipped = false;
};

// The pixels of the 32-bit bottom-up DIB section selected into a DC.
std::optional<velmora::BgraPremulBottomUpView> pixelsOf(HDC dc) {
    DIBSECTION section;
    if (dc == 0 || !GetObjectDIBSection(GetCurrentBitmap(dc), section)) return std::nullopt;
    if (section.dsBm.bmBitsPixel != 32 || section.dsBmih.biHeight < 0 || !section.dsBm.bmBits)
        return std::nullopt;
    return velmora::BgraPremulBottomUpView(static_cast<std::uint8_t*>(section.dsBm.bmBits),
                                           section.dsBm.bmWidth, section.dsBm.bmHeight,
                                           static_cast<std::size_t>(section.dsBm.bmWidthBytes));
}

bool overlaps(const velmora::BgraPremulBottomUpView& a, const velmora::BgraPremulBottomUpView& b) {
    const auto begin = [](const auto& v) { return reinterpret_cast<std::uintptr_t>(v.data); };
    const auto end = [](const auto& v) {
        return reinterpret_cast<std::uintptr_t>(v.data) +
               v.stride * static_cast<std::size_t>(v.height);
    };
    return begin(a) < end(b) && begin(b) < end(a);
}

// The own blending routine. The destination is the host surface's pixels,
// or a 24-bpp copy of the DC's area that is blended and written back.
bool blendOnto(HDC destDC, c32bppDIB* host, BlendSource src, std::int32_t destX, std::int32_t destY,
               std::int32_t w, std::int32_t h, std::uint32_t o, std::int32_t grayScale) {
    if (src.preClipped) {
        destX = std::max(destX, 0);
        destY = std::max(destY, 0);
    } else {
        // Off the left (top) edge: start further right (down) in the source.
        if (destX < 0) {
            src.x -= destX;
            w += destX;
            destX = 0;
        }
        if (destY < 0) {
            src.y -= destY;
            h += destY;
            destY = 0;
        }
    }
    if (host) {
        w = std::min<std::int64_t>(w, std::int64_t{host->Width()} - destX);
        h = std::min<std::int64_t>(h, std::int64_t{host->Height()} - destY);
    }
    w = std::min<std::int64_t>(w, std::int64_t{src.pixels.width} - src.x);
    h = std::min<std::int64_t>(h, std::int64_t{src.pixels.height} - src.y);
    if (w < 1 || h < 1 || src.x < 0 || src.y < 0) return false;

    const bool gray = grayScale != -1;
    const velmora::GrayWeight weights = velmora::grayWeights(grayScale);
    std::vector<std::uint8_t> grayScratch(gray ? static_cast<std::size_t>(w) * 4 : 0);
    const auto sourceRow = [&](std::int32_t j) -> const std::uint8_t* {
        const std::uint8_t* row = src.pixels.memoryRow(src.pixels.height - 1 - (src.y + j)) +
                                  static_cast<std::size_t>(src.x) * 4;
        if (!gray) return row;
        grayRow(row, grayScratch.data(), w, weights);
        return grayScratch.data();
    };

    if (host) {
        const velmora::BgraPremulBottomUpView dest = host->view();
        // Rows in memory order, which the prefetcher follows best.
        for (std::int32_t j = h - 1; j >= 0; --j)
            blendRow(dest.memoryRow(dest.height - 1 - (destY + j)) +
                         static_cast<std::size_t>(destX) * 4,
                     sourceRow(j), w, o, true);
        return true;
    }

    // A DC holding a 32-bit bottom-up DIB section is blended in place. The
    // colour comes out as the 24-bit round trip below makes it, and the
    // alpha byte as that trip leaves it, 0; what lies outside the section
    // is not drawn. A source drawn onto its own memory takes the round
    // trip, which copies the area out before it writes.
    if (const auto target = pixelsOf(destDC); target && !overlaps(*target, src.pixels)) {
        const std::int32_t cw = std::min<std::int64_t>(w, std::int64_t{target->width} - destX);
        const std::int32_t ch = std::min<std::int64_t>(h, std::int64_t{target->height} - destY);
        for (std::int32_t j = ch - 1; j >= 0; --j) { // memory order
            std::uint8_t* row = target->imageRow(destY + j) + static_cast<std::size_t>(destX) * 4;
            blendRowClearingAlpha(row, sourceRow(j), cw, o);
        }
        return true;
    }

    // Without a host the DC's area goes through a 24-bpp section: copied
    // out, blended, written back. It is done in bands of rows, each through
    // one section of some tens of kilobytes, which gives the same pixels as
    // one section of the whole area without touching tens of megabytes of
    // fresh memory for a large drawing.
    const std::int64_t wideStride = ((std::int64_t{w} * 24 + 31) & ~31) / 8;
    if (wideStride > std::numeric_limits<std::int32_t>::max()) return false;
    const auto stride = static_cast<std::int32_t>(wideStride);
    const std::int32_t band = std::clamp<std::int32_t>(64 * 1024 / stride, 1, h);
    BITMAPINFOHEADER header;
    header.biWidth = w;
    header.biHeight = band;
    header.biBitCount = 24;
    if (!velmora::imageBytes(stride, band, 1)) return false;
    header.biSizeImage = static_cast<std::uint32_t>(stride) * static_cast<std::uint32_t>(band);
    void* bits = nullptr;
    const HBITMAP section = CreateDIBSection(0, header, {}, &bits);
    if (section == 0) return false;
    const HDC tempDC = CreateCompatibleDC(0);
    const HGDIOBJ previous = SelectObject(tempDC, section);
    auto* area = static_cast<std::uint8_t*>(bits);
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(w) * 4);
    for (std::int32_t top = 0; top < h; top += band) {
        const std::int32_t rows = std::min(band, h - top);
        BitBlt(tempDC, 0, 0, w, rows, destDC, destX, destY + top, SRCCOPY);
        for (std::int32_t j = 0; j < rows; ++j) {
            std::uint8_t* row = area + static_cast<std::size_t>(band - 1 - j) * stride;
            PixelsTo32(row, scratch.data(), w, 0);
            blendRow(scratch.data(), sourceRow(top + j), w, o, false);
            PixelsTo24(scratch.data(), row, w);
        }
        // The band's rows are the section's top rows: scan lines
        // band - rows .. band - 1 counted from the bottom.
        SetDIBitsToDevice(destDC, destX, destY + top, w, rows, 0, band - rows, 0,
                          static_cast<std::uint32_t>(band), {area, header.biSizeImage}, header,
                          DIB_RGB_COLORS);
    }
    SelectObject(tempDC, previous);
    DeleteDC(tempDC);
    DeleteObject(section);
    return true;
}

// The right and bottom edges of what a draw can reach: the host's size, the
// DC's clip box, or no edge where neither is known.
std::pair<std::int32_t, std::int32_t> destinationExtent(HDC dc, const c32bppDIB* host) {
    if (host) return {host->Width(), host->Height()};
    RECT box;
    if (GetClipBox(dc, box) != RGN_ERROR) return {box.right, box.bottom};
    constexpr std::int32_t kNoEdge = std::numeric_limits<std::int32_t>::max();
    return {kNoEdge, kNoEdge};
}

} // namespace

bool c32bppDIB::Render(HDC destinationDC, std::int32_t destX, std::int32_t destY,
                       std::int32_t destWidth, std::int32_t destHeight, std::int32_t SrcX,
                       std::int32_t SrcY, std::int32_t srcWidth, std::int32_t srcHeight,
                       std::int32_t Opacity, bool /*Blend*/, bool SetHalfTone,
                       c32bppDIB* destHostDIB, std::int32_t grayScale, float LightAdjustment,
                       float Angle, bool CenterOnDestXY) {
    if (Handle() == 0) return false;
    if (Opacity <= 0) return true;
    if (destinationDC == 0 && destHostDIB == nullptr) return false;
    if (destHostDIB && destHostDIB->Handle() == 0) return false;
    // Nothing can be drawn that far out or that large, and refusing it keeps
    // every sum and negation below inside 32 bits.
    constexpr std::int32_t kFarthest = 1 << 29;
    for (const std::int32_t v :
         {destX, destY, destWidth, destHeight, SrcX, SrcY, srcWidth, srcHeight})
        if (v > kFarthest || v < -kFarthest) return false;

    if (destWidth == 0) destWidth = Width();
    if (destHeight == 0) destHeight = Height();
    SrcX = std::max(SrcX, 0);
    SrcY = std::max(SrcY, 0);
    if (srcWidth == 0) srcWidth = Width();
    if (srcHeight == 0) srcHeight = Height();
    // A negative source size turns the mirroring of that axis around.
    if (srcWidth < 0) {
        srcWidth = -srcWidth;
        destWidth = -destWidth;
    }
    if (srcHeight < 0) {
        srcHeight = -srcHeight;
        destHeight = -destHeight;
    }
    if (std::int64_t{SrcX} + srcWidth > Width()) srcWidth = Width() - SrcX;
    if (std::int64_t{SrcY} + srcHeight > Height()) srcHeight = Height() - SrcY;
    if (srcWidth < 1 || srcHeight < 1) return false; // nothing of the image is left

    const bool rotated = Angle != std::trunc(Angle) || std::fmod(std::trunc(Angle), 360.0f) != 0;
    const std::int32_t percent = Opacity % 100 == 0 ? 100 : Opacity % 100;
    const std::uint32_t constantAlpha = static_cast<std::uint32_t>(percent * 255 / 100);
    // Written so that NaN counts as out of range too.
    if (!(LightAdjustment >= -100 && LightAdjustment <= 100)) LightAdjustment = 0;

    if (rotated) {
        HDC dc = destinationDC;
        std::optional<SectionInDc> hostDc;
        if (destHostDIB) dc = hostDc.emplace(*destHostDIB).dc();
        if (CenterOnDestXY) {
            destX -= destWidth / 2;
            destY -= destHeight / 2;
        }
        return rotateOnto(dc, Angle, destX, destY, destWidth, destHeight, SrcX, SrcY, srcWidth,
                          srcHeight, percent, destHostDIB, grayScale, LightAdjustment);
    }
    if (CenterOnDestXY) {
        destX -= std::abs(destWidth / 2);
        destY -= std::abs(destHeight / 2);
    }

    const bool mirrored = destWidth < 1 || destHeight < 0;
    const bool scaled = std::abs(destWidth) != srcWidth || std::abs(destHeight) != srcHeight;
    bool useAlphaBlend = (gdiToken_ == 0 || !isGDIplusEnabled()) && isAlphaBlendFriendly() &&
                         !mirrored && grayScale == -1 && LightAdjustment == 0;
    if (useAlphaBlend) useAlphaBlend = !scaled || !highQuality_;

    if (isGDIplusEnabled() && !useAlphaBlend) {
        HDC dc = destinationDC;
        std::optional<SectionInDc> hostDc;
        if (destHostDIB) dc = hostDc.emplace(*destHostDIB).dc();
        if (RenderWithGDIplus(view(), dc, 0.0f, percent, destX, destY, destWidth, destHeight, SrcX,
                              SrcY, srcWidth, srcHeight, highQuality_, grayScale, gdiToken_,
                              LightAdjustment))
            return true;
        // What the service cannot draw (a draw too large for it, a DC or a
        // session it cannot use) the own engine draws, rather than nothing.
    }

    const SectionInDc own(*this);
    if (useAlphaBlend) {
        HDC dc = destinationDC;
        std::optional<SectionInDc> hostDc;
        if (destHostDIB) dc = hostDc.emplace(*destHostDIB).dc();
        int previousMode = 0;
        if (SetHalfTone && !(flags_ & kConsumerWindows))
            previousMode = SetStretchBltMode(dc, HALFTONE);
        BLENDFUNCTION blend;
        blend.SourceConstantAlpha = static_cast<std::uint8_t>(constantAlpha);
        blend.AlphaFormat = Alpha() ? AC_SRC_ALPHA : 0;
        const bool ok = AlphaBlend(dc, destX, destY, destWidth, destHeight, own.dc(), SrcX, SrcY,
                                   srcWidth, srcHeight, blend);
        if (previousMode != 0) SetStretchBltMode(dc, previousMode);
        return ok;
    }

    // The own engine: mirror, then scale, then blend.
    BlendSource source{view(), SrcX, SrcY, false};
    PixelBuffer mirroredPixels, scaledPixels, lightPixels;
    if (mirrored) {
        if (!mirroredPixels.allocate(srcWidth, srcHeight) ||
            !mirrorInto(source.pixels, {SrcX, SrcY, srcWidth, srcHeight}, destWidth, destHeight,
                        mirroredPixels.view()))
            return false;
        if (LightAdjustment != 0)
            adjustLightness(mirroredPixels.view(), mirroredPixels.view(), LightAdjustment);
        LightAdjustment = 0;
        source = {mirroredPixels.view(), 0, 0, false};
        destWidth = std::abs(destWidth);
        destHeight = std::abs(destHeight);
    }
    if (scaled) {
        // Only the part of the scaled picture that lands on the destination
        // is made: a hostile size costs no more than the destination holds.
        const auto [limitX, limitY] = destinationExtent(destinationDC, destHostDIB);
        const ScaleJob job{source.pixels,
                           {source.x, source.y, srcWidth, srcHeight},
                           destX,
                           destY,
                           std::abs(destWidth),
                           std::abs(destHeight),
                           highQuality_,
                           limitX,
                           limitY};
        if (!scaledPixels.allocate(job.outputWidth(), job.outputHeight()) ||
            !scaleInto(job, scaledPixels.view()))
            return false;
        if (LightAdjustment != 0)
            adjustLightness(scaledPixels.view(), scaledPixels.view(), LightAdjustment);
        LightAdjustment = 0;
        source = {scaledPixels.view(), 0, 0, true};
        destWidth = scaledPixels.width;
        destHeight = scaledPixels.height;
    } else if (LightAdjustment != 0) {
        if (!lightAdjustedCopy(*this, LightAdjustment, lightPixels)) return false;
        source.pixels = lightPixels.view();
    }
    return blendOnto(destinationDC, destHostDIB, source, destX, destY, std::abs(destWidth),
                     std::abs(destHeight), constantAlpha, grayScale);
}

bool c32bppDIB::rotateOnto(HDC dc, float Angle, std::int32_t destX, std::int32_t destY,
                           std::int32_t dw, std::int32_t dh, std::int32_t SrcX, std::int32_t SrcY,
                           std::int32_t srcWidth, std::int32_t srcHeight, std::int32_t percent,
                           c32bppDIB* host, std::int32_t grayScale, float light) {
    if (isGDIplusEnabled() &&
        RenderWithGDIplus(view(), dc, Angle, percent, destX, destY, dw, dh, SrcX, SrcY, srcWidth,
                          srcHeight, highQuality_, grayScale, gdiToken_, light))
        return true;

    if (dw < 0) destX += dw;
    if (dh < 0) destY += dh;
    velmora::BgraPremulBottomUpView source = view();
    SourceRect rect{SrcX, SrcY, srcWidth, srcHeight};
    PixelBuffer prepared;
    if (dw < 0 || dh < 0) {
        if (!prepared.allocate(srcWidth, srcHeight) ||
            !mirrorInto(source, rect, dw, dh, prepared.view()))
            return false;
        if (light != 0) adjustLightness(prepared.view(), prepared.view(), light);
        source = prepared.view();
        rect = {0, 0, srcWidth, srcHeight};
    } else if (light != 0) {
        if (!lightAdjustedCopy(*this, light, prepared)) return false;
        source = prepared.view();
    }
    dw = std::abs(dw);
    dh = std::abs(dh);
    if (dw < 1 || dh < 1) return false;

    // The turned picture is a D x D square centred on the destination
    // rectangle. Only the part of it that lands on the destination is made
    // (at least one pixel, so that a draw wholly outside answers as before):
    // a hostile size costs no more than the destination holds.
    const std::int32_t D = rotationSize(dw, dh);
    const std::int64_t left = std::int64_t{destX} + dw / 2 - D / 2;
    const std::int64_t top = std::int64_t{destY} + dh / 2 - D / 2;
    const auto [limitX, limitY] = destinationExtent(dc, host);
    const auto span = [D](std::int64_t corner, std::int32_t limit) {
        const std::int64_t first = std::clamp<std::int64_t>(-corner, 0, D - 1);
        const std::int64_t end = std::clamp<std::int64_t>(limit - corner, first + 1, D);
        return std::pair{static_cast<std::int32_t>(first), static_cast<std::int32_t>(end)};
    };
    const auto [column, columnEnd] = span(left, limitX);
    const auto [row, rowEnd] = span(top, limitY);
    const std::int32_t w = columnEnd - column, h = rowEnd - row;
    constexpr std::int64_t kLowest = std::numeric_limits<std::int32_t>::min();
    if (left + column < kLowest || top + row < kLowest) return false;
    c32bppDIB turned;
    turned.isGDIplusEnabled(isGDIplusEnabled());
    turned.HighQualityInterpolation(highQuality_);
    if (!turned.InitializeDIB(w, h)) return false;
    rotateInto({source, rect, dw, dh, Angle, highQuality_, D, column, D - rowEnd}, turned.view());
    turned.gdiToken(gdiToken_);
    return turned.Render(dc, static_cast<std::int32_t>(left + column),
                         static_cast<std::int32_t>(top + row), w, h, 0, 0, w, h, percent, true,
                         host == nullptr, host, grayScale, 0, 0, false);
}

#include "codecs/cbmpparser.h"

#include "codecs/byte_reader.h"
#include "codecs/modparsers.h"
#include "codecs/stream_range.h"
#include "platform/gdi/gdi.h"
#include "platform/picture/bitmap_rows.h"
#include "platform/util/checked.h"
#include "surface/dib_surface.h"

#include <cstring>

using namespace platform;
using namespace modParsers;

namespace {

constexpr std::uint16_t kSignature = 19778; // "BM"
// Twips per screen pixel at 96 pixels per inch.
constexpr std::int64_t kTwipsPerPixel = 15;

// 0.01 mm to screen pixels, rounded to the nearest, halves to even.
std::int32_t hiMetricToPixels(std::int32_t units) {
    const std::int64_t num = std::int64_t{units} * 1440;
    const std::int64_t den = 2540 * kTwipsPerPixel;
    std::int64_t q = num / den;
    const std::int64_t r = num % den;
    if (2 * r > den || (2 * r == den && (q & 1))) ++q;
    return static_cast<std::int32_t>(q);
}

// The uncompressed 32-bit case, whose fourth byte may carry alpha that the
// picture services would drop.
bool load32(std::span<const std::uint8_t> data, surface::DibSurface& host, std::int32_t width,
            std::int64_t height, std::uint32_t bitsOffset, std::size_t rowBytes) {
    const std::int64_t rows = height < 0 ? -height : height;
    if (!host.InitializeDIB(width, static_cast<std::int32_t>(rows))) return false;
    std::uint8_t* dest = host.BitsPointer();
    const std::uint8_t* src = data.data() + bitsOffset;
    const std::size_t total = rowBytes * static_cast<std::size_t>(rows);
    if (height > 0) {
        std::memcpy(dest, src, total);
    } else {
        for (std::int64_t r = 0; r < rows; ++r)
            std::memcpy(dest + static_cast<std::size_t>(r) * rowBytes,
                        src + static_cast<std::size_t>(rows - 1 - r) * rowBytes, rowBytes);
    }
    bool hasAlpha = false;
    std::int32_t type = itBitmap;
    ClassifyAlpha(host.pixels(), host.Width(), host.Height(), true, hasAlpha, type);
    host.Alpha(hasAlpha);
    host.ImageType(type);
    return true;
}

} // namespace

bool cBMPparser::LoadStream(std::span<const std::uint8_t> inStream, surface::DibSurface& cHost,
                            std::int32_t streamOffset, std::int32_t streamLength) {
    const auto range = codecs::streamRange(inStream, streamOffset, streamLength);
    if (!range || range->size() < 2 || codecs::loadU16le(range->data()) != kSignature) return false;
    const std::span<const std::uint8_t> data = *range;
    if (data.size() < 30) return false; // no room for the fields read below

    const std::uint16_t bitCount = codecs::loadU16le(data.data() + 28);
    const auto width = static_cast<std::int32_t>(codecs::loadU32le(data.data() + 18));
    const std::int64_t height = static_cast<std::int32_t>(codecs::loadU32le(data.data() + 22));
    if (width < 1 || height == 0) return false;

    const std::uint32_t bitsOffset = codecs::loadU32le(data.data() + 10);
    const std::int64_t rowBytes = AlignedRowBytes(static_cast<std::uint8_t>(bitCount), width);
    // Complete when every row is there; a size that overflows counts as
    // incomplete and goes to the picture services.
    const auto need = velmora::checkedMul<std::int64_t>(rowBytes, height < 0 ? -height : height);
    const auto end = need ? velmora::checkedAdd<std::int64_t>(*need, bitsOffset) : std::nullopt;
    const bool complete = end && *end <= static_cast<std::int64_t>(data.size());

    if (complete && bitCount == 32 && data.size() >= 34 &&
        codecs::loadU32le(data.data() + 30) == BI_RGB)
        if (load32(data, cHost, width, height, bitsOffset, static_cast<std::size_t>(rowBytes)))
            return true;

    const auto picture = PictureFromBytes(data);
    if (!picture) return false;
    return ConvertstdPicTo32bpp(picture.get(), 0, cHost, 0);
}

bool cBMPparser::ConvertstdPicTo32bpp(const Picture* aPicture, HBITMAP aHandle,
                                      surface::DibSurface& cHost, std::int32_t /*bitCount*/) {
    if (aPicture) {
        const int type = aPicture->Type();
        if (type == PICTYPE_NONE) return false;
        const std::int32_t width = hiMetricToPixels(aPicture->Width());
        const std::int32_t height = hiMetricToPixels(aPicture->Height());
        if (!cHost.InitializeDIB(width, height)) return false;
        const bool metafile = type == PICTYPE_METAFILE || type == PICTYPE_ENHMETAFILE;
        // Metafiles paint only what they draw: a pre-fill of 255 tells the
        // untouched pixels apart afterwards.
        if (metafile) std::memset(cHost.BitsPointer(), 255, cHost.pixels().size());
        const HDC dc = cHost.LoadDIBinDC(true);
        const bool drawn = aPicture->Render(dc, 0, 0, width, height, 0, aPicture->Height(),
                                            aPicture->Width(), -aPicture->Height());
        cHost.LoadDIBinDC(false);
        // A picture that cannot draw itself (a metafile, with no player on
        // this platform) gives no image rather than an empty one.
        if (!drawn) {
            cHost.DestroyDIB();
            return false;
        }
        if (metafile) {
            bool anyClear = false;
            for (std::uint8_t *p = cHost.BitsPointer(), *e = p + cHost.pixels().size(); p < e;
                 p += 4) {
                if (p[3] == 255) {
                    std::memset(p, 0, 4);
                    anyClear = true;
                } else {
                    p[3] = 255;
                }
            }
            cHost.Alpha(anyClear);
        } else {
            bool hasAlpha = false;
            std::int32_t ignored = itNoImage;
            ClassifyAlpha(cHost.pixels(), cHost.Width(), cHost.Height(), true, hasAlpha, ignored);
            cHost.Alpha(false);
        }
        cHost.ImageType(type);
        return true;
    }

    BITMAP info;
    if (!GetObjectBitmap(aHandle, info)) return false;
    if (!cHost.InitializeDIB(info.bmWidth, info.bmHeight)) return false;
    // The rows come back in the surface's order whatever the bitmap's own.
    if (!GetBitmapRows(aHandle, 32, cHost.Width(), cHost.Height(), cHost.pixels())) {
        cHost.DestroyDIB();
        return false;
    }
    bool hasAlpha = false;
    std::int32_t type = info.bmBitsPixel == 32 ? itBitmap : itNoImage;
    ClassifyAlpha(cHost.pixels(), cHost.Width(), cHost.Height(), true, hasAlpha, type);
    cHost.Alpha(hasAlpha);
    cHost.ImageType(type);
    return true;
}

#include "codecs/modparsers.h"

#include "platform/gdi/gdi.h"
#include "platform/system/library.h"
#include "platform/util/premultiply.h"
#include "platform/zlib/zlib_binding.h"
#include "surface/dib_surface.h"
#include "surface/render_routines.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace platform;

namespace modParsers {
namespace {

// Whether the eight pixels at p all have alpha 255.
inline bool allOpaque8(const std::uint8_t* p) {
    constexpr std::uint64_t kAlpha = 0xFF000000FF000000u;
    std::uint64_t all = kAlpha;
    for (int k = 0; k < 4; ++k) {
        std::uint64_t w;
        std::memcpy(&w, p + k * 8, 8);
        all &= w;
    }
    return (all & kAlpha) == kAlpha;
}

} // namespace

void ClassifyAlpha(std::span<std::uint8_t> pixels, std::int32_t width, std::int32_t height,
                   bool apply, bool& hasAlpha, std::int32_t& imageType) {
    const std::size_t count =
        width > 0 && height > 0 ? static_cast<std::size_t>(width) * static_cast<std::size_t>(height)
                                : 0;
    const std::size_t usable = std::min(count, pixels.size() / 4);

    enum { Clean = 0, ColourUnderZero = 1, Straight = 2 };
    int state = Clean;
    std::size_t transparent = 0;
    std::size_t opaque = 0;

    if (imageType != itNoImage) {
        const std::uint8_t* p = pixels.data();
        for (std::size_t i = 0; i < usable; ++i, p += 4) {
            // Runs of opaque pixels, the bulk of most images, eight at a
            // time; they change nothing but the count while the state is
            // clean.
            while (state == Clean && usable - i >= 8 && allOpaque8(p)) {
                opaque += 8;
                i += 8;
                p += 32;
            }
            if (i == usable) break;
            const std::uint8_t a = p[3];
            if (a == 0) {
                if (state == Clean && (p[0] | p[1] | p[2]) != 0) state = ColourUnderZero;
                ++transparent;
            } else if (a == 255) {
                if (state == ColourUnderZero) {
                    state = Straight;
                    break;
                }
                ++opaque;
            } else if (state == ColourUnderZero || a < p[0] || a < p[1] || a < p[2]) {
                state = Straight;
                break;
            }
        }
    }

    const bool noAlpha = imageType == itNoImage || transparent == count || opaque == count;
    std::uint8_t* p = pixels.data();
    if (noAlpha) {
        imageType = itBitmap;
        hasAlpha = false;
        if (apply)
            for (std::size_t i = 0; i < usable; ++i)
                p[i * 4 + 3] = 255;
    } else if (state == Clean) {
        imageType = itBitmapPremultiplied;
        hasAlpha = true;
    } else {
        imageType = itBitmapAlpha;
        hasAlpha = true;
        if (apply) {
            for (std::size_t i = 0; i < usable; ++i, p += 4)
                velmora::premultiplyPixel(p, p[3]);
        }
    }
}

namespace {

// Builds one region from rectangles behind a region-data header.
HRGN regionFromRects(std::span<const RECT> rects, std::int32_t width) {
    RGNDATAHEADER header;
    header.nCount = static_cast<std::uint32_t>(rects.size());
    header.nRgnSize = static_cast<std::uint32_t>(rects.size() * sizeof(RECT));
    header.rcBound = {0, rects.front().top, width, rects.back().bottom};
    std::vector<std::byte> data(sizeof header + rects.size_bytes());
    std::memcpy(data.data(), &header, sizeof header);
    std::memcpy(data.data() + sizeof header, rects.data(), rects.size_bytes());
    return ExtCreateRegion(nullptr, data);
}

// When one region of all the rectangles cannot be made (systems limit their
// size), the list goes in batches of 2000 merged with OR.
HRGN regionInBatches(std::span<const RECT> rects, std::int32_t width) {
    constexpr std::size_t kBatch = 2000;
    HRGN result = 0;
    for (std::size_t at = 0; at < rects.size(); at += kBatch) {
        const HRGN part =
            regionFromRects(rects.subspan(at, std::min(kBatch, rects.size() - at)), width);
        if (part == 0) {
            if (result) DeleteObject(result);
            return 0;
        }
        if (result == 0) {
            result = part;
            continue;
        }
        const int rc = CombineRgn(result, result, part, RGN_OR);
        DeleteObject(part);
        if (rc == RGN_ERROR) {
            DeleteObject(result);
            return 0;
        }
    }
    return result;
}

} // namespace

HRGN RegionFromAlpha(const surface::DibSurface& surface, std::int32_t style) {
    const std::int32_t width = surface.Width();
    const std::int32_t height = surface.Height();
    if (width < 1 || height < 1) return 0;
    if (!surface.Alpha()) return CreateRectRgn(0, 0, width, height);

    std::vector<RECT> rects;
    std::int32_t left = width, right = -1, top = -1, bottom = -1;
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* alpha = surface.row(y) + 3;
        if (style == 2) {
            std::int32_t x = 0;
            while (x < width) {
                while (x < width && alpha[x * 4] == 0)
                    ++x;
                if (x == width) break;
                const std::int32_t start = x;
                while (x < width && alpha[x * 4] != 0)
                    ++x;
                rects.push_back({start, y, x, y + 1});
            }
            continue;
        }
        std::int32_t first = 0;
        while (first < width && alpha[first * 4] == 0)
            ++first;
        if (first == width) continue;
        std::int32_t last = width - 1;
        while (alpha[last * 4] == 0)
            --last;
        if (style == 0) {
            left = std::min(left, first);
            right = std::max(right, last + 1);
            if (top < 0) top = y;
            bottom = y + 1;
        } else {
            rects.push_back({first, y, last + 1, y + 1});
        }
    }

    if (style == 0) return top < 0 ? 0 : CreateRectRgn(left, top, right, bottom);
    if (rects.empty()) return 0;
    if (const HRGN region = regionFromRects(rects, width)) return region;
    return rects.size() > 2000 ? regionInBatches(rects, width) : 0;
}

// The table lives with the rendering code in the surface layer, which
// needs it below this one.
GrayWeight GrayWeights(std::int32_t formula) {
    return velmora::grayWeights(formula);
}

std::unique_ptr<Picture> PictureFromBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return nullptr;
    return LoadPictureFromBytes(bytes);
}

std::unique_ptr<Picture> PictureFromHandle(HGDIOBJ handle, std::int32_t type) {
    return CreatePictureIndirect(handle, type);
}

bool IsFunctionExported(const std::string& library, const std::string& function) {
    const Library lib(library);
    return lib.loaded() && lib.symbol(function) != nullptr;
}

bool FindZlib(std::string& libraryName, std::int32_t& libraryId, bool& isCdecl, bool& hasCompress2,
              bool skipConvention) {
    const auto found = FindZlibLibrary(skipConvention);
    libraryName = found ? found->name : std::string();
    libraryId = found ? found->libraryId : 0;
    isCdecl = found && found->cdecl;
    hasCompress2 = found && found->hasCompress2;
    return found.has_value();
}

File OpenFileHandle(const std::string& fileName, bool forRead, bool /*forceWide*/) {
    return forRead ? File::openForRead(fileName) : File::openForWrite(fileName);
}

bool DeleteFileForce(const std::string& fileName, bool /*forceWide*/) {
    SetFileAttributesNormal(fileName);
    return DeleteFile(fileName);
}

} // namespace modParsers

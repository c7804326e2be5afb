// The surface's saving members: a Windows bitmap file image, a PNG file image
// and the kept source bytes. They live here because PNG saving needs the
// writer, which sits above the surface.

#include "codecs/cpngwriter.h"
#include "codecs/modparsers.h"
#include "dib/c32bppdib.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/util/checked.h"

#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr std::size_t kBitmapHeadersSize = 54; // file header 14 + information header 40

void putLE16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void putLE32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace

bool c32bppDIB::SaveToStream(std::vector<std::uint8_t>& outStream) const {
    if (Handle() == 0) return false;

    const std::uint8_t bitsPerPixel = Alpha() ? 32 : 24;
    const auto rowLength =
        static_cast<std::size_t>(modParsers::AlignedRowBytes(bitsPerPixel, Width()));
    const auto imageSize =
        velmora::checkedMul<std::size_t>(rowLength, static_cast<std::size_t>(Height()));
    // Every size field is a 32-bit number; a file that cannot state its own
    // size is not written.
    if (!imageSize || *imageSize > std::numeric_limits<std::int32_t>::max() - kBitmapHeadersSize) {
        outStream.clear();
        return false;
    }

    try {
        outStream.assign(kBitmapHeadersSize + *imageSize, 0);
    } catch (const std::bad_alloc&) {
        outStream.clear();
        return false;
    }
    std::uint8_t* p = outStream.data();
    p[0] = 'B';
    p[1] = 'M';
    putLE32(p + 2, static_cast<std::uint32_t>(outStream.size()));
    putLE32(p + 10, kBitmapHeadersSize);
    putLE32(p + 14, 40);
    putLE32(p + 18, static_cast<std::uint32_t>(Width()));
    putLE32(p + 22, static_cast<std::uint32_t>(Height())); // positive: rows bottom-up, as stored
    putLE16(p + 26, 1);
    putLE16(p + 28, bitsPerPixel);
    putLE32(p + 34, static_cast<std::uint32_t>(*imageSize));

    std::uint8_t* dst = p + kBitmapHeadersSize;
    if (Alpha()) {
        // Rows of 4-byte pixels need no padding: the buffer as it is.
        std::memcpy(dst, BitsPointer(), *imageSize);
        return true;
    }
    const std::uint8_t* src = BitsPointer();
    for (std::int32_t y = 0; y < Height(); ++y, dst += rowLength) {
        std::uint8_t* d = dst;
        for (std::int32_t x = 0; x < Width(); ++x, src += 4, d += 3) {
            d[0] = src[0];
            d[1] = src[1];
            d[2] = src[2];
        } // the padding stays zero
    }
    return true;
}

bool c32bppDIB::SaveToStream_PNG(std::vector<std::uint8_t>& outStream) const {
    if (Handle() == 0) return false;

    if (platform::cGDIPlus().SaveToPNG({}, outStream, view(), Alpha(), gdiToken_)) return true;

    return cPNGwriter().SavePNG(*this, outStream);
}

bool c32bppDIB::GetOrginalFormat(std::vector<std::uint8_t>& outStream) const {
    try {
        outStream = originalFormatBytes();
    } catch (const std::bad_alloc&) {
        outStream.clear();
        return false;
    }
    return !outStream.empty();
}

// TIFF through libtiff: the first directory, strips or tiles, 8 or 16 bits,
// RGB, RGBA, grey, palette, CMYK and YCbCr, any compression libtiff was
// built with (LZW, Deflate, PackBits, JPEG among them). libtiff's RGBA
// reader does the sample conversion; the file stays in memory, handed to
// libtiff through client procedures.

#include "imaging/src/internal.h"
#include "imaging/src/runtime_library.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <tiffio.h>
#include <vector>

namespace vimg {
namespace {

// The runtime name of libtiff.
constexpr const char* kTiffLibrary = "libtiff.so.6";

// The functions of libtiff the reader calls.
struct TiffLibrary {
    RuntimeLibrary library;
    decltype(&::TIFFClientOpenExt) TIFFClientOpenExt = nullptr;
    decltype(&::TIFFClose) TIFFClose = nullptr;
    decltype(&::TIFFGetField) TIFFGetField = nullptr;
    decltype(&::TIFFGetFieldDefaulted) TIFFGetFieldDefaulted = nullptr;
    decltype(&::TIFFGetStrileByteCountWithErr) TIFFGetStrileByteCountWithErr = nullptr;
    decltype(&::TIFFGetStrileOffsetWithErr) TIFFGetStrileOffsetWithErr = nullptr;
    decltype(&::TIFFIsTiled) TIFFIsTiled = nullptr;
    decltype(&::TIFFNumberOfStrips) TIFFNumberOfStrips = nullptr;
    decltype(&::TIFFNumberOfTiles) TIFFNumberOfTiles = nullptr;
    decltype(&::TIFFOpenOptionsAlloc) TIFFOpenOptionsAlloc = nullptr;
    decltype(&::TIFFOpenOptionsFree) TIFFOpenOptionsFree = nullptr;
    decltype(&::TIFFOpenOptionsSetErrorHandlerExtR) TIFFOpenOptionsSetErrorHandlerExtR = nullptr;
    decltype(&::TIFFOpenOptionsSetMaxSingleMemAlloc) TIFFOpenOptionsSetMaxSingleMemAlloc = nullptr;
    decltype(&::TIFFOpenOptionsSetWarningHandlerExtR) TIFFOpenOptionsSetWarningHandlerExtR =
        nullptr;
    decltype(&::TIFFRGBAImageBegin) TIFFRGBAImageBegin = nullptr;
    decltype(&::TIFFRGBAImageEnd) TIFFRGBAImageEnd = nullptr;
    decltype(&::TIFFRGBAImageGet) TIFFRGBAImageGet = nullptr;
    decltype(&::TIFFRGBAImageOK) TIFFRGBAImageOK = nullptr;
    decltype(&::TIFFSetField) TIFFSetField = nullptr;
    decltype(&::TIFFGetVersion) TIFFGetVersion = nullptr;

    explicit TiffLibrary(const char* soname) : library(soname) {}
};

struct MemoryFile {
    std::span<const std::uint8_t> data;
    toff_t at = 0;
};

tmsize_t readProc(thandle_t handle, void* out, tmsize_t count) {
    auto* f = static_cast<MemoryFile*>(handle);
    if (count < 0 || f->at >= f->data.size()) return 0;
    const auto n = std::min<toff_t>(static_cast<toff_t>(count), f->data.size() - f->at);
    std::memcpy(out, f->data.data() + f->at, n);
    f->at += n;
    return static_cast<tmsize_t>(n);
}
tmsize_t writeProc(thandle_t, void*, tmsize_t) {
    return -1;
}
toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(handle);
    toff_t base = 0;
    if (whence == SEEK_CUR) base = f->at;
    if (whence == SEEK_END) base = f->data.size();
    // Offsets are unsigned; a wrapped sum means a negative position.
    const toff_t to = base + offset;
    if (whence != SEEK_SET && to < base && static_cast<std::int64_t>(offset) >= 0)
        return static_cast<toff_t>(-1);
    f->at = to;
    return to;
}
int closeProc(thandle_t) {
    return 0;
}
toff_t sizeProc(thandle_t handle) {
    return static_cast<MemoryFile*>(handle)->data.size();
}
int mapProc(thandle_t handle, void** base, toff_t* size) {
    auto* f = static_cast<MemoryFile*>(handle);
    // libtiff only reads through a read-only handle's mapping.
    *base = const_cast<std::uint8_t*>(f->data.data());
    *size = f->data.size();
    return 1;
}
void unmapProc(thandle_t, void*, toff_t) {}

// Messages are dropped: a failure shows as the status of the call.
int quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    const TiffLibrary* tiff;
    void operator()(TIFF* t) const { tiff->TIFFClose(t); }
};
struct OptionsFree {
    const TiffLibrary* tiff;
    void operator()(TIFFOpenOptions* o) const { tiff->TIFFOpenOptionsFree(o); }
};

// Strips and tiles are read one at a time; none may take more than the
// largest picture the limit allows, in the widest sample layout (four
// 16-bit samples a pixel), and never less than a generous minimum.
tmsize_t singleAllocationCap() {
    constexpr std::uint64_t kFloor = 64u << 20;
    constexpr std::uint64_t kCeiling = 1u << 31;
    const std::uint64_t wanted = velmora_imaging_pixel_limit() * 8;
    return static_cast<tmsize_t>(std::clamp(wanted, kFloor, kCeiling));
}

// How many bytes of picture one byte of a strip can give at most, by
// compression: PackBits 128 from 2, LZW at most about 1300 (a code of 12
// bits adds one byte to the longest string so far), Deflate 1032, JPEG 4
// blocks of 64 samples a byte at best, doubled for subsampled colour. The
// fax codings can spend one bit on a whole white row, so 3 KB make a valid
// blank page of 23170 x 23170 (2 GB and 14 s to decode): beyond
// kFaxFreePixels a fax picture is held to the bound of Deflate, which any
// page with writing on it meets; a blank one that large is refused. Anything
// else gets a bound no real codec reaches.
constexpr std::uint64_t kFaxFreePixels = std::uint64_t{1} << 24;

std::uint64_t expansion(std::uint16_t compression, std::uint64_t width, std::uint64_t pixels) {
    switch (compression) {
    case COMPRESSION_NONE:
        return 1;
    case COMPRESSION_PACKBITS:
        return 64;
    case COMPRESSION_LZW:
        return 2048;
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
        return 1032;
    case COMPRESSION_JPEG:
    case COMPRESSION_OJPEG:
        return 1024;
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTRLEW:
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
        return pixels > kFaxFreePixels ? 1032 : std::max<std::uint64_t>(width, 8);
    default:
        return std::uint64_t{1} << 20;
    }
}

// Judges the directory's strips or tiles against the file and the declared
// size: each must lie within the file, and together they must be able to
// give at least one sample a pixel.
const char* judgeStrips(const TiffLibrary& tiff, TIFF* tif, std::uint64_t fileSize,
                        std::uint32_t width, std::uint32_t height) {
    const std::uint32_t count =
        tiff.TIFFIsTiled(tif) ? tiff.TIFFNumberOfTiles(tif) : tiff.TIFFNumberOfStrips(tif);
    if (count == 0) return "TIFF without strips or tiles";
    // Every strip takes at least one byte of the file.
    if (count > fileSize) return "TIFF declares more strips than the file has bytes";
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        int failed = 0;
        const std::uint64_t offset = tiff.TIFFGetStrileOffsetWithErr(tif, i, &failed);
        const std::uint64_t bytes = tiff.TIFFGetStrileByteCountWithErr(tif, i, &failed);
        if (failed) return "TIFF strip table unreadable";
        if (offset > fileSize || bytes > fileSize - offset)
            return "TIFF strip lies beyond the end of the file";
        total += bytes;
    }
    std::uint16_t bits = 1, compression = COMPRESSION_NONE;
    tiff.TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    tiff.TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    // Both sides stay far below 2^64: total < 2^31 bytes, factor <= 2^20.
    const std::uint64_t least =
        std::uint64_t{width} * height / 8 * std::max<std::uint16_t>(bits, 1);
    if (total * expansion(compression, width, std::uint64_t{width} * height) < least)
        return "TIFF strips too short for the declared size";
    return nullptr;
}

Status decodeWith(const TiffLibrary& tiff, std::span<const std::uint8_t> data,
                  const Allocator& allocator) {
    std::unique_ptr<TIFFOpenOptions, OptionsFree> options(tiff.TIFFOpenOptionsAlloc(),
                                                          OptionsFree{&tiff});
    if (!options) return VELMORA_IMAGING_NO_MEMORY;
    tiff.TIFFOpenOptionsSetErrorHandlerExtR(options.get(), quiet, nullptr);
    tiff.TIFFOpenOptionsSetWarningHandlerExtR(options.get(), quiet, nullptr);
    tiff.TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), singleAllocationCap());

    MemoryFile file{data};
    std::unique_ptr<TIFF, TiffCloser> tif(
        tiff.TIFFClientOpenExt("memory", "r", &file, readProc, writeProc, seekProc, closeProc,
                               sizeProc, mapProc, unmapProc, options.get()),
        TiffCloser{&tiff});
    if (!tif) return refuse(VELMORA_IMAGING_DAMAGED, "TIFF header or directory unreadable");

    std::uint32_t width = 0, height = 0;
    if (!tiff.TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !tiff.TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height))
        return refuse(VELMORA_IMAGING_DAMAGED, "TIFF without a picture size");
    if (const Status size = checkSize(width, height); size != VELMORA_IMAGING_OK) return size;
    if (const char* reason = judgeStrips(tiff, tif.get(), data.size(), width, height))
        return refuse(VELMORA_IMAGING_DAMAGED, reason);

    // Unassociated alpha is relabelled associated so that libtiff hands the
    // samples over as they are; they are premultiplied here, truncating like
    // every other premultiplication of the program (libtiff rounds).
    bool straightAlpha = false;
    std::uint16_t extraCount = 0;
    std::uint16_t* extra = nullptr;
    if (tiff.TIFFGetField(tif.get(), TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0 &&
        extra != nullptr && extra[0] == EXTRASAMPLE_UNASSALPHA) {
        std::vector<std::uint16_t> relabelled(extra, extra + extraCount);
        relabelled[0] = EXTRASAMPLE_ASSOCALPHA;
        if (!tiff.TIFFSetField(tif.get(), TIFFTAG_EXTRASAMPLES, extraCount, relabelled.data()))
            return VELMORA_IMAGING_UNSUPPORTED;
        straightAlpha = true;
    }

    char message[1024] = {};
    if (!tiff.TIFFRGBAImageOK(tif.get(), message)) return VELMORA_IMAGING_UNSUPPORTED;
    TIFFRGBAImage image{};
    if (!tiff.TIFFRGBAImageBegin(&image, tif.get(), 1, message)) return VELMORA_IMAGING_UNSUPPORTED;
    struct ImageEnd {
        const TiffLibrary& tiff;
        TIFFRGBAImage* image;
        ~ImageEnd() { tiff.TIFFRGBAImageEnd(image); }
    } end{tiff, &image};

    Pixels px;
    if (const Status made = allocator.make(width, height, px); made != VELMORA_IMAGING_OK)
        return made;

    // libtiff writes rows of 32-bit values (red in the low byte) back to
    // back; a packed, aligned target takes them in place, rows ordered as
    // the target wants them.
    const bool inPlace = px.packed() && reinterpret_cast<std::uintptr_t>(px.bits) % 4 == 0;
    std::vector<std::uint32_t> scratch;
    if (!inPlace) scratch.resize(static_cast<std::size_t>(width) * height);
    auto* raster = inPlace ? reinterpret_cast<std::uint32_t*>(px.bits) : scratch.data();
    image.req_orientation = static_cast<std::uint16_t>(
        inPlace && px.bottomUp ? ORIENTATION_BOTLEFT : ORIENTATION_TOPLEFT);
    if (!tiff.TIFFRGBAImageGet(&image, raster, width, height))
        return refuse(VELMORA_IMAGING_DAMAGED, "TIFF strip data damaged");

    const auto h = static_cast<std::int32_t>(height);
    const auto w = static_cast<std::int32_t>(width);
    for (std::int32_t y = 0; y < h; ++y) {
        std::uint8_t* row = px.row(y);
        if (!inPlace)
            std::memcpy(row, scratch.data() + static_cast<std::size_t>(y) * width,
                        static_cast<std::size_t>(width) * 4);
        if (straightAlpha) {
            premultiplySwapRow(row, w);
        } else {
            std::uint8_t* p = row;
            for (std::int32_t x = 0; x < w; ++x, p += 4)
                std::swap(p[0], p[2]);
            // Associated alpha from a file may break colour <= alpha.
            clampToAlphaRow(row, w);
        }
    }
    return VELMORA_IMAGING_OK;
}

// Null when the library is missing or lacks a function.
std::unique_ptr<const TiffLibrary> loadTiff(const char* soname) {
    auto tiff = std::make_unique<TiffLibrary>(soname);
    const RuntimeLibrary& lib = tiff->library;
    const bool complete =
        VIMG_RESOLVE(lib, *tiff, TIFFClientOpenExt) && VIMG_RESOLVE(lib, *tiff, TIFFClose) &&
        VIMG_RESOLVE(lib, *tiff, TIFFGetField) && VIMG_RESOLVE(lib, *tiff, TIFFGetFieldDefaulted) &&
        VIMG_RESOLVE(lib, *tiff, TIFFGetStrileByteCountWithErr) &&
        VIMG_RESOLVE(lib, *tiff, TIFFGetStrileOffsetWithErr) &&
        VIMG_RESOLVE(lib, *tiff, TIFFIsTiled) && VIMG_RESOLVE(lib, *tiff, TIFFNumberOfStrips) &&
        VIMG_RESOLVE(lib, *tiff, TIFFNumberOfTiles) &&
        VIMG_RESOLVE(lib, *tiff, TIFFOpenOptionsAlloc) &&
        VIMG_RESOLVE(lib, *tiff, TIFFOpenOptionsFree) &&
        VIMG_RESOLVE(lib, *tiff, TIFFOpenOptionsSetErrorHandlerExtR) &&
        VIMG_RESOLVE(lib, *tiff, TIFFOpenOptionsSetMaxSingleMemAlloc) &&
        VIMG_RESOLVE(lib, *tiff, TIFFOpenOptionsSetWarningHandlerExtR) &&
        VIMG_RESOLVE(lib, *tiff, TIFFRGBAImageBegin) &&
        VIMG_RESOLVE(lib, *tiff, TIFFRGBAImageEnd) && VIMG_RESOLVE(lib, *tiff, TIFFRGBAImageGet) &&
        VIMG_RESOLVE(lib, *tiff, TIFFRGBAImageOK) && VIMG_RESOLVE(lib, *tiff, TIFFSetField) &&
        VIMG_RESOLVE(lib, *tiff, TIFFGetVersion);
    if (!complete || tiff->TIFFGetVersion() == nullptr) return nullptr;
    return tiff;
}

Status decodeOn(const TiffLibrary* tiff, std::span<const std::uint8_t> data,
                const Allocator& allocator) {
    if (!tiff)
        return refuse(VELMORA_IMAGING_UNSUPPORTED,
                      "TIFF decoding unavailable: its library could not be loaded");
    return decodeWith(*tiff, data, allocator);
}

} // namespace

Status decodeTiff(std::span<const std::uint8_t> data, const Allocator& allocator) {
    // Loaded on the first TIFF and kept for the process.
    static const std::unique_ptr<const TiffLibrary> tiff = loadTiff(kTiffLibrary);
    return decodeOn(tiff.get(), data, allocator);
}

Status decodeTiffOn(const char* soname, std::span<const std::uint8_t> data,
                    const Allocator& allocator) {
    return decodeOn(loadTiff(soname).get(), data, allocator);
}

} // namespace vimg

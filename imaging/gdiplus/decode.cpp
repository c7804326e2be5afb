// The decode entries: the format is told by its signature, its structure
// judged, then the system's decoder reads the data from a stream over it
// and GDI+ converts the picture into the caller's memory, premultiplied.

#include "imaging/gdiplus/internal.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <new>
#include <shlwapi.h>
#include <vector>

namespace vimg {
namespace {

bool startsWith(std::span<const std::uint8_t> data, std::initializer_list<std::uint8_t> prefix) {
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

std::int32_t formatOf(std::span<const std::uint8_t> d) {
    if (startsWith(d, {0xFF, 0xD8, 0xFF})) return VELMORA_IMAGING_FORMAT_JPEG;
    if (startsWith(d, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}))
        return VELMORA_IMAGING_FORMAT_PNG;
    if (startsWith(d, {'I', 'I', 42, 0}) || startsWith(d, {'M', 'M', 0, 42}))
        return VELMORA_IMAGING_FORMAT_TIFF;
    if (startsWith(d, {'G', 'I', 'F', '8'})) return VELMORA_IMAGING_FORMAT_GIF;
    if (startsWith(d, {'B', 'M'})) return VELMORA_IMAGING_FORMAT_BMP;
    if (startsWith(d, {0, 0, 1, 0})) return VELMORA_IMAGING_FORMAT_ICO;
    if (d.size() >= 12 && startsWith(d, {'R', 'I', 'F', 'F'}) &&
        std::memcmp(d.data() + 8, "WEBP", 4) == 0)
        return VELMORA_IMAGING_FORMAT_WEBP;
    return 0;
}

// Straight alpha the picture holds, which GDI+ would premultiply with its
// own rounding: such pictures are read straight and premultiplied here, by
// the rule of the interface.
bool straightAlpha(gp::PixelFormat format) {
    return (format & PixelFormatAlpha) != 0 && (format & PixelFormatPAlpha) == 0;
}

Status toPixels(gp::GpBitmap* bitmap, const Pixels& px) {
    gp::PixelFormat stored = 0;
    gp::DllExports::GdipGetImagePixelFormat(bitmap, &stored);
    const bool straight = straightAlpha(stored);
    gp::BitmapData data{};
    data.Width = static_cast<UINT>(px.width);
    data.Height = static_cast<UINT>(px.height);
    data.Stride = px.step();
    data.PixelFormat = straight ? PixelFormat32bppARGB : PixelFormat32bppPARGB;
    data.Scan0 = px.top();
    const gp::GpRect all(0, 0, px.width, px.height);
    const gp::GpStatus locked = gp::DllExports::GdipBitmapLockBits(
        bitmap, &all, gp::ImageLockModeRead | gp::ImageLockModeUserInputBuf, data.PixelFormat,
        &data);
    if (locked == gp::OutOfMemory) return VELMORA_IMAGING_NO_MEMORY;
    if (locked != gp::Ok) return refuse(VELMORA_IMAGING_DAMAGED, "the system could not decode it");
    gp::DllExports::GdipBitmapUnlockBits(bitmap, &data);
    if (straight)
        for (std::int32_t y = 0; y < px.height; ++y) {
            std::uint8_t* p = px.row(y);
            for (std::int32_t x = 0; x < px.width; ++x, p += 4) {
                const std::uint32_t a = p[3];
                if (a == 255) continue;
                p[0] = premultiply(p[0], a);
                p[1] = premultiply(p[1], a);
                p[2] = premultiply(p[2], a);
            }
        }
    return VELMORA_IMAGING_OK;
}

Status decodeJudged(std::span<const std::uint8_t> data, velmora_imaging_allocate allocate,
                    void* context) {
    if (data.size() > std::numeric_limits<UINT>::max())
        return refuse(VELMORA_IMAGING_TOO_LARGE, "data too large for the system's decoder");
    Stream stream(SHCreateMemStream(data.data(), static_cast<UINT>(data.size())));
    if (!stream) return VELMORA_IMAGING_NO_MEMORY;
    gp::GpBitmap* made = nullptr;
    const gp::GpStatus opened = gp::DllExports::GdipCreateBitmapFromStream(stream.get(), &made);
    if (opened == gp::OutOfMemory) return VELMORA_IMAGING_NO_MEMORY;
    if (opened != gp::Ok || made == nullptr)
        return refuse(VELMORA_IMAGING_DAMAGED, "the system's decoder refused the data");
    const Bitmap bitmap(made);
    UINT width = 0, height = 0;
    if (gp::DllExports::GdipGetImageWidth(bitmap.get(), &width) != gp::Ok ||
        gp::DllExports::GdipGetImageHeight(bitmap.get(), &height) != gp::Ok)
        return refuse(VELMORA_IMAGING_DAMAGED, "the system's decoder refused the data");
    if (const Status size = checkSize(width, height); size != VELMORA_IMAGING_OK) return size;
    velmora_imaging_pixels given{};
    Pixels px;
    if (allocate(context, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                 &given) != 0)
        return refuse(VELMORA_IMAGING_ALLOCATION_REFUSED, "the caller refused the pixel memory");
    if (!validPixels(&given, px) || px.width != static_cast<std::int32_t>(width) ||
        px.height != static_cast<std::int32_t>(height))
        return refuse(VELMORA_IMAGING_ALLOCATION_REFUSED, "the caller's pixel memory is unusable");
    return toPixels(bitmap.get(), px);
}

Status decodeKnown(std::span<const std::uint8_t> data, velmora_imaging_allocate allocate,
                   void* context, std::int32_t* format) {
    const std::int32_t kind = formatOf(data);
    if (format) *format = kind;
    Verdict verdict;
    switch (kind) {
    case VELMORA_IMAGING_FORMAT_JPEG:
        verdict = judgeJpeg(data);
        break;
    case VELMORA_IMAGING_FORMAT_PNG:
        verdict = judgePng(data);
        break;
    case VELMORA_IMAGING_FORMAT_TIFF:
        verdict = judgeTiff(data);
        break;
    // The program reads these three with its own readers.
    case VELMORA_IMAGING_FORMAT_GIF:
    case VELMORA_IMAGING_FORMAT_BMP:
    case VELMORA_IMAGING_FORMAT_ICO:
        return VELMORA_IMAGING_UNSUPPORTED;
    case VELMORA_IMAGING_FORMAT_WEBP:
        return refuse(VELMORA_IMAGING_UNSUPPORTED, "the system's GDI+ has no WebP decoder");
    default:
        return VELMORA_IMAGING_UNKNOWN_FORMAT;
    }
    if (verdict.status != VELMORA_IMAGING_OK) return refuse(verdict.status, verdict.reason);
    // No C++ exception may leave the library.
    try {
        return decodeJudged(data, allocate, context);
    } catch (const std::bad_alloc&) {
        return VELMORA_IMAGING_NO_MEMORY;
    }
}

Status decode(std::span<const std::uint8_t> data, velmora_imaging_allocate allocate, void* context,
              std::int32_t* format) {
    if (format) *format = 0;
    if (allocate == nullptr) return VELMORA_IMAGING_BAD_ARGUMENT;
    if (!sessionLive()) return VELMORA_IMAGING_NO_SESSION;
    const Status status = decodeKnown(data, allocate, context, format);
    // Every failure names a reason; the status text serves where nothing
    // more precise was said.
    if (status != VELMORA_IMAGING_OK && lastReason() == nullptr)
        refuse(status, velmora_imaging_status_text(status));
    return status;
}

struct HandleCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using File = std::unique_ptr<void, HandleCloser>;

Status readFile(const char* path, std::vector<std::uint8_t>& out) {
    const std::wstring wide = widen(path);
    if (wide.empty()) return VELMORA_IMAGING_IO_ERROR;
    File file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return VELMORA_IMAGING_IO_ERROR;
    }
    LARGE_INTEGER size{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size))
        return VELMORA_IMAGING_IO_ERROR;
    // The program's byte arrays are indexed by signed 32-bit numbers.
    if (size.QuadPart > std::numeric_limits<std::int32_t>::max()) return VELMORA_IMAGING_TOO_LARGE;
    out.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD read = 0;
    if (!out.empty() &&
        (!ReadFile(file.get(), out.data(), static_cast<DWORD>(out.size()), &read, nullptr) ||
         read != out.size()))
        return VELMORA_IMAGING_IO_ERROR;
    return VELMORA_IMAGING_OK;
}

} // namespace
} // namespace vimg

using namespace vimg;

extern "C" {

int32_t velmora_imaging_decode_memory(const uint8_t* data, size_t size,
                                      velmora_imaging_allocate allocate, void* context,
                                      int32_t* format) {
    if (format) *format = 0;
    clearReason();
    if (data == nullptr && size != 0) return VELMORA_IMAGING_BAD_ARGUMENT;
    return decode({data, size}, allocate, context, format);
}

int32_t velmora_imaging_decode_file(const char* path, velmora_imaging_allocate allocate,
                                    void* context, int32_t* format) {
    if (format) *format = 0;
    clearReason();
    if (path == nullptr || path[0] == '\0' || allocate == nullptr)
        return VELMORA_IMAGING_BAD_ARGUMENT;
    if (!sessionLive()) return VELMORA_IMAGING_NO_SESSION;
    std::vector<std::uint8_t> bytes;
    try {
        if (const Status read = readFile(path, bytes); read != VELMORA_IMAGING_OK) return read;
    } catch (const std::bad_alloc&) {
        return VELMORA_IMAGING_NO_MEMORY;
    }
    return decode(bytes, allocate, context, format);
}

} // extern "C"

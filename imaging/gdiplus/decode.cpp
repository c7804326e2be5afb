// The formats GDI+ reads: their structure judged, then the system's decoder
// reads the data from a stream over it and GDI+ converts the picture into
// the caller's memory, premultiplied.

#include "imaging/gdiplus/internal.h"

#include <limits>
#include <new>
#include <shlwapi.h>
#include <vector>

namespace vimg {
namespace {

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
        for (std::int32_t y = 0; y < px.height; ++y)
            premultiplyRow(px.row(y), px.width);
    return VELMORA_IMAGING_OK;
}

Status decodeJudged(std::span<const std::uint8_t> data, const Allocator& allocator) {
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
    Pixels px;
    if (const Status made = allocator.make(width, height, px); made != VELMORA_IMAGING_OK)
        return made;
    return toPixels(bitmap.get(), px);
}

struct HandleCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using File = std::unique_ptr<void, HandleCloser>;

} // namespace

Status decodeFormat(std::int32_t format, std::span<const std::uint8_t> data,
                    const Allocator& allocator) {
    Verdict verdict;
    switch (format) {
    case VELMORA_IMAGING_FORMAT_JPEG:
        verdict = judgeJpeg(data);
        break;
    case VELMORA_IMAGING_FORMAT_PNG:
        verdict = judgePng(data);
        break;
    case VELMORA_IMAGING_FORMAT_TIFF:
        verdict = judgeTiff(data);
        break;
    case VELMORA_IMAGING_FORMAT_WEBP:
        return refuse(VELMORA_IMAGING_UNSUPPORTED, "the system's GDI+ has no WebP decoder");
    default:
        return VELMORA_IMAGING_UNKNOWN_FORMAT;
    }
    if (verdict.status != VELMORA_IMAGING_OK) return refuse(verdict.status, verdict.reason);
    return decodeJudged(data, allocator);
}

// GDI+ judges and decodes every format from memory.
Status decodeFileDirectly(const char*, const Allocator&, std::int32_t&) {
    return kReadWhole;
}

Status readWholeFile(const char* path, std::vector<std::uint8_t>& out) {
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

} // namespace vimg

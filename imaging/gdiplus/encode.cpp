// Encoding with the system's encoders: the pixels are handed over
// un-premultiplied by the rule of the interface (colour x 255 / alpha,
// truncated) as 32-bit ARGB, or as 24-bit RGB when every pixel is opaque, so
// that the PNG encoder writes RGBA or RGB as the interface says.

#include "imaging/gdiplus/internal.h"

#include <array>
#include <cstring>
#include <new>

namespace vimg {
namespace {

// A bitmap of its own holding the pixels as the encoder is to get them.
Status straightCopy(const Pixels& px, Bitmap& out) {
    const bool alpha = anyTranslucent(px);
    const gp::PixelFormat format = alpha ? PixelFormat32bppARGB : PixelFormat24bppRGB;
    gp::GpBitmap* made = nullptr;
    if (gp::DllExports::GdipCreateBitmapFromScan0(px.width, px.height, 0, format, nullptr, &made) !=
        gp::Ok)
        return VELMORA_IMAGING_NO_MEMORY;
    out.reset(made);
    gp::BitmapData data{};
    const gp::GpRect all(0, 0, px.width, px.height);
    if (gp::DllExports::GdipBitmapLockBits(made, &all, gp::ImageLockModeWrite, format, &data) !=
        gp::Ok)
        return VELMORA_IMAGING_NO_MEMORY;
    const std::uint8_t* table = unpremultiplyTable();
    for (std::int32_t y = 0; y < px.height; ++y) {
        const std::uint8_t* in = px.row(y);
        auto* o = static_cast<std::uint8_t*>(data.Scan0) + std::ptrdiff_t{y} * data.Stride;
        for (std::int32_t x = 0; x < px.width; ++x, in += 4) {
            if (alpha) {
                const std::uint8_t* t = table + in[3] * 256;
                o[0] = t[in[0]];
                o[1] = t[in[1]];
                o[2] = t[in[2]];
                o[3] = in[3];
                o += 4;
            } else {
                std::memcpy(o, in, 3);
                o += 3;
            }
        }
    }
    gp::DllExports::GdipBitmapUnlockBits(made, &data);
    return VELMORA_IMAGING_OK;
}

// Encodes into a stream in memory, then hands its bytes to the sink.
Status encode(const Pixels& px, const SystemCodec& encoder, velmora_imaging_sink sink,
              void* context) {
    Bitmap bitmap;
    if (const Status s = straightCopy(px, bitmap); s != VELMORA_IMAGING_OK) return s;
    IStream* raw = nullptr;
    if (CreateStreamOnHGlobal(nullptr, TRUE, &raw) != S_OK) return VELMORA_IMAGING_NO_MEMORY;
    const Stream stream(raw);
    const gp::GpStatus saved =
        gp::DllExports::GdipSaveImageToStream(bitmap.get(), stream.get(), &encoder.clsid, nullptr);
    if (saved == gp::OutOfMemory) return VELMORA_IMAGING_NO_MEMORY;
    if (saved != gp::Ok) return VELMORA_IMAGING_UNSUPPORTED;
    if (stream->Seek({}, STREAM_SEEK_SET, nullptr) != S_OK) return VELMORA_IMAGING_NO_MEMORY;
    std::array<std::uint8_t, 65536> chunk;
    while (true) {
        ULONG read = 0;
        if (FAILED(stream->Read(chunk.data(), chunk.size(), &read)))
            return VELMORA_IMAGING_NO_MEMORY;
        if (read == 0) return VELMORA_IMAGING_OK;
        if (sink(context, chunk.data(), read) != 0) return VELMORA_IMAGING_SINK_FAILED;
    }
}

struct HandleCloser {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using File = std::unique_ptr<void, HandleCloser>;

std::int32_t toFile(void* context, const std::uint8_t* bytes, std::size_t size) {
    DWORD written = 0;
    return WriteFile(static_cast<HANDLE>(context), bytes, static_cast<DWORD>(size), &written,
                     nullptr) &&
                   written == size
               ? 0
               : 1;
}

// Written beside the target under a name of its own (two savers of one
// file never share one), flushed, and moved over it once complete, so a
// failure leaves neither a partial file nor a lost old one.
Status encodeToFile(const Pixels& px, const SystemCodec& encoder, const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"." : path.substr(0, slash + 1);
    std::array<wchar_t, MAX_PATH + 1> temporary{};
    if (GetTempFileNameW(folder.c_str(), L"vim", 0, temporary.data()) == 0)
        return VELMORA_IMAGING_IO_ERROR;
    Status status = VELMORA_IMAGING_OK;
    {
        File file(CreateFileW(temporary.data(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE) {
            file.release();
            status = VELMORA_IMAGING_IO_ERROR;
        } else {
            status = encode(px, encoder, toFile, file.get());
            if (status == VELMORA_IMAGING_SINK_FAILED) status = VELMORA_IMAGING_IO_ERROR;
            if (status == VELMORA_IMAGING_OK && !FlushFileBuffers(file.get()))
                status = VELMORA_IMAGING_IO_ERROR;
        }
    }
    if (status == VELMORA_IMAGING_OK &&
        !MoveFileExW(temporary.data(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        status = VELMORA_IMAGING_IO_ERROR;
    if (status != VELMORA_IMAGING_OK) DeleteFileW(temporary.data());
    return status;
}

} // namespace

Status encodeWith(std::size_t encoder, const Pixels& pixels, velmora_imaging_sink sink,
                  void* context) {
    return encode(pixels, systemEncoders()[encoder], sink, context);
}

Status encodeFile(std::size_t encoder, const Pixels& pixels, const char* path) {
    const std::wstring wide = widen(path);
    if (wide.empty()) return VELMORA_IMAGING_IO_ERROR;
    return encodeToFile(pixels, systemEncoders()[encoder], wide);
}

} // namespace vimg

// Sessions on GdiplusStartup and GdiplusShutdown, the codec lists the
// system's GDI+ offers, and the helpers the GDI+ parts share.

#include "imaging/gdiplus/internal.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace vimg {
namespace {

// A GDI+ startup for as long as it lives; `token` stays 0 when GDI+
// refused. Startups and shutdowns are made one at a time.
struct GdiplusUp {
    ULONG_PTR token = 0;
    GdiplusUp() {
        const gp::GdiplusStartupInput input;
        const auto lock = lockSessions();
        if (gp::GdiplusStartup(&token, &input, nullptr) != gp::Ok) token = 0;
    }
    ~GdiplusUp() {
        const auto lock = lockSessions();
        if (token != 0) gp::GdiplusShutdown(token);
    }
    GdiplusUp(const GdiplusUp&) = delete;
    GdiplusUp& operator=(const GdiplusUp&) = delete;
};

std::string narrow(const WCHAR* wide) {
    if (wide == nullptr) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(size - 1));
    return out;
}

std::vector<SystemCodec> listCodecs(bool encoders) {
    // The lists need GDI+ up, whether or not a caller holds a session.
    const GdiplusUp up;
    std::vector<SystemCodec> out;
    if (up.token == 0) return out;
    UINT count = 0, bytes = 0;
    const auto size = encoders ? gp::DllExports::GdipGetImageEncodersSize
                               : gp::DllExports::GdipGetImageDecodersSize;
    if (size(&count, &bytes) != gp::Ok || count == 0 || bytes < count * sizeof(gp::ImageCodecInfo))
        return out;
    // ImageCodecInfo entries first, their strings after them, in one block.
    std::vector<gp::ImageCodecInfo> block(bytes / sizeof(gp::ImageCodecInfo) + 1);
    const auto get =
        encoders ? gp::DllExports::GdipGetImageEncoders : gp::DllExports::GdipGetImageDecoders;
    if (get(count, bytes, block.data()) != gp::Ok) return out;
    for (UINT i = 0; i < count; ++i) {
        const gp::ImageCodecInfo& c = block[i];
        out.push_back({c.Clsid, c.FormatID, narrow(c.FormatDescription), narrow(c.MimeType),
                       narrow(c.FilenameExtension)});
    }
    return out;
}

// The decoders the decode entries use: JPEG, TIFF and PNG.
bool decodedHere(const GUID& format) {
    return IsEqualGUID(format, gp::ImageFormatJPEG) || IsEqualGUID(format, gp::ImageFormatTIFF) ||
           IsEqualGUID(format, gp::ImageFormatPNG);
}

std::span<const SystemCodec> systemDecoders() {
    // Read once: the system's codecs do not change while the library is
    // loaded, and the strings handed out must live as long.
    static const std::vector<SystemCodec> list = [] {
        std::vector<SystemCodec> all = listCodecs(false);
        std::erase_if(all, [](const SystemCodec& c) { return !decodedHere(c.format); });
        return all;
    }();
    return list;
}

// The list as the interface hands it out, its strings the list's own.
std::vector<velmora_imaging_codec> asInterface(std::span<const SystemCodec> list) {
    std::vector<velmora_imaging_codec> out(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        static_assert(sizeof(CLSID) == 16);
        std::memcpy(out[i].clsid, &list[i].clsid, 16);
        out[i].format_name = list[i].name.c_str();
        out[i].mime_type = list[i].mime.c_str();
        out[i].extensions = list[i].extensions.c_str();
    }
    return out;
}

} // namespace

std::span<const SystemCodec> systemEncoders() {
    static const std::vector<SystemCodec> list = listCodecs(true);
    return list;
}

bool isPngFormat(const GUID& format) {
    return IsEqualGUID(format, gp::ImageFormatPNG);
}

std::wstring widen(const char* utf8) {
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    if (size <= 1) return {};
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, out.data(), size);
    out.resize(static_cast<std::size_t>(size - 1));
    return out;
}

Bitmap wrapPixels(const Pixels& px) {
    gp::GpBitmap* bitmap = nullptr;
    if (gp::DllExports::GdipCreateBitmapFromScan0(
            px.width, px.height, px.step(), PixelFormat32bppPARGB, px.top(), &bitmap) != gp::Ok)
        return nullptr;
    return Bitmap(bitmap);
}

bool startSystem(std::uintptr_t& handle) {
    ULONG_PTR system = 0;
    const gp::GdiplusStartupInput input;
    if (gp::GdiplusStartup(&system, &input, nullptr) != gp::Ok) return false;
    handle = system;
    return true;
}

void stopSystem(std::uintptr_t handle) {
    gp::GdiplusShutdown(handle);
}

std::span<const velmora_imaging_codec> encoderList() {
    static const std::vector<velmora_imaging_codec> list = asInterface(systemEncoders());
    return list;
}

std::span<const velmora_imaging_codec> decoderList() {
    static const std::vector<velmora_imaging_codec> list = asInterface(systemDecoders());
    return list;
}

} // namespace vimg

// Sessions on GdiplusStartup and GdiplusShutdown, status texts, the pixel
// limit, the codec lists the system's GDI+ offers, and the helpers every
// part of the library shares.

#include "imaging/gdiplus/internal.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <vector>

namespace vimg {
namespace {

constexpr std::uint64_t kDefaultPixelLimit =
    static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) / 4;

std::atomic<std::uint64_t> pixelLimitValue{kDefaultPixelLimit};
// Per thread, as the entries may run on several threads at once.
thread_local const char* failureReason = nullptr;

// The live sessions, each holding a GDI+ startup of its own: GDI+ counts
// its startups, so it stays up while any session is live.
struct Sessions {
    std::mutex mutex;
    std::map<std::int32_t, ULONG_PTR> live;
    std::int32_t next = 1;
};
Sessions& sessions() {
    static Sessions s;
    return s;
}

// A GDI+ startup for as long as it lives; `token` stays 0 when GDI+
// refused. Startups and shutdowns are made one at a time.
struct GdiplusUp {
    ULONG_PTR token = 0;
    GdiplusUp() {
        const gp::GdiplusStartupInput input;
        std::lock_guard lock(sessions().mutex);
        if (gp::GdiplusStartup(&token, &input, nullptr) != gp::Ok) token = 0;
    }
    ~GdiplusUp() {
        std::lock_guard lock(sessions().mutex);
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

std::int32_t copyCodecs(std::span<const SystemCodec> list, velmora_imaging_codec* out,
                        std::int32_t capacity) {
    if (out != nullptr) {
        const auto count =
            std::min<std::size_t>(list.size(), static_cast<std::size_t>(std::max(capacity, 0)));
        for (std::size_t i = 0; i < count; ++i) {
            static_assert(sizeof(CLSID) == 16);
            std::memcpy(out[i].clsid, &list[i].clsid, 16);
            out[i].format_name = list[i].name.c_str();
            out[i].mime_type = list[i].mime.c_str();
            out[i].extensions = list[i].extensions.c_str();
        }
    }
    return static_cast<std::int32_t>(list.size());
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

Status refuse(Status status, const char* reason) {
    failureReason = reason;
    return status;
}
void clearReason() {
    failureReason = nullptr;
}
const char* lastReason() {
    return failureReason;
}

bool sessionLive() {
    Sessions& s = sessions();
    std::lock_guard lock(s.mutex);
    return !s.live.empty();
}

Status checkSize(std::int64_t width, std::int64_t height) {
    if (width < 1 || height < 1) return refuse(VELMORA_IMAGING_DAMAGED, "empty picture size");
    // Both sides are below 2^31 once checked, so the product cannot wrap.
    constexpr std::int64_t kSide = std::numeric_limits<std::int32_t>::max();
    if (width > kSide || height > kSide ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > pixelLimitValue)
        return refuse(VELMORA_IMAGING_TOO_LARGE, "picture over the pixel limit");
    return VELMORA_IMAGING_OK;
}

bool validPixels(const velmora_imaging_pixels* in, Pixels& out) {
    if (in == nullptr || in->bits == nullptr || in->width < 1 || in->height < 1) return false;
    const std::int64_t rowBytes = std::int64_t{in->width} * 4;
    if (in->stride < rowBytes || in->stride % 4 != 0) return false;
    // The last row must end within what a signed size can address.
    if (std::int64_t{in->stride} * in->height > std::numeric_limits<std::int32_t>::max() * 4LL)
        return false;
    out = Pixels{in->bits, in->width, in->height, in->stride, in->bottom_up != 0};
    return true;
}

const std::uint8_t* unpremultiplyTable() {
    static const auto table = [] {
        std::array<std::uint8_t, 256 * 256> t{};
        for (std::uint32_t a = 1; a < 256; ++a)
            for (std::uint32_t c = 0; c < 256; ++c)
                t[a * 256 + c] =
                    static_cast<std::uint8_t>(std::min<std::uint32_t>(c * 255 / a, 255));
        return t;
    }();
    return table.data();
}

Bitmap wrapPixels(const Pixels& px) {
    gp::GpBitmap* bitmap = nullptr;
    if (gp::DllExports::GdipCreateBitmapFromScan0(
            px.width, px.height, px.step(), PixelFormat32bppPARGB, px.top(), &bitmap) != gp::Ok)
        return nullptr;
    return Bitmap(bitmap);
}

} // namespace vimg

using namespace vimg;

extern "C" {

int32_t velmora_imaging_version(void) {
    return VELMORA_IMAGING_ABI_VERSION;
}

const char* velmora_imaging_status_text(int32_t status) {
    switch (status) {
    case VELMORA_IMAGING_OK:
        return "done";
    case VELMORA_IMAGING_BAD_ARGUMENT:
        return "bad argument";
    case VELMORA_IMAGING_NO_SESSION:
        return "no session is running";
    case VELMORA_IMAGING_INIT_FAILED:
        return "a library underneath could not be set up";
    case VELMORA_IMAGING_UNKNOWN_FORMAT:
        return "unknown format";
    case VELMORA_IMAGING_DAMAGED:
        return "damaged data";
    case VELMORA_IMAGING_UNSUPPORTED:
        return "unsupported variant";
    case VELMORA_IMAGING_TOO_LARGE:
        return "picture too large";
    case VELMORA_IMAGING_NO_MEMORY:
        return "out of memory";
    case VELMORA_IMAGING_IO_ERROR:
        return "file could not be read or written";
    case VELMORA_IMAGING_ALLOCATION_REFUSED:
        return "pixel memory refused";
    case VELMORA_IMAGING_SINK_FAILED:
        return "output refused";
    case VELMORA_IMAGING_UNKNOWN_ENCODER:
        return "unknown encoder";
    default:
        return "unknown status";
    }
}

int32_t velmora_imaging_startup(int32_t* token) {
    if (token == nullptr) return VELMORA_IMAGING_BAD_ARGUMENT;
    *token = 0;
    Sessions& s = sessions();
    std::lock_guard lock(s.mutex);
    ULONG_PTR system = 0;
    const gp::GdiplusStartupInput input;
    if (gp::GdiplusStartup(&system, &input, nullptr) != gp::Ok) return VELMORA_IMAGING_INIT_FAILED;
    // Tokens count up, skipping 0 (no session) and -1 (a session owned
    // elsewhere, to the program) and any still live after a wrap.
    std::int32_t t = s.next;
    while (t == 0 || t == -1 || s.live.contains(t))
        t = t == std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::min()
                                                          : t + 1;
    s.next = t == std::numeric_limits<std::int32_t>::max()
                 ? std::numeric_limits<std::int32_t>::min()
                 : t + 1;
    s.live.emplace(t, system);
    *token = t;
    return VELMORA_IMAGING_OK;
}

int32_t velmora_imaging_shutdown(int32_t token) {
    Sessions& s = sessions();
    std::lock_guard lock(s.mutex);
    const auto found = s.live.find(token);
    if (found == s.live.end()) return VELMORA_IMAGING_BAD_ARGUMENT;
    gp::GdiplusShutdown(found->second);
    s.live.erase(found);
    return VELMORA_IMAGING_OK;
}

int32_t velmora_imaging_session_count(void) {
    Sessions& s = sessions();
    std::lock_guard lock(s.mutex);
    return static_cast<std::int32_t>(s.live.size());
}

void velmora_imaging_set_pixel_limit(uint64_t pixels) {
    pixelLimitValue = pixels == 0 ? kDefaultPixelLimit : std::min(pixels, kDefaultPixelLimit);
}

uint64_t velmora_imaging_pixel_limit(void) {
    return pixelLimitValue;
}

const char* velmora_imaging_last_reason(void) {
    return lastReason();
}

int32_t velmora_imaging_encoders(velmora_imaging_codec* out, int32_t capacity) {
    return copyCodecs(systemEncoders(), out, capacity);
}

int32_t velmora_imaging_decoders(velmora_imaging_codec* out, int32_t capacity) {
    return copyCodecs(systemDecoders(), out, capacity);
}

} // extern "C"

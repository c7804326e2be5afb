// Sessions, status texts, the pixel limit, failure reasons, the codec
// lists' copying and the pixel rules every implementation shares.

#include "imaging/common/common.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <limits>
#include <map>

namespace vimg {
namespace {

constexpr std::uint64_t kDefaultPixelLimit =
    static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) / 4;

std::atomic<std::uint64_t> pixelLimitValue{kDefaultPixelLimit};
// Per thread, as the entries may run on several threads at once.
thread_local const char* failureReason = nullptr;

// The live sessions, each with the handle of its startup of the system
// underneath. Sessions are the one piece of state the library keeps
// between calls, as the service it stands in for does.
struct Sessions {
    std::mutex mutex;
    std::map<std::int32_t, std::uintptr_t> live;
    std::int32_t next = 1;
};
Sessions& sessions() {
    static Sessions s;
    return s;
}

std::int32_t copyCodecs(std::span<const velmora_imaging_codec> list, velmora_imaging_codec* out,
                        std::int32_t capacity) {
    if (out != nullptr) {
        const auto count =
            std::min<std::size_t>(list.size(), static_cast<std::size_t>(std::max(capacity, 0)));
        std::copy_n(list.begin(), count, out);
    }
    return static_cast<std::int32_t>(list.size());
}

} // namespace

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

std::unique_lock<std::mutex> lockSessions() {
    return std::unique_lock(sessions().mutex);
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

Status Allocator::make(std::int64_t width, std::int64_t height, Pixels& out) const {
    if (const Status size = checkSize(width, height); size != VELMORA_IMAGING_OK) return size;
    velmora_imaging_pixels made{};
    const auto w = static_cast<std::int32_t>(width);
    const auto h = static_cast<std::int32_t>(height);
    if (allocate_(context_, w, h, &made) != 0)
        return refuse(VELMORA_IMAGING_ALLOCATION_REFUSED, "the caller refused the pixel memory");
    if (!validPixels(&made, out) || out.width != w || out.height != h)
        return refuse(VELMORA_IMAGING_ALLOCATION_REFUSED, "the caller's pixel memory is unusable");
    return VELMORA_IMAGING_OK;
}

void premultiplyRow(std::uint8_t* p, std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i, p += 4) {
        const std::uint32_t a = p[3];
        if (a == 255) continue;
        p[0] = premultiply(p[0], a);
        p[1] = premultiply(p[1], a);
        p[2] = premultiply(p[2], a);
    }
}

void premultiplySwapRow(std::uint8_t* p, std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i, p += 4) {
        const std::uint32_t a = p[3];
        const std::uint8_t r = p[0];
        p[0] = premultiply(p[2], a);
        p[1] = premultiply(p[1], a);
        p[2] = premultiply(r, a);
    }
}

void clampToAlphaRow(std::uint8_t* p, std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i, p += 4) {
        const std::uint8_t a = p[3];
        p[0] = std::min(p[0], a);
        p[1] = std::min(p[1], a);
        p[2] = std::min(p[2], a);
    }
}

bool anyTranslucent(const Pixels& px) {
    for (std::int32_t y = 0; y < px.height; ++y) {
        const std::uint8_t* p = px.row(y);
        for (std::int32_t x = 0; x < px.width; ++x, p += 4)
            if (p[3] != 255) return true;
    }
    return false;
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
    std::uintptr_t system = 0;
    if (!startSystem(system)) return VELMORA_IMAGING_INIT_FAILED;
    // Tokens count up, skipping 0 (no session) and -1 (a session owned
    // elsewhere, to the program) and any still live after a wrap.
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    std::int32_t t = s.next;
    while (t == 0 || t == -1 || s.live.contains(t))
        t = t == kMax ? kMin : t + 1;
    s.next = t == kMax ? kMin : t + 1;
    s.live.emplace(t, system);
    *token = t;
    return VELMORA_IMAGING_OK;
}

int32_t velmora_imaging_shutdown(int32_t token) {
    Sessions& s = sessions();
    std::lock_guard lock(s.mutex);
    const auto found = s.live.find(token);
    if (found == s.live.end()) return VELMORA_IMAGING_BAD_ARGUMENT;
    stopSystem(found->second);
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
    return copyCodecs(encoderList(), out, capacity);
}

int32_t velmora_imaging_decoders(velmora_imaging_codec* out, int32_t capacity) {
    return copyCodecs(decoderList(), out, capacity);
}

} // extern "C"

#include "platform/imaging/cgdiplus.h"

#include "platform/imaging/imaging_library.h"
#include "platform/system/environment.h"
#include "platform/util/limits.h"

#include <algorithm>
#include <cctype>
#include <new>

namespace platform {
namespace {

bool equalIgnoringCase(const char* a, const std::string& b) {
    if (a == nullptr) return false;
    std::size_t i = 0;
    for (; a[i] != '\0' && i < b.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return a[i] == '\0' && i == b.size();
}

// The decode's pixel memory comes from the caller's target, bottom row
// first as a surface keeps it.
std::int32_t allocateFromTarget(void* context, std::int32_t width, std::int32_t height,
                                velmora_imaging_pixels* out) {
    auto* target = static_cast<ImagingTarget*>(context);
    if (width <= 0 || height <= 0 ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) >
            velmora::CurrentLimits().maxPixels)
        return 1;
    const std::span<std::uint8_t> pixels = target->allocatePixels(width, height);
    if (pixels.empty()) return 1;
    out->bits = pixels.data();
    out->width = width;
    out->height = height;
    out->stride = width * 4;
    out->bottom_up = 1;
    return 0;
}

// Only the bridge's decode writes it, only on its own thread.
thread_local std::optional<ImagingRefusal> lastRefusal;

} // namespace

std::optional<ImagingRefusal> LastImagingRefusal() {
    return lastRefusal;
}

const std::int32_t kImagingInterfaceVersion = VELMORA_IMAGING_ABI_VERSION;

std::vector<std::string> ImagingLibraryNames() {
    return CurrentEnvironment().imagingLibraryNames;
}

bool cGDIPlus::isGDIplusOk(std::int32_t& gdiToken, bool KeepToken) {
    // The probe: a library of the list loads and offers its session entry.
    if (!imaging::Binding::bind()) return false;
    const bool ok = StartStopGDIplus(gdiToken, false);
    if (!KeepToken) {
        std::int32_t token = gdiToken;
        StartStopGDIplus(token, true);
    }
    return ok;
}

bool cGDIPlus::isGDIplusOk() {
    std::int32_t token = 0;
    return isGDIplusOk(token, false);
}

bool cGDIPlus::LoadWithGDIplus(const std::string& FileName, std::span<const std::uint8_t> Stream,
                               ImagingTarget& cHost, std::int32_t gdiToken) {
    lastRefusal.reset();
    const auto binding = imaging::Binding::bind();
    if (!binding) return false;
    const imaging::CallSession session(*binding, gdiToken);
    if (!session.live()) return false;

    // The library refuses oversized pictures before it allocates anything
    // of its own, with the same limit as the program's readers.
    if (binding->setPixelLimit) binding->setPixelLimit(velmora::CurrentLimits().maxPixels);

    std::optional<std::int32_t> status;
    std::int32_t format = 0;
    if (!FileName.empty()) {
        if (binding->decodeFile)
            status = binding->decodeFile(FileName.c_str(), allocateFromTarget, &cHost, &format);
    } else if (binding->decodeMemory) {
        const std::optional<MemoryStream> stream = StreamFromArray(Stream, 0);
        if (stream && !stream->bytes.empty())
            status = binding->decodeMemory(stream->bytes.data(), stream->bytes.size(),
                                           allocateFromTarget, &cHost, &format);
    }
    if (status == VELMORA_IMAGING_OK) return true;
    cHost.releasePixels();
    if (status) {
        // The library names every refusal; its text is a constant of the
        // library, copied all the same so the refusal owns what it says.
        const char* reason = binding->lastReason ? binding->lastReason() : nullptr;
        lastRefusal = ImagingRefusal{reason ? reason : "refused by the imaging service",
                                     *status == VELMORA_IMAGING_DAMAGED};
    }
    return false;
}

std::int32_t cGDIPlus::GetEncoderClsid(const std::string& mimeType,
                                       std::array<std::uint8_t, 16>& clsid) {
    const auto binding = imaging::Binding::bind();
    if (!binding || !binding->encoders) return -1;
    const std::int32_t count = binding->encoders(nullptr, 0);
    if (count <= 0) return -1;
    std::vector<velmora_imaging_codec> codecs(static_cast<std::size_t>(count));
    const std::int32_t filled = std::min(binding->encoders(codecs.data(), count), count);
    for (std::int32_t i = 0; i < filled; ++i) {
        const velmora_imaging_codec& codec = codecs[static_cast<std::size_t>(i)];
        if (!equalIgnoringCase(codec.mime_type, mimeType)) continue;
        std::copy(std::begin(codec.clsid), std::end(codec.clsid), clsid.begin());
        return i + 1;
    }
    return -1;
}

std::optional<MemoryStream> cGDIPlus::StreamFromArray(std::span<const std::uint8_t> bytes,
                                                      std::int32_t startIndex) {
    if (bytes.empty()) return MemoryStream{};
    if (startIndex < 0 || static_cast<std::size_t>(startIndex) >= bytes.size()) return std::nullopt;
    try {
        return MemoryStream{{bytes.begin() + startIndex, bytes.end()}};
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

bool cGDIPlus::ArrayFromStream(const MemoryStream* stream, std::vector<std::uint8_t>& outStream) {
    if (stream == nullptr || stream->bytes.empty()) return false;
    try {
        outStream = stream->bytes;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

} // namespace platform

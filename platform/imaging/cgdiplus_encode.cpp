// PNG encoding through the imaging service. Kept apart from the decoding and
// drawing bridges: the surface's PNG saving offers its pixels here first and
// falls back to its own writer when this answers false.

#include "platform/imaging/cgdiplus.h"
#include "platform/imaging/imaging_encode.h"
#include "platform/system/library.h"

#include <new>

namespace platform {
namespace {

int appendToVector(void* context, const std::uint8_t* bytes, std::size_t size) {
    auto& out = *static_cast<std::vector<std::uint8_t>*>(context);
    try {
        out.insert(out.end(), bytes, bytes + size);
    } catch (const std::bad_alloc&) {
        return 1;
    }
    return 0;
}

} // namespace

bool cGDIPlus::SaveToPNG(const std::string& FileName, std::vector<std::uint8_t>& outStream,
                         velmora::ConstBgraPremulBottomUpView cHost, bool hasAlpha,
                         std::int32_t GlobalToken) {
    if (cHost.empty()) return false;
    // A non-zero token means a session is running somewhere in this window
    // tree; without one the service has to be there at all.
    if (GlobalToken == 0 && !isGDIplusOk()) return false;

    for (const std::string& name : ImagingLibraryNames()) {
        const Library library(name);
        const auto encode = library.function<VelmoraImagingEncodePng>(kImagingEncodePngEntry);
        if (!encode) continue;
        if (!FileName.empty())
            return encode(cHost.data, cHost.width, cHost.height, cHost.stride, hasAlpha,
                          FileName.c_str(), nullptr, nullptr) == 0;
        outStream.clear();
        const int rc = encode(cHost.data, cHost.width, cHost.height, cHost.stride, hasAlpha,
                              nullptr, appendToVector, &outStream);
        if (rc == 0 && !outStream.empty()) return true;
        outStream.clear();
        return false;
    }
    return false;
}

} // namespace platform

#include "platform/imaging/cgdiplus.h"

#include "platform/system/environment.h"
#include "platform/system/library.h"

namespace platform {
namespace {

// The entry every build of the imaging service exports first.
constexpr const char* kImagingEntry = "velmora_imaging_startup";

} // namespace

std::vector<std::string> ImagingLibraryNames() {
    return CurrentEnvironment().imagingLibraryNames;
}

bool cGDIPlus::isGDIplusOk() {
    for (const std::string& name : ImagingLibraryNames()) {
        const Library library(name);
        if (library.loaded() && library.symbol(kImagingEntry)) return true;
    }
    return false;
}

bool cGDIPlus::LoadWithGDIplus(const std::string& FileName, std::span<const std::uint8_t> Stream,
                               ImagingTarget& cHost, std::int32_t gdiToken) {
    if (FileName.empty() && Stream.empty()) return false;
    // Without a caller's session the service must at least be present.
    if (gdiToken == 0 && !isGDIplusOk()) return false;
    // The service offers no decoders yet, so every decode is declined and
    // the callers' own readers run; the target is never touched.
    (void)cHost;
    return false;
}

} // namespace platform

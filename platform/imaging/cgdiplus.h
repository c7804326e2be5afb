#pragma once
// cGDIPlus: the bridge to the imaging service (decoders, PNG encoding,
// transformed drawing). The service is a shared library of its own, found at
// run time like GDI+ "where present"; when it is absent every operation
// answers false and the callers take their own code paths.

#include "platform/imaging/imaging_encode.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Test seam: the library names the probe looks for.
void SetImagingLibraryNames(std::vector<std::string> names);
std::vector<std::string> ImagingLibraryNames();

class cGDIPlus {
public:
    // --- PNG encoding (defined in cgdiplus_encode.cpp) ---------------------------
    // Encodes the pixels as PNG into the named file, or into outStream when
    // FileName is empty (outStream is emptied first). False, with nothing
    // written, when the service or its encoder is absent or encoding fails.
    bool SaveToPNG(const std::string& FileName, std::vector<std::uint8_t>& outStream,
                   const ImagingPixels& cHost, std::int32_t GlobalToken);
    // --- end of PNG encoding -----------------------------------------------------

    // True when the imaging library loads and offers its entry points.
    bool isGDIplusOk();
};

} // namespace platform

#pragma once
// cGDIPlus: the bridge to the imaging service (decoders, PNG encoding,
// transformed drawing). The service is a shared library of its own, found at
// run time like GDI+ "where present"; when it is absent every operation
// answers false and the callers take their own code paths.

#include <string>
#include <vector>

namespace platform {

// Test seam: the library names the probe looks for.
void SetImagingLibraryNames(std::vector<std::string> names);
std::vector<std::string> ImagingLibraryNames();

class cGDIPlus {
public:
    // True when the imaging library loads and offers its entry points.
    bool isGDIplusOk();
};

} // namespace platform

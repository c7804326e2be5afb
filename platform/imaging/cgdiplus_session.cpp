// Imaging sessions. A session needs its library to stay loaded until it is
// shut down; the library is therefore pinned for the rest of the process
// once a session was started in it, as a linked-in system library would be.

#include "platform/imaging/cgdiplus.h"
#include "platform/system/library.h"

#include <dlfcn.h>

namespace platform {

bool cGDIPlus::StartStopGDIplus(std::int32_t& gdiToken, bool shutDown) {
    for (const std::string& name : ImagingLibraryNames()) {
        const Library library(name);
        const auto startup = library.function<VelmoraImagingStartup>(kImagingStartupEntry);
        const auto shutdown = library.function<VelmoraImagingShutdown>(kImagingShutdownEntry);
        if (startup == nullptr || shutdown == nullptr) continue;
        if (shutDown) {
            if (gdiToken != 0) shutdown(gdiToken);
            return false;
        }
        if (void* pin = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) dlclose(pin);
        std::int32_t token = 0;
        if (startup(&token) != 0 || token == 0) {
            gdiToken = 0;
            return false;
        }
        gdiToken = token;
        return true;
    }
    if (!shutDown) gdiToken = 0;
    return false;
}

} // namespace platform

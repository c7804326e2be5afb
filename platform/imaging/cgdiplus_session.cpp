// Imaging sessions. A session needs its library to stay loaded until it is
// shut down; the library is therefore pinned for the rest of the process
// once a session was started in it, as a linked-in system library would be.

#include "platform/imaging/cgdiplus.h"
#include "platform/imaging/imaging_library.h"

#include <dlfcn.h>

namespace platform {

bool cGDIPlus::StartStopGDIplus(std::int32_t& gdiToken, bool shutDown) {
    const auto binding = imaging::Binding::bind();
    if (shutDown) {
        if (binding && gdiToken != 0) binding->shutdown(gdiToken);
        return false;
    }
    gdiToken = 0;
    if (!binding) return false;
    if (void* pin = dlopen(binding->name.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE))
        dlclose(pin);
    std::int32_t token = 0;
    if (binding->startup(&token) != VELMORA_IMAGING_OK || token == 0) return false;
    gdiToken = token;
    return true;
}

} // namespace platform

// Imaging sessions. A session needs its library to stay loaded until it is
// shut down; the binding keeps every library it bound for the rest of the
// process, as a linked-in system library would be.

#include "platform/imaging/cgdiplus.h"
#include "platform/imaging/imaging_library.h"

namespace platform {

bool cGDIPlus::StartStopGDIplus(std::int32_t& gdiToken, bool shutDown) {
    const auto binding = imaging::Binding::bind();
    if (shutDown) {
        if (binding && gdiToken != 0) binding->shutdown(gdiToken);
        return false;
    }
    gdiToken = 0;
    if (!binding) return false;
    std::int32_t token = 0;
    if (binding->startup(&token) != VELMORA_IMAGING_OK || token == 0) return false;
    gdiToken = token;
    return true;
}

} // namespace platform

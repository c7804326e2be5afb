// The exports of libvelmora-dbus.so, the program's D-Bus services: each
// makes one service for the program that loaded the library, when both
// come from one build.

#include "app/management/cache_flush.h"
#include "app/management/dbus_services.h"
#include "app/management/networkmanager_backend.h"

#include <string_view>
#include <type_traits>

namespace mgmt = velmora::management;

namespace {

bool SameBuild(const char* build) {
    return build != nullptr && std::string_view{build} == VELMORA_BUILD_STAMP;
}

} // namespace

extern "C" [[gnu::visibility("default")]] bool
velmora_networkmanager_backend(const char* build, std::unique_ptr<mgmt::Backend>& backend) {
    if (!SameBuild(build)) return false;
    backend = std::make_unique<mgmt::NetworkManagerBackend>();
    return true;
}

extern "C" [[gnu::visibility("default")]] bool
velmora_resolved_flusher(const char* build, std::unique_ptr<mgmt::CacheFlusher>& flusher) {
    if (!SameBuild(build)) return false;
    flusher = std::make_unique<mgmt::ResolvedFlusher>();
    return true;
}

static_assert(std::is_same_v<decltype(&velmora_networkmanager_backend), mgmt::NetworkManagerEntry>);
static_assert(std::is_same_v<decltype(&velmora_resolved_flusher), mgmt::ResolvedFlusherEntry>);

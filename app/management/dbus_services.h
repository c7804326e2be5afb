#pragma once
// The system services Velmora reaches over D-Bus on Linux, NetworkManager
// (through libnm) and systemd-resolved (through GIO), live in a library of
// their own, libvelmora-dbus.so, loaded the first time one of them is asked
// something. Starting the program, showing its help and working on the
// simulated adapters never map libnm or the GIO, TLS and device libraries
// below it, and a machine without libnm still runs the rest.

#include "app/management/cache_flush.h"
#include "app/management/management.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::management {

inline constexpr std::string_view kDbusServicesLibrary = "libvelmora-dbus.so";
// What names the NetworkManager component's records.
inline constexpr std::string_view kNetworkManagerIdentity = "networkmanager";

// The library's exports. Program and library must come from one build; each
// entry point is given the build stamp of its caller and refuses any other.
inline constexpr const char* kNetworkManagerEntry = "velmora_networkmanager_backend";
inline constexpr const char* kResolvedFlusherEntry = "velmora_resolved_flusher";
using NetworkManagerEntry = bool (*)(const char* build, std::unique_ptr<Backend>& backend);
using ResolvedFlusherEntry = bool (*)(const char* build, std::unique_ptr<CacheFlusher>& flusher);

// Stand-ins for the two services that load the library on first use from
// the first of `libraries` that loads and hand every call on. When none
// loads, every operation that needs the service throws ManagementError
// saying why, and a flush answers NoResolver with the reason. Without
// `libraries`, the program's own places are looked up on first use
// (platform::Environment::OwnLibraryNames).
std::unique_ptr<Backend>
LoadedNetworkManagerBackend(std::optional<std::vector<std::string>> libraries = std::nullopt);
std::unique_ptr<CacheFlusher>
LoadedResolvedFlusher(std::optional<std::vector<std::string>> libraries = std::nullopt);

} // namespace velmora::management

#pragma once
// Named sets of public resolvers: the window's two and the other services
// people switch to, each with its IPv4 and IPv6 addresses and, where the
// service offers DNS over TLS, the name its certificates carry.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::app {

struct Preset {
    std::string_view name;        // what `set --preset` takes
    std::string_view description; // one line for people
    std::string_view ipv4[2];
    std::string_view ipv6[2];
    std::string_view tlsName; // empty: the service offers no DNS over TLS
};

std::span<const Preset> Presets();

// By name, letter case ignored; null when there is none.
const Preset* FindPreset(std::string_view name);

// The preset's four servers, IPv4's first; with `withTlsName` each carries
// "#" and the preset's name for DNS over TLS.
std::vector<std::string> PresetServers(const Preset& preset, bool withTlsName);

// One line per preset: NAME<TAB>IPV4,IPV4<TAB>IPV6,IPV6<TAB>TLS NAME or "-"<TAB>DESCRIPTION
std::string PresetTable();

} // namespace velmora::app

#include "app/management/dns_state.h"

#include "app/management/management.h"
#include "platform/net/address.h"

#include <array>

namespace velmora::management {

namespace {

constexpr std::array<std::pair<DnsOverTls, std::string_view>, 4> kModes{{
    {DnsOverTls::Default, "default"},
    {DnsOverTls::No, "no"},
    {DnsOverTls::Opportunistic, "opportunistic"},
    {DnsOverTls::Yes, "yes"},
}};

bool IsHostName(std::string_view name) {
    if (name.empty() || name.size() > 253 || name.front() == '.' || name.front() == '-')
        return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!ok) return false;
    }
    return name.find("..") == name.npos;
}

} // namespace

std::string_view DnsOverTlsName(DnsOverTls mode) {
    for (const auto& [value, name] : kModes)
        if (value == mode) return name;
    return "default";
}

std::optional<DnsOverTls> ParseDnsOverTls(std::string_view name) {
    for (const auto& [value, text] : kModes)
        if (text == name) return value;
    return std::nullopt;
}

std::string_view ServerAddressPart(std::string_view server) {
    return server.substr(0, server.find('#'));
}

bool IsValidStateServer(std::string_view text) {
    const auto hash = text.find('#');
    if (!IsValidServerAddress(text.substr(0, hash))) return false;
    return hash == text.npos || IsHostName(text.substr(hash + 1));
}

bool IsIpv4Address(std::string_view text) {
    return platform::net::ParseIpv4(text).has_value();
}

bool SetStaticServers(DnsState& state, const std::vector<std::string>& servers) {
    FamilyDns byFamily[2];
    for (const auto& server : servers) {
        if (!IsValidStateServer(server)) return false;
        byFamily[IsIpv4Address(ServerAddressPart(server)) ? 0 : 1].servers.push_back(server);
    }
    FamilyDns* families[2] = {&state.ipv4, &state.ipv6};
    for (int family = 0; family < 2; ++family) {
        if (byFamily[family].servers.empty()) continue;
        families[family]->servers = std::move(byFamily[family].servers);
        families[family]->ignoreAutomatic = true;
    }
    return true;
}

} // namespace velmora::management

#pragma once
// An adapter's DNS settings as a whole, beyond what the window's operations
// read and write: the static servers of each address family and whether
// servers learned automatically are ignored, how IPv4 gets its address (the
// revert changes that too), and the DNS-over-TLS mode. The command line
// records it before Velmora's first change to an adapter and writes it back
// on restore; encrypted DNS is set through it in one step.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::management {

enum class DnsOverTls { Default, No, Opportunistic, Yes };

std::string_view DnsOverTlsName(DnsOverTls mode); // "default", "no", "opportunistic", "yes"
std::optional<DnsOverTls> ParseDnsOverTls(std::string_view name);

struct FamilyDns {
    // Static servers in order: an address, or an address, "#" and the name
    // its DNS-over-TLS certificate carries.
    std::vector<std::string> servers;
    // Servers offered by DHCP (or, for IPv6, router advertisements) unused.
    bool ignoreAutomatic = false;

    bool operator==(const FamilyDns&) const = default;
};

struct DnsState {
    // "auto" (DHCP), "manual", or another method the component names.
    std::string ipv4Method = "auto";
    std::vector<std::string> ipv4Addresses; // "ADDRESS/PREFIX"
    std::vector<std::string> gateways;
    FamilyDns ipv4;
    FamilyDns ipv6;
    DnsOverTls dnsOverTls = DnsOverTls::Default;

    bool operator==(const DnsState&) const = default;
};

// A server as a state holds it: one address of either family, optionally
// followed by "#" and a host name (letters, digits, '-' and '.', at most 253).
bool IsValidStateServer(std::string_view text);
// The address part of such a server.
std::string_view ServerAddressPart(std::string_view server);
bool IsIpv4Address(std::string_view text);

// Puts `servers` (any mix of families, each a state server) into the state:
// each family that receives some has exactly those, ignoring automatic
// ones; a family that receives none keeps what it had. False, with the
// state untouched, when one is not a valid state server.
bool SetStaticServers(DnsState& state, const std::vector<std::string>& servers);

} // namespace velmora::management

#pragma once
// What `velmora status` shows: which servers each adapter uses and where
// they come from, and whether the machine's resolver asks them at all.

#include "app/management/management.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora::management {

// One KEY<TAB>VALUE line per fact, lists joined with commas:
//
//   resolver.mode, resolver.rc-manager, resolver.from, resolv.conf,
//   resolv.conf.link, resolv.conf.nameservers, resolver.follows-networkmanager
//   then per adapter: adapter<TAB>INDEX<TAB>DESCRIPTION, ipv4.dns (in use),
//   ipv4.source, ipv4.static, ipv4.gateway, ipv6.dns, ipv6.source,
//   ipv6.static, dns-over-tls
//   and last the warnings: warning<TAB>TEXT
//
// The adapters are the IP-enabled ones, or the one with `index`. Files the
// component does not describe are read through `files`. Throws
// ManagementError when the component cannot be reached or lists no adapter
// with `index`; nothing is returned half made.
std::vector<std::string> StatusLines(Backend& backend, const SystemFiles& files,
                                     std::optional<std::int32_t> index);

// An IPv4 family's source: "static", "dhcp", "static+dhcp" or "none"; an
// IPv6 family's: "static", "automatic" (router advertisements or DHCPv6),
// "static+automatic" or "none".
std::string Ipv4Source(const DnsState& state);
std::string Ipv6Source(const DnsState& state, const ServersInUse& inUse);

} // namespace velmora::management

#pragma once
// The NetworkManager backend's pieces that need no running NetworkManager:
// how its errors read as the component's return codes, and how each
// operation edits a connection profile.

#include "app/management/management.h"

#include <glib.h>
// This header alone lacks the C linkage guard the other libnm headers have.
extern "C" {
#include <nm-errors.h>
}
#include <NetworkManager.h>
#include <string>
#include <vector>

namespace velmora::management {

// Refused permissions, and authorisation prompts that were dismissed or
// left unanswered until the call timed out, are "access denied"; profiles
// that cannot be written are "interface not configurable"; the rest is an
// unknown failure.
ReturnCode CodeForError(const GError* error);

// The servers of a list, split by family: IPv4's, then IPv6's. Answers
// kInvalidIpAddress for a text that is not one address.
ReturnCode SplitServerFamilies(const std::vector<std::string>& servers,
                               std::vector<std::string> (&byFamily)[2]);

// Sets the static servers of each family that received some and ignores the
// servers DHCP and router advertisements offer for it; a family that
// received none keeps what it had. `byFamily` null drops the static servers
// of both families, which take their servers automatically again.
ReturnCode EditServers(NMConnection* profile, const std::vector<std::string> (*byFamily)[2]);

// IPv4 from DHCP: the method auto, without static addresses or gateway.
ReturnCode EditEnableDhcp(NMConnection* profile);

// No static IPv4 gateway.
ReturnCode EditClearGateway(NMConnection* profile);

// The profile's DNS settings as a whole.
DnsState ReadProfileState(NMConnection* profile);

// Makes the profile hold `state`: IPv4's method, addresses and gateway, each
// family's servers and whether it ignores automatic ones, and the
// DNS-over-TLS mode. Checked whole before anything is changed; the profile
// is left as it was on any code but kSuccess.
ReturnCode EditState(NMConnection* profile, const DnsState& state);

// Whether this libnm accepts servers that carry a DNS-over-TLS name
// ("ADDRESS#NAME").
bool AcceptsServerNames();

} // namespace velmora::management

#pragma once
// A management component kept in a JSON state file, for demonstrations on
// machines without NetworkManager and for tests. It answers like a real
// component: it validates addresses, persists every change atomically,
// can be told to fail a method with a given code ("fail") and can be made
// unreachable ("unreachable").
//
//   {"unreachable": false,
//    "adapters": [{"index": 7, "description": "...", "ipEnabled": true,
//                  "dhcpEnabled": true, "dns": ["192.0.2.1"],
//                  "gateways": ["192.0.2.1"], "fail": {"EnableDHCP": 91}}]}
//
// Every field but "index" and "description" may be missing; no "dns" means
// the adapter has no server list at all. Servers keep their order within a
// family, IPv4's before IPv6's; a server may carry "#" and its DNS-over-TLS
// name. "dnsOverTls" holds the adapter's mode ("default" when missing); the
// top-level "encryptedDns": false makes a system whose resolver cannot use
// DNS over TLS.
//
// "dhcpOffer": {"dns": [...], "gateways": [...]} is what the simulated
// network's DHCP server hands an adapter on DHCP: the servers it uses while
// it has no static list, the gateway while it has no static one. The
// top-level "resolver": {"mode": "none", "rcManager": "unmanaged",
// "resolvConf": "by-hand", "link": "", "nameservers": [...]} says who
// resolves for the simulated machine; without it systemd-resolved does, or
// (with "encryptedDns": false) NetworkManager writes resolv.conf itself.

#include "app/management/management.h"
#include "app/management/state_record.h"

#include <filesystem>
#include <map>

namespace velmora::management {

struct SimulatedAdapter {
    std::int32_t index = 0;
    std::string description;
    bool ipEnabled = true;
    bool dhcpEnabled = true;
    std::optional<std::vector<std::string>> dns;
    std::vector<std::string> gateways;
    std::map<std::string, ReturnCode> fail;
    DnsOverTls dnsOverTls = DnsOverTls::Default;
    std::vector<std::string> dhcpDns;
    std::vector<std::string> dhcpGateways;

    bool operator==(const SimulatedAdapter&) const = default;
};

struct SimulatedState {
    bool unreachable = false;
    bool encryptedDns = true;
    std::vector<SimulatedAdapter> adapters;
    std::optional<ResolverSetup> resolver;

    bool operator==(const SimulatedState&) const = default;
};

// Throws ManagementError on text that is not a well-formed state.
SimulatedState ParseSimulatedState(std::string_view json);
std::string SerializeSimulatedState(const SimulatedState& state);

// The three adapters shown when no state file is named.
SimulatedState SampleSimulatedState();

// How an adapter of the simulated component reads as a whole DNS state, and
// the adapter a state makes of it. The adapter's one list holds both
// families' servers: no list means neither family has static servers.
DnsState SimulatedDnsState(const SimulatedAdapter& adapter);
void ApplyDnsState(SimulatedAdapter& adapter, const DnsState& state);

// What the adapter uses now: its static servers and gateways, or on DHCP
// those its offer holds.
ServersInUse SimulatedServersInUse(const SimulatedAdapter& adapter);
// Who resolves for the simulated machine ("from" is "simulation").
ResolverSetup SimulatedResolver(const SimulatedState& state);

class SimulatedBackend final : public Backend {
public:
    explicit SimulatedBackend(std::filesystem::path stateFile);

    // The sample's state file in Velmora's state folder ($VELMORA_STATE_DIR,
    // else $XDG_STATE_HOME/velmora, else ~/.local/state/velmora), written
    // from the sample when it does not exist yet.
    static std::filesystem::path SampleStateFile();
    static std::filesystem::path SampleStateFile(const VariableLookup& lookup);
    // Writes the sample afresh over the sample's state file (velmora reset);
    // answers with the file.
    static std::filesystem::path ResetSampleStateFile(const VariableLookup& lookup);

    std::unique_ptr<Service> Connect(std::string_view connectionString) override;
    std::unique_ptr<AdapterConfiguration> GetObject(std::string_view objectPath) override;

    // "simulated:" and the state file's absolute path.
    std::string Identity() const override;
    DnsState ReadDnsState(std::int32_t index) override;
    ReturnCode WriteDnsState(std::int32_t index, const DnsState& state) override;
    std::optional<std::string> DnsOverTlsUnavailable(std::int32_t index) override;
    ServersInUse ReadServersInUse(std::int32_t index) override;
    ResolverSetup ReadResolverSetup() override;

    // The store the objects share; public for the objects it hands out.
    class Store;

private:
    std::filesystem::path stateFile_;
    std::shared_ptr<Store> store_;
};

} // namespace velmora::management

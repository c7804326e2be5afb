#pragma once
// The management component on Windows: Windows Management Instrumentation,
// namespace root\cimv2, class Win32_NetworkAdapterConfiguration. The query
// and the objects' properties are read once, when they are fetched; the
// methods go to the live configuration through ExecMethod and answer with
// the component's own return values.

#include "app/management/management.h"

#include <functional>
#include <memory>

namespace velmora::management {

class WmiConnection;
// Makes the connection the backend works through; throws ManagementError
// when the service cannot be reached.
using WmiConnector = std::function<std::shared_ptr<WmiConnection>()>;

class WmiBackend final : public Backend {
public:
    // The machine's WMI, connected at first use.
    WmiBackend();
    explicit WmiBackend(WmiConnector connect);
    ~WmiBackend() override;

    std::unique_ptr<Service> Connect(std::string_view connectionString) override;
    std::unique_ptr<AdapterConfiguration> GetObject(std::string_view objectPath) override;

    std::string Identity() const override { return "wmi"; }
    // As far as the class tells: DHCP or static addresses, the IPv4
    // gateways and the servers in use (the class does not say which of them
    // DHCP supplied; they are recorded as static). WMI has no IPv6 servers.
    DnsState ReadDnsState(std::int32_t index) override;
    // DHCP (EnableDHCP) or static addresses and gateways (EnableStatic,
    // SetGateways), then the servers; IPv6 servers and DNS over TLS are
    // refused, as WMI keeps neither.
    ReturnCode WriteDnsState(std::int32_t index, const DnsState& state) override;
    ServersInUse ReadServersInUse(std::int32_t index) override;
    std::optional<std::string> Ipv6ServersUnavailable() const override {
        return "WMI keeps no IPv6 DNS servers";
    }

private:
    std::shared_ptr<WmiConnection> Connection();

    WmiConnector connect_;
    std::shared_ptr<WmiConnection> connection_;
};

} // namespace velmora::management

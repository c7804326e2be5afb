#pragma once
// The management component on Linux desktops: NetworkManager on the system
// bus, through libnm. An IP-enabled adapter configuration is a device with
// an active IPv4 configuration; its Index is the kernel interface index.
// Changes go into the device's connection profile, are saved to disk and
// reapplied to the running device; changes made between BeginChanges and
// CommitChanges are saved and reapplied once, together.

#include "app/management/management.h"

namespace velmora::management {

class NetworkManagerBackend final : public Backend {
public:
    NetworkManagerBackend();
    ~NetworkManagerBackend() override;
    NetworkManagerBackend(const NetworkManagerBackend&) = delete;
    NetworkManagerBackend& operator=(const NetworkManagerBackend&) = delete;

    // Throws when the system bus or NetworkManager on it does not answer.
    std::unique_ptr<Service> Connect(std::string_view connectionString) override;
    std::unique_ptr<AdapterConfiguration> GetObject(std::string_view objectPath) override;
    void SetNoticeSink(NoticeSink sink) override;
    std::string Identity() const override;
    DnsState ReadDnsState(std::int32_t index) override;
    ReturnCode WriteDnsState(std::int32_t index, const DnsState& state) override;
    // Available when NetworkManager hands DNS to systemd-resolved and knows
    // the DNS-over-TLS setting.
    std::optional<std::string> DnsOverTlsUnavailable(std::int32_t index) override;
    // The running device's servers and gateway.
    ServersInUse ReadServersInUse(std::int32_t index) override;
    // NetworkManager's DnsManager: its Mode and RcManager.
    ResolverSetup ReadResolverSetup() override;

    class Session;

private:
    std::shared_ptr<Session> OpenSession();

    std::shared_ptr<Session> session_;
    NoticeSink notice_;
};

} // namespace velmora::management

#include "app/management/status.h"

namespace velmora::management {

namespace {

std::string Joined(const std::vector<std::string>& texts) {
    std::string joined;
    for (const auto& text : texts)
        joined += (joined.empty() ? "" : ",") + text;
    return joined;
}

std::string Line(std::string_view key, std::string_view value) {
    return std::string{key} + '\t' + std::string{value};
}

// Names the component does not give are taken from NetworkManager's
// configuration files; resolv.conf from the file itself.
std::pair<ResolverSetup, ResolvConf> Resolver(Backend& backend, const SystemFiles& files) {
    ResolverSetup setup = backend.ReadResolverSetup();
    ResolvConf file = setup.resolvConf ? *setup.resolvConf : ReadResolvConf(files);
    if (setup.mode.empty() || setup.rcManager.empty()) {
        const ResolverSetup configured = ReadNetworkManagerConfiguration(files, file);
        if (setup.mode.empty()) {
            setup.mode = configured.mode;
            setup.from = configured.from;
        }
        if (setup.rcManager.empty()) setup.rcManager = configured.rcManager;
    }
    setup.resolvConf = file;
    return {setup, file};
}

} // namespace

std::string Ipv4Source(const DnsState& state) {
    const bool automatic = state.ipv4Method == "auto" && !state.ipv4.ignoreAutomatic;
    if (state.ipv4.servers.empty()) return automatic ? "dhcp" : "none";
    return automatic ? "static+dhcp" : "static";
}

std::string Ipv6Source(const DnsState& state, const ServersInUse& inUse) {
    // The profile's IPv6 method is not part of the state: servers in use
    // beyond the static ones show that something automatic supplies them.
    const bool automatic = !state.ipv6.ignoreAutomatic;
    if (state.ipv6.servers.empty()) return automatic && !inUse.ipv6.empty() ? "automatic" : "none";
    return automatic ? "static+automatic" : "static";
}

std::vector<std::string> StatusLines(Backend& backend, const SystemFiles& files,
                                     std::optional<std::int32_t> index) {
    struct Listed {
        std::int32_t index;
        std::string description;
    };
    std::vector<Listed> adapters;
    for (const auto& configuration :
         backend.Connect(ConnectionString(kLocalComputer))->ExecQuery(kAdapterQuery)) {
        // An adapter whose properties cannot be read is left out, as the
        // window leaves it out of its list.
        try {
            Listed listed{configuration->Index(), configuration->Description()};
            if (!index || listed.index == *index) adapters.push_back(std::move(listed));
        } catch (const std::exception&) {
        }
    }
    if (index && adapters.empty())
        throw ManagementError("no IP-enabled adapter has index " + std::to_string(*index));

    const auto [setup, file] = Resolver(backend, files);
    const ResolverVerdict verdict = JudgeResolver(setup, file);
    std::vector<std::string> lines = {
        Line("resolver.mode", setup.mode.empty() ? "unknown" : setup.mode),
        Line("resolver.rc-manager", setup.rcManager.empty() ? "unknown" : setup.rcManager),
        Line("resolver.from", setup.from),
        Line("resolv.conf", ResolvConfOwnerName(file.owner)),
        Line("resolv.conf.link", file.link),
        Line("resolv.conf.nameservers", Joined(file.nameservers)),
        Line("resolver.follows-networkmanager", !verdict.follows   ? "unknown"
                                                : *verdict.follows ? "yes"
                                                                   : "no")};
    std::vector<std::string> warnings;
    if (verdict.follows == false) warnings.push_back(verdict.why);

    for (const auto& adapter : adapters) {
        const ServersInUse inUse = backend.ReadServersInUse(adapter.index);
        std::optional<DnsState> state;
        std::string unreadable;
        try {
            state = backend.ReadDnsState(adapter.index);
        } catch (const std::exception& error) {
            unreadable = error.what();
        }
        const std::string unknown = "unknown";
        lines.push_back("adapter\t" + std::to_string(adapter.index) + '\t' + adapter.description);
        if (!state) lines.push_back(Line("settings", "unreadable: " + unreadable));
        lines.push_back(Line("ipv4.dns", Joined(inUse.ipv4)));
        lines.push_back(Line("ipv4.source", state ? Ipv4Source(*state) : unknown));
        lines.push_back(Line("ipv4.static", state ? Joined(state->ipv4.servers) : unknown));
        lines.push_back(Line("ipv4.gateway", Joined(inUse.gateways)));
        lines.push_back(Line("ipv6.dns", Joined(inUse.ipv6)));
        lines.push_back(Line("ipv6.source", state ? Ipv6Source(*state, inUse) : unknown));
        lines.push_back(Line("ipv6.static", state ? Joined(state->ipv6.servers) : unknown));
        lines.push_back(
            Line("dns-over-tls", state ? std::string{DnsOverTlsName(state->dnsOverTls)} : unknown));
        // Only systemd-resolved speaks DNS over TLS; elsewhere the setting
        // is kept and does nothing.
        const bool encrypted = state && (state->dnsOverTls == DnsOverTls::Yes ||
                                         state->dnsOverTls == DnsOverTls::Opportunistic);
        if (encrypted && !setup.mode.empty() && setup.mode != "systemd-resolved")
            warnings.push_back("adapter " + std::to_string(adapter.index) +
                               " asks for DNS over TLS, but NetworkManager hands DNS to \"" +
                               setup.mode + "\" rather than systemd-resolved, which alone uses it");
    }
    for (const auto& warning : warnings)
        lines.push_back(Line("warning", warning));
    return lines;
}

} // namespace velmora::management

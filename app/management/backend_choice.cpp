#include "app/management/backend_choice.h"

#include "app/management/simulated_backend.h"

#ifdef _WIN32
#include "app/management/wmi_backend.h"
#else
#include "app/management/dbus_services.h"
#endif

namespace velmora::management {

namespace {

#ifdef _WIN32
constexpr std::string_view kSystemName = "wmi";
constexpr BackendChoice::Kind kSystemKind = BackendChoice::Kind::Wmi;
std::unique_ptr<Backend> MakeSystemBackend() {
    return std::make_unique<WmiBackend>();
}
constexpr SystemHelp kSystemHelp{
    R"( Without a command it opens
the window.
)",
    R"(  status [INDEX]       what is really in use, one KEY<TAB>VALUE a line: per
                       adapter (or for INDEX) the servers in use, where they
                       come from, the static ones and the gateways, as far
                       as WMI tells (the lines about the resolver before
                       them describe Linux's files and mean nothing here)
)",
    R"(  flush                exits with 4: Windows gives programs no documented
                       way to empty the DNS Client's cache (ipconfig
                       /flushdns does)
)",
    R"(  --dot                also switches on DNS over TLS; WMI has no such
                       setting, so this exits with 4 and changes nothing
)",
    R"(($VELMORA_STATE_DIR, else %LOCALAPPDATA%\Velmora); when that record
cannot be written, nothing is changed.
)",
    R"(  4  unavailable: DNS over TLS, flush, or bench where the system's
     resolver cannot ask a server of our choosing (nothing was changed)
)",
    R"(WMI keeps one list of DNS servers per adapter, and IPv4 servers only.
set makes DNS1 and DNS2 that list; a preset's IPv4 servers are applied
and its IPv6 servers left out, as standard error says. dhcp puts the
adapter back on the servers DHCP supplies. show lists the servers in use.
)",
    R"(  --screenshot FILE.png
              open the window, draw it once after start-up into FILE.png
              and end
)",
};
constexpr std::string_view kHelp = R"(
Backends:
  --backend=wmi              Windows Management Instrumentation, namespace
                             root\cimv2 (the default); changes need an
                             administrator
)";
#else
constexpr std::string_view kSystemName = "networkmanager";
constexpr BackendChoice::Kind kSystemKind = BackendChoice::Kind::NetworkManager;
std::unique_ptr<Backend> MakeSystemBackend() {
    return LoadedNetworkManagerBackend();
}
constexpr SystemHelp kSystemHelp{
    R"( Without a command it opens
the window (this needs a display).
)",
    R"(  status [INDEX]       what is really in use, one KEY<TAB>VALUE a line: who
                       resolves for the machine (NetworkManager's DNS mode
                       and rc-manager, who wrote /etc/resolv.conf and the
                       servers it names), then per adapter (or for INDEX)
                       the servers in use of each family, where they come
                       from (static, dhcp, automatic for IPv6's router
                       advertisements or DHCPv6, none), the static ones,
                       the gateway and DNS over TLS; last a "warning" line
                       where the machine does not ask the servers Velmora
                       sets (such as NetworkManager's dns=none with a
                       hand-written /etc/resolv.conf)
)",
    R"(  flush                asks systemd-resolved to drop its cache (where it runs)
)",
    R"(  --dot                also switches on DNS over TLS (strict), with the
                       preset's server names; needs NetworkManager with
                       systemd-resolved
)",
    R"(($VELMORA_STATE_DIR, else $XDG_STATE_HOME/velmora, else
~/.local/state/velmora); when that record cannot be written, nothing is
changed.
)",
    R"(  4  unavailable: DNS over TLS on this system (nothing was changed), or
     flush found no caching resolver
)",
    R"(NetworkManager keeps separate IPv4 and IPv6 DNS settings. set changes the
servers of each family it is given and ignores the DNS servers DHCP (and,
for IPv6, router advertisements) offer for that family; a family it is not
given keeps its settings, so IPv6 servers learned automatically still apply
after a set with IPv4 servers only. dhcp drops the static servers of both
families and puts IPv4 back on DHCP without static addresses or gateway.
show lists the servers in use, IPv4's first.
)",
    R"(  --screenshot FILE.png
              open the window, draw it once after start-up into FILE.png
              and end (also without a display, with QT_QPA_PLATFORM=offscreen)
)",
};
constexpr std::string_view kHelp = R"(
Backends:
  --backend=networkmanager   NetworkManager on the system bus (the default);
                             changes need the rights to change connection
                             profiles, usually root or an admin session
)";
#endif

constexpr std::string_view kHelpCommon =
    R"(  --backend=simulated        a sample of three adapters kept in Velmora's
                             state folder (as the records for restore)
  --backend=simulated:FILE   the adapters of a JSON state file
  (--backend BACKEND, with a space, is the same)
)";

} // namespace

std::optional<BackendChoice> ParseBackendChoice(std::string_view value) {
    constexpr std::string_view simulated = "simulated";
    if (value == kSystemName) return BackendChoice{kSystemKind, {}};
    if (value == simulated) return BackendChoice{BackendChoice::Kind::Simulated, {}};
    if (value.starts_with(simulated) && value.size() > simulated.size() + 1 &&
        value[simulated.size()] == ':') {
        // The command line is UTF-8 everywhere; a path made from plain
        // chars would read it in Windows's ANSI code page.
        const std::string_view file = value.substr(simulated.size() + 1);
        return BackendChoice{BackendChoice::Kind::Simulated,
                             std::filesystem::path{std::u8string(file.begin(), file.end())}};
    }
    return std::nullopt;
}

std::unique_ptr<Backend> MakeBackend(const BackendChoice& choice) {
    if (choice.kind == kSystemKind) return MakeSystemBackend();
    if (choice.stateFile) return std::make_unique<SimulatedBackend>(*choice.stateFile);
    std::filesystem::path sample;
    try {
        sample = SimulatedBackend::SampleStateFile();
    } catch (const std::exception&) {
        // No place for the sample: the component cannot be reached, which
        // the window shows as an empty list.
    }
    return std::make_unique<SimulatedBackend>(sample);
}

const SystemHelp& SystemHelpText() {
    return kSystemHelp;
}

std::string BackendHelpText() {
    return std::string{kHelp} + std::string{kHelpCommon};
}

} // namespace velmora::management

#pragma once
// The management-instrumentation operations the main window relies on:
// a connection to the service, the query for the IP-enabled adapter
// configurations, the object of one configuration by its path, its
// properties and its methods. Only the texts, argument shapes and return
// codes are fixed; each backend reaches the real settings its own way.
//
// Every operation may throw ManagementError (or anything else); callers
// decide what a failed step means to them.

#include "app/management/dns_state.h"
#include "app/management/resolver.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace velmora::management {

// Methods answer with the component's code: 0 success, 1 success that needs
// a restart, anything else a failure.
using ReturnCode = std::int64_t;

inline constexpr ReturnCode kSuccess = 0;
inline constexpr ReturnCode kInvalidIpAddress = 70;
inline constexpr ReturnCode kUnknownFailure = 65;
inline constexpr ReturnCode kIpNotEnabled = 84;
inline constexpr ReturnCode kAccessDenied = 91;
inline constexpr ReturnCode kInterfaceNotConfigurable = 97;

// An argument that was left out (an unset variant) and an explicit null are
// different shapes to the component, though both drop a static list.
struct Unset {};
struct Null {};
inline constexpr Unset unset{};
inline constexpr Null null{};

using ServerSearchOrder = std::variant<Unset, Null, std::vector<std::string>>;

class ManagementError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One Win32_NetworkAdapterConfiguration object. Its properties are a
// snapshot taken when the object was fetched; its methods act on the live
// configuration.
class AdapterConfiguration {
public:
    virtual ~AdapterConfiguration() = default;

    virtual std::string Description() const = 0;
    virtual std::int32_t Index() const = 0;
    // One element of DNSServerSearchOrder; throws when the list is absent or
    // shorter than that.
    virtual std::string DNSServerSearchOrder(std::size_t element) const = 0;

    virtual ReturnCode SetDNSServerSearchOrder(const ServerSearchOrder& servers) = 0;
    virtual ReturnCode EnableDHCP() = 0;
    virtual ReturnCode SetGateways(Null gateways) = 0;
    virtual ReturnCode SetGateways(Null gateways, Null costMetrics) = 0;

    // Changes made after BeginChanges may be held back and take effect
    // together, once, at CommitChanges, which answers with the code of that
    // step; the methods then answer for what they could check alone.
    // Backends that apply every change at once keep these defaults.
    virtual void BeginChanges() {}
    virtual ReturnCode CommitChanges() { return kSuccess; }
};

using AdapterConfigurations = std::vector<std::unique_ptr<AdapterConfiguration>>;

// What an adapter uses now, whatever its settings say: each family's
// servers in order and the IPv4 gateways.
struct ServersInUse {
    std::vector<std::string> ipv4;
    std::vector<std::string> ipv6;
    std::vector<std::string> gateways;

    bool operator==(const ServersInUse&) const = default;
};

// A connected service object.
class Service {
public:
    virtual ~Service() = default;
    virtual AdapterConfigurations ExecQuery(std::string_view query) = 0;
};

// What the "winmgmts:" monikers resolve through: the connection string for a
// service, an object path for one configuration.
class Backend {
public:
    virtual ~Backend() = default;
    virtual std::unique_ptr<Service> Connect(std::string_view connectionString) = 0;
    virtual std::unique_ptr<AdapterConfiguration> GetObject(std::string_view objectPath) = 0;

    // Where a backend says what it does beyond the operation asked for (such
    // as re-activating a link whose settings could not be reapplied).
    using NoticeSink = std::function<void(const std::string&)>;
    virtual void SetNoticeSink(NoticeSink) {}

    // Beyond the window's operations, for the command line: an adapter's
    // whole DNS state, read and written in one step. Components that cannot
    // do that keep these defaults, which throw.

    // Names the component and the store it changes, so that a record made
    // on one is never written back to another.
    virtual std::string Identity() const { return "unknown"; }
    virtual DnsState ReadDnsState(std::int32_t index);
    // All or nothing: the component checks the whole state before it
    // changes any of it.
    virtual ReturnCode WriteDnsState(std::int32_t index, const DnsState& state);
    // Why a DNS-over-TLS mode set on this adapter would have no effect (or
    // could not be stored); nullopt when it can be used.
    virtual std::optional<std::string> DnsOverTlsUnavailable(std::int32_t index);
    // Why the component keeps no IPv6 DNS servers, so a list of both
    // families must go to it as its IPv4 part; nullopt when it keeps them.
    virtual std::optional<std::string> Ipv6ServersUnavailable() const { return std::nullopt; }

    // For status. The default reads the servers from the adapter's object
    // and knows no gateway.
    virtual ServersInUse ReadServersInUse(std::int32_t index);
    // How the component hands DNS on to the machine's resolver, where it
    // says; the default knows nothing.
    virtual ResolverSetup ReadResolverSetup() { return {}; }
};

inline constexpr std::string_view kMonikerPrefix = "winmgmts:";
inline constexpr std::string_view kImpersonation = "{impersonationLevel=impersonate}!\\\\";
inline constexpr std::string_view kNamespacePath = "\\root\\cimv2";
inline constexpr std::string_view kLocalComputer = ".";
inline constexpr std::string_view kAdapterQuery =
    "Select * From Win32_NetworkAdapterConfiguration Where IPEnabled = True";
inline constexpr std::string_view kObjectPathPrefix = "winmgmts:Win32_NetworkAdapterConfiguration=";

std::string ConnectionString(std::string_view computer);
std::string ConfigurationPath(std::int32_t index);

// Backends understand exactly the texts above; anything else throws, as the
// real service refuses what it does not know.
void RequireLocalConnection(std::string_view connectionString);
void RequireAdapterQuery(std::string_view query);
// The Index named by an object path: decimal, no blanks, no leading zeros.
std::int32_t RequireConfigurationPath(std::string_view objectPath);
std::optional<std::int32_t> ParseConfigurationPath(std::string_view objectPath);

// A server text as the component accepts it: exactly one IPv4 or IPv6
// address, nothing around it.
bool IsValidServerAddress(std::string_view text);

// The element of a server list, or the failure of a read past its end.
std::string ServerListElement(const std::optional<std::vector<std::string>>& servers,
                              std::size_t element);

} // namespace velmora::management

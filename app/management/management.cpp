#include "app/management/management.h"

#include "platform/net/address.h"

#include <charconv>

namespace velmora::management {

std::string ConnectionString(std::string_view computer) {
    std::string text{kMonikerPrefix};
    text += kImpersonation;
    text += computer;
    text += kNamespacePath;
    return text;
}

std::string ConfigurationPath(std::int32_t index) {
    return std::string{kObjectPathPrefix} + std::to_string(index);
}

void RequireLocalConnection(std::string_view connectionString) {
    if (connectionString != ConnectionString(kLocalComputer))
        throw ManagementError("unknown connection string: " + std::string{connectionString});
}

void RequireAdapterQuery(std::string_view query) {
    if (query != kAdapterQuery) throw ManagementError("unsupported query: " + std::string{query});
}

std::optional<std::int32_t> ParseConfigurationPath(std::string_view objectPath) {
    if (!objectPath.starts_with(kObjectPathPrefix)) return std::nullopt;
    std::string_view number = objectPath.substr(kObjectPathPrefix.size());
    std::string_view digits = number.starts_with('-') ? number.substr(1) : number;
    if (digits.empty() || (digits.size() > 1 && digits.front() == '0')) return std::nullopt;
    if (digits.front() < '0' || digits.front() > '9')
        return std::nullopt; // from_chars takes no '+'
    std::int32_t index = 0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), index);
    if (error != std::errc{} || end != number.data() + number.size()) return std::nullopt;
    if (number == "-0") return std::nullopt;
    return index;
}

std::int32_t RequireConfigurationPath(std::string_view objectPath) {
    auto index = ParseConfigurationPath(objectPath);
    if (!index) throw ManagementError("invalid object path: " + std::string{objectPath});
    return *index;
}

bool IsValidServerAddress(std::string_view text) {
    return platform::net::ParseIpv4(text) || platform::net::ParseIpv6(text);
}

DnsState Backend::ReadDnsState(std::int32_t) {
    throw ManagementError("this component cannot read a whole DNS state");
}

ReturnCode Backend::WriteDnsState(std::int32_t, const DnsState&) {
    throw ManagementError("this component cannot write a whole DNS state");
}

std::optional<std::string> Backend::DnsOverTlsUnavailable(std::int32_t) {
    return "this component has no DNS-over-TLS setting";
}

ServersInUse Backend::ReadServersInUse(std::int32_t index) {
    auto configuration = GetObject(ConfigurationPath(index));
    ServersInUse inUse;
    for (std::size_t element = 0;; ++element) {
        std::string server;
        try {
            server = configuration->DNSServerSearchOrder(element);
        } catch (const ManagementError&) {
            break; // the end of the list
        }
        (IsIpv4Address(server) ? inUse.ipv4 : inUse.ipv6).push_back(std::move(server));
    }
    return inUse;
}

std::string ServerListElement(const std::optional<std::vector<std::string>>& servers,
                              std::size_t element) {
    if (!servers) throw ManagementError("DNSServerSearchOrder is not set");
    if (element >= servers->size())
        throw ManagementError("DNSServerSearchOrder has no element " + std::to_string(element));
    return (*servers)[element];
}

} // namespace velmora::management

#pragma once
// Whether DNS servers answer at all: a few queries of well-known names to
// each, through the speed test's resolver, all within one short deadline.
// After a change it tells servers that work from servers that would leave
// the machine unable to resolve names.

#include "app/speedtest/speed_test.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::management {

struct ServerCheckOptions {
    // Names every public resolver knows; an answer of "no such name" counts
    // too, since it shows the server resolves.
    std::vector<std::string> names = {"example.com", "wikipedia.org", "kernel.org"};
    // For the whole check, every server asked at once.
    std::chrono::milliseconds deadline{3000};
};

struct ServerAnswer {
    std::string server; // as the adapter holds it
    bool answered = false;
    std::string why; // when it did not answer
};

class ServerCheck {
public:
    virtual ~ServerCheck() = default;
    // One answer per server, in their order. Throws std::runtime_error when
    // no check can be made at all.
    virtual std::vector<ServerAnswer> Ask(const std::vector<std::string>& servers) = 0;
    // How long Ask takes at most; a change waits this long for servers
    // DHCP has yet to provide.
    virtual std::chrono::milliseconds Deadline() const = 0;
};

// Where the queries for a server go; nullopt for one that cannot be asked.
// By default its address (without a DNS-over-TLS name) on the standard port.
using ServerRoute = std::function<std::optional<speedtest::Endpoint>(std::string_view server)>;

class ResolverCheck final : public ServerCheck {
public:
    explicit ResolverCheck(ServerCheckOptions options, ServerRoute route = {});
    std::vector<ServerAnswer> Ask(const std::vector<std::string>& servers) override;
    std::chrono::milliseconds Deadline() const override { return options_.deadline; }

private:
    ServerCheckOptions options_;
    ServerRoute route_;
};

// "example.com,kernel.org": host names separated by commas; nullopt when a
// name is empty or not a host name.
std::optional<std::vector<std::string>> ParseCheckNames(std::string_view text);

} // namespace velmora::management

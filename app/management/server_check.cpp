#include "app/management/server_check.h"

#include "app/management/dns_state.h"

#include <algorithm>
#include <stdexcept>

namespace velmora::management {

namespace {

std::optional<speedtest::Endpoint> StandardRoute(std::string_view server) {
    return speedtest::ParseEndpoint(ServerAddressPart(server));
}

bool IsHostName(std::string_view name) {
    if (name.empty() || name.size() > 253 || name.front() == '.' || name.front() == '-')
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.';
    });
}

} // namespace

ResolverCheck::ResolverCheck(ServerCheckOptions options, ServerRoute route)
    : options_(std::move(options)), route_(route ? std::move(route) : StandardRoute) {
    if (options_.names.empty()) throw std::invalid_argument("ResolverCheck: no names to ask");
}

std::vector<ServerAnswer> ResolverCheck::Ask(const std::vector<std::string>& servers) {
    std::vector<ServerAnswer> answers;
    std::vector<speedtest::Endpoint> endpoints;
    std::vector<std::size_t> asked; // answers[asked[i]] is endpoints[i]'s
    for (const auto& server : servers) {
        answers.push_back({server, false, {}});
        if (auto endpoint = route_(server)) {
            asked.push_back(answers.size() - 1);
            endpoints.push_back(std::move(*endpoint));
        } else {
            answers.back().why = "not an address that can be asked";
        }
    }
    // Each name gets its share of the deadline, so a server that never
    // answers costs no more than the deadline, while one that refuses a name
    // is still asked the next. One answer is enough.
    speedtest::Options options;
    options.names = options_.names;
    options.rounds = 1;
    const auto share = options_.deadline / static_cast<int>(options_.names.size());
    options.timeout = std::max(share, std::chrono::milliseconds{10});
    options.giveUpAfter = static_cast<int>(options_.names.size());
    options.enoughAnswers = 1;
    const auto results =
        speedtest::Run(endpoints, options, [] { return std::chrono::steady_clock::now(); });
    for (std::size_t i = 0; i < results.size() && i < asked.size(); ++i) {
        ServerAnswer& answer = answers[asked[i]];
        answer.answered = !results[i].times.empty();
        if (!answer.answered)
            answer.why = results[i].failure.empty() ? "no answer" : results[i].failure;
    }
    return answers;
}

std::optional<std::vector<std::string>> ParseCheckNames(std::string_view text) {
    std::vector<std::string> names;
    for (;;) {
        const auto comma = text.find(',');
        const std::string_view name = text.substr(0, comma);
        if (!IsHostName(name)) return std::nullopt;
        names.emplace_back(name);
        if (comma == text.npos) break;
        text.remove_prefix(comma + 1);
    }
    if (names.size() > 16) return std::nullopt;
    return names;
}

} // namespace velmora::management

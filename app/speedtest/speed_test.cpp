#include "app/speedtest/speed_test.h"

#include "platform/net/address.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace velmora::speedtest {

namespace {

bool IsAddress(std::string_view text, bool ipv6) {
    return ipv6 ? platform::net::ParseIpv6(text).has_value()
                : platform::net::ParseIpv4(text).has_value();
}

std::optional<std::uint16_t> ParsePort(std::string_view digits) {
    if (digits.empty() || digits.size() > 5 || digits.front() == '0') return std::nullopt;
    unsigned value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc{} || end != digits.data() + digits.size() || value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

} // namespace

std::optional<Endpoint> ParseEndpoint(std::string_view text) {
    if (text.empty() || text.size() > 64 || text.find('\0') != text.npos) return std::nullopt;
    Endpoint endpoint;
    endpoint.text = std::string{text};
    if (text.front() == '[') {
        const auto close = text.find(']');
        if (close == text.npos) return std::nullopt;
        endpoint.address = std::string{text.substr(1, close - 1)};
        if (!IsAddress(endpoint.address, true)) return std::nullopt;
        endpoint.ipv6 = true;
        if (close + 1 == text.size()) return endpoint; // "[ADDRESS]": the standard port
        if (text[close + 1] != ':') return std::nullopt;
        auto port = ParsePort(text.substr(close + 2));
        if (!port) return std::nullopt;
        endpoint.port = *port;
        return endpoint;
    }
    endpoint.address = endpoint.text;
    if (IsAddress(endpoint.address, false)) return endpoint;
    if (IsAddress(endpoint.address, true)) {
        endpoint.ipv6 = true;
        return endpoint;
    }
    const auto colon = text.find(':');
    if (colon == text.npos || text.find(':', colon + 1) != text.npos) return std::nullopt;
    endpoint.address = std::string{text.substr(0, colon)};
    auto port = ParsePort(text.substr(colon + 1));
    if (!port || !IsAddress(endpoint.address, false)) return std::nullopt;
    endpoint.port = *port;
    return endpoint;
}

std::optional<Duration> Percentile(std::vector<Duration> times, int percent) {
    if (times.empty()) return std::nullopt;
    std::sort(times.begin(), times.end());
    // Nearest rank: the smallest value with at least `percent` per cent of
    // the values at or below it.
    std::size_t rank = (times.size() * static_cast<std::size_t>(percent) + 99) / 100;
    rank = std::clamp<std::size_t>(rank, 1, times.size());
    return times[rank - 1];
}

std::optional<Duration> Result::Median() const {
    return Percentile(times, 50);
}

std::optional<Duration> Result::Percentile90() const {
    return Percentile(times, 90);
}

void Rank(std::vector<Result>& results) {
    std::stable_sort(results.begin(), results.end(), [](const Result& a, const Result& b) {
        const auto ma = a.Median(), mb = b.Median();
        if (!ma || !mb) return ma.has_value() && !mb.has_value();
        if (*ma != *mb) return *ma < *mb;
        const auto pa = a.Percentile90(), pb = b.Percentile90();
        if (*pa != *pb) return *pa < *pb;
        return a.lost < b.lost;
    });
}

namespace {

std::string Milliseconds(const std::optional<Duration>& time) {
    if (!time) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(time->count()) / 1000.0);
    return text;
}

} // namespace

std::string FormatTable(const std::vector<Result>& results) {
    std::string table = "rank\tserver\tmedian_ms\tp90_ms\tlost\tqueries\n";
    int rank = 0;
    for (const Result& result : results) {
        table += std::to_string(++rank) + '\t' + result.server.text + '\t' +
                 Milliseconds(result.Median()) + '\t' + Milliseconds(result.Percentile90()) + '\t' +
                 std::to_string(result.lost) + '\t' + std::to_string(result.queries) + '\n';
    }
    return table;
}

std::vector<std::string> FastestComplete(const std::vector<Result>& ranked) {
    std::vector<std::string> chosen;
    for (const Result& result : ranked) {
        if (chosen.size() == 2) break;
        if (result.AnsweredAll() && result.server.port == 53 &&
            std::find(chosen.begin(), chosen.end(), result.server.address) == chosen.end())
            chosen.push_back(result.server.address);
    }
    return chosen;
}

BackgroundRun::BackgroundRun(std::vector<Endpoint> servers, Options options,
                             std::function<void()> onFinished)
    : servers_(std::move(servers)), options_(std::move(options)),
      worker_([this, onFinished = std::move(onFinished)](std::stop_token stop) {
          try {
              results_ = Run(
                  servers_, options_, [] { return std::chrono::steady_clock::now(); },
                  [this](int ended, int) { done_ = ended; }, stop);
          } catch (...) {
              failure_ = std::current_exception();
          }
          finished_ = true;
          if (onFinished) onFinished();
      }) {}

std::vector<Result> BackgroundRun::Wait() {
    worker_.request_stop();
    if (worker_.joinable()) worker_.join();
    if (failure_) std::rethrow_exception(failure_);
    return std::move(results_);
}

} // namespace velmora::speedtest

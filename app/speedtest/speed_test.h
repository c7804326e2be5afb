#pragma once
// Measures how fast DNS servers answer: real queries over UDP for a few
// common names, several rounds in a random order, one query per server at
// a time so no server is measured under load we made, every server at
// once, and a time limit per query. Each system's build has its own Run
// (on Linux through c-ares).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velmora::speedtest {

using Duration = std::chrono::microseconds;
using TimePoint = std::chrono::steady_clock::time_point;
using Clock = std::function<TimePoint()>;

// A server to ask: an IPv4 or IPv6 address and a UDP port.
struct Endpoint {
    std::string text;    // as given
    std::string address; // the address alone
    bool ipv6 = false;
    std::uint16_t port = 53;

    bool operator==(const Endpoint&) const = default;
};

inline constexpr std::string_view kEndpointForms =
    "an IPv4 or IPv6 address, IPV4:PORT or [IPV6]:PORT";

// "192.0.2.1", "192.0.2.1:5353", "2001:db8::1", "[2001:db8::1]",
// "[2001:db8::1]:5353"; ports
// 1 to 65535 in plain decimal. nullopt for anything else.
std::optional<Endpoint> ParseEndpoint(std::string_view text);

struct Options {
    std::vector<std::string> names = {"google.com", "wikipedia.org", "amazon.com", "github.com",
                                      "cloudflare.com"};
    int rounds = 3;
    std::chrono::milliseconds timeout{2000};
    // A server that has lost this many queries in a row without answering
    // any is not asked the rest, which count as lost: an unreachable server
    // would otherwise hold the whole test up for a time limit per query.
    int giveUpAfter = 3;
    // A server that has answered this many queries is not asked the rest,
    // which are then left out of its planned queries (0: ask them all). A
    // check that a server works needs one answer, not a measurement.
    int enoughAnswers = 0;
    std::uint32_t seed = 0; // 0: a fresh random order each run
};

struct Result {
    Endpoint server;
    int queries = 0;             // planned: names x rounds
    std::vector<Duration> times; // of the queries answered
    int lost = 0;                // not answered in time, refused, or never sent
    std::string failure;         // why the last lost query was lost, for people

    std::optional<Duration> Median() const;
    std::optional<Duration> Percentile90() const;
    bool AnsweredAll() const { return lost == 0 && queries > 0; }
};

// Nearest-rank percentile of the times; nullopt when there are none.
std::optional<Duration> Percentile(std::vector<Duration> times, int percent);

// Called after each query ends, with the number ended and the number planned.
using Progress = std::function<void(int done, int total)>;

// What Run throws where the system offers no way to send a query to a
// server of our choosing; what() says why.
class Unavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws std::runtime_error when the resolver library cannot be set up, and
// Unavailable where there is none to set up.
// `clock` times each query from its sending to its answer. Once `stop` is
// requested (from any thread, or from `progress`) the queries in flight are
// abandoned within a quarter of a second and Run returns what was measured
// so far: queries not answered by then count neither as answered nor as lost.
std::vector<Result> Run(const std::vector<Endpoint>& servers, const Options& options,
                        const Clock& clock, const Progress& progress = {},
                        std::stop_token stop = {});

// Run on a thread of its own, for a window that shows how far the queries
// are while its own loop goes on. `done` and `finished` may be asked from
// any thread; `onFinished` is called on the worker's thread once the
// queries have ended. `Wait` stops queries that still run, waits for the
// thread and answers what was measured, or throws what Run threw. The run
// keeps its own copy of the servers and options, which the worker reads.
class BackgroundRun {
public:
    BackgroundRun(std::vector<Endpoint> servers, Options options,
                  std::function<void()> onFinished = {});
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    int done() const { return done_; }
    bool finished() const { return finished_; }
    std::vector<Result> Wait();

private:
    const std::vector<Endpoint> servers_;
    const Options options_;
    std::atomic<int> done_{0};
    std::atomic<bool> finished_{false};
    std::vector<Result> results_;
    std::exception_ptr failure_;
    // Last, so that it starts once the rest exists and ends before it goes.
    std::jthread worker_;
};

// Fastest first: by median, then 90th percentile, then fewer lost; servers
// that answered nothing last, in their given order.
void Rank(std::vector<Result>& results);

// A tab-separated table with a header line:
//   rank server median_ms p90_ms lost queries
// times in milliseconds with one decimal, "-" where nothing was answered.
std::string FormatTable(const std::vector<Result>& results);

// The first (at most) two ranked servers that answered every query and
// listen on the standard port, as an adapter can use them.
std::vector<std::string> FastestComplete(const std::vector<Result>& ranked);

} // namespace velmora::speedtest

// The speed test on Windows: the system's resolver asked through DnsQueryEx
// with a server list of one, so each query goes to the server under test
// and nowhere else (Windows 8 and later). Each server has a thread of its
// own that sends its queries one after the other; a query that outlives its
// time limit is cancelled. Where the system has no DnsQueryEx (or one that
// does nothing), the test is unavailable.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h first: windows.h would bring the older winsock.h.
#include "app/speedtest/speed_test.h"
#include "platform/net/address.h"
#include "platform/system/library.h"
#include "platform/win32/system.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <windns.h>
#include <windows.h>

namespace velmora::speedtest {

namespace {

// DnsQueryEx's structures, which MinGW's windns.h does not declare; their
// layout is the system's.
struct QueryAddress {
    char maxSa[32]; // DNS_ADDR_MAX_SOCKADDR_LENGTH
    DWORD data[8];
};
struct QueryAddressArray {
    DWORD maxCount;
    DWORD addrCount;
    DWORD tag;
    WORD family;
    WORD wordReserved;
    DWORD flags;
    DWORD matchFlag;
    DWORD reserved1;
    DWORD reserved2;
    QueryAddress addrArray[1];
};
struct QueryRequest {
    ULONG version; // DNS_QUERY_REQUEST_VERSION1
    PCWSTR queryName;
    WORD queryType;
    ULONG64 queryOptions;
    QueryAddressArray* dnsServerList;
    ULONG interfaceIndex;
    PDNS_QUERY_COMPLETION_ROUTINE queryCompletionCallback;
    PVOID queryContext;
};
struct QueryCancel {
    char reserved[32];
};
static_assert(sizeof(QueryAddress) == 64);

using DnsQueryExFunction = DNS_STATUS(WINAPI*)(QueryRequest*, DNS_QUERY_RESULT*, QueryCancel*);
using DnsCancelQueryFunction = DNS_STATUS(WINAPI*)(QueryCancel*);
using DnsFreeFunction = VOID(WINAPI*)(PVOID, DNS_FREE_TYPE);

constexpr DNS_STATUS kPending = 9506; // DNS_REQUEST_PENDING
constexpr DNS_STATUS kNoRecords = 9501;
constexpr DNS_STATUS kNameError = 9003;
constexpr DNS_STATUS kServerFailure = 9002;
constexpr DNS_STATUS kNotImplemented = 9004;
constexpr DNS_STATUS kRefused = 9005;
constexpr WORD kTypeA = 1;
// The wire only: no cache, no hosts file, no NetBIOS or multicast stand-ins.
constexpr ULONG64 kOptions = DNS_QUERY_BYPASS_CACHE | DNS_QUERY_WIRE_ONLY |
                             DNS_QUERY_NO_HOSTS_FILE | DNS_QUERY_NO_NETBT | DNS_QUERY_NO_MULTICAST;
// A stop asked for is seen within this time.
constexpr std::chrono::milliseconds kLongestWait{250};

bool IsAnswer(DNS_STATUS status) {
    return status == ERROR_SUCCESS || status == kNoRecords || status == kNameError;
}

// The system's way of saying it has no such service.
bool MeansUnavailable(DNS_STATUS status) {
    return status == ERROR_CALL_NOT_IMPLEMENTED || status == ERROR_NOT_SUPPORTED ||
           status == ERROR_INVALID_FUNCTION;
}

std::string FailureText(DNS_STATUS status) {
    switch (status) {
    case ERROR_TIMEOUT:
    case ERROR_CANCELLED:
        return "no answer in time";
    case kRefused:
        return "refused the query";
    case kServerFailure:
        return "answered with a server failure";
    case kNotImplemented:
        return "answered that it does not implement the query";
    default:
        return platform::win32::ErrorText(static_cast<std::uint32_t>(status));
    }
}

class Resolver {
public:
    Resolver() : library_("dnsapi.dll") {
        query_ = library_.function<DnsQueryExFunction>("DnsQueryEx");
        cancel_ = library_.function<DnsCancelQueryFunction>("DnsCancelQuery");
        free_ = library_.function<DnsFreeFunction>("DnsFree");
        for (const auto& [name, found] : {std::pair{"DnsQueryEx", query_ != nullptr},
                                          {"DnsCancelQuery", cancel_ != nullptr},
                                          {"DnsFree", free_ != nullptr}})
            if (!found)
                throw Unavailable(std::string{"this system's resolver cannot be pointed at a "
                                              "server: dnsapi.dll has no "} +
                                  name + " (Windows 8 and later have it)");
    }

    DnsQueryExFunction query_ = nullptr;
    DnsCancelQueryFunction cancel_ = nullptr;
    DnsFreeFunction free_ = nullptr;

private:
    platform::Library library_;
};

// One query in flight: the system answers on a thread of its own.
struct Query {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    DNS_STATUS status = ERROR_SUCCESS;
    DNS_QUERY_RESULT result{};

    static VOID WINAPI Completed(PVOID context, PDNS_QUERY_RESULT result) {
        auto& query = *static_cast<Query*>(context);
        const std::lock_guard lock(query.mutex);
        query.status = result->QueryStatus;
        query.done = true;
        query.answered.notify_all();
    }
};

// What the threads share with the caller's.
struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    int done = 0;
    int running = 0;
    bool stopping = false;
    std::string unavailable;
};

class ServerRun {
public:
    ServerRun(const Endpoint& server, std::vector<std::string> order, int queries,
              const Options& options, const Clock& clock, const Resolver& resolver, Shared& shared)
        : order_(std::move(order)), options_(options), clock_(clock), resolver_(resolver),
          shared_(shared) {
        result_.server = server;
        result_.queries = queries;
        std::memset(&servers_, 0, sizeof servers_);
        servers_.maxCount = servers_.addrCount = 1;
        if (server.ipv6) {
            sockaddr_in6 address{};
            address.sin6_family = AF_INET6;
            address.sin6_port = NetworkOrder(server.port);
            const auto bytes = platform::net::ParseIpv6(server.address);
            if (bytes) std::memcpy(&address.sin6_addr, bytes->data(), bytes->size());
            std::memcpy(servers_.addrArray[0].maxSa, &address, sizeof address);
            servers_.family = AF_INET6;
        } else {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = NetworkOrder(server.port);
            const auto bytes = platform::net::ParseIpv4(server.address);
            if (bytes) std::memcpy(&address.sin_addr, bytes->data(), bytes->size());
            std::memcpy(servers_.addrArray[0].maxSa, &address, sizeof address);
            servers_.family = AF_INET;
        }
    }

    void Work() {
        int lostInARow = 0;
        for (std::size_t next = 0; next < order_.size(); ++next) {
            const auto left = static_cast<int>(order_.size() - next);
            if (Stopping()) break;
            if (options_.enoughAnswers > 0 &&
                static_cast<int>(result_.times.size()) >= options_.enoughAnswers) {
                result_.queries -= left;
                Ended(left);
                break;
            }
            if (result_.times.empty() && lostInARow >= options_.giveUpAfter) {
                result_.lost += left;
                Ended(left);
                break;
            }
            const auto outcome = Ask(order_[next]);
            if (!outcome) break; // stopped, or no service
            if (IsAnswer(outcome->status)) {
                result_.times.push_back(outcome->time);
                lostInARow = 0;
            } else {
                ++result_.lost;
                ++lostInARow;
                result_.failure = FailureText(outcome->status);
            }
            Ended(1);
        }
        const std::lock_guard lock(shared_.mutex);
        --shared_.running;
        shared_.changed.notify_all();
    }

    Result TakeResult() { return std::move(result_); }

private:
    struct Outcome {
        DNS_STATUS status;
        Duration time;
    };

    static USHORT NetworkOrder(std::uint16_t port) {
        const unsigned char bytes[2] = {static_cast<unsigned char>(port >> 8),
                                        static_cast<unsigned char>(port & 0xff)};
        USHORT value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }

    bool Stopping() {
        const std::lock_guard lock(shared_.mutex);
        return shared_.stopping;
    }

    TimePoint Now() {
        // The caller's clock is not asked from two threads at once.
        const std::lock_guard lock(shared_.mutex);
        return clock_();
    }

    void Ended(int count) {
        const std::lock_guard lock(shared_.mutex);
        shared_.done += count;
        shared_.changed.notify_all();
    }

    // Nothing when the test stopped or the system has no such service.
    std::optional<Outcome> Ask(const std::string& name) {
        const std::wstring wide(name.begin(), name.end()); // host names are ASCII
        Query query;
        QueryRequest request{};
        request.version = 1;
        request.queryName = wide.c_str();
        request.queryType = kTypeA;
        request.queryOptions = kOptions;
        request.dnsServerList = &servers_;
        request.queryCompletionCallback = &Query::Completed;
        request.queryContext = &query;
        QueryCancel cancel{};
        query.result.Version = DNS_QUERY_RESULTS_VERSION1;

        const TimePoint sent = Now();
        const DNS_STATUS started = resolver_.query_(&request, &query.result, &cancel);
        if (started != kPending) {
            // Answered (or refused) at once; the callback is not called.
            query.status = started == ERROR_SUCCESS ? query.result.QueryStatus : started;
            query.done = true;
        } else {
            std::unique_lock lock(query.mutex);
            const TimePoint deadline = sent + options_.timeout;
            while (!query.done) {
                lock.unlock();
                const TimePoint now = Now();
                const bool stopping = Stopping();
                lock.lock();
                if (query.done) break;
                if (now >= deadline || stopping) {
                    lock.unlock();
                    resolver_.cancel_(&cancel);
                    lock.lock();
                    // The system answers a cancelled query too, and the
                    // query's memory is in use until it has.
                    query.answered.wait(lock, [&] { return query.done; });
                    if (stopping) {
                        Free(query);
                        return std::nullopt;
                    }
                    query.status = ERROR_TIMEOUT;
                    break;
                }
                query.answered.wait_for(lock, std::min<std::chrono::steady_clock::duration>(
                                                  kLongestWait, deadline - now));
            }
        }
        const TimePoint received = Now();
        Free(query);
        if (MeansUnavailable(query.status)) {
            const std::lock_guard lock(shared_.mutex);
            shared_.unavailable =
                "this system's resolver does not ask a chosen server (" +
                platform::win32::ErrorText(static_cast<std::uint32_t>(query.status)) + ")";
            shared_.stopping = true;
            shared_.changed.notify_all();
            return std::nullopt;
        }
        return Outcome{query.status, std::chrono::duration_cast<Duration>(received - sent)};
    }

    void Free(Query& query) {
        if (query.result.pQueryRecords)
            resolver_.free_(query.result.pQueryRecords, DnsFreeRecordList);
        query.result.pQueryRecords = nullptr;
    }

    Result result_;
    std::vector<std::string> order_;
    const Options& options_;
    const Clock& clock_;
    const Resolver& resolver_;
    Shared& shared_;
    QueryAddressArray servers_;
};

} // namespace

std::vector<Result> Run(const std::vector<Endpoint>& servers, const Options& options,
                        const Clock& clock, const Progress& progress, std::stop_token stop) {
    if (servers.empty()) return {};
    const Resolver resolver;
    const int perServer = static_cast<int>(options.names.size()) * std::max(options.rounds, 0);
    const int total = perServer * static_cast<int>(servers.size());
    std::mt19937 random(options.seed ? options.seed : std::random_device{}());

    Shared shared;
    std::vector<std::unique_ptr<ServerRun>> runs;
    for (const Endpoint& server : servers) {
        std::vector<std::string> order;
        for (int round = 0; round < options.rounds; ++round)
            order.insert(order.end(), options.names.begin(), options.names.end());
        std::shuffle(order.begin(), order.end(), random);
        runs.push_back(std::make_unique<ServerRun>(server, std::move(order), perServer, options,
                                                   clock, resolver, shared));
    }
    {
        std::vector<std::jthread> threads;
        shared.running = static_cast<int>(runs.size());
        for (auto& run : runs)
            threads.emplace_back([&run = *run] { run.Work(); });
        // Progress and the stop are the caller's thread's.
        int reported = 0;
        std::unique_lock lock(shared.mutex);
        while (shared.running > 0) {
            shared.changed.wait_for(lock, kLongestWait);
            if (stop.stop_requested()) shared.stopping = true;
            if (progress && shared.done != reported) {
                reported = shared.done;
                lock.unlock();
                progress(reported, total);
                lock.lock();
            }
        }
    } // the threads are joined here
    if (!shared.unavailable.empty()) throw Unavailable(shared.unavailable);

    std::vector<Result> results;
    for (auto& run : runs)
        results.push_back(run->TakeResult());
    return results;
}

} // namespace velmora::speedtest

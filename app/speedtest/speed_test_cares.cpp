// The speed test's queries on c-ares: one channel per server, every channel
// driven from one loop over their sockets.

#include "app/speedtest/speed_test.h"
#include "platform/net/address.h"
#include "platform/net/socket_wait.h"

#include <algorithm>
#include <ares.h>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>

namespace velmora::speedtest {

namespace {

// Answers that came from the server: data, no data, no such name.
bool IsAnswer(int status) {
    return status == ARES_SUCCESS || status == ARES_ENODATA || status == ARES_ENOTFOUND;
}

std::string FailureText(int status) {
    switch (status) {
    case ARES_ETIMEOUT:
        return "no answer in time";
    case ARES_EREFUSED:
        return "refused the query";
    case ARES_ESERVFAIL:
        return "answered with a server failure";
    case ARES_ECONNREFUSED:
        return "unreachable";
    default:
        return ares_strerror(status);
    }
}

struct LibraryScope {
    LibraryScope() {
        if (ares_library_init(ARES_LIB_INIT_ALL) != ARES_SUCCESS)
            throw std::runtime_error("cannot initialise the resolver library");
    }
    ~LibraryScope() { ares_library_cleanup(); }
    LibraryScope(const LibraryScope&) = delete;
    LibraryScope& operator=(const LibraryScope&) = delete;
};

class Prober;

// One server: its own channel, its queries in a shuffled order, one in
// flight at a time.
struct ServerRun {
    Prober* owner = nullptr;
    Result result;
    ares_channel channel = nullptr;
    std::vector<std::string> order;
    std::size_t next = 0;
    bool inFlight = false;
    TimePoint sentAt;
    int lostInARow = 0;

    ~ServerRun() {
        if (channel) ares_destroy(channel);
    }
};

class Prober {
public:
    Prober(const Options& options, const Clock& clock, const Progress& progress, int total)
        : options_(options), clock_(clock), progress_(progress), total_(total) {}

    void Open(ServerRun& run) {
        ares_options settings{};
        // A refusal or a server failure is handed to us as such, rather
        // than passed off as a server that cannot be reached.
        settings.flags = ARES_FLAG_NOSEARCH | ARES_FLAG_NOALIASES | ARES_FLAG_NOCHECKRESP;
        settings.timeout = static_cast<int>(options_.timeout.count());
        settings.tries = 1;
        if (ares_init_options(&run.channel, &settings,
                              ARES_OPT_FLAGS | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES) !=
            ARES_SUCCESS) {
            run.channel = nullptr;
            throw std::runtime_error("cannot set up a resolver channel");
        }
        ares_addr_port_node node{};
        const Endpoint& server = run.result.server;
        bool parsed = false;
        // The bytes in network order, as the resolver's address fields hold them.
        if (server.ipv6) {
            node.family = AF_INET6;
            const auto address = platform::net::ParseIpv6(server.address);
            static_assert(sizeof node.addr.addr6 == std::tuple_size_v<platform::net::Ipv6Address>);
            if ((parsed = address.has_value())) std::memcpy(&node.addr.addr6, address->data(), 16);
        } else {
            node.family = AF_INET;
            const auto address = platform::net::ParseIpv4(server.address);
            static_assert(sizeof node.addr.addr4 == std::tuple_size_v<platform::net::Ipv4Address>);
            if ((parsed = address.has_value())) std::memcpy(&node.addr.addr4, address->data(), 4);
        }
        if (!parsed) throw std::runtime_error("not an address: " + run.result.server.address);
        node.udp_port = node.tcp_port = run.result.server.port;
        if (ares_set_servers_ports(run.channel, &node) != ARES_SUCCESS)
            throw std::runtime_error("cannot use the server " + run.result.server.text);
    }

    // Sends the server's next query, unless one is in flight or none is left.
    void SendNext(ServerRun& run) {
        if (run.inFlight || run.next >= run.order.size()) return;
        if (options_.enoughAnswers > 0 &&
            static_cast<int>(run.result.times.size()) >= options_.enoughAnswers) {
            const auto left = static_cast<int>(run.order.size() - run.next);
            run.result.queries -= left;
            run.next = run.order.size();
            Ended(left);
            return;
        }
        if (run.result.times.empty() && run.lostInARow >= options_.giveUpAfter) {
            // Every query left counts as lost.
            const auto left = static_cast<int>(run.order.size() - run.next);
            run.result.lost += left;
            run.next = run.order.size();
            Ended(left);
            return;
        }
        const std::string& name = run.order[run.next++];
        run.inFlight = true;
        run.sentAt = clock_();
        // A send that fails answers at once, from inside this call.
        ares_query(run.channel, name.c_str(), 1 /* class IN */, 1 /* type A */, &Answered, &run);
    }

    void Ended(int count) {
        done_ += count;
        if (progress_) progress_(done_, total_);
    }

private:
    static void Answered(void* data, int status, int, unsigned char*, int) {
        auto& run = *static_cast<ServerRun*>(data);
        if (status == ARES_EDESTRUCTION) return;
        Prober& self = *run.owner;
        run.inFlight = false;
        if (IsAnswer(status)) {
            run.result.times.push_back(
                std::chrono::duration_cast<Duration>(self.clock_() - run.sentAt));
            run.lostInARow = 0;
        } else {
            ++run.result.lost;
            ++run.lostInARow;
            run.result.failure = FailureText(status);
        }
        self.Ended(1);
        // The next query is sent from the loop, not from inside c-ares.
        self.ready_.push_back(&run);
    }

public:
    std::vector<ServerRun*> ready_;

private:
    const Options& options_;
    const Clock& clock_;
    const Progress& progress_;
    int total_;
    int done_ = 0;
};

} // namespace

std::vector<Result> Run(const std::vector<Endpoint>& servers, const Options& options,
                        const Clock& clock, const Progress& progress, std::stop_token stop) {
    if (servers.empty()) return {};
    LibraryScope library;
    const int perServer = static_cast<int>(options.names.size()) * std::max(options.rounds, 0);
    Prober prober(options, clock, progress, perServer * static_cast<int>(servers.size()));
    std::mt19937 random(options.seed ? options.seed : std::random_device{}());

    std::vector<std::unique_ptr<ServerRun>> runs;
    for (const Endpoint& server : servers) {
        auto run = std::make_unique<ServerRun>();
        run->owner = &prober;
        run->result.server = server;
        run->result.queries = perServer;
        for (int round = 0; round < options.rounds; ++round)
            run->order.insert(run->order.end(), options.names.begin(), options.names.end());
        std::shuffle(run->order.begin(), run->order.end(), random);
        prober.Open(*run);
        runs.push_back(std::move(run));
    }
    for (auto& run : runs)
        prober.SendNext(*run);

    // A stop asked for from another thread is seen after at most one wait.
    constexpr timeval kLongestWait{0, 250'000};
    for (;;) {
        if (stop.stop_requested()) break;
        while (!prober.ready_.empty()) {
            std::vector<ServerRun*> ready;
            ready.swap(prober.ready_);
            for (ServerRun* run : ready)
                prober.SendNext(*run);
        }
        std::vector<platform::net::SocketWait> waits;
        std::vector<ServerRun*> owners;
        timeval wait = kLongestWait;
        bool busy = false;
        for (auto& run : runs) {
            if (!run->inFlight) continue;
            busy = true;
            ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
            const int bits = ares_getsock(run->channel, sockets, ARES_GETSOCK_MAXNUM);
            for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
                platform::net::SocketWait socket;
                socket.socket = sockets[i];
                socket.wantRead = ARES_GETSOCK_READABLE(bits, i);
                socket.wantWrite = ARES_GETSOCK_WRITABLE(bits, i);
                if (!socket.wantRead && !socket.wantWrite) continue;
                waits.push_back(socket);
                owners.push_back(run.get());
            }
            timeval left;
            wait = *ares_timeout(run->channel, &wait, &left);
        }
        if (!busy || stop.stop_requested()) break;
        const std::chrono::milliseconds milliseconds{wait.tv_sec * 1000 + wait.tv_usec / 1000 + 1};
        if (!platform::net::WaitForSockets(waits, milliseconds))
            throw std::runtime_error("poll failed");
        for (std::size_t i = 0; i < waits.size(); ++i) {
            const platform::net::SocketWait& ready = waits[i];
            if (!ready.readable && !ready.writable) continue;
            ares_process_fd(owners[i]->channel, ready.readable ? ready.socket : ARES_SOCKET_BAD,
                            ready.writable ? ready.socket : ARES_SOCKET_BAD);
        }
        // Time limits run out without any socket becoming ready.
        for (auto& run : runs)
            if (run->inFlight) ares_process_fd(run->channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
    }

    std::vector<Result> results;
    for (auto& run : runs)
        results.push_back(std::move(run->result));
    return results;
}

} // namespace velmora::speedtest

#pragma once
// A DNS server for tests, on 127.0.0.1 and a port of the system's choosing,
// run by a thread of the test process: it answers every A query with
// 192.0.2.1, after a delay if asked to, refuses every query, or never
// answers.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace velmora::testing {

class DnsResponder {
public:
    enum class Mode { Answer, Drop, Refuse };

    explicit DnsResponder(Mode mode, std::chrono::milliseconds delay = {})
        : mode_(mode), delay_(delay) {
        socket_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("cannot open a local DNS responder");
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~DnsResponder() {
        stop_ = true;
        thread_.join();
        ::close(socket_);
    }
    DnsResponder(const DnsResponder&) = delete;
    DnsResponder& operator=(const DnsResponder&) = delete;

    std::string Server() const { return "127.0.0.1:" + std::to_string(port_); }
    int queries() const { return queries_; }

private:
    void Serve() {
        std::vector<unsigned char> packet(512);
        while (!stop_) {
            pollfd fd{socket_, POLLIN, 0};
            if (::poll(&fd, 1, 20) <= 0) continue;
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t size = ::recvfrom(socket_, packet.data(), packet.size(), 0,
                                            reinterpret_cast<sockaddr*>(&from), &length);
            if (size < 12) continue;
            ++queries_;
            if (mode_ == Mode::Drop) continue;
            // The question ends after its name's labels and four bytes.
            std::size_t end = 12;
            while (end < static_cast<std::size_t>(size) && packet[end] != 0)
                end += packet[end] + 1u;
            end += 5;
            if (end > static_cast<std::size_t>(size)) continue;
            std::vector<unsigned char> reply(packet.begin(), packet.begin() + end);
            reply[2] = 0x81; // a response, recursion desired
            if (mode_ == Mode::Refuse) {
                reply[3] = 0x85; // recursion available, refused
                reply[6] = reply[7] = reply[8] = reply[9] = reply[10] = reply[11] = 0;
                ::sendto(socket_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                         length);
                continue;
            }
            reply[3] = 0x80;                                 // recursion available, no error
            reply[6] = 0, reply[7] = 1;                      // one answer
            reply[8] = reply[9] = reply[10] = reply[11] = 0; // nothing else
            const unsigned char answer[] = {0xc0, 12, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4, 192, 0, 2, 1};
            reply.insert(reply.end(), std::begin(answer), std::end(answer));
            if (delay_.count()) std::this_thread::sleep_for(delay_);
            ::sendto(socket_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                     length);
        }
    }

    Mode mode_;
    std::chrono::milliseconds delay_;
    int socket_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> queries_{0};
    std::thread thread_;
};

} // namespace velmora::testing

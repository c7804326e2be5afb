#include "platform/net/route.h"

#include "platform/net/address.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::net {

namespace {

class Socket {
public:
    explicit Socket(int family) : descriptor_(::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~Socket() {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int get() const { return descriptor_; }

private:
    int descriptor_;
};

bool Unreachable(int error) {
    return error == ENETUNREACH || error == EHOSTUNREACH || error == EADDRNOTAVAIL ||
           error == EAFNOSUPPORT;
}

} // namespace

bool HasRouteTo(std::string_view address, std::uint16_t port) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = AF_INET;
    if (const auto v4 = ParseIpv4(address)) {
        auto* target = reinterpret_cast<sockaddr_in*>(&storage);
        target->sin_family = AF_INET;
        target->sin_port = htons(port);
        std::memcpy(&target->sin_addr, v4->data(), v4->size());
        length = sizeof *target;
    } else if (const auto v6 = ParseIpv6(address)) {
        auto* target = reinterpret_cast<sockaddr_in6*>(&storage);
        target->sin6_family = family = AF_INET6;
        target->sin6_port = htons(port);
        std::memcpy(&target->sin6_addr, v6->data(), v6->size());
        length = sizeof *target;
    } else {
        return true;
    }
    Socket socket(family);
    if (socket.get() < 0) return !Unreachable(errno);
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&storage), length) == 0)
        return true;
    return !Unreachable(errno);
}

} // namespace platform::net

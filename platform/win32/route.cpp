#include "platform/net/route.h"

#include "platform/net/address.h"
#include "platform/win32/windows_api.h"
#include "platform/win32/winsock.h"

#include <cstring>
#include <winsock2.h>
#include <ws2tcpip.h>

namespace platform::net {
namespace {

class Socket {
public:
    explicit Socket(int family) : socket_(::socket(family, SOCK_DGRAM, IPPROTO_UDP)) {}
    ~Socket() {
        if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET get() const { return socket_; }

private:
    SOCKET socket_;
};

bool Unreachable(int error) {
    return error == WSAENETUNREACH || error == WSAEHOSTUNREACH || error == WSAEADDRNOTAVAIL ||
           error == WSAEAFNOSUPPORT;
}

} // namespace

bool HasRouteTo(std::string_view address, std::uint16_t port) {
    if (!win32::WinsockStarted()) return true;
    sockaddr_storage storage{};
    int length = 0;
    int family = AF_INET;
    if (const auto v4 = ParseIpv4(address)) {
        auto* target = reinterpret_cast<sockaddr_in*>(&storage);
        target->sin_family = AF_INET;
        target->sin_port = htons(port);
        std::memcpy(&target->sin_addr, v4->data(), v4->size());
        length = sizeof *target;
    } else if (const auto v6 = ParseIpv6(address)) {
        auto* target = reinterpret_cast<sockaddr_in6*>(&storage);
        target->sin6_family = static_cast<ADDRESS_FAMILY>(family = AF_INET6);
        target->sin6_port = htons(port);
        std::memcpy(&target->sin6_addr, v6->data(), v6->size());
        length = sizeof *target;
    } else {
        return true;
    }
    Socket socket(family);
    if (socket.get() == INVALID_SOCKET) return !Unreachable(WSAGetLastError());
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&storage), length) == 0)
        return true;
    return !Unreachable(WSAGetLastError());
}

} // namespace platform::net

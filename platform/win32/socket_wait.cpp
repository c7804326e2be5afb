#include "platform/net/socket_wait.h"

#include "platform/win32/windows_api.h"
#include "platform/win32/winsock.h"

#include <climits>
#include <vector>
#include <winsock2.h>

namespace platform::win32 {

bool WinsockStarted() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

} // namespace platform::win32

namespace platform::net {

bool WaitForSockets(std::span<SocketWait> sockets, std::chrono::milliseconds timeout) {
    const auto milliseconds = timeout.count() < 0         ? 0
                              : timeout.count() > INT_MAX ? INT_MAX
                                                          : static_cast<int>(timeout.count());
    if (sockets.empty()) {
        // WSAPoll refuses an empty set; the wait alone is what is asked.
        Sleep(static_cast<DWORD>(milliseconds));
        return true;
    }
    if (!win32::WinsockStarted()) return false;
    std::vector<WSAPOLLFD> fds;
    fds.reserve(sockets.size());
    for (SocketWait& wait : sockets) {
        wait.readable = wait.writable = false;
        SHORT events = 0;
        if (wait.wantRead) events |= POLLRDNORM;
        if (wait.wantWrite) events |= POLLWRNORM;
        fds.push_back({static_cast<SOCKET>(wait.socket), events, 0});
    }
    if (WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), milliseconds) == SOCKET_ERROR)
        return false;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        sockets[i].readable = (fds[i].revents & (POLLRDNORM | POLLERR | POLLHUP)) != 0;
        sockets[i].writable = (fds[i].revents & POLLWRNORM) != 0;
    }
    return true;
}

} // namespace platform::net

#include "platform/net/socket_wait.h"

#include <cerrno>
#include <climits>
#include <poll.h>
#include <vector>

namespace platform::net {

bool WaitForSockets(std::span<SocketWait> sockets, std::chrono::milliseconds timeout) {
    std::vector<pollfd> fds;
    fds.reserve(sockets.size());
    for (SocketWait& wait : sockets) {
        wait.readable = wait.writable = false;
        short events = 0;
        if (wait.wantRead) events |= POLLIN;
        if (wait.wantWrite) events |= POLLOUT;
        fds.push_back({wait.socket, events, 0});
    }
    const auto milliseconds = timeout.count() < 0         ? 0
                              : timeout.count() > INT_MAX ? INT_MAX
                                                          : static_cast<int>(timeout.count());
    if (::poll(fds.data(), fds.size(), milliseconds) < 0) return errno == EINTR;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        sockets[i].readable = (fds[i].revents & (POLLIN | POLLERR | POLLHUP)) != 0;
        sockets[i].writable = (fds[i].revents & POLLOUT) != 0;
    }
    return true;
}

} // namespace platform::net

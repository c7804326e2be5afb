#pragma once
// Waiting on several sockets at once, as an event loop over a resolver
// library's sockets does: until one of them can be read or written, or a
// time runs out.

#include <chrono>
#include <cstdint>
#include <span>

namespace platform::net {

// A socket as the system names it (a descriptor here, a SOCKET handle on
// Windows), so a library's own socket type converts to it unchanged.
#ifdef _WIN32
using SocketHandle = std::uintptr_t;
#else
using SocketHandle = int;
#endif

struct SocketWait {
    SocketHandle socket{};
    bool wantRead = false;
    bool wantWrite = false;
    // Set by the wait. An error or a hang-up on the socket counts as
    // readable, so its owner reads and learns of it.
    bool readable = false;
    bool writable = false;
};

// Waits until at least one socket is ready or the time has passed (also
// with no sockets at all, so a loop can wait for its next time limit). An
// interrupted wait reports nothing ready. False when the wait itself failed.
bool WaitForSockets(std::span<SocketWait> sockets, std::chrono::milliseconds timeout);

} // namespace platform::net

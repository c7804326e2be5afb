#pragma once
// Whether the system has a route to an address: asked of the routing table
// by connecting a datagram socket, which sends nothing.

#include <cstdint>
#include <string_view>

namespace platform::net {

// True also where the answer is not known (an address that does not parse
// is for the caller's own checks to refuse); false only where the system
// says the network or host cannot be reached.
bool HasRouteTo(std::string_view address, std::uint16_t port);

} // namespace platform::net

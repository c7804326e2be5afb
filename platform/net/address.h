#pragma once
// Internet addresses as text and as the bytes they stand for (network order).
// The text forms accepted are the strict ones every system agrees on, the
// same on every platform, so an address one system takes is never refused by
// another:
//
//   IPv4: four decimal parts of 0 to 255 joined by dots, with no leading zero
//         ("192.0.2.1"; not "192.0.2.01", "192.0.2" or "0x7f.0.0.1").
//   IPv6: eight groups of one to four hexadecimal digits joined by colons,
//         one run of groups of any length (even none at the end) written
//         "::", and the last two groups optionally written as an IPv4
//         address ("2001:db8::1", "::ffff:192.0.2.1"). No zone ("%eth0"),
//         no prefix ("/64"), no brackets.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace platform::net {

using Ipv4Address = std::array<std::uint8_t, 4>;
using Ipv6Address = std::array<std::uint8_t, 16>;

std::optional<Ipv4Address> ParseIpv4(std::string_view text);
std::optional<Ipv6Address> ParseIpv6(std::string_view text);

} // namespace platform::net

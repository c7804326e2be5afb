#include "platform/net/address.h"

#include <algorithm>
#include <cstddef>

namespace platform::net {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<Ipv4Address> ParseIpv4(std::string_view text) {
    Ipv4Address address{};
    std::size_t part = 0;
    unsigned value = 0;
    std::size_t digits = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            // An empty part, or a fifth, is no address.
            if (digits == 0 || part == address.size()) return std::nullopt;
            address[part++] = static_cast<std::uint8_t>(value);
            value = 0;
            digits = 0;
            continue;
        }
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        // A leading zero would read as octal on some systems and as decimal
        // on others; neither reading is taken.
        if (digits == 1 && value == 0) return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 255) return std::nullopt;
        ++digits;
    }
    if (part != address.size()) return std::nullopt;
    return address;
}

std::optional<Ipv6Address> ParseIpv6(std::string_view text) {
    Ipv6Address address{};
    std::size_t filled = 0;         // bytes written so far
    std::optional<std::size_t> gap; // where "::" stands
    std::size_t i = 0;
    if (text.empty()) return std::nullopt;
    // A leading colon only as the first half of "::".
    if (text[0] == ':') {
        if (text.size() < 2 || text[1] != ':') return std::nullopt;
        i = 1;
    }
    std::size_t group = i; // where the group being read starts
    unsigned value = 0;
    std::size_t digits = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (const int digit = HexDigit(c); digit >= 0) {
            if (digits == 4) return std::nullopt;
            value = (value << 4) | static_cast<unsigned>(digit);
            ++digits;
            continue;
        }
        if (c == ':') {
            group = i + 1;
            if (digits == 0) {
                if (gap) return std::nullopt; // a second "::", or ":::"
                gap = filled;
                continue;
            }
            // A group cannot end the text with a lone colon.
            if (i + 1 == text.size() || filled + 2 > address.size()) return std::nullopt;
            address[filled++] = static_cast<std::uint8_t>(value >> 8);
            address[filled++] = static_cast<std::uint8_t>(value);
            value = 0;
            digits = 0;
            continue;
        }
        // The rest of the text, from the start of this group, is an IPv4
        // address filling the last four bytes.
        if (c != '.' || filled + 4 > address.size()) return std::nullopt;
        const auto tail = ParseIpv4(text.substr(group));
        if (!tail) return std::nullopt;
        std::copy(tail->begin(), tail->end(),
                  address.begin() + static_cast<std::ptrdiff_t>(filled));
        filled += 4;
        digits = 0;
        break;
    }
    if (digits > 0) {
        if (filled + 2 > address.size()) return std::nullopt;
        address[filled++] = static_cast<std::uint8_t>(value >> 8);
        address[filled++] = static_cast<std::uint8_t>(value);
    }
    if (gap) {
        // "::" stands for at least one group of zeros.
        if (filled == address.size()) return std::nullopt;
        const std::size_t after = filled - *gap;
        std::copy_backward(address.begin() + static_cast<std::ptrdiff_t>(*gap),
                           address.begin() + static_cast<std::ptrdiff_t>(filled), address.end());
        std::fill_n(address.begin() + static_cast<std::ptrdiff_t>(*gap),
                    address.size() - after - *gap, std::uint8_t{0});
        filled = address.size();
    }
    if (filled != address.size()) return std::nullopt;
    return address;
}

} // namespace platform::net

#include "app/messages.h"

namespace velmora::app::text {

std::string AboutOpenDns() {
    std::string message = "This option will set your new DNS servers to the ips of ";
    message += kOpenDnsDomain;
    message += "\r\n";
    message += "These DNS servers I personally use and are free, for more info visit ";
    message += kOpenDnsHost;
    return message;
}

std::string NothingRecorded(std::string_view description) {
    return "Nothing is recorded for " + std::string{description} +
           ": Velmora has not changed it since the last restore.";
}

std::string BackendUnavailable(std::string_view cause) {
    return "backend unavailable: " + std::string{cause};
}

std::string LeftOutServers(int count, bool ipv6) {
    const std::string family = ipv6 ? "IPv6" : "IPv4";
    return std::to_string(count) + " " + family + (count == 1 ? " server is" : " servers are") +
           " left out: this machine has no " + family + " route to " +
           (count == 1 ? "it." : "them.");
}

std::string_view ReturnCodeMessage(std::int16_t code) {
    switch (code) {
    case 0:
    case 1:
        return kDone;
    case 64:
        return "Status: Error! - Method not supported on this platform.";
    case 65:
        return "Status: Error! - Unknown failure.";
    case 66:
        return "Status: Error! - Invalid subnet mask.";
    case 67:
        return "Status: Error! - An error occured while processing an instance that was returned.";
    case 68:
        return "Status: Error! - Invalid input parameter.";
    case 70:
        return "Status: Error! - Invalid IP address.";
    case 71:
        return "Status: Error! - Invalid gateway IP address.";
    case 79:
        return "Status: Error! - Invalid security parameter.";
    case 80:
        return "Status: Error! - Unable to configure TCP/IP service.";
    case 81:
        return "Status: Error! - Unable to configure DHCP service.";
    case 84:
        return "Status: Error! - IP not enabled on adapter.";
    case 87:
        return "Status: Error! - Invalid frame type.";
    case 88:
        return "Status: Error! - Invalid network number.";
    case 90:
        return "Status: Error! - Parameter out of bounds.";
    case 91:
        return "Status: Error! - Access denied.";
    case 92:
        return "Status: Error! - Out of memory.";
    case 97:
        return "Status: Error! - Interface not configurable.";
    case 100:
        return "Status: Error! - DHCP not enabled on adapter.";
    default:
        return "Status: Error! - Unknown.";
    }
}

} // namespace velmora::app::text

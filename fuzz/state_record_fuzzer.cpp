// A record of an adapter's DNS settings, read back from the state folder
// before a restore: any bytes either parse into a record that survives a
// round trip unchanged and holds only valid servers, or are refused with
// ManagementError, never anything else.

#include "app/management/management.h"
#include "app/management/state_record.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmora::management;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    StateRecord record;
    try {
        record = ParseStateRecord(text);
    } catch (const ManagementError&) {
        return 0;
    }
    for (const auto* family : {&record.state.ipv4, &record.state.ipv6})
        for (const auto& server : family->servers)
            if (!IsValidStateServer(server)) std::abort();
    if (ParseStateRecord(SerializeStateRecord(record)) != record) std::abort();
    return 0;
}

// The simulated management component's state file: any bytes either parse
// into a state that survives a round trip unchanged or are refused with
// ManagementError, never anything else.

#include "app/management/simulated_backend.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmora::management;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    SimulatedState state;
    try {
        state = ParseSimulatedState(text);
    } catch (const ManagementError&) {
        return 0;
    }
    if (ParseSimulatedState(SerializeSimulatedState(state)) != state) std::abort();
    return 0;
}

// The memory of this process that is in use, for the test that a new
// section costs nothing of its size until written.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: psapi.h needs its types.
#include <cstdint>
#include <psapi.h>

std::int64_t residentBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
    return static_cast<std::int64_t>(counters.WorkingSetSize);
}

#pragma once
// cCDECL: loads a library by name and calls its exported functions with up
// to five integer (pointer-sized) arguments, resolving a function's address
// once and again only when the name changes or after DllLoad.

#include "platform/system/library.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace platform {

class cCDECL {
public:
    static constexpr std::size_t kMaxArguments = 5;

    // Loads the library; true when a handle was obtained. Marks the cached
    // function address stale.
    bool DllLoad(const std::string& sName);
    // Calls sFunction with ParmLongs, element 0 as the leftmost argument.
    // No call is made, and the answer is empty, when no library is loaded,
    // the library does not export the name, or more than five arguments are
    // given; LastError then tells which (127 no such function, 87 too many
    // arguments, 126 no library).
    std::optional<std::intptr_t> CallFunc(const std::string& sFunction,
                                          std::span<const std::intptr_t> ParmLongs);
    // Frees the library; false when nothing was loaded.
    bool DllUnload();
    // The thread's error value captured right after the latest call.
    int LastError() const { return lastError_; }

    // How many times an address was looked up (for tests of the cache).
    int lookups() const { return lookups_; }

private:
    Library library_;
    std::string lastName_;
    void* address_ = nullptr;
    bool stale_ = true;
    int lastError_ = 0;
    int lookups_ = 0;
};

} // namespace platform

#pragma once
// Library names the tests load, as each system spells them.

#include "platform/system/environment.h"

#include <string>

namespace testnames {

#ifdef _WIN32
// The one zlib a Windows program has: zlib1.dll beside it.
inline std::string systemZlib() {
    const auto names = platform::Environment::DefaultZlibLibraryNames();
    return names.empty() ? std::string("zlib1.dll") : names.front();
}
inline constexpr const char* kMissingLibrary = "no-such-library.dll";
#else
inline std::string systemZlib() {
    return "libz.so.1";
}
inline constexpr const char* kMissingLibrary = "libno-such-library.so";
#endif

} // namespace testnames

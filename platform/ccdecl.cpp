#include "platform/ccdecl.h"

#include <cerrno>

namespace platform {
namespace {

constexpr int kErrorModNotFound = 126;
constexpr int kErrorProcNotFound = 127;
constexpr int kErrorInvalidParameter = 87;

using Arg = std::intptr_t;

Arg invoke(void* address, std::span<const Arg> a) {
    // One typed call per arity: the callee sees exactly the arguments given.
    switch (a.size()) {
    case 0:
        return reinterpret_cast<Arg (*)()>(address)();
    case 1:
        return reinterpret_cast<Arg (*)(Arg)>(address)(a[0]);
    case 2:
        return reinterpret_cast<Arg (*)(Arg, Arg)>(address)(a[0], a[1]);
    case 3:
        return reinterpret_cast<Arg (*)(Arg, Arg, Arg)>(address)(a[0], a[1], a[2]);
    case 4:
        return reinterpret_cast<Arg (*)(Arg, Arg, Arg, Arg)>(address)(a[0], a[1], a[2], a[3]);
    default:
        return reinterpret_cast<Arg (*)(Arg, Arg, Arg, Arg, Arg)>(address)(a[0], a[1], a[2], a[3],
                                                                           a[4]);
    }
}

} // namespace

bool cCDECL::DllLoad(const std::string& sName) {
    library_ = Library(sName);
    stale_ = true;
    address_ = nullptr;
    return library_.loaded();
}

std::optional<std::intptr_t> cCDECL::CallFunc(const std::string& sFunction,
                                              std::span<const std::intptr_t> ParmLongs) {
    if (ParmLongs.size() > kMaxArguments) {
        lastError_ = kErrorInvalidParameter;
        return std::nullopt;
    }
    if (!library_.loaded()) {
        lastError_ = kErrorModNotFound;
        return std::nullopt;
    }
    if (stale_ || sFunction != lastName_) {
        address_ = library_.symbol(sFunction);
        ++lookups_;
        lastName_ = sFunction;
        stale_ = false;
    }
    // The original called whatever address came back, 0 included; a name the
    // library does not export is a failed call here.
    if (!address_) {
        lastError_ = kErrorProcNotFound;
        return std::nullopt;
    }
    errno = 0;
    const std::intptr_t result = invoke(address_, ParmLongs);
    lastError_ = errno;
    return result;
}

bool cCDECL::DllUnload() {
    address_ = nullptr;
    stale_ = true;
    return library_.reset();
}

} // namespace platform

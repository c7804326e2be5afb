#pragma once
// The libraries of the JPEG, TIFF and WebP readers are loaded by their
// runtime names the first time a file of their format is decoded, not
// linked: with their own dependencies (zstd, lzma, jbig, Lerc, ...) they
// would otherwise be mapped into every process that merely starts this
// library. Each reader resolves the functions it calls into a table of
// pointers typed from the library's own header, so a call through the
// table is checked as a direct call would be.

#include <dlfcn.h>
#include <memory>

namespace vimg {

class RuntimeLibrary {
public:
    // Empty when the library is not installed or will not load. The code
    // stays mapped when the handle is closed (at exit, for the readers'
    // own), so a decode still running on another thread then is not cut
    // from under its feet.
    explicit RuntimeLibrary(const char* soname)
        : handle_(soname != nullptr ? dlopen(soname, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)
                                    : nullptr) {}

    // Sets `slot` to the library's function `name`; false when the library
    // lacks it (or is not loaded).
    template <typename Function>
    bool resolve(Function& slot, const char* name) const {
        slot = nullptr;
        if (!handle_) return false;
        // POSIX guarantees a function's address survives the round trip
        // through dlsym's void*.
        slot = reinterpret_cast<Function>(dlsym(handle_.get(), name));
        return slot != nullptr;
    }

private:
    struct Close {
        void operator()(void* handle) const { dlclose(handle); }
    };
    std::unique_ptr<void, Close> handle_;
};

// Resolves the table member `field` from the function of the same name.
#define VIMG_RESOLVE(library, table, field) (library).resolve((table).field, #field)

} // namespace vimg

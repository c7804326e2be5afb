#include "platform/system/library.h"

#include <dlfcn.h>
#include <link.h>

namespace platform {

Library::Library(const std::string& name) {
    if (!name.empty()) handle_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* Library::symbol(const std::string& name) const {
    if (!handle_ || name.empty()) return nullptr;
    void* address = dlsym(handle_, name.c_str());
    if (!address) return nullptr;
    // dlsym also searches the library's dependencies; an export counts only
    // when it lives in this very library, as with GetProcAddress.
    link_map* map = nullptr;
    Dl_info info{};
    if (dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || !map || dladdr(address, &info) == 0)
        return nullptr;
    const auto base = reinterpret_cast<ElfW(Addr)>(info.dli_fbase);
    // l_addr is the load bias; for a shared object it equals the base address.
    return base == map->l_addr ? address : nullptr;
}

bool Library::reset() {
    if (!handle_) return false;
    const bool ok = dlclose(handle_) == 0;
    handle_ = nullptr;
    return ok;
}

std::string Library::LoadError() {
    const char* error = dlerror();
    return error != nullptr ? error : "unknown error";
}

void* LoadedModule(const char* name) {
    // RTLD_NOLOAD finds a loaded module only; the reference it takes is
    // given back at once.
    void* handle = dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) return nullptr;
    dlclose(handle);
    return handle;
}

void* ModuleExport(void* module, const char* name) {
    return dlsym(module, name);
}

} // namespace platform

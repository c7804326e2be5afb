#include "platform/system/library.h"

#include "platform/win32/system.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

HMODULE native(void* module) {
    return static_cast<HMODULE>(module);
}

} // namespace

Library::Library(const std::string& name) {
    const auto wide = win32::Widen(name);
    if (name.empty() || !wide) return;
    // A named path loads that file; its own dependencies are looked for
    // beside it first. No error box for a missing or broken library.
    const DWORD flags =
        name.find_first_of("\\/") != std::string::npos ? LOAD_WITH_ALTERED_SEARCH_PATH : 0;
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    handle_ = LoadLibraryExW(wide->c_str(), nullptr, flags);
    SetErrorMode(previous);
}

void* Library::symbol(const std::string& name) const {
    if (!handle_ || name.empty()) return nullptr;
    // GetProcAddress looks in this module's exports only (a forwarded export
    // is still this module's).
    return reinterpret_cast<void*>(GetProcAddress(native(handle_), name.c_str()));
}

bool Library::reset() {
    if (!handle_) return false;
    const bool ok = FreeLibrary(native(handle_)) != FALSE;
    handle_ = nullptr;
    return ok;
}

std::string Library::LoadError() {
    return win32::ErrorText(win32::LastError());
}

void* LoadedModule(const char* name) {
    if (name == nullptr) return GetModuleHandleW(nullptr);
    const auto wide = win32::Widen(name);
    return wide ? GetModuleHandleW(wide->c_str()) : nullptr;
}

void* ModuleExport(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(native(module), name));
}

} // namespace platform

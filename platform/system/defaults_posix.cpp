// What the process's settings start from on a POSIX system.

#include "platform/system/environment.h"
#include "platform/system/version.h"

#include <filesystem>
#include <system_error>

namespace platform {

std::vector<std::string> Environment::DefaultZlibLibraryNames() {
    return {"libz.so.1", "libz.so"};
}

std::vector<std::string> Environment::DefaultImagingLibraryNames() {
    return OwnLibraryNames("libvelmora-imaging.so");
}

std::vector<std::string> Environment::OwnLibraryNames(const std::string& file) {
    std::vector<std::string> names;
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && program.has_parent_path()) {
        names.push_back((program.parent_path() / file).string());
#ifdef VELMORA_BIN_TO_PRIVATE_LIBDIR
        names.push_back((program.parent_path() / VELMORA_BIN_TO_PRIVATE_LIBDIR / file).string());
#endif
    }
    return names;
}

SystemVersion RunningSystemVersion() {
    // The code above decides its drawing paths as on the system it was
    // written for; this system has no such record of its own.
    return {};
}

} // namespace platform

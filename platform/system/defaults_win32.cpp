// What the process's settings start from on Windows.

#include "platform/system/environment.h"
#include "platform/system/version.h"
#include "platform/win32/system.h"

namespace platform {

std::vector<std::string> Environment::DefaultZlibLibraryNames() {
    // The one zlib a Windows program has: the DLL beside it.
    std::vector<std::string> names;
    if (const auto program = win32::ProgramFile()) {
        if (auto name = win32::Narrow((program->parent_path() / L"zlib1.dll").native()))
            names.push_back(std::move(*name));
    }
    return names;
}

std::vector<std::string> Environment::DefaultImagingLibraryNames() {
    return OwnLibraryNames("velmora-imaging.dll");
}

std::vector<std::string> Environment::OwnLibraryNames(const std::string& file) {
    // Beside the program only: never a bare name the system's search order
    // would resolve from the current folder or the PATH.
    std::vector<std::string> names;
    if (const auto program = win32::ProgramFile()) {
        if (auto name = win32::Narrow((program->parent_path() / file).native()))
            names.push_back(std::move(*name));
    }
    return names;
}

SystemVersion RunningSystemVersion() {
    const auto running = win32::QueryRunningVersion();
    if (!running) return {};
    SystemVersion version;
    version.platformId = running->platformId;
    version.major = running->major;
    version.minor = running->minor;
    version.build = running->build;
    version.servicePackMajor = running->servicePackMajor;
    version.servicePackMinor = running->servicePackMinor;
    version.extendedRecord = true;
    return version;
}

} // namespace platform

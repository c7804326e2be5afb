#include "platform/system/environment.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace platform {
namespace {

// The one record of process-wide settings. Readers and scopes run on the
// thread that drives the program or the test; nothing changes it while
// another thread reads.
Environment& active() {
    static Environment environment;
    return environment;
}

} // namespace

std::vector<std::string> Environment::DefaultImagingLibraryNames() {
    constexpr const char* kName = "libvelmora-imaging.so";
    std::vector<std::string> names;
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && program.has_parent_path()) {
        names.push_back((program.parent_path() / kName).string());
#ifdef VELMORA_BIN_TO_PRIVATE_LIBDIR
        names.push_back((program.parent_path() / VELMORA_BIN_TO_PRIVATE_LIBDIR / kName).string());
#endif
    }
    // No bare name: the system's search path is not where the service is
    // looked for.
    return names;
}

const Environment& CurrentEnvironment() {
    return active();
}

Environment& ProcessEnvironment() {
    return active();
}

ScopedEnvironment::ScopedEnvironment() : previous_(active()) {}

ScopedEnvironment::ScopedEnvironment(Environment replacement) : previous_(active()) {
    active() = std::move(replacement);
}

ScopedEnvironment::~ScopedEnvironment() {
    active() = std::move(previous_);
}

Environment* ScopedEnvironment::operator->() {
    return &active();
}

Environment& ScopedEnvironment::operator*() {
    return active();
}

} // namespace platform

#pragma once
// Which management component the program talks to, as chosen on the
// command line: the system's own (--backend=networkmanager on Linux,
// --backend=wmi on Windows, the default) or --backend=simulated[:FILE].
// Each system's build knows its own component only.

#include "app/management/management.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::management {

struct BackendChoice {
    enum class Kind { NetworkManager, Wmi, Simulated };
#ifdef _WIN32
    Kind kind = Kind::Wmi;
#else
    Kind kind = Kind::NetworkManager;
#endif
    // For Simulated: the state file; none means the built-in sample.
    std::optional<std::filesystem::path> stateFile;
};

// The value after "--backend="; nullopt when it names no backend.
std::optional<BackendChoice> ParseBackendChoice(std::string_view value);

std::unique_ptr<Backend> MakeBackend(const BackendChoice& choice);

// The parts of the program's help that tell what this system's component
// does, each as whole lines (window: the rest of the opening sentence).
struct SystemHelp {
    std::string_view window;
    std::string_view status;
    std::string_view flush;
    std::string_view dot;
    std::string_view stateFolder;
    std::string_view unavailable;
    std::string_view families;
    std::string_view screenshot;
};
const SystemHelp& SystemHelpText();

// The help text's "Backends:" section: those this build knows.
std::string BackendHelpText();

} // namespace velmora::management

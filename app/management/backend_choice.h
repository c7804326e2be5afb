#pragma once
// Which management component the program talks to, as chosen on the
// command line: --backend=networkmanager or --backend=simulated[:FILE].

#include "app/management/management.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

namespace velmora::management {

struct BackendChoice {
    enum class Kind { NetworkManager, Simulated };
    Kind kind = Kind::NetworkManager;
    // For Simulated: the state file; none means the built-in sample.
    std::optional<std::filesystem::path> stateFile;
};

// The value after "--backend="; nullopt when it names no backend.
std::optional<BackendChoice> ParseBackendChoice(std::string_view value);

std::unique_ptr<Backend> MakeBackend(const BackendChoice& choice);

} // namespace velmora::management

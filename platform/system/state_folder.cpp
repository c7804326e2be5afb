#include "platform/system/state_folder.h"

#include <cstdlib>

namespace platform {

std::optional<std::string> EnvironmentVariable(std::string_view name) {
    const char* value = std::getenv(std::string(name).c_str());
    if (!value) return std::nullopt;
    return std::string(value);
}

std::optional<std::filesystem::path> StateFolder(std::string_view program,
                                                 const VariableLookup& lookup) {
    std::string folder;
    for (const char c : program)
        folder += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    // A relative path would name a different folder from every working
    // directory; such a setting is taken as no setting.
    const auto absolute = [&](std::string_view name) -> std::optional<std::filesystem::path> {
        auto value = lookup(name);
        if (!value) return std::nullopt;
        std::filesystem::path path(std::move(*value));
        if (!path.is_absolute()) return std::nullopt;
        return path;
    };
    if (auto state = absolute("XDG_STATE_HOME")) return *state / folder;
    if (auto home = absolute("HOME")) return *home / ".local" / "state" / folder;
    return std::nullopt;
}

std::optional<std::filesystem::path> StateFolder(std::string_view program) {
    return StateFolder(program, EnvironmentVariable);
}

} // namespace platform

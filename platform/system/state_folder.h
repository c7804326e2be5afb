#pragma once
// Where a program keeps what it must remember for the user between runs
// (records of what it changed, its own settings), and the process's
// environment variables it is chosen from.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A variable of the process's environment, as UTF-8; nothing when it is not
// set.
std::optional<std::string> EnvironmentVariable(std::string_view name);

// Looks an environment variable up, as EnvironmentVariable does; tests give
// their own environment.
using VariableLookup = std::function<std::optional<std::string>(std::string_view name)>;

// The state folder of the program called `program` (as people write it,
// "Velmora"), by the system's convention: $XDG_STATE_HOME/velmora, else
// $HOME/.local/state/velmora, here (folder names in lower case, variables
// that are not absolute paths ignored); %LOCALAPPDATA%\Velmora on Windows.
// Nothing when the environment names no such folder. The folder may not
// exist yet.
std::optional<std::filesystem::path> StateFolder(std::string_view program,
                                                 const VariableLookup& lookup);
std::optional<std::filesystem::path> StateFolder(std::string_view program);

} // namespace platform

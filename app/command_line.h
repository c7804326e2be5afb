#pragma once
// The program's command line: the same logic as the window, without one.
//
//   velmora [--backend=...]                    opens the window
//   velmora [--backend=...] list               Index<TAB>Description per adapter
//   velmora [--backend=...] show INDEX         the two current servers
//   velmora [--backend=...] set INDEX S1 S2    applies two servers
//   velmora [--backend=...] dhcp INDEX         back to automatic DNS
//   velmora --help | --version

#include "app/management/backend_choice.h"

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace velmora::app {

struct CommandLine {
    enum class Command { Window, Help, Version, List, Show, Set, Dhcp };
    Command command = Command::Window;
    // Without --backend: NetworkManager.
    management::BackendChoice backend;
    std::int32_t index = 0;
    std::string first;
    std::string second;
};

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitBackendUnavailable = 3;

struct UsageError {
    std::string message;
};

// The arguments after the program name.
std::variant<CommandLine, UsageError> ParseCommandLine(std::span<const std::string_view> args);

std::string HelpText();

// The program's name and version, one line.
std::string VersionText();

// Runs a command other than Window, Help and Version; returns the exit
// status. Results go to `out`, failures to `err`.
int RunCommand(const CommandLine& line, management::Backend& backend, std::ostream& out,
               std::ostream& err);

} // namespace velmora::app

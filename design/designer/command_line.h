#pragma once
// velmora-designer's command line: [--screenshot OUT.png] [STORE].

#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <variant>

namespace velmora::designer {

inline constexpr int kExitOk = 0;
inline constexpr int kExitNo = 1;
inline constexpr int kExitUsage = 2;

struct Options {
    bool help = false;
    std::string store;      // empty: a new form
    std::string screenshot; // empty: run the window
};

struct UsageError {
    std::string reason;
};

std::variant<Options, UsageError> ParseCommandLine(std::span<const char* const> words);
void PrintHelp(std::ostream& out);

} // namespace velmora::designer

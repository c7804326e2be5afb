#pragma once
// velmora-form: the commands, their options and their exit codes.

#include <iosfwd>
#include <span>
#include <string_view>

namespace velmora_form {

enum ExitCode : int {
    kOk = 0,
    kFailure = 1, // the operation answered False
    kUsage = 2,   // bad arguments, or a damaged store
};

void PrintHelp(std::ostream& out);
// The message on standard error, then kUsage.
int Usage(std::string_view message);
// Runs the command the words name (the command name first).
int Run(std::span<char* const> words);

} // namespace velmora_form

#include "platform/system/console.h"

#include <unistd.h>

namespace platform {

bool IsTerminal(StandardStream stream) {
    const int fd = stream == StandardStream::Input    ? STDIN_FILENO
                   : stream == StandardStream::Output ? STDOUT_FILENO
                                                      : STDERR_FILENO;
    return ::isatty(fd) == 1;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    if (argc <= 1 || argv == nullptr) return {};
    return std::vector<std::string>(argv + 1, argv + argc);
}

void AttachParentConsole() {}

void UseUtf8Console() {}

} // namespace platform

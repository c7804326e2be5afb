#include "platform/host/window_host.h"

#include <iostream>

namespace platform {
namespace {

WindowHost* installedHost = nullptr;

} // namespace

int ConsoleHost::MessageBox(const std::string& text, const std::string& caption,
                            unsigned /*flags*/) {
    std::cerr << caption << ": " << text << '\n';
    return IDOK;
}

WindowHost& CurrentHost() {
    static ConsoleHost console;
    return installedHost ? *installedHost : console;
}

void SetCurrentHost(WindowHost* host) {
    installedHost = host;
}

} // namespace platform

#include "platform/host/window_host.h"

#include "platform/system/environment.h"

#include <iostream>

namespace platform {
namespace {} // namespace

int ConsoleHost::MessageBox(const std::string& text, const std::string& caption,
                            unsigned /*flags*/) {
    std::cerr << caption << ": " << text << '\n';
    return IDOK;
}

WindowHost& CurrentHost() {
    static ConsoleHost console;
    WindowHost* const host = CurrentEnvironment().host;
    return host != nullptr ? *host : console;
}

} // namespace platform

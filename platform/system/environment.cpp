#include "platform/system/environment.h"

#include <utility>

namespace platform {
namespace {

// The one record of process-wide settings. Readers and scopes run on the
// thread that drives the program or the test; nothing changes it while
// another thread reads.
Environment& active() {
    static Environment environment;
    return environment;
}

} // namespace

const Environment& CurrentEnvironment() {
    return active();
}

Environment& ProcessEnvironment() {
    return active();
}

ScopedEnvironment::ScopedEnvironment() : previous_(active()) {}

ScopedEnvironment::ScopedEnvironment(Environment replacement) : previous_(active()) {
    active() = std::move(replacement);
}

ScopedEnvironment::~ScopedEnvironment() {
    active() = std::move(previous_);
}

Environment* ScopedEnvironment::operator->() {
    return &active();
}

Environment& ScopedEnvironment::operator*() {
    return active();
}

} // namespace platform

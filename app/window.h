#pragma once
// The program's window, where this system's build has one (the Qt view on
// Linux); a build without one says so and ends.

#include "app/management/recording_backend.h"
#include "app/management/verified_change.h"

#include <iosfwd>
#include <string>

namespace velmora::app {

// Runs the window until it is closed and answers the program's exit
// status; `err` takes the reason where there is no window.
int OpenWindow(int& argc, char** argv, management::RecordingBackend& backend,
               const std::string& screenshot, management::ChangeGuard* guard, std::ostream& err);

} // namespace velmora::app

// A build without a window (Windows, until the window comes there): the
// commands work, the window is unavailable.

#include "app/command_line.h"
#include "app/window.h"

#include <ostream>

namespace velmora::app {

int OpenWindow(int&, char**, management::RecordingBackend&, const std::string&,
               management::ChangeGuard*, std::ostream& err) {
    err << "velmora: this build has no window yet; the commands work (velmora --help lists "
           "them)\n";
    return kExitUnsupported;
}

} // namespace velmora::app

#include "app/qt/frm_main_window.h"
#include "app/window.h"

namespace velmora::app {

int OpenWindow(int& argc, char** argv, management::RecordingBackend& backend,
               const std::string& screenshot, management::ChangeGuard* guard, std::ostream&) {
    return RunWindow(argc, argv, backend, screenshot, guard);
}

} // namespace velmora::app

#include "platform/qt/qt_display.h"

#include "platform/system/state_folder.h"

namespace platform {

bool QtDisplayAvailable() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (const auto value = EnvironmentVariable(name); value && !value->empty()) return true;
    return false;
}

} // namespace platform

#include "app/win32/window_images.h"
namespace velmora::app {
WindowHost::WindowHost() = default;
WindowHost::~WindowHost() = default;
WindowImages::WindowImages(WindowHost&, const platform::FormRecord&, Win32FrmMainWindow&,
                           FrmMain&) {}
platform::FormRecord WindowImages::EmbeddedStore() {
    return {};
}
} // namespace velmora::app

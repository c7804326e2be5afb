#pragma once
// PLACEHOLDER until the Win32 host lands.
#include "app/frm_main.h"
#include "app/win32/frm_main_window.h"
#include "platform/host/form_store.h"
#include "platform/host/window_host.h"

#include <memory>

namespace velmora::app {

class WindowHost {
public:
    WindowHost();
    ~WindowHost();
    platform::WindowHost* services() { return nullptr; }
};

class WindowImages {
public:
    WindowImages(WindowHost& host, const platform::FormRecord& store, Win32FrmMainWindow& window,
                 FrmMain& form);
    static platform::FormRecord EmbeddedStore();
};

} // namespace velmora::app

#pragma once
// The window's image controls on Windows: the logo in Picture1 and the
// three link images in Picture4, restored from the window's form store
// (compiled into the program) through the control's own restore path,
// drawn by the Win32 host's containers over the picture boxes, their
// clicks handed to FrmMain.

#include "app/embedded_form.h"
#include "app/frm_main.h"
#include "app/win32/frm_main_window.h"
#include "control/aic_alpha_image.h"
#include "control/form_instance.h"
#include "platform/host/form_store.h"
#include "platform/win32/win32_container.h"
#include "platform/win32/win32_host.h"

#include <memory>
#include <string_view>
#include <vector>

namespace velmora::app {

class WindowImages {
public:
    // Makes the host's record of the window and a container over each
    // picture box (named as the box, the store's container names), then
    // restores the store's image controls into them. `form` receives the
    // links' clicks. The window draws the containers when it is printed.
    WindowImages(platform::Win32Host& host, const platform::FormRecord& store,
                 Win32FrmMainWindow& window, FrmMain& form);
    // The controls end, then their containers and the window's record
    // (which ends the imaging session they share).
    ~WindowImages();
    WindowImages(const WindowImages&) = delete;
    WindowImages& operator=(const WindowImages&) = delete;

    aicAlphaImage* control(std::string_view name) const;
    platform::Win32ControlContainer* container(std::string_view boxName) const;

private:
    struct Box {
        std::string name;
        std::unique_ptr<platform::Win32ControlContainer> container;
    };
    void Place();

    platform::Win32Host& host_;
    Win32FrmMainWindow& window_;
    platform::HWND form_ = 0;
    std::vector<Box> boxes_;
    velmora::FormInstance images_;
};

} // namespace velmora::app

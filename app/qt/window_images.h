#pragma once
// The window's image controls: the logo in Picture1 and the three link
// images in Picture4, restored from the window's form store (compiled into
// the program) through the control's own restore path, drawn by the Qt
// container inside each picture box, their clicks handed to FrmMain.

#include "app/embedded_form.h"
#include "app/frm_main.h"
#include "control/aic_alpha_image.h"
#include "control/form_instance.h"
#include "platform/host/form_store.h"
#include "platform/qt/qt_container.h"
#include "platform/qt/qt_host.h"

#include <QFrame>
#include <memory>
#include <string_view>
#include <vector>

namespace velmora::app {

class WindowImages {
public:
    // Makes a window record for the form and one for each picture box in
    // `boxes` (their object names are the store's container names), then
    // restores the store's image controls into them. `form` receives the
    // links' clicks.
    WindowImages(platform::QtHost& host, const platform::FormRecord& store,
                 const std::vector<QFrame*>& boxes, FrmMain& form);
    // The controls end, then their windows (which ends the imaging session
    // they share).
    ~WindowImages();
    WindowImages(const WindowImages&) = delete;
    WindowImages& operator=(const WindowImages&) = delete;

    aicAlphaImage* control(std::string_view name) const;
    platform::QtControlContainer* container(std::string_view boxName) const;

private:
    struct Box {
        QFrame* frame;
        platform::HWND window;
        std::unique_ptr<platform::QtControlContainer> container;
    };

    platform::QtHost& host_;
    platform::HWND form_ = 0;
    std::vector<Box> boxes_;
    velmora::FormInstance images_;
};

} // namespace velmora::app

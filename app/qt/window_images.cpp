#include "app/qt/window_images.h"

#include "control/property_table.h"

namespace velmora::app {

WindowImages::WindowImages(platform::QtHost& host, const platform::FormRecord& store,
                           const std::vector<QFrame*>& boxes, FrmMain& form)
    : host_(host) {
    // The window on screen is the form's record, so the tree the controls
    // climb, the cursor's window and the picture boxes' places are the real
    // ones; each picture box is a child record over its inner area.
    form_ = boxes.empty() ? 0 : host_.AdoptWindow(boxes.front()->window(), "#32770");
    form.SetWindow(form_);
    for (QFrame* frame : boxes) {
        const QRect inner = frame->contentsRect();
        const QPoint at = frame->mapTo(frame->window(), inner.topLeft());
        const std::string name = frame->objectName().toStdString();
        const platform::HWND window = host_.CreateWindowExA(
            0, "Static", name.c_str(), platform::WS_CHILD | platform::WS_VISIBLE, at.x(), at.y(),
            inner.width(), inner.height(), form_, 0, 0, nullptr);
        auto container = std::make_unique<platform::QtControlContainer>(host_, window, frame);
        container->setGeometry(inner);
        container->setBackground(frame->palette().color(QPalette::Window));
        container->setEventHandler(
            [&form](platform::QtContainerSite& site, std::string_view event,
                    std::span<platform::EventArg>) { ImageEvent(form, site.name(), event); });
        boxes_.push_back({frame, window, std::move(container)});
    }

    // The controls run as in the program: each is shown once restored.
    images_.open(
        store,
        [this](const platform::FormControlRecord& record) -> platform::ControlContainer* {
            return container(record.container);
        },
        true);
}

WindowImages::~WindowImages() {
    images_.close();
    boxes_.clear();
    host_.DestroyWindow(form_);
}

aicAlphaImage* WindowImages::control(std::string_view name) const {
    const velmora::FormInstance::LiveControl* image = images_.find(name);
    return image != nullptr ? image->control.get() : nullptr;
}

platform::QtControlContainer* WindowImages::container(std::string_view boxName) const {
    for (const Box& box : boxes_)
        if (velmora::EqualsNoCase(box.frame->objectName().toStdString(), boxName))
            return box.container.get();
    return nullptr;
}

} // namespace velmora::app

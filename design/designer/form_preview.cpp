#include "design/designer/form_preview.h"

#include "control/property_table.h"
#include "platform/host/event_text.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <algorithm>

namespace velmora::designer {

namespace {

constexpr int kLogWidth = 320;

QRect rectOf(const platform::FormControlRecord& r) {
    return QRect(r.left, r.top, r.width, r.height);
}

} // namespace

FormPreview::FormPreview(platform::QtHost& host, platform::FormRecord form)
    : host_(host), start_(host.GetTickCount()) {
    const std::string title = "Preview";
    setWindowTitle(QString::fromStdString(title));
    // The form's area lies at the window's origin, so the window records'
    // places (children of the window's record) are the widgets' places.
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    area_ = new QWidget(this);
    area_->setFixedSize(std::max(1, form.width), std::max(1, form.height));
    layout->addWidget(area_, 0, Qt::AlignLeft | Qt::AlignTop);
    log_ = new QListWidget(this);
    log_->setMinimumWidth(kLogWidth);
    log_->setObjectName(QStringLiteral("EventLog"));
    layout->addWidget(log_, 1);
    resize(area_->width() + kLogWidth, std::max(area_->height(), 240));
    window_ = host_.AdoptWindow(this, "#32770");

    addBox({}, QRect(0, 0, area_->width(), area_->height()));
    for (const platform::FormControlRecord& r : form.controls)
        if (!velmora::FormInstance::IsImageControl(r)) addBox(r.name, rectOf(r));
    // The controls run as in the program: each is shown once restored.
    instance_.open(
        std::move(form),
        [this](const platform::FormControlRecord& r) -> platform::ControlContainer* {
            return container(r.container) ? container(r.container) : container();
        },
        true);
}

FormPreview::~FormPreview() {
    instance_.close();
    std::vector<platform::HWND> windows;
    for (Box& box : boxes_) {
        box.container.reset();
        windows.push_back(box.window);
    }
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        host_.DestroyWindow(*it);
    host_.DestroyWindow(window_);
}

void FormPreview::addBox(std::string name, const QRect& place) {
    Box box;
    box.name = std::move(name);
    const std::string caption = box.name.empty() ? std::string("Form") : box.name;
    box.window = host_.CreateWindowExA(
        0, "Static", caption.c_str(), platform::WS_CHILD | platform::WS_VISIBLE, place.x(),
        place.y(), place.width(), place.height(), window_, 0, 0, nullptr);
    box.container = std::make_unique<platform::QtControlContainer>(host_, box.window, area_);
    box.container->setGeometry(place);
    box.container->setBackground(box.name.empty() ? palette().color(QPalette::Window)
                                                  : QColor(Qt::white));
    box.container->setEventHandler([this](platform::QtContainerSite& site, std::string_view event,
                                          std::span<platform::EventArg> args) {
        const std::string line = std::to_string(host_.GetTickCount() - start_) + ' ' +
                                 platform::EventText(site.name(), event, args);
        log_->addItem(QString::fromStdString(line));
        log_->scrollToBottom();
    });
    box.container->show();
    boxes_.push_back(std::move(box));
}

platform::QtControlContainer* FormPreview::container(std::string_view box) const {
    for (const Box& b : boxes_)
        if (box.empty() ? b.name.empty() : (!b.name.empty() && EqualsNoCase(b.name, box)))
            return b.container.get();
    return nullptr;
}

std::vector<std::string> FormPreview::events() const {
    std::vector<std::string> out;
    for (int i = 0; i < log_->count(); ++i)
        out.push_back(log_->item(i)->text().toStdString());
    return out;
}

} // namespace velmora::designer

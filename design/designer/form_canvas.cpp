#include "design/designer/form_canvas.h"

#include "control/property_table.h"
#include "design/designer/selection_overlay.h"

#include <QPalette>
#include <algorithm>

namespace velmora::designer {

namespace {

constexpr QRgb kBoxBackground = 0xFFFFFFFF; // picture boxes stand out from the form

QRect rectOf(const platform::FormControlRecord& r) {
    return QRect(r.left, r.top, r.width, r.height);
}

} // namespace

const std::string& FormCanvas::Control::name(const FormCanvas& canvas) const {
    return canvas.form_.controls[record].name;
}

QRect FormCanvas::Control::local() const {
    const platform::RECT e = site->Extent();
    return QRect(e.left, e.top, e.right - e.left, e.bottom - e.top);
}

QRect FormCanvas::Control::onCanvas() const {
    return local().translated(box->place.topLeft());
}

FormCanvas::FormCanvas(platform::QtHost& host, platform::HWND owner, QWidget* parent)
    : QWidget(parent), host_(host), owner_(owner) {
    overlay_ = new SelectionOverlay(*this);
}

FormCanvas::~FormCanvas() {
    teardown();
}

void FormCanvas::teardown() {
    // The controls end first (while their containers and windows still
    // stand), then the containers, then the containers' windows, which ends
    // the imaging session the controls shared.
    quiet_ = true;
    for (auto& c : controls_) {
        c->control->Hide();
        c->control->Terminate();
    }
    for (auto& c : controls_) {
        c->box->container->detach(*c->site);
        c->control.reset();
    }
    controls_.clear();
    std::vector<platform::HWND> windows;
    for (auto& box : boxes_) {
        box->container.reset();
        windows.push_back(box->window);
    }
    boxes_.clear();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        host_.DestroyWindow(*it);
    quiet_ = false;
}

FormCanvas::Box& FormCanvas::addBox(std::string name, const QRect& place) {
    auto box = std::make_unique<Box>();
    box->name = std::move(name);
    box->place = place;
    const std::string caption = box->name.empty() ? std::string("Form") : box->name;
    box->window = host_.CreateWindowExA(0, "Static", caption.c_str(),
                                        platform::WS_CHILD | platform::WS_VISIBLE, place.x(),
                                        place.y(), place.width(), place.height(), owner_, 0, 0,
                                        nullptr);
    box->container = std::make_unique<platform::QtControlContainer>(host_, box->window, this);
    platform::QtControlContainer& container = *box->container;
    container.setUserMode(false); // a form being edited: design time
    container.setGeometry(place);
    if (!box->name.empty()) container.setBackground(QColor::fromRgb(kBoxBackground));
    // The controls get no clicks of their own while the form is edited: the
    // overlay above takes the pointer.
    container.setAttribute(Qt::WA_TransparentForMouseEvents);
    container.setChangeHandler([this](platform::QtContainerSite& site, std::string_view property) {
        if (!quiet_ && onControlChanged) onControlChanged(site.name(), property);
    });
    container.show();
    boxes_.push_back(std::move(box));
    return *boxes_.back();
}

void FormCanvas::load(platform::FormRecord form, std::string_view fresh) {
    teardown();
    form_ = std::move(form);
    const QSize size(std::max(1, form_.width), std::max(1, form_.height));
    setFixedSize(size);
    quiet_ = true;
    addBox({}, QRect(QPoint(0, 0), size));
    for (const platform::FormControlRecord& r : form_.controls)
        if (!EqualsNoCase(r.type, aicAlphaImage::kTypeName)) addBox(r.name, rectOf(r));

    // Every control is sited before any is restored, so each finds the
    // others of its container for the link they share.
    for (std::size_t i = 0; i < form_.controls.size(); ++i) {
        const platform::FormControlRecord& r = form_.controls[i];
        if (!EqualsNoCase(r.type, aicAlphaImage::kTypeName)) continue;
        Box* box = boxes_.front().get();
        if (!r.container.empty()) {
            for (auto& b : boxes_)
                if (!b->name.empty() && EqualsNoCase(b->name, r.container)) box = b.get();
        }
        auto c = std::make_unique<Control>();
        c->record = i;
        c->box = box;
        c->site = &box->container->addSite(r.type, r.name,
                                           {r.left, r.top, r.left + r.width, r.top + r.height});
        c->control = std::make_unique<aicAlphaImage>(*c->site);
        box->container->attach(*c->site, *c->control, c->control.get());
        controls_.push_back(std::move(c));
    }
    for (auto& c : controls_) {
        const platform::FormControlRecord& r = form_.controls[c->record];
        if (!fresh.empty() && EqualsNoCase(r.name, fresh))
            c->control->InitProperties();
        else
            c->control->ReadProperties(r.properties);
    }
    quiet_ = false;
    overlay_->setGeometry(rect());
    overlay_->raise();
    overlay_->formLoaded();
}

const platform::FormRecord& FormCanvas::record() {
    quiet_ = true;
    for (auto& c : controls_) {
        platform::FormControlRecord& r = form_.controls[c->record];
        c->control->WriteProperties(r.properties);
        const QRect place = c->local();
        r.left = place.x();
        r.top = place.y();
        r.width = place.width();
        r.height = place.height();
    }
    quiet_ = false;
    return form_;
}

FormCanvas::Control* FormCanvas::find(std::string_view name) const {
    for (const auto& c : controls_)
        if (EqualsNoCase(c->name(*this), name)) return c.get();
    return nullptr;
}

FormCanvas::Control* FormCanvas::controlAt(const QPoint& p) const {
    // Picture boxes lie over the form, so their controls lie over the
    // form's; within a container the later control is on top.
    for (auto box = boxes_.rbegin(); box != boxes_.rend(); ++box)
        for (auto c = controls_.rbegin(); c != controls_.rend(); ++c)
            if ((*c)->box == box->get() && (*c)->onCanvas().contains(p)) return c->get();
    return nullptr;
}

FormCanvas::Box& FormCanvas::boxAt(const QPoint& p) const {
    for (auto box = boxes_.rbegin(); box != boxes_.rend(); ++box)
        if ((*box)->place.contains(p)) return **box;
    return *boxes_.front();
}

std::vector<std::string> FormCanvas::names() const {
    std::vector<std::string> out;
    for (const platform::FormControlRecord& r : form_.controls)
        out.push_back(r.name);
    return out;
}

void FormCanvas::place(Control& control, const QRect& onCanvas) {
    const QRect local = onCanvas.translated(-control.box->place.topLeft());
    control.site->Move({local.x(), local.y(), local.x() + std::max(1, local.width()),
                        local.y() + std::max(1, local.height())});
    control.control->Resize();
    overlay_->update();
}

void FormCanvas::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    overlay_->setGeometry(rect());
}

} // namespace velmora::designer

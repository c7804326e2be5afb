#include "design/designer/form_canvas.h"

#include "control/property_table.h"
#include "design/designer/edit_geometry.h"
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
    return canvas.instance_.record(*live).name;
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
    controls_.clear();
    instance_.close();
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
    box->window = host_.CreateWindowExA(
        0, "Static", caption.c_str(), platform::WS_CHILD | platform::WS_VISIBLE, place.x(),
        place.y(), place.width(), place.height(), owner_, 0, 0, nullptr);
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

void FormCanvas::load(platform::FormRecord form) {
    teardown();
    const QSize size(std::max(1, form.width), std::max(1, form.height));
    setFixedSize(size);
    quiet_ = true;
    addBox({}, QRect(QPoint(0, 0), size));
    for (const platform::FormControlRecord& r : form.controls)
        if (!velmora::FormInstance::IsImageControl(r)) addBox(r.name, rectOf(r));

    instance_.open(std::move(form), [this](const platform::FormControlRecord& r) {
        return boxOf(r).container.get();
    });
    for (const auto& live : instance_.controls())
        track(*live);
    quiet_ = false;
    overlay_->setGeometry(rect());
    overlay_->raise();
    overlay_->formLoaded();
}

FormCanvas::Box& FormCanvas::boxOf(const platform::FormControlRecord& r) const {
    Box* named = r.container.empty() ? nullptr : findBox(r.container);
    return named != nullptr ? *named : *boxes_.front();
}

FormCanvas::Control& FormCanvas::track(velmora::FormInstance::LiveControl& live) {
    auto c = std::make_unique<Control>();
    c->live = &live;
    c->box = &boxOf(instance_.record(live));
    c->site = c->box->container->site(*live.site);
    c->control = live.control.get();
    controls_.push_back(std::move(c));
    return *controls_.back();
}

FormCanvas::Control& FormCanvas::add(platform::FormControlRecord record) {
    platform::QtControlContainer& container = *boxOf(record).container;
    quiet_ = true;
    Control& c = track(instance_.add(std::move(record), container));
    quiet_ = false;
    overlay_->update();
    return c;
}

void FormCanvas::remove(const std::vector<std::string>& names) {
    quiet_ = true;
    std::erase_if(controls_, [&](const std::unique_ptr<Control>& c) {
        if (!HasName(names, c->name(*this))) return false;
        instance_.remove(*c->live);
        return true;
    });
    quiet_ = false;
    overlay_->formLoaded();
}

void FormCanvas::rename(Control& control, std::string name) {
    instance_.rename(*control.live, std::move(name));
    overlay_->update();
}

const platform::FormRecord& FormCanvas::record() {
    quiet_ = true;
    const platform::FormRecord& form = instance_.save();
    quiet_ = false;
    return form;
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
    for (const platform::FormControlRecord& r : instance_.form().controls)
        out.push_back(r.name);
    return out;
}

void FormCanvas::place(Control& control, const QRect& onCanvas) {
    const QRect local = onCanvas.translated(-control.box->place.topLeft());
    control.site->Move({local.x(), local.y(), local.x() + std::max(1, local.width()),
                        local.y() + std::max(1, local.height())});
    overlay_->update();
}

FormCanvas::Control& FormCanvas::settle(Control& control, const QRect& onCanvas,
                                        const QPoint& drop) {
    // A control outside its container's rectangle would be clipped away,
    // hidden, so it goes where it was dropped and is kept whole inside it.
    Box& box = boxAt(drop);
    const QRect kept = LimitToBox(onCanvas, box.place);
    if (&box == control.box) {
        place(control, kept);
        return control;
    }
    return moveInto(control, box.name, kept.translated(-box.place.topLeft()));
}

FormCanvas::Control& FormCanvas::moveInto(Control& control, std::string_view boxName,
                                          const QRect& local) {
    const bool sameBox = control.box->name.empty() ? boxName.empty() || findBox(boxName) == nullptr
                                                   : EqualsNoCase(control.box->name, boxName);
    if (sameBox) {
        place(control, local.translated(control.box->place.topLeft()));
        return control;
    }
    // A control belongs to its container's site for life: it is saved into
    // its record, ended, and restored from the record in the new container.
    quiet_ = true;
    velmora::FormInstance::LiveControl& live = *control.live;
    instance_.save(live);
    platform::FormControlRecord& r = instance_.record(live);
    r.container = std::string(boxName);
    r.left = local.x();
    r.top = local.y();
    r.width = local.width();
    r.height = local.height();
    const aicAlphaImage* before = control.control;
    std::erase_if(controls_,
                  [&](const std::unique_ptr<Control>& c) { return c.get() == &control; });
    Control& moved = track(instance_.rebuild(live, *boxOf(r).container));
    quiet_ = false;
    overlay_->update();
    if (onControlRebuilt) onControlRebuilt(before, moved.control);
    return moved;
}

void FormCanvas::placeBox(Box& box, const QRect& onCanvas) {
    box.place = QRect(onCanvas.topLeft(), onCanvas.size().expandedTo(QSize(1, 1)));
    box.container->setGeometry(box.place);
    overlay_->raise();
    overlay_->update();
}

void FormCanvas::boxPlaces(platform::FormRecord& form) const {
    for (const auto& box : boxes_)
        if (!box->name.empty())
            if (platform::FormControlRecord* r = form.find(box->name)) {
                r->left = box->place.x();
                r->top = box->place.y();
                r->width = box->place.width();
                r->height = box->place.height();
            }
}

FormCanvas::Box* FormCanvas::findBox(std::string_view name) const {
    for (const auto& b : boxes_)
        if (!b->name.empty() && EqualsNoCase(b->name, name)) return b.get();
    return nullptr;
}

void FormCanvas::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    overlay_->setGeometry(rect());
}

} // namespace velmora::designer

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
    for (auto& c : controls_)
        end(*c);
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
    form_ = std::move(form);
    const QSize size(std::max(1, form_.width), std::max(1, form_.height));
    setFixedSize(size);
    quiet_ = true;
    addBox({}, QRect(QPoint(0, 0), size));
    for (const platform::FormControlRecord& r : form_.controls)
        if (!EqualsNoCase(r.type, aicAlphaImage::kTypeName)) addBox(r.name, rectOf(r));

    // Every control is sited before any is restored, so each finds the
    // others of its container for the link they share.
    for (std::size_t i = 0; i < form_.controls.size(); ++i)
        if (EqualsNoCase(form_.controls[i].type, aicAlphaImage::kTypeName)) site(i);
    for (auto& c : controls_)
        c->control->ReadProperties(form_.controls[c->record].properties);
    quiet_ = false;
    overlay_->setGeometry(rect());
    overlay_->raise();
    overlay_->formLoaded();
}

FormCanvas::Control& FormCanvas::site(std::size_t index) {
    const platform::FormControlRecord& r = form_.controls[index];
    Box* box = boxes_.front().get();
    if (Box* named = r.container.empty() ? nullptr : findBox(r.container)) box = named;
    auto c = std::make_unique<Control>();
    c->record = index;
    c->box = box;
    c->site = &box->container->addSite(r.type, r.name,
                                       {r.left, r.top, r.left + r.width, r.top + r.height});
    c->control = std::make_unique<aicAlphaImage>(*c->site);
    box->container->attach(*c->site, *c->control, c->control.get());
    controls_.push_back(std::move(c));
    return *controls_.back();
}

void FormCanvas::end(Control& c) {
    c.box->container->detach(*c.site);
    c.control.reset();
    c.box->container->removeSite(*c.site);
    c.site = nullptr;
}

FormCanvas::Control& FormCanvas::add(platform::FormControlRecord record) {
    record.type = aicAlphaImage::kTypeName;
    form_.controls.push_back(std::move(record));
    Control& c = site(form_.controls.size() - 1);
    quiet_ = true;
    c.control->InitProperties();
    quiet_ = false;
    overlay_->update();
    return c;
}

void FormCanvas::remove(const std::vector<std::string>& names) {
    const auto named = [&](const std::string& name) {
        return std::any_of(names.begin(), names.end(),
                           [&](const std::string& n) { return EqualsNoCase(n, name); });
    };
    quiet_ = true;
    std::vector<bool> gone(form_.controls.size(), false);
    std::erase_if(controls_, [&](const std::unique_ptr<Control>& c) {
        if (!named(c->name(*this))) return false;
        c->control->Hide();
        c->control->Terminate();
        end(*c);
        gone[c->record] = true;
        return true;
    });
    quiet_ = false;
    std::vector<std::size_t> newIndex(form_.controls.size(), 0);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < form_.controls.size(); ++i)
        newIndex[i] = gone[i] ? 0 : kept++;
    for (auto& c : controls_)
        c->record = newIndex[c->record];
    std::size_t i = 0;
    std::erase_if(form_.controls, [&](const platform::FormControlRecord&) { return gone[i++]; });
    overlay_->formLoaded();
}

void FormCanvas::rename(Control& control, std::string name) {
    control.site->setName(name);
    form_.controls[control.record].name = std::move(name);
    overlay_->update();
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
    platform::FormControlRecord& r = form_.controls[control.record];
    control.control->WriteProperties(r.properties);
    r.container = std::string(boxName);
    r.left = local.x();
    r.top = local.y();
    r.width = local.width();
    r.height = local.height();
    const aicAlphaImage* before = control.control.get();
    const std::size_t index = control.record;
    control.control->Hide();
    control.control->Terminate();
    end(control);
    std::erase_if(controls_,
                  [&](const std::unique_ptr<Control>& c) { return c.get() == &control; });
    Control& moved = site(index);
    moved.control->ReadProperties(form_.controls[index].properties);
    quiet_ = false;
    overlay_->update();
    if (onControlRebuilt) onControlRebuilt(before, moved.control.get());
    return moved;
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

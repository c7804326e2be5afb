#include "control/form_instance.h"

#include "control/property_table.h"

#include <algorithm>

namespace velmora {

namespace {

platform::RECT rectOf(const platform::FormControlRecord& r) {
    return {r.left, r.top, r.left + r.width, r.top + r.height};
}

void end(aicAlphaImage& control) {
    control.Hide();
    control.Terminate();
}

} // namespace

FormInstance::~FormInstance() {
    close();
}

bool FormInstance::IsImageControl(const platform::FormControlRecord& record) {
    return EqualsNoCase(record.type, aicAlphaImage::kTypeName);
}

void FormInstance::open(platform::FormRecord form, const ContainerFor& containerFor, bool show,
                        std::optional<std::string_view> fresh) {
    close();
    form_ = std::move(form);
    for (std::size_t i = 0; i < form_.controls.size(); ++i) {
        if (!IsImageControl(form_.controls[i])) continue;
        if (platform::ControlContainer* container = containerFor(form_.controls[i]))
            site(i, *container);
    }
    for (const auto& c : controls_) {
        const platform::FormControlRecord& r = record(*c);
        if (fresh && EqualsNoCase(r.name, *fresh))
            c->control->InitProperties();
        else
            c->control->ReadProperties(r.properties);
        if (show) c->control->Show();
    }
}

void FormInstance::close() {
    for (const auto& c : controls_)
        end(*c->control);
    for (const auto& c : controls_)
        release(*c);
    controls_.clear();
}

FormInstance::LiveControl& FormInstance::site(std::size_t index,
                                              platform::ControlContainer& container) {
    const platform::FormControlRecord& r = form_.controls[index];
    auto c = std::make_unique<LiveControl>();
    c->record = index;
    c->container = &container;
    // The site carries the control's own spelling of its type, whatever the
    // record's: the controls find each other by it.
    c->site = &container.addSite(aicAlphaImage::kTypeName, r.name, rectOf(r));
    c->control = std::make_unique<aicAlphaImage>(*c->site);
    container.attach(*c->site, *c->control, c->control.get());
    controls_.push_back(std::move(c));
    return *controls_.back();
}

void FormInstance::release(LiveControl& c) {
    c.container->detach(*c.site);
    c.control.reset();
    c.container->removeSite(*c.site);
    c.site = nullptr;
}

FormInstance::LiveControl* FormInstance::find(std::string_view name) const {
    for (const auto& c : controls_)
        if (EqualsNoCase(record(*c).name, name)) return c.get();
    return nullptr;
}

void FormInstance::save(LiveControl& c) {
    platform::FormControlRecord& r = record(c);
    c.control->WriteProperties(r.properties);
    const platform::RECT extent = c.site->Extent();
    r.left = extent.left;
    r.top = extent.top;
    r.width = extent.right - extent.left;
    r.height = extent.bottom - extent.top;
}

const platform::FormRecord& FormInstance::save() {
    for (const auto& c : controls_)
        save(*c);
    return form_;
}

FormInstance::LiveControl& FormInstance::add(platform::FormControlRecord record,
                                             platform::ControlContainer& container) {
    record.type = aicAlphaImage::kTypeName;
    form_.controls.push_back(std::move(record));
    LiveControl& c = site(form_.controls.size() - 1, container);
    c.control->InitProperties();
    return c;
}

void FormInstance::remove(LiveControl& control) {
    end(*control.control);
    release(control);
    const std::size_t gone = control.record;
    std::erase_if(controls_,
                  [&](const std::unique_ptr<LiveControl>& c) { return c.get() == &control; });
    form_.controls.erase(form_.controls.begin() + static_cast<std::ptrdiff_t>(gone));
    for (const auto& c : controls_)
        if (c->record > gone) --c->record;
}

void FormInstance::rename(LiveControl& control, std::string name) {
    control.container->renameSite(*control.site, name);
    record(control).name = std::move(name);
}

FormInstance::LiveControl& FormInstance::rebuild(LiveControl& control,
                                                 platform::ControlContainer& container) {
    const std::size_t index = control.record;
    end(*control.control);
    release(control);
    std::erase_if(controls_,
                  [&](const std::unique_ptr<LiveControl>& c) { return c.get() == &control; });
    LiveControl& rebuilt = site(index, container);
    rebuilt.control->ReadProperties(form_.controls[index].properties);
    return rebuilt;
}

} // namespace velmora

#include "form_session.h"

#include "platform/system/environment.h"
#include "control/property_table.h"

#include <algorithm>
#include <string>
#include <vector>

namespace velmora_form {

using velmora::EqualsNoCase;

FormSession::FormSession() {
    platform::ProcessEnvironment().host = &host_;
}

FormSession::~FormSession() {
    // Controls end before their sites, sites before the host.
    for (Control& c : controls_)
        c.control.reset();
    controls_.clear();
    platform::ProcessEnvironment().host = nullptr;
}

platform::RECT FormSession::Control::onForm() const {
    const platform::RECT extent = site->Extent();
    return {std::max(container.left, container.left + extent.left),
            std::max(container.top, container.top + extent.top),
            std::min(container.right, container.left + extent.right),
            std::min(container.bottom, container.top + extent.bottom)};
}

void FormSession::Open(platform::FormRecord form, const platform::FormControlRecord* fresh,
                       bool runTime) {
    form_ = std::move(form);
    window_ = host_.CreateWindowExA(0, "#32770", "Form", platform::WS_VISIBLE, 0, 0, form_.width,
                                    form_.height, 0, 0, 0, nullptr);

    // Each container (the form, or a picture box on it) has its own window
    // and its own list of controls; image controls share a link only with
    // those of their own container.
    struct Container {
        std::string name;
        platform::HWND window = 0;
        platform::RECT place;
        std::vector<platform::SitedControl> controls;
    };
    std::vector<Container> containers{{"", window_, {0, 0, form_.width, form_.height}, {}}};
    const auto containerOf = [&](const std::string& name) -> std::size_t {
        for (std::size_t i = 0; i < containers.size(); ++i)
            if (EqualsNoCase(containers[i].name, name)) return i;
        platform::RECT place{0, 0, form_.width, form_.height};
        if (const platform::FormControlRecord* box = form_.find(name))
            place = {box->left, box->top, box->left + box->width, box->top + box->height};
        const platform::HWND window = host_.CreateWindowExA(
            0, "Static", name.c_str(), platform::WS_CHILD | platform::WS_VISIBLE, place.left,
            place.top, place.right - place.left, place.bottom - place.top, window_, 0, 0, nullptr);
        containers.push_back({name, window, place, {}});
        return containers.size() - 1;
    };

    std::vector<std::size_t> containerIndex;
    std::vector<bool> isFresh;
    for (platform::FormControlRecord& record : form_.controls) {
        const std::size_t index = containerOf(record.container);
        Container& container = containers[index];
        if (!EqualsNoCase(record.type, aicAlphaImage::kTypeName)) {
            container.controls.push_back({record.type, nullptr});
            continue;
        }
        Control c;
        c.record = &record;
        c.site = std::make_unique<platform::HeadlessSite>(
            host_, container.window,
            platform::RECT{record.left, record.top, record.left + record.width,
                           record.top + record.height});
        c.site->userMode = runTime; // editing a form is design-time work
        c.container = container.place;
        c.control = std::make_unique<aicAlphaImage>(*c.site);
        container.controls.push_back({aicAlphaImage::kTypeName, c.control.get()});
        containerIndex.push_back(index);
        isFresh.push_back(fresh != nullptr && EqualsNoCase(record.name, fresh->name));
        controls_.push_back(std::move(c));
    }
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        Control& c = controls_[i];
        c.site->controls = containers[containerIndex[i]].controls;
        if (isFresh[i])
            c.control->InitProperties();
        else
            c.control->ReadProperties(c.record->properties);
        if (runTime) c.control->Show();
        // Restoring is no change of the developer's.
        c.site->changes.clear();
    }
}

FormSession::Control* FormSession::Find(std::string_view name) {
    for (Control& c : controls_)
        if (EqualsNoCase(c.record->name, name)) return &c;
    return nullptr;
}

void FormSession::Save(Control& c) {
    c.control->WriteProperties(c.record->properties);
    const platform::RECT extent = c.site->Extent();
    c.record->left = extent.left;
    c.record->top = extent.top;
    c.record->width = extent.right - extent.left;
    c.record->height = extent.bottom - extent.top;
}

} // namespace velmora_form

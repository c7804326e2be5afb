#include "form_session.h"

#include "control/property_table.h"
#include "platform/system/environment.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace velmora_form {

using velmora::EqualsNoCase;

FormSession::FormSession() {
    platform::ProcessEnvironment().host = &host_;
}

FormSession::~FormSession() {
    // Controls end before their containers, containers before the host.
    controls_.clear();
    instance_.close();
    containers_.clear();
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
    const std::int32_t width = form.width, height = form.height;
    window_ = host_.CreateWindowExA(0, "#32770", "Form", platform::WS_VISIBLE, 0, 0, width, height,
                                    0, 0, 0, nullptr);

    // Each container (the form, or a picture box on it) has its own window
    // and its own list of controls; image controls share a link only with
    // those of their own container. A container no record names lies over
    // the whole form.
    const auto addContainer = [&](const std::string& name, platform::HWND window,
                                  const platform::RECT& place) {
        auto controls = std::make_unique<platform::HeadlessContainer>(host_, window);
        controls->setUserMode(runTime); // editing a form is design-time work
        containers_.push_back({name, place, std::move(controls)});
    };
    addContainer("", window_, {0, 0, width, height});
    for (const platform::FormControlRecord& record : form.controls) {
        const bool known = std::any_of(containers_.begin(), containers_.end(), [&](const auto& c) {
            return EqualsNoCase(c.name, record.container);
        });
        if (known) continue;
        platform::RECT place{0, 0, width, height};
        if (const platform::FormControlRecord* box = form.find(record.container))
            place = {box->left, box->top, box->left + box->width, box->top + box->height};
        const platform::HWND window = host_.CreateWindowExA(
            0, "Static", record.container.c_str(), platform::WS_CHILD | platform::WS_VISIBLE,
            place.left, place.top, place.right - place.left, place.bottom - place.top, window_, 0,
            0, nullptr);
        addContainer(record.container, window, place);
    }
    const auto containerOf = [&](const std::string& name) -> Container& {
        for (Container& c : containers_)
            if (EqualsNoCase(c.name, name)) return c;
        return containers_.front();
    };

    std::optional<std::string_view> freshName;
    if (fresh != nullptr) freshName = fresh->name;
    instance_.open(
        std::move(form),
        [&](const platform::FormControlRecord& record) {
            return containerOf(record.container).controls.get();
        },
        runTime, freshName);

    for (const auto& live : instance_.controls()) {
        platform::FormControlRecord& record = instance_.record(*live);
        const Container& container = containerOf(record.container);
        Control c;
        c.record = &record;
        c.site = container.controls->site(*live->site);
        c.control = live->control.get();
        c.container = container.place;
        c.live = live.get();
        // Restoring is no change of the developer's.
        c.site->changes.clear();
        controls_.push_back(c);
    }
}

FormSession::Control* FormSession::Find(std::string_view name) {
    for (Control& c : controls_)
        if (EqualsNoCase(c.record->name, name)) return &c;
    return nullptr;
}

void FormSession::Save(Control& c) {
    instance_.save(*c.live);
}

} // namespace velmora_form

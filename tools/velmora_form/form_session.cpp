#include "form_session.h"

#include "platform/system/environment.h"
#include "properties.h"

namespace velmora_form {

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

void FormSession::Open(platform::FormRecord form, const platform::FormControlRecord* fresh) {
    form_ = std::move(form);
    window_ = host_.CreateWindowExA(0, "#32770", "Form", platform::WS_VISIBLE, 0, 0, form_.width,
                                    form_.height, 0, 0, 0, nullptr);
    std::vector<platform::SitedControl> sited;
    std::vector<bool> isFresh;
    for (platform::FormControlRecord& record : form_.controls) {
        if (record.type != aicAlphaImage::kTypeName) {
            sited.push_back({record.type, nullptr});
            continue;
        }
        Control c;
        c.record = &record;
        c.site = std::make_unique<platform::HeadlessSite>(
            host_, window_,
            platform::RECT{record.left, record.top, record.left + record.width,
                           record.top + record.height});
        c.site->userMode = false; // editing a form is design-time work
        c.control = std::make_unique<aicAlphaImage>(*c.site);
        sited.push_back({record.type, c.control.get()});
        isFresh.push_back(fresh != nullptr && EqualsNoCase(record.name, fresh->name));
        controls_.push_back(std::move(c));
    }
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        Control& c = controls_[i];
        c.site->controls = sited;
        if (isFresh[i])
            c.control->InitProperties();
        else
            c.control->ReadProperties(c.record->properties);
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

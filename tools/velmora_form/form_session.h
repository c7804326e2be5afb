#pragma once
// velmora-form: a form store brought to life on the headless host at
// design time, each image control restored from its properties through its
// own restore path and saved back through its own save path.

#include "control/aic_alpha_image.h"
#include "platform/host/form_store.h"
#include "platform/testing/headless_site.h"

#include <memory>
#include <string_view>
#include <vector>

namespace velmora_form {

class FormSession {
public:
    // Installs the headless host as the process's host for the session.
    FormSession();
    ~FormSession();
    FormSession(const FormSession&) = delete;
    FormSession& operator=(const FormSession&) = delete;

    // Creates the form's window and a control per image-control record, in
    // the form's order, then restores each one from its properties. A
    // record in fresh is not restored but given a new control's values.
    // With runTime the controls run as in the program (shown, tracking the
    // pointer) rather than as on a form being edited.
    void Open(platform::FormRecord form, const platform::FormControlRecord* fresh = nullptr,
              bool runTime = false);

    struct Control {
        platform::FormControlRecord* record = nullptr;
        std::unique_ptr<platform::HeadlessSite> site;
        std::unique_ptr<aicAlphaImage> control;
        // Where the control's container lies on the form (the form itself
        // for controls on it); the control's place is in its pixels, and
        // nothing of the control shows outside it.
        platform::RECT container{};
        // The control's rectangle on the form, cut to its container.
        platform::RECT onForm() const;
    };
    // The image control of that name (without regard to case), or null.
    Control* Find(std::string_view name);
    std::vector<Control>& Controls() { return controls_; }

    // Writes the control's properties and its place back into its record.
    void Save(Control& control);

    platform::HeadlessHost& Host() { return host_; }
    const platform::FormRecord& Form() const { return form_; }

private:
    platform::HeadlessHost host_;
    platform::FormRecord form_;
    platform::HWND window_ = 0;
    std::vector<Control> controls_;
};

} // namespace velmora_form

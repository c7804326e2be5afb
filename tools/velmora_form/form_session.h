#pragma once
// velmora-form: a form store brought to life on the headless host at
// design time, each image control restored from its properties through its
// own restore path and saved back through its own save path.

#include "control/aic_alpha_image.h"
#include "control/form_instance.h"
#include "platform/host/form_store.h"
#include "platform/testing/headless_site.h"

#include <memory>
#include <string>
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
        platform::HeadlessSite* site = nullptr;
        aicAlphaImage* control = nullptr;
        // Where the control's container lies on the form (the form itself
        // for controls on it); the control's place is in its pixels, and
        // nothing of the control shows outside it.
        platform::RECT container{};
        // The control's rectangle on the form, cut to its container.
        platform::RECT onForm() const;

    private:
        friend class FormSession;
        velmora::FormInstance::LiveControl* live = nullptr;
    };
    // The image control of that name (without regard to case), or null.
    Control* Find(std::string_view name);
    std::vector<Control>& Controls() { return controls_; }

    // Writes the control's properties and its place back into its record.
    void Save(Control& control);

    platform::HeadlessHost& Host() { return host_; }
    const platform::FormRecord& Form() const { return instance_.form(); }

private:
    // The form, or a picture box on it: its own window and its own list of
    // controls.
    struct Container {
        std::string name;
        platform::RECT place;
        std::unique_ptr<platform::HeadlessContainer> controls;
    };

    platform::HeadlessHost host_;
    platform::HWND window_ = 0;
    std::vector<Container> containers_;
    velmora::FormInstance instance_;
    std::vector<Control> controls_;
};

} // namespace velmora_form

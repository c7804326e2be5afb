#pragma once
// A saved form brought to life: each image control of a form store's
// records on a site of the container its caller chooses, restored through
// the control's own restore path, saved back into its record through its own
// save path, and ended in order. Records of other types (the picture boxes)
// are kept as they are. The program's window, the designer and velmora-form
// all bring their forms to life through this one piece, each over its own
// host's container.
//
// The containers must outlive the controls in them: a caller ends the
// instance (close) before it lets its containers go.

#include "control/aic_alpha_image.h"
#include "platform/host/control_container.h"
#include "platform/host/form_store.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class FormInstance {
public:
    // An image control of the form on its site.
    struct LiveControl {
        std::size_t record = 0; // index in the form's records
        platform::ControlContainer* container = nullptr;
        platform::ContainerSite* site = nullptr;
        std::unique_ptr<aicAlphaImage> control;
    };

    // The container a record's control lives in; null leaves the record
    // without a control.
    using ContainerFor =
        std::function<platform::ControlContainer*(const platform::FormControlRecord&)>;

    FormInstance() = default;
    ~FormInstance();
    FormInstance(const FormInstance&) = delete;
    FormInstance& operator=(const FormInstance&) = delete;

    // Whether a record is an image control's: its type is the control's
    // without regard to case, as the store's keys and names are matched.
    static bool IsImageControl(const platform::FormControlRecord& record);

    // Ends the current form and brings `form` to life: every image control
    // is sited, in the form's order, before any is restored, so each finds
    // the others of its container for the link they share; then each is
    // restored from its properties, or given a new control's values when its
    // name is `fresh` (without regard to case), and with `show` shown at
    // once, as at run time.
    void open(platform::FormRecord form, const ContainerFor& containerFor, bool show = false,
              std::optional<std::string_view> fresh = std::nullopt);
    // Ends every control: all are hidden and terminated while the others and
    // their containers still stand, then each is detached, destroyed and its
    // site removed. The records stay.
    void close();

    const platform::FormRecord& form() const { return form_; }
    platform::FormControlRecord& record(const LiveControl& control) {
        return form_.controls[control.record];
    }
    const platform::FormControlRecord& record(const LiveControl& control) const {
        return form_.controls[control.record];
    }
    // In the order they were sited (a rebuilt control comes last).
    const std::vector<std::unique_ptr<LiveControl>>& controls() const { return controls_; }
    // The control of that name (without regard to case), or null.
    LiveControl* find(std::string_view name) const;

    // Writes the control's properties and its place into its record.
    void save(LiveControl& control);
    // Every control's; answers the form as a store would hold it.
    const platform::FormRecord& save();

    // Appends `record` to the form as a new image control in `container`,
    // given a new control's values.
    LiveControl& add(platform::FormControlRecord record, platform::ControlContainer& container);
    // Ends the control and drops its record.
    void remove(LiveControl& control);
    // Gives the control, its site and its record, another name.
    void rename(LiveControl& control, std::string name);
    // Ends the control and brings it back from its record in `container`: a
    // control belongs to its site for life. What the control holds that its
    // record does not is lost (save first). The rebuilt control comes last.
    LiveControl& rebuild(LiveControl& control, platform::ControlContainer& container);

private:
    LiveControl& site(std::size_t record, platform::ControlContainer& container);
    // Detaches and destroys an ended control and removes its site.
    static void release(LiveControl& control);

    platform::FormRecord form_;
    std::vector<std::unique_ptr<LiveControl>> controls_;
};

} // namespace velmora

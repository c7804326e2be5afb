#pragma once
// The form being designed: a widget of the form's size in which every image
// control of the store is restored at design time through its own restore
// path, in a Qt container for the form itself or for the picture box it
// stands in. Records of other types are the picture boxes; they are kept as
// they are and shown as framed boxes. The controls are saved back into
// their records through their own save path.
//
// Adding, deleting and renaming change the live controls; opening a store
// and undoing rebuild the whole form from its records.

#include "control/aic_alpha_image.h"
#include "control/form_instance.h"
#include "platform/host/form_store.h"
#include "platform/qt/qt_container.h"
#include "platform/qt/qt_host.h"

#include <QRect>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::designer {

class SelectionOverlay;

class FormCanvas final : public QWidget {
public:
    // The form's window records are children of `owner` (the designer
    // window's record).
    FormCanvas(platform::QtHost& host, platform::HWND owner, QWidget* parent = nullptr);
    ~FormCanvas() override;
    FormCanvas(const FormCanvas&) = delete;
    FormCanvas& operator=(const FormCanvas&) = delete;

    // Ends the current form and shows `form`, each image control restored
    // from its record.
    void load(platform::FormRecord form);
    // Writes every image control's properties and place into its record and
    // answers the form as a store would hold it.
    const platform::FormRecord& record();

    struct Box {
        std::string name; // empty for the form itself
        QRect place;      // on the canvas
        platform::HWND window = 0;
        std::unique_ptr<platform::QtControlContainer> container;
    };
    struct Control {
        velmora::FormInstance::LiveControl* live = nullptr;
        Box* box = nullptr;
        platform::QtContainerSite* site = nullptr;
        aicAlphaImage* control = nullptr;

        const std::string& name(const FormCanvas& canvas) const;
        // The control's rectangle in its container's pixels and on the canvas.
        QRect local() const;
        QRect onCanvas() const;
    };

    const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }
    const std::vector<std::unique_ptr<Box>>& boxes() const { return boxes_; }
    const platform::FormRecord& form() const { return instance_.form(); }
    // Without regard to case; null when there is none.
    Control* find(std::string_view name) const;
    // The topmost control whose rectangle holds the point (canvas pixels).
    Control* controlAt(const QPoint& p) const;
    // The picture box under the point, or the form's own box.
    Box& boxAt(const QPoint& p) const;
    // The picture box of that name (without regard to case), or null.
    Box* findBox(std::string_view name) const;
    // Every record name, image controls and picture boxes alike.
    std::vector<std::string> names() const;

    // A new image control for `record` (appended to the form), given a new
    // control's values.
    Control& add(platform::FormControlRecord record);
    // Ends the image controls of those names and drops their records.
    void remove(const std::vector<std::string>& names);
    // Gives a control another name (its record's).
    void rename(Control& control, std::string name);

    // Moves a control to `place` (canvas pixels; it stays in its container)
    // and lets it lay itself out anew.
    void place(Control& control, const QRect& onCanvas);
    // Moves a picture box, its controls with it, while it is dragged; its
    // record takes the place when the window writes it (see boxPlaces).
    void placeBox(Box& box, const QRect& onCanvas);
    // `form` with every picture box's record at the box's place.
    void boxPlaces(platform::FormRecord& form) const;
    // Ends a move: the control goes into the picture box under `drop`, or
    // onto the form (its record's container and place follow), at
    // `onCanvas` moved into that box far enough to be shown whole. A control
    // that changes container is rebuilt there from its record (see
    // onControlRebuilt); the answer is the control as it now is.
    Control& settle(Control& control, const QRect& onCanvas, const QPoint& drop);
    // Puts a control into the box of that name (the form for an empty or
    // unknown name) at `local`, its pixels there.
    Control& moveInto(Control& control, std::string_view boxName, const QRect& local);

    SelectionOverlay& overlay() const { return *overlay_; }
    platform::QtHost& host() const { return host_; }

    // A control reported a changed property (not while restoring or saving).
    std::function<void(const std::string& control, std::string_view property)> onControlChanged;
    // A control was rebuilt as another object (it changed container).
    std::function<void(const aicAlphaImage* before, aicAlphaImage* after)> onControlRebuilt;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void teardown();
    // The canvas's view of a control the instance brought to life.
    Control& track(velmora::FormInstance::LiveControl& live);
    Box& boxOf(const platform::FormControlRecord& record) const;
    Box& addBox(std::string name, const QRect& place);

    platform::QtHost& host_;
    platform::HWND owner_;
    std::vector<std::unique_ptr<Box>> boxes_; // the form's own box first
    // Its controls end before the boxes' containers go.
    velmora::FormInstance instance_;
    std::vector<std::unique_ptr<Control>> controls_; // in the instance's order
    SelectionOverlay* overlay_;
    bool quiet_ = false; // restoring or saving: changes are no developer's
};

} // namespace velmora::designer

#pragma once
// The property list of the designer: one editor per property of the image
// control's property table (check box, choice list, number box, colour,
// picture), plus the control's name and place. Every edit is handed out as
// the property's name and text; the owner sets it through the table's
// setter and then asks the list to show the values again, since setters
// may fold a value into range. With nothing selected the list shows the
// form's own properties instead: its title and size.

#include "control/property_table.h"

#include <QRect>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QSpinBox;

class aicAlphaImage;

namespace velmora::designer {

class PropertyList final : public QWidget {
public:
    explicit PropertyList(QWidget* parent = nullptr);

    // Shows the values of `control` (null: nothing selected, every editor
    // empty and disabled) with its name and place.
    void showControl(const aicAlphaImage* control, const std::string& name, const QRect& place);
    // Shows the form's properties in place of a control's.
    void showForm(const std::string& title, const QSize& size);
    // A picture box: its name and place only.
    void showBox(const std::string& name, const QRect& place);

    // An edit of a property of the table, as text its setter reads.
    std::function<void(const PropertySpec& property, const std::string& text)> onEdit;
    std::function<void(const std::string& name)> onRename;
    std::function<void(const QRect& place)> onPlace;
    std::function<void(const std::string& title)> onFormTitle;
    std::function<void(const QSize& size)> onFormSize;

    // Asks for a picture file for a Picture property; empty when cancelled.
    // The system's open-file dialog unless a test sets its own.
    std::function<std::string(const PropertySpec& property)> choosePicture;
    // Asks for a colour, starting from `current` (0x00BBGGRR, or negative
    // for a system colour); nothing when cancelled. A colour dialog unless
    // a test sets its own.
    std::function<std::optional<std::int32_t>(std::int32_t current)> chooseColour;

    // The editor of a property (or "Name", "Left", "Top", "Width",
    // "Height"; the form's "Form.Title", "Form.Width", "Form.Height"): a
    // QCheckBox, QComboBox, QSpinBox, QDoubleSpinBox,
    // QLineEdit or, for read-only values and pictures, a QLabel.
    QWidget* editor(std::string_view name) const;

private:
    struct Row {
        const PropertySpec* spec = nullptr; // null for name and place rows
        std::string name;
        QWidget* editor = nullptr;
        std::vector<QWidget*> buttons; // a picture's or colour's own buttons
    };
    void addPropertyRow(QFormLayout& layout, const PropertySpec& spec);
    void edit(const PropertySpec& spec, const std::string& text);
    void placeEdited();
    // Shows the form's rows or the control's.
    void showRows(bool form);

    std::vector<Row> rows_;
    QLineEdit* name_ = nullptr;
    QSpinBox* left_ = nullptr;
    QSpinBox* top_ = nullptr;
    QSpinBox* width_ = nullptr;
    QSpinBox* height_ = nullptr;
    QFormLayout* layout_ = nullptr;
    std::vector<Row> formRows_;
    QLineEdit* title_ = nullptr;
    QSpinBox* formWidth_ = nullptr;
    QSpinBox* formHeight_ = nullptr;
    std::string shownTitle_;
    QSize shownSize_;
    const aicAlphaImage* control_ = nullptr;
    std::string shownName_;
    QRect shownPlace_;
    bool filling_ = false; // values being shown, not edited
    bool named_ = false;   // a control or a picture box is shown
};

// A colour value as the list shows it: "0x00BBGGRR" in hexadecimal (system
// colours too, with their high bit).
std::string ColourText(std::int32_t value);

} // namespace velmora::designer

#include "design/designer/property_list.h"

#include "control/aic_alpha_image.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <array>
#include <cstdio>

namespace velmora::designer {

namespace {

using Kind = PropertySpec::Kind;

constexpr int kPlaceLimit = 1 << 20; // what a form store takes

QString q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QSpinBox* numberBox(int minimum, int maximum, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(minimum, maximum);
    box->setKeyboardTracking(false);
    return box;
}

} // namespace

std::string ColourText(std::int32_t value) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "0x%08X", static_cast<std::uint32_t>(value));
    return text.data();
}

PropertyList::PropertyList(QWidget* parent) : QWidget(parent) {
    choosePicture = [this](const PropertySpec& spec) {
        return QFileDialog::getOpenFileName(this, q(spec.name), QString(),
                                            QStringLiteral("Pictures (*.ico *.cur *.png *.bmp "
                                                           "*.gif);;All Files (*)"))
            .toStdString();
    };
    chooseColour = [this](std::int32_t current) -> std::optional<std::int32_t> {
        const QColor start =
            current < 0 ? QColor(Qt::white)
                        : QColor(current & 0xFF, (current >> 8) & 0xFF, (current >> 16) & 0xFF);
        const QColor chosen = QColorDialog::getColor(start, this);
        if (!chosen.isValid()) return std::nullopt;
        return chosen.red() | (chosen.green() << 8) | (chosen.blue() << 16);
    };

    auto* layout = new QFormLayout(this);
    layout_ = layout;
    layout->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);

    title_ = new QLineEdit(this);
    title_->setObjectName(QStringLiteral("Form.Title"));
    layout->addRow(QStringLiteral("Title"), title_);
    connect(title_, &QLineEdit::editingFinished, this, [this] {
        const std::string text = title_->text().toStdString();
        if (!filling_ && text != shownTitle_ && onFormTitle) onFormTitle(text);
    });
    formRows_.push_back({nullptr, "Form.Title", title_, {}});
    const auto formSizeRow = [&](const char* name, const char* label, QSpinBox*& box) {
        box = numberBox(1, kPlaceLimit, this);
        box->setObjectName(QString::fromLatin1(name));
        layout->addRow(QString::fromLatin1(label), box);
        connect(box, &QSpinBox::editingFinished, this, [this] {
            const QSize size(formWidth_->value(), formHeight_->value());
            if (!filling_ && size != shownSize_ && onFormSize) onFormSize(size);
        });
        formRows_.push_back({nullptr, name, box, {}});
    };
    formSizeRow("Form.Width", "Form Width", formWidth_);
    formSizeRow("Form.Height", "Form Height", formHeight_);

    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("Name"));
    layout->addRow(QStringLiteral("(Name)"), name_);
    connect(name_, &QLineEdit::editingFinished, this, [this] {
        if (filling_ || !named_) return;
        const std::string text = name_->text().trimmed().toStdString();
        if (text != shownName_ && onRename) onRename(text);
    });
    rows_.push_back({nullptr, "Name", name_, {}});
    const auto placeRow = [&](const char* label, int minimum, QSpinBox*& box) {
        box = numberBox(minimum, kPlaceLimit, this);
        box->setObjectName(QString::fromLatin1(label));
        layout->addRow(QString::fromLatin1(label), box);
        connect(box, &QSpinBox::editingFinished, this, &PropertyList::placeEdited);
        rows_.push_back({nullptr, label, box, {}});
    };
    placeRow("Left", -kPlaceLimit, left_);
    placeRow("Top", -kPlaceLimit, top_);
    placeRow("Width", 1, width_);
    placeRow("Height", 1, height_);

    for (const PropertySpec& spec : Properties())
        addPropertyRow(*layout, spec);
    showControl(nullptr, {}, {});
}

void PropertyList::addPropertyRow(QFormLayout& layout, const PropertySpec& spec) {
    Row row{&spec, std::string(spec.name), nullptr, {}};
    const QString objectName = q(spec.name);
    if (spec.readOnly()) {
        auto* label = new QLabel(this);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        row.editor = label;
    } else if (spec.kind == Kind::Boolean) {
        auto* check = new QCheckBox(this);
        connect(check, &QCheckBox::toggled, this,
                [this, &spec](bool on) { edit(spec, on ? "True" : "False"); });
        row.editor = check;
    } else if (!spec.choices.empty()) {
        auto* combo = new QComboBox(this);
        for (std::size_t i = 0; i < spec.choices.size(); ++i)
            combo->addItem(QString::number(spec.minimum + static_cast<int>(i)) +
                           QStringLiteral(" - ") + q(spec.choices[i]));
        connect(combo, &QComboBox::activated, this,
                [this, &spec](int index) { edit(spec, std::to_string(spec.minimum + index)); });
        row.editor = combo;
    } else if (spec.kind == Kind::Number) {
        auto* box = numberBox(spec.minimum, spec.maximum, this);
        connect(box, &QSpinBox::editingFinished, this, [this, &spec, box] {
            if (control_ != nullptr && std::to_string(box->value()) != spec.show(*control_))
                edit(spec, std::to_string(box->value()));
        });
        row.editor = box;
    } else if (spec.kind == Kind::Single) {
        auto* box = new QDoubleSpinBox(this);
        box->setRange(spec.minimum, spec.maximum);
        box->setDecimals(3);
        box->setKeyboardTracking(false);
        connect(box, &QDoubleSpinBox::editingFinished, this, [this, &spec, box] {
            if (control_ == nullptr) return;
            const auto shown = ParseSingle(spec.show(*control_));
            if (shown && static_cast<float>(box->value()) == *shown) return;
            edit(spec, QString::number(box->value(), 'g', 9).toStdString());
        });
        row.editor = box;
    } else if (spec.kind == Kind::Colour) {
        auto* line = new QLineEdit(this);
        line->setToolTip(QStringLiteral("0x00BBGGRR; 0x80000000 and up: a system colour"));
        connect(line, &QLineEdit::editingFinished, this, [this, &spec, line] {
            if (control_ == nullptr) return;
            const std::string text = line->text().trimmed().toStdString();
            const auto value = ParseNumber(text);
            const auto shown = ParseNumber(spec.show(*control_));
            if (value && shown && *value == *shown) return;
            edit(spec, text);
        });
        auto* pick = new QPushButton(QStringLiteral("..."), this);
        pick->setObjectName(objectName + QStringLiteral(".pick"));
        pick->setToolTip(QStringLiteral("Choose a colour"));
        connect(pick, &QPushButton::clicked, this, [this, &spec] {
            if (control_ == nullptr || !chooseColour) return;
            const auto current = ParseNumber(spec.show(*control_));
            if (const auto chosen = chooseColour(current.value_or(0)))
                edit(spec, std::to_string(*chosen));
        });
        row.editor = line;
        row.buttons.push_back(pick);
    } else { // Picture
        auto* label = new QLabel(this);
        auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
        browse->setObjectName(objectName + QStringLiteral(".browse"));
        connect(browse, &QPushButton::clicked, this, [this, &spec] {
            if (control_ == nullptr || !choosePicture) return;
            const std::string path = choosePicture(spec);
            if (!path.empty()) edit(spec, path);
        });
        auto* clear = new QPushButton(QStringLiteral("Clear"), this);
        clear->setObjectName(objectName + QStringLiteral(".clear"));
        connect(clear, &QPushButton::clicked, this, [this, &spec] { edit(spec, ""); });
        row.editor = label;
        row.buttons = {browse, clear};
    }
    row.editor->setObjectName(objectName);
    if (row.buttons.empty()) {
        layout.addRow(objectName, row.editor);
    } else {
        auto* line = new QWidget(this);
        auto* inner = new QHBoxLayout(line);
        inner->setContentsMargins(0, 0, 0, 0);
        row.editor->setParent(line);
        inner->addWidget(row.editor, 1);
        for (QWidget* b : row.buttons) {
            b->setParent(line);
            inner->addWidget(b);
        }
        layout.addRow(objectName, line);
    }
    rows_.push_back(std::move(row));
}

void PropertyList::edit(const PropertySpec& spec, const std::string& text) {
    if (filling_ || control_ == nullptr) return;
    if (onEdit) onEdit(spec, text);
}

void PropertyList::placeEdited() {
    if (filling_ || !named_) return;
    const QRect place(left_->value(), top_->value(), width_->value(), height_->value());
    if (place != shownPlace_ && onPlace) onPlace(place);
}

QWidget* PropertyList::editor(std::string_view name) const {
    for (const Row& row : rows_)
        if (EqualsNoCase(row.name, name)) return row.editor;
    for (const Row& row : formRows_)
        if (EqualsNoCase(row.name, name)) return row.editor;
    return nullptr;
}

void PropertyList::showControl(const aicAlphaImage* control, const std::string& name,
                               const QRect& place) {
    showRows(false);
    filling_ = true;
    control_ = control;
    named_ = control != nullptr;
    shownName_ = name;
    shownPlace_ = place;
    const bool on = control != nullptr;
    name_->setText(q(name));
    left_->setValue(place.x());
    top_->setValue(place.y());
    width_->setValue(std::max(1, place.width()));
    height_->setValue(std::max(1, place.height()));
    for (Row& row : rows_) {
        row.editor->setEnabled(on);
        for (QWidget* b : row.buttons)
            b->setEnabled(on);
        if (row.spec == nullptr) continue;
        const PropertySpec& spec = *row.spec;
        const std::string text = on ? spec.show(*control) : std::string();
        if (auto* label = qobject_cast<QLabel*>(row.editor)) {
            label->setText(q(text));
        } else if (auto* check = qobject_cast<QCheckBox*>(row.editor)) {
            check->setChecked(ParseBoolean(text).value_or(false));
        } else if (auto* combo = qobject_cast<QComboBox*>(row.editor)) {
            const auto value = ParseNumber(text);
            combo->setCurrentIndex(value ? *value - spec.minimum : -1);
        } else if (auto* box = qobject_cast<QSpinBox*>(row.editor)) {
            box->setValue(ParseNumber(text).value_or(0));
        } else if (auto* single = qobject_cast<QDoubleSpinBox*>(row.editor)) {
            single->setValue(ParseSingle(text).value_or(0.0f));
        } else if (auto* line = qobject_cast<QLineEdit*>(row.editor)) {
            const auto value = ParseNumber(text);
            line->setText(value ? q(ColourText(*value)) : QString());
        }
    }
    filling_ = false;
}

void PropertyList::showRows(bool form) {
    for (const Row& row : formRows_)
        layout_->setRowVisible(row.editor, form);
    for (const Row& row : rows_)
        layout_->setRowVisible(row.buttons.empty() ? row.editor : row.editor->parentWidget(),
                               !form);
}

void PropertyList::showBox(const std::string& name, const QRect& place) {
    showControl(nullptr, name, place);
    named_ = true;
    for (QWidget* w : std::initializer_list<QWidget*>{name_, left_, top_, width_, height_})
        w->setEnabled(true);
}

void PropertyList::showForm(const std::string& title, const QSize& size) {
    showControl(nullptr, {}, {});
    showRows(true);
    filling_ = true;
    shownTitle_ = title;
    shownSize_ = size;
    title_->setText(q(title));
    formWidth_->setValue(size.width());
    formHeight_->setValue(size.height());
    filling_ = false;
}

} // namespace velmora::designer

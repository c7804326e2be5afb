#include "design/designer/designer_window.h"

#include "design/designer/edit_geometry.h"
#include "design/designer/form_canvas.h"
#include "design/designer/property_list.h"
#include "design/designer/selection_overlay.h"
#include "design/ppg_source_image.h"

#include <QAction>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

namespace velmora::designer {

namespace {

// Undo keeps the last 100 steps, and no more than 256 MiB of store texts
// (forms with large pictures keep fewer steps; the latest always stays).
constexpr std::size_t kUndoDepth = 100;
constexpr std::size_t kUndoBytes = std::size_t{256} << 20;
constexpr int kNewControlSize = 64;
constexpr int kDockWidth = 340;
const QString kStoreFilter = QStringLiteral("Form stores (*.json);;All Files (*)");

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

DesignerWindow::DesignerWindow(platform::QtHost& host, QWidget* parent)
    : QMainWindow(parent), host_(host) {
    // The window's record: the form's and the page's windows are its
    // children.
    window_ = host_.AdoptWindow(this, "#32770");

    chooseOpenFile = [this] {
        return QFileDialog::getOpenFileName(this, QStringLiteral("Open Form"), QString(),
                                            kStoreFilter)
            .toStdString();
    };
    chooseSaveFile = [this](const std::filesystem::path& current) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save Form As"),
                                            q(current.string()), kStoreFilter)
            .toStdString();
    };
    askUnsaved = [this] {
        const auto answer = QMessageBox::question(
            this, QString::fromLatin1(kProgram),
            QStringLiteral("The form has unsaved changes. Save them?"),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
        if (answer == QMessageBox::Save) return UnsavedAnswer::Save;
        if (answer == QMessageBox::Discard) return UnsavedAnswer::Discard;
        return UnsavedAnswer::Cancel;
    };
    showError = [this](const std::string& text) {
        QMessageBox::warning(this, QString::fromLatin1(kProgram), q(text));
    };

    auto* scroll = new QScrollArea(this);
    scroll->setBackgroundRole(QPalette::Dark);
    canvas_ = new FormCanvas(host_, window_);
    scroll->setWidget(canvas_);
    setCentralWidget(scroll);

    SelectionOverlay& overlay = canvas_->overlay();
    overlay.onBeginChange = [this] { beginChange(); };
    overlay.onChanged = [this] {
        markDirty();
        refreshProperties();
    };
    overlay.onSelectionChanged = [this] {
        if (!rebuilding_) selectionChanged();
    };
    overlay.onAddAt = [this](const QPoint& at) { addControl(at); };
    overlay.onDelete = [this] { deleteSelection(); };
    canvas_->onControlChanged = [this](const std::string&, std::string_view) { markDirty(); };

    tabs_ = new QTabWidget(this);
    auto* listScroll = new QScrollArea(tabs_);
    properties_ = new PropertyList;
    listScroll->setWidget(properties_);
    listScroll->setWidgetResizable(true);
    tabs_->addTab(listScroll, QStringLiteral("Properties"));
    properties_->onEdit = [this](const PropertySpec& spec, const std::string& text) {
        editProperty(spec, text);
    };
    properties_->onRename = [this](const std::string& name) { rename(name); };
    properties_->onPlace = [this](const QRect& place) {
        const std::vector<aicAlphaImage*> selected = selectedControls();
        if (selected.empty()) return;
        FormCanvas::Control* c = canvas_->find(canvas_->overlay().selection().front());
        beginChange();
        canvas_->place(*c, place.translated(c->box->place.topLeft()));
        markDirty();
        refreshProperties();
    };

    auto* sourceTab = new QWidget(tabs_);
    auto* sourceLayout = new QVBoxLayout(sourceTab);
    page_ = new design::ppgSourceImage(host_, window_, sourceTab);
    sourceLayout->addWidget(page_, 1);
    apply_ = new QPushButton(QStringLiteral("Apply"), sourceTab);
    apply_->setEnabled(false);
    sourceLayout->addWidget(apply_, 0, Qt::AlignRight);
    connect(apply_, &QPushButton::clicked, this, [this] { applySource(); });
    page_->onChangedChanged = [this](bool changed) { apply_->setEnabled(changed); };
    tabs_->addTab(sourceTab, QString::fromLatin1(design::ppgSourceImage::kCaption));

    dock_ = new QDockWidget(QStringLiteral("Properties"), this);
    dock_->setObjectName(QStringLiteral("PropertiesDock"));
    dock_->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    dock_->setWidget(tabs_);
    dock_->setMinimumWidth(kDockWidth);
    addDockWidget(Qt::RightDockWidgetArea, dock_);

    buildMenus();
    statusBar();
    newForm();
}

DesignerWindow::~DesignerWindow() {
    // The page's preview and the form's controls end while the window's
    // record still stands; then the record goes.
    page_->SelectionChanged({});
    delete page_;
    page_ = nullptr;
    delete canvas_;
    canvas_ = nullptr;
    host_.DestroyWindow(window_);
}

void DesignerWindow::buildMenus() {
    QMenu* fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    QMenu* editMenu = menuBar()->addMenu(QStringLiteral("&Edit"));
    QToolBar* tools = addToolBar(QStringLiteral("Tools"));
    tools->setObjectName(QStringLiteral("Tools"));
    tools->setMovable(false);

    const auto action = [this](QMenu* menu, const QString& text, QKeySequence keys, auto slot) {
        QAction* a = menu->addAction(text);
        a->setShortcut(keys);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QAction* newAction =
        action(fileMenu, QStringLiteral("&New"), QKeySequence::New, [this] { fileNew(); });
    QAction* openAction =
        action(fileMenu, QStringLiteral("&Open..."), QKeySequence::Open, [this] { fileOpen(); });
    QAction* saveAction =
        action(fileMenu, QStringLiteral("&Save"), QKeySequence::Save, [this] { save(); });
    action(fileMenu, QStringLiteral("Save &As..."), QKeySequence(QStringLiteral("Ctrl+Shift+S")),
           [this] { saveAs(); });
    fileMenu->addSeparator();
    action(fileMenu, QStringLiteral("&Quit"), QKeySequence::Quit, [this] { close(); });

    undoAction_ = action(editMenu, QStringLiteral("&Undo"), QKeySequence::Undo, [this] { undo(); });
    editMenu->addSeparator();
    QAction* addAction = action(editMenu, QStringLiteral("Add &Image Control"),
                                QKeySequence(QStringLiteral("Ctrl+I")), [this] { addControl(); });
    deleteAction_ = action(editMenu, QStringLiteral("&Delete"), QKeySequence::Delete,
                           [this] { deleteSelection(); });
    action(editMenu, QStringLiteral("Select &All"), QKeySequence::SelectAll,
           [this] { canvas_->overlay().selectAll(); });
    // Delete belongs to the form: in the property list's editors the key
    // edits text.
    deleteAction_->setShortcutContext(Qt::WidgetShortcut);
    canvas_->overlay().addAction(deleteAction_);

    for (QAction* a : {newAction, openAction, saveAction})
        tools->addAction(a);
    tools->addSeparator();
    for (QAction* a : {addAction, deleteAction_, undoAction_})
        tools->addAction(a);
}

QSize DesignerWindow::initialSize() const {
    // The form, the dock beside it, and room for the frames, the menu, the
    // tool bar and the status bar.
    const QSize form = canvas_->size();
    const int dock = std::max(kDockWidth, dock_->sizeHint().width());
    const int width = std::clamp(form.width() + dock + 40, 900, 1600);
    const int height = std::clamp(form.height() + 140, 640, 1000);
    return QSize(width, height);
}

std::vector<aicAlphaImage*> DesignerWindow::selectedControls() const {
    std::vector<aicAlphaImage*> out;
    for (const std::string& name : canvas_->overlay().selection())
        if (FormCanvas::Control* c = canvas_->find(name)) out.push_back(c->control.get());
    return out;
}

void DesignerWindow::rebuild(platform::FormRecord form, std::vector<std::string> selection) {
    // The page lets go of its target before the controls go.
    page_->SelectionChanged({});
    rebuilding_ = true;
    canvas_->load(std::move(form));
    canvas_->overlay().select(std::move(selection));
    rebuilding_ = false;
    selectionChanged();
}

bool DesignerWindow::openStore(const std::filesystem::path& file, std::string& error) {
    platform::FormStoreResult result = platform::ReadFormStore(file);
    if (!result) {
        error = result.error;
        return false;
    }
    rebuild(std::move(*result.form), {});
    file_ = file;
    undo_.clear();
    markClean();
    return true;
}

void DesignerWindow::newForm(const std::filesystem::path& file) {
    platform::FormRecord form;
    form.width = kNewFormWidth;
    form.height = kNewFormHeight;
    rebuild(std::move(form), {});
    file_ = file;
    undo_.clear();
    markClean();
}

void DesignerWindow::fileNew() {
    if (mayDiscard()) newForm();
}

void DesignerWindow::fileOpen() {
    if (!mayDiscard()) return;
    const std::string file = chooseOpenFile ? chooseOpenFile() : std::string();
    if (file.empty()) return;
    std::string error;
    if (openStore(file, error)) return;
    std::string text = "The form could not be opened.\n";
    text += error;
    showError(text);
}

bool DesignerWindow::save() {
    if (file_.empty()) return saveAs();
    return writeTo(file_);
}

bool DesignerWindow::saveAs() {
    const std::string file = chooseSaveFile ? chooseSaveFile(file_) : std::string();
    if (file.empty()) return false;
    return writeTo(file);
}

bool DesignerWindow::writeTo(const std::filesystem::path& file) {
    std::string error;
    if (!platform::WriteFormStore(file, canvas_->record(), error)) {
        std::string text = "The form was not saved.\n";
        text += error;
        showError(text);
        return false;
    }
    file_ = file;
    markClean();
    return true;
}

bool DesignerWindow::mayDiscard() {
    if (!dirty()) return true;
    switch (askUnsaved ? askUnsaved() : UnsavedAnswer::Cancel) {
    case UnsavedAnswer::Save:
        return save();
    case UnsavedAnswer::Discard:
        return true;
    case UnsavedAnswer::Cancel:
        return false;
    }
    return false;
}

void DesignerWindow::closeEvent(QCloseEvent* event) {
    if (mayDiscard())
        event->accept();
    else
        event->ignore();
}

void DesignerWindow::beginChange() {
    undo_.push_back(platform::SerializeFormStore(canvas_->record()));
    const auto kept = [this] {
        std::size_t bytes = 0;
        for (const std::string& text : undo_)
            bytes += text.size();
        return bytes;
    };
    while (undo_.size() > 1 && (undo_.size() > kUndoDepth || kept() > kUndoBytes))
        undo_.erase(undo_.begin());
    updateActions();
}

void DesignerWindow::undo() {
    if (undo_.empty()) return;
    const std::string text = std::move(undo_.back());
    undo_.pop_back();
    platform::FormStoreResult result = platform::ParseFormStore(text, "undo");
    if (result) rebuild(std::move(*result.form), canvas_->overlay().selection());
    markDirty();
}

void DesignerWindow::markDirty() {
    setWindowModified(true);
    updateTitle();
    updateActions();
}

void DesignerWindow::markClean() {
    setWindowModified(false);
    updateTitle();
    updateActions();
}

void DesignerWindow::updateTitle() {
    const std::string name = file_.empty() ? std::string("Untitled") : file_.filename().string();
    setWindowTitle(q(name) + QStringLiteral("[*] - ") + QString::fromLatin1(kProgram));
}

void DesignerWindow::updateActions() {
    undoAction_->setEnabled(!undo_.empty());
    deleteAction_->setEnabled(!canvas_->overlay().selection().empty());
}

void DesignerWindow::selectionChanged() {
    const std::vector<aicAlphaImage*> selected = selectedControls();
    page_->SelectionChanged(selected);
    apply_->setEnabled(page_->Changed());
    refreshProperties();
    updateActions();
}

void DesignerWindow::refreshProperties() {
    const std::vector<std::string>& selection = canvas_->overlay().selection();
    FormCanvas::Control* c = selection.empty() ? nullptr : canvas_->find(selection.front());
    if (c == nullptr)
        properties_->showControl(nullptr, {}, {});
    else
        properties_->showControl(c->control.get(), c->name(*canvas_), c->local());
    canvas_->overlay().update();
}

void DesignerWindow::editProperty(const PropertySpec& spec, const std::string& text) {
    const std::vector<aicAlphaImage*> selected = selectedControls();
    if (selected.empty() || spec.readOnly()) return;
    beginChange();
    // Every selected control takes the value, each through its own setter.
    std::string error;
    bool any = false;
    for (aicAlphaImage* control : selected) {
        std::string why;
        if (spec.set(*control, text, why))
            any = true;
        else if (error.empty())
            error = why;
    }
    if (any) {
        markDirty();
    } else {
        undo_.pop_back();
        updateActions();
    }
    if (!error.empty()) statusBar()->showMessage(q(error), 5000);
    refreshProperties();
}

void DesignerWindow::rename(const std::string& name) {
    const std::vector<std::string>& selection = canvas_->overlay().selection();
    if (selection.empty()) return;
    const std::string old = selection.front();
    std::string problem;
    if (name.empty()) problem = "A control needs a name.";
    for (const platform::FormControlRecord& r : canvas_->form().controls)
        if (problem.empty() && EqualsNoCase(r.name, name) && !EqualsNoCase(r.name, old)) {
            problem = "Another control of the form is named ";
            problem += name;
            problem += '.';
        }
    if (!problem.empty()) {
        statusBar()->showMessage(q(problem), 5000);
        refreshProperties();
        return;
    }
    beginChange();
    canvas_->rename(*canvas_->find(old), name);
    std::vector<std::string> next = selection;
    next.front() = name;
    canvas_->overlay().select(std::move(next));
    markDirty();
    refreshProperties();
}

void DesignerWindow::addControl(std::optional<QPoint> at) {
    beginChange();
    const QSize size(kNewControlSize, kNewControlSize);
    platform::FormControlRecord record;
    record.type = aicAlphaImage::kTypeName;
    record.name = FreeName(aicAlphaImage::kTypeName, canvas_->names());
    QPoint place;
    if (at) {
        const FormCanvas::Box& box = canvas_->boxAt(*at);
        record.container = box.name;
        place = *at - box.place.topLeft();
    } else {
        std::vector<QRect> taken;
        for (const auto& c : canvas_->controls())
            taken.push_back(c->onCanvas().adjusted(-4, -4, 4, 4));
        for (const auto& box : canvas_->boxes())
            if (!box->name.empty()) taken.push_back(box->place.adjusted(-4, -4, 4, 4));
        place = FreeSpot(size, canvas_->rect(), taken);
    }
    record.left = place.x();
    record.top = place.y();
    record.width = size.width();
    record.height = size.height();
    const std::string name = record.name;
    canvas_->add(std::move(record));
    canvas_->overlay().select({name});
    markDirty();
}

void DesignerWindow::deleteSelection() {
    std::vector<std::string> selection = canvas_->overlay().selection();
    if (selection.empty()) return;
    beginChange();
    // The page lets go of its target before the controls go.
    page_->SelectionChanged({});
    canvas_->remove(selection);
    selectionChanged();
    markDirty();
}

void DesignerWindow::applySource() {
    if (page_->target() == nullptr) return;
    beginChange();
    page_->ApplyChanges();
    markDirty();
    refreshProperties();
}

} // namespace velmora::designer

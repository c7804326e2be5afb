#include "design/designer/designer_window.h"

#include "design/designer/edit_geometry.h"
#include "design/designer/form_canvas.h"
#include "design/designer/form_preview.h"
#include "design/designer/property_list.h"
#include "design/designer/selection_overlay.h"
#include "design/ppg_source_image.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

namespace velmora::designer {

namespace {

// Undo keeps the last 100 steps, and no more than 256 MiB of records
// (forms with large pictures keep fewer steps; the latest always stays).
constexpr std::size_t kUndoDepth = 100;
constexpr std::size_t kUndoBytes = std::size_t{256} << 20;
constexpr int kNewControlSize = 64;
constexpr int kNewBoxWidth = 160;
constexpr int kNewBoxHeight = 120;
constexpr const char* kPictureBoxType = "PictureBox";
constexpr int kDockWidth = 340;
constexpr int kRecentFiles = 8;
const QString kRecentKey = QStringLiteral("recentFiles");
const QString kGeometryKey = QStringLiteral("geometry");
const QString kStateKey = QStringLiteral("windowState");
const QString kGridKey = QStringLiteral("grid");
const QString kSnapKey = QStringLiteral("snap");
// Pasted copies move on by this much while copies lie where they would go.
constexpr int kPasteOffset = 16;
constexpr int kPasteTries = 64;
const QString kStoreFilter = QStringLiteral("Form stores (*.json);;All Files (*)");

// The Format menu's alignments; their names (without the '&') name the
// undo steps.
constexpr std::pair<Alignment, const char*> kAlignmentNames[] = {
    {Alignment::Left, "Align &Lefts"},
    {Alignment::Right, "Align &Rights"},
    {Alignment::Top, "Align &Tops"},
    {Alignment::Bottom, "Align Botto&ms"},
    {Alignment::Centres, "Align &Centres"},
    {Alignment::Middles, "Align M&iddles"},
    {Alignment::SameWidth, "Make Same &Width"},
    {Alignment::SameHeight, "Make Same &Height"},
    {Alignment::SameSize, "Make Same &Size"},
    {Alignment::DistributeHorizontally, "Distribute H&orizontally"},
    {Alignment::DistributeVertically, "Distribute &Vertically"},
};

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

std::size_t valueBytes(const platform::PropertyValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return text->size();
    if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value)) return bytes->size();
    return sizeof(std::int32_t);
}

std::size_t recordBytes(const platform::FormControlRecord& r) {
    std::size_t bytes = r.type.size() + r.name.size() + r.container.size() + 16;
    for (const std::string& name : r.properties.names())
        bytes += name.size() + valueBytes(*r.properties.find(name));
    return bytes;
}

bool sameProperties(const platform::PropertyStore& a, const platform::PropertyStore& b) {
    const std::vector<std::string> names = a.names();
    if (names != b.names()) return false;
    return std::all_of(names.begin(), names.end(),
                       [&](const std::string& n) { return *a.find(n) == *b.find(n); });
}

bool sameRecord(const platform::FormControlRecord& a, const platform::FormControlRecord& b) {
    return a.type == b.type && a.name == b.name && a.container == b.container && a.left == b.left &&
           a.top == b.top && a.width == b.width && a.height == b.height &&
           sameProperties(a.properties, b.properties);
}

} // namespace

std::string FormTitle(const platform::FormRecord& form) {
    for (const platform::FormStoreExtra& e : form.formExtras)
        if (EqualsNoCase(e.key, kTitleKey)) {
            // A JSON value inside an array, so that Qt's reader takes it.
            const QByteArray text = "[" + QByteArray::fromStdString(e.value) + "]";
            const QJsonDocument doc = QJsonDocument::fromJson(text);
            return doc.isArray() ? doc.array().at(0).toString().toStdString() : std::string();
        }
    return {};
}

void SetFormTitle(platform::FormRecord& form, const std::string& title) {
    std::erase_if(form.formExtras,
                  [](const platform::FormStoreExtra& e) { return EqualsNoCase(e.key, kTitleKey); });
    if (title.empty()) return;
    QByteArray text =
        QJsonDocument(QJsonArray{QString::fromStdString(title)}).toJson(QJsonDocument::Compact);
    text = text.mid(1, text.size() - 2); // the string alone, without the array's brackets
    form.formExtras.push_back({kTitleKey, text.toStdString(), "height"});
}

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
    askPageChanges = [this] {
        const auto answer = QMessageBox::question(
            this, QString::fromLatin1(kProgram),
            QStringLiteral("The Image Source page has changes that were not applied. Apply them?"),
            QMessageBox::Apply | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Apply);
        if (answer == QMessageBox::Apply) return PageAnswer::Apply;
        if (answer == QMessageBox::Discard) return PageAnswer::Discard;
        return PageAnswer::Cancel;
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
    overlay.onBeginChange = [this](std::string_view what, bool nudge) {
        if (boxSelected())
            beginChange(std::string(what));
        else
            beginMove(std::string(what), nudge);
    };
    overlay.onCancelChange = [this] {
        if (pending_)
            dropChange();
        else
            cancelMove();
    };
    overlay.onChanged = [this] {
        if (pending_) settleBoxes();
        markDirty();
        refreshProperties();
    };
    overlay.onSelectionChanged = [this] {
        if (!rebuilding_) selectionChanged();
    };
    overlay.onAddAt = [this](const QPoint& at) { addControl(at); };
    overlay.onAddBoxAt = [this](const QPoint& at) { addPictureBox(at); };
    overlay.onDelete = [this] { deleteSelection(); };
    overlay.onContextMenu = [this](QMenu& menu, const QPoint& at) {
        menu.addSeparator();
        for (QAction* a : selectionActions_)
            menu.addAction(a);
        menu.addAction(QStringLiteral("Paste Here"), this, [this, at] { paste(at); });
    };
    canvas_->onControlChanged = [this](const std::string&, std::string_view) { markDirty(); };
    canvas_->onControlRebuilt = [this](const aicAlphaImage* before, aicAlphaImage* after) {
        // The page goes on editing the same control, its changes kept.
        if (page_->target() == before) page_->Retarget(after);
    };

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
    properties_->onFormTitle = [this](const std::string& title) { setFormTitle(title); };
    properties_->onFormSize = [this](const QSize& size) { setFormSize(size); };
    properties_->onPlace = [this](const QRect& place) {
        if (boxSelected()) {
            const std::string name = canvas_->overlay().selection().front();
            FormCanvas::Box* box = canvas_->findBox(name);
            if (box == nullptr) return;
            changeForm(place.size() == box->place.size() ? "Move" : "Resize",
                       [&](platform::FormRecord& form) {
                           platform::FormControlRecord& r = *form.find(name);
                           r.left = place.x();
                           r.top = place.y();
                           r.width = place.width();
                           r.height = place.height();
                       });
            return;
        }
        const std::vector<aicAlphaImage*> selected = selectedControls();
        if (selected.empty()) return;
        FormCanvas::Control* c = canvas_->find(canvas_->overlay().selection().front());
        beginMove(place.size() == c->local().size() ? "Move" : "Resize");
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
    // Apply is for changes there is a control to apply to.
    page_->onChangedChanged = [this](bool changed) {
        apply_->setEnabled(changed && page_->target() != nullptr);
    };
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
    preview_.reset();
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
    recentMenu_ = fileMenu->addMenu(QStringLiteral("Open &Recent"));
    action(fileMenu, QStringLiteral("Save &As..."), QKeySequence(QStringLiteral("Ctrl+Shift+S")),
           [this] { saveAs(); });
    fileMenu->addSeparator();
    action(fileMenu, QStringLiteral("&Quit"), QKeySequence::Quit, [this] { close(); });

    undoAction_ = action(editMenu, QStringLiteral("&Undo"), QKeySequence::Undo, [this] { undo(); });
    redoAction_ = action(editMenu, QStringLiteral("&Redo"), QKeySequence(), [this] { redo(); });
    // Both conventions: Ctrl+Y and Ctrl+Shift+Z.
    redoAction_->setShortcuts(
        {QKeySequence(QStringLiteral("Ctrl+Y")), QKeySequence(QStringLiteral("Ctrl+Shift+Z"))});
    editMenu->addSeparator();
    QAction* addAction = action(editMenu, QStringLiteral("Add &Image Control"),
                                QKeySequence(QStringLiteral("Ctrl+I")), [this] { addControl(); });
    QAction* addBoxAction =
        action(editMenu, QStringLiteral("Add Picture &Box"), QKeySequence(QStringLiteral("Ctrl+B")),
               [this] { addPictureBox(); });
    deleteAction_ = action(editMenu, QStringLiteral("&Delete"), QKeySequence::Delete,
                           [this] { deleteSelection(); });
    editMenu->addSeparator();
    selectionActions_.push_back(
        action(editMenu, QStringLiteral("Cu&t"), QKeySequence::Cut, [this] { cut(); }));
    selectionActions_.push_back(
        action(editMenu, QStringLiteral("&Copy"), QKeySequence::Copy, [this] { copy(); }));
    action(editMenu, QStringLiteral("&Paste"), QKeySequence::Paste, [this] { paste(); });
    selectionActions_.push_back(action(editMenu, QStringLiteral("D&uplicate"),
                                       QKeySequence(QStringLiteral("Ctrl+D")),
                                       [this] { duplicate(); }));
    action(editMenu, QStringLiteral("Select &All"), QKeySequence::SelectAll,
           [this] { canvas_->overlay().selectAll(); });
    // Delete belongs to the form: in the property list's editors the key
    // edits text.
    deleteAction_->setShortcutContext(Qt::WidgetShortcut);
    canvas_->overlay().addAction(deleteAction_);

    updateRecentMenu();

    QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    QMenu* gridMenu = viewMenu->addMenu(QStringLiteral("&Grid"));
    auto* grids = new QActionGroup(gridMenu);
    for (const int step : {0, 4, 8, 16, 32}) {
        QAction* a = gridMenu->addAction(step == 0 ? QStringLiteral("&None")
                                                   : QStringLiteral("%1 px").arg(step));
        a->setData(step);
        gridActions_.push_back(a);
        a->setCheckable(true);
        a->setChecked(step == canvas_->overlay().grid());
        a->setActionGroup(grids);
        connect(a, &QAction::triggered, this, [this, step] { canvas_->overlay().setGrid(step); });
    }
    QAction* snapAction = viewMenu->addAction(QStringLiteral("&Snap to Grid and Controls"));
    snapAction_ = snapAction;
    snapAction->setCheckable(true);
    snapAction->setChecked(canvas_->overlay().snapping());
    snapAction->setToolTip(QStringLiteral("Hold Alt while dragging to place by the pixel"));
    connect(snapAction, &QAction::toggled, this,
            [this](bool on) { canvas_->overlay().setSnapping(on); });

    viewMenu->addSeparator();
    QAction* previewAction = action(viewMenu, QStringLiteral("&Preview"), QKeySequence(Qt::Key_F5),
                                    [this] { preview(); });

    QMenu* formatMenu = menuBar()->addMenu(QStringLiteral("F&ormat"));
    QMenu* alignMenu = formatMenu->addMenu(QStringLiteral("&Align"));
    for (const auto& [how, text] : kAlignmentNames) {
        if (how == Alignment::SameWidth || how == Alignment::DistributeHorizontally)
            alignMenu->addSeparator();
        selectionActions_.push_back(alignMenu->addAction(QString::fromLatin1(text), this,
                                                         [this, kind = how] { align(kind); }));
    }
    formatMenu->addSeparator();
    selectionActions_.push_back(action(formatMenu, QStringLiteral("Bring to &Front"),
                                       QKeySequence(QStringLiteral("Ctrl+]")),
                                       [this] { bringToFront(); }));
    selectionActions_.push_back(action(formatMenu, QStringLiteral("Send to &Back"),
                                       QKeySequence(QStringLiteral("Ctrl+[")),
                                       [this] { sendToBack(); }));

    for (QAction* a : {newAction, openAction, saveAction})
        tools->addAction(a);
    tools->addSeparator();
    for (QAction* a : {addAction, addBoxAction, deleteAction_, undoAction_, redoAction_})
        tools->addAction(a);
    tools->addSeparator();
    tools->addAction(previewAction);
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
        if (FormCanvas::Control* c = canvas_->find(name)) out.push_back(c->control);
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
    rememberFile(file);
    undo_.clear();
    redo_.clear();
    baseState_ = savedState_ = nextState_++;
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
    redo_.clear();
    baseState_ = savedState_ = nextState_++;
    markClean();
}

void DesignerWindow::fileNew() {
    if (settlePage() && mayDiscard()) newForm();
}

void DesignerWindow::fileOpen() {
    if (!settlePage() || !mayDiscard()) return;
    const std::string file = chooseOpenFile ? chooseOpenFile() : std::string();
    if (file.empty()) return;
    std::string error;
    if (openStore(file, error)) return;
    std::string text = "The form could not be opened.\n";
    text += error;
    showError(text);
}

bool DesignerWindow::save() {
    if (!settlePage()) return false;
    if (file_.empty()) return saveAs();
    return writeTo(file_);
}

bool DesignerWindow::saveAs() {
    if (!settlePage()) return false;
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
    rememberFile(file);
    savedState_ = currentState();
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

bool DesignerWindow::settlePage() {
    if (!page_->Changed() || page_->target() == nullptr) return true;
    switch (askPageChanges ? askPageChanges() : PageAnswer::Cancel) {
    case PageAnswer::Apply:
        applySource();
        return true;
    case PageAnswer::Discard: {
        // The page shows the control's own picture again.
        aicAlphaImage* const target[] = {page_->target()};
        page_->SelectionChanged(target);
        return true;
    }
    case PageAnswer::Cancel:
        return false;
    }
    return false;
}

void DesignerWindow::closeEvent(QCloseEvent* event) {
    if (settlePage() && mayDiscard()) {
        if (preview_) preview_->close();
        saveSettings();
        event->accept();
    } else {
        event->ignore();
    }
}

std::uint64_t DesignerWindow::currentState() const {
    return undo_.empty() ? baseState_ : undo_.back().state;
}

std::size_t DesignerWindow::undoBytes() const {
    std::size_t bytes = 0;
    for (const UndoStep& step : undo_)
        bytes += step.bytes;
    for (const UndoStep& step : redo_)
        bytes += step.bytes;
    return bytes;
}

void DesignerWindow::pushStep(UndoStep step) {
    step.state = nextState_++;
    step.selection = canvas_->overlay().selection();
    undo_.push_back(std::move(step));
    redo_.clear();
    while (undo_.size() > 1 && (undo_.size() > kUndoDepth || undoBytes() > kUndoBytes)) {
        baseState_ = undo_.front().state;
        undo_.erase(undo_.begin());
    }
    updateActions();
}

void DesignerWindow::beginMove(std::string what, bool nudge) {
    const std::vector<std::string>& selection = canvas_->overlay().selection();
    // Arrow presses on the same controls, one after another, are one step
    // (but not across a save, which must stay a state undo can reach).
    if (nudge && !undo_.empty() && undo_.back().nudge && undo_.back().selection == selection &&
        undo_.back().what == what && undo_.back().state != savedState_ && redo_.empty())
        return;
    UndoStep step;
    step.what = std::move(what);
    step.nudge = nudge;
    for (const std::string& name : selection)
        if (const FormCanvas::Control* c = canvas_->find(name)) {
            step.places.push_back({c->name(*canvas_), c->box->name, c->local()});
            step.bytes += name.size() + c->box->name.size() + sizeof(QRect);
        }
    pushStep(std::move(step));
}

void DesignerWindow::cancelMove() {
    if (!undo_.empty()) undo_.pop_back();
    if (currentState() == savedState_)
        markClean();
    else
        markDirty();
    refreshProperties();
}

void DesignerWindow::beginChange(std::string what) {
    // The records are copied only for the length of the change.
    pending_ = canvas_->record();
    pendingWhat_ = std::move(what);
}

void DesignerWindow::dropChange() {
    pending_.reset();
}

void DesignerWindow::commitChange() {
    if (!pending_) return;
    platform::FormRecord before = std::move(*pending_);
    pending_.reset();
    const platform::FormRecord& after = canvas_->record();
    UndoStep step;
    step.what = std::move(pendingWhat_);
    step.records = true;
    for (const platform::FormControlRecord& r : before.controls) {
        step.order.push_back(r.name);
        step.bytes += r.name.size();
        const platform::FormControlRecord* now = after.find(r.name);
        if (now != nullptr && sameRecord(r, *now)) continue;
        step.bytes += recordBytes(r);
        step.kept.push_back(r);
    }
    before.controls.clear();
    step.header = std::move(before);
    pushStep(std::move(step));
}

void DesignerWindow::swapStep(UndoStep& step) {
    std::vector<std::string> selection = canvas_->overlay().selection();
    if (!step.records) {
        for (UndoStep::Place& place : step.places)
            if (FormCanvas::Control* c = canvas_->find(place.name)) {
                UndoStep::Place now{c->name(*canvas_), c->box->name, c->local()};
                canvas_->moveInto(*c, place.box, place.local);
                place = std::move(now);
            }
        canvas_->overlay().select(step.selection);
        step.selection = std::move(selection);
        return;
    }
    platform::FormRecord form = canvas_->record();
    const auto named = [](std::vector<platform::FormControlRecord>& records,
                          std::string_view name) -> platform::FormControlRecord* {
        const auto it =
            std::find_if(records.begin(), records.end(), [&](const platform::FormControlRecord& r) {
                return EqualsNoCase(r.name, name);
            });
        return it != records.end() ? &*it : nullptr;
    };
    // The form's side: its order, and its records the change altered or
    // added (those the step names differently or does not name at all).
    std::vector<std::string> order;
    std::vector<platform::FormControlRecord> kept;
    std::size_t bytes = 0;
    for (const platform::FormControlRecord& r : form.controls) {
        order.push_back(r.name);
        bytes += r.name.size();
        if (named(step.kept, r.name) == nullptr && HasName(step.order, r.name)) continue;
        kept.push_back(r);
        bytes += recordBytes(r);
    }
    std::vector<platform::FormControlRecord> controls;
    for (const std::string& name : step.order) {
        if (platform::FormControlRecord* r = named(step.kept, name))
            controls.push_back(std::move(*r));
        else if (platform::FormControlRecord* now = form.find(name))
            controls.push_back(std::move(*now));
    }
    form.controls = std::move(controls);
    std::swap(form.width, step.header.width);
    std::swap(form.height, step.header.height);
    std::swap(form.formExtras, step.header.formExtras);
    rebuild(std::move(form), step.selection);
    step.order = std::move(order);
    step.kept = std::move(kept);
    step.bytes = bytes;
    step.selection = std::move(selection);
}

void DesignerWindow::undo() {
    stepAcross(undo_, redo_);
}

void DesignerWindow::redo() {
    stepAcross(redo_, undo_);
}

void DesignerWindow::stepAcross(std::vector<UndoStep>& from, std::vector<UndoStep>& to) {
    if (from.empty()) return;
    // Applying the page's changes is a change of its own: it is what this
    // command then does.
    const std::uint64_t state = currentState();
    if (!settlePage() || currentState() != state) return;
    UndoStep step = std::move(from.back());
    from.pop_back();
    swapStep(step);
    to.push_back(std::move(step));
    if (currentState() == savedState_)
        markClean();
    else
        markDirty();
    refreshProperties();
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
    undoAction_->setText(undo_.empty() ? QStringLiteral("&Undo")
                                       : QStringLiteral("&Undo ") + q(undo_.back().what));
    redoAction_->setEnabled(!redo_.empty());
    redoAction_->setText(redo_.empty() ? QStringLiteral("&Redo")
                                       : QStringLiteral("&Redo ") + q(redo_.back().what));
    const bool selected = !canvas_->overlay().selection().empty();
    deleteAction_->setEnabled(selected);
    for (QAction* a : selectionActions_)
        a->setEnabled(selected);
}

void DesignerWindow::selectionChanged() {
    if (revertingSelection_) return;
    if (!settlePage()) {
        // The page keeps its changes: back to the controls it edits.
        revertingSelection_ = true;
        canvas_->overlay().select(pageSelection_);
        revertingSelection_ = false;
        refreshProperties();
        updateActions();
        return;
    }
    pageSelection_ = canvas_->overlay().selection();
    const std::vector<aicAlphaImage*> selected = selectedControls();
    page_->SelectionChanged(selected);
    apply_->setEnabled(page_->Changed() && page_->target() != nullptr);
    refreshProperties();
    updateActions();
}

void DesignerWindow::refreshProperties() {
    const std::vector<std::string>& selection = canvas_->overlay().selection();
    FormCanvas::Control* c = selection.empty() ? nullptr : canvas_->find(selection.front());
    const FormCanvas::Box* box = selection.empty() ? nullptr : canvas_->findBox(selection.front());
    if (box != nullptr)
        properties_->showBox(box->name, box->place);
    else if (c == nullptr)
        properties_->showForm(FormTitle(canvas_->form()), canvas_->size());
    else
        properties_->showControl(c->control, c->name(*canvas_), c->local());
    canvas_->overlay().update();
}

void DesignerWindow::editProperty(const PropertySpec& spec, const std::string& text) {
    const std::vector<aicAlphaImage*> selected = selectedControls();
    if (selected.empty() || spec.readOnly()) return;
    beginChange("Set " + std::string(spec.name));
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
        commitChange();
        markDirty();
    } else {
        dropChange();
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
    if (canvas_->findBox(old) != nullptr) {
        // The controls in the box follow it by its new name.
        changeForm("Rename", [&](platform::FormRecord& form) {
            for (platform::FormControlRecord& r : form.controls) {
                if (EqualsNoCase(r.container, old)) r.container = name;
                if (EqualsNoCase(r.name, old)) r.name = name;
            }
        });
        canvas_->overlay().select({name});
        refreshProperties();
        return;
    }
    beginChange("Rename");
    canvas_->rename(*canvas_->find(old), name);
    std::vector<std::string> next = selection;
    next.front() = name;
    commitChange();
    canvas_->overlay().select(std::move(next));
    markDirty();
    refreshProperties();
}

QPoint DesignerWindow::freePlace(const QSize& size) const {
    // Clear of every control and picture box by a few pixels.
    std::vector<QRect> taken;
    for (const auto& c : canvas_->controls())
        taken.push_back(c->onCanvas().adjusted(-4, -4, 4, 4));
    for (const auto& box : canvas_->boxes())
        if (!box->name.empty()) taken.push_back(box->place.adjusted(-4, -4, 4, 4));
    return FreeSpot(size, canvas_->rect(), taken);
}

void DesignerWindow::addControl(std::optional<QPoint> at) {
    if (!settlePage()) return;
    beginChange("Add Image Control");
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
        place = freePlace(size);
    }
    record.left = place.x();
    record.top = place.y();
    record.width = size.width();
    record.height = size.height();
    const std::string name = record.name;
    canvas_->add(std::move(record));
    commitChange();
    canvas_->overlay().select({name});
    markDirty();
}

void DesignerWindow::deleteSelection() {
    removeSelection("Delete");
}

void DesignerWindow::removeSelection(std::string what) {
    std::vector<std::string> selection = canvas_->overlay().selection();
    if (selection.empty() || !settlePage()) return;
    if (boxSelected()) {
        changeForm(std::move(what), [&](platform::FormRecord& form) {
            // A deleted box's controls are not deleted with it unless they
            // were selected: they stay where they were seen, on the form.
            for (platform::FormControlRecord& r : form.controls)
                if (!r.container.empty() && HasName(selection, r.container))
                    if (const FormCanvas::Box* box = canvas_->findBox(r.container)) {
                        r.container.clear();
                        r.left += box->place.x();
                        r.top += box->place.y();
                    }
            std::erase_if(form.controls, [&](const platform::FormControlRecord& r) {
                return HasName(selection, r.name);
            });
        });
        return;
    }
    beginChange(std::move(what));
    // The page lets go of its target before the controls go.
    page_->SelectionChanged({});
    canvas_->remove(selection);
    commitChange();
    selectionChanged();
    markDirty();
}

void DesignerWindow::applySource() {
    if (page_->target() == nullptr) return;
    beginChange("Apply Image Source");
    page_->ApplyChanges();
    commitChange();
    markDirty();
    refreshProperties();
}

void DesignerWindow::bringToFront() {
    reorder(true);
}

void DesignerWindow::sendToBack() {
    reorder(false);
}

void DesignerWindow::reorder(bool toFront) {
    const std::vector<std::string> selection = canvas_->overlay().selection();
    if (selection.empty() || !settlePage()) return;
    platform::FormRecord form = canvas_->record();
    const auto selected = [&](const platform::FormControlRecord& r) {
        return HasName(selection, r.name);
    };
    const auto namesOf = [](const platform::FormRecord& f) {
        std::vector<std::string> names;
        for (const platform::FormControlRecord& r : f.controls)
            names.push_back(r.name);
        return names;
    };
    const std::vector<std::string> before = namesOf(form);
    if (toFront)
        std::stable_partition(form.controls.begin(), form.controls.end(),
                              [&](const platform::FormControlRecord& r) { return !selected(r); });
    else
        std::stable_partition(form.controls.begin(), form.controls.end(), selected);
    if (namesOf(form) == before) return;
    beginChange(toFront ? "Bring to Front" : "Send to Back");
    // The containers paint and hit-test their controls in the order they
    // were sited, so the form is brought to life again in its new order.
    rebuild(std::move(form), selection);
    commitChange();
    markDirty();
}

platform::FormRecord DesignerWindow::fragment() {
    const std::vector<std::string>& selection = canvas_->overlay().selection();
    const platform::FormRecord& form = canvas_->record();
    platform::FormRecord out;
    out.width = form.width;
    out.height = form.height;
    // In the form's order, so copies stack as the originals do.
    for (const platform::FormControlRecord& r : form.controls)
        if (HasName(selection, r.name)) out.controls.push_back(r);
    return out;
}

void DesignerWindow::copy() {
    if (canvas_->overlay().selection().empty() || !settlePage()) return;
    const std::string text = platform::SerializeFormStore(fragment());
    const QByteArray bytes(text.data(), static_cast<qsizetype>(text.size()));
    auto data = std::make_unique<QMimeData>();
    data->setData(QString::fromLatin1(kClipboardType), bytes);
    data->setText(QString::fromUtf8(bytes));
    QGuiApplication::clipboard()->setMimeData(data.release()); // the clipboard owns it
}

void DesignerWindow::cut() {
    if (canvas_->overlay().selection().empty() || !settlePage()) return;
    copy();
    removeSelection("Cut");
}

void DesignerWindow::duplicate() {
    if (canvas_->overlay().selection().empty() || !settlePage()) return;
    pasteFragment(fragment(), std::nullopt, "Duplicate");
}

void DesignerWindow::paste(std::optional<QPoint> at) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (data == nullptr) return;
    // Our own type first; a store as text (from an editor) serves too.
    const QByteArray bytes = data->hasFormat(QString::fromLatin1(kClipboardType))
                                 ? data->data(QString::fromLatin1(kClipboardType))
                                 : data->text().toUtf8();
    // Whatever another program put there is read like any store: checked
    // whole, refused whole.
    platform::FormStoreResult result = platform::ParseFormStore(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
        "the clipboard");
    if (!result) {
        statusBar()->showMessage(QStringLiteral("The clipboard holds no controls of a form."),
                                 5000);
        return;
    }
    pasteFragment(std::move(*result.form), at, "Paste");
}

void DesignerWindow::pasteFragment(platform::FormRecord fragment, std::optional<QPoint> at,
                                   std::string what) {
    std::erase_if(fragment.controls, [](const platform::FormControlRecord& r) {
        return !velmora::FormInstance::IsImageControl(r);
    });
    if (fragment.controls.empty() || !settlePage()) return;
    const FormCanvas::Box& form = *canvas_->boxes().front();
    const FormCanvas::Box* target = at ? &canvas_->boxAt(*at) : nullptr;
    QPoint origin(fragment.controls.front().left, fragment.controls.front().top);
    for (const platform::FormControlRecord& r : fragment.controls)
        origin = QPoint(std::min(origin.x(), r.left), std::min(origin.y(), r.top));

    beginChange(std::move(what));
    platform::FormRecord next = canvas_->record();
    std::vector<std::string> names = canvas_->names();
    const auto taken = [&](const std::string& container, const QRect& place) {
        return std::any_of(next.controls.begin(), next.controls.end(),
                           [&](const platform::FormControlRecord& r) {
                               return EqualsNoCase(r.container, container) &&
                                      QRect(r.left, r.top, r.width, r.height) == place;
                           });
    };
    // Where the copies go: one shift for all, so they keep their layout.
    QPoint shift;
    if (at) {
        shift = *at - target->place.topLeft() - origin;
    } else {
        for (int i = 0; i < kPasteTries; ++i) {
            const bool clash = std::any_of(
                fragment.controls.begin(), fragment.controls.end(),
                [&](const platform::FormControlRecord& r) {
                    const FormCanvas::Box* box = canvas_->findBox(r.container);
                    return taken(box ? box->name : std::string(),
                                 QRect(r.left, r.top, r.width, r.height).translated(shift));
                });
            if (!clash) break;
            shift += QPoint(kPasteOffset, kPasteOffset);
        }
    }
    std::vector<std::string> pasted;
    for (platform::FormControlRecord& r : fragment.controls) {
        const FormCanvas::Box* box = target ? target : canvas_->findBox(r.container);
        if (box == nullptr) box = &form;
        r.container = box->name;
        const QRect place = LimitToBox(QRect(r.left, r.top, r.width, r.height).translated(shift),
                                       QRect(QPoint(0, 0), box->place.size()));
        r.left = place.x();
        r.top = place.y();
        if (HasName(names, r.name)) {
            std::string base = r.name;
            while (!base.empty() && base.back() >= '0' && base.back() <= '9')
                base.pop_back();
            r.name = FreeName(base.empty() ? std::string(aicAlphaImage::kTypeName) : base, names);
        }
        names.push_back(r.name);
        pasted.push_back(r.name);
        next.controls.push_back(std::move(r));
    }
    rebuild(std::move(next), pasted);
    commitChange();
    markDirty();
}

void DesignerWindow::align(Alignment how) {
    const std::vector<std::string> selection = canvas_->overlay().selection();
    std::vector<FormCanvas::Control*> controls;
    std::vector<QRect> rects;
    for (const std::string& name : selection)
        if (FormCanvas::Control* c = canvas_->find(name)) {
            controls.push_back(c);
            rects.push_back(c->onCanvas());
        }
    const std::vector<QRect> aligned = Align(rects, how);
    std::vector<QRect> kept;
    for (std::size_t i = 0; i < controls.size(); ++i)
        kept.push_back(LimitToBox(aligned[i], controls[i]->box->place));
    if (kept == rects) return;
    QString what = QString::fromLatin1(
        std::find_if(std::begin(kAlignmentNames), std::end(kAlignmentNames), [&](const auto& n) {
            return n.first == how;
        })->second);
    beginMove(what.remove('&').toStdString());
    for (std::size_t i = 0; i < controls.size(); ++i)
        canvas_->place(*controls[i], kept[i]);
    markDirty();
    refreshProperties();
}

void DesignerWindow::changeForm(std::string what,
                                const std::function<void(platform::FormRecord&)>& change) {
    if (!settlePage()) return;
    beginChange(std::move(what));
    platform::FormRecord form = canvas_->record();
    change(form);
    rebuild(std::move(form), canvas_->overlay().selection());
    commitChange();
    markDirty();
}

void DesignerWindow::setFormTitle(const std::string& title) {
    changeForm("Set Title", [&](platform::FormRecord& form) { SetFormTitle(form, title); });
}

void DesignerWindow::setFormSize(const QSize& size) {
    // Controls beyond a smaller form keep their places (and records); the
    // form can grow back to show them.
    changeForm("Resize Form", [&](platform::FormRecord& form) {
        form.width = size.width();
        form.height = size.height();
    });
}

bool DesignerWindow::boxSelected() const {
    const std::vector<std::string>& selection = canvas_->overlay().selection();
    return std::any_of(selection.begin(), selection.end(),
                       [&](const std::string& n) { return canvas_->findBox(n) != nullptr; });
}

void DesignerWindow::settleBoxes() {
    platform::FormRecord form = canvas_->record();
    canvas_->boxPlaces(form);
    rebuild(std::move(form), canvas_->overlay().selection());
    commitChange();
}

void DesignerWindow::addPictureBox(std::optional<QPoint> at) {
    const QSize size(kNewBoxWidth, kNewBoxHeight);
    const QPoint place = at ? *at : freePlace(size);
    platform::FormControlRecord record;
    record.type = kPictureBoxType;
    record.name = FreeName("Picture", canvas_->names());
    const QRect kept = LimitToBox(QRect(place, size), canvas_->rect());
    record.left = kept.x();
    record.top = kept.y();
    record.width = size.width();
    record.height = size.height();
    record.properties.WriteProperty<std::int32_t>("BorderStyle", 1);
    const std::string name = record.name;
    changeForm("Add Picture Box",
               [&](platform::FormRecord& form) { form.controls.push_back(std::move(record)); });
    canvas_->overlay().select({name});
}

void DesignerWindow::preview() {
    // What the page holds unapplied is not the form's yet: the preview
    // shows the form as it would be saved.
    preview_.reset();
    preview_ = std::make_unique<FormPreview>(host_, canvas_->record());
    const std::string title = FormTitle(canvas_->form());
    preview_->setWindowTitle(QStringLiteral("Preview - ") +
                             q(title.empty() ? file_.filename().string() : title));
    preview_->show();
}

bool DesignerWindow::useSettings(std::unique_ptr<QSettings> settings) {
    settings_ = std::move(settings);
    if (!settings_) return false;
    const bool sized = restoreGeometry(settings_->value(kGeometryKey).toByteArray());
    restoreState(settings_->value(kStateKey).toByteArray());
    const int grid = settings_->value(kGridKey, canvas_->overlay().grid()).toInt();
    canvas_->overlay().setGrid(std::clamp(grid, 0, 256));
    for (QAction* a : gridActions_)
        a->setChecked(a->data().toInt() == canvas_->overlay().grid());
    snapAction_->setChecked(settings_->value(kSnapKey, true).toBool());
    updateRecentMenu();
    return sized;
}

void DesignerWindow::saveSettings() {
    if (!settings_) return;
    settings_->setValue(kGeometryKey, saveGeometry());
    settings_->setValue(kStateKey, saveState());
    settings_->setValue(kGridKey, canvas_->overlay().grid());
    settings_->setValue(kSnapKey, canvas_->overlay().snapping());
    settings_->sync();
}

std::vector<std::filesystem::path> DesignerWindow::recentFiles() const {
    std::vector<std::filesystem::path> out;
    if (settings_)
        for (const QString& file : settings_->value(kRecentKey).toStringList())
            out.emplace_back(file.toStdString());
    return out;
}

void DesignerWindow::rememberFile(const std::filesystem::path& file) {
    if (!settings_) return;
    std::error_code ignored;
    const std::filesystem::path whole = std::filesystem::absolute(file, ignored);
    const QString name = q((whole.empty() ? file : whole).string());
    QStringList files = settings_->value(kRecentKey).toStringList();
    files.removeAll(name);
    files.prepend(name);
    while (files.size() > kRecentFiles)
        files.removeLast();
    settings_->setValue(kRecentKey, files);
    settings_->sync();
    updateRecentMenu();
}

void DesignerWindow::updateRecentMenu() {
    recentMenu_->clear();
    const std::vector<std::filesystem::path> files = recentFiles();
    for (std::size_t i = 0; i < files.size(); ++i) {
        QAction* a = recentMenu_->addAction(QStringLiteral("&%1 ").arg(i + 1) +
                                            q(files[i].filename().string()));
        a->setToolTip(q(files[i].string()));
        connect(a, &QAction::triggered, this, [this, i] { openRecent(i); });
    }
    recentMenu_->setEnabled(!files.empty());
}

void DesignerWindow::openRecent(std::size_t index) {
    const std::vector<std::filesystem::path> files = recentFiles();
    if (index >= files.size() || !settlePage() || !mayDiscard()) return;
    std::string error;
    if (openStore(files[index], error)) return;
    // A file that is gone or damaged is not offered again.
    QStringList kept = settings_->value(kRecentKey).toStringList();
    kept.removeAll(q(files[index].string()));
    settings_->setValue(kRecentKey, kept);
    updateRecentMenu();
    showError("The form could not be opened.\n" + error);
}

} // namespace velmora::designer

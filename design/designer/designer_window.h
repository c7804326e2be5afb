#pragma once
// velmora-designer's window: the form in the middle, the property list and
// the "Image Source" page beside it, the file and edit commands in menus
// and a tool bar. It keeps the form's file, whether it holds unsaved
// changes (the title's mark) and, for undo, what each change altered: the
// places of the controls a move or resize touched, or the records another
// change altered, as they were.

#include "control/aic_alpha_image.h"
#include "control/property_table.h"
#include "design/designer/edit_geometry.h"
#include "platform/host/form_store.h"
#include "platform/qt/qt_host.h"

#include <QMainWindow>
#include <QRect>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QSettings;
class QDockWidget;
class QPushButton;
class QTabWidget;

namespace velmora::design {
class ppgSourceImage;
}

namespace velmora::designer {

class FormCanvas;
class FormPreview;
class PropertyList;

// One step of undo or redo. A step holds the side of a change that is not
// on the form: the form before the change while it waits on the undo list,
// the form after it while it waits on the redo list. Applying a step swaps
// the two sides, so one step goes back and forth and each direction keeps
// only what the change touched.
struct UndoStep {
    std::string what;        // "Move", "Set Opacity": the Edit menu names the step
    std::uint64_t state = 0; // names the form as the step left it
    std::vector<std::string> selection;
    // A move or resize: where each control was (its box's name, its pixels
    // there).
    struct Place {
        std::string name;
        std::string box;
        QRect local;
    };
    std::vector<Place> places;
    bool nudge = false;
    // Any other change: the records' names in their order, the records the
    // change altered, removed or added as they are on this side, and the
    // form's own size and title.
    bool records = false;
    std::vector<std::string> order;
    std::vector<platform::FormControlRecord> kept;
    platform::FormRecord header; // its controls stay empty
    std::size_t bytes = 0;
};

// The form's title. The store keeps it as a key of "form" the store's
// reader does not know, so older readers keep it too and older files, which
// have none, read as they did.
inline constexpr const char* kTitleKey = "title";
std::string FormTitle(const platform::FormRecord& form);
void SetFormTitle(platform::FormRecord& form, const std::string& title);

enum class UnsavedAnswer { Save, Discard, Cancel };
// What to do with changes made on the Image Source page and not applied.
enum class PageAnswer { Apply, Discard, Cancel };

class DesignerWindow final : public QMainWindow {
public:
    static constexpr const char* kProgram = "velmora-designer";
    static constexpr int kNewFormWidth = 640;
    static constexpr int kNewFormHeight = 480;
    // The clipboard's form of copied controls: a form store holding their
    // records (also put there as text).
    static constexpr const char* kClipboardType = "application/x-velmora-form-controls";

    explicit DesignerWindow(platform::QtHost& host, QWidget* parent = nullptr);
    // The page and the controls end before the window's record.
    ~DesignerWindow() override;
    DesignerWindow(const DesignerWindow&) = delete;
    DesignerWindow& operator=(const DesignerWindow&) = delete;

    // Shows the store of `file`; false with the reader's reason when it is
    // damaged or unreadable (the form shown stays as it was).
    bool openStore(const std::filesystem::path& file, std::string& error);
    // Shows an empty form; `file` (may be empty) is where Save writes it.
    void newForm(const std::filesystem::path& file = {});

    // The commands of the menus. New and Open ask first when the form has
    // unsaved changes; Save and Save As answer whether the form was written.
    void fileNew();
    void fileOpen();
    bool save();
    bool saveAs();
    // A new image control at `at` (form pixels; inside the picture box
    // there, if any) or at a free place of the form, selected.
    void addControl(std::optional<QPoint> at = std::nullopt);
    // A new picture box at `at` (form pixels) or at a free place, selected.
    void addPictureBox(std::optional<QPoint> at = std::nullopt);
    void deleteSelection();
    // The selected controls go last in the form's order (painted over the
    // others and asked first about the pointer) or first, keeping their own
    // order among themselves.
    void bringToFront();
    void sendToBack();
    // The selected controls' records to the system clipboard (Cut removes
    // them as one step). Paste adds the clipboard's controls: at `at` (form
    // pixels; in the picture box there), or where they were copied from,
    // moved on while copies lie there already; a name the form has is
    // replaced with the next free one. Duplicate pastes a copy without the
    // clipboard.
    void copy();
    // Lines up the selected controls after the first selected one (each
    // stays whole in its own container), as one step.
    void align(Alignment how);
    void cut();
    void paste(std::optional<QPoint> at = std::nullopt);
    void duplicate();
    // Runs the form as it now is in a preview window (a new one each time).
    void preview();
    FormPreview* previewWindow() const { return preview_.get(); }
    // Puts the form back as it was before the last change; consecutive
    // arrow-key moves of the same controls are one change. With changes
    // pending on the page, asks first; applying them is then the command.
    void undo();
    // Makes the last undone change again; any new change forgets what
    // was undone.
    void redo();
    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    // What undo keeps, in bytes (property values and names, roughly).
    std::size_t undoBytes() const;

    bool dirty() const { return isWindowModified(); }
    const std::filesystem::path& file() const { return file_; }
    // A size that shows the whole form beside the property list, within
    // reason.
    QSize initialSize() const;

    // Where the window keeps its recent files, size, dock and tool bar
    // places, grid and snapping: the program gives its user's settings,
    // tests a file of their own; without any nothing is kept. Answers
    // whether a size was restored from them.
    bool useSettings(std::unique_ptr<QSettings> settings);
    // The files last opened or saved, the latest first.
    std::vector<std::filesystem::path> recentFiles() const;
    // Opens the recent file at `index` (asking about unsaved changes first);
    // one that cannot be opened is said so and leaves the list.
    void openRecent(std::size_t index);

    FormCanvas& canvas() const { return *canvas_; }
    PropertyList& properties() const { return *properties_; }
    design::ppgSourceImage& sourcePage() const { return *page_; }
    QPushButton& applyButton() const { return *apply_; }
    QTabWidget& tabs() const { return *tabs_; }
    // The selected image controls, the first selected first.
    std::vector<aicAlphaImage*> selectedControls() const;

    // What the window asks the user; dialogs unless tests set their own.
    // File to open (empty: cancelled).
    std::function<std::string()> chooseOpenFile;
    // File to save to, starting from the current one (empty: cancelled).
    std::function<std::string(const std::filesystem::path& current)> chooseSaveFile;
    // What to do with unsaved changes before they would be lost.
    std::function<UnsavedAnswer()> askUnsaved;
    // What to do with the page's unapplied changes before they would be
    // lost (another selection, Save, Close, Undo, New, Open).
    std::function<PageAnswer()> askPageChanges;
    // A failure the user must see (a message box).
    std::function<void(const std::string& text)> showError;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void rebuild(platform::FormRecord form, std::vector<std::string> selection);
    // A change of records (properties, names, pictures, added or deleted
    // controls): beginChange notes the records, commitChange keeps those
    // the change altered as one undo step; dropChange forgets a change that
    // altered nothing.
    void beginChange(std::string what);
    void commitChange();
    void dropChange();
    // A move or resize of the selected controls: their places are noted.
    void beginMove(std::string what, bool nudge = false);
    // A drag was cancelled: its step is forgotten.
    void cancelMove();
    void pushStep(UndoStep step);
    // Puts the step's side on the form and keeps the form's in the step.
    void swapStep(UndoStep& step);
    // A place of `size` on the form clear of its controls and boxes.
    QPoint freePlace(const QSize& size) const;
    // Undo or redo: the latest step of `from` is applied and moves to `to`.
    void stepAcross(std::vector<UndoStep>& from, std::vector<UndoStep>& to);
    std::uint64_t currentState() const;
    void markDirty();
    void markClean();
    void updateTitle();
    void updateActions();
    void selectionChanged();
    void refreshProperties();
    // Asks about unsaved changes; false when the user keeps the form.
    bool mayDiscard();
    // Asks about the page's unapplied changes; false when the user keeps
    // them (the command that asked stops).
    bool settlePage();
    bool writeTo(const std::filesystem::path& file);
    void applySource();
    void editProperty(const PropertySpec& property, const std::string& text);
    void rename(const std::string& name);
    void reorder(bool toFront);
    // Whether the selection holds a picture box: its changes are changes of
    // records, the form rebuilt from them.
    bool boxSelected() const;
    // Ends a gesture that moved picture boxes: their records take their
    // places and the form is rebuilt.
    void settleBoxes();
    // The form's own properties, each one step.
    void setFormTitle(const std::string& title);
    void setFormSize(const QSize& size);
    void rememberFile(const std::filesystem::path& file);
    void updateRecentMenu();
    void saveSettings();
    void changeForm(std::string what, const std::function<void(platform::FormRecord&)>& change);
    void removeSelection(std::string what);
    // The selected controls' records as a store.
    platform::FormRecord fragment();
    void pasteFragment(platform::FormRecord fragment, std::optional<QPoint> at, std::string what);

    platform::QtHost& host_;
    platform::HWND window_ = 0;
    FormCanvas* canvas_ = nullptr;
    PropertyList* properties_ = nullptr;
    design::ppgSourceImage* page_ = nullptr;
    QPushButton* apply_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QDockWidget* dock_ = nullptr;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    QAction* deleteAction_ = nullptr;
    std::vector<QAction*> selectionActions_; // enabled while something is selected
    std::unique_ptr<FormPreview> preview_;
    std::unique_ptr<QSettings> settings_;
    QMenu* recentMenu_ = nullptr;
    std::vector<QAction*> gridActions_;
    QAction* snapAction_ = nullptr;
    std::filesystem::path file_;
    std::vector<UndoStep> undo_;                  // the latest last
    std::vector<UndoStep> redo_;                  // the latest undone last
    std::optional<platform::FormRecord> pending_; // records before the change under way
    std::string pendingWhat_;
    std::uint64_t nextState_ = 1;
    std::uint64_t baseState_ = 0;  // the state below the oldest step kept
    std::uint64_t savedState_ = 0; // the state last saved or opened
    bool rebuilding_ = false;
    bool revertingSelection_ = false;
    std::vector<std::string> pageSelection_; // the selection the page was last given
};

} // namespace velmora::designer

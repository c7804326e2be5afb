#pragma once
// ppgSourceImage: the "Image Source" property page a form designer shows
// for image controls, drawn with Qt Widgets. The developer picks the image
// from a file, from the clipboard or by dropping a file on the page,
// chooses which size and colour depth of an icon or cursor to use, sees a
// preview, clears the image, and applies the result to the first selected
// control. What all that does is SourceImagePage's; this class shows the
// page's controls and the preview, and hands their events on.

#include "design/source_image_page.h"
#include "platform/qt/qt_container.h"
#include "platform/qt/qt_host.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace velmora::design {

class ppgSourceImage final : public QWidget {
public:
    static constexpr const char* kCaption = SourceImagePage::kCaption;

    // The page stands in `owner` (the window record of the designer window
    // it is shown in); it makes a child window record of its own for the
    // preview, which goes with the page. Without an owner the page is a
    // top-level window record itself.
    ppgSourceImage(platform::QtHost& host, platform::HWND owner, QWidget* parent = nullptr);
    ~ppgSourceImage() override;
    ppgSourceImage(const ppgSourceImage&) = delete;
    ppgSourceImage& operator=(const ppgSourceImage&) = delete;

    // --- the development environment's side -----------------------------------------
    // The selected controls changed: the page edits the first one (none
    // when the list is empty: the page is then empty and its buttons
    // disabled) and shows its image. Marks the page unchanged.
    void SelectionChanged(std::span<aicAlphaImage* const> selected) {
        page_->SelectionChanged(selected);
    }
    // The target was rebuilt as another object (the designer moved it to
    // another container): the page keeps what it holds, changes included.
    void Retarget(aicAlphaImage* target) { page_->Retarget(target); }
    // Writes the preview's image, at the chosen icon size and depth, to the
    // target control (or clears the target's image when the preview is
    // empty). Nothing without a target.
    void ApplyChanges() { page_->ApplyChanges(); }
    // Whether the page holds changes not yet applied; the environment
    // enables its Apply button by it.
    bool Changed() const { return page_->Changed(); }
    std::function<void(bool changed)> onChangedChanged;
    aicAlphaImage* target() const { return page_->target(); }

    // --- the page's own events ------------------------------------------------------------
    void cmdBrowse_Click() { page_->cmdBrowse_Click(); }
    void cmdClipBoard_Click() { page_->cmdClipBoard_Click(); }
    void Command1_Click() { page_->Command1_Click(); }
    // An entry of cboIcon was chosen (the current index).
    void cboIcon_Click() { page_->cboIcon_Click(); }
    // Files dropped on the page; only the first is loaded.
    void OLEDragDrop(const std::vector<std::string>& files) { page_->OLEDragDrop(files); }

    // Asks for a file to open (title, filters); empty when cancelled. The
    // system's open-file dialog unless a test sets its own.
    std::function<std::string(const std::string& title, const std::vector<FileFilter>& filters)>
        openFileDialog;
    // Tells the developer something went wrong (a file that did not load):
    // the host's message box unless a test sets its own.
    std::function<void(const std::string& text)> showMessage;

    // --- the page's controls -----------------------------------------------------------------
    QPushButton* cmdBrowse() const { return cmdBrowse_; }
    QPushButton* cmdClipBoard() const { return cmdClipBoard_; }
    QPushButton* Command1() const { return command1_; }
    QComboBox* cboIcon() const { return cboIcon_; }
    QLabel* lblFormat() const { return lblFormat_; }
    QFrame* Shape1() const { return shape1_; }
    aicAlphaImage& ucAlphaImage1() const { return page_->preview(); }
    // Whether the preview is shown, and where (page pixels).
    bool previewVisible() const;
    QRect previewGeometry() const;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class View; // what the logic sees of the page

    platform::QtHost& host_;
    platform::HWND window_ = 0;
    QPushButton* cmdBrowse_;
    QPushButton* cmdClipBoard_;
    QPushButton* command1_;
    QComboBox* cboIcon_;
    QLabel* lblFormat_;
    QFrame* shape1_;
    platform::QtControlContainer* container_;
    platform::QtContainerSite* previewSite_ = nullptr;
    std::unique_ptr<View> view_;
    std::unique_ptr<SourceImagePage> page_;
};

} // namespace velmora::design

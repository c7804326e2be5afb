#pragma once
// ppgSourceImage: the "Image Source" property page a form designer shows
// for image controls. The developer picks the image from a file, from the
// clipboard or by dropping a file on the page, chooses which size and
// colour depth of an icon or cursor to use, sees a preview, clears the
// image, and applies the result to the first selected control.
//
// The image being edited lives only in the preview control (ucAlphaImage1,
// a real aicAlphaImage that keeps the source bytes of what it loads); those
// bytes are what the page applies.

#include "control/aic_alpha_image.h"
#include "platform/qt/qt_container.h"
#include "platform/qt/qt_host.h"

#include <QWidget>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace velmora::design {

// One entry of the open dialog's filter list.
struct FileFilter {
    std::string description;
    std::string patterns; // separated by ';'
};
// The "Select Image" filter list; the TIFF patterns only when the imaging
// service is enabled.
std::vector<FileFilter> ImageFileFilters(bool imagingEnabled);

// The text of an icon-size entry ("032x032 {32 bit, True Color Alpha}") for
// an image of the icon reader's size list (width, height, bit count,
// colour code).
std::string IconEntryText(std::int32_t width, std::int32_t height, std::int32_t bitCount,
                          std::int32_t colourCode);
// The width, height and bit depth an entry's text names (0 for what it
// does not name).
struct IconEntrySize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bitDepth = 0;
};
IconEntrySize ParseIconEntry(std::string_view text);
// lblFormat's text for an image that is no icon or cursor: "640 x 480 - PNG
// file" and the like, by the surface's image type. Images the imaging
// service decoded all have the PNG type; the first bytes of what they were
// read from name the format they came in.
std::string FormatLabelText(std::int32_t width, std::int32_t height, std::int32_t imageType,
                            bool hasAlpha, std::span<const std::uint8_t> sourceBytes = {});
// What the page says of a file it could not load: the file, and why, as far
// as its first bytes (`head`; empty when it could not be read) tell.
std::string LoadFailureText(const std::string& path, std::span<const std::uint8_t> head);

class ppgSourceImage final : public QWidget {
public:
    static constexpr const char* kCaption = "Image Source";

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
    void SelectionChanged(std::span<aicAlphaImage* const> selected);
    // The target was rebuilt as another object (the designer moved it to
    // another container): the page keeps what it holds, changes included.
    void Retarget(aicAlphaImage* target) { target_ = target; }
    // Writes the preview's image, at the chosen icon size and depth, to the
    // target control (or clears the target's image when the preview is
    // empty). Nothing without a target.
    void ApplyChanges();
    // Whether the page holds changes not yet applied; the environment
    // enables its Apply button by it.
    bool Changed() const { return changed_; }
    std::function<void(bool changed)> onChangedChanged;
    aicAlphaImage* target() const { return target_; }

    // --- the page's own events ------------------------------------------------------------
    void cmdBrowse_Click();
    void cmdClipBoard_Click();
    void Command1_Click();
    // An entry of cboIcon was chosen (the current index).
    void cboIcon_Click();
    // Files dropped on the page; only the first is loaded.
    void OLEDragDrop(const std::vector<std::string>& files);

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
    aicAlphaImage& ucAlphaImage1() const { return *preview_; }
    // Whether the preview is shown, and where (page pixels).
    bool previewVisible() const;
    QRect previewGeometry() const;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void markChanged(bool changed);
    // The enabled state of the page's controls, from the target and the
    // icon list.
    void updateEnabled();
    // Empties the preview and loads into it at its own size, then describes
    // the image and shows it when it is no icon; a failed load leaves the
    // preview hidden and empty. `formatHead`: as for describeImage.
    using LoadAtSize =
        std::function<bool(std::int32_t& width, std::int32_t& height, std::int32_t& depth)>;
    bool loadPreview(const LoadAtSize& load, std::span<const std::uint8_t> formatHead = {});
    // Loads a file into the preview; a file that does not load leaves the
    // page as it was and is reported through showMessage.
    bool loadFile(const std::string& path);
    // Fills cboIcon or lblFormat for the preview's image; true when cboIcon
    // has entries (choosing the last one has then shown the preview).
    // `formatHead`, the start of the file the image came from, names its
    // format (the kept source bytes when empty).
    bool describeImage(std::span<const std::uint8_t> formatHead = {});
    void showPreview();
    void clearPreview();
    void clearDescription();
    // The chosen entry's size (all 0 while cboIcon is hidden).
    IconEntrySize chosenSize() const;

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
    std::unique_ptr<aicAlphaImage> preview_;
    aicAlphaImage* target_ = nullptr;
    bool changed_ = false;
};

} // namespace velmora::design

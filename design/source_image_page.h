#pragma once
// The "Image Source" property page's logic, free of any toolkit: what its
// buttons, its icon-size list and drops do, what it says of the image it
// holds, when its controls can be used, and how it applies the image to the
// control it edits. A view shows it (the Qt page, the tests' fake) through
// SourceImagePageView.
//
// The image being edited lives only in the preview control (a real
// aicAlphaImage that keeps the source bytes of what it loads, owned here and
// sited by the view); those bytes are what the page applies.

#include "control/aic_alpha_image.h"
#include "platform/host/container_site.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// An entry of the icon-size list: its text, and the key it is ordered by
// (width times height plus bit count), which the list keeps as item data.
struct IconEntry {
    std::string text;
    std::int32_t key = 0;
};

// What the logic needs of the page's controls: the Browse, From Clipboard
// and Clear Image buttons, the icon-size list cboIcon, the format label
// lblFormat, the frame the preview stands in, and the dialogs.
class SourceImagePageView {
public:
    virtual ~SourceImagePageView() = default;

    // Browse, From Clipboard and Clear Image, together.
    virtual void EnableButtons(bool enabled) = 0;

    // cboIcon shows these entries, first to last, and is shown; with none it
    // is emptied and hidden. No Click is raised; the logic chooses an entry
    // itself afterwards.
    virtual void SetIconEntries(std::span<const IconEntry> entries) = 0;
    virtual void EnableIconList(bool enabled) = 0;
    // The chosen position, or -1.
    virtual int ChosenIconEntry() const = 0;
    // Chooses a position without raising the list's Click.
    virtual void ChooseIconEntry(int position) = 0;

    virtual void SetFormatText(const std::string& text) = 0;
    virtual void ShowFormatLabel(bool shown) = 0;

    // The preview control, sited on the view's preview site: the view
    // connects it to what draws it before the control is initialised, and
    // lets go of it before it ends.
    virtual void AttachPreview(aicAlphaImage& preview) = 0;
    virtual void DetachPreview() = 0;
    virtual void ShowPreview(bool shown) = 0;
    // Where the preview may stand (the frame less its border), in its
    // site's coordinates.
    virtual platform::RECT PreviewArea() const = 0;

    // Tells the developer something went wrong (a file that did not load),
    // in a message box with the page's caption; returns once it is closed.
    virtual void ShowMessage(const std::string& text) = 0;
    // Asks for a file to open; empty when cancelled.
    virtual std::string AskForFile(const std::string& title,
                                   const std::vector<FileFilter>& filters) = 0;
    // The page's changed state turned (the environment enables its Apply
    // button by it).
    virtual void ChangedChanged(bool changed) = 0;
};

class SourceImagePage {
public:
    static constexpr const char* kCaption = "Image Source";

    // The preview control stands on `previewSite`, whose extent is the
    // preview's size until an image is shown; the page's clipboard is the
    // site's.
    SourceImagePage(SourceImagePageView& view, platform::ContainerSite& previewSite);
    ~SourceImagePage();
    SourceImagePage(const SourceImagePage&) = delete;
    SourceImagePage& operator=(const SourceImagePage&) = delete;

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
    // Whether the page holds changes not yet applied.
    bool Changed() const { return changed_; }
    aicAlphaImage* target() const { return target_; }
    // Drops are taken only while there is a control to apply them to, as
    // the buttons are.
    bool TakesDrops() const { return target_ != nullptr; }

    // --- the page's own events ------------------------------------------------------------
    void cmdBrowse_Click();
    void cmdClipBoard_Click();
    void Command1_Click();
    // An entry of cboIcon was chosen (the view's chosen position).
    void cboIcon_Click();
    // Files dropped on the page; only the first is loaded.
    void OLEDragDrop(const std::vector<std::string>& files);

    aicAlphaImage& preview() const { return *preview_; }

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
    // page as it was and is reported through the view.
    bool loadFile(const std::string& path);
    // Fills cboIcon or lblFormat for the preview's image; true when cboIcon
    // has entries (choosing the last one has then shown the preview).
    // `formatHead`, the start of the file the image came from, names its
    // format (the kept source bytes when empty).
    bool describeImage(std::span<const std::uint8_t> formatHead = {});
    void showPreview();
    void hidePreview();
    void clearPreview();
    void clearDescription();
    void setIconEntries(std::vector<IconEntry> entries);
    // The chosen entry's size (all 0 while cboIcon has no entries).
    IconEntrySize chosenSize() const;

    SourceImagePageView& view_;
    platform::ContainerSite& previewSite_;
    std::unique_ptr<aicAlphaImage> preview_;
    // cboIcon's entries; it is shown exactly while it has some.
    std::vector<IconEntry> iconEntries_;
    bool previewShown_ = false;
    aicAlphaImage* target_ = nullptr;
    bool changed_ = false;
};

} // namespace velmora::design

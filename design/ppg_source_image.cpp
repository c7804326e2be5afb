#include "design/ppg_source_image.h"

#include "platform/qt/qt_clipboard.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFrame>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>

namespace velmora::design {
namespace {

// The page's layout, in pixels: the buttons down the left, the preview's
// frame on the right, the icon sizes or the format below both.
constexpr QSize kPageSize{400, 248};
constexpr QRect kBrowse{8, 8, 120, 26};
constexpr QRect kClipboard{8, 40, 120, 26};
constexpr QRect kClear{8, 72, 120, 26};
constexpr QRect kFrame{136, 8, 256, 196};
constexpr QRect kSizes{8, 214, 384, 26};

// Arial when the system has it, else a free sans face of the same metrics.
QFont pageFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(9);
    font.setStyleHint(QFont::SansSerif);
    const QStringList families = QFontDatabase::families();
    if (!families.contains(QStringLiteral("Arial"))) {
        for (const char* fallback : {"Liberation Sans", "Arimo", "DejaVu Sans"}) {
            if (families.contains(QString::fromLatin1(fallback))) {
                font.setFamily(QString::fromLatin1(fallback));
                break;
            }
        }
    }
    return font;
}

} // namespace

class ppgSourceImage::View final : public SourceImagePageView {
public:
    explicit View(ppgSourceImage& page) : page_(page) {}

    void EnableButtons(bool enabled) override {
        for (QPushButton* button : {page_.cmdBrowse_, page_.cmdClipBoard_, page_.command1_})
            button->setEnabled(enabled);
    }
    void SetIconEntries(std::span<const IconEntry> entries) override {
        QComboBox& list = *page_.cboIcon_;
        list.clear();
        for (const IconEntry& entry : entries)
            list.addItem(QString::fromStdString(entry.text), entry.key);
        list.setVisible(!entries.empty());
    }
    void EnableIconList(bool enabled) override { page_.cboIcon_->setEnabled(enabled); }
    int ChosenIconEntry() const override { return page_.cboIcon_->currentIndex(); }
    void ChooseIconEntry(int position) override { page_.cboIcon_->setCurrentIndex(position); }
    void SetFormatText(const std::string& text) override {
        page_.lblFormat_->setText(QString::fromStdString(text));
    }
    void ShowFormatLabel(bool shown) override { page_.lblFormat_->setVisible(shown); }

    void AttachPreview(aicAlphaImage& preview) override {
        page_.container_->attach(*page_.previewSite_, preview, &preview);
    }
    void DetachPreview() override { page_.container_->detach(*page_.previewSite_); }
    void ShowPreview(bool shown) override { page_.previewSite_->setVisible(shown); }
    platform::RECT PreviewArea() const override {
        // The container covers the frame inside its border.
        const QSize inside = page_.shape1_->contentsRect().size();
        return {0, 0, inside.width(), inside.height()};
    }

    void ShowMessage(const std::string& text) override {
        if (page_.showMessage) page_.showMessage(text);
    }
    std::string AskForFile(const std::string& title,
                           const std::vector<FileFilter>& filters) override {
        if (page_.openFileDialog) return page_.openFileDialog(title, filters);
        QStringList names;
        for (const FileFilter& filter : filters) {
            QString patterns = QString::fromStdString(filter.patterns);
            patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
            names << QString::fromStdString(filter.description) + QStringLiteral(" (") + patterns +
                         QLatin1Char(')');
        }
        QFileDialog dialog(&page_, QString::fromStdString(title));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters(names);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            return dialog.selectedFiles().front().toStdString();
        return {};
    }
    void ChangedChanged(bool changed) override {
        if (page_.onChangedChanged) page_.onChangedChanged(changed);
    }

private:
    ppgSourceImage& page_;
};

ppgSourceImage::ppgSourceImage(platform::QtHost& host, platform::HWND owner, QWidget* parent)
    : QWidget(parent), host_(host) {
    setFont(pageFont());
    setMinimumSize(kPageSize);
    setAcceptDrops(true);
    setWindowTitle(QString::fromLatin1(kCaption));

    cmdBrowse_ = new QPushButton(QStringLiteral("Browse"), this);
    cmdBrowse_->setObjectName(QStringLiteral("cmdBrowse"));
    cmdBrowse_->setGeometry(kBrowse);
    cmdClipBoard_ = new QPushButton(QStringLiteral("From Clipboard"), this);
    cmdClipBoard_->setObjectName(QStringLiteral("cmdClipBoard"));
    cmdClipBoard_->setGeometry(kClipboard);
    command1_ = new QPushButton(QStringLiteral("Clear Image"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setGeometry(kClear);
    cboIcon_ = new QComboBox(this);
    cboIcon_->setObjectName(QStringLiteral("cboIcon"));
    cboIcon_->setGeometry(kSizes);
    cboIcon_->hide();
    lblFormat_ = new QLabel(this);
    lblFormat_->setObjectName(QStringLiteral("lblFormat"));
    lblFormat_->setGeometry(kSizes);
    shape1_ = new QFrame(this);
    shape1_->setObjectName(QStringLiteral("Shape1"));
    shape1_->setFrameShape(QFrame::Box);
    shape1_->setGeometry(kFrame);

    // The preview sits in a container inside the frame's border, a window
    // record of its own under the owner's.
    const QRect inner = kFrame.adjusted(1, 1, -1, -1);
    // Shown on its own, the page is a top-level window itself.
    window_ = owner != 0 ? host_.CreateWindowExA(0, "Static", "ppgSourceImage",
                                                 platform::WS_CHILD | platform::WS_VISIBLE,
                                                 inner.x(), inner.y(), inner.width(),
                                                 inner.height(), owner, 0, 0, nullptr)
                         : host_.AdoptWindow(this, "#32770");
    container_ = new platform::QtControlContainer(host_, window_, shape1_);
    container_->setGeometry(shape1_->contentsRect());
    container_->setBackground(palette().color(QPalette::Window));
    previewSite_ = &container_->addSite(aicAlphaImage::kTypeName, "ucAlphaImage1",
                                        {0, 0, inner.width(), inner.height()});
    view_ = std::make_unique<View>(*this);
    page_ = std::make_unique<SourceImagePage>(*view_, *previewSite_);

    showMessage = [this](const std::string& text) {
        host_.MessageBox(text, kCaption, platform::MB_OK | platform::MB_ICONEXCLAMATION);
    };

    connect(cmdBrowse_, &QPushButton::clicked, this, [this] { cmdBrowse_Click(); });
    connect(cmdClipBoard_, &QPushButton::clicked, this, [this] { cmdClipBoard_Click(); });
    connect(command1_, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(cboIcon_, &QComboBox::activated, this, [this](int) { cboIcon_Click(); });
}

ppgSourceImage::~ppgSourceImage() {
    page_.reset(); // the preview ends while its container and view stand
    view_.reset();
    delete container_; // before its window record
    host_.DestroyWindow(window_);
}

bool ppgSourceImage::previewVisible() const {
    return previewSite_->visible();
}

QRect ppgSourceImage::previewGeometry() const {
    const platform::RECT e = previewSite_->Extent();
    const QPoint at = container_->mapTo(this, QPoint(e.left, e.top));
    return {at.x(), at.y(), e.right - e.left, e.bottom - e.top};
}

void ppgSourceImage::dragEnterEvent(QDragEnterEvent* event) {
    if (page_->TakesDrops() && !platform::MimeDataFiles(event->mimeData()).empty())
        event->acceptProposedAction();
}

void ppgSourceImage::dragMoveEvent(QDragMoveEvent* event) {
    if (page_->TakesDrops() && !platform::MimeDataFiles(event->mimeData()).empty())
        event->acceptProposedAction();
}

void ppgSourceImage::dropEvent(QDropEvent* event) {
    const std::vector<std::string> files = platform::MimeDataFiles(event->mimeData());
    if (!page_->TakesDrops() || files.empty()) return;
    event->acceptProposedAction();
    OLEDragDrop(files);
}

} // namespace velmora::design

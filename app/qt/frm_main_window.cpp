#include "app/qt/frm_main_window.h"

#include "app/messages.h"
#include "app/qt/window_images.h"
#include "platform/net/route.h"
#include "platform/qt/qt_display.h"
#include "platform/system/environment.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <cmath>
#include <exception>
#include <iostream>
#include <limits>
#include <stdexcept>

namespace velmora::app {

namespace {

// The reference layout is in twips; this window draws at 15 twips to the
// pixel, the density the layout was made for.
constexpr int kTwipsPerPixel = 15;

constexpr int Px(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

void Place(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Verdana 6.75 pt bold, at 96 pixels to the inch 9 pixels high. Where
// Verdana is missing a sans face of similar shape stands in; such faces run
// a little wider, so the stand-in is narrowed until the longest caption that
// must fit its label does, as it does in Verdana.
QFont WindowFont() {
    QFont font;
    font.setFamilies({"Verdana", "DejaVu Sans", "Bitstream Vera Sans", "Liberation Sans", "Arial"});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(9);
    font.setWeight(QFont::Bold);
    if (QFontInfo(font).family() != "Verdana") {
        const QString longest = Q(text::kDnsServer1);
        for (int stretch = 98;
             stretch >= 86 && QFontMetrics(font).horizontalAdvance(longest) > Px(1020);
             stretch -= 2)
            font.setStretch(stretch);
    }
    return font;
}

QLabel* MakeLabel(QWidget* parent, const char* name, std::string_view caption) {
    auto* label = new QLabel(Q(caption), parent);
    label->setObjectName(name);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, std::string_view caption) {
    auto* button = new QPushButton(Q(caption), parent);
    button->setObjectName(name);
    // Enter presses the button that has the focus, as on the system the
    // design comes from; there is no default button that Enter would press
    // from elsewhere.
    button->setAutoDefault(true);
    return button;
}

// A cell that sorts by its number, not its text; a missing time sorts last.
class NumberItem final : public QTableWidgetItem {
public:
    NumberItem(const QString& text, double value) : QTableWidgetItem(text), value_(value) {
        setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    bool operator<(const QTableWidgetItem& other) const override {
        if (const auto* number = dynamic_cast<const NumberItem*>(&other))
            return value_ < number->value_;
        return QTableWidgetItem::operator<(other);
    }

private:
    double value_;
};

QTableWidgetItem* TimeItem(const std::optional<double>& milliseconds) {
    if (!milliseconds) return new NumberItem("-", std::numeric_limits<double>::infinity());
    return new NumberItem(QString::number(*milliseconds, 'f', 1), *milliseconds);
}

// The part of the screen a window may cover, less its own frame.
QSize FreeArea(const QWidget* widget) {
    QScreen* screen = widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
    const QRect free = screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
    const int frame = widget->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const int title = widget->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    return {free.width() - 2 * frame, free.height() - title - 2 * frame};
}

QFrame* MakePictureBox(QWidget* parent, const char* name) {
    auto* box = new QFrame(parent);
    box->setObjectName(name);
    box->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    box->setLineWidth(2);
    box->setFocusPolicy(Qt::StrongFocus);
    return box;
}

} // namespace

QPixmap WindowIconPixmap() {
    // A globe with a small server stack: the adapter's way to the name servers.
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(0x1d, 0x4e, 0x9e), 1));
        painter.setBrush(QColor(0x3a, 0x86, 0xe0));
        painter.drawEllipse(QRectF(0.5, 0.5, 12, 12));
        painter.setPen(QPen(QColor(0xdd, 0xee, 0xff), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRectF(4, 0.5, 5, 12));
        painter.drawLine(QPointF(1, 6.5), QPointF(12, 6.5));
        painter.setPen(QPen(QColor(0x20, 0x20, 0x20), 1));
        painter.setBrush(QColor(0x4c, 0xc0, 0x4c));
        painter.drawRect(QRectF(8.5, 9.5, 7, 3));
        painter.drawRect(QRectF(8.5, 12.5, 7, 3));
    }
    // The window icon is a 256-colour picture.
    return QPixmap::fromImage(image.convertToFormat(QImage::Format_Indexed8)
                                  .convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

FrmMainWindow::FrmMainWindow(QWidget* parent) : QWidget(parent) {
    setObjectName("FrmMain");
    // A window of fixed size has nothing to maximise.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(Q(text::kAppTitle));
    setWindowIcon(QIcon(WindowIconPixmap()));
    setFixedSize(Px(7845), Px(3480));
    setFont(WindowFont());

    picture1_ = MakePictureBox(this, "Picture1");
    Place(picture1_, 30, 30, 765, 825);

    Place(MakeLabel(this, "Label1", text::kNetworkAdaptor), 840, 60, 1365, 180);
    combo1_ = new QComboBox(this);
    combo1_->setObjectName("Combo1");
    Place(combo1_, 840, 270, 3945, 300);

    Place(MakeLabel(this, "Label13", text::kNewInfo), 1440, 630, 1455, 180);
    Place(MakeLabel(this, "Label12", text::kCurrentInfo), 2970, 630, 1455, 180);
    Place(MakeLabel(this, "Label3", text::kDnsServer1), 375, 900, 1020, 180);
    Place(MakeLabel(this, "Label6", text::kDnsServer2), 360, 1200, 1020, 180);

    text4_ = new QLineEdit(Q(text::kGoogleFirst), this);
    text4_->setObjectName("Text4");
    Place(text4_, 1440, 870, 1455, 270);
    text5_ = new QLineEdit(Q(text::kGoogleSecond), this);
    text5_->setObjectName("Text5");
    Place(text5_, 1440, 1170, 1455, 270);

    // The current values read like read-only fields beside the editable ones.
    for (QLabel** label : {&label10_, &label11_}) {
        *label = MakeLabel(this, label == &label10_ ? "Label10" : "Label11", text::kPlaceholder);
        QPalette palette = (*label)->palette();
        palette.setColor(QPalette::Window, palette.color(QPalette::Base));
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Text));
        (*label)->setPalette(palette);
        (*label)->setAutoFillBackground(true);
        (*label)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        (*label)->setIndent(3);
    }
    Place(label10_, 2970, 870, 1455, 270);
    Place(label11_, 2970, 1170, 1455, 270);

    auto* line1 = new QFrame(this);
    line1->setObjectName("Line1");
    line1->setFrameStyle(QFrame::HLine | QFrame::Plain);
    line1->setGeometry(Px(360), Px(1500), Px(4710) - Px(360), 1);

    command9_ = MakeButton(this, "Command9", text::kEnableStatic);
    Place(command9_, 675, 1590, 1785, 345);
    command10_ = MakeButton(this, "Command10", text::kDisableStatic);
    Place(command10_, 2535, 1590, 1785, 345);

    auto* frame3 = new QGroupBox(Q(text::kPresetsFrame), this);
    frame3_ = frame3;
    frame3->setObjectName("Frame3");
    Place(frame3, 4890, 570, 2865, 945);
    command5_ = MakeButton(frame3, "Command5", text::kUseGoogle);
    Place(command5_, 90, 240, 2325, 270);
    command6_ = MakeButton(frame3, "Command6", text::kExplain);
    Place(command6_, 2490, 240, 270, 270);
    command6_->setToolTip(Q(text::kAboutGoogleTip));
    command7_ = MakeButton(frame3, "Command7", text::kUseOpenDns);
    Place(command7_, 90, 570, 2325, 270);
    command8_ = MakeButton(frame3, "Command8", text::kExplain);
    Place(command8_, 2490, 570, 270, 270);
    command8_->setToolTip(Q(text::kAboutOpenDnsTip));

    // The link images come to life with the image control; their boxes hold
    // their places until then.
    picture4_ = MakePictureBox(this, "Picture4");
    Place(picture4_, 60, 2610, 3795, 795);

    QWidget* order[] = {command9_, combo1_,   text4_,    text5_,    command10_, command5_,
                        command6_, command7_, command8_, picture4_, picture1_};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    command9_->setFocus();
    // The focus is drawn from the start, not only after the first Tab: a
    // Space or Enter pressed now presses "Enable Static DNS", and the user
    // must be able to see that before.
    setAttribute(Qt::WA_KeyboardFocusChange);
}

void FrmMainWindow::Attach(FrmMain& form) {
    form_ = &form;
    // activated is the user's choice only; a programmatic selection raises
    // no Click, start-up runs the handler itself.
    connect(combo1_, &QComboBox::activated, this, [this] { form_->Combo1_Click(); });
    connect(command9_, &QPushButton::clicked, this, [this] { form_->Command9_Click(); });
    connect(command10_, &QPushButton::clicked, this, [this] { form_->Command10_Click(); });
    connect(command5_, &QPushButton::clicked, this, [this] { form_->Command5_Click(); });
    connect(command6_, &QPushButton::clicked, this, [this] { form_->Command6_Click(); });
    connect(command7_, &QPushButton::clicked, this, [this] { form_->Command7_Click(); });
    connect(command8_, &QPushButton::clicked, this, [this] { form_->Command8_Click(); });
}

void FrmMainWindow::AttachExtras(FrmExtras& extras) {
    extras_ = &extras;
    // Right-clicking the frame (or a button in it) opens the menu; the
    // window's layout and its own controls stay as they are.
    frame3_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(frame3_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PresetsMenu()->exec(frame3_->mapToGlobal(at)); });
}

std::unique_ptr<QMenu> FrmMainWindow::PresetsMenu() {
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName("PresetsMenu");
    QMenu* presets = menu->addMenu(Q(text::kMorePresets));
    for (const Preset& preset : Presets()) {
        const QString label =
            Q(preset.description) + " (" + Q(preset.ipv4[0]) + ", " + Q(preset.ipv4[1]) + ")";
        presets->addAction(label, this, [this, &preset] {
            if (extras_) extras_->UsePreset(preset);
        });
    }
    menu->addAction(Q(text::kSpeedTest), this, [this] { RunSpeedTest(); });
    menu->addSeparator();
    QAction* restore = menu->addAction(Q(text::kRestorePrevious), this, [this] {
        if (extras_) extras_->RestoreChosen();
    });
    restore->setEnabled(extras_ && extras_->CanRestore());
    return menu;
}

void FrmMainWindow::RunSpeedTest() {
    if (!extras_) return;
    extras_->RunSpeedTest(*this, [](const speedtest::Endpoint& server) {
        return platform::net::HasRouteTo(server.address, server.port);
    });
}

std::optional<std::vector<speedtest::Result>>
FrmMainWindow::RunQueries(const std::vector<speedtest::Endpoint>& servers,
                          const speedtest::Options& options) {
    const int total = static_cast<int>(servers.size() * options.names.size()) * options.rounds;
    // The queries run on a thread of their own; the dialog keeps the window
    // painted meanwhile, shows how far they are and can stop them.
    QProgressDialog progress(Q(text::kSpeedTestRunning), Q(text::kCancel), 0, total, this);
    progress.setObjectName("SpeedTestProgress");
    progress.setWindowTitle(Q(text::kAppTitle));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    speedtest::BackgroundRun run(servers, options);
    QTimer poll;
    connect(&poll, &QTimer::timeout, &progress, [&] {
        progress.setValue(run.done());
        if (run.finished()) progress.accept();
    });
    poll.start(100);
    const bool cancelled = progress.exec() != QDialog::Accepted;
    auto results = run.Wait();
    if (cancelled) return std::nullopt;
    return results;
}

std::unique_ptr<QDialog> MakeResultsDialog(QWidget* parent, const SpeedTestReport& report) {
    auto dialog = std::make_unique<QDialog>(parent);
    dialog->setObjectName("SpeedTestResults");
    dialog->setWindowTitle(Q(text::kAppTitle) + " - " + Q(text::kSpeedTestResults));
    dialog->setFont(QApplication::font());
    dialog->setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(dialog.get());

    auto* table = new QTableWidget(static_cast<int>(report.rows.size()),
                                   static_cast<int>(std::size(text::kResultColumns)), dialog.get());
    table->setObjectName("Results");
    QStringList header;
    for (std::string_view column : text::kResultColumns)
        header << Q(column);
    table->setHorizontalHeaderLabels(header);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    int row = 0;
    for (const SpeedTestRow& result : report.rows) {
        table->setItem(row, 0, new NumberItem(QString::number(result.rank), result.rank));
        table->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(result.server)));
        table->setItem(row, 2, TimeItem(result.median));
        table->setItem(row, 3, TimeItem(result.p90));
        table->setItem(row, 4, new NumberItem(QString::number(result.lost), result.lost));
        table->setItem(row, 5, new NumberItem(QString::number(result.queries), result.queries));
        ++row;
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    table->setSortingEnabled(true);
    table->sortByColumn(0, Qt::AscendingOrder);
    layout->addWidget(table, 1);

    for (const std::string& line : report.leftOut) {
        auto* label = new QLabel(QString::fromStdString(line), dialog.get());
        label->setObjectName("LeftOut");
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    auto* rule = new QLabel(Q(text::kFastestRule), dialog.get());
    rule->setObjectName("Rule");
    rule->setWordWrap(true);
    layout->addWidget(rule);

    auto* buttons = new QDialogButtonBox(dialog.get());
    QPushButton* use = buttons->addButton(Q(text::kUseFastest), QDialogButtonBox::AcceptRole);
    use->setObjectName("UseFastest");
    use->setEnabled(report.fastest.size() == 2);
    QPushButton* close = buttons->addButton(Q(text::kClose), QDialogButtonBox::RejectRole);
    close->setObjectName("Close");
    close->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog.get(), &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog.get(), &QDialog::reject);
    layout->addWidget(buttons);

    // As large as the table wants, but never beyond the free part of the
    // screen, where the buttons could not be reached; the table scrolls.
    const QSize free = FreeArea(dialog.get());
    dialog->setMaximumSize(free);
    int wanted = table->horizontalHeader()->height() + 2 * table->frameWidth();
    for (int i = 0; i < table->rowCount(); ++i)
        wanted += table->rowHeight(i);
    int width = 2 * table->frameWidth() + 24;
    for (int i = 0; i < table->columnCount(); ++i)
        width += table->columnWidth(i);
    const QSize hint = dialog->sizeHint();
    dialog->resize(std::min(std::max(width + 24, hint.width()), free.width()),
                   std::min(hint.height() - table->sizeHint().height() + wanted, free.height()));
    return dialog;
}

bool FrmMainWindow::ShowResults(const SpeedTestReport& report) {
    return MakeResultsDialog(this, report)->exec() == QDialog::Accepted;
}

int FrmMainWindow::AddAdapter(const std::string& text, std::int32_t itemData) {
    const int selected = combo1_->currentIndex();
    combo1_->addItem(QString::fromStdString(text), QVariant(static_cast<qint32>(itemData)));
    // A list box adds entries without choosing one; Qt would pick the first.
    if (selected < 0) combo1_->setCurrentIndex(-1);
    return combo1_->count() - 1;
}

int FrmMainWindow::AdapterCount() const {
    return combo1_->count();
}

int FrmMainWindow::SelectedAdapter() const {
    return combo1_->currentIndex();
}

void FrmMainWindow::SelectAdapter(int position) {
    if (position < -1 || position >= combo1_->count()) throw std::out_of_range("no such entry");
    combo1_->setCurrentIndex(position);
}

std::int32_t FrmMainWindow::AdapterItemData(int position) const {
    if (position < 0 || position >= combo1_->count()) throw std::out_of_range("no such entry");
    return combo1_->itemData(position).value<qint32>();
}

std::string FrmMainWindow::AdapterListText() const {
    return combo1_->currentText().toStdString();
}

void FrmMainWindow::FocusAdapterList() {
    combo1_->setFocus();
}

std::string FrmMainWindow::Text(TextBox box) const {
    return (box == TextBox::Text4 ? text4_ : text5_)->text().toStdString();
}

void FrmMainWindow::SetText(TextBox box, const std::string& text) {
    (box == TextBox::Text4 ? text4_ : text5_)->setText(QString::fromStdString(text));
}

void FrmMainWindow::SetCaption(Label label, const std::string& caption) {
    (label == Label::Label10 ? label10_ : label11_)->setText(QString::fromStdString(caption));
}

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const std::string& text) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, Q(text::kAppTitle),
                                             QString::fromStdString(text), QMessageBox::Ok, parent);
    box->setFont(QApplication::font()); // the dialog's own face, not the window's small one
    // A short message makes a box narrower than its title, which the
    // window manager then cuts short; a spacer across the box's grid keeps
    // it wide enough for the title, its icon and its buttons.
    const int titleWidth = QFontMetrics(QApplication::font("QMdiSubWindowTitleBar"))
                               .horizontalAdvance(box->windowTitle());
    const int allowance = 3 * box->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(
            new QSpacerItem(titleWidth + allowance, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
            grid->rowCount(), 0, 1, grid->columnCount());
    return box;
}

void FrmMainWindow::ShowMessage(const std::string& text) {
    MakeMessageBox(this, text)->exec();
}

void FrmMainWindow::DoEvents() {
    QCoreApplication::processEvents();
}

void FrmMainWindow::Unload() {
    close();
}

QWidget* FrmMainWindow::Control(const char* name) const {
    return findChild<QWidget*>(QString::fromLatin1(name));
}

void FrmMainWindow::closeEvent(QCloseEvent* event) {
    if (form_) form_->Form_Unload();
    event->accept();
}

int RunWindow(int& argc, char** argv, management::RecordingBackend& backend,
              const std::string& screenshot, management::ChangeGuard* guard) {
    if (!platform::QtDisplayAvailable()) {
        std::cerr << "velmora: no display to open the window on; the command line works "
                     "without one (velmora --help)\n";
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName("Velmora");
    // The window host the image controls use, the process's host while the
    // window lives.
    platform::QtHost host;
    platform::ProcessEnvironment().host = &host;
    struct HostScope {
        ~HostScope() { platform::ProcessEnvironment().host = nullptr; }
    } hostScope;
    FrmMainWindow window;
    FrmMain form(window, backend);
    form.SetChangeGuard(guard);
    WindowImages images(host, EmbeddedFormStore(),
                        {qobject_cast<QFrame*>(window.Control("Picture1")),
                         qobject_cast<QFrame*>(window.Control("Picture4"))},
                        form);
    FrmExtras extras(window, form, backend);
    window.Attach(form);
    window.AttachExtras(extras);
    window.show();
    QTimer::singleShot(0, &window, [&form] { form.Form_Load(); });
    if (!screenshot.empty()) {
        // After the load handler, once everything it changed is drawn.
        int status = 0;
        QTimer::singleShot(0, &window, [&] {
            QApplication::processEvents();
            // zlib's level 3 (Qt maps 0..100 onto levels 0..9): for a window's
            // flat areas as small a file as the default level gives, in two
            // thirds of the time.
            QImageWriter writer(QString::fromStdString(screenshot), "PNG");
            writer.setCompression(34);
            if (!writer.write(window.grab().toImage())) {
                std::cerr << "velmora: cannot write the screenshot to " << screenshot << '\n';
                status = 2;
            }
            QApplication::exit(status);
        });
        application.exec();
        return status;
    }
    return application.exec();
}

} // namespace velmora::app

#include "app/qt/frm_main_window.h"

#include "app/messages.h"
#include "app/qt/window_images.h"
#include "platform/qt/qt_display.h"
#include "platform/system/environment.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <thread>

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
    button->setAutoDefault(false);
    return button;
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
    menu->addAction(Q(text::kRestorePrevious), this, [this] {
        if (extras_) extras_->RestoreChosen();
    });
    return menu;
}

void FrmMainWindow::RunSpeedTest() {
    if (!extras_) return;
    const auto servers = extras_->SpeedTestServers();
    speedtest::Options options;
    options.rounds = 2;
    const int total = static_cast<int>(servers.size() * options.names.size()) * options.rounds;

    // The queries run on a thread of their own; the dialog keeps the window
    // painted meanwhile and shows how far they are.
    QProgressDialog progress(Q(text::kSpeedTestRunning), QString(), 0, total, this);
    progress.setWindowTitle(Q(text::kAppTitle));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    std::atomic<int> done{0};
    std::atomic<bool> finished{false};
    std::vector<speedtest::Result> results;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            results = speedtest::Run(
                servers, options, [] { return std::chrono::steady_clock::now(); },
                [&](int ended, int) { done = ended; });
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
    });
    QTimer poll;
    connect(&poll, &QTimer::timeout, &progress, [&] {
        progress.setValue(done);
        if (finished) progress.accept();
    });
    poll.start(100);
    progress.exec();
    worker.join();

    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            ShowMessage(std::string{text::kRestoreFailed} + error.what());
        }
        return;
    }
    speedtest::Rank(results);
    QMessageBox box(QMessageBox::NoIcon, Q(text::kAppTitle), Q(FrmExtras::Summary(results)),
                    QMessageBox::Ok, this);
    box.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QPushButton* use = box.addButton(Q(text::kUseFastest), QMessageBox::AcceptRole);
    box.exec();
    if (box.clickedButton() == use && !extras_->UseFastest(results))
        ShowMessage(std::string{text::kNoneComplete});
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

void FrmMainWindow::ShowMessage(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, Q(text::kAppTitle), QString::fromStdString(text),
                    QMessageBox::Ok, this);
    box.setFont(QApplication::font()); // the dialog's own face, not the window's small one
    box.exec();
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
    WindowImages images(host, WindowImages::EmbeddedStore(),
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
            if (!window.grab().save(QString::fromStdString(screenshot), "PNG")) {
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

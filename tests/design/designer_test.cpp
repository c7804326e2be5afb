// velmora-designer's window, headless: a store opened at design time, edited
// with synthesized mouse and key events on the overlay and through the
// property list's editors and the Image Source page, saved and read back;
// the unsaved-changes mark and question; undo.

#include "control/aic_alpha_image.h"
#include "design/designer/designer_window.h"
#include "design/designer/form_canvas.h"
#include "design/designer/form_preview.h"
#include "design/designer/property_list.h"
#include "design/designer/selection_overlay.h"
#include "design/ppg_source_image.h"
#include "platform/system/environment.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace velmora::designer;

namespace {

std::vector<std::uint8_t> pngBytes(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return {data.begin(), data.end()};
}

platform::FormControlRecord record(std::string type, std::string name, std::string container,
                                   QRect place) {
    platform::FormControlRecord r;
    r.type = std::move(type);
    r.name = std::move(name);
    r.container = std::move(container);
    r.left = place.x();
    r.top = place.y();
    r.width = place.width();
    r.height = place.height();
    return r;
}

// A form of 400 x 300: a picture box, an image control with a picture on
// the form, an empty one in the box, and one whose container is unknown.
platform::FormRecord sampleForm() {
    platform::FormRecord form;
    form.width = 400;
    form.height = 300;
    form.controls.push_back(record("PictureBox", "Picture1", "", QRect(200, 100, 150, 120)));
    form.controls.back().properties.WriteProperty<std::int32_t>("BorderStyle", 1);
    form.controls.push_back(record("aicAlphaImage", "Logo", "", QRect(10, 10, 48, 48)));
    form.controls.back().properties.WriteProperty("Image", pngBytes(48, 48, 0xFF2040C0));
    form.controls.push_back(record("aicAlphaImage", "Inner", "Picture1", QRect(5, 5, 32, 32)));
    form.controls.push_back(record("aicAlphaImage", "Stray", "Nowhere", QRect(300, 10, 40, 40)));
    return form;
}

class Designer : public ::testing::Test {
protected:
    Designer() {
        platform::ProcessEnvironment().host = &host;
        dir = fs::temp_directory_path() /
              std::string("velmora-designer-test-")
                  .append(std::to_string(::getpid()))
                  .append(1, '-')
                  .append(::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        store = dir / "form.json";
        std::string error;
        EXPECT_TRUE(platform::WriteFormStore(store, sampleForm(), error)) << error;
        window = std::make_unique<DesignerWindow>(host);
        window->askUnsaved = [this] {
            ++asked;
            return answer;
        };
        window->askPageChanges = [this] {
            ++askedPage;
            return pageAnswer;
        };
        window->showError = [this](const std::string& text) { errors.push_back(text); };
        window->chooseSaveFile = [this](const fs::path&) { return saveAsTo; };
        window->chooseOpenFile = [this] { return openFrom; };
        window->resize(window->initialSize());
        window->show();
        EXPECT_TRUE(window->openStore(store, error)) << error;
        // Places by the pixel; the snapping test turns it on.
        overlay().setSnapping(false);
        QApplication::processEvents();
    }
    ~Designer() override {
        window->askUnsaved = [] { return UnsavedAnswer::Discard; };
        window.reset();
        platform::ProcessEnvironment().host = nullptr;
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    SelectionOverlay& overlay() const { return window->canvas().overlay(); }
    FormCanvas::Control& control(std::string_view name) const {
        FormCanvas::Control* c = window->canvas().find(name);
        EXPECT_NE(c, nullptr) << name;
        return *c;
    }

    void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent event(type, QPointF(at), QPointF(overlay().mapToGlobal(at)), button, buttons,
                          modifiers);
        QApplication::sendEvent(&overlay(), &event);
    }
    void click(QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, modifiers);
        mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, modifiers);
    }
    void drag(QPoint from, QPoint to) {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
        mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
    void key(int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent event(QEvent::KeyPress, code, modifiers);
        QApplication::sendEvent(&overlay(), &event);
    }
    template <typename T>
    T& editor(std::string_view name) const {
        T* e = qobject_cast<T*>(window->properties().editor(name));
        EXPECT_NE(e, nullptr) << name;
        return *e;
    }
    platform::FormRecord saved() const {
        platform::FormStoreResult result = platform::ReadFormStore(store);
        EXPECT_TRUE(result) << result.error;
        return result ? *result.form : platform::FormRecord{};
    }
    // The text of the menu command that starts with `start`, without its '&'.
    QString menuText(const char* start) const {
        for (QAction* a : window->findChildren<QAction*>())
            if (a->text().startsWith(QString::fromLatin1(start))) return a->text().remove('&');
        return QString();
    }
    static QRect placeOf(const platform::FormControlRecord& r) {
        return QRect(r.left, r.top, r.width, r.height);
    }

    platform::QtHost host;
    fs::path dir;
    fs::path store;
    std::unique_ptr<DesignerWindow> window;
    UnsavedAnswer answer = UnsavedAnswer::Cancel;
    int asked = 0;
    PageAnswer pageAnswer = PageAnswer::Cancel;
    int askedPage = 0;
    std::vector<std::string> errors;
    std::string saveAsTo;
    std::string openFrom;
};

TEST_F(Designer, TheStoreIsShownAtDesignTimeInItsContainers) {
    EXPECT_EQ(window->canvas().size(), QSize(400, 300));
    ASSERT_EQ(window->canvas().controls().size(), 3u);
    // A control in a picture box lies at the box's place plus its own; one
    // whose container is unknown sits on the form.
    EXPECT_EQ(control("Inner").onCanvas(), QRect(205, 105, 32, 32));
    EXPECT_EQ(control("Inner").box->name, "Picture1");
    EXPECT_EQ(control("Stray").onCanvas(), QRect(300, 10, 40, 40));
    EXPECT_TRUE(control("Stray").box->name.empty());
    EXPECT_EQ(control("Logo").control->ImageType(), 10); // restored: a PNG
    // The empty control shows the design-time checkerboard by itself.
    const QImage shot = window->canvas().grab().toImage();
    std::set<QRgb> colours;
    for (int y = 105; y < 137; ++y)
        for (int x = 205; x < 237; ++x)
            colours.insert(shot.pixel(x, y));
    EXPECT_GE(colours.size(), 2u);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("form.json[*] - velmora-designer"));
    EXPECT_FALSE(window->dirty());
}

TEST_F(Designer, EditsWithMouseKeysAndPropertyListAreSavedThroughTheControls) {
    // Add: a new 64 x 64 control at a free place, selected.
    window->addControl();
    ASSERT_EQ(overlay().selection(), std::vector<std::string>{"aicAlphaImage1"});
    const QRect added = control("aicAlphaImage1").onCanvas();
    EXPECT_EQ(added.size(), QSize(64, 64));
    for (const char* other : {"Logo", "Stray"})
        EXPECT_FALSE(added.intersects(control(other).onCanvas())) << other;
    EXPECT_TRUE(window->dirty());

    // Move Logo by dragging it; resize it by its bottom-right handle.
    drag({20, 20}, {50, 40});
    ASSERT_EQ(overlay().selection(), std::vector<std::string>{"Logo"});
    EXPECT_EQ(control("Logo").onCanvas(), QRect(40, 30, 48, 48));
    drag({88, 78}, {98, 83});
    EXPECT_EQ(control("Logo").onCanvas(), QRect(40, 30, 58, 53));
    drag({40, 30}, {200, 200}); // the top-left handle, past the opposite corner
    EXPECT_EQ(control("Logo").onCanvas(), QRect(97, 82, 1, 1));
    drag({97, 82}, {40, 30});
    EXPECT_EQ(control("Logo").onCanvas(), QRect(40, 30, 58, 53));
    key(Qt::Key_Right);
    key(Qt::Key_Down);
    EXPECT_EQ(control("Logo").onCanvas(), QRect(41, 31, 58, 53));
    EXPECT_EQ(editor<QSpinBox>("Left").value(), 41);

    // Properties through their editors and the control's setters.
    auto& opacity = editor<QSpinBox>("Opacity");
    EXPECT_EQ(opacity.maximum(), 100);
    opacity.setValue(40);
    emit opacity.editingFinished();
    EXPECT_EQ(control("Logo").control->Opacity(), 40);
    auto& mirror = editor<QComboBox>("Mirror");
    mirror.setCurrentIndex(1);
    emit mirror.activated(1);
    EXPECT_EQ(control("Logo").control->Mirror(), 1);
    auto& shadow = editor<QLineEdit>("ShadowColor");
    shadow.setText("0x0000FF00");
    emit shadow.editingFinished();
    EXPECT_EQ(control("Logo").control->ShadowColor(), 0x00FF00);
    auto& width = editor<QSpinBox>("Width");
    width.setValue(60);
    emit width.editingFinished();
    EXPECT_EQ(control("Logo").onCanvas(), QRect(41, 31, 60, 53));

    // Delete the control in the box with the Delete key.
    click({210, 110});
    ASSERT_EQ(overlay().selection(), std::vector<std::string>{"Inner"});
    key(Qt::Key_Delete);
    EXPECT_EQ(window->canvas().find("Inner"), nullptr);
    EXPECT_TRUE(overlay().selection().empty());
    // Its place in the box's container went with it.
    for (const auto& box : window->canvas().boxes())
        EXPECT_EQ(box->container->site("Inner"), nullptr);

    ASSERT_TRUE(window->save());
    EXPECT_FALSE(window->dirty());
    const platform::FormRecord form = saved();
    ASSERT_EQ(form.controls.size(), 4u);
    EXPECT_EQ(form.find("Inner"), nullptr);
    const platform::FormControlRecord* logo = form.find("Logo");
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(placeOf(*logo), QRect(41, 31, 60, 53));
    EXPECT_EQ(logo->properties.ReadProperty<std::int32_t>("Opacity", 100), 40);
    EXPECT_EQ(logo->properties.ReadProperty<std::int32_t>("Mirror", 0), 1);
    EXPECT_EQ(logo->properties.ReadProperty<std::int32_t>("ShadowColor", 0), 0x00FF00);
    EXPECT_FALSE(logo->properties.ReadProperty<std::vector<std::uint8_t>>("Image", {}).empty());
    const platform::FormControlRecord* fresh = form.find("aicAlphaImage1");
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(placeOf(*fresh), added);
    EXPECT_EQ(fresh->type, "aicAlphaImage");
    // A new control's values: StretchQuality and AutoSize.
    EXPECT_EQ(fresh->properties.ReadProperty<std::int32_t>("Props", 1), 5);
    // Other records and unknown containers stay as they were.
    const platform::FormControlRecord* box = form.find("Picture1");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->type, "PictureBox");
    EXPECT_EQ(placeOf(*box), QRect(200, 100, 150, 120));
    EXPECT_EQ(box->properties.ReadProperty<std::int32_t>("BorderStyle", 0), 1);
    EXPECT_EQ(form.find("Stray")->container, "Nowhere");
}

TEST_F(Designer, ClicksBandsAndModifiersSelect) {
    click({300, 250}); // the empty form
    EXPECT_TRUE(overlay().selection().empty());
    // A band over the form's upper half meets Logo and Stray, not Inner.
    drag({2, 2}, {390, 60});
    EXPECT_EQ(overlay().selection(), (std::vector<std::string>{"Logo", "Stray"}));
    EXPECT_EQ(window->selectedControls().front(), control("Logo").control);
    click({210, 110}, Qt::ControlModifier);
    click({20, 20}, Qt::ShiftModifier);
    EXPECT_EQ(overlay().selection(), (std::vector<std::string>{"Stray", "Inner"}));
    // Dragging one of several moves them all; one that would stick out of
    // its box is kept whole inside it.
    drag({310, 20}, {300, 30});
    EXPECT_EQ(control("Stray").onCanvas(), QRect(290, 20, 40, 40));
    EXPECT_EQ(control("Inner").onCanvas(), QRect(200, 115, 32, 32));
    EXPECT_EQ(control("Inner").local(), QRect(0, 15, 32, 32)); // still in its box
    // A property set with several selected goes to each.
    auto& opacity = editor<QSpinBox>("Opacity");
    opacity.setValue(25);
    emit opacity.editingFinished();
    EXPECT_EQ(control("Stray").control->Opacity(), 25);
    EXPECT_EQ(control("Inner").control->Opacity(), 25);
    EXPECT_EQ(control("Logo").control->Opacity(), 100);
    // A plain click on another control selects only that one.
    click({20, 20});
    EXPECT_EQ(overlay().selection(), std::vector<std::string>{"Logo"});
}

TEST_F(Designer, TheImageSourcePageFollowsTheSelectionAndAppliesToTheControl) {
    velmora::design::ppgSourceImage& page = window->sourcePage();
    EXPECT_EQ(page.target(), nullptr);
    click({20, 20});
    EXPECT_EQ(page.target(), control("Logo").control);
    EXPECT_FALSE(window->applyButton().isEnabled());

    // A picture file picked on the page, applied.
    const fs::path picture = dir / "picture.png";
    {
        const std::vector<std::uint8_t> bytes = pngBytes(20, 10, 0xFF00FF00);
        std::ofstream(picture, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    page.openFileDialog = [&](const std::string&, const auto&) { return picture.string(); };
    page.cmdBrowse_Click();
    ASSERT_TRUE(window->applyButton().isEnabled());
    window->applyButton().click();
    EXPECT_TRUE(window->dirty());
    std::vector<std::uint8_t> source;
    ASSERT_TRUE(control("Logo").control->GetSourceBytes(source));
    EXPECT_EQ(source, pngBytes(20, 10, 0xFF00FF00));
    ASSERT_TRUE(window->save());
    EXPECT_EQ(saved().find("Logo")->properties.ReadProperty<std::vector<std::uint8_t>>("Image", {}),
              source);

    // Cleared on the page, applied, and undone.
    page.Command1_Click();
    window->applyButton().click();
    EXPECT_EQ(control("Logo").control->ImageType(), 0);
    window->undo();
    EXPECT_EQ(control("Logo").control->ImageType(), 10);
    EXPECT_EQ(page.target(), control("Logo").control); // the rebuilt control
}

TEST_F(Designer, AnIconEntryPickedOnThePageIsSavedAndReadBackByVelmoraForm) {
    // Place a control, pick a multi-size icon, choose its 32 x 32 entry.
    window->addControl();
    velmora::design::ppgSourceImage& page = window->sourcePage();
    ASSERT_EQ(page.target(), control("aicAlphaImage1").control);
    const fs::path icon = fs::path(VELMORA_TEST_DATA_DIR) / "resources" / "app.ico";
    page.openFileDialog = [&](const std::string&, const auto&) { return icon.string(); };
    page.cmdBrowse_Click();
    QComboBox& sizes = *page.cboIcon();
    ASSERT_EQ(sizes.count(), 3);
    const int entry = sizes.findText(QStringLiteral("032x032"), Qt::MatchStartsWith);
    ASSERT_GE(entry, 0);
    sizes.setCurrentIndex(entry);
    page.cboIcon_Click();
    EXPECT_TRUE(window->applyButton().isEnabled());
    window->applyButton().click();
    EXPECT_FALSE(window->applyButton().isEnabled()) << "applied: nothing left to apply";
    ASSERT_TRUE(window->save());

    std::ifstream file(icon, std::ios::binary);
    const std::vector<std::uint8_t> iconBytes{std::istreambuf_iterator<char>(file),
                                              std::istreambuf_iterator<char>()};
    const platform::FormRecord form = saved();
    ASSERT_NE(form.find("aicAlphaImage1"), nullptr);
    EXPECT_EQ(form.find("aicAlphaImage1")
                  ->properties.ReadProperty<std::vector<std::uint8_t>>("Image", {}),
              iconBytes);
    // The control took the chosen entry's size.
    EXPECT_EQ(form.find("aicAlphaImage1")->width, 32);
    EXPECT_EQ(form.find("aicAlphaImage1")->height, 32);

    // The pointer's picture through the list's file seam; colours through
    // its colour seam.
    PropertyList& list = window->properties();
    list.choosePicture = [&](const velmora::PropertySpec& spec) {
        EXPECT_EQ(spec.name, "MouseIcon");
        return icon.string();
    };
    list.findChild<QPushButton*>(QStringLiteral("MouseIcon.browse"))->click();
    EXPECT_EQ(editor<QLabel>("MouseIcon").text(), QStringLiteral("(Picture)"));
    list.chooseColour = [](std::int32_t current) -> std::optional<std::int32_t> {
        EXPECT_EQ(current, 0x404040);
        return 0x123456;
    };
    list.findChild<QPushButton*>(QStringLiteral("ShadowColor.pick"))->click();
    EXPECT_EQ(editor<QLineEdit>("ShadowColor").text(), QStringLiteral("0x00123456"));
    ASSERT_TRUE(window->save());
    EXPECT_EQ(saved()
                  .find("aicAlphaImage1")
                  ->properties.ReadProperty<std::vector<std::uint8_t>>("MIcon", {}),
              iconBytes);

    std::string command = "'";
    command += VELMORA_FORM;
    command += "' show '";
    command += store.string();
    command += "' aicAlphaImage1 > '";
    command += (dir / "show.txt").string();
    command += "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream shown(dir / "show.txt");
    const std::string text{std::istreambuf_iterator<char>(shown), std::istreambuf_iterator<char>()};
    EXPECT_NE(text.find("aicAlphaImage1.ImageType = "), std::string::npos) << text;
    EXPECT_EQ(text.find("aicAlphaImage1.ImageType = 0\n"), std::string::npos) << text;
}

TEST_F(Designer, UndoPutsBackMovesDeletionsAndNames) {
    EXPECT_FALSE(window->canUndo());
    drag({20, 20}, {60, 60});
    click({210, 110});
    key(Qt::Key_Delete);
    click({20 + 40, 20 + 40});
    auto& name = editor<QLineEdit>("Name");
    name.setText("Banner");
    emit name.editingFinished();
    ASSERT_NE(window->canvas().find("Banner"), nullptr);
    EXPECT_EQ(window->canvas().find("Banner")->site->name(), "Banner");
    EXPECT_EQ(overlay().selection(), std::vector<std::string>{"Banner"});
    // A name another control has is refused.
    name.setText("stray");
    emit name.editingFinished();
    EXPECT_EQ(name.text(), QStringLiteral("Banner"));
    EXPECT_FALSE(window->statusBar()->currentMessage().isEmpty());

    window->undo();
    EXPECT_EQ(window->canvas().find("Banner"), nullptr);
    window->undo();
    EXPECT_EQ(control("Inner").onCanvas(), QRect(205, 105, 32, 32));
    window->undo();
    EXPECT_EQ(control("Logo").onCanvas(), QRect(10, 10, 48, 48));
    EXPECT_FALSE(window->canUndo());
    // Back where the store was opened: nothing left to save.
    EXPECT_FALSE(window->dirty());
}

TEST_F(Designer, NudgesAreOneStepAndUndoKeepsOnlyWhatChanged) {
    // A picture far larger than anything a move changes.
    platform::FormRecord form = sampleForm();
    QImage noise(256, 256, QImage::Format_ARGB32);
    std::uint32_t seed = 7;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            seed = seed * 1103515245u + 12345u;
            noise.setPixel(x, y, 0xFF000000u | (seed >> 8));
        }
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    noise.save(&buffer, "PNG");
    form.find("Logo")->properties.WriteProperty(
        "Image", std::vector<std::uint8_t>(data.begin(), data.end()));
    std::string error;
    ASSERT_TRUE(platform::WriteFormStore(store, form, error)) << error;
    ASSERT_TRUE(window->openStore(store, error)) << error;
    ASSERT_GT(data.size(), 100000);

    click({20, 20});
    for (int i = 0; i < 3; ++i)
        key(Qt::Key_Right);
    EXPECT_EQ(control("Logo").onCanvas(), QRect(13, 10, 48, 48));
    EXPECT_LT(window->undoBytes(), 1024u);
    // A property of another control: its record only.
    click({310, 20});
    auto& opacity = editor<QSpinBox>("Opacity");
    opacity.setValue(30);
    emit opacity.editingFinished();
    EXPECT_LT(window->undoBytes(), 4096u);
    window->undo();
    EXPECT_EQ(control("Stray").control->Opacity(), 100);
    window->undo();
    EXPECT_EQ(control("Logo").onCanvas(), QRect(10, 10, 48, 48)); // all three presses at once
    EXPECT_FALSE(window->canUndo());
    EXPECT_FALSE(window->dirty());

    // A save is a state undo comes back to: presses after it are a step
    // of their own.
    click({20, 20});
    key(Qt::Key_Down);
    ASSERT_TRUE(window->save());
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    EXPECT_TRUE(window->dirty());
    window->undo();
    EXPECT_EQ(control("Logo").onCanvas(), QRect(10, 11, 48, 48));
    EXPECT_FALSE(window->dirty());
    window->undo();
    EXPECT_EQ(control("Logo").onCanvas(), QRect(10, 10, 48, 48));
    EXPECT_TRUE(window->dirty());
}

TEST_F(Designer, ControlsDraggedOutOfAPictureBoxStayInSight) {
    // Out of the box onto the form: its container follows.
    drag({210, 110}, {100, 250});
    EXPECT_TRUE(control("Inner").box->name.empty());
    EXPECT_EQ(control("Inner").onCanvas(), QRect(95, 245, 32, 32));
    // Onto the box, past its edge: into the box, whole.
    drag({20, 20}, {340, 210});
    EXPECT_EQ(control("Logo").box->name, "Picture1");
    EXPECT_EQ(control("Logo").local(), QRect(102, 72, 48, 48));
    EXPECT_EQ(control("Logo").control->ImageType(), 10) << "the picture went with it";
    // The arrow keys keep it inside.
    key(Qt::Key_Right);
    key(Qt::Key_Down);
    EXPECT_EQ(control("Logo").local(), QRect(102, 72, 48, 48));
    ASSERT_TRUE(window->save());
    const platform::FormRecord form = saved();
    EXPECT_EQ(form.find("Logo")->container, "Picture1");
    EXPECT_EQ(placeOf(*form.find("Logo")), QRect(102, 72, 48, 48));
    EXPECT_EQ(form.find("Inner")->container, "");
    EXPECT_EQ(placeOf(*form.find("Inner")), QRect(95, 245, 32, 32));

    window->undo();
    window->undo();
    EXPECT_TRUE(control("Logo").box->name.empty());
    EXPECT_EQ(control("Logo").onCanvas(), QRect(10, 10, 48, 48));
    window->undo();
    EXPECT_EQ(control("Inner").box->name, "Picture1");
    EXPECT_EQ(control("Inner").local(), QRect(5, 5, 32, 32));
}

TEST_F(Designer, UnappliedPageChangesAreAskedAbout) {
    velmora::design::ppgSourceImage& page = window->sourcePage();
    // Without a control the page cannot be used, nor Apply.
    EXPECT_FALSE(page.cmdBrowse()->isEnabled());
    EXPECT_FALSE(window->applyButton().isEnabled());
    click({20, 20});
    EXPECT_TRUE(page.cmdBrowse()->isEnabled());
    key(Qt::Key_Right); // something to undo

    const fs::path picture = dir / "picture.png";
    const std::vector<std::uint8_t> bytes = pngBytes(20, 10, 0xFF00FF00);
    std::ofstream(picture, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    page.openFileDialog = [&](const std::string&, const auto&) { return picture.string(); };
    page.cmdBrowse_Click();
    ASSERT_TRUE(page.Changed());

    // Cancel keeps the changes and stops the command.
    pageAnswer = PageAnswer::Cancel;
    click({310, 20});
    EXPECT_EQ(askedPage, 1);
    EXPECT_EQ(overlay().selection(), std::vector<std::string>{"Logo"});
    EXPECT_FALSE(window->save());
    window->undo();
    EXPECT_EQ(control("Logo").onCanvas().topLeft(), QPoint(11, 10));
    EXPECT_FALSE(window->close());
    EXPECT_EQ(askedPage, 4);
    EXPECT_TRUE(page.Changed());
    EXPECT_EQ(page.target(), control("Logo").control);

    // Apply writes them before the save.
    pageAnswer = PageAnswer::Apply;
    ASSERT_TRUE(window->save());
    EXPECT_EQ(askedPage, 5);
    EXPECT_EQ(saved().find("Logo")->properties.ReadProperty<std::vector<std::uint8_t>>("Image", {}),
              bytes);

    // Discard drops them: the control keeps its picture.
    page.Command1_Click();
    pageAnswer = PageAnswer::Discard;
    click({310, 20});
    EXPECT_EQ(askedPage, 6);
    EXPECT_EQ(overlay().selection(), std::vector<std::string>{"Stray"});
    std::vector<std::uint8_t> kept;
    ASSERT_TRUE(control("Logo").control->GetSourceBytes(kept));
    EXPECT_EQ(kept, bytes);
    EXPECT_FALSE(page.Changed());
    click({300, 250});
    EXPECT_FALSE(page.cmdBrowse()->isEnabled());
    EXPECT_FALSE(window->applyButton().isEnabled());
    EXPECT_EQ(askedPage, 6);
}

TEST_F(Designer, UnsavedChangesAreMarkedAndAskedAbout) {
    click({20, 20});
    EXPECT_FALSE(window->dirty());
    key(Qt::Key_Left);
    EXPECT_TRUE(window->dirty());

    // Cancel keeps the window and the form.
    answer = UnsavedAnswer::Cancel;
    EXPECT_FALSE(window->close());
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(window->isVisible());
    window->fileNew();
    EXPECT_EQ(asked, 2);
    EXPECT_NE(window->canvas().find("Logo"), nullptr);

    // A save that fails says why and keeps the form unsaved; Save As then
    // asks for the file.
    fs::remove(store);
    fs::create_directory(store); // a folder where the file should go
    answer = UnsavedAnswer::Save;
    EXPECT_FALSE(window->close());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("not saved"), std::string::npos);
    EXPECT_TRUE(window->dirty());
    saveAsTo = (dir / "other.json").string();
    ASSERT_TRUE(window->saveAs());
    EXPECT_FALSE(window->dirty());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("other.json[*] - velmora-designer"));
    EXPECT_EQ(placeOf(*platform::ReadFormStore(saveAsTo).form->find("Logo")), QRect(9, 10, 48, 48));

    // Discard drops the changes for a new form, which closes without asking.
    key(Qt::Key_Up);
    answer = UnsavedAnswer::Discard;
    const int before = asked;
    window->fileNew();
    EXPECT_EQ(asked, before + 1);
    EXPECT_TRUE(window->canvas().controls().empty());
    EXPECT_EQ(window->canvas().size(), QSize(640, 480));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Untitled[*] - velmora-designer"));
    EXPECT_TRUE(window->close());
    EXPECT_EQ(asked, before + 1);
}

TEST_F(Designer, OpenRefusesADamagedStoreAndKeepsTheForm) {
    const fs::path damaged = dir / "damaged.json";
    std::ofstream(damaged) << "{ \"form\": { \"width\": 10 ";
    openFrom = damaged.string();
    window->fileOpen();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("damaged.json"), std::string::npos);
    EXPECT_NE(window->canvas().find("Logo"), nullptr);
    EXPECT_EQ(window->file(), store);
}

TEST_F(Designer, RedoMakesUndoneChangesAgainAndTheMenuNamesEachStep) {
    drag({20, 20}, {60, 60});
    auto& opacity = editor<QSpinBox>("Opacity");
    opacity.setValue(30);
    emit opacity.editingFinished();
    click({210, 110});
    key(Qt::Key_Delete);
    EXPECT_EQ(menuText("&Undo"), QStringLiteral("Undo Delete"));
    EXPECT_EQ(menuText("&Redo"), QStringLiteral("Redo"));

    window->undo();
    window->undo();
    EXPECT_EQ(menuText("&Undo"), QStringLiteral("Undo Move"));
    EXPECT_EQ(menuText("&Redo"), QStringLiteral("Redo Set Opacity"));
    EXPECT_EQ(control("Logo").control->Opacity(), 100);
    window->undo();
    EXPECT_FALSE(window->dirty());
    // Each step goes forward again, as often as it is asked.
    for (int round = 0; round < 2; ++round) {
        window->redo();
        window->redo();
        window->redo();
        EXPECT_FALSE(window->canRedo());
        EXPECT_EQ(control("Logo").onCanvas(), QRect(50, 50, 48, 48));
        EXPECT_EQ(control("Logo").control->Opacity(), 30);
        EXPECT_EQ(window->canvas().find("Inner"), nullptr);
        EXPECT_TRUE(window->dirty());
        window->undo();
        window->undo();
        window->undo();
        EXPECT_EQ(control("Logo").onCanvas(), QRect(10, 10, 48, 48));
        EXPECT_NE(window->canvas().find("Inner"), nullptr);
    }
    // A new change forgets what was undone.
    window->redo();
    click({310, 20});
    key(Qt::Key_Left);
    EXPECT_FALSE(window->canRedo());
    window->undo();
    window->undo();
    EXPECT_FALSE(window->canUndo());
    EXPECT_FALSE(window->dirty());
}

TEST_F(Designer, TheFormsOrderIsWhatIsOnTopAndIsSaved) {
    const auto order = [](const platform::FormRecord& form) {
        std::vector<std::string> names;
        for (const auto& r : form.controls)
            names.push_back(r.name);
        return names;
    };
    window->addControl(QPoint(30, 30)); // over Logo's lower right
    click({40, 40});
    EXPECT_EQ(overlay().selection(), std::vector<std::string>{"aicAlphaImage1"});
    click({20, 20});
    window->bringToFront();
    click({40, 40});
    EXPECT_EQ(overlay().selection(), std::vector<std::string>{"Logo"});
    ASSERT_TRUE(window->save());
    EXPECT_EQ(order(saved()),
              (std::vector<std::string>{"Picture1", "Inner", "Stray", "aicAlphaImage1", "Logo"}));
    // Painted on top as well: the new control is empty (a checkerboard),
    // Logo is solid blue.
    EXPECT_EQ(window->canvas().grab().toImage().pixel(40, 40), 0xFF2040C0u);

    window->sendToBack();
    ASSERT_TRUE(window->save());
    EXPECT_EQ(order(saved()),
              (std::vector<std::string>{"Logo", "Picture1", "Inner", "Stray", "aicAlphaImage1"}));
    window->undo();
    window->undo();
    click({40, 40});
    EXPECT_EQ(overlay().selection(), std::vector<std::string>{"aicAlphaImage1"});
    window->redo();
    EXPECT_EQ(order(window->canvas().record()),
              (std::vector<std::string>{"Picture1", "Inner", "Stray", "aicAlphaImage1", "Logo"}));
}

TEST_F(Designer, CopiesGoThroughTheClipboardIntoThisWindowAndAnother) {
    click({20, 20});
    click({310, 20}, Qt::ControlModifier);
    window->copy();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->hasFormat(QString::fromLatin1(DesignerWindow::kClipboardType)));
    EXPECT_TRUE(platform::ParseFormStore(data->text().toStdString(), "text"))
        << "the text form is a store too";

    // Another window: the copies keep names, places and pictures.
    DesignerWindow other(host);
    other.paste();
    ASSERT_NE(other.canvas().find("Logo"), nullptr);
    EXPECT_EQ(other.canvas().find("Logo")->onCanvas(), QRect(10, 10, 48, 48));
    EXPECT_EQ(other.canvas().find("Logo")->control->ImageType(), 10);
    EXPECT_EQ(other.canvas().overlay().selection(), (std::vector<std::string>{"Logo", "Stray"}));
    EXPECT_TRUE(other.dirty());
    other.askUnsaved = [] { return UnsavedAnswer::Discard; };

    // Here: the names are taken and so are the places.
    window->paste();
    EXPECT_EQ(overlay().selection(), (std::vector<std::string>{"Logo1", "Stray1"}));
    EXPECT_EQ(control("Logo1").onCanvas(), QRect(26, 26, 48, 48));
    window->duplicate();
    EXPECT_EQ(overlay().selection(), (std::vector<std::string>{"Logo2", "Stray2"}));
    EXPECT_EQ(control("Logo2").onCanvas(), QRect(42, 42, 48, 48));
    // At the pointer, into the picture box there, kept whole inside it.
    window->paste(QPoint(300, 150));
    EXPECT_EQ(control("Logo3").box->name, "Picture1");
    EXPECT_EQ(control("Logo3").local(), QRect(100, 50, 48, 48));
    EXPECT_EQ(control("Stray3").local(), QRect(110, 50, 40, 40));

    // Cut is one step; what is not a store is refused.
    click({310 + 16, 20 + 16});
    window->cut();
    EXPECT_EQ(window->canvas().find("Stray1"), nullptr);
    QGuiApplication::clipboard()->setText(QStringLiteral("{ \"form\": 1 }"));
    const std::size_t count = window->canvas().controls().size();
    window->paste();
    EXPECT_EQ(window->canvas().controls().size(), count);
    for (const char* step : {"Cut", "Paste", "Duplicate", "Paste"}) {
        EXPECT_EQ(menuText("&Undo"), QStringLiteral("Undo ") + QString::fromLatin1(step));
        window->undo();
    }
    EXPECT_EQ(window->canvas().controls().size(), 3u);
    EXPECT_FALSE(window->dirty());
}

TEST_F(Designer, AlignmentMovesTheSelectionAsOneStepAndKeepsEachInItsBox) {
    click({310, 20});
    click({20, 20}, Qt::ControlModifier);
    click({210, 110}, Qt::ControlModifier);
    window->align(Alignment::Top); // after Stray, the first selected
    EXPECT_EQ(control("Logo").onCanvas(), QRect(10, 10, 48, 48));
    // Inner cannot rise above its box's top.
    EXPECT_EQ(control("Inner").onCanvas(), QRect(205, 100, 32, 32));
    EXPECT_EQ(control("Inner").box->name, "Picture1");
    EXPECT_EQ(menuText("&Undo"), QStringLiteral("Undo Align Tops"));
    window->align(Alignment::SameSize);
    EXPECT_EQ(control("Logo").onCanvas().size(), QSize(40, 40));
    window->undo();
    window->undo();
    EXPECT_EQ(control("Inner").onCanvas(), QRect(205, 105, 32, 32));
    EXPECT_EQ(control("Logo").onCanvas(), QRect(10, 10, 48, 48));
    EXPECT_FALSE(window->dirty());
}

TEST_F(Designer, DragsSnapWithGuidesAltPlacesByThePixelEscCancels) {
    overlay().setSnapping(true);
    ASSERT_EQ(overlay().grid(), 8);
    const auto press = [&](QPoint at, Qt::KeyboardModifiers m = Qt::NoModifier) {
        mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, m);
    };
    const auto moveTo = [&](QPoint at, Qt::KeyboardModifiers m = Qt::NoModifier) {
        mouse(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton, m);
    };
    const auto release = [&](QPoint at, Qt::KeyboardModifiers m = Qt::NoModifier) {
        mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, m);
    };
    // Near nothing (the targets: x 0 200 400 of the form, 200 275 350 of
    // the box, 205 221 237 of Inner, 300 320 340 of Stray; y 0 150 300,
    // 100 160 220, 105 121 137, 10 30 50): Logo's corner goes to the grid.
    drag({20, 20}, {53, 75});
    EXPECT_EQ(control("Logo").onCanvas(), QRect(40, 64, 48, 48));
    // Logo's top 2 pixels below Stray's: it meets it, with a guide shown
    // while the button is down.
    press({50, 70});
    moveTo({146, 18});
    EXPECT_EQ(control("Logo").onCanvas().topLeft(), QPoint(136, 10));
    EXPECT_EQ(overlay().guideY(), 10);
    release({146, 18});
    EXPECT_FALSE(overlay().guideY().has_value());
    // Alt: by the pixel.
    press({150, 20}, Qt::AltModifier);
    moveTo({153, 25}, Qt::AltModifier);
    release({153, 25}, Qt::AltModifier);
    EXPECT_EQ(control("Logo").onCanvas(), QRect(139, 15, 48, 48));
    // A resize snaps the handle's edges: the right one to the nearest
    // edge (Inner's left, 2 away, rather than the box's, 3 away), the bottom
    // one to the grid.
    press({187, 63});
    moveTo({203, 65});
    release({203, 65});
    EXPECT_EQ(control("Logo").onCanvas(), QRect(139, 15, 66, 49));
    // Esc puts a drag back and leaves no step.
    const QString undoText = menuText("&Undo");
    press({150, 30});
    moveTo({250, 250});
    key(Qt::Key_Escape);
    release({250, 250});
    EXPECT_EQ(control("Logo").onCanvas(), QRect(139, 15, 66, 49));
    EXPECT_EQ(menuText("&Undo"), undoText);
    // Ctrl+arrows move by a grid step, Shift+arrows resize by a pixel.
    key(Qt::Key_Right, Qt::ControlModifier);
    key(Qt::Key_Down, Qt::ShiftModifier);
    key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(control("Logo").onCanvas(), QRect(147, 15, 65, 50));
    window->undo();
    window->undo();
    EXPECT_EQ(control("Logo").onCanvas(), QRect(139, 15, 66, 49));
}

TEST_F(Designer, WithNothingSelectedTheListEditsTheFormsTitleAndSize) {
    click({300, 250});
    auto& title = editor<QLineEdit>("Form.Title");
    ASSERT_TRUE(title.isVisibleTo(&window->properties()));
    EXPECT_FALSE(editor<QSpinBox>("Opacity").isVisibleTo(&window->properties()));
    EXPECT_EQ(title.text(), QString());
    title.setText(QStringLiteral("Réglages \"DNS\""));
    emit title.editingFinished();
    auto& width = editor<QSpinBox>("Form.Width");
    EXPECT_EQ(width.value(), 400);
    width.setValue(500);
    emit width.editingFinished();
    EXPECT_EQ(window->canvas().size(), QSize(500, 300));
    EXPECT_EQ(menuText("&Undo"), QStringLiteral("Undo Resize Form"));
    ASSERT_TRUE(window->save());
    // Kept where older readers keep what they do not know, and read back.
    const platform::FormRecord form = saved();
    EXPECT_EQ(form.width, 500);
    EXPECT_EQ(FormTitle(form), "Réglages \"DNS\"");
    ASSERT_EQ(form.formExtras.size(), 1u);
    EXPECT_EQ(form.formExtras[0].key, "title");
    std::string error;
    ASSERT_TRUE(window->openStore(store, error)) << error;
    EXPECT_EQ(editor<QLineEdit>("Form.Title").text(), QStringLiteral("Réglages \"DNS\""));
    click({20, 20});
    EXPECT_TRUE(editor<QSpinBox>("Opacity").isVisibleTo(&window->properties()));
    EXPECT_FALSE(title.isVisibleTo(&window->properties()));
    click({450, 250});
    title.setText(QString());
    emit title.editingFinished();
    EXPECT_TRUE(window->canvas().form().formExtras.empty());
    window->undo();
    EXPECT_EQ(FormTitle(window->canvas().form()), "Réglages \"DNS\"");
}

TEST_F(Designer, PictureBoxesAreAddedMovedRenamedAndDeletedWithTheirControlsKept) {
    window->addPictureBox(QPoint(20, 150));
    ASSERT_EQ(overlay().selection(), std::vector<std::string>{"Picture2"});
    const FormCanvas::Box* box = window->canvas().findBox("Picture2");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->place, QRect(20, 150, 160, 120));
    // Logo dropped into it is re-homed there.
    drag({20, 20}, {40, 170});
    EXPECT_EQ(control("Logo").box->name, "Picture2");
    EXPECT_EQ(control("Logo").local(), QRect(10, 10, 48, 48));
    // The box is taken by its empty area and moves with its control.
    drag({150, 250}, {170, 260});
    EXPECT_EQ(overlay().selection(), std::vector<std::string>{"Picture2"});
    EXPECT_EQ(window->canvas().findBox("Picture2")->place, QRect(40, 160, 160, 120));
    EXPECT_EQ(control("Logo").onCanvas(), QRect(50, 170, 48, 48));
    // Renamed and resized through the list; its control follows the name.
    auto& name = editor<QLineEdit>("Name");
    name.setText("Frame");
    emit name.editingFinished();
    auto& width = editor<QSpinBox>("Width");
    width.setValue(100);
    emit width.editingFinished();
    EXPECT_EQ(control("Logo").box->name, "Frame");
    ASSERT_TRUE(window->save());
    platform::FormRecord form = saved();
    ASSERT_NE(form.find("Frame"), nullptr);
    EXPECT_EQ(form.find("Frame")->type, "PictureBox");
    EXPECT_EQ(placeOf(*form.find("Frame")), QRect(40, 160, 100, 120));
    EXPECT_EQ(form.find("Logo")->container, "Frame");
    // Deleted, it leaves its control on the form where it was seen.
    key(Qt::Key_Delete);
    EXPECT_EQ(window->canvas().findBox("Frame"), nullptr);
    EXPECT_TRUE(control("Logo").box->name.empty());
    EXPECT_EQ(control("Logo").onCanvas(), QRect(50, 170, 48, 48));
    EXPECT_EQ(control("Logo").control->ImageType(), 10);
    for (int i = 0; i < 6; ++i)
        window->undo();
    EXPECT_EQ(window->canvas().findBox("Picture2"), nullptr);
    EXPECT_EQ(control("Logo").onCanvas(), QRect(10, 10, 48, 48));
    EXPECT_FALSE(window->canUndo());
    EXPECT_TRUE(window->dirty()) << "the file holds the form as saved midway";
}

TEST_F(Designer, ThePreviewRunsTheFormAndListsItsEventsAsVelmoraFormPrintsThem) {
    window->preview();
    FormPreview* preview = window->previewWindow();
    ASSERT_NE(preview, nullptr);
    QApplication::processEvents();
    platform::QtControlContainer& form = *preview->container();
    const auto pointer = [&](QEvent::Type type, QPoint at, Qt::MouseButton button,
                             Qt::MouseButtons buttons) {
        QCursor::setPos(form.mapToGlobal(at));
        QMouseEvent event(type, QPointF(at), QPointF(form.mapToGlobal(at)), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(&form, &event);
    };
    // Over Logo, a click, then off it onto the empty form. Time stands
    // still in both (no event is processed here; the replay gets no
    // --wait): the tracking timer's MouseExit is not yet due.
    pointer(QEvent::MouseMove, {20, 20}, Qt::NoButton, Qt::NoButton);
    pointer(QEvent::MouseMove, {25, 30}, Qt::NoButton, Qt::NoButton);
    pointer(QEvent::MouseButtonPress, {25, 30}, Qt::LeftButton, Qt::LeftButton);
    pointer(QEvent::MouseButtonRelease, {25, 30}, Qt::LeftButton, Qt::NoButton);
    pointer(QEvent::MouseMove, {150, 250}, Qt::NoButton, Qt::NoButton);

    const auto withoutTimes = [](const std::vector<std::string>& lines) {
        std::vector<std::string> out;
        for (const std::string& line : lines)
            out.push_back(line.substr(line.find(' ') + 1));
        return out;
    };
    std::string command = "'";
    command += VELMORA_FORM;
    command += "' events '" + store.string() +
               "' --move 20,20 --move 25,30 --click 25,30 --move 150,250 > '" +
               (dir / "events.txt").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream printed(dir / "events.txt");
    std::vector<std::string> expected;
    for (std::string line; std::getline(printed, line);)
        expected.push_back(line);
    ASSERT_EQ(expected.size(), 6u);
    EXPECT_EQ(expected.back().substr(expected.back().find(' ') + 1), "Logo.Click 1");
    EXPECT_EQ(withoutTimes(preview->events()), withoutTimes(expected));
    // The designer's form is not touched by running it.
    EXPECT_FALSE(window->dirty());
}

TEST_F(Designer, RecentFilesAndTheWindowsPlacesAreKeptInTheSettingsGiven) {
    const QString file = QString::fromStdString((dir / "settings.ini").string());
    const auto settings = [&] { return std::make_unique<QSettings>(file, QSettings::IniFormat); };
    EXPECT_FALSE(window->useSettings(settings())) << "nothing kept yet";
    std::string error;
    ASSERT_TRUE(window->openStore(store, error)) << error;
    saveAsTo = (dir / "other.json").string();
    ASSERT_TRUE(window->saveAs());
    EXPECT_EQ(window->recentFiles(), (std::vector<fs::path>{dir / "other.json", store}));
    window->resize(1000, 700);
    window->canvas().overlay().setGrid(16);
    ASSERT_TRUE(window->close());

    DesignerWindow again(host);
    again.showError = [this](const std::string& text) { errors.push_back(text); };
    EXPECT_TRUE(again.useSettings(settings()));
    EXPECT_EQ(again.size(), QSize(1000, 700));
    EXPECT_EQ(again.canvas().overlay().grid(), 16);
    again.openRecent(1);
    EXPECT_EQ(again.file(), store);
    EXPECT_EQ(again.recentFiles().front(), store);
    // A file gone is said so and leaves the list.
    fs::remove(dir / "other.json");
    again.openRecent(1);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(again.recentFiles(), std::vector<fs::path>{store});
}

} // namespace

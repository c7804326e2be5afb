#pragma once
// The main window drawn with Qt Widgets: the controls at their reference
// positions (twips at 15 to the pixel), handing their events to FrmMain.

#include "app/frm_extras.h"
#include "app/frm_main.h"
#include "app/management/recording_backend.h"

#include <QWidget>
#include <memory>

class QComboBox;
class QDialog;
class QMenu;
class QMessageBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora::app {

class FrmMainWindow final : public QWidget, public FrmMainView, public SpeedTestView {
public:
    explicit FrmMainWindow(QWidget* parent = nullptr);

    // Connects the controls' events to the logic; call once, before show.
    void Attach(FrmMain& form);
    // Gives the presets frame its context menu.
    void AttachExtras(FrmExtras& extras);

    // The presets frame's context menu: more presets, the speed test and
    // restore.
    std::unique_ptr<QMenu> PresetsMenu();

    int AddAdapter(const std::string& text, std::int32_t itemData) override;
    int AdapterCount() const override;
    int SelectedAdapter() const override;
    void SelectAdapter(int position) override;
    std::int32_t AdapterItemData(int position) const override;
    std::string AdapterListText() const override;
    void FocusAdapterList() override;
    std::string Text(TextBox box) const override;
    void SetText(TextBox box, const std::string& text) override;
    void SetCaption(Label label, const std::string& caption) override;
    void ShowMessage(const std::string& text) override;
    void DoEvents() override;
    void Unload() override;

    // A progress dialog with Cancel while the queries run on a thread of
    // their own; Cancel stops them.
    std::optional<std::vector<speedtest::Result>>
    RunQueries(const std::vector<speedtest::Endpoint>& servers,
               const speedtest::Options& options) override;
    bool ShowResults(const SpeedTestReport& report) override;

    // The controls, by their names, for the view's own tests.
    QWidget* Control(const char* name) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void RunSpeedTest();

    FrmMain* form_ = nullptr;
    FrmExtras* extras_ = nullptr;
    QGroupBox* frame3_ = nullptr;
    QFrame* picture1_;
    QFrame* picture4_;
    QComboBox* combo1_;
    QLineEdit* text4_;
    QLineEdit* text5_;
    QLabel* label10_;
    QLabel* label11_;
    QPushButton* command5_;
    QPushButton* command6_;
    QPushButton* command7_;
    QPushButton* command8_;
    QPushButton* command9_;
    QPushButton* command10_;
};

// The message box the window shows: modal, one OK button, the application
// title, and wide enough that the title is not cut short.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* parent, const std::string& text);

// The speed test's results window: a sortable table of the ranked servers,
// the rule "Use The Fastest Two" follows, a line per family left out. It
// accepts when "Use The Fastest Two" is clicked.
std::unique_ptr<QDialog> MakeResultsDialog(QWidget* parent, const SpeedTestReport& report);

// The window's own 16 x 16 icon, drawn here rather than shipped as a file.
QPixmap WindowIconPixmap();

// Runs the window until it is closed; returns the program's exit status.
// With a screenshot file, the window is drawn once after start-up into it
// (PNG) and the program ends: 0 written, 2 not. `guard` (may be null)
// checks the servers after each apply.
int RunWindow(int& argc, char** argv, management::RecordingBackend& backend,
              const std::string& screenshot = {}, management::ChangeGuard* guard = nullptr);

} // namespace velmora::app

#pragma once
// The main window's logic, free of any toolkit: the window state, the
// start-up sequence and the handlers of its controls. A view shows it (the
// Qt window, the command line, the tests' fake) through FrmMainView.

#include "app/management/management.h"
#include "app/management/verified_change.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace velmora::app {

enum class TextBox { Text4, Text5 };
enum class Label { Label10, Label11 };

// What the logic needs of the window's controls. The adapter list is
// Combo1: its entries carry the adapter's Description as text and its Index
// as item data.
class FrmMainView {
public:
    virtual ~FrmMainView() = default;

    // Adds an entry and returns its position.
    virtual int AddAdapter(const std::string& text, std::int32_t itemData) = 0;
    virtual int AdapterCount() const = 0;
    // The selected position, or -1.
    virtual int SelectedAdapter() const = 0;
    // Selects a position (-1 for none) without raising the list's Click.
    virtual void SelectAdapter(int position) = 0;
    // Throws std::out_of_range for a position that holds no entry.
    virtual std::int32_t AdapterItemData(int position) const = 0;
    // The text of the selected entry; empty when nothing is selected.
    virtual std::string AdapterListText() const = 0;
    virtual void FocusAdapterList() = 0;

    virtual std::string Text(TextBox box) const = 0;
    virtual void SetText(TextBox box, const std::string& text) = 0;
    virtual void SetCaption(Label label, const std::string& caption) = 0;

    // A modal message box with one OK button, titled with the application
    // title; returns once it is closed.
    virtual void ShowMessage(const std::string& text) = 0;
    // Processes the window's pending messages (repaint, input).
    virtual void DoEvents() = 0;
    // Closes the window, which ends the program.
    virtual void Unload() = 0;
};

class FrmMain {
public:
    FrmMain(FrmMainView& view, management::Backend& backend);

    void Form_Load();
    void Form_Unload();
    void Combo1_Click();
    void Command9_Click();
    void Command10_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    // The link images: each opens its page with the desktop's handler; a
    // page that cannot be opened is left alone silently.
    void aicAlphaImage4_Click();
    void aicAlphaImage5_Click();
    void aicAlphaImage6_Click();

    // Checks the new servers after each apply and undoes a change to
    // servers that do not answer; none (the default) leaves changes as
    // they are made.
    void SetChangeGuard(management::ChangeGuard* guard) { guard_ = guard; }
    // How the last apply's check went; nullopt when it was not checked.
    const std::optional<management::ChangeOutcome>& lastChange() const { return lastChange_; }

    const management::AdapterConfiguration* adapterObject() const { return adapterObject_.get(); }
    std::int16_t returnCode() const { return returnCode_; }

    // The window that owns what the link images open (the handler's own
    // error windows, where it shows any): the platform's handle of the form.
    // Kept as a number, so that this header stays free of the platform's
    // names, which the views' sources on Windows must not see beside the
    // system's.
    void SetWindow(std::uintptr_t window) { window_ = window; }

private:
    std::uintptr_t window_ = 0;
    bool AdapterChosen();
    void FetchChosenConfiguration();
    void StoreReturnCode(management::ReturnCode code);
    void Report();
    void ShowCurrentServers();
    std::optional<std::int32_t> GuardBefore();
    bool GuardAfter(std::optional<std::int32_t> index,
                    const management::ServerSearchOrder& servers);

    FrmMainView& view_;
    management::Backend& backend_;
    std::unique_ptr<management::AdapterConfiguration> adapterObject_;
    std::int16_t returnCode_ = 0;
    management::ChangeGuard* guard_ = nullptr;
    std::optional<management::ChangeOutcome> lastChange_;
};

// The argument for the typed servers: "0.0.0.0" (compared exactly) leaves a
// position out; with both left out the argument is unset.
management::ServerSearchOrder BuildServerList(const std::string& first, const std::string& second);

} // namespace velmora::app

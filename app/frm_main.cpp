#include "app/frm_main.h"

#include "app/error_policy.h"
#include "app/links.h"
#include "app/messages.h"
#include "platform/host/win32.h"

#include <limits>
#include <optional>

namespace velmora::app {

namespace mgmt = velmora::management;

namespace {

// The window keeps codes as 16-bit values. A code that does not fit cannot
// be named truthfully; truncating it could turn a failure into 0, "Done!",
// so it fails the step instead, like the conversion overflow it is.
std::int16_t ToReturnCode(mgmt::ReturnCode code) {
    if (code < std::numeric_limits<std::int16_t>::min() ||
        code > std::numeric_limits<std::int16_t>::max())
        throw mgmt::ManagementError("return code " + std::to_string(code) + " out of range");
    return static_cast<std::int16_t>(code);
}

bool EndsProgram(std::int16_t code) {
    return code == 0 || code == 1;
}

} // namespace

mgmt::ServerSearchOrder BuildServerList(const std::string& first, const std::string& second) {
    const bool firstSet = first != text::kPlaceholder;
    const bool secondSet = second != text::kPlaceholder;
    if (firstSet && secondSet) return std::vector<std::string>{first, second};
    if (firstSet) return std::vector<std::string>{first};
    if (secondSet) return std::vector<std::string>{second};
    return mgmt::unset;
}

FrmMain::FrmMain(FrmMainView& view, mgmt::Backend& backend) : view_(view), backend_(backend) {}

void FrmMain::Form_Load() {
    std::unique_ptr<mgmt::Service> service;
    // An empty list alone would leave the user guessing why; the cause is
    // said first, then the window goes on as without adapters.
    std::string cause = "unknown error";
    IgnoreErrors([&] {
        try {
            service = backend_.Connect(mgmt::ConnectionString(mgmt::kLocalComputer));
        } catch (const std::exception& error) {
            cause = error.what();
            throw;
        }
    });
    if (!service) IgnoreErrors([&] { view_.ShowMessage(text::BackendUnavailable(cause)); });
    mgmt::AdapterConfigurations configurations;
    IgnoreErrors([&] {
        if (!service) throw mgmt::ManagementError("not connected");
        configurations = service->ExecQuery(mgmt::kAdapterQuery);
    });

    for (const auto& configuration : configurations) {
        view_.DoEvents();
        // Both properties are read before the entry is added: an entry whose
        // Index could not be read would carry item data that names some other
        // adapter, and a skipped entry must not pass its Index to the one
        // before it.
        IgnoreErrors([&] {
            std::string description = configuration->Description();
            std::int32_t index = configuration->Index();
            view_.AddAdapter(description, index);
        });
    }

    int count = -1;
    IgnoreErrors([&] { count = view_.AdapterCount(); });
    // Selecting an entry is a Click of the list.
    if (count == 1 && IgnoreErrors([&] { view_.SelectAdapter(0); })) Combo1_Click();
}

void FrmMain::Form_Unload() {}

void FrmMain::Combo1_Click() {
    FetchChosenConfiguration();
    ShowCurrentServers();
}

void FrmMain::ShowCurrentServers() {
    IgnoreErrors([&] { view_.SetCaption(Label::Label10, std::string{text::kPlaceholder}); });
    IgnoreErrors([&] { view_.SetCaption(Label::Label11, std::string{text::kPlaceholder}); });
    view_.DoEvents();
    IgnoreErrors([&] {
        if (adapterObject_)
            view_.SetCaption(Label::Label10, adapterObject_->DNSServerSearchOrder(0));
    });
    IgnoreErrors([&] {
        if (adapterObject_)
            view_.SetCaption(Label::Label11, adapterObject_->DNSServerSearchOrder(1));
    });
    view_.DoEvents();
}

bool FrmMain::AdapterChosen() {
    bool chosen = true;
    IgnoreErrors([&] { chosen = !view_.AdapterListText().empty(); });
    if (chosen) return true;
    IgnoreErrors([&] { view_.ShowMessage(std::string{text::kChooseAdapter}); });
    IgnoreErrors([&] { view_.FocusAdapterList(); });
    return false;
}

void FrmMain::FetchChosenConfiguration() {
    // A failed fetch leaves no object rather than the previous one: shown,
    // its servers would pass for this adapter's, and a change sent to it
    // could reach an adapter the user did not choose.
    if (!IgnoreErrors([&] {
            adapterObject_ = backend_.GetObject(
                mgmt::ConfigurationPath(view_.AdapterItemData(view_.SelectedAdapter())));
        }))
        adapterObject_.reset();
}

void FrmMain::StoreReturnCode(mgmt::ReturnCode code) {
    returnCode_ = ToReturnCode(code);
}

void FrmMain::Report() {
    IgnoreErrors([&] { view_.ShowMessage(std::string{text::ReturnCodeMessage(returnCode_)}); });
    if (EndsProgram(returnCode_)) IgnoreErrors([&] { view_.Unload(); });
}

std::optional<std::int32_t> FrmMain::GuardBefore() {
    lastChange_.reset();
    std::optional<std::int32_t> index;
    if (!guard_ || !adapterObject_) return index;
    IgnoreErrors([&] {
        index = adapterObject_->Index();
        guard_->Before(*index);
    });
    return index;
}

// After a change the component accepted: false when it was undone (the
// message said so and the restored servers are shown), so the window stays.
bool FrmMain::GuardAfter(std::optional<std::int32_t> index,
                         const mgmt::ServerSearchOrder& servers) {
    if (!guard_ || !index || !EndsProgram(returnCode_)) return true;
    const auto* list = std::get_if<std::vector<std::string>>(&servers);
    lastChange_ = guard_->After(*index, list ? *list : std::vector<std::string>{});
    for (const auto& message : mgmt::OutcomeMessages(*lastChange_))
        IgnoreErrors([&] { view_.ShowMessage(message); });
    const auto verdict = lastChange_->verdict;
    if (verdict != mgmt::ChangeOutcome::Verdict::RolledBack &&
        verdict != mgmt::ChangeOutcome::Verdict::RollbackFailed)
        return true;
    Combo1_Click();
    return false;
}

void FrmMain::Command9_Click() {
    if (!AdapterChosen()) return;
    FetchChosenConfiguration();
    // Without a list built from the boxes nothing is sent: an unset argument
    // in its place would drop the adapter's servers.
    std::optional<mgmt::ServerSearchOrder> servers;
    IgnoreErrors(
        [&] { servers = BuildServerList(view_.Text(TextBox::Text4), view_.Text(TextBox::Text5)); });
    // A call that throws has not changed anything we know of; reporting the
    // code left from an earlier call could read as success.
    const auto guarded = GuardBefore();
    if (!IgnoreErrors([&] {
            if (!adapterObject_) throw mgmt::ManagementError("no adapter configuration");
            if (!servers) throw mgmt::ManagementError("no server list");
            StoreReturnCode(adapterObject_->SetDNSServerSearchOrder(*servers));
        }))
        returnCode_ = static_cast<std::int16_t>(mgmt::kUnknownFailure);
    if (servers && !GuardAfter(guarded, *servers)) return;
    Report();
}

void FrmMain::Command10_Click() {
    if (!AdapterChosen()) return;
    FetchChosenConfiguration();
    auto call = [&](auto method) {
        return IgnoreErrors([&] {
            if (!adapterObject_) throw mgmt::ManagementError("no adapter configuration");
            StoreReturnCode(method(*adapterObject_));
        });
    };

    const auto guarded = GuardBefore();
    // The four changes take effect together, so the link is reconfigured
    // once rather than after each of them.
    IgnoreErrors([&] {
        if (adapterObject_) adapterObject_->BeginChanges();
    });
    if (call([](mgmt::AdapterConfiguration& a) { return a.EnableDHCP(); }) && returnCode_ == 1)
        IgnoreErrors([&] { view_.ShowMessage(std::string{text::kRebootRequired}); });
    call([](mgmt::AdapterConfiguration& a) { return a.SetGateways(mgmt::null); });
    call([](mgmt::AdapterConfiguration& a) { return a.SetGateways(mgmt::null, mgmt::null); });
    bool dnsCalled = call([](mgmt::AdapterConfiguration& a) {
        return a.SetDNSServerSearchOrder(mgmt::ServerSearchOrder{mgmt::null});
    });
    // Where the changes were held back, the DNS call's code stands only if
    // they could be made: a failed commit is the outcome the user must see.
    std::int16_t dnsCode = returnCode_;
    if (!call([](mgmt::AdapterConfiguration& a) { return a.CommitChanges(); }))
        dnsCalled = false;
    else if (returnCode_ == 0 || returnCode_ == 1)
        returnCode_ = dnsCode;
    if (!dnsCalled) returnCode_ = static_cast<std::int16_t>(mgmt::kUnknownFailure);
    if (!GuardAfter(guarded, mgmt::ServerSearchOrder{mgmt::null})) return;
    Report();
}

void FrmMain::Command5_Click() {
    IgnoreErrors([&] { view_.SetText(TextBox::Text4, std::string{text::kGoogleFirst}); });
    IgnoreErrors([&] { view_.SetText(TextBox::Text5, std::string{text::kGoogleSecond}); });
    view_.DoEvents();
}

void FrmMain::Command7_Click() {
    IgnoreErrors([&] { view_.SetText(TextBox::Text4, std::string{text::kOpenDnsFirst}); });
    IgnoreErrors([&] { view_.SetText(TextBox::Text5, std::string{text::kOpenDnsSecond}); });
    view_.DoEvents();
}

void FrmMain::Command6_Click() {
    IgnoreErrors([&] { view_.ShowMessage(std::string{text::kAboutGoogle}); });
}

void FrmMain::Command8_Click() {
    IgnoreErrors([&] { view_.ShowMessage(text::AboutOpenDns()); });
}

namespace {

void OpenPage(platform::HWND window, const char* address) {
    // The answer is not looked at: the handler tells the user itself.
    IgnoreErrors([&] { platform::ShellExecuteA(window, "Open", address, "", "", 1); });
}

} // namespace

void FrmMain::aicAlphaImage4_Click() {
    OpenPage(window_, links::kMakerHomePage);
}

void FrmMain::aicAlphaImage5_Click() {
    OpenPage(window_, links::kIssueTracker);
}

void FrmMain::aicAlphaImage6_Click() {
    OpenPage(window_, links::kProjectHomePage);
}

} // namespace velmora::app

#include "app/frm_extras.h"

#include "app/command_line.h"
#include "app/error_policy.h"
#include "app/messages.h"

#include <algorithm>
#include <cstdio>

namespace velmora::app {

FrmExtras::FrmExtras(FrmMainView& view, FrmMain& form, management::RecordingBackend& backend)
    : view_(view), form_(form), backend_(backend) {}

void FrmExtras::UsePreset(const Preset& preset) {
    IgnoreErrors([&] { view_.SetText(TextBox::Text4, std::string{preset.ipv4[0]}); });
    IgnoreErrors([&] { view_.SetText(TextBox::Text5, std::string{preset.ipv4[1]}); });
    view_.DoEvents();
}

std::optional<std::int32_t> FrmExtras::ChosenIndex() {
    std::optional<std::int32_t> index;
    IgnoreErrors([&] {
        if (!view_.AdapterListText().empty())
            index = view_.AdapterItemData(view_.SelectedAdapter());
    });
    return index;
}

void FrmExtras::RestoreChosen() {
    const auto index = ChosenIndex();
    if (!index) {
        IgnoreErrors([&] { view_.ShowMessage(std::string{text::kChooseAdapter}); });
        IgnoreErrors([&] { view_.FocusAdapterList(); });
        return;
    }
    std::string message;
    try {
        const auto code = backend_.Restore(*index);
        const bool fits = code >= INT16_MIN && code <= INT16_MAX;
        message =
            text::ReturnCodeMessage(fits ? static_cast<std::int16_t>(code) : std::int16_t{-1});
    } catch (const std::exception& error) {
        message = std::string{text::kRestoreFailed} + error.what();
    }
    IgnoreErrors([&] { view_.ShowMessage(message); });
    form_.Combo1_Click();
}

std::vector<speedtest::Endpoint> FrmExtras::SpeedTestServers() {
    const auto index = ChosenIndex();
    // Without a chosen adapter, no adapter's servers.
    auto servers = DefaultBenchServers(backend_, index, index.has_value());
    for (TextBox box : {TextBox::Text4, TextBox::Text5}) {
        std::string typed;
        IgnoreErrors([&] { typed = view_.Text(box); });
        auto endpoint = speedtest::ParseEndpoint(typed);
        if (typed != text::kPlaceholder && endpoint &&
            std::find(servers.begin(), servers.end(), *endpoint) == servers.end())
            servers.push_back(*endpoint);
    }
    return servers;
}

std::string FrmExtras::Summary(const std::vector<speedtest::Result>& ranked) {
    std::string summary;
    for (const auto& result : ranked) {
        char line[160];
        const auto median = result.Median();
        if (median)
            std::snprintf(line, sizeof line, "%-28s %7.1f ms   lost %d of %d\n",
                          result.server.text.c_str(), static_cast<double>(median->count()) / 1000.0,
                          result.lost, result.queries);
        else
            std::snprintf(line, sizeof line, "%-28s  no answer\n", result.server.text.c_str());
        summary += line;
    }
    return summary;
}

bool FrmExtras::UseFastest(const std::vector<speedtest::Result>& ranked) {
    const auto chosen = speedtest::FastestComplete(ranked);
    if (chosen.empty()) return false;
    IgnoreErrors([&] { view_.SetText(TextBox::Text4, chosen[0]); });
    IgnoreErrors([&] {
        view_.SetText(TextBox::Text5,
                      chosen.size() > 1 ? chosen[1] : std::string{text::kPlaceholder});
    });
    view_.DoEvents();
    return true;
}

} // namespace velmora::app

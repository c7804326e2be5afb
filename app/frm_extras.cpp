#include "app/frm_extras.h"

#include "app/command_line.h"
#include "app/error_policy.h"
#include "app/messages.h"

#include <algorithm>
#include <cstdio>

namespace velmora::app {

FrmExtras::FrmExtras(FrmMainView& view, FrmMain& form, management::RecordingBackend& backend,
                     std::ostream& notices)
    : view_(view), form_(form), backend_(backend) {
    // The window's messages are those of its design ("Unknown failure"
    // where no record could be made); the cause goes beside them.
    backend_.SetNoticeSink([&notices](const std::string& text) {
        notices << "velmora: " << text << '\n' << std::flush;
    });
}

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

bool FrmExtras::CanRestore() {
    const auto index = ChosenIndex();
    if (!index) return false;
    bool found = false;
    // A record under this index made for another adapter is not this one's.
    IgnoreErrors([&] {
        const auto record = backend_.RecordFor(*index);
        found = record && record->description == view_.AdapterListText();
    });
    return found;
}

void FrmExtras::RestoreChosen() {
    const auto index = ChosenIndex();
    if (!index) {
        IgnoreErrors([&] { view_.ShowMessage(std::string{text::kChooseAdapter}); });
        IgnoreErrors([&] { view_.FocusAdapterList(); });
        return;
    }
    // The user knows the adapter by its description, not by its index.
    if (!CanRestore()) {
        IgnoreErrors([&] { view_.ShowMessage(text::NothingRecorded(view_.AdapterListText())); });
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

std::vector<std::string> FrmExtras::FastestTwo(const std::vector<speedtest::Result>& ranked) {
    std::vector<std::string> chosen;
    for (const auto& result : ranked) {
        if (chosen.size() == 2) break;
        // On a real network a query is lost now and then; a server that
        // lost one in ten is still fit to use, one that lost more is not.
        const bool fit = result.queries > 0 && result.lost * 10 <= result.queries &&
                         result.Median().has_value() && result.server.port == 53;
        if (fit && std::find(chosen.begin(), chosen.end(), result.server.address) == chosen.end())
            chosen.push_back(result.server.address);
    }
    return chosen;
}

SpeedTestReport FrmExtras::Report(const std::vector<speedtest::Result>& ranked,
                                  const std::vector<speedtest::Endpoint>& leftOut) {
    SpeedTestReport report;
    auto milliseconds = [](const std::optional<speedtest::Duration>& time) {
        return time ? std::optional<double>{static_cast<double>(time->count()) / 1000.0}
                    : std::nullopt;
    };
    int rank = 0;
    for (const auto& result : ranked)
        report.rows.push_back({++rank, result.server.text, milliseconds(result.Median()),
                               milliseconds(result.Percentile90()), result.lost, result.queries});
    for (bool ipv6 : {true, false}) {
        const auto count = std::count_if(leftOut.begin(), leftOut.end(),
                                         [&](const auto& server) { return server.ipv6 == ipv6; });
        if (count) report.leftOut.push_back(text::LeftOutServers(static_cast<int>(count), ipv6));
    }
    if (auto fastest = FastestTwo(ranked); fastest.size() == 2) report.fastest = fastest;
    return report;
}

void FrmExtras::RunSpeedTest(SpeedTestView& view, const Routable& routable) {
    // A server the machine has no route to would only be counted as lost.
    std::vector<speedtest::Endpoint> ask, leftOut;
    for (auto& server : SpeedTestServers()) {
        bool reachable = true;
        IgnoreErrors([&] { reachable = routable(server); });
        (reachable ? ask : leftOut).push_back(std::move(server));
    }
    speedtest::Options options;
    options.rounds = 2;
    std::optional<std::vector<speedtest::Result>> results;
    try {
        results = view.RunQueries(ask, options);
    } catch (const std::exception& error) {
        IgnoreErrors([&] { view_.ShowMessage(std::string{text::kRestoreFailed} + error.what()); });
        return;
    }
    if (!results) return; // cancelled: nothing to show
    speedtest::Rank(*results);
    const SpeedTestReport report = Report(*results, leftOut);
    bool use = false;
    IgnoreErrors([&] { use = view.ShowResults(report); });
    if (use && !report.fastest.empty()) UseFastest(*results);
}

bool FrmExtras::UseFastest(const std::vector<speedtest::Result>& ranked) {
    const auto chosen = FastestTwo(ranked);
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

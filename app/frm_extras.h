#pragma once
// What the window offers beyond its own buttons, from the context menu of
// its presets frame: more presets, the speed test, and restoring the
// adapter's settings from before Velmora's first change. Free of any
// toolkit; the window's controls are reached through FrmMainView, and the
// window's own handlers stay as they are.

#include "app/frm_main.h"
#include "app/management/recording_backend.h"
#include "app/presets.h"
#include "app/speedtest/speed_test.h"

#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace velmora::app {

// One line of the speed test's results window, times in milliseconds.
struct SpeedTestRow {
    int rank = 0;
    std::string server;
    std::optional<double> median;
    std::optional<double> p90;
    int lost = 0;
    int queries = 0;
};

struct SpeedTestReport {
    std::vector<SpeedTestRow> rows; // fastest first
    // One line per family left out because the machine has no route to it.
    std::vector<std::string> leftOut;
    // The two servers "Use The Fastest Two" fills in; empty unless two qualify.
    std::vector<std::string> fastest;
};

// What the speed test needs of the window beyond FrmMainView: running the
// queries while showing their progress, and the results window.
class SpeedTestView {
public:
    virtual ~SpeedTestView() = default;
    // Runs the queries; nullopt when the user cancelled them. Throws what
    // speedtest::Run throws.
    virtual std::optional<std::vector<speedtest::Result>>
    RunQueries(const std::vector<speedtest::Endpoint>& servers,
               const speedtest::Options& options) = 0;
    // Shows the results; true when the user chose "Use The Fastest Two".
    virtual bool ShowResults(const SpeedTestReport& report) = 0;
};

// Whether the machine has a route to a server.
using Routable = std::function<bool(const speedtest::Endpoint&)>;

class FrmExtras {
public:
    // The backend's notices (why a record could not be made, say) go to
    // `notices`, one line each, beside what the window shows.
    FrmExtras(FrmMainView& view, FrmMain& form, management::RecordingBackend& backend,
              std::ostream& notices = std::cerr);

    // Fills the two boxes with the preset's IPv4 pair, as the window's
    // preset buttons do.
    void UsePreset(const Preset& preset);

    // Puts back the chosen adapter's recorded settings, says how that went
    // and shows the adapter's servers afresh. The window stays open.
    void RestoreChosen();
    // Whether there is a record to restore for the chosen adapter.
    bool CanRestore();

    // The servers the speed test asks: every preset's, the chosen adapter's
    // current ones and the two typed in the boxes (where they are servers).
    std::vector<speedtest::Endpoint> SpeedTestServers();

    // The table shown after a speed test, for people.
    static std::string Summary(const std::vector<speedtest::Result>& ranked);

    // Fills the boxes with the servers FastestTwo picks ("0.0.0.0" where
    // there is only one); false when none qualified.
    bool UseFastest(const std::vector<speedtest::Result>& ranked);

    // The speed test from the window: asks the servers the machine has a
    // route to, shows the results and, when the user asks, fills the boxes
    // with the fastest two.
    void RunSpeedTest(SpeedTestView& view, const Routable& routable);

    // The servers a lossy network still lets us trust: standard port, lost
    // at most a tenth of their queries, fastest by median first; at most two.
    static std::vector<std::string> FastestTwo(const std::vector<speedtest::Result>& ranked);
    // The results window's contents for ranked results.
    static SpeedTestReport Report(const std::vector<speedtest::Result>& ranked,
                                  const std::vector<speedtest::Endpoint>& leftOut);

private:
    // The Index of the adapter chosen in the list, if any.
    std::optional<std::int32_t> ChosenIndex();

    FrmMainView& view_;
    FrmMain& form_;
    management::RecordingBackend& backend_;
};

} // namespace velmora::app

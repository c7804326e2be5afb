#pragma once
// The speed test's two windows on the system's controls: the progress
// window with Cancel while the queries run, and the results table. Both are
// modal to the main window (passed untyped, as in frm_main_window.h).

#include "app/frm_extras.h"
#include "app/speedtest/speed_test.h"

#include <optional>
#include <vector>

namespace velmora::app {

// Runs the queries on a thread of their own while a progress window with
// Cancel keeps the owner painted; nullopt when Cancel stopped them. Throws
// what speedtest::Run throws.
std::optional<std::vector<speedtest::Result>>
RunQueriesWithProgress(void* owner, const std::vector<speedtest::Endpoint>& servers,
                       const speedtest::Options& options);

// A sortable table of the ranked servers, the rule "Use The Fastest Two"
// follows and a line per family left out; true when "Use The Fastest Two"
// was clicked.
bool ShowResultsWindow(void* owner, const SpeedTestReport& report);

} // namespace velmora::app

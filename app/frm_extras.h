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

#include <optional>
#include <string>
#include <vector>

namespace velmora::app {

class FrmExtras {
public:
    FrmExtras(FrmMainView& view, FrmMain& form, management::RecordingBackend& backend);

    // Fills the two boxes with the preset's IPv4 pair, as the window's
    // preset buttons do.
    void UsePreset(const Preset& preset);

    // Puts back the chosen adapter's recorded settings, says how that went
    // and shows the adapter's servers afresh. The window stays open.
    void RestoreChosen();

    // The servers the speed test asks: every preset's, the chosen adapter's
    // current ones and the two typed in the boxes (where they are servers).
    std::vector<speedtest::Endpoint> SpeedTestServers();

    // The table shown after a speed test, for people.
    static std::string Summary(const std::vector<speedtest::Result>& ranked);

    // Fills the boxes with the fastest two servers that answered every
    // query ("0.0.0.0" where there is only one); false when none did.
    bool UseFastest(const std::vector<speedtest::Result>& ranked);

private:
    // The Index of the adapter chosen in the list, if any.
    std::optional<std::int32_t> ChosenIndex();

    FrmMainView& view_;
    FrmMain& form_;
    management::RecordingBackend& backend_;
};

} // namespace velmora::app

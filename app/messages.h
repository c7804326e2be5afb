#pragma once
// Every text the main window shows, in one place.

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora::app::text {

inline constexpr std::string_view kAppTitle = "Orvello - Velmora";
inline constexpr std::string_view kPlaceholder = "0.0.0.0";
inline constexpr std::string_view kDone = "Done!";
inline constexpr std::string_view kChooseAdapter = "Please Choose A Adapter.";
inline constexpr std::string_view kRebootRequired = "A reboot is required.";

inline constexpr std::string_view kGoogleFirst = "8.8.8.8";
inline constexpr std::string_view kGoogleSecond = "8.8.4.4";
inline constexpr std::string_view kOpenDnsFirst = "208.67.222.222";
inline constexpr std::string_view kOpenDnsSecond = "208.67.220.220";

inline constexpr std::string_view kOpenDnsDomain = "opendns.com";
inline constexpr std::string_view kOpenDnsHost = "www.opendns.com";
inline constexpr std::string_view kAboutGoogle =
    "This option will set your new DNS servers to Googles free DNS service";
std::string AboutOpenDns();

// Captions and tooltips of the window.
inline constexpr std::string_view kNetworkAdaptor = "Network Adaptor:";
inline constexpr std::string_view kNewInfo = "New Info:";
inline constexpr std::string_view kCurrentInfo = "Current Info:";
inline constexpr std::string_view kDnsServer1 = "DNS Server 1:";
inline constexpr std::string_view kDnsServer2 = "DNS Server 2:";
inline constexpr std::string_view kEnableStatic = "Enable Static DNS";
inline constexpr std::string_view kDisableStatic = "Disable Static DNS";
inline constexpr std::string_view kPresetsFrame = "DNS Server's:";
inline constexpr std::string_view kUseGoogle = "Use Google DNS For DNS "; // the blank belongs to it
inline constexpr std::string_view kUseOpenDns = "Use OpenDNS For DNS";
inline constexpr std::string_view kExplain = "?";
inline constexpr std::string_view kAboutGoogleTip = "About Use Router As DNS";
inline constexpr std::string_view kAboutOpenDnsTip = "About Use OpenDNS For DNS";

// The presets frame's context menu and what it reports.
inline constexpr std::string_view kMorePresets = "More Presets";
inline constexpr std::string_view kSpeedTest = "Speed Test...";
inline constexpr std::string_view kRestorePrevious = "Restore Previous Settings";
inline constexpr std::string_view kSpeedTestRunning = "Asking the DNS servers...";
inline constexpr std::string_view kUseFastest = "Use The Fastest Two";
inline constexpr std::string_view kNoneComplete =
    "No server on the standard port answered every query.";
inline constexpr std::string_view kRestoreFailed = "Status: Error! - ";
// Restore names the adapter as the list shows it.
std::string NothingRecorded(std::string_view description);

// At start-up, when the management component cannot be reached; the command
// line says the same.
std::string BackendUnavailable(std::string_view cause);

// The speed test's progress and results windows.
inline constexpr std::string_view kCancel = "Cancel";
inline constexpr std::string_view kClose = "Close";
inline constexpr std::string_view kSpeedTestResults = "Speed Test Results";
inline constexpr std::string_view kResultColumns[] = {"Rank",     "Server", "Median (ms)",
                                                      "P90 (ms)", "Lost",   "Queries"};
inline constexpr std::string_view kFastestRule =
    "\"Use The Fastest Two\" takes the two fastest servers by median among those on the "
    "standard port that lost at most a tenth of their queries.";
// One line for the servers of a family left out of the test.
std::string LeftOutServers(int count, bool ipv6);

// The message for a method's return code; 0 and 1 are both "Done!".
std::string_view ReturnCodeMessage(std::int16_t code);

} // namespace velmora::app::text

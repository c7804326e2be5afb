#pragma once
// The program's command line: the same logic as the window, without one.
//
//   velmora [--backend=...]                    opens the window
//   velmora [--backend=...] list               Index<TAB>Description per adapter
//   velmora [--backend=...] show INDEX         the two current servers
//   velmora [--backend=...] set INDEX S1 S2    applies two servers
//   velmora [--backend=...] dhcp INDEX         back to automatic DNS
//   velmora [--backend=...] set INDEX --preset NAME [--dot]
//   velmora [--backend=...] restore INDEX | history INDEX
//   velmora [--backend=...] bench [SERVER ...] [--apply INDEX] [--defaults]
//   velmora [--backend=...] status [INDEX]
//   velmora --backend=simulated reset
//   velmora [--backend=...] set|dhcp|restore --all ...   every adapter
//   velmora flush                              the resolver's cache
//   velmora presets | --help | --version

#include "app/management/backend_choice.h"
#include "app/management/recording_backend.h"
#include "app/management/verified_change.h"
#include "app/speedtest/speed_test.h"

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace velmora::app {

struct CommandLine {
    enum class Command {
        Window,
        Help,
        Version,
        List,
        Show,
        Set,
        Dhcp,
        Presets,
        Restore,
        History,
        Bench,
        Status,
        Reset,
        Flush
    };
    Command command = Command::Window;
    // Without --backend: NetworkManager.
    management::BackendChoice backend;
    std::int32_t index = 0;
    std::string first;
    std::string second;
    // set: a named preset instead of the two servers; DNS over TLS.
    std::string preset;
    bool dot = false;
    // bench: the servers typed, whether the usual ones join them, and the
    // adapter that receives the fastest two.
    std::vector<speedtest::Endpoint> servers;
    bool defaults = false;
    std::optional<std::int32_t> apply;
    speedtest::Options bench;
    // status: the one adapter asked about, or every one.
    std::optional<std::int32_t> statusIndex;
    // set, dhcp, restore: every IP-enabled adapter (restore: every one
    // with a record) instead of `index`.
    bool all = false;
    // After set and dhcp (and the window's applies): ask the new servers,
    // and undo a change to servers that do not answer.
    bool verify = true;
    management::ServerCheckOptions check;
    // After a successful set, dhcp or restore: flush the resolver's cache.
    bool flush = true;
    // The window only: draw it once after start-up into this PNG file and
    // end.
    std::string screenshot;
};

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitBackendUnavailable = 3;
inline constexpr int kExitUnsupported = 4;
// The new servers did not answer; the previous settings are back.
inline constexpr int kExitRolledBack = 5;

struct UsageError {
    std::string message;
};

// The arguments after the program name.
std::variant<CommandLine, UsageError> ParseCommandLine(std::span<const std::string_view> args);

std::string HelpText();

// The program's name and version, one line.
std::string VersionText();

// Runs a command other than Window, Help and Version; returns the exit
// status. Results go to `out`, failures to `err`; `progress` (may be null)
// receives the speed test's progress line.
int RunCommand(const CommandLine& line, management::RecordingBackend& backend, std::ostream& out,
               std::ostream& err, std::ostream* progress = nullptr);

// status: KEY<TAB>VALUE lines on `out`; files the component does not
// describe are read through `files`.
int PrintStatus(const CommandLine& line, management::Backend& backend,
                const management::SystemFiles& files, std::ostream& out, std::ostream& err);

// reset: writes the simulated sample afresh into its state file (found
// through `lookup`, as the environment would name it) and drops the
// records made for its adapters in `store`.
int ResetSample(const management::VariableLookup& lookup, const management::RecordStore& store,
                std::ostream& out, std::ostream& err);
// What changes are checked and flushed with. Without a check nothing is
// verified, without a flusher nothing flushed (and flush finds no
// resolver): the overload above runs with none.
struct ChangeTools {
    management::ServerCheck* check = nullptr;
    management::CacheFlusher* flusher = nullptr;
    // The clock and the pause of the wait for DHCP's servers.
    management::ChangeGuardOptions guard;
};

int RunCommand(const CommandLine& line, management::RecordingBackend& backend, std::ostream& out,
               std::ostream& err, std::ostream* progress, const ChangeTools& tools);

// The servers the speed test asks when none are typed: each preset's, and
// the current ones of the adapters listed (or of `index` alone, or of none
// without `withAdapters`).
std::vector<speedtest::Endpoint> DefaultBenchServers(management::Backend& backend,
                                                     std::optional<std::int32_t> index,
                                                     bool withAdapters = true);

} // namespace velmora::app

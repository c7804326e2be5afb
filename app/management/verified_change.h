#pragma once
// Makes a change to an adapter's DNS servers safe to try: before it, what
// the adapter has now is remembered; after it, the new servers are asked a
// few names, and when none of them answers the change is undone through the
// restore record, so a typo or a dead server never leaves the machine
// without names. A change that stands then has the resolver's cache
// flushed, so the new servers are used at once.

#include "app/management/cache_flush.h"
#include "app/management/recording_backend.h"
#include "app/management/server_check.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velmora::management {

struct ChangeGuardOptions {
    bool verify = true;
    bool flush = true;
    // Waiting for the servers DHCP provides; the real clock outside tests.
    std::function<std::chrono::steady_clock::time_point()> now = [] {
        return std::chrono::steady_clock::now();
    };
    std::function<void(std::chrono::milliseconds)> pause = [](std::chrono::milliseconds time) {
        std::this_thread::sleep_for(time);
    };
};

struct ChangeOutcome {
    enum class Verdict {
        Unchecked,     // not verified (switched off, or the check could not run)
        Answered,      // at least one new server answered
        NoServers,     // the change left no server to ask
        RolledBack,    // none answered; the previous settings are back
        RollbackFailed // none answered, and the previous settings could not be put back
    };
    Verdict verdict = Verdict::Unchecked;
    std::vector<ServerAnswer> answers;
    // For RolledBack and RollbackFailed: why, for people.
    std::string reason;
    // Said to the user; the change stands.
    std::vector<std::string> warnings;
};

class ChangeGuard {
public:
    // `check` and `flusher` may be null: nothing is verified or flushed.
    ChangeGuard(RecordingBackend& backend, ServerCheck* check, CacheFlusher* flusher,
                ChangeGuardOptions options = {});

    // Before a change to the adapter: remembers its settings and the
    // servers it uses.
    void Before(std::int32_t index);

    // After a change the component accepted. `servers` are the static
    // servers it set; empty when the adapter now takes its servers
    // automatically, which are waited for up to the check's deadline.
    ChangeOutcome After(std::int32_t index, const std::vector<std::string>& servers);

    // After a change that needs no check (a restore): a warning when the
    // cache could not be flushed.
    std::optional<std::string> Flush();

private:
    std::vector<std::string> ServersInUse(std::int32_t index);
    std::vector<std::string> AwaitAutomaticServers(std::int32_t index);
    std::string RollBack(std::int32_t index);

    RecordingBackend& backend_;
    ServerCheck* check_;
    CacheFlusher* flusher_;
    ChangeGuardOptions options_;
    std::optional<std::int32_t> index_;
    std::optional<DnsState> before_;
    std::vector<std::string> inUseBefore_;
    bool hadRecord_ = true;
};

// The sentence said when a change was undone.
inline constexpr std::string_view kRolledBack =
    "the new servers did not answer; the previous settings are back";

// What the user is told about an outcome, one message per element: the
// warnings, then for a rollback the sentence above and its reason on a line
// of their own.
std::vector<std::string> OutcomeMessages(const ChangeOutcome& outcome);

} // namespace velmora::management

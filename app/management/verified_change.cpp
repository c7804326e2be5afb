#include "app/management/verified_change.h"

#include <algorithm>

namespace velmora::management {

namespace {

// More than any adapter holds; a component that lists without end is not
// followed further.
constexpr std::size_t kMostServers = 32;
constexpr std::chrono::milliseconds kPollPeriod{250};

std::string Listed(const std::vector<ServerAnswer>& answers, bool answered) {
    std::string text;
    for (const auto& answer : answers) {
        if (answer.answered != answered) continue;
        if (!text.empty()) text += ", ";
        text += answer.server;
        if (!answered) text += " (" + answer.why + ")";
    }
    return text;
}

} // namespace

ChangeGuard::ChangeGuard(RecordingBackend& backend, ServerCheck* check, CacheFlusher* flusher,
                         ChangeGuardOptions options)
    : backend_(backend), check_(check), flusher_(flusher), options_(std::move(options)) {}

void ChangeGuard::Before(std::int32_t index) {
    index_ = index;
    before_.reset();
    inUseBefore_.clear();
    hadRecord_ = true;
    if (!options_.verify || !check_) return;
    try {
        before_ = backend_.ReadDnsState(index);
    } catch (const std::exception&) {
        // Then only the record can put the adapter back.
    }
    try {
        hadRecord_ = backend_.store().Load(backend_.Identity(), index).has_value();
    } catch (const std::exception&) {
    }
    inUseBefore_ = ServersInUse(index);
}

std::vector<std::string> ChangeGuard::ServersInUse(std::int32_t index) {
    std::vector<std::string> servers;
    try {
        auto configuration = backend_.GetObject(ConfigurationPath(index));
        for (std::size_t element = 0; element < kMostServers; ++element)
            servers.push_back(configuration->DNSServerSearchOrder(element));
    } catch (const std::exception&) {
        // The end of the list, or no list.
    }
    return servers;
}

std::vector<std::string> ChangeGuard::AwaitAutomaticServers(std::int32_t index) {
    // The servers in use may still be the old ones while the link is being
    // reconfigured; only a list that differs from them is DHCP's. Where DHCP
    // hands out exactly the old servers, nothing is checked, which is safe:
    // they are the ones the adapter used before.
    const auto deadline = options_.now() + check_->Deadline();
    for (;;) {
        auto servers = ServersInUse(index);
        if (!servers.empty() && servers != inUseBefore_) return servers;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - options_.now());
        if (left.count() <= 0 || !options_.pause) return {};
        options_.pause(std::min(left, kPollPeriod));
    }
}

std::string ChangeGuard::RollBack(std::int32_t index) {
    try {
        ReturnCode code;
        // A record made for this change holds exactly what was there before
        // it, and restoring removes it, as a restore does. An older record
        // holds what was there before Velmora's first change, which is not
        // what the user had a moment ago: it stays for a later restore, and
        // the settings read before this change go back instead.
        if (index_ == index && before_ && hadRecord_)
            code = backend_.WriteDnsState(index, *before_);
        else
            code = backend_.Restore(index);
        if (code == kSuccess || code == 1) return {};
        return "the component answered with code " + std::to_string(code);
    } catch (const std::exception& error) {
        return error.what();
    }
}

ChangeOutcome ChangeGuard::After(std::int32_t index, const std::vector<std::string>& servers) {
    ChangeOutcome outcome;
    if (options_.verify && check_) {
        std::vector<std::string> asked;
        for (const auto& server : servers)
            if (std::find(asked.begin(), asked.end(), server) == asked.end())
                asked.push_back(server);
        if (asked.empty()) asked = AwaitAutomaticServers(index);
        if (asked.empty()) {
            outcome.verdict = ChangeOutcome::Verdict::NoServers;
        } else {
            try {
                outcome.answers = check_->Ask(asked);
                const auto answered =
                    std::count_if(outcome.answers.begin(), outcome.answers.end(),
                                  [](const ServerAnswer& answer) { return answer.answered; });
                if (answered == 0) {
                    outcome.reason = Listed(outcome.answers, false);
                    const std::string failure = RollBack(index);
                    outcome.verdict = failure.empty() ? ChangeOutcome::Verdict::RolledBack
                                                      : ChangeOutcome::Verdict::RollbackFailed;
                    if (!failure.empty()) outcome.reason += "\n" + failure;
                    // Nothing new stands, so no cache needs flushing.
                    return outcome;
                }
                outcome.verdict = ChangeOutcome::Verdict::Answered;
                if (static_cast<std::size_t>(answered) < outcome.answers.size())
                    outcome.warnings.push_back("warning: " + Listed(outcome.answers, false) +
                                               " did not answer; " + Listed(outcome.answers, true) +
                                               " did");
            } catch (const std::exception& error) {
                outcome.warnings.push_back(
                    std::string{"warning: the new servers could not be checked: "} + error.what());
            }
        }
    }
    if (auto warning = Flush()) outcome.warnings.push_back(*warning);
    return outcome;
}

std::optional<std::string> ChangeGuard::Flush() {
    if (!options_.flush || !flusher_) return std::nullopt;
    FlushResult result;
    try {
        result = flusher_->Flush();
    } catch (const std::exception& error) {
        result = {FlushResult::Outcome::Failed, error.what()};
    }
    // Without a caching resolver there is nothing to flush.
    if (result.outcome != FlushResult::Outcome::Failed) return std::nullopt;
    return "warning: the resolver's cache was not flushed: " + result.detail;
}

std::vector<std::string> OutcomeMessages(const ChangeOutcome& outcome) {
    std::vector<std::string> messages = outcome.warnings;
    if (outcome.verdict == ChangeOutcome::Verdict::RolledBack)
        messages.push_back(std::string{kRolledBack} + "\n" + outcome.reason);
    if (outcome.verdict == ChangeOutcome::Verdict::RollbackFailed)
        messages.push_back(
            "the new servers did not answer, and the previous settings could not be put back\n" +
            outcome.reason);
    return messages;
}

} // namespace velmora::management

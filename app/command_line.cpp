#include "app/command_line.h"

#include "app/frm_main.h"
#include "app/management/simulated_backend.h"
#include "app/management/status.h"
#include "app/messages.h"
#include "app/presets.h"
#include "platform/system/state_folder.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <exception>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace velmora::app {

namespace {

std::optional<std::int32_t> ParseIndex(std::string_view text) {
    std::int32_t value = 0;
    if (text.empty() || text.front() == '+') return std::nullopt;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The window's controls kept in memory; messages go out as they are shown,
// one per line.
class ConsoleView final : public FrmMainView {
public:
    ConsoleView(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    int AddAdapter(const std::string& text, std::int32_t itemData) override {
        entries_.push_back({text, itemData});
        return static_cast<int>(entries_.size()) - 1;
    }
    int AdapterCount() const override { return static_cast<int>(entries_.size()); }
    int SelectedAdapter() const override { return selected_; }
    void SelectAdapter(int position) override {
        if (position < -1 || position >= AdapterCount()) throw std::out_of_range("no such entry");
        selected_ = position;
    }
    std::int32_t AdapterItemData(int position) const override {
        return entries_.at(static_cast<std::size_t>(position)).itemData;
    }
    std::string AdapterListText() const override {
        return selected_ < 0 ? std::string{} : entries_[static_cast<std::size_t>(selected_)].text;
    }
    void FocusAdapterList() override {}

    std::string Text(TextBox box) const override { return box == TextBox::Text4 ? text4_ : text5_; }
    void SetText(TextBox box, const std::string& text) override {
        (box == TextBox::Text4 ? text4_ : text5_) = text;
    }
    void SetCaption(Label label, const std::string& caption) override {
        (label == Label::Label10 ? label10_ : label11_) = caption;
    }

    // Results go to standard output, failures to standard error.
    void ShowMessage(const std::string& text) override {
        const bool failure = text != text::kDone && text != text::kRebootRequired;
        (failure ? err_ : out_) << text << '\n' << std::flush;
        lastMessage_ = text;
    }
    void DoEvents() override {}
    void Unload() override {}

    struct Entry {
        std::string text;
        std::int32_t itemData;
    };
    const std::vector<Entry>& entries() const { return entries_; }
    int Find(std::int32_t index) const {
        for (std::size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].itemData == index) return static_cast<int>(i);
        return -1;
    }
    const std::string& label10() const { return label10_; }
    const std::string& label11() const { return label11_; }
    const std::string& lastMessage() const { return lastMessage_; }

private:
    std::ostream& out_;
    std::ostream& err_;
    std::vector<Entry> entries_;
    int selected_ = -1;
    std::string text4_{text::kGoogleFirst};
    std::string text5_{text::kGoogleSecond};
    std::string label10_{text::kPlaceholder};
    std::string label11_{text::kPlaceholder};
    std::string lastMessage_;
};

} // namespace

std::variant<CommandLine, UsageError> ParseCommandLine(std::span<const std::string_view> args) {
    CommandLine line;
    std::vector<std::string_view> words;
    std::optional<std::string_view> applyText;
    std::optional<std::string_view> presetText;
    std::optional<std::string_view> roundsText;
    std::optional<std::string_view> timeoutText;
    std::optional<std::string_view> screenshotText;
    std::optional<std::string_view> backendText;
    std::optional<std::string_view> verifyNamesText;
    std::optional<std::string_view> verifyTimeoutText;
    // Options that take a value accept it joined ("--apply=2") or as the
    // next argument ("--apply 2").
    auto value = [&](std::size_t& i, std::string_view name,
                     std::optional<std::string_view>& into) -> std::optional<UsageError> {
        const std::string_view arg = args[i];
        if (arg.size() > name.size() && arg[name.size()] == '=') {
            into = arg.substr(name.size() + 1);
        } else if (i + 1 < args.size()) {
            into = args[++i];
        } else {
            return UsageError{std::string{name} + " needs a value"};
        }
        return std::nullopt;
    };
    auto named = [](std::string_view arg, std::string_view name) {
        return arg == name || (arg.starts_with(name) && arg[name.size()] == '=');
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            line.command = CommandLine::Command::Help;
            return line;
        }
        if (arg == "--version") {
            line.command = CommandLine::Command::Version;
            return line;
        }
        std::optional<UsageError> error;
        if (named(arg, "--backend")) {
            // Joined or as the next argument, as the other options.
            if (auto missing = value(i, "--backend", backendText)) return *missing;
            auto choice = management::ParseBackendChoice(*backendText);
            if (!choice) return UsageError{"unknown backend: " + std::string{*backendText}};
            line.backend = *choice;
        } else if (arg == "--dot") {
            line.dot = true;
        } else if (arg == "--defaults") {
            line.defaults = true;
        } else if (named(arg, "--apply")) {
            error = value(i, "--apply", applyText);
        } else if (named(arg, "--preset")) {
            error = value(i, "--preset", presetText);
        } else if (named(arg, "--rounds")) {
            error = value(i, "--rounds", roundsText);
        } else if (named(arg, "--timeout")) {
            error = value(i, "--timeout", timeoutText);
        } else if (named(arg, "--screenshot")) {
            error = value(i, "--screenshot", screenshotText);
        } else if (arg == "--all") {
            line.all = true;
        } else if (arg == "--no-verify") {
            line.verify = false;
        } else if (arg == "--no-flush") {
            line.flush = false;
        } else if (named(arg, "--verify-names")) {
            error = value(i, "--verify-names", verifyNamesText);
        } else if (named(arg, "--verify-timeout")) {
            error = value(i, "--verify-timeout", verifyTimeoutText);
        } else if (arg.starts_with("--") || (arg.starts_with("-") && words.empty())) {
            // After a command a single dash may begin a (negative) index.
            return UsageError{"unknown option: " + std::string{arg}};
        } else {
            words.push_back(arg);
        }
        if (error) return *error;
    }
    // The check's names and deadline, for the window as for the commands.
    if (verifyNamesText) {
        auto names = management::ParseCheckNames(*verifyNamesText);
        if (!names) return UsageError{"--verify-names takes host names separated by commas"};
        line.check.names = std::move(*names);
    }
    if (verifyTimeoutText) {
        auto milliseconds = ParseIndex(*verifyTimeoutText);
        if (!milliseconds || *milliseconds < 100 || *milliseconds > 60000)
            return UsageError{"--verify-timeout takes 100 to 60000 milliseconds"};
        line.check.deadline = std::chrono::milliseconds(*milliseconds);
    }
    if (words.empty()) {
        if (line.dot || line.defaults || applyText || presetText || roundsText || timeoutText ||
            line.all)
            return UsageError{"options without a command"};
        if (screenshotText) {
            if (screenshotText->empty()) return UsageError{"--screenshot needs a file name"};
            line.screenshot = *screenshotText;
        }
        return line;
    }
    if (screenshotText) return UsageError{"--screenshot belongs to the window, not to a command"};

    const std::string_view command = words.front();
    const std::size_t operands = words.size() - 1;
    auto expect = [&](std::size_t count) -> std::optional<UsageError> {
        if (operands != count)
            return UsageError{std::string{command} + " takes " + std::to_string(count) +
                              (count == 1 ? " argument" : " arguments")};
        return std::nullopt;
    };
    const bool set = command == "set";
    const bool bench = command == "bench";
    if ((line.dot || presetText) && !set) return UsageError{"--dot and --preset belong to set"};
    if ((line.defaults || applyText || roundsText || timeoutText) && !bench)
        return UsageError{"--apply, --defaults, --rounds and --timeout belong to bench"};
    const bool changes = set || command == "dhcp" || command == "restore";
    if (line.all && !changes) return UsageError{"--all belongs to set, dhcp and restore"};
    if ((!line.verify || verifyNamesText || verifyTimeoutText) &&
        !(set || command == "dhcp" || bench))
        return UsageError{"--no-verify, --verify-names and --verify-timeout belong to set, dhcp "
                          "and bench"};
    if (!line.flush && !changes && !bench)
        return UsageError{"--no-flush belongs to set, dhcp, restore and bench"};
    if (command == "flush") {
        if (auto error = expect(0)) return *error;
        line.command = CommandLine::Command::Flush;
        return line;
    }

    if (command == "list" || command == "presets") {
        if (auto error = expect(0)) return *error;
        line.command =
            command == "list" ? CommandLine::Command::List : CommandLine::Command::Presets;
        return line;
    }
    if (command == "show" || command == "dhcp" || set || command == "restore" ||
        command == "history") {
        // With --all no INDEX comes first.
        const std::size_t after = line.all ? 1 : 2;
        if (auto error = expect((set && !presetText ? 3 : 1) - (line.all ? 1 : 0))) return *error;
        if (!line.all) {
            auto index = ParseIndex(words[1]);
            if (!index) return UsageError{"not an adapter index: " + std::string{words[1]}};
            line.index = *index;
        }
        if (set) {
            line.command = CommandLine::Command::Set;
            if (presetText) {
                const Preset* preset = FindPreset(*presetText);
                if (!preset)
                    return UsageError{"no preset is called " + std::string{*presetText} +
                                      " (velmora presets lists them)"};
                if (line.dot && preset->tlsName.empty())
                    return UsageError{"the preset " + std::string{preset->name} +
                                      " offers no DNS over TLS"};
                line.preset = preset->name;
            } else {
                // Refused here, before anything is recorded or changed, as
                // a mistyped argument rather than the component's refusal.
                for (std::string_view server : {words[after], words[after + 1]})
                    if (!management::IsValidServerAddress(server))
                        return UsageError{"not a server address: \"" + std::string{server} +
                                          "\" (expected an IPv4 or IPv6 address, or " +
                                          std::string{text::kPlaceholder} +
                                          " to leave a position out)"};
                line.first = words[after];
                line.second = words[after + 1];
            }
        } else if (command == "show") {
            line.command = CommandLine::Command::Show;
        } else if (command == "dhcp") {
            line.command = CommandLine::Command::Dhcp;
        } else {
            line.command = command == "restore" ? CommandLine::Command::Restore
                                                : CommandLine::Command::History;
        }
        return line;
    }
    if (command == "status") {
        if (operands > 1) return UsageError{"status takes at most 1 argument"};
        line.command = CommandLine::Command::Status;
        if (operands == 1) {
            auto index = ParseIndex(words[1]);
            if (!index) return UsageError{"not an adapter index: " + std::string{words[1]}};
            line.statusIndex = *index;
        }
        return line;
    }
    if (command == "reset") {
        if (auto error = expect(0)) return *error;
        // Only the built-in sample has a state to go back to; a file of the
        // user's own is never overwritten.
        if (line.backend.kind != management::BackendChoice::Kind::Simulated ||
            line.backend.stateFile)
            return UsageError{"reset puts back the simulated sample: use --backend=simulated"};
        line.command = CommandLine::Command::Reset;
        return line;
    }
    if (bench) {
        line.command = CommandLine::Command::Bench;
        for (std::size_t i = 1; i < words.size(); ++i) {
            auto endpoint = speedtest::ParseEndpoint(words[i]);
            if (!endpoint)
                return UsageError{"not a server: \"" + std::string{words[i]} + "\" (expected " +
                                  std::string{speedtest::kEndpointForms} + ")"};
            line.servers.push_back(*endpoint);
        }
        if (applyText) {
            auto index = ParseIndex(*applyText);
            if (!index) return UsageError{"not an adapter index: " + std::string{*applyText}};
            line.apply = *index;
        }
        auto number = [](std::string_view text, int low, int high) -> std::optional<int> {
            auto parsed = ParseIndex(text);
            if (!parsed || *parsed < low || *parsed > high) return std::nullopt;
            return *parsed;
        };
        if (roundsText) {
            auto rounds = number(*roundsText, 1, 100);
            if (!rounds) return UsageError{"--rounds takes 1 to 100"};
            line.bench.rounds = *rounds;
        }
        if (timeoutText) {
            auto timeout = number(*timeoutText, 10, 60000);
            if (!timeout) return UsageError{"--timeout takes 10 to 60000 milliseconds"};
            line.bench.timeout = std::chrono::milliseconds(*timeout);
        }
        return line;
    }
    return UsageError{"unknown command: " + std::string{command}};
}

std::string HelpText() {
    // What the system's component does is told in its own words.
    const management::SystemHelp& system = management::SystemHelpText();
    std::string help;
    help += R"(Usage: velmora [--backend=BACKEND] [COMMAND]

Changes the DNS servers of one network adapter.)";
    help += system.window;
    help += R"(
Commands:
  list                 one line per IP-enabled adapter: INDEX<TAB>DESCRIPTION
  show INDEX           the adapter's first two DNS servers, one per line
                       ("0.0.0.0" where there is none)
  set INDEX DNS1 DNS2  makes DNS1 and DNS2 the adapter's static DNS servers;
                       each an IPv4 or IPv6 address, "0.0.0.0" leaves a
                       position out
  set INDEX --preset NAME
                       makes a preset's IPv4 and IPv6 servers the adapter's
  dhcp INDEX           puts the adapter back on DHCP-supplied settings
  presets              the presets: NAME<TAB>IPV4S<TAB>IPV6S<TAB>TLS NAME<TAB>ABOUT
  restore INDEX        puts back the settings the adapter had before Velmora
                       first changed it
  history INDEX        what was recorded for restore, one KEY<TAB>VALUE a line
)";
    help += system.status;
    help += R"(  reset                with --backend=simulated: puts the sample of three
                       simulated adapters back as it first was
)";
    help += system.flush;
    help += R"(  bench [SERVER ...]   asks each server for a few common names, several
                       rounds in a random order, and prints a table, fastest
                       first: RANK SERVER MEDIAN_MS P90_MS LOST QUERIES
                       (tab-separated, with a header line). A SERVER is an
                       address, IPV4:PORT or [IPV6]:PORT. Without servers it
                       asks the presets' and the adapters' current servers.

Options of set:
)";
    help += system.dot;
    help += R"(Options of set, dhcp and restore (--no-verify and --verify-* of set and
dhcp only; all but --all also without a command, for the window, and with
bench):
  --all                every IP-enabled adapter instead of INDEX (restore:
                       every adapter with a record), one after the other,
                       each recorded and checked on its own; standard output
                       gets one line per adapter, INDEX<TAB>OUTCOME<TAB>
                       DESCRIPTION, OUTCOME one of done, rolled-back, failed,
                       unsupported; each adapter's messages go to standard
                       error as "velmora: adapter INDEX: MESSAGE"
  --no-verify          does not check the new servers (offline set-up,
                       networks that block DNS queries)
  --verify-names LIST  the names the check asks, separated by commas
                       (example.com,wikipedia.org,kernel.org)
  --verify-timeout MS  the check's deadline in milliseconds (3000)
  --no-flush           does not flush the resolver's cache afterwards
Options of bench:
  --apply INDEX        makes the fastest two servers that answered every
                       query the adapter's servers (only INDEX's current
                       servers join the default ones)
  --defaults           asks the default servers as well as those typed
  --rounds N           rounds of queries (3)
  --timeout MS         time limit per query in milliseconds (2000)

set, dhcp and restore print every message the window would show, one per
line: "Done!" and "A reboot is required." on standard output, the others on
standard error.

After set and dhcp (and the window's two apply buttons) Velmora checks the
adapter's new servers: each is asked the names above, all at once, within
the deadline; dhcp first waits up to the deadline for the servers DHCP
provides (none at all is not a failure). When no new server answers, the
change is undone (through the record below: the settings from just before
it come back) and standard error says "the new servers did not answer; the
previous settings are back", with each server and why on the next line;
the exit status is then 5. When some answer and others do not, a warning
names the silent ones and the change stands. After a successful set, dhcp
or restore the resolver's cache is flushed as by flush; where no caching
resolver runs this is skipped silently, and a flush that fails is only a
warning. Before Velmora first changes an adapter (from the window or
here) it records the adapter's DNS settings in its state folder
)";
    help += system.stateFolder;
    help += R"(
Exit status:
  0  done ("Done!", or the list or servers asked for)
  1  the component answered no (an error message, an unknown index, nothing
     recorded to restore, no server answered every query, the cache could
     not be flushed)
  2  bad arguments (such as a server that is not an address)
  3  the backend cannot be reached (the cause is on standard error)
)";
    help += system.unavailable;
    help += R"(  5  the new servers did not answer; the previous settings are back
With --all: 0 when every adapter succeeded, else the status of the first
that did not.

)";
    help += system.families;
    help += R"(
Options:
  --help      this text
  --version   the program's version
)";
    help += system.screenshot;
    return help + management::BackendHelpText();
}

std::string VersionText() {
    return "velmora " VELMORA_VERSION "\n";
}

namespace {

std::string Joined(const std::vector<std::string>& texts) {
    std::string joined;
    for (const auto& text : texts)
        joined += (joined.empty() ? "" : ",") + text;
    return joined;
}

// A component's code as the window would report it; true for "Done!".
bool Report(management::ReturnCode code, std::ostream& out, std::ostream& err) {
    const bool fits = code >= INT16_MIN && code <= INT16_MAX;
    const std::string_view message =
        text::ReturnCodeMessage(fits ? static_cast<std::int16_t>(code) : std::int16_t{-1});
    const bool done = message == text::kDone;
    (done ? out : err) << message << '\n';
    return done;
}

int PrintHistory(const CommandLine& line, management::RecordingBackend& backend, std::ostream& out,
                 std::ostream& err) {
    std::optional<management::StateRecord> record;
    try {
        record = backend.store().Load(backend.Identity(), line.index);
    } catch (const std::exception& error) {
        err << "velmora: " << error.what() << '\n';
        return kExitFailure;
    }
    if (!record) {
        err << "velmora: nothing recorded for adapter " << line.index << '\n';
        return kExitFailure;
    }
    const auto& s = record->state;
    auto yesNo = [](bool value) { return value ? "yes" : "no"; };
    out << "adapter\t" << record->index << '\t' << record->description << '\n'
        << "recorded\t" << record->recorded << '\n'
        << "before\t" << record->before << '\n'
        << "ipv4.method\t" << s.ipv4Method << '\n'
        << "ipv4.addresses\t" << Joined(s.ipv4Addresses) << '\n'
        << "ipv4.gateway\t" << Joined(s.gateways) << '\n'
        << "ipv4.dns\t" << Joined(s.ipv4.servers) << '\n'
        << "ipv4.ignore-auto-dns\t" << yesNo(s.ipv4.ignoreAutomatic) << '\n'
        << "ipv6.dns\t" << Joined(s.ipv6.servers) << '\n'
        << "ipv6.ignore-auto-dns\t" << yesNo(s.ipv6.ignoreAutomatic) << '\n'
        << "dns-over-tls\t" << management::DnsOverTlsName(s.dnsOverTls) << '\n';
    return kExitSuccess;
}

// set with a preset or with --dot: the servers of both families in one call,
// or the whole state in one step.
int SetServers(const CommandLine& line, management::RecordingBackend& backend, std::ostream& out,
               std::ostream& err, management::ChangeGuard& guard) {
    std::vector<std::string> servers;
    if (!line.preset.empty()) {
        servers = PresetServers(*FindPreset(line.preset), line.dot);
    } else {
        for (const std::string* typed : {&line.first, &line.second})
            if (*typed != text::kPlaceholder) servers.push_back(*typed);
    }
    try {
        std::optional<management::DnsState> state;
        if (line.dot) {
            if (auto why = backend.DnsOverTlsUnavailable(line.index)) {
                err << "velmora: DNS over TLS is not available: " << *why
                    << "; nothing was changed\n";
                return kExitUnsupported;
            }
            state = backend.ReadDnsState(line.index);
        }
        // A preset names servers of both families; a component that keeps
        // no IPv6 servers takes the IPv4 ones, and says so.
        if (!line.preset.empty()) {
            if (const auto why = backend.Ipv6ServersUnavailable()) {
                std::vector<std::string> ipv4;
                for (const auto& server : servers)
                    if (management::IsIpv4Address(management::ServerAddressPart(server)))
                        ipv4.push_back(server);
                if (!ipv4.empty() && ipv4.size() < servers.size()) {
                    err << "velmora: " << *why << "; the preset's IPv6 servers were left out\n";
                    servers = std::move(ipv4);
                }
            }
        }
        guard.Before(line.index);
        std::vector<std::string> sent = servers;
        // Each attempt is all or nothing.
        auto apply = [&](const std::vector<std::string>& list) -> management::ReturnCode {
            if (!state)
                return backend.GetObject(management::ConfigurationPath(line.index))
                    ->SetDNSServerSearchOrder(list);
            management::DnsState wanted = *state;
            if (!management::SetStaticServers(wanted, list)) return management::kInvalidIpAddress;
            wanted.dnsOverTls = management::DnsOverTls::Yes;
            return backend.WriteDnsState(line.index, wanted);
        };
        management::ReturnCode code = apply(servers);
        // A preset names servers of both families; an adapter with IPv6
        // switched off takes its IPv4 ones.
        if (code == management::kIpNotEnabled && !line.preset.empty()) {
            std::vector<std::string> ipv4;
            for (const auto& server : servers)
                if (management::IsIpv4Address(management::ServerAddressPart(server)))
                    ipv4.push_back(server);
            if (!ipv4.empty() && ipv4.size() < servers.size()) {
                code = apply(ipv4);
                sent = ipv4;
                if (code == management::kSuccess)
                    err << "velmora: IPv6 is switched off on this adapter; the preset's IPv6 "
                           "servers were left out\n";
            }
        }
        if (code == management::kSuccess || code == 1) {
            const auto outcome = guard.After(line.index, sent);
            for (const auto& message : management::OutcomeMessages(outcome))
                err << message << '\n';
            if (outcome.verdict == management::ChangeOutcome::Verdict::RolledBack)
                return kExitRolledBack;
            if (outcome.verdict == management::ChangeOutcome::Verdict::RollbackFailed)
                return kExitFailure;
        }
        return Report(code, out, err) ? kExitSuccess : kExitFailure;
    } catch (const std::exception& error) {
        err << "velmora: " << error.what() << '\n';
        return kExitFailure;
    }
}

int Bench(const CommandLine& line, management::RecordingBackend& backend, std::ostream& out,
          std::ostream& err, std::ostream* progress, const ChangeTools& tools) {
    std::vector<speedtest::Endpoint> servers = line.servers;
    if (servers.empty() || line.defaults) {
        for (auto& server : DefaultBenchServers(backend, line.apply))
            if (std::find(servers.begin(), servers.end(), server) == servers.end())
                servers.push_back(std::move(server));
    }
    std::vector<speedtest::Result> results;
    try {
        const auto clock = [] { return std::chrono::steady_clock::now(); };
        speedtest::Progress report;
        if (progress)
            report = [progress](int done, int total) {
                *progress << "\rvelmora: " << done << " of " << total << " queries" << std::flush;
            };
        results = speedtest::Run(servers, line.bench, clock, report);
        if (progress) *progress << "\r\033[K" << std::flush;
    } catch (const speedtest::Unavailable& why) {
        err << "velmora: the speed test is not available: " << why.what() << '\n';
        return kExitUnsupported;
    } catch (const std::exception& error) {
        err << "velmora: the speed test failed: " << error.what() << '\n';
        return kExitFailure;
    }
    speedtest::Rank(results);
    out << speedtest::FormatTable(results) << std::flush;
    if (!line.apply) return kExitSuccess;

    const auto chosen = speedtest::FastestComplete(results);
    if (chosen.empty()) {
        err << "velmora: no server on the standard port answered every query; nothing was "
               "changed\n";
        return kExitFailure;
    }
    CommandLine set = line;
    set.command = CommandLine::Command::Set;
    set.index = *line.apply;
    set.first = chosen[0];
    set.second = chosen.size() > 1 ? chosen[1] : std::string{text::kPlaceholder};
    return RunCommand(set, backend, out, err, nullptr, tools);
}

int FlushCache(const ChangeTools& tools, std::ostream& out, std::ostream& err) {
    management::FlushResult result{management::FlushResult::Outcome::NoResolver,
                                   "none was looked for"};
    if (tools.flusher) {
        try {
            result = tools.flusher->Flush();
        } catch (const std::exception& error) {
            result = {management::FlushResult::Outcome::Failed, error.what()};
        }
    }
    switch (result.outcome) {
    case management::FlushResult::Outcome::Flushed:
        out << "the resolver's cache was flushed\n";
        return kExitSuccess;
    case management::FlushResult::Outcome::NoResolver:
        err << "velmora: no caching resolver was found (" << result.detail << ")\n";
        return kExitUnsupported;
    case management::FlushResult::Outcome::Failed:
        break;
    }
    err << "velmora: the resolver's cache could not be flushed: " << result.detail << '\n';
    return kExitFailure;
}

std::string_view OutcomeWord(int status) {
    switch (status) {
    case kExitSuccess:
        return "done";
    case kExitRolledBack:
        return "rolled-back";
    case kExitUnsupported:
        return "unsupported";
    case kExitBackendUnavailable:
        return "unavailable";
    default:
        return "failed";
    }
}

// set, dhcp or restore for every adapter, one after the other, each
// recorded and checked on its own. Standard output gets one summary line
// per adapter; what each would have said goes to standard error, prefixed
// with its index.
int ForAll(const CommandLine& line, management::RecordingBackend& backend, std::ostream& out,
           std::ostream& err, const ChangeTools& tools) {
    const bool restore = line.command == CommandLine::Command::Restore;
    std::vector<std::pair<std::int32_t, std::string>> adapters;
    try {
        if (restore) {
            // Restore reaches adapters the list leaves out, as for one.
            const std::string component = backend.Identity();
            for (std::int32_t index : backend.store().Indexes(component)) {
                auto record = backend.store().Load(component, index);
                if (record) adapters.emplace_back(index, record->description);
            }
        } else {
            auto service =
                backend.Connect(management::ConnectionString(management::kLocalComputer));
            for (const auto& configuration : service->ExecQuery(management::kAdapterQuery))
                adapters.emplace_back(configuration->Index(), configuration->Description());
        }
    } catch (const std::exception& error) {
        err << "velmora: " << error.what() << '\n';
        return kExitFailure;
    }
    if (adapters.empty()) {
        err << (restore ? "velmora: nothing recorded for any adapter\n"
                        : "velmora: no IP-enabled adapter\n");
        return kExitFailure;
    }
    int status = kExitSuccess;
    for (const auto& [index, description] : adapters) {
        CommandLine one = line;
        one.all = false;
        one.index = index;
        std::ostringstream said, failures;
        const int code = RunCommand(one, backend, said, failures, nullptr, tools);
        std::istringstream lines(failures.str());
        for (std::string text; std::getline(lines, text);)
            err << "velmora: adapter " << index << ": " << text << '\n';
        out << index << '\t' << OutcomeWord(code) << '\t' << description << '\n' << std::flush;
        if (status == kExitSuccess) status = code;
    }
    return status;
}

} // namespace

int PrintStatus(const CommandLine& line, management::Backend& backend,
                const management::SystemFiles& files, std::ostream& out, std::ostream& err) {
    std::vector<std::string> lines;
    try {
        lines = management::StatusLines(backend, files, line.statusIndex);
    } catch (const std::exception& error) {
        err << "velmora: " << error.what() << '\n';
        return kExitFailure;
    }
    for (const auto& text : lines)
        out << text << '\n';
    return kExitSuccess;
}

int ResetSample(const management::VariableLookup& lookup, const management::RecordStore& store,
                std::ostream& out, std::ostream& err) {
    try {
        const auto file = management::SimulatedBackend::ResetSampleStateFile(lookup);
        // The records describe adapters as they were before the reset; a
        // restore would now undo it.
        const std::string component = management::SimulatedBackend(file).Identity();
        if (!store.folder().empty())
            for (const auto& adapter : management::SampleSimulatedState().adapters)
                store.Remove(component, adapter.index);
        out << "The simulated sample is back in " << file.string() << '\n';
        return kExitSuccess;
    } catch (const std::exception& error) {
        err << "velmora: " << error.what() << '\n';
        return kExitFailure;
    }
}

std::vector<speedtest::Endpoint> DefaultBenchServers(management::Backend& backend,
                                                     std::optional<std::int32_t> index,
                                                     bool withAdapters) {
    std::vector<speedtest::Endpoint> servers;
    auto add = [&](std::string_view text) {
        auto endpoint = speedtest::ParseEndpoint(text);
        if (endpoint && std::find(servers.begin(), servers.end(), *endpoint) == servers.end())
            servers.push_back(*endpoint);
    };
    for (const Preset& preset : Presets())
        for (const auto* family : {&preset.ipv4, &preset.ipv6})
            for (std::string_view address : *family)
                add(address);
    // The adapters' current servers, where the component answers; the
    // window shows two of them, the test takes every one.
    if (!withAdapters) return servers;
    try {
        auto service = backend.Connect(management::ConnectionString(management::kLocalComputer));
        for (const auto& configuration : service->ExecQuery(management::kAdapterQuery)) {
            if (index && configuration->Index() != *index) continue;
            for (std::size_t element = 0;; ++element) {
                std::string server;
                try {
                    server = configuration->DNSServerSearchOrder(element);
                } catch (const std::exception&) {
                    break;
                }
                add(server);
            }
        }
    } catch (const std::exception&) {
    }
    return servers;
}

int RunCommand(const CommandLine& line, management::RecordingBackend& backend, std::ostream& out,
               std::ostream& err, std::ostream* progress) {
    return RunCommand(line, backend, out, err, progress, ChangeTools{});
}

int RunCommand(const CommandLine& line, management::RecordingBackend& backend, std::ostream& out,
               std::ostream& err, std::ostream* progress, const ChangeTools& tools) {
    if (line.command == CommandLine::Command::Flush) return FlushCache(tools, out, err);
    if (line.command == CommandLine::Command::Presets) {
        out << PresetTable();
        return kExitSuccess;
    }
    if (line.command == CommandLine::Command::History) return PrintHistory(line, backend, out, err);
    // Before the component is reached: a damaged or unreachable sample is
    // what reset mends.
    if (line.command == CommandLine::Command::Reset)
        return ResetSample(platform::EnvironmentVariable, backend.store(), out, err);
    // The speed test needs the component only to apply its outcome.
    if (line.command == CommandLine::Command::Bench && !line.apply)
        return Bench(line, backend, out, err, progress, tools);

    // The window would show an unreachable component as an empty list; here
    // it is said as it is.
    try {
        backend.Connect(management::ConnectionString(management::kLocalComputer));
    } catch (const std::exception& error) {
        err << "velmora: backend unavailable: " << error.what() << '\n';
        return kExitBackendUnavailable;
    }
    if (line.command == CommandLine::Command::Bench)
        return Bench(line, backend, out, err, progress, tools);
    if (line.command == CommandLine::Command::Status)
        return PrintStatus(line, backend, management::SystemFiles{}, out, err);
    if (line.all) return ForAll(line, backend, out, err, tools);

    management::ChangeGuardOptions guarding = tools.guard;
    guarding.verify = line.verify;
    guarding.flush = line.flush;
    management::ChangeGuard guard(backend, tools.check, tools.flusher, guarding);

    ConsoleView view(out, err);
    FrmMain form(view, backend);
    form.SetChangeGuard(&guard);
    form.Form_Load();

    if (line.command == CommandLine::Command::List) {
        for (const auto& entry : view.entries())
            out << entry.itemData << '\t' << entry.text << '\n';
        return kExitSuccess;
    }

    // Choose the adapter as a user would; an index that is not listed leaves
    // nothing chosen (even where start-up chose the only adapter).
    const int position = view.Find(line.index);
    view.SelectAdapter(position);
    if (position >= 0) form.Combo1_Click();
    // The window's "Please Choose A Adapter." would not say which index was
    // wrong; restore reaches adapters the list leaves out.
    if (position < 0 && line.command != CommandLine::Command::Restore) {
        err << "velmora: no IP-enabled adapter has index " << line.index
            << " (velmora list lists them)\n";
        return kExitFailure;
    }

    switch (line.command) {
    case CommandLine::Command::Show:
        out << view.label10() << '\n' << view.label11() << '\n';
        return kExitSuccess;
    case CommandLine::Command::Set:
        backend.SetOperation("set");
        if (!line.preset.empty() || line.dot) {
            if (position < 0) {
                view.ShowMessage(std::string{text::kChooseAdapter});
                return kExitFailure;
            }
            return SetServers(line, backend, out, err, guard);
        }
        view.SetText(TextBox::Text4, line.first);
        view.SetText(TextBox::Text5, line.second);
        form.Command9_Click();
        break;
    case CommandLine::Command::Dhcp:
        backend.SetOperation("dhcp");
        form.Command10_Click();
        break;
    case CommandLine::Command::Restore:
        // Restore reaches adapters the list leaves out (one whose revert to
        // DHCP found no server has no IPv4 any more).
        try {
            if (!Report(backend.Restore(line.index), out, err)) return kExitFailure;
            if (auto warning = guard.Flush()) err << *warning << '\n';
            return kExitSuccess;
        } catch (const std::exception& error) {
            err << "velmora: " << error.what() << '\n';
            return kExitFailure;
        }
    default:
        throw std::logic_error("RunCommand: not a console command");
    }
    if (const auto& change = form.lastChange()) {
        if (change->verdict == management::ChangeOutcome::Verdict::RolledBack)
            return kExitRolledBack;
        if (change->verdict == management::ChangeOutcome::Verdict::RollbackFailed)
            return kExitFailure;
    }
    return view.lastMessage() == text::kDone ? kExitSuccess : kExitFailure;
}

} // namespace velmora::app

// Changes are checked against the new servers and undone when none answers;
// every adapter at once; the resolver's cache flushed after a change. The
// servers asked are loopback responders of this process, the resolver's
// cache a fake: nothing here reaches the machine's network or resolver.

#include "app/command_line.h"
#include "app/management/cache_flush.h"
#include "app/management/verified_change.h"
#include "app/messages.h"
#include "app_test_support.h"
// The local DNS responder is POSIX's; Windows asks servers through the
// system resolver's DnsQueryEx, which Wine lacks, so the cases that need
// servers to answer are Linux's.
#ifndef _WIN32
#include "dns_responder.h"
#endif

#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

using namespace velmora::testing;
using namespace velmora::app;
namespace st = velmora::speedtest;
using std::chrono::milliseconds;

namespace {

struct FakeFlusher final : mgmt::CacheFlusher {
    mgmt::FlushResult Flush() override {
        ++calls;
        return result;
    }
    mgmt::FlushResult result{mgmt::FlushResult::Outcome::Flushed, {}};
    int calls = 0;
};

std::variant<CommandLine, UsageError> Parse(std::initializer_list<std::string_view> args) {
    return ParseCommandLine(std::span<const std::string_view>(args.begin(), args.size()));
}

#ifndef _WIN32
TEST(ServerCheck, TellsAnsweringServersFromSilentRefusingAndUnaskableOnes) {
    DnsResponder answering(DnsResponder::Mode::Answer);
    DnsResponder silent(DnsResponder::Mode::Drop);
    DnsResponder refusing(DnsResponder::Mode::Refuse);
    const std::map<std::string, std::string> routes = {{"192.0.2.1", answering.Server()},
                                                       {"192.0.2.2", silent.Server()},
                                                       {"192.0.2.3", refusing.Server()}};
    mgmt::ResolverCheck check({{"a.example", "b.example", "c.example"}, milliseconds(600)},
                              [&](std::string_view server) -> std::optional<st::Endpoint> {
                                  auto found = routes.find(std::string{server});
                                  if (found == routes.end()) return std::nullopt;
                                  return st::ParseEndpoint(found->second);
                              });
    const auto answers = check.Ask({"192.0.2.2", "192.0.2.1", "192.0.2.3", "192.0.2.4"});
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_EQ(answers[0].server, "192.0.2.2");
    EXPECT_FALSE(answers[0].answered);
    EXPECT_EQ(answers[0].why, "no answer in time");
    EXPECT_TRUE(answers[1].answered);
    EXPECT_FALSE(answers[2].answered);
    EXPECT_EQ(answers[2].why, "refused the query");
    EXPECT_FALSE(answers[3].answered);
    EXPECT_EQ(answers[3].why, "not an address that can be asked");
    EXPECT_EQ(answering.queries(), 1) << "one answer is enough";
    EXPECT_EQ(silent.queries(), 3) << "a silent server is asked every name within the deadline";
    EXPECT_EQ(refusing.queries(), 3);

    EXPECT_EQ(mgmt::ParseCheckNames("example.com,kernel.org"),
              (std::vector<std::string>{"example.com", "kernel.org"}));
    for (const char* bad : {"", ",", "example.com,", "a b", "-x.org", "x.org\n"})
        EXPECT_EQ(mgmt::ParseCheckNames(bad), std::nullopt) << bad;
}

TEST(ResolvedFlusher, FindsNoResolverWhereNoBusAnswers) {
    TempFolder folder;
    const std::string address = "unix:path=" + (folder.path() / "no-bus").string();
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    const auto result = mgmt::ResolvedFlusher{}.Flush();
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    EXPECT_EQ(result.outcome, mgmt::FlushResult::Outcome::NoResolver) << result.detail;
}

#endif

TEST(CommandLineParse, TakesTheOptionsOfCheckedChangesAndFlush) {
    auto all = std::get<CommandLine>(Parse({"set", "--all", "192.0.2.1", "0.0.0.0"}));
    EXPECT_TRUE(all.all);
    EXPECT_EQ(all.first, "192.0.2.1");
    EXPECT_EQ(all.second, "0.0.0.0");
    EXPECT_TRUE(all.verify);
    EXPECT_TRUE(all.flush);
    auto preset = std::get<CommandLine>(Parse({"set", "--all", "--preset", "quad9", "--no-flush"}));
    EXPECT_TRUE(preset.all);
    EXPECT_FALSE(preset.flush);
    EXPECT_TRUE(std::get<CommandLine>(Parse({"restore", "--all"})).all);
    auto dhcp = std::get<CommandLine>(Parse(
        {"dhcp", "2", "--no-verify", "--verify-names=a.org,b.org", "--verify-timeout", "500"}));
    EXPECT_FALSE(dhcp.verify);
    EXPECT_EQ(dhcp.check.names, (std::vector<std::string>{"a.org", "b.org"}));
    EXPECT_EQ(dhcp.check.deadline, milliseconds(500));
    EXPECT_EQ(std::get<CommandLine>(Parse({"flush"})).command, CommandLine::Command::Flush);
    EXPECT_FALSE(std::get<CommandLine>(Parse({"--no-verify"})).verify) << "the window's too";

    const std::initializer_list<std::string_view> bad[] = {
        {"show", "--all"},
        {"show", "1", "--no-verify"},
        {"restore", "--no-verify", "1"},
        {"restore", "--all", "1"},
        {"set", "--all", "1", "2", "3"},
        {"--all"},
        {"flush", "1"},
        {"flush", "--no-flush"},
        {"set", "1", "a", "b", "--verify-names="},
        {"--verify-timeout", "50"},
        {"list", "--no-flush"}};
    for (const auto& args : bad)
        EXPECT_TRUE(std::holds_alternative<UsageError>(Parse(args))) << *args.begin();
}

#ifndef _WIN32
// The simulated component with two adapters; the servers 192.0.2.53 (answers),
// 192.0.2.54 (never answers) and 192.0.2.55 (refuses) are loopback responders.
class VerifiedChangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto first = Adapter(3, "Wired", std::vector<std::string>{"192.0.2.1"});
        first.dhcpEnabled = false;
        state_.adapters = {first, Adapter(4, "Wireless", std::vector<std::string>{"192.0.2.2"})};
        Write(state_);
    }
    void Write(const mgmt::SimulatedState& state) {
        std::ofstream(file_) << mgmt::SerializeSimulatedState(state);
    }
    mgmt::SimulatedState Read() {
        std::ifstream in(file_);
        return mgmt::ParseSimulatedState(std::string{std::istreambuf_iterator<char>(in), {}});
    }
    std::optional<st::Endpoint> Route(std::string_view server) {
        const std::string address{mgmt::ServerAddressPart(server)};
        if (address == "192.0.2.53") return st::ParseEndpoint(answering_.Server());
        if (address == "192.0.2.54") return st::ParseEndpoint(silent_.Server());
        if (address == "192.0.2.55" || everyOtherRefuses_)
            return st::ParseEndpoint(refusing_.Server());
        return std::nullopt;
    }
    // The check's deadline is short: a silent server costs all of it.
    mgmt::ResolverCheck MakeCheck(const mgmt::ServerCheckOptions& options) {
        return mgmt::ResolverCheck({options.names, milliseconds(600)},
                                   [this](std::string_view server) { return Route(server); });
    }
    mgmt::ChangeGuardOptions Clock() {
        mgmt::ChangeGuardOptions options;
        options.now = [this] { return now_; };
        options.pause = [this](milliseconds time) {
            now_ += time;
            ++pauses_;
            if (onPause_) onPause_();
        };
        return options;
    }
    int Run(std::initializer_list<std::string_view> args) {
        out_.str("");
        err_.str("");
        auto parsed = Parse(args);
        if (auto* error = std::get_if<UsageError>(&parsed)) {
            err_ << error->message;
            return kExitUsage;
        }
        const auto& line = std::get<CommandLine>(parsed);
        auto check = MakeCheck(line.check);
        return RunCommand(line, recording_, out_, err_, nullptr, {&check, &flusher_, Clock()});
    }
    std::optional<mgmt::StateRecord> Record(std::int32_t index) {
        return store_.Load(backend_.Identity(), index);
    }
    std::string RolledBack(const std::string& reason) {
        return std::string{mgmt::kRolledBack} + "\n" + reason + "\n";
    }

    DnsResponder answering_{DnsResponder::Mode::Answer};
    DnsResponder silent_{DnsResponder::Mode::Drop};
    DnsResponder refusing_{DnsResponder::Mode::Refuse};
    bool everyOtherRefuses_ = false;
    TempFolder folder_;
    std::filesystem::path file_ = folder_.path() / "state.json";
    mgmt::SimulatedState state_;
    mgmt::SimulatedBackend backend_{file_};
    mgmt::RecordStore store_{folder_.path() / "records"};
    mgmt::RecordingBackend recording_{backend_, store_};
    FakeFlusher flusher_;
    std::chrono::steady_clock::time_point now_{};
    int pauses_ = 0;
    std::function<void()> onPause_;
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(VerifiedChangeTest, ServersThatDoNotAnswerAreUndoneThroughTheRecord) {
    struct Case {
        std::string first, second, reason;
    };
    const Case cases[] = {
        {"192.0.2.54", "0.0.0.0", "192.0.2.54 (no answer in time)"},
        {"0.0.0.0", "192.0.2.55", "192.0.2.55 (refused the query)"},
        {"192.0.2.55", "192.0.2.54",
         "192.0.2.55 (refused the query), 192.0.2.54 (no answer in time)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run({"set", "3", c.first, c.second}), kExitRolledBack) << c.reason;
        EXPECT_EQ(out_.str(), "") << "no \"Done!\" for a change that was undone";
        EXPECT_EQ(err_.str(), RolledBack(c.reason));
        EXPECT_EQ(Read(), state_);
        EXPECT_FALSE(Record(3)) << "the record made for this change is used up, as by restore";
    }
    // A preset goes through the same check.
    everyOtherRefuses_ = true;
    EXPECT_EQ(Run({"set", "3", "--preset", "quad9"}), kExitRolledBack);
    EXPECT_TRUE(err_.str().starts_with(std::string{mgmt::kRolledBack} + "\n9.9.9.9 (refused"))
        << err_.str();
    EXPECT_EQ(Read(), state_);
    EXPECT_EQ(flusher_.calls, 0) << "nothing new stands, so nothing is flushed";
}

TEST_F(VerifiedChangeTest, AnOlderRecordStaysAndTheSettingsOfAMomentAgoComeBack) {
    ASSERT_EQ(Run({"set", "3", "192.0.2.53", "0.0.0.0"}), kExitSuccess) << err_.str();
    EXPECT_EQ(out_.str(), "Done!\n");
    EXPECT_EQ(err_.str(), "");
    const auto afterFirst = Read();
    ASSERT_NE(afterFirst, state_);

    EXPECT_EQ(Run({"set", "3", "192.0.2.54", "192.0.2.55"}), kExitRolledBack);
    EXPECT_EQ(Read(), afterFirst) << "the servers set a moment ago, not those of the record";
    const auto record = Record(3);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->state, mgmt::SimulatedDnsState(state_.adapters[0]))
        << "restore still goes back to before Velmora's first change";
    EXPECT_EQ(Run({"restore", "3"}), kExitSuccess);
    EXPECT_EQ(Read(), state_);
}

TEST_F(VerifiedChangeTest, OneServerAnsweringIsEnoughAndTheSilentOneIsNamed) {
    EXPECT_EQ(Run({"set", "3", "192.0.2.54", "192.0.2.53"}), kExitSuccess);
    EXPECT_EQ(out_.str(), "Done!\n");
    EXPECT_EQ(err_.str(),
              "warning: 192.0.2.54 (no answer in time) did not answer; 192.0.2.53 did\n");
    EXPECT_EQ(Read().adapters[0].dns, (std::vector<std::string>{"192.0.2.54", "192.0.2.53"}));
    EXPECT_EQ(flusher_.calls, 1);
}

TEST_F(VerifiedChangeTest, NoVerifyAndNoFlushLeaveTheChangeAsItIs) {
    EXPECT_EQ(Run({"set", "3", "192.0.2.54", "0.0.0.0", "--no-verify", "--no-flush"}),
              kExitSuccess);
    EXPECT_EQ(out_.str(), "Done!\n");
    EXPECT_EQ(Read().adapters[0].dns, std::vector<std::string>{"192.0.2.54"});
    EXPECT_EQ(silent_.queries(), 0);
    EXPECT_EQ(flusher_.calls, 0);
}

TEST_F(VerifiedChangeTest, DhcpChecksTheServersItProvidesOnceTheyAppear) {
    // Nothing provided within the deadline: not a failure. The wait runs on
    // the test's clock.
    EXPECT_EQ(Run({"dhcp", "4"}), kExitSuccess) << err_.str();
    EXPECT_EQ(out_.str(), "Done!\n");
    EXPECT_EQ(err_.str(), "");
    EXPECT_GE(now_ - std::chrono::steady_clock::time_point{}, milliseconds(600));
    EXPECT_EQ(flusher_.calls, 1);
    ASSERT_EQ(Run({"restore", "4"}), kExitSuccess);

    // DHCP provides a server that does not answer, a moment after the link
    // was reconfigured.
    pauses_ = 0;
    onPause_ = [this] {
        if (pauses_ != 2) return;
        auto provided = Read();
        provided.adapters[1].dns = std::vector<std::string>{"192.0.2.54"};
        Write(provided);
    };
    EXPECT_EQ(Run({"dhcp", "4"}), kExitRolledBack);
    EXPECT_EQ(err_.str(), RolledBack("192.0.2.54 (no answer in time)"));
    EXPECT_EQ(Read(), state_);
    EXPECT_FALSE(Record(4));
}

TEST_F(VerifiedChangeTest, TheWindowSaysSoAndShowsTheRestoredServers) {
    FakeView view;
    FrmMain form(view, recording_);
    auto check = MakeCheck({});
    mgmt::ChangeGuard guard(recording_, &check, &flusher_, Clock());
    form.SetChangeGuard(&guard);
    form.Form_Load();
    view.selected = 0;
    form.Combo1_Click();
    view.text4 = "192.0.2.54";
    view.text5 = "0.0.0.0";
    form.Command9_Click();
    EXPECT_EQ(view.messages, std::vector<std::string>{std::string{mgmt::kRolledBack} +
                                                      "\n192.0.2.54 (no answer in time)"});
    EXPECT_EQ(view.unloads, 0) << "the window stays open";
    EXPECT_EQ(view.label10, "192.0.2.1");
    EXPECT_EQ(view.label11, "0.0.0.0");
    EXPECT_EQ(Read(), state_);

    view.messages.clear();
    view.text4 = "192.0.2.53";
    form.Command9_Click();
    EXPECT_EQ(view.messages, std::vector<std::string>{"Done!"});
    EXPECT_EQ(view.unloads, 1);
    EXPECT_EQ(flusher_.calls, 1);
}

TEST_F(VerifiedChangeTest, SuccessfulChangesFlushTheCacheAndFlushSaysWhatItFound) {
    ASSERT_EQ(Run({"set", "3", "192.0.2.53", "0.0.0.0"}), kExitSuccess);
    ASSERT_EQ(Run({"restore", "3"}), kExitSuccess);
    EXPECT_EQ(flusher_.calls, 2);
    ASSERT_EQ(Run({"set", "3", "192.0.2.53", "0.0.0.0", "--no-flush"}), kExitSuccess);
    EXPECT_EQ(flusher_.calls, 2);

    flusher_.result = {mgmt::FlushResult::Outcome::NoResolver, "not running"};
    ASSERT_EQ(Run({"restore", "3"}), kExitSuccess);
    EXPECT_EQ(err_.str(), "") << "no caching resolver: nothing to say";
    flusher_.result = {mgmt::FlushResult::Outcome::Failed, "access denied"};
    ASSERT_EQ(Run({"set", "3", "192.0.2.53", "0.0.0.0"}), kExitSuccess) << "the change stands";
    EXPECT_EQ(err_.str(), "warning: the resolver's cache was not flushed: access denied\n");

    const struct {
        mgmt::FlushResult::Outcome outcome;
        int status;
        std::string out, err;
    } flushes[] = {
        {mgmt::FlushResult::Outcome::Flushed, kExitSuccess, "the resolver's cache was flushed\n",
         ""},
        {mgmt::FlushResult::Outcome::NoResolver, kExitUnsupported, "",
         "velmora: no caching resolver was found (why)\n"},
        {mgmt::FlushResult::Outcome::Failed, kExitFailure, "",
         "velmora: the resolver's cache could not be flushed: why\n"},
    };
    for (const auto& flush : flushes) {
        flusher_.result = {flush.outcome, "why"};
        EXPECT_EQ(Run({"flush"}), flush.status);
        EXPECT_EQ(out_.str(), flush.out);
        EXPECT_EQ(err_.str(), flush.err);
    }
    EXPECT_EQ(RunCommand(std::get<CommandLine>(Parse({"flush"})), recording_, out_, err_),
              kExitUnsupported)
        << "without a flusher no resolver is found";
}

TEST_F(VerifiedChangeTest, AllAdaptersAreEachRecordedCheckedAndSummedUp) {
    EXPECT_EQ(Run({"set", "--all", "192.0.2.53", "0.0.0.0"}), kExitSuccess) << err_.str();
    EXPECT_EQ(out_.str(), "3\tdone\tWired\n4\tdone\tWireless\n");
    EXPECT_EQ(Read().adapters[1].dns, std::vector<std::string>{"192.0.2.53"});
    // Another component's record in the same folder is not this one's.
    store_.Create({"networkmanager", 9, "eth0", "2026-01-01T00:00:00Z", "set", {}});
    EXPECT_EQ(Run({"restore", "--all"}), kExitSuccess) << err_.str();
    EXPECT_EQ(out_.str(), "3\tdone\tWired\n4\tdone\tWireless\n");
    EXPECT_EQ(Read(), state_);
    EXPECT_EQ(Run({"restore", "--all"}), kExitFailure);
    EXPECT_EQ(err_.str(), "velmora: nothing recorded for any adapter\n");

    EXPECT_EQ(Run({"set", "--all", "192.0.2.54", "0.0.0.0"}), kExitRolledBack);
    EXPECT_EQ(out_.str(), "3\trolled-back\tWired\n4\trolled-back\tWireless\n");
    EXPECT_NE(err_.str().find("velmora: adapter 4: " + std::string{mgmt::kRolledBack} + "\n"),
              std::string::npos)
        << err_.str();
    EXPECT_EQ(Read(), state_);

    auto refusing = state_;
    refusing.adapters[1].fail["SetDNSServerSearchOrder"] = mgmt::kAccessDenied;
    Write(refusing);
    EXPECT_EQ(Run({"set", "--all", "192.0.2.53", "0.0.0.0"}), kExitFailure);
    EXPECT_EQ(out_.str(), "3\tdone\tWired\n4\tfailed\tWireless\n");
    EXPECT_EQ(err_.str(), "velmora: adapter 4: Status: Error! - Access denied.\n");
    EXPECT_EQ(Read().adapters[0].dns, std::vector<std::string>{"192.0.2.53"});
}
#endif

} // namespace

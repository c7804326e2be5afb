#include "app/command_line.h"
#include "app_test_support.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace velmora::testing;
using namespace velmora::app;

namespace {

std::variant<CommandLine, UsageError> Parse(std::initializer_list<std::string_view> args) {
    return ParseCommandLine(std::span<const std::string_view>(args.begin(), args.size()));
}

TEST(CommandLineParse, AcceptsTheCommandsAndTheirOperands) {
    auto window = std::get<CommandLine>(Parse({}));
    EXPECT_EQ(window.command, CommandLine::Command::Window);
#ifdef _WIN32
    EXPECT_EQ(window.backend.kind, mgmt::BackendChoice::Kind::Wmi);
#else
    EXPECT_EQ(window.backend.kind, mgmt::BackendChoice::Kind::NetworkManager);
#endif

    auto set = std::get<CommandLine>(
        Parse({"--backend=simulated:/x.json", "set", "-3", "2001:db8::1", "0.0.0.0"}));
    EXPECT_EQ(set.command, CommandLine::Command::Set);
    EXPECT_EQ(set.backend.stateFile, "/x.json");
    EXPECT_EQ(set.index, -3);
    EXPECT_EQ(set.first, "2001:db8::1") << "texts go on as typed";
    EXPECT_EQ(set.second, "0.0.0.0");

    // The backend's value may follow as the next argument.
    auto spaced = std::get<CommandLine>(Parse({"--backend", "simulated", "list"}));
    EXPECT_EQ(spaced.backend.kind, mgmt::BackendChoice::Kind::Simulated);
    EXPECT_FALSE(spaced.backend.stateFile);
    EXPECT_EQ(
        std::get<CommandLine>(Parse({"list", "--backend", "simulated:/y.json"})).backend.stateFile,
        "/y.json");

    auto status = std::get<CommandLine>(Parse({"status"}));
    EXPECT_EQ(status.command, CommandLine::Command::Status);
    EXPECT_FALSE(status.statusIndex);
    EXPECT_EQ(std::get<CommandLine>(Parse({"status", "12"})).statusIndex, 12);
    EXPECT_EQ(std::get<CommandLine>(Parse({"--backend", "simulated", "reset"})).command,
              CommandLine::Command::Reset);

    EXPECT_EQ(std::get<CommandLine>(Parse({"show", "12", "--help"})).command,
              CommandLine::Command::Help);
    EXPECT_EQ(std::get<CommandLine>(Parse({"dhcp", "0"})).command, CommandLine::Command::Dhcp);
    EXPECT_EQ(std::get<CommandLine>(Parse({"--version", "list"})).command,
              CommandLine::Command::Version);
    EXPECT_TRUE(VersionText().starts_with("velmora ") && VersionText().ends_with("\n"));
}

#ifdef _WIN32
constexpr std::string_view kOtherSystemsBackend = "--backend=networkmanager";
#else
constexpr std::string_view kOtherSystemsBackend = "--backend=wmi";
#endif

TEST(CommandLineParse, RefusesWhatItDoesNotKnow) {
    const std::initializer_list<std::string_view> bad[] = {{"lst"},
                                                           {"list", "1"},
                                                           {"show"},
                                                           {"show", "1", "2"},
                                                           {"set", "1", "8.8.8.8"},
                                                           {"show", "x"},
                                                           {"show", "+1"},
                                                           {"show", "2147483648"},
                                                           {"show", "1x"},
                                                           {"--backend", "list"},
                                                           {"--backend"},
                                                           {"status", "1", "2"},
                                                           {"status", "x"},
                                                           {"reset"},
                                                           {"--backend=simulated:/a.json", "reset"},
                                                           {"--backend=simulated", "reset", "7"},
                                                           // The other system's backend.
                                                           {kOtherSystemsBackend, "list"},
                                                           {"--verbose", "list"},
                                                           {"--screenshot"},
                                                           {"--screenshot="},
                                                           {"--screenshot", "a.png", "list"}};
    for (const auto& args : bad)
        EXPECT_TRUE(std::holds_alternative<UsageError>(Parse(args)));

    // The window's one option.
    const auto window = std::get<CommandLine>(Parse({"--screenshot", "w.png"}));
    EXPECT_EQ(window.command, CommandLine::Command::Window);
    EXPECT_EQ(window.screenshot, "w.png");
    EXPECT_EQ(std::get<CommandLine>(Parse({"--screenshot=x y.png"})).screenshot, "x y.png");
}

class CommandLineRun : public ::testing::Test {
protected:
    void Write(const mgmt::SimulatedState& state) {
        std::ofstream(file_) << mgmt::SerializeSimulatedState(state);
    }
    int Run(std::initializer_list<std::string_view> args) {
        out_.str("");
        err_.str("");
        auto line = std::get<CommandLine>(Parse(args));
        return RunCommand(line, recording_, out_, err_);
    }

    TempFolder folder_;
    std::filesystem::path file_ = folder_.path() / "state.json";
    mgmt::SimulatedBackend backend_{file_};
    mgmt::RecordingBackend recording_{backend_, mgmt::RecordStore{folder_.path() / "records"}};
    std::ostringstream out_;
    std::ostringstream err_;
};

// README promises exit 2, with the accepted forms, for a server that is
// not an address: the refusal comes before anything is recorded or changed.
TEST(CommandLineParse, RefusesAServerThatIsNotAnAddressWithTheAcceptedForms) {
    for (std::string_view bad :
         {"", "1.2.3", "dns.google", "8.8.8.8:53", " 8.8.8.8", "fe80::1%eth0"}) {
        auto parsed = Parse({"set", "7", "9.9.9.9", bad});
        ASSERT_TRUE(std::holds_alternative<UsageError>(parsed)) << bad;
        const auto& message = std::get<UsageError>(parsed).message;
        EXPECT_NE(message.find("\"" + std::string{bad} + "\""), std::string::npos) << message;
        EXPECT_NE(message.find("IPv4 or IPv6 address, or 0.0.0.0"), std::string::npos) << message;
        EXPECT_TRUE(std::holds_alternative<UsageError>(Parse({"set", "7", bad, "0.0.0.0"}))) << bad;
    }
}

TEST_F(CommandLineRun, ListsShowsSetsAndReverts) {
    Write(mgmt::SampleSimulatedState());
    EXPECT_EQ(Run({"list"}), 0);
    EXPECT_EQ(out_.str(), "7\tIntel(R) Ethernet Connection I219-V\n"
                          "12\tRealtek RTL8821CE 802.11ac PCIe Adapter\n"
                          "15\tVirtualBox Host-Only Ethernet Adapter\n");

    EXPECT_EQ(Run({"show", "7"}), 0);
    EXPECT_EQ(out_.str(), "192.168.1.1\n0.0.0.0\n");
    EXPECT_EQ(Run({"show", "8"}), 1);
    EXPECT_NE(err_.str().find("no IP-enabled adapter has index 8"), std::string::npos);

    EXPECT_EQ(Run({"set", "15", "0.0.0.0", "2001:db8::1"}), 0);
    EXPECT_EQ(out_.str(), "Done!\n");
    EXPECT_EQ(Run({"show", "15"}), 0);
    EXPECT_EQ(out_.str(), "2001:db8::1\n0.0.0.0\n");

    mgmt::SimulatedState refused = mgmt::SampleSimulatedState();
    refused.adapters[2].fail = {{"SetDNSServerSearchOrder", 70}};
    Write(refused);
    EXPECT_EQ(Run({"set", "15", "192.0.2.1", "0.0.0.0"}), 1);
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(err_.str(), "Status: Error! - Invalid IP address.\n");

    // The sample's DHCP server hands out its servers and gateway.
    EXPECT_EQ(Run({"dhcp", "12"}), 0);
    EXPECT_EQ(out_.str(), "Done!\n");
    EXPECT_EQ(Run({"show", "12"}), 0);
    EXPECT_EQ(out_.str(), "10.0.0.138\n0.0.0.0\n");
    EXPECT_EQ(backend_.ReadServersInUse(12).gateways, std::vector<std::string>{"10.0.0.138"});
    // Without an offer the adapter is left without servers.
    mgmt::SimulatedState bare;
    bare.adapters = {Adapter(4, "Bare", std::vector<std::string>{"192.0.2.1"})};
    Write(bare);
    EXPECT_EQ(Run({"dhcp", "4"}), 0);
    EXPECT_EQ(Run({"show", "4"}), 0);
    EXPECT_EQ(out_.str(), "0.0.0.0\n0.0.0.0\n");
}

TEST_F(CommandLineRun, PrintsEveryMessageAndJudgesByTheLast) {
    mgmt::SimulatedState state = mgmt::SampleSimulatedState();
    state.adapters[0].fail = {{"EnableDHCP", 1}};
    state.adapters[1].fail = {{"EnableDHCP", 1}, {"SetDNSServerSearchOrder", 100}};
    Write(state);
    EXPECT_EQ(Run({"dhcp", "7"}), 0);
    EXPECT_EQ(out_.str(), "A reboot is required.\nDone!\n");
    EXPECT_EQ(Run({"dhcp", "12"}), 1);
    EXPECT_EQ(out_.str(), "A reboot is required.\n");
    EXPECT_EQ(err_.str(), "Status: Error! - DHCP not enabled on adapter.\n");
}

TEST_F(CommandLineRun, AnUnlistedIndexChoosesNothingEvenBesideTheOnlyAdapter) {
    mgmt::SimulatedState state;
    state.adapters = {Adapter(4, "Only", std::vector<std::string>{"192.0.2.1"})};
    Write(state);
    // Named as show names it, for every command that needs a listed adapter.
    for (auto args : {std::initializer_list<std::string_view>{"set", "5", "8.8.8.8", "8.8.4.4"},
                      std::initializer_list<std::string_view>{"set", "5", "--preset", "quad9"},
                      std::initializer_list<std::string_view>{"dhcp", "5"},
                      std::initializer_list<std::string_view>{"show", "5"}}) {
        EXPECT_EQ(Run(args), 1) << *args.begin();
        EXPECT_EQ(err_.str(), "velmora: no IP-enabled adapter has index 5 (velmora list lists "
                              "them)\n");
    }
    EXPECT_EQ(Run({"show", "4"}), 0);
    EXPECT_EQ(out_.str(), "192.0.2.1\n0.0.0.0\n") << "the only adapter was left alone";
}

TEST_F(CommandLineRun, AnUnreachableComponentIsSaidWithItsCauseAndExitsThree) {
    // No state file at all, then one that marks the component unreachable.
    for (bool written : {false, true}) {
        if (written) {
            mgmt::SimulatedState state = mgmt::SampleSimulatedState();
            state.unreachable = true;
            Write(state);
        }
        for (auto args : {std::initializer_list<std::string_view>{"list"},
                          std::initializer_list<std::string_view>{"show", "7"},
                          std::initializer_list<std::string_view>{"set", "7", "8.8.8.8", "0.0.0.0"},
                          std::initializer_list<std::string_view>{"dhcp", "7"}}) {
            EXPECT_EQ(Run(args), kExitBackendUnavailable) << *args.begin();
            EXPECT_EQ(out_.str(), "");
            EXPECT_TRUE(err_.str().starts_with("velmora: backend unavailable: "));
            EXPECT_NE(err_.str().find(written ? "unreachable" : "cannot open"), std::string::npos)
                << err_.str();
        }
    }
}

TEST_F(CommandLineRun, StatusSaysWhatIsInUseAndWarnsWhenTheMachineIgnoresIt) {
    mgmt::SimulatedState state = mgmt::SampleSimulatedState();
    Write(state);
    EXPECT_EQ(Run({"status", "7"}), 0);
    EXPECT_EQ(out_.str(), "resolver.mode\tsystemd-resolved\n"
                          "resolver.rc-manager\tsymlink\n"
                          "resolver.from\tsimulation\n"
                          "resolv.conf\tsystemd-resolved\n"
                          "resolv.conf.link\t../run/systemd/resolve/stub-resolv.conf\n"
                          "resolv.conf.nameservers\t127.0.0.53\n"
                          "resolver.follows-networkmanager\tyes\n"
                          "adapter\t7\tIntel(R) Ethernet Connection I219-V\n"
                          "ipv4.dns\t192.168.1.1\n"
                          "ipv4.source\tdhcp\n"
                          "ipv4.static\t\n"
                          "ipv4.gateway\t192.168.1.1\n"
                          "ipv6.dns\t\n"
                          "ipv6.source\tnone\n"
                          "ipv6.static\t\n"
                          "dns-over-tls\tdefault\n");
    EXPECT_EQ(Run({"status", "8"}), 1);
    EXPECT_EQ(err_.str(), "velmora: no IP-enabled adapter has index 8\n");

    mgmt::ResolverSetup none;
    none.mode = "none";
    none.rcManager = "unmanaged";
    none.resolvConf = mgmt::ParseResolvConf("nameserver 192.0.2.99\n", "");
    state.resolver = none;
    Write(state);
    EXPECT_EQ(Run({"status"}), 0);
    const std::string text = out_.str();
    EXPECT_NE(text.find("resolv.conf\tby-hand\n"), std::string::npos) << text;
    EXPECT_NE(text.find("adapter\t15\t"), std::string::npos) << "every adapter is shown";
    EXPECT_NE(text.find("\nwarning\tNetworkManager's DNS mode is \"none\""), std::string::npos)
        << text;

    state.unreachable = true;
    Write(state);
    EXPECT_EQ(Run({"status"}), kExitBackendUnavailable);
}

TEST(SimulatedSample, LivesInVelmorasStateFolderAndResetPutsItBack) {
    TempFolder folder;
    const auto own = folder.path() / "own";
    const mgmt::VariableLookup lookup = [&](std::string_view name) -> std::optional<std::string> {
        if (name == "VELMORA_STATE_DIR") return own.string();
        if (name == "XDG_STATE_HOME") return (folder.path() / "xdg").string();
        return std::nullopt;
    };
    const auto file = mgmt::SimulatedBackend::SampleStateFile(lookup);
    EXPECT_EQ(file, own / "simulated-adapters.json");

    mgmt::SimulatedBackend backend{file};
    mgmt::RecordingBackend recording{backend, mgmt::RecordStore{own}};
    std::ostringstream out, err;
    CommandLine set = std::get<CommandLine>(Parse({"set", "15", "192.0.2.1", "0.0.0.0"}));
    ASSERT_EQ(RunCommand(set, recording, out, err), kExitSuccess) << err.str();
    ASSERT_TRUE(recording.store().Load(backend.Identity(), 15));
    std::ofstream(own / "notes.txt") << "mine";

    EXPECT_EQ(ResetSample(lookup, recording.store(), out, err), kExitSuccess) << err.str();
    EXPECT_NE(out.str().find(file.string()), std::string::npos);
    std::ifstream in(file);
    EXPECT_EQ(mgmt::ParseSimulatedState(std::string{std::istreambuf_iterator<char>(in), {}}),
              mgmt::SampleSimulatedState());
    EXPECT_FALSE(recording.store().Load(backend.Identity(), 15))
        << "a restore must not undo the reset";
    EXPECT_TRUE(std::filesystem::exists(own / "notes.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "xdg"));
}

} // namespace

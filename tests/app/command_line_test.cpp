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
    EXPECT_EQ(window.backend.kind, mgmt::BackendChoice::Kind::NetworkManager);

    auto set =
        std::get<CommandLine>(Parse({"--backend=simulated:/x.json", "set", "-3", "", "0.0.0.0"}));
    EXPECT_EQ(set.command, CommandLine::Command::Set);
    EXPECT_EQ(set.backend.stateFile, "/x.json");
    EXPECT_EQ(set.index, -3);
    EXPECT_EQ(set.first, "") << "texts go on as typed";
    EXPECT_EQ(set.second, "0.0.0.0");

    EXPECT_EQ(std::get<CommandLine>(Parse({"show", "12", "--help"})).command,
              CommandLine::Command::Help);
    EXPECT_EQ(std::get<CommandLine>(Parse({"dhcp", "0"})).command, CommandLine::Command::Dhcp);
    EXPECT_EQ(std::get<CommandLine>(Parse({"--version", "list"})).command,
              CommandLine::Command::Version);
    EXPECT_TRUE(VersionText().starts_with("velmora ") && VersionText().ends_with("\n"));
}

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
                                                           {"--backend=wmi", "list"},
                                                           {"--verbose", "list"}};
    for (const auto& args : bad)
        EXPECT_TRUE(std::holds_alternative<UsageError>(Parse(args)));
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

    EXPECT_EQ(Run({"set", "15", "1.2.3", "0.0.0.0"}), 1);
    EXPECT_EQ(out_.str(), "");
    EXPECT_EQ(err_.str(), "Status: Error! - Invalid IP address.\n");

    EXPECT_EQ(Run({"dhcp", "15"}), 0);
    EXPECT_EQ(out_.str(), "Done!\n");
    EXPECT_EQ(Run({"show", "15"}), 0);
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
    EXPECT_EQ(Run({"set", "5", "8.8.8.8", "8.8.4.4"}), 1);
    EXPECT_EQ(err_.str(), "Please Choose A Adapter.\n");
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

} // namespace

#include "app/frm_extras.h"
#include "app/frm_main.h"
#include "app/links.h"
#include "app/messages.h"
#include "app_test_support.h"
#include "platform/system/environment.h"
#include "platform/testing/headless_host.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace velmora::testing;
using velmora::app::FrmMain;

namespace {

class FrmMainTest : public ::testing::Test {
protected:
    void Write(const mgmt::SimulatedState& state) {
        std::ofstream(file_) << mgmt::SerializeSimulatedState(state);
    }
    mgmt::SimulatedState Read() {
        std::ifstream in(file_);
        std::string text{std::istreambuf_iterator<char>(in), {}};
        return mgmt::ParseSimulatedState(text);
    }
    void Load(const mgmt::SimulatedState& state) {
        Write(state);
        form_.Form_Load();
    }
    // Chooses an entry as the user does: a selection, then the list's Click.
    void Choose(int position) {
        view_.SelectAdapter(position);
        form_.Combo1_Click();
    }
    mgmt::SimulatedState TwoAdapters() {
        mgmt::SimulatedState state;
        state.adapters = {
            Adapter(7, "Ethernet", std::vector<std::string>{"192.0.2.1", "192.0.2.2"}),
            Adapter(12, "Wireless")};
        return state;
    }
    std::vector<Call> CallsOf(const std::string& method) {
        std::vector<Call> found;
        for (const auto& call : spy_.calls)
            if (call.method == method) found.push_back(call);
        return found;
    }

    TempFolder folder_;
    std::filesystem::path file_ = folder_.path() / "state.json";
    mgmt::SimulatedBackend simulated_{file_};
    SpyBackend spy_{simulated_};
    FakeView view_;
    FrmMain form_{view_, spy_};
};

TEST_F(FrmMainTest, StartUpWithoutServiceSaysWhyAndShowsAnEmptyList) {
    mgmt::SimulatedState state = TwoAdapters();
    state.unreachable = true;
    Load(state);
    EXPECT_TRUE(view_.entries.empty());
    EXPECT_EQ(view_.selected, -1);
    EXPECT_EQ(
        view_.messages,
        std::vector<std::string>{"backend unavailable: the simulated component is unreachable"})
        << "the text the command line prints after its program name";
    EXPECT_EQ(view_.label10, "0.0.0.0");
    EXPECT_EQ(view_.label11, "0.0.0.0");
    EXPECT_EQ(view_.text4, "8.8.8.8");
    EXPECT_EQ(view_.text5, "8.8.4.4");
    EXPECT_EQ(form_.adapterObject(), nullptr);
}

TEST_F(FrmMainTest, StartUpUsesTheExactTextsAndListsInQueryOrder) {
    mgmt::SimulatedState state;
    state.adapters = {Adapter(12, "Same name"), Adapter(3, "Hidden"), Adapter(7, "Same name")};
    state.adapters[1].ipEnabled = false;
    Load(state);

    ASSERT_EQ(spy_.connectionStrings.size(), 1u);
    EXPECT_EQ(spy_.connectionStrings[0],
              "winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2");
    ASSERT_EQ(spy_.queries.size(), 1u);
    EXPECT_EQ(spy_.queries[0],
              "Select * From Win32_NetworkAdapterConfiguration Where IPEnabled = True");

    ASSERT_EQ(view_.entries.size(), 2u) << "adapters without IP are not listed";
    EXPECT_EQ(view_.entries[0].itemData, 12);
    EXPECT_EQ(view_.entries[1].itemData, 7) << "equal descriptions keep their own index";
    EXPECT_EQ(view_.selected, -1) << "with two adapters none is chosen";
    EXPECT_TRUE(spy_.objectPaths.empty());
    EXPECT_GE(view_.doEvents, 2) << "the window stays responsive while the list fills";

    Choose(1);
    ASSERT_EQ(spy_.objectPaths.size(), 1u);
    EXPECT_EQ(spy_.objectPaths[0], "winmgmts:Win32_NetworkAdapterConfiguration=7");
    ASSERT_NE(form_.adapterObject(), nullptr);
    EXPECT_EQ(form_.adapterObject()->Index(), 7);
}

TEST_F(FrmMainTest, TheOnlyAdapterIsChosenAndShownAtStartUp) {
    mgmt::SimulatedState state;
    state.adapters = {
        Adapter(4, "Only", std::vector<std::string>{"198.51.100.1", "198.51.100.2", "x"})};
    Load(state);
    EXPECT_EQ(view_.selected, 0);
    EXPECT_EQ(view_.label10, "198.51.100.1");
    EXPECT_EQ(view_.label11, "198.51.100.2") << "servers past the second are not shown";
}

TEST_F(FrmMainTest, AnEntryWhosePropertiesFailIsLeftOutWithoutShiftingIndexes) {
    Write(TwoAdapters());
    spy_.throwing.insert("Description:12");
    form_.Form_Load();
    ASSERT_EQ(view_.entries.size(), 1u);
    EXPECT_EQ(view_.entries[0].text, "Ethernet");
    EXPECT_EQ(view_.entries[0].itemData, 7) << "the failed entry's Index must not land on another";
}

TEST_F(FrmMainTest, SelectionShowsUpToTwoServersAndClearsOldOnes) {
    mgmt::SimulatedState state = TwoAdapters();
    state.adapters.push_back(Adapter(20, "One server", std::vector<std::string>{"203.0.113.9"}));
    Load(state);

    Choose(0);
    EXPECT_EQ(view_.label10, "192.0.2.1");
    EXPECT_EQ(view_.label11, "192.0.2.2");

    // The placeholders are painted before the (possibly slow) reads.
    std::vector<std::pair<std::string, std::string>> painted;
    view_.onDoEvents = [&] { painted.emplace_back(view_.label10, view_.label11); };
    Choose(1);
    ASSERT_FALSE(painted.empty());
    EXPECT_EQ(painted.front(), std::make_pair(std::string{"0.0.0.0"}, std::string{"0.0.0.0"}));
    EXPECT_EQ(view_.label10, "0.0.0.0") << "an adapter without a list shows placeholders";
    EXPECT_EQ(view_.label11, "0.0.0.0");
    view_.onDoEvents = nullptr;

    Choose(2);
    EXPECT_EQ(view_.label10, "203.0.113.9");
    EXPECT_EQ(view_.label11, "0.0.0.0");
    EXPECT_EQ(view_.text4, "8.8.8.8") << "the new values are left alone";
    EXPECT_EQ(view_.text5, "8.8.4.4");
}

TEST_F(FrmMainTest, AFailedFetchForgetsThePreviousAdapter) {
    Load(TwoAdapters());
    Choose(0);
    ASSERT_NE(form_.adapterObject(), nullptr);

    mgmt::SimulatedState state = TwoAdapters();
    state.adapters.erase(state.adapters.begin() + 1); // adapter 12 goes away
    state.adapters[0].dns = std::vector<std::string>{"192.0.2.1", "192.0.2.2"};
    Write(state);
    Choose(1);
    EXPECT_EQ(form_.adapterObject(), nullptr);
    EXPECT_EQ(view_.label10, "0.0.0.0") << "not the servers of the adapter chosen before";
    EXPECT_EQ(view_.label11, "0.0.0.0");
    EXPECT_TRUE(view_.messages.empty());
}

TEST_F(FrmMainTest, ApplyWithoutAChosenAdapterAsksForOne) {
    Load(TwoAdapters());
    form_.Command9_Click();
    form_.Command10_Click();
    EXPECT_EQ(view_.messages,
              (std::vector<std::string>{"Please Choose A Adapter.", "Please Choose A Adapter."}));
    EXPECT_EQ(view_.focusOnList, 2);
    EXPECT_TRUE(spy_.calls.empty()) << "nothing is sent";
    EXPECT_EQ(view_.unloads, 0);
}

TEST_F(FrmMainTest, ApplyingTwoServersSucceedsAndUnloads) {
    Load(TwoAdapters());
    Choose(1);
    form_.Command9_Click();
    EXPECT_EQ(view_.messages, std::vector<std::string>{"Done!"});
    EXPECT_EQ(view_.unloads, 1);
    EXPECT_EQ(form_.returnCode(), 0);
    EXPECT_EQ(CallsOf("SetDNSServerSearchOrder"),
              (std::vector<Call>{{12, "SetDNSServerSearchOrder", "8.8.8.8|8.8.4.4"}}));
    EXPECT_EQ(Read().adapters[1].dns, (std::vector<std::string>{"8.8.8.8", "8.8.4.4"}));
    EXPECT_EQ(spy_.objectPaths.back(), "winmgmts:Win32_NetworkAdapterConfiguration=12")
        << "the configuration is fetched afresh";
}

TEST_F(FrmMainTest, ThePlaceholderLeavesAPositionOutAndOnlyAnExactMatchCounts) {
    struct Case {
        std::string text4, text5, argument;
    };
    const Case cases[] = {
        {"1.1.1.1", "0.0.0.0", "1.1.1.1"}, {"0.0.0.0", "1.0.0.1", "1.0.0.1"},
        {"0.0.0.0", "0.0.0.0", "unset"},   {" 0.0.0.0", "0.0.0.0", " 0.0.0.0"},
        {"", "8.8.4.4", "|8.8.4.4"},
    };
    Load(TwoAdapters());
    for (const auto& c : cases) {
        spy_.calls.clear();
        Choose(0);
        view_.text4 = c.text4;
        view_.text5 = c.text5;
        form_.Command9_Click();
        ASSERT_EQ(spy_.calls.size(), 1u);
        EXPECT_EQ(spy_.calls[0].argument, c.argument) << c.text4 << "/" << c.text5;
    }
    // The last two were sent as typed and refused by the component.
    EXPECT_EQ(view_.messages.back(), "Status: Error! - Invalid IP address.");
    EXPECT_EQ(Read().adapters[0].dns, std::nullopt) << "the unset argument dropped the list";
}

TEST_F(FrmMainTest, AFailureCodeKeepsTheWindowAsItWas) {
    mgmt::SimulatedState state = TwoAdapters();
    state.adapters[0].fail["SetDNSServerSearchOrder"] = 91;
    Load(state);
    Choose(0);
    view_.text4 = "9.9.9.9";
    form_.Command9_Click();
    EXPECT_EQ(view_.messages, std::vector<std::string>{"Status: Error! - Access denied."});
    EXPECT_EQ(view_.unloads, 0);
    EXPECT_EQ(form_.returnCode(), 91);
    EXPECT_EQ(view_.text4, "9.9.9.9");
    EXPECT_EQ(view_.label10, "192.0.2.1");
    EXPECT_EQ(Read().adapters[0].dns, state.adapters[0].dns);

    spy_.answers["SetDNSServerSearchOrder"] = 69;
    form_.Command9_Click();
    EXPECT_EQ(view_.messages.back(), "Status: Error! - Unknown.");
    spy_.answers["SetDNSServerSearchOrder"] = 1;
    form_.Command9_Click();
    EXPECT_EQ(view_.messages.back(), "Done!");
    EXPECT_EQ(view_.unloads, 1) << "1 is success that needs a restart";
}

TEST_F(FrmMainTest, ACallThatThrowsIsAnUnknownFailureNeverDone) {
    Load(TwoAdapters());
    Choose(0);
    ASSERT_EQ(form_.returnCode(), 0) << "the code left from before would read as success";
    spy_.throwing.insert("SetDNSServerSearchOrder");
    form_.Command9_Click();
    EXPECT_EQ(view_.messages, std::vector<std::string>{"Status: Error! - Unknown failure."});
    EXPECT_EQ(form_.returnCode(), 65);
    EXPECT_EQ(view_.unloads, 0);
}

TEST_F(FrmMainTest, ACodeBeyondSixteenBitsIsNotTruncatedIntoSuccess) {
    Load(TwoAdapters());
    Choose(0);
    spy_.answers["SetDNSServerSearchOrder"] = 65536; // 0 in its low 16 bits
    form_.Command9_Click();
    EXPECT_EQ(view_.messages, std::vector<std::string>{"Status: Error! - Unknown failure."});
    EXPECT_EQ(view_.unloads, 0);
}

TEST_F(FrmMainTest, AnAdapterThatVanishedBeforeApplyingGetsNothingSent) {
    Load(TwoAdapters());
    Choose(1);
    mgmt::SimulatedState state = TwoAdapters();
    state.adapters.pop_back();
    Write(state);
    form_.Command9_Click();
    EXPECT_TRUE(CallsOf("SetDNSServerSearchOrder").empty()) << "not to the object fetched before";
    EXPECT_EQ(view_.messages, std::vector<std::string>{"Status: Error! - Unknown failure."});
    EXPECT_EQ(view_.unloads, 0);
}

TEST_F(FrmMainTest, RevertCallsInFixedOrderAndReportsTheDnsCall) {
    mgmt::SimulatedState state = TwoAdapters();
    state.adapters[0].dhcpEnabled = false;
    state.adapters[0].gateways = {"192.0.2.254"};
    Load(state);
    Choose(0);
    form_.Command10_Click();
    EXPECT_EQ(spy_.calls, (std::vector<Call>{{7, "BeginChanges", ""},
                                             {7, "EnableDHCP", ""},
                                             {7, "SetGateways", "null"},
                                             {7, "SetGateways", "null,null"},
                                             {7, "SetDNSServerSearchOrder", "null"},
                                             {7, "CommitChanges", ""}}));
    EXPECT_EQ(view_.messages, std::vector<std::string>{"Done!"});
    EXPECT_EQ(view_.unloads, 1);
    const auto after = Read().adapters[0];
    EXPECT_TRUE(after.dhcpEnabled);
    EXPECT_TRUE(after.gateways.empty());
    EXPECT_EQ(after.dns, std::nullopt);
}

TEST_F(FrmMainTest, RevertReportsOnlyTheLastCallExceptAReboot) {
    struct Case {
        mgmt::ReturnCode dhcp, dns;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {1, 0, {"A reboot is required.", "Done!"}},
        {0, 91, {"Status: Error! - Access denied."}},
        {100, 0, {"Done!"}},
    };
    Load(TwoAdapters());
    for (const auto& c : cases) {
        view_.messages.clear();
        Choose(0);
        spy_.answers = {
            {"EnableDHCP", c.dhcp}, {"SetGateways", 71}, {"SetDNSServerSearchOrder", c.dns}};
        form_.Command10_Click();
        EXPECT_EQ(view_.messages, c.messages) << c.dhcp << "/" << c.dns;
    }
}

TEST_F(FrmMainTest, RevertGoesOnPastFailingStepsButNeverReportsAThrowAsDone) {
    Load(TwoAdapters());
    Choose(0);
    spy_.throwing = {"EnableDHCP", "SetGateways"};
    form_.Command10_Click();
    EXPECT_EQ(CallsOf("SetDNSServerSearchOrder").size(), 1u);
    EXPECT_EQ(view_.messages, std::vector<std::string>{"Done!"});

    view_.messages.clear();
    spy_.throwing = {"SetDNSServerSearchOrder"}; // the gateway calls answered 0 before it
    form_.Command10_Click();
    EXPECT_EQ(view_.messages, std::vector<std::string>{"Status: Error! - Unknown failure."});
}

TEST_F(FrmMainTest, RevertReportsAFailedCommitButNeverHidesTheDnsCallsFailure) {
    struct Case {
        mgmt::ReturnCode dns, commit;
        bool commitThrows;
        std::string message;
    };
    const Case cases[] = {
        {0, 91, false, "Status: Error! - Access denied."},
        {1, 0, false, "Done!"},
        {100, 0, false, "Status: Error! - DHCP not enabled on adapter."},
        {0, 0, true, "Status: Error! - Unknown failure."},
    };
    Load(TwoAdapters());
    for (const auto& c : cases) {
        view_.messages.clear();
        Choose(0);
        spy_.answers = {{"SetDNSServerSearchOrder", c.dns}, {"CommitChanges", c.commit}};
        spy_.throwing.clear();
        if (c.commitThrows) spy_.throwing = {"CommitChanges"};
        form_.Command10_Click();
        EXPECT_EQ(view_.messages, std::vector<std::string>{c.message}) << c.dns << "/" << c.commit;
    }
    EXPECT_TRUE(CallsOf("BeginChanges").size() == 4 && CallsOf("CommitChanges").size() == 4);
}

TEST_F(FrmMainTest, PresetsFillTheTextBoxesOnly) {
    Load(TwoAdapters());
    Choose(0);
    form_.Command7_Click();
    EXPECT_EQ(view_.text4, "208.67.222.222");
    EXPECT_EQ(view_.text5, "208.67.220.220");
    form_.Command5_Click();
    form_.Command5_Click();
    EXPECT_EQ(view_.text4, "8.8.8.8");
    EXPECT_EQ(view_.text5, "8.8.4.4");
    form_.Command7_Click();
    EXPECT_EQ(view_.label10, "192.0.2.1") << "the current values are not touched";
    EXPECT_TRUE(spy_.calls.empty());

    form_.Command9_Click();
    EXPECT_EQ(CallsOf("SetDNSServerSearchOrder").at(0).argument, "208.67.222.222|208.67.220.220");
}

TEST_F(FrmMainTest, ExplanationsShowTheirTexts) {
    form_.Command6_Click();
    form_.Command8_Click();
    ASSERT_EQ(view_.messages.size(), 2u);
    EXPECT_EQ(view_.messages[0],
              "This option will set your new DNS servers to Googles free DNS service");
    EXPECT_EQ(
        view_.messages[1],
        "This option will set your new DNS servers to the ips of opendns.com\r\n"
        "These DNS servers I personally use and are free, for more info visit www.opendns.com");
}

TEST(ReturnCodeMessage, NamesTheListedCodesAndLumpsTheRest) {
    using velmora::app::text::ReturnCodeMessage;
    EXPECT_EQ(ReturnCodeMessage(0), "Done!");
    EXPECT_EQ(ReturnCodeMessage(1), "Done!");
    EXPECT_EQ(ReturnCodeMessage(67),
              "Status: Error! - An error occured while processing an instance that was returned.");
    EXPECT_EQ(ReturnCodeMessage(97), "Status: Error! - Interface not configurable.");
    EXPECT_EQ(ReturnCodeMessage(100), "Status: Error! - DHCP not enabled on adapter.");
    for (std::int16_t code : {2, 63, 69, 72, 78, 82, 89, 93, 98, 99, 101, -1})
        EXPECT_EQ(ReturnCodeMessage(code), "Status: Error! - Unknown.") << code;
}

} // namespace

TEST_F(FrmMainTest, LinkImagesOpenTheirPagesAndAFailureStaysSilent) {
    platform::HeadlessHost host;
    platform::ScopedEnvironment env;
    env->host = &host;
    form_.aicAlphaImage4_Click();
    form_.aicAlphaImage6_Click();
    form_.aicAlphaImage5_Click();
    ASSERT_EQ(host.shellOpened.size(), 3u);
    EXPECT_EQ(host.shellOpened[0].file, velmora::app::links::kMakerHomePage);
    EXPECT_EQ(host.shellOpened[1].file, velmora::app::links::kProjectHomePage);
    EXPECT_EQ(host.shellOpened[2].file, velmora::app::links::kIssueTracker);
    for (const auto& call : host.shellOpened) {
        EXPECT_EQ(call.operation, "Open");
        EXPECT_EQ(call.parameters, "");
        EXPECT_EQ(call.directory, "");
        EXPECT_EQ(call.showCommand, 1);
    }

    host.shellAnswer = 2; // no handler for the address
    form_.aicAlphaImage4_Click();
    EXPECT_TRUE(view_.messages.empty());
    EXPECT_TRUE(spy_.calls.empty()) << "no adapter is touched";
}

namespace {

namespace st = velmora::speedtest;
using velmora::app::FrmExtras;
using velmora::app::SpeedTestReport;

st::Result Measured(const char* server, int answered, int lost) {
    st::Result result;
    result.server = *st::ParseEndpoint(server);
    result.queries = answered + lost;
    result.lost = lost;
    result.times.assign(static_cast<std::size_t>(answered), std::chrono::milliseconds(20));
    return result;
}

// Stands in for the progress dialog and the results window.
class FakeSpeedTestView final : public velmora::app::SpeedTestView {
public:
    std::optional<std::vector<st::Result>> RunQueries(const std::vector<st::Endpoint>& servers,
                                                      const st::Options&) override {
        asked = servers;
        if (fail) throw std::runtime_error("cannot initialise the resolver library");
        return answer;
    }
    bool ShowResults(const SpeedTestReport& report) override {
        shown.push_back(report);
        return use;
    }

    std::vector<st::Endpoint> asked;
    std::optional<std::vector<st::Result>> answer;
    std::vector<SpeedTestReport> shown;
    bool use = false;
    bool fail = false;
};

class FrmExtrasTest : public ::testing::Test {
protected:
    void SetUp() override {
        mgmt::SimulatedState state;
        state.adapters = {
            Adapter(7, "Ethernet", std::vector<std::string>{"192.0.2.1", "2001:db8::1"}),
            Adapter(12, "Wireless")};
        std::ofstream(file_) << mgmt::SerializeSimulatedState(state);
        form_.Form_Load();
    }
    void Choose(int position) {
        view_.SelectAdapter(position);
        form_.Combo1_Click();
    }

    TempFolder folder_;
    std::filesystem::path file_ = folder_.path() / "state.json";
    mgmt::SimulatedBackend simulated_{file_};
    mgmt::RecordingBackend recording_{simulated_, mgmt::RecordStore{folder_.path() / "records"}};
    FakeView view_;
    FrmMain form_{view_, recording_};
    std::ostringstream notices_;
    FrmExtras extras_{view_, form_, recording_, notices_};
};

// Ten queries per server, as a lossy network answers them.
TEST_F(FrmExtrasTest, TheFastestTwoAreThoseThatLostAtMostATenth) {
    const std::vector<st::Result> ranked{
        Measured("192.0.2.10:5353", 10, 0), // not on the standard port
        Measured("192.0.2.11", 8, 2),       // lost a fifth
        Measured("192.0.2.12", 9, 1),       // lost a tenth
        Measured("192.0.2.12", 10, 0),      // the same address again
        Measured("192.0.2.13", 10, 0),      Measured("192.0.2.14", 10, 0),
        Measured("192.0.2.15", 0, 10)};
    EXPECT_EQ(FrmExtras::FastestTwo(ranked),
              (std::vector<std::string>{"192.0.2.12", "192.0.2.13"}));
    EXPECT_EQ(FrmExtras::FastestTwo({Measured("192.0.2.16", 0, 0)}), std::vector<std::string>{})
        << "a server never asked has not shown it answers";

    const SpeedTestReport report = FrmExtras::Report(ranked, {*st::ParseEndpoint("2001:db8::1"),
                                                              *st::ParseEndpoint("2001:db8::2"),
                                                              *st::ParseEndpoint("[::1]:53")});
    ASSERT_EQ(report.rows.size(), ranked.size());
    EXPECT_EQ(report.rows[1].rank, 2);
    EXPECT_EQ(report.rows[1].server, "192.0.2.11");
    EXPECT_EQ(report.rows[1].median, 20.0);
    EXPECT_EQ(report.rows[1].lost, 2);
    EXPECT_EQ(report.rows[1].queries, 10);
    EXPECT_EQ(report.rows[6].median, std::nullopt);
    EXPECT_EQ(report.leftOut, std::vector<std::string>{
                                  "3 IPv6 servers are left out: this machine has no IPv6 route "
                                  "to them."});
    EXPECT_EQ(report.fastest, (std::vector<std::string>{"192.0.2.12", "192.0.2.13"}));
    EXPECT_TRUE(FrmExtras::Report({Measured("192.0.2.13", 10, 0)}, {}).fastest.empty())
        << "one server that qualifies is not two";
}

TEST_F(FrmExtrasTest, TheSpeedTestAsksOnlyRoutableServersAndFillsTheBoxesWhenAsked) {
    FakeSpeedTestView test;
    auto ipv4Only = [](const st::Endpoint& server) { return !server.ipv6; };
    test.answer =
        std::vector<st::Result>{Measured("192.0.2.30", 10, 0), Measured("192.0.2.20", 9, 1)};
    test.use = true;
    const auto all = extras_.SpeedTestServers();
    const auto ipv6 = std::count_if(all.begin(), all.end(), [](const auto& s) { return s.ipv6; });
    extras_.RunSpeedTest(test, ipv4Only);
    ASSERT_FALSE(test.asked.empty());
    for (const auto& server : test.asked)
        EXPECT_FALSE(server.ipv6) << server.text;
    ASSERT_EQ(test.shown.size(), 1u);
    ASSERT_EQ(test.shown[0].leftOut.size(), 1u);
    EXPECT_EQ(test.asked.size() + static_cast<std::size_t>(ipv6), all.size());
    EXPECT_TRUE(test.shown[0].leftOut[0].starts_with(std::to_string(ipv6) + " IPv6 servers"));
    EXPECT_EQ(view_.text4, "192.0.2.30") << "ranked by median: equal, then by p90, then lost";
    EXPECT_EQ(view_.text5, "192.0.2.20");

    // Only one server qualifies: nothing to use, whatever is clicked.
    view_.text4 = "8.8.8.8", view_.text5 = "8.8.4.4";
    test.answer =
        std::vector<st::Result>{Measured("192.0.2.30", 10, 0), Measured("192.0.2.20", 8, 2)};
    extras_.RunSpeedTest(test, ipv4Only);
    EXPECT_TRUE(test.shown.back().fastest.empty());
    EXPECT_EQ(view_.text4, "8.8.8.8");
    EXPECT_EQ(view_.text5, "8.8.4.4");

    // Cancelled: no results window.
    test.answer.reset();
    extras_.RunSpeedTest(test, ipv4Only);
    EXPECT_EQ(test.shown.size(), 2u);
    EXPECT_TRUE(view_.messages.empty());

    test.fail = true;
    extras_.RunSpeedTest(test, ipv4Only);
    EXPECT_EQ(view_.messages,
              std::vector<std::string>{"Status: Error! - cannot initialise the resolver library"});
}

TEST_F(FrmExtrasTest, RestoreIsOfferedOnlyWithARecordAndNamesTheAdapterByItsDescription) {
    EXPECT_FALSE(extras_.CanRestore()) << "no adapter chosen";
    Choose(0);
    EXPECT_FALSE(extras_.CanRestore()) << "nothing changed yet";
    extras_.RestoreChosen();
    EXPECT_EQ(view_.messages, std::vector<std::string>{
                                  "Nothing is recorded for Ethernet: Velmora has not changed it "
                                  "since the last restore."});
    view_.text4 = "192.0.2.9";
    form_.Command9_Click();
    EXPECT_TRUE(extras_.CanRestore());
    Choose(1);
    EXPECT_FALSE(extras_.CanRestore()) << "the record is the other adapter's";

    // The record under index 7 was made for "Ethernet"; renamed, the index
    // names another adapter.
    auto state = mgmt::ParseSimulatedState(
        std::string{std::istreambuf_iterator<char>(std::ifstream(file_).rdbuf()), {}});
    state.adapters[0].description = "Another card";
    std::ofstream(file_) << mgmt::SerializeSimulatedState(state);
    view_.entries.clear(), view_.selected = -1;
    form_.Form_Load();
    Choose(0);
    EXPECT_FALSE(extras_.CanRestore());
    view_.messages.clear();
    extras_.RestoreChosen();
    ASSERT_EQ(view_.messages.size(), 1u);
    EXPECT_EQ(view_.messages[0].find("7"), std::string::npos) << view_.messages[0];
    EXPECT_NE(view_.messages[0].find("Another card"), std::string::npos);
}

TEST_F(FrmExtrasTest, ARecordThatCannotBeMadeIsExplainedOnTheNoticeStream) {
    std::ofstream(folder_.path() / "blocked") << "";
    mgmt::RecordingBackend blocked{simulated_, mgmt::RecordStore{folder_.path() / "blocked"}};
    FrmMain form{view_, blocked};
    FrmExtras extras{view_, form, blocked, notices_};
    Choose(0);
    form.Command9_Click();
    EXPECT_EQ(view_.messages, std::vector<std::string>{"Status: Error! - Unknown failure."});
    EXPECT_TRUE(notices_.str().starts_with("velmora: cannot record the adapter's settings"))
        << notices_.str();
    EXPECT_TRUE(notices_.str().ends_with("\n"));
}

} // namespace

#include "app/command_line.h"
#include "app/frm_extras.h"
#include "app/management/recording_backend.h"
#include "app/management/state_record.h"
#include "app_test_support.h"
// The local DNS responder is POSIX's; Windows asks servers through the
// system resolver's DnsQueryEx, which Wine lacks, so the case that needs
// servers to answer is Linux's.
#ifndef _WIN32
#include "dns_responder.h"
#endif

#include <ctime>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace velmora::testing;
namespace app = velmora::app;

namespace {

mgmt::StateRecord SampleRecord() {
    mgmt::StateRecord record;
    record.component = "networkmanager";
    record.index = 2;
    record.description = "veth (eth0)";
    record.recorded = "2026-12-10T07:00:00Z";
    record.before = "set";
    record.state.ipv4Method = "manual";
    record.state.ipv4Addresses = {"192.0.2.10/24"};
    record.state.gateways = {"192.0.2.1"};
    record.state.ipv4 = {{"192.0.2.53", "198.51.100.1#dns.example"}, true};
    record.state.ipv6 = {{"2001:db8::53"}, false};
    record.state.dnsOverTls = mgmt::DnsOverTls::Opportunistic;
    return record;
}

TEST(StateRecord, RoundTripsAndRefusesAnythingDamaged) {
    const mgmt::StateRecord record = SampleRecord();
    const std::string text = mgmt::SerializeStateRecord(record);
    EXPECT_EQ(mgmt::ParseStateRecord(text), record);

    auto with = [&](const std::string& from, const std::string& to) {
        std::string changed = text;
        const auto at = changed.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return changed.replace(at, from.size(), to);
    };
    const std::string damaged[] = {
        "",
        "[]",
        text.substr(0, text.size() / 2),
        with("\"version\": 1", "\"version\": 2"),
        with("\"index\": 2", "\"index\": 2147483648"),
        with("\"index\": 2", "\"index\": \"2\""),
        with("\"manual\"", "\"static\""),
        with("\"192.0.2.10/24\"", "\"192.0.2.10/33\""),
        with("\"192.0.2.10/24\"", "\"192.0.2.10\""),
        with("\"192.0.2.10/24\"", "\"2001:db8::1/64\""),
        with("\"192.0.2.53\"", "\"192.0.2.300\""),
        with("\"192.0.2.53\"", "\"2001:db8::99\""),
        with("\"2001:db8::53\"", "\"192.0.2.99\""),
        with("#dns.example", "#bad name"),
        with("#dns.example", "#"),
        with("\"opportunistic\"", "\"maybe\""),
        with("\"ignoreAutomatic\": true", "\"ignoreAutomatic\": 1"),
        with("\"component\": \"networkmanager\",", ""),
    };
    for (const auto& bad : damaged)
        EXPECT_THROW(mgmt::ParseStateRecord(bad), mgmt::ManagementError) << bad;
}

// The time a record carries is the system's calendar in UTC: the same text
// the C library makes of a moment between the two it is taken between
// (ISO 8601 texts of one length sort as their moments do).
TEST(StateRecord, RecordedTimeIsUtcInIso8601) {
    const auto format = [](std::time_t moment) {
        std::tm utc{};
#ifdef _WIN32
        ::gmtime_s(&utc, &moment);
#else
        ::gmtime_r(&moment, &utc);
#endif
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
        return std::string(text);
    };
    const std::string before = format(std::time(nullptr));
    const std::string now = mgmt::UtcNow();
    const std::string after = format(std::time(nullptr));
    EXPECT_EQ(now.size(), before.size()) << now;
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
}

TEST(StateRecord, TheFirstRecordStaysAndNothingElseIsLeftBehind) {
    TempFolder folder;
    mgmt::RecordStore store(folder.path() / "records");
    mgmt::StateRecord first = SampleRecord();
    EXPECT_EQ(store.Load(first.component, first.index), std::nullopt);
    EXPECT_TRUE(store.Create(first));
    mgmt::StateRecord second = first;
    second.state.ipv4.servers = {"203.0.113.1"};
    EXPECT_FALSE(store.Create(second)) << "a record is never replaced";
    EXPECT_EQ(store.Load(first.component, first.index), first);
    for (const auto& entry : std::filesystem::directory_iterator(store.folder()))
        EXPECT_EQ(entry.path().extension(), ".json") << "no temporary file is left behind";

    // Another component's adapter with the same index has its own record.
    EXPECT_NE(store.FileFor("simulated:/a.json", 2), store.FileFor("simulated:/b.json", 2));
    EXPECT_NE(store.FileFor("networkmanager", 2), store.FileFor("simulated:/a.json", 2));
    EXPECT_EQ(store.Load("simulated:/a.json", 2), std::nullopt);

    std::ofstream(store.FileFor(first.component, first.index)) << "{\"version\": 1";
    EXPECT_THROW(store.Load(first.component, first.index), mgmt::ManagementError);
    store.Remove(first.component, first.index);
    EXPECT_EQ(store.Load(first.component, first.index), std::nullopt);
    EXPECT_THROW(mgmt::RecordStore{""}.Create(first), mgmt::ManagementError);
}

class RecordingTest : public ::testing::Test {
protected:
    void SetUp() override {
        mgmt::SimulatedState state;
        auto first = Adapter(3, "Wired", std::vector<std::string>{"192.0.2.1", "2001:db8::1"});
        first.dhcpEnabled = false;
        first.gateways = {"192.0.2.254"};
        state.adapters = {first, Adapter(4, "Wireless")};
        Write(state);
        original_ = state;
    }
    void Write(const mgmt::SimulatedState& state) {
        std::ofstream(file_) << mgmt::SerializeSimulatedState(state);
    }
    mgmt::SimulatedState Read() {
        std::ifstream in(file_);
        return mgmt::ParseSimulatedState(std::string{std::istreambuf_iterator<char>(in), {}});
    }
    int Run(std::initializer_list<std::string_view> args,
            mgmt::RecordingBackend* backend = nullptr) {
        out_.str("");
        err_.str("");
        auto parsed =
            app::ParseCommandLine(std::span<const std::string_view>(args.begin(), args.size()));
        if (auto* error = std::get_if<app::UsageError>(&parsed)) {
            err_ << error->message;
            return app::kExitUsage;
        }
        return app::RunCommand(std::get<app::CommandLine>(parsed), backend ? *backend : recording_,
                               out_, err_);
    }

    TempFolder folder_;
    std::filesystem::path file_ = folder_.path() / "state.json";
    mgmt::SimulatedState original_;
    mgmt::SimulatedBackend backend_{file_};
    mgmt::RecordStore store_{folder_.path() / "records"};
    mgmt::RecordingBackend recording_{backend_, store_};
    std::ostringstream out_;
    std::ostringstream err_;
};

TEST_F(RecordingTest, RestoreAfterSetAndAfterDhcpPutsBothFamiliesBack) {
    for (auto change : {std::initializer_list<std::string_view>{"set", "3", "9.9.9.9", "0.0.0.0"},
                        std::initializer_list<std::string_view>{"dhcp", "3"},
                        std::initializer_list<std::string_view>{"set", "3", "--preset", "quad9"}}) {
        ASSERT_EQ(Run(change), 0) << err_.str();
        EXPECT_NE(Read(), original_);
        // A second change keeps the first record: restore goes back to the
        // settings from before Velmora touched the adapter.
        ASSERT_EQ(Run({"set", "3", "0.0.0.0", "2001:db8::99"}), 0);
        ASSERT_EQ(Run({"history", "3"}), 0);
        EXPECT_NE(out_.str().find("ipv4.dns\t192.0.2.1\n"), std::string::npos) << out_.str();
        EXPECT_NE(out_.str().find("ipv6.dns\t2001:db8::1\n"), std::string::npos);
        EXPECT_NE(out_.str().find("ipv4.method\tmanual\n"), std::string::npos);
        EXPECT_NE(out_.str().find("before\t" + std::string{*(change.begin())} + "\n"),
                  std::string::npos);
        EXPECT_EQ(Run({"restore", "3"}), 0) << err_.str();
        EXPECT_EQ(out_.str(), "Done!\n");
        EXPECT_EQ(Read(), original_) << *change.begin();
        EXPECT_EQ(Run({"history", "3"}), 1) << "a restore uses the record up";
        EXPECT_EQ(err_.str(), "velmora: nothing recorded for adapter 3\n");
    }
    EXPECT_EQ(Run({"restore", "3"}), 1);
    EXPECT_NE(err_.str().find("nothing recorded for adapter 3"), std::string::npos);
}

TEST_F(RecordingTest, TheWindowsChangesAreRecordedFirst) {
    FakeView view;
    app::FrmMain form(view, recording_);
    form.Form_Load();
    view.selected = 0;
    form.Combo1_Click();
    form.Command10_Click();
    EXPECT_EQ(view.messages, std::vector<std::string>{"Done!"});
    auto record = store_.Load(backend_.Identity(), 3);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->before, "window");
    EXPECT_EQ(record->description, "Wired");
    EXPECT_EQ(record->state, mgmt::SimulatedDnsState(original_.adapters[0]));
    EXPECT_FALSE(store_.Load(backend_.Identity(), 4)) << "only the adapter changed is recorded";
}

// A change that was refused changed nothing, so its record goes and the
// next change records afresh; where part of it took effect, or where the
// record was made for an earlier change, the record stays.
TEST_F(RecordingTest, ARecordMadeForARefusedChangeGoesUnlessSomethingChanged) {
    FakeView view;
    app::FrmMain form(view, recording_);
    form.Form_Load();
    view.selected = 0;
    form.Combo1_Click();
    auto recorded = [&] { return store_.Load(backend_.Identity(), 3).has_value(); };

    view.text4 = "192.0.2.300";
    form.Command9_Click();
    EXPECT_EQ(view.messages.back(), "Status: Error! - Invalid IP address.");
    EXPECT_FALSE(recorded()) << "a refused apply";

    mgmt::SimulatedState refusing = original_;
    refusing.adapters[0].fail = {
        {"EnableDHCP", 91}, {"SetGateways", 91}, {"SetDNSServerSearchOrder", 91}};
    Write(refusing);
    form.Command10_Click();
    EXPECT_EQ(view.messages.back(), "Status: Error! - Access denied.");
    EXPECT_FALSE(recorded()) << "a revert whose every step was refused";
    EXPECT_EQ(Read(), refusing);

    mgmt::SimulatedState halfway = original_;
    halfway.adapters[0].fail = {{"SetDNSServerSearchOrder", 91}};
    Write(halfway);
    form.Command10_Click();
    EXPECT_EQ(view.messages.back(), "Status: Error! - Access denied.");
    ASSERT_TRUE(recorded()) << "DHCP and the gateways changed before the refusal";
    EXPECT_EQ(store_.Load(backend_.Identity(), 3)->state,
              mgmt::SimulatedDnsState(original_.adapters[0]));

    // The record of that change outlives a later refusal.
    form.Command10_Click();
    EXPECT_TRUE(recorded());
    EXPECT_EQ(Run({"set", "3", "9.9.9.9", "0.0.0.0"}), 1) << "still refused by the adapter";
    EXPECT_TRUE(recorded());

    // The command line's whole-state path: refused, no record left behind.
    Write(original_);
    ASSERT_EQ(Run({"restore", "3"}), 0) << err_.str();
    refusing = original_;
    refusing.adapters[0].fail = {{"WriteDnsState", 91}};
    Write(refusing);
    mgmt::RecordingBackend fresh{backend_, store_};
    EXPECT_EQ(Run({"set", "3", "--preset", "quad9", "--dot"}, &fresh), 1);
    EXPECT_NE(err_.str().find("Access denied"), std::string::npos) << err_.str();
    EXPECT_FALSE(recorded());
}

TEST_F(RecordingTest, ACrashBetweenRecordAndChangeLosesNothing) {
    // The record is made, then the process ends before its change.
    mgmt::RecordingBackend before{backend_, store_};
    before.EnsureRecorded(3, "Wired");
    // A later run changes the adapter twice; the record still holds the
    // settings from before any change.
    mgmt::RecordingBackend later{backend_, store_};
    ASSERT_EQ(Run({"set", "3", "9.9.9.9", "0.0.0.0"}, &later), 0);
    ASSERT_EQ(Run({"dhcp", "3"}, &later), 0);
    EXPECT_EQ(Run({"restore", "3"}), 0);
    EXPECT_EQ(Read(), original_);
}

TEST_F(RecordingTest, NoRecordNoChange) {
    // The records folder cannot be made: a file stands in its way.
    std::ofstream(folder_.path() / "blocked") << "";
    mgmt::RecordingBackend blocked{backend_, mgmt::RecordStore{folder_.path() / "blocked"}};
    std::vector<std::string> notices;
    blocked.SetNoticeSink([&](const std::string& text) { notices.push_back(text); });
    EXPECT_EQ(Run({"set", "3", "9.9.9.9", "0.0.0.0"}, &blocked), 1);
    EXPECT_EQ(err_.str(), "Status: Error! - Unknown failure.\n");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("nothing was changed"), std::string::npos);
    EXPECT_EQ(Read(), original_);
}

TEST_F(RecordingTest, ARecordIsRestoredOnlyToTheAdapterItWasMadeFrom) {
    ASSERT_EQ(Run({"set", "3", "9.9.9.9", "0.0.0.0"}), 0);
    mgmt::SimulatedState renamed = Read();
    renamed.adapters[0].description = "Another card";
    Write(renamed);
    EXPECT_EQ(Run({"restore", "3"}), 1);
    EXPECT_NE(err_.str().find("was made for \"Wired\", not for \"Another card\""),
              std::string::npos)
        << err_.str();
    EXPECT_EQ(Read(), renamed);
}

TEST_F(RecordingTest, PresetsAndDnsOverTlsGoIntoTheAdapterWhole) {
    ASSERT_EQ(Run({"presets"}), 0);
    EXPECT_NE(
        out_.str().find("quad9\t9.9.9.9,149.112.112.112\t2620:fe::fe,2620:fe::9\tdns.quad9.net\t"),
        std::string::npos);
    EXPECT_NE(out_.str().find("opendns\t208.67.222.222,208.67.220.220\t"), std::string::npos);
    for (const char* name :
         {"google", "cloudflare-family", "adguard-unfiltered", "quad9-unfiltered"})
        EXPECT_NE(out_.str().find(std::string{name} + "\t"), std::string::npos) << name;

    ASSERT_EQ(Run({"set", "3", "--preset", "Cloudflare"}), 0) << "names ignore letter case";
    EXPECT_EQ(Read().adapters[0].dns,
              (std::vector<std::string>{"1.1.1.1", "1.0.0.1", "2606:4700:4700::1111",
                                        "2606:4700:4700::1001"}));
    ASSERT_EQ(Run({"set", "3", "--preset", "adguard", "--dot"}), 0) << err_.str();
    const auto adapter = Read().adapters[0];
    EXPECT_EQ(adapter.dnsOverTls, mgmt::DnsOverTls::Yes);
    EXPECT_EQ(adapter.dns->front(), "94.140.14.14#dns.adguard-dns.com");
    EXPECT_EQ(adapter.dns->back(), "2a10:50c0::ad2:ff#dns.adguard-dns.com");
    ASSERT_EQ(Run({"show", "3"}), 0);
    EXPECT_EQ(out_.str(), "94.140.14.14\n94.140.15.15\n") << "the servers in use, addresses only";

    // Typed servers with DNS over TLS: one family replaced, the other kept.
    ASSERT_EQ(Run({"set", "3", "192.0.2.7", "0.0.0.0", "--dot"}), 0);
    EXPECT_EQ(Read().adapters[0].dns->front(), "192.0.2.7");
    EXPECT_EQ(Read().adapters[0].dns->size(), 3u);
    // Not an address: refused as a bad argument, before anything changes.
    const auto before = Read();
    EXPECT_EQ(Run({"set", "3", "192.0.2.300", "0.0.0.0", "--dot"}), app::kExitUsage);
    EXPECT_TRUE(err_.str().starts_with("not a server address: \"192.0.2.300\"")) << err_.str();
    EXPECT_EQ(Read(), before);

    EXPECT_EQ(Run({"restore", "3"}), 0);
    EXPECT_EQ(Read(), original_) << "restore also puts back the DNS-over-TLS mode";
}

TEST_F(RecordingTest, WithoutDnsOverTlsNothingIsHalfApplied) {
    original_.encryptedDns = false;
    Write(original_);
    EXPECT_EQ(Run({"set", "3", "--preset", "quad9", "--dot"}), app::kExitUnsupported);
    EXPECT_EQ(out_.str(), "");
    EXPECT_NE(err_.str().find("DNS over TLS is not available"), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find("nothing was changed"), std::string::npos);
    EXPECT_EQ(Read(), original_);
    EXPECT_FALSE(store_.Load(backend_.Identity(), 3)) << "no change, so no record either";

    EXPECT_EQ(Run({"set", "3", "--preset", "opendns", "--dot"}), app::kExitUsage);
    EXPECT_NE(err_.str().find("offers no DNS over TLS"), std::string::npos);
    EXPECT_EQ(Run({"set", "3", "--preset", "nosuch"}), app::kExitUsage);
    EXPECT_EQ(Run({"set", "3", "8.8.8.8", "--preset", "google"}), app::kExitUsage);
}

#ifndef _WIN32
TEST_F(RecordingTest, BenchRanksLocalServersAndAppliesTheFastestComplete) {
    DnsResponder fast(DnsResponder::Mode::Answer);
    DnsResponder silent(DnsResponder::Mode::Drop);
    const std::string f = fast.Server(), s = silent.Server();
    ASSERT_EQ(Run({"bench", s, f, "--rounds", "1", "--timeout=1000"}), 0) << err_.str();
    std::istringstream table(out_.str());
    std::string header, first, second;
    std::getline(table, header);
    std::getline(table, first);
    std::getline(table, second);
    EXPECT_EQ(header, "rank\tserver\tmedian_ms\tp90_ms\tlost\tqueries");
    EXPECT_TRUE(first.starts_with("1\t" + f + "\t")) << first;
    EXPECT_TRUE(first.ends_with("\t0\t5")) << first;
    EXPECT_EQ(second, "2\t" + s + "\t-\t-\t5\t5");

    // Servers on another port cannot be given to an adapter.
    EXPECT_EQ(Run({"bench", f, "--rounds", "1", "--apply", "3"}), 1);
    EXPECT_NE(err_.str().find("nothing was changed"), std::string::npos);
    EXPECT_EQ(Read(), original_);

    for (const char* bad : {"1.2.3", "8.8.8.8:0", "[::1]:99999", "dns.google"}) {
        EXPECT_EQ(Run({"bench", bad}), app::kExitUsage) << bad;
        EXPECT_NE(err_.str().find("not a server"), std::string::npos) << err_.str();
    }
    EXPECT_EQ(Run({"bench", "--apply", "x"}), app::kExitUsage);
    EXPECT_EQ(Run({"bench", "--rounds", "0"}), app::kExitUsage);
    EXPECT_EQ(Run({"list", "--dot"}), app::kExitUsage);
}
#endif

TEST_F(RecordingTest, DefaultBenchServersArePresetsAndTheAdaptersOwn) {
    auto servers = app::DefaultBenchServers(recording_, 3);
    auto has = [&](const std::string& text) {
        for (const auto& s : servers)
            if (s.text == text) return true;
        return false;
    };
    EXPECT_TRUE(has("8.8.8.8"));
    EXPECT_TRUE(has("2620:fe::fe"));
    EXPECT_TRUE(has("192.0.2.1")) << "the adapter's current IPv4 server";
    EXPECT_TRUE(has("2001:db8::1")) << "and its IPv6 one";
}

TEST_F(RecordingTest, TheWindowsMenuFillsPresetsRestoresAndTakesTheFastest) {
    FakeView view;
    app::FrmMain form(view, recording_);
    app::FrmExtras extras(view, form, recording_);
    form.Form_Load();

    extras.UsePreset(*app::FindPreset("quad9"));
    EXPECT_EQ(view.text4, "9.9.9.9");
    EXPECT_EQ(view.text5, "149.112.112.112");

    extras.RestoreChosen();
    EXPECT_EQ(view.messages, std::vector<std::string>{"Please Choose A Adapter."});
    EXPECT_EQ(view.focusOnList, 1);
    view.text4 = "192.0.2.77";
    view.text5 = "0.0.0.0";
    auto servers = extras.SpeedTestServers();
    EXPECT_EQ(servers.back().text, "192.0.2.77") << "the typed server joins the presets'";
    for (const auto& server : servers) {
        EXPECT_NE(server.text, "192.0.2.1") << "no adapter chosen, no adapter's servers";
        EXPECT_NE(server.text, "0.0.0.0") << "the placeholder is no server";
    }

    view.selected = 0;
    form.Combo1_Click();
    form.Command9_Click();
    EXPECT_EQ(Read().adapters[0].dns, (std::vector<std::string>{"192.0.2.77", "2001:db8::1"}));
    servers = extras.SpeedTestServers();
    EXPECT_NE(std::find_if(servers.begin(), servers.end(),
                           [](const auto& s) { return s.text == "2001:db8::1"; }),
              servers.end());
    view.messages.clear();
    extras.RestoreChosen();
    EXPECT_EQ(view.messages, std::vector<std::string>{"Done!"});
    EXPECT_EQ(view.unloads, 1) << "only the apply before unloaded the window";
    EXPECT_EQ(Read(), original_);
    EXPECT_EQ(view.label10, "192.0.2.1") << "the servers are shown afresh";
    EXPECT_EQ(view.label11, "2001:db8::1");
    view.messages.clear();
    extras.RestoreChosen();
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_TRUE(view.messages[0].starts_with("Nothing is recorded for Wired")) << view.messages[0];

    auto result = [](const char* server, int lost) {
        velmora::speedtest::Result r;
        r.server = *velmora::speedtest::ParseEndpoint(server);
        r.queries = 2;
        r.lost = lost;
        r.times.assign(static_cast<std::size_t>(2 - lost), std::chrono::milliseconds(5));
        return r;
    };
    EXPECT_TRUE(extras.UseFastest({result("192.0.2.9", 0), result("192.0.2.8", 1)}));
    EXPECT_EQ(view.text4, "192.0.2.9");
    EXPECT_EQ(view.text5, "0.0.0.0");
    EXPECT_FALSE(extras.UseFastest({result("192.0.2.8", 2)}));
    EXPECT_EQ(view.text4, "192.0.2.9") << "nothing complete, nothing filled";
    EXPECT_NE(
        app::FrmExtras::Summary({result("192.0.2.9", 0), result("192.0.2.8", 2)}).find("192.0.2.8"),
        std::string::npos);
}

} // namespace

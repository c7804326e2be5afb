#include "app/management/backend_choice.h"
#include "app/management/dbus_services.h"
#include "app/management/networkmanager_backend.h"
#include "app/management/simulated_backend.h"
#include "app_test_support.h"
#include "platform/system/library.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>

using namespace velmora::testing;

namespace {

TEST(ManagementTexts, PathsAreStrictDecimal) {
    EXPECT_EQ(mgmt::ConfigurationPath(-12), "winmgmts:Win32_NetworkAdapterConfiguration=-12");
    EXPECT_EQ(mgmt::ParseConfigurationPath("winmgmts:Win32_NetworkAdapterConfiguration=0"), 0);
    EXPECT_EQ(mgmt::ParseConfigurationPath("winmgmts:Win32_NetworkAdapterConfiguration=2147483647"),
              2147483647);
    EXPECT_EQ(
        mgmt::ParseConfigurationPath("winmgmts:Win32_NetworkAdapterConfiguration=-2147483648"),
        -2147483647 - 1);
    for (const char* bad :
         {"winmgmts:Win32_NetworkAdapterConfiguration=",
          "winmgmts:Win32_NetworkAdapterConfiguration=07",
          "winmgmts:Win32_NetworkAdapterConfiguration= 7",
          "winmgmts:Win32_NetworkAdapterConfiguration=7 ",
          "winmgmts:Win32_NetworkAdapterConfiguration=+7",
          "winmgmts:Win32_NetworkAdapterConfiguration=-0",
          "winmgmts:Win32_NetworkAdapterConfiguration=2147483648",
          "winmgmts:Win32_NetworkAdapter=7", "winmgmts:Win32_NetworkAdapterConfiguration=0x7"})
        EXPECT_EQ(mgmt::ParseConfigurationPath(bad), std::nullopt) << bad;
}

TEST(ManagementTexts, ServerAddressesAreSingleAddressesOfEitherFamily) {
    for (const char* good :
         {"8.8.8.8", "255.255.255.255", "2001:4860:4860::8888", "::1", "::ffff:1.2.3.4"})
        EXPECT_TRUE(mgmt::IsValidServerAddress(good)) << good;
    for (const char* bad :
         {"", " 8.8.8.8", "8.8.8.8 ", "8.8.8", "8.8.8.256", "08.8.8.8", "8.8.8.8/24",
          "8.8.8.8,8.8.4.4", "dns.google", "fe80::1%eth0", "1:2:3:4:5:6:7:8:9"})
        EXPECT_FALSE(mgmt::IsValidServerAddress(bad)) << bad;
    EXPECT_FALSE(mgmt::IsValidServerAddress(std::string_view{"8.8.8.8\0junk", 12}))
        << "an embedded NUL must not cut the text down to a valid prefix";
}

TEST(BackendChoice, ParsesTheKnownForms) {
    using Kind = mgmt::BackendChoice::Kind;
    EXPECT_EQ(mgmt::ParseBackendChoice("networkmanager")->kind, Kind::NetworkManager);
    auto sample = mgmt::ParseBackendChoice("simulated");
    EXPECT_EQ(sample->kind, Kind::Simulated);
    EXPECT_FALSE(sample->stateFile);
    EXPECT_EQ(mgmt::ParseBackendChoice("simulated:/tmp/a:b.json")->stateFile, "/tmp/a:b.json");
    for (const char* bad : {"", "simulated:", "simulatedx", "NetworkManager", "wmi"})
        EXPECT_FALSE(mgmt::ParseBackendChoice(bad)) << bad;
}

class SimulatedBackendTest : public ::testing::Test {
protected:
    void Write(const std::string& text) { std::ofstream(file_) << text; }
    void Write(const mgmt::SimulatedState& state) { Write(mgmt::SerializeSimulatedState(state)); }
    mgmt::SimulatedState Read() {
        std::ifstream in(file_);
        return mgmt::ParseSimulatedState(std::string{std::istreambuf_iterator<char>(in), {}});
    }
    std::unique_ptr<mgmt::AdapterConfiguration> Object(std::int32_t index) {
        return backend_.GetObject(mgmt::ConfigurationPath(index));
    }

    TempFolder folder_;
    std::filesystem::path file_ = folder_.path() / "state.json";
    mgmt::SimulatedBackend backend_{file_};
};

TEST_F(SimulatedBackendTest, MissingFieldsTakeTheirDefaults) {
    Write(R"({"adapters": [{"index": 3, "description": "Plain"}]})");
    auto configurations =
        backend_.Connect(mgmt::ConnectionString("."))->ExecQuery(mgmt::kAdapterQuery);
    ASSERT_EQ(configurations.size(), 1u);
    EXPECT_EQ(configurations[0]->Description(), "Plain");
    EXPECT_THROW(configurations[0]->DNSServerSearchOrder(0), mgmt::ManagementError)
        << "no dns means no server list";
    EXPECT_EQ(Read().adapters[0], Adapter(3, "Plain"));
}

TEST_F(SimulatedBackendTest, MalformedStatesAreRefusedCleanly) {
    const char* bad[] = {
        "",
        "not json",
        "[]",
        R"({"adapters": {}})",
        R"({"unreachable": "yes"})",
        R"({"adapters": [{"description": "no index"}]})",
        R"({"adapters": [{"index": 1}]})",
        R"({"adapters": [{"index": 2147483648, "description": "d"}]})",
        R"({"adapters": [{"index": -2147483649, "description": "d"}]})",
        R"({"adapters": [{"index": 1.5, "description": "d"}]})",
        R"({"adapters": [{"index": 1, "description": "d", "dns": "8.8.8.8"}]})",
        R"({"adapters": [{"index": 1, "description": "d", "dns": [8]}]})",
        R"({"adapters": [{"index": 1, "description": "d", "fail": {"EnableDHCP": "91"}}]})",
        R"({"adapters": [{"index": 1, "description": "d", "fail": {"EnableDHCP": 18446744073709551615}}]})",
    };
    for (const char* text : bad)
        EXPECT_THROW(mgmt::ParseSimulatedState(text), mgmt::ManagementError) << text;
}

TEST_F(SimulatedBackendTest, StatesSurviveARoundTrip) {
    mgmt::SimulatedState state = mgmt::SampleSimulatedState();
    state.adapters[0].fail = {{"EnableDHCP", -5}, {"SetGateways", 4294967295}};
    state.adapters[1].ipEnabled = false;
    EXPECT_EQ(mgmt::ParseSimulatedState(mgmt::SerializeSimulatedState(state)), state);
}

TEST_F(SimulatedBackendTest, AnUnreachableOrMissingComponentRefusesEverything) {
    mgmt::SimulatedState state = mgmt::SampleSimulatedState();
    state.unreachable = true;
    Write(state);
    EXPECT_THROW(backend_.Connect(mgmt::ConnectionString(".")), mgmt::ManagementError);
    EXPECT_THROW(Object(7), mgmt::ManagementError);
    mgmt::SimulatedBackend missing{folder_.path() / "absent.json"};
    EXPECT_THROW(missing.Connect(mgmt::ConnectionString(".")), mgmt::ManagementError);
}

TEST_F(SimulatedBackendTest, OnlyTheKnownTextsAreUnderstood) {
    Write(mgmt::SampleSimulatedState());
    EXPECT_THROW(backend_.Connect(mgmt::ConnectionString("otherhost")), mgmt::ManagementError);
    auto service = backend_.Connect(mgmt::ConnectionString("."));
    EXPECT_THROW(service->ExecQuery("Select * From Win32_NetworkAdapterConfiguration"),
                 mgmt::ManagementError);
    EXPECT_THROW(backend_.GetObject("winmgmts:Win32_NetworkAdapterConfiguration=007"),
                 mgmt::ManagementError);
    EXPECT_THROW(Object(99), mgmt::ManagementError);
}

TEST_F(SimulatedBackendTest, ChangesPersistAtomicallyAndAreSeenByOthers) {
    Write(mgmt::SampleSimulatedState());
    auto adapter = Object(15);
    EXPECT_EQ(
        adapter->SetDNSServerSearchOrder(std::vector<std::string>{"2001:db8::53", "192.0.2.53"}),
        0);
    EXPECT_EQ(adapter->EnableDHCP(), 0);

    mgmt::SimulatedBackend other{file_};
    auto seen = other.GetObject(mgmt::ConfigurationPath(15));
    // Like NetworkManager, IPv4's servers come first.
    EXPECT_EQ(seen->DNSServerSearchOrder(0), "192.0.2.53");
    EXPECT_EQ(seen->DNSServerSearchOrder(1), "2001:db8::53");
    EXPECT_THROW(seen->DNSServerSearchOrder(2), mgmt::ManagementError);
    EXPECT_TRUE(Read().adapters[2].dhcpEnabled);
    EXPECT_THROW(adapter->DNSServerSearchOrder(0), mgmt::ManagementError)
        << "an object's properties are those of the moment it was fetched";

    for (const auto& entry : std::filesystem::directory_iterator(folder_.path()))
        EXPECT_EQ(entry.path().filename(), "state.json") << "no temporary file is left behind";
}

// A state file kept private, or reached through a link, stays so when a
// change is written.
TEST_F(SimulatedBackendTest, ChangesKeepTheFilesModeAndLinks) {
    const auto real = folder_.path() / "real.json";
    std::ofstream(real) << mgmt::SerializeSimulatedState(mgmt::SampleSimulatedState());
    std::filesystem::permissions(real, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write);
    std::filesystem::create_symlink("real.json", file_);
    EXPECT_EQ(Object(15)->EnableDHCP(), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(file_));
    EXPECT_TRUE(Read().adapters[2].dhcpEnabled);
    EXPECT_EQ(std::filesystem::status(real).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(SimulatedBackendTest, RefusalsLeaveTheStateAlone) {
    mgmt::SimulatedState state = mgmt::SampleSimulatedState();
    state.adapters[0].fail["SetGateways"] = 91;
    state.adapters[1].ipEnabled = false;
    Write(state);

    EXPECT_EQ(Object(7)->SetDNSServerSearchOrder(std::vector<std::string>{"1.1.1.1", "1.1.1"}), 70);
    EXPECT_EQ(Object(7)->SetGateways(mgmt::null), 91);
    EXPECT_EQ(Object(12)->EnableDHCP(), 84)
        << "get-object reaches adapters without IP, their methods refuse";
    EXPECT_EQ(Read(), state);

    EXPECT_EQ(Object(7)->SetGateways(mgmt::null, mgmt::null), 91);
    EXPECT_EQ(Object(7)->SetDNSServerSearchOrder(mgmt::null), 0);
    EXPECT_EQ(Read().adapters[0].dns, std::nullopt);
}

TEST_F(SimulatedBackendTest, AnObjectWhoseAdapterWentAwayThrows) {
    Write(mgmt::SampleSimulatedState());
    auto adapter = Object(7);
    Write(R"({"adapters": []})");
    EXPECT_THROW(adapter->EnableDHCP(), mgmt::ManagementError);
}

TEST(SimulatedSample, IsWrittenOnceIntoTheStateDirectory) {
    TempFolder folder;
    const char* saved = std::getenv("XDG_STATE_HOME");
    const std::string previous = saved ? saved : "";
    ::setenv("XDG_STATE_HOME", folder.path().c_str(), 1);
    const auto file = mgmt::SimulatedBackend::SampleStateFile();
    EXPECT_EQ(file, folder.path() / "velmora" / "simulated-adapters.json");
    mgmt::SimulatedBackend backend{file};
    ASSERT_EQ(backend.GetObject(mgmt::ConfigurationPath(15))
                  ->SetDNSServerSearchOrder(std::vector<std::string>{"192.0.2.1"}),
              0);
    mgmt::SimulatedBackend::SampleStateFile();
    EXPECT_EQ(backend.GetObject(mgmt::ConfigurationPath(15))->DNSServerSearchOrder(0), "192.0.2.1")
        << "an existing sample keeps the user's changes";
    EXPECT_EQ(backend.Connect(mgmt::ConnectionString("."))->ExecQuery(mgmt::kAdapterQuery).size(),
              3u);
    if (saved)
        ::setenv("XDG_STATE_HOME", previous.c_str(), 1);
    else
        ::unsetenv("XDG_STATE_HOME");
}

TEST(NetworkManagerBackend, FailsToConnectWhereNoBusAnswers) {
    TempFolder folder;
    const std::string address = "unix:path=" + (folder.path() / "no-bus").string();
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    // Linked in, and loaded from the program's D-Bus library: the errors
    // it throws from there are still ManagementErrors to the program.
    mgmt::NetworkManagerBackend linked;
    const auto loaded = mgmt::LoadedNetworkManagerBackend({{VELMORA_DBUS_LIBRARY}});
    for (mgmt::Backend* backend : {static_cast<mgmt::Backend*>(&linked), loaded.get()}) {
        EXPECT_THROW(backend->Connect(mgmt::ConnectionString(".")), mgmt::ManagementError);
        EXPECT_THROW(backend->GetObject(mgmt::ConfigurationPath(1)), mgmt::ManagementError);
        EXPECT_THROW(backend->Connect("winmgmts:elsewhere"), mgmt::ManagementError);
        EXPECT_THROW(backend->ReadResolverSetup(), mgmt::ManagementError);
        EXPECT_EQ(backend->Identity(), "networkmanager");
    }
    const auto flushed = mgmt::LoadedResolvedFlusher({{VELMORA_DBUS_LIBRARY}})->Flush();
    EXPECT_EQ(flushed.outcome, mgmt::FlushResult::Outcome::NoResolver);
    EXPECT_NE(flushed.detail.find("no system bus"), std::string::npos) << flushed.detail;
    ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    // A program of another build gets nothing from this library.
    platform::Library library(VELMORA_DBUS_LIBRARY);
    std::unique_ptr<mgmt::Backend> made;
    const auto entry = library.function<mgmt::NetworkManagerEntry>(mgmt::kNetworkManagerEntry);
    ASSERT_NE(entry, nullptr);
    EXPECT_FALSE(entry("0.0 another build", made));
    EXPECT_EQ(made, nullptr);
    library.release(); // as the program keeps it
}

TEST(NetworkManagerBackend, SaysWhyItsLibraryCannotBeLoaded) {
    TempFolder folder;
    const std::string missing = (folder.path() / "libvelmora-dbus.so").string();
    const std::string damaged = (folder.path() / "damaged.so").string();
    std::ofstream{damaged} << "not a library";
    struct Case {
        std::vector<std::string> libraries;
        std::string reason;
    };
    for (const Case& c : {Case{{missing}, "not installed (looked for " + missing + ")"},
                          Case{{missing, damaged}, damaged}, Case{{}, "not installed"}}) {
        auto backend = mgmt::LoadedNetworkManagerBackend(c.libraries);
        backend->SetNoticeSink([](const std::string&) {});
        EXPECT_EQ(backend->Identity(), "networkmanager");
        try {
            backend->Connect(mgmt::ConnectionString("."));
            ADD_FAILURE() << "connected without its library";
        } catch (const mgmt::ManagementError& error) {
            EXPECT_NE(std::string{error.what()}.find(c.reason), std::string::npos) << error.what();
        }
        const auto flushed = mgmt::LoadedResolvedFlusher(c.libraries)->Flush();
        EXPECT_EQ(flushed.outcome, mgmt::FlushResult::Outcome::NoResolver);
        EXPECT_NE(flushed.detail.find(c.reason), std::string::npos) << flushed.detail;
    }
}

} // namespace

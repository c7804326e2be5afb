#include "app/management/simulated_backend.h"

#include "platform/system/durable_file.h"
#include "platform/system/file.h"
#include "platform/system/state_folder.h"

#include <limits>
#include <nlohmann/json.hpp>

namespace velmora::management {

using nlohmann::json;

namespace {

[[noreturn]] void Malformed(const std::string& what) {
    throw ManagementError("malformed simulated state: " + what);
}

const json* Field(const json& object, const char* name) {
    auto it = object.find(name);
    return it == object.end() ? nullptr : &*it;
}

bool BoolField(const json& object, const char* name, bool fallback) {
    const json* value = Field(object, name);
    if (!value) return fallback;
    if (!value->is_boolean()) Malformed(std::string{name} + " is not a Boolean");
    return value->get<bool>();
}

std::vector<std::string> StringList(const json& value, const char* name) {
    if (!value.is_array()) Malformed(std::string{name} + " is not a list");
    std::vector<std::string> texts;
    for (const json& item : value) {
        if (!item.is_string()) Malformed(std::string{name} + " holds something other than text");
        texts.push_back(item.get<std::string>());
    }
    return texts;
}

SimulatedAdapter ParseAdapter(const json& object) {
    if (!object.is_object()) Malformed("an adapter is not an object");
    SimulatedAdapter adapter;
    const json* index = Field(object, "index");
    if (!index || !index->is_number_integer()) Malformed("an adapter has no integer index");
    const auto wide = index->get<std::int64_t>();
    if (index->is_number_unsigned() && index->get<std::uint64_t>() > INT32_MAX)
        Malformed("an index does not fit 32 bits");
    if (wide < std::numeric_limits<std::int32_t>::min() ||
        wide > std::numeric_limits<std::int32_t>::max())
        Malformed("an index does not fit 32 bits");
    adapter.index = static_cast<std::int32_t>(wide);

    const json* description = Field(object, "description");
    if (!description || !description->is_string()) Malformed("an adapter has no description");
    adapter.description = description->get<std::string>();

    adapter.ipEnabled = BoolField(object, "ipEnabled", true);
    adapter.dhcpEnabled = BoolField(object, "dhcpEnabled", true);
    if (const json* dns = Field(object, "dns")) adapter.dns = StringList(*dns, "dns");
    if (const json* gateways = Field(object, "gateways"))
        adapter.gateways = StringList(*gateways, "gateways");
    if (const json* mode = Field(object, "dnsOverTls")) {
        auto parsed = mode->is_string() ? ParseDnsOverTls(mode->get<std::string>()) : std::nullopt;
        if (!parsed) Malformed("dnsOverTls is not a known mode");
        adapter.dnsOverTls = *parsed;
    }
    if (const json* offer = Field(object, "dhcpOffer")) {
        if (!offer->is_object()) Malformed("dhcpOffer is not an object");
        if (const json* dns = Field(*offer, "dns")) adapter.dhcpDns = StringList(*dns, "dns");
        if (const json* gateways = Field(*offer, "gateways"))
            adapter.dhcpGateways = StringList(*gateways, "gateways");
    }
    if (const json* fail = Field(object, "fail")) {
        if (!fail->is_object()) Malformed("fail is not an object");
        for (const auto& [method, code] : fail->items()) {
            if (!code.is_number_integer())
                Malformed("the code for " + method + " is not an integer");
            if (code.is_number_unsigned() &&
                code.get<std::uint64_t>() > std::uint64_t{std::numeric_limits<ReturnCode>::max()})
                Malformed("the code for " + method + " is too large");
            adapter.fail[method] = code.get<ReturnCode>();
        }
    }
    return adapter;
}

json AdapterJson(const SimulatedAdapter& adapter) {
    json object = {{"index", adapter.index},
                   {"description", adapter.description},
                   {"ipEnabled", adapter.ipEnabled},
                   {"dhcpEnabled", adapter.dhcpEnabled},
                   {"gateways", adapter.gateways}};
    if (adapter.dns) object["dns"] = *adapter.dns;
    if (!adapter.fail.empty()) object["fail"] = adapter.fail;
    if (adapter.dnsOverTls != DnsOverTls::Default)
        object["dnsOverTls"] = DnsOverTlsName(adapter.dnsOverTls);
    if (!adapter.dhcpDns.empty() || !adapter.dhcpGateways.empty())
        object["dhcpOffer"] = {{"dns", adapter.dhcpDns}, {"gateways", adapter.dhcpGateways}};
    return object;
}

std::string StringField(const json& object, const char* name) {
    const json* value = Field(object, name);
    if (!value) return {};
    if (!value->is_string()) Malformed(std::string{name} + " is not text");
    return value->get<std::string>();
}

ResolverSetup ParseResolver(const json& object) {
    if (!object.is_object()) Malformed("resolver is not an object");
    ResolverSetup setup;
    setup.from = "simulation";
    setup.mode = StringField(object, "mode");
    setup.rcManager = StringField(object, "rcManager");
    ResolvConf file;
    if (Field(object, "resolvConf")) {
        auto owner = ParseResolvConfOwner(StringField(object, "resolvConf"));
        if (!owner) Malformed("resolvConf names no known manager");
        file.owner = *owner;
    }
    file.link = StringField(object, "link");
    if (const json* servers = Field(object, "nameservers"))
        file.nameservers = StringList(*servers, "nameservers");
    setup.resolvConf = std::move(file);
    return setup;
}

json ResolverJson(const ResolverSetup& setup) {
    const ResolvConf file = setup.resolvConf.value_or(ResolvConf{});
    return {{"mode", setup.mode},
            {"rcManager", setup.rcManager},
            {"resolvConf", ResolvConfOwnerName(file.owner)},
            {"link", file.link},
            {"nameservers", file.nameservers}};
}

platform::WholeFile ReadFile(const std::filesystem::path& path) {
    platform::WholeFile file = platform::ReadWholeFile(path);
    if (file.outcome == platform::WholeFile::Outcome::CannotOpen)
        throw ManagementError("cannot open " + path.string());
    if (!file) throw ManagementError("cannot read " + path.string());
    return file;
}

// Never half a state for a reader, and never none after a crash.
void WriteFileAtomically(const std::filesystem::path& path, const std::string& text) {
    const platform::DurableWriteResult written = platform::WriteFileDurably(path, text);
    if (!written) throw ManagementError("cannot replace " + path.string() + ": " + written.error);
}

} // namespace

SimulatedState ParseSimulatedState(std::string_view text) {
    json document = json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (document.is_discarded()) Malformed("not JSON");
    if (!document.is_object()) Malformed("the top level is not an object");
    SimulatedState state;
    state.unreachable = BoolField(document, "unreachable", false);
    state.encryptedDns = BoolField(document, "encryptedDns", true);
    if (const json* resolver = Field(document, "resolver"))
        state.resolver = ParseResolver(*resolver);
    if (const json* adapters = Field(document, "adapters")) {
        if (!adapters->is_array()) Malformed("adapters is not a list");
        for (const json& adapter : *adapters)
            state.adapters.push_back(ParseAdapter(adapter));
    }
    return state;
}

std::string SerializeSimulatedState(const SimulatedState& state) {
    json adapters = json::array();
    for (const auto& adapter : state.adapters)
        adapters.push_back(AdapterJson(adapter));
    json document = {{"unreachable", state.unreachable}, {"adapters", adapters}};
    if (!state.encryptedDns) document["encryptedDns"] = false;
    if (state.resolver) document["resolver"] = ResolverJson(*state.resolver);
    return document.dump(2) + "\n";
}

SimulatedState SampleSimulatedState() {
    SimulatedState state;
    auto adapter = [](std::int32_t index, std::string description, bool dhcp,
                      std::optional<std::vector<std::string>> dns,
                      std::vector<std::string> gateways, std::vector<std::string> offer) {
        SimulatedAdapter a;
        a.index = index;
        a.description = std::move(description);
        a.dhcpEnabled = dhcp;
        a.dns = std::move(dns);
        a.gateways = std::move(gateways);
        // A home router hands out itself as server and gateway.
        a.dhcpDns = offer;
        a.dhcpGateways = std::move(offer);
        return a;
    };
    state.adapters.push_back(
        adapter(7, "Intel(R) Ethernet Connection I219-V", true, std::nullopt, {}, {"192.168.1.1"}));
    state.adapters.push_back(adapter(12, "Realtek RTL8821CE 802.11ac PCIe Adapter", true,
                                     std::vector<std::string>{"1.1.1.1", "1.0.0.1", "9.9.9.9"},
                                     {"10.0.0.138"}, {"10.0.0.138"}));
    state.adapters.push_back(adapter(15, "VirtualBox Host-Only Ethernet Adapter", false,
                                     std::nullopt, {}, {"192.168.56.1"}));
    return state;
}

namespace {

std::filesystem::path SampleFile(const VariableLookup& lookup) {
    auto folder = VelmoraStateFolder(lookup);
    const std::filesystem::path directory =
        folder ? *std::move(folder) : std::filesystem::temp_directory_path() / "velmora";
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error) throw ManagementError("cannot create " + directory.string());
    return directory / "simulated-adapters.json";
}

} // namespace

std::filesystem::path SimulatedBackend::SampleStateFile() {
    return SampleStateFile(platform::EnvironmentVariable);
}

std::filesystem::path SimulatedBackend::SampleStateFile(const VariableLookup& lookup) {
    std::filesystem::path file = SampleFile(lookup);
    std::error_code error;
    if (!std::filesystem::exists(file, error))
        WriteFileAtomically(file, SerializeSimulatedState(SampleSimulatedState()));
    return file;
}

std::filesystem::path SimulatedBackend::ResetSampleStateFile(const VariableLookup& lookup) {
    std::filesystem::path file = SampleFile(lookup);
    WriteFileAtomically(file, SerializeSimulatedState(SampleSimulatedState()));
    return file;
}

// Every operation reads the file afresh, so a change made by another
// process (or by hand) is seen at once, as with a real component.
class SimulatedBackend::Store {
public:
    explicit Store(std::filesystem::path file) : file_(std::move(file)) {}

    SimulatedState Load() const {
        SimulatedState state = ParseSimulatedState(ReadFile(file_).text());
        if (state.unreachable) throw ManagementError("the simulated component is unreachable");
        return state;
    }

    void Save(const SimulatedState& state) const {
        WriteFileAtomically(file_, SerializeSimulatedState(state));
    }

private:
    std::filesystem::path file_;
};

namespace {

// A static list wins; on DHCP without one the offer's servers are used.
std::optional<std::vector<std::string>> InUse(const SimulatedAdapter& adapter) {
    if (adapter.dns) return adapter.dns;
    if (adapter.dhcpEnabled && !adapter.dhcpDns.empty()) return adapter.dhcpDns;
    return std::nullopt;
}

SimulatedAdapter* FindAdapter(SimulatedState& state, std::int32_t index) {
    for (auto& adapter : state.adapters)
        if (adapter.index == index) return &adapter;
    return nullptr;
}

template <typename Apply>
ReturnCode ChangeAdapter(const SimulatedBackend::Store& store, std::int32_t index,
                         const std::string& method, Apply apply) {
    SimulatedState state = store.Load();
    SimulatedAdapter* adapter = FindAdapter(state, index);
    if (!adapter) throw ManagementError("the adapter configuration no longer exists");
    if (auto failure = adapter->fail.find(method); failure != adapter->fail.end())
        return failure->second;
    if (!adapter->ipEnabled) return kIpNotEnabled;
    ReturnCode code = apply(*adapter);
    if (code == kSuccess) store.Save(state);
    return code;
}

class SimulatedConfiguration final : public AdapterConfiguration {
public:
    SimulatedConfiguration(std::shared_ptr<const SimulatedBackend::Store> store,
                           SimulatedAdapter snapshot)
        : store_(std::move(store)), snapshot_(std::move(snapshot)) {}

    std::string Description() const override { return snapshot_.description; }
    std::int32_t Index() const override { return snapshot_.index; }
    // The address alone, as a component lists the servers in use.
    std::string DNSServerSearchOrder(std::size_t element) const override {
        return std::string{ServerAddressPart(ServerListElement(InUse(snapshot_), element))};
    }

    // Like NetworkManager: each family given servers gets exactly those, a
    // family given none keeps its own.
    ReturnCode SetDNSServerSearchOrder(const ServerSearchOrder& servers) override {
        return Change("SetDNSServerSearchOrder", [&](SimulatedAdapter& adapter) {
            const auto* list = std::get_if<std::vector<std::string>>(&servers);
            if (!list || list->empty()) {
                adapter.dns.reset();
                return kSuccess;
            }
            for (const auto& server : *list)
                if (!IsValidServerAddress(server)) return kInvalidIpAddress;
            DnsState state = SimulatedDnsState(adapter);
            SetStaticServers(state, *list);
            ApplyDnsState(adapter, state);
            return kSuccess;
        });
    }

    ReturnCode EnableDHCP() override {
        return Change("EnableDHCP", [](SimulatedAdapter& adapter) {
            adapter.dhcpEnabled = true;
            return kSuccess;
        });
    }

    ReturnCode SetGateways(Null) override { return ClearGateways(); }
    ReturnCode SetGateways(Null, Null) override { return ClearGateways(); }

private:
    ReturnCode ClearGateways() {
        return Change("SetGateways", [](SimulatedAdapter& adapter) {
            adapter.gateways.clear();
            return kSuccess;
        });
    }

    template <typename Apply>
    ReturnCode Change(const std::string& method, Apply apply) {
        return ChangeAdapter(*store_, snapshot_.index, method, apply);
    }

    std::shared_ptr<const SimulatedBackend::Store> store_;
    SimulatedAdapter snapshot_;
};

class SimulatedService final : public Service {
public:
    explicit SimulatedService(std::shared_ptr<const SimulatedBackend::Store> store)
        : store_(std::move(store)) {}

    AdapterConfigurations ExecQuery(std::string_view query) override {
        RequireAdapterQuery(query);
        AdapterConfigurations configurations;
        for (auto& adapter : store_->Load().adapters)
            if (adapter.ipEnabled)
                configurations.push_back(
                    std::make_unique<SimulatedConfiguration>(store_, std::move(adapter)));
        return configurations;
    }

private:
    std::shared_ptr<const SimulatedBackend::Store> store_;
};

} // namespace

DnsState SimulatedDnsState(const SimulatedAdapter& adapter) {
    DnsState state;
    state.ipv4Method = adapter.dhcpEnabled ? "auto" : "manual";
    state.gateways = adapter.gateways;
    state.dnsOverTls = adapter.dnsOverTls;
    if (adapter.dns) {
        state.ipv4.ignoreAutomatic = state.ipv6.ignoreAutomatic = true;
        for (const auto& server : *adapter.dns)
            (IsIpv4Address(ServerAddressPart(server)) ? state.ipv4 : state.ipv6)
                .servers.push_back(server);
    }
    return state;
}

void ApplyDnsState(SimulatedAdapter& adapter, const DnsState& state) {
    adapter.dhcpEnabled = state.ipv4Method == "auto";
    adapter.gateways = state.gateways;
    adapter.dnsOverTls = state.dnsOverTls;
    const bool none = state.ipv4.servers.empty() && state.ipv6.servers.empty() &&
                      !state.ipv4.ignoreAutomatic && !state.ipv6.ignoreAutomatic;
    if (none) {
        adapter.dns.reset();
        return;
    }
    adapter.dns = state.ipv4.servers;
    adapter.dns->insert(adapter.dns->end(), state.ipv6.servers.begin(), state.ipv6.servers.end());
}

ServersInUse SimulatedServersInUse(const SimulatedAdapter& adapter) {
    ServersInUse inUse;
    for (const auto& server : InUse(adapter).value_or(std::vector<std::string>{})) {
        const std::string_view address = ServerAddressPart(server);
        (IsIpv4Address(address) ? inUse.ipv4 : inUse.ipv6).emplace_back(address);
    }
    inUse.gateways =
        !adapter.gateways.empty() || !adapter.dhcpEnabled ? adapter.gateways : adapter.dhcpGateways;
    return inUse;
}

ResolverSetup SimulatedResolver(const SimulatedState& state) {
    if (state.resolver) {
        ResolverSetup setup = *state.resolver;
        setup.from = "simulation";
        if (!setup.resolvConf) setup.resolvConf.emplace();
        return setup;
    }
    ResolverSetup setup;
    setup.from = "simulation";
    ResolvConf file;
    // A machine whose resolver speaks DNS over TLS runs systemd-resolved;
    // one without leaves resolv.conf to NetworkManager, which lists the
    // first servers in use.
    if (state.encryptedDns) {
        setup.mode = "systemd-resolved";
        setup.rcManager = "symlink";
        file.owner = ResolvConfOwner::SystemdResolved;
        file.link = "../run/systemd/resolve/stub-resolv.conf";
        file.nameservers = {"127.0.0.53"};
    } else {
        setup.mode = "default";
        setup.rcManager = "auto";
        file.owner = ResolvConfOwner::NetworkManager;
        for (const auto& adapter : state.adapters) {
            if (!adapter.ipEnabled) continue;
            const ServersInUse inUse = SimulatedServersInUse(adapter);
            for (const auto* family : {&inUse.ipv4, &inUse.ipv6})
                for (const auto& server : *family)
                    if (file.nameservers.size() < 3) file.nameservers.push_back(server);
        }
    }
    setup.resolvConf = std::move(file);
    return setup;
}

SimulatedBackend::SimulatedBackend(std::filesystem::path stateFile)
    : stateFile_(stateFile), store_(std::make_shared<Store>(std::move(stateFile))) {}

std::string SimulatedBackend::Identity() const {
    std::error_code error;
    auto absolute = std::filesystem::absolute(stateFile_, error);
    return "simulated:" + (error ? stateFile_ : absolute).lexically_normal().string();
}

DnsState SimulatedBackend::ReadDnsState(std::int32_t index) {
    SimulatedState state = store_->Load();
    SimulatedAdapter* adapter = FindAdapter(state, index);
    if (!adapter)
        throw ManagementError("no adapter configuration has index " + std::to_string(index));
    return SimulatedDnsState(*adapter);
}

ReturnCode SimulatedBackend::WriteDnsState(std::int32_t index, const DnsState& wanted) {
    for (const auto* family : {&wanted.ipv4, &wanted.ipv6})
        for (const auto& server : family->servers)
            if (!IsValidStateServer(server)) return kInvalidIpAddress;
    for (const auto& gateway : wanted.gateways)
        if (!IsValidServerAddress(gateway)) return kInvalidIpAddress;
    return ChangeAdapter(*store_, index, "WriteDnsState", [&](SimulatedAdapter& adapter) {
        ApplyDnsState(adapter, wanted);
        return kSuccess;
    });
}

std::optional<std::string> SimulatedBackend::DnsOverTlsUnavailable(std::int32_t index) {
    SimulatedState state = store_->Load();
    if (!FindAdapter(state, index))
        throw ManagementError("no adapter configuration has index " + std::to_string(index));
    if (!state.encryptedDns) return "the simulated system's resolver does not speak DNS over TLS";
    return std::nullopt;
}

ServersInUse SimulatedBackend::ReadServersInUse(std::int32_t index) {
    SimulatedState state = store_->Load();
    SimulatedAdapter* adapter = FindAdapter(state, index);
    if (!adapter)
        throw ManagementError("no adapter configuration has index " + std::to_string(index));
    return SimulatedServersInUse(*adapter);
}

ResolverSetup SimulatedBackend::ReadResolverSetup() {
    return SimulatedResolver(store_->Load());
}

std::unique_ptr<Service> SimulatedBackend::Connect(std::string_view connectionString) {
    RequireLocalConnection(connectionString);
    store_->Load(); // refuses the connection when the component is unreachable
    return std::make_unique<SimulatedService>(store_);
}

std::unique_ptr<AdapterConfiguration> SimulatedBackend::GetObject(std::string_view objectPath) {
    const std::int32_t index = RequireConfigurationPath(objectPath);
    SimulatedState state = store_->Load();
    SimulatedAdapter* adapter = FindAdapter(state, index);
    if (!adapter)
        throw ManagementError("no adapter configuration has index " + std::to_string(index));
    return std::make_unique<SimulatedConfiguration>(store_, std::move(*adapter));
}

} // namespace velmora::management

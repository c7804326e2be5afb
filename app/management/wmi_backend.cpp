// wmi_com.h brings the system's headers and must come first.
#include "app/management/wmi_backend.h"

#include "app/management/wmi_com.h"
#include "platform/net/address.h"

#include <bit>
#include <cstdio>
#include <optional>
#include <vector>

namespace velmora::management {

namespace {

constexpr std::wstring_view kClass = L"Win32_NetworkAdapterConfiguration";
constexpr std::wstring_view kNamespace = L"ROOT\\CIMV2";
// More than any machine has; a service that lists without end, or an array
// longer than any adapter holds, is not followed further.
constexpr std::size_t kMostAdapters = 1024;
constexpr std::size_t kMostElements = 256;

std::string Code(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(result));
    return text;
}

[[noreturn]] void Fail(const std::string& what, HRESULT result) {
    throw ManagementError(what + " (" + Code(result) + ")");
}

// The thread's COM, initialised for as long as the connection lives. A
// thread that has COM already in another model keeps it.
class ComThread {
public:
    ComThread() {
        // A single-threaded apartment, as the window's thread will need.
        const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (result == RPC_E_CHANGED_MODE) return;
        if (FAILED(result)) Fail("COM cannot be initialised", result);
        owned_ = true;
    }
    ~ComThread() {
        if (owned_) CoUninitialize();
    }
    ComThread(const ComThread&) = delete;
    ComThread& operator=(const ComThread&) = delete;

private:
    bool owned_ = false;
};

class WrappedConnection final : public WmiConnection {
public:
    explicit WrappedConnection(ComPtr<IWbemServices> services) : services_(std::move(services)) {}
    IWbemServices* Services() override { return services_.get(); }

private:
    ComPtr<IWbemServices> services_;
};

// Members go in reverse order: the service before COM.
class MachineConnection final : public WmiConnection {
public:
    MachineConnection() {
        // WMI acts for callers that let it impersonate them; where the
        // process's security is set already (or cannot be), the proxy
        // blanket below still says so for this connection.
        CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
        ComPtr<IWbemLocator> locator;
        HRESULT result =
            CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                             reinterpret_cast<void**>(locator.Put()));
        if (FAILED(result)) Fail("the WMI locator cannot be created", result);
        const Bstr path{kNamespace};
        result = locator->ConnectServer(path.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                        services_.Put());
        if (FAILED(result)) Fail("WMI namespace root\\cimv2 cannot be reached", result);
        result = CoSetProxyBlanket(services_.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                   RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                   EOAC_NONE);
        // A service in this process is no proxy and has no blanket to set.
        if (FAILED(result) && result != E_NOINTERFACE)
            Fail("WMI does not take the caller's identity", result);
    }
    IWbemServices* Services() override { return services_.get(); }

private:
    ComThread com_;
    ComPtr<IWbemServices> services_;
};

// --- reading properties ---------------------------------------------------------

// Nothing where the property is missing or null.
std::optional<Variant> ReadProperty(IWbemClassObject& object, std::wstring_view name) {
    std::optional<Variant> value{std::in_place};
    const std::wstring key{name};
    if (FAILED(object.Get(key.c_str(), 0, value->Put(), nullptr, nullptr))) return std::nullopt;
    if ((*value)->vt == VT_NULL || (*value)->vt == VT_EMPTY) return std::nullopt;
    return value;
}

std::optional<std::int64_t> ReadInteger(IWbemClassObject& object, std::wstring_view name) {
    auto value = ReadProperty(object, name);
    if (!value) return std::nullopt;
    const VARIANT& v = **value;
    switch (v.vt) {
    case VT_I4: // uint32 and sint32 both come this way
        return v.lVal;
    case VT_UI4:
        return v.ulVal;
    case VT_I2:
        return v.iVal;
    case VT_UI2:
        return v.uiVal;
    case VT_UI1:
        return v.bVal;
    default:
        return std::nullopt;
    }
}

std::optional<std::string> ReadText(IWbemClassObject& object, std::wstring_view name) {
    auto value = ReadProperty(object, name);
    if (!value || (*value)->vt != VT_BSTR) return std::nullopt;
    const BSTR text = (*value)->bstrVal;
    return Utf8({text, text ? SysStringLen(text) : 0});
}

std::optional<bool> ReadBoolean(IWbemClassObject& object, std::wstring_view name) {
    auto value = ReadProperty(object, name);
    if (!value || (*value)->vt != VT_BOOL) return std::nullopt;
    return (*value)->boolVal != VARIANT_FALSE;
}

std::optional<std::vector<std::string>> ReadTexts(IWbemClassObject& object,
                                                  std::wstring_view name) {
    auto value = ReadProperty(object, name);
    if (!value || (*value)->vt != (VT_ARRAY | VT_BSTR) || !(*value)->parray) return std::nullopt;
    SAFEARRAY* array = (*value)->parray;
    LONG low = 0, high = -1;
    if (SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &low)) ||
        FAILED(SafeArrayGetUBound(array, 1, &high)))
        return std::nullopt;
    std::vector<std::string> texts;
    for (LONG i = low; i <= high && texts.size() < kMostElements; ++i) {
        BSTR raw = nullptr;
        if (FAILED(SafeArrayGetElement(array, &i, &raw))) return std::nullopt;
        const Bstr element = Bstr::Adopt(raw);
        texts.push_back(raw ? Utf8(element.view()) : std::string{});
    }
    return texts;
}

// What a fetched configuration holds; what could not be read is missing.
struct Snapshot {
    std::optional<std::int32_t> index;
    std::optional<std::string> description;
    std::optional<std::vector<std::string>> dns;
    std::optional<bool> dhcpEnabled;
    std::vector<std::string> addresses;
    std::vector<std::string> subnets;
    std::vector<std::string> gateways;
};

Snapshot Read(IWbemClassObject& object) {
    Snapshot snapshot;
    if (auto index = ReadInteger(object, L"Index"))
        snapshot.index = static_cast<std::int32_t>(*index);
    snapshot.description = ReadText(object, L"Description");
    snapshot.dns = ReadTexts(object, L"DNSServerSearchOrder");
    snapshot.dhcpEnabled = ReadBoolean(object, L"DHCPEnabled");
    snapshot.addresses = ReadTexts(object, L"IPAddress").value_or(std::vector<std::string>{});
    snapshot.subnets = ReadTexts(object, L"IPSubnet").value_or(std::vector<std::string>{});
    snapshot.gateways = ReadTexts(object, L"DefaultIPGateway").value_or(std::vector<std::string>{});
    return snapshot;
}

// --- method arguments -----------------------------------------------------------

void PutNull(IWbemClassObject& inputs, std::wstring_view name) {
    Variant value;
    value.get()->vt = VT_NULL;
    const std::wstring key{name};
    const HRESULT result = inputs.Put(key.c_str(), 0, value.get(), 0);
    if (FAILED(result)) Fail("the parameter " + Utf8(name) + " cannot be set", result);
}

void PutTexts(IWbemClassObject& inputs, std::wstring_view name,
              const std::vector<std::string>& texts) {
    Variant value;
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(texts.size()));
    if (!array) throw std::bad_alloc();
    // The variant owns the array from here on.
    value.get()->vt = VT_ARRAY | VT_BSTR;
    value.get()->parray = array;
    for (LONG i = 0; i < static_cast<LONG>(texts.size()); ++i) {
        const Bstr text{Wide(texts[static_cast<std::size_t>(i)])};
        const HRESULT result = SafeArrayPutElement(array, &i, text.get());
        if (FAILED(result)) Fail("a server list cannot be made", result);
    }
    const std::wstring key{name};
    const HRESULT result = inputs.Put(key.c_str(), 0, value.get(), 0);
    if (FAILED(result)) Fail("the parameter " + Utf8(name) + " cannot be set", result);
}

// Fills a method's input parameters; empty for a method called without any.
using Inputs = std::function<void(IWbemClassObject&)>;

// The method of the configuration with that Index, through ExecMethod;
// answers its ReturnValue.
ReturnCode CallMethod(IWbemServices& services, std::int32_t index, std::wstring_view method,
                      const Inputs& fill) {
    const std::string name = Utf8(method);
    const Bstr className{kClass};
    ComPtr<IWbemClassObject> definition;
    HRESULT result = services.GetObject(className.get(), 0, nullptr, definition.Put(), nullptr);
    if (FAILED(result) || !definition)
        Fail("the class Win32_NetworkAdapterConfiguration cannot be read", result);
    const std::wstring methodName{method};
    ComPtr<IWbemClassObject> signature;
    result = definition->GetMethod(methodName.c_str(), 0, signature.Put(), nullptr);
    if (FAILED(result)) Fail("the component has no method " + name, result);
    ComPtr<IWbemClassObject> inputs;
    if (fill) {
        if (!signature) throw ManagementError("the component's " + name + " takes no parameters");
        result = signature->SpawnInstance(0, inputs.Put());
        if (FAILED(result) || !inputs)
            Fail("the parameters of " + name + " cannot be made", result);
        fill(*inputs.get());
    }
    const Bstr path{std::wstring{kClass} + L".Index=" + std::to_wstring(index)};
    const Bstr call{method};
    ComPtr<IWbemClassObject> outputs;
    result = services.ExecMethod(path.get(), call.get(), 0, nullptr, inputs.get(), outputs.Put(),
                                 nullptr);
    if (FAILED(result)) Fail(name + " failed", result);
    if (!outputs) throw ManagementError(name + " answered nothing");
    const auto code = ReadInteger(*outputs.get(), L"ReturnValue");
    if (!code) throw ManagementError(name + " answered no return value");
    // A uint32, which a VARIANT carries as a signed value.
    return static_cast<std::uint32_t>(*code);
}

// --- the interface's objects ----------------------------------------------------

class WmiConfiguration final : public AdapterConfiguration {
public:
    WmiConfiguration(std::shared_ptr<WmiConnection> connection, Snapshot snapshot)
        : connection_(std::move(connection)), snapshot_(std::move(snapshot)) {}

    std::string Description() const override {
        if (!snapshot_.description) throw ManagementError("Description cannot be read");
        return *snapshot_.description;
    }
    std::int32_t Index() const override { return RequireIndex(); }
    std::string DNSServerSearchOrder(std::size_t element) const override {
        return ServerListElement(snapshot_.dns, element);
    }

    ReturnCode SetDNSServerSearchOrder(const ServerSearchOrder& servers) override {
        // Left out, the parameter is null to the method as well.
        return Call(L"SetDNSServerSearchOrder", [&](IWbemClassObject& inputs) {
            if (std::holds_alternative<Null>(servers)) PutNull(inputs, L"DNSServerSearchOrder");
            if (const auto* list = std::get_if<std::vector<std::string>>(&servers))
                PutTexts(inputs, L"DNSServerSearchOrder", *list);
        });
    }
    ReturnCode EnableDHCP() override { return Call(L"EnableDHCP", {}); }
    ReturnCode SetGateways(Null) override {
        return Call(L"SetGateways",
                    [](IWbemClassObject& inputs) { PutNull(inputs, L"DefaultIPGateway"); });
    }
    ReturnCode SetGateways(Null, Null) override {
        return Call(L"SetGateways", [](IWbemClassObject& inputs) {
            PutNull(inputs, L"DefaultIPGateway");
            PutNull(inputs, L"GatewayCostMetric");
        });
    }

    const Snapshot& snapshot() const { return snapshot_; }

private:
    std::int32_t RequireIndex() const {
        if (!snapshot_.index) throw ManagementError("Index cannot be read");
        return *snapshot_.index;
    }
    ReturnCode Call(std::wstring_view method, const Inputs& fill) {
        return CallMethod(*connection_->Services(), RequireIndex(), method, fill);
    }

    std::shared_ptr<WmiConnection> connection_;
    Snapshot snapshot_;
};

class WmiService final : public Service {
public:
    explicit WmiService(std::shared_ptr<WmiConnection> connection)
        : connection_(std::move(connection)) {}

    AdapterConfigurations ExecQuery(std::string_view query) override {
        RequireAdapterQuery(query);
        const Bstr language{L"WQL"};
        const Bstr text{Wide(query)};
        ComPtr<IEnumWbemClassObject> rows;
        HRESULT result = connection_->Services()->ExecQuery(
            language.get(), text.get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
            nullptr, rows.Put());
        if (FAILED(result) || !rows) Fail("the adapter query failed", result);
        AdapterConfigurations configurations;
        while (configurations.size() < kMostAdapters) {
            ComPtr<IWbemClassObject> row;
            ULONG returned = 0;
            result = rows->Next(WBEM_INFINITE, 1, row.Put(), &returned);
            if (FAILED(result)) Fail("the adapter query failed", result);
            if (returned == 0 || !row) break;
            configurations.push_back(
                std::make_unique<WmiConfiguration>(connection_, Read(*row.get())));
        }
        return configurations;
    }

private:
    std::shared_ptr<WmiConnection> connection_;
};

// "255.255.255.0" as 24; nothing for a mask whose ones are not contiguous.
std::optional<int> PrefixLength(std::string_view mask) {
    const auto bytes = platform::net::ParseIpv4(mask);
    if (!bytes) return std::nullopt;
    const std::uint32_t bits = (std::uint32_t{(*bytes)[0]} << 24) |
                               (std::uint32_t{(*bytes)[1]} << 16) |
                               (std::uint32_t{(*bytes)[2]} << 8) | (*bytes)[3];
    const int ones = std::countl_one(bits);
    if (ones < 32 && (bits << ones) != 0) return std::nullopt;
    return ones;
}

// "24" as "255.255.255.0"; nothing for a prefix length that is not one.
std::optional<std::string> SubnetMask(std::string_view prefix) {
    if (prefix.empty() || prefix.size() > 2) return std::nullopt;
    int length = 0;
    for (char c : prefix) {
        if (c < '0' || c > '9') return std::nullopt;
        length = length * 10 + (c - '0');
    }
    if (length > 32) return std::nullopt;
    const std::uint32_t bits = length == 0 ? 0 : ~std::uint32_t{0} << (32 - length);
    return std::to_string(bits >> 24) + '.' + std::to_string((bits >> 16) & 0xff) + '.' +
           std::to_string((bits >> 8) & 0xff) + '.' + std::to_string(bits & 0xff);
}

bool Succeeded(ReturnCode code) {
    return code == kSuccess || code == 1;
}

} // namespace

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                         static_cast<int>(utf8.size()), nullptr, 0);
    if (size <= 0) throw ManagementError("text that is not UTF-8");
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                        wide.data(), size);
    return wide;
}

std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(),
                            static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (size <= 0) throw ManagementError("text that is not UTF-16");
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), static_cast<int>(wide.size()),
                        text.data(), size, nullptr, nullptr);
    return text;
}

std::shared_ptr<WmiConnection> WrapWmiServices(ComPtr<IWbemServices> services) {
    if (!services) throw ManagementError("no WMI service");
    return std::make_shared<WrappedConnection>(std::move(services));
}

std::shared_ptr<WmiConnection> ConnectLocalWmi() {
    return std::make_shared<MachineConnection>();
}

WmiBackend::WmiBackend() : WmiBackend(ConnectLocalWmi) {}

WmiBackend::WmiBackend(WmiConnector connect) : connect_(std::move(connect)) {}

WmiBackend::~WmiBackend() = default;

std::shared_ptr<WmiConnection> WmiBackend::Connection() {
    // A failed connection is tried afresh next time.
    if (!connection_) connection_ = connect_();
    return connection_;
}

std::unique_ptr<Service> WmiBackend::Connect(std::string_view connectionString) {
    RequireLocalConnection(connectionString);
    return std::make_unique<WmiService>(Connection());
}

std::unique_ptr<AdapterConfiguration> WmiBackend::GetObject(std::string_view objectPath) {
    const std::int32_t index = RequireConfigurationPath(objectPath);
    auto connection = Connection();
    const Bstr path{std::wstring{kClass} + L".Index=" + std::to_wstring(index)};
    ComPtr<IWbemClassObject> object;
    const HRESULT result =
        connection->Services()->GetObject(path.get(), 0, nullptr, object.Put(), nullptr);
    if (FAILED(result) || !object)
        Fail("no adapter configuration has index " + std::to_string(index), result);
    return std::make_unique<WmiConfiguration>(std::move(connection), Read(*object.get()));
}

DnsState WmiBackend::ReadDnsState(std::int32_t index) {
    const auto configuration = GetObject(ConfigurationPath(index));
    const Snapshot& read = static_cast<const WmiConfiguration&>(*configuration).snapshot();
    if (!read.dhcpEnabled) throw ManagementError("DHCPEnabled cannot be read");
    DnsState state;
    state.ipv4Method = *read.dhcpEnabled ? "auto" : "manual";
    // Addresses and masks pair up by position; IPv6 ones carry a prefix
    // length in place of a mask and are not part of the IPv4 state.
    for (std::size_t i = 0; i < read.addresses.size() && i < read.subnets.size(); ++i) {
        if (!IsIpv4Address(read.addresses[i])) continue;
        if (auto prefix = PrefixLength(read.subnets[i]))
            state.ipv4Addresses.push_back(read.addresses[i] + '/' + std::to_string(*prefix));
    }
    for (const auto& gateway : read.gateways)
        if (IsIpv4Address(gateway)) state.gateways.push_back(gateway);
    for (const auto& server : read.dns.value_or(std::vector<std::string>{}))
        if (IsIpv4Address(server)) state.ipv4.servers.push_back(server);
    state.ipv4.ignoreAutomatic = !state.ipv4.servers.empty();
    return state;
}

ReturnCode WmiBackend::WriteDnsState(std::int32_t index, const DnsState& state) {
    // Everything is checked before anything is changed.
    if (state.ipv4Method != "auto" && state.ipv4Method != "manual")
        throw ManagementError("WMI knows no IPv4 method \"" + state.ipv4Method + "\"");
    if (!state.ipv6.servers.empty()) throw ManagementError("WMI keeps no IPv6 DNS servers");
    if (state.dnsOverTls != DnsOverTls::Default && state.dnsOverTls != DnsOverTls::No)
        throw ManagementError("WMI has no DNS-over-TLS setting");
    std::vector<std::string> addresses, masks;
    for (const auto& entry : state.ipv4Addresses) {
        const auto slash = entry.find('/');
        const auto mask = slash == entry.npos ? std::nullopt : SubnetMask(entry.substr(slash + 1));
        if (!mask || !IsIpv4Address(entry.substr(0, slash)))
            throw ManagementError("not an IPv4 address with a prefix: " + entry);
        addresses.push_back(entry.substr(0, slash));
        masks.push_back(*mask);
    }
    if (state.ipv4Method == "manual" && addresses.empty())
        throw ManagementError("static IPv4 settings without an address");
    std::vector<std::string> servers;
    for (const auto& server : state.ipv4.servers)
        servers.emplace_back(ServerAddressPart(server));

    auto connection = Connection();
    IWbemServices& services = *connection->Services();
    // The first refusal ends the change and is its answer; otherwise a
    // restart asked for by any step is.
    ReturnCode answer = kSuccess;
    ReturnCode refused = kSuccess;
    auto run = [&](std::wstring_view method, const Inputs& fill) {
        const ReturnCode code = CallMethod(services, index, method, fill);
        if (!Succeeded(code))
            refused = code;
        else if (code == 1)
            answer = 1;
        return Succeeded(code);
    };
    bool settings;
    if (state.ipv4Method == "auto") {
        settings = run(L"EnableDHCP", {});
    } else {
        settings = run(L"EnableStatic", [&](IWbemClassObject& inputs) {
            PutTexts(inputs, L"IPAddress", addresses);
            PutTexts(inputs, L"SubnetMask", masks);
        });
        settings = settings && run(L"SetGateways", [&](IWbemClassObject& inputs) {
                       if (state.gateways.empty())
                           PutNull(inputs, L"DefaultIPGateway");
                       else
                           PutTexts(inputs, L"DefaultIPGateway", state.gateways);
                   });
    }
    if (!settings) return refused;
    if (!run(L"SetDNSServerSearchOrder", [&](IWbemClassObject& inputs) {
            if (servers.empty())
                PutNull(inputs, L"DNSServerSearchOrder");
            else
                PutTexts(inputs, L"DNSServerSearchOrder", servers);
        }))
        return refused;
    return answer;
}

ServersInUse WmiBackend::ReadServersInUse(std::int32_t index) {
    const auto configuration = GetObject(ConfigurationPath(index));
    const Snapshot& read = static_cast<const WmiConfiguration&>(*configuration).snapshot();
    ServersInUse inUse;
    for (const auto& server : read.dns.value_or(std::vector<std::string>{}))
        (IsIpv4Address(server) ? inUse.ipv4 : inUse.ipv6).push_back(server);
    for (const auto& gateway : read.gateways)
        if (IsIpv4Address(gateway)) inUse.gateways.push_back(gateway);
    return inUse;
}

} // namespace velmora::management

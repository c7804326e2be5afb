#include "app/management/networkmanager_backend.h"

#include "app/management/dbus_services.h"
#include "app/management/networkmanager_profile.h"
#include "platform/net/address.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <net/if.h>

namespace velmora::management {

ReturnCode CodeForError(const GError* e) {
    if (!e) return kUnknownFailure;
    if (g_error_matches(e, NM_SETTINGS_ERROR, NM_SETTINGS_ERROR_PERMISSION_DENIED) ||
        g_error_matches(e, NM_MANAGER_ERROR, NM_MANAGER_ERROR_PERMISSION_DENIED) ||
        g_error_matches(e, G_DBUS_ERROR, G_DBUS_ERROR_ACCESS_DENIED) ||
        g_error_matches(e, G_DBUS_ERROR, G_DBUS_ERROR_AUTH_FAILED) ||
        g_error_matches(e, G_IO_ERROR, G_IO_ERROR_PERMISSION_DENIED))
        return kAccessDenied;
    // Only an authorisation prompt keeps a call waiting long enough to time
    // out or to be cancelled; either way the change was not authorised.
    if (g_error_matches(e, G_IO_ERROR, G_IO_ERROR_CANCELLED) ||
        g_error_matches(e, G_IO_ERROR, G_IO_ERROR_TIMED_OUT) ||
        g_error_matches(e, G_DBUS_ERROR, G_DBUS_ERROR_TIMEOUT) ||
        g_error_matches(e, G_DBUS_ERROR, G_DBUS_ERROR_TIMED_OUT) ||
        g_error_matches(e, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY))
        return kAccessDenied;
    if (g_dbus_error_is_remote_error(e)) {
        gchar* remote = g_dbus_error_get_remote_error(e);
        const bool polkit =
            remote && std::string_view{remote}.starts_with("org.freedesktop.PolicyKit1.Error.");
        g_free(remote);
        if (polkit) return kAccessDenied;
    }
    if (g_error_matches(e, NM_SETTINGS_ERROR, NM_SETTINGS_ERROR_READ_ONLY_CONNECTION) ||
        g_error_matches(e, NM_SETTINGS_ERROR, NM_SETTINGS_ERROR_NOT_SUPPORTED))
        return kInterfaceNotConfigurable;
    return kUnknownFailure;
}

namespace {

bool IsIpv4Text(const std::string& text) {
    return platform::net::ParseIpv4(text).has_value();
}

bool IsSwitchedOff(NMSettingIPConfig* setting) {
    const char* method = nm_setting_ip_config_get_method(setting);
    const std::string_view m = method ? method : "";
    return m == NM_SETTING_IP4_CONFIG_METHOD_DISABLED ||
           m == NM_SETTING_IP6_CONFIG_METHOD_DISABLED || m == NM_SETTING_IP6_CONFIG_METHOD_IGNORE;
}

NMSettingIPConfig* Ipv4Setting(NMConnection* profile) {
    return NM_SETTING_IP_CONFIG(nm_connection_get_setting_ip4_config(profile));
}

} // namespace

ReturnCode SplitServerFamilies(const std::vector<std::string>& servers,
                               std::vector<std::string> (&byFamily)[2]) {
    for (const auto& server : servers) {
        if (!IsValidServerAddress(server)) return kInvalidIpAddress;
        byFamily[IsIpv4Text(server) ? 0 : 1].push_back(server);
    }
    return kSuccess;
}

ReturnCode EditServers(NMConnection* profile, const std::vector<std::string> (*byFamily)[2]) {
    NMSettingIPConfig* families[] = {
        Ipv4Setting(profile), NM_SETTING_IP_CONFIG(nm_connection_get_setting_ip6_config(profile))};
    // Every family is checked before any is changed.
    for (int family = 0; family < 2; ++family) {
        const bool given = byFamily && !(*byFamily)[family].empty();
        if (!given) continue;
        if (!families[family]) return kInterfaceNotConfigurable;
        // A family the profile switches off takes no servers.
        if (IsSwitchedOff(families[family])) return kIpNotEnabled;
    }
    for (int family = 0; family < 2; ++family) {
        NMSettingIPConfig* setting = families[family];
        const bool given = byFamily && !(*byFamily)[family].empty();
        if (!setting || (byFamily && !given)) continue;
        nm_setting_ip_config_clear_dns(setting);
        if (given)
            for (const auto& server : (*byFamily)[family])
                nm_setting_ip_config_add_dns(setting, server.c_str());
        g_object_set(setting, NM_SETTING_IP_CONFIG_IGNORE_AUTO_DNS, gboolean{given}, nullptr);
    }
    return kSuccess;
}

ReturnCode EditEnableDhcp(NMConnection* profile) {
    NMSettingIPConfig* ipv4 = Ipv4Setting(profile);
    if (!ipv4) return kInterfaceNotConfigurable;
    g_object_set(ipv4, NM_SETTING_IP_CONFIG_METHOD, NM_SETTING_IP4_CONFIG_METHOD_AUTO,
                 NM_SETTING_IP_CONFIG_GATEWAY, nullptr, nullptr);
    nm_setting_ip_config_clear_addresses(ipv4);
    return kSuccess;
}

ReturnCode EditClearGateway(NMConnection* profile) {
    NMSettingIPConfig* ipv4 = Ipv4Setting(profile);
    if (!ipv4) return kInterfaceNotConfigurable;
    g_object_set(ipv4, NM_SETTING_IP_CONFIG_GATEWAY, nullptr, nullptr);
    return kSuccess;
}

namespace {

constexpr ReturnCode kInvalidInput = 68;

struct ConnectionUnref {
    void operator()(NMConnection* c) const {
        if (c) g_object_unref(c);
    }
};

DnsOverTls FromNm(NMSettingConnectionDnsOverTls mode) {
    switch (mode) {
    case NM_SETTING_CONNECTION_DNS_OVER_TLS_NO:
        return DnsOverTls::No;
    case NM_SETTING_CONNECTION_DNS_OVER_TLS_OPPORTUNISTIC:
        return DnsOverTls::Opportunistic;
    case NM_SETTING_CONNECTION_DNS_OVER_TLS_YES:
        return DnsOverTls::Yes;
    default:
        return DnsOverTls::Default;
    }
}

int ToNm(DnsOverTls mode) {
    switch (mode) {
    case DnsOverTls::No:
        return NM_SETTING_CONNECTION_DNS_OVER_TLS_NO;
    case DnsOverTls::Opportunistic:
        return NM_SETTING_CONNECTION_DNS_OVER_TLS_OPPORTUNISTIC;
    case DnsOverTls::Yes:
        return NM_SETTING_CONNECTION_DNS_OVER_TLS_YES;
    case DnsOverTls::Default:
        break;
    }
    return NM_SETTING_CONNECTION_DNS_OVER_TLS_DEFAULT;
}

FamilyDns ReadFamily(NMSettingIPConfig* setting) {
    FamilyDns family;
    if (!setting) return family;
    for (guint i = 0; i < nm_setting_ip_config_get_num_dns(setting); ++i)
        if (const char* server = nm_setting_ip_config_get_dns(setting, i))
            family.servers.emplace_back(server);
    family.ignoreAutomatic = nm_setting_ip_config_get_ignore_auto_dns(setting);
    return family;
}

void WriteFamily(NMSettingIPConfig* setting, const FamilyDns& family) {
    nm_setting_ip_config_clear_dns(setting);
    for (const auto& server : family.servers)
        nm_setting_ip_config_add_dns(setting, server.c_str());
    g_object_set(setting, NM_SETTING_IP_CONFIG_IGNORE_AUTO_DNS, gboolean{family.ignoreAutomatic},
                 nullptr);
}

} // namespace

DnsState ReadProfileState(NMConnection* profile) {
    DnsState state;
    NMSettingIPConfig* ipv4 = Ipv4Setting(profile);
    NMSettingIPConfig* ipv6 = NM_SETTING_IP_CONFIG(nm_connection_get_setting_ip6_config(profile));
    if (ipv4) {
        if (const char* method = nm_setting_ip_config_get_method(ipv4)) state.ipv4Method = method;
        for (guint i = 0; i < nm_setting_ip_config_get_num_addresses(ipv4); ++i) {
            NMIPAddress* address = nm_setting_ip_config_get_address(ipv4, i);
            state.ipv4Addresses.push_back(std::string{nm_ip_address_get_address(address)} + "/" +
                                          std::to_string(nm_ip_address_get_prefix(address)));
        }
        if (const char* gateway = nm_setting_ip_config_get_gateway(ipv4); gateway && *gateway)
            state.gateways.emplace_back(gateway);
    }
    state.ipv4 = ReadFamily(ipv4);
    state.ipv6 = ReadFamily(ipv6);
    if (NMSettingConnection* connection = nm_connection_get_setting_connection(profile))
        state.dnsOverTls = FromNm(nm_setting_connection_get_dns_over_tls(connection));
    return state;
}

ReturnCode EditState(NMConnection* original, const DnsState& state) {
    for (const auto* family : {&state.ipv4, &state.ipv6})
        for (const auto& server : family->servers)
            if (!IsValidStateServer(server)) return kInvalidIpAddress;
    for (const auto& gateway : state.gateways)
        if (!IsIpv4Address(gateway)) return kInvalidIpAddress;
    if (state.gateways.size() > 1) return kInvalidInput; // a profile has one gateway
    // Edited on a copy and verified whole, so a refusal leaves the profile
    // untouched.
    std::unique_ptr<NMConnection, ConnectionUnref> copy{nm_simple_connection_new_clone(original)};
    NMSettingIPConfig* ipv4 = Ipv4Setting(copy.get());
    NMSettingIPConfig* ipv6 =
        NM_SETTING_IP_CONFIG(nm_connection_get_setting_ip6_config(copy.get()));
    if (!ipv4) return kInterfaceNotConfigurable;
    if (!ipv6 && (!state.ipv6.servers.empty() || state.ipv6.ignoreAutomatic))
        return kInterfaceNotConfigurable;
    if (!state.ipv6.servers.empty() && IsSwitchedOff(ipv6)) return kIpNotEnabled;

    g_object_set(ipv4, NM_SETTING_IP_CONFIG_METHOD, state.ipv4Method.c_str(),
                 NM_SETTING_IP_CONFIG_GATEWAY,
                 state.gateways.empty() ? nullptr : state.gateways.front().c_str(), nullptr);
    nm_setting_ip_config_clear_addresses(ipv4);
    for (const auto& text : state.ipv4Addresses) {
        const auto slash = text.find('/');
        if (slash == text.npos) return kInvalidIpAddress;
        const std::string address = text.substr(0, slash);
        const int prefix = std::atoi(text.c_str() + slash + 1);
        GError* error = nullptr;
        NMIPAddress* entry =
            nm_ip_address_new(AF_INET, address.c_str(), static_cast<guint>(prefix), &error);
        if (!entry) {
            g_clear_error(&error);
            return kInvalidIpAddress;
        }
        nm_setting_ip_config_add_address(ipv4, entry);
        nm_ip_address_unref(entry);
    }
    WriteFamily(ipv4, state.ipv4);
    if (ipv6) WriteFamily(ipv6, state.ipv6);
    if (NMSettingConnection* connection = nm_connection_get_setting_connection(copy.get()))
        g_object_set(connection, NM_SETTING_CONNECTION_DNS_OVER_TLS, ToNm(state.dnsOverTls),
                     nullptr);
    else if (state.dnsOverTls != DnsOverTls::Default)
        return kInterfaceNotConfigurable;

    GError* error = nullptr;
    if (!nm_connection_verify(copy.get(), &error)) {
        g_clear_error(&error);
        return kInvalidInput;
    }
    nm_connection_replace_settings_from_connection(original, copy.get());
    return kSuccess;
}

bool AcceptsServerNames() {
    std::unique_ptr<NMConnection, ConnectionUnref> probe{nm_simple_connection_new()};
    NMSetting* connection = nm_setting_connection_new();
    gchar* uuid = nm_utils_uuid_generate();
    g_object_set(connection, NM_SETTING_CONNECTION_ID, "probe", NM_SETTING_CONNECTION_UUID, uuid,
                 NM_SETTING_CONNECTION_TYPE, NM_SETTING_WIRED_SETTING_NAME, nullptr);
    g_free(uuid);
    nm_connection_add_setting(probe.get(), connection);
    nm_connection_add_setting(probe.get(), nm_setting_wired_new());
    NMSetting* ipv4 = nm_setting_ip4_config_new();
    g_object_set(ipv4, NM_SETTING_IP_CONFIG_METHOD, NM_SETTING_IP4_CONFIG_METHOD_AUTO, nullptr);
    nm_setting_ip_config_add_dns(NM_SETTING_IP_CONFIG(ipv4), "192.0.2.1#probe.example");
    nm_connection_add_setting(probe.get(), ipv4);
    GError* error = nullptr;
    const bool accepted = nm_connection_verify(probe.get(), &error);
    g_clear_error(&error);
    return accepted;
}

namespace {

using Clock = std::chrono::steady_clock;

// NetworkManager answers within milliseconds; a call that has not finished
// after this long is cancelled and reported as a failure.
constexpr auto kCallTimeout = std::chrono::seconds(30);
constexpr auto kReleaseTimeout = std::chrono::seconds(5);

struct GObjectUnref {
    void operator()(gpointer object) const {
        if (object) g_object_unref(object);
    }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
    void operator()(GError* error) const {
        if (error) g_error_free(error);
    }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

// Out-parameter adapter: Call(f(..., &OutError(error)))
class ErrorOut {
public:
    explicit ErrorOut(GErrorPtr& target) : target_(target) {}
    ~ErrorOut() { target_.reset(raw_); }
    operator GError**() { return &raw_; }

private:
    GErrorPtr& target_;
    GError* raw_ = nullptr;
};

std::string Describe(const GErrorPtr& error) {
    return error && error->message ? error->message : "unknown error";
}

// Makes a context the thread's default while libnm is used, so its D-Bus
// replies and our callbacks are dispatched there and nowhere else: the
// window's own event loop never runs inside a management call.
class ContextScope {
public:
    explicit ContextScope(GMainContext* context) : context_(context) {
        g_main_context_push_thread_default(context_);
    }
    ~ContextScope() { g_main_context_pop_thread_default(context_); }
    ContextScope(const ContextScope&) = delete;
    ContextScope& operator=(const ContextScope&) = delete;

private:
    GMainContext* context_;
};

// One blocking iteration that wakes up after at most `period`.
void IterateFor(GMainContext* context, std::chrono::milliseconds period) {
    GSource* timer = g_timeout_source_new(static_cast<guint>(period.count()));
    g_source_set_callback(
        timer, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
    g_source_attach(timer, context);
    g_main_context_iteration(context, TRUE);
    g_source_destroy(timer);
    g_source_unref(timer);
}

ReturnCode CodeFor(const GErrorPtr& error) {
    return CodeForError(error.get());
}

std::string InterfaceName(NMDevice* device) {
    const char* name = nm_device_get_ip_iface(device);
    if (!name || !*name) name = nm_device_get_iface(device);
    return name ? name : "";
}

std::int32_t InterfaceIndex(NMDevice* device) {
    const std::string name = InterfaceName(device);
    return name.empty() ? 0 : static_cast<std::int32_t>(::if_nametoindex(name.c_str()));
}

bool HasIpv4(NMDevice* device) {
    NMIPConfig* config = nm_device_get_ip4_config(device);
    if (!config) return false;
    const GPtrArray* addresses = nm_ip_config_get_addresses(config);
    return addresses && addresses->len > 0;
}

bool IsLoopback(NMDevice* device) {
    return nm_device_get_device_type(device) == NM_DEVICE_TYPE_LOOPBACK ||
           InterfaceName(device) == "lo";
}

struct DeviceSnapshot {
    std::string path;
    std::string description;
    std::int32_t index = 0;
    std::optional<std::vector<std::string>> dns;
};

DeviceSnapshot Snapshot(NMDevice* device) {
    DeviceSnapshot snapshot;
    snapshot.path = nm_object_get_path(NM_OBJECT(device));
    snapshot.index = InterfaceIndex(device);
    const char* product = nm_device_get_product(device);
    const char* driver = nm_device_get_driver(device);
    const char* kind = nm_device_get_type_description(device);
    std::string what = product && *product ? product
                       : driver && *driver ? driver
                       : kind && *kind     ? kind
                                           : "network device";
    snapshot.description = what + " (" + InterfaceName(device) + ")";
    // The servers in use, IPv4's first, then IPv6's.
    NMIPConfig* configs[] = {nm_device_get_ip4_config(device), nm_device_get_ip6_config(device)};
    for (NMIPConfig* config : configs) {
        if (!config) continue;
        if (!snapshot.dns) snapshot.dns.emplace();
        if (const char* const* names = nm_ip_config_get_nameservers(config))
            for (; *names; ++names)
                snapshot.dns->emplace_back(*names);
    }
    return snapshot;
}

} // namespace

class NetworkManagerBackend::Session {
public:
    // Throws when the bus or NetworkManager does not answer.
    static std::shared_ptr<Session> Open() {
        std::shared_ptr<Session> session{new Session()};
        auto result =
            session->Await([](GCancellable* cancellable, GAsyncReadyCallback done, gpointer data) {
                nm_client_new_async(cancellable, done, data);
            });
        GErrorPtr error;
        session->client_ = nm_client_new_finish(result.get(), ErrorOut(error));
        if (!session->client_)
            throw ManagementError("cannot reach the system bus: " + Describe(error));
        if (!nm_client_get_nm_running(session->client_))
            throw ManagementError("NetworkManager is not running");
        return session;
    }

    ~Session() {
        if (client_) Release();
        g_main_context_unref(context_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    NMClient* client() const { return client_; }
    GMainContext* context() const { return context_; }

    void SetNoticeSink(NoticeSink sink) { notice_ = std::move(sink); }
    void Notice(const std::string& text) const {
        if (notice_) notice_(text);
    }

    // Dispatches the D-Bus updates that arrived since the last call, so the
    // client's picture of the devices is current before it is read.
    void Refresh() {
        ContextScope scope(context_);
        while (g_main_context_iteration(context_, FALSE)) {
        }
    }

    using Start = std::function<void(GCancellable*, GAsyncReadyCallback, gpointer)>;

    // Starts an asynchronous libnm call and drives the context until it
    // completes; past the time limit the call is cancelled, which completes
    // it with an error.
    GObjectPtr<GAsyncResult> Await(const Start& start) {
        ContextScope scope(context_);
        GObjectPtr<GCancellable> cancellable{g_cancellable_new()};
        GAsyncResult* result = nullptr;
        start(
            cancellable.get(),
            [](GObject*, GAsyncResult* done, gpointer data) {
                *static_cast<GAsyncResult**>(data) = G_ASYNC_RESULT(g_object_ref(done));
            },
            &result);
        const auto deadline = Clock::now() + kCallTimeout;
        while (!result) {
            if (Clock::now() >= deadline) g_cancellable_cancel(cancellable.get());
            IterateFor(context_, std::chrono::milliseconds(100));
        }
        return GObjectPtr<GAsyncResult>{result};
    }

private:
    Session() : context_(g_main_context_new()) {}

    // The client's D-Bus machinery outlives the object until its context has
    // been iterated; the busy watcher tells when that is done.
    void Release() {
        ContextScope scope(context_);
        bool released = false;
        GObject* watcher = nm_client_get_context_busy_watcher(client_);
        g_object_weak_ref(watcher, &MarkReleased, &released);
        g_object_unref(client_);
        client_ = nullptr;
        const auto deadline = Clock::now() + kReleaseTimeout;
        while (!released && Clock::now() < deadline)
            IterateFor(context_, std::chrono::milliseconds(50));
        if (!released) g_object_weak_unref(watcher, &MarkReleased, &released);
    }

    static void MarkReleased(gpointer flag, GObject*) { *static_cast<bool*>(flag) = true; }

    GMainContext* context_;
    NMClient* client_ = nullptr;
    NoticeSink notice_;
};

namespace {

using Session = NetworkManagerBackend::Session;

class NmConfiguration final : public AdapterConfiguration {
public:
    NmConfiguration(std::shared_ptr<Session> session, DeviceSnapshot snapshot)
        : session_(std::move(session)), snapshot_(std::move(snapshot)) {}

    std::string Description() const override { return snapshot_.description; }
    std::int32_t Index() const override { return snapshot_.index; }
    std::string DNSServerSearchOrder(std::size_t element) const override {
        return ServerListElement(snapshot_.dns, element);
    }

    ReturnCode SetDNSServerSearchOrder(const ServerSearchOrder& servers) override {
        const auto* list = std::get_if<std::vector<std::string>>(&servers);
        std::vector<std::string> byFamily[2];
        if (list)
            if (ReturnCode code = SplitServerFamilies(*list, byFamily); code != kSuccess)
                return code;
        return ChangeProfile([&](NMConnection* profile) {
            return EditServers(profile, list ? &byFamily : nullptr);
        });
    }

    ReturnCode EnableDHCP() override { return ChangeProfile(EditEnableDhcp); }

    ReturnCode SetGateways(Null) override { return ClearGateway(); }
    ReturnCode SetGateways(Null, Null) override { return ClearGateway(); }

    void BeginChanges() override {
        staging_ = true;
        staged_.reset();
    }

    ReturnCode CommitChanges() override {
        staging_ = false;
        if (!staged_) return kSuccess;
        GObjectPtr<NMConnection> staged = std::move(staged_);
        Target target;
        if (ReturnCode code = Resolve(target); code != kSuccess) return code;
        return SaveAndApply(target, staged.get());
    }

    // The profile's state as saved; throws when there is no profile of ours.
    DnsState ReadState() {
        Target target;
        if (ReturnCode code = Resolve(target, false); code != kSuccess)
            throw ManagementError(
                "the adapter has no connection profile Velmora may change (code " +
                std::to_string(code) + ")");
        GErrorPtr error;
        GObjectPtr<NMConnection> settings = FetchSettings(target.profile.get(), error);
        if (!settings) throw ManagementError("cannot read the profile: " + Describe(error));
        return ReadProfileState(settings.get());
    }

    ReturnCode WriteState(const DnsState& state) {
        Target target;
        if (ReturnCode code = Resolve(target, false); code != kSuccess) return code;
        GErrorPtr error;
        GObjectPtr<NMConnection> copy = FetchSettings(target.profile.get(), error);
        if (!copy) return CodeFor(error);
        if (ReturnCode code = EditState(copy.get(), state); code != kSuccess) return code;
        return SaveAndApply(target, copy.get());
    }

private:
    ReturnCode ClearGateway() { return ChangeProfile(EditClearGateway); }

    struct Target {
        GObjectPtr<NMDevice> device;
        GObjectPtr<NMRemoteConnection> profile;
    };

    // The device and the profile it runs, when they may be changed. A whole
    // state may be written to a device without IPv4 (a restore after a
    // revert to DHCP that found no server), the window's operations not.
    ReturnCode Resolve(Target& target, bool needIpv4 = true) {
        session_->Refresh();
        NMDevice* found = nm_client_get_device_by_path(session_->client(), snapshot_.path.c_str());
        if (!found) throw ManagementError("the device is gone");
        target.device.reset(NM_DEVICE(g_object_ref(found)));
        NMDevice* device = target.device.get();
        if (needIpv4 && !HasIpv4(device)) return kIpNotEnabled;
        if (nm_device_get_state(device) == NM_DEVICE_STATE_UNMANAGED)
            return kInterfaceNotConfigurable;
        NMActiveConnection* active = nm_device_get_active_connection(device);
        NMRemoteConnection* current =
            active ? nm_active_connection_get_connection(active) : nullptr;
        // A profile NetworkManager made up to describe a device configured by
        // someone else is not ours to save: saving it would take the device over.
        if (!current ||
            (nm_remote_connection_get_flags(current) & NM_SETTINGS_CONNECTION_FLAG_EXTERNAL))
            return kInterfaceNotConfigurable;
        target.profile.reset(NM_REMOTE_CONNECTION(g_object_ref(current)));
        return kSuccess;
    }

    // Edits a copy of the device's profile. Outside a batch the copy is
    // saved to disk and applied to the running device at once; inside one
    // it is kept for CommitChanges, and an edit that fails leaves it as it
    // was.
    template <typename Edit>
    ReturnCode ChangeProfile(Edit edit) {
        Target target;
        if (ReturnCode code = Resolve(target); code != kSuccess) return code;
        GErrorPtr error;
        GObjectPtr<NMConnection> copy;
        if (staging_ && staged_)
            copy.reset(nm_simple_connection_new_clone(staged_.get()));
        else
            copy = FetchSettings(target.profile.get(), error);
        if (!copy) return CodeFor(error);
        if (ReturnCode code = edit(copy.get()); code != kSuccess) return code;
        if (staging_) {
            staged_ = std::move(copy);
            return kSuccess;
        }
        return SaveAndApply(target, copy.get());
    }

    ReturnCode SaveAndApply(const Target& target, NMConnection* settings) {
        GErrorPtr error;
        auto updated = session_->Await([&](GCancellable* cancellable, GAsyncReadyCallback done,
                                           gpointer data) {
            nm_remote_connection_update2(
                target.profile.get(), nm_connection_to_dbus(settings, NM_CONNECTION_SERIALIZE_ALL),
                NM_SETTINGS_UPDATE2_FLAG_TO_DISK, nullptr, cancellable, done, data);
        });
        GVariant* answer = nm_remote_connection_update2_finish(target.profile.get(), updated.get(),
                                                               ErrorOut(error));
        if (!answer) return CodeFor(error);
        g_variant_unref(answer);
        return Apply(target.device.get(), target.profile.get());
    }

    // The profile as NetworkManager holds it now. The client's cached copy
    // is refreshed only some time after a change, so a change that follows
    // another (as the gateway and DNS calls follow EnableDHCP) built on it
    // would undo the one before.
    GObjectPtr<NMConnection> FetchSettings(NMRemoteConnection* profile, GErrorPtr& error) {
        auto fetched = session_->Await(
            [&](GCancellable* cancellable, GAsyncReadyCallback done, gpointer data) {
                g_dbus_connection_call(nm_client_get_dbus_connection(session_->client()),
                                       NM_DBUS_SERVICE, nm_object_get_path(NM_OBJECT(profile)),
                                       NM_DBUS_INTERFACE_SETTINGS_CONNECTION, "GetSettings",
                                       nullptr, G_VARIANT_TYPE("(a{sa{sv}})"),
                                       G_DBUS_CALL_FLAGS_NONE, -1, cancellable, done, data);
            });
        GVariant* reply = g_dbus_connection_call_finish(
            nm_client_get_dbus_connection(session_->client()), fetched.get(), ErrorOut(error));
        if (!reply) return nullptr;
        // The reply's type was checked against the signature above; libnm
        // validates the settings themselves.
        GVariant* settings = g_variant_get_child_value(reply, 0);
        GObjectPtr<NMConnection> connection{
            nm_simple_connection_new_from_dbus(settings, ErrorOut(error))};
        g_variant_unref(settings);
        g_variant_unref(reply);
        return connection;
    }

    // Reapplies the saved profile to the running device, checked against the
    // applied connection's version so a concurrent change is not overwritten;
    // re-activates only when NetworkManager refuses the reapply.
    ReturnCode Apply(NMDevice* device, NMRemoteConnection* profile) {
        GErrorPtr error;
        guint64 version = 0;
        auto fetched = session_->Await(
            [&](GCancellable* cancellable, GAsyncReadyCallback done, gpointer data) {
                nm_device_get_applied_connection_async(device, 0, cancellable, done, data);
            });
        GObjectPtr<NMConnection> applied{nm_device_get_applied_connection_finish(
            device, fetched.get(), &version, ErrorOut(error))};
        if (applied) {
            auto reapplied = session_->Await(
                [&](GCancellable* cancellable, GAsyncReadyCallback done, gpointer data) {
                    nm_device_reapply_async(device, nullptr, version, 0, cancellable, done, data);
                });
            if (nm_device_reapply_finish(device, reapplied.get(), ErrorOut(error))) return kSuccess;
        }
        session_->Notice("NetworkManager did not reapply the settings (" + Describe(error) +
                         "); re-activating the connection, which interrupts it briefly");
        auto activated = session_->Await(
            [&](GCancellable* cancellable, GAsyncReadyCallback done, gpointer data) {
                nm_client_activate_connection_async(session_->client(), NM_CONNECTION(profile),
                                                    device, nullptr, cancellable, done, data);
            });
        GObjectPtr<NMActiveConnection> connection{nm_client_activate_connection_finish(
            session_->client(), activated.get(), ErrorOut(error))};
        return connection ? kSuccess : CodeFor(error);
    }

    std::shared_ptr<Session> session_;
    DeviceSnapshot snapshot_;
    bool staging_ = false;
    GObjectPtr<NMConnection> staged_;
};

class NmService final : public Service {
public:
    explicit NmService(std::shared_ptr<Session> session) : session_(std::move(session)) {}

    AdapterConfigurations ExecQuery(std::string_view query) override {
        RequireAdapterQuery(query);
        session_->Refresh();
        AdapterConfigurations configurations;
        const GPtrArray* devices = nm_client_get_devices(session_->client());
        for (guint i = 0; devices && i < devices->len; ++i) {
            auto* device = NM_DEVICE(g_ptr_array_index(devices, i));
            if (IsLoopback(device) || !HasIpv4(device)) continue;
            DeviceSnapshot snapshot = Snapshot(device);
            if (snapshot.index == 0) continue; // the interface went away meanwhile
            configurations.push_back(
                std::make_unique<NmConfiguration>(session_, std::move(snapshot)));
        }
        return configurations;
    }

private:
    std::shared_ptr<Session> session_;
};

} // namespace

NetworkManagerBackend::NetworkManagerBackend() = default;
NetworkManagerBackend::~NetworkManagerBackend() = default;

void NetworkManagerBackend::SetNoticeSink(NoticeSink sink) {
    notice_ = std::move(sink);
    if (session_) session_->SetNoticeSink(notice_);
}

std::shared_ptr<NetworkManagerBackend::Session> NetworkManagerBackend::OpenSession() {
    // A session that failed is tried again on the next call: NetworkManager
    // may have started in between.
    if (!session_) {
        session_ = Session::Open();
        session_->SetNoticeSink(notice_);
    }
    return session_;
}

std::unique_ptr<Service> NetworkManagerBackend::Connect(std::string_view connectionString) {
    RequireLocalConnection(connectionString);
    return std::make_unique<NmService>(OpenSession());
}

namespace {

// The device stays the client's; it is valid until the session is next
// refreshed.
NMDevice* FindDevice(const std::shared_ptr<Session>& session, std::int32_t index) {
    session->Refresh();
    const GPtrArray* devices = nm_client_get_devices(session->client());
    for (guint i = 0; devices && i < devices->len; ++i) {
        auto* device = NM_DEVICE(g_ptr_array_index(devices, i));
        if (InterfaceIndex(device) == index) return device;
    }
    throw ManagementError("no adapter configuration has index " + std::to_string(index));
}

std::unique_ptr<NmConfiguration> FindConfiguration(const std::shared_ptr<Session>& session,
                                                   std::int32_t index) {
    return std::make_unique<NmConfiguration>(session, Snapshot(FindDevice(session, index)));
}

std::vector<std::string> Nameservers(NMIPConfig* config) {
    std::vector<std::string> servers;
    if (const char* const* names = config ? nm_ip_config_get_nameservers(config) : nullptr)
        for (; *names; ++names)
            servers.emplace_back(*names);
    return servers;
}

} // namespace

std::unique_ptr<AdapterConfiguration>
NetworkManagerBackend::GetObject(std::string_view objectPath) {
    return FindConfiguration(OpenSession(), RequireConfigurationPath(objectPath));
}

std::string NetworkManagerBackend::Identity() const {
    return std::string{kNetworkManagerIdentity};
}

DnsState NetworkManagerBackend::ReadDnsState(std::int32_t index) {
    return FindConfiguration(OpenSession(), index)->ReadState();
}

ReturnCode NetworkManagerBackend::WriteDnsState(std::int32_t index, const DnsState& state) {
    return FindConfiguration(OpenSession(), index)->WriteState(state);
}

std::optional<std::string> NetworkManagerBackend::DnsOverTlsUnavailable(std::int32_t index) {
    auto session = OpenSession();
    FindConfiguration(session, index); // throws for an unknown adapter
    // NetworkManager hands the mode on to systemd-resolved only; with any
    // other resolver the setting would be stored and silently unused.
    const char* mode = nm_client_get_dns_mode(session->client());
    const std::string_view resolver = mode ? mode : "";
    if (resolver != "systemd-resolved")
        return "NetworkManager passes DNS to \"" +
               std::string{resolver.empty() ? "unknown" : resolver} +
               "\" rather than systemd-resolved, which alone uses DNS over TLS";
    const char* version = nm_client_get_version(session->client());
    int major = 0, minor = 0;
    if (!version || std::sscanf(version, "%d.%d", &major, &minor) != 2 ||
        (major == 1 && minor < 34) || major < 1)
        return std::string{"NetworkManager "} + (version ? version : "of unknown version") +
               " has no DNS-over-TLS setting (1.34 or later has)";
    if (!AcceptsServerNames())
        return "this NetworkManager library does not accept DNS-over-TLS server names";
    return std::nullopt;
}

ServersInUse NetworkManagerBackend::ReadServersInUse(std::int32_t index) {
    NMDevice* device = FindDevice(OpenSession(), index);
    ServersInUse inUse;
    NMIPConfig* ipv4 = nm_device_get_ip4_config(device);
    inUse.ipv4 = Nameservers(ipv4);
    inUse.ipv6 = Nameservers(nm_device_get_ip6_config(device));
    if (const char* gateway = ipv4 ? nm_ip_config_get_gateway(ipv4) : nullptr; gateway && *gateway)
        inUse.gateways.emplace_back(gateway);
    return inUse;
}

ResolverSetup NetworkManagerBackend::ReadResolverSetup() {
    auto session = OpenSession();
    session->Refresh();
    // libnm reads both from the DnsManager object; a NetworkManager without
    // one leaves them empty, and its configuration files tell instead.
    ResolverSetup setup;
    setup.from = "networkmanager";
    if (const char* mode = nm_client_get_dns_mode(session->client())) setup.mode = mode;
    if (const char* rc = nm_client_get_dns_rc_manager(session->client())) setup.rcManager = rc;
    return setup;
}

} // namespace velmora::management

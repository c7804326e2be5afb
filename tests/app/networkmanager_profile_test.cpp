#include "app/management/networkmanager_profile.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace mgmt = velmora::management;

namespace {

struct Unref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using Profile = std::unique_ptr<NMConnection, Unref>;

// A profile with a static IPv4 address, gateway and server and an IPv6
// server of its own.
Profile StaticProfile(const char* ipv6Method = NM_SETTING_IP6_CONFIG_METHOD_AUTO) {
    Profile profile{nm_simple_connection_new()};
    NMSettingIPConfig* ipv4 = NM_SETTING_IP_CONFIG(nm_setting_ip4_config_new());
    g_object_set(ipv4, NM_SETTING_IP_CONFIG_METHOD, NM_SETTING_IP4_CONFIG_METHOD_MANUAL,
                 NM_SETTING_IP_CONFIG_GATEWAY, "192.0.2.254", NM_SETTING_IP_CONFIG_IGNORE_AUTO_DNS,
                 TRUE, nullptr);
    NMIPAddress* address = nm_ip_address_new(AF_INET, "192.0.2.10", 24, nullptr);
    nm_setting_ip_config_add_address(ipv4, address);
    nm_ip_address_unref(address);
    nm_setting_ip_config_add_dns(ipv4, "198.51.100.1");
    NMSettingIPConfig* ipv6 = NM_SETTING_IP_CONFIG(nm_setting_ip6_config_new());
    g_object_set(ipv6, NM_SETTING_IP_CONFIG_METHOD, ipv6Method, nullptr);
    if (std::string_view{ipv6Method} == NM_SETTING_IP6_CONFIG_METHOD_AUTO) {
        nm_setting_ip_config_add_dns(ipv6, "2001:db8::1");
        g_object_set(ipv6, NM_SETTING_IP_CONFIG_IGNORE_AUTO_DNS, TRUE, nullptr);
    }
    nm_connection_add_setting(profile.get(), NM_SETTING(ipv4));
    nm_connection_add_setting(profile.get(), NM_SETTING(ipv6));
    return profile;
}

NMSettingIPConfig* Family(const Profile& profile, int family) {
    return family == 4 ? NM_SETTING_IP_CONFIG(nm_connection_get_setting_ip4_config(profile.get()))
                       : NM_SETTING_IP_CONFIG(nm_connection_get_setting_ip6_config(profile.get()));
}

std::vector<std::string> Servers(const Profile& profile, int family) {
    std::vector<std::string> servers;
    NMSettingIPConfig* setting = Family(profile, family);
    for (guint i = 0; i < nm_setting_ip_config_get_num_dns(setting); ++i)
        servers.emplace_back(nm_setting_ip_config_get_dns(setting, static_cast<int>(i)));
    return servers;
}

bool IgnoresAutoDns(const Profile& profile, int family) {
    return nm_setting_ip_config_get_ignore_auto_dns(Family(profile, family));
}

mgmt::ReturnCode SetServers(const Profile& profile, std::vector<std::string> servers) {
    std::vector<std::string> byFamily[2];
    if (auto code = mgmt::SplitServerFamilies(servers, byFamily); code != mgmt::kSuccess)
        return code;
    return mgmt::EditServers(profile.get(), &byFamily);
}

using Strings = std::vector<std::string>;

TEST(NetworkManagerProfile, EachFamilyKeepsItsServersUnlessItIsGivenNewOnes) {
    auto profile = StaticProfile();
    EXPECT_EQ(SetServers(profile, {"192.0.2.53"}), mgmt::kSuccess);
    EXPECT_EQ(Servers(profile, 4), Strings{"192.0.2.53"});
    EXPECT_EQ(Servers(profile, 6), Strings{"2001:db8::1"}) << "IPv6 was not given servers";
    EXPECT_TRUE(IgnoresAutoDns(profile, 6));

    EXPECT_EQ(SetServers(profile, {"2001:db8::53", "2001:db8::54"}), mgmt::kSuccess);
    EXPECT_EQ(Servers(profile, 4), Strings{"192.0.2.53"}) << "IPv4 was not given servers";
    EXPECT_EQ(Servers(profile, 6), (Strings{"2001:db8::53", "2001:db8::54"}));

    EXPECT_EQ(SetServers(profile, {"2001:db8::9", "198.51.100.9"}), mgmt::kSuccess);
    EXPECT_EQ(Servers(profile, 4), Strings{"198.51.100.9"});
    EXPECT_EQ(Servers(profile, 6), Strings{"2001:db8::9"});
    EXPECT_TRUE(IgnoresAutoDns(profile, 4));
    EXPECT_TRUE(IgnoresAutoDns(profile, 6));

    // Dropping the list clears both families and takes automatic servers again.
    EXPECT_EQ(mgmt::EditServers(profile.get(), nullptr), mgmt::kSuccess);
    EXPECT_TRUE(Servers(profile, 4).empty());
    EXPECT_TRUE(Servers(profile, 6).empty());
    EXPECT_FALSE(IgnoresAutoDns(profile, 4));
    EXPECT_FALSE(IgnoresAutoDns(profile, 6));
}

TEST(NetworkManagerProfile, ARefusedListChangesNoFamily) {
    auto profile = StaticProfile(NM_SETTING_IP6_CONFIG_METHOD_DISABLED);
    EXPECT_EQ(SetServers(profile, {"192.0.2.53", "2001:db8::53"}), mgmt::kIpNotEnabled);
    EXPECT_EQ(Servers(profile, 4), Strings{"198.51.100.1"}) << "IPv4 is checked before changed";
    EXPECT_EQ(SetServers(profile, {"192.0.2.53", "192.0.2.300"}), mgmt::kInvalidIpAddress);
    EXPECT_EQ(Servers(profile, 4), Strings{"198.51.100.1"});
    // A profile without IPv6 settings takes IPv4 servers but no IPv6 ones.
    Profile bare{nm_simple_connection_new()};
    nm_connection_add_setting(bare.get(), nm_setting_ip4_config_new());
    EXPECT_EQ(SetServers(bare, {"2001:db8::53"}), mgmt::kInterfaceNotConfigurable);
    EXPECT_EQ(SetServers(bare, {"192.0.2.53"}), mgmt::kSuccess);
}

TEST(NetworkManagerProfile, DhcpDropsTheStaticAddressesAndGatewayOfIpv4Only) {
    auto profile = StaticProfile();
    EXPECT_EQ(mgmt::EditEnableDhcp(profile.get()), mgmt::kSuccess);
    NMSettingIPConfig* ipv4 = Family(profile, 4);
    EXPECT_STREQ(nm_setting_ip_config_get_method(ipv4), NM_SETTING_IP4_CONFIG_METHOD_AUTO);
    EXPECT_EQ(nm_setting_ip_config_get_num_addresses(ipv4), 0u);
    EXPECT_EQ(nm_setting_ip_config_get_gateway(ipv4), nullptr);
    EXPECT_EQ(Servers(profile, 6), Strings{"2001:db8::1"});

    auto other = StaticProfile();
    EXPECT_EQ(mgmt::EditClearGateway(other.get()), mgmt::kSuccess);
    EXPECT_EQ(nm_setting_ip_config_get_gateway(Family(other, 4)), nullptr);
    EXPECT_EQ(nm_setting_ip_config_get_num_addresses(Family(other, 4)), 1u);

    Profile bare{nm_simple_connection_new()};
    EXPECT_EQ(mgmt::EditEnableDhcp(bare.get()), mgmt::kInterfaceNotConfigurable);
    EXPECT_EQ(mgmt::EditClearGateway(bare.get()), mgmt::kInterfaceNotConfigurable);
}

TEST(NetworkManagerProfile, RefusedAndUnansweredAuthorisationIsAccessDenied) {
    struct Case {
        GQuark domain;
        int code;
        mgmt::ReturnCode expected;
    };
    const Case cases[] = {
        {NM_SETTINGS_ERROR, NM_SETTINGS_ERROR_PERMISSION_DENIED, mgmt::kAccessDenied},
        {NM_MANAGER_ERROR, NM_MANAGER_ERROR_PERMISSION_DENIED, mgmt::kAccessDenied},
        {G_DBUS_ERROR, G_DBUS_ERROR_ACCESS_DENIED, mgmt::kAccessDenied},
        {G_IO_ERROR, G_IO_ERROR_CANCELLED, mgmt::kAccessDenied},
        {G_IO_ERROR, G_IO_ERROR_TIMED_OUT, mgmt::kAccessDenied},
        {G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY, mgmt::kAccessDenied},
        {NM_SETTINGS_ERROR, NM_SETTINGS_ERROR_READ_ONLY_CONNECTION,
         mgmt::kInterfaceNotConfigurable},
        {NM_SETTINGS_ERROR, NM_SETTINGS_ERROR_FAILED, mgmt::kUnknownFailure},
        {G_IO_ERROR, G_IO_ERROR_NOT_FOUND, mgmt::kUnknownFailure},
    };
    for (const auto& c : cases) {
        GError* error = g_error_new_literal(c.domain, c.code, "x");
        EXPECT_EQ(mgmt::CodeForError(error), c.expected) << g_quark_to_string(c.domain) << c.code;
        g_error_free(error);
    }
    GError* polkit =
        g_dbus_error_new_for_dbus_error("org.freedesktop.PolicyKit1.Error.Cancelled", "dismissed");
    EXPECT_EQ(mgmt::CodeForError(polkit), mgmt::kAccessDenied);
    g_error_free(polkit);
    EXPECT_EQ(mgmt::CodeForError(nullptr), mgmt::kUnknownFailure);
}

// StaticProfile with what NetworkManager needs to accept a profile whole.
Profile CompleteProfile(const char* ipv6Method = NM_SETTING_IP6_CONFIG_METHOD_AUTO) {
    Profile profile = StaticProfile(ipv6Method);
    NMSetting* connection = nm_setting_connection_new();
    g_object_set(connection, NM_SETTING_CONNECTION_ID, "test", NM_SETTING_CONNECTION_UUID,
                 "4f1c8a0e-2b7d-4c39-9a55-0d4c6c1e7f21", NM_SETTING_CONNECTION_TYPE,
                 NM_SETTING_WIRED_SETTING_NAME, nullptr);
    nm_connection_add_setting(profile.get(), connection);
    nm_connection_add_setting(profile.get(), nm_setting_wired_new());
    return profile;
}

TEST(NetworkManagerProfile, AWholeStateIsReadAndWrittenBackExactly) {
    auto profile = CompleteProfile();
    const mgmt::DnsState before = mgmt::ReadProfileState(profile.get());
    EXPECT_EQ(before.ipv4Method, "manual");
    EXPECT_EQ(before.ipv4Addresses, Strings{"192.0.2.10/24"});
    EXPECT_EQ(before.gateways, Strings{"192.0.2.254"});
    EXPECT_EQ(before.ipv4, (mgmt::FamilyDns{{"198.51.100.1"}, true}));
    EXPECT_EQ(before.ipv6, (mgmt::FamilyDns{{"2001:db8::1"}, true}));
    EXPECT_EQ(before.dnsOverTls, mgmt::DnsOverTls::Default);

    // What a revert to DHCP and a preset with DNS over TLS make of it.
    mgmt::DnsState changed = before;
    changed.ipv4Method = "auto";
    changed.ipv4Addresses.clear();
    changed.gateways.clear();
    ASSERT_TRUE(
        mgmt::SetStaticServers(changed, {"9.9.9.9#dns.quad9.net", "2620:fe::fe#dns.quad9.net",
                                         "149.112.112.112#dns.quad9.net"}));
    changed.dnsOverTls = mgmt::DnsOverTls::Yes;
    ASSERT_EQ(mgmt::EditState(profile.get(), changed), mgmt::kSuccess);
    EXPECT_EQ(mgmt::ReadProfileState(profile.get()), changed);
    EXPECT_EQ(Servers(profile, 4),
              (Strings{"9.9.9.9#dns.quad9.net", "149.112.112.112#dns.quad9.net"}));
    EXPECT_EQ(
        nm_setting_connection_get_dns_over_tls(nm_connection_get_setting_connection(profile.get())),
        NM_SETTING_CONNECTION_DNS_OVER_TLS_YES);

    ASSERT_EQ(mgmt::EditState(profile.get(), before), mgmt::kSuccess);
    EXPECT_EQ(mgmt::ReadProfileState(profile.get()), before) << "the record puts everything back";
}

TEST(NetworkManagerProfile, ARefusedStateChangesNothing) {
    auto profile = CompleteProfile(NM_SETTING_IP6_CONFIG_METHOD_DISABLED);
    const mgmt::DnsState before = mgmt::ReadProfileState(profile.get());
    struct Case {
        const char* what;
        void (*spoil)(mgmt::DnsState&);
        mgmt::ReturnCode code;
    };
    const Case cases[] = {
        {"a bad server", [](mgmt::DnsState& s) { s.ipv4.servers = {"192.0.2.300"}; },
         mgmt::kInvalidIpAddress},
        {"a bad server name", [](mgmt::DnsState& s) { s.ipv4.servers = {"192.0.2.1#a b"}; },
         mgmt::kInvalidIpAddress},
        {"IPv6 servers where IPv6 is off",
         [](mgmt::DnsState& s) { s.ipv6.servers = {"2001:db8::1"}; }, mgmt::kIpNotEnabled},
        {"two gateways",
         [](mgmt::DnsState& s) {
             s.gateways = {"192.0.2.1", "192.0.2.2"};
         },
         68},
        {"an address without prefix", [](mgmt::DnsState& s) { s.ipv4Addresses = {"192.0.2.9"}; },
         mgmt::kInvalidIpAddress},
        {"a method IPv4 does not have", [](mgmt::DnsState& s) { s.ipv4Method = "ignore"; }, 68},
    };
    for (const Case& c : cases) {
        mgmt::DnsState spoilt = before;
        c.spoil(spoilt);
        EXPECT_EQ(mgmt::EditState(profile.get(), spoilt), c.code) << c.what;
        EXPECT_EQ(mgmt::ReadProfileState(profile.get()), before) << c.what;
    }
}

} // namespace

#include "app/presets.h"

#include "app/messages.h"

#include <algorithm>
#include <array>

namespace velmora::app {

namespace {

// The first two are the window's own buttons; their IPv4 pairs are the texts
// those buttons put into the boxes.
constexpr std::array kPresets{
    Preset{"google",
           "Google Public DNS",
           {text::kGoogleFirst, text::kGoogleSecond},
           {"2001:4860:4860::8888", "2001:4860:4860::8844"},
           "dns.google"},
    Preset{"opendns",
           "OpenDNS",
           {text::kOpenDnsFirst, text::kOpenDnsSecond},
           {"2620:119:35::35", "2620:119:53::53"},
           ""},
    Preset{"opendns-family",
           "OpenDNS FamilyShield: blocks adult sites",
           {"208.67.222.123", "208.67.220.123"},
           {"2620:119:35::123", "2620:119:53::123"},
           ""},
    Preset{"quad9",
           "Quad9: blocks malicious domains",
           {"9.9.9.9", "149.112.112.112"},
           {"2620:fe::fe", "2620:fe::9"},
           "dns.quad9.net"},
    Preset{"quad9-unfiltered",
           "Quad9 without blocking",
           {"9.9.9.10", "149.112.112.10"},
           {"2620:fe::10", "2620:fe::fe:10"},
           "dns10.quad9.net"},
    Preset{"cloudflare",
           "Cloudflare 1.1.1.1",
           {"1.1.1.1", "1.0.0.1"},
           {"2606:4700:4700::1111", "2606:4700:4700::1001"},
           "cloudflare-dns.com"},
    Preset{"cloudflare-malware",
           "Cloudflare: blocks malware",
           {"1.1.1.2", "1.0.0.2"},
           {"2606:4700:4700::1112", "2606:4700:4700::1002"},
           "security.cloudflare-dns.com"},
    Preset{"cloudflare-family",
           "Cloudflare: blocks malware and adult sites",
           {"1.1.1.3", "1.0.0.3"},
           {"2606:4700:4700::1113", "2606:4700:4700::1003"},
           "family.cloudflare-dns.com"},
    Preset{"adguard",
           "AdGuard DNS: blocks ads and trackers",
           {"94.140.14.14", "94.140.15.15"},
           {"2a10:50c0::ad1:ff", "2a10:50c0::ad2:ff"},
           "dns.adguard-dns.com"},
    Preset{"adguard-unfiltered",
           "AdGuard DNS without blocking",
           {"94.140.14.140", "94.140.14.141"},
           {"2a10:50c0::1:ff", "2a10:50c0::2:ff"},
           "unfiltered.adguard-dns.com"},
    Preset{"adguard-family",
           "AdGuard DNS: blocks ads, trackers and adult sites",
           {"94.140.14.15", "94.140.15.16"},
           {"2a10:50c0::bad1:ff", "2a10:50c0::bad2:ff"},
           "family.adguard-dns.com"},
};

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        return lower(x) == lower(y);
    });
}

} // namespace

std::span<const Preset> Presets() {
    return kPresets;
}

const Preset* FindPreset(std::string_view name) {
    for (const Preset& preset : kPresets)
        if (SameIgnoringCase(preset.name, name)) return &preset;
    return nullptr;
}

std::vector<std::string> PresetServers(const Preset& preset, bool withTlsName) {
    std::vector<std::string> servers;
    for (const auto* family : {&preset.ipv4, &preset.ipv6})
        for (std::string_view address : *family) {
            std::string server{address};
            if (withTlsName && !preset.tlsName.empty()) (server += '#') += preset.tlsName;
            servers.push_back(std::move(server));
        }
    return servers;
}

std::string PresetTable() {
    std::string table;
    for (const Preset& preset : kPresets) {
        table += preset.name;
        table += '\t';
        ((table += preset.ipv4[0]) += ',') += preset.ipv4[1];
        table += '\t';
        ((table += preset.ipv6[0]) += ',') += preset.ipv6[1];
        table += '\t';
        table += preset.tlsName.empty() ? std::string_view{"-"} : preset.tlsName;
        table += '\t';
        table += preset.description;
        table += '\n';
    }
    return table;
}

} // namespace velmora::app

#include "app/management/state_record.h"

#include "app/management/management.h"
#include "platform/system/durable_file.h"
#include "platform/system/file.h"
#include "platform/system/state_folder.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>

namespace velmora::management {

using nlohmann::json;

namespace {

constexpr int kVersion = 1;
// Far more than any adapter has; a record that lists more is not ours.
constexpr std::size_t kMaxEntries = 64;
constexpr std::size_t kMaxText = 65536;

[[noreturn]] void Damaged(const std::string& what) {
    throw ManagementError("damaged record: " + what);
}

const json& Need(const json& object, const char* name) {
    auto it = object.find(name);
    if (it == object.end()) Damaged(std::string{"no "} + name);
    return *it;
}

std::string Text(const json& object, const char* name) {
    const json& value = Need(object, name);
    if (!value.is_string()) Damaged(std::string{name} + " is not text");
    std::string text = value.get<std::string>();
    if (text.size() > kMaxText || text.find('\0') != text.npos)
        Damaged(std::string{name} + " is not a plausible text");
    return text;
}

bool Flag(const json& object, const char* name) {
    const json& value = Need(object, name);
    if (!value.is_boolean()) Damaged(std::string{name} + " is not a Boolean");
    return value.get<bool>();
}

template <typename Check>
std::vector<std::string> Texts(const json& object, const char* name, Check valid) {
    const json& value = Need(object, name);
    if (!value.is_array() || value.size() > kMaxEntries)
        Damaged(std::string{name} + " is not a short list");
    std::vector<std::string> texts;
    for (const json& item : value) {
        if (!item.is_string() || !valid(item.get_ref<const std::string&>()))
            Damaged(std::string{name} + " holds an entry that is not valid");
        texts.push_back(item.get<std::string>());
    }
    return texts;
}

bool IsAddressWithPrefix(std::string_view text) {
    const auto slash = text.find('/');
    if (slash == text.npos || !IsValidServerAddress(text.substr(0, slash))) return false;
    std::string_view digits = text.substr(slash + 1);
    unsigned prefix = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), prefix);
    const unsigned limit = IsIpv4Address(text.substr(0, slash)) ? 32 : 128;
    return !digits.empty() && error == std::errc{} && end == digits.data() + digits.size() &&
           prefix <= limit && (digits.size() == 1 || digits.front() != '0');
}

bool IsMethod(std::string_view method) {
    for (std::string_view known : {"auto", "manual", "link-local", "shared", "disabled"})
        if (method == known) return true;
    return false;
}

FamilyDns ParseFamily(const json& object, const char* name) {
    const json& family = Need(object, name);
    if (!family.is_object()) Damaged(std::string{name} + " is not an object");
    FamilyDns dns;
    dns.servers =
        Texts(family, "servers", [](const std::string& s) { return IsValidStateServer(s); });
    dns.ignoreAutomatic = Flag(family, "ignoreAutomatic");
    return dns;
}

json FamilyJson(const FamilyDns& family) {
    return {{"servers", family.servers}, {"ignoreAutomatic", family.ignoreAutomatic}};
}

std::string Hex(std::uint64_t value) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4)
        text[static_cast<std::size_t>(i)] = digits[value & 15];
    return text;
}

} // namespace

StateRecord ParseStateRecord(std::string_view text) {
    json document = json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (document.is_discarded()) Damaged("not JSON");
    if (!document.is_object()) Damaged("the top level is not an object");
    const json& version = Need(document, "version");
    if (!version.is_number_integer() || version.get<std::int64_t>() != kVersion)
        Damaged("unknown version");
    StateRecord record;
    record.component = Text(document, "component");
    const json& index = Need(document, "index");
    if (!index.is_number_integer()) Damaged("index is not an integer");
    if (index.is_number_unsigned()
            ? index.get<std::uint64_t>() > INT32_MAX
            : (index.get<std::int64_t>() < INT32_MIN || index.get<std::int64_t>() > INT32_MAX))
        Damaged("index does not fit 32 bits");
    record.index = static_cast<std::int32_t>(index.get<std::int64_t>());
    record.description = Text(document, "description");
    record.recorded = Text(document, "recorded");
    record.before = Text(document, "before");

    const json& state = Need(document, "state");
    if (!state.is_object()) Damaged("state is not an object");
    DnsState& s = record.state;
    s.ipv4Method = Text(state, "ipv4Method");
    if (!IsMethod(s.ipv4Method)) Damaged("unknown IPv4 method");
    s.ipv4Addresses = Texts(state, "ipv4Addresses", [](const std::string& a) {
        return IsAddressWithPrefix(a) && IsIpv4Address(a.substr(0, a.find('/')));
    });
    s.gateways =
        Texts(state, "gateways", [](const std::string& g) { return IsValidServerAddress(g); });
    s.ipv4 = ParseFamily(state, "ipv4");
    s.ipv6 = ParseFamily(state, "ipv6");
    for (const auto& server : s.ipv4.servers)
        if (!IsIpv4Address(ServerAddressPart(server))) Damaged("an IPv6 server among IPv4's");
    for (const auto& server : s.ipv6.servers)
        if (IsIpv4Address(ServerAddressPart(server))) Damaged("an IPv4 server among IPv6's");
    auto mode = ParseDnsOverTls(Text(state, "dnsOverTls"));
    if (!mode) Damaged("unknown DNS-over-TLS mode");
    s.dnsOverTls = *mode;
    return record;
}

std::string SerializeStateRecord(const StateRecord& record) {
    const DnsState& s = record.state;
    json state = {{"ipv4Method", s.ipv4Method}, {"ipv4Addresses", s.ipv4Addresses},
                  {"gateways", s.gateways},     {"ipv4", FamilyJson(s.ipv4)},
                  {"ipv6", FamilyJson(s.ipv6)}, {"dnsOverTls", DnsOverTlsName(s.dnsOverTls)}};
    json document = {{"version", kVersion},
                     {"component", record.component},
                     {"index", record.index},
                     {"description", record.description},
                     {"recorded", record.recorded},
                     {"before", record.before},
                     {"state", state}};
    return document.dump(2) + "\n";
}

RecordStore::RecordStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

namespace {

void RequireFolder(const std::filesystem::path& folder) {
    if (folder.empty())
        throw ManagementError("no state folder for records: set HOME, XDG_STATE_HOME or "
                              "VELMORA_STATE_DIR");
}

} // namespace

std::optional<std::filesystem::path> VelmoraStateFolder(const VariableLookup& lookup) {
    if (auto own = lookup("VELMORA_STATE_DIR")) {
        std::filesystem::path folder{std::move(*own)};
        if (folder.is_absolute()) return folder;
    }
    return platform::StateFolder("Velmora", lookup);
}

std::filesystem::path RecordStore::DefaultFolder() {
    if (auto folder = VelmoraStateFolder(platform::EnvironmentVariable)) return *std::move(folder);
    throw ManagementError("no state folder: neither XDG_STATE_HOME nor HOME is set");
}

std::filesystem::path RecordStore::FileFor(std::string_view component, std::int32_t index) const {
    // The component's kind, readable, and a hash of its full identity (the
    // simulated component's identity holds its state file's path).
    const std::string_view kind = component.substr(0, component.find(':'));
    std::string name;
    for (char c : kind)
        name += (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ? c : '_';
    if (kind.size() != component.size()) {
        std::uint64_t hash = 14695981039346656037ull; // FNV-1a
        for (unsigned char c : component)
            hash = (hash ^ c) * 1099511628211ull;
        name += '-' + Hex(hash);
    }
    return folder_ / ("restore-" + name + "-" + std::to_string(index) + ".json");
}

std::optional<StateRecord> RecordStore::Load(std::string_view component, std::int32_t index) const {
    RequireFolder(folder_);
    const auto file = FileFor(component, index);
    std::error_code missing;
    if (!std::filesystem::exists(file, missing) && !missing) return std::nullopt;
    const platform::WholeFile contents = platform::ReadWholeFile(file);
    if (!contents) throw ManagementError("cannot open " + file.string());
    try {
        StateRecord record = ParseStateRecord(contents.text());
        if (record.component != component || record.index != index)
            Damaged("it belongs to another adapter");
        return record;
    } catch (const ManagementError& error) {
        throw ManagementError(file.string() + ": " + error.what());
    }
}

bool RecordStore::Create(const StateRecord& record) const {
    RequireFolder(folder_);
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    if (error) throw ManagementError("cannot create " + folder_.string() + ": " + error.message());
    const auto file = FileFor(record.component, record.index);
    // Never replaces: the first record stays, even when two processes record
    // the same adapter at once. Only its owner may read what it held.
    const platform::DurableWriteResult written = platform::WriteFileDurably(
        file, SerializeStateRecord(record), {platform::ExistingFile::Keep, 0600});
    if (!written) throw ManagementError("cannot record " + file.string() + ": " + written.error);
    return !written.existed;
}

void RecordStore::Remove(std::string_view component, std::int32_t index) const {
    const auto file = FileFor(component, index);
    if (const auto removed = platform::RemoveFileDurably(file); !removed)
        throw ManagementError(removed.error);
}

std::vector<std::int32_t> RecordStore::Indexes(std::string_view component) const {
    // The file names FileFor makes, with the index cut out of one of them.
    const std::string sample = FileFor(component, 0).filename().string();
    const std::string prefix = sample.substr(0, sample.size() - std::string_view{"0.json"}.size());
    std::vector<std::int32_t> indexes;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, error)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(prefix) || !name.ends_with(".json")) continue;
        const std::string_view digits{name.data() + prefix.size(), name.size() - prefix.size() - 5};
        std::int32_t index = 0;
        const auto [end, failed] =
            std::from_chars(digits.data(), digits.data() + digits.size(), index);
        if (failed == std::errc{} && end == digits.data() + digits.size() && !digits.empty() &&
            FileFor(component, index).filename() == name)
            indexes.push_back(index);
    }
    std::sort(indexes.begin(), indexes.end());
    return indexes;
}

std::string UtcNow() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

} // namespace velmora::management

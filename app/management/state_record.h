#pragma once
// What an adapter's DNS settings were before Velmora first changed them,
// kept as one small JSON file per adapter in the user's state folder:
//
//   {"version": 1, "component": "networkmanager", "index": 2,
//    "description": "veth (eth0)", "recorded": "2026-12-10T07:00:00Z",
//    "before": "set",
//    "state": {"ipv4Method": "manual", "ipv4Addresses": ["192.0.2.10/24"],
//              "gateways": [], "ipv4": {"servers": [...], "ignoreAutomatic": true},
//              "ipv6": {...}, "dnsOverTls": "default"}}
//
// A record is created once, before the first change, and never replaced:
// it is written to a temporary file, flushed to disk and then linked into
// place only where no record exists, so a crash at any point leaves either
// no record or a whole one, and a change is never made before its record
// is on disk.

#include "app/management/dns_state.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::management {

struct StateRecord {
    std::string component;
    std::int32_t index = 0;
    std::string description;
    std::string recorded; // UTC, ISO 8601
    std::string before;   // the operation that prompted it
    DnsState state;

    bool operator==(const StateRecord&) const = default;
};

// Throws ManagementError ("damaged record: ...") on anything that is not a
// well-formed record; every server, address and method is checked.
StateRecord ParseStateRecord(std::string_view json);
std::string SerializeStateRecord(const StateRecord& record);

// Looks an environment variable up (platform::VariableLookup); tests give
// their own environment.
using VariableLookup = std::function<std::optional<std::string>(std::string_view name)>;

// Velmora's state folder: $VELMORA_STATE_DIR (an absolute path), else the
// system's state folder for the program (platform::StateFolder); nothing
// when the environment names neither.
std::optional<std::filesystem::path> VelmoraStateFolder(const VariableLookup& lookup);

class RecordStore {
public:
    explicit RecordStore(std::filesystem::path folder);

    // VelmoraStateFolder of the process's environment.
    static std::filesystem::path DefaultFolder();

    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path FileFor(std::string_view component, std::int32_t index) const;

    // nullopt when there is none; throws ManagementError on a damaged one.
    std::optional<StateRecord> Load(std::string_view component, std::int32_t index) const;
    // False when a record for the adapter exists already (it is kept);
    // throws ManagementError when it cannot be made durable.
    bool Create(const StateRecord& record) const;
    void Remove(std::string_view component, std::int32_t index) const;
    // The adapters that have a record for the component, in ascending order.
    std::vector<std::int32_t> Indexes(std::string_view component) const;

private:
    std::filesystem::path folder_;
};

// The time now as "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcNow();

} // namespace velmora::management

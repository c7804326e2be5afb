#pragma once
// Puts a record of an adapter's DNS state on disk before the first change
// Velmora makes to it, whichever way the change comes (the window, set,
// dhcp, a preset, the speed test's apply), and hands every call on to the
// component. When the record cannot be made the change is not made either;
// when the change is refused or fails and leaves the settings as they were,
// the record made for it goes again, as there is nothing to restore.

#include "app/management/management.h"
#include "app/management/state_record.h"

#include <set>

namespace velmora::management {

class RecordingBackend final : public Backend {
public:
    RecordingBackend(Backend& inner, RecordStore store);

    std::unique_ptr<Service> Connect(std::string_view connectionString) override;
    std::unique_ptr<AdapterConfiguration> GetObject(std::string_view objectPath) override;
    void SetNoticeSink(NoticeSink sink) override;
    std::string Identity() const override;
    DnsState ReadDnsState(std::int32_t index) override;
    ReturnCode WriteDnsState(std::int32_t index, const DnsState& state) override;
    std::optional<std::string> DnsOverTlsUnavailable(std::int32_t index) override;
    std::optional<std::string> Ipv6ServersUnavailable() const override {
        return inner_.Ipv6ServersUnavailable();
    }
    ServersInUse ReadServersInUse(std::int32_t index) override;
    ResolverSetup ReadResolverSetup() override;

    const RecordStore& store() const { return store_; }

    // The operation named in a new record ("window" unless told otherwise).
    void SetOperation(std::string name) { operation_ = std::move(name); }

    // Writes the adapter's record back and, once that is done, removes it,
    // so the next change records afresh. Throws ManagementError when there
    // is no record or it was made for another adapter; otherwise answers
    // with the component's code.
    ReturnCode Restore(std::int32_t index);

    // The adapter's record, if there is one; throws ManagementError on a
    // damaged one.
    std::optional<StateRecord> RecordFor(std::int32_t index) const;

    // Makes sure the adapter's record exists; throws ManagementError (after
    // telling the notice sink why) when it cannot.
    void EnsureRecorded(std::int32_t index, const std::string& description);

    // After a change to the adapter: one that succeeded keeps its record;
    // after one that did not, a record made for it is removed where the
    // settings are still those recorded. Never throws.
    void ChangeEnded(std::int32_t index, bool succeeded);

private:
    Backend& inner_;
    RecordStore store_;
    NoticeSink notice_;
    std::string operation_ = "window";
    std::set<std::int32_t> recorded_;
    // Records this object made that no change has yet used.
    std::set<std::int32_t> unused_;
};

} // namespace velmora::management

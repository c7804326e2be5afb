#include "app/management/recording_backend.h"

#include <utility>

namespace velmora::management {

namespace {

bool Succeeded(ReturnCode code) {
    return code == kSuccess || code == 1;
}

// Every method that changes the adapter asks for the record first and says
// how the change ended. Inside a batch the methods only prepare what the
// commit does, so the commit's outcome is the change's.
class RecordingConfiguration final : public AdapterConfiguration {
public:
    RecordingConfiguration(RecordingBackend& owner, std::unique_ptr<AdapterConfiguration> inner)
        : owner_(owner), inner_(std::move(inner)) {}

    std::string Description() const override { return inner_->Description(); }
    std::int32_t Index() const override { return inner_->Index(); }
    std::string DNSServerSearchOrder(std::size_t element) const override {
        return inner_->DNSServerSearchOrder(element);
    }
    ReturnCode SetDNSServerSearchOrder(const ServerSearchOrder& servers) override {
        return Change([&] { return inner_->SetDNSServerSearchOrder(servers); });
    }
    ReturnCode EnableDHCP() override {
        return Change([&] { return inner_->EnableDHCP(); });
    }
    ReturnCode SetGateways(Null gateways) override {
        return Change([&] { return inner_->SetGateways(gateways); });
    }
    ReturnCode SetGateways(Null gateways, Null costMetrics) override {
        return Change([&] { return inner_->SetGateways(gateways, costMetrics); });
    }
    void BeginChanges() override {
        inner_->BeginChanges();
        batch_ = true;
        batchRecorded_ = batchChanged_ = false;
    }
    ReturnCode CommitChanges() override {
        const bool recorded = std::exchange(batchRecorded_, false);
        batch_ = false;
        if (!recorded) return inner_->CommitChanges();
        // A component that applies each change at once commits nothing, so
        // a batch whose every change was refused changed nothing either.
        const bool changed = std::exchange(batchChanged_, false);
        return Ended([&] { return inner_->CommitChanges(); }, changed);
    }

private:
    template <typename Call>
    ReturnCode Change(Call call) {
        owner_.EnsureRecorded(inner_->Index(), inner_->Description());
        if (batch_) {
            batchRecorded_ = true;
            const ReturnCode code = call();
            batchChanged_ = batchChanged_ || Succeeded(code);
            return code;
        }
        return Ended(call);
    }

    template <typename Call>
    ReturnCode Ended(Call call, bool changed = true) {
        ReturnCode code;
        try {
            code = call();
        } catch (...) {
            owner_.ChangeEnded(inner_->Index(), false);
            throw;
        }
        owner_.ChangeEnded(inner_->Index(), changed && Succeeded(code));
        return code;
    }

    RecordingBackend& owner_;
    std::unique_ptr<AdapterConfiguration> inner_;
    bool batch_ = false;
    bool batchRecorded_ = false;
    bool batchChanged_ = false;
};

class RecordingService final : public Service {
public:
    RecordingService(RecordingBackend& owner, std::unique_ptr<Service> inner)
        : owner_(owner), inner_(std::move(inner)) {}
    AdapterConfigurations ExecQuery(std::string_view query) override {
        AdapterConfigurations wrapped;
        for (auto& configuration : inner_->ExecQuery(query))
            wrapped.push_back(
                std::make_unique<RecordingConfiguration>(owner_, std::move(configuration)));
        return wrapped;
    }

private:
    RecordingBackend& owner_;
    std::unique_ptr<Service> inner_;
};

} // namespace

RecordingBackend::RecordingBackend(Backend& inner, RecordStore store)
    : inner_(inner), store_(std::move(store)) {}

std::unique_ptr<Service> RecordingBackend::Connect(std::string_view connectionString) {
    return std::make_unique<RecordingService>(*this, inner_.Connect(connectionString));
}

std::unique_ptr<AdapterConfiguration> RecordingBackend::GetObject(std::string_view objectPath) {
    return std::make_unique<RecordingConfiguration>(*this, inner_.GetObject(objectPath));
}

void RecordingBackend::SetNoticeSink(NoticeSink sink) {
    notice_ = sink;
    inner_.SetNoticeSink(std::move(sink));
}

std::string RecordingBackend::Identity() const {
    return inner_.Identity();
}

DnsState RecordingBackend::ReadDnsState(std::int32_t index) {
    return inner_.ReadDnsState(index);
}

ReturnCode RecordingBackend::WriteDnsState(std::int32_t index, const DnsState& state) {
    EnsureRecorded(index, inner_.GetObject(ConfigurationPath(index))->Description());
    ReturnCode code;
    try {
        code = inner_.WriteDnsState(index, state);
    } catch (...) {
        ChangeEnded(index, false);
        throw;
    }
    ChangeEnded(index, Succeeded(code));
    return code;
}

std::optional<std::string> RecordingBackend::DnsOverTlsUnavailable(std::int32_t index) {
    return inner_.DnsOverTlsUnavailable(index);
}

ServersInUse RecordingBackend::ReadServersInUse(std::int32_t index) {
    return inner_.ReadServersInUse(index);
}

ResolverSetup RecordingBackend::ReadResolverSetup() {
    return inner_.ReadResolverSetup();
}

ReturnCode RecordingBackend::Restore(std::int32_t index) {
    const std::string component = inner_.Identity();
    auto record = store_.Load(component, index);
    if (!record)
        throw ManagementError("nothing recorded for adapter " + std::to_string(index) +
                              ": Velmora has not changed it since the last restore");
    // An index can be handed to another adapter (after a restart, say); the
    // record is only for the one it was made from.
    const std::string now = inner_.GetObject(ConfigurationPath(index))->Description();
    if (now != record->description)
        throw ManagementError("the record for index " + std::to_string(index) + " was made for \"" +
                              record->description + "\", not for \"" + now + "\"");
    const ReturnCode code = inner_.WriteDnsState(index, record->state);
    if (Succeeded(code)) {
        store_.Remove(component, index);
        recorded_.erase(index);
        unused_.erase(index);
    }
    return code;
}

std::optional<StateRecord> RecordingBackend::RecordFor(std::int32_t index) const {
    return store_.Load(inner_.Identity(), index);
}

void RecordingBackend::ChangeEnded(std::int32_t index, bool succeeded) {
    if (!unused_.count(index)) return;
    if (succeeded) {
        unused_.erase(index);
        return;
    }
    // A component may refuse a change after part of it took effect (a
    // profile saved but not applied, say); only settings found unchanged
    // show that nothing needs restoring. Where that cannot be read the
    // record stays: one too many is harmless, one too few loses settings.
    try {
        const std::string component = inner_.Identity();
        const auto record = store_.Load(component, index);
        if (record && inner_.ReadDnsState(index) == record->state) {
            store_.Remove(component, index);
            recorded_.erase(index);
            unused_.erase(index);
        }
    } catch (const std::exception&) {
    }
}

void RecordingBackend::EnsureRecorded(std::int32_t index, const std::string& description) {
    if (recorded_.count(index)) return;
    try {
        const std::string component = inner_.Identity();
        if (!store_.Load(component, index)) {
            StateRecord record{component, index,      description,
                               UtcNow(),  operation_, inner_.ReadDnsState(index)};
            if (store_.Create(record)) unused_.insert(index);
        }
    } catch (const std::exception& error) {
        const std::string why = std::string{"cannot record the adapter's settings before changing "
                                            "them, so nothing was changed: "} +
                                error.what();
        if (notice_) notice_(why);
        throw ManagementError(why);
    }
    recorded_.insert(index);
}

} // namespace velmora::management

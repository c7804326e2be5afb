#include "app/management/dbus_services.h"

#include "platform/system/environment.h"
#include "platform/system/library.h"

#include <filesystem>
#include <mutex>
#include <system_error>
#include <utility>

namespace velmora::management {

namespace {

// Makes a service through the library's entry point `name`, from the first
// of `libraries` that loads; throws ManagementError saying why none does.
template <typename Service, typename Entry>
std::unique_ptr<Service> MakeFromLibrary(const std::vector<std::string>& libraries,
                                         const char* name) {
    std::string why;
    for (const std::string& path : libraries) {
        platform::Library library(path);
        if (!library.loaded()) {
            // A library that is there but cannot load (its libnm missing,
            // say) explains more than the places where none was.
            std::error_code error;
            if (why.empty() && std::filesystem::exists(path, error))
                why = platform::Library::LoadError();
            continue;
        }
        const auto entry = library.function<Entry>(name);
        std::unique_ptr<Service> service;
        if (entry == nullptr || !entry(VELMORA_BUILD_STAMP, service) || !service) {
            if (why.empty()) why = path + " belongs to another build of Velmora";
            continue;
        }
        // What it made, and the GLib threads it starts, outlive any owner of
        // the library: its code stays mapped until the process ends.
        library.release();
        return service;
    }
    if (why.empty()) {
        why = "it is not installed";
        for (std::size_t i = 0; i < libraries.size(); ++i)
            why += (i == 0 ? " (looked for " : ", ") + libraries[i];
        if (!libraries.empty()) why += ")";
    }
    throw ManagementError(std::string{kDbusServicesLibrary} + " cannot be loaded: " + why);
}

// Loads its service once, on first use, and remembers why it could not.
template <typename Service, typename Entry>
class Loader {
public:
    Loader(std::optional<std::vector<std::string>> libraries, const char* entry)
        : libraries_(std::move(libraries)), entry_(entry) {}

    // The service, or null with failure() telling why.
    Service* get() {
        std::call_once(once_, [this] {
            try {
                if (!libraries_)
                    libraries_ =
                        platform::Environment::OwnLibraryNames(std::string{kDbusServicesLibrary});
                service_ = MakeFromLibrary<Service, Entry>(*libraries_, entry_);
            } catch (const std::exception& error) {
                failure_ = error.what();
            }
        });
        return service_.get();
    }
    Service* loaded() const { return service_.get(); }
    const std::string& failure() const { return failure_; }

private:
    std::optional<std::vector<std::string>> libraries_;
    const char* entry_;
    std::once_flag once_;
    std::unique_ptr<Service> service_;
    std::string failure_;
};

class NetworkManagerStandIn final : public Backend {
public:
    explicit NetworkManagerStandIn(std::optional<std::vector<std::string>> libraries)
        : loader_(std::move(libraries), kNetworkManagerEntry) {}

    std::unique_ptr<Service> Connect(std::string_view connectionString) override {
        return Component().Connect(connectionString);
    }
    std::unique_ptr<AdapterConfiguration> GetObject(std::string_view objectPath) override {
        return Component().GetObject(objectPath);
    }
    void SetNoticeSink(NoticeSink sink) override {
        notice_ = std::move(sink);
        if (Backend* component = loader_.loaded()) component->SetNoticeSink(notice_);
    }
    // Known without asking: records made before the library could be
    // loaded name the same component as those made after.
    std::string Identity() const override { return std::string{kNetworkManagerIdentity}; }
    DnsState ReadDnsState(std::int32_t index) override { return Component().ReadDnsState(index); }
    ReturnCode WriteDnsState(std::int32_t index, const DnsState& state) override {
        return Component().WriteDnsState(index, state);
    }
    std::optional<std::string> DnsOverTlsUnavailable(std::int32_t index) override {
        return Component().DnsOverTlsUnavailable(index);
    }
    std::optional<std::string> Ipv6ServersUnavailable() const override {
        return std::nullopt; // NetworkManager keeps both families
    }
    ServersInUse ReadServersInUse(std::int32_t index) override {
        return Component().ReadServersInUse(index);
    }
    ResolverSetup ReadResolverSetup() override { return Component().ReadResolverSetup(); }

private:
    Backend& Component() {
        Backend* component = loader_.loaded();
        if (component == nullptr) {
            component = loader_.get();
            if (component == nullptr) throw ManagementError(loader_.failure());
            component->SetNoticeSink(notice_);
        }
        return *component;
    }

    Loader<Backend, NetworkManagerEntry> loader_;
    NoticeSink notice_;
};

class ResolvedFlusherStandIn final : public CacheFlusher {
public:
    explicit ResolvedFlusherStandIn(std::optional<std::vector<std::string>> libraries)
        : loader_(std::move(libraries), kResolvedFlusherEntry) {}

    FlushResult Flush() override {
        CacheFlusher* flusher = loader_.get();
        if (flusher == nullptr) return {FlushResult::Outcome::NoResolver, loader_.failure()};
        return flusher->Flush();
    }

private:
    Loader<CacheFlusher, ResolvedFlusherEntry> loader_;
};

} // namespace

std::unique_ptr<Backend>
LoadedNetworkManagerBackend(std::optional<std::vector<std::string>> libraries) {
    return std::make_unique<NetworkManagerStandIn>(std::move(libraries));
}

std::unique_ptr<CacheFlusher>
LoadedResolvedFlusher(std::optional<std::vector<std::string>> libraries) {
    return std::make_unique<ResolvedFlusherStandIn>(std::move(libraries));
}

std::unique_ptr<CacheFlusher> MakeSystemFlusher() {
    return LoadedResolvedFlusher();
}

} // namespace velmora::management

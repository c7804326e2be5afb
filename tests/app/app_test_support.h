#pragma once
// Shared by the app tests: a state file in a private folder, a view that
// records what the window would show, and a backend wrapper that records
// every management call and can make one throw.

#include "app/frm_main.h"
#include "app/management/simulated_backend.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmora::testing {

namespace mgmt = velmora::management;

class TempFolder {
public:
    // A folder no one else has: creating one that exists fails, so a name
    // taken is never shared.
    TempFolder() {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, "velmora-app-%08x", random());
            const auto path = std::filesystem::temp_directory_path() / name;
            if (std::filesystem::create_directory(path)) {
                path_ = path;
                return;
            }
        }
        throw std::runtime_error("no private folder could be made");
    }
    ~TempFolder() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline mgmt::SimulatedAdapter Adapter(std::int32_t index, std::string description,
                                      std::optional<std::vector<std::string>> dns = std::nullopt) {
    mgmt::SimulatedAdapter adapter;
    adapter.index = index;
    adapter.description = std::move(description);
    adapter.dns = std::move(dns);
    return adapter;
}

class FakeView final : public app::FrmMainView {
public:
    struct Entry {
        std::string text;
        std::int32_t itemData;
    };

    int AddAdapter(const std::string& text, std::int32_t itemData) override {
        entries.push_back({text, itemData});
        return static_cast<int>(entries.size()) - 1;
    }
    int AdapterCount() const override { return static_cast<int>(entries.size()); }
    int SelectedAdapter() const override { return selected; }
    void SelectAdapter(int position) override {
        if (position < -1 || position >= AdapterCount()) throw std::out_of_range("no entry");
        selected = position;
    }
    std::int32_t AdapterItemData(int position) const override {
        return entries.at(static_cast<std::size_t>(position)).itemData;
    }
    std::string AdapterListText() const override {
        return selected < 0 ? "" : entries.at(static_cast<std::size_t>(selected)).text;
    }
    void FocusAdapterList() override { ++focusOnList; }
    std::string Text(app::TextBox box) const override {
        return box == app::TextBox::Text4 ? text4 : text5;
    }
    void SetText(app::TextBox box, const std::string& text) override {
        (box == app::TextBox::Text4 ? text4 : text5) = text;
    }
    void SetCaption(app::Label label, const std::string& caption) override {
        (label == app::Label::Label10 ? label10 : label11) = caption;
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void DoEvents() override {
        ++doEvents;
        if (onDoEvents) onDoEvents();
    }
    void Unload() override { ++unloads; }

    std::vector<Entry> entries;
    int selected = -1;
    std::string text4 = "8.8.8.8";
    std::string text5 = "8.8.4.4";
    std::string label10 = "0.0.0.0";
    std::string label11 = "0.0.0.0";
    std::vector<std::string> messages;
    int focusOnList = 0;
    int doEvents = 0;
    int unloads = 0;
    std::function<void()> onDoEvents;
};

// One recorded management call: the method and the shape of its argument.
struct Call {
    std::int32_t index;
    std::string method;
    std::string argument; // "unset", "null", "null,null" or the servers joined by '|'
    bool operator==(const Call&) const = default;
};

class SpyBackend final : public mgmt::Backend {
public:
    explicit SpyBackend(mgmt::Backend& inner) : inner_(inner) {}

    std::unique_ptr<mgmt::Service> Connect(std::string_view connectionString) override {
        connectionStrings.emplace_back(connectionString);
        return std::make_unique<SpyService>(*this, inner_.Connect(connectionString));
    }
    std::unique_ptr<mgmt::AdapterConfiguration> GetObject(std::string_view objectPath) override {
        objectPaths.emplace_back(objectPath);
        return std::make_unique<SpyConfiguration>(*this, inner_.GetObject(objectPath));
    }

    std::vector<std::string> connectionStrings;
    std::vector<std::string> queries;
    std::vector<std::string> objectPaths;
    std::vector<Call> calls;
    // Methods (or "Description") that throw instead of answering.
    std::set<std::string> throwing;
    // Codes answered instead of the component's, by method.
    std::map<std::string, mgmt::ReturnCode> answers;

private:
    class SpyConfiguration final : public mgmt::AdapterConfiguration {
    public:
        SpyConfiguration(SpyBackend& spy, std::unique_ptr<mgmt::AdapterConfiguration> inner)
            : spy_(spy), inner_(std::move(inner)) {}
        std::string Description() const override {
            if (spy_.throwing.count("Description:" + std::to_string(inner_->Index())))
                throw mgmt::ManagementError("Description");
            return inner_->Description();
        }
        std::int32_t Index() const override { return inner_->Index(); }
        std::string DNSServerSearchOrder(std::size_t element) const override {
            return inner_->DNSServerSearchOrder(element);
        }
        mgmt::ReturnCode SetDNSServerSearchOrder(const mgmt::ServerSearchOrder& servers) override {
            std::string shape;
            if (std::holds_alternative<mgmt::Unset>(servers))
                shape = "unset";
            else if (std::holds_alternative<mgmt::Null>(servers))
                shape = "null";
            else {
                const auto& list = std::get<std::vector<std::string>>(servers);
                for (std::size_t i = 0; i < list.size(); ++i)
                    shape += (i ? "|" : "") + list[i];
            }
            return Record("SetDNSServerSearchOrder", shape,
                          [&] { return inner_->SetDNSServerSearchOrder(servers); });
        }
        mgmt::ReturnCode EnableDHCP() override {
            return Record("EnableDHCP", "", [&] { return inner_->EnableDHCP(); });
        }
        mgmt::ReturnCode SetGateways(mgmt::Null g) override {
            return Record("SetGateways", "null", [&] { return inner_->SetGateways(g); });
        }
        mgmt::ReturnCode SetGateways(mgmt::Null g, mgmt::Null m) override {
            return Record("SetGateways", "null,null", [&] { return inner_->SetGateways(g, m); });
        }
        void BeginChanges() override {
            Record("BeginChanges", "", [&] {
                inner_->BeginChanges();
                return mgmt::kSuccess;
            });
        }
        mgmt::ReturnCode CommitChanges() override {
            return Record("CommitChanges", "", [&] { return inner_->CommitChanges(); });
        }

    private:
        template <typename F>
        mgmt::ReturnCode Record(const std::string& method, const std::string& shape, F call) {
            spy_.calls.push_back({inner_->Index(), method, shape});
            if (spy_.throwing.count(method)) throw mgmt::ManagementError(method);
            if (auto it = spy_.answers.find(method); it != spy_.answers.end()) return it->second;
            return call();
        }
        SpyBackend& spy_;
        std::unique_ptr<mgmt::AdapterConfiguration> inner_;
    };

    class SpyService final : public mgmt::Service {
    public:
        SpyService(SpyBackend& spy, std::unique_ptr<mgmt::Service> inner)
            : spy_(spy), inner_(std::move(inner)) {}
        mgmt::AdapterConfigurations ExecQuery(std::string_view query) override {
            spy_.queries.emplace_back(query);
            auto found = inner_->ExecQuery(query);
            mgmt::AdapterConfigurations wrapped;
            for (auto& c : found)
                wrapped.push_back(std::make_unique<SpyConfiguration>(spy_, std::move(c)));
            return wrapped;
        }

    private:
        SpyBackend& spy_;
        std::unique_ptr<mgmt::Service> inner_;
    };

    mgmt::Backend& inner_;
};

} // namespace velmora::testing

#include "app/management/backend_choice.h"

#include "app/management/networkmanager_backend.h"
#include "app/management/simulated_backend.h"

namespace velmora::management {

std::optional<BackendChoice> ParseBackendChoice(std::string_view value) {
    constexpr std::string_view simulated = "simulated";
    if (value == "networkmanager") return BackendChoice{BackendChoice::Kind::NetworkManager, {}};
    if (value == simulated) return BackendChoice{BackendChoice::Kind::Simulated, {}};
    if (value.starts_with(simulated) && value.size() > simulated.size() + 1 &&
        value[simulated.size()] == ':')
        return BackendChoice{BackendChoice::Kind::Simulated,
                             std::filesystem::path{value.substr(simulated.size() + 1)}};
    return std::nullopt;
}

std::unique_ptr<Backend> MakeBackend(const BackendChoice& choice) {
    if (choice.kind == BackendChoice::Kind::NetworkManager)
        return std::make_unique<NetworkManagerBackend>();
    if (choice.stateFile) return std::make_unique<SimulatedBackend>(*choice.stateFile);
    std::filesystem::path sample;
    try {
        sample = SimulatedBackend::SampleStateFile();
    } catch (const std::exception&) {
        // No place for the sample: the component cannot be reached, which
        // the window shows as an empty list.
    }
    return std::make_unique<SimulatedBackend>(sample);
}

} // namespace velmora::management

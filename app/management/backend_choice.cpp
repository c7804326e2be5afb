#include "app/management/backend_choice.h"

#include "app/management/simulated_backend.h"

#ifdef _WIN32
#include "app/management/wmi_backend.h"
#else
#include "app/management/networkmanager_backend.h"
#endif

namespace velmora::management {

namespace {

#ifdef _WIN32
constexpr std::string_view kSystemName = "wmi";
constexpr BackendChoice::Kind kSystemKind = BackendChoice::Kind::Wmi;
std::unique_ptr<Backend> MakeSystemBackend() {
    return std::make_unique<WmiBackend>();
}
constexpr std::string_view kHelp = R"(
Backends:
  --backend=wmi              Windows Management Instrumentation, namespace
                             root\cimv2 (the default); changes need an
                             administrator
)";
#else
constexpr std::string_view kSystemName = "networkmanager";
constexpr BackendChoice::Kind kSystemKind = BackendChoice::Kind::NetworkManager;
std::unique_ptr<Backend> MakeSystemBackend() {
    return std::make_unique<NetworkManagerBackend>();
}
constexpr std::string_view kHelp = R"(
Backends:
  --backend=networkmanager   NetworkManager on the system bus (the default);
                             changes need the rights to change connection
                             profiles, usually root or an admin session
)";
#endif

constexpr std::string_view kHelpCommon =
    R"(  --backend=simulated        a sample of three adapters kept in Velmora's
                             state folder (as the records for restore)
  --backend=simulated:FILE   the adapters of a JSON state file
  (--backend BACKEND, with a space, is the same)
)";

} // namespace

std::optional<BackendChoice> ParseBackendChoice(std::string_view value) {
    constexpr std::string_view simulated = "simulated";
    if (value == kSystemName) return BackendChoice{kSystemKind, {}};
    if (value == simulated) return BackendChoice{BackendChoice::Kind::Simulated, {}};
    if (value.starts_with(simulated) && value.size() > simulated.size() + 1 &&
        value[simulated.size()] == ':') {
        // The command line is UTF-8 everywhere; a path made from plain
        // chars would read it in Windows's ANSI code page.
        const std::string_view file = value.substr(simulated.size() + 1);
        return BackendChoice{BackendChoice::Kind::Simulated,
                             std::filesystem::path{std::u8string(file.begin(), file.end())}};
    }
    return std::nullopt;
}

std::unique_ptr<Backend> MakeBackend(const BackendChoice& choice) {
    if (choice.kind == kSystemKind) return MakeSystemBackend();
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

std::string BackendHelpText() {
    return std::string{kHelp} + std::string{kHelpCommon};
}

} // namespace velmora::management

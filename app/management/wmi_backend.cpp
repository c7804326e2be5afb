#include "app/management/wmi_backend.h"

namespace velmora::management {

std::unique_ptr<Service> WmiBackend::Connect(std::string_view) {
    throw ManagementError("WMI is not reached by this build yet");
}

std::unique_ptr<AdapterConfiguration> WmiBackend::GetObject(std::string_view) {
    throw ManagementError("WMI is not reached by this build yet");
}

} // namespace velmora::management

#pragma once
// The management component on Windows: Windows Management Instrumentation,
// namespace root\cimv2, class Win32_NetworkAdapterConfiguration.

#include "app/management/management.h"

namespace velmora::management {

class WmiBackend final : public Backend {
public:
    std::unique_ptr<Service> Connect(std::string_view connectionString) override;
    std::unique_ptr<AdapterConfiguration> GetObject(std::string_view objectPath) override;
    std::string Identity() const override { return "wmi"; }
};

} // namespace velmora::management

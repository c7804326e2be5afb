#include "platform/system/version.h"

#include "platform/system/environment.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace platform {
SystemVersion CurrentSystemVersion() {
    return CurrentEnvironment().systemVersion;
}

bool GetVersionEx(OSVERSIONINFOEX& info) {
    const SystemVersion v = CurrentSystemVersion();
    const std::uint32_t size = info.dwOSVersionInfoSize;
    if (size != kVersionInfoSize && size != kVersionInfoExSize) return false;
    if (size == kVersionInfoExSize && !v.extendedRecord) return false;

    info.dwMajorVersion = v.major;
    info.dwMinorVersion = v.minor;
    info.dwBuildNumber = v.build;
    info.dwPlatformId = v.platformId;
    std::memset(info.szCSDVersion, 0, sizeof info.szCSDVersion);
    if (v.servicePackMajor > 0) {
        const std::string text = "Service Pack " + std::to_string(v.servicePackMajor);
        std::memcpy(info.szCSDVersion, text.data(),
                    std::min(text.size(), sizeof info.szCSDVersion - 1));
    }
    if (size == kVersionInfoExSize) {
        info.wServicePackMajor = v.servicePackMajor;
        info.wServicePackMinor = v.servicePackMinor;
    }
    return true;
}

} // namespace platform

#pragma once
// The system version query. The code above it decides its drawing paths from
// this record (platform family, version, service pack) exactly as it would on
// the system it was written for; tests set any record to reach every branch.

#include <cstdint>

namespace platform {

inline constexpr std::uint32_t VER_PLATFORM_WIN32_WINDOWS = 1; // the consumer family
inline constexpr std::uint32_t VER_PLATFORM_WIN32_NT = 2;

inline constexpr std::uint32_t kVersionInfoSize = 148;
inline constexpr std::uint32_t kVersionInfoExSize = 156;

#pragma pack(push, 1)
struct OSVERSIONINFOEX {
    std::uint32_t dwOSVersionInfoSize = kVersionInfoExSize;
    std::uint32_t dwMajorVersion = 0;
    std::uint32_t dwMinorVersion = 0;
    std::uint32_t dwBuildNumber = 0;
    std::uint32_t dwPlatformId = 0;
    char szCSDVersion[128] = {};
    // Present only in the extended (156-byte) record.
    std::uint16_t wServicePackMajor = 0;
    std::uint16_t wServicePackMinor = 0;
    std::uint16_t wSuiteMask = 0;
    std::uint8_t wProductType = 0;
    std::uint8_t wReserved = 0;
};
static_assert(sizeof(OSVERSIONINFOEX) == kVersionInfoExSize);
#pragma pack(pop)

// What the machine answers. The default is an NT-family system 6.1 with no
// service pack: AlphaBlend allowed and in use, GDI+ allowed.
struct SystemVersion {
    std::uint32_t platformId = VER_PLATFORM_WIN32_NT;
    std::uint32_t major = 6;
    std::uint32_t minor = 1;
    std::uint32_t build = 7601;
    std::uint16_t servicePackMajor = 0;
    std::uint16_t servicePackMinor = 0;
    // Older systems refuse the extended record; callers then retry with the
    // basic one, which carries no service-pack numbers.
    bool extendedRecord = true;
};

// Fills the record according to its dwOSVersionInfoSize (148 or 156 bytes);
// false for any other size, or for 156 on a system without the extended record.
bool GetVersionEx(OSVERSIONINFOEX& info);

// What the running system answers: on Windows its own record (as
// RtlGetVersion reports it, which no compatibility shim rewrites); elsewhere
// the default record above. The environment starts from it.
SystemVersion RunningSystemVersion();

// The version record the process sees (the environment's systemVersion).
SystemVersion CurrentSystemVersion();

} // namespace platform

#pragma once
// The system's text, program and version services for the platform's Win32
// sources, in names of their own: the sources that include this never see
// <windows.h>.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform::win32 {

// UTF-8 to the system's UTF-16 and back; text that is no UTF-8 (or no
// UTF-16) gives nothing, rather than a name nobody asked for.
std::optional<std::wstring> Widen(std::string_view utf8);
std::optional<std::string> Narrow(std::wstring_view wide);

// A message of the system for an error code, without the line break it ends with.
std::string ErrorText(std::uint32_t code);
// The calling thread's last error code.
std::uint32_t LastError();

// The program's own file.
std::optional<std::filesystem::path> ProgramFile();

struct RunningVersion {
    std::uint32_t major = 0, minor = 0, build = 0, platformId = 0;
    std::uint16_t servicePackMajor = 0, servicePackMinor = 0;
};
// The system's version as the kernel reports it, untouched by the
// compatibility shims that change what GetVersionEx answers.
std::optional<RunningVersion> QueryRunningVersion();

} // namespace platform::win32

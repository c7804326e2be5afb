#include "platform/system/state_folder.h"

#include "platform/win32/system.h"
#include "platform/win32/windows_api.h"

#include <vector>

namespace platform {

std::optional<std::string> EnvironmentVariable(std::string_view name) {
    const auto wide = win32::Widen(name);
    if (!wide) return std::nullopt;
    std::vector<wchar_t> buffer(256);
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD n = GetEnvironmentVariableW(wide->c_str(), buffer.data(),
                                                static_cast<DWORD>(buffer.size()));
        if (n == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::string();
        }
        if (n < buffer.size()) return win32::Narrow(std::wstring_view(buffer.data(), n));
        buffer.resize(n);
    }
}

std::optional<std::filesystem::path> StateFolder(std::string_view program,
                                                 const VariableLookup& lookup) {
    // %LOCALAPPDATA%\<Program>: the folder is named as people write the
    // program's name. A relative setting would name a different folder from
    // every working directory; it is taken as no setting.
    auto value = lookup("LOCALAPPDATA");
    if (!value) return std::nullopt;
    const auto folder = win32::Widen(*value);
    const auto name = win32::Widen(program);
    if (!folder || !name) return std::nullopt;
    std::filesystem::path path(*folder);
    if (!path.is_absolute()) return std::nullopt;
    return path / *name;
}

std::optional<std::filesystem::path> StateFolder(std::string_view program) {
    return StateFolder(program, EnvironmentVariable);
}

} // namespace platform

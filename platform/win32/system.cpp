#include "platform/win32/system.h"

#include "platform/win32/windows_api.h"

#include <vector>

namespace platform::win32 {

std::optional<std::wstring> Widen(std::string_view utf8) {
    if (utf8.empty()) return std::wstring();
    if (utf8.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
    const int size = static_cast<int>(utf8.size());
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), n) != n)
        return std::nullopt;
    return wide;
}

std::optional<std::string> Narrow(std::wstring_view wide) {
    if (wide.empty()) return std::string();
    if (wide.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
    const int size = static_cast<int>(wide.size());
    const int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0) return std::nullopt;
    std::string utf8(static_cast<std::size_t>(n), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, utf8.data(), n,
                            nullptr, nullptr) != n)
        return std::nullopt;
    return utf8;
}

std::string ErrorText(std::uint32_t code) {
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer != nullptr ? buffer : L"", n);
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.'))
        text.pop_back();
    auto utf8 = Narrow(text);
    if (!utf8 || utf8->empty()) return "error " + std::to_string(code);
    return *utf8;
}

std::uint32_t LastError() {
    return GetLastError();
}

std::optional<std::filesystem::path> ProgramFile() {
    // Long paths need more than MAX_PATH; the call says so by filling the
    // buffer to the brim.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<wchar_t> buffer(size);
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (n == 0) return std::nullopt;
        if (n < size) return std::filesystem::path(std::wstring(buffer.data(), n));
    }
    return std::nullopt;
}

std::optional<RunningVersion> QueryRunningVersion() {
    // RtlGetVersion lives in ntdll, which every process has loaded.
    using Query = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return std::nullopt;
    const auto query =
        reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    if (query == nullptr) return std::nullopt;
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (query(&info) != 0) return std::nullopt;
    return RunningVersion{info.dwMajorVersion, info.dwMinorVersion,    info.dwBuildNumber,
                          info.dwPlatformId,   info.wServicePackMajor, info.wServicePackMinor};
}

} // namespace platform::win32

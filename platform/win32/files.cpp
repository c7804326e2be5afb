#include "platform/win32/files.h"

#include "platform/win32/windows_api.h"

#include <algorithm>

namespace platform::win32 {
namespace {

HANDLE native(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

// ReadFile and WriteFile move at most 4 GiB at a time; less keeps each
// call well inside that.
constexpr std::size_t kMostPerCall = 1u << 30;

} // namespace

FileHandle OpenFile(const std::wstring& path, FileAccess access) {
    const bool read = access == FileAccess::ReadExisting;
    // FILE_FLAG_BACKUP_SEMANTICS lets a folder open too, so it can be refused
    // below rather than failing with a misleading error.
    HANDLE file =
        CreateFileW(path.c_str(), read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE,
                    read ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ, nullptr,
                    read ? OPEN_EXISTING : CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | (read ? FILE_FLAG_BACKUP_SEMANTICS : 0), nullptr);
    if (file == INVALID_HANDLE_VALUE) return kNoFile;
    if (read) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(file, &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            CloseHandle(file);
            return kNoFile;
        }
    }
    return reinterpret_cast<FileHandle>(file);
}

std::int64_t ReadFrom(FileHandle file, std::span<std::byte> buffer) {
    if (file == kNoFile) return -1;
    std::size_t done = 0;
    while (done < buffer.size()) {
        const DWORD ask = static_cast<DWORD>(std::min(buffer.size() - done, kMostPerCall));
        DWORD got = 0;
        if (!ReadFile(native(file), buffer.data() + done, ask, &got, nullptr)) return -1;
        if (got == 0) break;
        done += got;
    }
    return static_cast<std::int64_t>(done);
}

bool WriteTo(FileHandle file, std::span<const std::byte> data) {
    if (file == kNoFile) return false;
    std::size_t done = 0;
    while (done < data.size()) {
        const DWORD ask = static_cast<DWORD>(std::min(data.size() - done, kMostPerCall));
        DWORD put = 0;
        if (!WriteFile(native(file), data.data() + done, ask, &put, nullptr) || put == 0)
            return false;
        done += put;
    }
    return true;
}

std::int64_t SeekIn(FileHandle file, std::int64_t offset, int origin) {
    if (file == kNoFile) return -1;
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    LARGE_INTEGER at{};
    const DWORD method = origin == 0 ? FILE_BEGIN : origin == 1 ? FILE_CURRENT : FILE_END;
    if (!SetFilePointerEx(native(file), distance, &at, method)) return -1;
    return at.QuadPart;
}

std::int64_t SizeOf(FileHandle file) {
    LARGE_INTEGER size{};
    if (file == kNoFile || !GetFileSizeEx(native(file), &size)) return -1;
    return size.QuadPart;
}

void CloseFile(FileHandle file) {
    if (file != kNoFile) CloseHandle(native(file));
}

bool ClearAttributes(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return SetFileAttributesW(path.c_str(), (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                                                ? attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}
                                                : FILE_ATTRIBUTE_NORMAL) != FALSE;
}

bool RemoveFile(const std::wstring& path) {
    return DeleteFileW(path.c_str()) != FALSE;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace platform::win32

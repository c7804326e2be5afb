#pragma once
// The system's file calls for the platform's File, in names of their own:
// the sources that include this never see <windows.h>. Paths are UTF-16, as
// the wide calls take them.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace platform::win32 {

// A file HANDLE as a number; -1 (INVALID_HANDLE_VALUE) is none.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFile = -1;

enum class FileAccess {
    ReadExisting,  // an existing file (never a folder), others may read it too
    WriteTruncate, // created or emptied, keeping an existing file's attributes
};

FileHandle OpenFile(const std::wstring& path, FileAccess access);
// Bytes read (fewer than asked at the end); -1 on error.
std::int64_t ReadFrom(FileHandle file, std::span<std::byte> buffer);
bool WriteTo(FileHandle file, std::span<const std::byte> data);
// origin: 0 from the start, 1 from the position, 2 from the end. The new
// position, or -1.
std::int64_t SeekIn(FileHandle file, std::int64_t offset, int origin);
std::int64_t SizeOf(FileHandle file);
void CloseFile(FileHandle file);

// Clears read-only and the other attributes that keep a file from being
// replaced or deleted.
bool ClearAttributes(const std::wstring& path);
bool RemoveFile(const std::wstring& path);
bool Exists(const std::wstring& path);

} // namespace platform::win32

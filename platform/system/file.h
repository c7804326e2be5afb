#pragma once
// Files with the open and attribute rules the image code expects: opening
// for read shares reading and needs an existing file; opening for write
// creates or truncates, keeping an existing file's attributes. Paths are
// UTF-8. The "wide or narrow calls" choice of the callers is kept as a flag
// but both take the same path here.

#include "platform/host/windows_names.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

enum class SeekOrigin { Begin, Current, End };

class File {
public:
    File() = default;
    ~File() { close(); }
    File(File&& other) noexcept : handle_(std::exchange(other.handle_, kNoHandle)) {}
    File& operator=(File&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = std::exchange(other.handle_, kNoHandle);
        }
        return *this;
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    static File openForRead(const std::string& path);
    static File openForWrite(const std::string& path);

    bool valid() const { return handle_ != kNoHandle; }
    // Bytes read (fewer than asked at the end of the file); -1 on error.
    std::int64_t read(std::span<std::byte> buffer);
    std::int64_t read(std::span<std::uint8_t> buffer) {
        return read(std::as_writable_bytes(buffer));
    }
    // True when every byte was written.
    bool write(std::span<const std::byte> data);
    bool write(std::span<const std::uint8_t> data) { return write(std::as_bytes(data)); }
    // The new position, or -1.
    std::int64_t seek(std::int64_t offset, SeekOrigin origin);
    std::int64_t position() { return seek(0, SeekOrigin::Current); }
    // The file's size in bytes, or -1.
    std::int64_t size() const;
    void close();

private:
    // The system's own handle: a descriptor here, a HANDLE on Windows. Both
    // systems spell "no file" as -1.
    using Handle = std::intptr_t;
    static constexpr Handle kNoHandle = -1;
    explicit File(Handle handle) : handle_(handle) {}
    Handle handle_ = kNoHandle;
};

// The bytes from the file's position to its end; nothing when a read fails.
std::optional<std::vector<std::uint8_t>> ReadToEnd(File& file);

// A whole file's bytes, or why there are none.
struct WholeFile {
    enum class Outcome { Read, CannotOpen, CannotRead };
    Outcome outcome = Outcome::CannotOpen;
    std::vector<std::uint8_t> bytes;

    explicit operator bool() const { return outcome == Outcome::Read; }
    std::string_view text() const {
        return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
    }
};

// Reads a whole file (not a folder) named by a path in the system's own form.
WholeFile ReadWholeFile(const std::filesystem::path& path);

// Whether the wide-character file calls would be taken (the desktop window
// is a Unicode window here). Both paths are the same on this platform.
bool UnicodeDesktop();

// Clears the attributes that keep a file from being replaced or deleted
// (read-only becomes writable by its owner); true on success.
bool SetFileAttributesNormal(const std::string& path);
bool DeleteFile(const std::string& path);
bool FileExists(const std::string& path);

} // namespace platform

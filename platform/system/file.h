#pragma once
// Files with the open and attribute rules the image code expects: opening
// for read shares reading and needs an existing file; opening for write
// creates or truncates, keeping an existing file's attributes. Paths are
// UTF-8. The "wide or narrow calls" choice of the callers is kept as a flag
// but both take the same path here.

#include "platform/host/windows_names.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

namespace platform {

enum class SeekOrigin { Begin, Current, End };

class File {
public:
    File() = default;
    ~File() { close(); }
    File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    File& operator=(File&& other) noexcept {
        if (this != &other) {
            close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    static File openForRead(const std::string& path);
    static File openForWrite(const std::string& path);

    bool valid() const { return fd_ >= 0; }
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
    explicit File(int fd) : fd_(fd) {}
    int fd_ = -1;
};

// Whether the wide-character file calls would be taken (the desktop window
// is a Unicode window here). Both paths are the same on this platform.
bool UnicodeDesktop();

// Clears the attributes that keep a file from being replaced or deleted
// (read-only becomes writable by its owner); true on success.
bool SetFileAttributesNormal(const std::string& path);
bool DeleteFile(const std::string& path);
bool FileExists(const std::string& path);

} // namespace platform

#include "platform/system/file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

File File::openForRead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return {};
    }
    return File(fd);
}

File File::openForWrite(const std::string& path) {
    // An existing file keeps its mode (its "attributes"); a new one gets the
    // normal mode, narrowed by the umask.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd < 0 ? File() : File(fd);
}

std::int64_t File::read(std::span<std::byte> buffer) {
    if (!valid()) return -1;
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t n =
            ::read(static_cast<int>(handle_), buffer.data() + done, buffer.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

bool File::write(std::span<const std::byte> data) {
    if (!valid()) return false;
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n =
            ::write(static_cast<int>(handle_), data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::int64_t File::seek(std::int64_t offset, SeekOrigin origin) {
    if (!valid()) return -1;
    const int whence = origin == SeekOrigin::Begin     ? SEEK_SET
                       : origin == SeekOrigin::Current ? SEEK_CUR
                                                       : SEEK_END;
    const off_t at = ::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), whence);
    return at < 0 ? -1 : static_cast<std::int64_t>(at);
}

std::int64_t File::size() const {
    struct stat st {};
    if (!valid() || ::fstat(static_cast<int>(handle_), &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

void File::close() {
    if (valid()) ::close(static_cast<int>(handle_));
    handle_ = kNoHandle;
}

WholeFile ReadWholeFile(const std::filesystem::path& path) {
    WholeFile whole;
    File file = File::openForRead(path.string());
    if (!file.valid()) return whole;
    auto bytes = ReadToEnd(file);
    if (!bytes) {
        whole.outcome = WholeFile::Outcome::CannotRead;
        return whole;
    }
    whole.outcome = WholeFile::Outcome::Read;
    whole.bytes = std::move(*bytes);
    return whole;
}

bool SetFileAttributesNormal(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    return ::chmod(path.c_str(), (st.st_mode & 07777) | S_IRUSR | S_IWUSR) == 0;
}

bool DeleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace platform

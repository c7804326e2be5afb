#include "platform/system/durable_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string because(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closing reports the last write-back errors of some file systems.
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

// Makes the names in a folder durable (a rename or an unlink in it); errno
// says why when it could not. Some file systems cannot flush a folder
// (EINVAL); nothing more can be done there, so that counts as done.
bool flushFolder(const fs::path& folder) {
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.get() >= 0 && (::fsync(dir.get()) == 0 || errno == EINVAL);
}

// Removes the temporary file unless it became the target.
class Temporary {
public:
    explicit Temporary(fs::path path) : path_(std::move(path)) {}
    ~Temporary() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    void release() { path_.clear(); }
    void remove() {
        if (!path_.empty()) ::unlink(path_.c_str());
        path_.clear();
    }

private:
    fs::path path_;
};

// The file a chain of symbolic links finally names (the path itself when it
// is no link, or when it does not exist yet); false with the reason when the
// chain cannot be followed.
bool finalTarget(const fs::path& path, fs::path& target, std::string& error) {
    // As many links as the system itself follows before giving up.
    constexpr int kMaxLinks = 40;
    target = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0) {
            if (errno == ENOENT) return true;
            error = because("cannot look at " + target.string(), errno);
            return false;
        }
        if (!S_ISLNK(st.st_mode)) return true;
        if (hops == kMaxLinks) {
            error = because("cannot follow " + path.string(), ELOOP);
            return false;
        }
        std::vector<char> text(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(target.c_str(), text.data(), text.size());
        if (n < 0 || static_cast<std::size_t>(n) >= text.size()) {
            error =
                because("cannot read the link " + target.string(), n < 0 ? errno : ENAMETOOLONG);
            return false;
        }
        const fs::path next(std::string(text.data(), static_cast<std::size_t>(n)));
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
}

// A temporary file of its own beside the target; -1 with errno set when none
// could be made.
int createTemporary(const fs::path& target, unsigned mode, fs::path& temporary) {
    std::random_device random;
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name(1, '.');
        name += target.filename().string();
        name += ".tmp-";
        for (int i = 0; i < 10; ++i)
            name += kDigits[random() % (sizeof kDigits - 1)];
        temporary = target.parent_path() / name;
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                              static_cast<mode_t>(mode));
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

DurableWriteResult WriteFileDurably(const fs::path& path, std::span<const std::uint8_t> bytes,
                                    const DurableWriteOptions& options) {
    DurableWriteResult result;
    fs::path target;
    if (path.empty()) {
        result.error = "no file name";
        return result;
    }
    if (!finalTarget(path, target, result.error)) return result;

    struct stat existing {};
    bool exists = ::stat(target.c_str(), &existing) == 0;
    if (!exists && errno != ENOENT) {
        result.error = because("cannot look at " + target.string(), errno);
        return result;
    }
    if (exists && options.existing == ExistingFile::Keep) {
        result.ok = result.existed = true;
        return result;
    }
    if (exists && S_ISDIR(existing.st_mode)) {
        result.error = target.string() + " is a folder";
        return result;
    }
    if (exists && !S_ISREG(existing.st_mode)) {
        // Renaming over a device or a pipe would replace the node itself.
        result.error = target.string() + " is not a regular file";
        return result;
    }

    fs::path temporaryPath;
    // An existing file's mode is copied below; until then only its owner
    // may open the temporary.
    const int fd = createTemporary(target, exists ? 0600 : options.newFileMode, temporaryPath);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (fd < 0) {
        result.error = because("cannot create a temporary file in " + folder.string(), errno);
        return result;
    }
    Temporary temporary(temporaryPath);
    Descriptor out(fd);
    if (exists) {
        // The owner and group first: changing them clears set-id bits.
        // Only a privileged process may give a file away; others keep theirs.
        if ((existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) &&
            ::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            // The new file belongs to its writer, as a file it made would.
        }
        if (::fchmod(fd, existing.st_mode & 07777) != 0) {
            const int error = errno;
            result.error =
                because("cannot give " + temporaryPath.string() + " the file's mode", error);
            return result;
        }
    }
    if (!writeAll(fd, bytes)) {
        const int error = errno;
        result.error = because("cannot write " + temporaryPath.string(), error);
        return result;
    }
    if (::fsync(fd) != 0 || !out.close()) {
        const int error = errno;
        result.error = because("cannot flush " + temporaryPath.string(), error);
        return result;
    }

    if (options.existing == ExistingFile::Keep) {
        // link() never replaces: when another process made the file in the
        // meantime, its file stays.
        if (::link(temporaryPath.c_str(), target.c_str()) != 0) {
            if (errno != EEXIST) {
                result.error = because("cannot create " + target.string(), errno);
                return result;
            }
            result.existed = true;
        }
    } else if (::rename(temporaryPath.c_str(), target.c_str()) != 0) {
        result.error = because("cannot replace " + target.string(), errno);
        return result;
    } else {
        temporary.release();
    }
    // After link() the target holds the bytes under its own name.
    temporary.remove();

    // The rename is only durable once the folder that holds it is.
    if (!flushFolder(folder)) {
        result.error = because(target.string() + " was written but its folder " + folder.string() +
                                   " could not be flushed",
                               errno);
        return result;
    }
    result.ok = true;
    return result;
}

DurableWriteResult RemoveFileDurably(const fs::path& path) {
    DurableWriteResult result;
    if (::unlink(path.c_str()) != 0) {
        if (errno != ENOENT) {
            result.error = because("cannot remove " + path.string(), errno);
            return result;
        }
        result.ok = true; // nothing was there
        return result;
    }
    result.existed = true;
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (!flushFolder(folder)) {
        result.error = because(path.string() + " was removed but its folder " + folder.string() +
                                   " could not be flushed",
                               errno);
        return result;
    }
    result.ok = true;
    return result;
}

DurableWriteResult WriteFileDurably(const fs::path& path, std::string_view text,
                                    const DurableWriteOptions& options) {
    return WriteFileDurably(
        path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), options);
}

} // namespace platform

#include "platform/system/durable_file.h"

#include "platform/win32/system.h"
#include "platform/win32/windows_api.h"

#include <random>
#include <utility>

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string shown(const fs::path& path) {
    return win32::Narrow(path.native()).value_or("?");
}

std::string because(const std::string& what, DWORD error) {
    return what + ": " + win32::ErrorText(error);
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool close() { return CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE)) != FALSE; }

private:
    HANDLE handle_;
};

// Removes the temporary file unless it became the target.
class Temporary {
public:
    explicit Temporary(fs::path path) : path_(std::move(path)) {}
    ~Temporary() {
        if (!path_.empty()) DeleteFileW(path_.c_str());
    }
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    void release() { path_.clear(); }

private:
    fs::path path_;
};

// A temporary file of its own beside the target, open for writing; an
// invalid handle (with the last error set) when none could be made.
HANDLE createTemporary(const fs::path& target, fs::path& temporary) {
    std::random_device random;
    static constexpr wchar_t kDigits[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring name(1, L'.');
        name += target.filename().native();
        name += L".tmp-";
        for (int i = 0; i < 10; ++i)
            name += kDigits[random() % (sizeof kDigits / sizeof kDigits[0] - 1)];
        temporary = target.parent_path() / name;
        HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

bool writeAll(HANDLE file, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t left = bytes.size() - done;
        const DWORD ask = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        DWORD put = 0;
        if (!WriteFile(file, bytes.data() + done, ask, &put, nullptr)) return false;
        if (put == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        done += put;
    }
    return true;
}

} // namespace

DurableWriteResult WriteFileDurably(const fs::path& path, std::span<const std::uint8_t> bytes,
                                    const DurableWriteOptions& options) {
    DurableWriteResult result;
    if (path.empty()) {
        result.error = "no file name";
        return result;
    }
    const fs::path& target = path;
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) {
        const DWORD error = GetLastError();
        if (error != ERROR_PATH_NOT_FOUND) {
            result.error = because("cannot look at " + shown(target), error);
            return result;
        }
    }
    if (exists && options.existing == ExistingFile::Keep) {
        result.ok = result.existed = true;
        return result;
    }
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        result.error = shown(target) + " is a folder";
        return result;
    }

    fs::path temporaryPath;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(L".");
    Handle out(createTemporary(target, temporaryPath));
    if (out.get() == INVALID_HANDLE_VALUE) {
        result.error =
            because("cannot create a temporary file in " + shown(folder), GetLastError());
        return result;
    }
    Temporary temporary(temporaryPath);
    if (!writeAll(out.get(), bytes)) {
        result.error = because("cannot write " + shown(temporaryPath), GetLastError());
        return result;
    }
    if (!FlushFileBuffers(out.get()) || !out.close()) {
        result.error = because("cannot flush " + shown(temporaryPath), GetLastError());
        return result;
    }

    // The move is written through before the call returns, so the new name
    // is as durable as the bytes. Without REPLACE_EXISTING a file another
    // process made in the meantime stays.
    const DWORD flags = MOVEFILE_WRITE_THROUGH |
                        (options.existing == ExistingFile::Replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!MoveFileExW(temporaryPath.c_str(), target.c_str(), flags)) {
        const DWORD error = GetLastError();
        if (options.existing == ExistingFile::Keep &&
            (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)) {
            result.ok = result.existed = true;
            return result;
        }
        result.error = because(
            (options.existing == ExistingFile::Keep ? "cannot create " : "cannot replace ") +
                shown(target),
            error);
        return result;
    }
    temporary.release();
    result.ok = true;
    return result;
}

DurableWriteResult RemoveFileDurably(const fs::path& path) {
    DurableWriteResult result;
    if (!DeleteFileW(path.c_str())) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) {
            result.error = because("cannot remove " + shown(path), error);
            return result;
        }
        result.ok = true; // nothing was there
        return result;
    }
    result.existed = true;
    result.ok = true;
    return result;
}

DurableWriteResult WriteFileDurably(const fs::path& path, std::string_view text,
                                    const DurableWriteOptions& options) {
    return WriteFileDurably(
        path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), options);
}

} // namespace platform

#pragma once
// Writing a whole file so that it is either all there or as it was: the bytes
// go to a uniquely named temporary file beside the target, are flushed to the
// disk, and the temporary is then renamed over the target and the folder
// flushed, so neither a crash nor a full disk leaves half a file behind.
//
// A target that already exists keeps its permission bits (and its owner and
// group where the process may keep them); a new one gets the mode asked for,
// narrowed by the umask. A symbolic link is followed to the file it finally
// names, and that file is replaced: the link stays a link. Any failure before
// the rename leaves the old file untouched and removes the temporary.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace platform {

enum class ExistingFile {
    Replace, // the new bytes replace what is there
    Keep,    // an existing file stays as it is; nothing is written
};

struct DurableWriteOptions {
    ExistingFile existing = ExistingFile::Replace;
    // The permission bits of a file that does not exist yet, before the
    // umask narrows them.
    unsigned newFileMode = 0666;
};

struct DurableWriteResult {
    bool ok = false;
    // With ExistingFile::Keep: the file was already there and was left alone.
    bool existed = false;
    // Why it failed, for a person to read ("cannot create a temporary file in
    // /x: Permission denied"); empty when ok.
    std::string error;

    explicit operator bool() const { return ok; }
};

DurableWriteResult WriteFileDurably(const std::filesystem::path& path,
                                    std::span<const std::uint8_t> bytes,
                                    const DurableWriteOptions& options = {});
DurableWriteResult WriteFileDurably(const std::filesystem::path& path, std::string_view text,
                                    const DurableWriteOptions& options = {});

// Removes a file (the link itself, for a symbolic link) and flushes its
// folder, so the removal survives a crash. A file that is not there is no
// failure; existed tells whether one was removed.
DurableWriteResult RemoveFileDurably(const std::filesystem::path& path);

} // namespace platform

// Files on the system's wide-character calls: UTF-8 names become UTF-16.

#include "platform/system/file.h"
#include "platform/win32/files.h"
#include "platform/win32/system.h"

namespace platform {
namespace {

template <typename Call>
bool onWide(const std::string& path, Call call) {
    const auto wide = win32::Widen(path);
    return wide && call(*wide);
}

} // namespace

File File::openForRead(const std::string& path) {
    const auto wide = win32::Widen(path);
    return wide ? File(win32::OpenFile(*wide, win32::FileAccess::ReadExisting)) : File();
}

File File::openForWrite(const std::string& path) {
    const auto wide = win32::Widen(path);
    return wide ? File(win32::OpenFile(*wide, win32::FileAccess::WriteTruncate)) : File();
}

std::int64_t File::read(std::span<std::byte> buffer) {
    return win32::ReadFrom(handle_, buffer);
}

bool File::write(std::span<const std::byte> data) {
    return win32::WriteTo(handle_, data);
}

std::int64_t File::seek(std::int64_t offset, SeekOrigin origin) {
    return win32::SeekIn(handle_, offset,
                         origin == SeekOrigin::Begin     ? 0
                         : origin == SeekOrigin::Current ? 1
                                                         : 2);
}

std::int64_t File::size() const {
    return win32::SizeOf(handle_);
}

void File::close() {
    win32::CloseFile(handle_);
    handle_ = kNoHandle;
}

WholeFile ReadWholeFile(const std::filesystem::path& path) {
    WholeFile whole;
    // The path is in the system's own (UTF-16) form.
    const auto name = win32::Narrow(path.native());
    if (!name) return whole;
    File file = File::openForRead(*name);
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
    return onWide(path, win32::ClearAttributes);
}

bool DeleteFile(const std::string& path) {
    return onWide(path, win32::RemoveFile);
}

bool FileExists(const std::string& path) {
    return onWide(path, win32::Exists);
}

} // namespace platform

#include "platform/testing/headless_host.h"

#include <algorithm>

namespace platform {

int HeadlessHost::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    messages.push_back({text, caption, flags});
    return IDOK;
}

bool HeadlessHost::OpenClipboard() {
    // The system refuses a second open as well as another program's.
    if (busy_ || open_) return false;
    open_ = true;
    ++opens_;
    return true;
}

void HeadlessHost::CloseClipboard() {
    if (!open_) return;
    open_ = false;
    ++closes_;
}

bool HeadlessHost::IsClipboardFormatAvailable(unsigned format) const {
    return clipboard_.count(format) != 0;
}

std::optional<std::vector<std::uint8_t>> HeadlessHost::GetClipboardData(unsigned format) {
    const auto it = clipboard_.find(format);
    if (!open_ || it == clipboard_.end()) return std::nullopt;
    return it->second;
}

void HeadlessHost::SetClipboardData(unsigned format, std::vector<std::uint8_t> bytes) {
    clipboard_[format] = std::move(bytes);
}

bool HeadlessDataObject::GetFormat(unsigned format) const {
    return data_.count(format) != 0 ||
           std::find(unreadable_.begin(), unreadable_.end(), format) != unreadable_.end();
}

std::optional<std::vector<std::uint8_t>>
HeadlessDataObject::GetData(const FORMATETC& format) const {
    if (format.ptd != nullptr || format.dwAspect != DVASPECT_CONTENT || format.lindex != -1 ||
        format.tymed != TYMED_HGLOBAL)
        return std::nullopt;
    const auto it = data_.find(format.cfFormat);
    if (it == data_.end()) return std::nullopt;
    return it->second;
}

void HeadlessDataObject::SetData(unsigned format, std::vector<std::uint8_t> bytes) {
    data_[format] = std::move(bytes);
}

} // namespace platform

#pragma once
// A window host without windows, for tests: message boxes are recorded and
// answered with OK, and the clipboard is a table of formats that the test
// fills. Installed as the environment's host for the test's duration.

#include "platform/host/data_object.h"
#include "platform/host/window_host.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace platform {

class HeadlessHost final : public WindowHost {
public:
    struct Message {
        std::string text;
        std::string caption;
        unsigned flags;
    };

    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;

    bool OpenClipboard() override;
    void CloseClipboard() override;
    bool IsClipboardFormatAvailable(unsigned format) const override;
    std::optional<std::vector<std::uint8_t>> GetClipboardData(unsigned format) override;

    // --- what tests set and look at -------------------------------------------
    void SetClipboardData(unsigned format, std::vector<std::uint8_t> bytes);
    void EmptyClipboard() { clipboard_.clear(); }
    // Another program holds the clipboard: opening it fails.
    void SetClipboardBusy(bool busy) { busy_ = busy; }
    bool clipboardOpen() const { return open_; }
    // Opens that were never closed would lock every other program out.
    int unbalancedOpens() const { return opens_ - closes_; }

    std::vector<Message> messages;

private:
    std::map<unsigned, std::vector<std::uint8_t>> clipboard_;
    bool busy_ = false;
    bool open_ = false;
    int opens_ = 0;
    int closes_ = 0;
};

// A drop event's data object whose formats and file collection the test
// sets; GetData answers with the bytes set for the format, and fails for
// any description other than a whole memory block of content.
class HeadlessDataObject final : public DataObject {
public:
    bool GetFormat(unsigned format) const override;
    std::optional<std::vector<std::uint8_t>> GetData(const FORMATETC& format) const override;

    void SetData(unsigned format, std::vector<std::uint8_t> bytes);
    // Offered by GetFormat, but GetData fails for it.
    void SetUnreadable(unsigned format) { unreadable_.push_back(format); }

private:
    std::map<unsigned, std::vector<std::uint8_t>> data_;
    std::vector<unsigned> unreadable_;
};

} // namespace platform

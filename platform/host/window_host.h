#pragma once
// The window host: what the code below the views needs of windows. The Qt
// host draws real windows; the console host (the default) serves programs
// without windows and tests.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;

// Clipboard formats, numbered as the system numbers them.
inline constexpr unsigned CF_BITMAP = 2;
inline constexpr unsigned CF_METAFILEPICT = 3;
inline constexpr unsigned CF_DIB = 8;
inline constexpr unsigned CF_ENHMETAFILE = 14;
inline constexpr unsigned CF_HDROP = 15;

class WindowHost {
public:
    virtual ~WindowHost() = default;
    // A modal message box; returns the button pressed.
    virtual int MessageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;
    // Processes pending window messages (repaint, input) and returns.
    virtual void DoEvents() {}

    // --- clipboard ---------------------------------------------------------
    // Clipboard data travels as the bytes of its memory block: a packed DIB
    // for CF_DIB and CF_BITMAP, the metafile's own bytes for CF_METAFILEPICT
    // and CF_ENHMETAFILE, a drop-file list (DROPFILES) for CF_HDROP. It
    // comes from other programs, so nothing that reads it trusts it. A host
    // without a clipboard offers nothing.
    //
    // Opening fails while another program holds the clipboard; every
    // successful open is matched by a close.
    virtual bool OpenClipboard() { return false; }
    virtual void CloseClipboard() {}
    // Whether a format is offered; needs no open clipboard.
    virtual bool IsClipboardFormatAvailable(unsigned format) const {
        static_cast<void>(format);
        return false;
    }
    // A format's bytes, while the clipboard is open; none when the format is
    // not offered or the clipboard is not open.
    virtual std::optional<std::vector<std::uint8_t>> GetClipboardData(unsigned format) {
        static_cast<void>(format);
        return std::nullopt;
    }
};

// Prints message boxes to standard error.
class ConsoleHost final : public WindowHost {
public:
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override;
};

// The process's host: the environment's host, or a ConsoleHost when it has
// none. A program with windows sets its own in the environment for as long
// as the host lives.
WindowHost& CurrentHost();

} // namespace platform

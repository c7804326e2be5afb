#pragma once
// The clipboard's picture, as a program asks for "the clipboard's picture"
// without naming a format.

#include "platform/host/window_host.h"
#include "platform/picture/picture.h"

#include <memory>

namespace platform {

// Holds the clipboard open for its own lifetime; open() tells whether it
// could be opened.
class ClipboardLock {
public:
    explicit ClipboardLock(ClipboardServices& host) : host_(host), open_(host.OpenClipboard()) {}
    ~ClipboardLock() {
        if (open_) host_.CloseClipboard();
    }
    ClipboardLock(const ClipboardLock&) = delete;
    ClipboardLock& operator=(const ClipboardLock&) = delete;
    bool open() const { return open_; }

private:
    ClipboardServices& host_;
    bool open_;
};

// A bitmap first (CF_DIB, else CF_BITMAP), then an enhanced metafile, then
// a Windows metafile: a bitmap picture of the DIB, or a metafile picture
// (which this platform cannot draw). Null when the clipboard cannot be
// opened or holds no picture whose bytes make sense.
std::unique_ptr<Picture> GetClipboardPicture(WindowHost& host);

} // namespace platform

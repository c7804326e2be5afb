#pragma once
// The link shared by the image controls of one container: the one GDI+
// session of a top-level window tree, and which control has the mouse
// pointer over it. Controls are known by their 32-bit identity and never
// owned.

#include "platform/host/services.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace platform {

class cCrossComm;

// What every image control offers to the others.
class ICrossComm {
public:
    virtual ~ICrossComm() = default;
    // The control's link, or null while it has none.
    virtual std::shared_ptr<cCrossComm> CrossTalkClass() = 0;
    // Stops the control's pointer tracking and raises its mouse-leave
    // event. False when that failed; the hand-over then stops.
    virtual bool ReleaseMouseCapture() = 0;
};

// A control's identity for as long as the object lives. Identities are
// positive (a control's fade timer uses the negated identity, which must not
// meet another control's tracking timer), unique among the live controls of
// the process and looked up without owning the control.
class CrossCommIdentity {
public:
    explicit CrossCommIdentity(ICrossComm& control);
    ~CrossCommIdentity();
    CrossCommIdentity(const CrossCommIdentity&) = delete;
    CrossCommIdentity& operator=(const CrossCommIdentity&) = delete;

    std::int32_t value() const { return value_; }

private:
    std::int32_t value_;
};

// The live control with that identity, or null for "no such control" (0, a
// stale identity, one never handed out).
ICrossComm* FindCrossComm(std::int32_t identity);

class cCrossComm {
public:
    // The services the session start and the shutdown window use. The
    // services must outlive the window tree's session (the host does).
    cCrossComm(WindowServices& windows, TimerServices& timers);
    cCrossComm(const cCrossComm&) = delete;
    cCrossComm& operator=(const cCrossComm&) = delete;

    // The control under the pointer, 0 for none.
    std::int32_t CapturedControl() const { return captured_; }
    // Hands the pointer to another control: the control that had it lets go
    // (ReleaseMouseCapture) before the new identity is stored. When letting
    // go fails the old identity stays and the answer is false.
    bool CapturedControl(std::int32_t ucPointer);
    // 0 no session, -1 a session of another manager in this window tree,
    // otherwise the token of the session this manager started.
    std::int32_t gdiToken() const { return gdiToken_; }

    // Registers a control (0 and present identities change nothing).
    void AddRef(std::int32_t ucPointer);
    // Unregisters a control; whether or not it was registered, a capture it
    // holds is cleared without calling anybody.
    void RemoveRef(std::int32_t ucPointer);
    // Starts the GDI+ session of the window tree of containerHwnd, or learns
    // that one exists, and sets gdiToken. Every platform failure is
    // swallowed; gdiToken tells the outcome.
    void ManageGDIToken(HWND containerHwnd);

    // --- the registered set, for inspection -------------------------------------
    std::span<const std::int32_t> registered() const {
        return {slots_.data(), static_cast<std::size_t>(count_)};
    }
    std::int32_t registeredCount() const { return count_; }
    // Positions allocated, spare ones included.
    std::size_t allocatedSize() const { return slots_.size(); }
    bool isRegistered(std::int32_t ucPointer) const;

private:
    struct Position {
        bool found = false;
        std::int32_t index = 0; // 0-based: where it is, or where it goes
    };
    Position search(std::int32_t key) const;

    WindowServices& windows_;
    TimerServices& timers_;
    // Sorted ascending; slots_.size() is the allocation, count_ the entries.
    std::vector<std::int32_t> slots_;
    std::int32_t count_ = 0;
    std::int32_t captured_ = 0;
    std::int32_t gdiToken_ = 0;
};

// The title of the hidden window that marks a window tree's GDI+ session.
inline constexpr const char* kGdiSessionWindowTitle = "GDI+Safe Patch";
// How long after its window is gone the session is shut down, in ms.
inline constexpr UINT kGdiShutdownDelay = 50;

} // namespace platform

#include "platform/host/ccrosscomm.h"

#include "platform/host/win32.h"
#include "platform/imaging/cgdiplus.h"
#include "platform/system/library.h"

#include <algorithm>
#include <limits>
#include <mutex>
#include <new>
#include <unordered_map>

namespace platform {
namespace {

// --- identities ------------------------------------------------------------------

// Identities stand in for object addresses, which are the one thing in the
// process every control has uniquely; so the registry is process-wide too.
struct IdentityRegistry {
    std::mutex mutex;
    std::unordered_map<std::int32_t, ICrossComm*> controls;
    std::int32_t next = 1;

    static IdentityRegistry& instance() {
        static IdentityRegistry registry;
        return registry;
    }
};

// --- the shutdown hook -------------------------------------------------------------

// Subclasses the hidden session window. Once the window is destroyed and the
// outermost call of its procedure has returned, it puts the previous
// procedure back and starts a one-shot thread timer, whose callback shuts the
// session down, drops the hook's own reference on the imaging library and,
// by returning, frees the hook (the timer's callback holds the last
// reference). Until then the window keeps it alive.
class ShutdownHook : public std::enable_shared_from_this<ShutdownHook> {
public:
    ShutdownHook(WindowServices& windows, TimerServices& timers)
        : windows_(windows), timers_(timers) {}
    ~ShutdownHook();

    void attach(HWND window, std::int32_t token, Library library, VelmoraImagingShutdown shutdown);
    LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    void timerProc();

    WindowServices& windows_;
    TimerServices& timers_;
    HWND window_ = 0;
    int nesting_ = 0;
    UINT destroyed_ = 0;
    WNDPROC previous_ = nullptr;
    std::int32_t token_ = 0;
    Library gdiplus_;
    VelmoraImagingShutdown shutdown_ = nullptr;
    UINT_PTR timer_ = 0;
    bool timerStarted_ = false;
    bool finished_ = false;
};

// The hook's procedure is a plain window procedure, so it finds its state by
// its window. Windows share one handle space, so one table serves every host.
struct HookTable {
    std::mutex mutex;
    std::unordered_map<HWND, std::weak_ptr<ShutdownHook>> hooks;

    static HookTable& instance() {
        static HookTable table;
        return table;
    }
    std::shared_ptr<ShutdownHook> find(HWND window) {
        std::lock_guard lock(mutex);
        const auto it = hooks.find(window);
        return it != hooks.end() ? it->second.lock() : nullptr;
    }
    void set(HWND window, const std::shared_ptr<ShutdownHook>& hook) {
        std::lock_guard lock(mutex);
        hooks[window] = hook;
    }
    void forget(HWND window) {
        std::lock_guard lock(mutex);
        hooks.erase(window);
    }
};

LRESULT VELMORA_CALLBACK ShutdownHookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const std::shared_ptr<ShutdownHook> hook = HookTable::instance().find(window);
    if (!hook) return platform::DefWindowProcA(window, message, wParam, lParam);
    return hook->windowProc(window, message, wParam, lParam);
}

ShutdownHook::~ShutdownHook() {
    if (window_ != 0) HookTable::instance().forget(window_);
}

void ShutdownHook::attach(HWND window, std::int32_t token, Library library,
                          VelmoraImagingShutdown shutdown) {
    window_ = window;
    token_ = token;
    gdiplus_ = std::move(library);
    shutdown_ = shutdown;
    HookTable::instance().set(window, shared_from_this());
    previous_ = reinterpret_cast<WNDPROC>(windows_.SetWindowLongA(
        window, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&ShutdownHookProc)));
}

LRESULT ShutdownHook::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    struct Nesting {
        int& counter;
        explicit Nesting(int& c) : counter(c) { ++counter; }
        ~Nesting() { --counter; }
    };
    LRESULT result = 0;
    {
        const Nesting nested(nesting_);
        result = windows_.CallWindowProcA(previous_, window, message, wParam, lParam);
    }
    if (message == WM_DESTROY) destroyed_ = WM_DESTROY;
    if (nesting_ == 0 && destroyed_ == WM_DESTROY && !timerStarted_) {
        timerStarted_ = true;
        // Fails quietly when the window is already gone.
        windows_.SetWindowLongA(window, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        HookTable::instance().forget(window);
        window_ = 0;
        std::shared_ptr<ShutdownHook> self = shared_from_this();
        timer_ = timers_.SetTimer(0, 0, kGdiShutdownDelay,
                                  [self](HWND, UINT, UINT_PTR, DWORD) { self->timerProc(); });
    }
    return result;
}

void ShutdownHook::timerProc() {
    if (finished_) return;
    finished_ = true;
    // The host keeps the running callback (and with it this hook) alive
    // until it returns; killing the timer drops the host's own reference.
    timers_.KillTimer(0, timer_);
    if (shutdown_ != nullptr) shutdown_(token_);
    shutdown_ = nullptr;
    gdiplus_.reset();
}

// The imaging library that serves sessions, loaded once more for the hook:
// the session's library must stay until after its own shutdown call.
// It is found as the bridge finds it: named by a path, of the interface
// version built against.
Library sessionLibrary(VelmoraImagingShutdown& shutdown) {
    for (const std::string& name : ImagingLibraryNames()) {
        if (!IsLibraryPath(name)) continue;
        Library library(name);
        const auto version = library.function<std::int32_t (*)()>(kImagingVersionEntry);
        if (version == nullptr || version() != kImagingInterfaceVersion) continue;
        shutdown = library.function<VelmoraImagingShutdown>(kImagingShutdownEntry);
        if (shutdown != nullptr) return library;
    }
    shutdown = nullptr;
    return {};
}

} // namespace

// --- identities ----------------------------------------------------------------------

CrossCommIdentity::CrossCommIdentity(ICrossComm& control) {
    IdentityRegistry& registry = IdentityRegistry::instance();
    std::lock_guard lock(registry.mutex);
    while (registry.controls.contains(registry.next))
        registry.next =
            registry.next == std::numeric_limits<std::int32_t>::max() ? 1 : registry.next + 1;
    value_ = registry.next;
    registry.next =
        registry.next == std::numeric_limits<std::int32_t>::max() ? 1 : registry.next + 1;
    registry.controls.emplace(value_, &control);
}

CrossCommIdentity::~CrossCommIdentity() {
    IdentityRegistry& registry = IdentityRegistry::instance();
    std::lock_guard lock(registry.mutex);
    registry.controls.erase(value_);
}

ICrossComm* FindCrossComm(std::int32_t identity) {
    IdentityRegistry& registry = IdentityRegistry::instance();
    std::lock_guard lock(registry.mutex);
    const auto it = registry.controls.find(identity);
    return it != registry.controls.end() ? it->second : nullptr;
}

// --- cCrossComm ----------------------------------------------------------------------

cCrossComm::cCrossComm(WindowServices& windows, TimerServices& timers)
    : windows_(windows), timers_(timers) {}

bool cCrossComm::CapturedControl(std::int32_t ucPointer) {
    if (captured_ != 0 && captured_ != ucPointer) {
        // A control that is gone has nothing to let go of.
        if (ICrossComm* previous = FindCrossComm(captured_)) {
            if (!previous->ReleaseMouseCapture()) return false;
        }
    }
    captured_ = ucPointer;
    return true;
}

cCrossComm::Position cCrossComm::search(std::int32_t key) const {
    // Positions 1..count, as the set has always been searched.
    std::int32_t low = 1;
    std::int32_t high = count_;
    std::int32_t middle = 1;
    while (high >= low) {
        middle = low + (high - low) / 2;
        const std::int32_t entry = slots_[static_cast<std::size_t>(middle - 1)];
        if (entry == key) return {true, middle - 1};
        if (key < entry)
            high = middle - 1;
        else
            low = middle + 1;
    }
    if (count_ == 0) return {false, 0};
    const bool below = slots_[static_cast<std::size_t>(middle - 1)] < key;
    return {false, middle - 1 + (below ? 1 : 0)};
}

bool cCrossComm::isRegistered(std::int32_t ucPointer) const {
    return search(ucPointer).found;
}

void cCrossComm::AddRef(std::int32_t ucPointer) {
    if (ucPointer == 0) return;
    if (count_ == 0) {
        slots_.assign(6, 0);
        slots_[0] = ucPointer;
        count_ = 1;
        return;
    }
    const Position at = search(ucPointer);
    if (at.found) return;
    ++count_;
    if (static_cast<std::size_t>(count_) > slots_.size())
        slots_.resize(static_cast<std::size_t>(count_) + 5);
    const auto begin = slots_.begin();
    std::move_backward(begin + at.index, begin + (count_ - 1), begin + count_);
    slots_[static_cast<std::size_t>(at.index)] = ucPointer;
}

void cCrossComm::RemoveRef(std::int32_t ucPointer) {
    const Position at = search(ucPointer);
    if (at.found) {
        if (count_ == 1) {
            count_ = 0;
            std::vector<std::int32_t>().swap(slots_);
        } else {
            const auto begin = slots_.begin();
            std::move(begin + at.index + 1, begin + count_, begin + at.index);
            --count_;
            if (slots_.size() > static_cast<std::size_t>(count_) + 5) {
                slots_.resize(static_cast<std::size_t>(count_));
                slots_.shrink_to_fit();
            }
        }
    }
    if (ucPointer == captured_) captured_ = 0;
}

void cCrossComm::ManageGDIToken(HWND containerHwnd) {
    // A handle that names no window has no tree to give a session to; a
    // session started for it could never be shut down.
    if (containerHwnd == 0 || !windows_.IsWindow(containerHwnd)) return;
    try {
        // The top of the tree: parents first, then owners, so that an owned
        // dialog shares its owner's session.
        HWND top = containerHwnd;
        for (HWND up = windows_.GetParent(top); up != 0 && up != top; up = windows_.GetParent(top))
            top = up;
        for (HWND up = windows_.GetWindow(top, GW_OWNER); up != 0 && up != top;
             up = windows_.GetWindow(top, GW_OWNER))
            top = up;

        if (windows_.FindWindowExA(top, 0, "Static", kGdiSessionWindowTitle) != 0) {
            gdiToken_ = -1;
            return;
        }

        std::int32_t token = 0;
        cGDIPlus().StartStopGDIplus(token, false);
        gdiToken_ = token;
        if (token == 0) return;

        // From here on a failure leaves the session open for the rest of
        // the process, which is safe; shutting it down early would not be.
        const auto hook = std::make_shared<ShutdownHook>(windows_, timers_);
        const HWND window =
            windows_.CreateWindowExA(0, "Static", kGdiSessionWindowTitle, WS_CHILD, 0, 0, 0, 0, top,
                                     0, GetModuleHandleA(nullptr), nullptr);
        if (window == 0) return;
        VelmoraImagingShutdown shutdown = nullptr;
        Library library = sessionLibrary(shutdown);
        if (!windows_.KeepWithWindow(window, hook)) return;
        hook->attach(window, token, std::move(library), shutdown);
    } catch (const std::bad_alloc&) {
        // As any other failing step: gdiToken tells what was reached.
    }
}

} // namespace platform

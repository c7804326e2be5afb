#pragma once
// Asks the machine's caching resolver to forget what it has cached, so that
// names resolve through new servers at once rather than when their cached
// answers expire. Only systemd-resolved is asked, and only where it already
// runs: starting it would change how the machine resolves names.

#include <memory>
#include <string>

namespace velmora::management {

struct FlushResult {
    enum class Outcome { Flushed, NoResolver, Failed };
    Outcome outcome = Outcome::NoResolver;
    // Why there was no resolver or why it failed, for people.
    std::string detail;
};

class CacheFlusher {
public:
    virtual ~CacheFlusher() = default;
    virtual FlushResult Flush() = 0;
};

// The machine's own caching resolver, as this system's build reaches it:
// systemd-resolved on Linux (ResolvedFlusher, loaded with the program's
// D-Bus services when first used); on Windows none is asked yet, and every
// flush answers NoResolver with the reason.
std::unique_ptr<CacheFlusher> MakeSystemFlusher();

// org.freedesktop.resolve1.Manager.FlushCaches on the system bus
// ($DBUS_SYSTEM_BUS_ADDRESS where set).
class ResolvedFlusher final : public CacheFlusher {
public:
    FlushResult Flush() override;
};

} // namespace velmora::management

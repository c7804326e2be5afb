#include "platform/imaging/imaging_library.h"

#include "platform/imaging/cgdiplus.h"

#include <map>
#include <memory>
#include <mutex>

namespace platform::imaging {
namespace {

// Bindings by library name, made on first use and kept for the process;
// null for a name that does not bind, so it is not tried again on every
// paint either.
struct Bindings {
    std::mutex mutex;
    std::map<std::string, std::unique_ptr<Binding>> byName;
};

Bindings& bindings() {
    static Bindings all;
    return all;
}

std::unique_ptr<Binding> make(const std::string& name) {
    // Only a file named by its path: a bare name would be looked for along
    // the system's search path, which may offer any library of that name.
    if (!IsLibraryPath(name)) return nullptr;
    auto b = std::make_unique<Binding>();
    b->name = name;
    b->library = Library(name);
    if (!b->library.loaded()) return nullptr;
    // A library of another interface version is no imaging service: its
    // entries may take other structures under the same names.
    const auto version =
        b->library.function<decltype(&velmora_imaging_version)>("velmora_imaging_version");
    if (version == nullptr || version() != VELMORA_IMAGING_ABI_VERSION) return nullptr;
    b->startup = b->library.function<decltype(b->startup)>("velmora_imaging_startup");
    b->shutdown = b->library.function<decltype(b->shutdown)>("velmora_imaging_shutdown");
    if (b->startup == nullptr || b->shutdown == nullptr) return nullptr;
    b->encoders = b->library.function<decltype(b->encoders)>("velmora_imaging_encoders");
    b->decodeMemory =
        b->library.function<decltype(b->decodeMemory)>("velmora_imaging_decode_memory");
    b->decodeFile = b->library.function<decltype(b->decodeFile)>("velmora_imaging_decode_file");
    b->encodeMemory =
        b->library.function<decltype(b->encodeMemory)>("velmora_imaging_encode_memory");
    b->encodeFile = b->library.function<decltype(b->encodeFile)>("velmora_imaging_encode_file");
    b->draw = b->library.function<decltype(b->draw)>("velmora_imaging_draw");
    b->setPixelLimit =
        b->library.function<decltype(b->setPixelLimit)>("velmora_imaging_set_pixel_limit");
    b->lastReason = b->library.function<decltype(b->lastReason)>("velmora_imaging_last_reason");
    return b;
}

} // namespace

const Binding* Binding::bind() {
    Bindings& all = bindings();
    for (const std::string& name : ImagingLibraryNames()) {
        const std::lock_guard lock(all.mutex);
        const auto [entry, added] = all.byName.try_emplace(name);
        if (added) entry->second = make(name);
        if (entry->second) return entry->second.get();
    }
    return nullptr;
}

CallSession::CallSession(const Binding& binding, std::int32_t callerToken) : binding_(binding) {
    if (callerToken != 0) {
        token_ = callerToken;
        return;
    }
    std::int32_t token = 0;
    if (binding_.startup(&token) == VELMORA_IMAGING_OK && token != 0) {
        token_ = token;
        own_ = true;
    }
}

CallSession::~CallSession() {
    if (own_) binding_.shutdown(token_);
}

} // namespace platform::imaging

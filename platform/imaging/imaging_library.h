#pragma once
// The imaging library's entries as the bridge calls them: bound from the
// first library of the environment's imagingLibraryNames that loads and
// offers a session entry, kept loaded while the binding lives. Entries a
// library does not offer stay null, and the operations needing them answer
// false. Only the bridge (platform/imaging) includes this.

#include "imaging/velmora_imaging.h"
#include "platform/system/library.h"

#include <cstdint>
#include <optional>
#include <string>

namespace platform::imaging {

struct Binding {
    std::string name; // as listed
    Library library;
    decltype(&velmora_imaging_startup) startup = nullptr;
    decltype(&velmora_imaging_shutdown) shutdown = nullptr;
    decltype(&velmora_imaging_encoders) encoders = nullptr;
    decltype(&velmora_imaging_decode_memory) decodeMemory = nullptr;
    decltype(&velmora_imaging_decode_file) decodeFile = nullptr;
    decltype(&velmora_imaging_encode_memory) encodeMemory = nullptr;
    decltype(&velmora_imaging_encode_file) encodeFile = nullptr;
    decltype(&velmora_imaging_draw) draw = nullptr;
    decltype(&velmora_imaging_set_pixel_limit) setPixelLimit = nullptr;

    // Null when no library of the list loads and offers startup and shutdown.
    static std::optional<Binding> bind();
};

// The session one call works in: the caller's token when it has one,
// otherwise a session of the call's own, shut down when the call ends.
class CallSession {
public:
    CallSession(const Binding& binding, std::int32_t callerToken);
    ~CallSession();
    CallSession(const CallSession&) = delete;
    CallSession& operator=(const CallSession&) = delete;

    bool live() const { return token_ != 0; }

private:
    const Binding& binding_;
    std::int32_t token_ = 0;
    bool own_ = false;
};

} // namespace platform::imaging

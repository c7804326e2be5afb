#pragma once
// The imaging library's entries as the bridge calls them: bound from the
// first library of the environment's imagingLibraryNames that is named by a
// path, loads, answers the interface version of the header built against
// and offers the session entries. Each library is bound once per process
// and stays loaded for the rest of it (a session it started must outlive
// the call that started it). Entries a library does not offer stay null,
// and the operations needing them answer false. Only the bridge
// (platform/imaging) includes this.

#include "imaging/velmora_imaging.h"
#include "platform/system/library.h"

#include <cstdint>
#include <optional>
#include <string>

namespace platform::imaging {

struct Binding {
    Binding() = default;
    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;

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
    decltype(&velmora_imaging_last_reason) lastReason = nullptr;

    // The binding of the first library of the list that binds; null when
    // none does (no imaging service). Bound on first use, kept for the
    // process.
    static const Binding* bind();
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

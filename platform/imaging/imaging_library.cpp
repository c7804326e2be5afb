#include "platform/imaging/imaging_library.h"

#include "platform/imaging/cgdiplus.h"

namespace platform::imaging {

std::optional<Binding> Binding::bind() {
    for (const std::string& name : ImagingLibraryNames()) {
        Binding b;
        b.name = name;
        b.library = Library(name);
        if (!b.library.loaded()) continue;
        b.startup = b.library.function<decltype(startup)>("velmora_imaging_startup");
        b.shutdown = b.library.function<decltype(shutdown)>("velmora_imaging_shutdown");
        if (b.startup == nullptr || b.shutdown == nullptr) continue;
        b.encoders = b.library.function<decltype(encoders)>("velmora_imaging_encoders");
        b.decodeMemory =
            b.library.function<decltype(decodeMemory)>("velmora_imaging_decode_memory");
        b.decodeFile = b.library.function<decltype(decodeFile)>("velmora_imaging_decode_file");
        b.encodeMemory =
            b.library.function<decltype(encodeMemory)>("velmora_imaging_encode_memory");
        b.encodeFile = b.library.function<decltype(encodeFile)>("velmora_imaging_encode_file");
        b.draw = b.library.function<decltype(draw)>("velmora_imaging_draw");
        b.setPixelLimit =
            b.library.function<decltype(setPixelLimit)>("velmora_imaging_set_pixel_limit");
        return b;
    }
    return std::nullopt;
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

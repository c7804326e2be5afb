// Windows keeps its resolver's cache in the DNS Client service, which offers
// no documented way to empty it; nothing is asked, and a flush says so.

#include "app/management/cache_flush.h"

namespace velmora::management {

namespace {

class NoFlusher final : public CacheFlusher {
public:
    FlushResult Flush() override {
        return {FlushResult::Outcome::NoResolver,
                "the DNS Client service's cache cannot be flushed from this build; "
                "ipconfig /flushdns does it"};
    }
};

} // namespace

std::unique_ptr<CacheFlusher> MakeSystemFlusher() {
    return std::make_unique<NoFlusher>();
}

} // namespace velmora::management

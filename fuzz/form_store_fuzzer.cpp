// Form store files as a user or another program may leave them. A store
// that reads must write back to text that reads as the same form, and every
// refusal must say where and why.
#include "platform/host/form_store.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::FormStoreLimits limits;
    limits.maxControls = 64;
    const platform::FormStoreResult first = platform::ParseFormStore(text, "store", limits);
    if (!first) {
        require(first.error.rfind("store:", 0) == 0);
        return 0;
    }
    require(first.error.empty());
    const std::string written = platform::SerializeFormStore(*first.form);
    const platform::FormStoreResult again = platform::ParseFormStore(written, "again", limits);
    require(again.form.has_value());
    require(platform::SerializeFormStore(*again.form) == written);
    return 0;
}

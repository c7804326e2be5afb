// Hostile headers: every file the bomb generator writes is refused as
// damaged (or too large) with a reason of its own, and none makes the
// library ask for the picture it declares.

#include "tests/imaging/support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

using namespace imaging_test;

namespace {

// Small pictures get memory (a cut-off scan is found while decoding); a
// request beyond this means the header was believed.
constexpr std::int64_t kSmallPicture = 1 << 20;

struct Requests {
    std::int64_t largest = 0;
    Picture picture;
};

std::int32_t allocateSmall(void* context, std::int32_t width, std::int32_t height,
                           velmora_imaging_pixels* out) {
    auto* r = static_cast<Requests*>(context);
    r->largest = std::max(r->largest, std::int64_t{width} * height);
    if (std::int64_t{width} * height > kSmallPicture) return 1;
    r->picture = Picture(width, height);
    *out = r->picture.view();
    return 0;
}

TEST(ImagingBombs, EveryBombIsRefusedBeforeItsPictureIsMade) {
    Session session;
    velmora_imaging_set_pixel_limit(0);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(VELMORA_BOMBS_DIR)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || name.starts_with(".")) continue;
        ++files;
        SCOPED_TRACE(name);
        const auto bytes = readFile(entry.path().string());
        Requests requests;
        std::int32_t format = 0;
        const std::int32_t status = velmora_imaging_decode_memory(
            bytes.data(), bytes.size(), allocateSmall, &requests, &format);
        EXPECT_TRUE(status == VELMORA_IMAGING_DAMAGED || status == VELMORA_IMAGING_TOO_LARGE)
            << velmora_imaging_status_text(status);
        EXPECT_LE(requests.largest, kSmallPicture);
        const char* reason = velmora_imaging_last_reason();
        ASSERT_NE(reason, nullptr);
        EXPECT_STRNE(reason, velmora_imaging_status_text(status)) << "no reason of its own";
    }
    EXPECT_GE(files, 11) << "the generator wrote fewer bombs than it makes";
}

} // namespace

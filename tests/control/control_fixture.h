#pragma once
// One image control on a headless form, with the host installed for the
// test's duration and the pictures the control tests load.

#include "control/aic_alpha_image.h"
#include "platform/host/property_store.h"
#include "platform/system/environment.h"
#include "platform/testing/headless_site.h"
#include "tests/support/image_files.h"

#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace controltest {

using Bytes = std::vector<std::uint8_t>;

// A 24-bit bitmap file of w x h; colour(x, y) is 0xRRGGBB, y = 0 the top.
template <typename Colour>
Bytes bitmapFile(int w, int h, Colour colour) {
    const int stride = testfiles::rowBytes(24, w);
    Bytes bits;
    for (int r = 0; r < h; ++r) {
        const int y = h - 1 - r;
        Bytes row(static_cast<std::size_t>(stride), 0);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = colour(x, y);
            row[static_cast<std::size_t>(x * 3)] = static_cast<std::uint8_t>(c);
            row[static_cast<std::size_t>(x * 3 + 1)] = static_cast<std::uint8_t>(c >> 8);
            row[static_cast<std::size_t>(x * 3 + 2)] = static_cast<std::uint8_t>(c >> 16);
        }
        bits.insert(bits.end(), row.begin(), row.end());
    }
    return testfiles::bmpFile(testfiles::infoHeader(w, h, 24), bits);
}

// A 4 x 2 opaque picture: red corner at the top left, every other pixel
// its own colour.
inline Bytes cornerBitmap(std::uint32_t corner = 0xFF0000) {
    return bitmapFile(4, 2, [corner](int x, int y) -> std::uint32_t {
        if (x == 0 && y == 0) return corner;
        return 0x102030u + static_cast<std::uint32_t>(x * 0x10 + y * 0x1000);
    });
}

// A 32-bit icon file with one entry per size; every pixel half transparent.
inline Bytes iconFile(const std::vector<int>& sizes) {
    std::vector<testfiles::IcoEntry> entries;
    for (int s : sizes) {
        testfiles::IcoEntry e;
        e.width = static_cast<std::uint8_t>(s);
        e.height = static_cast<std::uint8_t>(s);
        e.bitCount = 32;
        e.image = testfiles::bitmapEntry(
            s, s, 32, {}, [](int, int) { return 0x80402010u; }, [](int, int) { return false; });
        entries.push_back(std::move(e));
    }
    return testfiles::icoFile(entries);
}

// A 16 x 16 four-colour GIF (large enough for the loaders' minimum size).
inline Bytes gifPicture() {
    std::vector<std::uint8_t> indexes(256);
    for (std::size_t i = 0; i < indexes.size(); ++i)
        indexes[i] = static_cast<std::uint8_t>((i * 7 + i / 16) % 4);
    return testfiles::gifFile(16, 16, {{1, 2, 3}, {200, 100, 50}, {9, 9, 9}, {0, 255, 0}},
                              {testfiles::frame(0, 0, 16, 16, std::move(indexes))});
}

// The pixel at (x, y) (0 = top row) as blue, green, red, alpha.
inline std::array<std::uint8_t, 4> pixelOf(const c32bppDIB& surface, int x, int y) {
    const std::uint8_t* p = surface.row(y) + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

class ControlTest : public ::testing::Test {
protected:
    explicit ControlTest(bool userMode = true, platform::RECT extent = {10, 10, 42, 42}) {
        env_->host = &host;
        form = host.CreateWindowExA(0, "#32770", "Form", platform::WS_VISIBLE, 0, 0, 400, 300, 0, 0,
                                    0, nullptr);
        site = std::make_unique<platform::HeadlessSite>(host, form, extent);
        site->userMode = userMode;
        control = std::make_unique<aicAlphaImage>(*site);
        site->controls = {{aicAlphaImage::kTypeName, control.get()}};
    }
    ~ControlTest() override {
        control.reset();
        site.reset();
    }

    // The control, brought back from what it saved, on a second site.
    std::unique_ptr<aicAlphaImage> restored(const platform::PropertyStore& store,
                                            platform::HeadlessSite& on) {
        auto copy = std::make_unique<aicAlphaImage>(on);
        copy->ReadProperties(store);
        return copy;
    }

    bool load(const Bytes& bytes) {
        std::int32_t w = 0, h = 0, d = 0;
        return control->LoadImage_FromArray(bytes, w, h, d);
    }

    platform::ScopedEnvironment env_;
    platform::HeadlessHost host;
    platform::HWND form = 0;
    std::unique_ptr<platform::HeadlessSite> site;
    std::unique_ptr<aicAlphaImage> control;
};

} // namespace controltest

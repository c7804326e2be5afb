// The image control restored from property stores a damaged or hostile
// form may hold: any keys in any letter case with values of any kind,
// pictures included. Restoring, painting, hit testing and pointer tracking
// must not crash, leak or hang, at design time or at run time, and what the control then saves must
// restore to a control that saves the same store (the picture as a picture: encoding premultiplied
// translucent pixels again may round them differently).
#include "control/aic_alpha_image.h"
#include "platform/host/property_store.h"
#include "platform/system/environment.h"
#include "platform/testing/headless_site.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

// Every key the control reads, some in other letter cases.
constexpr std::array<const char*, 28> kKeys{
    "Image",      "Scaler",  "Opacity",     "Mirror",      "Angle",   "Enabled",    "MPointer",
    "OLEdrop",    "MIcon",   "GrayScale",   "HitTest",     "Props",   "MaskUsed",   "MaskColor",
    "MaskSource", "Mask",    "ShadowColor", "ShadowDepth", "ShadowX", "ShadowY",    "ShadowOpacity",
    "Intensity",  "ScaleCx", "ScaleCy",     "image",       "PROPS",   "masksource", "scaler"};

// The input as records: a key byte, a kind byte, then the value (4 bytes
// for numbers, 1 for Booleans, a 2-byte length and the bytes for arrays).
platform::PropertyStore storeFrom(std::span<const std::uint8_t> in) {
    platform::PropertyStore store;
    std::size_t at = 0;
    const auto take = [&](std::size_t n) -> std::span<const std::uint8_t> {
        if (in.size() - at < n) return {};
        const auto part = in.subspan(at, n);
        at += n;
        return part;
    };
    while (in.size() - at >= 2) {
        const char* key = kKeys[in[at] % kKeys.size()];
        const std::uint8_t kind = in[at + 1] % 4;
        at += 2;
        if (kind == 0) {
            const auto v = take(4);
            if (v.empty()) break;
            std::int32_t value;
            std::memcpy(&value, v.data(), 4);
            store.WriteProperty(key, value);
        } else if (kind == 1) {
            const auto v = take(1);
            if (v.empty()) break;
            store.WriteProperty(key, (v[0] & 1) != 0);
        } else if (kind == 2) {
            const auto v = take(4);
            if (v.empty()) break;
            float value;
            std::memcpy(&value, v.data(), 4);
            store.WriteProperty(key, value);
        } else {
            const auto n = take(2);
            if (n.empty()) break;
            const auto bytes = take(static_cast<std::size_t>(n[0] | (n[1] << 8)));
            store.WriteProperty(key, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        }
    }
    return store;
}

bool sameStore(const platform::PropertyStore& a, const platform::PropertyStore& b) {
    if (a.names() != b.names()) return false;
    for (const std::string& key : a.names()) {
        if (key == "Image") continue;
        if (!(*a.find(key) == *b.find(key))) return false;
    }
    using Bytes = std::vector<std::uint8_t>;
    return a.ReadProperty("Image", Bytes{}).empty() == b.ReadProperty("Image", Bytes{}).empty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    platform::ScopedEnvironment env;
    env->decodePixelLimit = 1u << 20; // keep the pictures small
    platform::HeadlessHost host;
    env->host = &host;
    const platform::HWND form = host.CreateWindowExA(0, "#32770", "Form", platform::WS_VISIBLE, 0,
                                                     0, 200, 200, 0, 0, 0, nullptr);
    const bool userMode = (data[0] & 1) != 0;
    const platform::PropertyStore store = storeFrom({data + 1, size - 1});

    platform::HeadlessSite site(host, form, {4, 4, 36, 28});
    site.userMode = userMode;
    platform::PropertyStore saved;
    {
        aicAlphaImage control(site);
        site.controls = {{aicAlphaImage::kTypeName, &control}};
        control.ReadProperties(store);
        control.WriteProperties(saved);
        // Painted and hit-tested as restored, with the pointer passing over
        // it while its tracking timer runs.
        platform::HeadlessCanvas canvas(48, 40);
        site.paint(control, canvas);
        const platform::RECT corner{10, 10, 20, 18};
        site.paint(control, canvas, &corner);
        for (int step = 0; step < 4; ++step) {
            const int x = step * 11 - 3, y = step * 7 - 2;
            host.setCursorPos({4 + x, 4 + y});
            int hit = platform::HITRESULT_OUTSIDE;
            control.HitTest(x, y, hit);
            host.advance(100);
        }
        control.FadeInOut(0, 25, 10);
        host.advance(100);
    }

    platform::HeadlessSite again(host, form, site.Extent());
    again.userMode = userMode;
    aicAlphaImage control(again);
    again.controls = {{aicAlphaImage::kTypeName, &control}};
    control.ReadProperties(saved);
    platform::PropertyStore resaved;
    control.WriteProperties(resaved);
    require(sameStore(saved, resaved));
    return 0;
}

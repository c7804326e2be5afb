// Writes the main window's form store: its four image controls, where they
// sit in their picture boxes, and the pictures they show, as the window's
// layout places them (15 twips to the pixel). Run at build time, after the
// artwork is drawn:
//
//   make_form_store ARTWORK_FOLDER OUTPUT_FILE

#include "platform/host/form_store.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using platform::FormControlRecord;
using platform::FormRecord;

constexpr int Px(int twips) {
    return (twips + 7) / 15;
}

std::vector<std::uint8_t> bytesOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

FormControlRecord image(const char* name, const char* container, int left, int top, int width,
                        int height, std::vector<std::uint8_t> picture) {
    FormControlRecord c;
    c.type = "aicAlphaImage";
    c.name = name;
    c.container = container;
    c.left = Px(left);
    c.top = Px(top);
    c.width = Px(width);
    c.height = Px(height);
    // The stored instances use lower-case keys; every property not written
    // keeps its default.
    c.properties.set("image", std::move(picture));
    c.properties.set("props", std::int32_t{5}); // high-quality scaling, automatic size
    return c;
}

FormControlRecord link(const char* name, int left, int top, int width, int height,
                       std::vector<std::uint8_t> picture,
                       const std::vector<std::uint8_t>& pointer) {
    FormControlRecord c = image(name, "Picture4", left, top, width, height, std::move(picture));
    c.properties.set("mpointer", std::int32_t{99}); // the custom pointer
    c.properties.set("micon", pointer);
    return c;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_form_store ARTWORK_FOLDER OUTPUT_FILE\n");
        return 2;
    }
    const std::filesystem::path art = argv[1];
    const std::vector<std::uint8_t> pointer = bytesOf(art / "link-pointer.cur");
    if (pointer.empty()) {
        std::fprintf(stderr, "make_form_store: no pointer in %s\n", argv[1]);
        return 1;
    }
    FormRecord form;
    form.width = Px(7845);
    form.height = Px(3480);
    form.controls.push_back(
        image("aicAlphaImage1", "Picture1", 0, 90, 720, 720, bytesOf(art / "velmora-logo.png")));
    form.controls.push_back(
        link("aicAlphaImage4", 30, 30, 1875, 735, bytesOf(art / "maker-logo.png"), pointer));
    form.controls.push_back(
        link("aicAlphaImage6", 2280, 60, 720, 720, bytesOf(art / "link-home.png"), pointer));
    form.controls.push_back(
        link("aicAlphaImage5", 3030, 60, 720, 720, bytesOf(art / "link-issues.png"), pointer));
    for (const FormControlRecord& c : form.controls)
        if (c.properties.ReadProperty<std::vector<std::uint8_t>>("image", {}).empty()) {
            std::fprintf(stderr, "make_form_store: no picture for %s in %s\n", c.name.c_str(),
                         argv[1]);
            return 1;
        }
    std::string error;
    if (!platform::WriteFormStore(argv[2], form, error)) {
        std::fprintf(stderr, "make_form_store: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

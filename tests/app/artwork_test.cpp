// The main window's form store as it is compiled into the program: its four
// image controls in their picture boxes, each with a picture that loads
// with real alpha at the size the window gives it, and the links' pointer.

#include "dib/c32bppdib.h"
#include "platform/host/form_store.h"
#include "platform/resources/resources.h"

#include <gtest/gtest.h>
#include <string_view>

using namespace platform;

namespace {

FormRecord embeddedStore() {
    const auto bytes = ProgramResources().LoadResData("frm_main", "FORM");
    if (!bytes) return {};
    const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    FormStoreResult result = ParseFormStore(text, "frm_main");
    EXPECT_TRUE(result) << result.error;
    return result ? std::move(*result.form) : FormRecord{};
}

TEST(WindowArtwork, TheStoreHoldsTheFourImageControlsWhereTheWindowPlacesThem) {
    const FormRecord form = embeddedStore();
    ASSERT_EQ(form.controls.size(), 4u);
    struct Expected {
        const char* name;
        const char* container;
        RECT place;
        bool link;
    };
    const Expected expected[] = {
        {"aicAlphaImage1", "Picture1", {0, 6, 48, 54}, false},
        {"aicAlphaImage4", "Picture4", {2, 2, 127, 51}, true},
        {"aicAlphaImage6", "Picture4", {152, 4, 200, 52}, true},
        {"aicAlphaImage5", "Picture4", {202, 4, 250, 52}, true},
    };
    for (std::size_t i = 0; i < 4; ++i) {
        const FormControlRecord& c = form.controls[i];
        const Expected& e = expected[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(c.name, e.name);
        EXPECT_EQ(c.type, "aicAlphaImage");
        EXPECT_EQ(c.container, e.container);
        EXPECT_EQ(c.left, e.place.left);
        EXPECT_EQ(c.top, e.place.top);
        EXPECT_EQ(c.left + c.width, e.place.right);
        EXPECT_EQ(c.top + c.height, e.place.bottom);
        EXPECT_EQ(c.properties.ReadProperty<std::int32_t>("Props", 1), 5);
        // A stored instance keeps only what differs from the defaults.
        EXPECT_FALSE(c.properties.contains("HitTest")) << "a click anywhere on a link counts";

        // The picture: a PNG with real alpha (soft edges, clear corners), of
        // the control's size.
        c32bppDIB picture;
        ASSERT_TRUE(picture.LoadPicture_Stream(
            c.properties.ReadProperty<std::vector<std::uint8_t>>("image", {})));
        EXPECT_EQ(picture.ImageType(), 10);
        EXPECT_TRUE(picture.Alpha());
        EXPECT_EQ(picture.Width(), c.width);
        EXPECT_EQ(picture.Height(), c.height);
        std::int32_t alpha = -1;
        picture.GetPixel(0, 0, alpha);
        EXPECT_EQ(alpha, 0) << "a clear corner";
        picture.GetPixel(picture.Width() / 2, picture.Height() / 2, alpha);
        EXPECT_EQ(alpha == 0xFF, i != 1) << "opaque middle (the maker's logo is lettering)";

        EXPECT_EQ(c.properties.ReadProperty<std::int32_t>("MPointer", 0), e.link ? 99 : 0);
        if (e.link) {
            c32bppDIB pointer;
            ASSERT_TRUE(pointer.LoadPicture_Stream(
                c.properties.ReadProperty<std::vector<std::uint8_t>>("MIcon", {})));
            EXPECT_EQ(pointer.Width(), 32);
            EXPECT_EQ(pointer.Height(), 32);
            EXPECT_TRUE(pointer.Alpha());
        } else {
            EXPECT_FALSE(c.properties.contains("MIcon"));
        }
    }
}

} // namespace

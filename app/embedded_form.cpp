#include "app/embedded_form.h"

#include "platform/resources/resources.h"

#include <iostream>

namespace velmora::app {

platform::FormRecord EmbeddedFormStore() {
    const auto bytes = platform::ProgramResources().LoadResData("frm_main", "FORM");
    if (!bytes) return {};
    const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    platform::FormStoreResult result = platform::ParseFormStore(text, "frm_main");
    if (!result) {
        std::cerr << "velmora: the window's images: " << result.error << '\n';
        return {};
    }
    return std::move(*result.form);
}

void ImageEvent(FrmMain& form, std::string_view control, std::string_view event) {
    if (event != "Click") return;
    if (control == "aicAlphaImage4") form.aicAlphaImage4_Click();
    if (control == "aicAlphaImage5") form.aicAlphaImage5_Click();
    if (control == "aicAlphaImage6") form.aicAlphaImage6_Click();
}

} // namespace velmora::app

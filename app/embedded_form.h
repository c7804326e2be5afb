#pragma once
// The window's form as the program carries it: the store of its image
// controls, compiled into the program, and where their events go. The same
// on every system; each window builds its own containers for the controls.

#include "app/frm_main.h"
#include "platform/host/form_store.h"

#include <string_view>

namespace velmora::app {

// The store compiled into the program, or an empty form (and the reason on
// standard error) when it is missing or damaged.
platform::FormRecord EmbeddedFormStore();

// Hands `event` of the image control named `control` to `form`: the links'
// clicks; the rest concern no one.
void ImageEvent(FrmMain& form, std::string_view control, std::string_view event);

} // namespace velmora::app

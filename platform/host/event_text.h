#pragma once
// How an event a control raised is written: "NAME.Event ARGS", each
// argument as text (Booleans True/False, data objects "Data"). velmora-form
// events prints these lines, and the designer's preview lists them, so the
// two read alike.

#include "platform/host/container_site.h"

#include <span>
#include <string>
#include <string_view>

namespace platform {

std::string EventText(std::string_view control, std::string_view event,
                      std::span<const EventArg> args);

} // namespace platform

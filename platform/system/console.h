#pragma once
// The process's standard streams as the system sees them.

namespace platform {

enum class StandardStream { Input, Output, Error };

// Whether the stream is a terminal a person is watching, rather than a
// file, a pipe or nothing at all.
bool IsTerminal(StandardStream stream);

} // namespace platform

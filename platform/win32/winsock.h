#pragma once
// Winsock for the platform's socket calls.

namespace platform::win32 {

// Starts Winsock for the process on first use (it stays up until the
// process ends, as the system tidies it then); false when it cannot start.
bool WinsockStarted();

} // namespace platform::win32

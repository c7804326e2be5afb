#pragma once
// The process's standard streams as the system sees them.

#include <string>
#include <vector>

namespace platform {

enum class StandardStream { Input, Output, Error };

// Whether the stream is a terminal a person is watching, rather than a
// file, a pipe or nothing at all.
bool IsTerminal(StandardStream stream);

// The program's arguments after its name, as UTF-8, whatever form the
// system hands main() (on Windows, the wide command line converted).
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// A program of Windows's window subsystem starts without a console: this
// attaches it to the console of the program that started it, where there is
// one, for the streams that lead nowhere (those redirected to a file or a
// pipe stay as they are). Nothing elsewhere.
void AttachParentConsole();

// Makes a console show the program's UTF-8 output as such (Windows's
// console otherwise reads it in its own code page); nothing elsewhere.
void UseUtf8Console();

} // namespace platform

#include "platform/system/console.h"

#include "platform/win32/system.h"
#include "platform/win32/windows_api.h"

#include <cstdio>
#include <shellapi.h>

namespace platform {

bool IsTerminal(StandardStream stream) {
    const DWORD which = stream == StandardStream::Input    ? STD_INPUT_HANDLE
                        : stream == StandardStream::Output ? STD_OUTPUT_HANDLE
                                                           : STD_ERROR_HANDLE;
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    // Only a console has a console mode; files, pipes and nothing have none.
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

std::vector<std::string> CommandLineArguments(int /*argc*/, char** /*argv*/) {
    // main()'s arguments are in the ANSI code page, which loses what it
    // cannot spell; the wide command line has every character.
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    if (words == nullptr) return arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(win32::Narrow(words[i]).value_or(std::string()));
    LocalFree(words);
    return arguments;
}

void AttachParentConsole() {
    auto leads = [](DWORD which) {
        HANDLE handle = GetStdHandle(which);
        return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
               GetFileType(handle) != FILE_TYPE_UNKNOWN;
    };
    const bool input = leads(STD_INPUT_HANDLE);
    const bool output = leads(STD_OUTPUT_HANDLE);
    const bool error = leads(STD_ERROR_HANDLE);
    if (output && error) return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    // The C streams (and the C++ ones, which write through them) are
    // reopened on the console; the FILE objects stay the same.
    FILE* reopened = nullptr;
    if (!output) freopen_s(&reopened, "CONOUT$", "w", stdout);
    if (!error) freopen_s(&reopened, "CONOUT$", "w", stderr);
    if (!input) freopen_s(&reopened, "CONIN$", "r", stdin);
}

void UseUtf8Console() {
    // The program writes UTF-8; a console shows it as such once told.
    SetConsoleOutputCP(CP_UTF8);
}

} // namespace platform

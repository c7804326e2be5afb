// Runs a program under test on Windows: the caller's argument text (words
// split as a POSIX shell splits them, single quotes keeping a path whole)
// becomes a command line the program's CommandLineToArgvW takes apart into
// the same words; standard output comes through a pipe, standard error goes
// to a file.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include "tests/tools/run_tool.h"

#include <memory>
#include <string>
#include <type_traits>
#include <vector>
#include <windows.h>

namespace tooltest {

namespace {

struct CloseHandleDeleter {
    void operator()(HANDLE h) const {
        if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};
using Handle = std::unique_ptr<std::remove_pointer_t<HANDLE>, CloseHandleDeleter>;

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

// The words of a shell command's argument text: blanks separate, single
// and double quotes group (without escapes inside single quotes).
std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\'' || c == '"') {
            const std::size_t end = text.find(c, i + 1);
            word += text.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
            inWord = true;
            i = end == std::string::npos ? text.size() : end;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord) out.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) out.push_back(std::move(word));
    return out;
}

// One word as CommandLineToArgvW reads it back: quoted, with the
// backslashes before a quote (or the closing one) doubled.
std::wstring quoted(const std::wstring& word) {
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : word) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

} // namespace

Outcome runProgram(const std::string& program, const std::string& args,
                   const std::string& errFile) {
    Outcome r;
    std::wstring commandLine = quoted(widen(program));
    for (const std::string& word : words(args))
        commandLine += L" " + quoted(widen(word));

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return r;
    Handle reader(readEnd), writer(writeEnd);
    SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);
    const std::wstring errName =
        errFile.empty() || errFile == "/dev/null" ? L"NUL" : widen(errFile);
    Handle error(CreateFileW(errName.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    Handle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = writer.get();
    startup.hStdError = error.get();
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process))
        return r;
    Handle processHandle(process.hProcess), threadHandle(process.hThread);
    // Only the child holds the writing end now, so the pipe ends with it.
    writer.reset();

    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        r.out.append(buffer, got);
    WaitForSingleObject(processHandle.get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(processHandle.get(), &code);
    r.status = static_cast<int>(code);
    // Text written through the C library's text mode ends its lines with
    // CR LF; the tests compare lines as every system writes them.
    std::string lines;
    for (std::size_t i = 0; i < r.out.size(); ++i)
        if (!(r.out[i] == '\r' && i + 1 < r.out.size() && r.out[i + 1] == '\n')) lines += r.out[i];
    r.out = std::move(lines);
    return r;
}

} // namespace tooltest

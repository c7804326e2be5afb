// Velmora: changes the DNS servers of one network adapter, in a window or
// from the command line.

#include "app/command_line.h"
#include "app/window.h"
#include "platform/system/console.h"

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    using namespace velmora::app;
    namespace mgmt = velmora::management;
    const std::vector<std::string> words = platform::CommandLineArguments(argc, argv);
    const std::vector<std::string_view> args(words.begin(), words.end());
    auto parsed = ParseCommandLine(args);
    // The window needs no console; everything else writes to the one the
    // program was started from (on Windows the program has none of its own).
    const auto* command = std::get_if<CommandLine>(&parsed);
    if (command == nullptr || command->command != CommandLine::Command::Window)
        platform::AttachParentConsole();
    // UTF-8 in and out, whatever the system hands over and shows.
    platform::UseUtf8Console();
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        std::cerr << "velmora: " << error->message << "\nTry 'velmora --help'.\n";
        return kExitUsage;
    }
    const auto& line = std::get<CommandLine>(parsed);
    if (line.command == CommandLine::Command::Help) {
        std::cout << HelpText();
        return kExitSuccess;
    }
    if (line.command == CommandLine::Command::Version) {
        std::cout << VersionText();
        return kExitSuccess;
    }
    auto backend = mgmt::MakeBackend(line.backend);
    // Without a state folder no record can be made, and so no change either;
    // reading and the speed test still work.
    std::filesystem::path folder;
    try {
        folder = mgmt::RecordStore::DefaultFolder();
    } catch (const std::exception&) {
    }
    mgmt::RecordingBackend recording(*backend, mgmt::RecordStore(folder));
    // The real resolver and the real cache: only the program itself, never
    // a test, reaches them.
    mgmt::ResolverCheck check(line.check);
    const auto flusher = mgmt::MakeSystemFlusher();
    ChangeTools tools{&check, flusher.get(), {}};
    if (line.command != CommandLine::Command::Window) {
        recording.SetNoticeSink([](const std::string& text) {
            std::cerr << "velmora: " << text << '\n' << std::flush;
        });
        // The progress line is for people watching, not for a log.
        std::ostream* progress =
            platform::IsTerminal(platform::StandardStream::Error) ? &std::cerr : nullptr;
        return RunCommand(line, recording, std::cout, std::cerr, progress, tools);
    }
    mgmt::ChangeGuardOptions guarding;
    guarding.verify = line.verify;
    guarding.flush = line.flush;
    mgmt::ChangeGuard guard(recording, &check, flusher.get(), guarding);
    return OpenWindow(argc, argv, recording, line.screenshot, &guard, std::cerr);
}

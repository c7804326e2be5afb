// Velmora: changes the DNS servers of one network adapter, in a window or
// from the command line.

#include "app/command_line.h"
#include "app/qt/frm_main_window.h"

#include <iostream>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    using namespace velmora::app;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    auto parsed = ParseCommandLine(args);
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
    auto backend = velmora::management::MakeBackend(line.backend);
    if (line.command != CommandLine::Command::Window) {
        backend->SetNoticeSink([](const std::string& text) {
            std::cerr << "velmora: " << text << '\n' << std::flush;
        });
        return RunCommand(line, *backend, std::cout, std::cerr);
    }
    return RunWindow(argc, argv, *backend);
}

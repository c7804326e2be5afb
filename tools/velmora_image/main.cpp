// velmora-image COMMAND ARGS [options]: loads images the way the image
// control does and reports or converts them.

#include "tool.h"

#include <iostream>
#include <string_view>

namespace {

using namespace velmora_image;

void printHelp(std::ostream& out) {
    out << "usage: velmora-image COMMAND ARGS [options]\n\ncommands:\n";
    for (const Command& c : Commands())
        out << "  " << c.name << ' ' << c.arguments << "\n      " << c.summary << '\n';
    const auto printOption = [&out](const OptionSpec& o) {
        out << "  " << o.name;
        if (!o.valueName.empty()) out << ' ' << o.valueName;
        out << "\n      " << o.help << '\n';
    };
    out << "\noptions:\n";
    for (const OptionSpec& o : OptionTable())
        printOption(o);
    out << "  --help\n      show this text\n";
    for (const OptionGroup& group : OptionGroups()) {
        out << '\n' << group.heading << ":\n";
        for (const OptionSpec& o : group.options)
            printOption(o);
    }
    out << "\noutput formats (by the extension of OUT):\n";
    for (const OutputFormat& f : OutputFormats())
        out << "  " << f.extension << "\n      " << f.description << '\n';
    out << "\nexit status: 0 done, 1 no image, or the output could not be made or written "
           "(e.g. .png with --no-zlib), 2 usage error or damaged input (the reason is "
           "told)\n";
}

int usage(std::string_view message) {
    Complain(message);
    std::cerr << "try 'velmora-image --help'\n";
    return kUsage;
}

const Command* findCommand(std::string_view name) {
    for (const Command& c : Commands())
        if (c.name == name) return &c;
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    const std::span<char* const> words(argv + 1, argc > 0 ? static_cast<std::size_t>(argc - 1) : 0);
    for (const char* w : words) {
        if (std::string_view(w) == "--help" || std::string_view(w) == "-h") {
            printHelp(std::cout);
            return kOk;
        }
    }
    if (words.empty()) return usage("no command given");
    const Command* command = findCommand(words[0]);
    if (!command) return usage("unknown command " + std::string(words[0]));

    Invocation inv;
    inv.command = command->name;
    std::string error;
    if (!ParseArguments(words.subspan(1), inv, error)) return usage(error);
    if (inv.args.size() < command->minArgs || inv.args.size() > command->maxArgs)
        return usage(std::string("usage: velmora-image ") + std::string(command->name) + ' ' +
                     std::string(command->arguments) + " [options]");
    ApplyPlatformOptions(inv.options);
    return command->run(inv);
}

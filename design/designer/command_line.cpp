#include "design/designer/command_line.h"

#include <ostream>
#include <string_view>

namespace velmora::designer {

std::variant<Options, UsageError> ParseCommandLine(std::span<const char* const> words) {
    Options options;
    bool storeGiven = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string_view word = words[i] != nullptr ? words[i] : "";
        if (!optionsEnded && (word == "--help" || word == "-h")) {
            options.help = true;
            continue;
        }
        if (!optionsEnded && word == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && (word == "--screenshot" || word.starts_with("--screenshot="))) {
            std::string_view value;
            if (word == "--screenshot") {
                if (i + 1 >= words.size()) return UsageError{"--screenshot needs a file name"};
                value = words[++i];
            } else {
                value = word.substr(std::string_view("--screenshot=").size());
            }
            if (value.empty()) return UsageError{"--screenshot needs a file name"};
            if (!options.screenshot.empty()) return UsageError{"--screenshot given twice"};
            options.screenshot = value;
            continue;
        }
        if (!optionsEnded && word.size() > 1 && word.front() == '-') {
            std::string reason("unknown option ");
            reason += word;
            return UsageError{reason};
        }
        if (storeGiven) return UsageError{"only one form store can be opened"};
        if (word.empty()) return UsageError{"the form store's name is empty"};
        options.store = word;
        storeGiven = true;
    }
    return options;
}

void PrintHelp(std::ostream& out) {
    out << "Usage: velmora-designer [--screenshot OUT.png] [STORE]\n"
           "\n"
           "Places image controls on a form and sets their properties and images.\n"
           "STORE is a form store (JSON) to open; a file that does not exist yet is\n"
           "a new empty form that Save writes there. Without STORE the form is new.\n"
           "\n"
           "  --screenshot OUT.png  draw the window once into a PNG file and end\n"
           "  -h, --help            show this text\n"
           "\n"
           "Exit status: 0 done, 1 no display to open the window on, 2 bad arguments,\n"
           "a damaged store or a screenshot that could not be written.\n"
           "\n"
           "Keys: Ctrl+N new, Ctrl+O open, Ctrl+S save, Ctrl+Shift+S save as,\n"
           "Ctrl+I add an image control, Delete delete the selection, arrows move it\n"
           "by a pixel, Ctrl+A select all, Ctrl+Z undo.\n";
}

} // namespace velmora::designer

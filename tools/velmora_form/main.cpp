// velmora-form COMMAND STORE ...: creates, shows and changes form stores by
// running the image control itself on the headless host, so what it shows
// and writes is what the control makes of a store.

#include "commands.h"

#include <iostream>
#include <span>
#include <string_view>

int main(int argc, char** argv) {
    using namespace velmora_form;
    const std::span<char* const> words(argv + 1, argc > 0 ? static_cast<std::size_t>(argc - 1) : 0);
    for (const char* w : words) {
        if (std::string_view(w) == "--help" || std::string_view(w) == "-h") {
            PrintHelp(std::cout);
            return kOk;
        }
    }
    if (words.empty()) return Usage("no command given");
    return Run(words);
}

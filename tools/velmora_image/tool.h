#pragma once
// velmora-image: the pieces every command shares. A command is an entry in
// the command table (commands.cpp); options are entries in the option table
// (options.cpp); output formats are entries in the output table
// (output.cpp), chosen by the output file's extension.

#include "drawing_options.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class c32bppDIB;

namespace velmora_image {

enum ExitCode : int {
    kOk = 0,
    kFailure = 1, // the command ran and could not do its work
    kUsage = 2,   // the command line was wrong
    // The input is damaged: cut short, malformed, or a header its data
    // cannot hold (a decompression bomb); the reason goes to standard error.
    // Like a usage error, the fault is in what was given.
    kDamaged = 2,
};

// Which encoder writes PNG output.
enum class PngEncoder {
    Auto,    // the imaging service's, else our own writer (what the surface does)
    Imaging, // the imaging service's only
    Own,     // our own writer only
};

struct Options {
    bool noZlib = false;
    bool noImaging = false;
    PngEncoder pngEncoder = PngEncoder::Auto;
    std::int32_t iconCx = 0;
    std::int32_t iconCy = 0;
    std::int32_t depth = 32;
    // render, the drawing switches and the convert effects
    DrawingOptions drawing;
};

struct Invocation {
    std::string_view command;      // options that belong to other commands are refused
    std::vector<std::string> args; // positional arguments after the command name
    Options options;
};

struct Command {
    std::string_view name;
    std::string_view arguments; // e.g. "FILE"
    std::string_view summary;
    std::size_t minArgs;
    std::size_t maxArgs;
    int (*run)(const Invocation&);
};
std::span<const Command> Commands();

struct OptionSpec {
    std::string_view name;      // with its dashes, e.g. "--icon"
    std::string_view valueName; // empty for a flag
    std::string_view help;
    // False when the value is not acceptable.
    bool (*apply)(Options& options, std::string_view value);
};
std::span<const OptionSpec> OptionTable();

// Splits what follows the command name into positional arguments and
// options; false with a message for an unknown option or a bad value.
bool ParseArguments(std::span<char* const> words, Invocation& out, std::string& error);

// Puts the options that change the platform (which libraries are looked
// for) into force; called before any surface is made.
void ApplyPlatformOptions(const Options& options);

// Loads an image file into the surface as the options ask; with
// keepSource the file's bytes stay with the surface (its original format).
bool LoadInput(const std::string& path, const Options& options, c32bppDIB& surface,
               bool keepSource = false);
// Says that the file gave no image, with the imaging service's reason when
// it refused the file, and answers the exit code: kDamaged when the service
// judged the data damaged, kFailure otherwise.
int NoImage(const std::string& path);

struct OutputFormat {
    std::string_view extension; // with its dot, e.g. ".bgra"
    std::string_view description;
    bool keepsSource; // the input must be loaded with its source bytes kept
    bool (*write)(const c32bppDIB& surface, const Options& options, const std::string& path,
                  std::string& error);
};
std::span<const OutputFormat> OutputFormats();
// The format for an output path, by its extension; null when none fits.
const OutputFormat* FindOutputFormat(const std::string& path);

// Writes the bytes to the file, replacing it whole or not at all (its mode
// kept, a link followed); false with a message.
bool WriteFileBytes(const std::string& path, std::span<const std::uint8_t> bytes,
                    std::string& error);

// Messages for the user, on standard error, prefixed with the program name.
void Complain(std::string_view message);

// --- options of single commands, render, effects -----------------------------
// Options that only some commands take, in groups of their own
// (drawing_options.cpp); --help lists each group under its heading.
struct OptionGroup {
    std::string_view heading;
    std::string_view commands; // the commands that take them, separated by spaces
    std::span<const OptionSpec> options;
};
std::span<const OptionGroup> OptionGroups();
// The grouped option of that name when the command takes it; null with a
// message in error when it belongs to other commands, null with error
// empty when there is no such option at all.
const OptionSpec* FindGroupOption(std::string_view command, std::string_view name,
                                  std::string& error);

// The render command (render_command.cpp).
int RunRender(const Invocation& inv);

// Puts the drawing switches into force on a loaded image.
void ApplySwitches(const SurfaceSwitches& switches, c32bppDIB& surface);
// Puts the switches into force and applies the convert effects the options
// ask for, in their fixed order (effects.cpp); false with a message when
// one could not be made.
bool ApplyEffects(const DrawingOptions& drawing, c32bppDIB& surface, std::string& error);
// --- end of options of single commands, render, effects ----------------------

} // namespace velmora_image

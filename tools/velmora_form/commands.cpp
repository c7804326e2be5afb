#include "commands.h"

#include "control/property_table.h"
#include "form_session.h"
#include "form_view.h"
#include "platform/system/durable_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace velmora_form {
namespace {

using platform::FormControlRecord;
using platform::FormRecord;

using velmora::EqualsNoCase;
using velmora::FindProperty;
using velmora::ParseBoolean;
using velmora::ParseNumber;
using velmora::ParseSingle;
using velmora::Properties;
using velmora::PropertySpec;

struct Extent {
    std::int32_t width = 0;
    std::int32_t height = 0;
};
struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// One step of the pointer input that events replays, in the order given.
struct Action {
    enum Kind { Move, Press, Release, Click, Wait } kind = Move;
    Point at;
    std::optional<std::int64_t> time; // a move's virtual time; a wait's length
};

struct Options {
    std::vector<Action> actions;
    std::optional<std::uint32_t> background; // 0xRRGGBB
    bool design = false;
    std::optional<Extent> size;
    std::optional<Point> at;
    std::optional<Extent> icon;
    std::optional<std::int32_t> depth;
    bool keepOriginal = false;
    bool as2d = false;
    bool rgb = false;
    bool topDown = false;
    bool straight = false;
    bool fileFormat = false;
};

struct Invocation {
    std::string_view command;
    std::vector<std::string> args;
    Options options;
};

// Sizes and places are kept within what a store may hold.
constexpr std::int32_t kMaxExtent = platform::FormStoreLimits{}.maxExtent;

std::optional<std::int32_t> parseInt(std::string_view text) {
    std::int32_t value = 0;
    if (text.empty()) return std::nullopt;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// "A<sep>B" as two numbers.
std::optional<std::pair<std::int32_t, std::int32_t>> parsePair(std::string_view text, char sep) {
    const std::size_t at = text.find(sep);
    if (at == std::string_view::npos) return std::nullopt;
    const auto a = parseInt(text.substr(0, at));
    const auto b = parseInt(text.substr(at + 1));
    if (!a || !b) return std::nullopt;
    return std::pair{*a, *b};
}

bool applySize(Options& o, std::string_view value) {
    const auto pair = parsePair(value, 'x');
    if (!pair || pair->first < 1 || pair->second < 1 || pair->first > kMaxExtent ||
        pair->second > kMaxExtent)
        return false;
    o.size = Extent{pair->first, pair->second};
    return true;
}

std::optional<Point> parsePoint(std::string_view value);

bool applyAt(Options& o, std::string_view value) {
    const auto point = parsePoint(value);
    if (!point) return false;
    o.at = *point;
    return true;
}

bool applyIcon(Options& o, std::string_view value) {
    const auto pair = parsePair(value, 'x');
    if (!pair || pair->first < 0 || pair->second < 0) return false;
    o.icon = Extent{pair->first, pair->second};
    return true;
}

bool applyDepth(Options& o, std::string_view value) {
    const auto depth = parseInt(value);
    if (!depth) return false;
    o.depth = *depth;
    return true;
}

std::optional<Point> parsePoint(std::string_view value) {
    const auto pair = parsePair(value, ',');
    if (!pair || std::abs(pair->first) > kMaxExtent || std::abs(pair->second) > kMaxExtent)
        return std::nullopt;
    return Point{pair->first, pair->second};
}

bool applyMove(Options& o, std::string_view value) {
    Action action;
    const std::size_t at = value.find('@');
    if (at != std::string_view::npos) {
        const auto time = parseInt(value.substr(at + 1));
        if (!time || *time < 0) return false;
        action.time = *time;
        value = value.substr(0, at);
    }
    const auto point = parsePoint(value);
    if (!point) return false;
    action.at = *point;
    o.actions.push_back(action);
    return true;
}

template <Action::Kind kind>
bool applyButton(Options& o, std::string_view value) {
    const auto point = parsePoint(value);
    if (!point) return false;
    o.actions.push_back({kind, *point, std::nullopt});
    return true;
}

bool applyWait(Options& o, std::string_view value) {
    const auto ms = parseInt(value);
    if (!ms || *ms < 0) return false;
    o.actions.push_back({Action::Wait, {}, *ms});
    return true;
}

bool applyBackground(Options& o, std::string_view value) {
    if (!value.empty() && value.front() == '#') value.remove_prefix(1);
    std::uint32_t colour = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), colour, 16);
    if (value.size() != 6 || ec != std::errc() || end != value.data() + value.size()) return false;
    o.background = colour;
    return true;
}

struct OptionSpec {
    std::string_view name;
    std::string_view valueName; // empty for a flag
    std::string_view commands;  // the commands that take it, separated by spaces
    std::string_view help;
    bool (*apply)(Options&, std::string_view);
};

constexpr std::array kOptions{
    OptionSpec{"--size", "WxH", "new add", "the form's or the control's size in pixels", applySize},
    OptionSpec{"--at", "X,Y", "add", "the control's top-left corner in the form", applyAt},
    OptionSpec{"--icon", "WxH", "load",
               "the icon size wanted from an icon or cursor file (default: the control's size)",
               applyIcon},
    OptionSpec{"--depth", "N", "load", "the icon bit depth wanted (default 32)", applyDepth},
    OptionSpec{"--keep-original", "", "load",
               "set KeepOriginalFormat first, so the file's own bytes are stored",
               [](Options& o, std::string_view) { return o.keepOriginal = true; }},
    OptionSpec{"--2d", "", "bytes", "as a two-dimensional array (the same bytes)",
               [](Options& o, std::string_view) { return o.as2d = true; }},
    OptionSpec{"--rgb", "", "bytes", "red, green, blue, alpha instead of blue, green, red, alpha",
               [](Options& o, std::string_view) { return o.rgb = true; }},
    OptionSpec{"--top-down", "", "bytes", "the top row first instead of the bottom row",
               [](Options& o, std::string_view) { return o.topDown = true; }},
    OptionSpec{"--straight", "", "bytes", "colours not premultiplied by alpha",
               [](Options& o, std::string_view) { return o.straight = true; }},
    OptionSpec{"--file-format", "", "bytes",
               "the image as a file: the kept source bytes, else PNG (BMP without an encoder)",
               [](Options& o, std::string_view) { return o.fileFormat = true; }},
    OptionSpec{"--background", "RRGGBB", "render",
               "fill the picture with this colour first (default: transparent)", applyBackground},
    OptionSpec{"--design", "", "render",
               "paint as on a form being edited: controls without an image show the "
               "checkerboard placeholder (default: as the running program shows them)",
               [](Options& o, std::string_view) { return o.design = true; }},
    OptionSpec{"--move", "X,Y[@MS]", "events",
               "the pointer moves to X,Y of the form (at virtual time MS, counted from 0; "
               "timers falling due before then run first)",
               applyMove},
    OptionSpec{"--press", "X,Y", "events", "the left button goes down at X,Y",
               applyButton<Action::Press>},
    OptionSpec{"--release", "X,Y", "events",
               "the left button comes up at X,Y (a Click when it went down on the same control)",
               applyButton<Action::Release>},
    OptionSpec{"--click", "X,Y", "events", "--press X,Y then --release X,Y",
               applyButton<Action::Click>},
    OptionSpec{"--wait", "MS", "events", "virtual time passes (the tracking timer ticks)",
               applyWait},
};

bool takes(const OptionSpec& option, std::string_view command) {
    std::string_view list = option.commands;
    while (!list.empty()) {
        const std::size_t space = list.find(' ');
        if (list.substr(0, space) == command) return true;
        if (space == std::string_view::npos) break;
        list.remove_prefix(space + 1);
    }
    return false;
}

void complain(std::string_view message) {
    std::cerr << "velmora-form: " << message << '\n';
}

// --- reading and writing the store ---------------------------------------------------

std::optional<FormRecord> readStore(const std::string& path) {
    platform::FormStoreResult result = platform::ReadFormStore(path);
    if (!result) {
        complain(result.error);
        return std::nullopt;
    }
    return std::move(*result.form);
}

// The exit status: a change the store cannot hold is refused before the file
// is touched, as a bad argument is.
int writeStore(const std::string& path, const FormRecord& form) {
    if (const std::string problem = platform::CheckFormRecord(form); !problem.empty()) {
        complain(path + ": not saved: " + problem);
        return kUsage;
    }
    std::string error;
    if (platform::WriteFormStore(path, form, error)) return kOk;
    complain(error);
    return kFailure;
}

bool writeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    const platform::DurableWriteResult written = platform::WriteFileDurably(path, bytes);
    if (written) return true;
    complain("cannot write " + path + ": " + written.error);
    return false;
}

// The store brought to life in the session, and its image control of that
// name; null with a message when the store is damaged or has no such
// control.
FormSession::Control* openControl(const std::string& store, const std::string& name,
                                  FormSession& session) {
    auto form = readStore(store);
    if (!form) return nullptr;
    session.Open(std::move(*form));
    FormSession::Control* control = session.Find(name);
    if (control == nullptr) complain("no image control named " + name);
    return control;
}

// --- the commands ------------------------------------------------------------------------

int runNew(const Invocation& inv) {
    if (!inv.options.size) return Usage("new needs --size WxH");
    FormRecord form;
    form.width = inv.options.size->width;
    form.height = inv.options.size->height;
    return writeStore(inv.args[0], form);
}

int runAdd(const Invocation& inv) {
    if (!inv.options.size || !inv.options.at) return Usage("add needs --at X,Y and --size WxH");
    const std::string& name = inv.args[1];
    if (name.empty()) return Usage("a control needs a name");
    auto form = readStore(inv.args[0]);
    if (!form) return kUsage;
    if (form->find(name) != nullptr) return Usage("the form already has a control named " + name);

    FormControlRecord record;
    record.type = aicAlphaImage::kTypeName;
    record.name = name;
    record.left = inv.options.at->x;
    record.top = inv.options.at->y;
    record.width = inv.options.size->width;
    record.height = inv.options.size->height;
    form->controls.push_back(std::move(record));
    const FormControlRecord fresh = form->controls.back();

    FormSession session;
    session.Open(std::move(*form), &fresh);
    session.Save(*session.Find(name));
    return writeStore(inv.args[0], session.Form());
}

int runShow(const Invocation& inv) {
    auto form = readStore(inv.args[0]);
    if (!form) return kUsage;
    FormSession session;
    session.Open(std::move(*form));
    std::vector<FormSession::Control*> shown;
    if (inv.args.size() > 1) {
        FormSession::Control* control = session.Find(inv.args[1]);
        if (control == nullptr) {
            complain("no image control named " + inv.args[1]);
            return kUsage;
        }
        shown.push_back(control);
    } else {
        for (FormSession::Control& control : session.Controls())
            shown.push_back(&control);
    }
    for (const FormSession::Control* control : shown)
        for (const PropertySpec& property : Properties())
            std::cout << control->record->name << '.' << property.name << " = "
                      << property.show(*control->control) << '\n';
    return kOk;
}

int runSet(const Invocation& inv) {
    // Every assignment is checked before the store is touched.
    std::vector<std::pair<const PropertySpec*, std::string>> assignments;
    for (std::size_t i = 2; i < inv.args.size(); ++i) {
        const std::string& word = inv.args[i];
        const std::size_t equals = word.find('=');
        if (equals == std::string::npos) return Usage("not Property=Value: " + word);
        const PropertySpec* property = FindProperty(std::string_view(word).substr(0, equals));
        if (property == nullptr) return Usage("no property " + word.substr(0, equals));
        if (property->readOnly()) return Usage(std::string(property->name) + " is read-only");
        assignments.emplace_back(property, word.substr(equals + 1));
    }
    FormSession session;
    FormSession::Control* control = openControl(inv.args[0], inv.args[1], session);
    if (control == nullptr) return kUsage;
    for (const auto& [property, value] : assignments) {
        std::string error;
        if (!property->set(*control->control, value, error))
            return Usage(std::string(property->name) + ": " + error);
    }
    session.Save(*control);
    return writeStore(inv.args[0], session.Form());
}

int runLoad(const Invocation& inv) {
    FormSession session;
    FormSession::Control* control = openControl(inv.args[0], inv.args[1], session);
    if (control == nullptr) return kUsage;
    if (inv.options.keepOriginal) control->control->KeepOriginalFormat(true);
    std::int32_t width = inv.options.icon ? inv.options.icon->width : 0;
    std::int32_t height = inv.options.icon ? inv.options.icon->height : 0;
    std::int32_t depth = inv.options.depth.value_or(0);
    if (!control->control->LoadImage_FromFile(inv.args[2], width, height, depth)) {
        complain("LoadImage_FromFile answered False for " + inv.args[2]);
        return kFailure;
    }
    session.Save(*control);
    return writeStore(inv.args[0], session.Form());
}

int runBytes(const Invocation& inv) {
    FormSession session;
    FormSession::Control* control = openControl(inv.args[0], inv.args[1], session);
    if (control == nullptr) return kUsage;
    std::vector<std::uint8_t> bytes;
    std::int32_t scanWidth = 0;
    const Options& o = inv.options;
    if (!control->control->GetImageBytes(bytes, scanWidth, o.as2d, !o.rgb, !o.topDown, !o.straight,
                                         o.fileFormat)) {
        complain("GetImageBytes answered False (no image)");
        return kFailure;
    }
    return writeFile(inv.args[2], bytes) ? kOk : kFailure;
}

int runFade(const Invocation& inv) {
    const auto finalOpacity = parseInt(inv.args[2]);
    const auto step = parseInt(inv.args[3]);
    const auto delay = parseInt(inv.args[4]);
    if (!finalOpacity || !step || !delay) return Usage("FINAL, STEP and DELAY are whole numbers");
    FormSession session;
    FormSession::Control* control = openControl(inv.args[0], inv.args[1], session);
    if (control == nullptr) return kUsage;

    platform::HeadlessHost& host = session.Host();
    aicAlphaImage& image = *control->control;
    const std::string& name = control->record->name;
    const std::uint64_t start = host.now();
    control->site->onChange = [&](const std::string& changed) {
        if (changed == "Opacity")
            std::cout << host.now() - start << ' ' << name << ".Opacity = " << image.Opacity()
                      << '\n';
    };
    control->site->onEvent = [&](const std::string& event, std::span<platform::EventArg> args) {
        if (event == "FadeTerminated" && !args.empty())
            std::cout << host.now() - start << ' ' << name << ".FadeTerminated "
                      << std::get<std::int32_t>(args[0]) << '\n';
    };
    image.FadeInOut(*finalOpacity, *step, *delay);
    // Every tick is one delay after the one before; a fade has at most a
    // hundred of them.
    const std::uint64_t period = static_cast<std::uint64_t>(std::max(*delay, 10));
    while (image.isFading())
        host.advance(period);
    return kOk;
}

int runRender(const Invocation& inv) {
    auto form = readStore(inv.args[0]);
    if (!form) return kUsage;
    FormSession session;
    session.Open(std::move(*form), nullptr, !inv.options.design);
    c32bppDIB canvas;
    if (!canvas.InitializeDIB(session.Form().width, session.Form().height)) {
        complain("cannot make a picture of the form's size");
        return kFailure;
    }
    if (inv.options.background) {
        // Opaque, blue, green, red as the surface holds them.
        const std::uint32_t rgb = *inv.options.background;
        const std::array<std::uint8_t, 4> pixel{static_cast<std::uint8_t>(rgb),
                                                static_cast<std::uint8_t>(rgb >> 8),
                                                static_cast<std::uint8_t>(rgb >> 16), 0xFF};
        const std::span<std::uint8_t> bytes = canvas.pixels();
        for (std::size_t i = 0; i < bytes.size(); i += 4)
            std::copy(pixel.begin(), pixel.end(), bytes.begin() + static_cast<std::ptrdiff_t>(i));
    }
    PaintForm(session, canvas);
    canvas.Alpha(true);
    std::vector<std::uint8_t> png;
    if (!canvas.SaveToStream_PNG(png)) {
        complain("the picture could not be encoded as PNG");
        return kFailure;
    }
    return writeFile(inv.args[1], png) ? kOk : kFailure;
}

int runHit(const Invocation& inv) {
    const auto point = parsePoint(inv.args[1]);
    if (!point) return Usage("X,Y are two whole numbers: " + inv.args[1]);
    auto form = readStore(inv.args[0]);
    if (!form) return kUsage;
    FormSession session;
    session.Open(std::move(*form), nullptr, true);
    int answer = 0;
    const FormSession::Control* control = ControlAt(session, point->x, point->y, answer);
    if (control == nullptr) {
        std::cout << "none\n";
        return kFailure;
    }
    std::cout << control->record->name << ' ' << answer << '\n';
    return kOk;
}

int runEvents(const Invocation& inv) {
    if (inv.options.actions.empty())
        return Usage("events needs pointer input (--move, --click...)");
    auto form = readStore(inv.args[0]);
    if (!form) return kUsage;
    FormSession session;
    session.Open(std::move(*form), nullptr, true);
    PointerReplay replay(session, [](const std::string& line) { std::cout << line << '\n'; });
    for (const Action& action : inv.options.actions) {
        switch (action.kind) {
        case Action::Move:
            if (action.time) {
                if (static_cast<std::uint64_t>(*action.time) < replay.elapsed())
                    return Usage("--move @" + std::to_string(*action.time) +
                                 " lies before the virtual time already reached (" +
                                 std::to_string(replay.elapsed()) + ")");
                replay.advanceTo(static_cast<std::uint64_t>(*action.time));
            }
            replay.move(action.at.x, action.at.y);
            break;
        case Action::Press:
            replay.press(action.at.x, action.at.y);
            break;
        case Action::Release:
            replay.release(action.at.x, action.at.y);
            break;
        case Action::Click:
            replay.press(action.at.x, action.at.y);
            replay.release(action.at.x, action.at.y);
            break;
        case Action::Wait:
            replay.wait(static_cast<std::uint64_t>(*action.time));
            break;
        }
    }
    return kOk;
}

struct Command {
    std::string_view name;
    std::string_view arguments;
    std::string_view summary;
    std::size_t minArgs;
    std::size_t maxArgs;
    int (*run)(const Invocation&);
};

constexpr std::size_t kMany = 1000000;

constexpr std::array kCommands{
    Command{"new", "STORE --size WxH", "write an empty form of that size to STORE", 1, 1, runNew},
    Command{"add", "STORE NAME --at X,Y --size WxH",
            "add an image control with a new control's values", 2, 2, runAdd},
    Command{"show", "STORE [NAME]",
            "print every image control's (or NAME's) properties as restored, one "
            "'NAME.Property = value' line each",
            1, 2, runShow},
    Command{"set", "STORE NAME Property=Value ...",
            "set properties through the control's setters (values out of range are ignored as "
            "the control ignores them; MouseIcon takes a file) and save",
            3, kMany, runSet},
    Command{"load", "STORE NAME IMAGEFILE", "load IMAGEFILE with LoadImage_FromFile and save", 3, 3,
            runLoad},
    Command{"bytes", "STORE NAME OUT", "write GetImageBytes's array to OUT", 3, 3, runBytes},
    Command{"fade", "STORE NAME FINAL STEP DELAY",
            "run FadeInOut on virtual time: 'MS NAME.Opacity = N' for every step, then "
            "'MS NAME.FadeTerminated N' (the store is not changed)",
            5, 5, runFade},
    Command{"render", "STORE OUT.png",
            "paint the whole form through the controls' own painting, in the form's order "
            "(later controls over earlier ones), each cut to its rectangle and its picture box",
            2, 2, runRender},
    Command{"hit", "STORE X,Y",
            "print 'NAME 3' for the control that takes the form's point X,Y (asking the topmost, "
            "the last in the form's order, first) or 'none' (exit status 1)",
            2, 2, runHit},
    Command{"events", "STORE INPUT...",
            "replay pointer input (--move, --press, --release, --click, --wait, in the order "
            "given) on virtual time and print every event raised as 'MS NAME.Event ARGS'; time "
            "stops at the last input, so end with --wait to see the tracking timer's MouseExit",
            1, 1, runEvents},
};

bool parseArguments(std::span<char* const> words, Invocation& inv, std::string& error) {
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string_view word = words[i];
        if (word.size() < 3 || word.substr(0, 2) != "--") {
            inv.args.emplace_back(word);
            continue;
        }
        const OptionSpec* found = nullptr;
        for (const OptionSpec& option : kOptions)
            if (option.name == word) found = &option;
        if (found == nullptr) {
            error = "unknown option " + std::string(word);
            return false;
        }
        if (!takes(*found, inv.command)) {
            error = std::string(word) + " does not belong to " + std::string(inv.command);
            return false;
        }
        std::string_view value;
        if (!found->valueName.empty()) {
            if (i + 1 >= words.size()) {
                error = std::string(word) + " needs " + std::string(found->valueName);
                return false;
            }
            value = words[++i];
        }
        if (!found->apply(inv.options, value)) {
            error = "bad value for " + std::string(word) + ": " + std::string(value);
            return false;
        }
    }
    return true;
}

} // namespace

void PrintHelp(std::ostream& out) {
    out << "usage: velmora-form COMMAND STORE ... [options]\n\n"
           "A form store is a form's saved layout: its size and, per control, its type, name,\n"
           "place, size and persisted properties. The image controls are restored and saved\n"
           "by the control itself, at design time, on a window host without a screen;\n"
           "render (without --design), hit and events run them as the program does. Points\n"
           "are in pixels of the form; a control in a picture box is placed in its pixels.\n\n"
           "commands:\n";
    for (const Command& c : kCommands)
        out << "  " << c.name << ' ' << c.arguments << "\n      " << c.summary << '\n';
    out << "\noptions:\n";
    for (const OptionSpec& o : kOptions) {
        out << "  " << o.name;
        if (!o.valueName.empty()) out << ' ' << o.valueName;
        out << "  (" << o.commands << ")\n      " << o.help << '\n';
    }
    out << "  --help\n      show this text\n\nproperties, in the order show prints them:\n ";
    for (const PropertySpec& p : Properties())
        out << ' ' << p.name << (p.readOnly() ? " (read-only)" : "");
    out << "\n\nexit status: 0 done, 1 the operation answered False (or the store could not be "
           "written), 2 bad arguments, a damaged store or a change the store cannot hold (the "
           "reason on "
           "standard error)\n";
}

int Usage(std::string_view message) {
    complain(message);
    std::cerr << "try 'velmora-form --help'\n";
    return kUsage;
}

int Run(std::span<char* const> words) {
    const std::string_view name = words[0];
    const Command* command = nullptr;
    for (const Command& c : kCommands)
        if (c.name == name) command = &c;
    if (command == nullptr) return Usage("unknown command " + std::string(name));
    Invocation inv;
    inv.command = command->name;
    std::string error;
    if (!parseArguments(words.subspan(1), inv, error)) return Usage(error);
    if (inv.args.size() < command->minArgs || inv.args.size() > command->maxArgs)
        return Usage("usage: velmora-form " + std::string(command->name) + ' ' +
                     std::string(command->arguments));
    return command->run(inv);
}

} // namespace velmora_form

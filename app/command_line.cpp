#include "app/command_line.h"

#include "app/frm_main.h"
#include "app/messages.h"

#include <charconv>
#include <exception>
#include <ostream>
#include <stdexcept>
#include <vector>

namespace velmora::app {

namespace {

std::optional<std::int32_t> ParseIndex(std::string_view text) {
    std::int32_t value = 0;
    if (text.empty() || text.front() == '+') return std::nullopt;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The window's controls kept in memory; messages go out as they are shown,
// one per line.
class ConsoleView final : public FrmMainView {
public:
    ConsoleView(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    int AddAdapter(const std::string& text, std::int32_t itemData) override {
        entries_.push_back({text, itemData});
        return static_cast<int>(entries_.size()) - 1;
    }
    int AdapterCount() const override { return static_cast<int>(entries_.size()); }
    int SelectedAdapter() const override { return selected_; }
    void SelectAdapter(int position) override {
        if (position < -1 || position >= AdapterCount()) throw std::out_of_range("no such entry");
        selected_ = position;
    }
    std::int32_t AdapterItemData(int position) const override {
        return entries_.at(static_cast<std::size_t>(position)).itemData;
    }
    std::string AdapterListText() const override {
        return selected_ < 0 ? std::string{} : entries_[static_cast<std::size_t>(selected_)].text;
    }
    void FocusAdapterList() override {}

    std::string Text(TextBox box) const override { return box == TextBox::Text4 ? text4_ : text5_; }
    void SetText(TextBox box, const std::string& text) override {
        (box == TextBox::Text4 ? text4_ : text5_) = text;
    }
    void SetCaption(Label label, const std::string& caption) override {
        (label == Label::Label10 ? label10_ : label11_) = caption;
    }

    // Results go to standard output, failures to standard error.
    void ShowMessage(const std::string& text) override {
        const bool failure = text != text::kDone && text != text::kRebootRequired;
        (failure ? err_ : out_) << text << '\n' << std::flush;
        lastMessage_ = text;
    }
    void DoEvents() override {}
    void Unload() override {}

    struct Entry {
        std::string text;
        std::int32_t itemData;
    };
    const std::vector<Entry>& entries() const { return entries_; }
    int Find(std::int32_t index) const {
        for (std::size_t i = 0; i < entries_.size(); ++i)
            if (entries_[i].itemData == index) return static_cast<int>(i);
        return -1;
    }
    const std::string& label10() const { return label10_; }
    const std::string& label11() const { return label11_; }
    const std::string& lastMessage() const { return lastMessage_; }

private:
    std::ostream& out_;
    std::ostream& err_;
    std::vector<Entry> entries_;
    int selected_ = -1;
    std::string text4_{text::kGoogleFirst};
    std::string text5_{text::kGoogleSecond};
    std::string label10_{text::kPlaceholder};
    std::string label11_{text::kPlaceholder};
    std::string lastMessage_;
};

} // namespace

std::variant<CommandLine, UsageError> ParseCommandLine(std::span<const std::string_view> args) {
    CommandLine line;
    std::vector<std::string_view> words;
    for (std::string_view arg : args) {
        if (arg == "--help" || arg == "-h") {
            line.command = CommandLine::Command::Help;
            return line;
        }
        if (arg == "--version") {
            line.command = CommandLine::Command::Version;
            return line;
        }
        if (arg.starts_with("--backend=")) {
            auto choice = management::ParseBackendChoice(arg.substr(10));
            if (!choice) return UsageError{"unknown backend: " + std::string{arg.substr(10)}};
            line.backend = *choice;
        } else if (arg.starts_with("-") && words.empty()) {
            return UsageError{"unknown option: " + std::string{arg}};
        } else {
            words.push_back(arg);
        }
    }
    if (words.empty()) return line;

    const std::string_view command = words.front();
    const std::size_t operands = words.size() - 1;
    auto expect = [&](std::size_t count) -> std::optional<UsageError> {
        if (operands != count)
            return UsageError{std::string{command} + " takes " + std::to_string(count) +
                              (count == 1 ? " argument" : " arguments")};
        return std::nullopt;
    };
    if (command == "list") {
        if (auto error = expect(0)) return *error;
        line.command = CommandLine::Command::List;
        return line;
    }
    if (command == "show" || command == "dhcp" || command == "set") {
        const bool set = command == "set";
        if (auto error = expect(set ? 3 : 1)) return *error;
        auto index = ParseIndex(words[1]);
        if (!index) return UsageError{"not an adapter index: " + std::string{words[1]}};
        line.index = *index;
        if (set) {
            line.command = CommandLine::Command::Set;
            line.first = words[2];
            line.second = words[3];
        } else {
            line.command =
                command == "show" ? CommandLine::Command::Show : CommandLine::Command::Dhcp;
        }
        return line;
    }
    return UsageError{"unknown command: " + std::string{command}};
}

std::string HelpText() {
    return R"(Usage: velmora [--backend=BACKEND] [COMMAND]

Changes the DNS servers of one network adapter. Without a command it opens
the window (this needs a display).

Commands:
  list                 one line per IP-enabled adapter: INDEX<TAB>DESCRIPTION
  show INDEX           the adapter's first two DNS servers, one per line
                       ("0.0.0.0" where there is none)
  set INDEX DNS1 DNS2  makes DNS1 and DNS2 the adapter's static DNS servers;
                       "0.0.0.0" leaves a position out
  dhcp INDEX           puts the adapter back on DHCP-supplied settings

set and dhcp print every message the window would show, one per line:
"Done!" and "A reboot is required." on standard output, the others on
standard error.

Exit status:
  0  done ("Done!", or the list or servers asked for)
  1  the component answered no (an error message, an unknown index)
  2  bad arguments
  3  the backend cannot be reached (the cause is on standard error)

NetworkManager keeps separate IPv4 and IPv6 DNS settings. set changes the
servers of each family it is given and ignores the DNS servers DHCP (and,
for IPv6, router advertisements) offer for that family; a family it is not
given keeps its settings, so IPv6 servers learned automatically still apply
after a set with IPv4 servers only. dhcp drops the static servers of both
families and puts IPv4 back on DHCP without static addresses or gateway.
show lists the servers in use, IPv4's first.

Options:
  --help      this text
  --version   the program's version

Backends:
  --backend=networkmanager   NetworkManager on the system bus (the default);
                             changes need the rights to change connection
                             profiles, usually root or an admin session
  --backend=simulated        a sample of three adapters kept in
                             $XDG_STATE_HOME/velmora (or ~/.local/state/velmora)
  --backend=simulated:FILE   the adapters of a JSON state file
)";
}

std::string VersionText() {
    return "velmora " VELMORA_VERSION "\n";
}

int RunCommand(const CommandLine& line, management::Backend& backend, std::ostream& out,
               std::ostream& err) {
    // The window would show an unreachable component as an empty list; here
    // it is said as it is.
    try {
        backend.Connect(management::ConnectionString(management::kLocalComputer));
    } catch (const std::exception& error) {
        err << "velmora: backend unavailable: " << error.what() << '\n';
        return kExitBackendUnavailable;
    }
    ConsoleView view(out, err);
    FrmMain form(view, backend);
    form.Form_Load();

    if (line.command == CommandLine::Command::List) {
        for (const auto& entry : view.entries())
            out << entry.itemData << '\t' << entry.text << '\n';
        return kExitSuccess;
    }

    // Choose the adapter as a user would; an index that is not listed leaves
    // nothing chosen (even where start-up chose the only adapter).
    const int position = view.Find(line.index);
    view.SelectAdapter(position);
    if (position >= 0) form.Combo1_Click();

    switch (line.command) {
    case CommandLine::Command::Show:
        if (position < 0) {
            err << "velmora: no IP-enabled adapter has index " << line.index << '\n';
            return kExitFailure;
        }
        out << view.label10() << '\n' << view.label11() << '\n';
        return kExitSuccess;
    case CommandLine::Command::Set:
        view.SetText(TextBox::Text4, line.first);
        view.SetText(TextBox::Text5, line.second);
        form.Command9_Click();
        break;
    case CommandLine::Command::Dhcp:
        form.Command10_Click();
        break;
    default:
        throw std::logic_error("RunCommand: not a console command");
    }
    return view.lastMessage() == text::kDone ? kExitSuccess : kExitFailure;
}

} // namespace velmora::app

// xsihost --help-all: the help of every subcommand in one text, laid out the
// way help2man reads a program's help (the manual page is made from it): the
// program's options, the list of subcommands, then one section per
// subcommand (and per subcommand of a subcommand), headed by its usage, with
// one line per argument and option.
#include "Output.h"
#include "Subcommands.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace xsihost {

namespace {

constexpr size_t kDescriptionColumn = 30;

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// What an option's value is called: its own text, else its type's name
// without the kind of value a check adds before it ("FLOAT:RATE" reads
// RATE, "A:B" stays).
std::string ValueName(const CLI::Option& option) {
    if (!option.get_option_text().empty()) {
        return option.get_option_text();
    }
    const std::string type = option.get_type_name();
    for (const char* kind : {"TEXT:", "FLOAT:", "INT:", "UINT:", "NUMBER:"}) {
        if (type.rfind(kind, 0) == 0) {
            return type.substr(std::string(kind).size());
        }
    }
    return type;
}

// A positional argument in a usage line: in brackets when it may be left out.
std::string UsageWord(const CLI::Option& option) {
    const std::string word =
        Upper(option.get_name()) + (option.get_expected_max() > 1 ? " ..." : "");
    return option.get_required() ? word : "[" + word + "]";
}

std::string Names(const std::set<CLI::Option*>& options) {
    std::string names;
    for (const CLI::Option* option : options) {
        names += (names.empty() ? "" : ", ") + option->get_name();
    }
    return names;
}

std::string Entry(const std::string& label, const std::string& description) {
    std::string line = "  " + label;
    if (line.size() + 2 > kDescriptionColumn) {
        line += "\n" + std::string(kDescriptionColumn, ' ');
    } else {
        line += std::string(kDescriptionColumn - line.size(), ' ');
    }
    return line + description + "\n";
}

std::string OptionEntry(const CLI::Option& option) {
    std::string label;
    if (option.get_positional()) {
        label = Upper(option.get_name());
        if (option.get_expected_max() > 1) {
            label += " ...";
        }
    } else {
        label = option.get_name(false, true);
        if (option.get_type_size() != 0) {
            label += " " + ValueName(option);
        }
    }
    std::string description = option.get_description();
    if (option.get_required() && !option.get_positional()) {
        description += " (required)";
    }
    if (!option.get_needs().empty()) {
        description += " (with " + Names(option.get_needs()) + ")";
    }
    if (!option.get_excludes().empty()) {
        description += " (not with " + Names(option.get_excludes()) + ")";
    }
    return Entry(label, description);
}

// One subcommand's section, headed by its usage, then those of its own
// subcommands.
std::string Section(const CLI::App& sub, const std::string& path) {
    std::string usage = path + " [OPTIONS]";
    std::string entries;
    for (const CLI::Option* option : sub.get_options()) {
        if (option == sub.get_help_ptr()) {
            continue;
        }
        if (option->get_positional()) {
            usage += " " + UsageWord(*option);
        }
        entries += OptionEntry(*option);
    }
    const std::vector<const CLI::App*> subcommands = sub.get_subcommands({});
    if (!subcommands.empty()) {
        usage += " SUBCOMMAND";
        for (const CLI::App* inner : subcommands) {
            entries += Entry(inner->get_name(), inner->get_description());
        }
    }
    std::string text = "\n" + usage + ":\n" + entries;
    for (const CLI::App* inner : subcommands) {
        text += Section(*inner, path + " " + inner->get_name());
    }
    return text;
}

std::string FullHelp(const CLI::App& app) {
    std::string text = app.get_description() + "\nUsage: " + app.get_name() +
                       " [OPTIONS] SUBCOMMAND [OPTIONS] [ARGUMENTS]\n\nOptions:\n";
    for (const CLI::Option* option : app.get_options()) {
        text += OptionEntry(*option);
    }
    const std::vector<const CLI::App*> subcommands = app.get_subcommands({});
    text += "\nSubcommands:\n";
    for (const CLI::App* sub : subcommands) {
        text += Entry(sub->get_name(), sub->get_description());
    }
    for (const CLI::App* sub : subcommands) {
        text += Section(*sub, app.get_name() + " " + sub->get_name());
    }
    return text + "\n" + app.get_footer() + "\n";
}

} // namespace

void AddFullHelpFlag(CLI::App& app) {
    app.add_flag_callback(
        "--help-all",
        [&app] {
            Print(FullHelp(app));
            if (!FinishOutput()) {
                std::exit(kExitCommandFailed); // said on stderr already
            }
            throw CLI::Success();
        },
        "Print the help of every subcommand and exit");
}

} // namespace xsihost

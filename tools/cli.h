// The tools' command lines: each tool declares its commands and options once on a CLI::App, and
// that declaration both parses the arguments and prints the help.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "platform/input_text.h"

namespace cli {

// Bad input, on the command line or in what a command reads: one line on standard error.
constexpr int ExitBadInput = 2;

// A bad word shown on one printable line, whatever bytes the argument held.
inline std::string Shown(std::string_view text) {
    return ShownInput(text, 64, TShownBytes::Ascii);
}

// A file name on one line.
using ::ShownPath;

// A parser's message on one printable line: the arguments it quotes can hold any bytes.
inline std::string OneLine(std::string_view message) {
    std::string line = ShownInput(message, 240, TShownBytes::Ascii);
    while (!line.empty() && (line.back() == '?' || line.back() == ' ')) line.pop_back();
    return line;
}

// A plain decimal number within lo..hi (no sign but '-', no hex, no exponent), at most 18
// characters so that it always fits; anything else is a ValidationError naming label.
inline int64_t ReadNumber(std::string_view text, const std::string& label, int64_t lo, int64_t hi) {
    int64_t value = 0;
    if (text.size() > 18 || ParseDecimal(text, value) != TDecimal::Ok || value < lo || value > hi)
        throw CLI::ValidationError(label + " must be a number from " + std::to_string(lo) + " to " +
                                   std::to_string(hi) + " (got '" + Shown(text) + "')");
    return value;
}

// A number argument: form is "NAME" for a required positional, or "--option NAME" for an option
// taking a value. The range is added to the help text.
template <class T>
CLI::Option* AddNumber(CLI::App& app, const std::string& form, T& value, int64_t lo, int64_t hi,
                       const std::string& help) {
    const std::size_t space = form.find(' ');
    const std::string name = form.substr(0, space);
    const std::string label = space == std::string::npos ? form : form.substr(space + 1);
    CLI::Option* option = app.add_option_function<std::string>(
        name,
        [&value, label, lo, hi](const std::string& text) {
            value = static_cast<T>(ReadNumber(text, label, lo, hi));
        },
        help + " (" + std::to_string(lo) + "-" + std::to_string(hi) + ")");
    if (name[0] == '-') {
        option->type_name(label);
    } else {
        option->type_name("")->required(); // a positional's name is its label
    }
    return option;
}

// Call before adding commands. An app with the help's wording of the tools: lower-case labels, a
// wide first column.
inline void Setup(CLI::App& app) {
    auto format = std::make_shared<CLI::Formatter>();
    format->label("Usage", "usage");
    format->label("Positionals", "arguments");
    format->label("SUBCOMMAND", "COMMAND");
    format->column_width(30);
    app.formatter(format); // commands added later share it
    app.option_defaults()->group("options");
    app.set_help_flag("-h,--help", "show this text and exit");
    // Options start with '-' everywhere: on Windows, "/x" is a path, as the build and the
    // tests pass them, not an option.
    app.allow_windows_style_options(false);
}

// A command of a tool, listed under "commands" in the help.
inline CLI::App* AddCommand(CLI::App& app, const std::string& name, const std::string& help) {
    CLI::App* command = app.add_subcommand(name, help);
    command->group("commands");
    command->set_help_flag("-h,--help", "show this text and exit");
    return command;
}

// Parses the command line. Returns -1 when a command is to run; otherwise the exit status, the
// help or the one-line error having been printed.
inline int Parse(CLI::App& app, int argc, const char* const* argv) {
    try {
        // CLI11 would call a mistyped command a missing one.
        if (argc >= 2 && argv[1][0] != '-' && !app.get_subcommands({}).empty()) {
            bool known = false;
            for (const CLI::App* command : app.get_subcommands({}))
                known = known || command->check_name(argv[1]);
            if (!known) throw CLI::ParseError("unknown command '" + Shown(argv[1]) + "'", 2);
        }
        app.parse(argc, argv);
        return -1;
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout); // the help of the command named, if any
        return 0;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "error: %s (try %s --help)\n", OneLine(e.what()).c_str(),
                     app.get_name().c_str());
        return ExitBadInput;
    }
}

} // namespace cli

// The command lines of the tools, the server and the bench: each program declares its commands
// and options once on a CLI::App, and that declaration both parses the arguments and prints the
// help. Numbers are read strictly, and every program ends with the same exit statuses.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/input_text.h"

namespace cli {

// ---- Exit statuses ----

// The program could not do what it was asked (a file it cannot write, a server that cannot
// start): one line on standard error.
constexpr int ExitFailure = 1;
// Bad input, on the command line or in what a command reads: one line on standard error.
constexpr int ExitBadInput = 2;

// ---- Bad input on one line ----

// A bad word shown on one printable line, whatever bytes the argument held.
std::string Shown(std::string_view text);

// A file name on one line.
using ::ShownPath;

// A parser's message on one printable line: the arguments it quotes can hold any bytes.
std::string OneLine(std::string_view message);

// ---- Numbers ----

// A plain decimal number within lo..hi (no sign but '-', no hex, no exponent), at most 18
// characters so that it always fits; anything else is a ValidationError naming label.
int64_t ReadNumber(std::string_view text, const std::string& label, int64_t lo, int64_t hi);

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

// ---- The command line's set-up ----

// Call before adding commands. An app with the help's wording of the tools: lower-case labels, a
// wide first column.
void Setup(CLI::App& app);

// A command of a tool, listed under "commands" in the help.
CLI::App* AddCommand(CLI::App& app, const std::string& name, const std::string& help);

// Parses the command line. Returns -1 when a command is to run; otherwise the exit status, the
// help or the one-line error having been printed.
int Parse(CLI::App& app, int argc, const char* const* argv);

} // namespace cli

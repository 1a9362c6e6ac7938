// The command lines' shared part: the help's wording, strict numbers, one-line errors.
#include "common/cli.h"

#include <cstdio>
#include <memory>

namespace cli {

std::string Shown(std::string_view text) {
    return ShownInput(text, 64, TShownBytes::Ascii);
}

std::string OneLine(std::string_view message) {
    std::string line = ShownInput(message, 240, TShownBytes::Ascii);
    while (!line.empty() && (line.back() == '?' || line.back() == ' ')) line.pop_back();
    return line;
}

int64_t ReadNumber(std::string_view text, const std::string& label, int64_t lo, int64_t hi) {
    int64_t value = 0;
    if (text.size() > 18 || ParseDecimal(text, value) != TDecimal::Ok || value < lo || value > hi)
        throw CLI::ValidationError(label + " must be a number from " + std::to_string(lo) + " to " +
                                   std::to_string(hi) + " (got '" + Shown(text) + "')");
    return value;
}

void Setup(CLI::App& app) {
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

CLI::App* AddCommand(CLI::App& app, const std::string& name, const std::string& help) {
    CLI::App* command = app.add_subcommand(name, help);
    command->group("commands");
    command->set_help_flag("-h,--help", "show this text and exit");
    return command;
}

int Parse(CLI::App& app, int argc, const char* const* argv) {
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

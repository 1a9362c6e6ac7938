// The command lines' library: numbers read strictly, and what a parse comes to (a command to
// run, the help, bad input) as the programs' exit statuses.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/cli.h"

namespace {

TEST(Cli, ReadsPlainDecimalsWithinTheirRange) {
    const struct {
        const char* text;
        bool ok;
        int64_t value;
    } cases[] = {
        {"0", true, 0},
        {"-5", true, -5},
        {"10", true, 10},
        {"007", true, 7},
        {"11", false, 0},
        {"-6", false, 0},
        {"+3", false, 0},
        {"0x5", false, 0},
        {"1e1", false, 0},
        {" 3", false, 0},
        {"3 ", false, 0},
        {"", false, 0},
        {"-", false, 0},
        {"3.0", false, 0},
        {"0000000000000000005", false, 0},
        {"000000000000000005", true, 5}, // 18 characters: still read
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "'");
        if (c.ok) {
            EXPECT_EQ(cli::ReadNumber(c.text, "N", -5, 10), c.value);
        } else {
            EXPECT_THROW(cli::ReadNumber(c.text, "N", -5, 10), CLI::ValidationError);
        }
    }
    try {
        cli::ReadNumber("a\x01z", "DEPTH", 1, 10);
        FAIL() << "read";
    } catch (const CLI::ValidationError& e) {
        // The bad word is quoted on one printable line.
        EXPECT_EQ(std::string(e.what()), "DEPTH must be a number from 1 to 10 (got 'a?z')");
    }
}

// A tool with one command taking a number, as the programs declare theirs.
struct TTool {
    TTool() {
        cli::Setup(app);
        CLI::App* run = cli::AddCommand(app, "run", "run it");
        cli::AddNumber(*run, "--depth D", depth, 1, 10, "how deep");
    }
    int Parse(std::vector<const char*> args) {
        args.insert(args.begin(), "tool");
        return cli::Parse(app, static_cast<int>(args.size()), args.data());
    }
    CLI::App app{"a tool", "tool"};
    int depth = 3;
};

TEST(Cli, AParseComesToACommandTheHelpOrBadInput) {
    {
        TTool t;
        EXPECT_EQ(t.Parse({"run", "--depth", "7"}), -1);
        EXPECT_EQ(t.depth, 7);
    }
    const struct {
        std::vector<const char*> args;
        int status;
        const char* help; // what the help shows
    } ends[] = {
        {{"--help"}, 0, "commands:"},
        {{"run", "--help"}, 0, "how deep (1-10)"},
        {{"run", "--depth", "11"}, cli::ExitBadInput, ""},
        {{"run", "--depth"}, cli::ExitBadInput, ""},
        {{"walk"}, cli::ExitBadInput, ""}, // a mistyped command is not a missing one
        {{"/depth"}, cli::ExitBadInput, ""},
    };
    for (const auto& e : ends) {
        SCOPED_TRACE(e.args[0]);
        TTool t;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(t.Parse(e.args), e.status);
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(out.find(e.help), std::string::npos) << out;
        if (e.status == cli::ExitBadInput) {
            EXPECT_EQ(err.rfind("error: ", 0), 0u) << err;
            EXPECT_EQ(err.find('\n'), err.size() - 1) << err; // one line
            EXPECT_NE(err.find("(try tool --help)"), std::string::npos) << err;
        }
        EXPECT_EQ(t.depth, 3);
    }
}

} // namespace

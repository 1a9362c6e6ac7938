// The program runner: arguments, standard input, the environment and the exit status reach a
// child and come back unchanged, on POSIX shells and by Windows' command-line rules.
#include "subprocess.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string Echo = subprocess::Program("tests/melvaron-echo-args");

TEST(Subprocess, ArgumentsArriveAsGiven) {
    // Each one a way to split or lose an argument: blanks, quotes, backslashes before a quote
    // or at the end of a quoted one, and what a shell would expand.
    const std::vector<std::string> args = {
        "plain",
        "two words",
        "",
        "tab\there",
        "say \"hi\"",
        "\"",
        "\"\"",
        "back\\slash",
        "trailing\\",
        "with space\\",
        "two at the end\\\\",
        "\\\"",
        "a\\\\\"b c",
        "C:\\Program Files\\Melvaron\\",
        "\\\\server\\share",
        "'single' quotes",
        "$HOME %PATH% * ; & | < >",
    };
    subprocess::TOptions options;
    options.input = "line 1\nline 2\n";
    options.env = {"MELVARON_ECHO=a value, with \"quotes\""};
    const subprocess::TRun r = subprocess::Run(Echo, args, options);
    EXPECT_EQ(r.status, int(args.size())) << r.out << r.err;
    std::string want;
    for (const std::string& a : args) want += "[" + a + "]\n";
    EXPECT_EQ(r.out, want);
    EXPECT_EQ(r.err, "a value, with \"quotes\"\nline 1\nline 2\n");
}

TEST(Subprocess, NoArgumentsNoInputStatusZero) {
    const subprocess::TRun r = subprocess::Run(Echo, {});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

TEST(Subprocess, AProgramStillRunningAtTheTimeOutIsKilled) {
    subprocess::TOptions options;
    options.timeoutSeconds = 1;
    EXPECT_EQ(subprocess::Run(Echo, {"--wait"}, options).status, -1);
}

TEST(Subprocess, AMissingProgramIsAFailureThatSaysSo) {
    const subprocess::TRun r = subprocess::Run(Echo + "-missing", {"x"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err, "");
}

} // namespace

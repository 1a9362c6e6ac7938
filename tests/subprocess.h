// Test helper: runs one of the project's programs with its standard input from a string and its
// two outputs caught in files of its own (tests run in parallel processes, and several build trees
// at once). On POSIX systems through the shell; on Windows started directly
// (subprocess_windows.cpp), so that under Wine a run costs one process start and its status is the
// program's own.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace subprocess {

struct TRun {
    int status = -1; // the exit status; -1 when the program did not exit by itself
    std::string out, err;
};

struct TOptions {
    std::string input;            // standard input
    std::vector<std::string> env; // NAME=VALUE for the program alone
    // A shell condition: Ctrl-C once it holds, checked every 20 ms while the program runs
    // (POSIX shells only); empty: none.
    std::string interruptWhen;
    int timeoutSeconds = 120; // a program still running then is killed
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// A program's text output with its line ends as "\n": Windows writes text lines as "\r\n".
inline std::string TextLines(std::string text) {
#ifdef _WIN32
    std::string::size_type at = 0;
    while ((at = text.find("\r\n", at)) != std::string::npos) text.erase(at, 1);
#endif
    return text;
}

// One argument as the program reads it back unchanged. On Windows by the rules of
// CommandLineToArgvW and the C runtime: in quotes when it is empty or has a blank or a quote, a
// quote after a backslash, and the backslashes before a quote or the closing quote doubled.
inline std::string Quoted(const std::string& arg) {
#ifdef _WIN32
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    std::string q = "\"";
    std::size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        q.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
        slashes = 0;
        q += c;
    }
    q.append(2 * slashes, '\\');
    return q + "\"";
#else
    std::string q = "'";
    for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
#endif
}

// A path of the build tree's program, e.g. Program("tools/melvaron-engine").
inline std::string Program(const std::string& relative) {
#ifdef _WIN32
    return std::string(MELVARON_BINARY_DIR) + "/" + relative + ".exe";
#else
    return std::string(MELVARON_BINARY_DIR) + "/" + relative;
#endif
}

// A file name in the test's temporary folder that no other test process uses.
inline std::string TempPath(const std::string& stem) {
    static std::atomic<int> calls{0};
    return ::testing::TempDir() + "melvaron_" + stem + "_" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "_" +
           std::to_string(++calls);
}

#ifdef _WIN32
TRun Run(const std::string& program, const std::vector<std::string>& args,
         const TOptions& options = {});
#else
inline TRun Run(const std::string& program, const std::vector<std::string>& args,
                const TOptions& options = {}) {
    const std::string base = TempPath("run");
    const std::string in = base + ".in", out = base + ".out", err = base + ".err";
    std::ofstream(in, std::ios::binary) << options.input;

    std::string command;
    for (const std::string& kv : options.env) {
        const std::size_t eq = kv.find('=');
        command += kv.substr(0, eq + 1) + Quoted(kv.substr(eq + 1)) + " ";
    }
    // --foreground: a Ctrl-C handed on reaches the program once. Without it timeout sends it to
    // the program and then to its whole group, and a program whose first Ctrl-C stops it
    // cleanly takes the second as "end at once".
    command += "timeout --foreground -s KILL " + std::to_string(options.timeoutSeconds) + " ";
    command += Quoted(program);
    for (const std::string& a : args) command += " " + Quoted(a);
    command += " <" + Quoted(in) + " >" + Quoted(out) + " 2>" + Quoted(err);
    if (!options.interruptWhen.empty()) {
        // timeout hands the Ctrl-C on; a background job of a script ignores Ctrl-C unless it
        // sets its own handler, which is what the programs that stop on it do.
        command += " & p=$!; while kill -0 $p 2>/dev/null && ! { " + options.interruptWhen +
                   "; }; do sleep 0.02; done; kill -INT $p 2>/dev/null; wait $p";
    }
    const int raw = std::system(command.c_str());
    TRun run;
    // The shell's status word: the exit status in the second byte when it exited by itself.
    run.status = (raw & 0x7F) == 0 ? (raw >> 8) & 0xFF : -1;
    if (run.status == 137) run.status = -1; // killed at the time-out
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    for (const std::string& path : {in, out, err}) std::remove(path.c_str());
    return run;
}
#endif

} // namespace subprocess

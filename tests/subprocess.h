// Test helper: runs one of the project's programs through the system's shell, with its standard
// input from a string and its two outputs caught in files of its own (tests run in parallel
// processes, and several build trees at once). Written without POSIX-only calls, so that the
// tests run the same way under Wine.
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
    int timeoutSeconds = 120; // a program still running then is killed (POSIX shells)
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

// One argument as the shell reads it back unchanged.
inline std::string Quoted(const std::string& arg) {
#ifdef _WIN32
    std::string q = "\"";
    for (char c : arg) q += c == '"' ? std::string("\\\"") : std::string(1, c);
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

inline TRun Run(const std::string& program, const std::vector<std::string>& args,
                const TOptions& options = {}) {
    const std::string base = TempPath("run");
    const std::string in = base + ".in", out = base + ".out", err = base + ".err";
    std::ofstream(in, std::ios::binary) << options.input;

    std::string command;
    for (const std::string& kv : options.env) {
        const std::size_t eq = kv.find('=');
#ifdef _WIN32
        command += "set " + Quoted(kv) + "&& ";
        (void)eq;
#else
        command += kv.substr(0, eq + 1) + Quoted(kv.substr(eq + 1)) + " ";
#endif
    }
#ifndef _WIN32
    // --foreground: a Ctrl-C handed on reaches the program once. Without it timeout sends it to
    // the program and then to its whole group, and a program whose first Ctrl-C stops it
    // cleanly takes the second as "end at once".
    command += "timeout --foreground -s KILL " + std::to_string(options.timeoutSeconds) + " ";
#endif
    command += Quoted(program);
    for (const std::string& a : args) command += " " + Quoted(a);
    command += " <" + Quoted(in) + " >" + Quoted(out) + " 2>" + Quoted(err);
#ifndef _WIN32
    if (!options.interruptWhen.empty()) {
        // timeout hands the Ctrl-C on; a background job of a script ignores Ctrl-C unless it
        // sets its own handler, which is what the programs that stop on it do.
        command += " & p=$!; while kill -0 $p 2>/dev/null && ! { " + options.interruptWhen +
                   "; }; do sleep 0.02; done; kill -INT $p 2>/dev/null; wait $p";
    }
#endif
#ifdef _WIN32
    // cmd.exe drops the first and the last quote of a line that starts with one.
    command = "\"" + command + "\"";
#endif
    const int raw = std::system(command.c_str());
    TRun run;
#ifdef _WIN32
    run.status = raw;
#else
    // The shell's status word: the exit status in the second byte when it exited by itself.
    run.status = (raw & 0x7F) == 0 ? (raw >> 8) & 0xFF : -1;
    if (run.status == 137) run.status = -1; // killed at the time-out
#endif
    run.out = TextLines(ReadFile(out));
    run.err = TextLines(ReadFile(err));
    for (const std::string& path : {in, out, err}) std::remove(path.c_str());
    return run;
}

} // namespace subprocess

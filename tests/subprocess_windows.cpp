// The program runner on Windows: CreateProcessW with the standard handles on files, the exit
// status from the process. No cmd.exe in between: under Wine each process start is slow, and cmd
// reports a program that could not start as "not recognized", status 9009, whatever the cause.
#include "subprocess.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cwctype>

namespace subprocess {
namespace {

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(std::size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), n);
    return wide;
}

std::wstring Upper(std::wstring s) {
    for (wchar_t& c : s) c = wchar_t(std::towupper(c));
    return s;
}

// This process's environment with the given NAME=VALUE entries in place of their names' own
// (names compare without case, as Windows does), as CreateProcessW takes it.
std::wstring EnvironmentWith(const std::vector<std::string>& overrides) {
    std::vector<std::wstring> entries;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* e = block; *e; e += wcslen(e) + 1) entries.emplace_back(e);
        FreeEnvironmentStringsW(block);
    }
    // "=C:=C:\..." and its kind: the name is what comes before the second '='.
    auto name = [](const std::wstring& e) { return Upper(e.substr(0, e.find(L'=', 1))); };
    for (const std::string& kv : overrides) {
        const std::wstring entry = Wide(kv), key = name(entry);
        std::erase_if(entries, [&](const std::wstring& e) { return name(e) == key; });
        entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end(),
              [&](const std::wstring& a, const std::wstring& b) { return name(a) < name(b); });
    std::wstring block;
    for (const std::wstring& e : entries) block += e + L'\0';
    return block + L'\0';
}

// A file for one of the child's standard handles, inherited by it.
HANDLE Inheritable(const std::string& path, bool write) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(Wide(path).c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

TRun Run(const std::string& program, const std::vector<std::string>& args,
         const TOptions& options) {
    const std::string base = TempPath("run");
    const std::string in = base + ".in", out = base + ".out", err = base + ".err";
    std::ofstream(in, std::ios::binary) << options.input;

    std::wstring application = Wide(program);
    std::replace(application.begin(), application.end(), L'/', L'\\');
    // The program's own name is read up to its closing quote, without escapes.
    std::wstring line = L"\"" + application + L"\"";
    for (const std::string& a : args) line += L" " + Wide(Quoted(a));
    std::wstring environment;
    if (!options.env.empty()) environment = EnvironmentWith(options.env);

    TRun run;
    const std::string paths[3] = {in, out, err};
    HANDLE files[3];
    bool opened = true;
    DWORD error = 0;
    for (int i = 0; i < 3; ++i) {
        files[i] = Inheritable(paths[i], i > 0);
        if (files[i] == INVALID_HANDLE_VALUE && opened) {
            opened = false;
            error = GetLastError();
            run.err = "cannot open " + paths[i];
        }
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = files[0];
    startup.hStdOutput = files[1];
    startup.hStdError = files[2];
    PROCESS_INFORMATION process{};
    bool started = false;
    if (opened) {
        started = CreateProcessW(
            application.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
            environment.empty() ? nullptr : environment.data(), nullptr, &startup, &process);
        if (!started) {
            error = GetLastError();
            run.err = "cannot start " + program;
        }
    }
    for (HANDLE h : files)
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!started) {
        run.err += ": Windows error " + std::to_string(error) + "\n";
    } else {
        CloseHandle(process.hThread);
        const DWORD limit = DWORD(options.timeoutSeconds) * 1000;
        DWORD code = 0;
        if (WaitForSingleObject(process.hProcess, limit) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, INFINITE);
        } else if (GetExitCodeProcess(process.hProcess, &code)) {
            run.status = int(code);
        }
        CloseHandle(process.hProcess);
        run.out = TextLines(ReadFile(out));
        run.err = TextLines(ReadFile(err));
    }
    for (const std::string& path : {in, out, err}) std::remove(path.c_str());
    return run;
}

} // namespace subprocess

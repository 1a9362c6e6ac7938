// A text kept between runs in one file, replaced whole by renaming a temporary file over it.
#include "platform/kept_text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string Shown(const fs::path& path) {
    const std::u8string name = path.u8string();
    return std::string(reinterpret_cast<const char*>(name.data()), name.size());
}

std::FILE* Open(const fs::path& path, bool write) {
#ifdef _WIN32
    return _wfopen(path.c_str(), write ? L"wb" : L"rb");
#else
    return std::fopen(path.c_str(), write ? "wb" : "rb");
#endif
}

// Another process of the program may be writing beside this one: each has its own temporary.
fs::path TemporaryFor(const fs::path& path) {
#ifdef _WIN32
    const int id = _getpid();
#else
    const int id = static_cast<int>(getpid());
#endif
    fs::path temporary = path;
    temporary += "." + std::to_string(id) + ".tmp";
    return temporary;
}

// Replaces to with from in one step, as the file system allows.
bool Replace(const fs::path& from, const fs::path& to, std::string& why) {
#ifdef _WIN32
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    why = std::system_category().message(static_cast<int>(GetLastError()));
    return false;
#else
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    why = std::strerror(errno);
    return false;
#endif
}

} // namespace

TKeptRead TKeptFile::Read(std::string& text, std::string& error) {
    text.clear();
    std::FILE* f = Open(FPath, false);
    if (!f) {
        if (errno == ENOENT) return TKeptRead::Absent;
        error = "cannot read " + Shown(FPath) + ": " + std::strerror(errno);
        return TKeptRead::Failed;
    }
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    const bool failed = std::ferror(f) != 0;
    const int saved = errno;
    std::fclose(f);
    if (failed) {
        error = "cannot read " + Shown(FPath) + ": " + std::strerror(saved);
        return TKeptRead::Failed;
    }
    return TKeptRead::Read;
}

bool TKeptFile::Write(const std::string& text, std::string& error) {
    std::error_code ec;
    if (FPath.has_parent_path()) fs::create_directories(FPath.parent_path(), ec);
    if (ec) {
        error = "cannot make " + Shown(FPath.parent_path()) + ": " + ec.message();
        return false;
    }
    const fs::path temporary = TemporaryFor(FPath);
    std::FILE* f = Open(temporary, true);
    if (!f) {
        error = "cannot write " + Shown(temporary) + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const int saved = errno;
    const bool closed = std::fclose(f) == 0;
    std::string why;
    if (!written || !closed) {
        why = std::strerror(written ? errno : saved);
    } else if (Replace(temporary, FPath, why)) {
        return true;
    }
    fs::remove(temporary, ec);
    error = "cannot write " + Shown(FPath) + ": " + why;
    return false;
}

void TKeptFile::Clear() {
    std::error_code ec;
    fs::remove(FPath, ec); // nothing kept, or nothing that can be taken away: either way done
}

fs::path UserDataFolder(const std::string& program) {
#ifdef _WIN32
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (local && *local) return fs::path(local) / program;
    return {};
#else
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/') return fs::path(data) / program;
    const char* home = std::getenv("HOME");
    if (home && *home) return fs::path(home) / ".local" / "share" / program;
    return {};
#endif
}

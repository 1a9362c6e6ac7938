// The server's log: one line a happening, with its level, on standard error.
#pragma once

#include <functional>
#include <string>

namespace server {

// error: the server could not do what it must (a store fault, a listener lost); warning: it
// refused or cut something it expected to serve (a limit reached, a descriptor shortage);
// info: the course of games and connections.
enum class TLogLevel { Error, Warning, Info };

inline const char* LogLevelName(TLogLevel level) {
    switch (level) {
    case TLogLevel::Error:
        return "error";
    case TLogLevel::Warning:
        return "warning";
    case TLogLevel::Info:
        return "info";
    }
    return "info";
}

// One line of the log; nothing when empty.
using TLog = std::function<void(TLogLevel, const std::string&)>;

} // namespace server

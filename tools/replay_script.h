// The scripted-session language: one command per line, '#' starts a comment. Parsing is pure
// and total: any bytes give either a command list or the first bad line with its message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/keys.h"
#include "platform/mouse.h"
#include "ui/screen_layout.h"

namespace replay {

enum class TOp {
    Seed,
    Keep,
    Move,
    Press,
    Strip,
    Key,
    Tick,
    Settle,
    Close,
    Shot,
    State,
    Board,
    Speech
};

// Coordinates lie in the window's client area, ClientWidth x ClientHeight.
constexpr int64_t DefaultSettle = 100000;

struct TCommand {
    TOp op = TOp::State;
    int line = 0;                               // 1-based line number in the script
    int64_t count = 0;                          // Seed: the seed; Tick, Settle: the number
    int x = 0, y = 0;                           // Move, Press
    TMouseButton button = TMouseButton::mbLeft; // Press
    TKey key = TKey::vkReturn;                  // Key
    bool shift = false;                         // Key
    std::string file;                           // Shot, Keep
};

struct TParseResult {
    std::vector<TCommand> commands;
    int errorLine = 0; // 0 when the script is good
    std::string error; // the complaint, without the "line N: " prefix
    bool ok() const { return errorLine == 0; }
    // "line N: <what>", the form the player reports it in.
    std::string Message() const;
};

TParseResult ParseScript(std::string_view text);

} // namespace replay

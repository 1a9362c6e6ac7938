// Parser of the scripted-session language.
#include "tools/replay_script.h"

#include <iterator>
#include <limits>

#include "platform/input_text.h"

namespace replay {

namespace {

struct TBad {
    std::string what;
};

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    size_t i = 0;
    auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
    };
    while (i < line.size()) {
        while (i < line.size() && blank(line[i])) ++i;
        const size_t start = i;
        while (i < line.size() && !blank(line[i])) ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

// A word of the script in a message: control bytes and long words are cut short so that a
// message stays one printable line.
std::string Quote(std::string_view word) {
    return QuotedInput(word, 40, TShownBytes::AllButControl);
}

// The key names, as a message lists them: "left, right, ..., b or r".
std::string KeyList() {
    std::string list;
    const size_t n = std::size(KeyNames);
    for (size_t i = 0; i < n; ++i) {
        if (i > 0) list += i + 1 == n ? " or " : ", ";
        list += KeyNames[i].name;
    }
    return list;
}

int64_t Number(std::string_view cmd, std::string_view name, std::string_view word, int64_t lo,
               int64_t hi) {
    int64_t value = 0;
    const TDecimal read = ParseDecimal(word, value);
    if (read == TDecimal::NotANumber)
        throw TBad{std::string(cmd) + ": " + Quote(word) + " is not a number"};
    if (read == TDecimal::OutOfRange || value < lo || value > hi)
        throw TBad{std::string(cmd) + ": " + std::string(name) + " " + Quote(word) +
                   " is out of range " + std::to_string(lo) + ".." + std::to_string(hi)};
    return value;
}

void Arity(std::string_view cmd, size_t got, size_t least, size_t most, const char* usage) {
    if (got >= least && got <= most) return;
    throw TBad{"wrong number of arguments to " + std::string(cmd) + " (usage: " + usage + ")"};
}

TCommand ParseLine(const std::vector<std::string_view>& w) {
    TCommand c;
    const std::string_view cmd = w[0];
    const size_t args = w.size() - 1;
    constexpr int64_t MaxCount = std::numeric_limits<int32_t>::max();
    if (cmd == "seed") {
        Arity(cmd, args, 1, 1, "seed N");
        c.op = TOp::Seed;
        c.count = Number(cmd, "N", w[1], 0, std::numeric_limits<uint32_t>::max());
    } else if (cmd == "keep") {
        Arity(cmd, args, 1, 1, "keep FILE");
        c.op = TOp::Keep;
        c.file = std::string(w[1]);
    } else if (cmd == "move") {
        Arity(cmd, args, 2, 2, "move X Y");
        c.op = TOp::Move;
        c.x = static_cast<int>(Number(cmd, "X", w[1], 0, ClientWidth - 1));
        c.y = static_cast<int>(Number(cmd, "Y", w[2], 0, ClientHeight - 1));
    } else if (cmd == "press") {
        Arity(cmd, args, 3, 3, "press left|right|middle X Y");
        c.op = TOp::Press;
        if (w[1] == "left")
            c.button = TMouseButton::mbLeft;
        else if (w[1] == "right")
            c.button = TMouseButton::mbRight;
        else if (w[1] == "middle")
            c.button = TMouseButton::mbMiddle;
        else
            throw TBad{"press: unknown button " + Quote(w[1]) + " (left, right or middle)"};
        c.x = static_cast<int>(Number(cmd, "X", w[2], 0, ClientWidth - 1));
        c.y = static_cast<int>(Number(cmd, "Y", w[3], 0, ClientHeight - 1));
    } else if (cmd == "strip") {
        Arity(cmd, args, 0, 0, "strip");
        c.op = TOp::Strip;
    } else if (cmd == "key") {
        Arity(cmd, args, 1, 1, "key NAME");
        c.op = TOp::Key;
        const auto key = KeyNamed(w[1]);
        if (!key) throw TBad{"key: unknown key " + Quote(w[1]) + " (" + KeyList() + ")"};
        c.key = key->key;
        c.shift = key->shift;
    } else if (cmd == "tick") {
        Arity(cmd, args, 0, 1, "tick [N]");
        c.op = TOp::Tick;
        c.count = args ? Number(cmd, "N", w[1], 0, MaxCount) : 1;
    } else if (cmd == "settle") {
        Arity(cmd, args, 0, 1, "settle [MAX]");
        c.op = TOp::Settle;
        c.count = args ? Number(cmd, "MAX", w[1], 0, MaxCount) : DefaultSettle;
    } else if (cmd == "close") {
        Arity(cmd, args, 0, 0, "close");
        c.op = TOp::Close;
    } else if (cmd == "shot") {
        Arity(cmd, args, 1, 1, "shot FILE");
        c.op = TOp::Shot;
        c.file = std::string(w[1]);
    } else if (cmd == "state") {
        Arity(cmd, args, 0, 0, "state");
        c.op = TOp::State;
    } else if (cmd == "board") {
        Arity(cmd, args, 0, 0, "board");
        c.op = TOp::Board;
    } else if (cmd == "speech") {
        Arity(cmd, args, 0, 0, "speech");
        c.op = TOp::Speech;
    } else {
        throw TBad{"unknown command " + Quote(cmd)};
    }
    return c;
}

} // namespace

std::string TParseResult::Message() const {
    return "line " + std::to_string(errorLine) + ": " + error;
}

TParseResult ParseScript(std::string_view text) {
    TParseResult result;
    int lineNo = 0;
    bool closed = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (const size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        const std::vector<std::string_view> words = Words(line);
        if (words.empty()) continue;
        try {
            if (closed) throw TBad{"command after close"};
            TCommand c = ParseLine(words);
            if (c.op == TOp::Seed && !result.commands.empty())
                throw TBad{"seed must be the first command"};
            // The kept game's random state would be lost to a later seed, and a resumed game
            // must not follow moves of another.
            if (c.op == TOp::Keep && !result.commands.empty() &&
                (result.commands.size() > 1 || result.commands[0].op != TOp::Seed))
                throw TBad{"keep must be the first command, or the second after seed"};
            closed = c.op == TOp::Close;
            c.line = lineNo;
            result.commands.push_back(std::move(c));
        } catch (const TBad& bad) {
            result.commands.clear();
            result.errorLine = lineNo;
            result.error = bad.what;
            return result;
        }
    }
    return result;
}

} // namespace replay

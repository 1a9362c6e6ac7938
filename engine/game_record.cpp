// A game's record: replaying it through the rules, and its text form.
#include "engine/game_record.h"

#include <limits>

#include "engine/random.h"
#include "engine/rules.h"
#include "engine/tables.h"
#include "platform/input_text.h"

namespace game_record {

namespace {

std::string PlayerText(int player) {
    return "player " + std::to_string(player);
}

std::string CellText(int cell) {
    return std::to_string(cell) + " (" + CellName(cell) + ")";
}

void Count(TPosition& p) {
    p.count[0] = p.count[1] = p.count[2] = 0;
    for (int cell = FirstPlayable; cell <= LastPlayable; ++cell)
        if (p.board[cell] >= 0) ++p.count[p.board[cell]];
}

// Why move may not come next in p, or empty when it may.
std::string Refusal(const TPosition& p, TMove move) {
    if (move.player != 1 && move.player != 2)
        return "there is no player " + std::to_string(move.player);
    if (p.Over()) return "the game is over: no move may follow";
    if (p.mustPass != 0) {
        if (move.cell == PassCell && move.player == p.mustPass) return {};
        return PlayerText(p.mustPass) + " has no put and must pass first";
    }
    if (move.player != p.toMove)
        return PlayerText(p.toMove) + " is to move, not " + PlayerText(move.player);
    if (move.cell == PassCell) return PlayerText(move.player) + " may put, so may not pass";
    if (!IsPlayableCell(move.cell))
        return "cell " + std::to_string(move.cell) + " is not on the board";
    if (p.board[move.cell] != CellEmpty) return "cell " + CellText(move.cell) + " is not empty";
    if ((rules::CheckPut(move.cell, p.board.data()) & move.player) == 0)
        return PlayerText(move.player) + " may not put on " + CellText(move.cell);
    return {};
}

} // namespace

std::string CellName(int cell) {
    return "row " + std::to_string(cell / RowStride) + ", column " +
           std::to_string(cell % RowStride);
}

TPosition StartPosition() {
    TPosition p;
    p.board = InitialBoard;
    Count(p);
    return p;
}

bool PlayMove(TPosition& p, TMove move, std::string& error) {
    error = Refusal(p, move);
    if (!error.empty()) return false;
    if (move.cell == PassCell) {
        p.mustPass = 0; // the putter goes on: toMove already names them
        return true;
    }
    int32_t flips[FlipListSize]; // this replay's own: the program-wide list is the window's
    rules::PutPanel(move.cell, move.player, p.board.data(), flips);
    Count(p);
    p.lastPutter = move.player;
    const int next = rules::NextMover(move.player, p.board.data());
    p.toMove = next;
    p.mustPass = next == move.player ? Opponent(move.player) : 0;
    return true;
}

// ---- The record ----

TGameRecord::TGameRecord(int player1, int player2, bool bonus, uint32_t random)
    : FStarted(true), FPlayers{-1, player1, player2}, FBonus(bonus), FRandom(random) {}

bool TGameRecord::Append(TMove move, std::string& error) {
    if (!FStarted) {
        error = "the game has not started";
        return false;
    }
    if (!PlayMove(FPosition, move, error)) return false;
    FMoves.push_back(move);
    return true;
}

bool TGameRecord::Put(int cell, std::string& error) {
    if (!Append({FPosition.toMove, cell}, error)) return false;
    if (FPosition.mustPass != 0) Append({FPosition.mustPass, PassCell}, error);
    return true;
}

void TGameRecord::Truncate(std::size_t n) {
    if (n >= FMoves.size()) return;
    FMoves.resize(n);
    FPosition = PositionAt(n);
}

TPosition TGameRecord::PositionAt(std::size_t n) const {
    TPosition p = StartPosition();
    std::string error;
    for (std::size_t i = 0; i < n && i < FMoves.size(); ++i) PlayMove(p, FMoves[i], error);
    return p;
}

uint32_t TGameRecord::RandomAt(std::size_t n) const {
    uint32_t state = FRandom;
    for (std::size_t i = 0; i < n && i < FMoves.size(); ++i)
        if (FMoves[i].cell != PassCell && IsComputer(Player(FMoves[i].player)))
            state = game_random::Step(state);
    return state;
}

// ---- Text ----

namespace {

// The result line's words after "result": the winner (1, 2 or draw) and the two counts.
std::string ResultText(const TPosition& p) {
    const int winner = rules::Winner(p.count[1], p.count[2]);
    return (winner == 0 ? std::string("draw") : std::to_string(winner)) + " " +
           std::to_string(p.count[1]) + " " + std::to_string(p.count[2]);
}

struct TBad {
    std::string what;
};

// QuotedInput's form, built by appending: GCC 12 at -O3 warns falsely about its "'" + text.
std::string Quote(std::string_view word) {
    std::string quoted(1, '\'');
    quoted += ShownInput(word, 40, TShownBytes::Ascii);
    quoted += '\'';
    return quoted;
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

void Expect(const std::vector<std::string_view>& words, std::size_t count, const char* form) {
    if (words.size() != count) throw TBad{std::string("expected '") + form + "'"};
}

int64_t Number(std::string_view word, const char* what, int64_t lo, int64_t hi) {
    int64_t value = 0;
    if (ParseDecimal(word, value) != TDecimal::Ok || value < lo || value > hi)
        throw TBad{std::string(what) + " " + Quote(word) + " is not a number from " +
                   std::to_string(lo) + " to " + std::to_string(hi)};
    return value;
}

int PlayerWord(std::string_view word) {
    if (word == "1") return 1;
    if (word == "2") return 2;
    throw TBad{"player " + Quote(word) + " is not 1 or 2"};
}

// "player N KIND" for player n.
int PlayerLine(const std::vector<std::string_view>& words, int n) {
    const std::string form = "player " + std::to_string(n) + " KIND";
    if (words.size() != 3 || words[0] != "player" || words[1] != std::to_string(n))
        throw TBad{"expected '" + form + "'"};
    for (int kind = 0; kind < PlayerKinds; ++kind)
        if (words[2] == PlayerKindNames[kind]) return kind;
    throw TBad{"unknown player kind " + Quote(words[2]) + " (MAN or LV0 to LV5)"};
}

TMove PutLine(const std::vector<std::string_view>& words) {
    if (words.size() != 3 && words.size() != 7)
        throw TBad{"expected 'put PLAYER CELL' or 'put PLAYER CELL row R column C'"};
    TMove move{PlayerWord(words[1]), PassCell};
    move.cell = static_cast<int>(Number(words[2], "cell", FirstPlayable, LastPlayable));
    if (!IsPlayableCell(move.cell))
        throw TBad{"cell " + std::to_string(move.cell) +
                   " is not on the board (row x 14 + column, rows 1 to 6, columns 1 to 12)"};
    if (words.size() == 7) {
        if (words[3] != "row" || words[5] != "column")
            throw TBad{"expected 'row R column C' after the cell"};
        const int64_t row = Number(words[4], "row", 1, 6);
        const int64_t column = Number(words[6], "column", 1, 12);
        if (row * RowStride + column != move.cell)
            throw TBad{"row " + std::to_string(row) + " column " + std::to_string(column) +
                       " is not cell " + CellText(move.cell)};
    }
    return move;
}

} // namespace

std::string FormatRecord(const TGameRecord& record) {
    std::string text = std::string(RecordMagic) + " " + std::to_string(RecordVersion) + "\n";
    for (int player = 1; player <= 2; ++player)
        text += "player " + std::to_string(player) + " " + PlayerKindNames[record.Player(player)] +
                "\n";
    text += std::string("bonus ") + (record.Bonus() ? "on" : "off") + "\n";
    text += "random " + std::to_string(record.StartRandom()) + "\n";
    for (const TMove& m : record.Moves()) {
        if (m.cell == PassCell) {
            text += "pass " + std::to_string(m.player) + "\n";
            continue;
        }
        text += "put " + std::to_string(m.player) + " " + std::to_string(m.cell) + " row " +
                std::to_string(m.cell / RowStride) + " column " +
                std::to_string(m.cell % RowStride) + "\n";
    }
    if (record.Position().Over()) text += "result " + ResultText(record.Position()) + "\n";
    text += "end\n";
    return text;
}

bool ParseRecord(std::string_view text, TGameRecord& out, std::string& error) {
    enum class TPart { Version, Player1, Player2, Bonus, Random, Moves, Result, Done };
    TPart part = TPart::Version;
    int players[3] = {-1, 0, 0};
    bool bonus = false;
    TGameRecord record;
    int lineNo = 0;
    std::size_t pos = 0;
    try {
        while (pos < text.size()) {
            ++lineNo;
            const std::size_t end = text.find('\n', pos);
            // A line without its newline is where a write stopped.
            if (end == std::string_view::npos) throw TBad{"the record is cut inside this line"};
            std::string_view line = text.substr(pos, end - pos);
            pos = end + 1;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            const std::vector<std::string_view> words = Words(line);
            switch (part) {
            case TPart::Version: {
                if (words.empty() || words[0] != RecordMagic)
                    throw TBad{"not a game record (it starts with '" + std::string(RecordMagic) +
                               " VERSION')"};
                Expect(words, 2, "melvaron-record VERSION");
                const int64_t version =
                    Number(words[1], "version", 0, std::numeric_limits<int32_t>::max());
                if (version != RecordVersion)
                    throw TBad{"record version " + std::to_string(version) +
                               " is not supported (this program reads version " +
                               std::to_string(RecordVersion) + ")"};
                part = TPart::Player1;
                break;
            }
            case TPart::Player1:
            case TPart::Player2: {
                const int n = part == TPart::Player1 ? 1 : 2;
                players[n] = PlayerLine(words, n);
                part = n == 1 ? TPart::Player2 : TPart::Bonus;
                break;
            }
            case TPart::Bonus:
                if (words.size() != 2 || words[0] != "bonus" ||
                    (words[1] != "on" && words[1] != "off"))
                    throw TBad{"expected 'bonus on' or 'bonus off'"};
                bonus = words[1] == "on";
                part = TPart::Random;
                break;
            case TPart::Random:
                if (words.size() != 2 || words[0] != "random")
                    throw TBad{"expected 'random STATE'"};
                record = TGameRecord(
                    players[1], players[2], bonus,
                    static_cast<uint32_t>(
                        Number(words[1], "random state", 0, std::numeric_limits<uint32_t>::max())));
                part = TPart::Moves;
                break;
            case TPart::Moves:
            case TPart::Result: {
                const std::string_view word = words.empty() ? std::string_view() : words[0];
                const TPosition& p = record.Position();
                if (word == "end") {
                    Expect(words, 1, "end");
                    if (p.mustPass != 0)
                        throw TBad{PlayerText(p.mustPass) + " has no put: a pass comes before end"};
                    if (p.Over() && part != TPart::Result)
                        throw TBad{"the game is over: a result line comes before end"};
                    part = TPart::Done;
                    break;
                }
                if (part == TPart::Result) throw TBad{"expected 'end' after the result"};
                if (word == "result") {
                    Expect(words, 4, "result WINNER COUNT1 COUNT2");
                    const std::string given = std::string(words[1]) + " " + std::string(words[2]) +
                                              " " + std::string(words[3]);
                    if (!p.Over())
                        throw TBad{"the game is not over: " + PlayerText(p.toMove) + " is to move"};
                    if (given != ResultText(p))
                        throw TBad{"the game ends " + ResultText(p) + ", not " + Quote(given)};
                    part = TPart::Result;
                    break;
                }
                TMove move;
                if (word == "put") {
                    move = PutLine(words);
                } else if (word == "pass") {
                    Expect(words, 2, "pass PLAYER");
                    move = {PlayerWord(words[1]), PassCell};
                } else {
                    throw TBad{"unknown line " + Quote(line) + " (put, pass, result or end)"};
                }
                std::string why;
                if (!record.Append(move, why)) throw TBad{why};
                break;
            }
            case TPart::Done:
                throw TBad{"nothing may follow the end line"};
            }
        }
    } catch (const TBad& bad) {
        error = "line " + std::to_string(lineNo) + ": " + bad.what;
        return false;
    }
    // Every line was whole but the end mark never came: the line after the last was due.
    if (part != TPart::Done) {
        error = "line " + std::to_string(lineNo + 1) + ": " +
                (lineNo == 0 ? "the record is empty" : "the record is cut (no end line)");
        return false;
    }
    out = std::move(record);
    return true;
}

} // namespace game_record

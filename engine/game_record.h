// A game as its record: the two players, the strip's bonus, the random generator's state when
// the game started and every put and pass in order. Everything else (the position, the counts,
// who moves, the result, the generator's state at any move) follows by replaying it through the
// rules, so the window, the tools and a server all keep this one thing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/board.h"

namespace game_record {

// The version this program writes and the only one it reads.
constexpr int RecordVersion = 1;
// The first word of a record; the version follows it on the first line.
constexpr const char* RecordMagic = "melvaron-record";

// A player's kind, as the window's player types count them: 0 a person, 1..6 the computer at
// LV0..LV5. The names are the level boxes' own; a later version may add kinds after them (a
// person on another device), which the reader takes from this table.
constexpr int PlayerMan = 0;
constexpr int PlayerLV0 = 1, PlayerLV5 = 6;
constexpr int PlayerKinds = 7;
inline constexpr const char* PlayerKindNames[PlayerKinds] = {"MAN", "LV0", "LV1", "LV2",
                                                             "LV3", "LV4", "LV5"};
constexpr bool IsComputer(int kind) {
    return kind >= PlayerLV0 && kind <= PlayerLV5;
}

constexpr int PassCell = -1; // the cell of a pass

// One entry: player puts on cell, or passes (cell PassCell).
struct TMove {
    int player = 0;
    int cell = PassCell;
    bool operator==(const TMove&) const = default;
};

// Where a game stands after some of its moves.
struct TPosition {
    Board board{};
    int count[3] = {0, 0, 0}; // empty cells, player 1's and player 2's panels
    int lastPutter = 0;       // the player of the latest put, 0 before the first
    int toMove = 1;           // the player whose put comes next, 0 once the game is over
    int mustPass = 0;         // the player whose pass must come next (before any put), or 0
    bool Over() const { return toMove == 0; }
};

// The start position: player 1 to move.
TPosition StartPosition();
// Plays move on position when it is the next entry the rules allow; otherwise leaves position as
// it was and says why in error (one line, e.g. "player 2 may not put on 47 (row 3, column 5)").
// Touches nothing shared (not the FlipList), so games may be replayed on any thread.
bool PlayMove(TPosition& position, TMove move, std::string& error);

class TGameRecord {
  public:
    // A game that has not started: no players, nothing to replay.
    TGameRecord() = default;
    // The game at its start (GAME): the players' kinds, the bonus (the strip), the generator's
    // state at that moment.
    TGameRecord(int player1, int player2, bool bonus, uint32_t random);

    bool Started() const { return FStarted; }
    int Player(int player) const { return FPlayers[player == 1 ? 1 : 2]; }
    bool Bonus() const { return FBonus; }
    uint32_t StartRandom() const { return FRandom; }
    const std::vector<TMove>& Moves() const { return FMoves; }
    // The position after every move.
    const TPosition& Position() const { return FPosition; }

    // Appends move when the rules allow it next; false with the reason in error otherwise.
    bool Append(TMove move, std::string& error);
    // Appends the put of the player to move on cell, and the opponent's pass when the put
    // leaves the opponent without a put of its own.
    bool Put(int cell, std::string& error);
    // Keeps the first n moves.
    void Truncate(std::size_t n);

    // The position after the first n moves (n at most Moves().size()).
    TPosition PositionAt(std::size_t n) const;
    // The generator's state after the first n moves: one value is drawn for every computer
    // search and nothing else draws during a game, so it is the state at the start stepped
    // once per computer put among them.
    uint32_t RandomAt(std::size_t n) const;
    uint32_t Random() const { return RandomAt(FMoves.size()); }

  private:
    bool FStarted = false;
    int FPlayers[3] = {-1, PlayerMan, PlayerMan};
    bool FBonus = false;
    uint32_t FRandom = 0;
    std::vector<TMove> FMoves;
    TPosition FPosition = StartPosition();
};

// The record as text, one line each: the version, the two players, the bonus, the random state,
// the moves, the result once the game is over, and "end".
std::string FormatRecord(const TGameRecord& record);
// Reads a record strictly: any bytes give either the record or a one-line error naming the first
// bad line ("line N: ..."): a foreign or other version, a bad word, a move the rules do not
// allow at that point (an illegal put, the wrong player, a pass where the player could put, a
// missing pass), a result that is not the game's, a cut text.
bool ParseRecord(std::string_view text, TGameRecord& out, std::string& error);

// "row R, column C" of a board cell.
std::string CellName(int cell);

} // namespace game_record

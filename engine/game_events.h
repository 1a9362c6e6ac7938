// A game between two devices as its numbered events: the second seat taken, the puts, the passes
// and the end the rules decide, take-back asks and their answers. TEventGame takes one event at
// a time, checks it against the rules and what came before, and keeps the game's record; the
// server, its C++ clients, the window and the page all follow a game this way. It knows nothing
// of the text the events travel in.
#pragma once

#include <cstdint>
#include <string>

#include "engine/game_record.h"

namespace game_events {

enum class TEventKind {
    Join,             // player 2 took the second seat; the game starts, player 1 to move
    Put,              // player put on cell
    Pass,             // player has no put and the other goes on
    End,              // nobody puts again: winner (0 none), count1, count2, reason
    TakeBackOffer,    // player asks to go back to the record's first moves moves
    TakeBack,         // player accepted the open ask: the game is its first moves moves
    TakeBackDeclined, // player declined the open ask
};
constexpr int EventKinds = 7;
// The kinds' names, as the events' texts spell them.
inline constexpr const char* EventKindNames[EventKinds] = {
    "join", "put", "pass", "end", "takeback_offer", "takeback", "takeback_declined"};

// Why a game ended: nobody can put (the board's counts decide the winner), or nobody moved for
// so long that the game was given up (no winner).
enum class TEndReason { Board, Abandoned };
constexpr int EndReasons = 2;
// As an end's text names them; the board's end names none.
inline constexpr const char* EndReasonNames[EndReasons] = {"", "abandoned"};

struct TEvent {
    int64_t n = 0; // numbered from 1
    TEventKind kind = TEventKind::Put;
    int player = 0;                        // 1 or 2; 0 for the end
    int cell = 0;                          // put
    int winner = 0;                        // end: 1, 2, or 0 for a drawn or abandoned game
    int count1 = 0, count2 = 0;            // end: the two players' panels
    TEndReason reason = TEndReason::Board; // end
    int64_t moves = 0;                     // takeback_offer, takeback: the record's moves kept
    bool operator==(const TEvent&) const = default;
};

// The most events that finishing a game from position can still take: a put for every empty
// cell, each perhaps followed by the other's pass, and the end.
int64_t EventsToFinish(const game_record::TPosition& position);

class TEventGame {
  public:
    // A game of two persons, no bonus, the generator at 0: the server's.
    TEventGame();
    // A game whose record starts as start does (the window's players and generator).
    explicit TEventGame(game_record::TGameRecord start);

    // Takes e when it is the next event (numbered Last() + 1) and may come now; otherwise
    // false with a one-line reason in error, and the game is as it was.
    bool Take(const TEvent& e, std::string& error);

    // The number of the latest event; 0 before the first.
    int64_t Last() const { return FLast; }
    bool Joined() const { return FLast > 0; }
    bool Over() const { return FEnded; }
    // The player whose put comes next, 0 before the join and once the game is over.
    int ToMove() const { return Joined() && !FEnded ? FRecord.Position().toMove : 0; }
    const game_record::TGameRecord& Record() const { return FRecord; }
    // The open take-back ask: the latest event when it is one, else nothing.
    const TEvent* OpenOffer() const;
    // The moves a take-back asked by player keeps: those before its latest put; -1 without one.
    int64_t TakeBackPoint(int player) const;
    // How many of player's asks the other declined since player last put or was granted one.
    int DeclinedInARow(int player) const { return FDeclined[player == 1 ? 1 : 2]; }
    // The end the board makes now (when Record().Position().Over()), and the end of a game
    // given up.
    TEvent BoardEnd() const;
    TEvent AbandonedEnd() const;

  private:
    std::string Refusal(const TEvent& e) const;

    game_record::TGameRecord FRecord;
    int64_t FLast = 0;
    bool FEnded = false;
    TEvent FLatest;
    int FDeclined[3] = {0, 0, 0};
};

} // namespace game_events

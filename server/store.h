// Where the server keeps its games: one small interface, so that a shared database can take the
// place of the embedded one. Every change reaches the store before anyone is told of it.
//
// The contract every store keeps:
// - A game is its row (id, the hashes of its seats' secrets and of its invitation, the creator's
//   address while the limit of open games counts it, when it was created, when it last changed,
//   whether and when it finished) and its events, numbered 1, 2, 3... with no gap.
// - (game id, event number) is unique: a second writer of event n of a game is refused, never
//   stored beside the first. So are a game's id and its seat 2 (taken once).
// - A store holds no secret and no invitation, only their SHA-256 (secret::Hashed): a copy of
//   the database opens no seat.
// - Commit stores each game's change whole or not at all, durably before it returns, and says
//   per game what became of it; one game's conflict or failure leaves the others stored.
// - Every method may be called from one thread at a time only (the hub's store thread), and
//   throws TStoreError when the store cannot answer.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace store {

// A store that cannot do what it was asked (the disk, a broken file). The game it was about is
// then to be read again from the store, which holds the truth.
struct TStoreError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What one game has stored.
struct TStoredGame {
    std::string id;
    std::string secret1, secret2; // the seats' secrets' hashes; secret2 empty until seat 2 is taken
    std::string invitation;       // the invitation's hash (kept after the join, for its repeat)
    std::string creator;          // the address that created it, or empty once forgotten
    int64_t created = 0;          // when, in seconds since 1970
    int64_t active = 0;           // when its latest event was made (created, before any)
    bool finished = false;
    int64_t finishedAt = 0;          // when it finished, when it did
    std::vector<std::string> events; // the events' texts, event n at [n - 1]
};

// One game's change: its creation (with its first fields), the join (secret2 set), events
// appended after firstEvent - 1 stored ones, its end.
struct TGameChange {
    std::string id;
    bool create = false;
    std::string secret1, invitation, creator; // create: hashes and the address
    int64_t created = 0;                      // create
    std::string secret2;                      // the join's hash, or empty
    int64_t firstEvent = 1;                   // the number of events[0]
    std::vector<std::string> events;
    bool finished = false; // the game is over with these events
    int64_t at = 0;        // when the change was made: its events' time, and finishedAt
};

// What became of one game's change in a commit.
enum class TCommitResult {
    Stored,   // all of it, durably
    Conflict, // none of it: another writer stored the game, its seat 2 or one of these events
    Failed,   // none of it: the store could not
};
struct TCommitOutcome {
    TCommitResult result = TCommitResult::Stored;
    std::string error; // one line, for the log, when not stored
};

// What a sweep forgets, by time in seconds since 1970 ("before": at that time or earlier).
struct TSweepRules {
    int64_t invitationsBefore = 0; // games never joined, created before: deleted
    int64_t finishedBefore = 0;    // finished games, finished before: deleted with their events
    int64_t creatorsBefore = 0;    // the creator's address of games created before: forgotten
    int64_t idleBefore = 0;        // unfinished joined games last changed before: listed
    int idleLimit = 100;           // at most so many listed at once, the longest idle first
    std::vector<std::string> keep; // games nothing may delete now (the hub holds them)
};
struct TSweepResult {
    int invitationsExpired = 0, finishedDeleted = 0, creatorsForgotten = 0;
    std::vector<TStoredGame> idle; // for the hub to end as abandoned
};

class TGameStore {
  public:
    virtual ~TGameStore() = default;
    // Stores each change (each of a different game) whole or not at all, durably before it
    // returns; one outcome per change, in order. Throws TStoreError only when nothing of the
    // commit could be stored.
    virtual std::vector<TCommitOutcome> Commit(const std::vector<TGameChange>& changes) = 0;
    // The game, or nothing when there is no such game.
    virtual std::optional<TStoredGame> Load(const std::string& id) = 0;
    // The ids of the games not over, oldest first.
    virtual std::vector<std::string> ListUnfinished() = 0;
    // How many games not over address created at or after since.
    virtual int CountOpen(const std::string& address, int64_t since) = 0;
    // Deletes and forgets by rules, gives the space back, and lists the idle games.
    virtual TSweepResult Sweep(const TSweepRules& rules) = 0;
    // Returns when the store answers a read; throws TStoreError otherwise.
    virtual void Ping() = 0;
};

} // namespace store

// Where the server keeps its games: one small interface, so that a shared database can take the
// place of the embedded one. Every change reaches the store before anyone is told of it.
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
    std::string secret1, secret2; // the seats' secrets; secret2 empty until the invitation is used
    std::string invitation;       // the invitation, kept once used for a join sent again
    std::string creator;          // the address that created it
    int64_t created = 0;          // when, in seconds since 1970
    bool finished = false;
    std::vector<std::string> events; // the events' texts, event n at [n - 1]
};

// One game's change: its creation (with its first fields), the join (secret2 set; the invitation
// is kept, to know the same join sent again), events appended after firstEvent - 1 stored ones,
// its end.
struct TGameChange {
    std::string id;
    bool create = false;
    std::string secret1, invitation, creator; // create
    int64_t created = 0;                      // create
    std::string secret2;                      // the join, or empty
    int64_t firstEvent = 1;                   // the number of events[0]
    std::vector<std::string> events;
    bool finished = false; // the game is over with these events
};

class TGameStore {
  public:
    virtual ~TGameStore() = default;
    // Writes all of changes or none of them, durably, before it returns; throws TStoreError.
    virtual void Commit(const std::vector<TGameChange>& changes) = 0;
    // The game, or nothing when there is no such game; throws TStoreError.
    virtual std::optional<TStoredGame> Load(const std::string& id) = 0;
    // The ids of the games not over, oldest first.
    virtual std::vector<std::string> ListUnfinished() = 0;
    // How many games not over address created at or after since.
    virtual int CountOpen(const std::string& address, int64_t since) = 0;
};

} // namespace store

// The games of a shard played on N jobs, and the table that counts them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "tools/tournament/schedule.h"

// A finished game, as the table adds it up and the results file keeps it.
struct TournamentGame {
    ScheduledGame game;
    int winner = 0;           // 1 or 2, 0 for a draw
    int count[3] = {0, 0, 0}; // empty cells, player 1's and player 2's panels at the end
    int moves = 0;
    double seconds = 0;           // the game's wall-clock time
    std::vector<double> times[3]; // [1] and [2]: the time of each search of player 1 and 2
};

// One player's results against another (or against all), from its own side.
struct PairingScore {
    int64_t wins = 0, draws = 0, losses = 0;
    int64_t difference = 0; // sum over the games of own final panels minus the opponent's
    int64_t Games() const { return wins + draws + losses; }
    // The share of the points, a draw half a win: 0 to 1 (0 with no games).
    double Score() const {
        return Games() ? static_cast<double>(2 * wins + draws) / static_cast<double>(2 * Games())
                       : 0;
    }
    PairingScore& operator+=(const PairingScore& o) {
        wins += o.wins;
        draws += o.draws;
        losses += o.losses;
        difference += o.difference;
        return *this;
    }
};

struct TournamentTable {
    TournamentSettings settings;
    TournamentShard shard;
    int64_t played = 0;                             // finished games
    int64_t scheduled = 0;                          // all the games of the shard
    bool stopped = false;                           // the run was stopped before its end
    std::vector<std::vector<PairingScore>> score;   // [row][column], the row player's side
    std::vector<std::vector<double>> searchSeconds; // by player: every search it made
    double seconds = 0;                             // the run's wall-clock time
    // Of a table merged from several shards: how many, and their wall-clock times added up.
    int64_t merged = 0;
    double shardSeconds = 0;

    // Counts a finished game in.
    void Add(const TournamentGame& g);
    // The row player's results against all the others.
    PairingScore Total(std::size_t row) const;
};

// Called after each finished game with the table that counts it, one call at a time.
using TournamentProgress = std::function<void(const TournamentTable&, const TournamentGame&)>;

// Plays the games of a shard in the schedule's order, so a stopped run has nearly as many games
// of every pairing; jobs games at once, each on a thread with a node table of its own (the
// memory of a node table each). The table is the same at any number of jobs, the time figures
// aside. stop ends every running game at its search's next node; unfinished games are left out.
TournamentTable PlayTournament(const TournamentSettings& settings, const TournamentShard& shard,
                               int jobs, const std::atomic<bool>* stop = nullptr,
                               const TournamentProgress& progress = {});

// A table of no games yet.
TournamentTable EmptyTournament(const TournamentSettings& settings,
                                const TournamentShard& shard = {});

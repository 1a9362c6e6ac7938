// The probe's tournament: a round robin of computer players, its cross-table as text and as a
// picture, and the command that runs it with progress and a stop on Ctrl-C.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/image.h"

class TFont;
struct TFontStyle;

struct TournamentPlayer {
    int level = 0;      // 0 to 5
    bool bonus = false; // searches 5 deeper; never set for LV0, which plays at random
    bool operator==(const TournamentPlayer&) const = default;
};

// "LV3", or "LV3+" with the bonus.
std::string PlayerName(const TournamentPlayer& player);

// Reads a comma-separated list such as "0,1,3+": levels 0 to 5, '+' for the bonus, which
// bonusAll gives to every level from 1. At least two players, none twice. On failure returns
// false with a one-line error.
bool ParsePlayers(std::string_view list, bool bonusAll, std::vector<TournamentPlayer>& players,
                  std::string& error);

// The most games of each pairing and colour, and the most shards of a run.
constexpr int64_t MaxTournamentGames = 1000000;
constexpr int64_t MaxShards = 1000000;

struct TournamentSettings {
    std::vector<TournamentPlayer> players;
    int64_t games = 1; // games of each pairing with each colour
    uint32_t seed = 1;
};

// The random seed of one game: player 1, player 2 and the game's number within their pairing
// decide it with the tournament's seed, so a game is the same whatever else is played.
uint32_t GameSeed(uint32_t seed, const TournamentPlayer& first, const TournamentPlayer& second,
                  int64_t game);

// The schedule: round k holds game k of every pairing with each colour, pairings in the order of
// the list (the first player against each later one, then the second ...), each pairing's game
// with the earlier player as player 1 before the one with the colours exchanged. A game's place
// in it, from 0, is its index.
struct ScheduledGame {
    int64_t index = 0;
    std::size_t first = 0, second = 0; // places in the player list: player 1 and player 2
    int64_t number = 0;                // the game's number within its pairing and colour
    uint32_t seed = 0;
};
int64_t ScheduledGames(const TournamentSettings& settings);
ScheduledGame ScheduleAt(const TournamentSettings& settings, int64_t index);

// A part of the schedule for one process: each round deals its games to the shards in turn,
// round k starting at shard k + 1 (after shard `count` comes shard 1 again). So a game belongs to
// shard `index` of `count` when its number plus its place in the round leaves index - 1 divided
// by count, and every shard has a like share of every pairing with each colour. Shard 1 of 1 is
// the whole schedule.
struct TournamentShard {
    int64_t index = 1, count = 1;
    bool operator==(const TournamentShard&) const = default;
    int64_t Games(const TournamentSettings& settings) const;
    bool Holds(const TournamentSettings& settings, int64_t game) const;
};

// "K/N", as --shard takes it.
std::string ShardName(const TournamentShard& shard);

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
};

// The settings as the full command that repeats the run.
std::string TournamentCommand(const TournamentSettings& settings);

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

// ---- The results file: one line per finished game, JSON Lines ----
// The first line names the run and the shard, each game follows on its own line as it
// finishes, and a last line counts them once the shard is complete. Version 1.
constexpr int ResultsVersion = 1;
std::string ResultsHeader(const TournamentSettings& settings, const TournamentShard& shard);
std::string ResultsLine(const TournamentSettings& settings, const TournamentGame& game);
std::string ResultsEnd(int64_t games, double seconds);

// Reads the results files of a run's shards into the table of the whole run. Every shard must be
// there once and complete, every game once. On failure returns false with a one-line error that
// names the file and the line.
bool MergeResults(const std::vector<std::string>& paths, TournamentTable& table,
                  std::string& error);

// The cross-tables as text; the same games give the same bytes. withTimes adds the time figures
// in a part of their own at the end.
std::string FormatTournament(const TournamentTable& table, bool withTimes);

// The cross-table as a picture: a cell per pairing coloured from red to green by the row
// player's score share, with its wins-draws-losses and mean panel difference.
TImage DrawTournament(const TournamentTable& table, const TFont& font);
// The face and size the picture is drawn with.
TFontStyle TournamentFont();

struct TournamentOutput {
    std::string pngPath;     // empty: no picture
    std::string resultsPath; // empty: no results file
    bool times = true;
};

// The cores this process may use (a batch system may give it fewer than the machine has).
int AvailableCores();

// The whole command: checks the font and the picture's and results' paths first, plays with
// progress on standard error and Ctrl-C as a stop, prints the table and writes the picture.
// jobs: games at once, 0 for AvailableCores(). Returns the exit status: 0, 130 after a stop, 1
// without a font, 2 for a file that cannot be written.
int RunTournamentCommand(const TournamentSettings& settings, const TournamentShard& shard, int jobs,
                         const TournamentOutput& output);

// The merge command: the table of the shards' results files, as the whole run prints it.
// Returns 0, 1 without a font for the picture, 2 for bad files or a picture that cannot be
// written (nothing printed on standard output then).
int RunMergeCommand(const std::vector<std::string>& paths, const TournamentOutput& output);

// The tournament's domain: its players, the games' seeds, the schedule and its shards.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TournamentPlayer {
    int level = 0;      // 0 to 5
    bool bonus = false; // searches 5 deeper; never set for LV0, which plays at random
    bool operator==(const TournamentPlayer&) const = default;
};

// "LV3", or "LV3+" with the bonus.
std::string PlayerName(const TournamentPlayer& player);

// The players as ParsePlayers reads them: "0,1,3+".
std::string LevelsText(const std::vector<TournamentPlayer>& players);

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

// "--levels 0,1,3+ --games 10 --seed 1": the settings as the options that give them.
std::string RunArguments(const TournamentSettings& settings);
// The settings as the full command that repeats the run.
std::string TournamentCommand(const TournamentSettings& settings);

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
// Reads "K/N": 1 <= K <= N <= MaxShards, plain decimals; nothing for any other text.
std::optional<TournamentShard> ParseShardName(std::string_view text);

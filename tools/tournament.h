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

struct TournamentSettings {
    std::vector<TournamentPlayer> players;
    int64_t games = 1; // games of each pairing with each colour
    uint32_t seed = 1;
};

// The random seed of one game: player 1, player 2 and the game's number within their pairing
// decide it with the tournament's seed, so a game is the same whatever else is played.
uint32_t GameSeed(uint32_t seed, const TournamentPlayer& first, const TournamentPlayer& second,
                  int64_t game);

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
    int64_t played = 0;                             // finished games
    int64_t scheduled = 0;                          // all the games of the round robin
    bool stopped = false;                           // the run was stopped before its end
    std::vector<std::vector<PairingScore>> score;   // [row][column], the row player's side
    std::vector<std::vector<double>> searchSeconds; // by player: every search it made
    double seconds = 0;                             // the run's wall-clock time
};

// The settings as the full command that repeats the run.
std::string TournamentCommand(const TournamentSettings& settings);

// Called after each finished game.
using TournamentProgress = std::function<void(const TournamentTable&)>;

// Plays the round robin: round k holds game k of every pairing with each colour, so a stopped run
// has nearly as many games of every pairing. stop ends the run at the running search's next
// node; the unfinished game is left out.
TournamentTable PlayTournament(const TournamentSettings& settings,
                               const std::atomic<bool>* stop = nullptr,
                               const TournamentProgress& progress = {});

// A table of no games yet.
TournamentTable EmptyTournament(const TournamentSettings& settings);

// The cross-tables as text; the same games give the same bytes. withTimes adds the time figures
// in a part of their own at the end.
std::string FormatTournament(const TournamentTable& table, bool withTimes);

// The cross-table as a picture: a cell per pairing coloured from red to green by the row
// player's score share, with its wins-draws-losses and mean panel difference.
TImage DrawTournament(const TournamentTable& table, const TFont& font);
// The face and size the picture is drawn with.
TFontStyle TournamentFont();

struct TournamentOutput {
    std::string pngPath; // empty: no picture
    bool times = true;
};

// The whole command: checks the font and the picture's path first, plays with progress on
// standard error and Ctrl-C as a stop, prints the table and writes the picture. Returns the
// exit status: 0, 130 after a stop, 1 without a font, 2 for a picture that cannot be written.
int RunTournamentCommand(const TournamentSettings& settings, const TournamentOutput& output);

#include "tools/tournament/schedule.h"

#include <algorithm>

#include "platform/input_text.h"

namespace {

// Each player's own number, so that a game's seed does not hang on where the list names it.
uint64_t PlayerCode(const TournamentPlayer& p) {
    return static_cast<uint64_t>(p.level) * 2 + (p.bonus ? 1 : 0);
}

uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A round: one game of every pairing with each colour.
int64_t GamesPerRound(const TournamentSettings& settings) {
    const auto n = static_cast<int64_t>(settings.players.size());
    return n * (n - 1);
}

// "3", or "3+" with the bonus: a player as a list of levels names it.
std::string LevelName(const TournamentPlayer& p) {
    return std::to_string(p.level) + (p.bonus ? "+" : "");
}

} // namespace

std::string PlayerName(const TournamentPlayer& player) {
    return "LV" + LevelName(player);
}

std::string LevelsText(const std::vector<TournamentPlayer>& players) {
    std::string levels;
    for (const TournamentPlayer& p : players) levels += (levels.empty() ? "" : ",") + LevelName(p);
    return levels;
}

bool ParsePlayers(std::string_view list, bool bonusAll, std::vector<TournamentPlayer>& players,
                  std::string& error) {
    players.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = std::min(list.find(',', start), list.size());
        const std::string_view item = list.substr(start, comma - start);
        const bool plus = item.size() == 2 && item[1] == '+';
        if ((item.size() != 1 && !plus) || item[0] < '0' || item[0] > '5') {
            error = "each player of LIST is a level 0-5, with '+' for the bonus (got " +
                    QuotedInput(item, 16, TShownBytes::Ascii) + ")";
            return false;
        }
        TournamentPlayer p{item[0] - '0', false};
        if (plus && p.level == 0) {
            error = "LV0 plays at random and has no bonus (got '0+')";
            return false;
        }
        p.bonus = p.level > 0 && (plus || bonusAll);
        if (std::find(players.begin(), players.end(), p) != players.end()) {
            error = PlayerName(p) + " is listed twice";
            return false;
        }
        players.push_back(p);
        if (comma == list.size()) break;
        start = comma + 1;
    }
    if (players.size() < 2) {
        error = "a tournament needs at least two players";
        return false;
    }
    return true;
}

uint32_t GameSeed(uint32_t seed, const TournamentPlayer& first, const TournamentPlayer& second,
                  int64_t game) {
    uint64_t h = Mix(seed);
    h = Mix(h ^ PlayerCode(first));
    h = Mix(h ^ PlayerCode(second));
    h = Mix(h ^ static_cast<uint64_t>(game));
    return static_cast<uint32_t>(h >> 32);
}

std::string RunArguments(const TournamentSettings& settings) {
    return "--levels " + LevelsText(settings.players) + " --games " +
           std::to_string(settings.games) + " --seed " + std::to_string(settings.seed);
}

std::string TournamentCommand(const TournamentSettings& settings) {
    return "melvaron-engine tournament " + RunArguments(settings);
}

int64_t ScheduledGames(const TournamentSettings& settings) {
    return GamesPerRound(settings) * settings.games;
}

ScheduledGame ScheduleAt(const TournamentSettings& settings, int64_t index) {
    const std::size_t n = settings.players.size();
    const int64_t perRound = GamesPerRound(settings);
    ScheduledGame g;
    g.index = index;
    g.number = index / perRound;
    auto pairing = static_cast<std::size_t>(index % perRound);
    const bool exchanged = pairing % 2 == 1;
    pairing /= 2;
    std::size_t a = 0;
    for (; pairing >= n - 1 - a; ++a) pairing -= n - 1 - a;
    const std::size_t b = a + 1 + pairing;
    g.first = exchanged ? b : a;
    g.second = exchanged ? a : b;
    g.seed =
        GameSeed(settings.seed, settings.players[g.first], settings.players[g.second], g.number);
    return g;
}

bool TournamentShard::Holds(const TournamentSettings& settings, int64_t game) const {
    const int64_t perRound = GamesPerRound(settings);
    return (game / perRound + game % perRound) % count == index - 1;
}

int64_t TournamentShard::Games(const TournamentSettings& settings) const {
    // Round k holds the places p with (k + p) % count == index - 1: those from the first such
    // place on, every count-th.
    const int64_t perRound = GamesPerRound(settings);
    int64_t games = 0;
    for (int64_t round = 0; round < settings.games; ++round) {
        const int64_t first = ((index - 1 - round) % count + count) % count;
        if (first < perRound) games += (perRound - 1 - first) / count + 1;
    }
    return games;
}

std::string ShardName(const TournamentShard& shard) {
    return std::to_string(shard.index) + "/" + std::to_string(shard.count);
}

std::optional<TournamentShard> ParseShardName(std::string_view text) {
    const std::size_t slash = text.find('/');
    int64_t k = 0, n = 0;
    if (slash == std::string_view::npos || text.size() > 16 ||
        ParseDecimal(text.substr(0, slash), k) != TDecimal::Ok ||
        ParseDecimal(text.substr(slash + 1), n) != TDecimal::Ok || n < 1 || n > MaxShards ||
        k < 1 || k > n)
        return std::nullopt;
    return TournamentShard{k, n};
}

#include "tools/tournament.h"

#include <algorithm>
#include <chrono>

#include "engine/computer_game.h"
#include "engine/random.h"
#include "engine/search.h"
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

} // namespace

std::string PlayerName(const TournamentPlayer& player) {
    return "LV" + std::to_string(player.level) + (player.bonus ? "+" : "");
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

std::string TournamentCommand(const TournamentSettings& settings) {
    std::string levels;
    for (const TournamentPlayer& p : settings.players)
        levels += (levels.empty() ? "" : ",") + PlayerName(p).substr(2);
    return "melvaron-engine tournament --levels " + levels + " --games " +
           std::to_string(settings.games) + " --seed " + std::to_string(settings.seed);
}

TournamentTable EmptyTournament(const TournamentSettings& settings) {
    const std::size_t n = settings.players.size();
    TournamentTable t;
    t.settings = settings;
    t.scheduled = static_cast<int64_t>(n * (n - 1)) * settings.games;
    t.score.assign(n, std::vector<PairingScore>(n));
    t.searchSeconds.assign(n, {});
    return t;
}

TournamentTable PlayTournament(const TournamentSettings& settings, const std::atomic<bool>* stop,
                               const TournamentProgress& progress) {
    const auto start = std::chrono::steady_clock::now();
    const std::size_t n = settings.players.size();
    TournamentTable t = EmptyTournament(settings);

    for (int64_t game = 0; game < settings.games; ++game) {
        for (std::size_t a = 0; a < n; ++a) {
            for (std::size_t b = a + 1; b < n; ++b) {
                for (const auto& [first, second] : {std::pair{a, b}, std::pair{b, a}}) {
                    const TournamentPlayer& p1 = settings.players[first];
                    const TournamentPlayer& p2 = settings.players[second];
                    const int depth[3] = {0, LevelDepth(p1.level, p1.bonus ? BonusDepth : 0),
                                          LevelDepth(p2.level, p2.bonus ? BonusDepth : 0)};
                    std::vector<double> times[3];
                    game_random::Seed(GameSeed(settings.seed, p1, p2, game));
                    const ComputerGame g =
                        PlayComputerGame(depth, stop, [&](int mover, double seconds) {
                            times[mover].push_back(seconds);
                        });
                    t.seconds =
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                            .count();
                    if (!g.finished) {
                        t.stopped = true;
                        return t;
                    }
                    ++t.played;
                    PairingScore& s1 = t.score[first][second];
                    PairingScore& s2 = t.score[second][first];
                    (g.winner == 1 ? s1.wins : g.winner == 2 ? s1.losses : s1.draws)++;
                    (g.winner == 2 ? s2.wins : g.winner == 1 ? s2.losses : s2.draws)++;
                    s1.difference += g.count[1] - g.count[2];
                    s2.difference += g.count[2] - g.count[1];
                    auto& seconds1 = t.searchSeconds[first];
                    auto& seconds2 = t.searchSeconds[second];
                    seconds1.insert(seconds1.end(), times[1].begin(), times[1].end());
                    seconds2.insert(seconds2.end(), times[2].begin(), times[2].end());
                    if (progress) progress(t);
                }
            }
        }
    }
    return t;
}

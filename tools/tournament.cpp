#include "tools/tournament.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <memory>

#include "engine/computer_game.h"
#include "engine/input_text.h"
#include "engine/random.h"
#include "engine/search.h"
#include "platform/text.h"
#include "tools/stats.h"

namespace {

constexpr int BonusDepth = 5;

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

std::string Format(const char* format, auto... values) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, values...);
    return buf;
}

std::string Pad(const std::string& s, std::size_t width, bool right) {
    const std::string fill(s.size() < width ? width - s.size() : 0, ' ');
    return right ? fill + s : s + fill;
}

std::string Clock(double seconds) {
    const auto s = static_cast<int64_t>(seconds + 0.5);
    if (s >= 3600) return Format("%" PRId64 ":%02d:%02d", s / 3600, int(s / 60 % 60), int(s % 60));
    return Format("%d:%02d", int(s / 60), int(s % 60));
}

// Set from the signal handler; read by the running search at every node.
std::atomic<bool> Interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set in a signal handler");

extern "C" void OnInterrupt(int) {
    Interrupted.store(true);
}

// The first Ctrl-C stops the run; a second one ends the program at once.
void StopOnInterrupt() {
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
}

// Progress on standard error: one line rewritten in place on a terminal, a few times a second at
// most; elsewhere a plain line every ten seconds, so that a log is not flooded.
class ProgressLine {
  public:
    ProgressLine() : FTerminal(isatty(STDERR_FILENO) == 1) {}

    void Show(const TournamentTable& t, bool last) {
        const double now = t.seconds;
        if (!last && now - FShown < (FTerminal ? 0.25 : 10)) return;
        FShown = now;
        std::string line = Format("tournament: %" PRId64 " of %" PRId64 " games, %s elapsed",
                                  t.played, t.scheduled, Clock(now).c_str());
        if (t.stopped)
            line += ", stopped";
        else if (t.played > 0 && t.played < t.scheduled)
            line += ", about " +
                    Clock(now / static_cast<double>(t.played) *
                          static_cast<double>(t.scheduled - t.played)) +
                    " left";
        if (FTerminal) {
            std::fprintf(stderr, "\r%s\033[K%s", line.c_str(), last ? "\n" : "");
        } else {
            std::fprintf(stderr, "%s\n", line.c_str());
        }
        std::fflush(stderr);
    }

  private:
    bool FTerminal;
    double FShown = 0;
};

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

std::string FormatTournament(const TournamentTable& t, bool withTimes) {
    const std::size_t n = t.settings.players.size();
    std::vector<std::string> names;
    for (const TournamentPlayer& p : t.settings.players) names.push_back(PlayerName(p));

    std::string out = TournamentCommand(t.settings) + "\n";
    out += "each pairing plays " + std::to_string(t.settings.games) +
           (t.settings.games == 1 ? " game" : " games") + " with each colour\n";
    out += "games: " + std::to_string(t.played) + " of " + std::to_string(t.scheduled);
    if (t.played < t.scheduled) out += " (partial: the run was stopped)";
    out += "\n";

    // Two tables of the same shape: the cell texts are made first so the columns fit them.
    auto table = [&](const std::string& heading, auto cell, bool withScore) {
        std::vector<std::vector<std::string>> cells(n, std::vector<std::string>(n, "-"));
        std::size_t width = 3;
        for (const std::string& name : names) width = std::max(width, name.size());
        for (std::size_t r = 0; r < n; ++r)
            for (std::size_t c = 0; c < n; ++c) {
                if (r != c && t.score[r][c].Games() > 0) cells[r][c] = cell(t.score[r][c]);
                width = std::max(width, cells[r][c].size());
            }
        std::string s = "\n" + heading + "\n" + Pad("", 5, false);
        for (const std::string& name : names) s += "  " + Pad(name, width, true);
        if (withScore) s += "   score";
        s += "\n";
        for (std::size_t r = 0; r < n; ++r) {
            s += Pad(names[r], 5, false);
            for (std::size_t c = 0; c < n; ++c) s += "  " + Pad(cells[r][c], width, true);
            if (withScore) {
                PairingScore total;
                for (const PairingScore& p : t.score[r]) total += p;
                s += "  " +
                     Pad(total.Games() ? Format("%.1f%%", 100 * total.Score()) : "-", 6, true);
            }
            s += "\n";
        }
        return s;
    };
    out += table(
        "wins-draws-losses of the row player against the column player, and its score",
        [](const PairingScore& p) {
            return std::to_string(p.wins) + "-" + std::to_string(p.draws) + "-" +
                   std::to_string(p.losses);
        },
        true);
    out += table(
        "mean final panel difference: the row player's panels minus the column player's",
        [](const PairingScore& p) {
            return Format("%+.1f",
                          static_cast<double>(p.difference) / static_cast<double>(p.Games()));
        },
        false);

    if (withTimes) {
        out += "\n-- time figures: they vary from run to run --\n";
        out += "time to move in seconds, over every search of finished games:\n";
        out += "player    median     worst  searches\n";
        for (std::size_t r = 0; r < n; ++r) {
            const std::vector<double>& v = t.searchSeconds[r];
            const double worst = v.empty() ? 0 : *std::max_element(v.begin(), v.end());
            out +=
                Format("%-5s  %9.6f %9.6f  %8zu\n", names[r].c_str(), Median(v), worst, v.size());
        }
        out += Format("elapsed: %.1f s\n", t.seconds);
    }
    return out;
}

int RunTournamentCommand(const TournamentSettings& settings, const TournamentOutput& output) {
    // The picture's needs are checked before a long run, not after it: the font, and the path,
    // which gets the empty table until the real one replaces it.
    std::unique_ptr<TFont> font;
    auto save = [&](const TournamentTable& t) {
        std::string error;
        if (DrawTournament(t, *font).SavePng(output.pngPath, error)) return true;
        for (char& c : error)
            if (static_cast<unsigned char>(c) < 0x20) c = '?'; // the path may hold any bytes
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return false;
    };
    if (!output.pngPath.empty()) {
        try {
            font = std::make_unique<TFont>(TournamentFont());
        } catch (const TFontMissing& e) {
            std::fprintf(stderr, "error: %s\n", e.what());
            return 1;
        }
        if (!save(EmptyTournament(settings))) return 2;
    }

    StopOnInterrupt();
    ProgressLine line;
    const TournamentTable t = PlayTournament(
        settings, &Interrupted, [&](const TournamentTable& t) { line.Show(t, false); });
    line.Show(t, true);
    std::fputs(FormatTournament(t, output.times).c_str(), stdout);
    std::fflush(stdout);
    if (font && !save(t)) return 2;
    return t.stopped ? 130 : 0;
}

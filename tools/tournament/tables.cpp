// The tournament's cross-tables as text.
#include <algorithm>

#include "tools/stats.h"
#include "tools/tournament/tables.h"

namespace {

std::string Pad(const std::string& s, std::size_t width, bool right) {
    const std::string fill(s.size() < width ? width - s.size() : 0, ' ');
    return right ? fill + s : s + fill;
}

} // namespace

std::vector<std::string> PlayerNames(const TournamentSettings& settings) {
    std::vector<std::string> names;
    for (const TournamentPlayer& p : settings.players) names.push_back(PlayerName(p));
    return names;
}

std::string GamesPlayed(const TournamentTable& t) {
    return "games: " + std::to_string(t.played) + " of " + std::to_string(t.scheduled);
}

std::string WinsDrawsLosses(const PairingScore& p) {
    return std::to_string(p.wins) + "-" + std::to_string(p.draws) + "-" + std::to_string(p.losses);
}

std::string MeanDifference(const PairingScore& p) {
    return Format("%+.1f", static_cast<double>(p.difference) / static_cast<double>(p.Games()));
}

std::string ScorePercent(const PairingScore& p) {
    return Format("%.1f%%", 100 * p.Score());
}

std::string FormatTournament(const TournamentTable& t, bool withTimes) {
    const std::size_t n = t.settings.players.size();
    const std::vector<std::string> names = PlayerNames(t.settings);

    const bool part = t.shard.count > 1;
    std::string out = TournamentCommand(t.settings);
    if (part) out += " --shard " + ShardName(t.shard);
    out += "\neach pairing plays " + std::to_string(t.settings.games) +
           (t.settings.games == 1 ? " game" : " games") + " with each colour\n";
    out += GamesPlayed(t);
    if (part)
        out += " in shard " + std::to_string(t.shard.index) + " of " +
               std::to_string(t.shard.count) + " (" + std::to_string(ScheduledGames(t.settings)) +
               " in the run)";
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
                const PairingScore total = t.Total(r);
                s += "  " + Pad(total.Games() ? ScorePercent(total) : "-", 6, true);
            }
            s += "\n";
        }
        return s;
    };
    out += table("wins-draws-losses of the row player against the column player, and its score",
                 WinsDrawsLosses, true);
    out += table("mean final panel difference: the row player's panels minus the column player's",
                 MeanDifference, false);

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
        if (t.merged > 1)
            out += Format("elapsed: %.1f s, the longest of %lld shards (%.1f s in all)\n",
                          t.seconds, static_cast<long long>(t.merged), t.shardSeconds);
        else
            out += Format("elapsed: %.1f s\n", t.seconds);
    }
    return out;
}

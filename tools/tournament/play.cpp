#include "tools/tournament/play.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "engine/computer_game.h"
#include "engine/node_table.h"
#include "engine/random.h"
#include "engine/search.h"

TournamentTable EmptyTournament(const TournamentSettings& settings, const TournamentShard& shard) {
    const std::size_t n = settings.players.size();
    TournamentTable t;
    t.settings = settings;
    t.shard = shard;
    t.scheduled = shard.Games(settings);
    t.score.assign(n, std::vector<PairingScore>(n));
    t.searchSeconds.assign(n, {});
    return t;
}

void TournamentTable::Add(const TournamentGame& g) {
    ++played;
    const std::size_t first = g.game.first, second = g.game.second;
    PairingScore& s1 = score[first][second];
    PairingScore& s2 = score[second][first];
    (g.winner == 1 ? s1.wins : g.winner == 2 ? s1.losses : s1.draws)++;
    (g.winner == 2 ? s2.wins : g.winner == 1 ? s2.losses : s2.draws)++;
    s1.difference += g.count[1] - g.count[2];
    s2.difference += g.count[2] - g.count[1];
    searchSeconds[first].insert(searchSeconds[first].end(), g.times[1].begin(), g.times[1].end());
    searchSeconds[second].insert(searchSeconds[second].end(), g.times[2].begin(), g.times[2].end());
}

PairingScore TournamentTable::Total(std::size_t row) const {
    PairingScore total;
    for (const PairingScore& p : score[row]) total += p;
    return total;
}

TournamentTable PlayTournament(const TournamentSettings& settings, const TournamentShard& shard,
                               int jobs, const std::atomic<bool>* stop,
                               const TournamentProgress& progress) {
    const auto start = std::chrono::steady_clock::now();
    auto since = [](std::chrono::steady_clock::time_point from) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
    };
    TournamentTable t = EmptyTournament(settings, shard);
    const int64_t all = ScheduledGames(settings);
    std::mutex mutex;             // guards t and the progress calls
    std::atomic<int64_t> next{0}; // the place in the schedule where the next job looks

    // Each job takes the next game of the shard until none is left. Its games share its node
    // table, emptied for each, which is what keeps a game's results and times its own.
    auto job = [&] {
        std::unique_ptr<node_table::Table> table;
        for (;;) {
            if (stop && stop->load()) return;
            const int64_t index = next.fetch_add(1);
            if (index >= all) return;
            if (!shard.Holds(settings, index)) continue;
            if (!table) table = std::make_unique<node_table::Table>();
            TournamentGame g;
            g.game = ScheduleAt(settings, index);
            const TournamentPlayer& p1 = settings.players[g.game.first];
            const TournamentPlayer& p2 = settings.players[g.game.second];
            const int depth[3] = {0, LevelDepth(p1.level, p1.bonus ? BonusDepth : 0),
                                  LevelDepth(p2.level, p2.bonus ? BonusDepth : 0)};
            const auto gameStart = std::chrono::steady_clock::now();
            game_random::Seed(g.game.seed);
            const ComputerGame c = PlayComputerGame(
                depth, stop, [&](int mover, double seconds) { g.times[mover].push_back(seconds); },
                table.get());
            if (!c.finished) return;
            g.seconds = since(gameStart);
            g.winner = c.winner;
            std::copy(std::begin(c.count), std::end(c.count), g.count);
            g.moves = c.moves;
            const std::lock_guard<std::mutex> lock(mutex);
            t.Add(g);
            t.seconds = since(start);
            if (progress) progress(t, g);
        }
    };
    std::vector<std::thread> helpers;
    const int64_t wanted = std::min<int64_t>(std::max(jobs, 1), std::max<int64_t>(t.scheduled, 1));
    try {
        while (static_cast<int64_t>(helpers.size()) + 1 < wanted) helpers.emplace_back(job);
    } catch (const std::system_error&) {
        // No more threads to be had: the games are shared among those there are.
    }
    job();
    for (std::thread& h : helpers) h.join();
    t.seconds = since(start);
    t.stopped = t.played < t.scheduled; // only a stop leaves games unplayed
    return t;
}

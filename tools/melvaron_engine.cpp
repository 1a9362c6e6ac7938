// melvaron-engine: the engine probe. Checks, plays and searches positions read from standard
// input, plays whole computer games and measures the search.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/cli.h"
#include "engine/bench_positions.h"
#include "engine/board_text.h"
#include "engine/computer_game.h"
#include "engine/node_table.h"
#include "engine/random.h"
#include "engine/rules.h"
#include "engine/search_pool.h"
#include "engine/tables.h"
#include "engine/think_thread.h"
#include "platform/input_text.h"
#include "tools/stats.h"
#include "tools/tournament/commands.h"

namespace {

constexpr std::size_t MaxBoardInput = 1 << 20;
constexpr int64_t MaxGames = 1000000;
constexpr int MaxDepth = 10;
constexpr int MaxThreads = node_table::MaxThreads;
constexpr int MaxJobs = 1024;

// Bad input: the one-line message has been printed; unwinds to main for the exit code.
struct BadInput {};

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "error: %s\n", what.c_str());
    throw BadInput{};
}

Board ReadBoard() {
    std::string text;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, stdin)) > 0) {
        text.append(buf, n);
        if (text.size() > MaxBoardInput) Fail("board input is too long");
    }
    Board board;
    std::string error;
    if (!ParseBoard(text, board, error)) Fail(error);
    return board;
}

std::vector<int> LegalCells(const Board& b, int player) {
    std::vector<int> cells;
    for (int cell = FirstPlayable; cell <= LastPlayable; ++cell)
        if (b[cell] == CellEmpty && (rules::CheckPut(cell, b.data()) & player))
            cells.push_back(cell);
    return cells;
}

std::string Join(const std::vector<int>& cells) {
    std::string s;
    for (int c : cells) s += ' ' + std::to_string(c);
    return s;
}

std::unique_ptr<TThinkThread> MakeThread() {
    auto t = TThread::TryCreate<TThinkThread>(true);
    if (!t) {
        std::fprintf(stderr, "error: cannot create a thread object\n");
        std::exit(cli::ExitFailure);
    }
    return t;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int Legal() {
    const Board b = ReadBoard();
    std::printf("1:%s\n2:%s\nmask: %d\n", Join(LegalCells(b, 1)).c_str(),
                Join(LegalCells(b, 2)).c_str(), rules::CheckBoard(b.data()));
    return 0;
}

int Put(int cell, int player) {
    Board b = ReadBoard();
    if (!IsPlayableCell(cell)) Fail("cell " + std::to_string(cell) + " is not a playable cell");
    if (b[cell] != CellEmpty) Fail("cell " + std::to_string(cell) + " is not empty");
    if (!(rules::CheckPut(cell, b.data()) & player))
        Fail("player " + std::to_string(player) + " may not put on cell " + std::to_string(cell));
    const int32_t* flips = rules::PutPanel(cell, player, b.data());
    std::string line = "flips:";
    for (int i = 0; i < FlipListSize; ++i) {
        line += ' ' + std::to_string(flips[i]);
        if (i >= 1 && flips[i] == -1) break;
    }
    std::printf("%s\n%s", line.c_str(), FormatBoard(b.data()).c_str());
    return 0;
}

int Eval(int side, int depth) {
    const Board b = ReadBoard();
    TSearch search; // run here: nothing needs a worker
    for (int cell : LegalCells(b, side))
        std::printf("%d %d\n", cell, search.Evaluate(cell, side, b.data(), depth));
    std::printf("progress: %d\n", search.FProgress.load());
    return 0;
}

int Think(int side, int depth, int random) {
    const Board b = ReadBoard();
    if (LegalCells(b, side).empty()) Fail("player " + std::to_string(side) + " has no legal move");

    // As the game does it: a rules object that is never started, and a worker made for the move;
    // when no worker can be made, the rules object searches on this thread.
    auto rules = MakeThread();
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<TThinkThread> search = TThread::TryCreate<TThinkThread>(true);
    TThinkThread* used = search ? search.get() : rules.get();
    used->Prepare(side, depth, b.data(), random);
    int32_t result;
    if (search) {
        search->Resume();
        while ((result = search->FResult.load()) == ResultNotReady)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        search->WaitFor();
    } else {
        result = rules->Think();
    }
    const double seconds = Seconds(start);
    std::printf("result: %d\nprogress: %d\nnodes: %" PRIu64 "\nseconds: %.6f\n", result,
                used->FProgress.load(), used->EvaluateCalls(), seconds);
    return 0;
}

struct SelfplayOptions {
    int level[3] = {0, 0, 0};
    bool bonus = false;
    int64_t games = 1;
    uint32_t seed = static_cast<uint32_t>(std::time(nullptr));
};

int Selfplay(const SelfplayOptions& o) {
    game_random::Seed(o.seed);
    const int bonus = o.bonus ? BonusDepth : 0;
    const int depth[3] = {0, LevelDepth(o.level[1], bonus), LevelDepth(o.level[2], bonus)};
    int64_t wins[3] = {0, 0, 0};
    for (int64_t game = 1; game <= o.games; ++game) {
        const ComputerGame g = PlayComputerGame(depth);
        ++wins[g.winner];
        std::printf("game %" PRId64 ": 1=%d 2=%d empty=%d winner=%d moves=%d\n", game, g.count[1],
                    g.count[2], g.count[0], g.winner, g.moves);
        std::fflush(stdout);
    }
    std::printf("total: 1 wins %" PRId64 ", 2 wins %" PRId64 ", draws %" PRId64 "\n", wins[1],
                wins[2], wins[0]);
    return 0;
}

// The options tournament and merge share: the picture and the time figures.
struct TableOptions {
    TournamentOutput output;
    bool pngGiven = false;

    void Add(CLI::App& command) {
        command
            .add_option_function<std::string>(
                "--png",
                [this](const std::string& path) {
                    output.pngPath = path;
                    pngGiven = true;
                },
                "also draw the table into FILE (needs the game's font)")
            ->type_name("FILE");
        command.add_flag_callback(
            "--no-times", [this] { output.times = false; }, "leave out the time figures");
    }
    // An empty name is a mistake, not a way to ask for no picture.
    void Check() const {
        if (pngGiven && output.pngPath.empty()) Fail("--png needs a file name");
    }
};

struct TournamentOptions {
    TournamentSettings settings;
    TournamentShard shard;
    TableOptions table; // and the results file's name
    std::string levels = "0,1,2,3,4,5";
    bool bonus = false;
    bool resultsGiven = false;
    int jobs = 0; // 0: the cores
};

// --shard's value: shard K of N.
TournamentShard ShardOption(const std::string& text) {
    if (const std::optional<TournamentShard> shard = ParseShardName(text)) return *shard;
    throw CLI::ValidationError("--shard K/N is shard K of N, 1 <= K <= N <= " +
                               std::to_string(MaxShards) + " (got '" + cli::Shown(text) + "')");
}

int Tournament(TournamentOptions& o, bool threadsGiven) {
    o.table.Check();
    if (o.resultsGiven && o.table.output.resultsPath.empty()) Fail("--results needs a file name");
    std::string error;
    if (!ParsePlayers(o.levels, o.bonus, o.settings.players, error)) Fail(error);
    // Games at once keep the cores busy; each game's searches take one unless told otherwise.
    if (!threadsGiven) search_pool::SetDefaultThreads(1);
    return RunTournamentCommand(o.settings, o.shard, o.jobs, o.table.output);
}

int Merge(const std::vector<std::string>& paths, const TableOptions& table) {
    table.Check();
    return RunMergeCommand(paths, table.output);
}

// A set of positions to search, by name.
struct BenchSet {
    const char* name;
    const BenchPosition* positions;
    int count;
};
constexpr BenchSet BenchSets[] = {{"midgame", BenchPositions, BenchPositionCount},
                                  {"hard", HardPositions, HardPositionCount}};

int Bench(int depth, const std::string& setName) {
    const BenchSet* set = &BenchSets[0];
    for (const BenchSet& s : BenchSets)
        if (setName == s.name) set = &s;
    TSearch search; // run here: nothing needs a worker
    uint64_t totalNodes = 0;
    double totalSeconds = 0;
    std::vector<double> times;
    for (int i = 0; i < set->count; ++i) {
        const Board b = BenchBoard(set->positions[i]);
        // Each search as the first of a game: the hard set's positions come from one game, and
        // one would otherwise find much of the next remembered.
        node_table::Table::Forget();
        search.Prepare(set->positions[i].side, depth, b.data(), 0);
        const uint64_t before = search.EvaluateCalls();
        const auto start = std::chrono::steady_clock::now();
        search.Think();
        const double seconds = Seconds(start);
        const uint64_t nodes = search.EvaluateCalls() - before;
        totalNodes += nodes;
        totalSeconds += seconds;
        times.push_back(seconds);
        std::printf("position %d: nodes=%" PRIu64 " seconds=%.6f\n", i + 1, nodes, seconds);
    }
    const double rate = totalSeconds > 0 ? static_cast<double>(totalNodes) / totalSeconds : 0;
    std::printf("nodes/s: %.0f\n", rate);
    const std::size_t worst = std::max_element(times.begin(), times.end()) - times.begin();
    std::printf("time to move: median %.6f s, worst %.6f s (position %zu), total %.6f s\n",
                Median(times), times[worst], worst + 1, totalSeconds);
    return 0;
}

// The slowest moves of LV5+ in real games: player 1 at LV5+ against LV0, LV2 and LV5+, each
// game seeded with seed, 1 and the opponent's depth, as the game draws its random values. Every
// LV5+ search is timed; the slowest are printed as entries of the bench positions' table.
int Hardest(int count, uint32_t seed) {
    struct Move {
        double seconds;
        int side;
        Board board;
        std::string game;
        int number;
    };
    std::vector<Move> moves;
    const int deep = LevelDepth(5, BonusDepth);
    const struct {
        const char* name;
        int depth;
    } opponents[] = {{"LV0", LevelDepth(0, 0)}, {"LV2", LevelDepth(2, 0)}, {"LV5+", deep}};
    for (const auto& opponent : opponents) {
        const int depth[3] = {0, deep, opponent.depth};
        const uint32_t gameSeed = seed + static_cast<uint32_t>(opponent.depth);
        const std::string game =
            std::string("LV5+ against ") + opponent.name + ", seed " + std::to_string(gameSeed);
        node_table::Table::Forget(); // a game of its own, as the window plays it
        game_random::Seed(gameSeed);
        Board b = InitialBoard;
        TSearch search;
        int number = 0;
        for (int mover = 1; mover != 0; mover = rules::NextMover(mover, b.data())) {
            search.Prepare(mover, depth[mover], b.data(), game_random::Draw());
            const auto start = std::chrono::steady_clock::now();
            const int cell = search.Think();
            const double seconds = Seconds(start);
            ++number;
            if (depth[mover] == deep) moves.push_back({seconds, mover, b, game, number});
            std::fprintf(stderr, "%s, move %d: %.3f s\n", game.c_str(), number, seconds);
            rules::PutPanel(cell, mover, b.data());
        }
    }
    std::stable_sort(moves.begin(), moves.end(),
                     [](const Move& a, const Move& b) { return a.seconds > b.seconds; });
    moves.resize(std::min(moves.size(), static_cast<std::size_t>(count)));
    for (const Move& m : moves) {
        std::printf("    {%d, // %s, move %d: %.2f s\n", m.side, m.game.c_str(), m.number,
                    m.seconds);
        const std::string diagram = FormatBoard(m.board.data());
        std::size_t line = 0;
        for (std::size_t end; (end = diagram.find('\n', line)) != std::string::npos; line = end + 1)
            std::printf("     \"%s\\n\"%s\n", diagram.substr(line, end - line).c_str(),
                        end + 1 == diagram.size() ? "}," : "");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Answers questions about positions of the game, plays computer games and measures "
                 "the search.",
                 "melvaron-engine"};
    cli::Setup(app);
    app.require_subcommand(1);
    app.footer("legal, put, eval and think read a board from standard input: 6 lines of 12 cells\n"
               "(rows 1 to 6, columns 1 to 12), '.' empty, '1' and '2' the players' panels;\n"
               "whitespace between cells is ignored. Cells are board indexes: row * 14 + column.\n"
               "Bad input prints one line starting with 'error: ' and exits with status 2.");
    std::function<int()> run;

    CLI::App* legal =
        cli::AddCommand(app, "legal", "cells where each player may put, and the mobility mask");
    legal->callback([&] { run = [] { return Legal(); }; });

    int cell = 0, player = 0, side = 0, depth = 0, random = 0;
    CLI::App* put =
        cli::AddCommand(app, "put", "PLAYER puts on CELL: the flip list and the new board");
    cli::AddNumber(*put, "CELL", cell, 0, BoardSize - 1, "a board index");
    cli::AddNumber(*put, "PLAYER", player, 1, 2, "the player who puts");
    put->callback([&] { run = [&] { return Put(cell, player); }; });

    CLI::App* eval = cli::AddCommand(
        app, "eval",
        "the score of each legal move of SIDE at DEPTH, and the progress count of all "
        "the evaluations");
    cli::AddNumber(*eval, "SIDE", side, 1, 2, "the player to move");
    cli::AddNumber(*eval, "DEPTH", depth, 1, MaxDepth, "search depth");
    eval->callback([&] { run = [&] { return Eval(side, depth); }; });

    CLI::App* think = cli::AddCommand(
        app, "think",
        "the move the computer picks for SIDE at DEPTH with RANDOM, searched on a worker "
        "thread");
    cli::AddNumber(*think, "SIDE", side, 1, 2, "the player to move");
    cli::AddNumber(*think, "DEPTH", depth, 0, MaxDepth, "search depth");
    cli::AddNumber(*think, "RANDOM", random, 0, 32767, "the random number of the move");
    think->callback([&] { run = [&] { return Think(side, depth, random); }; });

    SelfplayOptions self;
    CLI::App* selfplay = cli::AddCommand(app, "selfplay", "computer games, LV1 against LV2");
    cli::AddNumber(*selfplay, "LV1", self.level[1], 0, 5, "player 1's level");
    cli::AddNumber(*selfplay, "LV2", self.level[2], 0, 5, "player 2's level");
    selfplay->add_flag("--bonus", self.bonus,
                       "search " + std::to_string(BonusDepth) + " deeper at LV1-LV5");
    cli::AddNumber(*selfplay, "--games N", self.games, 1, MaxGames, "games to play (default 1)");
    cli::AddNumber(*selfplay, "--seed S", self.seed, 0, UINT32_MAX,
                   "random seed (default: the clock)");
    selfplay->callback([&] { run = [&] { return Selfplay(self); }; });

    TournamentOptions tour;
    int threads = 0;
    CLI::App* tournament = cli::AddCommand(
        app, "tournament",
        "a round robin of computer players: wins-draws-losses and the mean final panel "
        "difference of every pairing, then each player's time to move. Progress goes to standard "
        "error; Ctrl-C stops the run, prints the table of the finished games and exits with "
        "status 130");
    tournament
        ->add_option("--levels", tour.levels,
                     "the players by level, '+' for the bonus (default " + tour.levels + ")")
        ->type_name("LIST");
    tournament->add_flag("--bonus", tour.bonus, "the bonus for every level from 1");
    cli::AddNumber(*tournament, "--games N", tour.settings.games, 1, MaxTournamentGames,
                   "games of each pairing with each colour (default 1)");
    cli::AddNumber(*tournament, "--seed S", tour.settings.seed, 0, UINT32_MAX,
                   "each game is seeded from S, its two players and its number (default 1)");
    tour.table.Add(*tournament);
    cli::AddNumber(*tournament, "--jobs N", tour.jobs, 1, MaxJobs,
                   "games played at once, each with a node table of its own (default: the cores "
                   "this process may use)");
    CLI::Option* shardOption =
        tournament
            ->add_option_function<std::string>(
                "--shard", [&](const std::string& text) { tour.shard = ShardOption(text); },
                "play only shard K of N: each round of the schedule deals its games to the "
                "shards in turn, round k (from 0) starting at shard k+1")
            ->type_name("K/N");
    CLI::Option* resultsOption = tournament
                                     ->add_option_function<std::string>(
                                         "--results",
                                         [&](const std::string& path) {
                                             tour.table.output.resultsPath = path;
                                             tour.resultsGiven = true;
                                         },
                                         "write each finished game as a line of FILE, for merge")
                                     ->type_name("FILE");
    shardOption->needs(resultsOption);
    tournament->callback(
        [&] { run = [&] { return Tournament(tour, tournament->count("--threads") > 0); }; });

    std::vector<std::string> mergePaths;
    TableOptions mergeTable;
    CLI::App* merge = cli::AddCommand(
        app, "merge",
        "the table of a sharded tournament from its shards' results files, as the whole run "
        "prints it; every shard must be there once and complete");
    merge->add_option("FILE", mergePaths, "the results files of the shards")
        ->required()
        ->type_name("");
    mergeTable.Add(*merge);
    merge->callback([&] { run = [&] { return Merge(mergePaths, mergeTable); }; });

    int benchDepth = 5;
    std::string benchSet = "midgame";
    CLI::App* bench = cli::AddCommand(
        app, "bench",
        "search a set of positions: each one's time to move, their median and worst, and the "
        "evaluations per second");
    cli::AddNumber(*bench, "--depth D", benchDepth, 1, MaxDepth, "search depth (default 5)");
    bench
        ->add_option("--set", benchSet,
                     "midgame: the built-in midgame positions (default); hard: the slowest "
                     "moves of LV5+ in seeded real games")
        ->type_name("NAME")
        ->check(CLI::IsMember({"midgame", "hard"}));
    bench->callback([&] { run = [&] { return Bench(benchDepth, benchSet); }; });

    int hardCount = 12;
    uint32_t hardSeed = 1;
    CLI::App* hardest = cli::AddCommand(
        app, "hardest",
        "plays LV5+ against LV0, LV2 and LV5+ and prints its slowest moves as entries of the "
        "bench positions' table (each move's time goes to standard error)");
    cli::AddNumber(*hardest, "--count N", hardCount, 1, 1000, "moves to print (default 12)");
    cli::AddNumber(*hardest, "--seed S", hardSeed, 0, UINT32_MAX,
                   "the games are seeded with S plus the opponent's depth (default 1)");
    hardest->callback([&] { run = [&] { return Hardest(hardCount, hardSeed); }; });

    // Every searching command may be told how many threads search each move.
    for (CLI::App* searching : {eval, think, selfplay, bench, hardest})
        cli::AddNumber(*searching, "--threads N", threads, 1, MaxThreads,
                       "threads searching each move (default: the processor's cores)");
    cli::AddNumber(*tournament, "--threads N", threads, 1, MaxThreads,
                   "threads searching each move (default 1)");

    if (argc < 2) {
        std::fputs(app.help().c_str(), stderr);
        return cli::ExitBadInput;
    }
    if (const int status = cli::Parse(app, argc, argv); status >= 0) return status;
    search_pool::SetDefaultThreads(threads);
    try {
        return run();
    } catch (const BadInput&) {
        return cli::ExitBadInput;
    }
}

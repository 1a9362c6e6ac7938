// melvaron-engine: the engine probe. Checks, plays and searches positions read from standard
// input, plays whole computer games and measures the search.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/bench_positions.h"
#include "engine/board_text.h"
#include "engine/computer_game.h"
#include "engine/input_text.h"
#include "engine/random.h"
#include "engine/tables.h"
#include "engine/think_thread.h"
#include "tools/stats.h"
#include "tools/tournament.h"

namespace {

constexpr const char* Usage =
    "usage: melvaron-engine COMMAND [ARGUMENTS]\n"
    "\n"
    "legal, put, eval and think read a board from standard input: 6 lines of 12 cells\n"
    "(rows 1 to 6, columns 1 to 12), '.' empty, '1' and '2' the players' panels; whitespace\n"
    "between cells is ignored. Cells are board indexes: row * 14 + column.\n"
    "\n"
    "commands:\n"
    "  legal                     cells where each player may put, and the mobility mask\n"
    "  put CELL PLAYER           PLAYER (1 or 2) puts on CELL: the flip list and the new board\n"
    "  eval SIDE DEPTH           the score of each legal move of SIDE (1 or 2) at DEPTH (1-10),\n"
    "                            and the progress count of all the evaluations\n"
    "  think SIDE DEPTH RANDOM   the move the computer picks for SIDE at DEPTH (0-10) with\n"
    "                            RANDOM (0-32767), searched on a worker thread\n"
    "  selfplay LV1 LV2 [--bonus] [--games N] [--seed S]\n"
    "                            computer games, levels 0-5 for player 1 and player 2;\n"
    "                            --bonus searches 5 deeper at LV1-LV5; N games (default 1);\n"
    "                            random seed S (default: the clock)\n"
    "  tournament [--levels LIST] [--bonus] [--games N] [--seed S] [--png FILE] [--no-times]\n"
    "                            a round robin of computer players: LIST names them by level,\n"
    "                            '+' for the bonus (default 0,1,2,3,4,5; --bonus gives it to\n"
    "                            every level from 1); each pairing plays N games with each\n"
    "                            colour (default 1), each game seeded from S (default 1), the\n"
    "                            two players and its number. Prints wins-draws-losses and the\n"
    "                            mean final panel difference of every pairing, then each\n"
    "                            player's time to move (left out with --no-times); --png also\n"
    "                            draws the table into FILE (needs the game's font). Progress\n"
    "                            goes to standard error; Ctrl-C stops the run, prints the table\n"
    "                            of the finished games and exits with status 130\n"
    "  bench [--depth D]         search the built-in midgame positions at depth D (1-10,\n"
    "                            default 5): each one's time to move, their median and\n"
    "                            worst, and the evaluations per second\n"
    "  --help                    show this text\n";

constexpr int ExitBadInput = 2;
constexpr std::size_t MaxBoardInput = 1 << 20;
constexpr int64_t MaxGames = 1000000;

// Bad input: the one-line message has been printed; unwinds to main for the exit code.
struct BadInput {};

// Arguments can hold any bytes; keep messages on one printable line.
std::string Printable(std::string_view s) {
    return ShownInput(s, 64, TShownBytes::Ascii);
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "error: %s\n", what.c_str());
    throw BadInput{};
}

// A number of at most 18 characters within lo..hi.
int64_t Number(std::string_view text, const char* name, int64_t lo, int64_t hi) {
    int64_t value = 0;
    if (text.size() > 18 || ParseDecimal(text, value) != TDecimal::Ok || value < lo || value > hi)
        Fail(std::string(name) + " must be a number from " + std::to_string(lo) + " to " +
             std::to_string(hi) + " (got '" + Printable(text) + "')");
    return value;
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

void ExpectArgs(const std::vector<std::string_view>& args, std::size_t count, const char* form) {
    if (args.size() != count) Fail(std::string("expected: melvaron-engine ") + form);
}

bool IsPlayableCell(int64_t cell) {
    return cell >= FirstPlayable && cell <= LastPlayable && CellClass[cell] >= 0;
}

std::vector<int> LegalCells(const Board& b, int player) {
    std::vector<int> cells;
    for (int cell = FirstPlayable; cell <= LastPlayable; ++cell)
        if (b[cell] == CellEmpty && (TThinkThread::CheckPut(cell, b.data()) & player))
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
        std::exit(1);
    }
    return t;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

int Legal(const std::vector<std::string_view>& args) {
    ExpectArgs(args, 0, "legal");
    const Board b = ReadBoard();
    std::printf("1:%s\n2:%s\nmask: %d\n", Join(LegalCells(b, 1)).c_str(),
                Join(LegalCells(b, 2)).c_str(), TThinkThread::CheckBoard(b.data()));
    return 0;
}

int Put(const std::vector<std::string_view>& args) {
    ExpectArgs(args, 2, "put CELL PLAYER");
    const int64_t cell = Number(args[0], "CELL", 0, BoardSize - 1);
    const int player = static_cast<int>(Number(args[1], "PLAYER", 1, 2));
    Board b = ReadBoard();
    if (!IsPlayableCell(cell)) Fail("cell " + std::to_string(cell) + " is not a playable cell");
    if (b[cell] != CellEmpty) Fail("cell " + std::to_string(cell) + " is not empty");
    if (!(TThinkThread::CheckPut(static_cast<int>(cell), b.data()) & player))
        Fail("player " + std::to_string(player) + " may not put on cell " + std::to_string(cell));
    const int32_t* flips = TThinkThread::PutPanel(static_cast<int>(cell), player, b.data());
    std::string line = "flips:";
    for (int i = 0; i < FlipListSize; ++i) {
        line += ' ' + std::to_string(flips[i]);
        if (i >= 1 && flips[i] == -1) break;
    }
    std::printf("%s\n%s", line.c_str(), FormatBoard(b.data()).c_str());
    return 0;
}

int Eval(const std::vector<std::string_view>& args) {
    ExpectArgs(args, 2, "eval SIDE DEPTH");
    const int side = static_cast<int>(Number(args[0], "SIDE", 1, 2));
    const int depth = static_cast<int>(Number(args[1], "DEPTH", 1, 10));
    const Board b = ReadBoard();
    auto t = MakeThread(); // never started: its operations run here
    for (int cell : LegalCells(b, side))
        std::printf("%d %d\n", cell, t->Evaluate(cell, side, b.data(), depth));
    std::printf("progress: %d\n", t->FProgress.load());
    return 0;
}

int Think(const std::vector<std::string_view>& args) {
    ExpectArgs(args, 3, "think SIDE DEPTH RANDOM");
    const int side = static_cast<int>(Number(args[0], "SIDE", 1, 2));
    const int depth = static_cast<int>(Number(args[1], "DEPTH", 0, 10));
    const int random = static_cast<int>(Number(args[2], "RANDOM", 0, 32767));
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

int Selfplay(const std::vector<std::string_view>& args) {
    const char* form = "selfplay LV1 LV2 [--bonus] [--games N] [--seed S]";
    if (args.size() < 2) Fail(std::string("expected: melvaron-engine ") + form);
    const int level[3] = {0, static_cast<int>(Number(args[0], "LV1", 0, 5)),
                          static_cast<int>(Number(args[1], "LV2", 0, 5))};
    bool bonus = false;
    int64_t games = 1;
    uint32_t seed = static_cast<uint32_t>(std::time(nullptr));
    for (std::size_t i = 2; i < args.size(); ++i) {
        if (args[i] == "--bonus") {
            bonus = true;
        } else if (args[i] == "--games" && i + 1 < args.size()) {
            games = Number(args[++i], "N", 1, MaxGames);
        } else if (args[i] == "--seed" && i + 1 < args.size()) {
            seed = static_cast<uint32_t>(Number(args[++i], "S", 0, UINT32_MAX));
        } else {
            Fail("unexpected selfplay argument '" + Printable(args[i]) + "'");
        }
    }
    game_random::Seed(seed);

    const int depth[3] = {0, LevelDepth(level[1], bonus ? 5 : 0),
                          LevelDepth(level[2], bonus ? 5 : 0)};
    int64_t wins[3] = {0, 0, 0};
    for (int64_t game = 1; game <= games; ++game) {
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

int Tournament(const std::vector<std::string_view>& args) {
    TournamentSettings settings;
    TournamentOutput output;
    std::string_view levels = "0,1,2,3,4,5";
    bool bonus = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        const bool valued = a == "--levels" || a == "--games" || a == "--seed" || a == "--png";
        if (valued && i + 1 == args.size()) Fail(std::string(a) + " needs a value (try --help)");
        if (a == "--levels") {
            levels = args[++i];
        } else if (a == "--games") {
            settings.games = Number(args[++i], "N", 1, MaxGames);
        } else if (a == "--seed") {
            settings.seed = static_cast<uint32_t>(Number(args[++i], "S", 0, UINT32_MAX));
        } else if (a == "--png") {
            output.pngPath = args[++i];
            if (output.pngPath.empty()) Fail("--png needs a file name");
        } else if (a == "--bonus") {
            bonus = true;
        } else if (a == "--no-times") {
            output.times = false;
        } else {
            Fail("unexpected tournament argument '" + Printable(a) + "'");
        }
    }
    std::string error;
    if (!ParsePlayers(levels, bonus, settings.players, error)) Fail(error);
    return RunTournamentCommand(settings, output);
}

int Bench(const std::vector<std::string_view>& args) {
    int depth = 5;
    if (args.size() == 2 && args[0] == "--depth")
        depth = static_cast<int>(Number(args[1], "D", 1, 10));
    else if (!args.empty())
        Fail("expected: melvaron-engine bench [--depth D]");

    auto t = MakeThread(); // never started: the search runs on this thread
    uint64_t totalNodes = 0;
    double totalSeconds = 0;
    std::vector<double> times;
    for (int i = 0; i < BenchPositionCount; ++i) {
        const Board b = BenchBoard(i);
        t->Prepare(BenchPositions[i].side, depth, b.data(), 0);
        const uint64_t before = t->EvaluateCalls();
        const auto start = std::chrono::steady_clock::now();
        t->Think();
        const double seconds = Seconds(start);
        const uint64_t nodes = t->EvaluateCalls() - before;
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

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(Usage, stderr);
        return ExitBadInput;
    }
    const std::string_view command = argv[1];
    const std::vector<std::string_view> args(argv + 2, argv + argc);
    try {
        if (command == "--help" || command == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (command == "legal") return Legal(args);
        if (command == "put") return Put(args);
        if (command == "eval") return Eval(args);
        if (command == "think") return Think(args);
        if (command == "selfplay") return Selfplay(args);
        if (command == "bench") return Bench(args);
        if (command == "tournament") return Tournament(args);
        Fail("unknown command '" + Printable(command) + "' (try --help)");
    } catch (const BadInput&) {
        return ExitBadInput;
    }
}

// TSearch: the computer player's averaging move search, with the inputs and outputs the window
// shares with it. TThinkThread runs one on its thread; tools and tests may run one anywhere.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

#include "engine/board.h"

namespace node_table {
class Table;
}
class TableLease;

constexpr int32_t ResultNotReady = -999; // FResult while the search has no answer yet
constexpr int MoveListSize = 73;         // 72 cells and the closing -1

// How much deeper every level searches with the bonus (the strip, or a '+' in the probe).
constexpr int BonusDepth = 5;

// The root depth of a computer level (0 = LV0 ... 5 = LV5); the bonus (0 or BonusDepth) deepens
// every level but LV0, which plays at random.
constexpr int LevelDepth(int level, int bonus) {
    return level == 0 ? 0 : level + bonus;
}

// The longest a search waits for a stopped one to let go of the node table and the helpers. A
// stopped search lets go at its next node: in under a millisecond as a rule, in tens of
// milliseconds on a busy machine. A search that waited this long goes on with what is free.
constexpr std::chrono::milliseconds StoppedSearchWait{1000};

class TSearch {
  public:
    // stop: the flag that ends a running search at its next node; null for a search that is
    // never stopped.
    explicit TSearch(const std::atomic<bool>* stop = nullptr) : FStop(stop) {}
    TSearch(const TSearch&) = delete;
    TSearch& operator=(const TSearch&) = delete;

    // Readies a search of side's move on board: the four inputs, no result yet, no progress.
    // The board is copied, so that its owner may change it while a stopped search winds down.
    void Prepare(int side, int depth, const int32_t* board, int32_t random);

    // Fills list with side's legal moves (priority cells first) ending in -1; returns the index
    // just behind the last priority move.
    static int ListMoves(int side, const int32_t* board, int32_t* list);
    // Averaged valuation of the move cell by the signed side, or -1 once stopped.
    int Evaluate(int cell, int side, const int32_t* board, int depth);
    // Chooses FSide's move on FBoard; stores it in FResult. -1 (nothing stored) when stopped;
    // -1 (stored) when FSide has no move at all, which the game never asks. mayBlock: the
    // caller's thread may wait (see WaitForStopped); never a page's main thread, which must not.
    int Think(bool mayBlock = false);

    // ---- Inputs and outputs, shared with the window ----
    int32_t FSide = 0;
    int32_t FDepth = 0;
    const int32_t* FBoard = nullptr; // the position to search: Prepare's copy of the board
    int32_t FRandom = 0;
    std::atomic<int32_t> FResult{0};
    std::atomic<int32_t> FProgress{0}; // finished evaluations, modulo 65536

    // Evaluate calls made by this object since construction, remembered nodes counted as if
    // searched again (for the probe and the benchmark; the game itself never reads it).
    uint64_t EvaluateCalls() const { return FNodes; }

    // Whether this object's searches may use the program's table of finished nodes (they do by
    // default, whenever no other search holds it). Results are the same either way.
    void UseNodeTable(bool use) { FUseNodeTable = use; }
    // The table this object's searches lease instead of the program's (null, the default: the
    // program's), so that searches running at once each have one. Results are the same either way.
    void UseOwnTable(node_table::Table* table) { FOwnTable = table; }

    // How many threads this object's searches use: n, or with 0 (the default) the machine's
    // cores. Every result is the same at any number.
    void SetThreads(int n) { FThreads = n; }
    int Threads() const;

    // A search stopped just before this object's may still hold the node table and the helpers,
    // which it lets go of at its next node. This object's searches that may block their thread
    // then wait for them, at most `bound`, rather than search alone and without the table; past
    // it, or once stopped themselves, they go on with what is free. By default they never wait
    // (a search beside a running one goes without what that one holds). Results are the same
    // either way.
    void WaitForStopped(std::chrono::milliseconds bound = StoppedSearchWait) {
        FStoppedWait = bound;
    }
    // A search of this object is waiting for that now.
    bool Waiting() const { return FWaiting.load(std::memory_order_relaxed); }
    // What this object's last scoring of moves had: the node table, and the threads it ran on
    // (its own and the helpers); false and 0 before any. Nothing else depends on them.
    bool TableUsed() const { return FTableUsed.load(std::memory_order_relaxed); }
    int ThreadsUsed() const { return FThreadsUsed.load(std::memory_order_relaxed); }

    // For a front end that cannot read FProgress from another thread (a page's worker that
    // talks by messages): called on the searching thread whenever it shows progress, as often
    // as once per finished node, so it must be cheap. None by default.
    using ProgressHook = void (*)(void* context, int32_t progress);
    void SetProgressHook(ProgressHook hook, void* context) {
        FProgressHook = hook;
        FProgressContext = context;
    }

  private:
    friend class SearchRun; // the recursion below Evaluate reads the stop flag
    friend struct RootWork;
    bool Stopped() const { return FStop && FStop->load(std::memory_order_relaxed); }
    void ShowProgress(int32_t progress) {
        FProgress.store(progress, std::memory_order_relaxed);
        if (FProgressHook) FProgressHook(FProgressContext, progress);
    }
    // Scores side's moves cells[0..count) on board to depth into scores, on Threads() threads;
    // false when stopped first. newAge: a new move of the game, whose entries are younger.
    // mayBlock: as Think's.
    bool ScoreMoves(const int32_t* cells, int count, int side, const int32_t* board, int depth,
                    bool newAge, bool mayBlock, int32_t* scores);
    // Until `lease` has its table and, when `helpers`, no search has the helpers; at most
    // FStoppedWait, and no longer once this search is stopped.
    void WaitForLetGo(TableLease& lease, bool helpers);

    const std::atomic<bool>* FStop;
    Board FPosition{};
    ProgressHook FProgressHook = nullptr;
    void* FProgressContext = nullptr;
    uint64_t FNodes = 0;
    bool FUseNodeTable = true;
    node_table::Table* FOwnTable = nullptr;
    int FThreads = 0;
    std::chrono::milliseconds FStoppedWait{0};
    std::atomic<bool> FWaiting{false};
    std::atomic<bool> FTableUsed{false};
    std::atomic<int> FThreadsUsed{0};
};

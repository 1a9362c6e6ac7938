// TThinkThread: the rule operations, the averaging move search, and the worker that runs it.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/board.h"
#include "platform/thread.h"

// The one program-wide result of the latest PutPanel call by the window.
extern int32_t FlipList[FlipListSize];

constexpr int32_t ResultNotReady = -999; // FResult while the search has no answer yet
constexpr int MoveListSize = 73;         // 72 cells and the closing -1

class TThinkThread final : public TThread {
  public:
    // Both uses create the worker suspended, so the body never runs before the fields are set;
    // a non-suspended thread is resumed once it is fully built. Destroying a running worker
    // stops it (terminate flag) and waits for it first.
    explicit TThinkThread(bool createSuspended);
    ~TThinkThread() override;

    // ---- Rule operations (read no member; any instance, started or not, serves) ----
    // The player (1 or 2) whose panel closes a run of the other's from cell in direction, or 0.
    static int CheckLine(int cell, int direction, const int32_t* board);
    // Legality mask of an empty cell: bit 1 for player 1, bit 2 for player 2.
    static int CheckPut(int cell, const int32_t* board);
    // OR of CheckPut over all empty cells; 0 when nobody can put.
    static int CheckBoard(const int32_t* board);
    // Puts player's panel on cell, turns over what it brackets, and fills FlipList.
    static int32_t* PutPanel(int cell, int player, int32_t* board);

    // ---- Search ----
    // Fills list with side's legal moves (priority cells first) ending in -1; returns the index
    // just behind the last priority move.
    static int ListMoves(int side, const int32_t* board, int32_t* list);
    // Averaged valuation of the move cell by the signed side, or -1 once terminated.
    int Evaluate(int cell, int side, const int32_t* board, int depth);
    // Chooses FSide's move on FBoard; stores it in FResult. -1 (nothing stored) when stopped;
    // -1 (stored) when FSide has no move at all, which the game never asks.
    int Think();

    // ---- Fields shared with the window ----
    int32_t FSide = 0;
    int32_t FDepth = 0;
    const int32_t* FBoard = nullptr; // the window's board: read, never written or copied whole
    int32_t FRandom = 0;
    std::atomic<int32_t> FResult{0};
    std::atomic<int32_t> FProgress{0};

    // Number of Evaluate calls made by this object since construction (for the probe and the
    // benchmark; a 64-bit count that the game itself never reads).
    uint64_t EvaluateCalls() const { return FNodes; }

  protected:
    void Execute() override;

  private:
    friend class SearchRun; // the recursion below Evaluate counts its calls here
    uint64_t FNodes = 0;
};

// TThinkThread: the worker that runs one move search, carrying the rule operations as well.
#pragma once

#include <cstdint>

#include "engine/board.h"
#include "engine/rules.h"
#include "engine/search_worker.h"
#include "platform/thread.h"

class TThinkThread : public TThread, public TSearchWorker {
  public:
    // Made by TThread::TryCreate<TThinkThread>(createSuspended). Both uses create the worker
    // suspended, so the body never runs before the fields are set; a non-suspended thread
    // starts once it is fully built.
    TThinkThread(TKey key, bool createSuspended);

    void Resume() override { TThread::Resume(); }
    void Terminate() override { TThread::Terminate(); }
    bool Finished() const override { return TThread::Finished(); }

    // ---- Rule operations (read no member; any instance, started or not, serves) ----
    static int CheckLine(int cell, int direction, const int32_t* board) {
        return rules::CheckLine(cell, direction, board);
    }
    static int CheckPut(int cell, const int32_t* board) { return rules::CheckPut(cell, board); }
    static int CheckBoard(const int32_t* board) { return rules::CheckBoard(board); }
    static int32_t* PutPanel(int cell, int player, int32_t* board) {
        return rules::PutPanel(cell, player, board);
    }

  protected:
    // Runs Think on the prepared inputs and stores its answer in FResult.
    void Execute() override;
};

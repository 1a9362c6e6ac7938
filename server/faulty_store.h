// A store whose first reads fail on purpose, for the tests that must meet a server that says
// "try again" (the browser test's page that keeps its seat). melvaron-server puts it in front of
// its database when MELVARON_SERVER_FAIL_READS=N is set; nothing else uses it.
#pragma once

#include "server/store.h"

namespace store {

class TFaultyStore final : public TGameStore {
  public:
    TFaultyStore(TGameStore& inner, int failReads) : FInner(inner), FFailReads(failReads) {}

    std::vector<TCommitOutcome> Commit(const std::vector<TGameChange>& changes) override {
        return FInner.Commit(changes);
    }
    std::optional<TStoredGame> Load(const std::string& id) override {
        if (FFailReads > 0) {
            --FFailReads;
            throw TStoreError("a read failed on purpose (MELVARON_SERVER_FAIL_READS)");
        }
        return FInner.Load(id);
    }
    std::vector<std::string> ListUnfinished() override { return FInner.ListUnfinished(); }
    int CountOpen(const std::string& address, int64_t since) override {
        return FInner.CountOpen(address, since);
    }
    TSweepResult Sweep(const TSweepRules& rules) override { return FInner.Sweep(rules); }
    void Ping() override { FInner.Ping(); }

  private:
    TGameStore& FInner;
    int FFailReads; // the store's thread alone reads and writes it
};

} // namespace store

// The games in an embedded SQLite database: one file, written ahead (WAL) and synced in full
// before a commit returns, so a move that was announced survives a crash of the process or the
// machine.
#pragma once

#include <string>

#include "server/store.h"

struct sqlite3;
struct sqlite3_stmt;

namespace store {

class TSqliteStore final : public TGameStore {
  public:
    // Opens or creates the database at path (":memory:" for one that lives with the object);
    // throws TStoreError with a one-line reason.
    explicit TSqliteStore(const std::string& path);
    ~TSqliteStore() override;
    TSqliteStore(const TSqliteStore&) = delete;
    TSqliteStore& operator=(const TSqliteStore&) = delete;

    void Commit(const std::vector<TGameChange>& changes) override;
    std::optional<TStoredGame> Load(const std::string& id) override;
    std::vector<std::string> ListUnfinished() override;
    int CountOpen(const std::string& address, int64_t since) override;

    // The prepared statements, made when first used.
    enum TStatement {
        Begin,
        CommitTx,
        Rollback,
        InsertGame,
        SetSecond,
        SetFinished,
        InsertEvent,
        SelectGame,
        SelectEvents,
        SelectUnfinished,
        CountByCreator,
        StatementCount
    };

  private:
    void Exec(const char* sql);
    sqlite3_stmt* Statement(TStatement which);
    [[noreturn]] void Fail(const char* what);

    sqlite3* FDb = nullptr;
    sqlite3_stmt* FStatements[StatementCount] = {};
};

} // namespace store

// The games in an embedded SQLite database: one file, written ahead (WAL) and synced in full
// before a commit returns, so a move that was announced survives a crash of the process or the
// machine. One server at a time opens a database: a lock beside the file refuses a second.
#pragma once

#include <string>

#include "server/store.h"

struct sqlite3;
struct sqlite3_stmt;

namespace store {

class TSqliteStore final : public TGameStore {
  public:
    // The schema's version this server writes; an older database is brought up to it.
    static constexpr int SchemaVersion = 2;

    // Opens or creates the database at path (":memory:" for one that lives with the object);
    // throws TStoreError with a one-line reason (another server holds it, a newer schema).
    explicit TSqliteStore(const std::string& path);
    ~TSqliteStore() override;
    TSqliteStore(const TSqliteStore&) = delete;
    TSqliteStore& operator=(const TSqliteStore&) = delete;

    std::vector<TCommitOutcome> Commit(const std::vector<TGameChange>& changes) override;
    std::optional<TStoredGame> Load(const std::string& id) override;
    std::vector<std::string> ListUnfinished() override;
    int CountOpen(const std::string& address, int64_t since) override;
    TSweepResult Sweep(const TSweepRules& rules) override;
    void Ping() override;

    // The prepared statements, made when first used.
    enum TStatement {
        Begin,
        CommitTx,
        RollbackTx,
        Savepoint,
        ReleaseSavepoint,
        RollbackSavepoint,
        InsertGame,
        SetSecond,
        SetFinished,
        InsertEvent,
        SelectGame,
        SelectEvents,
        SelectUnfinished,
        CountByCreator,
        SelectExpired,
        SelectFinishedBefore,
        DeleteEvents,
        DeleteGame,
        ForgetCreators,
        SelectIdle,
        SelectAny,
        StatementCount
    };

  private:
    void Lock(const std::string& path);
    void Open(const std::string& path);
    void Migrate(int from);
    void Exec(const char* sql);
    sqlite3_stmt* Statement(TStatement which);
    void Apply(const TGameChange& change);
    // Undoes the transaction under way, whatever it holds.
    void Rollback();
    [[noreturn]] void Fail(const char* what);

    int FLock = -1; // the lock file beside the database, held while open
    sqlite3* FDb = nullptr;
    sqlite3_stmt* FStatements[StatementCount] = {};
};

} // namespace store

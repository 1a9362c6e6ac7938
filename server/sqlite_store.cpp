// The SQLite store: two tables, the games and their events; a commit is one transaction with a
// savepoint per game, so that one game's conflict or failure leaves the others stored.
#include "server/sqlite_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <unordered_set>

#include "common/sha256.h"

namespace store {

namespace {

// Schema 2: every secret and invitation as its SHA-256; when each event was stored and when each
// game finished, so that a sweep can forget what is old. A game's last change is its latest
// event's time, kept in the event's own row: a commit writes no more pages than its events'.
// Space that deleted rows leave is given back by incremental vacuuming, and deleted content is
// overwritten.
constexpr const char* Schema = R"(
CREATE TABLE IF NOT EXISTS games(
    id TEXT PRIMARY KEY,
    secret1 TEXT NOT NULL,
    secret2 TEXT NOT NULL DEFAULT '',
    invitation TEXT NOT NULL DEFAULT '',
    creator TEXT NOT NULL,
    created INTEGER NOT NULL,
    finished INTEGER NOT NULL DEFAULT 0,
    finished_at INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS games_open ON games(creator, finished, created);
CREATE TABLE IF NOT EXISTS events(
    game TEXT NOT NULL REFERENCES games(id),
    n INTEGER NOT NULL,
    body TEXT NOT NULL,
    at INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY(game, n)) WITHOUT ROWID;
)";

// Schema 1 held the secrets and invitations as they are: they become their hashes, and every
// event is taken as made now, so that no game is abandoned by the first sweep after it.
constexpr const char* FromSchema1 = R"(
ALTER TABLE games ADD COLUMN finished_at INTEGER NOT NULL DEFAULT 0;
ALTER TABLE events ADD COLUMN at INTEGER NOT NULL DEFAULT 0;
UPDATE games SET
    secret1 = melvaron_sha256(secret1),
    secret2 = CASE secret2 WHEN '' THEN '' ELSE melvaron_sha256(secret2) END,
    invitation = CASE invitation WHEN '' THEN '' ELSE melvaron_sha256(invitation) END,
    finished_at = CASE finished WHEN 0 THEN 0 ELSE strftime('%s', 'now') END;
UPDATE events SET at = strftime('%s', 'now');
)";

constexpr const char* Statements[] = {
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "SAVEPOINT game",
    "RELEASE game",
    "ROLLBACK TO game",
    "INSERT INTO games(id, secret1, invitation, creator, created) VALUES(?1, ?2, ?3, ?4, ?5)",
    "UPDATE games SET secret2 = ?2 WHERE id = ?1 AND secret2 = ''",
    "UPDATE games SET finished = 1, finished_at = ?2 WHERE id = ?1",
    "INSERT INTO events(game, n, body, at) VALUES(?1, ?2, ?3, ?4)",
    "SELECT secret1, secret2, invitation, creator, created, finished, finished_at "
    "FROM games WHERE id = ?1",
    "SELECT n, body, at FROM events WHERE game = ?1 ORDER BY n",
    "SELECT id FROM games WHERE finished = 0 ORDER BY created, id",
    "SELECT count(*) FROM games WHERE creator = ?1 AND finished = 0 AND created >= ?2",
    "SELECT id FROM games WHERE secret2 = '' AND finished = 0 AND created <= ?1",
    "SELECT id FROM games WHERE finished = 1 AND finished_at <= ?1",
    "DELETE FROM events WHERE game = ?1",
    "DELETE FROM games WHERE id = ?1",
    "UPDATE games SET creator = '' WHERE creator != '' AND created <= ?1",
    "SELECT id FROM (SELECT id, (SELECT at FROM events WHERE game = games.id ORDER BY n DESC "
    "LIMIT 1) AS active FROM games WHERE finished = 0 AND secret2 != '') "
    "WHERE active <= ?1 ORDER BY active, id LIMIT ?2",
    "SELECT 1 FROM games LIMIT 1",
};
static_assert(std::size(Statements) == TSqliteStore::StatementCount);

// A change that another writer's row refuses (the game's id, its seat 2, an event number).
struct TConflict {
    std::string what;
};

std::string Column(sqlite3_stmt* s, int i) {
    const unsigned char* text = sqlite3_column_text(s, i);
    return text == nullptr ? std::string()
                           : std::string(reinterpret_cast<const char*>(text),
                                         static_cast<std::size_t>(sqlite3_column_bytes(s, i)));
}

void Bind(sqlite3_stmt* s, int i, const std::string& text) {
    sqlite3_bind_text(s, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Resets a statement when the scope that used it ends, however it ends.
struct TReset {
    sqlite3_stmt* s;
    ~TReset() {
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
    }
};

// Runs s to its end: a unique key that another row holds is a conflict, anything else a fault.
void Step(sqlite3* db, sqlite3_stmt* s, const char* what) {
    TReset reset{s};
    if (sqlite3_step(s) == SQLITE_DONE) return;
    const int code = sqlite3_extended_errcode(db);
    if (code == SQLITE_CONSTRAINT_PRIMARYKEY || code == SQLITE_CONSTRAINT_UNIQUE)
        throw TConflict{what};
    throw TStoreError(std::string(what) + ": " + sqlite3_errmsg(db));
}

// Runs a statement of the transaction's own (begin, savepoints, commit): any failure is a fault.
void Control(sqlite3* db, sqlite3_stmt* s, const char* what) {
    TReset reset{s};
    if (sqlite3_step(s) != SQLITE_DONE)
        throw TStoreError(std::string(what) + ": " + sqlite3_errmsg(db));
}

// SQL's melvaron_sha256(text): the hash the store keeps of a secret.
void Sha256Function(sqlite3_context* context, int, sqlite3_value** values) {
    const unsigned char* text = sqlite3_value_text(values[0]);
    const int bytes = sqlite3_value_bytes(values[0]);
    const std::string hex = sha256::Hex(
        std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(bytes)));
    sqlite3_result_text(context, hex.c_str(), static_cast<int>(hex.size()), SQLITE_TRANSIENT);
}

} // namespace

TSqliteStore::TSqliteStore(const std::string& path) {
    try {
        Lock(path);
        Open(path);
    } catch (...) {
        sqlite3_close(FDb);
        if (FLock >= 0) ::close(FLock);
        throw;
    }
}

TSqliteStore::~TSqliteStore() {
    for (sqlite3_stmt* s : FStatements) sqlite3_finalize(s);
    sqlite3_close(FDb);
    if (FLock >= 0) ::close(FLock);
}

void TSqliteStore::Lock(const std::string& path) {
    if (path == ":memory:") return;
    // flock belongs to the open file, so a second store in this process is refused too.
    const std::string lock = path + ".lock";
    FLock = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (FLock < 0) throw TStoreError("cannot open " + lock + ": " + std::strerror(errno));
    if (::flock(FLock, LOCK_EX | LOCK_NB) != 0)
        throw TStoreError(errno == EWOULDBLOCK
                              ? "another melvaron-server uses this database"
                              : "cannot lock " + lock + ": " + std::strerror(errno));
}

void TSqliteStore::Open(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &FDb,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
        throw TStoreError(std::string("cannot open the database: ") +
                          (FDb ? sqlite3_errmsg(FDb) : "out of memory"));
    sqlite3_extended_result_codes(FDb, 1);
    sqlite3_create_function_v2(FDb, "melvaron_sha256", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                               nullptr, Sha256Function, nullptr, nullptr, nullptr);
    Exec("PRAGMA busy_timeout = 5000");
    // Before anything is written: only a new database takes it without a VACUUM.
    Exec("PRAGMA auto_vacuum = INCREMENTAL");
    Exec("PRAGMA journal_mode = WAL");
    Exec("PRAGMA synchronous = FULL");
    Exec("PRAGMA foreign_keys = ON");
    Exec("PRAGMA secure_delete = ON");
    sqlite3_stmt* version = nullptr;
    if (sqlite3_prepare_v2(FDb, "PRAGMA user_version", -1, &version, nullptr) != SQLITE_OK)
        Fail("cannot read the schema's version");
    int found = 0;
    if (sqlite3_step(version) == SQLITE_ROW) found = sqlite3_column_int(version, 0);
    sqlite3_finalize(version);
    if (found > SchemaVersion)
        throw TStoreError("the database is of a newer server (schema " + std::to_string(found) +
                          "; this server knows " + std::to_string(SchemaVersion) + ")");
    if (found == 0) {
        Exec(Schema);
        Exec(("PRAGMA user_version = " + std::to_string(SchemaVersion)).c_str());
    } else if (found < SchemaVersion) {
        Migrate(found);
    }
}

void TSqliteStore::Migrate(int from) {
    Exec("BEGIN IMMEDIATE");
    try {
        if (from == 1) Exec(FromSchema1);
        Exec(("PRAGMA user_version = " + std::to_string(SchemaVersion)).c_str());
        Exec("COMMIT");
    } catch (...) {
        sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    // The file written again whole: incremental vacuuming from now on, and nothing left of the
    // secrets as they were, neither in free pages nor in the log.
    Exec("PRAGMA auto_vacuum = INCREMENTAL");
    Exec("VACUUM");
    Exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

void TSqliteStore::Rollback() {
    sqlite3_stmt* s = Statement(RollbackTx);
    sqlite3_step(s);
    sqlite3_reset(s);
}

void TSqliteStore::Fail(const char* what) {
    throw TStoreError(std::string(what) + ": " + sqlite3_errmsg(FDb));
}

void TSqliteStore::Exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(FDb, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string why = message ? message : "unknown error";
        sqlite3_free(message);
        throw TStoreError("the database refused its set-up: " + why);
    }
}

sqlite3_stmt* TSqliteStore::Statement(TStatement which) {
    sqlite3_stmt*& s = FStatements[which];
    if (s == nullptr && sqlite3_prepare_v2(FDb, Statements[which], -1, &s, nullptr) != SQLITE_OK)
        Fail("cannot prepare a statement");
    return s;
}

void TSqliteStore::Apply(const TGameChange& c) {
    if (c.create) {
        sqlite3_stmt* s = Statement(InsertGame);
        Bind(s, 1, c.id);
        Bind(s, 2, c.secret1);
        Bind(s, 3, c.invitation);
        Bind(s, 4, c.creator);
        sqlite3_bind_int64(s, 5, c.created);
        Step(FDb, s, "the game exists");
    }
    if (!c.secret2.empty()) {
        sqlite3_stmt* s = Statement(SetSecond);
        Bind(s, 1, c.id);
        Bind(s, 2, c.secret2);
        Step(FDb, s, "cannot store a join");
        if (sqlite3_changes(FDb) != 1) throw TConflict{"seat 2 is taken, or the game is gone"};
    }
    for (std::size_t i = 0; i < c.events.size(); ++i) {
        sqlite3_stmt* s = Statement(InsertEvent);
        Bind(s, 1, c.id);
        sqlite3_bind_int64(s, 2, c.firstEvent + static_cast<int64_t>(i));
        Bind(s, 3, c.events[i]);
        sqlite3_bind_int64(s, 4, c.at);
        Step(FDb, s, "an event of that number exists");
    }
    if (c.finished) {
        sqlite3_stmt* s = Statement(SetFinished);
        Bind(s, 1, c.id);
        sqlite3_bind_int64(s, 2, c.at);
        Step(FDb, s, "cannot mark a game finished");
    }
}

std::vector<TCommitOutcome> TSqliteStore::Commit(const std::vector<TGameChange>& changes) {
    std::vector<TCommitOutcome> outcomes(changes.size());
    // Nearly always every change goes in: one transaction with no savepoints. Only when one
    // does not is it all done again, a savepoint around each game's change.
    Control(FDb, Statement(Begin), "cannot begin a transaction");
    try {
        for (const TGameChange& c : changes) Apply(c);
        Control(FDb, Statement(CommitTx), "cannot commit");
        return outcomes;
    } catch (const TConflict&) {
        Rollback();
    } catch (const TStoreError&) {
        Rollback();
    } catch (...) {
        Rollback();
        throw;
    }
    Control(FDb, Statement(Begin), "cannot begin a transaction");
    try {
        for (std::size_t i = 0; i < changes.size(); ++i) {
            Control(FDb, Statement(Savepoint), "cannot begin a game's change");
            try {
                Apply(changes[i]);
                Control(FDb, Statement(ReleaseSavepoint), "cannot end a game's change");
                continue;
            } catch (const TConflict& conflict) {
                outcomes[i] = {TCommitResult::Conflict, conflict.what};
            } catch (const TStoreError& e) {
                outcomes[i] = {TCommitResult::Failed, e.what()};
            }
            Control(FDb, Statement(RollbackSavepoint), "cannot undo a game's change");
            Control(FDb, Statement(ReleaseSavepoint), "cannot end a game's change");
        }
        Control(FDb, Statement(CommitTx), "cannot commit");
    } catch (...) {
        Rollback();
        throw;
    }
    return outcomes;
}

std::optional<TStoredGame> TSqliteStore::Load(const std::string& id) {
    TStoredGame game;
    game.id = id;
    {
        sqlite3_stmt* s = Statement(SelectGame);
        TReset reset{s};
        Bind(s, 1, id);
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_DONE) return std::nullopt;
        if (rc != SQLITE_ROW) Fail("cannot read a game");
        game.secret1 = Column(s, 0);
        game.secret2 = Column(s, 1);
        game.invitation = Column(s, 2);
        game.creator = Column(s, 3);
        game.created = sqlite3_column_int64(s, 4);
        game.finished = sqlite3_column_int(s, 5) != 0;
        game.finishedAt = sqlite3_column_int64(s, 6);
        game.active = game.created;
    }
    sqlite3_stmt* s = Statement(SelectEvents);
    TReset reset{s};
    Bind(s, 1, id);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        // Numbers run 1, 2, 3...: a gap would be an event lost.
        if (sqlite3_column_int64(s, 0) != static_cast<int64_t>(game.events.size()) + 1)
            throw TStoreError("game " + id + " has a gap in its events");
        game.events.push_back(Column(s, 1));
        game.active = sqlite3_column_int64(s, 2);
    }
    if (rc != SQLITE_DONE) Fail("cannot read a game's events");
    return game;
}

std::vector<std::string> TSqliteStore::ListUnfinished() {
    sqlite3_stmt* s = Statement(SelectUnfinished);
    TReset reset{s};
    std::vector<std::string> ids;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) ids.push_back(Column(s, 0));
    if (rc != SQLITE_DONE) Fail("cannot list the games");
    return ids;
}

int TSqliteStore::CountOpen(const std::string& address, int64_t since) {
    sqlite3_stmt* s = Statement(CountByCreator);
    TReset reset{s};
    Bind(s, 1, address);
    sqlite3_bind_int64(s, 2, since);
    if (sqlite3_step(s) != SQLITE_ROW) Fail("cannot count the games");
    return sqlite3_column_int(s, 0);
}

TSweepResult TSqliteStore::Sweep(const TSweepRules& rules) {
    std::unordered_set<std::string> keep(rules.keep.begin(), rules.keep.end());
    // The ids a statement selects by a time (and a limit), those the hub holds left out.
    auto select = [&](TStatement which, int64_t before, int limit) {
        sqlite3_stmt* s = Statement(which);
        TReset reset{s};
        sqlite3_bind_int64(s, 1, before);
        if (limit > 0) sqlite3_bind_int(s, 2, limit);
        std::vector<std::string> ids;
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW)
            if (std::string id = Column(s, 0); !keep.count(id)) ids.push_back(std::move(id));
        if (rc != SQLITE_DONE) Fail("cannot list the games to sweep");
        return ids;
    };
    auto remove = [&](const std::string& id) {
        for (TStatement which : {DeleteEvents, DeleteGame}) {
            sqlite3_stmt* s = Statement(which);
            Bind(s, 1, id);
            Step(FDb, s, "cannot delete a game");
        }
    };
    TSweepResult result;
    Control(FDb, Statement(Begin), "cannot begin a transaction");
    try {
        for (const std::string& id : select(SelectExpired, rules.invitationsBefore, 0)) {
            remove(id);
            ++result.invitationsExpired;
        }
        for (const std::string& id : select(SelectFinishedBefore, rules.finishedBefore, 0)) {
            remove(id);
            ++result.finishedDeleted;
        }
        sqlite3_stmt* s = Statement(ForgetCreators);
        sqlite3_bind_int64(s, 1, rules.creatorsBefore);
        Step(FDb, s, "cannot forget the creators");
        result.creatorsForgotten = sqlite3_changes(FDb);
        Control(FDb, Statement(CommitTx), "cannot commit");
    } catch (...) {
        Rollback();
        throw;
    }
    // The idle games, the ones the hub holds among them: it decides on those itself.
    keep.clear();
    for (const std::string& id : select(SelectIdle, rules.idleBefore, std::max(1, rules.idleLimit)))
        if (auto game = Load(id)) result.idle.push_back(std::move(*game));
    // The pages deleted rows left go back to the file system.
    Exec("PRAGMA incremental_vacuum");
    return result;
}

void TSqliteStore::Ping() {
    sqlite3_stmt* s = Statement(SelectAny);
    TReset reset{s};
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) Fail("cannot read the games");
}

} // namespace store

// The SQLite store: two tables, the games and their events, written in one transaction a commit.
#include "server/sqlite_store.h"

#include <sqlite3.h>

#include <iterator>

namespace store {

namespace {

constexpr int SchemaVersion = 1;

constexpr const char* Schema = R"(
CREATE TABLE IF NOT EXISTS games(
    id TEXT PRIMARY KEY,
    secret1 TEXT NOT NULL,
    secret2 TEXT NOT NULL DEFAULT '',
    invitation TEXT NOT NULL DEFAULT '',
    creator TEXT NOT NULL,
    created INTEGER NOT NULL,
    finished INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS games_open ON games(creator, finished, created);
CREATE TABLE IF NOT EXISTS events(
    game TEXT NOT NULL REFERENCES games(id),
    n INTEGER NOT NULL,
    body TEXT NOT NULL,
    PRIMARY KEY(game, n)) WITHOUT ROWID;
)";

constexpr const char* Statements[] = {
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "INSERT INTO games(id, secret1, invitation, creator, created) VALUES(?1, ?2, ?3, ?4, ?5)",
    "UPDATE games SET secret2 = ?2 WHERE id = ?1 AND secret2 = ''",
    "UPDATE games SET finished = 1 WHERE id = ?1",
    "INSERT INTO events(game, n, body) VALUES(?1, ?2, ?3)",
    "SELECT secret1, secret2, invitation, creator, created, finished FROM games WHERE id = ?1",
    "SELECT n, body FROM events WHERE game = ?1 ORDER BY n",
    "SELECT id FROM games WHERE finished = 0 ORDER BY created, id",
    "SELECT count(*) FROM games WHERE creator = ?1 AND finished = 0 AND created >= ?2",
};
static_assert(std::size(Statements) == TSqliteStore::StatementCount);

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

} // namespace

TSqliteStore::TSqliteStore(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &FDb,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        const std::string why = FDb ? sqlite3_errmsg(FDb) : "out of memory";
        sqlite3_close(FDb);
        FDb = nullptr;
        throw TStoreError("cannot open the database: " + why);
    }
    try {
        Exec("PRAGMA busy_timeout = 5000");
        Exec("PRAGMA journal_mode = WAL");
        Exec("PRAGMA synchronous = FULL");
        Exec("PRAGMA foreign_keys = ON");
        sqlite3_stmt* version = nullptr;
        if (sqlite3_prepare_v2(FDb, "PRAGMA user_version", -1, &version, nullptr) != SQLITE_OK)
            Fail("cannot read the schema's version");
        int found = 0;
        if (sqlite3_step(version) == SQLITE_ROW) found = sqlite3_column_int(version, 0);
        sqlite3_finalize(version);
        if (found > SchemaVersion)
            throw TStoreError("the database is of a newer server (schema " + std::to_string(found) +
                              ")");
        Exec(Schema);
        Exec(("PRAGMA user_version = " + std::to_string(SchemaVersion)).c_str());
    } catch (...) {
        sqlite3_close(FDb);
        FDb = nullptr;
        throw;
    }
}

TSqliteStore::~TSqliteStore() {
    for (sqlite3_stmt* s : FStatements) sqlite3_finalize(s);
    sqlite3_close(FDb);
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

void TSqliteStore::Commit(const std::vector<TGameChange>& changes) {
    // Runs one statement that must change exactly `rows` rows (any, when rows < 0).
    auto step = [this](sqlite3_stmt* s, int rows, const char* what) {
        TReset reset{s};
        if (sqlite3_step(s) != SQLITE_DONE) Fail(what);
        if (rows >= 0 && sqlite3_changes(FDb) != rows) throw TStoreError(what);
    };
    step(Statement(Begin), -1, "cannot begin a transaction");
    try {
        for (const TGameChange& c : changes) {
            if (c.create) {
                sqlite3_stmt* s = Statement(InsertGame);
                Bind(s, 1, c.id);
                Bind(s, 2, c.secret1);
                Bind(s, 3, c.invitation);
                Bind(s, 4, c.creator);
                sqlite3_bind_int64(s, 5, c.created);
                step(s, 1, "cannot store a new game");
            }
            if (!c.secret2.empty()) {
                sqlite3_stmt* s = Statement(SetSecond);
                Bind(s, 1, c.id);
                Bind(s, 2, c.secret2);
                step(s, 1, "cannot store a join: the game is missing or its seat is taken");
            }
            for (std::size_t i = 0; i < c.events.size(); ++i) {
                sqlite3_stmt* s = Statement(InsertEvent);
                Bind(s, 1, c.id);
                sqlite3_bind_int64(s, 2, c.firstEvent + static_cast<int64_t>(i));
                Bind(s, 3, c.events[i]);
                step(s, 1, "cannot store an event");
            }
            if (c.finished) {
                sqlite3_stmt* s = Statement(SetFinished);
                Bind(s, 1, c.id);
                step(s, 1, "cannot mark a game finished");
            }
        }
        step(Statement(CommitTx), -1, "cannot commit");
    } catch (...) {
        sqlite3_stmt* s = Statement(Rollback);
        sqlite3_step(s);
        sqlite3_reset(s);
        throw;
    }
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

} // namespace store

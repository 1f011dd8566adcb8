// The SQLite store behind the emulated registry (<machine>/registry.db).
//
// Tables:
//   keys(id, parent, name)          parent < 0 marks a top-level key of a root
//                                   (RootNode); name compares NOCASE
//   vals(key, name, type, data)     data holds the exact bytes written
//
// One connection per process, opened on first use and reopened when the
// machine folder (HALCYON_MACHINE) changes or after a fork. WAL journal,
// busy timeout, one transaction per change.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/non_copyable.h"

struct sqlite3;
struct sqlite3_stmt;

namespace halcyon::platform::reg::store {

using LONG = int32_t;

// The parent id of the top-level keys of a root (negative, never a row id).
int64_t RootNode(uintptr_t root);

// Lock held for every use of the connection (recursive: a batch holds it
// across the calls it groups).
std::unique_lock<std::recursive_mutex> Lock();

// A batch: one outer transaction that the transactions of the calls made
// meanwhile on this thread nest in (as savepoints). BeginBatch takes the
// lock and keeps it until EndBatch. A writing batch holds the store's write
// lock; a reading one sees the store as it was when it began while other
// processes go on writing.
LONG BeginBatch(bool write = true);
LONG EndBatch(bool commit);

// The connection for the current machine; null with `*error` set when the
// store cannot be opened or is not a registry (caller holds Lock()).
sqlite3 *Connection(LONG *error);

// Maps an SQLite result code to a Windows error code and remembers the
// message for LastError().
LONG Fail(sqlite3 *db, int rc);
// Closes the connection (a corruption error makes Connection() do this
// before the next use).
void Drop();

// The last store failure as text ("registry.db: database disk image is
// malformed"); empty when there was none.
std::string LastError();
void SetLastError(std::string text);

// Durability of a commit: true (the default) syncs the log on every commit,
// so a change survives a power loss once the call returned; false syncs
// only at checkpoints (a crash of the process still loses nothing, a power
// loss may lose the last changes but never leaves a half-written one).
void SetSynchronousFull(bool full);

// Milliseconds a call waits for another process's write lock (default 5000).
void SetBusyTimeout(int ms);

// The state of the store as this process sees it: equal versions mean that
// nothing was committed in between, here or by another process (caller holds
// Lock()). Lists read from the store are cached against it.
struct Version {
    uint64_t connection = 0; // connections differ (machine switched, fork, reopen)
    int64_t others = 0;      // commits of other connections (PRAGMA data_version)
    uint64_t local = 0;      // changes made through this process's connection
    bool operator==(const Version &) const = default;
};
// Without `others`, the version of the last look at other connections'
// commits is used (no look at the store).
Version CurrentVersion(sqlite3 *db, bool others = true);

// A prepared statement, reset on scope exit and kept for the next use of the
// same text on the same connection.
class Stmt : NonCopyable {
public:
    Stmt(sqlite3 *db, const char *sql);
    ~Stmt();
    int prepareResult() const { return prepared_; }
    Stmt &Bind(int i, int64_t v);
    Stmt &Bind(int i, std::string_view v);
    Stmt &BindBlob(int i, const void *data, size_t size);
    int Step();
    int64_t Int(int col) const;
    std::string Text(int col) const;
    std::vector<uint8_t> Blob(int col) const;
    sqlite3_stmt *get() const { return stmt_; }

private:
    sqlite3 *db_;
    sqlite3_stmt *stmt_ = nullptr;
    std::string sql_; // empty: finalized on scope exit
    int prepared_;
};

// Runs one statement to its end; an SQLite result code.
int Exec(sqlite3 *db, const char *sql);

// A transaction: BEGIN IMMEDIATE for writers, BEGIN for readers, a
// savepoint inside a batch; rolled back unless Commit() succeeded.
class Transaction : NonCopyable {
public:
    Transaction(sqlite3 *db, bool write);
    ~Transaction();
    // 0 when the transaction began; a Windows error code otherwise.
    LONG status() const { return status_; }
    LONG Commit();

private:
    sqlite3 *db_;
    bool write_;
    bool open_ = false;
    bool nested_ = false;
    LONG status_ = 0;
};

// Key lookups inside a transaction. Components are the names between
// backslashes; empty components are skipped.
std::vector<std::string> SplitComponents(std::string_view path);
// The id of the key below `node` (a root node is a key that always exists):
// ERROR_SUCCESS, ERROR_FILE_NOT_FOUND or a store error.
LONG FindKey(sqlite3 *db, int64_t node, const std::vector<std::string> &components, int64_t *id);
// Creates the missing components; `created` tells whether any was new.
// ERROR_BADKEY when the path is deeper than kMaxKeyDepth.
LONG CreateKey(sqlite3 *db, int64_t node, const std::vector<std::string> &components, int64_t *id, bool *created);

} // namespace halcyon::platform::reg::store

#include "platform/linux/registry_store.h"

#include <pthread.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <unordered_map>

#include "platform/machine_prefix.h"
#include "platform/registry.h"

namespace halcyon::platform::reg::store {

namespace {

struct State {
    std::recursive_mutex mutex;
    int batchDepth = 0; // > 0 while a batch transaction is open
    sqlite3 *db = nullptr;
    std::string root; // machine folder the connection belongs to
    pid_t pid = 0;    // process that opened it
    dev_t dev = 0;    // registry.db it opened (a machine folder removed and
    ino_t ino = 0;    // made again under the same name is a new store)
    int busyMs = 5000;
    bool syncFull = true;
    bool broken = false; // a corruption error was seen: reopen before the next use
    uint64_t connections = 0; // connections opened so far (the current one's number)
    uint64_t localChanges = 0;
    int64_t batchOthers = 0;      // other connections' version when the batch began
    int64_t lastOthers = 0;       // their version at the last look
    sqlite3_stmt *dataVersion = nullptr; // "PRAGMA data_version" on the connection
    // Prepared statements not in use, by their text: a registry walk runs the
    // same few statements many thousand times.
    std::unordered_map<std::string, std::vector<sqlite3_stmt *>> idle;
    // Connections inherited across fork(): never used nor closed by the
    // child (the parent still owns their locks); kept reachable.
    std::vector<sqlite3 *> inherited;
};

void ResetInChild();

// This process's id, kept current across fork() (a system call per store
// call costs more than the call's own work on a walk).
pid_t g_self = [] {
    ::pthread_atfork(nullptr, nullptr, [] { g_self = ::getpid(); });
    return ::getpid();
}();
pid_t Self() { return g_self; }

State &S()
{
    static State *s = [] {
        auto *state = new State; // never destroyed: verbs may run during exit
        ::pthread_atfork(nullptr, nullptr, ResetInChild);
        return state;
    }();
    return *s;
}

// After fork() the child has one thread; a lock held at that moment (by a
// batch of the forking thread, or by another thread) would never be
// released there. The child starts over with a fresh lock and no
// connection; the parent's connection is left alone.
void ResetInChild()
{
    State &s = S();
    new (&s.mutex) std::recursive_mutex();
    s.batchDepth = 0;
    if (s.db)
        s.inherited.push_back(s.db);
    s.db = nullptr;
    s.dataVersion = nullptr; // the parent's statements
    new (&s.idle) std::unordered_map<std::string, std::vector<sqlite3_stmt *>>(); // the old one is left as it was
    s.root.clear();
    s.broken = false;
}

thread_local std::string t_lastError;

const char *kSchema = "CREATE TABLE IF NOT EXISTS keys("
                      "  id INTEGER PRIMARY KEY,"
                      "  parent INTEGER NOT NULL,"
                      "  name TEXT NOT NULL COLLATE NOCASE,"
                      "  UNIQUE(parent, name));"
                      "CREATE TABLE IF NOT EXISTS vals("
                      "  key INTEGER NOT NULL,"
                      "  name TEXT NOT NULL COLLATE NOCASE,"
                      "  type INTEGER NOT NULL,"
                      "  data BLOB NOT NULL,"
                      "  PRIMARY KEY(key, name)) WITHOUT ROWID;";

LONG OpenStore(State &s, const std::string &root)
{
    if (!EnsureMachine()) {
        SetLastError(root + ": the machine folder cannot be created");
        return ERROR_REGISTRY_IO_FAILED;
    }
    std::string file = root + "/registry.db";
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        SetLastError(file + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
        sqlite3_close_v2(db);
        return ERROR_REGISTRY_IO_FAILED;
    }
    sqlite3_busy_timeout(db, s.busyMs);
    // WAL lets readers run beside one writer and keeps every committed
    // transaction whole across a crash; FULL syncs the log on each commit so
    // a change survives a power loss once the call has returned.
    const char *setup[] = {"PRAGMA journal_mode=WAL", s.syncFull ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL",
                           kSchema};
    for (const char *sql : setup) {
        rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            LONG err = Fail(db, rc);
            t_lastError = file + ": " + t_lastError;
            sqlite3_close_v2(db);
            return err;
        }
    }
    struct stat st{};
    if (::stat(file.c_str(), &st) != 0) {
        SetLastError(file + ": removed while opening");
        sqlite3_close_v2(db);
        return ERROR_REGISTRY_IO_FAILED;
    }
    s.db = db;
    ++s.connections;
    s.root = root;
    s.pid = Self();
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.broken = false;
    return ERROR_SUCCESS;
}

} // namespace

int64_t RootNode(uintptr_t root) { return -static_cast<int64_t>(root - HKEY_CLASSES_ROOT) - 1; }

std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock<std::recursive_mutex>(S().mutex); }

LONG BeginBatch(bool write)
{
    State &s = S();
    s.mutex.lock();
    if (s.batchDepth > 0) {
        // A batch inside a batch: a savepoint, so that its rollback undoes
        // its own changes.
        if (s.db && s.pid == Self() && Exec(s.db, "SAVEPOINT batch") != SQLITE_OK) {
            LONG err = Fail(s.db, sqlite3_errcode(s.db));
            s.mutex.unlock();
            return err;
        }
        ++s.batchDepth;
        return ERROR_SUCCESS;
    }
    LONG err = ERROR_SUCCESS;
    sqlite3 *db = Connection(&err);
    if (db) {
        // A reading batch starts its snapshot with its first read.
        int rc = Exec(db, write ? "BEGIN IMMEDIATE" : "BEGIN");
        if (rc == SQLITE_OK && !write)
            rc = Exec(db, "SELECT count(*) FROM (SELECT 1 FROM keys LIMIT 1)");
        if (rc == SQLITE_OK) {
            // Other connections' commits are not seen (a reading batch) or
            // cannot happen (the write lock is held): their version is read
            // once.
            s.batchOthers = CurrentVersion(db).others;
            s.batchDepth = 1;
            ++s.localChanges;
            return ERROR_SUCCESS;
        }
        err = Fail(db, rc);
        Exec(db, "ROLLBACK");
    }
    s.mutex.unlock();
    return err;
}

LONG EndBatch(bool commit)
{
    State &s = S();
    LONG result = ERROR_SUCCESS;
    if (s.batchDepth == 1 && s.db && s.pid == Self()) {
        int rc = Exec(s.db, commit ? "COMMIT" : "ROLLBACK");
        if (rc != SQLITE_OK) {
            result = Fail(s.db, rc);
            if (s.db)
                Exec(s.db, "ROLLBACK");
        }
    } else if (s.batchDepth > 1 && s.db && s.pid == Self()) {
        int rc = commit ? Exec(s.db, "RELEASE batch") : Exec(s.db, "ROLLBACK TO batch");
        if (!commit && rc == SQLITE_OK)
            rc = Exec(s.db, "RELEASE batch");
        if (rc != SQLITE_OK)
            result = Fail(s.db, rc);
    }
    if (s.batchDepth > 0)
        --s.batchDepth;
    ++s.localChanges; // a rollback changes what readers see too
    s.mutex.unlock();
    return result;
}

sqlite3 *Connection(LONG *error)
{
    State &s = S();
    std::string root = MachineRoot();
    if (s.db && s.pid != Self()) {
        // A forked child: the parent's connection (and any batch it had
        // open) stays the parent's.
        s.inherited.push_back(s.db);
        s.db = nullptr;
        s.batchDepth = 0;
    }
    if (s.batchDepth > 0) {
        // The batch keeps its store; once the store failed, so does the rest.
        *error = s.db ? ERROR_SUCCESS : ERROR_REGISTRY_IO_FAILED;
        return s.db;
    }
    if (s.db && s.broken)
        Drop();
    if (s.db) {
        struct stat st{};
        std::string file = root + "/registry.db";
        if (s.root != root || ::stat(file.c_str(), &st) != 0 || st.st_dev != s.dev || st.st_ino != s.ino)
            Drop();
    }
    if (!s.db) {
        LONG err = OpenStore(s, root);
        if (err != ERROR_SUCCESS) {
            *error = err;
            return nullptr;
        }
    }
    *error = ERROR_SUCCESS;
    return s.db;
}

void Drop()
{
    State &s = S();
    if (s.db && s.pid == Self()) {
        sqlite3_finalize(s.dataVersion);
        for (auto &[sql, list] : s.idle)
            for (sqlite3_stmt *st : list)
                sqlite3_finalize(st);
        sqlite3_close_v2(s.db);
    } else if (s.db) {
        s.inherited.push_back(s.db);
    }
    s.idle.clear();
    s.dataVersion = nullptr;
    s.db = nullptr;
    s.root.clear();
    s.broken = false;
}

LONG Fail(sqlite3 *db, int rc)
{
    int primary = rc & 0xff;
    std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    switch (primary) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        SetLastError("registry store is corrupt: " + msg);
        // Statements and the transaction of the failing call still use the
        // connection; it is closed at the next call.
        S().broken = true;
        return ERROR_REGISTRY_CORRUPT;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        SetLastError("registry store is locked by another process: " + msg);
        return ERROR_REGISTRY_IO_FAILED;
    default:
        SetLastError("registry store error: " + msg);
        return ERROR_REGISTRY_IO_FAILED;
    }
}

std::string LastError() { return t_lastError; }
void SetLastError(std::string text) { t_lastError = std::move(text); }

void SetSynchronousFull(bool full)
{
    auto lock = Lock();
    State &s = S();
    s.syncFull = full;
    if (s.db && s.pid == Self())
        sqlite3_exec(s.db, full ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
}

void SetBusyTimeout(int ms)
{
    auto lock = Lock();
    State &s = S();
    s.busyMs = ms;
    if (s.db && s.pid == Self())
        sqlite3_busy_timeout(s.db, ms);
}

Version CurrentVersion(sqlite3 *db, bool others)
{
    State &s = S();
    Version v;
    v.connection = s.connections;
    v.local = s.localChanges;
    if (s.batchDepth > 0 && db == s.db) {
        v.others = s.batchOthers;
        return v;
    }
    if (!others) {
        v.others = s.lastOthers;
        return v;
    }
    if (db == s.db && !s.dataVersion)
        sqlite3_prepare_v2(db, "PRAGMA data_version", -1, &s.dataVersion, nullptr);
    // Without the pragma nothing can be cached: every call gets a new value.
    static int64_t unknown = 0;
    v.others = --unknown;
    if (db == s.db && s.dataVersion) {
        if (sqlite3_step(s.dataVersion) == SQLITE_ROW)
            v.others = sqlite3_column_int64(s.dataVersion, 0);
        sqlite3_reset(s.dataVersion);
    }
    s.lastOthers = v.others;
    return v;
}

Stmt::Stmt(sqlite3 *db, const char *sql) : db_(db)
{
    State &s = S();
    if (db == s.db && s.pid == Self()) {
        auto it = s.idle.find(sql);
        if (it != s.idle.end() && !it->second.empty()) {
            stmt_ = it->second.back();
            it->second.pop_back();
            sql_ = sql;
            prepared_ = SQLITE_OK;
            return;
        }
        sql_ = sql;
    }
    prepared_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
}

Stmt::~Stmt()
{
    State &s = S();
    // Kept for the next use while its connection is still the store's.
    if (stmt_ && !sql_.empty() && db_ == s.db && s.pid == Self()) {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        s.idle[sql_].push_back(stmt_);
        return;
    }
    sqlite3_finalize(stmt_);
}

int Exec(sqlite3 *db, const char *sql)
{
    Stmt st(db, sql);
    if (st.prepareResult() != SQLITE_OK)
        return st.prepareResult();
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) {
    }
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

Stmt &Stmt::Bind(int i, int64_t v)
{
    sqlite3_bind_int64(stmt_, i, v);
    return *this;
}

Stmt &Stmt::Bind(int i, std::string_view v)
{
    sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
}

Stmt &Stmt::BindBlob(int i, const void *data, size_t size)
{
    static const char empty = 0;
    sqlite3_bind_blob64(stmt_, i, size ? data : &empty, size, SQLITE_TRANSIENT);
    return *this;
}

int Stmt::Step() { return stmt_ ? sqlite3_step(stmt_) : prepared_; }

int64_t Stmt::Int(int col) const { return sqlite3_column_int64(stmt_, col); }

std::string Stmt::Text(int col) const
{
    const unsigned char *t = sqlite3_column_text(stmt_, col);
    return t ? std::string(reinterpret_cast<const char *>(t), static_cast<size_t>(sqlite3_column_bytes(stmt_, col)))
             : std::string();
}

std::vector<uint8_t> Stmt::Blob(int col) const
{
    const auto *p = static_cast<const uint8_t *>(sqlite3_column_blob(stmt_, col));
    int n = sqlite3_column_bytes(stmt_, col);
    return p ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
}

Transaction::Transaction(sqlite3 *db, bool write) : db_(db), write_(write)
{
    nested_ = S().batchDepth > 0;
    if (write)
        ++S().localChanges;
    const char *begin = nested_ ? "SAVEPOINT change" : write ? "BEGIN IMMEDIATE" : "BEGIN";
    int rc = Exec(db, begin);
    if (rc == SQLITE_OK)
        open_ = true;
    else
        status_ = Fail(db, rc);
}

Transaction::~Transaction()
{
    if (open_) {
        if (nested_) {
            Exec(db_, "ROLLBACK TO change");
            Exec(db_, "RELEASE change");
        } else {
            Exec(db_, "ROLLBACK");
        }
        if (write_)
            ++S().localChanges;
    }
}

LONG Transaction::Commit()
{
    if (!open_)
        return status_;
    int rc = Exec(db_, nested_ ? "RELEASE change" : "COMMIT");
    if (rc != SQLITE_OK)
        return Fail(db_, rc); // the destructor rolls back
    open_ = false;
    if (write_)
        ++S().localChanges;
    return ERROR_SUCCESS;
}

std::vector<std::string> SplitComponents(std::string_view path)
{
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t sep = path.find('\\', pos);
        std::string_view part = path.substr(pos, sep == std::string_view::npos ? std::string_view::npos : sep - pos);
        if (!part.empty())
            out.emplace_back(part);
        if (sep == std::string_view::npos)
            break;
        pos = sep + 1;
    }
    return out;
}

namespace {

// Runs the child lookup `q` for `name` below `parent`: SQLITE_ROW with `*id`
// set, SQLITE_DONE when there is no such key, or an SQLite error.
int StepChild(Stmt &q, int64_t parent, const std::string &name, int64_t *id)
{
    sqlite3_reset(q.get());
    q.Bind(1, parent).Bind(2, name);
    int rc = q.Step();
    if (rc == SQLITE_ROW)
        *id = q.Int(0);
    return rc;
}

} // namespace

LONG FindKey(sqlite3 *db, int64_t node, const std::vector<std::string> &components, int64_t *id)
{
    int64_t cur = node;
    Stmt q(db, "SELECT id FROM keys WHERE parent=?1 AND name=?2");
    if (q.prepareResult() != SQLITE_OK)
        return Fail(db, q.prepareResult());
    for (const auto &c : components) {
        int rc = StepChild(q, cur, c, &cur);
        if (rc == SQLITE_DONE)
            return ERROR_FILE_NOT_FOUND;
        if (rc != SQLITE_ROW)
            return Fail(db, rc);
    }
    *id = cur;
    return ERROR_SUCCESS;
}

LONG CreateKey(sqlite3 *db, int64_t node, const std::vector<std::string> &components, int64_t *id, bool *created)
{
    int64_t cur = node;
    *created = false;
    if (components.size() > kMaxKeyDepth)
        return ERROR_BADKEY;
    Stmt q(db, "SELECT id FROM keys WHERE parent=?1 AND name=?2");
    Stmt ins(db, "INSERT INTO keys(parent, name) VALUES(?1, ?2)");
    if (q.prepareResult() != SQLITE_OK)
        return Fail(db, q.prepareResult());
    if (ins.prepareResult() != SQLITE_OK)
        return Fail(db, ins.prepareResult());
    for (const auto &c : components) {
        int rc = StepChild(q, cur, c, &cur);
        if (rc == SQLITE_ROW)
            continue;
        if (rc != SQLITE_DONE)
            return Fail(db, rc);
        sqlite3_reset(ins.get());
        ins.Bind(1, cur).Bind(2, c);
        rc = ins.Step();
        if (rc != SQLITE_DONE)
            return Fail(db, rc);
        cur = sqlite3_last_insert_rowid(db);
        *created = true;
    }
    *id = cur;
    return ERROR_SUCCESS;
}

} // namespace halcyon::platform::reg::store

// The settings database: SQLite loaded at run time, four statements from fixed
// templates, and a working copy in the cache partition restored from a master copy.
#include <dlfcn.h>
#include <sqlite3.h>
#include <stdarg.h>
#include <stdio.h>
#include <unistd.h>

#include "plat.h"
#include "readercore.h"
#include "rt_log.h"

namespace {

constexpr const char *kSqlitePath = "/system/lib64/libsqlite.so";
constexpr const char *kWorkCopy = "/cache/Decode.db";
constexpr const char *kMasterDir = "/unrecoverable/db/";
constexpr const char *kMasterCopy = "/unrecoverable/db/Decode.db";
constexpr const char *kTable = "Decode";

struct SqliteLib {
    void *handle;
    decltype(&sqlite3_close) close;
    decltype(&sqlite3_open) open;
    decltype(&sqlite3_exec) exec;
};

SqliteLib g_sqlite;

// Formats a statement into the fixed buffer and runs it: 0, or -1.
int run_statement(sqlite3 *db, SQLITE_ROW_PROC proc, void *context, const char *format, ...)
    __attribute__((format(printf, 4, 5)));

int run_statement(sqlite3 *db, SQLITE_ROW_PROC proc, void *context, const char *format, ...) {
    if (db == nullptr || g_sqlite.exec == nullptr) return -1;
    char statement[SQLITE_STATEMENT_MAX];
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(statement, sizeof statement, format, ap);
    va_end(ap);
    if (n < 0 || n >= static_cast<int>(sizeof statement)) {
        rt_log(LOG_LEVEL_DETAIL, "%s statement too long [%d] [%d]", "Sqlite", n, SQLITE_STATEMENT_MAX);
        return -1;
    }
    return g_sqlite.exec(db, statement, proc, context, nullptr) == SQLITE_OK ? 0 : -1;
}

bool file_present(const char *path) { return u_fileexist(path) == 0; }

void remove_file(const char *path) {
    char host[PLAT_PATH_MAX];
    if (plat_path(path, host, sizeof host) >= 0) unlink(host);
}

// SQLite opens any file and reports a damaged one only at its first statement: a copy
// counts as opened once its table can be read. An empty file (a start that died right
// after creating it) gets its table first.
int open_checked(const char *path, sqlite3 **db) {
    bool empty = get_file_size(path) == 0;
    if (SqliteOpen(path, db) != 0) return -1;
    if (empty) SqliteCreateDefault(*db, kTable);
    if (run_statement(*db, nullptr, nullptr, "select CodeID,Attribute,State from %s limit 1;", kTable) == 0) return 0;
    rt_log(LOG_LEVEL_DETAIL, "%s check failed [%s]", "Sqlite", path);
    SqliteClose(*db);
    *db = nullptr;
    return -1;
}

// A new database with the empty table, closed and opened again.
sqlite3 *create_fresh(const char *path) {
    sqlite3 *db = nullptr;
    if (SqliteOpen(path, &db) != 0) {
        remove_file(path);
        return nullptr;
    }
    SqliteCreateDefault(db, kTable);
    SqliteClose(db);
    db = nullptr;
    open_checked(path, &db);
    return db;
}

// The working copy replaced by the master: the copy's handle, or nullptr when the master
// fails the same check (the copy is removed again).
sqlite3 *restore_from_master() {
    copy_file(kMasterCopy, kWorkCopy);
    sqlite3 *db = nullptr;
    if (open_checked(kWorkCopy, &db) == 0) return db;
    remove_file(kWorkCopy);
    return nullptr;
}

}  // namespace

extern "C" int SqliteInit(void) {
    if (g_sqlite.handle != nullptr) return 0;
    void *handle = plat_dlopen(kSqlitePath, RTLD_LAZY);
    if (handle == nullptr) {
        const char *error = dlerror();
        rt_log(LOG_LEVEL_DETAIL, "dlopen Error [%s]\n", error != nullptr ? error : "");
        return -1;
    }
    g_sqlite.handle = handle;
    g_sqlite.close = reinterpret_cast<decltype(g_sqlite.close)>(dlsym(handle, "sqlite3_close"));
    g_sqlite.open = reinterpret_cast<decltype(g_sqlite.open)>(dlsym(handle, "sqlite3_open"));
    g_sqlite.exec = reinterpret_cast<decltype(g_sqlite.exec)>(dlsym(handle, "sqlite3_exec"));
    return 0;
}

extern "C" void SqliteFree(void) {
    if (g_sqlite.handle != nullptr) dlclose(g_sqlite.handle);
    g_sqlite = SqliteLib{};
}

extern "C" int SqliteOpen(const char *path, sqlite3 **out) {
    if (out != nullptr) *out = nullptr;
    if (path == nullptr || out == nullptr || SqliteInit() != 0 || g_sqlite.open == nullptr) return -1;
    char host[PLAT_PATH_MAX];
    if (plat_path(path, host, sizeof host) < 0) return -1;
    if (g_sqlite.open(host, out) == SQLITE_OK) return 0;
    // A failed open may still hand back a handle that must be closed.
    SqliteClose(*out);
    *out = nullptr;
    return -1;
}

extern "C" void SqliteClose(sqlite3 *db) {
    if (db != nullptr && g_sqlite.close != nullptr) g_sqlite.close(db);
}

extern "C" int SqliteCreateDefault(sqlite3 *db, const char *table) {
    return run_statement(db, nullptr, nullptr,
                         "CREATE TABLE %s(ID INTEGER PRIMARY KEY AUTOINCREMENT,CodeID VARCHAR(20),Attribute "
                         "VARCHAR(20),State INTEGER);",
                         table);
}

extern "C" int SqliteInsertDefault(sqlite3 *db, const char *table, const char *code_id, const char *attribute,
                                   int state) {
    return run_statement(db, nullptr, nullptr, "INSERT INTO %s VALUES (NULL, '%s', '%s', '%d')", table, code_id,
                         attribute, state);
}

extern "C" int SqliteSelectDefalut(sqlite3 *db, const char *table, const char *code_id, const char *attribute,
                                   SQLITE_ROW_PROC proc, void *context) {
    return run_statement(db, proc, context, "select State from %s where CodeID=='%s' and Attribute=='%s';", table,
                         code_id, attribute);
}

extern "C" int SqliteUpdateDefalut(sqlite3 *db, const char *table, const char *code_id, const char *attribute,
                                   const char *state) {
    return run_statement(db, nullptr, nullptr, "update %s set State='%s'  where CodeID=='%s' and Attribute=='%s';",
                         table, state, code_id, attribute);
}

extern "C" sqlite3 *OpenX3DecodeDB(void) {
    if (SqliteInit() != 0) return nullptr;
    sqlite3 *db = nullptr;
    if (file_present(kWorkCopy)) {
        if (open_checked(kWorkCopy, &db) == 0) return db;
        rt_log(LOG_LEVEL_DETAIL, "%s replaced [%s]", "OpenX3DecodeDB", kWorkCopy);
        remove_file(kWorkCopy);
    }
    if (file_present(kMasterCopy) && (db = restore_from_master()) != nullptr) return db;
    return create_fresh(kWorkCopy);
}

extern "C" sqlite3 *OpenDefaultConfigDB(void) {
    rt_log(LOG_LEVEL_DETAIL, "%s [%s]", "OpenDefaultConfigDB", kMasterDir);
    if (is_dir_exit(kMasterDir) != 0) {
        CreateDir(kMasterDir);
        rt_log(LOG_LEVEL_DETAIL, "Create Dir [%s]", kMasterDir);
    }
    sqlite3 *db = nullptr;
    if (file_present(kMasterCopy)) {
        if (open_checked(kMasterCopy, &db) == 0) return db;
        remove_file(kMasterCopy);
    }
    return create_fresh(kMasterCopy);
}

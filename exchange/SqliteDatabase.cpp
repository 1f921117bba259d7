#include "exchange/SqliteDatabase.h"

#include "platform/Exceptions.h"

#include <chrono>
#include <sqlite3.h>

namespace {

[[noreturn]] void Fail(sqlite3 *db)
{
    throw Exception(sqlite3_errmsg(db));
}

sqlite3 *OpenInMemory()
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::bad_alloc();
    }
    // A database from elsewhere runs none of its own code and cannot reach other files.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
    return db;
}

} // namespace

SqliteStatement::SqliteStatement(sqlite3 *db, std::string_view sql) : db(db)
{
    if (sqlite3_prepare_v2(db, sql.data(), int(sql.size()), &statement, nullptr) != SQLITE_OK)
        Fail(db);
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(statement); }

bool SqliteStatement::Step()
{
    const int result = sqlite3_step(statement);
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    Fail(db);
}

long long SqliteStatement::Integer(int column) const { return sqlite3_column_int64(statement, column); }

std::string_view SqliteStatement::Text(int column) const
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    return text ? std::string_view(text, size_t(sqlite3_column_bytes(statement, column))) : std::string_view();
}

void SqliteStatement::Bind(int parameter, long long value) { sqlite3_bind_int64(statement, parameter, value); }

void SqliteStatement::Bind(int parameter, std::string_view text)
{
    sqlite3_bind_text(statement, parameter, text.data(), int(text.size()), SQLITE_TRANSIENT);
}

void SqliteStatement::Run()
{
    Step();
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
}

SqliteDatabase::SqliteDatabase() : db(OpenInMemory()) {}

SqliteDatabase::SqliteDatabase(std::string &bytes, const std::string &what) : db(OpenInMemory())
{
    const int result = sqlite3_deserialize(db, "main", reinterpret_cast<unsigned char *>(bytes.data()),
                                           sqlite3_int64(bytes.size()), sqlite3_int64(bytes.size()),
                                           SQLITE_DESERIALIZE_READONLY);
    // A database made to loop or to run for ever is stopped after a minute.
    static thread_local std::chrono::steady_clock::time_point deadline;
    deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    sqlite3_progress_handler(db, 100000, [](void *) { return std::chrono::steady_clock::now() > deadline ? 1 : 0; }, nullptr);
    if (result != SQLITE_OK || sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const std::string message = sqlite3_errmsg(db);
        sqlite3_close(db);
        throw Exception(what + " cannot be read (" + message + "); nothing was imported");
    }
}

SqliteDatabase::~SqliteDatabase() { sqlite3_close(db); }

void SqliteDatabase::Execute(const std::string &sql)
{
    char *error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : sqlite3_errmsg(db);
        sqlite3_free(error);
        throw Exception("The collection cannot be made: " + message);
    }
}

bool SqliteDatabase::HasTable(const std::string &name)
{
    SqliteStatement statement(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1");
    statement.Bind(1, name);
    return statement.Step();
}

std::string SqliteDatabase::Bytes()
{
    sqlite3_int64 size = 0;
    unsigned char *data = sqlite3_serialize(db, "main", &size, 0);
    if (!data)
        throw std::bad_alloc();
    std::string bytes(reinterpret_cast<char *>(data), size_t(size));
    sqlite3_free(data);
    return bytes;
}

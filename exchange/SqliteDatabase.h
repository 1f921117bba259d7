#pragma once
// SQLite databases held in memory: one read out of bytes, or one made to be written as bytes.
#include <functional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

class SqliteStatement {
public:
    SqliteStatement(sqlite3 *db, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;
    // The next row; false at the end. Throws Exception on an error.
    bool Step();
    long long Integer(int column) const;
    std::string_view Text(int column) const;
    void Bind(int parameter, long long value);
    void Bind(int parameter, std::string_view text);
    // Runs a statement that returns no rows, then makes it ready to run again.
    void Run();

private:
    sqlite3 *db;
    sqlite3_stmt *statement = nullptr;
};

class SqliteDatabase {
public:
    // An empty database to fill.
    SqliteDatabase();
    // A database read from bytes, which it uses in place and only reads; `what` names it in
    // messages. Throws Exception when the bytes are no database.
    SqliteDatabase(std::string &bytes, const std::string &what);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase &) = delete;
    SqliteDatabase &operator=(const SqliteDatabase &) = delete;

    void Execute(const std::string &sql);
    SqliteStatement Prepare(std::string_view sql) { return SqliteStatement(db, sql); }
    // True when the database has a table (not a view) of that name.
    bool HasTable(const std::string &name);
    // The whole database as the bytes of a file.
    std::string Bytes();

private:
    sqlite3 *db = nullptr;
};

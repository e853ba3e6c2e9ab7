#pragma once

#include "store/CellTable.h"
#include "store/SqlText.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

// The one connection to the engine. Every statement runs through Query and
// gives its rows back as a CellTable.
class SQLiteDatabase
{
  public:
    SQLiteDatabase();
    ~SQLiteDatabase();
    SQLiteDatabase(const SQLiteDatabase &) = delete;
    SQLiteDatabase &operator=(const SQLiteDatabase &) = delete;

    // 1 when open (also when it already was); 0 with the engine's error code kept
    // (SQLITE_CANTOPEN for a path holding an unpaired surrogate, which the engine
    // cannot be given as it stands).
    int Open(const char16_t *path);
    void Close();

    // Runs the first statement of the text and copies every row into the table
    // (cleared first). 1 when the statement compiled and ran to its end; 0 when
    // there is no connection (last error 1), it does not compile, or a step
    // fails while it runs (last error = the engine's code; the rows read before
    // the failure stay in the table).
    int Query(const char16_t *statement, CellTable *table);
    int Query(std::u16string_view statement, CellTable *table);

    // The same for a statement with parameters ("?"), each bound to the value of the same place
    // (text as UTF-16 text, both number kinds as integers). The statement is compiled on its first
    // use and kept, with no values bound, until Close. 0 also when the number of values does not
    // match the statement's parameters (last error SQLITE_RANGE).
    int QueryBound(std::u16string_view statement, std::initializer_list<SqlArg> values, CellTable *table);
    // The same, giving the rows one at a time: for each, the table holds only that row (row 0) while
    // onRow runs; onRow returns false to stop reading (still a success). For results too large to copy
    // whole.
    int QueryBoundRows(std::u16string_view statement, std::initializer_list<SqlArg> values, CellTable *table,
                       const std::function<bool(const CellTable &)> &onRow);

    int IsOpen() const { return m_isOpen; }
    int GetLastError() const { return m_lastError; }
    // 1 while a transaction is open on the connection, else 0.
    int InTransaction() const;

  private:
    // The checks every query makes before it compiles: a table to fill (emptied here), an open
    // connection and a statement the engine can take in one piece.
    bool ReadyToQuery(std::u16string_view statement, CellTable *table);
    // Steps a compiled statement to its end, copying its rows into the table (or each row alone, to
    // onRow, when given).
    int StepInto(sqlite3_stmt *stmt, CellTable *table, const std::function<bool(const CellTable &)> *onRow);

    int m_isOpen = 0;
    std::unordered_map<std::u16string, sqlite3_stmt *, SqlTextHash, std::equal_to<>> m_prepared;
    sqlite3 *m_handle = nullptr;
    int m_lastError = 0;
};

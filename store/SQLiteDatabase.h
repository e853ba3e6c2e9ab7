#pragma once

#include "store/CellTable.h"

#include <string_view>

struct sqlite3;

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

    int IsOpen() const { return m_isOpen; }
    int GetLastError() const { return m_lastError; }
    // 1 while a transaction is open on the connection, else 0.
    int InTransaction() const;

  private:
    int m_isOpen = 0;
    sqlite3 *m_handle = nullptr;
    int m_lastError = 0;
};

#include "store/SQLiteDatabase.h"

#include "platform/sys/TextConvert.h"

#include <cstdint>
#include <sqlite3.h>

SQLiteDatabase::SQLiteDatabase() = default;

SQLiteDatabase::~SQLiteDatabase()
{
    Close();
}

int SQLiteDatabase::Open(const char16_t *path)
{
    if (m_isOpen)
        return 1;
    if (!path)
    {
        m_lastError = SQLITE_MISUSE;
        return 0;
    }
    // The engine turns the path into UTF-8 without checking surrogates: an unpaired
    // one would take the next character with it and name another file.
    if (vxsys::HasUnpairedSurrogate(std::u16string_view(path, vxsys::U16Length(path))))
    {
        m_lastError = SQLITE_CANTOPEN;
        return 0;
    }
    sqlite3 *handle = nullptr;
    const int rc = sqlite3_open16(path, &handle);
    if (rc != SQLITE_OK)
    {
        m_lastError = handle ? sqlite3_errcode(handle) : 1;
        // The engine hands out a handle even when the open fails; it must still be closed.
        if (handle)
            sqlite3_close(handle);
        return 0;
    }
    m_handle = handle;
    m_isOpen = 1;
    return 1;
}

void SQLiteDatabase::Close()
{
    // The engine closes no connection that still has compiled statements.
    for (auto &entry : m_prepared)
        sqlite3_finalize(entry.second);
    m_prepared.clear();
    if (m_handle)
        sqlite3_close(m_handle);
    m_handle = nullptr;
    m_isOpen = 0;
}

int SQLiteDatabase::InTransaction() const
{
    return m_handle && sqlite3_get_autocommit(m_handle) == 0 ? 1 : 0;
}

bool SQLiteDatabase::ReadyToQuery(std::u16string_view statement, CellTable *table)
{
    if (!table)
        return false;
    table->Clear();
    if (!m_handle)
    {
        m_lastError = 1;
        return false;
    }
    if (statement.size() > static_cast<std::size_t>(INT32_MAX / 2))
    {
        m_lastError = SQLITE_TOOBIG;
        return false;
    }
    return true;
}

int SQLiteDatabase::Query(const char16_t *statement, CellTable *table)
{
    if (!statement || !table)
        return 0;
    return Query(std::u16string_view(statement, vxsys::U16Length(statement)), table);
}

int SQLiteDatabase::Query(std::u16string_view statement, CellTable *table)
{
    if (!ReadyToQuery(statement, table))
        return 0;
    sqlite3_stmt *stmt = nullptr;
    const int bytes = static_cast<int>(statement.size() * sizeof(char16_t));
    if (sqlite3_prepare16_v2(m_handle, statement.data(), bytes, &stmt, nullptr) != SQLITE_OK)
    {
        m_lastError = sqlite3_errcode(m_handle);
        sqlite3_finalize(stmt);
        return 0;
    }
    if (!stmt) // only blanks or a comment: nothing to run
        return 1;

    const int ok = StepInto(stmt, table, nullptr);
    sqlite3_finalize(stmt);
    return ok;
}

int SQLiteDatabase::StepInto(sqlite3_stmt *stmt, CellTable *table,
                             const std::function<bool(const CellTable &)> *onRow)
{
    const int columns = sqlite3_column_count(stmt);
    uint32_t row = 0;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
    {
        for (int c = 0; c < columns; ++c)
        {
            const uint32_t col = static_cast<uint32_t>(c);
            switch (sqlite3_column_type(stmt, c))
            {
            case SQLITE_INTEGER: {
                const sqlite3_int64 value = sqlite3_column_int64(stmt, c);
                table->SetCell(row, col, &value, CellInteger, sizeof(value));
                break;
            }
            case SQLITE_FLOAT: {
                const double value = sqlite3_column_double(stmt, c);
                table->SetCell(row, col, &value, CellFloat, sizeof(value));
                break;
            }
            case SQLITE_TEXT: {
                // The engine's UTF-16 text ends with a two-byte zero, so one byte
                // past its count is still inside it.
                const void *text = sqlite3_column_text16(stmt, c);
                const uint32_t length = static_cast<uint32_t>(sqlite3_column_bytes16(stmt, c)) + 1;
                table->SetCell(row, col, text, CellText, text ? length : 0);
                break;
            }
            case SQLITE_BLOB: {
                const void *blob = sqlite3_column_blob(stmt, c);
                const uint32_t length = static_cast<uint32_t>(sqlite3_column_bytes(stmt, c));
                table->SetCell(row, col, blob, CellBlob, length);
                break;
            }
            case SQLITE_NULL:
                table->SetCell(row, col, nullptr, CellNull, 0);
                break;
            default:
                break;
            }
        }
        if (onRow)
        {
            const bool more = (*onRow)(*table);
            table->Clear();
            if (!more)
                return 1;
            continue;
        }
        ++row;
    }
    if (rc != SQLITE_DONE)
    {
        // A statement that fails while it runs has not done its work; the
        // caller must not take it as stored.
        m_lastError = sqlite3_errcode(m_handle);
        return 0;
    }
    return 1;
}

int SQLiteDatabase::QueryBound(std::u16string_view statement, std::initializer_list<SqlArg> values,
                               CellTable *table)
{
    return QueryBoundRows(statement, values, table, {});
}

int SQLiteDatabase::QueryBoundRows(std::u16string_view statement, std::initializer_list<SqlArg> values,
                                   CellTable *table, const std::function<bool(const CellTable &)> &onRow)
{
    if (!ReadyToQuery(statement, table))
        return 0;
    sqlite3_stmt *stmt = nullptr;
    auto found = m_prepared.find(statement);
    if (found != m_prepared.end())
    {
        stmt = found->second;
    }
    else
    {
        const int bytes = static_cast<int>(statement.size() * sizeof(char16_t));
        if (sqlite3_prepare16_v3(m_handle, statement.data(), bytes, SQLITE_PREPARE_PERSISTENT, &stmt,
                                 nullptr) != SQLITE_OK)
        {
            m_lastError = sqlite3_errcode(m_handle);
            sqlite3_finalize(stmt);
            return 0;
        }
        if (!stmt) // only blanks or a comment: nothing to run
            return values.size() == 0 ? 1 : (m_lastError = SQLITE_RANGE, 0);
        m_prepared.emplace(std::u16string(statement), stmt);
    }
    if (static_cast<std::size_t>(sqlite3_bind_parameter_count(stmt)) != values.size())
    {
        m_lastError = SQLITE_RANGE;
        return 0;
    }
    int index = 1;
    for (const SqlArg &value : values)
    {
        int rc;
        switch (value.GetKind())
        {
        case SqlArg::Kind::Text: {
            const std::u16string_view text = value.GetText();
            if (text.size() > static_cast<std::size_t>(INT32_MAX / 2))
                rc = SQLITE_TOOBIG;
            else
                // The value outlives the statement's run: the bindings are cleared before returning.
                // A null pointer would bind NULL, and an empty view may have one.
                rc = sqlite3_bind_text16(stmt, index, text.data() ? text.data() : u"",
                                         static_cast<int>(text.size() * 2), SQLITE_STATIC);
            break;
        }
        case SqlArg::Kind::Int32:
        case SqlArg::Kind::Int64:
            rc = sqlite3_bind_int64(stmt, index, value.GetNumber());
            break;
        default:
            rc = SQLITE_MISUSE;
            break;
        }
        if (rc != SQLITE_OK)
        {
            m_lastError = rc;
            sqlite3_clear_bindings(stmt);
            return 0;
        }
        ++index;
    }
    const int ok = StepInto(stmt, table, onRow ? &onRow : nullptr);
    // A reset statement holds no lock and no read position, so a later COMMIT is not kept waiting by
    // it; a failed run is reset the same way.
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    return ok;
}

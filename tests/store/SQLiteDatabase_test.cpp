#include "store/SQLiteDatabase.h"
#include "store/SqlText.h"

#include "platform/sys/TextConvert.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sqlite3.h>

#include <cstdint>
#include <iterator>
#include <string>

namespace
{
class SQLiteDatabaseTest : public testing::Test
{
  protected:
    void SetUp() override
    {
        m_path = vxsys::Utf8ToUtf16(vxtest::MakeTempDir("sqlite") + "/test.db");
        ASSERT_EQ(1, m_db.Open(m_path.c_str()));
    }

    int Q(const char16_t *sql) { return m_db.Query(sql, &m_table); }

    std::u16string m_path;
    SQLiteDatabase m_db;
    CellTable m_table;
};

void ExpectCell(const CellTable &table, uint32_t row, uint32_t column, uint8_t type, uint32_t length)
{
    uint8_t t = 0;
    uint32_t l = 0;
    ASSERT_EQ(1, table.GetCell(row, column, nullptr, &t, &l));
    EXPECT_EQ(type, t) << row << "," << column;
    EXPECT_EQ(length, l) << row << "," << column;
}
} // namespace

TEST_F(SQLiteDatabaseTest, QueryWithoutRowsLeavesAnEmptyTable)
{
    ASSERT_EQ(1, Q(u"create table t(a, b)"));
    const int64_t v = 1;
    m_table.SetCell(0, 0, &v, CellInteger, 8);
    EXPECT_EQ(1, Q(u"select a, b from t"));
    EXPECT_EQ(0u, m_table.GetRowCount());
    EXPECT_EQ(0u, m_table.GetColumnCount());
}

TEST_F(SQLiteDatabaseTest, CellTypesAndLengths)
{
    ASSERT_EQ(1, Q(u"select 7, 2.5, 'abc', x'0102ff', NULL, '', 'Ä€😀'"));
    ASSERT_EQ(1u, m_table.GetRowCount());
    ASSERT_EQ(7u, m_table.GetColumnCount());
    ExpectCell(m_table, 0, 0, CellInteger, 8);
    ExpectCell(m_table, 0, 1, CellFloat, 8);
    ExpectCell(m_table, 0, 2, CellText, 7); // six bytes of UTF-16 and one zero byte
    ExpectCell(m_table, 0, 3, CellBlob, 3);
    ExpectCell(m_table, 0, 4, CellNull, 0);
    ExpectCell(m_table, 0, 5, CellText, 1);
    ExpectCell(m_table, 0, 6, CellText, 9); // a surrogate pair counts four bytes

    int64_t i = 0;
    double d = 0;
    std::u16string text;
    EXPECT_EQ(1, m_table.GetInt64(0, 0, &i));
    EXPECT_EQ(7, i);
    EXPECT_EQ(1, m_table.GetDouble(0, 1, &d));
    EXPECT_EQ(2.5, d);
    EXPECT_EQ(1, m_table.GetText(0, 2, &text));
    EXPECT_EQ(u"abc", text);
    uint8_t blob[3] = {};
    EXPECT_EQ(1, m_table.GetCell(0, 3, blob, nullptr, nullptr));
    EXPECT_EQ(0xFF, blob[2]);
    EXPECT_EQ(1, m_table.GetText(0, 5, &text));
    EXPECT_EQ(u"", text);
    EXPECT_EQ(1, m_table.GetText(0, 6, &text));
    EXPECT_EQ(u"Ä€😀", text);
}

TEST_F(SQLiteDatabaseTest, AggregatesOverNoRows)
{
    ASSERT_EQ(1, Q(u"create table t(a INTEGER)"));
    ASSERT_EQ(1, Q(u"select sum(a), max(a), count(*) from t"));
    ASSERT_EQ(1u, m_table.GetRowCount());
    ExpectCell(m_table, 0, 0, CellNull, 0);
    ExpectCell(m_table, 0, 1, CellNull, 0);
    int64_t count = -1;
    EXPECT_EQ(1, m_table.GetInt64(0, 2, &count));
    EXPECT_EQ(0, count);
}

TEST_F(SQLiteDatabaseTest, ManyRowsComeBackInOrder)
{
    ASSERT_EQ(1, Q(u"create table t(a INTEGER, b TEXT)"));
    for (int i = 0; i < 20; ++i)
    {
        const std::u16string sql = u"insert into t values(" + vxsys::Utf8ToUtf16(std::to_string(i)) +
                                   u", 'r" + vxsys::Utf8ToUtf16(std::to_string(i)) + u"')";
        ASSERT_EQ(1, m_db.Query(sql, &m_table));
    }
    ASSERT_EQ(1, Q(u"select a, b from t order by a"));
    ASSERT_EQ(20u, m_table.GetRowCount());
    for (uint32_t r = 0; r < 20; ++r)
    {
        int64_t a = -1;
        std::u16string b;
        ASSERT_EQ(1, m_table.GetInt64(r, 0, &a));
        ASSERT_EQ(1, m_table.GetText(r, 1, &b));
        EXPECT_EQ(static_cast<int64_t>(r), a);
        EXPECT_EQ(u"r" + vxsys::Utf8ToUtf16(std::to_string(r)), b);
    }
}

TEST_F(SQLiteDatabaseTest, SyntaxErrorFailsWithTheEnginesCode)
{
    EXPECT_EQ(0, Q(u"selec 1"));
    EXPECT_EQ(SQLITE_ERROR, m_db.GetLastError());
    EXPECT_EQ(0, Q(u"select * from missing_table"));
    EXPECT_EQ(SQLITE_ERROR, m_db.GetLastError());
}

TEST_F(SQLiteDatabaseTest, OnlyTheFirstStatementRuns)
{
    ASSERT_EQ(1, Q(u"create table t(a); insert into t values(1)"));
    ASSERT_EQ(1, Q(u"select count(*) from t"));
    int64_t count = -1;
    m_table.GetInt64(0, 0, &count);
    EXPECT_EQ(0, count);
}

TEST_F(SQLiteDatabaseTest, StatementFailingWhileItRunsIsAFailure)
{
    ASSERT_EQ(1, Q(u"create table t(a INTEGER)"));
    ASSERT_EQ(
        1,
        Q(u"create trigger refuse before insert on t when new.a < 0 begin select raise(ABORT, 'no'); end"));
    EXPECT_EQ(1, Q(u"insert into t values(5)"));
    EXPECT_EQ(0, Q(u"insert into t values(-1)"));
    EXPECT_EQ(SQLITE_CONSTRAINT, m_db.GetLastError());
    ASSERT_EQ(1, Q(u"select a from t"));
    EXPECT_EQ(1u, m_table.GetRowCount());
}

TEST_F(SQLiteDatabaseTest, RowsReadBeforeARunTimeFailureStay)
{
    // The third row overflows abs() while the statement runs.
    EXPECT_EQ(0, Q(u"with v(x) as (values (1), (2), (3), (4)) "
                   u"select case when x = 3 then abs(-9223372036854775807 - 1) else x end from v"));
    EXPECT_EQ(SQLITE_ERROR, m_db.GetLastError());
    ASSERT_EQ(2u, m_table.GetRowCount());
    int64_t second = 0;
    EXPECT_EQ(1, m_table.GetInt64(1, 0, &second));
    EXPECT_EQ(2, second);
}

TEST_F(SQLiteDatabaseTest, BeginInsideATransactionIsRefused)
{
    EXPECT_EQ(0, m_db.InTransaction());
    EXPECT_EQ(1, Q(u"BEGIN"));
    EXPECT_EQ(1, m_db.InTransaction());
    EXPECT_EQ(0, Q(u"BEGIN"));
    EXPECT_EQ(1, m_db.InTransaction());
    EXPECT_EQ(1, Q(u"ROLLBACK"));
    EXPECT_EQ(0, m_db.InTransaction());
    EXPECT_EQ(0, Q(u"COMMIT"));
}

TEST_F(SQLiteDatabaseTest, MissingArgumentsFailWithoutTouchingTheError)
{
    EXPECT_EQ(0, Q(u"selec 1"));
    EXPECT_EQ(0, m_db.Query(static_cast<const char16_t *>(nullptr), &m_table));
    EXPECT_EQ(0, m_db.Query(u"select 1", nullptr));
    EXPECT_EQ(SQLITE_ERROR, m_db.GetLastError());
}

TEST_F(SQLiteDatabaseTest, CloseForgetsTheHandle)
{
    EXPECT_EQ(1, m_db.IsOpen());
    EXPECT_EQ(1, m_db.Open(m_path.c_str())); // already open
    m_db.Close();
    EXPECT_EQ(0, m_db.IsOpen());
    EXPECT_EQ(0, Q(u"select 1"));
    EXPECT_EQ(1, m_db.GetLastError());
    EXPECT_EQ(0, m_db.InTransaction());
    m_db.Close(); // a second close is harmless
    EXPECT_EQ(1, m_db.Open(m_path.c_str()));
    EXPECT_EQ(1, Q(u"select 1"));
}

TEST(SQLiteDatabase, FailedOpenKeepsTheEnginesCode)
{
    SQLiteDatabase db;
    const std::u16string path = vxsys::Utf8ToUtf16(vxtest::MakeTempDir("noopen") + "/missing/folder/x.db");
    EXPECT_EQ(0, db.Open(path.c_str()));
    EXPECT_EQ(0, db.IsOpen());
    EXPECT_EQ(SQLITE_CANTOPEN, db.GetLastError());
    CellTable table;
    EXPECT_EQ(0, db.Query(u"select 1", &table));
    EXPECT_EQ(1, db.GetLastError());
}

TEST(SQLiteDatabase, NewFilesAreUtf16)
{
    SQLiteDatabase db;
    const std::u16string path = vxsys::Utf8ToUtf16(vxtest::MakeTempDir("enc") + "/e.db");
    ASSERT_EQ(1, db.Open(path.c_str()));
    CellTable table;
    ASSERT_EQ(1, db.Query(u"create table t(a)", &table));
    ASSERT_EQ(1, db.Query(u"pragma encoding", &table));
    std::u16string encoding;
    ASSERT_EQ(1, table.GetText(0, 0, &encoding));
    EXPECT_EQ(u"UTF-16le", encoding);
}

TEST(SQLiteDatabase, PathWithAnUnpairedSurrogateIsNotOpened)
{
    // The engine would read the surrogate with the '/' after it and create a file beside the folder.
    const std::string base = vxtest::MakeTempDir("surrogate-path");
    const std::u16string folder = vxsys::Utf8ToUtf16(base + "/x");
    for (const char16_t s : {char16_t(0xD800), char16_t(0xDBFF), char16_t(0xDC00)})
    {
        SQLiteDatabase db;
        const std::u16string path = folder + s + u"/f.db";
        EXPECT_EQ(0, db.Open(path.c_str())) << std::hex << unsigned(s);
        EXPECT_EQ(0, db.IsOpen());
        EXPECT_EQ(SQLITE_CANTOPEN, db.GetLastError());
    }
    EXPECT_TRUE(std::filesystem::is_empty(base));
}

// ---- statements with bound values ----

TEST_F(SQLiteDatabaseTest, BoundValuesAreStoredAsTheLiteralsWere)
{
    ASSERT_EQ(1, Q(u"create table t(id INTEGER, s TEXT, b BLOB, n INTEGER)"));
    struct Case
    {
        const char16_t *text;
        int32_t small;
        int64_t big;
    };
    const Case cases[] = {
        {u"O'Brien", -5, 128752416000000000},
        {u"'); drop table t; --", INT32_MIN, INT64_MIN},
        {u"", INT32_MAX, INT64_MAX},
        {u"\u00c4\u20ac\U0001F600", 0, -1},
    };
    int32_t id = 0;
    for (const Case &c : cases)
    {
        // The same statement for every row: each run has its own values.
        ASSERT_EQ(
            1, m_db.QueryBound(u"insert into t values(?, ?, ?, ?)", {id, c.text, c.text, c.big}, &m_table));
        // The literal statement the values stood for, into the same table.
        const auto literal =
            SqlFormat(u"insert into t values(%i, '%s', '%s', %I64i)", {id + 100, c.text, c.text, c.big});
        ASSERT_TRUE(literal);
        ASSERT_EQ(1, m_db.Query(*literal, &m_table));
        ++id;
    }
    for (int32_t i = 0; i < id; ++i)
    {
        ASSERT_EQ(
            1, m_db.QueryBound(u"select typeof(s), typeof(b), typeof(n), s, n from t where id = ? or id = ? "
                               u"order by id",
                               {i, i + 100}, &m_table));
        ASSERT_EQ(2u, m_table.GetRowCount()) << i;
        for (uint32_t c = 0; c < 5; ++c)
        {
            uint8_t typeA = 0, typeB = 0;
            uint32_t lengthA = 0, lengthB = 0;
            ASSERT_EQ(1, m_table.GetCell(0, c, nullptr, &typeA, &lengthA));
            ASSERT_EQ(1, m_table.GetCell(1, c, nullptr, &typeB, &lengthB));
            EXPECT_EQ(typeA, typeB) << i << "," << c;
            std::string a(lengthA, '\0'), b(lengthB, '\0');
            m_table.GetCell(0, c, a.data(), nullptr, nullptr);
            m_table.GetCell(1, c, b.data(), nullptr, nullptr);
            EXPECT_EQ(a, b) << i << "," << c;
        }
        std::u16string text;
        ASSERT_EQ(1, m_table.GetText(0, 3, &text));
        EXPECT_EQ(cases[i].text, text);
    }
    // The table survived the hostile text.
    ASSERT_EQ(1, Q(u"select count(*) from t"));
    int64_t count = 0;
    m_table.GetInt64(0, 0, &count);
    EXPECT_EQ(2 * id, count);
}

// An empty text value is the empty string whatever its view points at, as the literal '' would be;
// a view with no storage behind it must not bind as NULL.
TEST_F(SQLiteDatabaseTest, EmptyTextWithoutStorageBindsAsEmptyString)
{
    ASSERT_EQ(1, m_db.QueryBound(u"select typeof(?), ? = ''", {std::u16string_view{}, std::u16string_view{}},
                                 &m_table));
    std::u16string type;
    ASSERT_EQ(1, m_table.GetText(0, 0, &type));
    EXPECT_EQ(u"text", type);
    int64_t equal = 0;
    ASSERT_TRUE(m_table.GetInt64(0, 1, &equal));
    EXPECT_EQ(1, equal);
}

TEST_F(SQLiteDatabaseTest, BoundStatementFailures)
{
    ASSERT_EQ(1, Q(u"create table t(a INTEGER)"));
    struct Case
    {
        const char *why;
        int result;
        int error;
    };
    const int tooFew = m_db.QueryBound(u"select ? + ?", {int32_t{1}}, &m_table);
    const int tooFewError = m_db.GetLastError();
    const int tooMany = m_db.QueryBound(u"select ?", {int32_t{1}, int32_t{2}}, &m_table);
    const int tooManyError = m_db.GetLastError();
    const int syntax = m_db.QueryBound(u"selec ?", {int32_t{1}}, &m_table);
    const int syntaxError = m_db.GetLastError();
    const int blankWithValue = m_db.QueryBound(u"  ", {int32_t{1}}, &m_table);
    const int blankError = m_db.GetLastError();
    const Case cases[] = {
        {"fewer values than parameters", tooFew, tooFewError},
        {"more values than parameters", tooMany, tooManyError},
        {"a statement that does not compile", syntax, syntaxError},
        {"a value for no statement", blankWithValue, blankError},
    };
    const int expected[] = {SQLITE_RANGE, SQLITE_RANGE, SQLITE_ERROR, SQLITE_RANGE};
    for (std::size_t i = 0; i < std::size(cases); ++i)
    {
        EXPECT_EQ(0, cases[i].result) << cases[i].why;
        EXPECT_EQ(expected[i], cases[i].error) << cases[i].why;
    }
    EXPECT_EQ(1, m_db.QueryBound(u"  ", {}, &m_table));
    EXPECT_EQ(0, m_db.QueryBound(u"select ?", {int32_t{1}}, nullptr));
    // A statement whose compile failed is not kept: it fails again, not with stale results.
    EXPECT_EQ(0, m_db.QueryBound(u"selec ?", {int32_t{1}}, &m_table));
}

TEST_F(SQLiteDatabaseTest, FailedRunOfAKeptStatementHoldsNoLockAndRunsAgain)
{
    ASSERT_EQ(1, Q(u"create table t(a INTEGER)"));
    ASSERT_EQ(1, Q(u"insert into t values(9223372036854775807)"));
    ASSERT_EQ(1, Q(u"insert into t values(1)"));
    // The sum overflows while the statement runs.
    EXPECT_EQ(0, m_db.QueryBound(u"select sum(a) from t where a > ?", {int32_t{-1}}, &m_table));

    // Another connection can take the whole file: the failed statement keeps no read lock.
    SQLiteDatabase other;
    ASSERT_EQ(1, other.Open(m_path.c_str()));
    CellTable table;
    ASSERT_EQ(1, other.Query(u"BEGIN EXCLUSIVE", &table));
    ASSERT_EQ(1, other.Query(u"delete from t where a = 1", &table));
    ASSERT_EQ(1, other.Query(u"COMMIT", &table));

    // The same statement with other values runs again from its start.
    ASSERT_EQ(1, m_db.QueryBound(u"select sum(a) from t where a > ?", {int32_t{-1}}, &m_table));
    int64_t sum = 0;
    ASSERT_EQ(1, m_table.GetInt64(0, 0, &sum));
    EXPECT_EQ(INT64_MAX, sum);
}

TEST_F(SQLiteDatabaseTest, CloseFinalizesTheKeptStatements)
{
    ASSERT_EQ(1, Q(u"create table t(a INTEGER)"));
    ASSERT_EQ(1, m_db.QueryBound(u"insert into t values(?)", {int32_t{1}}, &m_table));
    ASSERT_EQ(1, m_db.QueryBound(u"select a from t where a = ?", {int32_t{1}}, &m_table));
    m_db.Close();
    EXPECT_EQ(0, m_db.QueryBound(u"select a from t where a = ?", {int32_t{1}}, &m_table));
    EXPECT_EQ(1, m_db.GetLastError());
    // The file was closed, not left with a connection: another one may take it at once.
    SQLiteDatabase other;
    ASSERT_EQ(1, other.Open(m_path.c_str()));
    CellTable table;
    EXPECT_EQ(1, other.Query(u"BEGIN EXCLUSIVE", &table));
    EXPECT_EQ(1, other.Query(u"COMMIT", &table));
    // Opened again, the statements compile afresh.
    ASSERT_EQ(1, m_db.Open(m_path.c_str()));
    ASSERT_EQ(1, m_db.QueryBound(u"select a from t where a = ?", {int32_t{1}}, &m_table));
    EXPECT_EQ(1u, m_table.GetRowCount());
}

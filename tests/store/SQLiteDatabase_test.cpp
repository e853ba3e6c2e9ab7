#include "store/SQLiteDatabase.h"

#include "platform/sys/TextConvert.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sqlite3.h>

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

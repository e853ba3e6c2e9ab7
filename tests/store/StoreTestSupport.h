#pragma once

#include "platform/sys/TextConvert.h"
#include "store/SQLiteDatabase.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace storetest
{
inline std::u16string U16(const std::string &utf8)
{
    return vxsys::Utf8ToUtf16(utf8);
}

inline std::string U8(const std::u16string &text)
{
    return vxsys::Utf16ToUtf8(text);
}

// A second connection to a database file: sees only what was committed, and
// can hold locks the way another program would.
class Peek
{
  public:
    explicit Peek(const std::u16string &path) { EXPECT_EQ(1, m_db.Open(path.c_str())); }

    int Run(const std::u16string &sql) { return m_db.Query(sql, &m_table); }

    int64_t Count(const std::u16string &sql)
    {
        int64_t count = -1;
        EXPECT_EQ(1, Run(sql)) << U8(sql);
        EXPECT_EQ(1, m_table.GetInt64(0, 0, &count)) << U8(sql);
        return count;
    }

    std::optional<std::u16string> Text(const std::u16string &sql)
    {
        std::u16string text;
        EXPECT_EQ(1, Run(sql)) << U8(sql);
        if (!m_table.GetText(0, 0, &text))
            return std::nullopt;
        return text;
    }

    const CellTable &Table() const { return m_table; }
    SQLiteDatabase &Db() { return m_db; }

  private:
    SQLiteDatabase m_db;
    CellTable m_table;
};

using ScopedEnv = vxtest::ScopedEnv;
} // namespace storetest

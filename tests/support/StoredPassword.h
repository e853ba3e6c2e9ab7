#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "store/CellTable.h"
#include "store/SQLiteDatabase.h"

namespace vxtest
{
// The password text that the records store file keeps for a user, as a command line or another
// program's log-in request carries it.
inline std::u16string StoredPasswordText(const std::filesystem::path &file, const std::u16string &user)
{
    SQLiteDatabase db;
    EXPECT_EQ(db.Open(file.u16string().c_str()), 1);
    CellTable table;
    std::u16string quoted;
    for (char16_t c : user)
        quoted += c == u'\'' ? u"''" : std::u16string(1, c);
    EXPECT_EQ(db.Query(u"select Password from UserInfo where UserID='" + quoted + u"'", &table), 1);
    std::u16string text;
    EXPECT_TRUE(table.GetText(0, 0, &text));
    return text;
}
} // namespace vxtest

#include "store/CellTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{
uint8_t TypeOf(const CellTable &table, uint32_t row, uint32_t column)
{
    uint8_t type = 0;
    uint32_t length = 0;
    EXPECT_EQ(1, table.GetCell(row, column, nullptr, &type, &length));
    return type;
}
} // namespace

TEST(CellTable, StartsEmpty)
{
    CellTable table;
    EXPECT_EQ(0u, table.GetRowCount());
    EXPECT_EQ(0u, table.GetColumnCount());
    uint8_t type = 7;
    uint32_t length = 9;
    EXPECT_EQ(0, table.GetCell(0, 0, nullptr, &type, &length));
    EXPECT_EQ(7, type);
    EXPECT_EQ(9u, length);
}

TEST(CellTable, SetCellOutsideGrowsAndLeavesOtherCellsEmpty)
{
    CellTable table;
    const int64_t value = 42;
    EXPECT_EQ(1, table.SetCell(2, 3, &value, CellInteger, 8));
    EXPECT_EQ(3u, table.GetRowCount());
    EXPECT_EQ(4u, table.GetColumnCount());
    for (uint32_t r = 0; r < 3; ++r)
    {
        for (uint32_t c = 0; c < 4; ++c)
        {
            if (r == 2 && c == 3)
                continue;
            uint8_t type = 0;
            uint32_t length = 1;
            ASSERT_EQ(1, table.GetCell(r, c, nullptr, &type, &length));
            EXPECT_EQ(CellNull, type) << r << "," << c;
            EXPECT_EQ(0u, length);
        }
    }
    int64_t read = 0;
    EXPECT_EQ(1, table.GetInt64(2, 3, &read));
    EXPECT_EQ(42, read);
    EXPECT_EQ(0, table.GetCell(3, 0, nullptr, nullptr, nullptr));
    EXPECT_EQ(0, table.GetCell(0, 4, nullptr, nullptr, nullptr));
}

TEST(CellTable, GrowingKeepsEveryValue)
{
    CellTable table;
    // Filled the way a query fills it: along the first row, then row by row.
    for (uint32_t r = 0; r < 5; ++r)
        for (uint32_t c = 0; c < 3; ++c)
        {
            const int64_t v = r * 10 + c;
            table.SetCell(r, c, &v, CellInteger, 8);
        }
    const char16_t text[] = u"xy";
    table.SetCell(5, 4, text, CellText, 5);
    ASSERT_EQ(6u, table.GetRowCount());
    ASSERT_EQ(5u, table.GetColumnCount());
    for (uint32_t r = 0; r < 5; ++r)
        for (uint32_t c = 0; c < 3; ++c)
        {
            int64_t v = -1;
            ASSERT_EQ(1, table.GetInt64(r, c, &v));
            EXPECT_EQ(static_cast<int64_t>(r * 10 + c), v);
        }
    std::u16string read;
    EXPECT_EQ(1, table.GetText(5, 4, &read));
    EXPECT_EQ(u"xy", read);
}

TEST(CellTable, TypedReadsRefuseOtherTypes)
{
    CellTable table;
    const double d = 2.5;
    table.SetCell(0, 0, &d, CellFloat, 8);
    table.SetCell(0, 1, nullptr, CellNull, 0);
    int64_t i = 77;
    EXPECT_EQ(0, table.GetInt64(0, 0, &i));
    EXPECT_EQ(77, i);
    double read = 0;
    EXPECT_EQ(1, table.GetDouble(0, 0, &read));
    EXPECT_EQ(2.5, read);
    std::u16string text = u"keep";
    EXPECT_EQ(0, table.GetText(0, 1, &text));
    EXPECT_EQ(u"keep", text);
    EXPECT_EQ(CellNull, TypeOf(table, 0, 1));
}

TEST(CellTable, NullValueOrZeroLengthStoresNoValue)
{
    CellTable table;
    const uint8_t blob[3] = {1, 2, 3};
    table.SetCell(0, 1, blob, CellNull, 3);
    table.SetCell(0, 0, blob, CellBlob, 0);
    uint8_t dest[3] = {9, 9, 9};
    uint8_t type = 0;
    uint32_t length = 0;
    ASSERT_EQ(1, table.GetCell(0, 0, dest, &type, &length));
    EXPECT_EQ(CellBlob, type);
    EXPECT_EQ(0u, length);
    EXPECT_EQ(9, dest[0]);
    ASSERT_EQ(1, table.GetCell(0, 1, dest, &type, &length));
    EXPECT_EQ(CellNull, type);
    EXPECT_EQ(3u, length);
    // No value was kept, so nothing of the caller's bytes survives as a value.
    EXPECT_EQ(0, dest[0]);
}

TEST(CellTable, EmptyCellsDoNotSurviveGrowth)
{
    CellTable table;
    const uint8_t blob[1] = {1};
    table.SetCell(0, 0, blob, CellBlob, 0);
    table.SetCell(1, 1, blob, CellBlob, 1);
    uint8_t type = 0;
    ASSERT_EQ(1, table.GetCell(0, 0, nullptr, &type, nullptr));
    EXPECT_EQ(CellNull, type);
    ASSERT_EQ(1, table.GetCell(1, 1, nullptr, &type, nullptr));
    EXPECT_EQ(CellBlob, type);
}

TEST(CellTable, TextIsReadByItsLengthOnly)
{
    CellTable table;
    // Two characters, the second of them a zero, and no terminator after them.
    const char16_t text[2] = {u'a', u'\0'};
    table.SetCell(0, 0, text, CellText, 4);
    std::u16string read;
    ASSERT_EQ(1, table.GetText(0, 0, &read));
    EXPECT_EQ(std::u16string(u"a\0", 2), read);

    // One odd byte (the terminator byte of a query result) is not a character.
    const char16_t abc[4] = u"abc";
    table.SetCell(0, 1, abc, CellText, 7);
    ASSERT_EQ(1, table.GetText(0, 1, &read));
    EXPECT_EQ(u"abc", read);
}

TEST(CellTable, ClearEmptiesTheTable)
{
    CellTable table;
    const int64_t v = 1;
    table.SetCell(4, 4, &v, CellInteger, 8);
    table.Clear();
    EXPECT_EQ(0u, table.GetRowCount());
    EXPECT_EQ(0u, table.GetColumnCount());
    EXPECT_EQ(0, table.GetCell(0, 0, nullptr, nullptr, nullptr));
}

namespace
{
// The value that the growth test puts in a cell: numbers, short and long texts, blobs and NULLs in turn,
// so both values kept in the cell and values kept apart are moved by the growth.
struct Expected
{
    uint8_t type;
    std::string bytes;
};

Expected ValueOf(uint32_t row, uint32_t column)
{
    const uint32_t kind = (row + column) % 5;
    const std::string digits = std::to_string(row) + ":" + std::to_string(column);
    switch (kind)
    {
    case 0: {
        const int64_t v = static_cast<int64_t>(row) * 1000 + column;
        return {CellInteger, std::string(reinterpret_cast<const char *>(&v), sizeof(v))};
    }
    case 1:
        return {CellText, digits.substr(0, 4)};
    case 2:
        return {CellBlob, digits + std::string(20 + row % 7, 'x')};
    case 3:
        return {CellNull, std::string()};
    default: {
        const double d = row + column / 8.0;
        return {CellFloat, std::string(reinterpret_cast<const char *>(&d), sizeof(d))};
    }
    }
}

void Put(CellTable &table, uint32_t row, uint32_t column)
{
    const Expected e = ValueOf(row, column);
    table.SetCell(row, column, e.bytes.empty() ? nullptr : e.bytes.data(), e.type,
                  static_cast<uint32_t>(e.bytes.size()));
}

void ExpectAll(const CellTable &table, uint32_t rows, uint32_t columns, uint32_t filledColumns)
{
    ASSERT_EQ(rows, table.GetRowCount());
    ASSERT_EQ(columns, table.GetColumnCount());
    for (uint32_t r = 0; r < rows; ++r)
    {
        for (uint32_t c = 0; c < columns; ++c)
        {
            const Expected e = c < filledColumns ? ValueOf(r, c) : Expected{CellNull, std::string()};
            uint8_t type = 0;
            uint32_t length = 0;
            ASSERT_EQ(1, table.GetCell(r, c, nullptr, &type, &length)) << r << "," << c;
            ASSERT_EQ(e.type, type) << r << "," << c;
            ASSERT_EQ(e.bytes.size(), length) << r << "," << c;
            std::string read(length, '\0');
            ASSERT_EQ(1, table.GetCell(r, c, read.data(), nullptr, nullptr));
            ASSERT_EQ(e.bytes, read) << r << "," << c;
        }
    }
}
} // namespace

TEST(CellTable, GrowthKeepsEveryCellOfALargeTable)
{
    CellTable table;
    // Row by row, as a query of many rows fills it.
    const uint32_t rows = 20000;
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t c = 0; c < 4; ++c)
            Put(table, r, c);
    ExpectAll(table, rows, 4, 4);

    // A column added after the rows moves every cell to its new place.
    table.SetCell(0, 5, nullptr, CellNull, 0);
    ExpectAll(table, rows, 6, 4);

    // Rows past the end after that, and an explicit growth, keep them too.
    for (uint32_t c = 0; c < 4; ++c)
        Put(table, rows + 10, c);
    ASSERT_EQ(1, table.Resize(6, rows + 100));
    EXPECT_EQ(rows + 100, table.GetRowCount());
    for (uint32_t r = 0; r < rows + 100; r += (r < rows ? 997 : 1))
        for (uint32_t c = 0; c < 6; ++c)
        {
            const bool filled = c < 4 && (r < rows || r == rows + 10);
            const Expected e = filled ? ValueOf(r, c) : Expected{CellNull, std::string()};
            std::string read(e.bytes.size(), '\0');
            uint8_t type = 0;
            ASSERT_EQ(1, table.GetCell(r, c, read.data(), &type, nullptr));
            EXPECT_EQ(e.type, type) << r << "," << c;
            EXPECT_EQ(e.bytes, read) << r << "," << c;
        }

    // A cleared table grows again from nothing.
    table.Clear();
    for (uint32_t r = 0; r < 300; ++r)
        for (uint32_t c = 0; c < 3; ++c)
            Put(table, r, c);
    ExpectAll(table, 300, 3, 3);
}

#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The type tag of one cell of a query result.
enum CellType : uint8_t
{
    CellInteger = 1, // 8 bytes, signed 64-bit
    CellText = 3,    // UTF-16 bytes followed by one zero byte
    CellBlob = 4,
    CellFloat = 5, // 8 bytes, double
    CellNull = 255
};

// A query result: rows by columns of cells, each holding its own copy of the
// value, its length in bytes and its type.
class CellTable
{
  public:
    CellTable();
    ~CellTable();
    CellTable(const CellTable &) = delete;
    CellTable &operator=(const CellTable &) = delete;

    void Clear();
    // Grows the table to at least the given size, keeping every non-empty cell
    // (a cell of length 0 becomes an empty NULL cell). Rows are reserved in
    // growing blocks, so a table filled row by row costs time linear in its
    // cells; adding a column moves every cell once.
    int Resize(uint32_t columns, uint32_t rows);
    uint32_t GetRowCount() const { return m_rows; }
    uint32_t GetColumnCount() const { return m_columns; }

    // Stores a copy of length bytes of value; grows the table when the cell lies outside it.
    int SetCell(uint32_t row, uint32_t column, const void *value, uint8_t type, uint32_t length);

    // 0 outside the table, with nothing written. Otherwise writes the type and
    // length and, when dest is given, copies length bytes into it; 1.
    int GetCell(uint32_t row, uint32_t column, void *dest, uint8_t *type, uint32_t *length) const;

    // Typed reads: 1 when the cell exists and has the asked type, else 0 with
    // the output untouched.
    int GetInt64(uint32_t row, uint32_t column, int64_t *value) const;
    int GetDouble(uint32_t row, uint32_t column, double *value) const;
    // A text cell is read by its stored length only (never up to a terminator).
    int GetText(uint32_t row, uint32_t column, std::u16string *value) const;

  private:
    // Values of up to 8 bytes (every number) are kept in the cell itself: a result of many rows then
    // costs no allocation per cell.
    struct Cell
    {
        std::unique_ptr<uint8_t[]> heap;
        uint8_t small[8] = {};
        uint32_t length = 0;
        uint8_t type = CellNull;
        bool hasValue = false;

        const uint8_t *Value() const { return heap ? heap.get() : (hasValue ? small : nullptr); }
    };

    const Cell *Find(uint32_t row, uint32_t column) const;
    // Cells set with a type but no bytes; growth turns them into empty cells.
    void DropEmptyCells();

    uint32_t m_rows = 0;
    uint32_t m_columns = 0;
    std::vector<Cell> m_cells;
    std::vector<std::size_t> m_emptyCells;
};

#include "store/CellTable.h"

#include <algorithm>
#include <cstring>

namespace
{
// A table that grew beyond this many cells gives its memory back when cleared; smaller ones keep it
// for the next statement.
const std::size_t kKeptCells = 4096;
} // namespace

CellTable::CellTable() = default;

CellTable::~CellTable()
{
    Clear();
}

void CellTable::Clear()
{
    m_cells.clear();
    if (m_cells.capacity() > kKeptCells)
        m_cells.shrink_to_fit();
    m_emptyCells.clear();
    m_rows = 0;
    m_columns = 0;
}

void CellTable::DropEmptyCells()
{
    for (std::size_t index : m_emptyCells)
    {
        if (index >= m_cells.size())
            continue;
        Cell &cell = m_cells[index];
        if (cell.type == CellNull || cell.length == 0)
            cell = Cell();
    }
    m_emptyCells.clear();
}

int CellTable::Resize(uint32_t columns, uint32_t rows)
{
    columns = std::max(columns, m_columns);
    rows = std::max(rows, m_rows);
    if (columns == m_columns && rows == m_rows)
        return 1;
    DropEmptyCells();
    const std::size_t needed = static_cast<std::size_t>(rows) * columns;
    if (columns == m_columns || m_rows == 0)
    {
        // Rows are stored one after the other, so new rows go behind the old ones, which stay where they
        // are; the reserve doubles, so n rows added one by one move each cell a bounded number of times.
        if (needed > m_cells.capacity())
            m_cells.reserve(std::max(needed, m_cells.capacity() * 2));
        m_cells.resize(needed);
    }
    else
    {
        std::vector<Cell> cells;
        cells.reserve(std::max(needed, static_cast<std::size_t>(m_rows) * 2 * columns));
        cells.resize(needed);
        for (uint32_t r = 0; r < m_rows; ++r)
        {
            for (uint32_t c = 0; c < m_columns; ++c)
                cells[static_cast<std::size_t>(r) * columns + c] =
                    std::move(m_cells[static_cast<std::size_t>(r) * m_columns + c]);
        }
        m_cells = std::move(cells);
    }
    m_rows = rows;
    m_columns = columns;
    return 1;
}

int CellTable::SetCell(uint32_t row, uint32_t column, const void *value, uint8_t type, uint32_t length)
{
    if (row >= m_rows || column >= m_columns)
        Resize(std::max(m_columns, column + 1), std::max(m_rows, row + 1));
    const std::size_t index = static_cast<std::size_t>(row) * m_columns + column;
    Cell &cell = m_cells[index];
    cell.heap.reset();
    cell.hasValue = false;
    if (value && type != CellNull && length != 0)
    {
        if (length <= sizeof(cell.small))
        {
            std::memcpy(cell.small, value, length);
            cell.hasValue = true;
        }
        else
        {
            cell.heap = std::make_unique<uint8_t[]>(length);
            std::memcpy(cell.heap.get(), value, length);
        }
    }
    cell.length = length;
    cell.type = type;
    if ((type == CellNull || length == 0) && !(type == CellNull && length == 0))
        m_emptyCells.push_back(index);
    return 1;
}

const CellTable::Cell *CellTable::Find(uint32_t row, uint32_t column) const
{
    if (row >= m_rows || column >= m_columns)
        return nullptr;
    return &m_cells[static_cast<std::size_t>(row) * m_columns + column];
}

int CellTable::GetCell(uint32_t row, uint32_t column, void *dest, uint8_t *type, uint32_t *length) const
{
    const Cell *cell = Find(row, column);
    if (!cell)
        return 0;
    if (type)
        *type = cell->type;
    if (length)
        *length = cell->length;
    if (dest && cell->length != 0)
    {
        if (const uint8_t *value = cell->Value())
            std::memcpy(dest, value, cell->length);
        else
            std::memset(dest, 0, cell->length);
    }
    return 1;
}

int CellTable::GetInt64(uint32_t row, uint32_t column, int64_t *value) const
{
    const Cell *cell = Find(row, column);
    if (!cell || !value || cell->type != CellInteger || cell->length != sizeof(int64_t) || !cell->Value())
        return 0;
    std::memcpy(value, cell->Value(), sizeof(int64_t));
    return 1;
}

int CellTable::GetDouble(uint32_t row, uint32_t column, double *value) const
{
    const Cell *cell = Find(row, column);
    if (!cell || !value || cell->type != CellFloat || cell->length != sizeof(double) || !cell->Value())
        return 0;
    std::memcpy(value, cell->Value(), sizeof(double));
    return 1;
}

int CellTable::GetText(uint32_t row, uint32_t column, std::u16string *value) const
{
    const Cell *cell = Find(row, column);
    if (!cell || !value || cell->type != CellText)
        return 0;
    // The stored length counts the UTF-16 bytes plus one zero byte.
    const std::size_t chars = cell->length / 2;
    value->assign(chars, u'\0');
    const uint8_t *bytes = cell->Value();
    if (chars != 0 && bytes)
        std::memcpy(value->data(), bytes, chars * 2);
    return 1;
}

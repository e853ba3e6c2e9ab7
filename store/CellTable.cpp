#include "store/CellTable.h"

#include <algorithm>
#include <cstring>

CellTable::CellTable() = default;

CellTable::~CellTable()
{
    Clear();
}

void CellTable::Clear()
{
    m_cells.clear();
    m_cells.shrink_to_fit();
    m_rows = 0;
    m_columns = 0;
}

int CellTable::Resize(uint32_t columns, uint32_t rows)
{
    columns = std::max(columns, m_columns);
    rows = std::max(rows, m_rows);
    if (columns == m_columns && rows == m_rows)
        return 1;
    std::vector<Cell> cells(static_cast<std::size_t>(rows) * columns);
    for (uint32_t r = 0; r < m_rows; ++r)
    {
        for (uint32_t c = 0; c < m_columns; ++c)
        {
            Cell &old = m_cells[static_cast<std::size_t>(r) * m_columns + c];
            if (old.type == CellNull || old.length == 0)
                continue;
            cells[static_cast<std::size_t>(r) * columns + c] = std::move(old);
        }
    }
    m_cells = std::move(cells);
    m_rows = rows;
    m_columns = columns;
    return 1;
}

int CellTable::SetCell(uint32_t row, uint32_t column, const void *value, uint8_t type, uint32_t length)
{
    if (row >= m_rows || column >= m_columns)
        Resize(std::max(m_columns, column + 1), std::max(m_rows, row + 1));
    Cell &cell = m_cells[static_cast<std::size_t>(row) * m_columns + column];
    cell.value.reset();
    if (value && type != CellNull && length != 0)
    {
        cell.value = std::make_unique<uint8_t[]>(length);
        std::memcpy(cell.value.get(), value, length);
    }
    cell.length = length;
    cell.type = type;
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
        if (cell->value)
            std::memcpy(dest, cell->value.get(), cell->length);
        else
            std::memset(dest, 0, cell->length);
    }
    return 1;
}

int CellTable::GetInt64(uint32_t row, uint32_t column, int64_t *value) const
{
    const Cell *cell = Find(row, column);
    if (!cell || !value || cell->type != CellInteger || cell->length != sizeof(int64_t) || !cell->value)
        return 0;
    std::memcpy(value, cell->value.get(), sizeof(int64_t));
    return 1;
}

int CellTable::GetDouble(uint32_t row, uint32_t column, double *value) const
{
    const Cell *cell = Find(row, column);
    if (!cell || !value || cell->type != CellFloat || cell->length != sizeof(double) || !cell->value)
        return 0;
    std::memcpy(value, cell->value.get(), sizeof(double));
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
    if (chars != 0 && cell->value)
        std::memcpy(value->data(), cell->value.get(), chars * 2);
    return 1;
}

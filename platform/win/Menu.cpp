#include "platform/win/Menu.h"

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, LPCWSTR text)
{
    if (flags == MF_SEPARATOR)
    {
        m_items.push_back(Item{MF_SEPARATOR, 0, {}});
        return TRUE;
    }
    if (flags != MF_STRING || !text)
        return FALSE;
    m_items.push_back(Item{MF_STRING, id, text});
    return TRUE;
}

UINT CMenu::GetMenuItemID(int position) const
{
    if (position < 0 || static_cast<std::size_t>(position) >= m_items.size())
        return static_cast<UINT>(-1);
    return static_cast<UINT>(m_items[static_cast<std::size_t>(position)].id);
}

#pragma once

#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

// A menu as a list of items: what a window's system menu holds. It is shown by the window
// layer (see CWnd::GetSystemMenu); choosing an item posts WM_SYSCOMMAND with its id.
class CMenu
{
  public:
    struct Item
    {
        UINT flags;
        UINT_PTR id;
        std::u16string text;
    };

    CMenu() = default;
    CMenu(const CMenu &) = delete;
    CMenu &operator=(const CMenu &) = delete;

    // MF_SEPARATOR, or MF_STRING with its text (FALSE without one); other kinds of item
    // (pop-ups, bitmaps, owner-drawn) are refused.
    BOOL AppendMenu(UINT flags, UINT_PTR id = 0, LPCWSTR text = nullptr);
    UINT GetMenuItemCount() const { return static_cast<UINT>(m_items.size()); }
    // The command id of the item at a position; 0 for a separator, -1 outside the menu.
    UINT GetMenuItemID(int position) const;

    const std::vector<Item> &Items() const { return m_items; }

  private:
    std::vector<Item> m_items;
};

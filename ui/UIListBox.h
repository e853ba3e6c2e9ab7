#pragma once

#include <memory>
#include <vector>

#include "ui/UIButton.h"
#include "ui/UIFactory.h"

// What the list calls when a goal is selected: the item's index, or -1 when the selected goal goes.
using ListSelChangeCallback = void (*)(int index);
// What the list calls before its own Delete removes a goal: the goal id of that item. When the
// callback refills the list (DeleteAllItems), the list removes nothing itself.
using ListDeleteCallback = void (*)(int goalId);

// The goal list: a header with column titles over three rounded goal boxes at a time, each with
// the goal's number, what it asks for over which period from which day, and how much is still to
// go or when it was reached; a Delete button on each box that holds a goal; two arrow buttons and
// the wheel to move through the list; a click selects a goal.
//
// The top box shows the item at "first shown" and the boxes below it the lower indices, so item 0
// is the lowest box whenever it is shown. The boxes are laid out again at every change, so clicks
// and the wheel always judge what is drawn.
class UIListBox : public CWnd, public UIFactory
{
  public:
    // One goal row.
    class CListBoxItem
    {
      public:
        int m_nGoalId = 0;
        int m_nKind = 0; // 0 distance, 1 time, 2 calories
        UINT m_nTarget = 0;
        int m_nDistanceUnit = 0; // 0 miles, otherwise kilometres
        int m_nPeriodUnit = 0;   // 0 hour, 1 day, 2 week, 3 month, 4 and above year
        UINT m_nPeriodCount = 0;
        UINT m_nStartDate = 0; // packed
        UINT m_nEndDate = 0;   // packed: the first day after the goal
        UINT m_nAchieved = 0;
        UINT m_nAchievedDistance = 0;
        UINT m_nAchievedTime = 0;
        UINT m_nAchievedCalories = 0;
        BOOL m_bReached = FALSE;
        int m_nNumber = 0; // 1-based place in the list
        CRect m_rcBox;     // where the row is drawn; empty when it is not
        BOOL m_bSelected = FALSE;
    };

    static constexpr UINT kScrollUpId = 1181;
    static constexpr UINT kScrollDownId = 1182;
    static constexpr UINT kFirstDeleteId = 1184;
    static constexpr int kBoxes = 3;

    explicit UIListBox(WORD language);
    ~UIListBox() override;

    void Draw(CDC *dc) override;

    // The PNG resource `id` (language 1033) as the background; the window takes its size.
    void SetBackgroundImage(UINT id);

    // Appends a goal. A distance target above 0 makes a distance goal, else a time target above 0 a
    // time goal, else a calories goal. The given period is not kept: the item counts the whole days
    // from start to end (0 when a date cannot be counted). The new item becomes the top box.
    void AddItem(int goalId, UINT distance, BYTE distanceUnit, UINT time, UINT calories, UINT periodCount,
                 BYTE periodUnit, UINT startDate, UINT endDate, UINT achievedDistance, UINT achievedTime,
                 UINT achievedCalories);
    // Rewrites item n from the same values, keeping the given period, its number and its selection.
    void SetItem(int n, int goalId, UINT distance, BYTE distanceUnit, UINT time, UINT calories,
                 UINT periodCount, BYTE periodUnit, UINT startDate, UINT endDate, UINT achievedDistance,
                 UINT achievedTime, UINT achievedCalories);
    // FALSE when n is out of range; null outputs are skipped.
    BOOL GetItem(int n, int *goalId, int *kind, UINT *target, int *distanceUnit, int *periodUnit,
                 UINT *periodCount, UINT *startDate, UINT *endDate, UINT *achieved, BOOL *reached,
                 int *number) const;
    // Where item n is drawn, in client coordinates (empty when it is not). FALSE when n is out of range.
    BOOL GetItemRect(int n, LPRECT rect) const;

    int GetCount() const { return static_cast<int>(m_items.size()); }
    int GetCurSel() const;
    // Selects n alone; n out of range unselects every item.
    void SetCurSel(int n);
    int GetFirstShown() const { return m_nFirstShown; }
    void DeleteItem(int n);
    void DeleteAllItems(BOOL redraw);

    void SetSelChangeCallback(ListSelChangeCallback callback) { m_pfnSelChange = callback; }
    void SetDeleteCallback(ListDeleteCallback callback) { m_pfnDelete = callback; }

    // The arrow buttons, pictures in language 1033. The top arrow moves the view toward higher
    // indices, the bottom one toward lower.
    void CreateScrollDownButton(UINT normal, UINT disabled, UINT pressed, UINT hover);
    void CreateScrollUpButton(UINT normal, UINT disabled, UINT pressed, UINT hover);

    // The actions of the arrow and Delete buttons, on the current list (the one created last).
    static void ScrollDown();
    static void ScrollUp();
    // Deletes the goal whose box holds the pointer, when the pointer is on a Delete button.
    static void DeleteItemAtCursor();
    static UIListBox *GetCurrentList() { return s_pCurrent; }

    // Parts of the list, for tests of the layout.
    UIButton *GetScrollButton(UINT id) const;
    UIButton *GetDeleteButton(int box) const;

  protected:
    int OnCreate(LPCREATESTRUCT createStruct) override;
    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC *dc) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    BOOL OnMouseWheel(UINT flags, short zDelta, CPoint point) override;

  private:
    void FillItem(CListBoxItem &item, int goalId, UINT distance, BYTE distanceUnit, UINT time, UINT calories,
                  UINT startDate, UINT endDate, UINT achievedDistance, UINT achievedTime,
                  UINT achievedCalories);
    std::unique_ptr<UIButton> MakeArrow(UINT id, UINT normal, UINT disabled, UINT pressed, UINT hover,
                                        bool top);
    int ArrowWidth() const;
    // Gives each shown item its box for the present count and first shown; the number of boxes used.
    int PlaceBoxes();
    // Lays the boxes out for the present count and first shown, and shows the Delete buttons of the
    // boxes that hold an item and the arrows while there are items.
    void Layout();
    void Changed();
    void Paint(CDC *dc);
    void DrawBox(Gdiplus::Graphics &g, const CListBoxItem &item);
    void DrawItemTexts(Gdiplus::Graphics &g, const CListBoxItem &item);
    // Calls the selection callback as the last thing done; FALSE when the list is gone after it.
    bool NotifySelChange(int index);
    void DeleteAtPoint(CPoint point);

    static UIListBox *s_pCurrent;

    WORD m_wLanguage;
    std::vector<std::unique_ptr<CListBoxItem>> m_items;
    Gdiplus::FontFamily m_FontFamily{u"Arial"};
    int m_nFontSize;
    int m_nHeaderHeight = 20;
    int m_nBoxCorner = 20;
    int m_nRowHeight = 0;
    int m_nRowWidth = 0;
    int m_nGap = 4;
    int m_nFirstShown = 0;
    CRect m_rcList;
    CRect m_rcItemsArea;
    ARGB m_crBackTop = 0xFF000000;
    ARGB m_crBackBottom = 0xFFFFFFFF;
    ARGB m_crSelectedTop = 0x00C2C2C2;
    ARGB m_crSelectedBottom = 0xFFC2C2C2;
    ARGB m_crSelectedOutline = 0xFFDD137B;
    ARGB m_crBoxTop = 0x00C2C2C2;
    ARGB m_crBoxBottom = 0xFFC2C2C2;
    ARGB m_crReached = 0xFFFFFFFF;
    ARGB m_crText = 0xFF605D5C;
    ARGB m_crToGo = 0xFFDD137B;
    ARGB m_crOutline = 0xFFC2C2C2;
    std::unique_ptr<Gdiplus::Image> m_pBackground;
    std::unique_ptr<Gdiplus::Image> m_pStatusPictures[2];
    std::unique_ptr<UIButton> m_pScrollUp;
    std::unique_ptr<UIButton> m_pScrollDown;
    std::unique_ptr<UIButton> m_pDelete[kBoxes];
    ListSelChangeCallback m_pfnSelChange = nullptr;
    ListDeleteCallback m_pfnDelete = nullptr;
    // Counts DeleteAllItems, so that a delete can tell that its callback refilled the list.
    unsigned m_nResets = 0;
};

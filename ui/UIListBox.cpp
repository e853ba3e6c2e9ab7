#include "ui/UIListBox.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "store/PackedDate.h"
#include "ui/UIListBoxText.h"

namespace
{
constexpr UINT kDeleteCaption = 347;
constexpr UINT kGoalTitle = 366;
constexpr UINT kDescriptionTitle = 348;
constexpr UINT kStatusTitle = 436;
constexpr UINT kFinished = 279;
constexpr UINT kStatusPictures[2] = {222, 223};
constexpr UINT kDeletePictures[4] = {502, 501, 500, 501}; // normal, disabled, pressed, hover
constexpr WORD kPictureLanguage = 1033;
// Tops of the three Delete buttons in the list, one per box.
constexpr int kDeleteTops[UIListBox::kBoxes] = {76, 155, 234};

// Header columns: "Goal", "Description", "Status" (to the right edge).
constexpr int kGoalColumn = 0;
constexpr int kDescriptionColumn = 45;
constexpr int kStatusColumn = 135;
constexpr int kHeaderFontSize = 12;

constexpr ARGB kFinishedColour = 0xFF4D4948;
constexpr int kFinishedWidth = 90;
constexpr int kFinishedHeight = 29;

bool IsEmpty(const CRect &r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

bool Holds(const CRect &r, CPoint p)
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

std::u16string Load(UINT id, WORD language)
{
    CString text;
    text.LoadString(nullptr, id, language);
    return text.str();
}

Gdiplus::RectF F(int x, int y, int width, int height)
{
    return Gdiplus::RectF(static_cast<Gdiplus::REAL>(x), static_cast<Gdiplus::REAL>(y),
                          static_cast<Gdiplus::REAL>(width), static_cast<Gdiplus::REAL>(height));
}
} // namespace

UIListBox *UIListBox::s_pCurrent = nullptr;

UIListBox::UIListBox(WORD language)
    : m_wLanguage(language), m_nFontSize(language == 2052 || language == 1028 ? 10 : 12)
{
    s_pCurrent = nullptr;
}

UIListBox::~UIListBox()
{
    if (s_pCurrent == this)
        s_pCurrent = nullptr;
    if (m_hWnd)
        DestroyWindow();
}

int UIListBox::OnCreate(LPCREATESTRUCT createStruct)
{
    const std::weak_ptr<int> life = LifeToken();
    if (CWnd::OnCreate(createStruct) == -1 || life.expired())
        return -1;
    s_pCurrent = this;
    if (createStruct)
        m_rcList = CRect(createStruct->x, createStruct->y, createStruct->x + createStruct->cx,
                         createStruct->y + createStruct->cy);
    GetClientRect(&m_rcItemsArea);

    // The Delete buttons sit in the status column of their box.
    CRect client;
    GetClientRect(&client);
    const std::u16string caption = Load(kDeleteCaption, m_wLanguage);
    for (int k = 0; k < kBoxes; ++k)
    {
        auto button = std::make_unique<UIButton>();
        Gdiplus::Image *picture = nullptr;
        int width = 48, height = 16;
        if (LoadImageFromResource(kDeletePictures[0], u"PNG", &picture, kPictureLanguage))
        {
            width = static_cast<int>(picture->GetWidth());
            height = static_cast<int>(picture->GetHeight());
            delete picture;
        }
        const int boxRight = client.right - 20 - m_nGap;
        const int x = kStatusColumn + std::max(0, (boxRight - kStatusColumn - width) / 2);
        if (!button->Create(caption.c_str(), CRect(x, kDeleteTops[k], x + width, kDeleteTops[k] + height),
                            this, kFirstDeleteId + static_cast<UINT>(k)))
            return -1;
        // At eight pixels the strokes of a bold Chinese face run together: those captions are regular.
        const bool chinese = m_wLanguage == 2052 || m_wLanguage == 1028;
        button->SetFontStyle(chinese ? Gdiplus::FontStyleRegular : Gdiplus::FontStyleBold);
        button->SetFontSize(8);
        button->SetAlignment(Gdiplus::StringAlignmentCenter);
        button->SetTextColors(0xFF383431, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF383431);
        button->SetImages(kDeletePictures[0], kDeletePictures[1], kDeletePictures[2], kDeletePictures[3],
                          kPictureLanguage);
        button->SetClickCallback(&UIListBox::DeleteItemAtCursor);
        m_pDelete[k] = std::move(button);
    }
    for (int i = 0; i < 2; ++i)
    {
        Gdiplus::Image *picture = nullptr;
        if (LoadImageFromResource(kStatusPictures[i], u"PNG", &picture, kPictureLanguage))
            m_pStatusPictures[i].reset(picture);
    }
    Layout();
    return 0;
}

void UIListBox::Draw(CDC *)
{
    // The list paints in its own paint handler.
}

void UIListBox::SetBackgroundImage(UINT id)
{
    Gdiplus::Image *picture = nullptr;
    if (!LoadImageFromResource(id, u"PNG", &picture, kPictureLanguage))
        return;
    m_pBackground.reset(picture);
    m_rcList.right = m_rcList.left + static_cast<int>(picture->GetWidth());
    m_rcList.bottom = m_rcList.top + static_cast<int>(picture->GetHeight());
    if (m_hWnd)
        MoveWindow(&m_rcList, TRUE);
    Changed();
}

void UIListBox::FillItem(CListBoxItem &item, int goalId, UINT distance, BYTE distanceUnit, UINT time,
                         UINT calories, UINT startDate, UINT endDate, UINT achievedDistance,
                         UINT achievedTime, UINT achievedCalories)
{
    item.m_nGoalId = goalId;
    item.m_nDistanceUnit = distanceUnit;
    item.m_nStartDate = startDate;
    item.m_nEndDate = endDate;
    item.m_nAchievedDistance = achievedDistance;
    item.m_nAchievedTime = achievedTime;
    item.m_nAchievedCalories = achievedCalories;
    if (distance > 0)
    {
        item.m_nKind = 0;
        item.m_nTarget = distance;
        item.m_nAchieved = achievedDistance;
    }
    else if (time > 0)
    {
        item.m_nKind = 1;
        item.m_nTarget = time;
        item.m_nAchieved = achievedTime;
    }
    else
    {
        item.m_nKind = 2;
        item.m_nTarget = calories;
        item.m_nAchieved = achievedCalories;
    }
    item.m_bReached = item.m_nAchieved >= item.m_nTarget;
}

void UIListBox::AddItem(int goalId, UINT distance, BYTE distanceUnit, UINT time, UINT calories, UINT, BYTE,
                        UINT startDate, UINT endDate, UINT achievedDistance, UINT achievedTime,
                        UINT achievedCalories)
{
    auto item = std::make_unique<CListBoxItem>();
    FillItem(*item, goalId, distance, distanceUnit, time, calories, startDate, endDate, achievedDistance,
             achievedTime, achievedCalories);
    // The list shows the goal's length in days, whatever period it was entered with.
    int days = 0, count = 0;
    if (!vxtime::DaysBetweenPackedDates(startDate, endDate, &days, &count))
        days = 0;
    item->m_nPeriodUnit = 1;
    item->m_nPeriodCount = static_cast<UINT>(days);
    item->m_nNumber = GetCount() + 1;
    m_items.push_back(std::move(item));
    m_nFirstShown = GetCount() - 1;
    Changed();
}

void UIListBox::SetItem(int n, int goalId, UINT distance, BYTE distanceUnit, UINT time, UINT calories,
                        UINT periodCount, BYTE periodUnit, UINT startDate, UINT endDate,
                        UINT achievedDistance, UINT achievedTime, UINT achievedCalories)
{
    if (n < 0 || n >= GetCount())
        return;
    CListBoxItem &item = *m_items[static_cast<std::size_t>(n)];
    FillItem(item, goalId, distance, distanceUnit, time, calories, startDate, endDate, achievedDistance,
             achievedTime, achievedCalories);
    item.m_nPeriodUnit = periodUnit;
    item.m_nPeriodCount = periodCount;
    Changed();
}

BOOL UIListBox::GetItem(int n, int *goalId, int *kind, UINT *target, int *distanceUnit, int *periodUnit,
                        UINT *periodCount, UINT *startDate, UINT *endDate, UINT *achieved, BOOL *reached,
                        int *number) const
{
    if (n < 0 || n >= GetCount())
        return FALSE;
    const CListBoxItem &item = *m_items[static_cast<std::size_t>(n)];
    auto put = [](auto *out, auto value) {
        if (out)
            *out = value;
    };
    put(goalId, item.m_nGoalId);
    put(kind, item.m_nKind);
    put(target, item.m_nTarget);
    put(distanceUnit, item.m_nDistanceUnit);
    put(periodUnit, item.m_nPeriodUnit);
    put(periodCount, item.m_nPeriodCount);
    put(startDate, item.m_nStartDate);
    put(endDate, item.m_nEndDate);
    put(achieved, item.m_nAchieved);
    put(reached, item.m_bReached);
    put(number, item.m_nNumber);
    return TRUE;
}

BOOL UIListBox::GetItemRect(int n, LPRECT rect) const
{
    if (n < 0 || n >= GetCount() || !rect)
        return FALSE;
    *rect = m_items[static_cast<std::size_t>(n)]->m_rcBox;
    return TRUE;
}

int UIListBox::GetCurSel() const
{
    for (int i = 0; i < GetCount(); ++i)
        if (m_items[static_cast<std::size_t>(i)]->m_bSelected)
            return i;
    return -1;
}

void UIListBox::SetCurSel(int n)
{
    for (int i = 0; i < GetCount(); ++i)
        m_items[static_cast<std::size_t>(i)]->m_bSelected = i == n;
    Changed();
}

void UIListBox::DeleteItem(int n)
{
    if (n < 0 || n >= GetCount())
        return;
    m_items.erase(m_items.begin() + n);
    for (std::size_t i = static_cast<std::size_t>(n); i < m_items.size(); ++i)
        --m_items[i]->m_nNumber;
    // Back within the count at once: a click or a wheel turn may come before the next paint.
    m_nFirstShown = std::clamp(m_nFirstShown, 0, std::max(0, GetCount() - 1));
    Changed();
}

void UIListBox::DeleteAllItems(BOOL redraw)
{
    ++m_nResets;
    m_items.clear();
    m_nFirstShown = 0;
    Layout();
    if (redraw && m_hWnd)
        InvalidateRect(&m_rcItemsArea, FALSE);
}

std::unique_ptr<UIButton> UIListBox::MakeArrow(UINT id, UINT normal, UINT disabled, UINT pressed, UINT hover,
                                               bool top)
{
    if (!m_hWnd)
        return nullptr;
    GetClientRect(&m_rcItemsArea);
    CRect client = m_rcItemsArea;
    int width = 0, height = 0;
    Gdiplus::Image *picture = nullptr;
    if (LoadImageFromResource(normal, u"PNG", &picture, kPictureLanguage))
    {
        width = static_cast<int>(picture->GetWidth());
        height = static_cast<int>(picture->GetHeight());
        delete picture;
    }
    const int x = client.right - width - 5;
    const CRect rect = top ? CRect(x, client.top + m_nHeaderHeight + 5, x + width + 5,
                                   client.top + m_nHeaderHeight + 5 + height)
                           : CRect(x, client.bottom - height - 5, x + width + 5, client.bottom);
    auto button = std::make_unique<UIButton>();
    if (!button->Create(u"", rect, this, id))
        return nullptr;
    button->SetImages(normal, disabled, pressed, hover, kPictureLanguage);
    button->SetClickCallback(top ? &UIListBox::ScrollDown : &UIListBox::ScrollUp);
    button->ShowWindow(SW_SHOW);
    m_rcItemsArea.right -= width + 6;
    return button;
}

void UIListBox::CreateScrollDownButton(UINT normal, UINT disabled, UINT pressed, UINT hover)
{
    m_pScrollDown = MakeArrow(kScrollDownId, normal, disabled, pressed, hover, true);
    Changed();
}

void UIListBox::CreateScrollUpButton(UINT normal, UINT disabled, UINT pressed, UINT hover)
{
    m_pScrollUp = MakeArrow(kScrollUpId, normal, disabled, pressed, hover, false);
    Changed();
}

int UIListBox::ArrowWidth() const
{
    const UIButton *arrow = m_pScrollDown ? m_pScrollDown.get() : m_pScrollUp.get();
    return arrow ? arrow->GetImageWidth() : -1;
}

UIButton *UIListBox::GetScrollButton(UINT id) const
{
    if (id == kScrollUpId)
        return m_pScrollUp.get();
    if (id == kScrollDownId)
        return m_pScrollDown.get();
    return nullptr;
}

UIButton *UIListBox::GetDeleteButton(int box) const
{
    return box >= 0 && box < kBoxes ? m_pDelete[box].get() : nullptr;
}

int UIListBox::PlaceBoxes()
{
    for (auto &item : m_items)
        item->m_rcBox = CRect();
    m_nFirstShown = std::clamp(m_nFirstShown, 0, std::max(0, GetCount() - 1));
    if (!m_hWnd)
        return 0;

    CRect client;
    GetClientRect(&client);
    const int arrow = ArrowWidth();
    const int rightLimit = arrow >= 0 ? client.right - 6 - arrow : client.right - 20;
    const int left = client.left + m_nGap;
    m_nRowWidth = rightLimit - client.left - 2 * m_nGap;
    m_nRowHeight = (client.bottom - 4 * m_nGap - (client.top + m_nHeaderHeight)) / 3;
    int top = client.top + m_nHeaderHeight + m_nGap;
    int box = 0;
    if (!m_items.empty() && m_nRowHeight > 0 && m_nRowWidth > 0)
    {
        for (int i = m_nFirstShown; i >= 0; --i, ++box)
        {
            const CRect r(left, top, left + m_nRowWidth, top + m_nRowHeight);
            if (r.bottom > client.bottom)
                break;
            m_items[static_cast<std::size_t>(i)]->m_rcBox = r;
            top += m_nRowHeight + m_nGap;
        }
    }
    return box;
}

void UIListBox::Layout()
{
    const int box = PlaceBoxes();
    if (!m_hWnd)
        return;
    // A Delete button only on a box that holds a goal; the arrows while there are goals.
    for (int k = 0; k < kBoxes; ++k)
        if (m_pDelete[k])
            m_pDelete[k]->ShowWindow(k < box ? SW_SHOW : SW_HIDE);
    for (UIButton *arrowButton : {m_pScrollUp.get(), m_pScrollDown.get()})
        if (arrowButton)
            arrowButton->ShowWindow(m_items.empty() ? SW_HIDE : SW_SHOW);
}

void UIListBox::Changed()
{
    Layout();
    if (m_hWnd)
        InvalidateRect(&m_rcItemsArea, FALSE);
}

// ---- Scrolling, selection and deletion ------------------------------------------------

void UIListBox::ScrollDown()
{
    UIListBox *list = s_pCurrent;
    if (!list || list->m_nFirstShown >= list->GetCount() - 1)
        return;
    ++list->m_nFirstShown;
    list->Changed();
}

void UIListBox::ScrollUp()
{
    UIListBox *list = s_pCurrent;
    if (!list || list->m_nFirstShown <= 0)
        return;
    --list->m_nFirstShown;
    list->Changed();
}

BOOL UIListBox::OnMouseWheel(UINT, short zDelta, CPoint point)
{
    CRect window;
    GetWindowRect(&window);
    if (!Holds(window, point))
        return TRUE;
    UINT lines = 3;
    if (!SystemParametersInfo(SPI_GETWHEELSCROLLLINES, 0, &lines, 0))
        lines = 3;
    const uint64_t steps = lines == WHEEL_PAGESCROLL
                               ? 0
                               : uint64_t{lines} * static_cast<uint64_t>(std::abs(zDelta)) / WHEEL_DELTA;
    // Each step moves by one within the list, so no more steps than items can matter.
    const uint64_t moves = std::min<uint64_t>(steps, static_cast<uint64_t>(GetCount()));
    for (uint64_t i = 0; i < moves; ++i)
    {
        if (zDelta < 0 && m_nFirstShown >= 1)
            --m_nFirstShown;
        else if (zDelta > 0 && m_nFirstShown < GetCount() - 1)
            ++m_nFirstShown;
    }
    Changed();
    return TRUE;
}

bool UIListBox::NotifySelChange(int index)
{
    if (!m_pfnSelChange)
        return true;
    const std::weak_ptr<int> life = LifeToken();
    m_pfnSelChange(index);
    return !life.expired();
}

void UIListBox::OnLButtonDown(UINT, CPoint point)
{
    const std::weak_ptr<int> life = LifeToken();
    SetFocus();
    if (life.expired() || !m_hWnd)
        return;
    if (m_items.empty())
    {
        Default();
        return;
    }
    const CRect top = m_items[static_cast<std::size_t>(m_nFirstShown)]->m_rcBox;
    // The lowest box drawn is the lowest index that has a rectangle (item 0 only while it is shown).
    CRect lowest = top;
    for (const auto &item : m_items)
        if (!IsEmpty(item->m_rcBox))
        {
            lowest = item->m_rcBox;
            break;
        }
    if (IsEmpty(top) || point.y < top.top || point.y >= lowest.bottom + 4 || point.x > top.right)
    {
        Default();
        return;
    }
    int hit = -1;
    for (int i = 0; i < GetCount() && hit < 0; ++i)
    {
        const CRect &r = m_items[static_cast<std::size_t>(i)]->m_rcBox;
        if (!IsEmpty(r) && Holds(CRect(r.left - 1, r.top, r.right + 1, r.bottom + 4), point))
            hit = i;
    }
    const bool newlySelected = hit >= 0 && !m_items[static_cast<std::size_t>(hit)]->m_bSelected;
    for (int i = 0; i < GetCount(); ++i)
        if (i != hit)
            m_items[static_cast<std::size_t>(i)]->m_bSelected = FALSE;
    if (newlySelected)
        m_items[static_cast<std::size_t>(hit)]->m_bSelected = TRUE;
    InvalidateRect(&m_rcItemsArea, FALSE);
    // The owner may rebuild its page here: nothing of the list is touched after it.
    if (newlySelected)
        NotifySelChange(hit);
}

void UIListBox::DeleteItemAtCursor()
{
    UIListBox *list = s_pCurrent;
    if (!list || !list->m_hWnd)
        return;
    POINT cursor{};
    GetCursorPos(&cursor);
    list->ScreenToClient(&cursor);
    const CPoint point(cursor.x, cursor.y);
    // A Delete button reports its release wherever it happens (it holds the mouse): a press on one
    // box's Delete slid onto another box must not delete that other goal.
    bool onDelete = false;
    for (const auto &button : list->m_pDelete)
        if (button && button->IsWindowVisible())
        {
            CRect r;
            button->GetWindowRect(&r);
            list->ScreenToClient(&r);
            onDelete = onDelete || Holds(r, point);
        }
    if (onDelete)
        list->DeleteAtPoint(point);
}

void UIListBox::DeleteAtPoint(CPoint point)
{
    CListBoxItem *target = nullptr;
    for (const auto &item : m_items)
        if (Holds(item->m_rcBox, point))
        {
            target = item.get();
            break;
        }
    if (!target)
        return;
    // The callbacks may change the list, or end it with its page: the item is looked up again
    // after each of them, and nothing more is done once the list is gone.
    const std::weak_ptr<int> life = LifeToken();
    auto indexOf = [this](const CListBoxItem *wanted) {
        for (int i = 0; i < GetCount(); ++i)
            if (m_items[static_cast<std::size_t>(i)].get() == wanted)
                return i;
        return -1;
    };
    if (m_pfnDelete)
    {
        // An owner that refills the list from its callback has put new items in place of the old
        // ones, and one of them may live where the target lived: nothing more is deleted then.
        const unsigned resets = m_nResets;
        m_pfnDelete(target->m_nGoalId);
        if (life.expired() || resets != m_nResets || indexOf(target) < 0)
            return;
    }
    if (target->m_bSelected && !NotifySelChange(-1))
        return;
    const int index = indexOf(target);
    if (index < 0)
        return;
    DeleteItem(index);
    for (int i = index; i < GetCount(); ++i)
        if (m_items[static_cast<std::size_t>(i)]->m_bSelected && !NotifySelChange(i))
            return;
}

// ---- Painting ------------------------------------------------------------------------

BOOL UIListBox::OnEraseBkgnd(CDC *)
{
    // The paint covers the whole list.
    return TRUE;
}

void UIListBox::OnPaint()
{
    CPaintDC dc(this);
    Paint(&dc);
}

void UIListBox::Paint(CDC *dc)
{
    CRect client;
    GetClientRect(&client);
    const int width = client.Width();
    const int height = client.Height();
    CDC mem;
    if (!mem.CreateCompatibleDC(dc))
        return;
    CBitmap bitmap;
    if (!bitmap.CreateCompatibleBitmap(dc, width, height))
        return;
    CBitmap *old = mem.SelectObject(&bitmap);
    mem.BitBlt(0, 0, width, height, dc, 0, 0, SRCCOPY);
    {
        Gdiplus::Graphics g(mem.Painter());
        if (m_pBackground)
        {
            g.DrawImage(m_pBackground.get(), 0, 0, static_cast<int>(m_pBackground->GetWidth()),
                        static_cast<int>(m_pBackground->GetHeight()));
        }
        else
        {
            Gdiplus::LinearGradientBrush back(Gdiplus::Rect(client.left, client.top, width, height),
                                              Gdiplus::Color(m_crBackTop), Gdiplus::Color(m_crBackBottom),
                                              Gdiplus::LinearGradientModeVertical);
            g.FillRectangle(&back, client.left, client.top, width, height);
        }
        if (!m_items.empty())
        {
            Gdiplus::Font header(&m_FontFamily, static_cast<Gdiplus::REAL>(kHeaderFontSize),
                                 Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
            Gdiplus::SolidBrush brush{Gdiplus::Color(m_crText)};
            Gdiplus::StringFormat centred;
            centred.SetAlignment(Gdiplus::StringAlignmentCenter);
            centred.SetLineAlignment(Gdiplus::StringAlignmentCenter);
            const struct
            {
                UINT id;
                int x, width;
            } titles[] = {{kGoalTitle, kGoalColumn, kDescriptionColumn - kGoalColumn},
                          {kDescriptionTitle, kDescriptionColumn, kStatusColumn - kDescriptionColumn},
                          {kStatusTitle, kStatusColumn, std::max(0, client.right - kStatusColumn)}};
            for (const auto &t : titles)
            {
                const std::u16string text = Load(t.id, m_wLanguage);
                g.DrawString(text.c_str(), static_cast<Gdiplus::INT>(text.size()), &header,
                             F(t.x, client.top, t.width, m_nHeaderHeight), &centred, &brush);
            }
            PlaceBoxes();
            g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
            for (const auto &item : m_items)
                if (!IsEmpty(item->m_rcBox))
                {
                    DrawBox(g, *item);
                    DrawItemTexts(g, *item);
                }
        }
    }
    dc->BitBlt(0, 0, width, height, &mem, 0, 0, SRCCOPY);
    mem.SelectObject(old);
}

void UIListBox::DrawBox(Gdiplus::Graphics &g, const CListBoxItem &item)
{
    const CRect &r = item.m_rcBox;
    if (!item.m_bSelected && item.m_bReached)
    {
        Gdiplus::SolidBrush fill{Gdiplus::Color(m_crReached)};
        g.FillRectangle(&fill, r.left, r.top, r.Width(), r.Height());
        return;
    }
    const int d = m_nBoxCorner;
    Gdiplus::GraphicsPath path;
    path.AddArc(r.left, r.top, d, d, 180.0f, 90.0f);
    path.AddArc(r.right - d, r.top, d, d, 270.0f, 90.0f);
    path.AddArc(r.right - d, r.bottom - d, d, d, 0.0f, 90.0f);
    path.AddArc(r.left, r.bottom - d, d, d, 90.0f, 90.0f);
    path.CloseFigure();
    const bool selected = item.m_bSelected;
    Gdiplus::LinearGradientBrush fill(Gdiplus::Point(r.left, r.top), Gdiplus::Point(r.left, r.bottom + 1),
                                      Gdiplus::Color(selected ? m_crSelectedTop : m_crBoxTop),
                                      Gdiplus::Color(selected ? m_crSelectedBottom : m_crBoxBottom));
    g.FillPath(&fill, &path);
    Gdiplus::Pen outline(Gdiplus::Color(selected ? m_crSelectedOutline : m_crOutline));
    g.DrawPath(&outline, &path);
}

void UIListBox::DrawItemTexts(Gdiplus::Graphics &g, const CListBoxItem &item)
{
    const CRect &r = item.m_rcBox;
    Gdiplus::Font font(&m_FontFamily, static_cast<Gdiplus::REAL>(m_nFontSize), Gdiplus::FontStyleRegular,
                       Gdiplus::UnitPixel);
    Gdiplus::SolidBrush text{Gdiplus::Color(m_crText)};
    Gdiplus::StringFormat near;
    Gdiplus::StringFormat centred;
    centred.SetAlignment(Gdiplus::StringAlignmentCenter);

    const std::u16string number = vxwin::FormatW(u"%03d", item.m_nNumber);
    g.DrawString(number.c_str(), static_cast<Gdiplus::INT>(number.size()), &font,
                 F(r.left + 5, r.top + 5, kDescriptionColumn - r.left - 5, m_nFontSize + 4), &near, &text);

    const std::u16string description = vxui::GoalDescriptionToDraw(item, m_wLanguage);
    g.DrawString(description.c_str(), static_cast<Gdiplus::INT>(description.size()), &font,
                 F(kDescriptionColumn, r.top + 5, kStatusColumn - kDescriptionColumn, r.Height() - 10), &near,
                 &text);

    const int statusWidth = std::max(0, r.right - kStatusColumn - 2);
    if (!item.m_bReached)
    {
        const std::u16string status = vxui::BreakStatusText(vxui::GoalToGoText(item, m_wLanguage));
        Gdiplus::SolidBrush toGo{Gdiplus::Color(m_crToGo)};
        g.DrawString(status.c_str(), static_cast<Gdiplus::INT>(status.size()), &font,
                     F(kStatusColumn, r.top + 5, statusWidth, 2 * (m_nFontSize + 4)), &centred, &toGo);
        return;
    }
    int x = kStatusColumn;
    if (Gdiplus::Image *picture = m_pStatusPictures[0].get())
    {
        g.DrawImage(picture, x, r.top + 4);
        x += static_cast<int>(picture->GetWidth());
    }
    const std::u16string finished = Load(kFinished, m_wLanguage);
    Gdiplus::Font bold(&m_FontFamily, 11.0f, Gdiplus::FontStyleBold, Gdiplus::UnitPixel);
    Gdiplus::SolidBrush finishedBrush{Gdiplus::Color(kFinishedColour)};
    Gdiplus::StringFormat middle;
    middle.SetAlignment(Gdiplus::StringAlignmentCenter);
    middle.SetLineAlignment(Gdiplus::StringAlignmentCenter);
    g.DrawString(finished.c_str(), static_cast<Gdiplus::INT>(finished.size()), &bold,
                 F(x, r.top + 3, kFinishedWidth, kFinishedHeight), &middle, &finishedBrush);
    const std::u16string reached = vxui::GoalReachedText(item, m_wLanguage);
    g.DrawString(reached.c_str(), static_cast<Gdiplus::INT>(reached.size()), &font,
                 F(kStatusColumn, r.top + 33, statusWidth, m_nFontSize + 4), &centred, &text);
}

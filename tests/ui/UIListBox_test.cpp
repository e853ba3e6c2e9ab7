#include <QApplication>
#include <QImage>
#include <QStringList>
#include <QTextLayout>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdiplus/Gdiplus.h"
#include "store/PackedDate.h"
#include "tests/support/TestEnvironment.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/UIListBox.h"

using uitest::Host;
using vxtime::PackDate;

namespace
{
// The list as the goal page places it: 281 by 257 pixels, so three boxes of 73 rows fit.
const CRect kListRect(10, 10, 291, 267);
// Boxes of a list without arrows, top to bottom.
const CRect kBox[3] = {CRect(4, 24, 257, 97), CRect(4, 101, 257, 174), CRect(4, 178, 257, 251)};
// A 28 by 28 picture stands in for the arrows.
constexpr UINT kArrowPicture = 222;

std::vector<std::string> g_events;
void OnSelect(int index)
{
    g_events.push_back("select " + std::to_string(index));
}
void OnDelete(int goalId)
{
    g_events.push_back("delete " + std::to_string(goalId));
}

class UIListBoxTest : public testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.Make(320, 290));
        g_events.clear();
        list = std::make_unique<UIListBox>(1033);
        ASSERT_TRUE(list->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, kListRect, &host, 1183));
        list->SetSelChangeCallback(&OnSelect);
        list->SetDeleteCallback(&OnDelete);
        vxtest::ProcessEvents();
    }
    void TearDown() override
    {
        list.reset();
        host.DestroyWindow();
        vxtest::ProcessEvents();
        QApplication::setWheelScrollLines(3);
    }
    // Goals 10, 11, ... of one kind each in turn, none reached.
    void AddGoals(int n)
    {
        for (int i = 0; i < n; ++i)
            list->AddItem(10 + i, 5000, 1, 0, 0, 1, 1, PackDate(2009, 3, 1), PackDate(2009, 4, 1), 100, 0, 0);
    }
    // Item n's box as text, so a mismatch shows its corners.
    std::string Rect(int n)
    {
        CRect r;
        EXPECT_TRUE(list->GetItemRect(n, &r));
        return Str(r);
    }
    static std::string Str(const CRect &r)
    {
        return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ")-(" + std::to_string(r.right) +
               ", " + std::to_string(r.bottom) + ")";
    }
    std::vector<int> Numbers()
    {
        std::vector<int> out;
        for (int i = 0; i < list->GetCount(); ++i)
        {
            int number = 0;
            list->GetItem(i, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, &number);
            out.push_back(number);
        }
        return out;
    }
    std::vector<int> GoalIds()
    {
        std::vector<int> out;
        for (int i = 0; i < list->GetCount(); ++i)
        {
            int id = 0;
            list->GetItem(i, &id, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          nullptr, nullptr);
            out.push_back(id);
        }
        return out;
    }
    void Click(CPoint p)
    {
        QTest::mousePress(list->GetWidget(), Qt::LeftButton, {}, QPoint(p.x, p.y));
        QTest::mouseRelease(list->GetWidget(), Qt::LeftButton, {}, QPoint(p.x, p.y));
        vxtest::ProcessEvents();
    }
    void ClickDelete(int box)
    {
        UIButton *button = list->GetDeleteButton(box);
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->IsWindowVisible());
        const QPoint centre = button->GetWidget()->rect().center();
        QTest::mousePress(button->GetWidget(), Qt::LeftButton, {}, centre);
        QTest::mouseRelease(button->GetWidget(), Qt::LeftButton, {}, centre);
        vxtest::ProcessEvents();
    }
    // A wheel message with the pointer at a point of the list (client coordinates).
    void Wheel(short delta, CPoint at)
    {
        POINT screen{at.x, at.y};
        list->ClientToScreen(&screen);
        list->SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)),
                          MAKELPARAM(screen.x, screen.y));
    }
    std::vector<bool> DeleteButtonsShown()
    {
        std::vector<bool> out;
        for (int k = 0; k < UIListBox::kBoxes; ++k)
            out.push_back(list->GetDeleteButton(k)->IsWindowVisible());
        return out;
    }

    uitest::ProgramStrings strings;
    Host host;
    std::unique_ptr<UIListBox> list;
};

TEST_F(UIListBoxTest, ADescriptionWrapsBetweenPhrasesNeverBetweenAFigureAndItsUnit)
{
    uitest::ProgramStrings strings;
    std::vector<Gdiplus::DrawnText> drawn;
    Gdiplus::SetDrawnTextObserver([&drawn](const Gdiplus::DrawnText &t) { drawn.push_back(t); });
    // Too long for one line of the description column: 65535 calories over 30 days, 999.0 km over 31.
    list->AddItem(10, 0, 1, 0, 65535, 30, 1, PackDate(2026, 11, 1), PackDate(2026, 12, 1), 0, 0, 6457);
    list->AddItem(11, 999000, 1, 0, 0, 31, 1, PackDate(2026, 12, 1), PackDate(2027, 1, 1), 284500, 0, 0);
    (void)list->GetWidget()->grab();
    Gdiplus::SetDrawnTextObserver({});
    int descriptions = 0;
    for (const Gdiplus::DrawnText &t : drawn)
    {
        if (!t.text.contains(QLatin1String("Start from")))
            continue;
        ++descriptions;
        // Lay the text out as the drawing does, then read where each line ends.
        QTextLayout layout(t.text, t.font);
        QTextOption option;
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        QStringList lines;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
        {
            line.setLineWidth(t.box.width());
            lines << t.text.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
        for (const QString &line : lines)
            EXPECT_FALSE(line.back().isDigit() && !line.contains(QLatin1Char('/'))) << line.toStdString();
        EXPECT_GT(lines.size(), 2) << "the case must wrap to show anything";
    }
    EXPECT_EQ(descriptions, 2);
}

TEST_F(UIListBoxTest, CreationMakesThreeHiddenDeleteButtonsInTheListsLanguage)
{
    EXPECT_EQ(UIListBox::GetCurrentList(), list.get());
    const int tops[3] = {76, 155, 234};
    for (int k = 0; k < UIListBox::kBoxes; ++k)
    {
        UIButton *button = list->GetDeleteButton(k);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->GetDlgCtrlID(), 1184 + k);
        EXPECT_EQ(std::u16string(button->GetText()), u"Delete");
        EXPECT_FALSE(button->IsWindowVisible());
        CRect r;
        button->GetWindowRect(&r);
        list->ScreenToClient(&r);
        EXPECT_EQ(r.top, tops[k]);
        // Inside the status column of its box, so a press on it finds that box.
        EXPECT_GE(r.left, 135);
        EXPECT_LE(r.right, kBox[k].right);
        EXPECT_LE(r.bottom, kBox[k].bottom);
        EXPECT_GE(r.top, kBox[k].top);
    }
    EXPECT_EQ(list->GetScrollButton(UIListBox::kScrollUpId), nullptr);
    EXPECT_EQ(list->GetScrollButton(UIListBox::kScrollDownId), nullptr);

    UIListBox german(1031);
    EXPECT_EQ(UIListBox::GetCurrentList(), nullptr); // a new list is current once it is created
    ASSERT_TRUE(german.Create(nullptr, nullptr, WS_CHILD, kListRect, &host, 1190));
    EXPECT_EQ(UIListBox::GetCurrentList(), &german);
    EXPECT_EQ(std::u16string(german.GetDeleteButton(0)->GetText()), u"Löschen");
}

TEST_F(UIListBoxTest, ABackgroundPictureSizesTheListAndItsBoxes)
{
    AddGoals(3);
    list->SetBackgroundImage(60000); // no such picture: nothing changes
    EXPECT_EQ(Rect(2), Str(kBox[0]));
    list->SetBackgroundImage(512); // 380 by 190
    CRect r;
    list->GetWindowRect(&r);
    host.ScreenToClient(&r);
    EXPECT_EQ(Str(r), Str(CRect(10, 10, 390, 200)));
    // Rows of (190 - 16 - 20) / 3 = 51 pixels; boxes up to 20 pixels short of the right edge.
    EXPECT_EQ(Rect(2), Str(CRect(4, 24, 356, 75)));
    EXPECT_EQ(Rect(1), Str(CRect(4, 79, 356, 130)));
    EXPECT_EQ(Rect(0), Str(CRect(4, 134, 356, 185)));
}

TEST_F(UIListBoxTest, AddItemTakesTheKindTargetAndDaysOfTheGoal)
{
    const struct
    {
        const char *name;
        UINT distance, time, calories;
        uint32_t start, end;
        UINT achievedDistance, achievedTime, achievedCalories;
        int kind;
        UINT target, achieved, days;
        BOOL reached;
    } cases[] = {
        {"distance", 5000, 7200, 300, PackDate(2009, 3, 1), PackDate(2009, 4, 1), 4999, 7200, 300, 0, 5000,
         4999, 31, FALSE},
        {"distance reached", 5000, 0, 0, PackDate(2009, 3, 1), PackDate(2009, 3, 1), 5000, 0, 0, 0, 5000,
         5000, 0, TRUE},
        {"time", 0, 7200, 300, PackDate(2008, 2, 1), PackDate(2008, 3, 1), 9000, 7201, 0, 1, 7200, 7201, 29,
         TRUE},
        {"calories", 0, 0, 300, PackDate(2009, 12, 25), PackDate(2010, 1, 8), 9000, 9000, 299, 2, 300, 299,
         14, FALSE},
        {"nothing asked", 0, 0, 0, PackDate(2009, 1, 1), PackDate(2009, 1, 2), 0, 0, 0, 2, 0, 0, 1, TRUE},
        {"end before start", 0, 0, 300, PackDate(2009, 1, 2), PackDate(2009, 1, 1), 0, 0, 0, 2, 300, 0, 0,
         FALSE},
        {"start before 1970", 0, 0, 300, PackDate(1969, 12, 31), PackDate(2009, 1, 1), 0, 0, 0, 2, 300, 0, 0,
         FALSE},
        {"month out of range", 0, 0, 300, PackDate(2009, 13, 1), PackDate(2010, 1, 1), 0, 0, 0, 2, 300, 0, 0,
         FALSE},
        {"day out of range", 0, 0, 300, PackDate(2009, 1, 1), PackDate(2009, 1, 32), 0, 0, 0, 2, 300, 0, 0,
         FALSE},
    };
    int n = 0;
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.name);
        // The period given is not what the list shows: it counts the days.
        list->AddItem(100 + n, c.distance, 1, c.time, c.calories, 3, 3, c.start, c.end, c.achievedDistance,
                      c.achievedTime, c.achievedCalories);
        int goalId = 0, kind = -1, unit = -1, periodUnit = -1, number = 0;
        UINT target = 0, periodCount = 0, start = 0, end = 0, achieved = 0;
        BOOL reached = -1;
        ASSERT_TRUE(list->GetItem(n, &goalId, &kind, &target, &unit, &periodUnit, &periodCount, &start, &end,
                                  &achieved, &reached, &number));
        EXPECT_EQ(goalId, 100 + n);
        EXPECT_EQ(kind, c.kind);
        EXPECT_EQ(target, c.target);
        EXPECT_EQ(unit, 1);
        EXPECT_EQ(periodUnit, 1);
        EXPECT_EQ(periodCount, c.days);
        EXPECT_EQ(start, c.start);
        EXPECT_EQ(end, c.end);
        EXPECT_EQ(achieved, c.achieved);
        EXPECT_EQ(reached, c.reached);
        EXPECT_EQ(number, n + 1);
        EXPECT_EQ(list->GetFirstShown(), n); // the new goal is the top box
        ++n;
    }
    EXPECT_FALSE(list->GetItem(n, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr));
    EXPECT_FALSE(list->GetItem(-1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr));
}

TEST_F(UIListBoxTest, DayCountsAreCalendarDaysAcrossDaylightSaving)
{
    vxtest::ScopedTimeZone zone("Europe/Berlin");
    list->AddItem(1, 0, 0, 0, 300, 1, 1, PackDate(2009, 3, 28), PackDate(2009, 3, 30), 0, 0, 0);
    list->AddItem(2, 0, 0, 0, 300, 1, 1, PackDate(2009, 3, 1), PackDate(2009, 4, 1), 0, 0, 0);
    UINT days[2] = {};
    for (int i = 0; i < 2; ++i)
        list->GetItem(i, nullptr, nullptr, nullptr, nullptr, nullptr, &days[i], nullptr, nullptr, nullptr,
                      nullptr, nullptr);
    EXPECT_EQ(days[0], 2u);
    EXPECT_EQ(days[1], 31u);
}

TEST_F(UIListBoxTest, SetItemKeepsTheGivenPeriodTheNumberAndTheSelection)
{
    AddGoals(3);
    list->SetCurSel(1);
    list->SetItem(1, 77, 0, 0, 3600, 0, 2, 2, PackDate(2009, 5, 1), PackDate(2009, 5, 15), 0, 3600, 0);
    int goalId = 0, kind = -1, periodUnit = -1, number = 0;
    UINT target = 0, periodCount = 0, achieved = 0;
    BOOL reached = FALSE;
    ASSERT_TRUE(list->GetItem(1, &goalId, &kind, &target, nullptr, &periodUnit, &periodCount, nullptr,
                              nullptr, &achieved, &reached, &number));
    EXPECT_EQ(goalId, 77);
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(target, 3600u);
    EXPECT_EQ(periodUnit, 2);
    EXPECT_EQ(periodCount, 2u);
    EXPECT_EQ(achieved, 3600u);
    EXPECT_TRUE(reached);
    EXPECT_EQ(number, 2);
    EXPECT_EQ(list->GetCurSel(), 1);
    // Out of range: nothing.
    list->SetItem(3, 99, 1, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0);
    list->SetItem(-1, 99, 1, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0);
    EXPECT_EQ(GoalIds(), (std::vector<int>{10, 77, 12}));
}

TEST_F(UIListBoxTest, DeletingRenumbersTheLaterItems)
{
    AddGoals(5);
    list->DeleteItem(1);
    EXPECT_EQ(GoalIds(), (std::vector<int>{10, 12, 13, 14}));
    EXPECT_EQ(Numbers(), (std::vector<int>{1, 2, 3, 4}));
    list->DeleteItem(3);
    list->DeleteItem(4); // out of range
    list->DeleteItem(-1);
    EXPECT_EQ(GoalIds(), (std::vector<int>{10, 12, 13}));
    EXPECT_EQ(Numbers(), (std::vector<int>{1, 2, 3}));
    list->AddItem(20, 0, 0, 0, 300, 1, 1, PackDate(2009, 1, 1), PackDate(2009, 1, 2), 0, 0, 0);
    EXPECT_EQ(Numbers(), (std::vector<int>{1, 2, 3, 4}));
    list->DeleteAllItems(TRUE);
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_EQ(list->GetCurSel(), -1);
}

TEST_F(UIListBoxTest, SelectionByTheOwner)
{
    AddGoals(3);
    EXPECT_EQ(list->GetCurSel(), -1);
    list->SetCurSel(2);
    EXPECT_EQ(list->GetCurSel(), 2);
    list->SetCurSel(0);
    EXPECT_EQ(list->GetCurSel(), 0);
    list->SetCurSel(3);
    EXPECT_EQ(list->GetCurSel(), -1);
    EXPECT_TRUE(g_events.empty()); // the owner's own choice is not reported back
}

TEST_F(UIListBoxTest, BoxesAfterScrolling)
{
    AddGoals(4);
    const struct
    {
        const char *step;
        void (*action)();
        int times;
        int firstShown;
        int boxes[3]; // the item in the top, middle and bottom box; -1 for none
    } steps[] = {
        {"after adding", nullptr, 0, 3, {3, 2, 1}},
        {"scroll up", &UIListBox::ScrollUp, 1, 2, {2, 1, 0}},
        {"scroll up past the oldest goal", &UIListBox::ScrollUp, 1, 1, {1, 0, -1}},
        {"scroll up to the end and beyond", &UIListBox::ScrollUp, 3, 0, {0, -1, -1}},
        {"scroll down", &UIListBox::ScrollDown, 1, 1, {1, 0, -1}},
        {"scroll down to the newest and beyond", &UIListBox::ScrollDown, 4, 3, {3, 2, 1}},
    };
    for (const auto &s : steps)
    {
        SCOPED_TRACE(s.step);
        for (int i = 0; i < s.times; ++i)
            s.action();
        EXPECT_EQ(list->GetFirstShown(), s.firstShown);
        for (int i = 0; i < 4; ++i)
        {
            CRect expected;
            for (int k = 0; k < 3; ++k)
                if (s.boxes[k] == i)
                    expected = kBox[k];
            EXPECT_EQ(Rect(i), Str(expected)) << "item " << i;
        }
        std::vector<bool> shown;
        for (int k = 0; k < 3; ++k)
            shown.push_back(s.boxes[k] >= 0);
        EXPECT_EQ(DeleteButtonsShown(), shown);
    }
}

TEST_F(UIListBoxTest, ArrowsNarrowTheBoxesAndComeBackWithItems)
{
    list->CreateScrollDownButton(kArrowPicture, 0, 0, 0);
    list->CreateScrollUpButton(kArrowPicture, 0, 0, 0);
    UIButton *down = list->GetScrollButton(UIListBox::kScrollDownId);
    UIButton *up = list->GetScrollButton(UIListBox::kScrollUpId);
    ASSERT_NE(down, nullptr);
    ASSERT_NE(up, nullptr);
    EXPECT_EQ(down->GetDlgCtrlID(), 1182);
    EXPECT_EQ(up->GetDlgCtrlID(), 1181);
    CRect r;
    down->GetWindowRect(&r);
    list->ScreenToClient(&r);
    EXPECT_EQ(Str(r), Str(CRect(248, 25, 276, 53)));
    up->GetWindowRect(&r);
    list->ScreenToClient(&r);
    EXPECT_EQ(Str(r), Str(CRect(248, 224, 276, 252)));

    const struct
    {
        const char *step;
        int add;
        bool clear;
        bool arrows;
        std::vector<bool> deletes;
    } steps[] = {
        {"empty", 0, false, false, {false, false, false}},
        {"two goals", 2, false, true, {true, true, false}},
        {"emptied", 0, true, false, {false, false, false}},
        {"goals again", 1, false, true, {true, false, false}},
        {"four goals", 3, false, true, {true, true, true}},
    };
    for (const auto &s : steps)
    {
        SCOPED_TRACE(s.step);
        if (s.clear)
            list->DeleteAllItems(TRUE);
        AddGoals(s.add);
        // A paint between changes, as the user would see them.
        list->Invalidate();
        vxtest::ProcessEvents();
        EXPECT_EQ(down->IsWindowVisible(), s.arrows);
        EXPECT_EQ(up->IsWindowVisible(), s.arrows);
        EXPECT_EQ(DeleteButtonsShown(), s.deletes);
    }
    // Right limit: client right - 6 - picture width.
    EXPECT_EQ(Rect(list->GetFirstShown()), Str(CRect(4, 24, 243, 97)));
}

TEST_F(UIListBoxTest, ClicksSelectTheBoxUnderThePointer)
{
    // Four goals: item 0 is not shown, and the clicks are judged by the lowest box drawn.
    AddGoals(4);
    ASSERT_EQ(Rect(0), Str(CRect()));
    const struct
    {
        const char *where;
        CPoint point;
        int selected;
        std::vector<std::string> events;
    } clicks[] = {
        {"top box", CPoint(100, 50), 3, {"select 3"}},
        {"the selected box again", CPoint(30, 30), 3, {}},
        {"bottom box", CPoint(100, 200), 1, {"select 1"}},
        {"middle box, left edge widened by one", CPoint(3, 120), 2, {"select 2"}},
        {"gap below the top box", CPoint(100, 99), 3, {"select 3"}},
        {"above the top box", CPoint(100, 23), 3, {}},
        {"right of the top box", CPoint(258, 50), 3, {}},
        {"right edge widened by one", CPoint(257, 130), 2, {"select 2"}},
        {"below the lowest box", CPoint(100, 255), 2, {}},
        {"left of every box", CPoint(2, 130), -1, {}},
        {"lowest box again", CPoint(100, 250), 1, {"select 1"}},
    };
    for (const auto &c : clicks)
    {
        SCOPED_TRACE(c.where);
        g_events.clear();
        Click(c.point);
        EXPECT_EQ(list->GetCurSel(), c.selected);
        EXPECT_EQ(g_events, c.events);
    }
}

TEST_F(UIListBoxTest, ClicksOnAnEmptyListChangeNothing)
{
    Click(CPoint(100, 50));
    EXPECT_TRUE(g_events.empty());
    EXPECT_EQ(list->GetCurSel(), -1);
}

TEST_F(UIListBoxTest, DeleteReportsTheGoalBeforeTheSelection)
{
    AddGoals(4); // boxes: 3, 2, 1
    const struct
    {
        const char *what;
        int select;
        int box;
        std::vector<std::string> events;
        std::vector<int> ids;
        int selected;
    } cases[] = {
        {"the selected goal", 2, 1, {"delete 12", "select -1"}, {10, 11, 13}, -1},
        {"a goal below the selected one, which moves down an index",
         2,
         2,
         {"delete 10", "select 1"},
         {11, 13},
         1},
        {"nothing selected", -1, 0, {"delete 13"}, {11}, -1},
    };
    // Each case runs on what the one before left; the selected goal moves up with its index.
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.what);
        list->SetCurSel(c.select);
        g_events.clear();
        ClickDelete(c.box);
        EXPECT_EQ(g_events, c.events);
        EXPECT_EQ(GoalIds(), c.ids);
        EXPECT_EQ(list->GetCurSel(), c.selected);
        EXPECT_LE(list->GetFirstShown(), list->GetCount() - 1);
    }
    std::vector<int> numbers = Numbers();
    EXPECT_EQ(numbers, (std::vector<int>{1}));
}

TEST_F(UIListBoxTest, ASelectionAboveTheDeletedGoalIsReportedWithItsNewIndex)
{
    AddGoals(4);
    list->SetCurSel(3);
    ClickDelete(2); // item 1
    EXPECT_EQ(g_events, (std::vector<std::string>{"delete 11", "select 2"}));
    EXPECT_EQ(list->GetCurSel(), 2);
}

TEST_F(UIListBoxTest, ADeleteReleasedAwayFromEveryDeleteButtonDeletesNothing)
{
    AddGoals(3); // boxes: 2, 1, 0
    UIButton *first = list->GetDeleteButton(0);
    CRect r;
    first->GetWindowRect(&r);
    list->ScreenToClient(&r);
    const QPoint press = first->GetWidget()->rect().center();
    const struct
    {
        const char *where;
        CPoint release; // in the list
        std::vector<std::string> events;
    } cases[] = {
        {"on another box's text", CPoint(100, 120), {}},
        {"on its own box beside the button", CPoint(30, 60), {}},
        {"outside the list", CPoint(300, 120), {}},
        {"on the Delete button of another box", CPoint(r.left + 5, 160), {"delete 11"}},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.where);
        g_events.clear();
        QTest::mousePress(first->GetWidget(), Qt::LeftButton, {}, press);
        // The button holds the mouse, so the release comes to it wherever the pointer is.
        QTest::mouseRelease(first->GetWidget(), Qt::LeftButton, {},
                            QPoint(c.release.x - r.left, c.release.y - r.top));
        vxtest::ProcessEvents();
        EXPECT_EQ(g_events, c.events);
    }
    EXPECT_EQ(GoalIds(), (std::vector<int>{10, 12}));
}

UIListBox *g_doomed = nullptr;
void EndTheList(int)
{
    g_events.push_back("end");
    delete g_doomed;
    g_doomed = nullptr;
}

TEST_F(UIListBoxTest, ADeleteCallbackMayEndTheList)
{
    AddGoals(2);
    list->SetCurSel(1);
    g_doomed = list.release();
    g_doomed->SetDeleteCallback(&EndTheList);
    UIButton *button = g_doomed->GetDeleteButton(0);
    const QPoint centre = button->GetWidget()->rect().center();
    QTest::mousePress(button->GetWidget(), Qt::LeftButton, {}, centre);
    QTest::mouseRelease(button->GetWidget(), Qt::LeftButton, {}, centre);
    vxtest::ProcessEvents();
    EXPECT_EQ(g_doomed, nullptr);
    EXPECT_EQ(g_events, (std::vector<std::string>{"end"}));
    EXPECT_EQ(UIListBox::GetCurrentList(), nullptr);
    // The actions of the list's buttons find no list now.
    UIListBox::ScrollUp();
    UIListBox::ScrollDown();
    UIListBox::DeleteItemAtCursor();
}

UIListBox *g_refilled = nullptr;
// An owner whose delete failed: it shows what it still holds, goals 10 to 12, with 11 selected.
void RefillTheList(int goalId)
{
    g_events.push_back("delete " + std::to_string(goalId));
    g_refilled->DeleteAllItems(TRUE);
    for (int i = 0; i < 3; ++i)
        g_refilled->AddItem(10 + i, 5000, 1, 0, 0, 1, 1, PackDate(2009, 3, 1), PackDate(2009, 4, 1), 100, 0,
                            0);
    g_refilled->SetCurSel(1);
}

TEST_F(UIListBoxTest, AfterADeleteCallbackRefilledTheListNothingMoreIsDeleted)
{
    AddGoals(3);
    list->SetCurSel(2);
    g_refilled = list.get();
    list->SetDeleteCallback(&RefillTheList);
    // The top box shows goal 12, the selected one.
    ClickDelete(0);
    g_refilled = nullptr;
    EXPECT_EQ(g_events, (std::vector<std::string>{"delete 12"}));
    EXPECT_EQ(GoalIds(), (std::vector<int>{10, 11, 12}));
    EXPECT_EQ(list->GetCurSel(), 1);
}

void EndTheListOnSelect(int index)
{
    g_events.push_back("end at " + std::to_string(index));
    delete g_doomed;
    g_doomed = nullptr;
}

TEST_F(UIListBoxTest, ASelectionCallbackMayEndTheList)
{
    for (bool byDelete : {false, true})
    {
        SCOPED_TRACE(byDelete ? "selection reported by a Delete" : "selection by a click");
        g_events.clear();
        if (!list)
        {
            list = std::make_unique<UIListBox>(1033);
            ASSERT_TRUE(list->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, kListRect, &host, 1183));
            vxtest::ProcessEvents();
        }
        AddGoals(3);
        g_doomed = list.release();
        g_doomed->SetSelChangeCallback(&EndTheListOnSelect);
        if (byDelete)
        {
            g_doomed->SetCurSel(2);
            UIButton *button = g_doomed->GetDeleteButton(0);
            const QPoint centre = button->GetWidget()->rect().center();
            QTest::mousePress(button->GetWidget(), Qt::LeftButton, {}, centre);
            QTest::mouseRelease(button->GetWidget(), Qt::LeftButton, {}, centre);
        }
        else
        {
            QTest::mousePress(g_doomed->GetWidget(), Qt::LeftButton, {}, QPoint(100, 120));
        }
        vxtest::ProcessEvents();
        EXPECT_EQ(g_doomed, nullptr);
        EXPECT_EQ(g_events, (std::vector<std::string>{byDelete ? "end at -1" : "end at 1"}));
    }
}

TEST_F(UIListBoxTest, DeletingBringsFirstShownBackAtOnce)
{
    AddGoals(4);
    ASSERT_EQ(list->GetFirstShown(), 3);
    list->DeleteItem(3);
    // No paint in between: the view follows the count at once.
    EXPECT_EQ(list->GetFirstShown(), 2);
    EXPECT_EQ(Rect(2), Str(kBox[0]));
    Wheel(-120, CPoint(100, 100));
    EXPECT_EQ(list->GetFirstShown(), 0);
    list->DeleteAllItems(FALSE);
    EXPECT_EQ(list->GetFirstShown(), 0);
    AddGoals(2);
    list->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 50));
    EXPECT_EQ(g_events, (std::vector<std::string>{"select 1"}));
}

TEST_F(UIListBoxTest, WheelMovesTheViewOnlyWithThePointerInside)
{
    AddGoals(6);
    const struct
    {
        const char *what;
        int lines;
        short delta;
        CPoint at;
        int firstShown;
    } turns[] = {
        {"one notch toward the older goals", 1, -120, CPoint(100, 100), 4},
        {"two notches", 1, -240, CPoint(100, 100), 2},
        {"three lines a notch, held at 0", 3, -120, CPoint(100, 100), 0},
        {"a part notch is no step", 1, 60, CPoint(100, 100), 0},
        {"toward the newer goals", 3, 120, CPoint(100, 100), 3},
        {"held at the newest", 3, 480, CPoint(100, 100), 5},
        {"pointer outside the list", 1, -120, CPoint(300, 100), 5},
        {"pointer above the list", 1, -120, CPoint(100, -3), 5},
        {"pointer in the list's corner", 1, -120, CPoint(0, 0), 4},
    };
    for (const auto &t : turns)
    {
        SCOPED_TRACE(t.what);
        QApplication::setWheelScrollLines(t.lines);
        Wheel(t.delta, t.at);
        EXPECT_EQ(list->GetFirstShown(), t.firstShown);
    }
    // A real wheel turn over a Delete button reaches the list through its parent.
    QApplication::setWheelScrollLines(1);
    UIButton *button = list->GetDeleteButton(0);
    const QPointF local(5, 5);
    const QPointF global = button->GetWidget()->mapToGlobal(local);
    QWheelEvent wheel(local, global, QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(button->GetWidget(), &wheel);
    EXPECT_EQ(list->GetFirstShown(), 3);
}

// ---- Pixels ---------------------------------------------------------------------------

bool Near(const QColor &c, QRgb want, int tolerance = 24)
{
    return std::abs(c.red() - qRed(want)) <= tolerance && std::abs(c.green() - qGreen(want)) <= tolerance &&
           std::abs(c.blue() - qBlue(want)) <= tolerance;
}

// Pixels of a colour within a rectangle of the list (client coordinates).
int CountNear(const QImage &image, const CRect &r, QRgb want)
{
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (Near(vxtest::PixelAt(image, kListRect.left + x, kListRect.top + y), want, 12))
                ++n;
    return n;
}

// Pixels with the pink of the selection and the to-go texts, however blended with grey.
int CountPinkish(const QImage &image, const CRect &r)
{
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
        {
            const QColor c = vxtest::PixelAt(image, kListRect.left + x, kListRect.top + y);
            if (c.red() - c.green() > 60 && c.blue() - c.green() > 20)
                ++n;
        }
    return n;
}

TEST_F(UIListBoxTest, PaintsBoxesByState)
{
    // An empty list is its gradient alone, dark at the top and light at the bottom.
    list->Invalidate();
    vxtest::ProcessEvents();
    QImage shot = host.Grab();
    EXPECT_LT(vxtest::PixelAt(shot, kListRect.left + 100, kListRect.top + 1).lightness(), 20);
    EXPECT_GT(vxtest::PixelAt(shot, kListRect.left + 100, kListRect.bottom - 2).lightness(), 235);
    EXPECT_EQ(CountNear(shot, CRect(0, 0, 281, 20), 0xFF605D5C), 0); // no header

    // Top: selected and open; middle: reached; bottom: open.
    list->AddItem(1, 0, 0, 0, 300, 1, 1, PackDate(2009, 1, 1), PackDate(2009, 1, 8), 0, 0, 100);
    list->AddItem(2, 0, 0, 0, 300, 1, 1, PackDate(2009, 1, 1), PackDate(2009, 1, 8), 0, 0, 300);
    list->AddItem(3, 0, 0, 0, 300, 1, 1, PackDate(2009, 1, 1), PackDate(2009, 1, 8), 0, 0, 100);
    list->SetCurSel(2);
    list->Invalidate();
    vxtest::ProcessEvents();
    shot = host.Grab();
    const CRect leftEdge[3] = {CRect(3, 40, 6, 80), CRect(3, 117, 6, 157), CRect(3, 194, 6, 234)};
    EXPECT_GT(CountPinkish(shot, leftEdge[0]), 20) << "the selected box is outlined in pink";
    EXPECT_EQ(CountPinkish(shot, leftEdge[1]), 0);
    EXPECT_EQ(CountPinkish(shot, leftEdge[2]), 0);
    // The reached box is plain white; the open boxes end their gradient in grey.
    EXPECT_EQ(CountNear(shot, CRect(10, 160, 40, 172), 0xFFFFFFFF), 30 * 12);
    EXPECT_GT(CountNear(shot, CRect(10, 240, 40, 249), 0xFFC2C2C2), 100);
    // Texts: the header in the text colour, and the status of the open goals in pink.
    EXPECT_GT(CountNear(shot, CRect(0, 0, 281, 20), 0xFF605D5C), 0);
    EXPECT_GT(CountPinkish(shot, CRect(135, 28, 230, 60)), 10);
    EXPECT_EQ(CountPinkish(shot, CRect(135, 105, 230, 137)), 0) << "a reached goal has nothing to go";
}
} // namespace

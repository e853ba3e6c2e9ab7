#include <QImage>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "platform/sys/LocalTime.h"
#include "tests/support/TestEnvironment.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/Calendar.h"

using Gdiplus::RectF;

namespace
{
constexpr UINT kCalendarId = 1300;
// W = 210 and H = 222: columns of 30 pixels, rows of 24.
const CRect kCalendarRect(10, 10, 224, 236);
constexpr float kColumn = 30.0f;
constexpr float kRow = 24.0f;

int64_t Local(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    int64_t t = 0;
    EXPECT_TRUE(vxsys::LocalTimeFromFields({year, month, day, hour, minute, second, 0}, &t));
    return t;
}

vxsys::LocalFields Fields(int64_t t)
{
    vxsys::LocalFields f{};
    EXPECT_TRUE(vxsys::LocalFieldsFromTime(t, &f));
    return f;
}

std::string Text(int64_t t)
{
    const vxsys::LocalFields f = Fields(t);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour,
                  f.minute, f.second);
    return buffer;
}

struct Picked
{
    int id;
    int64_t date;
};
std::vector<Picked> g_picked;
void RecordPick(int id, int64_t date)
{
    g_picked.push_back({id, date});
}

CCalendar *g_doomed = nullptr;
void DeleteOnPick(int, int64_t)
{
    delete g_doomed;
    g_doomed = nullptr;
}

QColor Pixel(const CCalendar &calendar, float x, float y)
{
    return QColor(calendar.GetBackBuffer()->QtImage().pixel(static_cast<int>(x), static_cast<int>(y)));
}

class CalendarTest : public testing::Test
{
  protected:
    void SetUp() override
    {
        vxsys::SetCurrentTimeSource([this] { return now; });
        ASSERT_TRUE(host.Make(260, 260));
        g_picked.clear();
    }
    void TearDown() override
    {
        calendar.reset();
        host.DestroyWindow();
        vxtest::ProcessEvents();
        vxsys::SetCurrentTimeSource({});
    }
    // A calendar showing the month of `shown` with `selected` picked.
    void Make(int64_t selected, int64_t shown, WORD language = 1033)
    {
        calendar = std::make_unique<CCalendar>(language);
        ASSERT_TRUE(
            calendar->Create(u"", WS_CHILD | WS_VISIBLE | SS_NOTIFY, kCalendarRect, &host, kCalendarId));
        calendar->SetDateCallback(&RecordPick);
        calendar->m_tSelected = selected;
        calendar->m_tShown = shown;
        calendar->Redraw();
    }
    void Press(const RectF &area, UINT msg = WM_LBUTTONDOWN)
    {
        ASSERT_FALSE(area.IsEmptyArea());
        const int x = static_cast<int>(area.X + area.Width / 2);
        const int y = static_cast<int>(area.Y + area.Height / 2);
        calendar->SendMessage(msg, MK_LBUTTON, MAKELPARAM(x, y));
    }
    static RectF Cell(int column, int row)
    {
        return RectF(column * kColumn, row * kRow + 27.0f, kColumn, kRow);
    }

    vxtest::ScopedTimeZone zone{"Europe/Berlin"};
    uitest::ProgramStrings strings;
    int64_t now = Local(2011, 5, 18, 14, 30, 0);
    uitest::Host host;
    std::unique_ptr<CCalendar> calendar;
};

void ExpectRect(const RectF &actual, const RectF &expected, const std::string &what)
{
    EXPECT_FLOAT_EQ(actual.X, expected.X) << what;
    EXPECT_FLOAT_EQ(actual.Y, expected.Y) << what;
    EXPECT_FLOAT_EQ(actual.Width, expected.Width) << what;
    EXPECT_FLOAT_EQ(actual.Height, expected.Height) << what;
}

TEST_F(CalendarTest, DaysSitInTheirWeekdayColumnAndWeekRow)
{
    const struct
    {
        int year, month, day, column, row;
    } cases[] = {
        // May 2011 begins on a Sunday and has 31 days: it reaches the sixth row.
        {2011, 5, 1, 6, 1},
        {2011, 5, 2, 0, 2},
        {2011, 5, 29, 6, 5},
        {2011, 5, 30, 0, 6},
        {2011, 5, 31, 1, 6},
        // January 2011 begins on a Saturday.
        {2011, 1, 1, 5, 1},
        {2011, 1, 2, 6, 1},
        {2011, 1, 3, 0, 2},
        {2011, 1, 30, 6, 5},
        {2011, 1, 31, 0, 6},
    };
    for (const auto &c : cases)
    {
        Make(now, Local(c.year, c.month, 15));
        const std::string what =
            std::to_string(c.year) + "-" + std::to_string(c.month) + "-" + std::to_string(c.day);
        ExpectRect(calendar->GetDayCell(c.day), Cell(c.column, c.row), what);
        ExpectRect(calendar->GetDayCellRect(Local(c.year, c.month, c.day, 23, 59)), Cell(c.column, c.row),
                   what);
    }
    EXPECT_EQ(calendar->GetDrawWidth(), 210);
    EXPECT_EQ(calendar->GetDrawHeight(), 222);
}

TEST_F(CalendarTest, TheBarsHoldTheArrowsAndTodayWhereTheyAreDrawn)
{
    Make(now, now);
    ExpectRect(calendar->GetStepBackArea(), RectF(0, 5, 16, 16), "step back");
    ExpectRect(calendar->GetStepForwardArea(), RectF(194, 5, 16, 16), "step forward");
    ExpectRect(calendar->GetTodayArea(), RectF(46, 0, 118, 27), "today");
    ExpectRect(calendar->GetPrevMonthArea(), RectF(5, 9.5f + 195, 8, 8), "previous month");
    ExpectRect(calendar->GetNextMonthArea(), RectF(197, 9.5f + 195, 8, 8), "next month");
}

TEST_F(CalendarTest, APickedDayInAPagedMonthIsReportedAtMidnightAndTheMonthStays)
{
    Make(Local(2011, 5, 18, 14, 30), now);
    Press(calendar->GetNextMonthArea());
    EXPECT_EQ(calendar->GetMonthCaption(), u"Jun 2011");
    EXPECT_TRUE(g_picked.empty()); // paging reports nothing
    Press(calendar->GetDayCell(9));
    ASSERT_EQ(g_picked.size(), 1u);
    EXPECT_EQ(g_picked[0].id, static_cast<int>(kCalendarId));
    EXPECT_EQ(Text(g_picked[0].date), "2011-06-09 00:00:00");
    EXPECT_EQ(calendar->m_tSelected, g_picked[0].date);
    EXPECT_EQ(Text(calendar->m_tShown), "2011-06-01 00:00:00");
    Press(calendar->GetPrevMonthArea());
    Press(calendar->GetPrevMonthArea());
    EXPECT_EQ(calendar->GetMonthCaption(), u"Apr 2011");
    EXPECT_EQ(g_picked.size(), 1u);
}

TEST_F(CalendarTest, AShortFebruaryHasNoCellsForItsMissingDays)
{
    Make(Local(2011, 2, 10), Local(2011, 2, 10));
    for (int day = 29; day <= 31; ++day)
        EXPECT_TRUE(calendar->GetDayCell(day).IsEmptyArea()) << day;
    EXPECT_FALSE(calendar->GetDayCell(28).IsEmptyArea());
    // February 2011 begins on a Tuesday; the 28th is a Monday in row 5, so row 5 column 1 would be
    // the 29th. It is drawn as an empty cell and does not react.
    ExpectRect(calendar->GetDayCell(28), Cell(0, 5), "28th");
    const int64_t before = calendar->m_tSelected;
    Press(Cell(1, 5));
    Press(Cell(6, 6));
    EXPECT_TRUE(g_picked.empty());
    EXPECT_EQ(calendar->m_tSelected, before);
}

TEST_F(CalendarTest, StepsAndMonthArrowsStayWithinTheLimits)
{
    // Stepping forward from the last day of 2037 would reach 2038.
    Make(Local(2037, 12, 31, 12), Local(2037, 12, 31, 12));
    calendar->StepForward();
    EXPECT_EQ(Text(calendar->m_tSelected), "2037-12-31 12:00:00");
    Press(calendar->GetNextMonthArea());
    EXPECT_EQ(calendar->GetMonthCaption(), u"Dec 2037");
    calendar->StepBack();
    EXPECT_EQ(Text(calendar->m_tSelected), "2037-12-30 12:00:00");
    ASSERT_EQ(g_picked.size(), 1u);

    // Stepping back from 1 March 1970 would reach February.
    g_picked.clear();
    Make(Local(1970, 3, 1), Local(1970, 3, 1));
    calendar->StepBack();
    EXPECT_EQ(Text(calendar->m_tSelected), "1970-03-01 00:00:00");
    Press(calendar->GetPrevMonthArea());
    EXPECT_EQ(calendar->GetMonthCaption(), u"Mar 1970");
    EXPECT_TRUE(g_picked.empty());
    // The last month that may be paged to on either side.
    calendar->m_tShown = Local(1970, 4, 1);
    Press(calendar->GetPrevMonthArea());
    EXPECT_EQ(calendar->GetMonthCaption(), u"Mar 1970");
    calendar->m_tShown = Local(2037, 11, 30, 23, 59);
    Press(calendar->GetNextMonthArea());
    EXPECT_EQ(calendar->GetMonthCaption(), u"Dec 2037");
    // A week back from 7 March 1970 is refused as well.
    calendar->SetViewMode(1);
    calendar->m_tSelected = Local(1970, 3, 7);
    calendar->StepBack();
    EXPECT_EQ(Text(calendar->m_tSelected), "1970-03-07 00:00:00");
    EXPECT_TRUE(g_picked.empty());
}

struct StepCase
{
    const char *name;
    int mode;
    bool forward;
    int64_t from;
    const char *to;
};

TEST_F(CalendarTest, StepsMoveByCalendarDaysAcrossBothChangesOf2011)
{
    // Summer time begins on 27 March 2011 and ends on 30 October 2011 in Berlin.
    const StepCase cases[] = {
        {"day back over spring", 0, false, Local(2011, 3, 28), "2011-03-27 00:00:00"},
        {"day forward over spring", 0, true, Local(2011, 3, 26, 23, 30), "2011-03-27 23:30:00"},
        {"day forward into spring", 0, true, Local(2011, 3, 27), "2011-03-28 00:00:00"},
        {"day back over autumn", 0, false, Local(2011, 10, 31), "2011-10-30 00:00:00"},
        {"day forward over autumn", 0, true, Local(2011, 10, 30), "2011-10-31 00:00:00"},
        {"day forward from autumn evening", 0, true, Local(2011, 10, 29, 23, 30), "2011-10-30 23:30:00"},
        {"week back over spring", 1, false, Local(2011, 4, 1), "2011-03-25 00:00:00"},
        {"week forward over spring", 1, true, Local(2011, 3, 25, 0, 30), "2011-04-01 00:30:00"},
        {"week back over autumn", 1, false, Local(2011, 11, 1, 23, 15), "2011-10-25 23:15:00"},
        {"week forward over autumn", 1, true, Local(2011, 10, 25), "2011-11-01 00:00:00"},
    };
    for (const auto &c : cases)
    {
        g_picked.clear();
        Make(c.from, c.from);
        calendar->SetViewMode(c.mode);
        if (c.forward)
            calendar->StepForward();
        else
            calendar->StepBack();
        EXPECT_EQ(Text(calendar->m_tSelected), c.to) << c.name;
        EXPECT_EQ(calendar->m_tShown, calendar->m_tSelected) << c.name;
        ASSERT_EQ(g_picked.size(), 1u) << c.name;
        EXPECT_EQ(g_picked[0].date, calendar->m_tSelected) << c.name;
    }
}

TEST_F(CalendarTest, TheStepArrowsStepAndShowTheNewMonth)
{
    Make(Local(2011, 5, 31, 9), Local(2011, 5, 31, 9));
    Press(calendar->GetStepForwardArea());
    EXPECT_EQ(Text(calendar->m_tSelected), "2011-06-01 09:00:00");
    EXPECT_EQ(calendar->GetMonthCaption(), u"Jun 2011");
    Press(calendar->GetStepBackArea());
    EXPECT_EQ(Text(calendar->m_tSelected), "2011-05-31 09:00:00");
    ASSERT_EQ(g_picked.size(), 2u);
    EXPECT_EQ(g_picked[1].date, calendar->m_tSelected);
}

TEST_F(CalendarTest, TodayShowsTheCurrentMonthWithoutPicking)
{
    const int64_t picked = Local(2010, 12, 24, 8);
    Make(picked, picked);
    Press(calendar->GetTodayArea());
    EXPECT_EQ(calendar->m_tShown, now);
    EXPECT_EQ(calendar->m_tSelected, picked);
    EXPECT_EQ(calendar->GetMonthCaption(), u"May 2011");
    EXPECT_TRUE(g_picked.empty());
    // The picked day lies in another month: no cell shows the selection.
    for (int day = 1; day <= 31; ++day)
    {
        const RectF cell = calendar->GetDayCell(day);
        EXPECT_NE(Pixel(*calendar, cell.X + 4, cell.Y + 4), QColor(0x8D, 0xD8, 0xF8)) << day;
    }
}

TEST_F(CalendarTest, TheSelectionAndTodayAreMarkedInTheirCells)
{
    // Today is 18 May 2011 (Wednesday, row 4), the selection the 10th (Tuesday, row 3).
    Make(Local(2011, 5, 10, 7), now);
    const QColor selection(0x8D, 0xD8, 0xF8), mark(0xF7, 0xA1, 0x57), dayFill(Qt::white);
    const RectF selected = Cell(1, 3), today = Cell(2, 4), other = Cell(3, 4);
    EXPECT_EQ(Pixel(*calendar, selected.X + 4, selected.Y + 4), selection);
    EXPECT_EQ(Pixel(*calendar, today.X + 4, today.Y + 4), dayFill);
    EXPECT_EQ(Pixel(*calendar, today.X + 1, today.Y + 12), mark);
    EXPECT_EQ(Pixel(*calendar, today.X + 15, today.Y + 1), mark);
    EXPECT_NE(Pixel(*calendar, other.X + 1, other.Y + 12), mark);
    EXPECT_EQ(Pixel(*calendar, other.X + 4, other.Y + 4), dayFill);

    // The window shows the back buffer.
    vxtest::ProcessEvents();
    const QImage screen = host.Grab();
    EXPECT_EQ(vxtest::PixelAt(screen, kCalendarRect.left + 34, kCalendarRect.top + 27 + 72 + 4), selection);
    EXPECT_EQ(vxtest::PixelAt(screen, kCalendarRect.left + 61, kCalendarRect.top + 27 + 96 + 12), mark);
}

TEST_F(CalendarTest, InWeekModeTheSelectionAndTodayCoverTheRow)
{
    Make(Local(2011, 5, 10, 7), now);
    calendar->SetViewMode(1);
    const QColor selection(0x8D, 0xD8, 0xF8), mark(0xF7, 0xA1, 0x57);
    // The selected week is row 3: framed from the left edge to the right, its cells left white.
    const RectF row2 = Cell(0, 3);
    EXPECT_EQ(Pixel(*calendar, 1, row2.Y + 12), selection);
    EXPECT_EQ(Pixel(*calendar, 208, row2.Y + 12), selection);
    EXPECT_EQ(Pixel(*calendar, 100, row2.Y + 1), selection);
    EXPECT_EQ(Pixel(*calendar, 34, row2.Y + 8), QColor(Qt::white));
    // Today's week is row 4, marked across the row.
    const RectF row3 = Cell(0, 4);
    EXPECT_EQ(Pixel(*calendar, 1, row3.Y + 12), mark);
    EXPECT_EQ(Pixel(*calendar, 100, row3.Y + 1), mark);
    // A step moves by seven days.
    calendar->StepForward();
    EXPECT_EQ(Text(calendar->m_tSelected), "2011-05-17 07:00:00");
    EXPECT_EQ(Pixel(*calendar, 100, row3.Y + 1), selection); // drawn over the today mark
}

TEST_F(CalendarTest, TheCaptionFollowsEachLanguagesPattern)
{
    const struct
    {
        WORD language;
        int year, month;
        const char16_t *caption;
    } cases[] = {
        {1033, 2011, 5, u"May 2011"},    {1031, 2011, 3, u"Mär 2011"}, {1028, 2011, 5, u"2011年5月"},
        {2052, 2011, 12, u"2011年12月"}, {1033, 1970, 3, u"Mar 1970"}, {2052, 2037, 1, u"2037年1月"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(vxui::CalendarCaption(c.language, c.year, c.month), c.caption) << c.language;
    Make(now, now, 2052);
    EXPECT_EQ(calendar->GetMonthCaption(), u"2011年5月");
    EXPECT_EQ(calendar->GetMonthName(12), u"12月");
    EXPECT_EQ(calendar->GetMonthName(0), u"");
    EXPECT_EQ(calendar->GetMonthName(13), u"");
}

TEST_F(CalendarTest, ADoubleClickActsAsAClick)
{
    Make(Local(2011, 5, 18), now);
    Press(calendar->GetDayCell(3), WM_LBUTTONDBLCLK);
    ASSERT_EQ(g_picked.size(), 1u);
    EXPECT_EQ(Text(g_picked[0].date), "2011-05-03 00:00:00");
    // Through the window system: press, release, double click, release.
    const RectF cell = calendar->GetDayCell(4);
    QTest::mouseDClick(calendar->GetWidget(), Qt::LeftButton, {},
                       QPoint(static_cast<int>(cell.X + 10), static_cast<int>(cell.Y + 10)));
    ASSERT_GE(g_picked.size(), 2u);
    EXPECT_EQ(Text(g_picked.back().date), "2011-05-04 00:00:00");
}

TEST_F(CalendarTest, WithoutACallbackClicksAndStepsStillWork)
{
    Make(Local(2011, 5, 18), now);
    calendar->SetDateCallback(nullptr);
    Press(calendar->GetDayCell(5));
    EXPECT_EQ(Text(calendar->m_tSelected), "2011-05-05 00:00:00");
    calendar->StepForward();
    Press(calendar->GetStepForwardArea());
    EXPECT_EQ(Text(calendar->m_tSelected), "2011-05-07 00:00:00");
}

TEST_F(CalendarTest, TheCallbackMayDeleteTheCalendar)
{
    Make(Local(2011, 5, 18), now);
    g_doomed = calendar.release();
    g_doomed->SetDateCallback(&DeleteOnPick);
    const RectF cell = g_doomed->GetDayCell(6);
    QTest::mouseClick(g_doomed->GetWidget(), Qt::LeftButton, {},
                      QPoint(static_cast<int>(cell.X + 10), static_cast<int>(cell.Y + 10)));
    EXPECT_EQ(g_doomed, nullptr);
    vxtest::ProcessEvents();
}

TEST_F(CalendarTest, EveryDayOfTheMonthGetsACellWhereADayHadNoHours)
{
    // Samoa went from 29 to 31 December 2011: the 30th had no local time, yet it is a day of the
    // month's grid like any other.
    vxtest::ScopedTimeZone samoa("Pacific/Apia");
    const int64_t shown = Local(2011, 12, 15, 12);
    Make(shown, shown);
    for (int day = 1; day <= 31; ++day)
        EXPECT_FALSE(calendar->GetDayCell(day).IsEmptyArea()) << day;
    // 1 December 2011 was a Thursday: the 30th is a Friday in row 5.
    ExpectRect(calendar->GetDayCell(30), Cell(4, 5), "30th");
}
} // namespace

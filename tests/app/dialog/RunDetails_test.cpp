#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <algorithm>
#include <string>
#include <vector>

#include "platform/sys/LocalTime.h"
#include "store/DateTime.h"
#include "store/KvtDatabase.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "ui/Calendar.h"
#include "ui/DataGraph.h"
#include "ui/GraphSettings.h"
#include "ui/UIStatic.h"

namespace
{
constexpr UINT kPanelId = 1068;
constexpr UINT kTitleId = 1069;
constexpr UINT kEffortPictureId = 1218;

class DetailsDlg : public CKVTDlg
{
  public:
    explicit DetailsDlg(LANGID language) : CKVTDlg(language) {}

    void BuildNavigationBar(BOOL, BOOL, BOOL, BOOL, BOOL, BOOL, BOOL) override {}

  protected:
    std::shared_ptr<UlvexDevice> CreateDeviceWrapper() override
    {
        return std::make_shared<UlvexDevice>(vxtest::FakeUlvexPath());
    }
};

int64_t LocalTime(int year, int month, int day, int hour = 12, int minute = 0)
{
    int64_t t = 0;
    EXPECT_TRUE(vxsys::LocalTimeFromFields({year, month, day, hour, minute, 0, 0}, &t));
    return t;
}

DateParts Day(int year, int month, int day)
{
    return DateParts{static_cast<uint8_t>(day), static_cast<uint8_t>(month), static_cast<uint16_t>(year)};
}

struct Sums
{
    uint32_t runDistance = 0, walkDistance = 0, duration = 1800, runSteps = 0, walkSteps = 0, calories = 0;
    uint8_t heartRateAfter = 0;
    TimeParts start{9, 0, 0};
};

RunRecord MakeRun(DateParts date, const Sums &s)
{
    RunRecord run{};
    run.date = date;
    run.time = s.start;
    run.duration = s.duration;
    run.runDistance = s.runDistance;
    run.walkDistance = s.walkDistance;
    run.runSteps = s.runSteps;
    run.walkSteps = s.walkSteps;
    run.calories = s.calories;
    run.heartRateBefore = s.heartRateAfter ? 70 : 0;
    run.heartRateAfter = s.heartRateAfter;
    return run;
}

// Where each figure of the panel sits, in the panel.
const CRect kRunSteps(96, 32, 151, 48), kWalkSteps(181, 32, 241, 48), kRunDistance(96, 51, 151, 67),
    kWalkDistance(181, 51, 236, 67), kDistanceUnit(235, 53, 270, 65), kSpeed(365, 32, 410, 48),
    kSpeedUnit(405, 35, 470, 47), kDuration(71, 70, 171, 86), kCalories(365, 70, 425, 86),
    kRunCountLabel(255, 9, 375, 21), kRunCount(383, 7, 463, 21), kEndTime(71, 33, 141, 49),
    kHeartRate(210, 33, 260, 49), kEffortText(345, 30, 418, 86);

class RunDetailsTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        vxsys::SetCurrentTimeSource([this] { return now; });
        Open(1033);
    }
    void TearDown() override
    {
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxsys::SetCurrentTimeSource({});
        vxtest::ProcessEvents();
    }

    // A dialog in the language with a calendar, the user "ann" logged in (made on first use).
    void Open(LANGID language)
    {
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxtest::ProcessEvents();
        dlg = std::make_unique<DetailsDlg>(language);
        ASSERT_TRUE(dlg->Create(CKVTDlg::kDialogTemplate, nullptr));
        app.m_pMainWnd = dlg.get();
        ASSERT_TRUE(dlg->m_pDatabase && dlg->m_pDatabase->IsOpen());
        dlg->m_bMetric = TRUE;
        const DateParts dob = {1, 2, 1996};
        if (dlg->m_pDatabase->Login(u"ann", u"pw") != 1)
        {
            ASSERT_EQ(dlg->m_pDatabase->AddUser(u"ann", u"pw", u"", u"", 1, &dob, 30, 170, 0, 60, 0), 1);
            ASSERT_EQ(dlg->m_pDatabase->Login(u"ann", u"pw"), 1);
        }
        dlg->m_nAge = 30;
        dlg->m_pCalendar = std::make_unique<CCalendar>(language);
        ASSERT_TRUE(dlg->m_pCalendar->Create(u"", WS_CHILD | WS_VISIBLE, CRect(497, 120, 670, 290), dlg.get(),
                                             CKVTDlg::kCalendarId));
    }
    void Store(const std::vector<RunRecord> &runs)
    {
        for (const RunRecord &run : runs)
            ASSERT_EQ(dlg->m_pDatabase->AddRun(&run), 1);
        ASSERT_EQ(dlg->m_pDatabase->Commit(), 1);
    }

    // The panel for the calendar's date in a measure and period.
    void Show(int64_t date, int measure = 0, int period = 0)
    {
        dlg->m_pCalendar->m_tSelected = date;
        dlg->m_nGraphMeasure = measure;
        dlg->m_nGraphPeriod = period;
        dlg->UpdateRunDetails();
    }

    UIStatic *Panel() const { return dynamic_cast<UIStatic *>(dlg->GetDlgItem(static_cast<int>(kPanelId))); }
    // The page's controls inside the panel.
    std::vector<UIStatic *> PanelItems() const
    {
        std::vector<UIStatic *> items;
        UIStatic *panel = Panel();
        for (std::size_t i = 0; panel && i < dlg->PageControlCount(); ++i)
            if (auto *item = dynamic_cast<UIStatic *>(dlg->PageControl(i));
                item && item->GetParent() == panel)
                items.push_back(item);
        return items;
    }
    static CRect RectInPanel(UIStatic *item)
    {
        CRect rect;
        item->GetWindowRect(&rect);
        item->GetParent()->ScreenToClient(&rect);
        return rect;
    }
    UIStatic *At(const CRect &rect) const
    {
        for (UIStatic *item : PanelItems())
            if (RectInPanel(item) == rect)
                return item;
        return nullptr;
    }
    std::u16string Text(const CRect &rect) const
    {
        UIStatic *item = At(rect);
        return item ? std::u16string(item->GetText()) : u"<none>";
    }
    std::u16string Title() const
    {
        UIStatic *panel = Panel();
        auto *title =
            panel ? dynamic_cast<UIStatic *>(panel->GetDlgItem(static_cast<int>(kTitleId))) : nullptr;
        return title ? std::u16string(title->GetText()) : u"<none>";
    }
    bool HasCaption(const std::u16string &text) const
    {
        for (UIStatic *item : PanelItems())
            if (item->GetText() == text)
                return true;
        return false;
    }

    vxtest::ScopedTimeZone zone{"Europe/Berlin"};
    std::string dataHome = vxtest::MakeTempDir("xdg");
    vxtest::ScopedEnv dataEnv{"XDG_DATA_HOME", dataHome.c_str()};
    std::string runtime = vxtest::MakeTempDir("run");
    vxtest::ScopedEnv runtimeEnv{"XDG_RUNTIME_DIR", runtime.c_str()};
    vxtest::FakeUlvexLibrary fake;
    CWinApp app;
    int64_t now = LocalTime(2026, 12, 10);
    std::unique_ptr<DetailsDlg> dlg;
};

// ---- titles ------------------------------------------------------------------------------------

TEST_F(RunDetailsTest, TitlesNameTheDayTheWeekOrTheMonthInEachLanguage)
{
    struct Case
    {
        LANGID language;
        int period;
        int64_t date;
        std::u16string title;
    };
    const Case cases[] = {
        {1033, 0, LocalTime(2009, 3, 16), u"March 16, 2009"},
        {1033, 0, LocalTime(2026, 1, 5), u"January 5, 2026"},
        {1033, 1, LocalTime(2009, 3, 16), u"Week 12 16/03 - 22/03"},
        // A Sunday ends its week.
        {1033, 1, LocalTime(2009, 3, 22, 23, 59), u"Week 12 16/03 - 22/03"},
        {1033, 2, LocalTime(2009, 3, 16), u"Mar 2009"},
        {1031, 0, LocalTime(2009, 3, 16), u"16. März 2009"},
        {1031, 1, LocalTime(2009, 3, 16), u"Woche 12 16/03 - 22/03"},
        {1031, 2, LocalTime(2009, 12, 1), u"Dez 2009"},
        {2052, 0, LocalTime(2009, 3, 16), u"2009年3月16日"},
        {2052, 1, LocalTime(2009, 3, 16), u"周 12 16/03 - 22/03"},
        {2052, 2, LocalTime(2009, 3, 16), u"2009年3月"},
        {1028, 0, LocalTime(2009, 10, 2), u"2009年10月2日"},
        {1028, 2, LocalTime(2009, 10, 2), u"2009年10月"},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(std::to_string(c.language) + " period " + std::to_string(c.period));
        if (dlg->m_nLanguage != c.language)
            Open(c.language);
        Show(c.date, 0, c.period);
        EXPECT_EQ(Title(), c.title);
    }
}

TEST_F(RunDetailsTest, FullMonthNamesAreOneToTwelveAndEmptyOtherwise)
{
    const struct
    {
        int month;
        const char16_t *name;
    } cases[] = {{1, u"January"}, {6, u"June"}, {12, u"December"}, {0, u""}, {13, u""}, {-1, u""}};
    for (const auto &c : cases)
        EXPECT_EQ(dlg->GetMonthName(c.month).str(), c.name) << c.month;
}

// The week that the panel names and sums is the graph's week point of the same date, also where
// a year ends between the store's week 52 and the next year's week 1.
TEST_F(RunDetailsTest, YearEndWeeksHaveTheGraphsDatesNumberAndSums)
{
    struct Case
    {
        int64_t date;
        DateParts monday;
        std::u16string title;
    };
    const Case cases[] = {
        {LocalTime(2009, 12, 27), Day(2009, 12, 21), u"Week 52 21/12 - 27/12"},
        {LocalTime(2009, 12, 31), Day(2009, 12, 28), u"Week 1 28/12 - 03/01"},
        {LocalTime(2018, 12, 24), Day(2018, 12, 24), u"Week 53 24/12 - 30/12"},
        {LocalTime(2018, 12, 31), Day(2018, 12, 31), u"Week 1 31/12 - 06/01"},
        {LocalTime(2019, 1, 6), Day(2018, 12, 31), u"Week 1 31/12 - 06/01"},
        {LocalTime(2024, 12, 29), Day(2024, 12, 23), u"Week 53 23/12 - 29/12"},
        {LocalTime(2024, 12, 30), Day(2024, 12, 30), u"Week 1 30/12 - 05/01"},
    };
    // One run on each Monday and Sunday of these weeks, and one on the days just outside them.
    std::vector<RunRecord> runs;
    std::vector<int64_t> mondays;
    for (const Case &c : cases)
    {
        const int64_t monday = vxtime::DaysFromCivil(c.monday.year, c.monday.month, c.monday.day);
        if (std::find(mondays.begin(), mondays.end(), monday) != mondays.end())
            continue;
        mondays.push_back(monday);
    }
    const auto dayOf = [](int64_t days) {
        const vxtime::CivilDate d = vxtime::CivilFromDays(days);
        return Day(static_cast<int>(d.year), static_cast<int>(d.month), static_cast<int>(d.day));
    };
    for (int64_t monday : mondays)
    {
        runs.push_back(MakeRun(dayOf(monday), Sums{.runDistance = 1000}));
        runs.push_back(MakeRun(dayOf(monday + 6), Sums{.walkDistance = 500}));
    }
    // 2009-12-20 and 2018-12-23 are Sundays before weeks above; 2025-01-06 a Monday after one.
    runs.push_back(MakeRun(Day(2009, 12, 20), Sums{.runDistance = 7000}));
    runs.push_back(MakeRun(Day(2018, 12, 23), Sums{.runDistance = 7000}));
    runs.push_back(MakeRun(Day(2025, 1, 6), Sums{.runDistance = 7000}));
    Store(runs);
    dlg->CreateRunGraph();
    int n = 0;
    for (const Case &c : cases)
    {
        SCOPED_TRACE(n++);
        Show(c.date, 0, 1);
        EXPECT_EQ(Title(), c.title);
        EXPECT_EQ(Text(kRunCount), u"2");
        EXPECT_EQ(Text(kRunDistance), u"1.0");
        EXPECT_EQ(Text(kWalkDistance), u"0.5");
        // The graph's newest week point for the same date carries the same number.
        dlg->m_tGraphAnchor = c.date;
        dlg->m_bResetGraphScroll = FALSE;
        dlg->BuildRunGraph();
        const GraphPoint &newest = dlg->m_pRunGraph->GetLastSettings().m_series.at(0).m_points.back();
        EXPECT_EQ(Title().substr(0, newest.m_strSecondLabel.str().size() + 1),
                  newest.m_strSecondLabel.str() + u" ");
    }
}

// ---- sums --------------------------------------------------------------------------------------

TEST_F(RunDetailsTest, ADayWithoutRunsShowsZerosEvenAfterADayWithRunsOrWithoutAStore)
{
    Store({MakeRun(Day(2026, 12, 1), Sums{.runDistance = 3200,
                                          .walkDistance = 1800,
                                          .duration = 2400,
                                          .runSteps = 4000,
                                          .walkSteps = 2500,
                                          .calories = 310})});
    const auto expectZeros = [this] {
        EXPECT_EQ(Text(kRunSteps), u"0");
        EXPECT_EQ(Text(kWalkSteps), u"0");
        EXPECT_EQ(Text(kRunDistance), u"0.0");
        EXPECT_EQ(Text(kWalkDistance), u"0.0");
        EXPECT_EQ(Text(kDuration), u"0:00:00");
        EXPECT_EQ(Text(kSpeed), u"0.0");
        EXPECT_EQ(Text(kCalories), u"0");
    };
    for (int period : {0, 1, 2})
    {
        SCOPED_TRACE(period);
        Show(LocalTime(2026, 12, 1), 0, period);
        ASSERT_EQ(Text(kRunSteps), u"4000");
        // A day, week and month without runs.
        Show(LocalTime(2025, 6, 18), 0, period);
        expectZeros();
        EXPECT_EQ(Text(kRunCount), period != 0 ? u"0" : u"<none>");
    }
    // A store that cannot be read (nobody logged in) shows zeros, not what the last read found.
    Show(LocalTime(2026, 12, 1), 2, 0);
    ASSERT_EQ(Text(kCalories), u"310");
    ASSERT_EQ(dlg->m_pDatabase->Logout(), 1);
    Show(LocalTime(2026, 12, 1), 2, 0);
    expectZeros();
    dlg->m_pDatabase.reset();
    Show(LocalTime(2026, 12, 1), 0, 1);
    expectZeros();
    EXPECT_EQ(Text(kRunCount), u"0");
}

TEST_F(RunDetailsTest, KnownPeriodsShowTheirSumsInTheUsersUnits)
{
    Store({
        MakeRun(Day(2026, 11, 30), Sums{.runDistance = 3200,
                                        .walkDistance = 1800,
                                        .duration = 2400,
                                        .runSteps = 4000,
                                        .walkSteps = 2500,
                                        .calories = 310}),
        MakeRun(Day(2026, 11, 30), Sums{.runDistance = 1000,
                                        .walkDistance = 0,
                                        .duration = 3725,
                                        .runSteps = 1200,
                                        .walkSteps = 0,
                                        .calories = 90,
                                        .start = {18, 0, 0}}),
        MakeRun(Day(2026, 12, 6), Sums{.runDistance = 0,
                                       .walkDistance = 2000,
                                       .duration = 1200,
                                       .walkSteps = 2600,
                                       .calories = 100}),
        MakeRun(Day(2026, 12, 7),
                Sums{.runDistance = 10000, .duration = 3600, .runSteps = 9000, .calories = 700}),
    });
    struct Case
    {
        BOOL metric;
        int period;
        int64_t date;
        std::vector<std::u16string> texts; // run/walk steps, run/walk distance, unit, speed, speed unit,
                                           // duration, calories, runs
    };
    const Case cases[] = {
        {TRUE,
         0,
         LocalTime(2026, 11, 30),
         {u"5200", u"2500", u"4.2", u"1.8", u"km", u"3.5", u"km/hour", u"1:42:05", u"400", u"<none>"}},
        {FALSE,
         0,
         LocalTime(2026, 11, 30),
         {u"5200", u"2500", u"2.6", u"1.1", u"miles", u"2.2", u"miles/hour", u"1:42:05", u"400", u"<none>"}},
        // The week of Monday 30 November to Sunday 6 December.
        {TRUE,
         1,
         LocalTime(2026, 12, 2),
         {u"5200", u"5100", u"4.2", u"3.8", u"km", u"3.9", u"km/hour", u"2:02:05", u"500", u"3"}},
        {TRUE,
         2,
         LocalTime(2026, 12, 31),
         {u"9000", u"2600", u"10.0", u"2.0", u"km", u"9.0", u"km/hour", u"1:20:00", u"800", u"2"}},
        {TRUE,
         2,
         LocalTime(2026, 11, 1),
         {u"5200", u"2500", u"4.2", u"1.8", u"km", u"3.5", u"km/hour", u"1:42:05", u"400", u"2"}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(std::to_string(c.period) + (c.metric ? " metric" : " imperial"));
        dlg->m_bMetric = c.metric;
        Show(c.date, 0, c.period);
        const std::vector<std::u16string> texts = {
            Text(kRunSteps), Text(kWalkSteps), Text(kRunDistance), Text(kWalkDistance), Text(kDistanceUnit),
            Text(kSpeed),    Text(kSpeedUnit), Text(kDuration),    Text(kCalories),     Text(kRunCount)};
        EXPECT_EQ(texts, c.texts);
        EXPECT_EQ(At(kRunCountLabel) != nullptr, c.period != 0);
    }
}

TEST_F(RunDetailsTest, AverageSpeedIsDistancePerHourAndZeroWithoutDistanceOrTime)
{
    struct Case
    {
        uint32_t run, walk, duration;
        const char16_t *speed, *duration_text;
    };
    const Case cases[] = {
        {3200, 1800, 2400, u"7.5", u"0:40:00"},
        {0, 0, 2400, u"0.0", u"0:40:00"},
        // A distance without time has no speed rather than an infinite one.
        {3200, 1800, 0, u"0.0", u"0:00:00"},
        {0, 0, 0, u"0.0", u"0:00:00"},
        // Over 30 hours in one month the hours go on past 24.
        {4000000000u, 200000000u, 108000, u"140000.0", u"30:00:00"},
    };
    int day = 1;
    for (const Case &c : cases)
    {
        SCOPED_TRACE(day);
        Store({MakeRun(Day(2026, 1 + day, 10),
                       Sums{.runDistance = c.run, .walkDistance = c.walk, .duration = c.duration})});
        Show(LocalTime(2026, 1 + day, 10), 0, 2);
        EXPECT_EQ(Text(kSpeed), c.speed);
        EXPECT_EQ(Text(kDuration), c.duration_text);
        ++day;
    }
}

// ---- heart rate --------------------------------------------------------------------------------

// The picture's disc colour tells the three efforts apart.
QColor EffortColour(UIStatic *picture)
{
    const QImage image = vxtest::GrabWidget(picture->GetWidget());
    return vxtest::PixelAt(image, 12, 28);
}

TEST_F(RunDetailsTest, EffortAtAgeThirtyFollowsTheHeartRateAfterTheDaysLastRun)
{
    struct Case
    {
        uint8_t heartRate;
        const char16_t *verdict;
        QRgb disc;
    };
    const Case cases[] = {
        {155, u"You are probably working too hard", 0xDA251D},
        {154, u"Good Work", 0xABD32A},
        {102, u"Good Work", 0xABD32A},
        {101, u"You are not working hard enough, try harder", 0xF7A157},
    };
    int day = 1;
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.heartRate);
        // An earlier run of the day with another reading does not count.
        Store({MakeRun(Day(2026, 3, day), Sums{.heartRateAfter = 200, .start = {7, 0, 0}}),
               MakeRun(Day(2026, 3, day),
                       Sums{.duration = 2700, .heartRateAfter = c.heartRate, .start = {9, 15, 0}})});
        Show(LocalTime(2026, 3, day), 1, 0);
        const std::string reading = std::to_string(c.heartRate);
        EXPECT_EQ(Text(kHeartRate), std::u16string(reading.begin(), reading.end()));
        EXPECT_EQ(Text(kEndTime), u"10:00:00");
        EXPECT_EQ(Text(kEffortText), c.verdict);
        UIStatic *picture =
            Panel() ? dynamic_cast<UIStatic *>(Panel()->GetDlgItem(static_cast<int>(kEffortPictureId)))
                    : nullptr;
        ASSERT_TRUE(picture);
        EXPECT_EQ(EffortColour(picture).rgb() & 0xFFFFFF, c.disc);
        ++day;
    }
}

TEST_F(RunDetailsTest, HeartRateLayoutOnADayWithoutRunsShowsMidnightAndZero)
{
    Store({MakeRun(Day(2026, 12, 1), Sums{.runDistance = 3000,
                                          .duration = 2000,
                                          .runSteps = 3100,
                                          .heartRateAfter = 150,
                                          .start = {20, 0, 0}})});
    // A day with a run first, so that nothing of its reading can show through.
    Show(LocalTime(2026, 12, 1), 1, 0);
    ASSERT_EQ(Text(kEndTime), u"20:33:20");
    Show(LocalTime(2026, 12, 2), 1, 0);
    EXPECT_EQ(Title(), u"December 2, 2026");
    EXPECT_EQ(Text(kEndTime), u"00:00:00");
    EXPECT_EQ(Text(kHeartRate), u"0");
    EXPECT_EQ(Text(CRect(31, 35, 81, 47)), u"Time");
    EXPECT_EQ(Text(CRect(150, 35, 210, 47)), u"Heart Rate");
    EXPECT_EQ(Text(CRect(250, 35, 300, 47)), u"Bpm");
    EXPECT_EQ(Text(kEffortText), u"You are not working hard enough, try harder");
    EXPECT_TRUE(At(CRect(11, 48, 276, 49)));
    EXPECT_TRUE(At(CRect(290, 30, 418, 86)));
    // None of the sums' labels.
    EXPECT_FALSE(HasCaption(u"Steps By"));
    EXPECT_FALSE(HasCaption(u"No. of runs"));
    EXPECT_FALSE(At(kRunSteps));
    // The sum texts of an earlier build are kept, not overwritten by a heart-rate build.
    Show(LocalTime(2026, 12, 1), 0, 0);
    Show(LocalTime(2026, 12, 2), 1, 0);
    EXPECT_EQ(dlg->m_strDetailRunSteps.str(), u"3100");
}

TEST_F(RunDetailsTest, AnEndTimePastMidnightIsTheTimeOfDay)
{
    struct Case
    {
        TimeParts start;
        uint32_t duration;
        const char16_t *end;
    };
    const Case cases[] = {
        {{23, 30, 0}, 6000, u"01:10:00"},
        {{23, 59, 59}, 1, u"00:00:00"},
        {{22, 0, 0}, 7199, u"23:59:59"},
        {{0, 0, 1}, 3 * 86400 + 5, u"00:00:06"},
    };
    int day = 1;
    for (const Case &c : cases)
    {
        SCOPED_TRACE(day);
        Store({MakeRun(Day(2026, 4, day),
                       Sums{.duration = c.duration, .heartRateAfter = 120, .start = c.start})});
        Show(LocalTime(2026, 4, day), 1, 0);
        EXPECT_EQ(Text(kEndTime), c.end);
        ++day;
    }
}

// ---- the page's controls -----------------------------------------------------------------------

TEST_F(RunDetailsTest, RebuildsReplaceThePanelAndKeepThePageControlCount)
{
    Store({MakeRun(Day(2026, 12, 9), Sums{.runDistance = 3000, .duration = 2000, .heartRateAfter = 150})});
    dlg->m_pCalendar->m_tSelected = LocalTime(2026, 12, 9);
    dlg->m_bHasHeartRate = TRUE;
    dlg->ShowRunsView();
    ASSERT_TRUE(Panel());
    const std::size_t dayCount = dlg->PageControlCount();
    const auto panels = [this] {
        int n = 0;
        for (std::size_t i = 0; i < dlg->PageControlCount(); ++i)
            n += dlg->PageControl(i) && dlg->PageControl(i)->GetDlgCtrlID() == static_cast<int>(kPanelId);
        return n;
    };
    for (int round = 0; round < 5; ++round)
    {
        SCOPED_TRACE(round);
        // A date picked on the calendar, and the measure and period buttons.
        CKVTDlg::CalendarDateCallback(CKVTDlg::kCalendarId, LocalTime(2026, 12, 9 - round));
        EXPECT_EQ(dlg->PageControlCount(), dayCount);
        CKVTDlg::OnGraphHeartRate();
        const std::size_t heartRateCount = dlg->PageControlCount();
        EXPECT_LT(heartRateCount, dayCount);
        CKVTDlg::OnGraphWeeks();
        EXPECT_EQ(dlg->PageControlCount(), dayCount + 2); // the number of runs and its label
        CKVTDlg::OnGraphDays();
        EXPECT_EQ(dlg->PageControlCount(), dayCount);
        dlg->UpdateRunDetails();
        EXPECT_EQ(dlg->PageControlCount(), dayCount);
        EXPECT_EQ(panels(), 1);
        // Every page control still has its window: none is a leftover of an old panel.
        for (std::size_t i = 0; i < dlg->PageControlCount(); ++i)
            EXPECT_TRUE(dlg->PageControl(i) && dlg->PageControl(i)->m_hWnd) << i;
    }
    vxtest::ProcessEvents();
    // Leaving the page deletes the panel with everything else.
    dlg->BeginPage(TRUE, 0);
    EXPECT_EQ(dlg->PageControlCount(), 0u);
    EXPECT_FALSE(Panel());
}
} // namespace

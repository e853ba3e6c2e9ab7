#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/sys/LocalTime.h"
#include "store/DateTime.h"
#include "store/KvtDatabase.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "platform/gdiplus/Gdiplus.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "ui/Calendar.h"
#include "ui/DataGraph.h"
#include "ui/GraphSettings.h"
#include "ui/UIButton.h"
#include "ui/UIStatic.h"

namespace
{
// The main dialog with the detail panel and the navigation bar replaced by records of the calls.
class RunsDlg : public CKVTDlg
{
  public:
    explicit RunsDlg(LANGID language) : CKVTDlg(language) {}

    int details = 0;
    std::vector<std::vector<BOOL>> bars;

    void UpdateRunDetails() override { ++details; }
    void BuildNavigationBar(BOOL home, BOOL device, BOOL runs, BOOL goal, BOOL unused, BOOL profile,
                            BOOL support) override
    {
        bars.push_back({home, device, runs, goal, unused, profile, support});
    }

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

RunRecord MakeRun(DateParts date, uint32_t runDistance, uint32_t walkDistance = 0, uint32_t duration = 1800,
              uint32_t calories = 250, uint8_t heartRateAfter = 150)
{
    RunRecord run{};
    run.date = date;
    run.time = TimeParts{9, 0, 0};
    run.duration = duration;
    run.runDistance = runDistance;
    run.walkDistance = walkDistance;
    run.calories = calories;
    run.heartRateBefore = heartRateAfter ? 70 : 0;
    run.heartRateAfter = heartRateAfter;
    return run;
}

// What the graph shows for a distance in metres, in kilometres.
float Km(uint32_t metres)
{
    return static_cast<float>(static_cast<double>(metres) * static_cast<double>(0.001f));
}

class RunsPageTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        vxsys::SetCurrentTimeSource([this] { return now; });
        dlg = std::make_unique<RunsDlg>(1033);
        ASSERT_TRUE(dlg->Create(CKVTDlg::kDialogTemplate, nullptr));
        app.m_pMainWnd = dlg.get();
        ASSERT_TRUE(dlg->m_pDatabase && dlg->m_pDatabase->IsOpen());
        dlg->m_bMetric = TRUE;
        for (int k = 0; k < 7; ++k)
            dlg->m_strDayNames[static_cast<std::size_t>(k)] = CString(std::u16string(kDays[k]));
        User(u"ann");
    }
    void TearDown() override
    {
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxsys::SetCurrentTimeSource({});
        vxtest::ProcessEvents();
    }

    // A new user of the store, logged in and named in the dialog.
    void User(const std::u16string &id)
    {
        const DateParts dob = {1, 2, 1980};
        ASSERT_EQ(dlg->m_pDatabase->AddUser(id.c_str(), u"pw", u"", u"", 1, &dob, 40, 170, 0, 60, 0), 1);
        ASSERT_EQ(dlg->m_pDatabase->Login(id.c_str(), u"pw"), 1);
        dlg->m_szUserId.fill(0);
        std::copy(id.begin(), id.end(), dlg->m_szUserId.begin());
    }
    void Store(const std::vector<RunRecord> &runs)
    {
        if (runs.empty())
            return;
        for (const RunRecord &run : runs)
            ASSERT_EQ(dlg->m_pDatabase->AddRun(&run), 1);
        ASSERT_EQ(dlg->m_pDatabase->Commit(), 1);
    }

    template <class T> T *Item(UINT id) const
    {
        return dynamic_cast<T *>(dlg->GetDlgItem(static_cast<int>(id)));
    }
    std::u16string Caption(UINT id) const
    {
        auto *label = Item<UIStatic>(id);
        return label ? std::u16string(label->GetText()) : u"<none>";
    }
    bool Enabled(UINT id) const
    {
        CWnd *item = dlg->GetDlgItem(static_cast<int>(id));
        return item && item->IsWindowEnabled();
    }
    void Click(UINT id)
    {
        CWnd *item = dlg->GetDlgItem(static_cast<int>(id));
        ASSERT_TRUE(item && item->GetWidget()) << id;
        QTest::mouseClick(item->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
    }

    const GraphSettings &Graph() const { return dlg->m_pRunGraph->GetLastSettings(); }
    std::vector<std::u16string> Labels(bool second = false) const
    {
        std::vector<std::u16string> labels;
        for (const GraphPoint &p : Graph().m_series.at(0).m_points)
            labels.push_back(second ? p.m_strSecondLabel.str() : p.m_strFirstLabel.str());
        return labels;
    }
    std::vector<float> Values(std::size_t series) const
    {
        std::vector<float> values;
        for (const GraphPoint &p : Graph().m_series.at(series).m_points)
            values.push_back(p.m_fValue);
        return values;
    }
    // A run on every day of the last two weeks up to today.
    void MakeStore()
    {
        std::vector<RunRecord> runs;
        for (int day = 1; day <= 10; ++day)
            runs.push_back(MakeRun(Day(2026, 12, day), 1000u * static_cast<uint32_t>(day)));
        for (int day = 20; day <= 30; ++day)
            runs.push_back(MakeRun(Day(2026, 11, day), 500u * static_cast<uint32_t>(day)));
        Store(runs);
    }

    // The graph built for a newest point, as a date pick leaves it.
    void BuildAt(int64_t anchor)
    {
        if (!dlg->m_pRunGraph)
            dlg->CreateRunGraph();
        dlg->m_tGraphAnchor = anchor;
        dlg->m_bResetGraphScroll = FALSE;
        dlg->BuildRunGraph();
    }

    static constexpr const char16_t *kDays[7] = {u"Su", u"Mo", u"Tu", u"We", u"Th", u"Fr", u"Sa"};
    vxtest::ScopedTimeZone zone{"Europe/Berlin"};
    std::string dataHome = vxtest::MakeTempDir("xdg");
    vxtest::ScopedEnv dataEnv{"XDG_DATA_HOME", dataHome.c_str()};
    std::string runtime = vxtest::MakeTempDir("run");
    vxtest::ScopedEnv runtimeEnv{"XDG_RUNTIME_DIR", runtime.c_str()};
    vxtest::FakeUlvexLibrary fake;
    CWinApp app;
    int64_t now = LocalTime(2026, 12, 10);
    std::unique_ptr<RunsDlg> dlg;
};

constexpr UINT kTotalLabels[] = {1051, 1052, 1053, 1054, 1055, 1056};

// ---- the page ----------------------------------------------------------------------------------

TEST_F(RunsPageTest, WithoutRunsDistanceOrTimeThePageSaysSorryNoDataAndNothingElse)
{
    struct Case
    {
        const char16_t *user;
        std::vector<RunRecord> runs;
    };
    const std::vector<Case> cases = {
        {u"none", {}},
        {u"nodistance", {MakeRun(Day(2026, 12, 1), 0, 0, 1800)}},
        {u"notime", {MakeRun(Day(2026, 12, 1), 4000, 0, 0)}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(std::string(c.user, c.user + std::char_traits<char16_t>::length(c.user)));
        User(c.user);
        Store(c.runs);
        dlg->ShowRunsView();
        EXPECT_EQ(Caption(1156), u"Sorry, no data!");
        EXPECT_EQ(dlg->m_nCurrentView, KvtView::Runs);
        EXPECT_FALSE(dlg->m_bIgnoreDeviceArrival);
        EXPECT_NE(Item<CWnd>(CKVTDlg::kCloseButtonId), nullptr);
        for (UINT id : kTotalLabels)
            EXPECT_EQ(Item<CWnd>(id), nullptr) << id;
        EXPECT_EQ(Item<CWnd>(1095), nullptr);
        EXPECT_EQ(dlg->m_pCalendar, nullptr);
        EXPECT_EQ(dlg->details, 0);
    }
}

TEST_F(RunsPageTest, AFailedTotalsReadAfterAGoodOneShowsNoDataNotTheOldTotals)
{
    Store({MakeRun(Day(2026, 12, 1), 4000, 500, 3725)});
    dlg->ShowRunsView();
    EXPECT_EQ(Caption(1052), u"1");
    EXPECT_EQ(Caption(1056), u"1Hr02Min05Sec");
    ASSERT_EQ(dlg->m_pDatabase->Logout(), 1);
    dlg->ShowRunsView();
    EXPECT_EQ(Caption(1156), u"Sorry, no data!");
    EXPECT_EQ(Item<CWnd>(1052), nullptr);
}

TEST_F(RunsPageTest, TotalsShowCountDistanceInTheUsersUnitAndTimeAndShrinkWhenLarge)
{
    struct Case
    {
        const char16_t *user;
        int runs;
        uint32_t distanceEach;
        uint32_t durationEach;
        BOOL metric;
        const char16_t *count, *distance, *time;
        int size;
    };
    const Case cases[] = {
        {u"a", 1, 12345, 3725, TRUE, u"1", u"12.3km", u"1Hr02Min05Sec", 16},
        {u"b", 1, 12345, 3725, FALSE, u"1", u"7.7miles", u"1Hr02Min05Sec", 16},
        {u"c", 999, 1, 1, TRUE, u"999", u"1.0km", u"0Hr16Min39Sec", 16},
        {u"d", 1000, 1, 1, TRUE, u"1000", u"1.0km", u"0Hr16Min40Sec", 14},
        {u"e", 1, 9999000, 60, TRUE, u"1", u"9999.0km", u"0Hr01Min00Sec", 16},
        {u"f", 1, 10000000, 60, TRUE, u"1", u"10000.0km", u"0Hr01Min00Sec", 14},
        {u"g", 1, 5, 3599999, TRUE, u"1", u"0.0km", u"999Hr59Min59Sec", 16},
        {u"h", 1, 5, 3600000, TRUE, u"1", u"0.0km", u"1000Hr00Min00Sec", 14},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.runs);
        User(c.user);
        std::vector<RunRecord> runs;
        for (int i = 0; i < c.runs; ++i)
            runs.push_back(MakeRun(Day(2026, 1 + i % 12, 1 + i % 28), c.distanceEach, 0, c.durationEach));
        Store(runs);
        dlg->m_bMetric = c.metric;
        dlg->ShowRunsView();
        EXPECT_EQ(Caption(1051), u"total \nruns:");
        EXPECT_EQ(Caption(1052), c.count);
        EXPECT_EQ(Caption(1054), c.distance);
        EXPECT_EQ(Caption(1056), c.time);
        for (UINT id : {1052u, 1054u, 1056u})
            EXPECT_EQ(Item<UIStatic>(id)->GetFontSize(), c.size) << id;
        EXPECT_EQ(Item<UIStatic>(1051)->GetFontSize(), 10);
    }
}

// Where a label's text ends: its left edge plus its widest line, measured in its own font.
int TextRight(CWnd &parent, UIStatic &label)
{
    CRect rect;
    label.GetWindowRect(&rect);
    parent.ScreenToClient(&rect);
    Gdiplus::Bitmap scratch(4, 4, Gdiplus::PixelFormat32bppARGB);
    Gdiplus::Graphics g(&scratch);
    Gdiplus::FontFamily family(u"Arial");
    Gdiplus::Font font(&family, static_cast<Gdiplus::REAL>(label.GetFontSize()), label.GetFontStyle(),
                       Gdiplus::UnitPixel);
    Gdiplus::StringFormat format;
    float widest = 0;
    const std::u16string text(label.GetText());
    std::size_t from = 0;
    while (from <= text.size())
    {
        const std::size_t end = std::min(text.find(u'\n', from), text.size());
        Gdiplus::RectF box;
        EXPECT_EQ(g.MeasureString(text.c_str() + from, static_cast<INT>(end - from), &font, Gdiplus::PointF(0, 0),
                                  &format, &box),
                  Gdiplus::Ok);
        widest = std::max(widest, box.Width);
        from = end + 1;
    }
    return rect.left + static_cast<int>(std::ceil(widest));
}

// The totals row's captions and values stand apart: the distance value after its caption's
// longest line, the time caption after the distance value, the time value after its caption, in
// each language, for metric and imperial users up to the largest distance shown at 16 pixels
// (9,999 km).
TEST_F(RunsPageTest, TheTotalsRowsTextsStandApart)
{
    const struct
    {
        LANGID language;
        BOOL metric;
        uint32_t metres;
    } cases[] = {
        {1033, TRUE, 61000},    {1031, TRUE, 61000},    {2052, TRUE, 61000},    {1028, TRUE, 61000},
        {1033, TRUE, 9999000},  {1033, FALSE, 9999000}, {2052, FALSE, 9999000}, {1028, FALSE, 9999000},
        {1031, TRUE, 9999000},  {1031, FALSE, 1609000},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(::testing::Message() << c.language << (c.metric ? " metric " : " imperial ") << c.metres);
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxtest::ProcessEvents();
        dlg = std::make_unique<RunsDlg>(c.language);
        ASSERT_TRUE(dlg->Create(CKVTDlg::kDialogTemplate, nullptr));
        app.m_pMainWnd = dlg.get();
        User(u"u" + std::u16string(1, static_cast<char16_t>(u'a' + (&c - cases))));
        Store({MakeRun(Day(2026, 12, 1), c.metres, 0, 3725)});
        dlg->m_bMetric = c.metric;
        dlg->ShowRunsView();
        for (auto [before, after] : {std::pair{1053u, 1054u}, std::pair{1054u, 1055u}, std::pair{1055u, 1056u}})
        {
            UIStatic *first = Item<UIStatic>(before), *second = Item<UIStatic>(after);
            ASSERT_TRUE(first && second);
            CRect rect;
            second->GetWindowRect(&rect);
            dlg->ScreenToClient(&rect);
            EXPECT_LT(TextRight(*dlg, *first), rect.left) << before << " runs into " << after;
        }
    }
}

// The Share with friend button takes its picture's size; the picture is as wide as the caption
// in every language, so the caption is drawn whole on one line, and it ends before Log Out.
TEST_F(RunsPageTest, TheShareButtonHoldsItsCaptionOnOneLine)
{
    int n = 0;
    for (LANGID language : {1033, 1031, 2052, 1028})
    {
        SCOPED_TRACE(language);
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxtest::ProcessEvents();
        dlg = std::make_unique<RunsDlg>(language);
        ASSERT_TRUE(dlg->Create(CKVTDlg::kDialogTemplate, nullptr));
        app.m_pMainWnd = dlg.get();
        User(u"s" + std::u16string(1, static_cast<char16_t>(u'a' + n++)));
        Store({MakeRun(Day(2026, 12, 1), 4000, 0, 1800)});
        dlg->ShowRunsView();
        auto *share = Item<UIButton>(1092);
        ASSERT_NE(share, nullptr);
        CRect button, logOut;
        share->GetWindowRect(&button);
        dlg->ScreenToClient(&button);
        Item<UIButton>(1093)->GetWindowRect(&logOut);
        dlg->ScreenToClient(&logOut);
        EXPECT_EQ(button.TopLeft(), CPoint(455, 436));
        EXPECT_EQ(button.Height(), 20);
        // Two pixels of the face on each side of the caption.
        EXPECT_LE(TextRight(*dlg, *share) + 2 + 2, button.right);
        EXPECT_LT(button.right, logOut.left);
    }
}

TEST_F(RunsPageTest, TheGoalLineShowsTargetPeriodAndWhatIsLeft)
{
    enum Kind
    {
        Distance,
        Time,
        Calories
    };
    struct Case
    {
        const char16_t *user;
        Kind kind;
        uint32_t target;
        BOOL metric;
        uint32_t doneDistance, doneSeconds, doneCalories;
        int days;
        const char16_t *line;
    };
    // The first goal stored in the file has id 0, and it is a goal like any other.
    const Case cases[] = {
        {u"g1", Distance, 5000, TRUE, 2340, 60, 10, 7, u"Goal:<5.0km/7days> 2.7km to go"},
        {u"g2", Distance, 5000, FALSE, 2340, 60, 10, 7, u"Goal:<3.1miles/7days> 1.7miles to go"},
        {u"g3", Distance, 5000, TRUE, 4950, 60, 10, 7, u"Goal:<5.0km/7days> less than 0.1km to go"},
        {u"g4", Distance, 5000, TRUE, 4900, 60, 10, 7, u"Goal:<5.0km/7days> 0.1km to go"},
        {u"g5", Distance, 5000, TRUE, 5200, 60, 10, 1, u"Goal:<5.0km/1day> Finished"},
        {u"g6", Time, 36000, TRUE, 100, 33600, 10, 14, u"Goal:<10hours/14days> less than 1hours to go"},
        {u"g7", Time, 36000, TRUE, 100, 36000, 10, 14, u"Goal:<10hours/14days> Finished"},
        {u"g8", Time, 36000, TRUE, 100, 28000, 10, 14, u"Goal:<10hours/14days> 2hours to go"},
        {u"g9", Calories, 1000, TRUE, 100, 60, 250, 28, u"Goal:<1000cal/28days> 750cal to go"},
        {u"g10", Calories, 1000, TRUE, 100, 60, 1000, 28, u"Goal:<1000cal/28days> Finished"},
    };
    bool first = true;
    for (const Case &c : cases)
    {
        SCOPED_TRACE(std::string(c.line, c.line + std::char_traits<char16_t>::length(c.line)));
        User(c.user);
        dlg->m_bMetric = c.metric;
        const DateParts start = Day(2026, 11, 1);
        const DateParts end = Day(2026, 11, 1 + c.days);
        const int added = c.kind == Distance ? dlg->m_pDatabase->AddDistanceGoal(c.target, 1, &start, &end)
                          : c.kind == Time   ? dlg->m_pDatabase->AddTimeGoal(c.target, &start, &end)
                                             : dlg->m_pDatabase->AddCaloriesGoal(c.target, &start, &end);
        ASSERT_EQ(added, 1);
        Store({MakeRun(Day(2026, 11, 1), c.doneDistance, 0, c.doneSeconds, c.doneCalories)});
        dlg->ShowRunsView();
        ASSERT_TRUE(dlg->m_GoalSummary.goal);
        if (first)
        {
            EXPECT_EQ(dlg->m_GoalSummary.goal->goalId, 0);
        }
        first = false;
        EXPECT_EQ(Caption(1157), c.line);
    }
}

TEST_F(RunsPageTest, NoGoalIsIdMinusOneAndAFailedGoalReadLeavesNothingOfTheLastOne)
{
    Store({MakeRun(Day(2026, 11, 2), 4000, 0, 1800)});
    dlg->ShowRunsView();
    ASSERT_TRUE(dlg->m_GoalSummary.goal);
    EXPECT_EQ(dlg->m_GoalSummary.goal->goalId, -1);
    EXPECT_EQ(Item<CWnd>(1157), nullptr);

    const DateParts start = Day(2026, 11, 1), end = Day(2026, 11, 8);
    ASSERT_EQ(dlg->m_pDatabase->AddDistanceGoal(5000, 1, &start, &end), 1);
    dlg->UpdateGoalSummary();
    EXPECT_EQ(dlg->m_GoalSummary.target, 5000u);
    EXPECT_EQ(dlg->m_GoalSummary.remaining, 1000u);
    EXPECT_EQ(dlg->m_GoalSummary.periodLength, 7u);

    ASSERT_EQ(dlg->m_pDatabase->Logout(), 1);
    dlg->UpdateGoalSummary();
    EXPECT_FALSE(dlg->m_GoalSummary.goal);
    EXPECT_EQ(dlg->m_GoalSummary.target, 0u);
    EXPECT_EQ(dlg->m_GoalSummary.remaining, 0u);
    EXPECT_EQ(dlg->m_GoalSummary.targetDistance, 0.0);
    EXPECT_EQ(dlg->m_GoalSummary.periodLength, 0u);
    EXPECT_EQ(dlg->m_GoalSummary.kind, 0u);
    EXPECT_EQ(dlg->m_GoalSummary.unitText.str(), u"km");
    EXPECT_TRUE(dlg->GoalLineText().IsEmpty());
}

TEST_F(RunsPageTest, TheGraphButtonsInForceAreDisabledAndHeartRateNeedsReadings)
{
    struct Case
    {
        int measure, period, form;
        bool heartRates;
        bool days, weeks, months, bars, lines, heart, calories;
    };
    const Case cases[] = {
        {0, 0, 0, true, false, true, true, false, true, true, true},
        {0, 1, 0, true, true, false, true, false, true, true, true},
        {0, 2, 1, true, true, true, false, true, false, true, true},
        {1, 0, 0, true, true, true, true, false, true, false, true},
        {2, 0, 1, true, true, true, true, true, false, true, false},
        {0, 0, 0, false, false, true, true, false, true, false, true},
    };
    int n = 0;
    for (const Case &c : cases)
    {
        SCOPED_TRACE(n);
        User(u"u" + std::u16string(1, static_cast<char16_t>(u'a' + n++)));
        Store({MakeRun(Day(2026, 12, 1), 4000, 0, 1800, 250, c.heartRates ? 150 : 0)});
        dlg->m_nGraphMeasure = c.measure;
        dlg->m_nGraphPeriod = c.period;
        dlg->m_nGraphForm = c.form;
        dlg->ShowRunsView();
        EXPECT_EQ(Enabled(1095), c.days);
        EXPECT_EQ(Enabled(1096), c.weeks);
        EXPECT_EQ(Enabled(1097), c.months);
        EXPECT_EQ(Enabled(1098), c.bars);
        EXPECT_EQ(Enabled(1099), c.lines);
        EXPECT_EQ(Enabled(1100), c.heart);
        EXPECT_EQ(Enabled(1101), c.calories);
        EXPECT_EQ(Caption(1095), u"days");
        EXPECT_EQ(Caption(1094), u"By:");
    }
}

TEST_F(RunsPageTest, ThePageAsksForTheBarWithMyRunsOffAndFillsTheDetailPanel)
{
    Store({MakeRun(Day(2026, 12, 1), 4000)});
    const std::u16string name = u"A name longer than twenty-two units";
    std::copy(name.begin(), name.end(), dlg->m_szFirstName.begin());
    dlg->ShowRunsView();
    ASSERT_EQ(dlg->bars.size(), 1u);
    EXPECT_EQ(dlg->bars[0], (std::vector<BOOL>{TRUE, FALSE, FALSE, TRUE, TRUE, TRUE, TRUE}));
    EXPECT_EQ(dlg->details, 1);
    EXPECT_EQ(std::u16string(dlg->m_pGreeting->GetText()), name);
    EXPECT_EQ(dlg->m_pGreeting->GetFontSize(), 14);
    ASSERT_TRUE(dlg->m_pCalendar);
    EXPECT_EQ(dlg->m_pCalendar->GetDlgCtrlID(), 1011);
    // The new chart starts with the calendar's date (today) as its newest, selected point.
    EXPECT_EQ(dlg->m_pRunGraph->GetSelectedPoint(), 6);
    EXPECT_EQ(dlg->m_tGraphAnchor, now);
    EXPECT_EQ(Labels().back(), u"10");
}

// ---- the graph ---------------------------------------------------------------------------------

TEST_F(RunsPageTest, EachMeasurePeriodAndFormHasItsPreset)
{
    using Maker = std::unique_ptr<GraphSettings> (*)(WORD);
    struct Case
    {
        int measure, period, form;
        Maker preset;
    };
    const Case cases[] = {
        {0, 0, 0, &GraphSettings::CreateTwoSeriesWeek},    {0, 1, 0, &GraphSettings::CreateTwoSeriesMonth},
        {0, 2, 0, &GraphSettings::CreateTwoSeriesYear},    {1, 0, 0, &GraphSettings::CreateHeartRate},
        {2, 0, 0, &GraphSettings::CreateCalories},         {0, 0, 1, &GraphSettings::CreateThreeSeriesWeek},
        {0, 1, 1, &GraphSettings::CreateThreeSeriesMonth}, {0, 2, 1, &GraphSettings::CreateThreeSeriesYear},
        {1, 0, 1, &GraphSettings::CreateHeartRateStyle1},  {2, 0, 1, &GraphSettings::CreateCaloriesStyle1},
        {1, 1, 0, &GraphSettings::CreateTwoSeriesWeek},    {2, 2, 1, &GraphSettings::CreateTwoSeriesWeek},
        {0, 0, 2, &GraphSettings::CreateTwoSeriesWeek},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.measure << c.period << c.form);
        dlg->m_nGraphMeasure = c.measure;
        dlg->m_nGraphPeriod = c.period;
        dlg->m_nGraphForm = c.form;
        BuildAt(now);
        const auto expected = c.preset(1033);
        ASSERT_EQ(Graph().m_series.size(), expected->m_series.size());
        for (std::size_t s = 0; s < expected->m_series.size(); ++s)
            EXPECT_EQ(Graph().m_series[s].m_points.size(), expected->m_series[s].m_points.size());
        EXPECT_EQ(Graph().m_nStyle, expected->m_nStyle);
        EXPECT_EQ(Graph().m_strTitle.str(), expected->m_strTitle.str());
        EXPECT_EQ(Graph().m_series[0].m_crColor, expected->m_series[0].m_crColor);
    }
}

TEST_F(RunsPageTest, DaySeriesCarryDayAndWeekdayLabelsAndTheDaysValues)
{
    std::vector<RunRecord> runs = {
        MakeRun(Day(2026, 12, 4), 4000, 500, 1800, 300, 140), MakeRun(Day(2026, 12, 4), 1000, 0, 600, 100, 120),
        MakeRun(Day(2026, 12, 6), 2500, 250, 900, 80, 160),   MakeRun(Day(2026, 12, 3), 9999, 9999, 60, 999, 99),
        MakeRun(Day(2026, 12, 11), 9999, 9999, 60, 999, 99)};
    runs[1].time = TimeParts{18, 0, 0};
    Store(runs);
    dlg->m_nGraphForm = 1;
    BuildAt(now);
    EXPECT_EQ(Labels(), (std::vector<std::u16string>{u"4", u"5", u"6", u"7", u"8", u"9", u"10"}));
    EXPECT_EQ(Labels(true), (std::vector<std::u16string>{u"Fr", u"Sa", u"Su", u"Mo", u"Tu", u"We", u"Th"}));
    EXPECT_EQ(Values(0), (std::vector<float>{Km(5000), 0, Km(2500), 0, 0, 0, 0}));
    EXPECT_EQ(Values(1), (std::vector<float>{Km(500), 0, Km(250), 0, 0, 0, 0}));
    EXPECT_EQ(Values(2), (std::vector<float>{Km(5500), 0, Km(2750), 0, 0, 0, 0}));
    EXPECT_EQ(Graph().m_strUnit.str(), u"km");

    dlg->m_bMetric = FALSE;
    dlg->m_nGraphForm = 0;
    BuildAt(now);
    ASSERT_EQ(Graph().m_series.size(), 2u);
    EXPECT_EQ(Values(0)[0], static_cast<float>(5000 * static_cast<double>(0.000621371192f)));
    EXPECT_EQ(Graph().m_strUnit.str(), u"Mil");

    dlg->m_nGraphMeasure = 2;
    BuildAt(now);
    EXPECT_EQ(Values(0), (std::vector<float>{400, 0, 80, 0, 0, 0, 0}));
    dlg->m_nGraphMeasure = 1;
    BuildAt(now);
    // The day's last run gives the heart rate.
    EXPECT_EQ(Values(0), (std::vector<float>{120, 0, 160, 0, 0, 0, 0}));
}

TEST_F(RunsPageTest, WithoutAStoreToReadEveryHeartRateAndCaloriesPointIsZero)
{
    Store({MakeRun(Day(2026, 12, 4), 4000, 500, 1800, 300, 140)});
    for (int measure : {1, 2})
    {
        dlg->m_nGraphMeasure = measure;
        BuildAt(now);
        EXPECT_NE(Values(0)[0], 0.0f);
    }
    ASSERT_EQ(dlg->m_pDatabase->Logout(), 1);
    for (int measure : {1, 2})
    {
        SCOPED_TRACE(measure);
        dlg->m_nGraphMeasure = measure;
        BuildAt(now);
        EXPECT_EQ(Values(0), std::vector<float>(7, 0.0f));
    }
}

TEST_F(RunsPageTest, AUserAgedFortyHasTheHeartRateZoneFrom90To153)
{
    dlg->m_nAge = 40;
    dlg->m_nGraphMeasure = 1;
    BuildAt(now);
    EXPECT_TRUE(Graph().m_bZone);
    EXPECT_EQ(Graph().m_fZoneUpper, 153.0f);
    EXPECT_EQ(Graph().m_fZoneLower, 90.0f);
    EXPECT_EQ(Graph().m_strZoneCaption.str(), u"Target HR Zone");
}

// The week's label and its data name the same seven days, and the store's number for them.
TEST_F(RunsPageTest, WeekLabelsAndDataAgreeAtYearEnds)
{
    struct Case
    {
        int64_t anchor;
        std::vector<std::u16string> days, weeks;
        std::vector<DateParts> mondays;
    };
    const Case cases[] = {
        {LocalTime(2010, 1, 3),
         {u"23-29", u"30-6", u"7-13", u"14-20", u"21-27", u"28-3"},
         {u"Week 48", u"Week 49", u"Week 50", u"Week 51", u"Week 52", u"Week 1"},
         {Day(2009, 11, 23), Day(2009, 11, 30), Day(2009, 12, 7), Day(2009, 12, 14), Day(2009, 12, 21),
          Day(2009, 12, 28)}},
        {LocalTime(2018, 12, 31),
         {u"26-2", u"3-9", u"10-16", u"17-23", u"24-30", u"31-6"},
         {u"Week 49", u"Week 50", u"Week 51", u"Week 52", u"Week 53", u"Week 1"},
         {Day(2018, 11, 26), Day(2018, 12, 3), Day(2018, 12, 10), Day(2018, 12, 17), Day(2018, 12, 24),
          Day(2018, 12, 31)}},
        {LocalTime(2024, 12, 30),
         {u"25-1", u"2-8", u"9-15", u"16-22", u"23-29", u"30-5"},
         {u"Week 49", u"Week 50", u"Week 51", u"Week 52", u"Week 53", u"Week 1"},
         {Day(2024, 11, 25), Day(2024, 12, 2), Day(2024, 12, 9), Day(2024, 12, 16), Day(2024, 12, 23),
          Day(2024, 12, 30)}},
    };
    int n = 0;
    for (const Case &c : cases)
    {
        SCOPED_TRACE(n);
        User(u"w" + std::u16string(1, static_cast<char16_t>(u'a' + n++)));
        // Each week gets its own distances on its Monday and its Sunday.
        std::vector<RunRecord> runs;
        for (std::size_t k = 0; k < c.mondays.size(); ++k)
        {
            const DateParts monday = c.mondays[k];
            const vxtime::CivilDate sunday =
                vxtime::CivilFromDays(vxtime::DaysFromCivil(monday.year, monday.month, monday.day) + 6);
            runs.push_back(MakeRun(monday, 1000 * static_cast<uint32_t>(k + 1)));
            runs.push_back(MakeRun(Day(static_cast<int>(sunday.year), static_cast<int>(sunday.month),
                                       static_cast<int>(sunday.day)),
                                   0, 100 * static_cast<uint32_t>(k + 1)));
        }
        Store(runs);
        dlg->m_nGraphPeriod = 1;
        dlg->m_nGraphForm = 1;
        BuildAt(c.anchor);
        EXPECT_EQ(Labels(), c.days);
        EXPECT_EQ(Labels(true), c.weeks);
        for (std::size_t k = 0; k < 6; ++k)
        {
            const auto w = static_cast<uint32_t>(k + 1);
            EXPECT_EQ(Values(0)[k], Km(1000 * w)) << k;
            EXPECT_EQ(Values(1)[k], Km(100 * w)) << k;
            EXPECT_EQ(Values(2)[k], Km(1100 * w)) << k;
        }
        // Weeks 1-52 are the store's own weeks.
        for (std::size_t k = 0; k < 6; ++k)
        {
            const int number = std::stoi(std::string(c.weeks[k].begin() + 5, c.weeks[k].end()));
            if (number == 53)
                continue;
            const int year = number == 1 ? c.mondays[5].year + (c.mondays[5].month == 12) : c.mondays[k].year;
            DateParts first{}, last{};
            ASSERT_EQ(KvtDatabase::GetWeekRange(year, number, &first, &last), 1);
            EXPECT_EQ(first.day, c.mondays[k].day) << k;
            EXPECT_EQ(first.month, c.mondays[k].month) << k;
        }
    }
}

TEST_F(RunsPageTest, AnchorOnASundayEndsTheNewestWeekThereOnAMondaySixDaysLater)
{
    dlg->m_nGraphPeriod = 1;
    BuildAt(LocalTime(2026, 12, 6));
    EXPECT_EQ(Labels().back(), u"30-6");
    BuildAt(LocalTime(2026, 12, 7));
    EXPECT_EQ(Labels().back(), u"7-13");
}

TEST_F(RunsPageTest, MonthLabelsRunAcrossTheYearAndTheMonthsSumsFollow)
{
    Store({MakeRun(Day(2026, 12, 31), 3000, 100), MakeRun(Day(2027, 1, 1), 2000, 0), MakeRun(Day(2027, 2, 28), 1000, 0),
           MakeRun(Day(2026, 2, 28), 9999, 0)});
    dlg->m_nGraphPeriod = 2;
    BuildAt(LocalTime(2027, 2, 15));
    EXPECT_EQ(Labels(), (std::vector<std::u16string>{u"Mar", u"Apr", u"May", u"Jun", u"Jul", u"Aug", u"Sep", u"Oct",
                                                     u"Nov", u"Dec", u"Jan", u"Feb"}));
    EXPECT_EQ(Labels(true), std::vector<std::u16string>(12));
    std::vector<float> run(12, 0.0f);
    run[9] = Km(3000);
    run[10] = Km(2000);
    run[11] = Km(1000);
    EXPECT_EQ(Values(0), run);
    EXPECT_EQ(Values(1)[9], Km(100));
}

TEST_F(RunsPageTest, AnAnchorBeforeTheEarliestWindowIsClampedAndThePointSelected)
{
    struct Case
    {
        int period;
        int64_t anchor;
        int64_t clamped;
        int selected;
    };
    const Case cases[] = {
        {0, LocalTime(1970, 3, 3), LocalTime(1970, 3, 7, 0), 2},
        {0, LocalTime(1970, 3, 6), LocalTime(1970, 3, 7, 0), 5},
        {0, 0, LocalTime(1970, 3, 7, 0), 6},
        {0, LocalTime(1970, 3, 7, 0), LocalTime(1970, 3, 7, 0), 4}, // not earlier: nothing changes
        {1, LocalTime(1970, 3, 16), LocalTime(1970, 3, 30, 0), 3},
        {1, LocalTime(1970, 3, 29), LocalTime(1970, 3, 30, 0), 4},
        {1, LocalTime(1970, 1, 10), LocalTime(1970, 3, 30, 0), 5},
        {2, LocalTime(1971, 1, 10), LocalTime(1971, 2, 1, 0), 10},
        {2, LocalTime(1970, 5, 10), LocalTime(1971, 2, 1, 0), 2},
        {2, LocalTime(1970, 2, 10), LocalTime(1971, 2, 1, 0), 4}, // left as it was
        {2, LocalTime(1970, 12, 31), LocalTime(1971, 2, 1, 0), 9},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.period << " " << c.anchor);
        dlg->m_nGraphPeriod = c.period;
        dlg->CreateRunGraph();
        dlg->m_pRunGraph->SetSelectedPoint(4);
        BuildAt(c.anchor);
        EXPECT_EQ(dlg->m_tGraphAnchor, c.clamped);
        EXPECT_EQ(dlg->m_pRunGraph->GetSelectedPoint(), c.selected);
    }
}

TEST_F(RunsPageTest, DaysAndWeeksStepOnTheCalendarAcrossDaylightSavingChanges)
{
    struct Case
    {
        int period;
        int64_t anchor;
        std::vector<std::u16string> labels;
    };
    const Case cases[] = {
        // Spring forward on 29 March 2026, autumn back on 25 October 2026.
        {0, LocalTime(2026, 3, 30, 0), {u"24", u"25", u"26", u"27", u"28", u"29", u"30"}},
        {0, LocalTime(2026, 10, 26, 23, 30), {u"20", u"21", u"22", u"23", u"24", u"25", u"26"}},
        {0, LocalTime(2026, 10, 25, 0), {u"19", u"20", u"21", u"22", u"23", u"24", u"25"}},
        {1, LocalTime(2026, 3, 30, 0), {u"23-1", u"2-8", u"9-15", u"16-22", u"23-29", u"30-5"}},
        {1, LocalTime(2026, 11, 1, 23, 30), {u"21-27", u"28-4", u"5-11", u"12-18", u"19-25", u"26-1"}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.period << " " << c.anchor);
        dlg->m_nGraphPeriod = c.period;
        BuildAt(c.anchor);
        EXPECT_EQ(Labels(), c.labels);
    }
}

// ---- the buttons -------------------------------------------------------------------------------

TEST_F(RunsPageTest, PeriodAndMeasureButtonsReanchorOnTheCalendarAndRefreshThePanel)
{
    Store({MakeRun(Day(2026, 12, 1), 4000, 0, 1800, 250, 150)});
    dlg->ShowRunsView();
    struct Case
    {
        UINT button;
        int measure, period, viewMode;
        std::size_t points;
    };
    const Case cases[] = {
        {1096, 0, 1, 1, 6}, {1097, 0, 2, 0, 12}, {1100, 1, 0, 0, 7}, {1101, 2, 0, 0, 7}, {1095, 0, 0, 0, 7},
    };
    const UINT group[] = {1095, 1096, 1097, 1100, 1101};
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.button);
        const int details = dlg->details;
        dlg->m_pCalendar->m_tSelected = LocalTime(2026, 11, 20);
        Click(c.button);
        EXPECT_EQ(dlg->m_nGraphMeasure, c.measure);
        EXPECT_EQ(dlg->m_nGraphPeriod, c.period);
        EXPECT_EQ(dlg->m_pCalendar->GetViewMode(), c.viewMode);
        EXPECT_EQ(dlg->details, details + 1);
        EXPECT_EQ(dlg->m_tGraphAnchor, LocalTime(2026, 11, 20));
        EXPECT_FALSE(dlg->m_bResetGraphScroll);
        ASSERT_EQ(Graph().m_series[0].m_points.size(), c.points);
        EXPECT_EQ(dlg->m_pRunGraph->GetSelectedPoint(), static_cast<int>(c.points) - 1);
        for (UINT id : group)
            EXPECT_EQ(Enabled(id), id != c.button) << id;
    }

    // Without heart-rate readings the heart button stays off whatever is clicked.
    User(u"nohr");
    Store({MakeRun(Day(2026, 12, 1), 4000, 0, 1800, 250, 0)});
    dlg->ShowRunsView();
    Click(1101);
    EXPECT_FALSE(Enabled(1100));
    EXPECT_TRUE(Enabled(1095));
}

TEST_F(RunsPageTest, SwitchingTheFormKeepsWindowAndSelectionAndLeavesThePanel)
{
    Store({MakeRun(Day(2026, 12, 8), 4000, 500)});
    dlg->ShowRunsView();
    dlg->m_pRunGraph->SetSelectedPoint(3);
    dlg->m_pCalendar->m_tSelected = LocalTime(2026, 11, 1);
    const int details = dlg->details;
    const int64_t anchor = dlg->m_tGraphAnchor;

    Click(1099);
    EXPECT_EQ(dlg->m_nGraphForm, 1);
    EXPECT_EQ(dlg->m_tGraphAnchor, anchor);
    EXPECT_EQ(dlg->m_pRunGraph->GetSelectedPoint(), 3);
    EXPECT_EQ(dlg->details, details);
    ASSERT_EQ(Graph().m_series.size(), 3u);
    EXPECT_EQ(Values(2)[4], Km(4500));
    EXPECT_FALSE(Enabled(1099));
    EXPECT_TRUE(Enabled(1098));

    Click(1098);
    EXPECT_EQ(dlg->m_nGraphForm, 0);
    EXPECT_EQ(Graph().m_series.size(), 2u);
    EXPECT_EQ(dlg->m_tGraphAnchor, anchor);
    EXPECT_TRUE(Enabled(1099));
    EXPECT_FALSE(Item<UIButton>(1099)->GetCheck());
}

// ---- log-out -----------------------------------------------------------------------------------

TEST_F(RunsPageTest, TheNextUserStartsOnTheFirstViewNotOnTheLastUsers)
{
    Store({MakeRun(Day(2026, 12, 1), 4000, 0, 1800, 250, 150)});
    dlg->ShowRunsView();
    Click(1097);
    Click(1099);
    dlg->m_pRunGraph->SetSelectedPoint(2);
    dlg->m_pCalendar->m_tSelected = LocalTime(2025, 5, 5);
    dlg->m_pCalendar->m_tShown = LocalTime(2025, 5, 5);
    ASSERT_EQ(dlg->m_nGraphPeriod, 2);
    ASSERT_EQ(dlg->m_nGraphForm, 1);

    dlg->ResetUserSession();
    EXPECT_EQ(dlg->m_nGraphMeasure, 0);
    EXPECT_EQ(dlg->m_nGraphPeriod, 0);
    EXPECT_EQ(dlg->m_nGraphForm, 0);
    EXPECT_EQ(dlg->m_tGraphAnchor, 0);
    EXPECT_EQ(dlg->m_pRunGraph->GetSelectedPoint(), -1);
    EXPECT_EQ(dlg->m_pCalendar->m_tSelected, now);
    EXPECT_EQ(dlg->m_pCalendar->m_tShown, now);
    EXPECT_EQ(dlg->m_pCalendar->GetViewMode(), 0);

    User(u"next");
    Store({MakeRun(Day(2026, 12, 2), 4000)});
    dlg->ShowRunsView();
    EXPECT_EQ(Graph().m_series[0].m_points.size(), 7u);
    EXPECT_EQ(dlg->m_tGraphAnchor, now);
    EXPECT_EQ(dlg->m_pRunGraph->GetSelectedPoint(), 6);
    EXPECT_FALSE(Enabled(1098));
}
} // namespace

namespace
{
// ---- the chart's and the calendar's messages ---------------------------------------------------

TEST_F(RunsPageTest, ADatePickedOnTheCalendarBecomesTheNewestSelectedPoint)
{
    MakeStore();
    dlg->ShowRunsView();
    const int details = dlg->details;
    dlg->m_pRunGraph->SetSelectedPoint(2);
    dlg->m_pCalendar->m_tSelected = LocalTime(2026, 11, 3);
    CKVTDlg::CalendarDateCallback(CKVTDlg::kCalendarId, dlg->m_pCalendar->m_tSelected);
    EXPECT_EQ(dlg->m_tGraphAnchor, LocalTime(2026, 11, 3));
    EXPECT_EQ(dlg->m_pRunGraph->GetSelectedPoint(), 6);
    EXPECT_EQ(Labels().back(), u"3");
    EXPECT_EQ(dlg->details, details + 1);
}

TEST_F(RunsPageTest, APointPickedOnTheChartMovesTheCalendarAndKeepsTheWindow)
{
    MakeStore();
    dlg->ShowRunsView();
    const int details = dlg->details;
    const Gdiplus::RectF point = dlg->m_pRunGraph->GetPointRect(3, 0);
    ASSERT_GT(point.Width, 0.0f);
    QTest::mouseClick(dlg->m_pRunGraph->GetWidget(), Qt::LeftButton, {},
                      QPoint(static_cast<int>(point.X + point.Width / 2), static_cast<int>(point.Y + point.Height / 2)));
    EXPECT_EQ(dlg->m_pRunGraph->GetSelectedPoint(), 3);
    EXPECT_EQ(dlg->m_pCalendar->m_tSelected, LocalTime(2026, 12, 7));
    EXPECT_EQ(dlg->m_tGraphAnchor, now);
    EXPECT_EQ(Labels().back(), u"10");
    EXPECT_EQ(dlg->details, details + 1);
}
} // namespace

namespace
{
TEST_F(RunsPageTest, TheTitleShowsTheFirstNameOrTheUserIdAsStoredAndSizesByLength)
{
    Store({MakeRun(Day(2026, 12, 1), 4000)});
    struct Case
    {
        std::u16string first;
        std::u16string shown;
        int size;
    };
    const std::u16string full(CKVTDlg::kTextSize, u'x');
    const Case cases[] = {
        {u"", u"ann", 18},
        {u"O'Neil \"Q\" %s%d", u"O'Neil \"Q\" %s%d", 18},
        {std::u16string(u"a\xD800" u"b"), std::u16string(u"a\xD800" u"b"), 18},
        {std::u16string(u"ab\0cd", 5), u"ab", 18},
        {std::u16string(18, u'n'), std::u16string(18, u'n'), 16},
        {std::u16string(45, u'n'), std::u16string(45, u'n'), 12},
        // A buffer without its closing zero is read no further than its own end; the label keeps
        // as much as it holds.
        {full, full.substr(0, UIStatic::kMaxText), 12},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.shown.size());
        dlg->m_pGreeting->SetFontSize(18);
        dlg->m_szFirstName.fill(0);
        std::copy(c.first.begin(), c.first.end(), dlg->m_szFirstName.begin());
        dlg->ShowRunsView();
        EXPECT_EQ(std::u16string(dlg->m_pGreeting->GetText()), c.shown);
        EXPECT_EQ(dlg->m_pGreeting->GetFontSize(), c.size);
    }
}
} // namespace

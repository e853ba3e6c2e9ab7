#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QTest>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/sys/LocalTime.h"
#include "store/KvtDatabase.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "ui/UIButton.h"
#include "ui/UIStatic.h"

namespace
{
// The main dialog with the navigation bar and the log-out confirmation replaced by records of the calls.
class HomeDlg : public CKVTDlg
{
  public:
    explicit HomeDlg(LANGID language) : CKVTDlg(language) {}

    std::vector<std::vector<BOOL>> bars;
    int logOutConfirmations = 0;

    void BuildNavigationBar(BOOL home, BOOL device, BOOL runs, BOOL goal, BOOL unused, BOOL profile,
                            BOOL support) override
    {
        bars.push_back({home, device, runs, goal, unused, profile, support});
    }
    void ShowLogOutConfirmView() override { ++logOutConfirmations; }

  protected:
    std::shared_ptr<UlvexDevice> CreateDeviceWrapper() override
    {
        return std::make_shared<UlvexDevice>(vxtest::FakeUlvexPath());
    }
};

int64_t LocalTime(int year, int month, int day, int hour = 12)
{
    int64_t t = 0;
    EXPECT_TRUE(vxsys::LocalTimeFromFields({year, month, day, hour, 0, 0, 0}, &t));
    return t;
}

DateParts Day(int year, int month, int day)
{
    return DateParts{static_cast<uint8_t>(day), static_cast<uint8_t>(month), static_cast<uint16_t>(year)};
}

RunRecord MakeRun(DateParts date, uint32_t distance, uint32_t duration, uint32_t calories = 250)
{
    RunRecord run{};
    run.date = date;
    run.time = TimeParts{9, 0, 0};
    run.duration = duration;
    run.runDistance = distance;
    run.calories = calories;
    return run;
}

enum class Kind
{
    Distance,
    Time,
    Calories
};

// Every control the totals and the goal block may add.
constexpr UINT kTotalsIds[] = {1051, 1052, 1053, 1054, 1055, 1056};
constexpr UINT kGoalIds[] = {1050, 1057, 1059, 1060, 1061};

class HomePageTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        vxsys::SetCurrentTimeSource([this] { return now; });
        dlg = std::make_unique<HomeDlg>(1033);
        ASSERT_TRUE(dlg->Create(CKVTDlg::kDialogTemplate, nullptr));
        app.m_pMainWnd = dlg.get();
        ASSERT_TRUE(dlg->m_pDatabase && dlg->m_pDatabase->IsOpen());
        dlg->m_bMetric = TRUE;
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
        dlg->m_szDisplayName.fill(0);
        std::copy(id.begin(), id.end(), dlg->m_szUserId.begin());
        dlg->m_bLoggedIn = TRUE;
    }
    void Store(const std::vector<RunRecord> &runs)
    {
        for (const RunRecord &run : runs)
            ASSERT_EQ(dlg->m_pDatabase->AddRun(&run), 1);
        ASSERT_EQ(dlg->m_pDatabase->Commit(), 1);
    }
    void Goal(Kind kind, uint32_t target, DateParts start, DateParts end)
    {
        const int added = kind == Kind::Distance ? dlg->m_pDatabase->AddDistanceGoal(target, 1, &start, &end)
                          : kind == Kind::Time   ? dlg->m_pDatabase->AddTimeGoal(target, &start, &end)
                                                 : dlg->m_pDatabase->AddCaloriesGoal(target, &start, &end);
        ASSERT_EQ(added, 1);
    }

    template <class T> T *Item(UINT id) const
    {
        return dynamic_cast<T *>(dlg->GetDlgItem(static_cast<int>(id)));
    }
    bool Has(UINT id) const { return dlg->GetDlgItem(static_cast<int>(id)) != nullptr; }
    std::u16string Caption(UINT id) const
    {
        auto *label = Item<UIStatic>(id);
        return label ? std::u16string(label->GetText()) : u"<none>";
    }
    CRect RectOf(UINT id) const
    {
        CRect rect;
        CWnd *item = dlg->GetDlgItem(static_cast<int>(id));
        if (!item)
            return rect;
        item->GetWindowRect(&rect);
        dlg->ScreenToClient(&rect);
        return rect;
    }

    vxtest::ScopedTimeZone zone{"Europe/Berlin"};
    std::string dataHome = vxtest::MakeTempDir("xdg");
    vxtest::ScopedEnv dataEnv{"XDG_DATA_HOME", dataHome.c_str()};
    std::string runtime = vxtest::MakeTempDir("run");
    vxtest::ScopedEnv runtimeEnv{"XDG_RUNTIME_DIR", runtime.c_str()};
    vxtest::FakeUlvexLibrary fake;
    CWinApp app;
    int64_t now = LocalTime(2026, 12, 10);
    std::unique_ptr<HomeDlg> dlg;
};

// ---- what the page shows -----------------------------------------------------------------------

TEST_F(HomePageTest, TheTotalsShowWithRunsOrAGoalAndTheGoalBlockOnlyWithAGoal)
{
    struct Case
    {
        const char16_t *user;
        bool runs;
        bool goal;
        BOOL metric;
        const char16_t *count, *distance, *time;
    };
    const Case cases[] = {
        {u"new", false, false, TRUE, nullptr, nullptr, nullptr},
        {u"goal only", false, true, TRUE, u"0", u"0.0km", u"0Hr00Min00Sec"},
        {u"goal only, miles", false, true, FALSE, u"0", u"0.0miles", u"0Hr00Min00Sec"},
        {u"runs only", true, false, TRUE, u"2", u"5.5km", u"1Hr02Min05Sec"},
        {u"runs only, miles", true, false, FALSE, u"2", u"3.4miles", u"1Hr02Min05Sec"},
        {u"both", true, true, TRUE, u"2", u"5.5km", u"1Hr02Min05Sec"},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(std::string(c.user, c.user + std::char_traits<char16_t>::length(c.user)));
        User(c.user);
        dlg->m_bMetric = c.metric;
        if (c.runs)
            Store({MakeRun(Day(2026, 11, 2), 5000, 3000), MakeRun(Day(2026, 11, 3), 500, 725)});
        if (c.goal)
            Goal(Kind::Distance, 20000, Day(2026, 11, 1), Day(2026, 12, 31));
        dlg->ShowHomeView();

        // Always: the greeting, both pictures and both lines.
        EXPECT_EQ(Caption(1046), c.user);
        for (UINT id : {1047u, 1008u, 1048u, 1049u})
            EXPECT_TRUE(Has(id)) << id;
        for (UINT id : kTotalsIds)
            EXPECT_EQ(Has(id), c.count != nullptr) << id;
        for (UINT id : kGoalIds)
            EXPECT_EQ(Has(id), c.goal) << id;
        if (c.count)
        {
            EXPECT_EQ(Caption(1051), u"total \nruns:");
            EXPECT_EQ(Caption(1053), u"total \ndistance:");
            EXPECT_EQ(Caption(1055), u"total \ntime:");
            EXPECT_EQ(Caption(1052), c.count);
            EXPECT_EQ(Caption(1054), c.distance);
            EXPECT_EQ(Caption(1056), c.time);
            for (UINT id : {1052u, 1054u, 1056u})
                EXPECT_EQ(Item<UIStatic>(id)->GetFontSize(), 16) << id;
            EXPECT_TRUE(Item<UIStatic>(1051)->IsMultiLine());
            EXPECT_EQ(Item<UIStatic>(1051)->GetFontSize(), 10);
        }
        if (c.goal)
        {
            EXPECT_EQ(Caption(1059), u"Goal:");
            EXPECT_EQ(RectOf(1050), CRect(220, 208, 670, 209));
        }
    }
}

TEST_F(HomePageTest, LargeTotalsTakeTheSmallerSize)
{
    struct Case
    {
        const char16_t *user;
        uint32_t distance, duration;
        const char16_t *distanceText, *time;
        int size;
    };
    const Case cases[] = {
        {u"a", 9999000, 3599999, u"9999.0km", u"999Hr59Min59Sec", 16},
        {u"b", 9999001, 60, u"9999.0km", u"0Hr01Min00Sec", 14},
        {u"c", 1000, 3600000, u"1.0km", u"1000Hr00Min00Sec", 14},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(std::string(c.user, c.user + 1));
        User(c.user);
        Store({MakeRun(Day(2026, 11, 2), c.distance, c.duration)});
        dlg->ShowHomeView();
        EXPECT_EQ(Caption(1054), c.distanceText);
        EXPECT_EQ(Caption(1056), c.time);
        for (UINT id : {1052u, 1054u, 1056u})
            EXPECT_EQ(Item<UIStatic>(id)->GetFontSize(), c.size) << id;
    }
}

TEST_F(HomePageTest, LifetimeTotalsBeyond32BitsShowInFull)
{
    struct Case
    {
        const char16_t *user;
        uint32_t distanceEach, durationEach;
        int runs;
        const char16_t *distanceText, *time;
    };
    const Case cases[] = {
        {u"a", 2000000000u, 60, 3, u"6000000.0km", u"0Hr03Min00Sec"},
        {u"b", 2147483648u, 60, 2, u"4294967.3km", u"0Hr02Min00Sec"},
        {u"c", 1000, 2147483648u, 2, u"2.0km", u"1193046Hr28Min16Sec"},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(std::string(c.user, c.user + 1));
        User(c.user);
        Store(std::vector<RunRecord>(static_cast<std::size_t>(c.runs),
                                     MakeRun(Day(2026, 11, 2), c.distanceEach, c.durationEach)));
        dlg->ShowHomeView();
        EXPECT_EQ(Caption(1054), c.distanceText);
        EXPECT_EQ(Caption(1056), c.time);
        for (UINT id : {1054u, 1056u})
            EXPECT_EQ(Item<UIStatic>(id)->GetFontSize(), 14) << id;
    }
}

TEST_F(HomePageTest, ThousandRunsTakeTheSmallerSize)
{
    std::vector<RunRecord> runs;
    for (int i = 0; i < 1000; ++i)
        runs.push_back(MakeRun(Day(2020 + i / 336, 1 + i / 28 % 12, 1 + i % 28), 10, 10));
    Store(runs);
    dlg->ShowHomeView();
    EXPECT_EQ(Caption(1052), u"1000");
    EXPECT_EQ(Item<UIStatic>(1052)->GetFontSize(), 14);
}

TEST_F(HomePageTest, TheGreetingIsTheDisplayNameOrTheIdInASizeByItsLength)
{
    struct Case
    {
        std::size_t length;
        int size;
    };
    const Case cases[] = {{1, 18},  {44, 18}, {45, 16}, {49, 16}, {50, 14},
                          {54, 14}, {55, 12}, {64, 12}, {65, 10}, {200, 10}};
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.length);
        // Quotes and an unpaired surrogate are shown as they are; each counts as one unit.
        std::u16string name = u"O'Neil \"Jo\" \xD800";
        name.resize(c.length, u'x');
        dlg->m_szDisplayName.fill(0);
        std::copy(name.begin(), name.end(), dlg->m_szDisplayName.begin());
        dlg->ShowHomeView();
        EXPECT_EQ(Caption(1046), name);
        auto *greeting = Item<UIStatic>(1046);
        ASSERT_TRUE(greeting);
        EXPECT_EQ(greeting->GetFontSize(), c.size);
        EXPECT_EQ(greeting->GetFontStyle(), 1);
        EXPECT_EQ(RectOf(1046), CRect(220, 100, 670, 122));
    }
    // Without a display name the user id greets.
    dlg->m_szDisplayName.fill(0);
    dlg->ShowHomeView();
    EXPECT_EQ(Caption(1046), u"ann");
    EXPECT_EQ(Item<UIStatic>(1046)->GetFontSize(), 18);
}

TEST_F(HomePageTest, ThePageTitleStateBarAndButtons)
{
    dlg->m_bIgnoreDeviceArrival = TRUE;
    dlg->m_nCurrentView = KvtView::Runs;
    for (const auto &[flag, imported] : {std::pair{1u, TRUE}, std::pair{0u, TRUE}, std::pair{1u, FALSE}})
    {
        dlg->bars.clear();
        dlg->m_nDeviceTableFlag = flag;
        dlg->m_bImported = imported;
        dlg->ShowHomeView();
        ASSERT_EQ(dlg->bars.size(), 1u);
        const BOOL device = flag && imported ? TRUE : FALSE;
        EXPECT_EQ(dlg->bars[0], (std::vector<BOOL>{FALSE, device, TRUE, TRUE, TRUE, TRUE, TRUE}));
    }
    EXPECT_EQ(dlg->m_nCurrentView, KvtView::Home);
    EXPECT_EQ(dlg->m_bIgnoreDeviceArrival, FALSE);
    EXPECT_EQ(std::u16string(dlg->m_pGreeting->GetText()), u"Welcome!");
    EXPECT_EQ(dlg->m_pGreeting->GetFontSize(), 18);
    ASSERT_TRUE(Has(CKVTDlg::kCloseButtonId));
    auto *logOut = Item<UIButton>(1093);
    ASSERT_TRUE(logOut);
    EXPECT_EQ(Caption(1093), u"Log Out");
    QTest::mouseClick(logOut->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
    vxtest::ProcessEvents();
    EXPECT_EQ(dlg->logOutConfirmations, 1);
}

// ---- the goal block ----------------------------------------------------------------------------

TEST_F(HomePageTest, TheGoalBlockShowsTargetProgressAndWhatIsLeft)
{
    struct Case
    {
        const char16_t *user;
        Kind kind;
        uint32_t target;
        BOOL metric;
        uint32_t doneDistance, doneSeconds, doneCalories;
        const char16_t *targetText, *status;
        int marker; // -1: the reached look
    };
    // Runs of 1 November count for goals of 1 to 29 November; today is 10 December.
    const Case cases[] = {
        {u"g1", Kind::Distance, 5000, TRUE, 2340, 60, 10, u"5.0km 28days", u"2.7km to go", 75},
        {u"g2", Kind::Distance, 5000, FALSE, 2340, 60, 10, u"3.1miles 28days", u"1.7miles to go", 75},
        {u"g3", Kind::Distance, 5000, TRUE, 4950, 60, 10, u"5.0km 28days", u"less than 0.1km to go", 160},
        {u"g4", Kind::Distance, 5000, TRUE, 4900, 60, 10, u"5.0km 28days", u"0.1km to go", 158},
        {u"g5", Kind::Distance, 5000, TRUE, 0, 60, 10, u"5.0km 28days", u"5.0km to go", 0},
        {u"g6", Kind::Distance, 5000, TRUE, 5200, 60, 10, u"5.0km 28days", u"Finished", -1},
        {u"g7", Kind::Time, 36000, TRUE, 100, 33600, 10, u"10hours 28days", u"less than 1hours to go", 100},
        {u"g8", Kind::Time, 36000, TRUE, 100, 18000, 10, u"10hours 28days", u"5hours to go", 81},
        {u"g9", Kind::Time, 36000, TRUE, 100, 36000, 10, u"10hours 28days", u"Finished", -1},
        {u"g10", Kind::Calories, 1000, TRUE, 100, 60, 250, u"1000cal 28days", u"750cal to go", 40},
        {u"g11", Kind::Calories, 1000, TRUE, 100, 60, 1000, u"1000cal 28days", u"Finished", -1},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(std::string(c.status, c.status + std::char_traits<char16_t>::length(c.status)));
        User(c.user);
        dlg->m_bMetric = c.metric;
        Goal(c.kind, c.target, Day(2026, 11, 1), Day(2026, 11, 29));
        Store({MakeRun(Day(2026, 11, 1), c.doneDistance, c.doneSeconds, c.doneCalories)});
        dlg->ShowHomeView();
        EXPECT_EQ(Caption(1060), c.targetText);
        EXPECT_EQ(Caption(1061), c.status);
        auto *status = Item<UIStatic>(1061);
        ASSERT_TRUE(status);
        EXPECT_EQ(status->GetFontSize(), 10);
        const bool reached = c.marker < 0;
        EXPECT_EQ(Has(1058), reached);
        EXPECT_EQ(Has(1161), !reached);
        if (reached)
        {
            EXPECT_EQ(RectOf(1057), CRect(220, 174, 638, 197));
            EXPECT_EQ(RectOf(1058), CRect(612, 165, 625, 180));
            EXPECT_EQ(status->GetCurrentTextColor(), 0xFF007CC3u);
            EXPECT_FALSE(Has(1160)); // a reached goal is never "Not Finished"
        }
        else
        {
            EXPECT_EQ(RectOf(1057), CRect(224, 174, 642, 197));
            EXPECT_EQ(RectOf(1161), CRect(454 + c.marker, 170, 467 + c.marker, 185));
            EXPECT_EQ(status->GetCurrentTextColor(), 0xFFDA251Du);
        }
    }
}

TEST_F(HomePageTest, AnUnreachedGoalWhoseLastDateHasComeIsNotFinished)
{
    struct Case
    {
        const char16_t *user;
        DateParts end;
        bool notFinished;
    };
    const Case cases[] = {
        {u"past", Day(2026, 12, 9), true},
        {u"today", Day(2026, 12, 10), true},
        {u"tomorrow", Day(2026, 12, 11), false},
        {u"next year", Day(2027, 1, 1), false},
        {u"last year, later month", Day(2025, 12, 31), true},
        {u"earlier month, later day", Day(2026, 11, 30), true},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(std::string(c.user, c.user + std::char_traits<char16_t>::length(c.user)));
        User(c.user);
        Goal(Kind::Distance, 5000, Day(2025, 11, 1), c.end);
        dlg->ShowHomeView();
        EXPECT_EQ(Has(1160), c.notFinished);
        if (c.notFinished)
        {
            EXPECT_EQ(Caption(1160), u"Not Finished");
            EXPECT_EQ(RectOf(1160), CRect(246, 160, 366, 172));
            EXPECT_EQ(Item<UIStatic>(1160)->GetCurrentTextColor(), 0xFFDA251Du);
            EXPECT_EQ(Item<UIStatic>(1160)->GetFontSize(), 10);
        }
    }
}

TEST_F(HomePageTest, TheMarkerFollowsTheShareDoneWhileSomethingOfTheTargetIsLeft)
{
    struct Case
    {
        uint32_t target, remaining;
        int offset;
    };
    const Case cases[] = {
        {5000, 5000, 0}, {5000, 2500, 81}, {5000, 2660, 75},     {5000, 1, 161},
        {3, 2, 54},      {3, 1, 108},      {5000, 0, 100},       {5000, 5001, 100},
        {0, 0, 100},     {0, 1, 100},      {UINT32_MAX, 1, 161}, {UINT32_MAX, UINT32_MAX, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CKVTDlg::GoalMarkerOffset(c.target, c.remaining), c.offset)
            << c.target << " " << c.remaining;
}

TEST_F(HomePageTest, AGoalWithoutATargetShowsNoGoalBlock)
{
    // A time goal under an hour has a target of 0 whole hours.
    Goal(Kind::Time, 1800, Day(2026, 11, 1), Day(2026, 12, 31));
    dlg->ShowHomeView();
    for (UINT id : kGoalIds)
        EXPECT_FALSE(Has(id)) << id;
    for (UINT id : kTotalsIds)
        EXPECT_FALSE(Has(id)) << id;
}

// ---- the totals are read afresh ----------------------------------------------------------------

TEST_F(HomePageTest, AFailedTotalsReadShowsNothingOfTheReadBefore)
{
    Store({MakeRun(Day(2026, 11, 2), 5000, 3000), MakeRun(Day(2026, 11, 3), 500, 725)});
    dlg->ShowHomeView();
    ASSERT_EQ(Caption(1052), u"2");
    EXPECT_EQ(dlg->m_nRunCount, 2u);

    // The store can no longer read the user's runs.
    ASSERT_EQ(dlg->m_pDatabase->Logout(), 1);
    dlg->ShowHomeView();
    EXPECT_EQ(dlg->m_nRunCount, 0u);
    EXPECT_EQ(dlg->m_nTotalDistance, 0u);
    EXPECT_EQ(dlg->m_nTotalDuration, 0u);
    for (UINT id : kTotalsIds)
        EXPECT_FALSE(Has(id)) << id;

    // My Runs reads into the same totals: it too says it has nothing.
    ASSERT_EQ(dlg->m_pDatabase->Login(u"ann", u"pw"), 1);
    dlg->ShowHomeView();
    ASSERT_EQ(dlg->m_nRunCount, 2u);
    ASSERT_EQ(dlg->m_pDatabase->Logout(), 1);
    dlg->ShowRunsView();
    EXPECT_EQ(dlg->m_nRunCount, 0u);
    EXPECT_EQ(Caption(1156), u"Sorry, no data!");
}
} // namespace

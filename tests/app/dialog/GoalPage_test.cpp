#include "app/KVTDlg.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QTest>
#include <string>
#include <vector>

#include "platform/sys/LocalTime.h"
#include "store/KvtDatabase.h"
#include "store/PackedDate.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "ui/UIButton.h"
#include "ui/UIEdit.h"
#include "ui/UIListBox.h"
#include "ui/UIStatic.h"

namespace
{
// The main dialog with the navigation bar recorded and the goal buffer able to fail.
class GoalDlg : public CKVTDlg
{
  public:
    explicit GoalDlg(LANGID language) : CKVTDlg(language) {}

    std::vector<std::vector<BOOL>> bars;
    bool noMemory = false;

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
    bool AllocateGoalRecords(std::vector<GoalRecord> *records, std::size_t count) override
    {
        return !noMemory && CKVTDlg::AllocateGoalRecords(records, count);
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

std::string Str(const DateParts &d)
{
    return std::to_string(d.year) + "-" + std::to_string(d.month) + "-" + std::to_string(d.day);
}

enum Kind
{
    Distance,
    Time,
    Calories
};
enum Period
{
    Days,
    Weeks,
    Months
};

// What the user puts into the form.
struct Entry
{
    Kind kind = Distance;
    const char16_t *value = u"5";
    const char16_t *day = u"10";
    const char16_t *month = u"12";
    const char16_t *year = u"26";
    Period period = Days;
    const char16_t *count = u"7";
};

class GoalPageTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        vxsys::SetCurrentTimeSource([this] { return now; });
        dlg = std::make_unique<GoalDlg>(1033);
        ASSERT_TRUE(dlg->Create(CKVTDlg::kDialogTemplate, nullptr));
        app.m_pMainWnd = dlg.get();
        ASSERT_TRUE(dlg->m_pDatabase && dlg->m_pDatabase->IsOpen());
        dlg->m_bMetric = TRUE;
        User(u"ann");
    }
    void TearDown() override
    {
        vxwin::SetMessageBoxHook({});
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxsys::SetCurrentTimeSource({});
        vxtest::ProcessEvents();
    }

    void User(const std::u16string &id)
    {
        const DateParts dob = {1, 2, 1980};
        ASSERT_EQ(dlg->m_pDatabase->AddUser(id.c_str(), u"pw", u"", u"", 1, &dob, 40, 170, 0, 60, 0), 1);
        ASSERT_EQ(dlg->m_pDatabase->Login(id.c_str(), u"pw"), 1);
        dlg->m_szUserId.fill(0);
        std::copy(id.begin(), id.end(), dlg->m_szUserId.begin());
    }
    // A statement on the store's file through a connection of its own.
    void Sql(const char *statement)
    {
        sqlite3 *other = nullptr;
        const std::string file = dataHome + "/Vormatik/KVTDB_NB.dat";
        ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
        char *error = nullptr;
        EXPECT_EQ(sqlite3_exec(other, statement, nullptr, nullptr, &error), SQLITE_OK)
            << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(other);
    }
    // The goal deletions of the store fail from now on.
    void RefuseDeletions()
    {
        Sql("CREATE TRIGGER keep BEFORE DELETE ON Goal BEGIN SELECT RAISE(ABORT, 'kept'); END");
    }

    std::vector<GoalRecord> StoredGoals() const
    {
        const int count = dlg->m_pDatabase->GetGoals(nullptr, 0);
        std::vector<GoalRecord> goals(count > 0 ? static_cast<std::size_t>(count) : 0);
        if (count > 0)
            goals.resize(static_cast<std::size_t>(dlg->m_pDatabase->GetGoals(goals.data(), count)));
        return goals;
    }
    std::vector<int> StoredIds() const
    {
        std::vector<int> ids;
        for (const GoalRecord &g : StoredGoals())
            ids.push_back(g.goalId);
        return ids;
    }

    template <class T> T *Item(UINT id) const
    {
        return dynamic_cast<T *>(dlg->GetDlgItem(static_cast<int>(id)));
    }
    UIListBox *List() const { return Item<UIListBox>(1183); }
    std::vector<int> ListedIds() const
    {
        std::vector<int> ids;
        for (int n = 0; List() && n < List()->GetCount(); ++n)
        {
            int id = 0;
            List()->GetItem(n, &id, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr);
            ids.push_back(id);
        }
        return ids;
    }
    std::u16string Caption(UINT id) const
    {
        auto *label = Item<UIStatic>(id);
        return label ? std::u16string(label->GetText()) : u"<none>";
    }
    std::u16string Text(UINT id) const
    {
        CString text;
        if (CWnd *item = dlg->GetDlgItem(static_cast<int>(id)))
            item->GetWindowText(text);
        else
            return u"<none>";
        return text.str();
    }
    // The status line's text; empty when the page has none.
    std::u16string Status() const { return Item<UIStatic>(1187) ? Caption(1187) : u""; }
    bool Enabled(UINT id) const
    {
        CWnd *item = dlg->GetDlgItem(static_cast<int>(id));
        return item && item->IsWindowEnabled();
    }
    bool Checked(UINT id) const
    {
        auto *button = Item<UIButton>(id);
        return button && button->GetCheck();
    }
    void Type(UINT id, const char16_t *text) { dlg->SetDlgItemText(static_cast<int>(id), text); }
    // A press on a radio button of the form, as the user makes it.
    void Choose(UINT id)
    {
        auto *button = Item<UIButton>(id);
        ASSERT_TRUE(button && button->GetWidget()) << id;
        QTest::mouseClick(button->GetWidget(), Qt::LeftButton, {}, QPoint(3, 3));
    }
    void Click(UINT id)
    {
        CWnd *item = dlg->GetDlgItem(static_cast<int>(id));
        ASSERT_TRUE(item && item->GetWidget()) << id;
        QTest::mouseClick(item->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
    }
    void Fill(const Entry &e)
    {
        static constexpr UINT kinds[] = {1163, 1167, 1169};
        static constexpr UINT values[] = {1164, 1168, 1170};
        static constexpr UINT periods[] = {1201, 1202, 1203};
        static constexpr UINT counts[] = {1204, 1205, 1206};
        Choose(kinds[e.kind]);
        Type(values[e.kind], e.value);
        Type(1172, e.day);
        Type(1173, e.month);
        Type(1174, e.year);
        Choose(periods[e.period]);
        Type(counts[e.period], e.count);
    }
    // Selects list item n as a click does.
    void Select(int n)
    {
        List()->SetCurSel(n);
        CKVTDlg::OnGoalListSelect(n);
    }
    // Presses the Delete button of one of the list's boxes (0 the top box, which shows the newest goal).
    void PressListDelete(int box)
    {
        vxtest::ProcessEvents();
        UIButton *button = List()->GetDeleteButton(box);
        ASSERT_TRUE(button && button->IsWindowVisible());
        const QPoint centre = button->GetWidget()->rect().center();
        QTest::mousePress(button->GetWidget(), Qt::LeftButton, {}, centre);
        QTest::mouseRelease(button->GetWidget(), Qt::LeftButton, {}, centre);
        vxtest::ProcessEvents();
    }
    void AddGoal(uint32_t metres, DateParts start, DateParts end, uint8_t unit = 1)
    {
        ASSERT_EQ(dlg->m_pDatabase->AddDistanceGoal(metres, unit, &start, &end), 1);
    }

    vxtest::ScopedTimeZone zone{"Europe/Berlin"};
    std::string dataHome = vxtest::MakeTempDir("xdg");
    vxtest::ScopedEnv dataEnv{"XDG_DATA_HOME", dataHome.c_str()};
    std::string runtime = vxtest::MakeTempDir("run");
    vxtest::ScopedEnv runtimeEnv{"XDG_RUNTIME_DIR", runtime.c_str()};
    vxtest::FakeUlvexLibrary fake;
    CWinApp app;
    int64_t now = LocalTime(2026, 12, 10);
    std::unique_ptr<GoalDlg> dlg;
};

constexpr UINT kActions[] = {1118, 1119, 1120};

// ---- the page ----------------------------------------------------------------------------------

TEST_F(GoalPageTest, ThePageShowsTheFormWithTodayTheStoredGoalsAndNoActionYet)
{
    AddGoal(5000, Day(2026, 11, 1), Day(2026, 11, 8));
    const DateParts start = Day(2026, 12, 1), end = Day(2026, 12, 15);
    ASSERT_EQ(dlg->m_pDatabase->AddTimeGoal(7200, &start, &end), 1);
    dlg->ShowGoalView();

    EXPECT_EQ(dlg->m_nCurrentView, KvtView::Goal);
    EXPECT_FALSE(dlg->m_bIgnoreDeviceArrival);
    ASSERT_EQ(dlg->bars.size(), 1u);
    EXPECT_EQ(dlg->bars[0], (std::vector<BOOL>{TRUE, FALSE, TRUE, FALSE, TRUE, TRUE, TRUE}));
    EXPECT_EQ(Caption(1000), u"ann");
    EXPECT_EQ(Caption(1114), u"My Goal");
    EXPECT_EQ(Caption(1116), u"History");
    for (UINT id : {1092u, 1093u, 1193u, 1115u})
        EXPECT_NE(dlg->GetDlgItem(static_cast<int>(id)), nullptr) << id;

    // Distance and Days are the checked rows; the others wait.
    EXPECT_TRUE(Checked(1163));
    EXPECT_FALSE(Checked(1167));
    EXPECT_FALSE(Checked(1169));
    EXPECT_TRUE(Checked(1201));
    EXPECT_FALSE(Checked(1202));
    EXPECT_FALSE(Checked(1203));
    for (UINT id : {1164u, 1178u, 1204u, 1207u, 1208u, 1172u, 1173u, 1174u})
        EXPECT_TRUE(Enabled(id)) << id;
    for (UINT id : {1168u, 1170u, 1179u, 1180u, 1205u, 1206u, 1209u, 1210u, 1211u, 1212u})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_EQ(Text(1172), u"10");
    EXPECT_EQ(Text(1173), u"12");
    EXPECT_EQ(Text(1174), u"26");
    for (UINT id : {1164u, 1168u, 1170u, 1204u, 1205u, 1206u})
        EXPECT_EQ(Text(id), u"") << id;
    EXPECT_EQ(Caption(1080), u"km");
    for (UINT id : kActions)
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_EQ(Caption(1118), u"Create New");
    EXPECT_EQ(Caption(1119), u"Edit");
    EXPECT_EQ(Caption(1120), u"Delete");

    // The list holds the goals in the store's order, each with its length in days.
    ASSERT_NE(List(), nullptr);
    EXPECT_EQ(ListedIds(), (std::vector<int>{0, 1}));
    UINT count = 0;
    int unit = 0;
    ASSERT_TRUE(List()->GetItem(1, nullptr, nullptr, nullptr, nullptr, &unit, &count, nullptr, nullptr,
                                nullptr, nullptr, nullptr));
    EXPECT_EQ(unit, 1);
    EXPECT_EQ(count, 14u);
    EXPECT_EQ(List()->GetCurSel(), -1);
    CRect where;
    List()->GetWindowRect(&where);
    dlg->ScreenToClient(&where);
    EXPECT_EQ(where, CRect(370, 136, 651, 393));

    // Typing enables Create New; Edit waits for a goal of the list.
    Type(1164, u"5");
    EXPECT_TRUE(Enabled(1118));
    EXPECT_FALSE(Enabled(1119));
}

TEST_F(GoalPageTest, TheUnitLabelAndTheSmallLabelsFollowUnitsAndLanguage)
{
    struct Case
    {
        LANGID language;
        BOOL metric;
        const char16_t *unit;
        int startSize, markSize;
    };
    for (const Case &c :
         {Case{1033, TRUE, u"km", 11, 8}, Case{1033, FALSE, u"miles", 11, 8}, Case{1031, TRUE, u"km", 10, 8},
          Case{2052, FALSE, u"英里", 10, 10}, Case{1028, TRUE, u"公里", 10, 10}})
    {
        SCOPED_TRACE(c.language);
        dlg->m_nLanguage = c.language;
        dlg->m_bMetric = c.metric;
        dlg->ShowGoalView();
        EXPECT_EQ(Caption(1080), c.unit);
        std::vector<UIStatic *> periodLabels;
        for (std::size_t i = 0; i < dlg->PageControlCount(); ++i)
            if (auto *label = dynamic_cast<UIStatic *>(dlg->PageControl(i));
                label && label->GetDlgCtrlID() == 1256)
                periodLabels.push_back(label);
        ASSERT_EQ(periodLabels.size(), 2u);
        EXPECT_EQ(periodLabels[0]->GetFontSize(), 12);
        EXPECT_EQ(periodLabels[1]->GetFontSize(), c.startSize);
        EXPECT_EQ(Item<UIStatic>(1257)->GetFontSize(), c.markSize);
    }
}

TEST_F(GoalPageTest, AFailedGoalCountShowsAnEmptyListAndNoMessage)
{
    AddGoal(5000, Day(2026, 11, 1), Day(2026, 11, 8));
    std::vector<std::u16string> boxes;
    vxwin::SetMessageBoxHook([&](const vxwin::MessageBoxRequest &box) {
        boxes.push_back(box.text);
        return IDOK;
    });
    // Nobody logged in to the store: its count is -1.
    ASSERT_EQ(dlg->m_pDatabase->Logout(), 1);
    ASSERT_EQ(dlg->m_pDatabase->GetGoals(nullptr, 0), -1);
    dlg->ShowGoalView();
    ASSERT_NE(List(), nullptr);
    EXPECT_EQ(List()->GetCount(), 0);
    EXPECT_TRUE(boxes.empty());

    // Without memory for the goals the user is told, and the list stays empty.
    ASSERT_EQ(dlg->m_pDatabase->Login(u"ann", u"pw"), 1);
    dlg->noMemory = true;
    dlg->ShowGoalView();
    ASSERT_NE(List(), nullptr);
    EXPECT_EQ(List()->GetCount(), 0);
    EXPECT_EQ(boxes, (std::vector<std::u16string>{u"Memory Allocation Error"}));
}

// ---- Create New --------------------------------------------------------------------------------

TEST_F(GoalPageTest, ANewDistanceGoalIsStoredInMetresOfTheUsersUnit)
{
    struct Case
    {
        BOOL metric;
        const char16_t *value;
        uint32_t metres;
        uint8_t unit;
    };
    const Case cases[] = {
        {TRUE, u"5", 5000, 1},
        {FALSE, u"3.1", 4989, 0}, // 4988.97 rounded
        {TRUE, u"2.5", 2500, 1},
        {FALSE, u"0.1", 161, 0},
    };
    int expectedId = 0;
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.metres);
        dlg->m_bMetric = c.metric;
        dlg->ShowGoalView();
        const int before = List()->GetCount();
        Fill(Entry{Distance, c.value});
        Click(1118);

        GoalRecord stored{};
        stored.goalId = -1;
        ASSERT_EQ(dlg->m_pDatabase->GetCurrentGoal(&stored), 1);
        EXPECT_EQ(stored.goalId, expectedId);
        EXPECT_EQ(stored.distance, c.metres);
        EXPECT_EQ(stored.distanceUnit, c.unit);
        EXPECT_EQ(Str(stored.start), "2026-12-10");
        EXPECT_EQ(Str(stored.end), "2026-12-17");
        EXPECT_EQ(Status(), u"");

        // The new goal is appended, selected and numbered in the heading.
        ASSERT_EQ(List()->GetCount(), before + 1);
        EXPECT_EQ(List()->GetCurSel(), before);
        int id = 0, periodUnit = 0, number = 0;
        UINT target = 0, count = 0;
        ASSERT_TRUE(List()->GetItem(before, &id, nullptr, &target, nullptr, &periodUnit, &count, nullptr,
                                    nullptr, nullptr, nullptr, &number));
        EXPECT_EQ(id, expectedId);
        EXPECT_EQ(target, c.metres);
        EXPECT_EQ(periodUnit, 1);
        EXPECT_EQ(count, 7u);
        CString heading;
        heading.Format(u"My Goal %03d", before + 1);
        EXPECT_EQ(Caption(1114), heading.str());
        EXPECT_FALSE(Enabled(1118));
        EXPECT_FALSE(Enabled(1119));
        EXPECT_TRUE(Enabled(1120));
        EXPECT_TRUE(Enabled(1092));
        // The summary follows the new current goal.
        ASSERT_TRUE(dlg->m_GoalSummary.HasGoal());
        EXPECT_EQ(dlg->m_GoalSummary.goal->goalId, expectedId);
        EXPECT_EQ(dlg->m_GoalSummary.target, c.metres);
        ++expectedId;
    }
}

TEST_F(GoalPageTest, TimeAndCaloriesGoalsTakeTheirOwnFieldAndEmptyTheOthers)
{
    struct Case
    {
        Entry entry;
        uint32_t time, calories;
    };
    const Case cases[] = {
        {Entry{Time, u"3", u"10", u"12", u"26", Weeks, u"2"}, 10800, 0},
        {Entry{Calories, u"1500", u"10", u"12", u"26", Months, u"1"}, 0, 1500},
    };
    for (const Case &c : cases)
    {
        dlg->ShowGoalView();
        // Left-overs of the other kinds go with the entry.
        for (UINT id : {1164u, 1168u, 1170u})
            Type(id, u"9");
        Fill(c.entry);
        Click(1118);
        EXPECT_EQ(Status(), u"");
        GoalRecord stored{};
        ASSERT_EQ(dlg->m_pDatabase->GetCurrentGoal(&stored), 1);
        EXPECT_EQ(stored.distance, 0u);
        EXPECT_EQ(stored.time, c.time);
        EXPECT_EQ(stored.calories, c.calories);
        EXPECT_EQ(Text(1164), u"");
        EXPECT_EQ(Text(c.entry.kind == Time ? 1170 : 1168), u"");
        EXPECT_EQ(Text(c.entry.kind == Time ? 1168 : 1170), c.entry.value);
        int periodUnit = 0;
        UINT count = 0;
        ASSERT_TRUE(List()->GetItem(List()->GetCount() - 1, nullptr, nullptr, nullptr, nullptr, &periodUnit,
                                    &count, nullptr, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(periodUnit, c.entry.period == Weeks ? 2 : 3);
        EXPECT_EQ(count, c.entry.period == Weeks ? 2u : 1u);
    }
}

TEST_F(GoalPageTest, TheFirstFailingCheckIsReportedAndNothingIsStored)
{
    struct Case
    {
        const char *name;
        Entry entry;
        const char16_t *status;
    };
    const char16_t *distance = u"Error in entry for distance goal.";
    const char16_t *time = u"Error in entry for time goal.";
    const char16_t *calories = u"Error in entry for calories goal.";
    const char16_t *startDate = u"Error in entry for start date.";
    const char16_t *timeFrame = u"Error determining time frame";
    const char16_t *saving = u"Error saving new goal record";
    const Case cases[] = {
        {"no distance", Entry{Distance, u""}, distance},
        {"distance 0", Entry{Distance, u"0.0"}, distance},
        {"distance not a number", Entry{Distance, u"abc"}, distance},
        {"distance 0 and a bad date", Entry{Distance, u"0", u"31", u"04", u"26"}, distance},
        {"no time", Entry{Time, u""}, time},
        {"time 0", Entry{Time, u"0"}, time},
        {"calories 0", Entry{Calories, u"0"}, calories},
        {"31 April", Entry{Distance, u"5", u"31", u"04", u"26"}, startDate},
        {"29 February of a common year", Entry{Distance, u"5", u"29", u"02", u"27"}, startDate},
        {"day 0", Entry{Distance, u"5", u"00", u"12", u"26"}, startDate},
        {"no month", Entry{Distance, u"5", u"10", u"", u"26"}, startDate},
        {"a bad date and no period", Entry{Distance, u"5", u"32", u"12", u"26", Days, u""}, startDate},
        {"no days", Entry{Distance, u"5", u"10", u"12", u"26", Days, u""}, timeFrame},
        {"0 weeks", Entry{Distance, u"5", u"10", u"12", u"26", Weeks, u"0"}, timeFrame},
        {"no months", Entry{Calories, u"100", u"10", u"12", u"26", Months, u""}, timeFrame},
        {"a negative distance", Entry{Distance, u"-5"}, saving},
        {"a distance below a metre", Entry{Distance, u"0.0001"}, saving},
        {"a negative distance and no period", Entry{Distance, u"-5", u"10", u"12", u"26", Days, u""},
         timeFrame},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        dlg->ShowGoalView();
        Fill(c.entry);
        CKVTDlg::OnGoalCreateNew();
        EXPECT_EQ(Status(), c.status);
        EXPECT_TRUE(StoredGoals().empty());
        EXPECT_EQ(List()->GetCount(), 0);
        EXPECT_EQ(Caption(1114), u"My Goal");
    }
    // Edit needs a goal of the list.
    dlg->ShowGoalView();
    Fill(Entry{});
    CKVTDlg::OnGoalEdit();
    EXPECT_EQ(Status(), saving);
    EXPECT_TRUE(StoredGoals().empty());
}

TEST_F(GoalPageTest, OddEntriesAreReadWithoutTheLocaleAndWithinTheFieldsLimits)
{
    struct Case
    {
        const char *name;
        Entry entry;
        const char16_t *status; // empty: stored
        uint32_t stored;        // metres, seconds or calories
    };
    const char16_t lone[] = {u'4', u'.', u'5', 0xD800, u'9', 0};
    const Case cases[] = {
        {"a comma is no decimal point", Entry{Distance, u"3,5"}, u"", 3000},
        {"no exponent", Entry{Distance, u"2e3"}, u"", 2000},
        {"a lone surrogate ends the number", Entry{Distance, lone}, u"", 4500},
        {"leading blanks", Entry{Distance, u"  6"}, u"", 6000},
        {"infinity", Entry{Distance, u"inf"}, u"Error in entry for distance goal.", 0},
        {"not a number", Entry{Distance, u"nan"}, u"Error in entry for distance goal.", 0},
        {"beyond what the store keeps", Entry{Distance, u"99999999"}, u"Error in entry for distance goal.",
         0},
        {"quotes", Entry{Calories, u"'; drop table Goal; --"}, u"Error in entry for calories goal.", 0},
        {"hours beyond the field", Entry{Time, u"70000"}, u"Error in entry for time goal.", 0},
        {"the most hours", Entry{Time, u"65535"}, u"", 65535u * 3600u},
        {"calories beyond the field", Entry{Calories, u"65536"}, u"Error in entry for calories goal.", 0},
        {"a day that would wrap", Entry{Distance, u"5", u"266", u"12", u"26"},
         u"Error in entry for start date.", 0},
        {"a period beyond the field", Entry{Distance, u"5", u"10", u"12", u"26", Days, u"1000"},
         u"Error determining time frame", 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        for (int id : StoredIds())
            ASSERT_EQ(dlg->m_pDatabase->DeleteGoal(id), 1);
        dlg->ShowGoalView();
        Fill(c.entry);
        CKVTDlg::OnGoalCreateNew();
        EXPECT_EQ(Status(), c.status);
        const std::vector<GoalRecord> goals = StoredGoals();
        if (c.status[0])
        {
            EXPECT_TRUE(goals.empty());
            continue;
        }
        ASSERT_EQ(goals.size(), 1u);
        EXPECT_EQ(goals[0].distance + goals[0].time + goals[0].calories, c.stored);
    }
}

TEST_F(GoalPageTest, ThePeriodSetsTheEndDateOnTheCalendar)
{
    struct Case
    {
        Entry entry;
        const char *start, *end;
        uint32_t summaryDays;
    };
    const Case cases[] = {
        {Entry{Distance, u"5", u"31", u"01", u"28", Months, u"1"}, "2028-1-31", "2028-2-29", 29},
        {Entry{Distance, u"5", u"31", u"01", u"27", Months, u"1"}, "2027-1-31", "2027-2-28", 28},
        {Entry{Distance, u"5", u"30", u"11", u"27", Months, u"3"}, "2027-11-30", "2028-2-29", 91},
        {Entry{Distance, u"5", u"30", u"11", u"26", Months, u"3"}, "2026-11-30", "2027-2-28", 90},
        // Over the start of daylight saving time, still whole days.
        {Entry{Distance, u"5", u"16", u"03", u"27", Weeks, u"2"}, "2027-3-16", "2027-3-30", 14},
        {Entry{Time, u"1", u"29", u"02", u"28", Days, u"1"}, "2028-2-29", "2028-3-1", 1},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.start);
        dlg->ShowGoalView();
        Fill(c.entry);
        CKVTDlg::OnGoalCreateNew();
        ASSERT_EQ(Status(), u"");
        GoalRecord stored{};
        ASSERT_EQ(dlg->m_pDatabase->GetCurrentGoal(&stored), 1);
        EXPECT_EQ(Str(stored.start), c.start);
        EXPECT_EQ(Str(stored.end), c.end);
        EXPECT_EQ(dlg->m_GoalSummary.periodLength, c.summaryDays);
    }
}

TEST_F(GoalPageTest, TheNewGoalIsTheOneWithTheHighestIdWhereverTheStoreListsIt)
{
    // A damaged row whose number is not a number: the store lists it after every real one.
    Sql("INSERT INTO Goal VALUES ('ann', 'x');"
        "INSERT INTO GoalInfo VALUES ('x', 777, 1, NULL, NULL, 0, 1, 0, 864000000000, 0)");
    dlg->ShowGoalView();
    ASSERT_EQ(ListedIds(), (std::vector<int>{-1}));
    Fill(Entry{Distance, u"5"});
    CKVTDlg::OnGoalCreateNew();
    ASSERT_EQ(StoredIds(), (std::vector<int>{1, -1}));
    EXPECT_EQ(Status(), u"");
    EXPECT_EQ(ListedIds(), (std::vector<int>{-1, 1}));
    UINT target = 0;
    ASSERT_TRUE(List()->GetItem(1, nullptr, nullptr, &target, nullptr, nullptr, nullptr, nullptr, nullptr,
                                nullptr, nullptr, nullptr));
    EXPECT_EQ(target, 5000u);
    EXPECT_EQ(List()->GetCurSel(), 1);
}

TEST_F(GoalPageTest, AFailedStoreAddIsReported)
{
    Sql("CREATE TRIGGER refuse BEFORE INSERT ON GoalInfo BEGIN SELECT RAISE(ABORT, 'no'); END");
    dlg->ShowGoalView();
    Fill(Entry{});
    CKVTDlg::OnGoalCreateNew();
    EXPECT_EQ(Status(), u"Error saving new goal record");
    EXPECT_EQ(List()->GetCount(), 0);
    EXPECT_EQ(Caption(1114), u"My Goal");
}

// ---- Edit ----------------------------------------------------------------------------------------

TEST_F(GoalPageTest, EditRewritesTheSelectedGoalAndMayChangeItsKind)
{
    AddGoal(5000, Day(2026, 12, 1), Day(2026, 12, 15));
    AddGoal(8000, Day(2026, 12, 5), Day(2026, 12, 20));
    struct Case
    {
        int item;
        Kind kind;
        const char16_t *value;
        uint32_t distance, time, calories;
        bool summaryFollows;
    };
    const Case cases[] = {
        {1, Time, u"3", 0, 10800, 0, true},
        {0, Calories, u"400", 0, 0, 400, false},
        {1, Distance, u"12.5", 12500, 0, 0, true},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.item);
        dlg->ShowGoalView();
        // A mark in the summary shows whether it was read again.
        dlg->UpdateGoalSummary();
        dlg->m_GoalSummary.target = 4242;
        Select(c.item);
        int goalId = -2;
        ASSERT_TRUE(List()->GetItem(c.item, &goalId, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr));
        Fill(Entry{c.kind, c.value, u"02", u"12", u"26", Weeks, u"3"});
        EXPECT_TRUE(Enabled(1119));
        Click(1119);
        EXPECT_EQ(Status(), u"");

        std::vector<GoalRecord> goals = StoredGoals();
        ASSERT_EQ(goals.size(), 2u);
        const GoalRecord &g = goals[static_cast<std::size_t>(c.item)];
        EXPECT_EQ(g.goalId, goalId);
        EXPECT_EQ(g.distance, c.distance);
        EXPECT_EQ(g.time, c.time);
        EXPECT_EQ(g.calories, c.calories);
        EXPECT_EQ(Str(g.start), "2026-12-2");
        EXPECT_EQ(Str(g.end), "2026-12-23");

        int kind = -1, periodUnit = 0;
        UINT target = 0, count = 0;
        ASSERT_TRUE(List()->GetItem(c.item, nullptr, &kind, &target, nullptr, &periodUnit, &count, nullptr,
                                    nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(kind, static_cast<int>(c.kind));
        EXPECT_EQ(target, c.distance + c.time + c.calories);
        EXPECT_EQ(periodUnit, 2);
        EXPECT_EQ(count, 3u);
        EXPECT_EQ(List()->GetCurSel(), c.item);
        EXPECT_FALSE(Enabled(1118));
        EXPECT_FALSE(Enabled(1119));
        EXPECT_TRUE(Enabled(1120));
        EXPECT_TRUE(Enabled(1092));
        // Only an edit of the current (last) goal changes the summary.
        if (c.summaryFollows)
            EXPECT_EQ(dlg->m_GoalSummary.kind == 1 ? dlg->m_GoalSummary.target * 3600
                                                   : dlg->m_GoalSummary.target,
                      c.distance + c.time + c.calories);
        else
            EXPECT_EQ(dlg->m_GoalSummary.target, 4242u);
    }
}

TEST_F(GoalPageTest, AGoalIsShownAndSavedAgainInTheUsersCurrentUnit)
{
    struct Case
    {
        BOOL metric;
        uint32_t stored;
        uint8_t storedUnit;
        const char16_t *shown;
        uint32_t saved;
    };
    const Case cases[] = {
        // Entered as 4.989 km; shown to a user of miles as 3.1 miles, which is the same distance.
        {FALSE, 4989, 1, u"3.1", 4989},
        // Entered as 3.1 miles; a user of kilometres sees and keeps 5.0 km.
        {TRUE, 4989, 0, u"5.0", 5000},
        {TRUE, 5000, 1, u"5.0", 5000},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.saved);
        const std::vector<int> before = StoredIds();
        for (int id : before)
            ASSERT_EQ(dlg->m_pDatabase->DeleteGoal(id), 1);
        AddGoal(c.stored, Day(2026, 12, 1), Day(2026, 12, 15), c.storedUnit);
        dlg->m_bMetric = c.metric;
        dlg->ShowGoalView();
        Select(0);
        EXPECT_EQ(Text(1164), c.shown);
        EXPECT_EQ(Caption(1080), c.metric ? u"km" : u"miles");
        // Saved again unchanged.
        Type(1204, u"14");
        CKVTDlg::OnGoalEdit();
        EXPECT_EQ(Status(), u"");
        const std::vector<GoalRecord> goals = StoredGoals();
        ASSERT_EQ(goals.size(), 1u);
        EXPECT_EQ(goals[0].distance, c.saved);
        EXPECT_EQ(goals[0].distanceUnit, c.metric ? 1 : 0);
    }
}

// ---- Delete ------------------------------------------------------------------------------------

TEST_F(GoalPageTest, DeleteRemovesTheSelectedGoalAndOnlyTheLastOneRefreshesTheSummary)
{
    AddGoal(5000, Day(2026, 12, 1), Day(2026, 12, 15));
    AddGoal(8000, Day(2026, 12, 5), Day(2026, 12, 20));
    AddGoal(9000, Day(2026, 12, 6), Day(2026, 12, 21));
    dlg->ShowGoalView();
    // A mark in the summary shows whether it was read again.
    dlg->UpdateGoalSummary();
    dlg->m_GoalSummary.target = 4242;

    Select(1);
    Type(1168, u"9");
    CKVTDlg::OnGoalDelete();
    EXPECT_EQ(StoredIds(), (std::vector<int>{0, 2}));
    EXPECT_EQ(ListedIds(), (std::vector<int>{0, 2}));
    EXPECT_EQ(dlg->m_GoalSummary.target, 4242u);
    // The form is empty again, with today's date and no action.
    EXPECT_EQ(List()->GetCurSel(), -1);
    for (UINT id : {1164u, 1168u, 1170u, 1204u, 1205u, 1206u})
        EXPECT_EQ(Text(id), u"") << id;
    EXPECT_EQ(Text(1172), u"10");
    EXPECT_EQ(Text(1173), u"12");
    EXPECT_EQ(Text(1174), u"26");
    EXPECT_TRUE(Checked(1163));
    EXPECT_TRUE(Enabled(1164));
    for (UINT id : {1118u, 1119u, 1120u, 1092u})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_EQ(Caption(1114), u"My Goal");
    EXPECT_EQ(Status(), u"");

    // Nothing selected: nothing deleted.
    CKVTDlg::OnGoalDelete();
    EXPECT_EQ(StoredIds(), (std::vector<int>{0, 2}));

    Select(1);
    CKVTDlg::OnGoalDelete();
    EXPECT_EQ(StoredIds(), (std::vector<int>{0}));
    EXPECT_EQ(ListedIds(), (std::vector<int>{0}));
    ASSERT_TRUE(dlg->m_GoalSummary.HasGoal());
    EXPECT_EQ(dlg->m_GoalSummary.goal->goalId, 0);
    EXPECT_EQ(dlg->m_GoalSummary.target, 5000u);

    // Deleting the last goal of all leaves no goal line.
    Select(0);
    CKVTDlg::OnGoalDelete();
    EXPECT_TRUE(StoredIds().empty());
    EXPECT_FALSE(dlg->m_GoalSummary.HasGoal());
    EXPECT_TRUE(dlg->GoalLineText().IsEmpty());
}

TEST_F(GoalPageTest, TheListsDeleteRemovesTheGoalAndRefreshesTheSummaryOfTheCurrentOne)
{
    AddGoal(5000, Day(2026, 12, 1), Day(2026, 12, 15));
    AddGoal(8000, Day(2026, 12, 5), Day(2026, 12, 20));
    AddGoal(9000, Day(2026, 12, 6), Day(2026, 12, 21));
    dlg->ShowGoalView();
    dlg->UpdateGoalSummary();
    dlg->m_GoalSummary.target = 4242;
    dlg->ShowStatusText(250);

    // The second box shows the goal before the newest.
    PressListDelete(1);
    EXPECT_EQ(StoredIds(), (std::vector<int>{0, 2}));
    EXPECT_EQ(ListedIds(), (std::vector<int>{0, 2}));
    EXPECT_EQ(dlg->m_GoalSummary.target, 4242u);
    EXPECT_EQ(Status(), u"");

    PressListDelete(0);
    EXPECT_EQ(StoredIds(), (std::vector<int>{0}));
    EXPECT_EQ(ListedIds(), (std::vector<int>{0}));
    ASSERT_TRUE(dlg->m_GoalSummary.HasGoal());
    EXPECT_EQ(dlg->m_GoalSummary.goal->goalId, 0);
    EXPECT_EQ(dlg->m_GoalSummary.target, 5000u);
}

TEST_F(GoalPageTest, ASummaryWithoutAGoalHasNoCurrentGoalToLose)
{
    AddGoal(5000, Day(2026, 12, 1), Day(2026, 12, 15));
    struct Case
    {
        const char *name;
        bool record;
        int32_t id;
    };
    for (const Case &c : {Case{"no record (a failed read)", false, 0}, Case{"no goal", true, -1}})
    {
        SCOPED_TRACE(c.name);
        dlg->ShowGoalView();
        dlg->m_GoalSummary = GoalSummary{};
        if (c.record)
        {
            dlg->m_GoalSummary.goal = std::make_unique<GoalRecord>();
            dlg->m_GoalSummary.goal->goalId = c.id;
        }
        dlg->m_GoalSummary.target = 4242;
        // The goal the list deletes has the summary's id.
        CKVTDlg::OnGoalListDelete(c.id);
        EXPECT_EQ(dlg->m_GoalSummary.target, 4242u);
        EXPECT_EQ(Status(), u"");
    }
}

TEST_F(GoalPageTest, AFailedDeleteIsReportedAndTheListKeepsMatchingTheStore)
{
    AddGoal(5000, Day(2026, 12, 1), Day(2026, 12, 15));
    AddGoal(8000, Day(2026, 12, 5), Day(2026, 12, 20));
    AddGoal(9000, Day(2026, 12, 6), Day(2026, 12, 21));
    RefuseDeletions();
    dlg->ShowGoalView();
    dlg->UpdateGoalSummary();
    dlg->m_GoalSummary.target = 4242;
    const std::vector<int> all = {0, 1, 2};

    // Delete of the form: the selected goal stays, and so does the form.
    Select(2);
    CKVTDlg::OnGoalDelete();
    EXPECT_EQ(Status(), u"Error deleting goal record");
    EXPECT_EQ(StoredIds(), all);
    EXPECT_EQ(ListedIds(), all);
    EXPECT_EQ(List()->GetCurSel(), 2);
    EXPECT_EQ(Text(1164), u"9.0");
    EXPECT_TRUE(Enabled(1120));
    EXPECT_EQ(dlg->m_GoalSummary.target, 4242u);

    // Delete of the list, on the selected goal and on another one: the list shows what is stored.
    for (int box : {0, 1})
    {
        SCOPED_TRACE(box);
        dlg->ClearStatusLine();
        PressListDelete(box);
        EXPECT_EQ(Status(), u"Error deleting goal record");
        EXPECT_EQ(StoredIds(), all);
        EXPECT_EQ(ListedIds(), all);
        EXPECT_EQ(List()->GetCurSel(), 2);
        EXPECT_EQ(Text(1164), u"9.0");
        EXPECT_EQ(dlg->m_GoalSummary.target, 4242u);
    }
}

// ---- the buttons reach the handlers -------------------------------------------------------------

TEST_F(GoalPageTest, CreateEditAndDeleteWorkFromTheirButtons)
{
    dlg->ShowGoalView();
    Fill(Entry{Calories, u"800"});
    Click(1118);
    ASSERT_EQ(StoredIds(), (std::vector<int>{0}));
    Type(1170, u"900");
    ASSERT_TRUE(Enabled(1119));
    Click(1119);
    ASSERT_EQ(StoredGoals().at(0).calories, 900u);
    Click(1120);
    EXPECT_TRUE(StoredIds().empty());
    EXPECT_EQ(List()->GetCount(), 0);
}
} // namespace

#include "store/KvtDatabase.h"

#include "tests/store/RunStoreTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace storetest;

namespace
{
const DateParts kMar1 = Day(1, 3, 2010);
const DateParts kMar8 = Day(8, 3, 2010);

// A record whose every field is set, to see what an operation leaves alone.
GoalRecord Untouched()
{
    GoalRecord goal{};
    goal.goalId = 4242;
    goal.distance = 4242;
    goal.doneDistance = 4242;
    goal.start = Day(2, 2, 2002);
    return goal;
}

class GoalStoreTest : public RunStoreTest
{
  protected:
    std::vector<GoalRecord> Goals(int32_t capacity = 20)
    {
        std::vector<GoalRecord> goals(static_cast<std::size_t>(capacity));
        const int n = m_db.GetGoals(goals.data(), capacity);
        EXPECT_GE(n, 0);
        EXPECT_EQ(0, m_db.InTransaction());
        goals.resize(static_cast<std::size_t>(n < 0 ? 0 : n));
        return goals;
    }

    std::u16string Row(int goalId)
    {
        Peek peek(m_db.GetPath());
        EXPECT_EQ(
            1, peek.Run(u"select quote(GoalDistance) || ',' || GoalDistanceUnit || ',' || "
                        u"quote(GoalTime) || ',' || quote(GoalCalories) || ',' || GoalTimeFrame || ',' || "
                        u"GoalTimeFrameType || ',' || GoalTimeFrameFrom || ',' || GoalTimeFrameTo || ',' || "
                        u"GoalStatus from GoalInfo where GoalID = " +
                        U16(std::to_string(goalId))));
        std::u16string text;
        peek.Table().GetText(0, 0, &text);
        return text;
    }
};

const char16_t kMar1To8[] = u"129118752000000000,129124800000000000";
} // namespace

TEST_F(GoalStoreTest, EachKindIsWrittenWithItsOneTarget)
{
    ASSERT_EQ(1, m_db.AddDistanceGoal(10000, 1, &kMar1, &kMar8));
    ASSERT_EQ(1, m_db.AddTimeGoal(3600, &kMar1, &kMar8));
    ASSERT_EQ(1, m_db.AddCaloriesGoal(900, &kMar1, &kMar8));
    EXPECT_EQ(u"10000,1,NULL,NULL,0,1," + std::u16string(kMar1To8) + u",0", Row(0));
    EXPECT_EQ(u"NULL,255,3600,NULL,0,1," + std::u16string(kMar1To8) + u",0", Row(1));
    EXPECT_EQ(u"NULL,255,NULL,900,0,1," + std::u16string(kMar1To8) + u",0", Row(2));
    EXPECT_EQ(3, Count(u"select count(*) from Goal where UserID = 'ann'"));

    const std::vector<GoalRecord> goals = Goals();
    ASSERT_EQ(3u, goals.size());
    EXPECT_EQ(0, goals[0].goalId);
    EXPECT_EQ(10000u, goals[0].distance);
    EXPECT_EQ(1u, goals[0].distanceUnit);
    EXPECT_EQ(0u, goals[0].time);
    EXPECT_EQ(0u, goals[0].calories);
    EXPECT_EQ(1, goals[1].goalId);
    EXPECT_EQ(0u, goals[1].distance);
    EXPECT_EQ(255u, goals[1].distanceUnit);
    EXPECT_EQ(3600u, goals[1].time);
    EXPECT_EQ(2, goals[2].goalId);
    EXPECT_EQ(900u, goals[2].calories);
    for (const GoalRecord &g : goals)
    {
        EXPECT_EQ(0u, g.timeFrame);
        EXPECT_EQ(1u, g.timeFrameType);
        EXPECT_EQ(0u, g.status);
        EXPECT_EQ(1, g.start.day);
        EXPECT_EQ(3, g.start.month);
        EXPECT_EQ(2010, g.start.year);
        EXPECT_EQ(8, g.end.day);
        EXPECT_EQ(3, g.end.month);
        EXPECT_EQ(2010, g.end.year);
    }
}

TEST_F(GoalStoreTest, GoalNumbersAreTheHighestOfAllUsersPlusOne)
{
    ASSERT_EQ(1, m_db.AddTimeGoal(60, &kMar1, &kMar8));
    LoginAs(u"bob");
    ASSERT_EQ(1, m_db.AddTimeGoal(60, &kMar1, &kMar8));
    EXPECT_EQ(1, Count(u"select GoalID from Goal where UserID = 'bob'"));
    // Deleting the highest and adding again reuses its number.
    ASSERT_EQ(1, m_db.DeleteGoal(1));
    ASSERT_EQ(1, m_db.AddTimeGoal(60, &kMar1, &kMar8));
    EXPECT_EQ(1, Count(u"select GoalID from Goal where UserID = 'bob'"));
    EXPECT_EQ(2, Count(u"select count(*) from GoalInfo"));
}

// Goal numbers are 32-bit: past the top a new goal would take a number in use and share its values.
TEST_F(GoalStoreTest, NoGoalIsAddedWhenTheNextNumberDoesNotFit)
{
    LoginAs(u"bob");
    ASSERT_EQ(1, m_db.AddTimeGoal(60, &kMar1, &kMar8));
    {
        Peek peek(m_db.GetPath());
        ASSERT_EQ(1, peek.Run(u"update Goal set GoalID = 2147483647"));
        ASSERT_EQ(1, peek.Run(u"update GoalInfo set GoalID = 2147483647"));
    }
    LoginAs(u"ann");
    EXPECT_EQ(0, m_db.AddTimeGoal(60, &kMar1, &kMar8));
    EXPECT_EQ(0, m_db.AddCaloriesGoal(500, &kMar1, &kMar8));
    EXPECT_EQ(0, m_db.InTransaction());
    EXPECT_EQ(0, Count(u"select count(*) from Goal where UserID = 'ann'"));
    EXPECT_EQ(1, Count(u"select count(*) from GoalInfo"));
    EXPECT_TRUE(Goals().empty());
}

TEST_F(GoalStoreTest, AddRefusesAMissingTargetOrAnEmptyPeriod)
{
    const DateParts feb30 = Day(30, 2, 2010);
    EXPECT_EQ(0, m_db.AddDistanceGoal(0, 1, &kMar1, &kMar8));
    EXPECT_EQ(0, m_db.AddTimeGoal(60, &kMar1, &kMar1)); // end equal to the start
    EXPECT_EQ(0, m_db.AddCaloriesGoal(60, &kMar8, &kMar1));
    EXPECT_EQ(0, m_db.AddCaloriesGoal(60, nullptr, &kMar8));
    EXPECT_EQ(0, m_db.AddCaloriesGoal(60, &feb30, &kMar8));
    EXPECT_EQ(0, m_db.InTransaction());
    ASSERT_EQ(1, m_db.Logout());
    EXPECT_EQ(0, m_db.AddTimeGoal(60, &kMar1, &kMar8));
    EXPECT_EQ(0, Count(u"select count(*) from Goal"));
    EXPECT_EQ(0, Count(u"select count(*) from GoalInfo"));
}

TEST_F(GoalStoreTest, UpdateMayChangeTheKindAndTakesTheDatesAsGiven)
{
    ASSERT_EQ(1, m_db.AddTimeGoal(3600, &kMar1, &kMar8));
    ASSERT_EQ(1, m_db.UpdateDistanceGoal(0, 5000, 0, &kMar1, &kMar8));
    EXPECT_EQ(u"5000,0,NULL,NULL,0,1," + std::u16string(kMar1To8) + u",0", Row(0));
    ASSERT_EQ(1, m_db.UpdateCaloriesGoal(0, 700, &kMar1, &kMar8));
    EXPECT_EQ(u"NULL,255,NULL,700,0,1," + std::u16string(kMar1To8) + u",0", Row(0));
    // An update may leave an end that is not after the start.
    ASSERT_EQ(1, m_db.UpdateTimeGoal(0, 120, &kMar8, &kMar8));
    EXPECT_EQ(u"NULL,255,120,NULL,0,1,129124800000000000,129124800000000000,0", Row(0));
    EXPECT_EQ(0, m_db.UpdateTimeGoal(0, 0, &kMar1, &kMar8));
    EXPECT_EQ(0, m_db.UpdateTimeGoal(0, 60, &kMar1, nullptr));
    EXPECT_EQ(0, m_db.InTransaction());
    EXPECT_EQ(1, Count(u"select count(*) from GoalInfo"));
}

TEST_F(GoalStoreTest, OnlyTheOwnerChangesOrDeletesAGoal)
{
    ASSERT_EQ(1, m_db.AddDistanceGoal(10000, 1, &kMar1, &kMar8)); // ann's goal 0
    const std::u16string before = Row(0);
    LoginAs(u"bob");
    ASSERT_EQ(1, m_db.AddTimeGoal(60, &kMar1, &kMar8)); // bob's goal 1
    m_db.UpdateTimeGoal(0, 1, &kMar1, &kMar8);
    m_db.UpdateCaloriesGoal(0, 1, &kMar1, &kMar8);
    m_db.UpdateDistanceGoal(0, 1, 0, &kMar1, &kMar8);
    m_db.DeleteGoal(0);
    EXPECT_EQ(before, Row(0));
    EXPECT_EQ(1, Count(u"select count(*) from Goal where GoalID = 0 and UserID = 'ann'"));

    // The owner deletes both rows of the goal; the other user's goal stays.
    LoginAs(u"ann");
    ASSERT_EQ(1, m_db.DeleteGoal(0));
    EXPECT_EQ(0, Count(u"select count(*) from Goal where GoalID = 0"));
    EXPECT_EQ(0, Count(u"select count(*) from GoalInfo where GoalID = 0"));
    ASSERT_EQ(1, m_db.DeleteGoal(1));
    EXPECT_EQ(1, Count(u"select count(*) from Goal where GoalID = 1"));
    EXPECT_EQ(1, Count(u"select count(*) from GoalInfo where GoalID = 1"));
}

TEST_F(GoalStoreTest, ListComesInGoalNumberOrderUpToTheCapacity)
{
    {
        // Rows stored out of number order, as an edited file may hold them.
        Peek peek(m_db.GetPath());
        for (int id : {7, 3, 5, 1, 9})
        {
            const std::u16string n = U16(std::to_string(id));
            ASSERT_EQ(1, peek.Run(u"insert into Goal values ( 'ann', " + n + u" )"));
            ASSERT_EQ(1, peek.Run(u"insert into GoalInfo values ( " + n + u", NULL, 255, " + n +
                                  u"00, NULL, 0, 1, 129118752000000000, 129124800000000000, 0 )"));
        }
        ASSERT_EQ(1, peek.Run(u"insert into Goal values ( 'bob', 4 )"));
        ASSERT_EQ(1, peek.Run(u"insert into GoalInfo values ( 4, NULL, 255, 400, NULL, 0, 1, 0, 1, 0 )"));
    }
    std::vector<int> ids;
    for (const GoalRecord &g : Goals())
        ids.push_back(g.goalId);
    EXPECT_EQ((std::vector<int>{1, 3, 5, 7, 9}), ids);

    const std::vector<GoalRecord> two = Goals(2);
    ASSERT_EQ(2u, two.size());
    EXPECT_EQ(1, two[0].goalId);
    EXPECT_EQ(300u, two[1].time);

    EXPECT_EQ(5, m_db.GetGoals(nullptr, 0));
    EXPECT_EQ(0, m_db.InTransaction());
    GoalRecord none[1];
    EXPECT_EQ(0, m_db.GetGoals(none, 0));
    EXPECT_EQ(0, m_db.InTransaction());
}

TEST_F(GoalStoreTest, ListEndsItsTransactionAlsoWhenItFails)
{
    {
        Peek peek(m_db.GetPath());
        ASSERT_EQ(1, peek.Run(u"drop table GoalInfo"));
    }
    GoalRecord goals[2];
    EXPECT_EQ(-1, m_db.GetGoals(goals, 2));
    EXPECT_EQ(0, m_db.InTransaction());
    EXPECT_EQ(-1, m_db.GetGoals(nullptr, 0));
    EXPECT_EQ(0, m_db.InTransaction());
    ASSERT_EQ(1, m_db.Logout());
    EXPECT_EQ(-1, m_db.GetGoals(goals, 2));
    EXPECT_EQ(-1, m_db.GetGoals(nullptr, 0));
}

TEST_F(GoalStoreTest, ProgressCountsTheStartDayUpToButNotTheEndDay)
{
    ASSERT_EQ(1, m_db.AddDistanceGoal(10000, 1, &kMar1, &kMar8));
    StoreAt(Day(28, 2, 2010), At(23, 59, 59), 1, 0);
    StoreAt(kMar1, At(0), 10, 0);
    StoreAt(Day(7, 3, 2010), At(23, 59, 59), 100, 5);
    StoreAt(kMar8, At(0), 1000, 0); // linked to the goal, but outside its days
    LoginAs(u"bob");
    StoreAt(Day(3, 3, 2010), At(12), 10000, 0);
    LoginAs(u"ann");
    EXPECT_EQ(0, Count(u"select RunGoalID from Run where RunID = 3"));

    const std::vector<GoalRecord> goals = Goals();
    ASSERT_EQ(1u, goals.size());
    EXPECT_EQ(115u, goals[0].doneDistance);
    EXPECT_EQ(2u * 1800, goals[0].doneDuration);
    EXPECT_EQ(2u * 250, goals[0].doneCalories);

    GoalRecord current = Untouched();
    ASSERT_EQ(1, m_db.GetCurrentGoal(&current));
    EXPECT_EQ(0, current.goalId);
    EXPECT_EQ(115u, current.doneDistance);
    EXPECT_EQ(3600u, current.doneDuration);
    EXPECT_EQ(500u, current.doneCalories);
}

TEST_F(GoalStoreTest, CurrentGoalIsTheUsersHighestNumber)
{
    GoalRecord goal = Untouched();
    ASSERT_EQ(1, m_db.GetCurrentGoal(&goal));
    EXPECT_EQ(4242, goal.goalId); // no goal: the record is left as it was
    EXPECT_EQ(4242u, goal.doneDistance);
    EXPECT_EQ(2, goal.start.day);

    const DateParts apr1 = Day(1, 4, 2010);
    ASSERT_EQ(1, m_db.AddTimeGoal(600, &kMar1, &kMar8));
    ASSERT_EQ(1, m_db.AddCaloriesGoal(800, &kMar8, &apr1));
    LoginAs(u"bob");
    ASSERT_EQ(1, m_db.AddTimeGoal(900, &kMar1, &kMar8)); // a higher number of another user
    LoginAs(u"ann");
    ASSERT_EQ(1, m_db.GetCurrentGoal(&goal));
    EXPECT_EQ(1, goal.goalId);
    EXPECT_EQ(800u, goal.calories);
    EXPECT_EQ(0u, goal.time);
    EXPECT_EQ(0u, goal.distance);
    EXPECT_EQ(255u, goal.distanceUnit);
    EXPECT_EQ(8, goal.start.day);
    EXPECT_EQ(1, goal.end.day);
    EXPECT_EQ(4, goal.end.month);
    EXPECT_EQ(0u, goal.doneDistance);
    EXPECT_EQ(0, m_db.GetCurrentGoal(nullptr));
    ASSERT_EQ(1, m_db.Logout());
    EXPECT_EQ(0, m_db.GetCurrentGoal(&goal));
}

TEST_F(GoalStoreTest, UserIdWithQuotesOwnsItsGoals)
{
    const DateParts dob = Day(1, 2, 1980);
    ASSERT_EQ(1, m_db.AddUser(u"o'brien", u"pw", u"F", u"L", 1, &dob, 40, 170, 3, 60, 5));
    LoginAs(u"o'brien");
    ASSERT_EQ(1, m_db.AddTimeGoal(60, &kMar1, &kMar8));
    EXPECT_EQ(1, Count(u"select count(*) from Goal where UserID = 'o''brien'"));
    EXPECT_EQ(1, m_db.GetGoals(nullptr, 0));
    ASSERT_EQ(1, m_db.UpdateTimeGoal(0, 120, &kMar1, &kMar8));
    EXPECT_EQ(1, Count(u"select count(*) from GoalInfo where GoalTime = 120"));
    ASSERT_EQ(1, m_db.DeleteGoal(0));
    EXPECT_EQ(0, Count(u"select count(*) from GoalInfo"));
}

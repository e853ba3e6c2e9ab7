#include "tests/store/RunStoreTestSupport.h"

using namespace storetest;

namespace
{
class RunUndoTest : public RunStoreTest
{
};

TEST_F(RunUndoTest, LastRunIdIsMinusOneWithoutRunsAndCountsOverAllUsers)
{
    int64_t id = 99;
    ASSERT_EQ(1, m_db.GetLastRunId(&id));
    EXPECT_EQ(id, -1);
    StoreAt(Day(1, 5, 2012), At(8));
    LoginAs(u"bob");
    StoreAt(Day(2, 5, 2012), At(8));
    ASSERT_EQ(1, m_db.GetLastRunId(&id));
    EXPECT_EQ(id, 1);
    EXPECT_EQ(0, m_db.GetLastRunId(nullptr));
}

// Only the logged-in user's runs above the number go, with their details; other users' runs and the
// user's older ones stay.
TEST_F(RunUndoTest, DeletesTheUsersRunsAboveTheNumber)
{
    StoreAt(Day(1, 5, 2012), At(8)); // 0
    int64_t before = 0;
    ASSERT_EQ(1, m_db.GetLastRunId(&before));
    LoginAs(u"bob");
    StoreAt(Day(2, 5, 2012), At(8)); // 1, bob's
    LoginAs(u"ann");
    StoreAt(Day(3, 5, 2012), At(8)); // 2
    StoreAt(Day(4, 5, 2012), At(8)); // 3

    ASSERT_EQ(1, m_db.DeleteRunsAbove(before));
    EXPECT_FALSE(m_db.InTransaction());
    EXPECT_EQ(Count(u"Select count(*) from Run where UserID = 'ann'"), 1);
    EXPECT_EQ(Count(u"Select count(*) from Run where UserID = 'bob'"), 1);
    EXPECT_EQ(Count(u"Select count(*) from RunInfo"), 2);
    EXPECT_EQ(Count(u"Select count(*) from RunInfo where RunID in ( 2, 3 )"), 0);
}

TEST_F(RunUndoTest, JoinsAnOpenTransactionAndNeedsAUser)
{
    StoreAt(Day(1, 5, 2012), At(8));
    const RunRecord run = MakeRun(Day(2, 5, 2012), At(8));
    ASSERT_EQ(1, m_db.AddRun(&run));
    ASSERT_TRUE(m_db.InTransaction());
    ASSERT_EQ(1, m_db.DeleteRunsAbove(0));
    EXPECT_FALSE(m_db.InTransaction());
    EXPECT_EQ(Count(u"Select count(*) from Run"), 1);

    ASSERT_EQ(1, m_db.Logout());
    EXPECT_EQ(0, m_db.DeleteRunsAbove(-1));
    EXPECT_EQ(Count(u"Select count(*) from Run"), 1);
}
} // namespace

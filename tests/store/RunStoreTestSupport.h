#pragma once

#include "store/DateTime.h"
#include "store/KvtDatabase.h"

#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <string>

namespace storetest
{
inline DateParts Day(int day, int month, int year)
{
    return DateParts{static_cast<uint8_t>(day), static_cast<uint8_t>(month), static_cast<uint16_t>(year)};
}

inline TimeParts At(int hour, int minute = 0, int second = 0)
{
    return TimeParts{static_cast<uint8_t>(hour), static_cast<uint8_t>(minute), static_cast<uint8_t>(second)};
}

// A run whose values are all told apart by their size.
inline RunRecord MakeRun(DateParts date, TimeParts time, uint32_t runDistance = 4000,
                         uint32_t walkDistance = 500)
{
    RunRecord run{};
    run.date = date;
    run.time = time;
    run.duration = 1800;
    run.walkSteps = 600;
    run.runSteps = 3000;
    run.runDistance = runDistance;
    run.walkDistance = walkDistance;
    run.calories = 250;
    run.temperature = 21;
    run.heartRateBefore = 70;
    run.heartRateAfter = 150;
    return run;
}

inline int64_t Ticks(DateParts date, TimeParts time = TimeParts{0, 0, 0})
{
    int64_t value = 0;
    EXPECT_EQ(1, vxtime::LocalTimeToFileTime(&date, &time, &value));
    return value;
}

// A store with the users "ann" and "bob" (password "pw"), "ann" logged in.
class RunStoreTest : public testing::Test
{
  protected:
    RunStoreTest() : m_db(U16(vxtest::MakeTempDir("runs")))
    {
        const DateParts dob = Day(1, 2, 1980);
        for (const char16_t *user : {u"ann", u"bob"})
            EXPECT_EQ(1, m_db.AddUser(user, u"pw", u"F", u"L", 1, &dob, 40, 170, 3, 60, 5));
        EXPECT_EQ(1, m_db.Login(u"ann", u"pw"));
    }

    void LoginAs(const char16_t *user) { ASSERT_EQ(1, m_db.Login(user, u"pw")); }

    // Adds one run and commits it, as one import of one record.
    void Store(const RunRecord &run)
    {
        ASSERT_EQ(1, m_db.AddRun(&run));
        ASSERT_EQ(1, m_db.Commit());
    }

    void StoreAt(DateParts date, TimeParts time, uint32_t runDistance = 4000, uint32_t walkDistance = 500)
    {
        Store(MakeRun(date, time, runDistance, walkDistance));
    }

    // What another program sees in the file.
    int64_t Count(const std::u16string &sql)
    {
        Peek peek(m_db.GetPath());
        return peek.Count(sql);
    }

    KvtDatabase m_db;
};
} // namespace storetest

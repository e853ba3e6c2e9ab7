#include "store/KvtDatabase.h"

#include "tests/store/RunStoreTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace storetest;

// Text values with unpaired UTF-16 surrogates, at every public function that
// puts text into a statement. The engine reads an unpaired surrogate together
// with the unit after it, so unless such text is refused it can swallow the
// first quote of a doubled '' and end the value early.
namespace
{
const DateParts kMar1 = Day(1, 3, 2010);
const DateParts kMar8 = Day(8, 3, 2010);

struct Hostile
{
    std::string where;
    std::u16string text;
};

std::vector<Hostile> HostileTexts()
{
    std::vector<Hostile> texts;
    for (const char16_t s : {char16_t(0xD800), char16_t(0xDBFF), char16_t(0xDC00)})
    {
        const std::u16string one(1, s);
        char name[8];
        std::snprintf(name, sizeof(name), "%04X", static_cast<unsigned>(s));
        texts.push_back({std::string(name) + " at the start", one + u"ann"});
        texts.push_back({std::string(name) + " at the end", u"ann" + one});
        texts.push_back({std::string(name) + " before a quote", u"x" + one + u"' or 1=1 --"});
        texts.push_back({std::string(name) + " first, before a quote", one + u"' or 1=1 --"});
    }
    return texts;
}

class HostileTextTest : public RunStoreTest
{
  protected:
    HostileTextTest()
    {
        EXPECT_EQ(1, m_db.AddTimeGoal(3600, &kMar1, &kMar8));
        EXPECT_EQ(1, m_db.SaveFacebookInfo(u"ann@example.com", u"fbpw"));
        EXPECT_EQ(1, m_db.SetDeviceSerialNo(u"ANN-SN"));
        StoreAt(kMar1, At(7));
    }

    // Every cell of every table as another program reads it.
    std::string Snapshot()
    {
        Peek peek(m_db.GetPath());
        std::string all;
        for (const char16_t *table : {u"UserInfo", u"Goal", u"GoalInfo", u"Run", u"RunInfo", u"FacebookInfo"})
        {
            EXPECT_EQ(1, peek.Run(u"select * from " + std::u16string(table)));
            const CellTable &cells = peek.Table();
            for (uint32_t r = 0; r < cells.GetRowCount(); ++r)
            {
                for (uint32_t c = 0; c < cells.GetColumnCount(); ++c)
                {
                    uint8_t type = 255;
                    uint32_t length = 0;
                    cells.GetCell(r, c, nullptr, &type, &length);
                    std::string bytes(length, '\0');
                    cells.GetCell(r, c, bytes.data(), &type, &length);
                    all += std::to_string(type) + ":" + bytes + "|";
                }
                all += "\n";
            }
        }
        return all;
    }

    int Update(const char16_t *current, const char16_t *newPassword, const char16_t *first, const char16_t *last)
    {
        const DateParts dob = Day(1, 2, 1980);
        return m_db.UpdateUser(current, newPassword, first, last, 1, &dob, 40, 170, 3, 60, 5);
    }

    int Add(const char16_t *user, const char16_t *password, const char16_t *first, const char16_t *last)
    {
        const DateParts dob = Day(1, 2, 1980);
        return m_db.AddUser(user, password, first, last, 1, &dob, 40, 170, 3, 60, 5);
    }
};
} // namespace

TEST_F(HostileTextTest, LogInIsRefusedAndNothingCanFollowIt)
{
    const std::string before = Snapshot();
    ASSERT_EQ(1, m_db.Logout());
    for (const Hostile &h : HostileTexts())
    {
        SCOPED_TRACE(h.where);
        EXPECT_EQ(0, m_db.CheckPassword(h.text.c_str(), u"pw"));
        EXPECT_EQ(0, m_db.Login(h.text.c_str(), u"pw"));
        EXPECT_EQ(0, m_db.IsLoggedIn());
        // What an intruder would try next: rewrite every password, reach others' goals and runs.
        EXPECT_EQ(0, Update(u"pw", u"owned", u"F", u"L"));
        EXPECT_EQ(-1, m_db.GetGoals(nullptr, 0));
        EXPECT_EQ(0, m_db.DeleteGoal(0));
        EXPECT_EQ(0, m_db.UpdateTimeGoal(0, 1, &kMar1, &kMar8));
        uint32_t distance = 0, duration = 0, count = 0;
        EXPECT_EQ(0, m_db.GetRunTotals(&distance, &duration, &count));
        EXPECT_EQ(0, m_db.DeleteUser());
        EXPECT_EQ(0, m_db.InTransaction());
    }
    EXPECT_EQ(before, Snapshot());
    EXPECT_EQ(1, m_db.Login(u"ann", u"pw"));
    EXPECT_EQ(1, m_db.Login(u"bob", u"pw"));
}

TEST_F(HostileTextTest, LogInFailureKeepsTheEarlierUser)
{
    for (const Hostile &h : HostileTexts())
    {
        SCOPED_TRACE(h.where);
        EXPECT_EQ(0, m_db.Login(h.text.c_str(), u"pw"));
        char16_t serial[33] = {};
        ASSERT_EQ(1, m_db.GetDeviceSerialNo(serial, 33));
        EXPECT_EQ(u"ANN-SN", std::u16string(serial));
    }
}

TEST_F(HostileTextTest, UserFieldsAreRefusedWholeAndNothingIsWritten)
{
    const std::string before = Snapshot();
    for (const Hostile &h : HostileTexts())
    {
        SCOPED_TRACE(h.where);
        const char16_t *t = h.text.c_str();
        EXPECT_EQ(0, Add(t, u"pw", u"F", u"L")) << "user id";
        EXPECT_EQ(0, Add(u"carl", u"pw", t, u"L")) << "first name";
        EXPECT_EQ(0, Add(u"carl", u"pw", u"F", t)) << "last name";
        EXPECT_EQ(0, Update(u"pw", nullptr, t, u"L")) << "first name";
        EXPECT_EQ(0, Update(u"pw", u"new", u"F", t)) << "last name with a new password";
        EXPECT_EQ(0, m_db.SetDeviceSerialNo(t));
        EXPECT_EQ(0, m_db.InTransaction());
        EXPECT_EQ(before, Snapshot());
    }
    EXPECT_EQ(1, m_db.Login(u"ann", u"pw"));
    EXPECT_EQ(1, m_db.Login(u"bob", u"pw"));
}

TEST_F(HostileTextTest, CredentialEmailIsRefused)
{
    const std::string before = Snapshot();
    for (const Hostile &h : HostileTexts())
    {
        SCOPED_TRACE(h.where);
        EXPECT_EQ(0, m_db.SaveFacebookInfo(h.text.c_str(), u"fbpw"));
        EXPECT_EQ(0, m_db.InTransaction());
    }
    EXPECT_EQ(before, Snapshot());
    char16_t email[64];
    char16_t password[64];
    ASSERT_EQ(1, m_db.GetFacebookInfo(email, 64, password, 64));
    EXPECT_EQ(u"ann@example.com", std::u16string(email));
}

// A password reaches the file only as its enciphered hexadecimal text, so any
// UTF-16 it holds is kept exactly, and a different surrogate does not match.
TEST_F(HostileTextTest, PasswordsMayHoldAnyUnitsSinceOnlyTheirCipherTextIsStored)
{
    const std::vector<Hostile> texts = HostileTexts();
    for (std::size_t i = 0; i < texts.size(); ++i)
    {
        const Hostile &h = texts[i];
        SCOPED_TRACE(h.where);
        const std::u16string user = u"u" + U16(std::to_string(i));
        ASSERT_EQ(1, Add(user.c_str(), h.text.c_str(), u"F", u"L"));
        EXPECT_EQ(1, m_db.CheckPassword(user.c_str(), h.text.c_str()));
        std::u16string other = h.text;
        for (char16_t &c : other)
            if (c >= 0xD800 && c <= 0xDFFF)
                c = static_cast<char16_t>(c ^ 1);
        EXPECT_EQ(0, m_db.CheckPassword(user.c_str(), other.c_str()));

        ASSERT_EQ(1, m_db.Login(user.c_str(), h.text.c_str()));
        ASSERT_EQ(1, m_db.SaveFacebookInfo(u"e@example.com", h.text.c_str()));
        char16_t email[64];
        char16_t password[64];
        ASSERT_EQ(1, m_db.GetFacebookInfo(email, 64, password, 64));
        EXPECT_EQ(h.text, std::u16string(password));
    }
}

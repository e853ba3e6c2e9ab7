#include "store/KvtDatabase.h"

#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace storetest;

namespace
{
struct Profile
{
    std::u16string first = u"First";
    std::u16string last = u"Last";
    uint8_t gender = 1;
    DateParts dob = {24, 12, 1979};
    uint8_t age = 46;
    uint16_t height = 183;
    uint8_t heightUnit = 4;
    uint8_t weight = 81;
    uint8_t weightUnit = 6;
};

class KvtDatabaseTest : public testing::Test
{
  protected:
    KvtDatabaseTest() : m_folder(U16(vxtest::MakeTempDir("kvt"))), m_db(m_folder) {}

    int Add(const std::u16string &user, const std::u16string &password, const Profile &p = Profile())
    {
        return m_db.AddUser(user.c_str(), password.c_str(), p.first.c_str(), p.last.c_str(), p.gender, &p.dob,
                            p.age, p.height, p.heightUnit, p.weight, p.weightUnit);
    }

    int Update(const std::u16string &current, const char16_t *newPassword, const Profile &p)
    {
        return m_db.UpdateUser(current.c_str(), newPassword, p.first.c_str(), p.last.c_str(), p.gender,
                               &p.dob, p.age, p.height, p.heightUnit, p.weight, p.weightUnit);
    }

    // The profile of the logged-in user, names read into 100-character buffers.
    std::optional<Profile> Read()
    {
        char16_t first[100];
        char16_t last[100];
        Profile p;
        if (!m_db.GetUser(first, 100, last, 100, &p.gender, &p.dob, &p.age, &p.height, &p.heightUnit,
                          &p.weight, &p.weightUnit))
            return std::nullopt;
        p.first = first;
        p.last = last;
        return p;
    }

    std::u16string StoredPassword(const std::u16string &user)
    {
        Peek peek(m_db.GetPath());
        const auto text = peek.Text(u"select Password from UserInfo where UserID='" + SqlQuote(user).value() + u"'");
        return text ? *text : std::u16string();
    }

    int64_t Count(const std::u16string &sql)
    {
        Peek peek(m_db.GetPath());
        return peek.Count(sql);
    }

    std::u16string m_folder;
    KvtDatabase m_db;
};

void ExpectSameProfile(const Profile &a, const Profile &b)
{
    EXPECT_EQ(a.first, b.first);
    EXPECT_EQ(a.last, b.last);
    EXPECT_EQ(a.gender, b.gender);
    EXPECT_EQ(a.dob.day, b.dob.day);
    EXPECT_EQ(a.dob.month, b.dob.month);
    EXPECT_EQ(a.dob.year, b.dob.year);
    EXPECT_EQ(a.age, b.age);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.heightUnit, b.heightUnit);
    EXPECT_EQ(a.weight, b.weight);
    EXPECT_EQ(a.weightUnit, b.weightUnit);
}
} // namespace

// ---- transactions ----

TEST_F(KvtDatabaseTest, BeginInsideAnOpenTransactionJoinsIt)
{
    EXPECT_EQ(0, m_db.InTransaction());
    EXPECT_EQ(1, m_db.Begin());
    EXPECT_EQ(1, m_db.InTransaction());
    EXPECT_EQ(1, m_db.Begin());
    EXPECT_EQ(1, m_db.InTransaction());
    EXPECT_EQ(1, m_db.Rollback());
    EXPECT_EQ(0, m_db.InTransaction());
}

TEST_F(KvtDatabaseTest, EndingWithoutAnOpenTransaction)
{
    // Nothing to undo is not a failure; nothing to store means nothing was stored.
    EXPECT_EQ(1, m_db.Rollback());
    EXPECT_EQ(0, m_db.Commit());
    EXPECT_EQ(0, m_db.End());
    EXPECT_EQ(1, m_db.Begin());
    EXPECT_EQ(1, m_db.End());
    EXPECT_EQ(0, m_db.InTransaction());
}

TEST_F(KvtDatabaseTest, OperationInsideACallersTransactionCommitsIt)
{
    ASSERT_EQ(1, m_db.Begin());
    EXPECT_EQ(1, Add(u"u", u"pw"));
    EXPECT_EQ(0, m_db.InTransaction());
    EXPECT_EQ(1, Count(u"select count(*) from UserInfo"));
}

TEST_F(KvtDatabaseTest, FailedOperationEndsTheCallersTransaction)
{
    ASSERT_EQ(1, Add(u"u", u"pw"));
    {
        Peek peek(m_db.GetPath());
        ASSERT_EQ(
            1, peek.Run(
                   u"create trigger no_user before insert on UserInfo begin select raise(ABORT, 'x'); end"));
    }
    ASSERT_EQ(1, m_db.Begin());
    EXPECT_EQ(0, Add(u"v", u"pw"));
    EXPECT_EQ(0, m_db.InTransaction());
    EXPECT_EQ(1, m_db.Rollback());
    EXPECT_EQ(1, Count(u"select count(*) from UserInfo"));
}

TEST_F(KvtDatabaseTest, CommitRefusedByTheEngineRollsBackAndFails)
{
    ASSERT_EQ(1, Add(u"u", u"pw"));
    ASSERT_EQ(1, m_db.Login(u"u", u"pw"));
    ASSERT_EQ(1, m_db.SaveFacebookInfo(u"e@x", u"old"));
    const Profile changed = [] {
        Profile p;
        p.first = u"Changed";
        return p;
    }();

    struct Case
    {
        const char *name;
        std::function<int()> run;
    };
    const std::vector<Case> cases = {
        {"AddUser", [&] { return Add(u"second", u"pw"); }},
        {"UpdateUser", [&] { return Update(u"pw", u"new", changed); }},
        {"SetDeviceSerialNo", [&] { return m_db.SetDeviceSerialNo(u"SER"); }},
        {"SaveFacebookInfo", [&] { return m_db.SaveFacebookInfo(u"new@x", u"new"); }},
        {"DeleteUser", [&] { return m_db.DeleteUser(); }},
    };
    const std::u16string passwordBefore = StoredPassword(u"u");
    for (const Case &c : cases)
    {
        // Another program reading the file holds its lock: the engine cannot store the change.
        Peek reader(m_db.GetPath());
        ASSERT_EQ(1, reader.Run(u"BEGIN"));
        ASSERT_EQ(1, reader.Run(u"select count(*) from UserInfo"));
        EXPECT_EQ(0, c.run()) << c.name;
        EXPECT_EQ(0, m_db.InTransaction()) << c.name;
        EXPECT_EQ(1, m_db.IsLoggedIn()) << c.name;
        ASSERT_EQ(1, reader.Run(u"ROLLBACK"));
    }
    EXPECT_EQ(1, Count(u"select count(*) from UserInfo"));
    EXPECT_EQ(passwordBefore, StoredPassword(u"u"));
    EXPECT_EQ(1, Count(u"select count(*) from UserInfo where FirstName='First' and DeviceSerialNo is NULL"));
    EXPECT_EQ(1, Count(u"select count(*) from FacebookInfo where Email='e@x'"));
    // Once the reader is gone the same operations go through.
    EXPECT_EQ(1, m_db.SetDeviceSerialNo(u"SER"));
    EXPECT_EQ(1, m_db.DeleteUser());
    EXPECT_EQ(0, m_db.IsLoggedIn());
}

TEST_F(KvtDatabaseTest, StatementFailingWhileItRunsRollsTheOperationBack)
{
    ASSERT_EQ(1, Add(u"u", u"pw"));
    ASSERT_EQ(1, m_db.Login(u"u", u"pw"));
    ASSERT_EQ(1, m_db.SaveFacebookInfo(u"first@x", u"one"));
    {
        Peek peek(m_db.GetPath());
        ASSERT_EQ(
            1,
            peek.Run(
                u"create trigger no_fb before insert on FacebookInfo begin select raise(ABORT, 'x'); end"));
        ASSERT_EQ(
            1, peek.Run(
                   u"create trigger no_user before insert on UserInfo begin select raise(ABORT, 'x'); end"));
        ASSERT_EQ(
            1, peek.Run(u"create trigger no_del before delete on Run begin select raise(ABORT, 'x'); end"));
        ASSERT_EQ(1, peek.Run(u"insert into Run values('u', 1, -1)"));
    }
    EXPECT_EQ(0, Add(u"second", u"pw"));
    // The earlier credentials are not lost with the refused save.
    EXPECT_EQ(0, m_db.SaveFacebookInfo(u"second@x", u"two"));
    char16_t email[50];
    char16_t password[50];
    ASSERT_EQ(1, m_db.GetFacebookInfo(email, 50, password, 50));
    EXPECT_EQ(u"first@x", std::u16string(email));
    EXPECT_EQ(u"one", std::u16string(password));
    // A refused delete keeps the account and the login.
    EXPECT_EQ(0, m_db.DeleteUser());
    EXPECT_EQ(1, m_db.IsLoggedIn());
    EXPECT_EQ(0, m_db.InTransaction());
    EXPECT_EQ(1, Count(u"select count(*) from UserInfo"));
    EXPECT_EQ(1, Count(u"select count(*) from Run"));
}

// ---- login ----

TEST_F(KvtDatabaseTest, LoginRules)
{
    EXPECT_EQ(0, m_db.Logout());
    ASSERT_EQ(1, Add(u"ann", u"secret", Profile{.first = u"Ann"}));
    ASSERT_EQ(1, Add(u"bob", u"hunter2", Profile{.first = u"Bob"}));
    EXPECT_EQ(0, m_db.Login(u"ann", u"wrong"));
    EXPECT_EQ(0, m_db.IsLoggedIn());
    EXPECT_EQ(0, m_db.Login(u"nobody", u"secret"));
    EXPECT_EQ(0, m_db.Login(nullptr, u"secret"));
    EXPECT_EQ(0, m_db.Login(u"ann", nullptr));
    EXPECT_EQ(0, m_db.Login(u"ann", u""));

    ASSERT_EQ(1, m_db.Login(u"ann", u"secret"));
    EXPECT_EQ(0, m_db.Login(u"bob", u"secret")); // another user's password
    ASSERT_TRUE(Read());
    EXPECT_EQ(u"Ann", Read()->first);
    ASSERT_EQ(1, m_db.Login(u"bob", u"hunter2")); // a second login replaces the first
    EXPECT_EQ(u"Bob", Read()->first);
    EXPECT_EQ(1, m_db.Logout());
    EXPECT_EQ(0, m_db.Logout());
    EXPECT_EQ(0, m_db.IsLoggedIn());
}

TEST_F(KvtDatabaseTest, PerUserOperationsNeedALogin)
{
    ASSERT_EQ(1, Add(u"u", u"pw"));
    for (int loggedOut = 0; loggedOut < 2; ++loggedOut)
    {
        if (loggedOut)
        {
            ASSERT_EQ(1, m_db.Login(u"u", u"pw"));
            ASSERT_EQ(1, m_db.Logout());
        }
        char16_t a[10], b[10];
        DateParts dob{};
        EXPECT_EQ(0, Update(u"pw", nullptr, Profile()));
        EXPECT_EQ(0, m_db.GetUser(a, 10, b, 10, nullptr, &dob, nullptr, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(0, m_db.DeleteUser());
        EXPECT_EQ(0, m_db.SetDeviceSerialNo(u"S"));
        EXPECT_EQ(0, m_db.GetDeviceSerialNo(a, 10));
        EXPECT_EQ(0, m_db.HasFacebookInfo());
        EXPECT_EQ(0, m_db.SaveFacebookInfo(u"e", u"p"));
        EXPECT_EQ(0, m_db.GetFacebookInfo(a, 10, b, 10));
    }
    EXPECT_EQ(1, Count(u"select count(*) from UserInfo where DeviceSerialNo is NULL"));
    EXPECT_EQ(0, Count(u"select count(*) from FacebookInfo"));
}

// ---- accounts ----

TEST_F(KvtDatabaseTest, AddedProfileReadsBack)
{
    Profile p;
    p.first = u"Zoë";
    p.last = u"Ångström-李";
    p.gender = 2;
    p.dob = {29, 2, 2000};
    p.age = 25;
    p.height = 301;
    p.heightUnit = 3;
    p.weight = 254;
    p.weightUnit = 5;
    ASSERT_EQ(1, Add(u"zoe", u"pw", p));
    EXPECT_EQ(0, m_db.IsLoggedIn()); // adding does not log in
    ASSERT_EQ(1, m_db.Login(u"zoe", u"pw"));
    const auto read = Read();
    ASSERT_TRUE(read);
    ExpectSameProfile(p, *read);
    EXPECT_EQ(
        1,
        Count(u"select count(*) from UserInfo where UserID='zoe' and Height=301 and HeightUnit=3 and "
              u"Weight=254 and WeightUnit=5 and Age=25 and DOB_Year=2000 and DOB_Month=2 and DOB_Day=29 and "
              u"Gender=2 and DeviceSerialNo is NULL"));
}

TEST_F(KvtDatabaseTest, AddUserRefusals)
{
    ASSERT_EQ(1, Add(u"u", u"first", Profile{.first = u"Original"}));
    const std::u16string stored = StoredPassword(u"u");
    EXPECT_EQ(0, Add(u"u", u"second", Profile{.first = u"Other"}));
    EXPECT_EQ(stored, StoredPassword(u"u"));
    EXPECT_EQ(1, Count(u"select count(*) from UserInfo where FirstName='Original'"));

    const Profile p;
    EXPECT_EQ(0, m_db.AddUser(u"v", u"pw", u"a", u"b", 1, nullptr, 1, 1, 3, 1, 5)); // no date of birth
    EXPECT_EQ(0, m_db.AddUser(u"v", u"", u"a", u"b", 1, &p.dob, 1, 1, 3, 1, 5));    // empty password
    EXPECT_EQ(0, m_db.AddUser(u"v", nullptr, u"a", u"b", 1, &p.dob, 1, 1, 3, 1, 5));
    EXPECT_EQ(0, m_db.AddUser(nullptr, u"pw", u"a", u"b", 1, &p.dob, 1, 1, 3, 1, 5));
    EXPECT_EQ(0, m_db.AddUser(u"v", u"pw", nullptr, u"b", 1, &p.dob, 1, 1, 3, 1, 5));
    EXPECT_EQ(0, m_db.InTransaction());
    EXPECT_EQ(1, Count(u"select count(*) from UserInfo"));
}

TEST_F(KvtDatabaseTest, StoredPasswordTexts)
{
    // Enciphered independently of this code: AES-128 under the store's key,
    // zero-completed or completed with the previous block, reversed hex.
    ASSERT_EQ(1, Add(u"a", u"abc"));
    EXPECT_EQ(u"624D80920979D4E964A5174C9943AE35", StoredPassword(u"a"));
    ASSERT_EQ(1, Add(u"b", u"abcdefghi"));
    EXPECT_EQ(u"189A1527EC72476CD8A9CBA34CAC440F7ED8104B8F7A7C098AC7D34D75D726AE", StoredPassword(u"b"));
    ASSERT_EQ(1, Add(u"c", u"abcdefgh"));
    EXPECT_EQ(32u, StoredPassword(u"c").size());
}

TEST_F(KvtDatabaseTest, PasswordMustMatchWhole)
{
    ASSERT_EQ(1, Add(u"u", u"abcdefgh"));
    EXPECT_EQ(1, m_db.CheckPassword(u"u", u"abcdefgh"));
    for (const char16_t *wrong :
         {u"abcdefg", u"abcdefghi", u"abcdefgh ", u"ABCDEFGH", u"abcdefgh\u00e9", u"a"})
        EXPECT_EQ(0, m_db.CheckPassword(u"u", wrong)) << U8(wrong);
    EXPECT_EQ(0, m_db.CheckPassword(u"v", u"abcdefgh"));
    EXPECT_EQ(0, m_db.CheckPassword(nullptr, u"abcdefgh"));
    EXPECT_EQ(0, m_db.CheckPassword(u"u", nullptr));
}

TEST_F(KvtDatabaseTest, NamesAreCutToTheBuffer)
{
    const std::u16string sixty(60, u'n');
    const std::u16string long120 = std::u16string(99, u'x') + std::u16string(21, u'y');
    ASSERT_EQ(1, Add(u"u", u"pw", Profile{.first = sixty, .last = long120}));
    ASSERT_EQ(1, m_db.Login(u"u", u"pw"));
    char16_t first[100];
    char16_t last[100];
    std::fill(first, first + 100, u'#');
    std::fill(last, last + 100, u'#');
    DateParts dob{};
    ASSERT_EQ(
        1, m_db.GetUser(first, 100, last, 100, nullptr, &dob, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(sixty, std::u16string(first));
    for (int i = 60; i < 100; ++i)
        EXPECT_EQ(u'\0', first[i]) << i; // cleared over the whole buffer
    EXPECT_EQ(std::u16string(99, u'x'), std::u16string(last, 99));
    EXPECT_EQ(u'\0', last[99]);

    char16_t tiny[1] = {u'#'};
    ASSERT_EQ(1,
              m_db.GetUser(tiny, 1, last, 100, nullptr, &dob, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(u'\0', tiny[0]);
    EXPECT_EQ(
        0, m_db.GetUser(nullptr, 1, last, 100, nullptr, &dob, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0, m_db.GetUser(first, 100, last, 100, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr));
}

TEST_F(KvtDatabaseTest, CellsThatAreNotIntegersGiveTheDefaults)
{
    ASSERT_EQ(1, Add(u"u", u"pw"));
    ASSERT_EQ(1, m_db.Login(u"u", u"pw"));
    {
        Peek peek(m_db.GetPath());
        ASSERT_EQ(
            1, peek.Run(u"update UserInfo set FirstName=NULL, LastName=x'3700', Gender=NULL, DOB_Year='y', "
                        u"DOB_Month=NULL, DOB_Day=1.5, Age=NULL, Height=NULL, HeightUnit=NULL, Weight='w', "
                        u"WeightUnit=NULL"));
    }
    const auto read = Read();
    ASSERT_TRUE(read);
    EXPECT_EQ(u"", read->first);
    EXPECT_EQ(u"", read->last);
    EXPECT_EQ(255, read->gender);
    EXPECT_EQ(0, read->dob.year);
    EXPECT_EQ(0, read->dob.month);
    EXPECT_EQ(0, read->dob.day);
    EXPECT_EQ(0, read->age);
    EXPECT_EQ(0, read->height);
    EXPECT_EQ(255, read->heightUnit);
    EXPECT_EQ(0, read->weight);
    EXPECT_EQ(255, read->weightUnit);
}

TEST_F(KvtDatabaseTest, UpdateUser)
{
    ASSERT_EQ(1, Add(u"u", u"old"));
    ASSERT_EQ(1, m_db.Login(u"u", u"old"));
    Profile p;
    p.first = u"New";
    p.last = u"Name";
    p.gender = 0;
    p.dob = {1, 1, 1990};
    p.age = 35;
    p.height = 160;
    p.heightUnit = 3;
    p.weight = 55;
    p.weightUnit = 5;

    EXPECT_EQ(0, Update(u"wrong", nullptr, p));
    EXPECT_EQ(u"First", Read()->first);
    EXPECT_EQ(0, m_db.UpdateUser(u"old", nullptr, u"a", u"b", 0, nullptr, 0, 0, 0, 0, 0));

    // Without a new password (null or empty) the password stays.
    const std::u16string stored = StoredPassword(u"u");
    ASSERT_EQ(1, Update(u"old", nullptr, p));
    ExpectSameProfile(p, *Read());
    p.first = u"Again";
    ASSERT_EQ(1, Update(u"old", u"", p));
    EXPECT_EQ(u"Again", Read()->first);
    EXPECT_EQ(stored, StoredPassword(u"u"));

    ASSERT_EQ(1, Update(u"old", u"brand-new", p));
    EXPECT_EQ(1, m_db.IsLoggedIn());
    EXPECT_EQ(0, m_db.CheckPassword(u"u", u"old"));
    EXPECT_EQ(1, m_db.CheckPassword(u"u", u"brand-new"));
    EXPECT_EQ(0, m_db.InTransaction());
}

TEST_F(KvtDatabaseTest, DeviceSerialNumber)
{
    ASSERT_EQ(1, Add(u"u", u"pw"));
    ASSERT_EQ(1, m_db.Login(u"u", u"pw"));
    char16_t buffer[33];
    std::fill(buffer, buffer + 33, u'#');
    ASSERT_EQ(1, m_db.GetDeviceSerialNo(buffer, 33));
    EXPECT_EQ(u"", std::u16string(buffer));

    const std::u16string serial = u"SER'0123456789ABCDEF0123456789AB";
    ASSERT_EQ(1, m_db.SetDeviceSerialNo(serial.c_str()));
    ASSERT_EQ(1, m_db.GetDeviceSerialNo(buffer, 33));
    EXPECT_EQ(serial.substr(0, 32), std::u16string(buffer));
    char16_t small[5];
    ASSERT_EQ(1, m_db.GetDeviceSerialNo(small, 5));
    EXPECT_EQ(u"SER'", std::u16string(small));
    EXPECT_EQ(0, m_db.GetDeviceSerialNo(small, 0));
    EXPECT_EQ(0, m_db.GetDeviceSerialNo(nullptr, 5));
    EXPECT_EQ(0, m_db.SetDeviceSerialNo(nullptr));

    ASSERT_EQ(1, m_db.SetDeviceSerialNo(u""));
    EXPECT_EQ(1, Count(u"select count(*) from UserInfo where DeviceSerialNo is NULL"));
    ASSERT_EQ(1, m_db.GetDeviceSerialNo(buffer, 33));
    EXPECT_EQ(u"", std::u16string(buffer));

    // A cell of another type leaves the buffer as it was.
    {
        Peek peek(m_db.GetPath());
        ASSERT_EQ(1, peek.Run(u"update UserInfo set DeviceSerialNo = x'3400'"));
    }
    std::fill(buffer, buffer + 33, u'#');
    ASSERT_EQ(1, m_db.GetDeviceSerialNo(buffer, 33));
    EXPECT_EQ(u'#', buffer[0]);
}

TEST_F(KvtDatabaseTest, DeleteOneUserAmongTwo)
{
    ASSERT_EQ(1, Add(u"keep", u"pw"));
    ASSERT_EQ(1, Add(u"gone", u"pw"));
    {
        Peek peek(m_db.GetPath());
        for (const char16_t *sql :
             {u"insert into Run values('keep', 1, 10)", u"insert into Run values('gone', 2, 20)",
              u"insert into Run values('gone', 3, -1)",
              u"insert into RunInfo (RunID, RunDateTime) values(1, 100)",
              u"insert into RunInfo (RunID, RunDateTime) values(2, 200)",
              u"insert into RunInfo (RunID, RunDateTime) values(3, 300)",
              u"insert into Goal values('keep', 10)", u"insert into Goal values('gone', 20)",
              u"insert into GoalInfo (GoalID, GoalStatus) values(10, 0)",
              u"insert into GoalInfo (GoalID, GoalStatus) values(20, 0)"})
            ASSERT_EQ(1, peek.Run(sql));
    }
    for (const char16_t *user : {u"keep", u"gone"})
    {
        ASSERT_EQ(1, m_db.Login(user, u"pw"));
        ASSERT_EQ(1, m_db.SaveFacebookInfo(u"e", u"p"));
    }
    ASSERT_EQ(1, m_db.Login(u"gone", u"pw"));
    ASSERT_EQ(1, m_db.DeleteUser());
    EXPECT_EQ(0, m_db.IsLoggedIn());
    EXPECT_EQ(0, m_db.Login(u"gone", u"pw"));
    EXPECT_EQ(0, m_db.InTransaction());

    EXPECT_EQ(1, Count(u"select count(*) from UserInfo"));
    EXPECT_EQ(1, Count(u"select count(*) from UserInfo where UserID='keep'"));
    EXPECT_EQ(1, Count(u"select count(*) from Run where UserID='keep' and RunID=1"));
    EXPECT_EQ(1, Count(u"select count(*) from Run"));
    EXPECT_EQ(1, Count(u"select count(*) from RunInfo where RunID=1"));
    EXPECT_EQ(1, Count(u"select count(*) from RunInfo"));
    EXPECT_EQ(1, Count(u"select count(*) from Goal where UserID='keep'"));
    EXPECT_EQ(1, Count(u"select count(*) from Goal"));
    EXPECT_EQ(1, Count(u"select count(*) from GoalInfo where GoalID=10"));
    EXPECT_EQ(1, Count(u"select count(*) from GoalInfo"));
    EXPECT_EQ(1, Count(u"select count(*) from FacebookInfo where UserID='keep'"));
    EXPECT_EQ(1, Count(u"select count(*) from FacebookInfo"));
    EXPECT_EQ(1, m_db.Login(u"keep", u"pw"));
}

// ---- quoting ----

TEST_F(KvtDatabaseTest, ApostrophesInEveryTextValue)
{
    const std::u16string user = u"O'Brien's";
    const std::u16string password = u"it's'";
    Profile p;
    p.first = u"D'Arcy";
    p.last = u"O'Neil''";
    ASSERT_EQ(1, Add(user, password, p));
    ASSERT_EQ(1, m_db.CheckPassword(user.c_str(), password.c_str()));
    ASSERT_EQ(1, m_db.Login(user.c_str(), password.c_str()));
    ExpectSameProfile(p, *Read());
    ASSERT_EQ(1, m_db.SetDeviceSerialNo(u"SN'1"));
    ASSERT_EQ(1, m_db.SaveFacebookInfo(u"o'b@example.com", u"p'w"));
    EXPECT_EQ(1, m_db.HasFacebookInfo());
    char16_t serial[33];
    ASSERT_EQ(1, m_db.GetDeviceSerialNo(serial, 33));
    EXPECT_EQ(u"SN'1", std::u16string(serial));
    char16_t email[64];
    char16_t fb[64];
    ASSERT_EQ(1, m_db.GetFacebookInfo(email, 64, fb, 64));
    EXPECT_EQ(u"o'b@example.com", std::u16string(email));
    EXPECT_EQ(u"p'w", std::u16string(fb));
    p.first = u"'";
    ASSERT_EQ(1, Update(password, u"new'one", p));
    ASSERT_EQ(1, m_db.CheckPassword(user.c_str(), u"new'one"));

    // Stored as entered, byte for byte.
    Peek peek(m_db.GetPath());
    ASSERT_EQ(1, peek.Run(u"select UserID, FirstName, LastName, DeviceSerialNo from UserInfo"));
    std::u16string text;
    ASSERT_EQ(1, peek.Table().GetText(0, 0, &text));
    EXPECT_EQ(user, text);
    ASSERT_EQ(1, peek.Table().GetText(0, 1, &text));
    EXPECT_EQ(u"'", text);
    ASSERT_EQ(1, peek.Table().GetText(0, 2, &text));
    EXPECT_EQ(u"O'Neil''", text);
    ASSERT_EQ(1, peek.Table().GetText(0, 3, &text));
    EXPECT_EQ(u"SN'1", text);
    ASSERT_EQ(1, peek.Run(u"select UserID, Email from FacebookInfo"));
    ASSERT_EQ(1, peek.Table().GetText(0, 0, &text));
    EXPECT_EQ(user, text);
    ASSERT_EQ(1, peek.Table().GetText(0, 1, &text));
    EXPECT_EQ(u"o'b@example.com", text);

    ASSERT_EQ(1, m_db.DeleteUser());
    EXPECT_EQ(0, Count(u"select count(*) from UserInfo"));
    EXPECT_EQ(0, Count(u"select count(*) from FacebookInfo"));
}

TEST_F(KvtDatabaseTest, InjectedUserIdChangesNoStatement)
{
    const std::u16string injector = u"x' or '1'='1";
    ASSERT_EQ(1, Add(u"victim", u"victim-pw", Profile{.first = u"Victim"}));
    ASSERT_EQ(1, Add(injector, u"pw"));
    ASSERT_EQ(1, m_db.Login(u"victim", u"victim-pw"));
    ASSERT_EQ(1, m_db.SaveFacebookInfo(u"v@x", u"vfb"));
    ASSERT_EQ(1, m_db.SetDeviceSerialNo(u"VICTIM"));

    // The victim's password does not open the injector's account, nor the other way round.
    EXPECT_EQ(0, m_db.CheckPassword(injector.c_str(), u"victim-pw"));
    EXPECT_EQ(0, m_db.Login(u"victim' --", u"pw"));
    ASSERT_EQ(1, m_db.Login(injector.c_str(), u"pw"));
    EXPECT_EQ(0, m_db.HasFacebookInfo());
    char16_t a[64], b[64];
    EXPECT_EQ(0, m_db.GetFacebookInfo(a, 64, b, 64));
    ASSERT_EQ(1, m_db.SetDeviceSerialNo(u"MINE"));
    ASSERT_EQ(1, Update(u"pw", u"pw2", Profile{.first = u"Injector"}));
    ASSERT_EQ(1, m_db.DeleteUser());

    EXPECT_EQ(1, Count(u"select count(*) from UserInfo"));
    EXPECT_EQ(1, Count(u"select count(*) from UserInfo where UserID='victim' and FirstName='Victim' and "
                       u"DeviceSerialNo='VICTIM'"));
    EXPECT_EQ(1, Count(u"select count(*) from FacebookInfo where UserID='victim'"));
    EXPECT_EQ(1, m_db.Login(u"victim", u"victim-pw"));

    const std::u16string dropper = u"a'); Delete from UserInfo; --";
    ASSERT_EQ(1, Add(dropper, u"pw"));
    EXPECT_EQ(2, Count(u"select count(*) from UserInfo"));
    EXPECT_EQ(1, m_db.Login(dropper.c_str(), u"pw"));
}

// ---- social-site credentials ----

TEST_F(KvtDatabaseTest, CredentialsRoundTripForOneToTwentyCharacters)
{
    ASSERT_EQ(1, Add(u"u", u"pw"));
    ASSERT_EQ(1, m_db.Login(u"u", u"pw"));
    EXPECT_EQ(0, m_db.HasFacebookInfo());
    const std::u16string alphabet = u"aB3$é中'xYz0123456789Q";
    for (std::size_t n = 1; n <= 20; ++n)
    {
        const std::u16string password = alphabet.substr(0, n);
        const std::u16string email = u"user" + U16(std::to_string(n)) + u"@example.com";
        ASSERT_EQ(1, m_db.SaveFacebookInfo(email.c_str(), password.c_str())) << n;
        EXPECT_EQ(1, m_db.HasFacebookInfo());
        char16_t readEmail[100];
        char16_t readPassword[100];
        ASSERT_EQ(1, m_db.GetFacebookInfo(readEmail, 100, readPassword, 100)) << n;
        EXPECT_EQ(email, std::u16string(readEmail)) << n;
        EXPECT_EQ(password, std::u16string(readPassword)) << n;
        // The terminator is enciphered too: 2n + 2 bytes in whole 16-byte blocks.
        Peek peek(m_db.GetPath());
        const auto stored = peek.Text(u"select Password from FacebookInfo");
        ASSERT_TRUE(stored);
        EXPECT_EQ(((2 * n + 2 + 15) / 16) * 32, stored->size()) << n;
        EXPECT_EQ(1, peek.Count(u"select count(*) from FacebookInfo"))
            << n; // a save replaces the earlier one
    }
}

TEST_F(KvtDatabaseTest, NewestCredentialsCountWhenAFileHoldsSeveral)
{
    ASSERT_EQ(1, Add(u"u", u"pw"));
    ASSERT_EQ(1, Add(u"other", u"pw"));
    ASSERT_EQ(1, m_db.Login(u"other", u"pw"));
    ASSERT_EQ(1, m_db.SaveFacebookInfo(u"other@x", u"otherpw"));
    ASSERT_EQ(1, m_db.Login(u"u", u"pw"));
    // Files written by earlier versions gained a row with every save.
    std::vector<std::u16string> stored;
    for (const char16_t *pw : {u"oldest", u"older", u"newest"})
    {
        ASSERT_EQ(1, m_db.SaveFacebookInfo(u"e@x", pw));
        Peek peek(m_db.GetPath());
        stored.push_back(*peek.Text(u"select Password from FacebookInfo where UserID='u'"));
    }
    {
        Peek peek(m_db.GetPath());
        ASSERT_EQ(1, peek.Run(u"delete from FacebookInfo where UserID='u'"));
        for (std::size_t i = 0; i < stored.size(); ++i)
            ASSERT_EQ(1, peek.Run(u"insert into FacebookInfo values('u', 'mail" + U16(std::to_string(i)) +
                                  u"', '" + stored[i] + u"')"));
    }
    char16_t email[50];
    char16_t password[50];
    ASSERT_EQ(1, m_db.GetFacebookInfo(email, 50, password, 50));
    EXPECT_EQ(u"mail2", std::u16string(email));
    EXPECT_EQ(u"newest", std::u16string(password));

    ASSERT_EQ(1, m_db.SaveFacebookInfo(u"final@x", u"final"));
    EXPECT_EQ(1, Count(u"select count(*) from FacebookInfo where UserID='u'"));
    EXPECT_EQ(1, Count(u"select count(*) from FacebookInfo where UserID='other'"));
}

TEST_F(KvtDatabaseTest, CredentialsReadIntoSmallBuffers)
{
    ASSERT_EQ(1, Add(u"u", u"pw"));
    ASSERT_EQ(1, m_db.Login(u"u", u"pw"));
    ASSERT_EQ(1, m_db.SaveFacebookInfo(u"someone@example.com", u"0123456789abcdef"));
    char16_t email[5];
    char16_t password[9];
    ASSERT_EQ(1, m_db.GetFacebookInfo(email, 5, password, 9));
    EXPECT_EQ(u"some", std::u16string(email));
    EXPECT_EQ(u"01234567", std::u16string(password));
    EXPECT_EQ(0, m_db.GetFacebookInfo(nullptr, 5, password, 9));
    EXPECT_EQ(0, m_db.GetFacebookInfo(email, 5, password, 0));
    EXPECT_EQ(0, m_db.SaveFacebookInfo(nullptr, u"p"));
    EXPECT_EQ(0, m_db.SaveFacebookInfo(u"e", nullptr));
}

TEST_F(KvtDatabaseTest, DamagedCredentialRowsAreReadSafely)
{
    ASSERT_EQ(1, Add(u"u", u"pw"));
    ASSERT_EQ(1, m_db.Login(u"u", u"pw"));
    char16_t email[50];
    char16_t password[50];
    struct Case
    {
        const char16_t *value;
        int expected;
    };
    // Whole blocks that carry no zero character, text that is not hex, nothing at all, no text.
    const Case cases[] = {{u"'0123456789ABCDEF0123456789ABCDEF'", 1},
                          {u"'zz23456789ABCDEF0123456789abcdef'", 1},
                          {u"'1'", 0},
                          {u"''", 0},
                          {u"NULL", 0},
                          {u"x'00'", 0}};
    for (const Case &c : cases)
    {
        {
            Peek peek(m_db.GetPath());
            ASSERT_EQ(1, peek.Run(u"delete from FacebookInfo"));
            ASSERT_EQ(
                1, peek.Run(u"insert into FacebookInfo values('u', 'e', " + std::u16string(c.value) + u")"));
        }
        std::fill(password, password + 50, u'#');
        EXPECT_EQ(c.expected, m_db.GetFacebookInfo(email, 50, password, 50)) << U8(c.value);
        // Never more than the deciphered 16 bytes, and always terminated.
        EXPECT_LE(std::u16string(password).size(), 8u) << U8(c.value);
    }
}

// ---- stored password texts given back ----

TEST_F(KvtDatabaseTest, DecryptPasswordForOneToTwentyCharacters)
{
    const std::u16string alphabet = u"abcdefghijklmnopqrst";
    for (std::size_t n = 1; n <= 20; ++n)
    {
        const std::u16string user = u"user" + U16(std::to_string(n));
        const std::u16string password = alphabet.substr(0, n);
        ASSERT_EQ(1, Add(user, password));
        const std::u16string stored = StoredPassword(user);
        std::u16string back;
        ASSERT_EQ(1, m_db.DecryptPassword(stored.c_str(), &back)) << n;
        if (n <= 8 || n % 8 == 0)
        {
            EXPECT_EQ(password, back) << n;
        }
        else
        {
            // The completed last block comes back as well: a longer text that
            // enciphers to the same stored text, so it logs the user in.
            EXPECT_EQ(password, back.substr(0, n)) << n;
            EXPECT_EQ(((n + 7) / 8) * 8, back.size()) << n;
        }
        EXPECT_EQ(1, m_db.Login(user.c_str(), back.c_str())) << n;
    }
}

TEST_F(KvtDatabaseTest, DecryptPasswordRefusals)
{
    std::u16string out = u"keep";
    EXPECT_EQ(0, m_db.DecryptPassword(nullptr, &out));
    EXPECT_EQ(0, m_db.DecryptPassword(u"", &out));
    EXPECT_EQ(0, m_db.DecryptPassword(u"A", &out));
    EXPECT_EQ(0, m_db.DecryptPassword(u"AB", nullptr));
    EXPECT_EQ(u"keep", out);
}

TEST_F(KvtDatabaseTest, TextsWithLoneSurrogatesAreRefusedAndPairsKept)
{
    // The engine would make another character of a lone surrogate and the one after it (here the
    // closing quote of a literal, or the "b"), so such a text is never stored as something else.
    const char16_t beforeQuote[] = {u'x', 0xD800, u'\'', u'y', 0};
    const char16_t beforeLetter[] = {u'a', 0xD83D, u'b', 0};
    const char16_t lowAlone[] = {0xDE00, u'z', 0};
    ASSERT_EQ(1, Add(u"ann", u"pw"));
    for (const char16_t *bad : {beforeQuote, beforeLetter, lowAlone})
    {
        Profile p;
        p.first = bad;
        EXPECT_EQ(0, Add(u"bob", u"pw", p));
        EXPECT_EQ(0, Add(bad, u"pw"));
        EXPECT_EQ(0, m_db.CheckPassword(bad, u"pw"));
        EXPECT_EQ(0, m_db.InTransaction());
    }
    EXPECT_EQ(1, Count(u"select count(*) from UserInfo"));

    ASSERT_EQ(1, m_db.Login(u"ann", u"pw"));
    Profile p;
    p.first = beforeLetter;
    EXPECT_EQ(0, Update(u"pw", nullptr, p));
    EXPECT_EQ(0, m_db.SetDeviceSerialNo(lowAlone));
    EXPECT_EQ(u"First", Read()->first);

    // A whole pair is a character like any other.
    p.first = u"\U0001F600'\U0001F600";
    ASSERT_EQ(1, Update(u"pw", nullptr, p));
    EXPECT_EQ(p.first, Read()->first);
}

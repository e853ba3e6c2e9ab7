// The New Account page and its sign-up step, against a real records store, with and without a
// simulated monitor.
#include "tests/app/dialog/AccountFormTestSupport.h"

#include <map>

using namespace accounttest;

namespace
{
// The form as a test types it; ids of the page.
struct Entry
{
    std::u16string first = u"Ann", last = u"Lee", day = u"1", month = u"2", year = u"1980";
    std::u16string height = u"170", inches = u"", weight = u"60";
    std::u16string login = u"ann", password = u"abc", verify = u"abc";
};

class NewAccountTest : public AccountFlowTest
{
  protected:
    // Opens the page in the given units and types the entry into it.
    static void Type(AccountDlg &dlg, const Entry &e, bool metric = true)
    {
        dlg.SetDistanceUnit(metric ? TRUE : FALSE);
        dlg.ShowNewAccountView();
        const std::pair<UINT, const std::u16string *> fields[] = {
            {1014, &e.first},  {1015, &e.last},   {1016, &e.day},   {1017, &e.month},
            {1018, &e.year},   {1020, &e.height}, {1021, &e.inches}, {1022, &e.weight},
            {1023, &e.login},  {1004, &e.password}, {1024, &e.verify},
        };
        for (const auto &[id, text] : fields)
            SetText(dlg, id, *text);
    }
};
} // namespace

TEST_F(NewAccountTest, ThePageShowsTheFormInTheDialogsUnitsAndSignsUpOnEnter)
{
    AccountDlg dlg;
    Run(dlg, [&] {
        for (const bool metric : {true, false})
        {
            SCOPED_TRACE(metric ? "metric" : "imperial");
            dlg.SetDistanceUnit(metric ? TRUE : FALSE);
            dlg.m_bIgnoreDeviceArrival = FALSE;
            dlg.ShowNewAccountView();
            EXPECT_TRUE(dlg.m_bIgnoreDeviceArrival);
            EXPECT_EQ(Checked(dlg, 1216), metric);
            EXPECT_EQ(Checked(dlg, 1361), !metric);
            EXPECT_TRUE(Checked(dlg, 1034));
            EXPECT_FALSE(Checked(dlg, 1033));
            EXPECT_EQ(Caption(dlg, 1213), metric ? u"cm" : u"feet");
            EXPECT_EQ(Caption(dlg, 1214), metric ? u"kg" : u"lbs");
            EXPECT_EQ(dlg.GetDlgItem(1021)->IsWindowVisible(), metric ? FALSE : TRUE);
            EXPECT_EQ(dynamic_cast<UIEdit *>(dlg.GetDlgItem(1022))->IsNumericOnly(), TRUE);
            EXPECT_EQ(Caption(dlg, 1003), u"Sign up >");
            EXPECT_EQ(Caption(dlg, 1226), u"First Name:");
            EXPECT_EQ(Caption(dlg, 1243), u"Verify New Password:");
            EXPECT_EQ(Caption(dlg, 1237), u"Metric ");
            EXPECT_NE(dlg.GetDlgItem(1154), nullptr);
            EXPECT_NE(dlg.GetDlgItem(CKVTDlg::kCloseButtonId), nullptr);
            // No navigation bar, no old-password field.
            EXPECT_EQ(dlg.GetDlgItem(1026), nullptr);
            EXPECT_EQ(dlg.GetDlgItem(1152), nullptr);
            // The date fields fill the age label.
            SetText(dlg, 1016, u"16");
            SetText(dlg, 1017, u"6");
            SetText(dlg, 1018, u"1996");
            EXPECT_EQ(Caption(dlg, 1019), u"29");
        }
        // Enter signs up: with nothing typed, the form asks for everything.
        dlg.ShowNewAccountView();
        dlg.OnOK();
        EXPECT_EQ(StatusText(dlg), u"Sorry!!  Please fill in all info to sign up");
    });
}

TEST_F(NewAccountTest, EachCheckStopsTheSignUpInItsOrderAndCreatesNothing)
{
    struct Case
    {
        const char *name;
        std::function<void(Entry &)> change;
        const char16_t *status;
    };
    const char16_t *kFill = u"Sorry!!  Please fill in all info to sign up";
    const char16_t *kDate = u"Error in entry for date of birth.";
    const char16_t *kRefused = u"Sorry! Login name has been used or password is invalid, please re-enter new.";
    const Case cases[] = {
        {"first name missing", [](Entry &e) { e.first.clear(); }, kFill},
        {"last name missing", [](Entry &e) { e.last.clear(); }, kFill},
        {"day missing", [](Entry &e) { e.day.clear(); }, kFill},
        {"month missing", [](Entry &e) { e.month.clear(); }, kFill},
        {"year missing", [](Entry &e) { e.year.clear(); }, kFill},
        {"height missing", [](Entry &e) { e.height.clear(); }, kFill},
        {"weight missing", [](Entry &e) { e.weight.clear(); }, kFill},
        {"login name missing", [](Entry &e) { e.login.clear(); }, kFill},
        {"password missing", [](Entry &e) { e.password.clear(); }, kFill},
        {"verify missing", [](Entry &e) { e.verify.clear(); }, kFill},
        // A missing field is told before a bad date or different passwords.
        {"missing before the rest", [](Entry &e) { e.first.clear(), e.day = u"31", e.month = u"4", e.verify = u"x"; },
         kFill},
        {"29 February of 2023", [](Entry &e) { e.day = u"29", e.month = u"2", e.year = u"2023"; }, kDate},
        {"31 April", [](Entry &e) { e.day = u"31", e.month = u"4"; }, kDate},
        {"month 13", [](Entry &e) { e.month = u"13"; }, kDate},
        {"today", [](Entry &e) { e.day = u"15", e.month = u"6", e.year = u"2026"; }, kDate},
        {"tomorrow", [](Entry &e) { e.day = u"16", e.month = u"6", e.year = u"2026"; }, kDate},
        {"26 is 1926 but 2026 would be the future", [](Entry &e) { e.day = u"16", e.month = u"6", e.year = u"26"; },
         nullptr},
        {"age 120", [](Entry &e) { e.day = u"15", e.month = u"6", e.year = u"1906"; }, kDate},
        {"a year that would wrap into 1980", [](Entry &e) { e.year = u"67516"; }, kDate},
        {"a month that would wrap into February", [](Entry &e) { e.month = u"258"; }, kDate},
        {"a bad date before different passwords", [](Entry &e) { e.day = u"31", e.month = u"4", e.verify = u"x"; },
         kDate},
        {"passwords differ in case", [](Entry &e) { e.verify = u"abC"; }, kRefused},
        {"the login name exists", [](Entry &e) { e.login = u"taken"; }, kRefused},
    };
    AccountDlg dlg;
    Run(dlg, [&] {
        const DateParts birth{3, 3, 1970};
        ASSERT_EQ(dlg.m_pDatabase->AddUser(u"taken", u"pw", u"Tom", u"Kay", 0, &birth, 56, 180, 3, 80, 5), 1);
        int n = 0;
        for (const Case &c : cases)
        {
            SCOPED_TRACE(c.name);
            Entry e;
            e.login = u"user" + std::u16string(1, static_cast<char16_t>(u'a' + n++));
            c.change(e);
            const int rowsBefore = UserRows();
            Type(dlg, e);
            dlg.m_bLoggedIn = TRUE;
            dlg.m_bImported = TRUE;
            dlg.calls.clear();
            dlg.SignUp();
            EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
            vxtest::ProcessEvents();
            if (!c.status)
            {
                // Accepted: the account exists and the device prompt follows.
                EXPECT_EQ(UserRows(), rowsBefore + 1);
                EXPECT_TRUE(dlg.m_bLoggedIn);
                EXPECT_EQ(dlg.calls, (Calls{"device not detected"}));
                ASSERT_EQ(dlg.m_pDatabase->Logout(), 1);
                continue;
            }
            EXPECT_EQ(StatusText(dlg), c.status);
            EXPECT_EQ(UserRows(), rowsBefore);
            EXPECT_FALSE(dlg.m_bLoggedIn);
            // Only the fill-in message leaves the import flag alone.
            EXPECT_EQ(dlg.m_bImported, std::u16string(c.status) == kFill ? TRUE : FALSE);
            EXPECT_EQ(dlg.calls, Calls{});
            EXPECT_EQ(dlg.m_pDatabase->IsLoggedIn(), 0);
            // The form keeps what was typed.
            EXPECT_EQ(Text(dlg, 1014), e.first);
            EXPECT_EQ(Text(dlg, 1024), e.verify);
        }
        // The existing account is as it was.
        ASSERT_EQ(dlg.m_pDatabase->Login(u"taken", u"pw"), 1);
        StoredUser user;
        ASSERT_TRUE(ReadUser(dlg, &user));
        EXPECT_EQ(user.first, u"Tom");
        EXPECT_EQ(user.height, 180);
    });
}

TEST_F(NewAccountTest, TwoDigitYearsAndUnitsAreStoredAsTheUserMeantThem)
{
    struct Case
    {
        const char *name;
        bool metric;
        Entry entry;
        DateParts birth;
        int age;
        int height, heightUnit, weight, weightUnit;
    };
    Entry year26, year25, imperial, feetOnly, leapDay, metricEntry, oldest;
    year26.year = u"26";
    year25.year = u"25";
    imperial.height = u"5", imperial.inches = u"11", imperial.weight = u"150";
    feetOnly.height = u"6", feetOnly.inches = u"", feetOnly.weight = u"561";
    leapDay.day = u"29", leapDay.month = u"2", leapDay.year = u"2024";
    metricEntry.height = u"255", metricEntry.weight = u"255";
    oldest.day = u"15", oldest.month = u"6", oldest.year = u"1907";
    const Case cases[] = {
        {"26 typed in 2026", true, year26, {1, 2, 1926}, 100, 170, 3, 60, 5},
        {"25 typed in 2026", true, year25, {1, 2, 2025}, 1, 170, 3, 60, 5},
        {"5 ft 11 in and 150 lbs", false, imperial, {1, 2, 1980}, 46, 180, 4, 68, 6},
        {"6 ft without inches and 561 lbs", false, feetOnly, {1, 2, 1980}, 46, 183, 4, 254, 6},
        {"29 February of a leap year", true, leapDay, {29, 2, 2024}, 2, 170, 3, 60, 5},
        {"the largest metric numbers", true, metricEntry, {1, 2, 1980}, 46, 255, 3, 255, 5},
        {"119 years old today", true, oldest, {15, 6, 1907}, 119, 170, 3, 60, 5},
    };
    AccountDlg dlg;
    Run(dlg, [&] {
        int n = 0;
        for (const Case &c : cases)
        {
            SCOPED_TRACE(c.name);
            Entry e = c.entry;
            e.login = u"user" + std::u16string(1, static_cast<char16_t>(u'a' + n++));
            Type(dlg, e, c.metric);
            dlg.SignUp();
            ASSERT_EQ(StatusText(dlg), u"(none)");
            ASSERT_TRUE(dlg.m_bLoggedIn);
            StoredUser user;
            ASSERT_TRUE(ReadUser(dlg, &user));
            EXPECT_EQ(user.birth.year, c.birth.year);
            EXPECT_EQ(user.birth.month, c.birth.month);
            EXPECT_EQ(user.birth.day, c.birth.day);
            EXPECT_EQ(user.age, c.age);
            EXPECT_EQ(user.height, c.height);
            EXPECT_EQ(user.heightUnit, c.heightUnit);
            EXPECT_EQ(user.weight, c.weight);
            EXPECT_EQ(user.weightUnit, c.weightUnit);
            EXPECT_EQ(user.gender, 0);
            // The dialog keeps the same user: what the monitor's header gets is in kilograms.
            EXPECT_EQ(dlg.m_nUserHeightCm, c.height);
            EXPECT_EQ(dlg.m_nWeightKg, c.weight);
            EXPECT_EQ(dlg.m_nAge, c.age);
            EXPECT_EQ(dlg.m_bMetric, c.weightUnit == 5 ? TRUE : FALSE);
            EXPECT_EQ(std::u16string(dlg.m_szUserId.data()), e.login);
            EXPECT_EQ(std::u16string(dlg.m_szPassword.data()), u"abc");
            EXPECT_EQ(std::u16string(dlg.m_szDisplayName.data()), u"Ann Lee");
            ASSERT_EQ(dlg.m_pDatabase->Logout(), 1);
        }
    });
}

TEST_F(NewAccountTest, WithoutAMonitorTheHidStatePicksThePrompt)
{
    struct Case
    {
        BOOL answered;
        std::uint8_t state;
        const char *prompt;
    };
    const Case cases[] = {
        {FALSE, 3, "device not detected"},
        {TRUE, 0, "dongle only"},
        {TRUE, 2, "dongle only"},
        {TRUE, 3, "device not ready"},
    };
    AccountDlg dlg;
    Run(dlg, [&] {
        int n = 0;
        for (const Case &c : cases)
        {
            SCOPED_TRACE(c.prompt);
            Entry e;
            e.login = u"user" + std::u16string(1, static_cast<char16_t>(u'a' + n++));
            e.first = u"Jo";
            Type(dlg, e);
            dlg.m_bDeviceFound = FALSE;
            dlg.m_bHidAnswered = c.answered;
            dlg.m_nHidState = c.state;
            dlg.calls.clear();
            const int writesBefore = dlg.writes;
            dlg.SignUp();
            // Posted, not shown from inside the step.
            EXPECT_EQ(dlg.calls, Calls{});
            vxtest::ProcessEvents();
            EXPECT_EQ(dlg.calls, (Calls{c.prompt}));
            EXPECT_TRUE(dlg.m_bLoggedIn);
            EXPECT_EQ(dlg.writes, writesBefore);
            EXPECT_EQ(std::u16string(dlg.m_szDisplayName.data()), u"Jo Lee");
            ASSERT_EQ(dlg.m_pDatabase->Logout(), 1);
        }
    });
}

TEST_F(NewAccountTest, AConnectedMonitorBecomesTheNewUsersAndItsRecordsAreImported)
{
    PlugInDrive(TwoRuns());
    AccountDlg dlg;
    Run(dlg, [&] {
        ASSERT_TRUE(dlg.m_bDeviceFound);
        const std::size_t clockBefore = sim.ScsiCommands().size();
        Entry e;
        Type(dlg, e, false);
        SetText(dlg, 1020, u"5");
        SetText(dlg, 1021, u"11");
        SetText(dlg, 1022, u"150");
        dlg.SignUp();
        vxtest::ProcessEvents();
        EXPECT_EQ(dlg.calls, (Calls{"upload prompt"}));
        EXPECT_TRUE(dlg.m_bLoggedIn);
        // The identity is the found one, the clock was set once, the records are in.
        char16_t stored[100] = {};
        ASSERT_EQ(dlg.m_pDatabase->GetDeviceSerialNo(stored, 100), 1);
        std::u16string found;
        for (const char *p = dlg.m_szDeviceId.data(); *p; ++p)
            found += static_cast<char16_t>(static_cast<unsigned char>(*p));
        EXPECT_FALSE(found.empty());
        EXPECT_EQ(std::u16string(stored), found);
        EXPECT_EQ(sim.ScsiCommands().size() - clockBefore, 1u);
        std::uint32_t runs = 0;
        ASSERT_EQ(dlg.m_pDatabase->CountRunsSince(1, &runs), 1);
        EXPECT_EQ(runs, 2u);
        EXPECT_EQ(dlg.writes, 0);
        // The monitor's header now carries the new user: 46 years, male, 180 cm, 68 kg, no records.
        const Bytes file = DriveFile();
        ASSERT_GT(file.size(), 207u);
        EXPECT_EQ(file[201], 46);
        EXPECT_EQ(file[202], 0);
        EXPECT_EQ(file[203] | file[204] << 8, 180);
        EXPECT_EQ(file[205], 68);
        EXPECT_EQ(file[207], 0);
    });
}

TEST_F(NewAccountTest, AFailedImportWritesTheProfileBackAndAFailedWriteShowsTheSaveErrorPage)
{
    struct Case
    {
        const char *name;
        Bytes file;
        Calls calls;
    };
    const Case cases[] = {
        // The monitor's clock ran ahead: the import refuses the dates, the header is rewritten with the
        // records kept.
        {"dates refused", Workout({vxtest::RecordAt(2026, 6, 20, 8, 0, 0)}), {"upload prompt"}},
        // A file too short for a header takes none either.
        {"nothing can be written", Bytes(10, 0xAB), {"save error page"}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string home = vxtest::MakeTempDir("xdg");
        dataHome = home;
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        PlugInDrive(c.file);
        AccountDlg dlg;
        Run(dlg, [&] {
            ASSERT_TRUE(dlg.m_bDeviceFound);
            Type(dlg, Entry{});
            dlg.SignUp();
            vxtest::ProcessEvents();
            EXPECT_EQ(dlg.calls, c.calls);
            EXPECT_EQ(dlg.writes, 1);
            // The account stays, logged in, with its monitor.
            EXPECT_TRUE(dlg.m_bLoggedIn);
            EXPECT_EQ(UserRows(), 1);
            char16_t stored[100] = {};
            ASSERT_EQ(dlg.m_pDatabase->GetDeviceSerialNo(stored, 100), 1);
            EXPECT_NE(stored[0], u'\0');
            std::uint32_t runs = 9;
            ASSERT_EQ(dlg.m_pDatabase->CountRunsSince(1, &runs), 1);
            EXPECT_EQ(runs, 0u);
            const Bytes file = DriveFile();
            if (c.calls == Calls{"save error page"})
            {
                EXPECT_EQ(file, c.file);
                return;
            }
            // The record is still there behind the new user's header (170 cm, 60 kg).
            ASSERT_EQ(file.size(), c.file.size());
            EXPECT_EQ(file[207], 1);
            EXPECT_EQ(file[203] | file[204] << 8, 170);
            EXPECT_EQ(file[205], 60);
            EXPECT_EQ(file[201], 46);
        });
    }
}

TEST_F(NewAccountTest, HostileTextInNamesAndLoginNameIsStoredAndReadBackSafely)
{
    struct Case
    {
        const char *name;
        std::u16string first, last, login, password;
        // What the store keeps: a text ends at its first zero character, as a window text does, and a
        // lone surrogate of a name becomes U+FFFD. Null: the login name is refused and nothing stored.
        std::u16string storedFirst, storedLast;
        const char16_t *storedLogin;
    };
    const char16_t high = 0xD800, low = 0xDC00;
    const std::u16string withNul = std::u16string(u"An") + u'\0' + u"n";
    const std::u16string loneHigh = std::u16string(u"X") + high + u"Y";
    const std::u16string loneLow = std::u16string(1, low) + u"Z";
    const std::u16string pair = std::u16string(u"P") + high + low;
    const std::u16string pairLogin = u"pair" + pair.substr(1);
    const Case cases[] = {
        {"quotes", u"O'Brien", u"\"Lee\"; drop table UserInfo; --", u"it's", u"p'w", u"O'Brien",
         u"\"Lee\"; drop table UserInfo; --", u"it's"},
        {"percent signs", u"%s%n%d", u"100%", u"%s", u"%n", u"%s%n%d", u"100%", u"%s"},
        {"a zero character", withNul, u"Lee", u"nul" + std::u16string(1, u'\0') + u"x", u"pw", u"An", u"Lee",
         u"nul"},
        {"lone surrogates in names and password", loneHigh, loneLow, u"sur", u"pw" + loneHigh, u"X\uFFFDY",
         u"\uFFFDZ", u"sur"},
        {"a surrogate pair", pair, pair, pairLogin, u"pw" + pair, pair, pair, pairLogin.c_str()},
        {"a lone surrogate in the login name", u"Ann", u"Lee", u"s" + loneLow, u"pw", u"", u"", nullptr},
    };
    AccountDlg dlg;
    Run(dlg, [&] {
        int rows = 0;
        for (const Case &c : cases)
        {
            SCOPED_TRACE(c.name);
            Entry e;
            e.first = c.first;
            e.last = c.last;
            e.login = c.login;
            e.password = e.verify = c.password;
            Type(dlg, e);
            dlg.SignUp();
            vxtest::ProcessEvents();
            if (!c.storedLogin)
            {
                EXPECT_FALSE(dlg.m_bLoggedIn);
                EXPECT_EQ(StatusText(dlg),
                          u"Sorry! Login name has been used or password is invalid, please re-enter new.");
                EXPECT_EQ(UserRows(), rows);
                continue;
            }
            ++rows;
            ASSERT_TRUE(dlg.m_bLoggedIn);
            EXPECT_EQ(std::u16string(dlg.m_szUserId.data()), c.storedLogin);
            StoredUser user;
            ASSERT_TRUE(ReadUser(dlg, &user));
            EXPECT_EQ(user.first, c.storedFirst);
            EXPECT_EQ(user.last, c.storedLast);
            EXPECT_EQ(std::u16string(dlg.m_szDisplayName.data()), c.storedFirst + u" " + c.storedLast);
            // The account opens again with what was typed.
            ASSERT_EQ(dlg.m_pDatabase->Logout(), 1);
            EXPECT_EQ(dlg.m_pDatabase->Login(c.storedLogin, c.password.c_str()), 1);
            ASSERT_EQ(dlg.m_pDatabase->Logout(), 1);
        }
        EXPECT_EQ(UserRows(), rows);
    });
}

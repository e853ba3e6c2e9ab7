// The My Profile page and its save step, against a real records store, with and without a simulated
// monitor.
#include "tests/app/dialog/AccountFormTestSupport.h"

#include "device/WorkoutFile.h"

using namespace accounttest;

namespace
{
constexpr const char16_t *kFill = u"Sorry!!  Please fill in all info to save";
constexpr const char16_t *kDate = u"Error in entry for date of birth.";
constexpr const char16_t *kPassword = u"Error in entry for password.";
constexpr const char16_t *kSaveFailed = u"Error saving profile.";

class ProfilePageTest : public AccountFlowTest
{
  protected:
    // Stores Ann (female, 1 February 1980, 181 cm, 60 kg, in the given units) and logs her in as the
    // program does.
    static void LogInAnn(AccountDlg &dlg, bool imperial, std::uint16_t height = 181)
    {
        const DateParts birth{1, 2, 1980};
        ASSERT_EQ(dlg.m_pDatabase->AddUser(u"ann", u"abc", u"Ann", u"Lee", 1, &birth, 46, height,
                                           imperial ? 4 : 3, 60, imperial ? 6 : 5),
                  1);
        // No monitor in the way of the log-in itself.
        const BOOL found = dlg.m_bDeviceFound;
        dlg.m_bDeviceFound = FALSE;
        dlg.LoginWithPassword(u"ann", u"abc");
        vxtest::ProcessEvents();
        ASSERT_TRUE(dlg.m_bLoggedIn);
        dlg.m_bDeviceFound = found;
        dlg.calls.clear();
    }
    static std::u16string StoredPasswordWorks(AccountDlg &dlg)
    {
        // Which of the test's passwords opens the account now.
        for (const char16_t *password : {u"abc", u"xyz", u"zzz"})
        {
            KvtDatabase other;
            if (other.Login(u"ann", password) == 1)
                return password;
        }
        (void)dlg;
        return u"(none)";
    }
};
} // namespace

TEST_F(ProfilePageTest, ThePageShowsTheStoredProfileInTheUsersUnits)
{
    struct Case
    {
        const char *name;
        bool imperial;
        std::uint16_t height;
        const char16_t *heightText, *inchesText, *weightText, *heightUnit, *weightUnit;
    };
    const Case cases[] = {
        {"metric", false, 181, u"181", u"", u"60", u"cm", u"kg"},
        {"imperial", true, 181, u"5", u"11", u"132", u"feet", u"lbs"},
        {"no height stored", true, 0, u"", u"", u"132", u"feet", u"lbs"},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string home = vxtest::MakeTempDir("xdg");
        dataHome = home;
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        AccountDlg dlg;
        Run(dlg, [&] {
            LogInAnn(dlg, c.imperial, c.height);
            dlg.ShowProfileView();
            EXPECT_EQ(dlg.m_nCurrentView, KvtView::Profile);
            EXPECT_FALSE(dlg.m_bIgnoreDeviceArrival);
            EXPECT_EQ(Text(dlg, 1014), u"Ann");
            EXPECT_EQ(Text(dlg, 1015), u"Lee");
            EXPECT_TRUE(Checked(dlg, 1033));
            EXPECT_FALSE(Checked(dlg, 1034));
            EXPECT_EQ(Text(dlg, 1016), u"01");
            EXPECT_EQ(Text(dlg, 1017), u"02");
            EXPECT_EQ(Text(dlg, 1018), u"1980");
            EXPECT_EQ(Caption(dlg, 1019), u"46");
            EXPECT_EQ(Checked(dlg, 1361), c.imperial);
            EXPECT_EQ(Checked(dlg, 1216), !c.imperial);
            EXPECT_EQ(Text(dlg, 1020), c.heightText);
            EXPECT_EQ(Text(dlg, 1021), c.inchesText);
            EXPECT_EQ(dlg.GetDlgItem(1021)->IsWindowVisible(), c.imperial ? TRUE : FALSE);
            EXPECT_EQ(Text(dlg, 1022), c.weightText);
            EXPECT_EQ(Caption(dlg, 1213), c.heightUnit);
            EXPECT_EQ(Caption(dlg, 1214), c.weightUnit);
            // Login name and old password are shown, not editable; the new ones start empty.
            EXPECT_EQ(Text(dlg, 1023), u"ann");
            EXPECT_FALSE(dlg.GetDlgItem(1023)->IsWindowEnabled());
            EXPECT_EQ(Text(dlg, 1152), u"abc");
            EXPECT_FALSE(dlg.GetDlgItem(1152)->IsWindowEnabled());
            EXPECT_EQ(Text(dlg, 1004), u"");
            EXPECT_EQ(Text(dlg, 1024), u"");
            EXPECT_EQ(Caption(dlg, 1244), u"Old Password:");
            EXPECT_EQ(Caption(dlg, 1151), u"Save");
            EXPECT_EQ(Caption(dlg, 1162), u"Clear");
            EXPECT_EQ(Caption(dlg, 1093), u"Log Out");
            EXPECT_NE(dlg.GetDlgItem(1150), nullptr);
            // The navigation bar, with My Profile disabled.
            ASSERT_NE(dlg.GetDlgItem(1031), nullptr);
            EXPECT_FALSE(dlg.GetDlgItem(1031)->IsWindowEnabled());
            EXPECT_TRUE(dlg.GetDlgItem(1027)->IsWindowEnabled());
        });
    }
}

TEST_F(ProfilePageTest, SaveChecksTheFormAndKeepsWhatIsLeftAsItWas)
{
    struct Case
    {
        const char *name;
        std::vector<std::pair<UINT, std::u16string>> typed;
        const char16_t *status; // null: saved
        std::u16string password; // what opens the account afterwards
        std::uint16_t height;
        bool passwordFieldsEmptied;
    };
    const Case cases[] = {
        {"nothing changed", {}, nullptr, u"abc", 181, false},
        {"a new password", {{1004, u"xyz"}, {1024, u"xyz"}}, nullptr, u"xyz", 181, false},
        {"the passwords differ", {{1004, u"xyz"}, {1024, u"xyZ"}}, kPassword, u"abc", 181, true},
        {"only the verify field", {{1024, u"xyz"}}, kPassword, u"abc", 181, true},
        {"a new height", {{1020, u"6"}, {1021, u"0"}}, nullptr, u"abc", 183, false},
        {"the first name missing", {{1014, u""}}, kFill, u"abc", 181, false},
        {"the last name missing", {{1015, u""}}, kFill, u"abc", 181, false},
        {"the day missing", {{1016, u""}}, kFill, u"abc", 181, false},
        {"the month missing", {{1017, u""}}, kFill, u"abc", 181, false},
        {"the year missing", {{1018, u""}}, kFill, u"abc", 181, false},
        {"the height missing", {{1020, u""}}, kFill, u"abc", 181, false},
        {"the weight missing", {{1022, u""}}, kFill, u"abc", 181, false},
        // The login name is not part of what must be filled in.
        {"the login name emptied", {{1023, u""}}, nullptr, u"abc", 181, false},
        {"31 April", {{1016, u"31"}, {1017, u"4"}}, kDate, u"abc", 181, false},
        {"born today", {{1016, u"15"}, {1017, u"6"}, {1018, u"2026"}}, kDate, u"abc", 181, false},
        {"a missing field before a bad date", {{1014, u""}, {1017, u"13"}}, kFill, u"abc", 181, false},
        {"a bad date before different passwords", {{1017, u"13"}, {1004, u"q"}}, kDate, u"abc", 181, false},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string home = vxtest::MakeTempDir("xdg");
        dataHome = home;
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        AccountDlg dlg;
        Run(dlg, [&] {
            LogInAnn(dlg, true);
            dlg.ShowProfileView();
            for (const auto &[id, text] : c.typed)
                SetText(dlg, id, text);
            dlg.SaveProfile();
            EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
            StoredUser user;
            ASSERT_TRUE(ReadUser(dlg, &user));
            EXPECT_EQ(user.height, c.height);
            EXPECT_EQ(StoredPasswordWorks(dlg), c.password);
            EXPECT_EQ(std::u16string(dlg.m_szPassword.data()), c.password);
            EXPECT_TRUE(dlg.m_bLoggedIn);
            if (!c.status)
            {
                EXPECT_EQ(dlg.calls, (Calls{"home page"}));
                EXPECT_EQ(dlg.m_nCurrentView, KvtView::Home);
                EXPECT_EQ(dlg.m_nUserHeightCm, c.height);
                return;
            }
            EXPECT_EQ(StatusText(dlg), c.status);
            EXPECT_EQ(dlg.calls, Calls{});
            EXPECT_EQ(dlg.m_nCurrentView, KvtView::Profile);
            EXPECT_EQ(user.first, u"Ann");
            // The form keeps what was typed, but for different new passwords.
            if (c.passwordFieldsEmptied)
            {
                EXPECT_EQ(Text(dlg, 1004), u"");
                EXPECT_EQ(Text(dlg, 1024), u"");
            }
            else
            {
                for (const auto &[id, text] : c.typed)
                    EXPECT_EQ(Text(dlg, id), text) << id;
            }
        });
    }
}

TEST_F(ProfilePageTest, AnUntouchedImperialHeightKeepsItsCentimetres)
{
    // Centimetres that feet and inches do not give back: 181 cm is 71 in, which is 180 cm.
    for (const std::uint16_t height : {181, 182, 184, 179})
    {
        SCOPED_TRACE(height);
        const std::string home = vxtest::MakeTempDir("xdg");
        dataHome = home;
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        AccountDlg dlg;
        Run(dlg, [&] {
            LogInAnn(dlg, true, height);
            for (int saves = 0; saves < 2; ++saves)
            {
                dlg.ShowProfileView();
                dlg.SaveProfile();
                ASSERT_EQ(dlg.m_nCurrentView, KvtView::Home);
            }
            StoredUser user;
            ASSERT_TRUE(ReadUser(dlg, &user));
            EXPECT_EQ(user.height, height);
            EXPECT_EQ(user.heightUnit, 4);
            EXPECT_EQ(user.weight, 60);
            EXPECT_EQ(user.weightUnit, 6);
            EXPECT_EQ(dlg.m_nUserHeightCm, height);
            EXPECT_EQ(dlg.m_nWeightKg, 60);
        });
    }
}

TEST_F(ProfilePageTest, SavedValuesReachTheDialogAndAChangeOfUnitsItsFlag)
{
    AccountDlg dlg;
    Run(dlg, [&] {
        LogInAnn(dlg, true);
        dlg.ShowProfileView();
        SetText(dlg, 1014, u"Bea");
        SetText(dlg, 1015, u"Ng");
        SetText(dlg, 1018, u"82");
        // Male, and metric through the unit radios as a click makes them.
        dynamic_cast<UIButton *>(dlg.GetDlgItem(1034))->SetCheck(1);
        CKVTDlg::OnRadioSecond();
        dynamic_cast<UIButton *>(dlg.GetDlgItem(1216))->SetCheck(1);
        CKVTDlg::OnUnitsMetric();
        EXPECT_EQ(Text(dlg, 1020), u"181");
        EXPECT_EQ(Text(dlg, 1022), u"60");
        SetText(dlg, 1022, u"70");
        dlg.SaveProfile();
        EXPECT_EQ(dlg.calls, (Calls{"home page"}));
        StoredUser user;
        ASSERT_TRUE(ReadUser(dlg, &user));
        EXPECT_EQ(user.first, u"Bea");
        EXPECT_EQ(user.last, u"Ng");
        EXPECT_EQ(user.gender, 0);
        EXPECT_EQ(user.birth.year, 1982);
        EXPECT_EQ(user.age, 44);
        EXPECT_EQ(user.height, 181);
        EXPECT_EQ(user.heightUnit, 3);
        EXPECT_EQ(user.weight, 70);
        EXPECT_EQ(user.weightUnit, 5);
        EXPECT_EQ(std::u16string(dlg.m_szDisplayName.data()), u"Bea Ng");
        EXPECT_EQ(dlg.m_nAge, 44);
        EXPECT_EQ(dlg.m_nGender, 0);
        EXPECT_EQ(dlg.m_nWeightKg, 70);
        EXPECT_TRUE(dlg.m_bMetric);
        // The page shown again shows what was saved.
        dlg.ShowProfileView();
        EXPECT_EQ(Text(dlg, 1018), u"1982");
        EXPECT_TRUE(Checked(dlg, 1216));
        EXPECT_EQ(Text(dlg, 1022), u"70");
    });
}

TEST_F(ProfilePageTest, AWrongOldPasswordSavesNothing)
{
    AccountDlg dlg;
    Run(dlg, [&] {
        LogInAnn(dlg, false);
        // The password changed behind the dialog's back: what it keeps no longer opens the account.
        const DateParts birth{1, 2, 1980};
        ASSERT_EQ(dlg.m_pDatabase->UpdateUser(u"abc", u"zzz", u"Ann", u"Lee", 1, &birth, 46, 181, 3, 60, 5), 1);
        dlg.ShowProfileView();
        SetText(dlg, 1014, u"Eve");
        SetText(dlg, 1004, u"xyz");
        SetText(dlg, 1024, u"xyz");
        dlg.SaveProfile();
        EXPECT_EQ(StatusText(dlg), kSaveFailed);
        EXPECT_EQ(dlg.calls, Calls{});
        StoredUser user;
        ASSERT_TRUE(ReadUser(dlg, &user));
        EXPECT_EQ(user.first, u"Ann");
        EXPECT_EQ(StoredPasswordWorks(dlg), u"zzz");
        EXPECT_EQ(std::u16string(dlg.m_szPassword.data()), u"abc");
        EXPECT_EQ(std::u16string(dlg.m_szFirstName.data()), u"Ann");
    });
}

TEST_F(ProfilePageTest, AnImportedMonitorGetsTheSavedProfileAndAFailedWriteIsReported)
{
    struct Case
    {
        const char *name;
        bool monitor;
        BOOL imported;
        bool writable;
        int writes;
        const char16_t *status;
    };
    const Case cases[] = {
        {"no monitor", false, TRUE, true, 0, nullptr},
        {"a monitor not imported", true, FALSE, true, 0, nullptr},
        {"an imported monitor", true, TRUE, true, 1, nullptr},
        {"an imported monitor that takes nothing", true, TRUE, false, 1, kSaveFailed},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string home = vxtest::MakeTempDir("xdg");
        dataHome = home;
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        if (c.monitor)
            PlugInDrive(TwoRuns());
        else
            drive.reset();
        AccountDlg dlg;
        Run(dlg, [&] {
            ASSERT_EQ(dlg.m_bDeviceFound, c.monitor ? TRUE : FALSE);
            LogInAnn(dlg, false);
            // The monitor's records come in as the upload prompt's Yes brings them.
            if (c.monitor && c.imported)
            {
                ASSERT_EQ(dlg.ImportWorkouts(), 1);
            }
            dlg.m_bImported = c.imported;
            if (!c.writable)
                drive->WriteFile("FR.DAT", Bytes(10, 0xAB));
            const Bytes before = c.monitor ? DriveFile() : Bytes{};
            dlg.ShowProfileView();
            SetText(dlg, 1020, u"175");
            SetText(dlg, 1022, u"72");
            dlg.SaveProfile();
            EXPECT_EQ(dlg.writes, c.writes);
            // The store has the new profile whatever the monitor did.
            StoredUser user;
            ASSERT_TRUE(ReadUser(dlg, &user));
            EXPECT_EQ(user.height, 175);
            EXPECT_EQ(user.weight, 72);
            if (c.status)
            {
                EXPECT_EQ(StatusText(dlg), c.status);
                EXPECT_EQ(dlg.calls, Calls{});
                EXPECT_EQ(DriveFile(), before);
                return;
            }
            EXPECT_EQ(dlg.calls, (Calls{"home page"}));
            EXPECT_EQ(dlg.m_nCurrentView, KvtView::Home);
            if (!c.monitor)
                return;
            const Bytes file = DriveFile();
            if (c.writes == 0)
            {
                EXPECT_EQ(file, before);
                return;
            }
            // The header carries the saved profile; the rest of it stays.
            ASSERT_EQ(file.size(), before.size());
            ASSERT_GT(before.size(), 207u);
            EXPECT_EQ(before[203] | before[204] << 8, 181);
            EXPECT_EQ(before[205], 60);
            EXPECT_EQ(file[203] | file[204] << 8, 175);
            EXPECT_EQ(file[205], 72);
            EXPECT_EQ(file[207], before[207]);
        });
    }
}

TEST_F(ProfilePageTest, AUnitSwitchLeftUnsavedChangesNeitherTheUserNorTheMonitor)
{
    for (const bool imperial : {false, true})
    {
        SCOPED_TRACE(imperial ? "stored in feet" : "stored in centimetres");
        const std::string home = vxtest::MakeTempDir("xdg");
        dataHome = home;
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        PlugInDrive(TwoRuns());
        AccountDlg dlg;
        Run(dlg, [&] {
            LogInAnn(dlg, imperial);
            const auto switchUnits = [&](UINT radio, void (*handler)()) {
                auto *button = dynamic_cast<UIButton *>(dlg.GetDlgItem(static_cast<int>(radio)));
                ASSERT_NE(button, nullptr);
                button->SetCheck(1);
                handler();
            };
            // 230 cm typed over the stored 181, shown in feet, and the page left without Save.
            dlg.ShowProfileView();
            if (imperial)
                switchUnits(1216, &CKVTDlg::OnUnitsMetric);
            EXPECT_EQ(Text(dlg, 1020), u"181");
            SetText(dlg, 1020, u"230");
            switchUnits(1361, &CKVTDlg::OnUnitsImperial);
            EXPECT_EQ(Text(dlg, 1020), u"7");
            EXPECT_EQ(Text(dlg, 1021), u"7");
            dlg.ShowHomeView();
            EXPECT_EQ(dlg.OwnerProfile().height, 181);

            // Built again, the page shows the stored height; in feet (181 cm is 71 inches, which
            // alone give 180 cm) it comes back as the stored centimetres, not as what was typed.
            dlg.ShowProfileView();
            if (imperial)
            {
                EXPECT_EQ(Text(dlg, 1020), u"5");
                EXPECT_EQ(Text(dlg, 1021), u"11");
                switchUnits(1216, &CKVTDlg::OnUnitsMetric);
            }
            EXPECT_EQ(Text(dlg, 1020), u"181");
            dlg.ShowHomeView();

            // What the monitor gets, by the import and by a settings write, is the stored height.
            ASSERT_EQ(dlg.ImportWorkouts(), 1);
            Bytes file = DriveFile();
            ASSERT_GT(file.size(), 207u);
            EXPECT_EQ(file[203] | file[204] << 8, 181);
            drive->WriteFile("FR.DAT", TwoRuns());
            ASSERT_TRUE(dlg.WriteDeviceSettings(false));
            file = DriveFile();
            ASSERT_GT(file.size(), 207u);
            EXPECT_EQ(file[203] | file[204] << 8, 181);
            StoredUser user;
            ASSERT_TRUE(ReadUser(dlg, &user));
            EXPECT_EQ(user.height, 181);
        });
    }
}

TEST_F(ProfilePageTest, ClearEmptiesTheListedFieldsOnly)
{
    AccountDlg dlg;
    Run(dlg, [&] {
        LogInAnn(dlg, true);
        dlg.ShowProfileView();
        SetText(dlg, 1004, u"new");
        SetText(dlg, 1024, u"new");
        dlg.ShowStatusText(247);
        auto *clear = dlg.GetDlgItem(1162);
        ASSERT_NE(clear, nullptr);
        CKVTDlg::OnProfileClear();
        for (UINT id : {1024u, 1004u, 1022u, 1020u, 1021u, 1018u, 1017u, 1016u, 1015u, 1014u})
            EXPECT_EQ(Text(dlg, id), u"") << id;
        EXPECT_EQ(StatusText(dlg), u"");
        EXPECT_EQ(Text(dlg, 1023), u"ann");
        EXPECT_EQ(Text(dlg, 1152), u"abc");
        EXPECT_TRUE(Checked(dlg, 1033));
        EXPECT_TRUE(Checked(dlg, 1361));
        EXPECT_FALSE(Checked(dlg, 1216));
        // Saving the emptied form asks for everything.
        dlg.SaveProfile();
        EXPECT_EQ(StatusText(dlg), kFill);
    });
}

TEST_F(ProfilePageTest, HostileNamesAreStoredAndShownAgainAsTyped)
{
    const std::u16string loneHigh = std::u16string(u"X") + static_cast<char16_t>(0xD800) + u"Y";
    const std::u16string withNul = std::u16string(u"Ev") + u'\0' + u"e";
    AccountDlg dlg;
    Run(dlg, [&] {
        LogInAnn(dlg, false);
        const std::pair<std::u16string, std::u16string> names[] = {
            {u"O'Brien", u"O'Brien"}, {u"\"; --", u"\"; --"}, {loneHigh, u"X\uFFFDY"}, {withNul, u"Ev"}};
        for (const auto &[typed, kept] : names)
        {
            dlg.ShowProfileView();
            SetText(dlg, 1014, typed);
            SetText(dlg, 1015, typed);
            dlg.SaveProfile();
            ASSERT_EQ(dlg.m_nCurrentView, KvtView::Home);
            StoredUser user;
            ASSERT_TRUE(ReadUser(dlg, &user));
            EXPECT_EQ(user.first, kept);
            EXPECT_EQ(user.last, kept);
            dlg.ShowProfileView();
            EXPECT_EQ(Text(dlg, 1014), kept);
            EXPECT_EQ(Text(dlg, 1015), kept);
        }
    });
}

#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QTest>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/ModuleVersion.h"
#include "platform/sys/InstanceLock.h"
#include "platform/sys/LocalTime.h"
#include "store/KvtDatabase.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "ui/PromptDialogs.h"
#include "ui/UIButton.h"
#include "ui/UIStatic.h"

namespace
{
constexpr UINT kRemoveAccountButton = 1142;
constexpr UINT kVersionLabel = 1143;
constexpr UINT kProceedButton = 1145;
constexpr UINT kCancelButton = 1146;
constexpr UINT kRegisterNowButton = 1148;
constexpr UINT kLaterButton = 1149;
constexpr UINT kLogOutButton = 1093;

// The main dialog with the pages of other work, the navigation bar and the version block replaced by
// records of the calls.
class SupportDlg : public CKVTDlg
{
  public:
    explicit SupportDlg(LANGID language) : CKVTDlg(language) {}

    std::vector<std::string> calls;
    std::vector<std::vector<BOOL>> bars;
    std::vector<UINT> privateMessages;
    // The module whose version block stands for the program's; empty: the program itself.
    std::u16string versionModule;

    void BuildNavigationBar(BOOL home, BOOL device, BOOL runs, BOOL goal, BOOL unused, BOOL profile,
                            BOOL support) override
    {
        bars.push_back({home, device, runs, goal, unused, profile, support});
    }
    void ShowLogOutConfirmView() override { calls.push_back("log out confirmation"); }
    void ShowNewAccountView() override { calls.push_back("new account"); }
    void ShowLoginView() override { calls.push_back("login"); }
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg >= WM_USER + 104 && msg <= WM_USER + 119)
            privateMessages.push_back(msg);
        return CKVTDlg::WindowProc(msg, wParam, lParam);
    }

  protected:
    int LoadProgramVersion(CModuleVersion *version) override
    {
        return versionModule.empty() ? CKVTDlg::LoadProgramVersion(version)
                                     : version->Load(versionModule.c_str());
    }
    std::shared_ptr<UlvexDevice> CreateDeviceWrapper() override
    {
        return std::make_shared<UlvexDevice>(vxtest::FakeUlvexPath());
    }
};

DateParts Day(int year, int month, int day)
{
    return DateParts{static_cast<uint8_t>(day), static_cast<uint8_t>(month), static_cast<uint16_t>(year)};
}

RunRecord MakeRun(DateParts date, uint32_t distance)
{
    RunRecord run{};
    run.date = date;
    run.time = TimeParts{9, 0, 0};
    run.duration = 1800;
    run.runDistance = distance;
    run.calories = 100;
    return run;
}

// What the six tables hold: of the user, and in all.
struct Rows
{
    std::map<std::string, int64_t> user;
    std::map<std::string, int64_t> all;
};

class SupportPageTest : public ::testing::Test
{
  protected:
    void SetUp() override { Make(1033); }
    void TearDown() override
    {
        vxwin::SetModalHook({});
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxsys::SetCurrentTimeSource({});
        vxtest::ProcessEvents();
    }

    void Make(LANGID language)
    {
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxtest::ProcessEvents();
        vxsys::SetCurrentTimeSource([] {
            int64_t t = 0;
            vxsys::LocalTimeFromFields({2026, 12, 10, 12, 0, 0, 0}, &t);
            return t;
        });
        dlg = std::make_unique<SupportDlg>(language);
        ASSERT_TRUE(dlg->Create(CKVTDlg::kDialogTemplate, nullptr));
        app.m_pMainWnd = dlg.get();
        ASSERT_TRUE(dlg->m_pDatabase && dlg->m_pDatabase->IsOpen());
        dlg->calls.clear(); // the start shows the login page
        dlg->m_bMetric = TRUE;
        dlg->m_nDeviceTableFlag = 1;
        dlg->m_bImported = TRUE;
    }

    // A user of the store with two runs, a goal and stored social-site credentials.
    void AddUserWithRecords(const std::u16string &id)
    {
        const DateParts dob = {1, 2, 1980};
        ASSERT_EQ(dlg->m_pDatabase->AddUser(id.c_str(), u"pw", u"First", u"Last", 1, &dob, 40, 170, 0, 60, 0),
                  1);
        ASSERT_EQ(dlg->m_pDatabase->Login(id.c_str(), u"pw"), 1);
        for (const RunRecord &run : {MakeRun(Day(2026, 11, 2), 4000), MakeRun(Day(2026, 11, 3), 3000)})
            ASSERT_EQ(dlg->m_pDatabase->AddRun(&run), 1);
        ASSERT_EQ(dlg->m_pDatabase->Commit(), 1);
        const DateParts start = Day(2026, 11, 1), end = Day(2026, 12, 1);
        ASSERT_EQ(dlg->m_pDatabase->AddDistanceGoal(5000, 1, &start, &end), 1);
        ASSERT_EQ(dlg->m_pDatabase->SaveFacebookInfo(u"it's@example.com", u"secret"), 1);
    }
    // Logs the user in as the login page does.
    void LogIn(const std::u16string &id)
    {
        ASSERT_EQ(dlg->m_pDatabase->Login(id.c_str(), u"pw"), 1);
        dlg->m_szUserId.fill(0);
        std::copy(id.begin(), id.end(), dlg->m_szUserId.begin());
        dlg->m_bLoggedIn = TRUE;
    }

    Rows Count(const std::u16string &id)
    {
        storetest::Peek peek(dlg->m_pDatabase->GetPath());
        const std::u16string user = u"'" + id + u"'";
        Rows rows;
        rows.user["UserInfo"] = peek.Count(u"select count(*) from UserInfo where UserID = " + user);
        rows.user["Run"] = peek.Count(u"select count(*) from Run where UserID = " + user);
        rows.user["RunInfo"] =
            peek.Count(u"select count(*) from RunInfo where RunID in (select RunID from Run where UserID = " +
                       user + u")");
        rows.user["Goal"] = peek.Count(u"select count(*) from Goal where UserID = " + user);
        rows.user["GoalInfo"] = peek.Count(
            u"select count(*) from GoalInfo where GoalID in (select GoalID from Goal where UserID = " + user +
            u")");
        rows.user["FacebookInfo"] = peek.Count(u"select count(*) from FacebookInfo where UserID = " + user);
        for (const char16_t *table : {u"UserInfo", u"Run", u"RunInfo", u"Goal", u"GoalInfo", u"FacebookInfo"})
            rows.all[storetest::U8(table)] = peek.Count(u"select count(*) from " + std::u16string(table));
        return rows;
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
    void Click(UINT id)
    {
        CWnd *item = dlg->GetDlgItem(static_cast<int>(id));
        ASSERT_TRUE(item && item->GetWidget()) << id;
        QTest::mouseClick(item->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
        vxtest::ProcessEvents();
    }
    std::u16string Title() const { return dlg->m_pGreeting->GetText(); }

    vxtest::ScopedTimeZone zone{"Europe/Berlin"};
    std::string dataHome = vxtest::MakeTempDir("xdg");
    vxtest::ScopedEnv dataEnv{"XDG_DATA_HOME", dataHome.c_str()};
    std::string runtime = vxtest::MakeTempDir("run");
    vxtest::ScopedEnv runtimeEnv{"XDG_RUNTIME_DIR", runtime.c_str()};
    vxtest::FakeUlvexLibrary fake;
    CWinApp app;
    std::unique_ptr<SupportDlg> dlg;
};

// ---- My Support ------------------------------------------------------------------------------

TEST_F(SupportPageTest, ThePageShowsTheProductVersionAndAnEnabledRemoveAccount)
{
    CModuleVersion own;
    ASSERT_EQ(own.Load(nullptr), 1);
    const std::u16string version = own.GetProductVersion();
    ASSERT_FALSE(version.empty());

    dlg->m_bIgnoreDeviceArrival = TRUE;
    dlg->ShowSupportView();
    EXPECT_EQ(dlg->m_nCurrentView, KvtView::Support);
    EXPECT_EQ(dlg->m_bIgnoreDeviceArrival, FALSE);
    EXPECT_EQ(Title(), u"My Support");
    EXPECT_EQ(dlg->m_pGreeting->GetFontSize(), 18);
    ASSERT_EQ(dlg->bars.size(), 1u);
    EXPECT_EQ(dlg->bars[0], (std::vector<BOOL>{TRUE, TRUE, TRUE, TRUE, TRUE, TRUE, FALSE}));

    EXPECT_EQ(Caption(kVersionLabel), u"Vormatik Version " + version);
    auto *label = Item<UIStatic>(kVersionLabel);
    ASSERT_TRUE(label);
    EXPECT_EQ(label->GetFontSize(), 18);
    EXPECT_EQ(label->GetCurrentTextColor(), 0xFF4D4948u);
    CRect rect;
    label->GetWindowRect(&rect);
    dlg->ScreenToClient(&rect);
    EXPECT_EQ(rect, CRect(220, 100, 720, 140));

    EXPECT_EQ(Caption(kRemoveAccountButton), u"Remove Account");
    EXPECT_TRUE(Item<UIButton>(kRemoveAccountButton)->IsWindowEnabled());
    EXPECT_EQ(Item<UIButton>(kRemoveAccountButton)->GetFontSize(), 11);
    EXPECT_EQ(Caption(kLogOutButton), u"Log Out");
    EXPECT_TRUE(Has(CKVTDlg::kCloseButtonId));

    // Device Setting only after an import from a monitor with extended settings.
    dlg->bars.clear();
    dlg->m_bImported = FALSE;
    dlg->ShowSupportView();
    EXPECT_EQ(dlg->bars[0], (std::vector<BOOL>{TRUE, FALSE, TRUE, TRUE, TRUE, TRUE, FALSE}));
}

TEST_F(SupportPageTest, WithoutAReadableVersionBlockThePageSaysSo)
{
    struct Case
    {
        LANGID language;
        const char16_t *module; // empty: the program's own block
        const char16_t *prefix, *unavailable;
    };
    const Case cases[] = {
        {1033, u"", u"Vormatik Version ", nullptr},
        {1033, u"libvx-never-built.so", nullptr, u"Version info not available"},
        // A library that is loaded but carries no block.
        {1033, u"libc.so.6", nullptr, u"Version info not available"},
        {1031, u"", u"Vormatik Version ", nullptr},
        {1031, u"libvx-never-built.so", nullptr, u"Versionsinformationen nicht verfügbar"},
        {2052, u"libvx-never-built.so", nullptr, u"版本信息不可用"},
        {1028, u"", u"Vormatik 版本 ", nullptr},
        {1028, u"libvx-never-built.so", nullptr, u"無法取得版本資訊"},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.language);
        SCOPED_TRACE(storetest::U8(c.module));
        Make(c.language);
        dlg->versionModule = c.module;
        dlg->ShowSupportView();
        const std::u16string text = Caption(kVersionLabel);
        if (c.prefix)
        {
            EXPECT_EQ(text.rfind(c.prefix, 0), 0u) << storetest::U8(text);
            EXPECT_GT(text.size(), std::char_traits<char16_t>::length(c.prefix));
        }
        else
        {
            EXPECT_EQ(text, c.unavailable);
        }
    }
}

// ---- Remove Account ------------------------------------------------------------------------------

TEST_F(SupportPageTest, RemoveAccountShowsTheWarningUnlessTheOtherProgramRuns)
{
    AddUserWithRecords(u"ann");
    LogIn(u"ann");
    std::vector<UINT> prompts;
    vxwin::SetModalHook([&](CDialog &d) {
        if (auto *prompt = dynamic_cast<CMessageDlg *>(&d))
            prompts.push_back(prompt->m_nMessageId);
        d.EndDialog(IDCANCEL);
    });

    dlg->ShowSupportView();
    dlg->bars.clear();
    dlg->privateMessages.clear();
    Click(kRemoveAccountButton);
    EXPECT_TRUE(dlg->privateMessages.empty());
    EXPECT_TRUE(prompts.empty());
    EXPECT_EQ(Title(), u"Remove Account");
    EXPECT_EQ(dlg->m_bIgnoreDeviceArrival, TRUE);
    EXPECT_EQ(dlg->m_nCurrentView, KvtView::Support); // the warning page keeps the state
    ASSERT_EQ(dlg->bars.size(), 1u);
    EXPECT_EQ(dlg->bars[0], (std::vector<BOOL>{TRUE, TRUE, TRUE, TRUE, TRUE, FALSE, TRUE}));
    EXPECT_EQ(Caption(1253), u"Warning!");
    EXPECT_EQ(Caption(1254), u"All of your account information will be deleted and resert to zero");
    EXPECT_EQ(Caption(1255), u"Are you sure you want to proceed?");
    EXPECT_EQ(Caption(kProceedButton), u"Proceed");
    EXPECT_EQ(Caption(kCancelButton), u"Cancel");
    EXPECT_EQ(Caption(kLogOutButton), u"Log Out");
    EXPECT_TRUE(Has(1144));
    EXPECT_TRUE(Has(CKVTDlg::kCloseButtonId));

    // The maker's other program holds its title: only its message comes, and the page stays.
    ASSERT_EQ(vxsys::AcquireInstanceLock(u"TX Conduit"), vxsys::InstanceLockResult::First);
    dlg->ShowSupportView();
    dlg->privateMessages.clear();
    Click(kRemoveAccountButton);
    EXPECT_EQ(dlg->privateMessages, std::vector<UINT>{WM_KVT_OTHER_APP_RUNNING});
    EXPECT_EQ(prompts, std::vector<UINT>{725});
    EXPECT_EQ(Title(), u"My Support");
    EXPECT_TRUE(Has(kRemoveAccountButton));
    EXPECT_FALSE(Has(kProceedButton));
    EXPECT_EQ(dlg->m_pDatabase->IsLoggedIn(), 1);
    EXPECT_EQ(Count(u"ann").user.at("UserInfo"), 1);
}

TEST_F(SupportPageTest, CancelReturnsToSupportAndLogOutAsksForConfirmation)
{
    AddUserWithRecords(u"ann");
    LogIn(u"ann");
    dlg->ShowRemoveAccountView();
    Click(kCancelButton);
    EXPECT_EQ(Title(), u"My Support");
    EXPECT_EQ(dlg->m_nCurrentView, KvtView::Support);
    EXPECT_TRUE(Has(kRemoveAccountButton));

    Click(kRemoveAccountButton);
    ASSERT_TRUE(Has(kProceedButton));
    Click(kLogOutButton);
    EXPECT_EQ(dlg->calls, std::vector<std::string>{"log out confirmation"});
    EXPECT_EQ(dlg->m_pDatabase->IsLoggedIn(), 1);
}

TEST_F(SupportPageTest, ProceedRemovesEveryRowOfTheUserAndTheNameIsFreeAgain)
{
    AddUserWithRecords(u"bob");
    AddUserWithRecords(u"ann");
    LogIn(u"ann");
    const Rows before = Count(u"ann");
    for (const auto &[table, count] : before.user)
        ASSERT_GT(count, 0) << table;

    dlg->ShowRemoveAccountView();
    dlg->bars.clear();
    Click(kProceedButton);

    const Rows after = Count(u"ann");
    for (const auto &[table, count] : after.user)
        EXPECT_EQ(count, 0) << table;
    // Nothing of the user is left behind, and nothing of anyone else is gone.
    for (const auto &[table, count] : after.all)
        EXPECT_EQ(count, before.all.at(table) - before.user.at(table)) << table;
    for (const auto &[table, count] : Count(u"bob").user)
        EXPECT_GT(count, 0) << table;

    EXPECT_EQ(dlg->m_pDatabase->IsLoggedIn(), 0);
    EXPECT_EQ(dlg->m_bLoggedIn, FALSE);
    EXPECT_EQ(dlg->m_bImported, FALSE);
    EXPECT_EQ(dlg->m_szUserId[0], u'\0');

    // The account-deleted page.
    EXPECT_EQ(Title(), u"Data Edit");
    EXPECT_EQ(dlg->m_bIgnoreDeviceArrival, TRUE);
    EXPECT_TRUE(dlg->bars.empty());
    EXPECT_EQ(Caption(1253), u"Account Deleted");
    EXPECT_EQ(Caption(1254), u"Your account has been successfully removed and reset to zero");
    EXPECT_EQ(Caption(1255), u"Now you can re-register to create a new account. Register Now?");
    EXPECT_EQ(Caption(kRegisterNowButton), u"Register Now");
    EXPECT_EQ(Caption(kLaterButton), u"Later");
    EXPECT_TRUE(Has(1147));
    EXPECT_TRUE(Has(CKVTDlg::kCloseButtonId));
    EXPECT_FALSE(Has(kProceedButton));

    // The name can sign up again, and starts with nothing.
    const DateParts dob = {1, 2, 1980};
    ASSERT_EQ(dlg->m_pDatabase->AddUser(u"ann", u"new", u"", u"", 1, &dob, 40, 170, 0, 60, 0), 1);
    ASSERT_EQ(dlg->m_pDatabase->Login(u"ann", u"new"), 1);
    uint32_t distance = 1, duration = 1, count = 1;
    ASSERT_EQ(dlg->m_pDatabase->GetRunTotals(&distance, &duration, &count), 1);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(dlg->m_pDatabase->HasFacebookInfo(), 0);
}

TEST_F(SupportPageTest, AFailedDeletionSaysSoAndKeepsTheUser)
{
    AddUserWithRecords(u"ann");
    LogIn(u"ann");
    const Rows before = Count(u"ann");
    {
        storetest::Peek peek(dlg->m_pDatabase->GetPath());
        ASSERT_EQ(
            1,
            peek.Run(u"create trigger keep before delete on UserInfo begin select raise(ABORT, 'x'); end"));
    }
    dlg->ShowRemoveAccountView();
    Click(kProceedButton);

    EXPECT_EQ(Caption(CKVTDlg::kStatusLineId),
              u"Erase account failed! Please exit the application and try again.");
    EXPECT_TRUE(Has(kProceedButton));
    EXPECT_EQ(Title(), u"Remove Account");
    EXPECT_EQ(dlg->m_bLoggedIn, TRUE);
    EXPECT_EQ(dlg->m_bImported, TRUE);
    EXPECT_EQ(std::u16string(dlg->m_szUserId.data()), u"ann");
    EXPECT_EQ(dlg->m_pDatabase->IsLoggedIn(), 1);
    const Rows after = Count(u"ann");
    EXPECT_EQ(after.user, before.user);
    EXPECT_EQ(after.all, before.all);
}

TEST_F(SupportPageTest, AfterTheDeletionRegisterNowAndLaterLeadOn)
{
    AddUserWithRecords(u"ann");
    LogIn(u"ann");
    dlg->m_bMetric = FALSE;
    dlg->ShowRemoveAccountView();
    Click(kProceedButton);
    ASSERT_TRUE(Has(kRegisterNowButton));
    Click(kRegisterNowButton);
    EXPECT_EQ(dlg->calls, std::vector<std::string>{"new account"});
    EXPECT_EQ(dlg->m_bMetric, FALSE); // the units stay as they were

    dlg->calls.clear();
    dlg->ShowAccountDeletedView();
    Click(kLaterButton);
    EXPECT_EQ(dlg->calls, std::vector<std::string>{"login"});
}
} // namespace

#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>
#include <cstdlib>
#include <string>
#include <vector>

#include "store/KvtDatabase.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "ui/PromptDialogs.h"
#include "ui/UIButton.h"
#include "ui/UIDeviceSettingDlg.h"
#include "ui/UIEdit.h"
#include "ui/UIStatic.h"

namespace
{
constexpr UINT kHomeButton = 1026;
constexpr UINT kDeviceSettingButton = 1261;
constexpr UINT kRunsButton = 1027;
constexpr UINT kGoalButton = 1028;
constexpr UINT kProfileButton = 1031;
constexpr UINT kSupportButton = 1032;
constexpr UINT kLogOutButton = 1093;
constexpr UINT kBarButtons[] = {kHomeButton,    kDeviceSettingButton, kRunsButton,
                                kGoalButton,    kProfileButton,       kSupportButton};
// The control every stand-in page below is made of.
constexpr UINT kStandInId = 1600;

// The main dialog with the pages of later work replaced by stand-ins that record their call and
// replace the current page, and the write to the monitor by a scripted answer.
class NavDlg : public CKVTDlg
{
  public:
    explicit NavDlg(LANGID language) : CKVTDlg(language) {}

    std::vector<std::string> calls;
    int confirmations = 0;
    std::vector<bool> writeResults; // answers in order; true once they are used up
    int writes = 0;
    bool failLogIn = false;
    std::u16string nameAtLogIn, passwordAtLogIn;

    void StandInPage(const char *name, KvtView view, BOOL ignoreArrivals)
    {
        calls.push_back(name);
        BeginPage(ignoreArrivals, 0);
        AddPageLabel(0, CRect(10, 10, 20, 20), kStandInId, 0xFF838281, 12);
        m_nCurrentView = view;
    }
    void ShowHomeView() override { StandInPage("home", KvtView::Home, FALSE); }
    void ShowRunsView() override { StandInPage("runs", KvtView::Runs, FALSE); }
    void ShowGoalView() override { StandInPage("goal", KvtView::Goal, FALSE); }
    void ShowProfileView() override { StandInPage("profile", KvtView::Profile, FALSE); }
    void ShowSupportView() override { StandInPage("support", KvtView::Support, FALSE); }
    void ShowLogOutConfirmView() override { StandInPage("log out", KvtView::LogOut, TRUE); }
    void ShowNewAccountView() override { calls.push_back("new account"); }
    // What a device arrival shows on a page that heeds arrivals: a prompt page without a page state.
    void ShowArrivalPrompt()
    {
        calls.push_back("arrival prompt");
        BeginPage(TRUE, 0);
        AddPageLabel(0, CRect(10, 10, 20, 20), kStandInId, 0xFF838281, 12);
    }
    void OnLogin() override
    {
        calls.push_back("log in");
        nameAtLogIn = FieldText(kLoginNameId);
        passwordAtLogIn = FieldText(kLoginPasswordId);
        if (failLogIn)
            ShowLoginErrorView();
    }
    bool WriteDeviceSettings(bool) override
    {
        const bool result = writes < static_cast<int>(writeResults.size()) ? writeResults[writes] : true;
        ++writes;
        return result;
    }
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_KVT_CONFIRM_VIEW_SWITCH)
            ++confirmations;
        return CKVTDlg::WindowProc(msg, wParam, lParam);
    }

    std::u16string FieldText(UINT id) const
    {
        CWnd *field = GetDlgItem(static_cast<int>(id));
        if (!field)
            return u"<none>";
        CString text;
        field->GetWindowText(text);
        return text.str();
    }

    using CKVTDlg::ShowLoginView;

  protected:
    std::shared_ptr<UlvexDevice> CreateDeviceWrapper() override
    {
        return std::make_shared<UlvexDevice>(vxtest::FakeUlvexPath());
    }
};

class Navigation : public ::testing::Test
{
  protected:
    void SetUp() override { dlg = Make(1033); }
    void TearDown() override
    {
        vxwin::SetModalHook({});
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxtest::ProcessEvents();
    }

    std::unique_ptr<NavDlg> Make(LANGID language)
    {
        auto made = std::make_unique<NavDlg>(language);
        EXPECT_TRUE(made->Create(CKVTDlg::kDialogTemplate, nullptr));
        app.m_pMainWnd = made.get();
        made->m_bDeviceFound = TRUE;
        made->m_bImported = TRUE;
        made->m_nDeviceTableFlag = 1;
        made->m_ProfileSettings = UserProfileSettings{1, 1, 0, 1, 70, 90};
        return made;
    }

    template <class T> T *Item(UINT id) const { return dynamic_cast<T *>(dlg->GetDlgItem(static_cast<int>(id))); }
    std::u16string Caption(UINT id) const
    {
        auto *label = Item<UIStatic>(id);
        return label ? std::u16string(label->GetText()) : u"<none>";
    }
    bool Enabled(UINT id) const
    {
        CWnd *item = dlg->GetDlgItem(static_cast<int>(id));
        return item && item->IsWindowEnabled();
    }
    CRect RectOf(UINT id) const
    {
        CRect rect;
        if (CWnd *item = dlg->GetDlgItem(static_cast<int>(id)))
        {
            item->GetWindowRect(&rect);
            dlg->ScreenToClient(&rect);
        }
        return rect;
    }
    static void Click(CWnd *button)
    {
        ASSERT_NE(button, nullptr);
        button->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        button->SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    }
    void Click(UINT id) { Click(dlg->GetDlgItem(static_cast<int>(id))); }

    // The Device Setting page, modified or not, as the user left it before pressing a button.
    UIDeviceSettingDlg *SettingsPage(bool modified)
    {
        dlg->ShowDeviceSettingView();
        auto *page = dynamic_cast<UIDeviceSettingDlg *>(dlg->m_pChildPage);
        EXPECT_NE(page, nullptr);
        if (page && modified)
        {
            // A length other than the one shown (an earlier save may have stored the last one).
            CString typed;
            typed.Format(u"%d", 30 + edits++);
            page->GetControl(UIDeviceSettingDlg::kWalkingEditId)->SetWindowText(typed.GetString());
            EXPECT_TRUE(dlg->IsChildPageModified());
        }
        dlg->calls.clear();
        dlg->confirmations = 0;
        return page;
    }
    std::u16string StatusLine() const { return Caption(CKVTDlg::kStatusLineId); }

    // Runs `answer` inside every save-changes prompt, after checking what every prompt shows.
    void AnswerPrompts(std::function<void(CSaveChangesDlg &)> answer)
    {
        vxwin::SetModalHook([this, answer](CDialog &d) {
            auto *prompt = dynamic_cast<CSaveChangesDlg *>(&d);
            if (!prompt)
            {
                ADD_FAILURE() << "another prompt came up";
                d.EndDialog(IDABORT);
                return;
            }
            ++prompts;
            EXPECT_EQ(dlg->m_pSaveChangesDlg, prompt);
            EXPECT_TRUE(dlg->m_bIgnoreDeviceArrival) << "no arrival is acted on while the prompt is up";
            EXPECT_EQ(std::u16string(prompt->GetMessageLabel()->GetText()), u"Save Changes?");
            answer(*prompt);
        });
    }
    static void Press(UIButton *button)
    {
        QTest::mouseClick(button->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
        vxtest::ProcessEvents();
    }

    CWinApp app;
    std::unique_ptr<NavDlg> dlg;
    int prompts = 0;
    int edits = 0;
};

// ---- the bar ----------------------------------------------------------------------------------

TEST_F(Navigation, EachPageDisablesItsOwnButtonAndDeviceSettingWaitsForAnImport)
{
    struct Row
    {
        NavigationPage page;
        // home, Device Setting ('D': only with extended settings imported), My Runs, My Goal, My Profile,
        // My Support
        const char *flags;
    };
    const Row rows[] = {
        {NavigationPage::Home, "0D1111"},    {NavigationPage::Runs, "1D0111"},
        {NavigationPage::Goal, "1D1011"},    {NavigationPage::Profile, "1D1101"},
        {NavigationPage::Support, "1D1110"}, {NavigationPage::DeviceSetting, "101111"},
        {NavigationPage::RemoveAccount, "1D1101"}, {NavigationPage::Blocked, "000000"},
    };
    const struct
    {
        std::uint32_t tableFlag;
        BOOL imported;
    } devices[] = {{0, FALSE}, {1, FALSE}, {0, TRUE}, {1, TRUE}};
    for (const Row &row : rows)
    {
        for (const auto &device : devices)
        {
            SCOPED_TRACE(testing::Message() << row.flags << " table flag " << device.tableFlag << " imported "
                                            << device.imported);
            dlg->m_nDeviceTableFlag = device.tableFlag;
            dlg->m_bImported = device.imported;
            dlg->BeginPage(FALSE, 0);
            dlg->BuildNavigationBarFor(row.page);
            for (std::size_t i = 0; i < std::size(kBarButtons); ++i)
            {
                const char flag = row.flags[i];
                const bool expected = flag == 'D' ? device.tableFlag != 0 && device.imported : flag == '1';
                EXPECT_EQ(Enabled(kBarButtons[i]), expected) << "button " << kBarButtons[i];
            }
            EXPECT_EQ(dlg->PageControlCount(), 7u) << "six buttons and the separator, all on the page";
        }
    }
}

TEST_F(Navigation, TheBarsButtonsHaveTheirCaptionsPlacesAndLooks)
{
    const struct
    {
        LANGID language;
        const char16_t *captions[5];
        int fontStyle;
    } languages[] = {
        {1033, {u"Device Setting", u"My Runs", u"My Goal", u"My Profile", u"My Support"}, 1},
        {1031, {u"Einstellungen", u"Meine L\u00e4ufe", u"Mein Ziel", u"Mein Profil", u"Mein Support"}, 1},
        {1028, {u"\u88dd\u7f6e\u8a2d\u5b9a", u"\u6211\u7684\u8dd1\u6b65", nullptr, nullptr, nullptr}, 0},
    };
    const UINT captioned[] = {kDeviceSettingButton, kRunsButton, kGoalButton, kProfileButton, kSupportButton};
    const CRect rects[] = {CRect(130, 476, 170, 496), CRect(170, 472, 270, 499), CRect(270, 472, 370, 499),
                           CRect(370, 472, 470, 499), CRect(470, 472, 570, 499), CRect(570, 472, 670, 499)};
    for (const auto &l : languages)
    {
        SCOPED_TRACE(l.language);
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxtest::ProcessEvents();
        dlg = Make(l.language);
        dlg->BeginPage(FALSE, 0);
        dlg->BuildNavigationBar(TRUE, TRUE, TRUE, TRUE, FALSE, TRUE, TRUE);
        EXPECT_EQ(Caption(kHomeButton), u"");
        for (std::size_t i = 0; i < std::size(captioned); ++i)
        {
            if (l.captions[i])
            {
                EXPECT_EQ(Caption(captioned[i]), l.captions[i]);
            }
            EXPECT_EQ(Item<UIButton>(captioned[i])->GetFontStyle(), l.fontStyle);
        }
        for (std::size_t i = 0; i < std::size(kBarButtons); ++i)
        {
            EXPECT_EQ(RectOf(kBarButtons[i]), rects[i]);
            EXPECT_TRUE(Enabled(kBarButtons[i])) << "the fifth flag binds no button";
            EXPECT_TRUE(dlg->GetDlgItem(static_cast<int>(kBarButtons[i]))->IsWindowVisible());
        }
    }
    // The separator: the last control of the bar, a red line across the page.
    CWnd *separator = dlg->PageControl(dlg->PageControlCount() - 1);
    ASSERT_NE(separator, nullptr);
    CRect rect;
    separator->GetWindowRect(&rect);
    dlg->ScreenToClient(&rect);
    EXPECT_EQ(rect, CRect(22, 465, 679, 467));
    const QImage shot = vxtest::GrabWidget(dlg->GetWidget());
    EXPECT_EQ(vxtest::PixelAt(shot, 300, 465).rgb(), QColor(0xE0, 0x1A, 0x26).rgb());
}

// ---- switching pages --------------------------------------------------------------------------

TEST_F(Navigation, AnUnmodifiedSettingsPageIsLeftAtOnce)
{
    const struct
    {
        UINT button;
        const char *page;
        KvtView view;
    } cases[] = {
        {kHomeButton, "home", KvtView::Home},          {kRunsButton, "runs", KvtView::Runs},
        {kGoalButton, "goal", KvtView::Goal},          {kProfileButton, "profile", KvtView::Profile},
        {kSupportButton, "support", KvtView::Support}, {kLogOutButton, "log out", KvtView::LogOut},
    };
    AnswerPrompts([](CSaveChangesDlg &d) { d.EndDialog(IDABORT); });
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.page);
        SettingsPage(false);
        Click(c.button);
        EXPECT_EQ(dlg->calls, std::vector<std::string>{c.page});
        EXPECT_EQ(dlg->m_nCurrentView, c.view);
        vxtest::ProcessEvents();
        EXPECT_EQ(dlg->confirmations, 0);
    }
    EXPECT_EQ(prompts, 0);
}

TEST_F(Navigation, FromOtherPagesTheButtonsSwitchAtOnceAndDeviceSettingBuildsItsPage)
{
    dlg->ShowHomeView();
    dlg->BuildNavigationBarFor(NavigationPage::Home);
    dlg->calls.clear();
    Click(kDeviceSettingButton);
    EXPECT_EQ(dlg->m_nCurrentView, KvtView::DeviceSetting);
    EXPECT_NE(dynamic_cast<UIDeviceSettingDlg *>(dlg->m_pChildPage), nullptr);

    // A modified page elsewhere than on the settings page asks nothing.
    dlg->StandInPage("goal", KvtView::Goal, FALSE);
    dlg->BuildNavigationBarFor(NavigationPage::Goal);
    Click(kRunsButton);
    EXPECT_EQ(dlg->calls.back(), "runs");
    vxtest::ProcessEvents();
    EXPECT_EQ(dlg->confirmations, 0);

    // Without the main window the callbacks do nothing.
    app.m_pMainWnd = nullptr;
    dlg->calls.clear();
    for (auto callback : {&CKVTDlg::OnNavHome, &CKVTDlg::OnNavDeviceSetting, &CKVTDlg::OnNavMyRuns,
                          &CKVTDlg::OnNavMyGoal, &CKVTDlg::OnNavMyProfile, &CKVTDlg::OnNavMySupport,
                          &CKVTDlg::OnLogOut, &CKVTDlg::OnShareCancel})
        callback();
    EXPECT_TRUE(dlg->calls.empty());
}

// From a modified settings page a button asks first; Don't Save and a successful Save both lead to
// the page asked for.
TEST_F(Navigation, AModifiedSettingsPageAsksBeforeItIsLeft)
{
    const struct
    {
        const char *name;
        UINT button;
        bool save;
        const char *page;
        KvtView view;
    } cases[] = {
        {"don't save, my goal", kGoalButton, false, "goal", KvtView::Goal},
        {"save, my runs", kRunsButton, true, "runs", KvtView::Runs},
        {"save, home", kHomeButton, true, "home", KvtView::Home},
        {"don't save, my profile", kProfileButton, false, "profile", KvtView::Profile},
        {"save, my support", kSupportButton, true, "support", KvtView::Support},
        // Log Out asks about the changes first, then asks whether to log out.
        {"don't save, log out", kLogOutButton, false, "log out", KvtView::LogOut},
        {"save, log out", kLogOutButton, true, "log out", KvtView::LogOut},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.name);
        UIDeviceSettingDlg *page = SettingsPage(true);
        dlg->writes = 0;
        prompts = 0;
        AnswerPrompts([&](CSaveChangesDlg &prompt) {
            EXPECT_TRUE(dlg->calls.empty()) << "no page before the answer";
            Press(c.save ? prompt.GetSaveButton() : prompt.GetDiscardButton());
            EXPECT_FALSE(page->m_bModified);
        });
        Click(c.button);
        EXPECT_TRUE(dlg->calls.empty());
        EXPECT_EQ(dlg->m_nCurrentView, c.view) << "the target is kept as the page state";
        vxtest::ProcessEvents();
        EXPECT_EQ(dlg->confirmations, 1);
        EXPECT_EQ(prompts, 1);
        EXPECT_EQ(dlg->writes, c.save ? 1 : 0);
        EXPECT_EQ(dlg->calls, std::vector<std::string>{c.page});
        EXPECT_EQ(dlg->m_nCurrentView, c.view);
        EXPECT_EQ(dlg->m_pSaveChangesDlg, nullptr);
    }
}

// A Save whose write fails keeps the prompt and sets the state back to the settings page, which stays
// after the prompt whichever way it ends, and heeds arrivals again.
TEST_F(Navigation, AFailedSaveKeepsThePromptAndTheSettingsPage)
{
    for (const bool thenSave : {false, true})
    {
        SCOPED_TRACE(thenSave ? "failed, then saved" : "failed, then not saved");
        UIDeviceSettingDlg *page = SettingsPage(true);
        ASSERT_FALSE(dlg->m_bIgnoreDeviceArrival);
        dlg->writes = 0;
        dlg->writeResults = {false, true};
        AnswerPrompts([&](CSaveChangesDlg &prompt) {
            Press(prompt.GetSaveButton());
            EXPECT_TRUE(prompt.IsWindowVisible()) << "the prompt stays";
            EXPECT_EQ(dlg->m_nCurrentView, KvtView::DeviceSetting);
            EXPECT_EQ(StatusLine(), u"Error saving data to Vormatik device");
            EXPECT_TRUE(page->m_bModified);
            Press(thenSave ? prompt.GetSaveButton() : prompt.GetDiscardButton());
            EXPECT_FALSE(prompt.IsWindowVisible());
            if (prompt.IsWindowVisible())
                prompt.EndDialog(IDABORT);
        });
        Click(kGoalButton);
        vxtest::ProcessEvents();
        EXPECT_EQ(dlg->writes, thenSave ? 2 : 1);
        EXPECT_TRUE(dlg->calls.empty()) << "no page is built";
        EXPECT_EQ(dlg->m_pChildPage, page);
        EXPECT_EQ(dlg->m_nCurrentView, KvtView::DeviceSetting);
        EXPECT_FALSE(page->m_bModified);
        EXPECT_FALSE(dlg->m_bIgnoreDeviceArrival) << "the settings page heeds arrivals again";
    }
}

// The question is posted; a page that takes the settings page's place before it arrives stays, and no
// prompt comes up that nothing could close.
TEST_F(Navigation, AQuestionArrivingAfterTheSettingsPageIsGoneIsDropped)
{
    AnswerPrompts([](CSaveChangesDlg &d) { d.EndDialog(IDABORT); });
    for (const bool arrival : {true, false})
    {
        SCOPED_TRACE(arrival ? "an arrival's prompt" : "a second press");
        SettingsPage(true);
        Click(kGoalButton);
        if (arrival)
            dlg->ShowArrivalPrompt();
        else
            Click(kRunsButton); // the page state is no longer the settings page's: at once
        const BOOL ignore = dlg->m_bIgnoreDeviceArrival;
        const std::vector<std::string> before = dlg->calls;
        vxtest::ProcessEvents();
        EXPECT_EQ(dlg->confirmations, 1);
        EXPECT_EQ(prompts, 0);
        EXPECT_EQ(dlg->calls, before) << "the page that took the place stays";
        EXPECT_NE(dlg->GetDlgItem(kStandInId), nullptr);
        EXPECT_EQ(dlg->m_bIgnoreDeviceArrival, ignore);
    }
}

// A page built while the prompt is up takes the settings page away: the prompt ends with it, and that
// page stays.
TEST_F(Navigation, APageBuiltWhileThePromptIsUpEndsThePrompt)
{
    SettingsPage(true);
    AnswerPrompts([&](CSaveChangesDlg &prompt) {
        dlg->ShowArrivalPrompt();
        EXPECT_FALSE(prompt.IsWindowVisible());
        if (prompt.IsWindowVisible())
            prompt.EndDialog(IDABORT);
    });
    Click(kSupportButton);
    vxtest::ProcessEvents();
    EXPECT_EQ(prompts, 1);
    EXPECT_EQ(dlg->calls, std::vector<std::string>{"arrival prompt"});
    EXPECT_NE(dlg->GetDlgItem(kStandInId), nullptr);
    EXPECT_TRUE(dlg->m_bIgnoreDeviceArrival);
    EXPECT_EQ(dlg->m_pSaveChangesDlg, nullptr);
}

TEST_F(Navigation, ShareCancelReturnsToMyRunsOrMyGoal)
{
    const struct
    {
        KvtView view;
        const char *page; // null: nothing
    } cases[] = {{KvtView::Runs, "runs"},         {KvtView::Goal, "goal"},
                 {KvtView::Profile, nullptr},     {KvtView::Support, nullptr},
                 {KvtView::DeviceSetting, nullptr}, {KvtView::LogOut, nullptr},
                 {KvtView::Home, nullptr}};
    for (const auto &c : cases)
    {
        dlg->calls.clear();
        dlg->m_nCurrentView = c.view;
        CKVTDlg::OnShareCancel();
        EXPECT_EQ(dlg->calls, c.page ? std::vector<std::string>{c.page} : std::vector<std::string>{})
            << static_cast<int>(c.view);
    }
}

TEST_F(Navigation, TheDeviceSettingPage)
{
    dlg->m_bIgnoreDeviceArrival = TRUE;
    dlg->m_nCurrentView = KvtView::Home;
    dlg->ShowDeviceSettingView();
    EXPECT_FALSE(dlg->m_bIgnoreDeviceArrival);
    EXPECT_TRUE(dlg->m_bSavedIgnoreDeviceArrival);
    EXPECT_EQ(dlg->m_nCurrentView, KvtView::DeviceSetting);
    EXPECT_EQ(Caption(CKVTDlg::kGreetingId), u"Device Setting");
    EXPECT_TRUE(dlg->GetDlgItem(CKVTDlg::kGreetingId)->IsWindowVisible());
    auto *page = dynamic_cast<UIDeviceSettingDlg *>(dlg->m_pChildPage);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(dlg->GetDlgItem(UIDeviceSettingDlg::kPageId), page);
    EXPECT_FALSE(Enabled(kDeviceSettingButton));
    for (UINT id : {kHomeButton, kRunsButton, kGoalButton, kProfileButton, kSupportButton})
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_EQ(Caption(kLogOutButton), u"Log Out");
    EXPECT_EQ(Item<UIButton>(kLogOutButton)->GetFontSize(), 10);
    EXPECT_NE(dlg->GetDlgItem(CKVTDlg::kCloseButtonId), nullptr);
    // Every control of the page belongs to it: the next page takes them all.
    dlg->ShowHomeView();
    EXPECT_EQ(dlg->GetDlgItem(kLogOutButton), nullptr);
    EXPECT_EQ(dlg->GetDlgItem(kGoalButton), nullptr);
    EXPECT_EQ(dlg->m_pChildPage, nullptr);
}

// ---- login pages ------------------------------------------------------------------------------

class LoginPages : public Navigation
{
};

TEST_F(LoginPages, TheLoginPageInEveryLanguage)
{
    const struct
    {
        LANGID language;
        const char16_t *title, *login, *signUp, *name, *password, *heading;
    } cases[] = {
        {1033, u"hello!", u"Login", u"Sign up >", u"Name:", u"Password:", u"Please login your account"},
        {1031, u"hallo!", u"Anmelden", u"Registrieren >", u"Name:", u"Passwort:", u"Bitte melden Sie sich an"},
        {1028, nullptr, u"\u767b\u5165", u"\u8a3b\u518a >", u"\u540d\u7a31:", u"\u5bc6\u78bc:", nullptr},
        {2052, nullptr, u"\u767b\u5f55", u"\u6ce8\u518c >", u"\u540d\u79f0:", u"\u5bc6\u7801:", nullptr},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.language);
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxtest::ProcessEvents();
        dlg = Make(c.language);
        dlg->m_nCurrentView = KvtView::Goal;
        dlg->m_bIgnoreDeviceArrival = FALSE;
        dlg->ShowLoginView();
        if (c.title)
        {
            EXPECT_EQ(Caption(CKVTDlg::kGreetingId), c.title);
        }
        if (c.heading)
        {
            EXPECT_EQ(Caption(1220), c.heading);
        }
        EXPECT_EQ(Caption(1002), c.login);
        EXPECT_EQ(Caption(1003), c.signUp);
        EXPECT_EQ(Caption(1221), c.name);
        EXPECT_EQ(Caption(1222), c.password);
        EXPECT_NE(Caption(1223), u"<none>");
        EXPECT_NE(Caption(1223), u"");
        for (UINT id : {1001u, 1008u, CKVTDlg::kCloseButtonId})
            EXPECT_NE(dlg->GetDlgItem(static_cast<int>(id)), nullptr) << id;
        // The buttons take the size of their pictures.
        EXPECT_EQ(RectOf(1002).TopLeft(), CPoint(515, 256));
        EXPECT_EQ(RectOf(1003).TopLeft(), CPoint(515, 306));
        EXPECT_EQ(RectOf(CKVTDlg::kLoginNameId), CRect(442, 185, 597, 203));
        EXPECT_EQ(RectOf(CKVTDlg::kLoginPasswordId), CRect(442, 210, 597, 228));
        EXPECT_EQ(Item<UIButton>(1002)->GetFontStyle(), c.language == 1028 ? 0 : 1);
        // Nobody is logged in: arrivals wait; the page has no state and no bar of its own.
        EXPECT_TRUE(dlg->m_bIgnoreDeviceArrival);
        EXPECT_EQ(dlg->m_nCurrentView, KvtView::Goal);
        EXPECT_EQ(dlg->GetDlgItem(kHomeButton), nullptr);
    }
}

// The fields take 20 characters of what is typed or pasted, the password hidden; never half of a
// character beyond the BMP.
TEST_F(LoginPages, TheFieldsTakeTwentyCharacters)
{
    dlg->ShowLoginView();
    for (const UINT id : {CKVTDlg::kLoginNameId, CKVTDlg::kLoginPasswordId})
    {
        SCOPED_TRACE(id);
        auto *field = Item<UIEdit>(id);
        ASSERT_NE(field, nullptr);
        QLineEdit *line = field->GetLineEdit();
        EXPECT_EQ(line->echoMode(), id == CKVTDlg::kLoginPasswordId ? QLineEdit::Password : QLineEdit::Normal);
        EXPECT_EQ(field->GetLimitText(), 20u);
        EXPECT_EQ(field->GetTextColor(), COLORREF{0x605D5C});
        line->setFocus();
        QTest::keyClicks(line, "O'Neil\"x;--abcdefghijklmnop");
        EXPECT_EQ(dlg->FieldText(id), u"O'Neil\"x;--abcdefghi");
        // One unit of room left: a character of two units does not fit, and is not cut in half.
        line->backspace();
        QGuiApplication::clipboard()->setText(QString::fromUtf16(u"\U0001F600z"));
        QTest::keyClick(line, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(dlg->FieldText(id), u"O'Neil\"x;--abcdefgh");
        line->backspace();
        QTest::keyClick(line, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(dlg->FieldText(id), u"O'Neil\"x;--abcdefg\U0001F600");
    }
}

// Enter and the Login button both run the log-in step, on each of the three pages.
TEST_F(LoginPages, EnterAndLoginRunTheLogInStep)
{
    const struct
    {
        const char *name;
        void (NavDlg::*show)();
    } pages[] = {{"login", &NavDlg::ShowLoginView},
                 {"login error", &NavDlg::ShowLoginErrorView},
                 {"relogin", &NavDlg::ShowReloginView}};
    for (const auto &p : pages)
    {
        SCOPED_TRACE(p.name);
        (dlg.get()->*p.show)();
        Item<UIEdit>(CKVTDlg::kLoginNameId)->SetWindowText(u"ann");
        Item<UIEdit>(CKVTDlg::kLoginPasswordId)->SetWindowText(u"pw");
        dlg->calls.clear();
        dlg->OnOK();
        Click(1002u);
        EXPECT_EQ(dlg->calls, (std::vector<std::string>{"log in", "log in"}));
        EXPECT_EQ(dlg->nameAtLogIn, u"ann");
        EXPECT_EQ(dlg->passwordAtLogIn, u"pw");
    }
    // Another page forgets the Enter action.
    dlg->ShowHomeView();
    dlg->calls.clear();
    dlg->OnOK();
    EXPECT_TRUE(dlg->calls.empty());
}

// A failed log-in shows the error page: a new page whose fields are empty, under the title that was.
TEST_F(LoginPages, AFailedLogInShowsTheErrorPageWithEmptyFields)
{
    dlg->failLogIn = true;
    dlg->ShowLoginView();
    dlg->m_nCurrentView = KvtView::Support;
    Item<UIEdit>(CKVTDlg::kLoginNameId)->SetWindowText(u"ann");
    Item<UIEdit>(CKVTDlg::kLoginPasswordId)->SetWindowText(u"wrong");
    dlg->m_bIgnoreDeviceArrival = FALSE;
    Click(1002u);
    EXPECT_EQ(dlg->nameAtLogIn, u"ann");
    EXPECT_EQ(dlg->FieldText(CKVTDlg::kLoginNameId), u"");
    EXPECT_EQ(dlg->FieldText(CKVTDlg::kLoginPasswordId), u"");
    EXPECT_EQ(Item<UIEdit>(CKVTDlg::kLoginNameId)->GetLimitText(), 20u);
    EXPECT_EQ(Item<UIEdit>(CKVTDlg::kLoginPasswordId)->GetLimitText(), 20u);
    EXPECT_EQ(Caption(CKVTDlg::kGreetingId), u"hello!");
    EXPECT_EQ(Caption(1220), u"Error Occurred");
    EXPECT_EQ(Caption(1245), u"Wrong ID or Password, please correct the invalid entries below");
    EXPECT_EQ(Caption(1195), u"Exit");
    EXPECT_EQ(dlg->GetDlgItem(1003), nullptr);
    EXPECT_NE(dlg->GetDlgItem(1013), nullptr);
    EXPECT_TRUE(dlg->m_bIgnoreDeviceArrival);
    EXPECT_EQ(dlg->m_nCurrentView, KvtView::Support);
}

// Re-login from a device prompt: the prompt ends, the user is logged out everywhere and the relogin
// page comes; when the store cannot log out, the error page that ends the program.
TEST_F(LoginPages, ReloginLogsOutAndShowsTheReloginPage)
{
    ASSERT_TRUE(dlg->m_pDatabase && dlg->m_pDatabase->IsOpen());
    const DateParts dob = {1, 2, 1980};
    ASSERT_EQ(dlg->m_pDatabase->AddUser(u"ann", u"abc", u"Ann", u"Lee", 1, &dob, 46, 170, 0, 60, 0), 1);
    ASSERT_EQ(dlg->m_pDatabase->Login(u"ann", u"abc"), 1);
    dlg->m_bLoggedIn = TRUE;
    dlg->m_szUserId[0] = u'a';
    dlg->m_nCurrentView = KvtView::Goal;
    dlg->m_bIgnoreDeviceArrival = TRUE;

    CReloginContinueDlg prompt(1033, dlg.get());
    prompt.SetFirstButtonCallback(&CKVTDlg::OnReloginContinue);
    dlg->m_pPromptDlg = &prompt;
    vxwin::SetModalHook([&](CDialog &) { Press(prompt.GetFirstButton()); });
    EXPECT_EQ(prompt.DoModal(), IDOK);
    vxwin::SetModalHook({});
    dlg->m_pPromptDlg = nullptr;

    EXPECT_EQ(dlg->m_pDatabase->Logout(), 0) << "the store was logged out already";
    EXPECT_FALSE(dlg->m_bLoggedIn);
    EXPECT_FALSE(dlg->m_bImported);
    EXPECT_EQ(dlg->m_szUserId[0], 0) << "the user's state is reset";
    EXPECT_EQ(dlg->m_nCurrentView, KvtView::Home);
    EXPECT_EQ(Caption(CKVTDlg::kGreetingId), u"Log In");
    EXPECT_EQ(Caption(1220), u"Login info");
    EXPECT_EQ(Caption(1221), u"Login Name:");
    EXPECT_EQ(Caption(1222), u"Password:");
    EXPECT_NE(dlg->GetDlgItem(1067), nullptr);
    EXPECT_EQ(dlg->FieldText(CKVTDlg::kLoginNameId), u"");
    EXPECT_TRUE(dlg->m_bIgnoreDeviceArrival) << "left as it was";

    // Nobody is logged in to the store any more: logging out fails.
    dlg->m_bLoggedIn = TRUE;
    CKVTDlg::OnReloginContinue();
    EXPECT_EQ(Caption(CKVTDlg::kGreetingId), u"Log out error");
    EXPECT_EQ(Caption(1195), u"Exit");
    EXPECT_TRUE(dlg->m_bLoggedIn) << "nothing is reset after a failed log-out";
}

TEST_F(LoginPages, ReloginLeavesTheArrivalFlagAsItWas)
{
    for (const BOOL ignore : {FALSE, TRUE})
    {
        dlg->m_bIgnoreDeviceArrival = ignore;
        dlg->ShowReloginView();
        EXPECT_EQ(dlg->m_bIgnoreDeviceArrival, ignore);
    }
}

// Sign up opens the form in imperial units, whatever the units were.
TEST_F(LoginPages, SignUpStartsInImperialUnits)
{
    dlg->ShowLoginView();
    dlg->SetDistanceUnit(TRUE);
    EXPECT_EQ(dlg->m_strDistanceUnit.str(), u"km");
    dlg->calls.clear();
    Click(1003u);
    EXPECT_EQ(dlg->calls, std::vector<std::string>{"new account"});
    EXPECT_FALSE(dlg->m_bMetric);
    EXPECT_EQ(dlg->m_strDistanceUnit.str(), u"miles");
    EXPECT_FALSE(dlg->IsMetricUnits());
}

// The login page in each language, grabbed from the offscreen window: the pictures lie where the
// page puts them and the captions differ by language. With VORMATIK_SCREENSHOT_DIR set, the grabs
// are written there as login-<language>.png (scripts/screenshots does that for docs/).
TEST_F(LoginPages, ScreenshotsOfTheLoginPage)
{
    const struct
    {
        LANGID language;
        const char *file;
    } languages[] = {{1033, "login-en.png"}, {1031, "login-de.png"}, {1028, "login-zh-tw.png"},
                     {2052, "login-zh-cn.png"}};
    std::vector<QImage> shots;
    const char *folder = std::getenv("VORMATIK_SCREENSHOT_DIR");
    for (const auto &l : languages)
    {
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxtest::ProcessEvents();
        dlg = Make(l.language);
        dlg->ShowLoginView();
        dlg->ShowWindow(SW_SHOW);
        vxtest::ProcessEvents();
        const QImage shot = vxtest::GrabWidget(dlg->GetWidget());
        ASSERT_EQ(shot.size(), QSize(720, 520));
        // The Login button's face, the name field's white and the close button's grey.
        EXPECT_NE(vxtest::PixelAt(shot, 520, 266), vxtest::PixelAt(shot, 505, 266));
        EXPECT_EQ(vxtest::PixelAt(shot, 500, 194).rgb(), QColor(Qt::white).rgb());
        shots.push_back(shot.copy(QRect(200, 100, 500, 240)));
        if (folder)
        {
            EXPECT_TRUE(shot.save(QString::fromLocal8Bit(folder) + "/" + l.file, "PNG")) << l.file;
        }
    }
    for (std::size_t i = 1; i < shots.size(); ++i)
        EXPECT_NE(shots[i], shots[0]) << "the captions of language " << languages[i].language;
}
} // namespace

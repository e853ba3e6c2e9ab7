// The import and save error pages, the prompts shown when a log-in found no usable monitor, and the
// log-out confirmation, over the dialog's real records store. The pages of other work (home, My Runs,
// My Goal, My Profile, My Support, the upload prompt) are stand-ins that record their call.
#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QTest>
#include <string>
#include <vector>

#include "app/DialogText.h"
#include "device/WorkoutImporter.h"
#include "store/KvtDatabase.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "ui/Calendar.h"
#include "ui/DataGraph.h"
#include "ui/PromptDialogs.h"
#include "ui/UIButton.h"
#include "ui/UIDeviceSettingDlg.h"
#include "ui/UIStatic.h"

namespace
{
using Calls = std::vector<std::string>;

constexpr UINT kBarButtons[] = {1026, 1261, 1027, 1028, 1031, 1032};
constexpr UINT kLogOutButton = 1093;
constexpr UINT kRetryButton = 1192;
constexpr UINT kContinueButton = 1199;
constexpr UINT kYesButton = 1043;
constexpr UINT kNoButton = 1044;
constexpr UINT kStandInId = 1600;

class ErrorPagesDlg : public CKVTDlg
{
  public:
    explicit ErrorPagesDlg(LANGID language) : CKVTDlg(language) {}

    Calls calls;
    std::vector<bool> writeResults; // answers in order; true once they are used up
    int importResult = kImportDone;

    void StandInPage(const char *name, KvtView view)
    {
        calls.push_back(name);
        BeginPage(FALSE, 0);
        AddPageLabel(0, CRect(10, 10, 20, 20), kStandInId, 0xFF838281, 12);
        m_nCurrentView = view;
    }
    void ShowHomeView() override { StandInPage("home", KvtView::Home); }
    void ShowRunsView() override { StandInPage("runs", KvtView::Runs); }
    void ShowGoalView() override { StandInPage("goal", KvtView::Goal); }
    void ShowProfileView() override { StandInPage("profile", KvtView::Profile); }
    void ShowSupportView() override { StandInPage("support", KvtView::Support); }
    void ShowUploadPromptView() override { calls.push_back("upload prompt"); }
    bool WriteDeviceSettings(bool freshHeader) override
    {
        calls.push_back(freshHeader ? "write fresh header" : "write keeping records");
        const std::size_t n = writes++;
        return n < writeResults.size() ? writeResults[n] : true;
    }
    int ImportWorkouts() override
    {
        calls.push_back("import");
        return importResult;
    }

    using CKVTDlg::ShowLoginView;

  protected:
    std::shared_ptr<UlvexDevice> CreateDeviceWrapper() override
    {
        return std::make_shared<UlvexDevice>(vxtest::FakeUlvexPath());
    }

  private:
    std::size_t writes = 0;
};

class DeviceErrorPages : public ::testing::Test
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

    std::unique_ptr<ErrorPagesDlg> Make(LANGID language)
    {
        auto made = std::make_unique<ErrorPagesDlg>(language);
        EXPECT_TRUE(made->Create(CKVTDlg::kDialogTemplate, nullptr));
        app.m_pMainWnd = made.get();
        return made;
    }

    // Ann logged in to the dialog's store, as a log-in leaves her.
    void LogIn()
    {
        KvtDatabase *db = dlg->m_pDatabase.get();
        ASSERT_TRUE(db && db->IsOpen());
        if (db->Login(u"ann", u"abc") != 1)
        {
            const DateParts born = {1, 2, 1980};
            ASSERT_EQ(db->AddUser(u"ann", u"abc", u"Ann", u"Lee", 1, &born, 46, 170, 0, 60, 0), 1);
            ASSERT_EQ(db->Login(u"ann", u"abc"), 1);
        }
        dlg->m_bLoggedIn = TRUE;
        dlg->m_bImported = TRUE;
        CopyText(dlg->m_szUserId, u"ann");
        CopyText(dlg->m_szFirstName, u"Ann");
        CopyText(dlg->m_szPassword, u"abc");
    }

    template <class T> T *Item(UINT id) const
    {
        return dynamic_cast<T *>(dlg->GetDlgItem(static_cast<int>(id)));
    }
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
    UIStatic *Greeting() const { return Item<UIStatic>(CKVTDlg::kGreetingId); }
    void Click(UINT id)
    {
        CWnd *button = dlg->GetDlgItem(static_cast<int>(id));
        ASSERT_NE(button, nullptr) << id;
        button->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        button->SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    }
    static void Press(UIButton *button)
    {
        QTest::mouseClick(button->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
        vxtest::ProcessEvents();
    }
    void ExpectBarAllDisabled() const
    {
        for (const UINT id : kBarButtons)
        {
            EXPECT_NE(dlg->GetDlgItem(static_cast<int>(id)), nullptr) << id;
            EXPECT_FALSE(Enabled(id)) << id;
        }
    }
    // The relogin page with nobody logged in anywhere.
    void ExpectLoggedOutOnReloginPage() const
    {
        EXPECT_EQ(Caption(CKVTDlg::kGreetingId), u"Log In");
        EXPECT_NE(dlg->GetDlgItem(1067), nullptr);
        EXPECT_FALSE(dlg->m_pDatabase->IsLoggedIn());
        EXPECT_FALSE(dlg->m_bLoggedIn);
        EXPECT_FALSE(dlg->m_bImported);
        EXPECT_EQ(dlg->m_szUserId[0], u'\0');
    }

    CWinApp app;
    std::unique_ptr<ErrorPagesDlg> dlg;
};

// ---- the error pages ----------------------------------------------------------------------------

struct ErrorPageCase
{
    const char *name;
    void (CKVTDlg::*show)();
    const char16_t *text;
    // What Retry does, as the stand-ins record it.
    Calls retry;
};

const ErrorPageCase kErrorPages[] = {
    {"retrieve error",
     &CKVTDlg::ShowRetrieveErrorView,
     u"Error retrieving data from Vormatik device.",
     {"import", "home"}},
    {"upload disconnected",
     &CKVTDlg::ShowUploadDisconnectedView,
     u"Sorry!! Upload failed due to disconnection.\nPlease check the connection and try again.",
     {"import", "home"}},
    {"save error",
     &CKVTDlg::ShowSaveErrorView,
     u"Error saving data to Vormatik device",
     {"write keeping records", "upload prompt"}},
};

TEST_F(DeviceErrorPages, EachPageShowsItsTextTheThreeButtonsAndABarWithNothingEnabled)
{
    LogIn();
    dlg->CreateRunGraph();
    for (const auto &c : kErrorPages)
    {
        SCOPED_TRACE(c.name);
        dlg->ShowHomeView();
        dlg->m_nCurrentView = KvtView::Goal;
        dlg->m_bIgnoreDeviceArrival = FALSE;
        if (dlg->m_pRunGraph)
            dlg->m_pRunGraph->ShowWindow(SW_SHOW);
        (dlg.get()->*c.show)();
        EXPECT_EQ(Caption(CKVTDlg::kStatusLineId), c.text);
        EXPECT_EQ(Caption(kLogOutButton), u"Log Out");
        EXPECT_EQ(Caption(kRetryButton), u"Retry");
        EXPECT_EQ(Caption(kContinueButton), u"Continue");
        for (const UINT id : {kLogOutButton, kRetryButton, kContinueButton})
            EXPECT_TRUE(Enabled(id)) << id;
        EXPECT_NE(dlg->GetDlgItem(1008), nullptr);
        EXPECT_NE(dlg->GetDlgItem(CKVTDlg::kCloseButtonId), nullptr);
        EXPECT_EQ(dlg->GetDlgItem(kStandInId), nullptr) << "the page before is gone";
        ExpectBarAllDisabled();
        EXPECT_TRUE(dlg->m_bIgnoreDeviceArrival);
        EXPECT_EQ(dlg->m_nCurrentView, KvtView::Goal) << "an error page has no page state";
        ASSERT_NE(Greeting(), nullptr);
        EXPECT_EQ(std::u16string(Greeting()->GetText()), u"Ann");
        EXPECT_TRUE(Greeting()->IsWindowVisible());
        if (dlg->m_pRunGraph && dlg->m_pRunGraph->m_hWnd)
        {
            EXPECT_FALSE(dlg->m_pRunGraph->IsWindowVisible());
        }
    }
}

// Retry: the import again for the import pages, the settings write for the save page; Continue goes
// home; the close button closes the program.
TEST_F(DeviceErrorPages, RetryAndContinueDoWhatEachPageIsFor)
{
    LogIn();
    for (const auto &c : kErrorPages)
    {
        SCOPED_TRACE(c.name);
        (dlg.get()->*c.show)();
        dlg->calls.clear();
        Click(kRetryButton);
        EXPECT_EQ(dlg->calls, c.retry);

        (dlg.get()->*c.show)();
        dlg->calls.clear();
        Click(kContinueButton);
        EXPECT_EQ(dlg->calls, Calls{"home"});
        EXPECT_EQ(dlg->m_nCurrentView, KvtView::Home);
        EXPECT_TRUE(dlg->m_pDatabase->IsLoggedIn()) << "Continue keeps the user";
    }
}

// A failed retry leaves the user on the page, where Retry can be pressed again.
TEST_F(DeviceErrorPages, AFailedRetryStaysOnThePage)
{
    LogIn();
    dlg->writeResults = {false, true};
    dlg->ShowSaveErrorView();
    dlg->calls.clear();
    Click(kRetryButton);
    EXPECT_EQ(dlg->calls, Calls{"write keeping records"});
    EXPECT_EQ(Caption(CKVTDlg::kStatusLineId), u"Error saving data to Vormatik device");
    Click(kRetryButton);
    EXPECT_EQ(dlg->calls, (Calls{"write keeping records", "write keeping records", "upload prompt"}));
    EXPECT_EQ(vxwin::WaitCursorDepth(), 0);

    // The import failing again shows the page of its result.
    dlg->importResult = kImportNoDevice;
    dlg->ShowRetrieveErrorView();
    dlg->calls.clear();
    Click(kRetryButton);
    EXPECT_EQ(dlg->calls, Calls{"import"});
    EXPECT_EQ(Caption(CKVTDlg::kStatusLineId),
              u"Sorry!! Upload failed due to disconnection.\nPlease check the connection and try again.");
    EXPECT_EQ(vxwin::WaitCursorDepth(), 0);
}

// The greeting is the first name, or the user id without one, smaller the longer it is; a character
// beyond the BMP counts once, and quotes are shown as they are.
TEST_F(DeviceErrorPages, TheGreetingShrinksWithItsLength)
{
    const std::u16string smile = u"\U0001F600";
    const struct
    {
        const char *name;
        std::u16string firstName;
        std::u16string userId;
        int size;
    } cases[] = {
        {"17", std::u16string(17, u'a'), u"ann", 18},
        {"18", std::u16string(18, u'a'), u"ann", 16},
        {"22", std::u16string(22, u'a'), u"ann", 16},
        {"23", std::u16string(23, u'a'), u"ann", 14},
        {"44", std::u16string(44, u'a'), u"ann", 14},
        {"45", std::u16string(45, u'a'), u"ann", 12},
        {"200", std::u16string(200, u'a'), u"ann", 12},
        {"17 with a pair", std::u16string(16, u'a') + smile, u"ann", 18},
        {"18 with pairs", std::u16string(16, u'a') + smile + smile, u"ann", 16},
        {"44 with a pair", smile + std::u16string(43, u'a'), u"ann", 14},
        {"18 with a lone surrogate", std::u16string(17, u'a') + u'\xD83D', u"ann", 16},
        {"quotes", u"O'Neil \"Jr\"", u"ann", 18},
        {"no first name: the user id", u"", u"a'b\"cdefghijklmnopqrs", 16},
        {"both empty", u"", u"", 18},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.name);
        CopyText(dlg->m_szFirstName, c.firstName);
        CopyText(dlg->m_szUserId, c.userId);
        dlg->ShowUploadDisconnectedView();
        ASSERT_NE(Greeting(), nullptr);
        EXPECT_EQ(std::u16string(Greeting()->GetText()), c.firstName.empty() ? c.userId : c.firstName);
        EXPECT_EQ(Greeting()->GetFontSize(), c.size);
    }
    // The next page's title is back at its usual size.
    dlg->ShowLogOutConfirmView();
    EXPECT_EQ(std::u16string(Greeting()->GetText()), u"bye!");
    EXPECT_EQ(Greeting()->GetFontSize(), 18);
}

// ---- the device prompts ---------------------------------------------------------------------------

struct PromptCase
{
    const char *name;
    UINT message;
    const char16_t *title;
    const char16_t *first;
};

const PromptCase kPrompts[] = {
    {"not detected", WM_KVT_DEVICE_NOT_DETECTED, u"Device Not Detected !",
     u"Please connect the device to PC"},
    {"dongle only", WM_KVT_DONGLE_ONLY, u"USB dongle detected only !",
     u"Please connect your device and USB dongle together"},
    {"not ready", WM_KVT_DEVICE_NOT_READY, u"Device Not Ready !",
     u"Please charge your device's battery if it has not been charged recently. "
     u"Then disconnect the device from PC, re-connect it and login again"},
};

// Re-login, whichever prompt it was, ends on the relogin page with the user logged out everywhere.
TEST_F(DeviceErrorPages, EachPromptsReloginLogsOutAndShowsTheReloginPage)
{
    for (const auto &c : kPrompts)
    {
        SCOPED_TRACE(c.name);
        LogIn();
        dlg->ShowHomeView();
        int prompts = 0;
        vxwin::SetModalHook([&](CDialog &d) {
            auto *prompt = dynamic_cast<CReloginContinueDlg *>(&d);
            ASSERT_NE(prompt, nullptr);
            ++prompts;
            EXPECT_EQ(dlg->m_pPromptDlg, prompt) << "the open prompt is known while it runs";
            EXPECT_EQ(std::u16string(prompt->GetTitleLabel()->GetText()), c.title);
            EXPECT_EQ(std::u16string(prompt->GetFirstMessage()->GetText()), c.first);
            EXPECT_EQ(std::u16string(prompt->GetSecondMessage()->GetText()), u"Please let me in");
            EXPECT_EQ(std::u16string(prompt->GetFirstButton()->GetText()), u"Re-login");
            EXPECT_EQ(std::u16string(prompt->GetSecondButton()->GetText()), u"Continue");
            Press(prompt->GetFirstButton());
        });
        dlg->calls.clear();
        dlg->SendMessage(c.message, 0, 0);
        vxwin::SetModalHook({});
        EXPECT_EQ(prompts, 1);
        EXPECT_EQ(dlg->m_pPromptDlg, nullptr);
        EXPECT_TRUE(dlg->calls.empty());
        ExpectLoggedOutOnReloginPage();
    }
}

// Continue ends the prompt and goes home, the user still logged in.
TEST_F(DeviceErrorPages, EachPromptsContinueGoesHome)
{
    LogIn();
    for (const auto &c : kPrompts)
    {
        SCOPED_TRACE(c.name);
        dlg->ShowLoginView();
        int prompts = 0;
        vxwin::SetModalHook([&](CDialog &d) {
            auto *prompt = dynamic_cast<CReloginContinueDlg *>(&d);
            ASSERT_NE(prompt, nullptr);
            ++prompts;
            Press(prompt->GetSecondButton());
        });
        dlg->calls.clear();
        dlg->SendMessage(c.message, 0, 0);
        vxwin::SetModalHook({});
        EXPECT_EQ(prompts, 1);
        EXPECT_EQ(dlg->m_pPromptDlg, nullptr);
        EXPECT_EQ(dlg->calls, Calls{"home"});
        EXPECT_EQ(dlg->m_nCurrentView, KvtView::Home);
        EXPECT_TRUE(dlg->m_pDatabase->IsLoggedIn());
        EXPECT_TRUE(dlg->m_bLoggedIn);
    }
}

// A prompt that opens inside another's loop hands the open prompt back when it ends, so the outer
// one's button still ends it.
TEST_F(DeviceErrorPages, APromptInsideAnotherLeavesTheOuterOneReachable)
{
    LogIn();
    std::vector<CDialog *> opened;
    CDialog *openAfterInner = nullptr;
    vxwin::SetModalHook([&](CDialog &d) {
        auto &prompt = static_cast<CReloginContinueDlg &>(d);
        opened.push_back(&d);
        if (opened.size() == 1)
        {
            dlg->SendMessage(WM_KVT_DEVICE_NOT_READY, 0, 0);
            openAfterInner = dlg->m_pPromptDlg;
            if (openAfterInner != &d)
            {
                // Its buttons could not end it: end it here so the test goes on.
                d.EndDialog(IDABORT);
                return;
            }
        }
        Press(prompt.GetSecondButton());
    });
    dlg->SendMessage(WM_KVT_DEVICE_NOT_DETECTED, 0, 0);
    vxwin::SetModalHook({});
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(openAfterInner, opened[0]);
    EXPECT_EQ(dlg->m_pPromptDlg, nullptr);
    EXPECT_EQ(dlg->calls, (Calls{"home", "home"}));
}

// ---- log-out --------------------------------------------------------------------------------------

TEST_F(DeviceErrorPages, TheConfirmationAsksWithYesAndNoAndBlocksTheBar)
{
    LogIn();
    dlg->ShowHomeView();
    dlg->m_bIgnoreDeviceArrival = FALSE;
    dlg->ShowLogOutConfirmView();
    EXPECT_EQ(dlg->m_nCurrentView, KvtView::LogOut);
    EXPECT_TRUE(dlg->m_bIgnoreDeviceArrival);
    EXPECT_EQ(Caption(CKVTDlg::kGreetingId), u"bye!");
    EXPECT_EQ(Caption(1246), u"Log Out");
    EXPECT_EQ(Caption(1247), u"Are you sure you want to logout?");
    EXPECT_EQ(Caption(kYesButton), u"Yes");
    EXPECT_EQ(Caption(kNoButton), u"No");
    for (const UINT id : {1153u, 1008u, CKVTDlg::kCloseButtonId})
        EXPECT_NE(dlg->GetDlgItem(static_cast<int>(id)), nullptr) << id;
    CRect picture;
    dlg->GetDlgItem(1153)->GetWindowRect(&picture);
    dlg->ScreenToClient(&picture);
    EXPECT_EQ(picture.TopLeft(), CPoint(350, 156));
    ExpectBarAllDisabled();
}

TEST_F(DeviceErrorPages, YesLogsOutAndShowsTheLoginPage)
{
    LogIn();
    dlg->ShowLogOutConfirmView();
    dlg->calls.clear();
    Click(kYesButton);
    EXPECT_FALSE(dlg->m_pDatabase->IsLoggedIn());
    EXPECT_FALSE(dlg->m_bLoggedIn);
    EXPECT_FALSE(dlg->m_bImported);
    EXPECT_EQ(dlg->m_szUserId[0], u'\0');
    EXPECT_EQ(dlg->m_szPassword[0], u'\0');
    EXPECT_EQ(Caption(CKVTDlg::kGreetingId), u"hello!");
    EXPECT_NE(dlg->GetDlgItem(1002), nullptr) << "the login page's Login button";
    EXPECT_NE(dlg->GetDlgItem(1003), nullptr) << "the login page's Sign up button";
    EXPECT_TRUE(dlg->m_bIgnoreDeviceArrival);
    EXPECT_EQ(vxwin::WaitCursorDepth(), 0);
    EXPECT_TRUE(dlg->calls.empty());
}

// Log Out of every error page ends on the login page too.
TEST_F(DeviceErrorPages, LogOutOfAnErrorPageShowsTheLoginPage)
{
    for (const auto &c : kErrorPages)
    {
        SCOPED_TRACE(c.name);
        LogIn();
        (dlg.get()->*c.show)();
        Click(kLogOutButton);
        EXPECT_FALSE(dlg->m_pDatabase->IsLoggedIn());
        EXPECT_FALSE(dlg->m_bLoggedIn);
        EXPECT_NE(dlg->GetDlgItem(1003), nullptr) << "the login page's Sign up button";
    }
}

// When the store cannot log the user out, the page that ends the program comes, and nothing of the
// user is forgotten.
TEST_F(DeviceErrorPages, AFailedLogOutShowsTheLogOutErrorPage)
{
    LogIn();
    // The store no longer has anyone logged in: its Logout fails.
    ASSERT_EQ(dlg->m_pDatabase->Logout(), 1);
    for (const bool fromErrorPage : {false, true})
    {
        SCOPED_TRACE(fromErrorPage ? "from an error page" : "from the confirmation");
        if (fromErrorPage)
        {
            dlg->ShowRetrieveErrorView();
            Click(kLogOutButton);
        }
        else
        {
            dlg->ShowLogOutConfirmView();
            Click(kYesButton);
        }
        EXPECT_EQ(Caption(CKVTDlg::kGreetingId), u"Log out error");
        EXPECT_EQ(Caption(CKVTDlg::kStatusLineId), u"Sorry!! Logout error occurred!");
        EXPECT_EQ(Caption(1195), u"Exit");
        EXPECT_TRUE(dlg->m_bLoggedIn);
        EXPECT_TRUE(dlg->m_bImported);
        EXPECT_EQ(dlg->m_szUserId[0], u'a');
        EXPECT_EQ(vxwin::WaitCursorDepth(), 0);
    }
    // Without a store at all, the same.
    dlg->m_pDatabase.reset();
    dlg->ShowLogOutConfirmView();
    Click(kYesButton);
    EXPECT_EQ(Caption(CKVTDlg::kGreetingId), u"Log out error");
}

// No builds the page of the page state; the confirmation has set its own, so No leads home.
TEST_F(DeviceErrorPages, NoShowsThePageOfThePageStateAndHomeAfterTheConfirmation)
{
    LogIn();
    dlg->ShowLogOutConfirmView();
    dlg->calls.clear();
    Click(kNoButton);
    EXPECT_EQ(dlg->calls, Calls{"home"});
    EXPECT_EQ(dlg->m_nCurrentView, KvtView::Home);
    EXPECT_TRUE(dlg->m_pDatabase->IsLoggedIn()) << "No keeps the user";

    const struct
    {
        KvtView state;
        const char *page; // nullptr: the Device Setting page itself
        KvtView after;
    } cases[] = {
        {KvtView::Runs, "runs", KvtView::Runs},
        {KvtView::Goal, "goal", KvtView::Goal},
        {KvtView::Profile, "profile", KvtView::Profile},
        {KvtView::Support, "support", KvtView::Support},
        {KvtView::DeviceSetting, nullptr, KvtView::DeviceSetting},
        {KvtView::LogOut, "home", KvtView::Home},
        {KvtView::Home, "home", KvtView::Home},
        {static_cast<KvtView>(7), "home", KvtView::Home},
        {static_cast<KvtView>(-1), "home", KvtView::Home},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(static_cast<int>(c.state));
        dlg->calls.clear();
        dlg->m_nCurrentView = c.state;
        dlg->OnLogOutCancel();
        EXPECT_EQ(dlg->calls, c.page ? Calls{c.page} : Calls{});
        EXPECT_EQ(dlg->m_nCurrentView, c.after);
        if (!c.page)
        {
            EXPECT_NE(dynamic_cast<UIDeviceSettingDlg *>(dlg->m_pChildPage), nullptr);
        }
    }
}

// Log Out on the Device Setting page asks, and No then leads home, not back to the settings.
TEST_F(DeviceErrorPages, LogOutFromTheSettingsPageAsksAndNoGoesHome)
{
    LogIn();
    dlg->ShowDeviceSettingView();
    Click(kLogOutButton);
    EXPECT_EQ(dlg->m_nCurrentView, KvtView::LogOut);
    EXPECT_EQ(Caption(1247), u"Are you sure you want to logout?");
    dlg->calls.clear();
    Click(kNoButton);
    EXPECT_EQ(dlg->calls, Calls{"home"});
    EXPECT_EQ(dlg->m_nCurrentView, KvtView::Home);
}

// In the other languages the pages take their own texts (and none is missing).
TEST_F(DeviceErrorPages, ThePagesAndPromptsSpeakTheUserLanguage)
{
    for (const LANGID language : {LANGID{1031}, LANGID{2052}, LANGID{1028}})
    {
        SCOPED_TRACE(language);
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxtest::ProcessEvents();
        dlg = Make(language);
        std::vector<std::u16string> texts;
        for (const auto &c : kErrorPages)
        {
            (dlg.get()->*c.show)();
            texts.push_back(Caption(CKVTDlg::kStatusLineId));
            EXPECT_NE(texts.back(), c.text);
            EXPECT_NE(Caption(kRetryButton), u"Retry");
        }
        dlg->ShowLogOutConfirmView();
        texts.push_back(Caption(CKVTDlg::kGreetingId));
        texts.push_back(Caption(1247));
        vxwin::SetModalHook([&](CDialog &d) {
            auto &prompt = static_cast<CReloginContinueDlg &>(d);
            texts.push_back(prompt.GetTitleLabel()->GetText());
            texts.push_back(prompt.GetFirstMessage()->GetText());
            texts.push_back(prompt.GetSecondMessage()->GetText());
            Press(prompt.GetSecondButton());
        });
        for (const auto &c : kPrompts)
            dlg->SendMessage(c.message, 0, 0);
        vxwin::SetModalHook({});
        ASSERT_EQ(texts.size(), 3u + 2u + 9u);
        for (std::size_t i = 0; i < texts.size(); ++i)
            EXPECT_FALSE(texts[i].empty()) << i;
    }
}
} // namespace

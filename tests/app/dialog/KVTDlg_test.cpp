#include "app/KVTDlg.h"
#include "app/MainDialogRunner.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QWidget>
#include <filesystem>
#include <future>

#include "app/AboutDlg.h"
#include "app/ModuleVersion.h"
#include "device/DeviceMutex.h"
#include "device/SupportedDevices.h"
#include "platform/sys/DataFolder.h"
#include "platform/sys/LocalTime.h"
#include "platform/sys/TextConvert.h"
#include "resources/Resources.h"
#include "store/KvtDatabase.h"
#include "store/PackedDate.h"
#include "store/SQLiteDatabase.h"
#include "tests/support/DeviceEventFeed.h"
#include "tests/support/StoredPassword.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_sysfs/FakeSysfs.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "tests/support/sim_ulvex/SimUlvex.h"
#include "ui/ContinueCancelDlg2.h"
#include "ui/DataGraph.h"
#include "ui/PromptDialogs.h"
#include "ui/UIStatic.h"

namespace
{
class ModalScript
{
  public:
    explicit ModalScript(vxwin::ModalHook hook) { vxwin::SetModalHook(std::move(hook)); }
    ~ModalScript() { vxwin::SetModalHook({}); }
};

class SleepCounter
{
  public:
    explicit SleepCounter(std::function<void()> onSleep = {})
    {
        vxwin::SetSleepHook([this, onSleep](DWORD ms) {
            ++sleeps;
            total += ms;
            if (onSleep)
                onSleep();
        });
    }
    ~SleepCounter() { vxwin::SetSleepHook({}); }
    int sleeps = 0;
    DWORD total = 0;
};

// Holds the first presence query of the watcher until the test opens the gate, then lets it
// through to the real binding; tells when it has gone through and when the binding is gone.
struct Gate
{
    std::promise<void> open;
    std::shared_future<void> opened = open.get_future().share();
    std::promise<void> passed;
    std::promise<void> destroyed;
    std::atomic<bool> held{false};
};

class GatedBinding : public DeviceWatcherBinding
{
  public:
    GatedBinding(std::shared_ptr<DeviceWatcherBinding> inner, std::shared_ptr<Gate> gate)
        : m_inner(std::move(inner)), m_gate(std::move(gate))
    {
    }
    ~GatedBinding() override
    {
        m_inner.reset();
        m_gate->destroyed.set_value();
    }
    void SetIds(const char *v, const char *p) override { m_inner->SetIds(v, p); }
    bool IsPresent() override
    {
        if (!m_once)
        {
            m_once = true;
            m_gate->held = true;
            m_gate->opened.wait();
            const bool present = m_inner->IsPresent();
            m_gate->passed.set_value();
            return present;
        }
        return m_inner->IsPresent();
    }
    DeviceType DetectType() override { return m_inner->DetectType(); }
    bool GetSerial(char *identity) override { return m_inner->GetSerial(identity); }
    bool GetDriveLetter(char *letter) override { return m_inner->GetDriveLetter(letter); }
    UsbIdPair UsbIds() const override { return m_inner->UsbIds(); }

  private:
    std::shared_ptr<DeviceWatcherBinding> m_inner;
    std::shared_ptr<Gate> m_gate;
    bool m_once = false;
};

class TestDlg : public CKVTDlg
{
  public:
    explicit TestDlg(LANGID language, std::shared_ptr<Gate> gate = nullptr, DWORD closeWaitMs = 10000)
        : CKVTDlg(language), m_gate(std::move(gate))
    {
        m_nCloseWaitMs = closeWaitMs;
    }

    bool visibleAtStartup = true;
    int startupCalls = 0;
    int loginPages = 0;
    std::int32_t pendingAtStartup = -1;

    std::string libraryPath = vxtest::FakeUlvexPath();

    bool WatcherLetGo() const { return m_bWatcherLetGo; }
    bool HasWatcher() const { return m_pWatcher != nullptr; }

    // The start-up message as it arrives: how often, whether the window was visible then, and
    // how often it had been shown by then.
    int startupMessages = 0;
    bool visibleAtStartupMessage = true;
    int showsBeforeStartupMessage = -1;
    int shows = 0;

  protected:
    BOOL OnInitDialog() override
    {
        const BOOL result = CKVTDlg::OnInitDialog();
        if (QWidget *widget = GetWidget())
            widget->installEventFilter(&m_showCounter);
        return result;
    }
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_USER + 116)
        {
            ++startupMessages;
            visibleAtStartupMessage = IsWindowVisible() != FALSE;
            showsBeforeStartupMessage = shows;
        }
        return CKVTDlg::WindowProc(msg, wParam, lParam);
    }

    std::shared_ptr<UlvexDevice> CreateDeviceWrapper() override
    {
        return std::make_shared<UlvexDevice>(libraryPath);
    }
    std::shared_ptr<DeviceWatcherBinding> CreateWatcherBinding() override
    {
        auto real = CKVTDlg::CreateWatcherBinding();
        if (!m_gate)
            return real;
        return std::make_shared<GatedBinding>(real, m_gate);
    }
    void ShowLoginView() override
    {
        ++loginPages;
        CKVTDlg::ShowLoginView();
    }
    void OnStartupLogin() override
    {
        ++startupCalls;
        visibleAtStartup = IsWindowVisible() != FALSE;
        pendingAtStartup = PendingDeviceChecks();
        CKVTDlg::OnStartupLogin();
    }

  private:
    class ShowCounter : public QObject
    {
      public:
        explicit ShowCounter(int *count) : m_count(count) {}
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Show)
                ++*m_count;
            return false;
        }

      private:
        int *m_count;
    };

    std::shared_ptr<Gate> m_gate;
    ShowCounter m_showCounter{&shows};
};

class MainDialogTest : public ::testing::Test
{
  protected:
    std::string dataHome = vxtest::MakeTempDir("xdg");
    vxtest::ScopedEnv env{"XDG_DATA_HOME", dataHome.c_str()};
    vxtest::FakeUlvexLibrary fake;

    std::filesystem::path DatabaseFile() const { return std::filesystem::path(dataHome) / "Vormatik" / "KVTDB_NB.dat"; }
};

std::u16string Text(const std::array<char16_t, CKVTDlg::kTextSize> &buffer)
{
    return std::u16string(buffer.data());
}

TEST_F(MainDialogTest, FirstStartCreatesTheStoreShowsTheLoginPageAndRunsOneDeviceCheck)
{
    ASSERT_FALSE(std::filesystem::exists(DatabaseFile()));
    TestDlg dlg(1031);
    bool checked = false;
    ModalScript script([&](CDialog &d) {
        checked = vxtest::WaitFor([&] { return dlg.PendingDeviceChecks() == 0; });
        EXPECT_TRUE(std::filesystem::is_regular_file(DatabaseFile()));
        EXPECT_TRUE(dlg.m_pDatabase && dlg.m_pDatabase->IsOpen());
        EXPECT_EQ(dlg.loginPages, 1);
        EXPECT_TRUE(dlg.IsWindowVisible());
        EXPECT_EQ(dlg.startupCalls, 0);
        CString title;
        dlg.GetWindowText(title);
        EXPECT_EQ(title.str(), u"Vormatik");
        ASSERT_NE(dlg.m_pGreeting, nullptr);
        EXPECT_EQ(dlg.m_pGreeting->GetDlgCtrlID(), 1000);
        EXPECT_EQ(std::u16string(dlg.m_pGreeting->GetText()), u"hallo!");
        EXPECT_EQ(dlg.m_strDayNames[0].str(), u"So");
        EXPECT_EQ(Text(dlg.m_szDataFolder), vxsys::AppDataFolder() + u"/Vormatik/");
        EXPECT_EQ(dlg.m_strSharePicturePath.str(), vxsys::AppDataFolder() + u"/Vormatik/Vormatik.jpg");
        d.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(checked);
    EXPECT_GT(fake.Calls(vxfake::kOpenUSBDevice), 0);
    EXPECT_TRUE(dlg.m_bClosing);
    EXPECT_FALSE(dlg.WatcherLetGo());
}

TEST_F(MainDialogTest, StartsAndClosesWhenTheStoreOrTheLibraryIsUnavailable)
{
    struct Case
    {
        bool folderIsAFile;
        bool libraryMissing;
    };
    for (const Case &c : {Case{true, false}, Case{false, true}, Case{true, true}})
    {
        const std::string home = vxtest::MakeTempDir("broken");
        vxtest::ScopedEnv brokenHome("XDG_DATA_HOME", home.c_str());
        if (c.folderIsAFile)
            vxtest::WriteFile(std::filesystem::path(home) / "Vormatik", {'x'});
        TestDlg dlg(1033);
        if (c.libraryMissing)
            dlg.libraryPath = home + "/no such folder/libulvex.so";
        ModalScript script([&](CDialog &d) {
            EXPECT_TRUE(vxtest::WaitFor([&] { return dlg.PendingDeviceChecks() == 0; }));
            EXPECT_EQ(dlg.loginPages, 1);
            EXPECT_EQ(dlg.m_pDatabase && dlg.m_pDatabase->IsOpen(), !c.folderIsAFile);
            EXPECT_EQ(dlg.m_pDevice && dlg.m_pDevice->IsLoaded(), !c.libraryMissing);
            d.PostMessage(WM_CLOSE);
        });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL) << c.folderIsAFile << c.libraryMissing;
        EXPECT_FALSE(dlg.WatcherLetGo());
    }
}

TEST_F(MainDialogTest, ConstructionDefaultsFollowTheLanguage)
{
    struct Case
    {
        LANGID language;
        BOOL notTraditional;
        const char16_t *timeUnit;
    };
    for (const Case &c : {Case{1033, TRUE, u"hrs"}, Case{1028, FALSE, u"小時"}, Case{2052, TRUE, u"小时"}})
    {
        CKVTDlg dlg(c.language);
        EXPECT_EQ(dlg.m_bNotTraditionalChinese, c.notTraditional) << c.language;
        EXPECT_EQ(dlg.m_strTimeUnit.str(), c.timeUnit) << c.language;
        EXPECT_EQ(dlg.m_nCurrentView, KvtView::Home);
        EXPECT_EQ(dlg.m_bIgnoreDeviceArrival, TRUE);
        EXPECT_EQ(dlg.m_nHidState, 2);
        EXPECT_EQ(dlg.m_chDriveLetter, kNoDriveLetter);
        EXPECT_EQ(dlg.PendingDeviceChecks(), 0);
    }
}

int g_enterCalls = 0;
void CountEnter(CKVTDlg *)
{
    ++g_enterCalls;
}

TEST_F(MainDialogTest, EscapeAndEnterNeverEndTheDialogAndEnterRunsThePagesAction)
{
    TestDlg dlg(1033);
    g_enterCalls = 0;
    ModalScript script([&](CDialog &d) {
        QWidget *w = dlg.GetWidget();
        QTest::keyClick(w, Qt::Key_Escape);
        vxtest::ProcessEvents();
        EXPECT_TRUE(dlg.IsModalLoopRunning());
        QTest::keyClick(w, Qt::Key_Return);
        vxtest::ProcessEvents();
        EXPECT_TRUE(dlg.IsModalLoopRunning());
        EXPECT_EQ(g_enterCalls, 0);
        dlg.m_pfnEnterAction = &CountEnter;
        QTest::keyClick(w, Qt::Key_Return);
        vxtest::ProcessEvents();
        EXPECT_EQ(g_enterCalls, 1);
        EXPECT_TRUE(dlg.IsModalLoopRunning());
        d.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

using vxtest::StoredPasswordText;

TEST_F(MainDialogTest, CommandLineStartWithAStoredUserStaysHiddenUntilTheStartUpMessage)
{
    const std::u16string user = u"alice \"o'neil\"";
    const std::u16string password = u"s\"e'c r";
    {
        KvtDatabase store;
        const DateParts born{3, 4, 1980};
        ASSERT_EQ(
            store.AddUser(user.c_str(), password.c_str(), u"Alice", u"O'Neil", 1, &born, 30, 170, 0, 60, 0),
            1);
    }
    const std::u16string stored = StoredPasswordText(DatabaseFile(), user);
    ASSERT_FALSE(stored.empty());
    ASSERT_EQ(stored.find_first_not_of(u"0123456789ABCDEF"), std::u16string::npos)
        << "upper-case hexadecimal";

    TestDlg dlg(1033);
    dlg.m_strCmdUser = user;
    dlg.m_strCmdPassword = stored;
    SleepCounter sleeps;
    bool shownAfter = false;
    int loggedIn = 0;
    int devicePrompts = 0;
    ModalScript script([&](CDialog &d) {
        // No monitor is connected: the log-in ends on the prompt that says so.
        if (dynamic_cast<CReloginContinueDlg *>(&d))
        {
            ++devicePrompts;
            d.EndDialog(IDCANCEL);
            return;
        }
        EXPECT_TRUE(vxtest::WaitFor([&] { return dlg.startupCalls == 1; }));
        shownAfter = dlg.IsWindowVisible() != FALSE;
        // The texts reached the dialog as the command line gave them: the dialog's own store
        // takes them for the stored user.
        std::u16string deciphered;
        if (dlg.m_pDatabase && dlg.m_pDatabase->DecryptPassword(dlg.m_strCmdPassword, &deciphered))
            loggedIn = dlg.m_pDatabase->Login(dlg.m_strCmdUser, deciphered.c_str());
        d.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(WM_KVT_STARTUP, 1140u);
    EXPECT_EQ(dlg.startupMessages, 1);
    EXPECT_FALSE(dlg.visibleAtStartupMessage);
    EXPECT_EQ(dlg.showsBeforeStartupMessage, 0) << "never shown, not even for a moment, before the message";
    EXPECT_EQ(dlg.startupCalls, 1);
    EXPECT_FALSE(dlg.visibleAtStartup);
    EXPECT_TRUE(shownAfter);
    EXPECT_EQ(dlg.loginPages, 0);
    EXPECT_EQ(loggedIn, 1);
    EXPECT_EQ(devicePrompts, 1);
    EXPECT_LE(sleeps.sleeps, 20);
}

TEST_F(MainDialogTest, AStuckWatcherBoundsTheStartUpWaitAndDoesNotBlockClosing)
{
    auto gate = std::make_shared<Gate>();
    auto dlg = std::make_unique<TestDlg>(1033, gate, 0);
    dlg->m_strCmdUser = u"alice";
    dlg->m_strCmdPassword = u"pw";
    // The watcher is held in its first check for the whole start-up wait.
    SleepCounter sleeps([&] {
        while (!gate->held)
            std::this_thread::yield();
    });
    ModalScript script([&](CDialog &d) {
        EXPECT_TRUE(vxtest::WaitFor([&] { return dlg->startupCalls == 1; }));
        d.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(dlg->DoModal(), IDCANCEL);
    EXPECT_EQ(sleeps.sleeps, 20);
    EXPECT_EQ(sleeps.total, 10000u);
    EXPECT_EQ(dlg->pendingAtStartup, 1);
    EXPECT_TRUE(dlg->WatcherLetGo());
    dlg->DestroyWindow();
    dlg.reset();
    // The let-go watcher goes on with the device objects of the dialog that is gone: they
    // must still be there (the sanitizer reports a use after free otherwise).
    auto passed = gate->passed.get_future();
    auto destroyed = gate->destroyed.get_future();
    gate->open.set_value();
    passed.wait();
    destroyed.wait();
    EXPECT_GT(fake.Calls(vxfake::kOpenUSBDevice), 0);
}

TEST_F(MainDialogTest, LogOutForgetsTheUserAndTheDestructorReleasesNothingTwice)
{
    auto dlg = std::make_unique<TestDlg>(1033);
    ModalScript script([&](CDialog &d) {
        dlg->m_aPagesBuffer.assign(4096, 0xAB);
        dlg->m_szUserId[0] = u'u';
        dlg->m_szPassword[0] = u'p';
        dlg->m_szWebPassword[0] = u'w';
        dlg->m_nCurrentView = KvtView::Runs;
        dlg->m_nGraphPeriod = 3;
        dlg->m_bUserDateSet = TRUE;
        dlg->m_nWorkoutRecordCount = 9;
        dlg->ResetUserSession();
        EXPECT_TRUE(dlg->m_aPagesBuffer.empty());
        EXPECT_EQ(Text(dlg->m_szUserId), u"");
        EXPECT_EQ(Text(dlg->m_szPassword), u"");
        EXPECT_EQ(Text(dlg->m_szWebPassword), u"");
        EXPECT_EQ(dlg->m_nCurrentView, KvtView::Home);
        EXPECT_EQ(dlg->m_nGraphPeriod, 0);
        EXPECT_EQ(dlg->m_bUserDateSet, FALSE);
        EXPECT_EQ(dlg->m_nWorkoutRecordCount, 0);
        EXPECT_TRUE(dlg->m_strTimeUnit.IsEmpty());
        ASSERT_NE(dlg->m_pRunGraph, nullptr);
        EXPECT_EQ(dlg->m_pRunGraph->GetDlgCtrlID(), 1012);
        // A second log-out re-creates the graph window on the same object.
        CDataGraph *graph = dlg->m_pRunGraph.get();
        dlg->ResetUserSession();
        EXPECT_EQ(dlg->m_pRunGraph.get(), graph);
        EXPECT_NE(graph->GetSafeHwnd(), nullptr);
        d.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(dlg->DoModal(), IDCANCEL);
    dlg.reset();
}
} // namespace

namespace
{
TEST_F(MainDialogTest, APaintArmsOneRepaintOnTheNextActivationAndTheBackgroundIsErasedOnce)
{
    TestDlg dlg(1033);
    ModalScript script([&](CDialog &d) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.GetWidget()));
        dlg.Invalidate(TRUE);
        dlg.UpdateWindow();
        EXPECT_TRUE(vxtest::WaitFor([&] { return dlg.m_bRepaintOnActivate != FALSE; }));
        EXPECT_EQ(dlg.m_bEraseBackground, FALSE);
        // Deactivation leaves the repaint armed; the next activation uses it up.
        dlg.SendMessage(WM_ACTIVATE, WA_INACTIVE, 0);
        EXPECT_EQ(dlg.m_bRepaintOnActivate, TRUE);
        dlg.SendMessage(WM_ACTIVATE, WA_ACTIVE, 0);
        EXPECT_EQ(dlg.m_bRepaintOnActivate, FALSE);
        d.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}
} // namespace

namespace
{
TEST_F(MainDialogTest, RunMainDialogRunsTheDialogAsTheMainWindowWithTheCommandLineTexts)
{
    CWinApp app;
    SleepCounter sleeps;
    CWnd *mainDuringRun = nullptr;
    CKVTDlg *seen = nullptr;
    ModalScript script([&](CDialog &d) {
        seen = dynamic_cast<CKVTDlg *>(&d);
        mainDuringRun = AfxGetApp()->m_pMainWnd;
        if (seen)
        {
            EXPECT_EQ(seen->m_nLanguage, 2052);
            EXPECT_EQ(seen->m_strCmdUser.str(), u"bob \"quoted\"");
            EXPECT_EQ(seen->m_strCmdPassword.str(), u"p\xD800w");
        }
        d.PostMessage(WM_CLOSE);
    });
    RunMainDialog(2052, CString(u"bob \"quoted\""), CString(std::u16string(u"p\xD800w")));
    ASSERT_NE(seen, nullptr);
    EXPECT_EQ(mainDuringRun, static_cast<CWnd *>(seen));
    EXPECT_EQ(AfxGetApp()->m_pMainWnd, nullptr);
}
} // namespace

namespace
{
bool LookupWithoutTheAboutText(unsigned id, unsigned short language, std::u16string &out)
{
    return id != 101 && vxres::LookupString(id, language, out);
}

class StringTable
{
  public:
    explicit StringTable(vxwin::StringTableLookup lookup) : m_previous(vxwin::GetStringTableLookup())
    {
        vxwin::SetStringTableLookup(lookup);
    }
    ~StringTable() { vxwin::SetStringTableLookup(m_previous); }

  private:
    vxwin::StringTableLookup m_previous;
};

QMenu *OpenPopup()
{
    vxtest::ProcessEvents();
    return qobject_cast<QMenu *>(QApplication::activePopupWidget());
}

TEST_F(MainDialogTest, TheSystemMenuOffersAboutOnlyWhenItsTextLoads)
{
    struct Case
    {
        LANGID language;
        bool withAboutText;
        const char16_t *item;
    };
    for (const Case &c :
         {Case{1033, true, u"&About Vormatik..."}, Case{1031, true, nullptr}, Case{1033, false, nullptr}})
    {
        StringTable table(c.withAboutText ? &vxres::LookupString : &LookupWithoutTheAboutText);
        std::u16string expected = c.item ? c.item : u"";
        if (c.withAboutText && !c.item)
        {
            ASSERT_TRUE(vxres::LookupString(101, c.language, expected));
        }
        TestDlg dlg(c.language);
        UINT items = 99;
        UINT aboutId = 0;
        std::u16string shown;
        ModalScript script([&](CDialog &d) {
            if (CMenu *menu = dlg.GetSystemMenu(FALSE))
            {
                items = menu->GetMenuItemCount();
                aboutId = menu->GetMenuItemID(1);
            }
            QTest::mouseClick(dlg.GetWidget(), Qt::RightButton, {}, QPoint(600, 500));
            if (QMenu *popup = OpenPopup())
            {
                if (popup->actions().size() == 2)
                    shown = popup->actions()[1]->text().toStdU16String();
                popup->close();
            }
            d.PostMessage(WM_CLOSE);
        });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        if (c.withAboutText)
        {
            EXPECT_EQ(items, 2u) << c.language;
            EXPECT_EQ(aboutId, IDM_ABOUTBOX);
            EXPECT_EQ(shown, expected) << c.language;
            EXPECT_FALSE(expected.empty());
        }
        else
        {
            EXPECT_EQ(items, 0u);
            EXPECT_EQ(shown, u"");
        }
    }
}

TEST_F(MainDialogTest, TheAboutItemOpensTheAboutBoxWithTheProductAndItsVersion)
{
    CModuleVersion version;
    ASSERT_EQ(version.Load(nullptr), 1);
    TestDlg dlg(1031);
    int aboutBoxes = 0;
    bool endedByOk = false;
    std::u16string name, versionText, okText, title;
    ModalScript script([&](CDialog &d) {
        if (auto *about = dynamic_cast<CAboutDlg *>(&d))
        {
            ++aboutBoxes;
            EXPECT_EQ(about->GetParent(), static_cast<CWnd *>(&dlg));
            if (!about->GetProductNameLabel() || !about->GetVersionLabel() || !about->GetOkButton())
            {
                ADD_FAILURE() << "the About box lacks a control";
                about->EndDialog(IDCANCEL);
                return;
            }
            name = about->GetProductNameLabel()->GetText();
            versionText = about->GetVersionLabel()->GetText();
            okText = about->GetOkButton()->GetText();
            CString text;
            about->GetWindowText(text);
            title = text.str();
            QTest::mouseClick(about->GetOkButton()->GetWidget(), Qt::LeftButton, {}, QPoint(10, 10));
            endedByOk = about->IsWindowVisible() == FALSE;
            if (!endedByOk)
                about->EndDialog(IDCANCEL);
            return;
        }
        [&] {
            QTest::mouseClick(dlg.GetWidget(), Qt::RightButton, {}, QPoint(600, 500));
            QMenu *popup = OpenPopup();
            ASSERT_NE(popup, nullptr);
            ASSERT_EQ(popup->actions().size(), 2);
            popup->actions()[1]->trigger();
            popup->close();
            EXPECT_TRUE(vxtest::WaitFor([&] { return aboutBoxes == 1; }));
            EXPECT_TRUE(dlg.IsWindowVisible()) << "the About box leaves the main dialog up";
        }();
        d.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(aboutBoxes, 1);
    EXPECT_TRUE(endedByOk);
    EXPECT_EQ(name, version.GetProductName());
    EXPECT_EQ(name, u"Vormatik");
    EXPECT_EQ(title, name);
    EXPECT_EQ(versionText, version.GetProductVersion());
    EXPECT_FALSE(versionText.empty());
    EXPECT_EQ(okText, vxwin::ButtonText(IDOK, 1031));
}

TEST_F(MainDialogTest, OtherSystemCommandsGoOnToTheDefaultHandling)
{
    TestDlg dlg(1033);
    bool menuShown = false;
    bool closedByCommand = false;
    ModalScript script([&](CDialog &) {
        // Alt+Space asks for the key menu, which only the default handling shows.
        QTest::keyClick(dlg.GetWidget(), Qt::Key_Space, Qt::AltModifier);
        if (QMenu *popup = OpenPopup())
        {
            menuShown = true;
            popup->close();
        }
        // The close command ends the dialog as the close button does.
        dlg.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
        closedByCommand = dlg.m_bClosing != FALSE;
        if (!closedByCommand)
            dlg.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(menuShown);
    EXPECT_TRUE(closedByCommand);
    EXPECT_FALSE(dlg.WatcherLetGo());
}

TEST_F(MainDialogTest, TheIconIsTheWindowsAndTheDragIconAndIsDrawnCentredWhenMinimised)
{
    TestDlg dlg(1033);
    ASSERT_NE(dlg.m_hIcon, nullptr);
    ModalScript script([&](CDialog &d) {
        [&] {
            EXPECT_EQ(dlg.GetIcon(TRUE), dlg.m_hIcon);
            EXPECT_EQ(dlg.GetIcon(FALSE), dlg.m_hIcon);
            EXPECT_EQ(reinterpret_cast<HICON>(dlg.SendMessage(WM_QUERYDRAGICON)), dlg.m_hIcon);
            EXPECT_FALSE(dlg.GetWidget()->windowIcon().isNull());
            ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.GetWidget()));

            const QImage normal = vxtest::GrabWidget(dlg.GetWidget());
            dlg.ShowWindow(SW_MINIMIZE);
            ASSERT_TRUE(dlg.IsIconic());
            dlg.m_bRepaintOnActivate = FALSE;
            const QImage minimised = vxtest::GrabWidget(dlg.GetWidget());
            EXPECT_EQ(dlg.m_bRepaintOnActivate, FALSE) << "the icon's paint is not the page's";

            const QImage &icon = dlg.m_hIcon->image;
            ASSERT_EQ(icon.size(), QSize(32, 32));
            CRect client;
            dlg.GetClientRect(&client);
            const int left = (client.Width() - 32 + 1) / 2;
            const int top = (client.Height() - 32 + 1) / 2;
            int same = 0, opaque = 0;
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x)
                {
                    if (qAlpha(icon.pixel(x, y)) != 255)
                        continue;
                    ++opaque;
                    same +=
                        vxtest::PixelAt(minimised, left + x, top + y) == QColor::fromRgba(icon.pixel(x, y));
                }
            EXPECT_GT(opaque, 100);
            EXPECT_EQ(same, opaque);
            // Away from the icon the page is not drawn.
            EXPECT_NE(vxtest::PixelAt(minimised, 100, 300), vxtest::PixelAt(normal, 100, 300));

            dlg.ShowWindow(SW_RESTORE);
            EXPECT_FALSE(dlg.IsIconic());
        }();
        d.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
}

TEST_F(MainDialogTest, TheDatePromptReachesTheMainDialogWhileItLives)
{
    struct Clock
    {
        Clock()
        {
            int64_t now = 0;
            EXPECT_TRUE(vxsys::LocalTimeFromFields({2011, 5, 18, 12, 0, 0, 0}, &now));
            vxsys::SetCurrentTimeSource([now] { return now; });
        }
        ~Clock() { vxsys::SetCurrentTimeSource({}); }
    } clock;
    EXPECT_EQ(vxui::GetMainDialogSeam(), nullptr);
    {
        TestDlg dlg(1031);
        MainDialogSeam *seam = vxui::GetMainDialogSeam();
        ASSERT_EQ(seam, static_cast<MainDialogSeam *>(&dlg));
        EXPECT_EQ(seam->GetLanguage(), 1031);
        dlg.m_LastRunDate = DateParts{10, 5, 2010};
        dlg.m_LastRunTime = TimeParts{23, 59, 59};

        struct Case
        {
            const char16_t *day, *month, *year;
            INT_PTR result;
        };
        const Case cases[] = {{u"10", u"05", u"2010", IDCANCEL}, {u"11", u"5", u"2010", IDOK}};
        std::vector<INT_PTR> results;
        std::vector<DWORD> entered;
        const Case *current = nullptr;
        ModalScript script([&](CDialog &d) {
            if (auto *prompt = dynamic_cast<CContinueCancelDlg2 *>(&d))
            {
                EXPECT_EQ(dlg.GetOpenDatePrompt(), prompt);
                prompt->GetDayEdit()->SetWindowText(current->day);
                prompt->GetMonthEdit()->SetWindowText(current->month);
                prompt->GetYearEdit()->SetWindowText(current->year);
                // The button's way: through the main dialog's pointer to the open prompt.
                CContinueCancelDlg2::OnContinueClicked();
                if (prompt->IsWindowVisible())
                    CContinueCancelDlg2::OnCancelClicked();
                return;
            }
            for (const Case &c : cases)
            {
                current = &c;
                dlg.m_nEnteredDate = 0;
                CContinueCancelDlg2 prompt(dlg.m_nLanguage, &dlg);
                dlg.m_pDateDlg = &prompt;
                results.push_back(prompt.DoModal());
                dlg.m_pDateDlg = nullptr;
                entered.push_back(dlg.m_nEnteredDate);
            }
            d.PostMessage(WM_CLOSE);
        });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        ASSERT_EQ(results.size(), 2u);
        // The run of 2010-05-10 ended that day, so only a later day is taken.
        EXPECT_EQ(results[0], IDCANCEL);
        EXPECT_EQ(entered[0], vxtime::PackDate(2010, 5, 10));
        EXPECT_EQ(results[1], IDOK);
        EXPECT_EQ(entered[1], vxtime::PackDate(2010, 5, 11));

        DWORD date = 0, time = 0;
        dlg.GetLastRunKeys(&date, &time);
        EXPECT_EQ(date, 2010u * 65536 + 5 * 256 + 10);
        EXPECT_EQ(time, 23u * 65536 + 59 * 256 + 59);
    }
    EXPECT_EQ(vxui::GetMainDialogSeam(), nullptr) << "unregistered with the dialog";
}

TEST_F(MainDialogTest, OnlyTheDialogThatIsRegisteredUnregistersItself)
{
    auto first = std::make_unique<CKVTDlg>(1033);
    auto second = std::make_unique<CKVTDlg>(1028);
    EXPECT_EQ(vxui::GetMainDialogSeam(), static_cast<MainDialogSeam *>(second.get()));
    first.reset();
    EXPECT_EQ(vxui::GetMainDialogSeam(), static_cast<MainDialogSeam *>(second.get()));
    second.reset();
    EXPECT_EQ(vxui::GetMainDialogSeam(), nullptr);
}
} // namespace
// Records the device changes that reach the dialog.
class DeviceChangeDlg : public TestDlg
{
  public:
    using TestDlg::TestDlg;
    std::vector<UINT> changes;

  protected:
    BOOL OnDeviceChange(UINT type, DWORD_PTR) override
    {
        changes.push_back(type);
        return TRUE;
    }
};

TEST_F(MainDialogTest, DeviceEventsReachTheDialogFromItsStartUntilItCloses)
{
    vxtest::DeviceEventFeed feed;
    vxwin::SetDeviceEventSourceFactory([&feed] { return feed.TakeSources(); });
    DeviceChangeDlg dlg(1033);
    bool stoppedAtClosing = false;
    ModalScript script([&](CDialog &d) {
        EXPECT_TRUE(feed.Send("arn"));
        EXPECT_TRUE(vxtest::WaitFor([&] { return dlg.changes.size() == 3; }));
        d.SendMessage(WM_CLOSE);
        stoppedAtClosing = !feed.Send("a");
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    vxwin::SetDeviceEventSourceFactory({});
    EXPECT_EQ(dlg.changes,
              (std::vector<UINT>{DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE, DBT_DEVNODES_CHANGED}));
    EXPECT_TRUE(stoppedAtClosing);
}

// The dialog as the program builds it (its own wrapper, no path), with the device messages it gets.
class DeviceMessageDlg : public CKVTDlg
{
  public:
    using CKVTDlg::CKVTDlg;
    std::vector<UINT> deviceMessages;
    DeviceType foundType = DeviceType::None;
    FoundDevice found;

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == kDeviceArrivedMessage || msg == kDeviceRemovedMessage)
        {
            deviceMessages.push_back(msg);
            if (m_pWatcher)
                found = m_pWatcher->Found();
            if (m_pDevice)
            {
                DeviceLock lock(DeviceMutex());
                foundType = m_pDevice->GetDeviceType();
            }
        }
        return CKVTDlg::WindowProc(msg, wParam, lParam);
    }

    static constexpr UINT kDeviceArrivedMessage = WM_USER + 104;
    static constexpr UINT kDeviceRemovedMessage = WM_USER + 105;
};

TEST_F(MainDialogTest, TheFirstCheckFindsASimulatedMonitorThroughTheLibraryTheProgramLoads)
{
    vxtest::SimUlvexLibrary sim;
    ASSERT_TRUE(sim.Loaded());
    vxtest::FakeSysfs sysfs;
    sysfs.AddRootHub(1);
    const std::uint16_t product = HexToU16(kSupportedDevices[0].szProductId);
    sysfs.AddUsbDevice("usb1", 1, vxtest::UsbDevice(VORMATIK_MONITOR_VENDOR_ID, product, "SER42"));
    const std::string model(kModelCodes[0].data(), kModelCodeLength);
    sim.AddMtpMonitor(VORMATIK_MONITOR_VENDOR_ID, product, "SER42", model + "-2.1.0", 1,
                      std::vector<std::uint8_t>(208));

    DeviceMessageDlg dlg(1033);
    ModalScript script([&](CDialog &d) {
        EXPECT_TRUE(vxtest::WaitFor([&] { return !dlg.deviceMessages.empty(); }));
        d.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.deviceMessages, std::vector<UINT>{DeviceMessageDlg::kDeviceArrivedMessage});
    EXPECT_TRUE(dlg.found.bDeviceFound);
    EXPECT_EQ(dlg.foundType, DeviceType::Mtp);
}

#include "app/KVTDlg.h"
#include "app/MainDialogRunner.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <filesystem>
#include <future>

#include "platform/sys/DataFolder.h"
#include "platform/sys/TextConvert.h"
#include "store/KvtDatabase.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "ui/DataGraph.h"
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

  protected:
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
    std::shared_ptr<Gate> m_gate;
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

TEST_F(MainDialogTest, CommandLineStartStaysHiddenUntilTheStartUpMessage)
{
    TestDlg dlg(1033);
    dlg.m_strCmdUser = u"alice";
    dlg.m_strCmdPassword = u"s\"e'c\u0000r";
    SleepCounter sleeps;
    bool shownAfter = false;
    ModalScript script([&](CDialog &d) {
        EXPECT_TRUE(vxtest::WaitFor([&] { return dlg.startupCalls == 1; }));
        shownAfter = dlg.IsWindowVisible() != FALSE;
        d.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.startupCalls, 1);
    EXPECT_FALSE(dlg.visibleAtStartup);
    EXPECT_TRUE(shownAfter);
    EXPECT_EQ(dlg.loginPages, 0);
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

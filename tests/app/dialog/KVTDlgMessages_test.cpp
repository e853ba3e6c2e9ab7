#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QTest>
#include <array>
#include <atomic>
#include <cctype>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "device/SupportedDevices.h"
#include "platform/sys/LocalTime.h"
#include "platform/win/Com.h"
#include "platform/win/Controls.h"
#include "store/KvtDatabase.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "tests/support/sim_hid/SimHidMonitor.h"
#include "ui/Calendar.h"
#include "ui/ConnectStatusChangeDlg.h"
#include "ui/DataGraph.h"
#include "ui/GraphSettings.h"
#include "ui/PromptDialogs.h"
#include "ui/UIButton.h"

namespace
{
// "abc" as a stored password text.
const char16_t kAbcStored[] = u"624D80920979D4E964A5174C9943AE35";

class ModalScript
{
  public:
    explicit ModalScript(vxwin::ModalHook hook) { vxwin::SetModalHook(std::move(hook)); }
    ~ModalScript() { vxwin::SetModalHook({}); }
};

class SleepRecorder
{
  public:
    SleepRecorder()
    {
        vxwin::SetSleepHook([this](DWORD ms) { sleeps.push_back(ms); });
    }
    ~SleepRecorder() { vxwin::SetSleepHook({}); }
    std::vector<DWORD> sleeps;
};

// Counts the device checks (each walks the supported table from its first entry while no
// device is known) and can hold the next one inside its first presence query.
struct CheckProbe
{
    std::atomic<int> checks{0};
    std::atomic<bool> holdNext{false};
    std::atomic<bool> held{false};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
};

class ProbeBinding : public DeviceWatcherBinding
{
  public:
    ProbeBinding(std::shared_ptr<DeviceWatcherBinding> inner, std::shared_ptr<CheckProbe> probe)
        : m_inner(std::move(inner)), m_probe(std::move(probe))
    {
    }
    void SetIds(const char *v, const char *p) override
    {
        if (std::strcmp(p, kSupportedDevices[0].szProductId) == 0)
            ++m_probe->checks;
        m_inner->SetIds(v, p);
    }
    bool IsPresent() override
    {
        if (m_probe->holdNext.exchange(false))
        {
            m_probe->held = true;
            m_probe->released.wait();
        }
        return m_inner->IsPresent();
    }
    DeviceType DetectType() override { return m_inner->DetectType(); }
    bool GetSerial(char *identity) override { return m_inner->GetSerial(identity); }
    bool GetDriveLetter(char *letter) override { return m_inner->GetDriveLetter(letter); }
    UsbIdPair UsbIds() const override { return m_inner->UsbIds(); }

  private:
    std::shared_ptr<DeviceWatcherBinding> m_inner;
    std::shared_ptr<CheckProbe> m_probe;
};

// The main dialog with every later page replaced by a record of the call.
class RecordingDlg : public CKVTDlg
{
  public:
    RecordingDlg() : CKVTDlg(1033) {}

    std::vector<std::string> calls;
    std::u16string loginUser;
    std::u16string loginPassword;
    std::u16string nameAtLogin;
    std::u16string passwordAtLogin;
    int activations = 0;
    std::shared_ptr<CheckProbe> probe;

    void ShowUploadPromptView() override { calls.push_back("upload prompt"); }
    void ShowDeviceMismatchView() override { calls.push_back("mismatch page"); }
    void ShowHomeView() override
    {
        calls.push_back("home page");
        CKVTDlg::ShowHomeView();
    }
    void LoginWithPassword(const char16_t *user, const char16_t *password) override
    {
        calls.push_back("log in");
        loginUser = user;
        loginPassword = password;
    }
    void OnLogin() override
    {
        calls.push_back("login action");
        nameAtLogin = FieldText(kLoginNameId);
        passwordAtLogin = FieldText(kLoginPasswordId);
    }
    void OnConfirmViewSwitch() override { calls.push_back("confirm view switch"); }
    void PromptDeviceNotDetected() override { calls.push_back("device not detected"); }
    void PromptDongleOnly() override { calls.push_back("dongle only"); }
    void PromptDeviceNotReady() override { calls.push_back("device not ready"); }
    void AskLastRunDate() override { calls.push_back("ask date"); }
    void ShareToWebApp() override { calls.push_back("share"); }
    void OpenWebAppPage() override { calls.push_back("web page"); }
    void BuildRunGraph() override { calls.push_back("run graph"); }
    void UpdateRunDetails() override { calls.push_back("run details"); }

  protected:
    void ShowLoginView() override
    {
        calls.push_back("login page");
        CKVTDlg::ShowLoginView();
    }
    void ActivateProgramWindow() override { ++activations; }
    std::shared_ptr<UlvexDevice> CreateDeviceWrapper() override
    {
        return std::make_shared<UlvexDevice>(vxtest::FakeUlvexPath());
    }
    std::shared_ptr<DeviceWatcherBinding> CreateWatcherBinding() override
    {
        auto real = CKVTDlg::CreateWatcherBinding();
        if (!probe)
            return real;
        return std::make_shared<ProbeBinding>(real, probe);
    }

  private:
    std::u16string FieldText(UINT id) const
    {
        CWnd *field = GetDlgItem(static_cast<int>(id));
        if (!field)
            return u"(none)";
        CString text;
        field->GetWindowText(text);
        return text.str();
    }
};

class WindowMessagesTest : public ::testing::Test
{
  protected:
    std::string dataHome = vxtest::MakeTempDir("xdg");
    vxtest::ScopedEnv env{"XDG_DATA_HOME", dataHome.c_str()};
    vxtest::FakeUlvexLibrary fake;

    // Runs the dialog; body runs inside its loop once the start-up check is over (unless
    // waitIdle is false), nested handles every other dialog that opens meanwhile.
    void Run(RecordingDlg &dlg, const std::function<void()> &body,
             const std::function<void(CDialog &)> &nested = {}, bool waitIdle = true)
    {
        bool ran = false;
        ModalScript script([&](CDialog &d) {
            if (&d != static_cast<CDialog *>(&dlg))
            {
                if (nested)
                    nested(d);
                else
                    d.EndDialog(IDCANCEL);
                return;
            }
            ran = true;
            if (waitIdle)
            {
                EXPECT_TRUE(vxtest::WaitFor([&] { return dlg.PendingDeviceChecks() == 0; }));
                // What the start-up check posted is handled before the test begins.
                vxtest::ProcessEvents();
            }
            body();
            d.PostMessage(WM_CLOSE);
        });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        EXPECT_TRUE(ran);
    }

    // The fake library answers as a mass-storage monitor with the identity "SER42" under the
    // first entry that needs no model code.
    void ScriptMassStorageMonitor()
    {
        vxfake::FakeUlvexState &s = fake.State();
        s.usbOpens = true;
        s.driveFound = true;
        s.driveLetter = 'E';
        s.usbPathFound = true;
        std::strcpy(s.usbDevicePath, "\\\\?\\usbstor#disk&ven_tx#ser42");
        s.scsiOpens = true;
        s.scsiSucceeds = true;
    }

    // Logs a user in, in the store and in the dialog, with device arrivals welcome.
    static bool LogIn(RecordingDlg &dlg)
    {
        const DateParts birth{1, 2, 1980};
        KvtDatabase &db = *dlg.m_pDatabase;
        if (!db.IsOpen() || db.AddUser(u"ann", u"abc", u"Ann", u"Lee", 1, &birth, 40, 170, 3, 60, 5) != 1 ||
            db.Login(u"ann", u"abc") != 1)
            return false;
        dlg.m_bLoggedIn = TRUE;
        dlg.m_bIgnoreDeviceArrival = FALSE;
        return true;
    }

    static std::u16string StoredIdentity(RecordingDlg &dlg)
    {
        char16_t buffer[100] = {u'?', 0};
        if (!dlg.m_pDatabase->GetDeviceSerialNo(buffer, 100))
            return u"(unreadable)";
        return buffer;
    }
};

using Calls = std::vector<std::string>;

// ---- device changes ----

TEST_F(WindowMessagesTest, ABurstOfDeviceChangesPausesOnceAndOtherEventTypesDoNothing)
{
    RecordingDlg dlg;
    dlg.probe = std::make_shared<CheckProbe>();
    Run(dlg, [&] {
        const int before = dlg.probe->checks;
        SleepRecorder sleeps;
        // Types the dialog does not act on: no pause and no request.
        for (UINT type : {0x8001u, 0x8002u, 0x8003u, 0x8006u, 0x0018u, 0u})
        {
            EXPECT_EQ(dlg.SendMessage(WM_DEVICECHANGE, type, 0), TRUE) << type;
            EXPECT_EQ(dlg.PendingDeviceChecks(), 0) << type;
        }
        EXPECT_TRUE(sleeps.sleeps.empty());

        dlg.probe->holdNext = true;
        EXPECT_EQ(dlg.SendMessage(WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0), TRUE);
        EXPECT_EQ(sleeps.sleeps, std::vector<DWORD>{1500});
        ASSERT_TRUE(vxtest::WaitFor([&] { return dlg.probe->held.load(); }));
        // The rest of the burst comes while that check runs: no more pauses, and the watcher
        // runs one more check after it, however many notifications there are.
        const UINT types[] = {DBT_DEVNODES_CHANGED, DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE};
        for (int i = 0; i < 9; ++i)
            EXPECT_EQ(dlg.SendMessage(WM_DEVICECHANGE, types[i % 3], 0), TRUE);
        EXPECT_EQ(sleeps.sleeps, std::vector<DWORD>{1500});
        EXPECT_EQ(dlg.PendingDeviceChecks(), 2);
        dlg.probe->release.set_value();
        EXPECT_TRUE(vxtest::WaitFor([&] { return dlg.PendingDeviceChecks() == 0; }));
        EXPECT_EQ(dlg.probe->checks - before, 2);
    });
}

TEST_F(WindowMessagesTest, DeviceChangesWhileTheFirstCheckIsPendingNeverPause)
{
    RecordingDlg dlg;
    dlg.probe = std::make_shared<CheckProbe>();
    dlg.probe->holdNext = true;
    Run(
        dlg,
        [&] {
            ASSERT_TRUE(vxtest::WaitFor([&] { return dlg.probe->held.load(); }));
            SleepRecorder sleeps;
            for (int i = 0; i < 10; ++i)
                dlg.SendMessage(WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
            EXPECT_TRUE(sleeps.sleeps.empty());
            dlg.probe->release.set_value();
            EXPECT_TRUE(vxtest::WaitFor([&] { return dlg.PendingDeviceChecks() == 0; }));
            EXPECT_EQ(dlg.probe->checks, 2);
        },
        {}, false);
}

// ---- device arrival ----

TEST_F(WindowMessagesTest, ArrivalActsOnlyWhenOpenLoggedInAndNotIgnoring)
{
    ScriptMassStorageMonitor();
    RecordingDlg dlg;
    Run(dlg, [&] {
        ASSERT_TRUE(LogIn(dlg));
        ASSERT_EQ(dlg.m_pDatabase->SetDeviceSerialNo(u"SER42"), 1);
        struct Case
        {
            BOOL closing, loggedIn, ignore;
        };
        for (const Case &c : {Case{0, 1, 0}, Case{1, 1, 0}, Case{0, 0, 0}, Case{0, 1, 1}, Case{1, 0, 1},
                              Case{1, 1, 1}, Case{0, 0, 1}, Case{1, 0, 0}})
        {
            SCOPED_TRACE(testing::Message() << c.closing << c.loggedIn << c.ignore);
            dlg.calls.clear();
            dlg.m_bClosing = c.closing;
            dlg.m_bLoggedIn = c.loggedIn;
            dlg.m_bIgnoreDeviceArrival = c.ignore;
            const int scsi = fake.Calls(vxfake::kSendSCSICmd);
            dlg.SendMessage(WM_KVT_DEVICE_ARRIVED);
            const bool acts = !c.closing && c.loggedIn && !c.ignore;
            EXPECT_EQ(dlg.calls, acts ? Calls{"upload prompt"} : Calls{});
            EXPECT_EQ(fake.Calls(vxfake::kSendSCSICmd) - scsi, acts ? 1 : 0);
        }
        dlg.m_bClosing = FALSE;
        // The identity the watcher found has come over with the message.
        EXPECT_STREQ(dlg.m_szDeviceId.data(), "SER42");
        EXPECT_EQ(dlg.m_bDeviceFound, TRUE);
    });
}

TEST_F(WindowMessagesTest, ArrivalComparesTheStoredIdentitySetsTheClockAndPicksThePage)
{
    ScriptMassStorageMonitor();
    RecordingDlg dlg;
    Run(dlg, [&] {
        ASSERT_TRUE(LogIn(dlg));
        struct Case
        {
            const char *name;
            const char16_t *stored; // null: the identity cannot be read
            const char *page;
            const char16_t *storedAfter;
            int clockCommands;
        };
        const Case cases[] = {
            {"none stored", u"", "upload prompt", u"SER42", 1},
            {"equal", u"SER42", "upload prompt", u"SER42", 1},
            {"other case", u"ser42", "mismatch page", u"ser42", 1},
            {"another device", u"SER43", "mismatch page", u"SER43", 1},
            {"longer", u"SER421", "mismatch page", u"SER421", 1},
            // U+0153 has the low byte of 'S'; it is still another character.
            {"wide character", u"\u0153ER42", "mismatch page", u"\u0153ER42", 1},
            {"unreadable", nullptr, "upload prompt", u"(unreadable)", 0},
        };
        for (const Case &c : cases)
        {
            SCOPED_TRACE(c.name);
            dlg.calls.clear();
            if (c.stored)
            {
                ASSERT_EQ(dlg.m_pDatabase->Login(u"ann", u"abc"), 1);
                ASSERT_EQ(dlg.m_pDatabase->SetDeviceSerialNo(c.stored), 1);
            }
            else
            {
                ASSERT_EQ(dlg.m_pDatabase->Logout(), 1);
            }
            const int scsi = fake.Calls(vxfake::kSendSCSICmd);
            dlg.SendMessage(WM_KVT_DEVICE_ARRIVED);
            EXPECT_EQ(dlg.calls, Calls{c.page});
            EXPECT_EQ(StoredIdentity(dlg), c.storedAfter);
            EXPECT_EQ(fake.Calls(vxfake::kSendSCSICmd) - scsi, c.clockCommands);
        }
        // Every command sent was the clock command (the fake keeps the first few).
        ASSERT_GT(fake.State().scsiCallCount, 0);
        for (int i = 0; i < fake.State().scsiCallCount; ++i)
        {
            EXPECT_EQ(fake.State().scsiCalls[i].cdb[0], 0xE0);
            EXPECT_EQ(fake.State().scsiCalls[i].cdb[1], 0x01);
        }
    });
}

TEST_F(WindowMessagesTest, AnArrivalWhoseDeviceALaterCheckLostDoesNothing)
{
    ScriptMassStorageMonitor();
    RecordingDlg dlg;
    Run(dlg, [&] {
        ASSERT_TRUE(LogIn(dlg));
        // The monitor goes before the arrival message is handled.
        fake.State().usbOpens = false;
        fake.State().driveFound = false;
        SleepRecorder sleeps;
        dlg.SendMessage(WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0);
        ASSERT_TRUE(vxtest::WaitFor([&] { return dlg.PendingDeviceChecks() == 0; }));
        dlg.calls.clear();
        const int scsi = fake.Calls(vxfake::kSendSCSICmd);
        dlg.SendMessage(WM_KVT_DEVICE_ARRIVED);
        EXPECT_EQ(dlg.calls, Calls{});
        EXPECT_EQ(fake.Calls(vxfake::kSendSCSICmd), scsi);
        EXPECT_EQ(dlg.m_bDeviceFound, FALSE);
        EXPECT_EQ(StoredIdentity(dlg), u"");
    });
}

TEST_F(WindowMessagesTest, AHidMonitorThatArrivesIsStoredForTheUserAndGetsTheClockCommand)
{
    // Only the HID interface opens, so the first supported entry answers as HID.
    fake.State().hidOpens = true;
    vxtest::SimHidMonitor::Options options;
    options.vendorId = std::string(kSupportedDevices[0].szVendorId);
    options.productId = std::string(kSupportedDevices[0].szProductId);
    for (std::string *id : {&options.vendorId, &options.productId})
        for (char &c : *id)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    vxtest::SimHidMonitor monitor(options);
    std::array<std::uint8_t, 16> identity{};
    for (std::size_t i = 0; i < identity.size(); ++i)
        identity[i] = static_cast<std::uint8_t>(0xA0 + i);
    monitor.SetReadData(0x05, vxtest::SimHidMonitor::DeviceInfoBlock(0, 1, 2, 3, 0, identity));
    RecordingDlg dlg;
    Run(dlg, [&] {
        ASSERT_TRUE(LogIn(dlg));
        monitor.ClearRecords();
        dlg.calls.clear();
        dlg.SendMessage(WM_KVT_DEVICE_ARRIVED);
        EXPECT_EQ(dlg.calls, Calls{"upload prompt"});
        const std::string found(dlg.m_szDeviceId.data());
        EXPECT_EQ(found.size(), 32u);
        EXPECT_EQ(StoredIdentity(dlg), std::u16string(found.begin(), found.end()));
        EXPECT_EQ(dlg.m_FirmwareVersion.major, 1);
        EXPECT_EQ(dlg.m_FirmwareVersion.build, 3);
        std::vector<std::uint8_t> commands;
        for (const auto &command : monitor.Commands())
            commands.push_back(command.command);
        EXPECT_EQ(commands, std::vector<std::uint8_t>{0x01});
    });
}

// ---- device removal ----

TEST_F(WindowMessagesTest, RemovalClearsTheImportLeavesTheSettingsPageAndTellsTheUser)
{
    RecordingDlg dlg;
    int prompts = 0;
    BOOL ignoringDuringPrompt = FALSE;
    CWnd *promptParent = nullptr;
    Run(
        dlg,
        [&] {
            UIButton button;
            ASSERT_TRUE(button.Create(u"Device Setting", CRect(10, 10, 60, 30), &dlg, 1261));
            struct Case
            {
                const char *name;
                KvtView view;
                BOOL ignore;
                BOOL loggedIn;
                BOOL closing;
                Calls calls;
                int prompts;
            };
            const Case cases[] = {
                {"settings page", KvtView::DeviceSetting, FALSE, TRUE, FALSE, {"home page"}, 1},
                {"home page, arrivals ignored", KvtView::Home, TRUE, TRUE, FALSE, {}, 0},
                // The home page built in its place heeds arrivals, so the user is told.
                {"settings page, arrivals ignored",
                 KvtView::DeviceSetting,
                 TRUE,
                 TRUE,
                 FALSE,
                 {"home page"},
                 1},
                {"logged out", KvtView::DeviceSetting, FALSE, FALSE, FALSE, {}, 0},
                {"closing", KvtView::DeviceSetting, FALSE, TRUE, TRUE, {}, 0},
            };
            for (const Case &c : cases)
            {
                SCOPED_TRACE(c.name);
                dlg.calls.clear();
                prompts = 0;
                button.EnableWindow(TRUE);
                dlg.m_nCurrentView = c.view;
                dlg.m_bIgnoreDeviceArrival = c.ignore;
                dlg.m_bLoggedIn = c.loggedIn;
                dlg.m_bClosing = c.closing;
                dlg.m_bImported = TRUE;
                dlg.m_bUserDateSet = TRUE;
                dlg.m_nWorkoutRecordCount = 7;
                dlg.SendMessage(WM_KVT_DEVICE_REMOVED);
                const bool acts = c.loggedIn && !c.closing;
                EXPECT_EQ(dlg.calls, c.calls);
                EXPECT_EQ(prompts, c.prompts);
                EXPECT_EQ(dlg.m_bImported, acts ? FALSE : TRUE);
                EXPECT_EQ(dlg.m_bUserDateSet, acts ? FALSE : TRUE);
                EXPECT_EQ(dlg.m_nWorkoutRecordCount, acts ? 0 : 7);
                EXPECT_EQ(button.IsWindowEnabled(), acts ? FALSE : TRUE);
                EXPECT_EQ(dlg.m_bIgnoreDeviceArrival, c.calls.empty() ? c.ignore : FALSE);
                if (c.prompts)
                {
                    EXPECT_EQ(ignoringDuringPrompt, TRUE);
                    EXPECT_EQ(promptParent, static_cast<CWnd *>(&dlg));
                }
            }
            dlg.m_bClosing = FALSE;
            // Without the button the rest still happens.
            button.DestroyWindow();
            dlg.calls.clear();
            dlg.m_bLoggedIn = TRUE;
            dlg.m_bIgnoreDeviceArrival = TRUE;
            dlg.m_nCurrentView = KvtView::DeviceSetting;
            dlg.SendMessage(WM_KVT_DEVICE_REMOVED);
            EXPECT_EQ(dlg.calls, Calls{"home page"});
        },
        [&](CDialog &d) {
            if (dynamic_cast<CConnectStatusChangeDlg *>(&d))
            {
                ++prompts;
                ignoringDuringPrompt = dlg.m_bIgnoreDeviceArrival;
                promptParent = d.GetParent();
            }
            d.EndDialog(IDCANCEL);
        });
}

// ---- start-up log-in ----

TEST_F(WindowMessagesTest, StartUpLogInDeciphersThePasswordTextOrShowsTheLoginPage)
{
    struct Case
    {
        const char *name;
        std::u16string user;
        std::u16string passwordText;
        Calls calls;
        std::u16string password;
    };
    const Case cases[] = {
        {"good text", u"ann", kAbcStored, {"log in"}, u"abc"},
        {"user with quotes and a lone surrogate",
         std::u16string(u"a\"n'n\xD800", 6),
         kAbcStored,
         {"log in"},
         u"abc"},
        {"text too short", u"ann", u"7", {"login page"}, u""},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        RecordingDlg dlg;
        dlg.m_strCmdUser = CString(c.user);
        dlg.m_strCmdPassword = CString(c.passwordText);
        SleepRecorder sleeps;
        bool shown = false;
        Run(dlg, [&] {
            EXPECT_TRUE(vxtest::WaitFor([&] { return !dlg.calls.empty(); }));
            shown = dlg.IsWindowVisible() != FALSE;
        });
        EXPECT_EQ(dlg.calls, c.calls);
        EXPECT_TRUE(shown);
        if (c.calls == Calls{"log in"})
        {
            EXPECT_EQ(dlg.loginUser, c.user);
            EXPECT_EQ(dlg.loginPassword, c.password);
        }
    }
}

// ---- messages that lead to later pages, and the ones that do nothing here ----

TEST_F(WindowMessagesTest, EachPrivateMessageReachesItsHandler)
{
    RecordingDlg dlg;
    Run(dlg, [&] {
        struct Case
        {
            UINT msg;
            Calls calls;
        };
        const Case cases[] = {
            {WM_KVT_COINIT, {}},
            {WM_KVT_COUNINIT, {}},
            {WM_KVT_CONFIRM_VIEW_SWITCH, {"confirm view switch"}},
            {WM_KVT_DEVICE_NOT_DETECTED, {"device not detected"}},
            {WM_KVT_DONGLE_ONLY, {"dongle only"}},
            {WM_KVT_DEVICE_NOT_READY, {"device not ready"}},
            {WM_KVT_ASK_DATE, {"ask date"}},
            {WM_KVT_SHARE_TO_WEBAPP, {"share"}},
            {WM_KVT_OPEN_WEBAPP_PAGE, {"web page"}},
        };
        for (const Case &c : cases)
        {
            dlg.calls.clear();
            dlg.SendMessage(c.msg);
            EXPECT_EQ(dlg.calls, c.calls) << c.msg;
        }
        // Posted as their senders do, they arrive the same way.
        dlg.calls.clear();
        dlg.PostMessage(WM_KVT_SHARE_TO_WEBAPP);
        dlg.PostMessage(WM_KVT_OPEN_WEBAPP_PAGE);
        EXPECT_TRUE(vxtest::WaitFor([&] { return dlg.calls.size() == 2; }));
        EXPECT_EQ(dlg.calls, (Calls{"share", "web page"}));
    });
}

TEST_F(WindowMessagesTest, ComIsStartedForTheDialogsLifeAndByItsMessagesInTheirOrder)
{
    const int before = vxwin::ComInitDepth();
    const int unbalancedBefore = vxwin::ComUnbalancedUninitCount();
    {
        RecordingDlg dlg;
        Run(dlg, [&] {
            EXPECT_EQ(vxwin::ComInitDepth(), before + 1);
            dlg.SendMessage(WM_KVT_COINIT);
            EXPECT_EQ(vxwin::ComInitDepth(), before + 2);
            dlg.SendMessage(WM_KVT_COUNINIT);
            EXPECT_EQ(vxwin::ComInitDepth(), before + 1);
        });
        EXPECT_EQ(vxwin::ComInitDepth(), before + 1); // until the dialog is gone
    }
    EXPECT_EQ(vxwin::ComInitDepth(), before);
    EXPECT_EQ(vxwin::ComUnbalancedUninitCount(), unbalancedBefore);

    // A dialog that never ran its set-up has nothing to stop.
    {
        RecordingDlg unused;
    }
    EXPECT_EQ(vxwin::ComUnbalancedUninitCount(), unbalancedBefore);
}

// ---- message prompts ----

TEST_F(WindowMessagesTest, MessagePromptsShowTheirTextAndHoldArrivalsOnlyWhileTheyAreUp)
{
    struct Seen
    {
        UINT title = 0;
        UINT message = 0;
        WORD language = 0;
        CWnd *parent = nullptr;
        bool isOpenPrompt = false;
        BOOL ignoring = -1;
        std::u16string titleText;
        std::u16string messageText;
    };
    std::vector<Seen> seen;
    // A message to send from inside the first prompt, as a posted one may arrive in its loop.
    UINT inner = 0;
    CWinApp app;
    RecordingDlg dlg;
    Run(
        dlg,
        [&] {
            app.m_pMainWnd = &dlg;
            struct Case
            {
                const char *name;
                UINT msg;
                BOOL ignoreBefore;
                UINT inner;
                std::vector<UINT> messages;
                std::vector<BOOL> ignoring;
            };
            const Case cases[] = {
                {"update failed", WM_KVT_WEBAPP_UPDATE_FAILED, FALSE, 0, {583}, {FALSE}},
                {"no internet", WM_KVT_NO_INTERNET, FALSE, 0, {584}, {TRUE}},
                {"other program", WM_KVT_OTHER_APP_RUNNING, FALSE, 0, {725}, {TRUE}},
                {"no internet, arrivals already held", WM_KVT_NO_INTERNET, TRUE, 0, {584}, {TRUE}},
                {"other program inside no internet",
                 WM_KVT_NO_INTERNET,
                 FALSE,
                 WM_KVT_OTHER_APP_RUNNING,
                 {584, 725},
                 {TRUE, TRUE}},
                {"update failed inside other program",
                 WM_KVT_OTHER_APP_RUNNING,
                 FALSE,
                 WM_KVT_WEBAPP_UPDATE_FAILED,
                 {725, 583},
                 {TRUE, TRUE}},
            };
            for (const Case &c : cases)
            {
                SCOPED_TRACE(c.name);
                seen.clear();
                inner = c.inner;
                dlg.m_bIgnoreDeviceArrival = c.ignoreBefore;
                dlg.SendMessage(c.msg);
                ASSERT_EQ(seen.size(), c.messages.size());
                for (std::size_t i = 0; i < seen.size(); ++i)
                {
                    EXPECT_EQ(seen[i].title, 582u);
                    EXPECT_EQ(seen[i].message, c.messages[i]);
                    EXPECT_EQ(seen[i].language, 1033);
                    EXPECT_EQ(seen[i].parent, static_cast<CWnd *>(&dlg));
                    EXPECT_TRUE(seen[i].isOpenPrompt);
                    EXPECT_EQ(seen[i].ignoring, c.ignoring[i]);
                    EXPECT_EQ(seen[i].titleText, u"Error Occurred");
                }
                EXPECT_EQ(dlg.m_pMessageDlg, nullptr);
                EXPECT_EQ(dlg.m_bIgnoreDeviceArrival, c.ignoreBefore);
            }
            EXPECT_EQ(seen.back().messageText, u"Error updating data to Facebook application.");
            app.m_pMainWnd = nullptr;
        },
        [&](CDialog &d) {
            auto *prompt = dynamic_cast<CMessageDlg *>(&d);
            ASSERT_NE(prompt, nullptr);
            Seen s;
            s.title = prompt->m_nTitleId;
            s.message = prompt->m_nMessageId;
            s.language = prompt->GetLanguage();
            s.parent = prompt->GetParent();
            s.isOpenPrompt = dlg.m_pMessageDlg == prompt;
            s.ignoring = dlg.m_bIgnoreDeviceArrival;
            s.titleText = prompt->GetTitleLabel() ? prompt->GetTitleLabel()->GetText() : u"(none)";
            s.messageText = prompt->GetMessageLabel() ? prompt->GetMessageLabel()->GetText() : u"(none)";
            seen.push_back(s);
            if (inner)
            {
                const UINT msg = inner;
                inner = 0;
                dlg.SendMessage(msg);
                // The inner prompt is gone; this one is the open prompt again.
                EXPECT_EQ(dlg.m_pMessageDlg, prompt);
            }
            // Ended by its own button, which ends the prompt the main window keeps as open
            // (directly when that is not this one, so that a failure does not leave it up).
            if (dlg.m_pMessageDlg == prompt)
                CMessageDlg::OnButtonClicked();
            else
                d.EndDialog(IDCANCEL);
        });
}

// ---- centring ----

TEST_F(WindowMessagesTest, CentringPlacesTheWindowInTheMiddleOfTheWorkAreaAndShowsIt)
{
    RecordingDlg dlg;
    Run(dlg, [&] {
        CRect before;
        dlg.GetWindowRect(&before);
        dlg.MoveWindow(3, 5, before.Width(), before.Height());
        dlg.ShowWindow(SW_HIDE);
        dlg.SendMessage(WM_KVT_CENTER_WINDOW);
        CRect after;
        dlg.GetWindowRect(&after);
        const int screenWidth = GetSystemMetrics(SM_CXFULLSCREEN);
        const int screenHeight = GetSystemMetrics(SM_CYFULLSCREEN);
        EXPECT_EQ(after.left, screenWidth / 2 - before.Width() / 2);
        EXPECT_EQ(after.top, screenHeight / 2 - before.Height() / 2);
        EXPECT_EQ(after.Width(), before.Width());
        EXPECT_EQ(after.Height(), before.Height());
        EXPECT_TRUE(dlg.IsWindowVisible());
    });
}

// ---- copy-data log-in ----

// A record of exactly `length` bytes (so that a read past it shows), starting one byte into
// its buffer so that the texts are not aligned.
class Record
{
  public:
    explicit Record(std::size_t length) : m_buffer(new std::uint8_t[length + 1]), m_length(length)
    {
        std::memset(m_buffer.get(), 0x41, length + 1);
    }
    // Units from `at`; with `terminate` a zero unit follows (when it fits).
    Record &Put(std::size_t at, const std::u16string &text, bool terminate = true)
    {
        std::u16string units = text;
        if (terminate)
            units.push_back(u'\0');
        for (std::size_t i = 0; i < units.size() && at + 2 * i + 1 < m_length; ++i)
        {
            Data()[at + 2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
            Data()[at + 2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
        }
        return *this;
    }
    std::uint8_t *Data() { return m_buffer.get() + 1; }
    std::size_t Length() const { return m_length; }

  private:
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_length;
};

TEST_F(WindowMessagesTest, CopyDataLogsInOnlyFromAWholeRecordAndAlwaysActivates)
{
    const std::u16string user = std::u16string(u"b\"o'b\xDC00", 6);
    const std::u16string longest(99, u'u');
    struct Case
    {
        const char *name;
        std::function<Record()> record;
        ULONG_PTR type;
        BOOL loggedIn;
        bool nullData;
        Calls calls;
        std::u16string name_;
        std::u16string password;
    };
    const auto whole = [&](std::size_t length, const std::u16string &id, const std::u16string &text) {
        return [=] {
            Record r(length);
            r.Put(0, id).Put(200, text);
            return r;
        };
    };
    const std::size_t full = 200 + 2 * (std::char_traits<char16_t>::length(kAbcStored) + 1);
    const Case cases[] = {
        {"whole record", whole(full, user, kAbcStored), 1, FALSE, false, {"login action"}, user, u"abc"},
        {"longer than its texts",
         whole(full + 37, user, kAbcStored),
         1,
         FALSE,
         false,
         {"login action"},
         user,
         u"abc"},
        {"longest user id",
         whole(full, longest, kAbcStored),
         1,
         FALSE,
         false,
         {"login action"},
         longest,
         u"abc"},
        {"password text that does not decipher",
         whole(204, u"ann", u"7"),
         1,
         FALSE,
         false,
         {"login action"},
         u"",
         u""},
        {"empty texts", whole(202, u"", u""), 1, FALSE, false, {"login action"}, u"", u""},
        {"another data type", whole(full, user, kAbcStored), 2, FALSE, false, {}, u"", u""},
        {"no data", whole(full, user, kAbcStored), 1, FALSE, true, {}, u"", u""},
        {"a user is logged in", whole(full, user, kAbcStored), 1, TRUE, false, {}, u"", u""},
        {"no room for the password text", whole(200, user, u""), 1, FALSE, false, {}, u"", u""},
        {"half a unit of password text", whole(201, user, u""), 1, FALSE, false, {}, u"", u""},
        {"shorter than the user id", whole(10, user, u""), 1, FALSE, false, {}, u"", u""},
        {"user id without its zero in its field",
         [&] {
             Record r(full);
             r.Put(0, std::u16string(100, u'x'), false).Put(200, kAbcStored);
             return r;
         },
         1,
         FALSE,
         false,
         {},
         u"",
         u""},
        {"password text without its zero before the end",
         [&] {
             Record r(full - 2);
             r.Put(0, user).Put(200, kAbcStored, false);
             return r;
         },
         1,
         FALSE,
         false,
         {},
         u"",
         u""},
        {"password text whose zero is cut in half",
         [&] {
             Record r(full - 1);
             r.Put(0, user).Put(200, kAbcStored);
             return r;
         },
         1,
         FALSE,
         false,
         {},
         u"",
         u""},
    };
    RecordingDlg dlg;
    Run(dlg, [&] {
        // The fields of the login page the dialog starts with.
        CWnd *password = dlg.GetDlgItem(1004);
        CWnd *name = dlg.GetDlgItem(1005);
        ASSERT_NE(password, nullptr);
        ASSERT_NE(name, nullptr);
        for (const Case &c : cases)
        {
            SCOPED_TRACE(c.name);
            name->SetWindowText(u"");
            password->SetWindowText(u"");
            dlg.calls.clear();
            dlg.nameAtLogin = dlg.passwordAtLogin = u"(not run)";
            dlg.m_bLoggedIn = c.loggedIn;
            const int activations = dlg.activations;
            Record r = c.record();
            COPYDATASTRUCT data{c.type, static_cast<DWORD>(r.Length()), c.nullData ? nullptr : r.Data()};
            EXPECT_EQ(dlg.SendMessage(WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)), TRUE);
            EXPECT_EQ(dlg.calls, c.calls);
            EXPECT_EQ(dlg.activations, activations + 1);
            if (!c.calls.empty())
            {
                EXPECT_EQ(dlg.nameAtLogin, c.name_);
                EXPECT_EQ(dlg.passwordAtLogin, c.password);
            }
        }
        // Without a record only the activation happens; without the login fields the action
        // still runs.
        dlg.calls.clear();
        dlg.m_bLoggedIn = FALSE;
        EXPECT_EQ(dlg.SendMessage(WM_COPYDATA, 0, 0), TRUE);
        EXPECT_EQ(dlg.calls, Calls{});
        dlg.DestroyPageControls();
        Record r = whole(full, user, kAbcStored)();
        COPYDATASTRUCT data{1, static_cast<DWORD>(r.Length()), r.Data()};
        dlg.SendMessage(WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
        EXPECT_EQ(dlg.calls, Calls{"login action"});
        EXPECT_EQ(dlg.nameAtLogin, u"(none)");
    });
}

// ---- run graph and calendar ----

bool Local(int year, int month, int day, int hour, int minute, int64_t *out)
{
    return vxsys::LocalTimeFromFields(vxsys::LocalFields{year, month, day, hour, minute, 0, 0}, out);
}

std::string Show(int64_t date)
{
    vxsys::LocalFields f{};
    if (!vxsys::LocalFieldsFromTime(date, &f))
        return "?";
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", f.year, f.month, f.day, f.hour, f.minute);
    return text;
}

// Two series of seven bars of 1 to 7, the chart of a week.
std::unique_ptr<GraphSettings> WeekOfBars()
{
    auto s = GraphSettings::CreateTwoSeriesWeek(1033);
    for (int i = 0; i < 7; ++i)
    {
        s->m_series[0].m_points[i].m_fValue = static_cast<float>(i + 1);
        s->m_series[1].m_points[i].m_fValue = static_cast<float>(i + 1);
    }
    return s;
}

// The point on bar i of the first series of WeekOfBars, in the chart.
QPoint OnBar(int i)
{
    const float slot = 356.0f / 7.0f;
    return QPoint(static_cast<int>(70.0f + static_cast<float>(i) * slot + (slot - 20.0f) / 2.0f) + 5, 144);
}

class GraphMessagesTest : public WindowMessagesTest
{
  protected:
    vxtest::ScopedTimeZone zone{"Europe/Berlin"};
    CWinApp app;

    // The My Runs graph and calendar on the dialog, the dialog as the main window.
    void SetUpPage(RecordingDlg &dlg, const GraphSettings &settings)
    {
        app.m_pMainWnd = &dlg;
        dlg.CreateRunGraph();
        dlg.m_pRunGraph->Draw(&settings, 1033);
        dlg.m_pCalendar = std::make_unique<CCalendar>(1033);
        ASSERT_TRUE(
            dlg.m_pCalendar->Create(u"", WS_CHILD | WS_VISIBLE, CRect(500, 100, 700, 300), &dlg, 1011));
        dlg.m_pCalendar->SetDateCallback(&CKVTDlg::CalendarDateCallback);
        vxtest::ProcessEvents();
    }
    static void Click(RecordingDlg &dlg, int bar)
    {
        QTest::mousePress(dlg.m_pRunGraph->GetWidget(), Qt::LeftButton, {}, OnBar(bar));
        QTest::mouseRelease(dlg.m_pRunGraph->GetWidget(), Qt::LeftButton, {}, OnBar(bar));
        vxtest::ProcessEvents();
    }
};

TEST_F(GraphMessagesTest, APickStepsByCalendarDaysWeeksAndMonthsWithinItsLimits)
{
    struct Case
    {
        const char *name;
        int period;
        int from[5]; // year, month, day, hour, minute
        int selected;
        int picked;
        const char *expected; // null: the calendar keeps its date
        BOOL reset;
    };
    const Case cases[] = {
        // The night the clocks go back is 25 hours long.
        {"day back over the clock change", 0, {2021, 10, 31, 23, 30}, 6, 5, "2021-10-30 23:30", FALSE},
        {"day forward over the clock change", 0, {2021, 10, 30, 23, 30}, 2, 3, "2021-10-31 23:30", FALSE},
        {"week back over the clock change", 1, {2021, 11, 6, 23, 30}, 6, 5, "2021-10-30 23:30", FALSE},
        {"week back over the spring change", 1, {2021, 4, 2, 23, 30}, 6, 4, "2021-03-19 23:30", FALSE},
        {"two months back", 2, {2021, 3, 31, 12, 0}, 6, 4, "2021-01-31 12:00", FALSE},
        {"month back to a shorter month", 2, {2021, 3, 31, 12, 0}, 6, 5, "2021-02-28 12:00", FALSE},
        {"month forward over the year", 2, {2021, 12, 31, 8, 15}, 1, 3, "2022-02-28 08:15", FALSE},
        {"no step", 0, {2021, 5, 5, 8, 0}, 4, 4, "2021-05-05 08:00", FALSE},
        {"days: before the scroll limit", 0, {1970, 3, 9, 12, 0}, 6, 4, "1970-03-07 12:00", TRUE},
        {"days: on the scroll limit", 0, {1970, 3, 9, 12, 0}, 6, 5, "1970-03-08 12:00", FALSE},
        {"days: before the first date", 0, {1970, 3, 2, 12, 0}, 6, 4, nullptr, TRUE},
        {"weeks: before the scroll limit", 1, {1970, 4, 10, 12, 0}, 6, 5, "1970-04-03 12:00", TRUE},
        {"months: on the scroll limit", 2, {1971, 4, 15, 12, 0}, 6, 5, "1971-03-15 12:00", FALSE},
        {"months: before the scroll limit", 2, {1971, 4, 15, 12, 0}, 6, 4, "1971-02-15 12:00", TRUE},
        {"months: before the first date", 2, {1970, 4, 15, 12, 0}, 6, 4, nullptr, TRUE},
    };
    auto settings = WeekOfBars();
    RecordingDlg dlg;
    Run(dlg, [&] {
        SetUpPage(dlg, *settings);
        for (const Case &c : cases)
        {
            SCOPED_TRACE(c.name);
            int64_t from = 0;
            ASSERT_TRUE(Local(c.from[0], c.from[1], c.from[2], c.from[3], c.from[4], &from));
            dlg.m_nGraphPeriod = c.period;
            dlg.m_bResetGraphScroll = FALSE;
            dlg.m_pCalendar->m_tSelected = from;
            dlg.m_pCalendar->m_tShown = from;
            dlg.m_pRunGraph->SetSelectedPoint(c.selected);
            dlg.calls.clear();
            Click(dlg, c.picked);
            EXPECT_EQ(dlg.m_pRunGraph->GetPrevSelectedPoint(), c.selected);
            EXPECT_EQ(Show(dlg.m_pCalendar->m_tSelected), c.expected ? c.expected : Show(from));
            EXPECT_EQ(dlg.m_pCalendar->m_tShown, dlg.m_pCalendar->m_tSelected);
            EXPECT_EQ(dlg.calls, c.expected ? (Calls{"run graph", "run details"}) : Calls{});
            EXPECT_EQ(dlg.m_bResetGraphScroll, c.reset);
        }
        // Without a calendar a pick does nothing.
        dlg.m_pCalendar.reset();
        dlg.calls.clear();
        dlg.m_pRunGraph->SetSelectedPoint(6);
        Click(dlg, 2);
        EXPECT_EQ(dlg.calls, Calls{});
        app.m_pMainWnd = nullptr;
    });
}

TEST_F(GraphMessagesTest, MonthArrowsKeepToTheirLimitsAndReportTheNewDate)
{
    struct Case
    {
        const char *name;
        bool next;
        int from[3];
        const char *expected; // null: nothing happens
    };
    const Case cases[] = {
        {"previous on the first month allowed", false, {1970, 4, 1}, "1970-03-01 10:30"},
        {"previous before it", false, {1970, 3, 31}, nullptr},
        {"previous to a shorter month", false, {2021, 3, 31}, "2021-02-28 10:30"},
        {"previous to a leap February", false, {2020, 3, 31}, "2020-02-29 10:30"},
        {"previous from January", false, {2022, 1, 15}, "2021-12-15 10:30"},
        {"next from December", true, {2021, 12, 15}, "2022-01-15 10:30"},
        {"next to a shorter month", true, {2021, 1, 31}, "2021-02-28 10:30"},
        {"next on the last month allowed", true, {2037, 11, 30}, "2037-12-30 10:30"},
        {"next from the month after it", true, {2037, 12, 1}, nullptr},
        {"next late in that month", true, {2037, 12, 31}, nullptr},
    };
    auto settings = WeekOfBars();
    RecordingDlg dlg;
    Run(dlg, [&] {
        SetUpPage(dlg, *settings);
        dlg.m_nGraphPeriod = 2;
        for (const Case &c : cases)
        {
            SCOPED_TRACE(c.name);
            int64_t from = 0;
            ASSERT_TRUE(Local(c.from[0], c.from[1], c.from[2], 10, 30, &from));
            dlg.m_pCalendar->m_tSelected = from;
            dlg.m_pCalendar->m_tShown = from;
            dlg.m_bResetGraphScroll = FALSE;
            dlg.calls.clear();
            dlg.SendMessage(c.next ? WM_KVT_GRAPH_NEXT : WM_KVT_GRAPH_PREV, 1012, 0);
            EXPECT_EQ(Show(dlg.m_pCalendar->m_tSelected), c.expected ? c.expected : Show(from));
            EXPECT_EQ(dlg.m_pCalendar->m_tShown, dlg.m_pCalendar->m_tSelected);
            // The calendar's date message rebuilds the graph and the panel.
            EXPECT_EQ(dlg.calls, c.expected ? (Calls{"run graph", "run details"}) : Calls{});
            EXPECT_EQ(dlg.m_bResetGraphScroll, c.expected ? TRUE : FALSE);
        }
        app.m_pMainWnd = nullptr;
    });
}

TEST_F(GraphMessagesTest, DayAndWeekArrowsLetTheCalendarStepAndNothingHappensWithoutOne)
{
    auto settings = WeekOfBars();
    RecordingDlg dlg;
    Run(dlg, [&] {
        SetUpPage(dlg, *settings);
        struct Case
        {
            int period;
            bool next;
            const char *expected;
        };
        for (const Case &c : {Case{0, false, "2021-10-30 23:30"}, Case{0, true, "2021-11-01 23:30"},
                              Case{1, false, "2021-10-24 23:30"}, Case{1, true, "2021-11-07 23:30"}})
        {
            SCOPED_TRACE(c.expected);
            int64_t from = 0;
            ASSERT_TRUE(Local(2021, 10, 31, 23, 30, &from));
            dlg.m_nGraphPeriod = c.period;
            dlg.m_pCalendar->SetViewMode(c.period);
            dlg.m_pCalendar->m_tSelected = from;
            dlg.calls.clear();
            // Through the chart's own callbacks, as a press on its arrows calls them.
            if (c.next)
                CKVTDlg::GraphNextCallback(1012);
            else
                CKVTDlg::GraphPrevCallback(1012);
            EXPECT_EQ(Show(dlg.m_pCalendar->m_tSelected), c.expected);
            EXPECT_EQ(dlg.calls, (Calls{"run graph", "run details"}));
        }
        dlg.m_pCalendar.reset();
        for (int period : {0, 1, 2})
        {
            dlg.m_nGraphPeriod = period;
            dlg.calls.clear();
            dlg.SendMessage(WM_KVT_GRAPH_PREV, 1012, 0);
            dlg.SendMessage(WM_KVT_GRAPH_NEXT, 1012, 0);
            EXPECT_EQ(dlg.calls, Calls{}) << period;
        }
        // A date chosen on the calendar frees its record and rebuilds the graph and the panel.
        dlg.calls.clear();
        dlg.m_bResetGraphScroll = FALSE;
        CKVTDlg::CalendarDateCallback(1011, 12345);
        EXPECT_EQ(dlg.calls, (Calls{"run graph", "run details"}));
        EXPECT_EQ(dlg.m_bResetGraphScroll, TRUE);
        // Without a main window the record is not made at all (the leak check would see it).
        app.m_pMainWnd = nullptr;
        dlg.calls.clear();
        CKVTDlg::CalendarDateCallback(1011, 12345);
        CKVTDlg::GraphPointCallback(1012, 1);
        EXPECT_EQ(dlg.calls, Calls{});
    });
}
} // namespace

// The device-arrival flow end to end: the dialog runs with its real watcher thread, which finds a
// simulated mass-storage monitor through the test variant of the Ulvex library; the import reads and
// empties the monitor's workout file on a fixture drive, and the web sync talks to a fake service.
// Pages of later work (home, profile, error pages, prompts) are recorded.
#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QTest>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "device/SupportedDevices.h"
#include "platform/sys/LocalTime.h"
#include "platform/win/Controls.h"
#include "store/KvtDatabase.h"
#include "tests/device/UlvexTestSupport.h"
#include "tests/sharing/WebServiceTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "tests/support/sim_hid/SimHidMonitor.h"
#include "tests/support/sim_ulvex/SimUlvex.h"
#include "tests/support/workout/WorkoutFileBuilder.h"
#include "ui/ContinueCancelDlg2.h"
#include "ui/PromptDialogs.h"
#include "ui/UIEdit.h"
#include "ui/UIStatic.h"

namespace
{
using Bytes = std::vector<std::uint8_t>;
using Calls = std::vector<std::string>;
using vxtest::FakeXmlRpcService;

// 2010-12-31 23:59:30 UTC.
constexpr std::int64_t kNewYearsEve = 1293839970;
constexpr std::size_t kDriveEntry = 1;
constexpr std::size_t kMtpEntry = 0;
// The HID monitor's identity: its 16 identity bytes 10..1F, last byte first.
constexpr const char16_t *kHidIdentity = u"1F1E1D1C1B1A19181716151413121110";

class FlowDlg : public CKVTDlg
{
  public:
    FlowDlg() : CKVTDlg(1033) {}

    Calls calls;
    int reachable = 0;
    bool realDatePrompt = false;

    void ShowHomeView() override
    {
        calls.push_back("home page");
        CKVTDlg::ShowHomeView();
    }
    void ShowProfileView() override
    {
        calls.push_back("profile page");
        CKVTDlg::ShowProfileView();
    }
    void ShowUploadPromptView() override
    {
        calls.push_back("upload prompt");
        CKVTDlg::ShowUploadPromptView();
    }
    void ShowDeviceMismatchView() override
    {
        calls.push_back("mismatch page");
        CKVTDlg::ShowDeviceMismatchView();
    }
    void ShowLoginErrorView() override { calls.push_back("login error page"); }
    void ShowRetrieveErrorView() override { calls.push_back("retrieve error page"); }
    void ShowUploadDisconnectedView() override { calls.push_back("disconnected page"); }
    void PromptDeviceNotDetected() override { calls.push_back("device not detected"); }
    void PromptDongleOnly() override { calls.push_back("dongle only"); }
    void PromptDeviceNotReady() override { calls.push_back("device not ready"); }
    void AskLastRunDate() override
    {
        calls.push_back("ask date");
        if (realDatePrompt)
            CKVTDlg::AskLastRunDate();
    }
    int IsInternetReachable(int, int) override
    {
        calls.push_back("probe");
        return reachable;
    }

  protected:
    void ShowLoginView() override { calls.push_back("login page"); }
};

class ArrivalFlowTest : public ::testing::Test
{
  protected:
    ArrivalFlowTest()
    {
        vxsys::SetCurrentTimeSource([] { return kNewYearsEve; });
        // The waits for a device check sleep until the watcher is idle, so nothing depends on timing.
        vxwin::SetSleepHook([this](DWORD) {
            if (m_dlg)
                vxtest::WaitFor([this] { return m_dlg->PendingDeviceChecks() == 0; });
        });
        wstest::SetServiceHost(service.Host());
    }
    ~ArrivalFlowTest() override
    {
        wstest::SetServiceHost("");
        vxwin::SetSleepHook({});
        vxwin::SetModalHook({});
        vxsys::SetCurrentTimeSource({});
    }

    // A mass-storage monitor of the second supported entry with this workout file.
    void PlugInDrive(const Bytes &workout)
    {
        // The old fixture puts the environment back as it found it: it goes first.
        Unplug();
        drive = std::make_unique<vxtest::MonitorDrive>(HexToU16(kSupportedDevices[kDriveEntry].szProductId));
        ASSERT_NE(drive->letter, 0);
        drive->WriteFile("Settings.dat", vxtest::SettingsImage(300, 150, vxtest::ModelCodeText(2).c_str()));
        drive->WriteFile("FR.DAT", workout);
    }
    Bytes DriveFile() const { return vxtest::ReadFile(drive->mountPoint + "/FR.DAT"); }

    // Takes every monitor away; each old fixture puts the environment back before a new one is made.
    void Unplug()
    {
        drive.reset();
        hid.reset();
        usb.reset();
        mtpMonitor = -1;
    }

    // The USB device of a supported entry on the fixture tree's first port; its sysfs name.
    std::string PlugInUsbDevice(std::size_t entry, const std::string &serial = "Ser42")
    {
        Unplug();
        usb = std::make_unique<vxtest::FakeSysfs>();
        usb->AddRootHub(1);
        return usb->AddUsbDevice("usb1", 1,
                                 vxtest::UsbDevice(VORMATIK_MONITOR_VENDOR_ID,
                                                   HexToU16(kSupportedDevices[entry].szProductId), serial));
    }

    // An MTP monitor of the first supported entry (its firmware version starts with a model code)
    // with this workout file.
    void PlugInMtp(const Bytes &workout)
    {
        PlugInUsbDevice(kMtpEntry);
        mtpMonitor =
            sim.AddMtpMonitor(VORMATIK_MONITOR_VENDOR_ID, HexToU16(kSupportedDevices[kMtpEntry].szProductId),
                              "SER42", vxtest::ModelCodeText(0) + "-2.1.0", 1, workout);
        ASSERT_GE(mtpMonitor, 0);
    }

    // The HID model: its USB device with a HID interface the library opens, and the monitor behind
    // it as the program's report layer reaches it, answering its device information with kHidIdentity
    // and its record read with the image.
    void PlugInHid(const Bytes &image, int reportTimeoutMs = 3000)
    {
        const std::string device = PlugInUsbDevice(kHidEntry);
        usb->AddHidraw(device, 0, vxtest::SimHidMonitor::ReportDescriptor(65, 65, false));
        vxtest::SimHidMonitor::Options options;
        options.vendorId = LowerHex(kSupportedDevices[kHidEntry].szVendorId);
        options.productId = LowerHex(kSupportedDevices[kHidEntry].szProductId);
        options.reportTimeoutMs = reportTimeoutMs;
        hid = std::make_unique<vxtest::SimHidMonitor>(options);
        std::array<std::uint8_t, 16> identity{};
        for (std::size_t i = 0; i < identity.size(); ++i)
            identity[i] = static_cast<std::uint8_t>(0x10 + i);
        hid->SetReadData(0x05, vxtest::SimHidMonitor::DeviceInfoBlock(0, 1, 2, 3, 0, identity));
        Bytes padded = image;
        padded.resize(880, 0);
        hid->SetReadData(0x6E, padded);
    }

    enum class Transport
    {
        MassStorage,
        Mtp,
        Hid,
    };
    static const char *TransportName(Transport transport)
    {
        switch (transport)
        {
        case Transport::MassStorage:
            return "mass storage";
        case Transport::Mtp:
            return "MTP";
        case Transport::Hid:
            return "HID";
        }
        return "?";
    }

    void PlugIn(Transport transport, const Bytes &workout)
    {
        switch (transport)
        {
        case Transport::MassStorage:
            PlugInDrive(workout);
            break;
        case Transport::Mtp:
            PlugInMtp(workout);
            break;
        case Transport::Hid:
            PlugInHid(workout);
            break;
        }
        m_scsiBefore = sim.ScsiCommands().size();
    }

    // Two runs on a monitor that holds another owner's profile, so that a write-back shows whose it
    // writes; the HID model's file has the extended header.
    static Bytes OtherOwnersTwoRuns(Transport transport)
    {
        vxtest::WorkoutFileBuilder builder(transport == Transport::Hid);
        builder.FirstName(u"Bob").Profile(44, 0, 180, 80);
        builder.AddRecord(vxtest::RecordAt(2010, 12, 30, 7, 15, 30));
        builder.AddRecord(vxtest::RecordAt(2010, 12, 31, 8, 0, 0));
        return builder.Build();
    }

    // The plugged-in monitor's workout file now.
    Bytes MonitorFile() const
    {
        if (drive)
            return DriveFile();
        if (mtpMonitor >= 0)
            return sim.MtpWorkoutFile(mtpMonitor);
        return hid ? hid->RecordImage() : Bytes{};
    }

    // A header that counts no records and carries the logged-in owner's profile.
    static void ExpectEmptiedForTheOwner(const Bytes &file)
    {
        ASSERT_GT(file.size(), 207u);
        EXPECT_EQ(file[207], 0);
        EXPECT_EQ(file[201], 30);
        EXPECT_EQ(file[202], 1);
        EXPECT_EQ(file[203] | file[204] << 8, 170);
        EXPECT_EQ(file[205], 60);
    }

    // The clock settings the plugged-in monitor has been sent: the SCSI command, the MTP vendor
    // operation's data, the HID clock command's date and time.
    std::vector<Bytes> ClockSettings() const
    {
        std::vector<Bytes> seen;
        const auto commands = sim.ScsiCommands();
        // The library's disk commands of monitors before this one count for nothing.
        for (std::size_t i = m_scsiBefore; i < commands.size(); ++i)
            if (commands[i].cdb.size() >= 2 && commands[i].cdb[0] == 0xE0 && commands[i].cdb[1] == 0x01)
                seen.push_back(commands[i].cdb);
        if (mtpMonitor >= 0)
            for (const auto &call : sim.MtpVendorCalls(mtpMonitor))
                if (call.operation == 0x9D03)
                    seen.push_back(call.data);
        if (hid)
        {
            EXPECT_TRUE(hid->WaitUntilAllClosed());
            for (const auto &command : hid->Commands())
                if (command.mode == 2 && command.command == 0x01)
                    seen.emplace_back(
                        command.received.begin(),
                        command.received.begin() +
                            static_cast<std::ptrdiff_t>(std::min<std::size_t>(7, command.received.size())));
        }
        return seen;
    }

    static std::string LowerHex(const char *text)
    {
        std::string out(text);
        for (char &c : out)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return out;
    }

    static Bytes Workout(std::initializer_list<vxtest::WorkoutRecordSpec> records)
    {
        vxtest::WorkoutFileBuilder builder(false);
        builder.FirstName(u"Ann").Profile(30, 1, 170, 60);
        for (const auto &r : records)
            builder.AddRecord(r);
        return builder.Build();
    }
    static Bytes TwoRuns()
    {
        return Workout({vxtest::RecordAt(2010, 12, 30, 7, 15, 30), vxtest::RecordAt(2010, 12, 31, 8, 0, 0)});
    }

    // Runs the dialog; body runs once the start-up device check is over; nested answers other modal
    // dialogs (cancelled when not given).
    void Run(FlowDlg &dlg, const std::function<void()> &body, const std::function<void(CDialog &)> &nested = {})
    {
        m_dlg = &dlg;
        bool ran = false;
        vxwin::SetModalHook([&](CDialog &d) {
            if (&d != static_cast<CDialog *>(&dlg))
            {
                if (nested)
                    nested(d);
                else
                    d.EndDialog(IDCANCEL);
                return;
            }
            ran = true;
            EXPECT_TRUE(vxtest::WaitFor([&] { return dlg.PendingDeviceChecks() == 0; }));
            vxtest::ProcessEvents();
            dlg.calls.clear();
            body();
            // Whatever the flow did, no wait cursor is left behind.
            EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
            d.PostMessage(WM_CLOSE);
        });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        EXPECT_TRUE(ran);
        m_dlg = nullptr;
    }

    static bool AddUser(FlowDlg &dlg, bool withCredentials = false)
    {
        const DateParts birth{1, 2, 1980};
        KvtDatabase &db = *dlg.m_pDatabase;
        if (!db.IsOpen() || db.AddUser(u"ann", u"abc", u"Ann", u"Lee", 1, &birth, 40, 170, 3, 60, 5) != 1)
            return false;
        if (withCredentials)
            return db.Login(u"ann", u"abc") == 1 && db.SaveFacebookInfo(u"ann@example.com", u"fb") == 1 &&
                   db.Logout() == 1;
        return true;
    }

    static std::u16string StoredIdentity(FlowDlg &dlg)
    {
        char16_t buffer[100] = {u'?', 0};
        if (!dlg.m_pDatabase->GetDeviceSerialNo(buffer, 100))
            return u"(unreadable)";
        return buffer;
    }

    static std::u16string Latin1(const char *text)
    {
        std::u16string out;
        for (const char *p = text; *p; ++p)
            out += static_cast<char16_t>(static_cast<unsigned char>(*p));
        return out;
    }

    // Takes away the column the stored identity is read from: the read fails while the log-in works.
    void MakeStoredIdentityUnreadable() const
    {
        sqlite3 *other = nullptr;
        const std::string file = std::string(std::getenv("XDG_DATA_HOME")) + "/Vormatik/KVTDB_NB.dat";
        ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(other, "ALTER TABLE UserInfo RENAME COLUMN DeviceSerialNo TO Gone", nullptr,
                               nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(other);
    }

    static std::u16string StatusText(FlowDlg &dlg)
    {
        auto *status = dynamic_cast<UIStatic *>(dlg.GetDlgItem(CKVTDlg::kStatusLineId));
        return status ? std::u16string(status->GetText()) : u"(none)";
    }

    static int RunCount(FlowDlg &dlg)
    {
        std::uint32_t count = 0;
        if (!dlg.m_pDatabase->CountRunsSince(1, &count))
            return -1;
        return static_cast<int>(count);
    }

    vxtest::ScopedTimeZone zone{"UTC"};
    std::string dataHome = vxtest::MakeTempDir("xdg");
    vxtest::ScopedEnv env{"XDG_DATA_HOME", dataHome.c_str()};
    vxtest::SimUlvexLibrary sim;
    vxtest::NoProxyEnvironment noProxy;
    FakeXmlRpcService service;
    std::unique_ptr<vxtest::MonitorDrive> drive;
    // The USB side of an MTP or HID monitor, and the HID monitor behind its interface.
    std::unique_ptr<vxtest::FakeSysfs> usb;
    std::unique_ptr<vxtest::SimHidMonitor> hid;
    int mtpMonitor = -1;
    std::size_t m_scsiBefore = 0;
    FlowDlg *m_dlg = nullptr;
};

// The login page's two fields, as the login page makes them.
struct LoginFields
{
    CEdit password;
    CEdit name;
    LoginFields(CWnd *dlg, const char16_t *user, const char16_t *pass)
    {
        password.Create(WS_CHILD | WS_VISIBLE, CRect(0, 0, 100, 20), dlg, CKVTDlg::kLoginPasswordId);
        name.Create(WS_CHILD | WS_VISIBLE, CRect(0, 30, 100, 50), dlg, CKVTDlg::kLoginNameId);
        name.SetWindowText(user);
        password.SetWindowText(pass);
    }
};
} // namespace

// ---- log-in ----

TEST_F(ArrivalFlowTest, LogInChecksForTheDeviceAndPicksThePageByTheStoredIdentity)
{
    struct Case
    {
        const char *name;
        bool monitor;
        const char16_t *password;
        const char *storedBefore; // null: none stored; "found": the found identity, "lower": it in lower case
        Calls calls;
        BOOL loggedIn;
        const char *storedAfter;
        std::size_t clockCommands;
    };
    const Case cases[] = {
        {"wrong password", true, u"abd", nullptr, {"login error page"}, FALSE, "", 0},
        {"no device", false, u"abc", nullptr, {"device not detected"}, TRUE, "", 0},
        {"first device", true, u"abc", nullptr, {"upload prompt"}, TRUE, "found", 1},
        {"same device", true, u"abc", "found", {"upload prompt"}, TRUE, "found", 1},
        {"another case is another device", true, u"abc", "lower", {"mismatch page"}, TRUE, "lower", 1},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string home = vxtest::MakeTempDir("xdg");
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        if (c.monitor)
            PlugInDrive(TwoRuns());
        else
            drive.reset();
        FlowDlg dlg;
        Run(dlg, [&] {
            ASSERT_TRUE(AddUser(dlg));
            const auto identity = [&](const std::string &which) {
                std::u16string text;
                for (const char *p = dlg.m_szDeviceId.data(); *p; ++p)
                    text += static_cast<char16_t>(which == "lower" ? std::tolower(*p) : *p);
                return which.empty() ? std::u16string() : text;
            };
            if (c.storedBefore)
            {
                ASSERT_EQ(dlg.m_pDatabase->Login(u"ann", u"abc"), 1);
                ASSERT_EQ(dlg.m_pDatabase->SetDeviceSerialNo(identity(c.storedBefore).c_str()), 1);
                ASSERT_EQ(dlg.m_pDatabase->Logout(), 1);
            }
            dlg.m_bImported = TRUE;
            const std::size_t before = sim.ScsiCommands().size();
            LoginFields fields(&dlg, u"ann", c.password);
            dlg.OnLogin();
            vxtest::ProcessEvents();
            EXPECT_EQ(dlg.calls, c.calls);
            EXPECT_EQ(dlg.m_bLoggedIn, c.loggedIn);
            if (!c.loggedIn)
            {
                EXPECT_FALSE(dlg.m_bImported);
                return;
            }
            EXPECT_EQ(StoredIdentity(dlg), identity(c.storedAfter));
            EXPECT_EQ(sim.ScsiCommands().size() - before, c.clockCommands);
            EXPECT_EQ(std::u16string(dlg.m_szDisplayName.data()), u"Ann Lee");
            EXPECT_EQ(std::u16string(dlg.m_szPassword.data()), u"abc");
            EXPECT_TRUE(dlg.m_bMetric);
            EXPECT_EQ(dlg.m_nUserHeightCm, 170);
            EXPECT_EQ(dlg.m_nAge, 30);
        });
    }
}

TEST_F(ArrivalFlowTest, AnUnreadableStoredIdentityLeadsHomeWithoutSettingTheClock)
{
    PlugInDrive(TwoRuns());
    FlowDlg dlg;
    Run(dlg, [&] {
        ASSERT_TRUE(AddUser(dlg));
        // The column the identity is read from goes, so that the read fails while the log-in works.
        sqlite3 *other = nullptr;
        const std::string file = dataHome + "/Vormatik/KVTDB_NB.dat";
        ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(other, "ALTER TABLE UserInfo RENAME COLUMN DeviceSerialNo TO Gone", nullptr,
                               nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(other);
        const std::size_t before = sim.ScsiCommands().size();
        LoginFields fields(&dlg, u"ann", u"abc");
        dlg.OnLogin();
        EXPECT_EQ(dlg.calls, (Calls{"home page"}));
        EXPECT_EQ(dlg.m_nCurrentView, KvtView::Home);
        EXPECT_EQ(sim.ScsiCommands().size(), before);
    });
}

// ---- the upload prompt, the import and the web sync ----

TEST_F(ArrivalFlowTest, YesImportsTheMonitorsRecordsAndEmptiesItsFileOffline)
{
    PlugInDrive(TwoRuns());
    FlowDlg dlg;
    Run(dlg, [&] {
        ASSERT_TRUE(AddUser(dlg, true));
        LoginFields fields(&dlg, u"ann", u"abc");
        dlg.OnLogin();
        ASSERT_EQ(dlg.calls, (Calls{"upload prompt"}));
        EXPECT_TRUE(dlg.m_bIgnoreDeviceArrival);
        // The prompt's Yes button.
        auto *yes = dynamic_cast<UIButton *>(dlg.GetDlgItem(1043));
        ASSERT_NE(yes, nullptr);
        ASSERT_NE(dlg.GetDlgItem(1044), nullptr);
        dlg.calls.clear();
        dlg.OnUploadYes();
        vxtest::ProcessEvents();
        // Stored credentials, but no connection: home without a word.
        EXPECT_EQ(dlg.calls, (Calls{"probe", "home page"}));
        EXPECT_TRUE(dlg.m_bImported);
        EXPECT_EQ(RunCount(dlg), 2);
        const Bytes file = DriveFile();
        ASSERT_GT(file.size(), 207u);
        EXPECT_EQ(file[207], 0);
        // The owner's profile goes into the header: age 30 (from the birth date), female, 170 cm, 60 kg.
        EXPECT_EQ(file[201], 30);
        EXPECT_EQ(file[202], 1);
        EXPECT_EQ(file[203] | file[204] << 8, 170);
        EXPECT_EQ(file[205], 60);
        EXPECT_TRUE(service.Methods().empty());
    });
}

TEST_F(ArrivalFlowTest, TheWebSyncFollowsTheServicesAnswer)
{
    struct Case
    {
        const char *name;
        bool credentials;
        std::vector<FakeXmlRpcService::Answer> check;
        bool uploadSucceeds;
        Calls calls;
        KvtView view;
        std::vector<std::string> methods;
    };
    const Case cases[] = {
        {"no credentials", false, {}, true, {"home page"}, KvtView::Home, {}},
        {"accepted and uploaded",
         true,
         {FakeXmlRpcService::Int(2)},
         true,
         {"probe", "home page"},
         KvtView::Home,
         {"CheckFacebookLogin", "Login", "GetLastRecordDateTime", "AddRunData", "Logout"}},
        {"refused", true, {FakeXmlRpcService::Int(0)}, true, {"probe", "profile page"}, KvtView::Profile,
         {"CheckFacebookLogin"}},
        {"service fails", true, {FakeXmlRpcService::Fault()}, true, {"probe", "home page"}, KvtView::Home,
         {"CheckFacebookLogin"}},
        {"upload fails",
         true,
         {FakeXmlRpcService::Int(2)},
         false,
         {"probe", "home page", "update failed"},
         KvtView::Home,
         {"CheckFacebookLogin", "Login", "GetLastRecordDateTime", "AddRunData", "Logout"}},
    };
    for (const bool yes : {true, false})
        for (const Case &c : cases)
        {
            SCOPED_TRACE(std::string(c.name) + (yes ? " after Yes" : " after No"));
            const std::string home = vxtest::MakeTempDir("xdg");
            vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
            FakeXmlRpcService fresh;
            wstest::SetServiceHost(fresh.Host());
            if (!c.check.empty())
                fresh.Script("CheckFacebookLogin", c.check);
            fresh.Script("Login", {FakeXmlRpcService::String("tok")});
            fresh.Script("GetLastRecordDateTime", {FakeXmlRpcService::Int(0)});
            fresh.Script("AddRunData", {FakeXmlRpcService::Bool(c.uploadSucceeds)});
            fresh.Script("Logout", {FakeXmlRpcService::Bool(true)});
            PlugInDrive(TwoRuns());
            FlowDlg dlg;
            dlg.reachable = 1;
            std::vector<std::string> prompts;
            Run(
                dlg,
                [&] {
                    ASSERT_TRUE(AddUser(dlg, c.credentials));
                    LoginFields fields(&dlg, u"ann", u"abc");
                    dlg.OnLogin();
                    ASSERT_EQ(dlg.calls, (Calls{"upload prompt"}));
                    dlg.calls.clear();
                    dlg.m_bImported = TRUE;
                    if (yes)
                        dlg.OnUploadYes();
                    else
                        dlg.OnUploadNo();
                    vxtest::ProcessEvents();
                    Calls expected = c.calls;
                    // Without the import there are no runs to send, and so no upload to fail.
                    if (!yes)
                        std::erase(expected, std::string("update failed"));
                    EXPECT_EQ(dlg.calls, expected);
                    EXPECT_EQ(dlg.m_nCurrentView, c.view);
                    EXPECT_EQ(dlg.m_bImported, yes ? TRUE : FALSE);
                    // No imports nothing and leaves the monitor's file as it was.
                    EXPECT_EQ(RunCount(dlg), yes ? 2 : 0);
                    EXPECT_EQ(DriveFile()[207] == 0, yes);
                    std::vector<std::string> methods = fresh.Methods();
                    if (!yes && methods.size() > 3)
                    {
                        // Without the import there were no runs to send.
                        EXPECT_EQ(std::count(methods.begin(), methods.end(), "AddRunData"), 0);
                        return;
                    }
                    EXPECT_EQ(methods, c.methods);
                    if (c.view == KvtView::Profile)
                    {
                        EXPECT_EQ(StatusText(dlg), u"Incorrect Facebook Email/Password");
                    }
                },
                [&](CDialog &d) {
                    dlg.calls.push_back("update failed");
                    d.EndDialog(IDOK);
                });
        }
}

// ---- the import's result leads to its page ----

class ScriptedImportDlg : public FlowDlg
{
  public:
    int result = 1;
    int imports = 0;
    int ImportWorkouts() override
    {
        ++imports;
        return result;
    }
};

TEST_F(ArrivalFlowTest, EachImportResultLeadsToItsPage)
{
    struct Case
    {
        int result;
        Calls calls;
        BOOL imported;
    };
    const Case cases[] = {
        {1, {"probe", "home page"}, TRUE},
        {-4, {"ask date"}, FALSE},
        {-2, {"disconnected page"}, FALSE},
        {0, {"abnormal data page"}, FALSE},
        {-1, {"retrieve error page"}, FALSE},
        {-3, {"retrieve error page"}, FALSE},
        {-5, {"retrieve error page"}, FALSE},
        {-6, {"retrieve error page"}, FALSE},
    };
    ScriptedImportDlg dlg;
    Run(dlg, [&] {
        ASSERT_TRUE(AddUser(dlg, true));
        ASSERT_EQ(dlg.m_pDatabase->Login(u"ann", u"abc"), 1);
        dlg.m_bLoggedIn = TRUE;
        for (const Case &c : cases)
        {
            SCOPED_TRACE(c.result);
            dlg.calls.clear();
            dlg.DestroyPageControls();
            dlg.m_bImported = FALSE;
            dlg.result = c.result;
            dlg.OnUploadYes();
            vxtest::ProcessEvents();
            Calls seen = dlg.calls;
            // The abnormal-data page is this flow's own: its body text and its Erase button say so.
            if (dlg.GetDlgItem(1191) &&
                StatusText(dlg).rfind(u"Sorry!! Upload failed due to abnormal data found.\n", 0) == 0)
                seen.push_back("abnormal data page");
            EXPECT_EQ(seen, c.calls);
            EXPECT_EQ(dlg.m_bImported, c.imported);
            EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        }
    });
}

TEST_F(ArrivalFlowTest, RealFilesLeadToTheirPages)
{
    struct Case
    {
        const char *name;
        Bytes file;
        Calls calls;
        int runs;
    };
    Bytes broken = TwoRuns();
    broken[0] ^= 0x55; // the check byte no longer fits
    const Case cases[] = {
        {"two runs", TwoRuns(), {"home page"}, 2},
        {"a record two days ahead", Workout({vxtest::RecordAt(2011, 1, 2, 8, 0, 0)}), {"ask date"}, 0},
        {"a record before 2009", Workout({vxtest::RecordAt(2008, 5, 2, 8, 0, 0)}), {"ask date"}, 0},
        {"a broken file", broken, {"abnormal data"}, 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string home = vxtest::MakeTempDir("xdg");
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        PlugInDrive(c.file);
        FlowDlg dlg;
        Run(dlg, [&] {
            ASSERT_TRUE(AddUser(dlg));
            // The start-up log-in imports the user's own monitor at once.
            ASSERT_EQ(dlg.m_pDatabase->Login(u"ann", u"abc"), 1);
            ASSERT_EQ(dlg.m_pDatabase->SetDeviceSerialNo(Latin1(dlg.m_szDeviceId.data()).c_str()), 1);
            ASSERT_EQ(dlg.m_pDatabase->Logout(), 1);
            dlg.LoginWithPassword(u"ann", u"abc");
            vxtest::ProcessEvents();
            Calls seen = dlg.calls;
            if (dlg.GetDlgItem(1191))
                seen.push_back("abnormal data");
            EXPECT_EQ(seen, c.calls);
            EXPECT_EQ(RunCount(dlg), c.runs);
            EXPECT_EQ(dlg.m_bImported, c.runs > 0 ? TRUE : FALSE);
        });
    }
}

TEST_F(ArrivalFlowTest, TheStartUpLogInImportsAndEmptiesOnlyTheUsersOwnMonitor)
{
    struct Case
    {
        const char *name;
        const char16_t *storedBefore; // null: the found identity; u"?": the identity cannot be read
        Calls calls;
        int runs;
    };
    const Case cases[] = {
        {"its own monitor", nullptr, {"home page"}, 2},
        {"nothing stored yet", u"", {"home page"}, 2},
        {"someone else's monitor", u"someone-elses-monitor", {"mismatch page"}, 0},
        {"a stored identity with quotes", u"it's \"SER42\"'--", {"mismatch page"}, 0},
        {"the identity in another case", u"lower", {"mismatch page"}, 0},
        {"an unreadable identity", u"?", {"upload prompt"}, 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string home = vxtest::MakeTempDir("xdg");
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        PlugInDrive(TwoRuns());
        const Bytes before = DriveFile();
        FlowDlg dlg;
        Run(dlg, [&] {
            ASSERT_TRUE(AddUser(dlg));
            const std::u16string found = Latin1(dlg.m_szDeviceId.data());
            ASSERT_FALSE(found.empty());
            std::u16string stored = c.storedBefore ? c.storedBefore : found;
            if (stored == u"lower")
            {
                stored = found;
                for (char16_t &ch : stored)
                    ch = static_cast<char16_t>(std::tolower(ch));
                ASSERT_NE(stored, found);
            }
            if (stored == u"?")
            {
                MakeStoredIdentityUnreadable();
            }
            else
            {
                ASSERT_EQ(dlg.m_pDatabase->Login(u"ann", u"abc"), 1);
                ASSERT_EQ(dlg.m_pDatabase->SetDeviceSerialNo(stored.c_str()), 1);
                ASSERT_EQ(dlg.m_pDatabase->Logout(), 1);
            }
            dlg.LoginWithPassword(u"ann", u"abc");
            vxtest::ProcessEvents();
            EXPECT_EQ(dlg.calls, c.calls);
            EXPECT_TRUE(dlg.m_bLoggedIn);
            EXPECT_EQ(RunCount(dlg), c.runs);
            EXPECT_EQ(dlg.m_bImported, c.runs > 0 ? TRUE : FALSE);
            if (c.runs > 0)
            {
                ExpectEmptiedForTheOwner(DriveFile());
                EXPECT_EQ(StoredIdentity(dlg), found);
                return;
            }
            // Neither read into the account nor emptied: the monitor's file is as it was.
            EXPECT_EQ(DriveFile(), before);
            if (stored != u"?")
            {
                EXPECT_EQ(StoredIdentity(dlg), stored);
            }
        });
    }
}

// The user's own monitor passes the start-up log-in's check and is pulled out before the import reads
// it: an error page, nothing stored, nothing counted as imported.
class UnpluggedAfterTheCheckDlg : public FlowDlg
{
  public:
    std::function<void()> unplug;
    int ImportWorkouts() override
    {
        if (unplug)
            unplug();
        return CKVTDlg::ImportWorkouts();
    }
};

TEST_F(ArrivalFlowTest, AMonitorGoneAfterTheStartUpCheckLeavesNothingImported)
{
    PlugInDrive(TwoRuns());
    UnpluggedAfterTheCheckDlg dlg;
    dlg.unplug = [this] { Unplug(); };
    Run(dlg, [&] {
        ASSERT_TRUE(AddUser(dlg));
        dlg.LoginWithPassword(u"ann", u"abc");
        vxtest::ProcessEvents();
        ASSERT_EQ(dlg.calls.size(), 1u);
        EXPECT_TRUE(dlg.calls[0] == "retrieve error page" || dlg.calls[0] == "disconnected page")
            << dlg.calls[0];
        EXPECT_EQ(RunCount(dlg), 0);
        EXPECT_FALSE(dlg.m_bImported);
    });
}

TEST_F(ArrivalFlowTest, NoWayOnWritesToAMonitorThatIsNotTheUsers)
{
    // The user's own monitor passed the log-in's check; by the time of each action below the monitor
    // found is another one (its identity no longer the stored one).
    enum class Action
    {
        Yes,
        Retry,
        DatePromptContinue,
        EraseProceed,
        SaveErrorRetry,
        SettingsWrite,
        EraseWrite,
    };
    struct Case
    {
        const char *name;
        Action action;
        Calls calls;
    };
    const Case cases[] = {
        {"Yes of the upload prompt", Action::Yes, {"mismatch page"}},
        {"Retry of an error page", Action::Retry, {"mismatch page"}},
        {"Continue of the date prompt", Action::DatePromptContinue, {"mismatch page"}},
        {"Proceed of the erase warning", Action::EraseProceed, {}},
        {"Retry of the save-error page", Action::SaveErrorRetry, {}},
        {"the settings write-back", Action::SettingsWrite, {}},
        {"the erasing write-back", Action::EraseWrite, {}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string home = vxtest::MakeTempDir("xdg");
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        PlugInDrive(TwoRuns());
        const Bytes before = DriveFile();
        FlowDlg dlg;
        dlg.realDatePrompt = true;
        Run(
            dlg,
            [&] {
                ASSERT_TRUE(AddUser(dlg));
                LoginFields fields(&dlg, u"ann", u"abc");
                dlg.OnLogin();
                ASSERT_EQ(dlg.calls, (Calls{"upload prompt"}));
                ASSERT_EQ(dlg.m_pDatabase->SetDeviceSerialNo(u"the-users-own-monitor"), 1);
                dlg.m_bImported = TRUE;
                dlg.calls.clear();
                switch (c.action)
                {
                case Action::Yes:
                    dlg.OnUploadYes();
                    break;
                case Action::Retry:
                    dlg.OnErrorRetry();
                    break;
                case Action::DatePromptContinue:
                    dlg.AskLastRunDate();
                    dlg.calls.erase(dlg.calls.begin());
                    break;
                case Action::EraseProceed:
                    dlg.ShowEraseWarningView();
                    dlg.OnEraseProceed();
                    EXPECT_EQ(StatusText(dlg), u"Sorry!! Erase data failed!\nPlease exit the application and "
                                               u"try again.");
                    break;
                case Action::SaveErrorRetry:
                    dlg.OnSaveErrorRetry();
                    break;
                case Action::SettingsWrite:
                    EXPECT_FALSE(dlg.WriteDeviceSettings(false));
                    break;
                case Action::EraseWrite:
                    EXPECT_FALSE(dlg.WriteDeviceSettings(true));
                    break;
                }
                vxtest::ProcessEvents();
                EXPECT_EQ(dlg.calls, c.calls);
                EXPECT_EQ(RunCount(dlg), 0);
                EXPECT_EQ(DriveFile(), before);
                EXPECT_EQ(StoredIdentity(dlg), u"the-users-own-monitor");
            },
            [&](CDialog &d) {
                dlg.SetEnteredDate((2010u << 16) | (12u << 8) | 31u);
                d.EndDialog(IDOK);
            });
    }
}

// ---- the date prompt ----

TEST_F(ArrivalFlowTest, TheDatePromptCancelsToTheUploadPromptOrImportsOnceWithTheEnteredDate)
{
    for (const bool proceed : {false, true})
    {
        SCOPED_TRACE(proceed ? "Continue" : "Cancel");
        const std::string home = vxtest::MakeTempDir("xdg");
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        // The monitor's clock ran two days ahead.
        PlugInDrive(Workout({vxtest::RecordAt(2011, 1, 1, 7, 0, 0), vxtest::RecordAt(2011, 1, 2, 8, 0, 0)}));
        FlowDlg dlg;
        dlg.realDatePrompt = true;
        int prompts = 0;
        Run(
            dlg,
            [&] {
                ASSERT_TRUE(AddUser(dlg));
                LoginFields fields(&dlg, u"ann", u"abc");
                dlg.OnLogin();
                ASSERT_EQ(dlg.calls, (Calls{"upload prompt"}));
                dlg.calls.clear();
                dlg.OnUploadYes();
                // The prompt is posted, not run inside the import.
                EXPECT_EQ(dlg.calls, Calls{});
                vxtest::ProcessEvents();
                EXPECT_EQ(prompts, 1);
                EXPECT_EQ(dlg.m_pDateDlg, nullptr);
                EXPECT_FALSE(dlg.m_bUserDateSet);
                if (!proceed)
                {
                    EXPECT_EQ(dlg.calls, (Calls{"ask date", "upload prompt"}));
                    EXPECT_EQ(RunCount(dlg), 0);
                    return;
                }
                EXPECT_EQ(dlg.calls, (Calls{"ask date", "home page"}));
                EXPECT_EQ(RunCount(dlg), 2);
                // The entered date was for that import only: the next import checks dates again.
                drive->WriteFile("FR.DAT", Workout({vxtest::RecordAt(2011, 1, 3, 8, 0, 0)}));
                dlg.calls.clear();
                dlg.OnUploadYes();
                vxtest::ProcessEvents();
                EXPECT_EQ(dlg.calls, (Calls{"ask date", "upload prompt"}));
                EXPECT_EQ(RunCount(dlg), 2);
            },
            [&](CDialog &d) {
                auto *prompt = dynamic_cast<CContinueCancelDlg2 *>(&d);
                ASSERT_NE(prompt, nullptr);
                ++prompts;
                EXPECT_EQ(dlg.m_pDateDlg, prompt);
                EXPECT_EQ(prompt->m_nTitleId, 709u);
                EXPECT_EQ(prompt->m_nTextId, 710u);
                if (!proceed || prompts > 1)
                {
                    d.EndDialog(IDCANCEL);
                    return;
                }
                dlg.SetEnteredDate((2010u << 16) | (12u << 8) | 31u);
                d.EndDialog(IDOK);
            });
    }
}

// ---- erasing abnormal data ----

TEST_F(ArrivalFlowTest, EraseNeedsTheMonitorAndEmptiesItsFile)
{
    struct Case
    {
        const char *name;
        bool monitor;
        bool writable;
        Calls calls;
        const char16_t *status;
    };
    const Case cases[] = {
        {"no device", false, true, {}, u"Sorry!! Erase data failed due to disconnection.\nPlease check the "
                                       u"connection and try again."},
        {"write fails", true, false, {}, u"Sorry!! Erase data failed!\nPlease exit the application and try again."},
        {"erased", true, true, {"home page"}, nullptr},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string home = vxtest::MakeTempDir("xdg");
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        if (c.monitor)
            PlugInDrive(TwoRuns());
        else
            drive.reset();
        FlowDlg dlg;
        Run(dlg, [&] {
            ASSERT_TRUE(AddUser(dlg));
            ASSERT_EQ(dlg.m_pDatabase->Login(u"ann", u"abc"), 1);
            dlg.m_bLoggedIn = TRUE;
            dlg.ShowAbnormalDataView();
            ASSERT_NE(dlg.GetDlgItem(1191), nullptr);
            dlg.OnErase();
            ASSERT_NE(dlg.GetDlgItem(1189), nullptr);
            dlg.OnEraseWarningCancel();
            ASSERT_NE(dlg.GetDlgItem(1191), nullptr);
            dlg.OnErase();
            // A file shorter than its header cannot take one.
            if (!c.writable)
                drive->WriteFile("FR.DAT", Bytes(10, 0xAB));
            dlg.calls.clear();
            dlg.OnEraseProceed();
            EXPECT_EQ(dlg.calls, c.calls);
            if (c.status)
            {
                EXPECT_EQ(StatusText(dlg), c.status);
                EXPECT_FALSE(dlg.m_bImported);
            }
            else
            {
                EXPECT_TRUE(dlg.m_bImported);
                const Bytes file = DriveFile();
                ASSERT_GT(file.size(), 207u);
                EXPECT_EQ(file[207], 0);
            }
            if (c.monitor && !c.writable)
            {
                EXPECT_EQ(DriveFile(), Bytes(10, 0xAB));
            }
        });
    }
}

// ---- the mismatch page and the error pages' actions ----

TEST_F(ArrivalFlowTest, AddDeviceRegistersTheFoundMonitorOnlyOverAnotherStoredOne)
{
    struct Case
    {
        const char *name;
        bool monitor;
        const char16_t *storedBefore;
        Calls calls;
        bool registered;
    };
    const Case cases[] = {
        {"no device", false, u"OTHER", {}, false},
        {"nothing stored", true, u"", {}, false},
        {"another stored", true, u"OTHER", {"upload prompt"}, true},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string home = vxtest::MakeTempDir("xdg");
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        if (c.monitor)
            PlugInDrive(TwoRuns());
        else
            drive.reset();
        FlowDlg dlg;
        Run(dlg, [&] {
            ASSERT_TRUE(AddUser(dlg));
            ASSERT_EQ(dlg.m_pDatabase->Login(u"ann", u"abc"), 1);
            ASSERT_EQ(dlg.m_pDatabase->SetDeviceSerialNo(c.storedBefore), 1);
            dlg.m_bLoggedIn = TRUE;
            dlg.ShowDeviceMismatchView();
            ASSERT_NE(dlg.GetDlgItem(1197), nullptr);
            dlg.calls.clear();
            dlg.OnAddDeviceToAccount();
            EXPECT_EQ(dlg.calls, c.calls);
            std::u16string found;
            for (const char *p = dlg.m_szDeviceId.data(); *p; ++p)
                found += static_cast<char16_t>(static_cast<unsigned char>(*p));
            if (c.registered)
            {
                EXPECT_EQ(StoredIdentity(dlg), found);
            }
            else
            {
                EXPECT_EQ(StoredIdentity(dlg), c.storedBefore);
                EXPECT_EQ(StatusText(dlg), u"Register device failed! Please exit the application and try again.");
            }
        });
    }
}

TEST_F(ArrivalFlowTest, RetryImportsAgainAndContinueEndsAnOpenPromptAndGoesHome)
{
    ScriptedImportDlg dlg;
    Run(dlg, [&] {
        ASSERT_TRUE(AddUser(dlg));
        ASSERT_EQ(dlg.m_pDatabase->Login(u"ann", u"abc"), 1);
        dlg.m_bLoggedIn = TRUE;
        dlg.result = -1;
        dlg.OnErrorRetry();
        EXPECT_EQ(dlg.imports, 1);
        EXPECT_EQ(dlg.calls, (Calls{"retrieve error page"}));
        // Retry waits for a check already asked for but asks for none itself.
        EXPECT_EQ(dlg.PendingDeviceChecks(), 0);

        dlg.calls.clear();
        CDialog prompt(0, &dlg);
        dlg.m_pPromptDlg = &prompt;
        dlg.OnContinueToHome();
        EXPECT_EQ(dlg.calls, (Calls{"home page"}));
        EXPECT_EQ(dlg.m_nCurrentView, KvtView::Home);
        dlg.m_pPromptDlg = nullptr;
    });
}

// ---- no device: the prompt follows what the HID interface answered ----

TEST_F(ArrivalFlowTest, WithoutADeviceTheLogInPostsThePromptThatTheHidAnswerCallsFor)
{
    enum class Setup
    {
        Nothing,
        UsbDeviceWithoutHid,
        Busy,
        OpenFails,
        InformationFailed,
        ModeRefused,
        Mute,
    };
    struct Case
    {
        const char *name;
        Setup setup;
        const char *prompt;
        BOOL hidAnswered;
        std::uint8_t hidState;
    };
    const Case cases[] = {
        {"nothing connected", Setup::Nothing, "device not detected", FALSE, 4},
        {"the HID model's USB device without its HID interface", Setup::UsbDeviceWithoutHid,
         "device not detected", FALSE, 4},
        {"the monitor answers busy", Setup::Busy, "dongle only", TRUE, 1},
        {"the dongle's interface does not open for the report layer", Setup::OpenFails, "dongle only", TRUE,
         1},
        {"the device information reports a failure", Setup::InformationFailed, "dongle only", TRUE, 2},
        {"the mode step gets a bad status", Setup::ModeRefused, "device not ready", TRUE, 3},
        {"the monitor behind the dongle is mute", Setup::Mute, "device not ready", TRUE, 3},
    };
    for (const bool startUp : {false, true})
        for (const Case &c : cases)
        {
            SCOPED_TRACE(std::string(c.name) + (startUp ? ", start-up log-in" : ", Login button"));
            const std::string home = vxtest::MakeTempDir("xdg");
            vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
            Unplug();
            switch (c.setup)
            {
            case Setup::Nothing:
                break;
            case Setup::UsbDeviceWithoutHid:
                PlugInUsbDevice(kHidEntry);
                break;
            case Setup::Mute:
                // A mute monitor is waited for report by report: a short wait keeps the test quick.
                PlugInHid(TwoRuns(), 200);
                hid->SetSilent(true);
                break;
            default:
                PlugInHid(TwoRuns());
                break;
            }
            if (c.setup == Setup::Busy)
                hid->SetModeStatus(1);
            if (c.setup == Setup::OpenFails)
                hid->SetOpenFails(true);
            if (c.setup == Setup::InformationFailed)
                hid->SetReadData(0x05, vxtest::SimHidMonitor::DeviceInfoBlock(2, 1, 2, 3, 0, {}));
            if (c.setup == Setup::ModeRefused)
                hid->SetModeStatus(5);
            FlowDlg dlg;
            Run(dlg, [&] {
                ASSERT_TRUE(AddUser(dlg));
                if (startUp)
                {
                    dlg.LoginWithPassword(u"ann", u"abc");
                }
                else
                {
                    LoginFields fields(&dlg, u"ann", u"abc");
                    dlg.OnLogin();
                }
                EXPECT_TRUE(dlg.m_bLoggedIn);
                EXPECT_EQ(dlg.m_bHidAnswered, c.hidAnswered);
                EXPECT_EQ(dlg.m_nHidState, c.hidState);
                // Posted, not shown inside the log-in step.
                EXPECT_EQ(dlg.calls, Calls{});
                vxtest::ProcessEvents();
                EXPECT_EQ(dlg.calls, Calls{c.prompt});
                // Nothing but the device check reached the monitor: no clock, no import.
                if (hid)
                {
                    for (const std::uint8_t mode : hid->Modes())
                        EXPECT_EQ(mode, 0x1F);
                }
                EXPECT_EQ(RunCount(dlg), 0);
                EXPECT_EQ(StoredIdentity(dlg), u"");
            });
        }
}

// ---- the same flow over each transport ----

TEST_F(ArrivalFlowTest, LogInSetsTheClockAndYesImportsOverEachTransport)
{
    struct Case
    {
        Transport transport;
        std::u16string identity;
        // What the monitor was sent to set its clock to 2010-12-31 23:59:30.
        Bytes clock;
    };
    Bytes mtpClock = {0xDA, 0x07, 0, 0, 11, 0, 0, 0, 31, 0, 0, 0, 23, 0, 0, 0, 59, 0, 0, 0, 30, 0, 0, 0};
    mtpClock.resize(36, 0);
    const Case cases[] = {
        // The text after the second "#" of the USB device path, in upper case, cut to 32 characters.
        {Transport::MassStorage,
         u"SER42#{A5DCBF10-6530-11D2-901F-0",
         {0xE0, 0x01, 0xDA, 0x07, 11, 31, 23, 59, 30}},
        {Transport::Mtp, u"SER42", mtpClock},
        {Transport::Hid, kHidIdentity, {0xDA, 0x07, 12, 31, 23, 59, 30}},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(TransportName(c.transport));
        const std::string home = vxtest::MakeTempDir("xdg");
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        PlugIn(c.transport, OtherOwnersTwoRuns(c.transport));
        FlowDlg dlg;
        Run(dlg, [&] {
            ASSERT_TRUE(AddUser(dlg));
            // The start-up check found the monitor but did not touch its clock.
            EXPECT_TRUE(ClockSettings().empty());
            LoginFields fields(&dlg, u"ann", u"abc");
            dlg.OnLogin();
            vxtest::ProcessEvents();
            ASSERT_EQ(dlg.calls, (Calls{"upload prompt"}));
            // The user's first monitor is stored as theirs.
            EXPECT_EQ(StoredIdentity(dlg), c.identity);
            EXPECT_EQ(ClockSettings(), std::vector<Bytes>{c.clock});
            EXPECT_EQ(dlg.m_nDeviceTableFlag, c.transport == Transport::Hid ? 1u : 0u);

            dlg.calls.clear();
            dlg.OnUploadYes();
            vxtest::ProcessEvents();
            // No social-site credentials: home at once.
            EXPECT_EQ(dlg.calls, (Calls{"home page"}));
            EXPECT_TRUE(dlg.m_bImported);
            EXPECT_EQ(RunCount(dlg), 2);
            // The monitor's file now counts no records and carries the owner's profile.
            ExpectEmptiedForTheOwner(MonitorFile());
            // No second clock setting on the way.
            EXPECT_EQ(ClockSettings().size(), 1u);
        });
    }
}

TEST_F(ArrivalFlowTest, AbnormalDataIsErasedOverEachTransport)
{
    for (const Transport transport : {Transport::MassStorage, Transport::Mtp, Transport::Hid})
    {
        SCOPED_TRACE(TransportName(transport));
        const std::string home = vxtest::MakeTempDir("xdg");
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        Bytes broken = OtherOwnersTwoRuns(transport);
        broken[0] ^= 0x55; // the check byte no longer fits
        PlugIn(transport, broken);
        FlowDlg dlg;
        Run(dlg, [&] {
            ASSERT_TRUE(AddUser(dlg));
            // The start-up log-in imports at once and finds the file broken.
            dlg.LoginWithPassword(u"ann", u"abc");
            vxtest::ProcessEvents();
            EXPECT_EQ(dlg.calls, Calls{});
            ASSERT_NE(dlg.GetDlgItem(1191), nullptr) << "the abnormal-data page";
            EXPECT_EQ(RunCount(dlg), 0);
            EXPECT_FALSE(dlg.m_bImported);
            EXPECT_EQ(MonitorFile()[207], 2) << "a broken file is left as it is";

            dlg.OnErase();
            ASSERT_NE(dlg.GetDlgItem(1189), nullptr) << "the erase-warning page";
            dlg.OnEraseProceed();
            EXPECT_EQ(dlg.calls, (Calls{"home page"}));
            EXPECT_TRUE(dlg.m_bImported);
            EXPECT_EQ(RunCount(dlg), 0);
            ExpectEmptiedForTheOwner(MonitorFile());
        });
    }
}

// ---- Retry of the settings save-error page ----

TEST_F(ArrivalFlowTest, SaveErrorRetryLeadsToTheUploadPromptOnlyWhenTheSettingsAreWritten)
{
    enum class Setup
    {
        Written,
        FileShorterThanItsHeader,
        NoMonitor,
        HidMonitorRefusesTheBlock,
    };
    struct Case
    {
        const char *name;
        Setup setup;
        bool written;
    };
    const Case cases[] = {
        {"written", Setup::Written, true},
        {"a file shorter than its header", Setup::FileShorterThanItsHeader, false},
        {"no monitor", Setup::NoMonitor, false},
        {"the HID monitor refuses the block", Setup::HidMonitorRefusesTheBlock, false},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string home = vxtest::MakeTempDir("xdg");
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        Unplug();
        if (c.setup == Setup::HidMonitorRefusesTheBlock)
            PlugIn(Transport::Hid, OtherOwnersTwoRuns(Transport::Hid));
        else if (c.setup != Setup::NoMonitor)
            PlugIn(Transport::MassStorage, OtherOwnersTwoRuns(Transport::MassStorage));
        FlowDlg dlg;
        Run(dlg, [&] {
            ASSERT_TRUE(AddUser(dlg));
            LoginFields fields(&dlg, u"ann", u"abc");
            dlg.OnLogin();
            vxtest::ProcessEvents();
            if (c.setup == Setup::FileShorterThanItsHeader)
                drive->WriteFile("FR.DAT", Bytes(10, 0xAB));
            if (hid)
            {
                // The header is read back first, then the written block is refused.
                hid->QueueFinalStatus(0);
                hid->QueueFinalStatus(2);
            }
            const Bytes before = MonitorFile();
            // The page the Retry button is on, built by the sign-up step that failed to write.
            dlg.BeginPage(TRUE, 0);
            dlg.AddPageLabel(0, CRect(160, 150, 640, 210), CKVTDlg::kStatusLineId, 0xFFDA251D, 12);
            dlg.EndPage();
            std::vector<CWnd *> page;
            for (std::size_t i = 0; i < dlg.PageControlCount(); ++i)
                page.push_back(dlg.PageControl(i));
            dlg.calls.clear();

            dlg.OnSaveErrorRetry();
            vxtest::ProcessEvents();
            EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
            if (c.written)
            {
                EXPECT_EQ(dlg.calls, (Calls{"upload prompt"}));
                // The header is the owner's; the records stay on the monitor for the import.
                const Bytes file = MonitorFile();
                ASSERT_GT(file.size(), 207u);
                EXPECT_EQ(file[207], 2);
                EXPECT_EQ(file[201], 30);
                EXPECT_EQ(file[205], 60);
                EXPECT_EQ(file.size(), before.size());
                EXPECT_EQ(RunCount(dlg), 0);
                return;
            }
            EXPECT_EQ(dlg.calls, Calls{});
            std::vector<CWnd *> after;
            for (std::size_t i = 0; i < dlg.PageControlCount(); ++i)
                after.push_back(dlg.PageControl(i));
            EXPECT_EQ(after, page) << "the page stays";
            if (drive)
            {
                EXPECT_EQ(MonitorFile(), before);
            }
            if (hid)
            {
                ASSERT_TRUE(hid->WaitUntilAllClosed());
                const auto commands = hid->Commands();
                EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                                        [](const auto &command) { return command.command == 0x1C; }),
                          1)
                    << "the block was sent and refused";
            }
        });
    }
}

// ---- Continue of the device prompts and the error pages ----

TEST_F(ArrivalFlowTest, ContinueEndsTheOpenPromptWithOkAndGoesHome)
{
    CWinApp app;
    FlowDlg dlg;
    INT_PTR result = -1;
    Run(
        dlg,
        [&] {
            app.m_pMainWnd = &dlg;
            ASSERT_TRUE(AddUser(dlg));
            ASSERT_EQ(dlg.m_pDatabase->Login(u"ann", u"abc"), 1);
            dlg.m_bLoggedIn = TRUE;

            // From an error page, without a prompt: home.
            dlg.OnContinueToHome();
            EXPECT_EQ(dlg.calls, (Calls{"home page"}));
            dlg.calls.clear();
            dlg.m_nCurrentView = KvtView::Runs;

            // From a device prompt: its Continue button ends it with OK, then home.
            {
                CReloginContinueDlg prompt(1033, &dlg);
                prompt.SetSecondButtonCallback([] {
                    if (CKVTDlg *main = CKVTDlg::FromMainWindow())
                        main->OnContinueToHome();
                });
                dlg.m_pPromptDlg = &prompt;
                result = prompt.DoModal();
                dlg.m_pPromptDlg = nullptr;
            }
            EXPECT_EQ(result, IDOK);
            EXPECT_EQ(dlg.calls, (Calls{"prompt up", "home page", "prompt ended"}));
            EXPECT_EQ(dlg.m_nCurrentView, KvtView::Home);
            app.m_pMainWnd = nullptr;
        },
        [&](CDialog &d) {
            dlg.calls.push_back("prompt up");
            auto *prompt = dynamic_cast<CReloginContinueDlg *>(&d);
            ASSERT_NE(prompt, nullptr);
            ASSERT_NE(prompt->GetSecondButton(), nullptr);
            QTest::mouseClick(prompt->GetSecondButton()->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
            vxtest::ProcessEvents();
            if (d.IsWindowVisible())
                d.EndDialog(IDABORT); // not ended: the test fails instead of waiting for ever
            else
                dlg.calls.push_back("prompt ended");
        });
}

// ---- the navigation bar of the abnormal-data pages ----

TEST_F(ArrivalFlowTest, TheAbnormalDataAndEraseWarningPagesDrawTheBarWithEveryButtonDisabled)
{
    FlowDlg dlg;
    Run(dlg, [&] {
        // Device Setting would be enabled on a page that asks for it.
        dlg.m_nDeviceTableFlag = 1;
        dlg.m_bImported = TRUE;
        const struct
        {
            const char *name;
            void (CKVTDlg::*show)();
            std::vector<UINT> actions;
        } pages[] = {
            {"abnormal data", &CKVTDlg::ShowAbnormalDataView, {1093, 1191, CKVTDlg::kCloseButtonId}},
            {"erase warning", &CKVTDlg::ShowEraseWarningView, {1093, 1189, 1190, CKVTDlg::kCloseButtonId}},
        };
        for (const auto &p : pages)
        {
            SCOPED_TRACE(p.name);
            (dlg.*p.show)();
            EXPECT_TRUE(dlg.m_bIgnoreDeviceArrival);
            for (const UINT id : {1026u, 1261u, 1027u, 1028u, 1031u, 1032u})
            {
                CWnd *button = dlg.GetDlgItem(static_cast<int>(id));
                ASSERT_NE(button, nullptr) << id;
                EXPECT_FALSE(button->IsWindowEnabled()) << id;
                EXPECT_TRUE(button->IsWindowVisible()) << id;
            }
            for (const UINT id : p.actions)
            {
                CWnd *button = dlg.GetDlgItem(static_cast<int>(id));
                ASSERT_NE(button, nullptr) << id;
                EXPECT_TRUE(button->IsWindowEnabled()) << id;
            }
        }
    });
}

TEST_F(ArrivalFlowTest, AnIdentityWithQuotesIsStoredAndMatchedAgain)
{
    // The USB device lists the serial number that the monitor reports over MTP.
    const std::string serial = "O'NEIL\"7\"'--";
    PlugInUsbDevice(kMtpEntry, serial);
    mtpMonitor =
        sim.AddMtpMonitor(VORMATIK_MONITOR_VENDOR_ID, HexToU16(kSupportedDevices[kMtpEntry].szProductId),
                          serial, vxtest::ModelCodeText(0) + "-2.1.0", 1, TwoRuns());
    ASSERT_GE(mtpMonitor, 0);
    FlowDlg dlg;
    Run(dlg, [&] {
        ASSERT_TRUE(AddUser(dlg));
        for (const char *attempt : {"first log-in stores it", "second log-in matches it"})
        {
            SCOPED_TRACE(attempt);
            dlg.calls.clear();
            LoginFields fields(&dlg, u"ann", u"abc");
            dlg.OnLogin();
            vxtest::ProcessEvents();
            EXPECT_EQ(dlg.calls, (Calls{"upload prompt"}));
            EXPECT_EQ(StoredIdentity(dlg), u"O'NEIL\"7\"'--");
        }
    });
}

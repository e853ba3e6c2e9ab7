// The user's flows end to end, over the program's own objects: the real main dialog run modally with
// its watcher thread, its records store in a private data folder, the monitors behind the Ulvex
// library (the real libulvex.so, or its test variant whose SCSI and MTP ends are simulated) and the
// fixture trees, the simulated HID monitor, device events from a feed in place of udev, and a fake
// web service on the loopback interface. Each test checks what the user would see: the page, its
// key labels, the prompts, and what the store and the monitor hold afterwards.
#include "app/KVTApp.h"
#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QTest>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "device/SupportedDevices.h"
#include "platform/sys/InstanceLock.h"
#include "platform/sys/LocalTime.h"
#include "platform/win/InstanceChannel.h"
#include "store/KvtDatabase.h"
#include "tests/device/UlvexTestSupport.h"
#include "tests/sharing/WebServiceTestSupport.h"
#include "tests/support/DeviceEventFeed.h"
#include "tests/support/MainDialogRun.h"
#include "tests/support/StoredPassword.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "tests/support/sim_hid/SimHidMonitor.h"
#include "tests/support/sim_ulvex/SimUlvex.h"
#include "tests/support/workout/WorkoutFileBuilder.h"
#include "ui/Calendar.h"
#include "ui/ConnectStatusChangeDlg.h"
#include "ui/DataGraph.h"
#include "ui/PromptDialogs.h"
#include "ui/UIButton.h"
#include "ui/UIEdit.h"
#include "ui/UIStatic.h"

namespace
{
using Bytes = std::vector<std::uint8_t>;
using vxtest::FakeXmlRpcService;

// 2010-12-31 23:59:30 UTC.
constexpr std::int64_t kNewYearsEve = 1293839970;
constexpr std::size_t kDriveEntry = 1;

// Controls the user sees.
constexpr UINT kLoginButton = 1002;
constexpr UINT kReloginHeading = 1067;
constexpr UINT kHomeGreeting = 1046;
constexpr UINT kRunCountValue = 1052;
constexpr UINT kDistanceValue = 1054;
constexpr UINT kTimeValue = 1056;
constexpr UINT kYesButton = 1043;
constexpr UINT kNoButton = 1044;
constexpr UINT kLogOutButton = 1093;
constexpr UINT kNavMyRuns = 1027;
constexpr UINT kSignUpButton = 1003;
constexpr UINT kFemaleButton = 1033;
constexpr UINT kMetricButton = 1216;
constexpr UINT kRetryButton = 1192;
constexpr UINT kNoDataLabel = 1156;

enum class Library
{
    Real,      // libulvex.so as built and installed
    Simulated, // the same code with its SCSI and MTP ends simulated, so the clock command is seen
};

class Flows : public ::testing::Test, public vxtest::MainDialogWorld
{
  public:
    Flows() { vxsys::SetCurrentTimeSource([] { return kNewYearsEve; }); }
    ~Flows() override { vxsys::SetCurrentTimeSource({}); }

    // ---- the world around the program ----

    void UseLibrary(Library library)
    {
        m_library.reset();
        if (library == Library::Real)
            m_library = std::make_unique<vxtest::ScopedEnv>("VORMATIK_ULVEX_LIBRARY", ULVEX_LIBRARY_PATH);
    }

    // A mass-storage monitor of the second supported entry holding this workout file.
    void PlugInDrive(const Bytes &workout)
    {
        drive.reset();
        drive = std::make_unique<vxtest::MonitorDrive>(HexToU16(kSupportedDevices[kDriveEntry].szProductId));
        ASSERT_NE(drive->letter, 0);
        drive->WriteFile("Settings.dat", vxtest::SettingsImage(300, 150, vxtest::ModelCodeText(2).c_str()));
        drive->WriteFile("FR.DAT", workout);
    }
    Bytes DriveFile() const { return vxtest::ReadFile(drive->mountPoint + "/FR.DAT"); }

    // A HID monitor (the model with extended settings) on the USB tree; the simulated monitor behind the
    // report layer answers as `script` sets it.
    void PlugInHid(const std::function<void(vxtest::SimHidMonitor &)> &script)
    {
        hid.reset();
        sysfs.reset();
        sysfs = std::make_unique<vxtest::FakeSysfs>();
        sysfs->AddRootHub(1);
        const std::uint16_t product = HexToU16(kSupportedDevices[kHidEntry].szProductId);
        const std::string usb =
            sysfs->AddUsbDevice("usb1", 1, vxtest::UsbDevice(VORMATIK_MONITOR_VENDOR_ID, product, "SER42"));
        sysfs->AddHidraw(usb, 0, vxtest::SimHidMonitor::ReportDescriptor(65, 65, false));
        vxtest::SimHidMonitor::Options options;
        options.vendorId = "3a7e";
        options.productId = "5d03";
        hid = std::make_unique<vxtest::SimHidMonitor>(options);
        script(*hid);
    }
    // Pulls the HID monitor out: gone from the USB tree and hung up.
    void UnplugHid()
    {
        hid->Unplug();
        sysfs.reset();
        sysfs = std::make_unique<vxtest::FakeSysfs>();
        sysfs->AddRootHub(1);
    }

    static Bytes Workout(bool extended, std::initializer_list<vxtest::WorkoutRecordSpec> records)
    {
        vxtest::WorkoutFileBuilder builder(extended);
        builder.FirstName(u"Ann").Profile(30, 1, 170, 60);
        for (const auto &r : records)
            builder.AddRecord(r);
        return builder.Build();
    }
    static vxtest::WorkoutRecordSpec Record(int day, int hour, std::uint32_t seconds, std::uint32_t walked,
                                            std::uint32_t ran)
    {
        vxtest::WorkoutRecordSpec r = vxtest::RecordAt(2010, 12, day, hour, 0, 0);
        r.duration = seconds;
        r.walkingDistance = walked;
        r.runningDistance = ran;
        r.walkingSteps = walked;
        r.runningSteps = ran / 2;
        r.calories = 300;
        return r;
    }
    // Two runs: 8 km in 1 h 15 min together.
    static Bytes TwoRuns(bool extended = false)
    {
        return Workout(extended, {Record(30, 7, 1800, 200, 3000), Record(31, 8, 2700, 300, 4500)});
    }

    // Ann's account in the store of the data folder, before the program starts; with credentials of
    // the social site when asked.
    void CreateAccount(bool withCredentials = false)
    {
        MainDialogWorld::CreateAccount();
        if (withCredentials)
        {
            KvtDatabase db;
            ASSERT_TRUE(db.IsOpen());
            ASSERT_EQ(db.Login(u"ann", u"abc"), 1);
            ASSERT_EQ(db.SaveFacebookInfo(u"ann@example.com", u"fb"), 1);
            ASSERT_EQ(db.Logout(), 1);
        }
    }
    // The password text the store keeps for "abc": what a command line or another program hands over.
    std::u16string StoredPasswordText() const
    {
        return vxtest::StoredPasswordText(std::filesystem::path(dataHome) / "Vormatik" / "KVTDB_NB.dat",
                                          u"ann");
    }

    // ---- running the program ----

    // ---- what the user does ----

    void Click(UINT id)
    {
        CWnd *button = m_dlg->GetDlgItem(static_cast<int>(id));
        ASSERT_NE(button, nullptr) << id;
        ASSERT_TRUE(button->IsWindowEnabled()) << id;
        button->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        button->SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        vxtest::ProcessEvents();
    }
    static void Press(UIButton *button)
    {
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
        vxtest::ProcessEvents();
    }
    void Type(UINT id, const char16_t *text)
    {
        CWnd *field = m_dlg->GetDlgItem(static_cast<int>(id));
        ASSERT_NE(field, nullptr) << id;
        field->SetWindowText(text);
    }
    // The login page's fields filled in and its Login button pressed.
    void LogInOnThePage(const char16_t *user, const char16_t *password)
    {
        Type(CKVTDlg::kLoginNameId, user);
        Type(CKVTDlg::kLoginPasswordId, password);
        Click(kLoginButton);
    }

    // ---- what the user sees ----

    std::u16string Caption(UINT id) const
    {
        auto *label = dynamic_cast<UIStatic *>(m_dlg->GetDlgItem(static_cast<int>(id)));
        return label ? std::u16string(label->GetText()) : u"<none>";
    }
    bool Shown(UINT id) const { return m_dlg->GetDlgItem(static_cast<int>(id)) != nullptr; }
    bool Enabled(UINT id) const
    {
        CWnd *item = m_dlg->GetDlgItem(static_cast<int>(id));
        return item && item->IsWindowEnabled();
    }
    void ExpectLoginPage() const
    {
        EXPECT_EQ(Caption(CKVTDlg::kGreetingId), u"hello!");
        EXPECT_TRUE(Shown(kLoginButton));
        EXPECT_TRUE(Shown(CKVTDlg::kLoginNameId));
        EXPECT_FALSE(m_dlg->m_bLoggedIn);
        EXPECT_FALSE(m_dlg->m_pDatabase->IsLoggedIn());
    }
    void ExpectHomePage(const char16_t *name) const
    {
        EXPECT_EQ(m_dlg->m_nCurrentView, KvtView::Home);
        EXPECT_EQ(Caption(kHomeGreeting), name);
        EXPECT_TRUE(Shown(kLogOutButton));
    }
    // The totals of the home page, or of My Runs (the same labels).
    void ExpectTotals(const char16_t *count, const char16_t *distance, const char16_t *time) const
    {
        EXPECT_EQ(Caption(kRunCountValue), count);
        EXPECT_EQ(Caption(kDistanceValue), distance);
        EXPECT_EQ(Caption(kTimeValue), time);
    }
    int StoredRuns() const
    {
        std::uint32_t count = 0;
        if (!m_dlg->m_pDatabase->CountRunsSince(1, &count))
            return -1;
        return static_cast<int>(count);
    }
    std::u16string StoredIdentity() const
    {
        char16_t buffer[100] = {u'?', 0};
        if (!m_dlg->m_pDatabase->GetDeviceSerialNo(buffer, 100))
            return u"(unreadable)";
        return buffer;
    }
    std::u16string FoundIdentity() const
    {
        std::u16string text;
        for (const char *p = m_dlg->m_szDeviceId.data(); *p; ++p)
            text += static_cast<char16_t>(static_cast<unsigned char>(*p));
        return text;
    }

    // The no-device prompt that a log-in without a monitor brings: checks its title and presses one of
    // its buttons; counts the prompts.
    std::function<void(CDialog &)> AnswerDevicePrompt(const char16_t *title, bool relogin, int *prompts)
    {
        return [this, title, relogin, prompts](CDialog &d) {
            auto *prompt = dynamic_cast<CReloginContinueDlg *>(&d);
            ASSERT_NE(prompt, nullptr);
            ++*prompts;
            EXPECT_EQ(m_dlg->m_pPromptDlg, prompt);
            EXPECT_EQ(std::u16string(prompt->GetTitleLabel()->GetText()), title);
            Press(relogin ? prompt->GetFirstButton() : prompt->GetSecondButton());
        };
    }

    // Logged in on the login page with no monitor attached: the no-device prompt's Continue leads home.
    void LogInWithoutMonitor()
    {
        LogInOnThePage(u"ann", u"abc");
        vxtest::ProcessEvents();
        ASSERT_TRUE(m_dlg->m_bLoggedIn);
        ASSERT_EQ(m_dlg->m_nCurrentView, KvtView::Home);
    }

    std::unique_ptr<vxtest::ScopedEnv> m_library;
    std::unique_ptr<vxtest::MonitorDrive> drive;
    std::unique_ptr<vxtest::FakeSysfs> sysfs;
    std::unique_ptr<vxtest::SimHidMonitor> hid;
};

// Answers every prompt by pressing Continue, counting them.
std::function<void(CDialog &)> ContinueEveryPrompt(int *prompts)
{
    return [prompts](CDialog &d) {
        ++*prompts;
        if (auto *prompt = dynamic_cast<CReloginContinueDlg *>(&d))
        {
            QTest::mouseClick(prompt->GetSecondButton()->GetWidget(), Qt::LeftButton, {}, QPoint(5, 5));
            vxtest::ProcessEvents();
        }
    };
}
} // namespace

// ---- sign up without a device ----------------------------------------------------------------------

// Sign up from the login page with no monitor attached: the new account is stored and logged in, the
// no-device prompt's Continue leads to the home page greeting the new user.
TEST_F(Flows, SignUpWithoutAMonitorGreetsTheNewUserAtHome)
{
    CKVTDlg dlg(1033);
    int prompts = 0;
    RunDialog(
        dlg,
        [&] {
            ExpectLoginPage();
            Click(kSignUpButton);
            EXPECT_EQ(Caption(kSignUpButton), u"Sign up >");
            // Centimetres and kilograms.
            Click(kMetricButton);
            EXPECT_EQ(Caption(1213), u"cm");
            EXPECT_EQ(Caption(1214), u"kg");
            const std::pair<UINT, const char16_t *> fields[] = {
                {1014, u"Ann"}, {1015, u"Lee"},  {1016, u"01"},
                {1017, u"02"},  {1018, u"1980"}, {1020, u"170"},
                {1022, u"60"},  {1023, u"ann"},  {CKVTDlg::kLoginPasswordId, u"abc"},
                {1024, u"abc"},
            };
            for (const auto &[id, text] : fields)
                Type(id, text);
            Click(kFemaleButton);
            Click(kSignUpButton);
            vxtest::ProcessEvents();
            EXPECT_EQ(prompts, 1);
            ExpectHomePage(u"Ann Lee");
            EXPECT_TRUE(dlg.m_pDatabase->IsLoggedIn());
            EXPECT_EQ(std::u16string(dlg.m_szUserId.data()), u"ann");
            // The store has the new user as entered.
            char16_t first[260] = {}, last[260] = {};
            std::uint8_t gender = 0, age = 0, heightUnit = 0, weight = 0, weightUnit = 0;
            std::uint16_t height = 0;
            DateParts birth{};
            ASSERT_TRUE(dlg.m_pDatabase->GetUser(first, 260, last, 260, &gender, &birth, &age, &height,
                                                 &heightUnit, &weight, &weightUnit));
            EXPECT_EQ(std::u16string(first), u"Ann");
            EXPECT_EQ(std::u16string(last), u"Lee");
            EXPECT_EQ(gender, 1);
            EXPECT_EQ(birth.day, 1);
            EXPECT_EQ(birth.month, 2);
            EXPECT_EQ(birth.year, 1980);
            EXPECT_EQ(age, 30);
            EXPECT_EQ(height, 170);
            EXPECT_EQ(weight, 60);
            // Logged out, the new account logs in with its password.
            Click(kLogOutButton);
            Click(kYesButton);
            ExpectLoginPage();
            LogInWithoutMonitor();
            ExpectHomePage(u"Ann Lee");
        },
        AnswerDevicePrompt(u"Device Not Detected !", false, &prompts));
}

// ---- log in without a device ----------------------------------------------------------------------

// Whatever the no-device prompt says, its Re-login leaves nobody logged in on the relogin page.
TEST_F(Flows, LogInWithoutAMonitorPromptsAndReloginLogsOut)
{
    struct Case
    {
        const char *name;
        // Sets up the world; null: nothing attached.
        std::function<void(Flows &)> attach;
        const char16_t *title;
    };
    const Case cases[] = {
        {"nothing attached", nullptr, u"Device Not Detected !"},
        {"the HID interface answers but the monitor is busy",
         [](Flows &f) {
             f.PlugInHid([](vxtest::SimHidMonitor &m) {
                 m.SetReadData(0x05, vxtest::SimHidMonitor::DeviceInfoBlock(1, 1, 2, 3, 0, {}));
             });
         },
         u"USB dongle detected only !"},
        {"the monitor refuses the mode step",
         [](Flows &f) { f.PlugInHid([](vxtest::SimHidMonitor &m) { m.SetModeStatus(2); }); },
         u"Device Not Ready !"},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::string home = vxtest::MakeTempDir("xdg");
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        hid.reset();
        sysfs.reset();
        if (c.attach)
            c.attach(*this);
        CreateAccount();
        CKVTDlg dlg(1033);
        int prompts = 0;
        RunDialog(
            dlg,
            [&] {
                ExpectLoginPage();
                LogInOnThePage(u"ann", u"abc");
                vxtest::ProcessEvents();
                EXPECT_EQ(prompts, 1);
                EXPECT_EQ(dlg.m_pPromptDlg, nullptr);
                EXPECT_EQ(Caption(CKVTDlg::kGreetingId), u"Log In");
                EXPECT_TRUE(Shown(kReloginHeading));
                EXPECT_FALSE(dlg.m_bLoggedIn);
                EXPECT_FALSE(dlg.m_pDatabase->IsLoggedIn());
                EXPECT_EQ(dlg.m_szUserId[0], u'\0');
                EXPECT_EQ(StoredRuns(), -1) << "nobody to count runs for";
            },
            AnswerDevicePrompt(c.title, true, &prompts));
    }
}

// Continue on the prompt leads to the home page with the user's name.
TEST_F(Flows, LogInWithoutAMonitorAndContinueShowsTheHomePage)
{
    CreateAccount();
    CKVTDlg dlg(1033);
    int prompts = 0;
    RunDialog(
        dlg,
        [&] {
            LogInOnThePage(u"ann", u"abc");
            vxtest::ProcessEvents();
            EXPECT_EQ(prompts, 1);
            ExpectHomePage(u"Ann Lee");
            EXPECT_TRUE(dlg.m_pDatabase->IsLoggedIn());
            // No runs yet: the totals are not shown.
            EXPECT_FALSE(Shown(kRunCountValue));
        },
        AnswerDevicePrompt(u"Device Not Detected !", false, &prompts));
}

// ---- a monitor arrives ------------------------------------------------------------------------------

// Plugged in after the log-in: its identity is stored, its clock set, the upload prompt's Yes imports
// its runs, and home and My Runs show their totals.
TEST_F(Flows, AnArrivingMonitorIsImportedAndItsRunsShown)
{
    for (const Library library : {Library::Real, Library::Simulated})
    {
        SCOPED_TRACE(library == Library::Real ? "libulvex.so" : "simulated SCSI");
        const std::string home = vxtest::MakeTempDir("xdg");
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        drive.reset();
        UseLibrary(library);
        CreateAccount();
        CKVTDlg dlg(1033);
        int prompts = 0;
        RunDialog(
            dlg,
            [&] {
                LogInWithoutMonitor();
                EXPECT_EQ(StoredIdentity(), u"");
                const std::size_t commandsBefore = sim.ScsiCommands().size();

                PlugInDrive(TwoRuns());
                ASSERT_TRUE(feed->Send("a"));
                ASSERT_TRUE(vxtest::WaitFor([&] { return Shown(kYesButton); }));
                EXPECT_TRUE(Shown(kNoButton));
                // The monitor is now the user's.
                EXPECT_FALSE(FoundIdentity().empty());
                EXPECT_EQ(StoredIdentity(), FoundIdentity());
                if (library == Library::Simulated)
                {
                    const auto commands = sim.ScsiCommands();
                    ASSERT_EQ(commands.size(), commandsBefore + 1) << "the clock command";
                    // The pinned time, 2010-12-31 23:59:30, with the month counted from 0.
                    EXPECT_EQ(commands.back().cdb, (Bytes{0xE0, 0x01, 0xDA, 0x07, 11, 31, 23, 59, 30}));
                }
                EXPECT_EQ(StoredRuns(), 0);

                Click(kYesButton);
                vxtest::ProcessEvents();
                ExpectHomePage(u"Ann Lee");
                ExpectTotals(u"2", u"8.0km", u"1Hr15Min00Sec");
                EXPECT_EQ(StoredRuns(), 2);
                // The monitor's file is emptied of its records.
                const Bytes file = DriveFile();
                ASSERT_GT(file.size(), 207u);
                EXPECT_EQ(file[207], 0);

                Click(kNavMyRuns);
                EXPECT_EQ(dlg.m_nCurrentView, KvtView::Runs);
                ExpectTotals(u"2", u"8.0km", u"1Hr15Min00Sec");
            },
            ContinueEveryPrompt(&prompts));
        EXPECT_EQ(prompts, 1) << "only the no-device prompt of the log-in";
    }
}

// The same over MTP: the monitor of the first entry, found through the media-device side of the
// library; its clock is set with the vendor command and its file read and emptied over MTP.
TEST_F(Flows, AnArrivingMtpMonitorIsImportedOverMtp)
{
    CreateAccount();
    CKVTDlg dlg(1033);
    int prompts = 0;
    RunDialog(
        dlg,
        [&] {
            LogInWithoutMonitor();
            sysfs = std::make_unique<vxtest::FakeSysfs>();
            sysfs->AddRootHub(1);
            const std::uint16_t product = HexToU16(kSupportedDevices[0].szProductId);
            sysfs->AddUsbDevice("usb1", 1, vxtest::UsbDevice(VORMATIK_MONITOR_VENDOR_ID, product, "SER42"));
            const int monitor = sim.AddMtpMonitor(VORMATIK_MONITOR_VENDOR_ID, product, "SER42",
                                                  vxtest::ModelCodeText(0) + "-2.1.0", 1, TwoRuns());
            ASSERT_GE(monitor, 0);
            ASSERT_TRUE(feed->Send("a"));
            ASSERT_TRUE(vxtest::WaitFor([&] { return Shown(kYesButton); }));
            EXPECT_FALSE(FoundIdentity().empty());
            EXPECT_EQ(StoredIdentity(), FoundIdentity());
            int clockCommands = 0;
            for (const auto &call : sim.MtpVendorCalls(monitor))
                clockCommands += call.operation == 0x9D03 ? 1 : 0;
            EXPECT_EQ(clockCommands, 1);

            Click(kYesButton);
            ExpectHomePage(u"Ann Lee");
            ExpectTotals(u"2", u"8.0km", u"1Hr15Min00Sec");
            EXPECT_EQ(StoredRuns(), 2);
            const Bytes file = sim.MtpWorkoutFile(monitor);
            ASSERT_GT(file.size(), 207u);
            EXPECT_EQ(file[207], 0);
        },
        ContinueEveryPrompt(&prompts));
    EXPECT_EQ(prompts, 1);
}

// Pulled out while the upload prompt is up, the monitor cannot be read: Yes shows the disconnection
// page, and Retry once it is back imports its runs.
TEST_F(Flows, AMonitorPulledOutAtTheUploadPromptIsReadOnRetry)
{
    CreateAccount();
    PlugInDrive(TwoRuns());
    CKVTDlg dlg(1033);
    std::vector<std::string> prompts;
    RunDialog(
        dlg,
        [&] {
            LogInOnThePage(u"ann", u"abc");
            ASSERT_TRUE(vxtest::WaitFor([&] { return Shown(kYesButton); }));
            const Bytes file = DriveFile();
            drive.reset();
            ASSERT_TRUE(feed->Send("r"));
            ASSERT_TRUE(vxtest::WaitFor([&] { return dlg.m_bDeviceFound == FALSE; }));
            vxtest::ProcessEvents();
            EXPECT_TRUE(Shown(kYesButton)) << "the prompt stays";
            Click(kYesButton);
            EXPECT_EQ(
                Caption(CKVTDlg::kStatusLineId),
                u"Sorry!! Upload failed due to disconnection.\nPlease check the connection and try again.");
            EXPECT_EQ(StoredRuns(), 0);

            PlugInDrive(file);
            ASSERT_TRUE(feed->Send("a"));
            ASSERT_TRUE(vxtest::WaitFor([&] { return dlg.m_bDeviceFound == TRUE; }));
            vxtest::ProcessEvents();
            Click(kRetryButton);
            ExpectHomePage(u"Ann Lee");
            ExpectTotals(u"2", u"8.0km", u"1Hr15Min00Sec");
            EXPECT_EQ(DriveFile()[207], 0);
        },
        [&](CDialog &) { prompts.push_back("prompt"); });
    EXPECT_TRUE(prompts.empty()) << "no prompt while the pages ignore arrivals";
}

// A monitor that arrives before anyone logs in waits for the log-in; plugged in again after its import,
// it brings the upload prompt again and nothing is imported twice. On the log-out confirmation an
// arrival is not acted on.
TEST_F(Flows, ArrivalsWaitForTheLogInAndAReturningMonitorAddsNothingTwice)
{
    CreateAccount();
    CKVTDlg dlg(1033);
    RunDialog(
        dlg,
        [&] {
            PlugInDrive(TwoRuns());
            ASSERT_TRUE(feed->Send("a"));
            ASSERT_TRUE(vxtest::WaitFor([&] { return dlg.m_bDeviceFound == TRUE; }));
            vxtest::ProcessEvents();
            ExpectLoginPage();
            EXPECT_FALSE(Shown(kYesButton));

            LogInOnThePage(u"ann", u"abc");
            ASSERT_TRUE(vxtest::WaitFor([&] { return Shown(kYesButton); }));
            Click(kYesButton);
            ExpectHomePage(u"Ann Lee");
            ExpectTotals(u"2", u"8.0km", u"1Hr15Min00Sec");

            // Out and in again: the emptied monitor.
            const Bytes emptied = DriveFile();
            drive.reset();
            ASSERT_TRUE(feed->Send("r"));
            ASSERT_TRUE(vxtest::WaitFor([&] { return dlg.m_bDeviceFound == FALSE; }));
            vxtest::ProcessEvents();
            ExpectHomePage(u"Ann Lee");
            PlugInDrive(emptied);
            ASSERT_TRUE(feed->Send("a"));
            ASSERT_TRUE(vxtest::WaitFor([&] { return Shown(kYesButton); }));
            Click(kYesButton);
            ExpectHomePage(u"Ann Lee");
            ExpectTotals(u"2", u"8.0km", u"1Hr15Min00Sec");
            EXPECT_EQ(StoredRuns(), 2);

            // Asked whether to log out, the user sees no prompt of a monitor that comes meanwhile.
            drive.reset();
            ASSERT_TRUE(feed->Send("r"));
            ASSERT_TRUE(vxtest::WaitFor([&] { return dlg.m_bDeviceFound == FALSE; }));
            vxtest::ProcessEvents();
            Click(kLogOutButton);
            PlugInDrive(TwoRuns());
            ASSERT_TRUE(feed->Send("a"));
            ASSERT_TRUE(vxtest::WaitFor([&] { return dlg.m_bDeviceFound == TRUE; }));
            vxtest::ProcessEvents();
            EXPECT_EQ(Caption(1247), u"Are you sure you want to logout?");
            Click(kNoButton);
            ExpectHomePage(u"Ann Lee");
            EXPECT_EQ(StoredRuns(), 2);
        },
        [](CDialog &) {});
}

// ---- the upload to the on-line service ----------------------------------------------------------------

// With stored credentials that the service accepts, Yes imports, the probe finds the service, and the
// runs the service lacks reach it before the home page shows them.
TEST_F(Flows, ImportedRunsReachTheServiceWithTheStoredCredentials)
{
    service.Script("CheckFacebookLogin", {FakeXmlRpcService::Int(2)});
    service.Script("Login", {FakeXmlRpcService::String("tok")});
    service.Script("GetLastRecordDateTime", {FakeXmlRpcService::Int(0)});
    service.Script("AddRunData", {FakeXmlRpcService::Bool(true)});
    service.Script("Logout", {FakeXmlRpcService::Bool(true)});
    CreateAccount(true);
    PlugInDrive(TwoRuns());
    CKVTDlg dlg(1033);
    RunDialog(dlg, [&] {
        LogInOnThePage(u"ann", u"abc");
        ASSERT_TRUE(vxtest::WaitFor([&] { return Shown(kYesButton); }));
        Click(kYesButton);
        vxtest::ProcessEvents();
        ExpectHomePage(u"Ann Lee");
        ExpectTotals(u"2", u"8.0km", u"1Hr15Min00Sec");
        // The probe's plain request to the application page, then the service's calls in order.
        std::vector<std::string> methods = service.Methods();
        ASSERT_FALSE(methods.empty());
        EXPECT_EQ(methods.front(), "") << "the probe";
        methods.erase(methods.begin());
        EXPECT_EQ(methods, (std::vector<std::string>{"CheckFacebookLogin", "Login", "GetLastRecordDateTime",
                                                     "AddRunData", "Logout"}));
        std::vector<std::string> sent;
        for (const auto &call : service.Calls())
            if (call.method == "AddRunData")
                sent = call.params;
        // The session, the number of runs, and ten numbers for each run.
        ASSERT_EQ(sent.size(), 22u);
        EXPECT_EQ(sent[0], "tok");
        EXPECT_EQ(sent[1], "<i4>2</i4>");
        for (const char *value : {"<i4>1800</i4>", "<i4>2700</i4>", "<i4>3000</i4>", "<i4>4500</i4>"})
            EXPECT_NE(std::find(sent.begin(), sent.end(), value), sent.end()) << value;
        // The stored credentials were checked: the e-mail address as stored, the password as the
        // service takes it.
        for (const auto &call : service.Calls())
        {
            if (call.method == "CheckFacebookLogin")
            {
                ASSERT_EQ(call.params.size(), 2u);
                EXPECT_EQ(call.params[0], "ann@example.com");
            }
        }
    });
}

// ---- log out ------------------------------------------------------------------------------------------

TEST_F(Flows, LogOutAsksAndYesShowsTheLoginPageWhileNoStaysHome)
{
    for (const bool yes : {true, false})
    {
        SCOPED_TRACE(yes ? "Yes" : "No");
        const std::string home = vxtest::MakeTempDir("xdg");
        vxtest::ScopedEnv data("XDG_DATA_HOME", home.c_str());
        CreateAccount();
        CKVTDlg dlg(1033);
        int prompts = 0;
        RunDialog(
            dlg,
            [&] {
                LogInWithoutMonitor();
                Click(kLogOutButton);
                EXPECT_EQ(Caption(1247), u"Are you sure you want to logout?");
                EXPECT_FALSE(Enabled(kNavMyRuns));
                Click(yes ? kYesButton : kNoButton);
                if (yes)
                {
                    ExpectLoginPage();
                    EXPECT_EQ(dlg.m_szUserId[0], u'\0');
                    // And the next person can log in again.
                    LogInWithoutMonitor();
                    ExpectHomePage(u"Ann Lee");
                }
                else
                {
                    ExpectHomePage(u"Ann Lee");
                    EXPECT_TRUE(dlg.m_pDatabase->IsLoggedIn());
                    EXPECT_TRUE(Enabled(kNavMyRuns));
                }
            },
            ContinueEveryPrompt(&prompts));
        EXPECT_EQ(prompts, yes ? 2 : 1);
    }
}

// Logged out from My Runs, nothing of Ann's page stays on the login page, and the next user, who has
// no runs, sees none of hers.
TEST_F(Flows, AfterALogOutFromMyRunsTheNextUserSeesNoneOfTheFormerUsersRuns)
{
    CreateAccount();
    {
        KvtDatabase db;
        const DateParts birth{3, 4, 1985};
        ASSERT_EQ(db.AddUser(u"bob", u"xyz", u"Bob", u"Ray", 0, &birth, 25, 180, 3, 80, 5), 1);
    }
    PlugInDrive(TwoRuns());
    CKVTDlg dlg(1033);
    int prompts = 0;
    RunDialog(
        dlg,
        [&] {
            LogInOnThePage(u"ann", u"abc");
            ASSERT_TRUE(vxtest::WaitFor([&] { return Shown(kYesButton); }));
            Click(kYesButton);
            Click(kNavMyRuns);
            ExpectTotals(u"2", u"8.0km", u"1Hr15Min00Sec");
            ASSERT_TRUE(dlg.m_pRunGraph && dlg.m_pRunGraph->IsWindowVisible());
            Click(kLogOutButton);
            Click(kYesButton);
            ExpectLoginPage();
            EXPECT_FALSE(dlg.m_pRunGraph && dlg.m_pRunGraph->IsWindowVisible());
            EXPECT_FALSE(dlg.m_pCalendar && dlg.m_pCalendar->IsWindowVisible());

            drive.reset();
            ASSERT_TRUE(feed->Send("r"));
            ASSERT_TRUE(vxtest::WaitFor([&] { return dlg.m_bDeviceFound == FALSE; }));
            LogInOnThePage(u"bob", u"xyz");
            vxtest::ProcessEvents();
            ExpectHomePage(u"Bob Ray");
            EXPECT_FALSE(Shown(kRunCountValue));
            Click(kNavMyRuns);
            EXPECT_EQ(Caption(kNoDataLabel), u"Sorry, no data!");
            EXPECT_FALSE(Shown(kRunCountValue));
            EXPECT_FALSE(dlg.m_pRunGraph && dlg.m_pRunGraph->IsWindowVisible());
            EXPECT_EQ(StoredRuns(), 0);
        },
        ContinueEveryPrompt(&prompts));
    EXPECT_EQ(prompts, 1) << "Bob's log-in without a monitor";
}

// ---- the command-line start ---------------------------------------------------------------------------

// A start with a stored user and that user's password text logs in and imports at once: no identity
// check, no clock, no prompt, no upload.
TEST_F(Flows, ACommandLineStartLogsTheStoredUserInAndImportsAtOnce)
{
    CreateAccount(true);
    PlugInDrive(TwoRuns());
    CKVTDlg dlg(1033);
    dlg.m_strCmdUser = u"ann";
    dlg.m_strCmdPassword = StoredPasswordText();
    RunDialog(dlg, [&] {
        EXPECT_TRUE(dlg.IsWindowVisible());
        ExpectHomePage(u"Ann Lee");
        ExpectTotals(u"2", u"8.0km", u"1Hr15Min00Sec");
        EXPECT_EQ(StoredRuns(), 2);
        EXPECT_EQ(DriveFile()[207], 0);
        // The user's first monitor becomes theirs, as with the Login button.
        EXPECT_FALSE(FoundIdentity().empty());
        EXPECT_EQ(StoredIdentity(), FoundIdentity());
        EXPECT_TRUE(sim.ScsiCommands().empty());
        EXPECT_TRUE(service.Methods().empty());
    });
}

// A command-line start with someone else's monitor plugged in: the mismatch page, and neither the
// account nor the monitor changes.
TEST_F(Flows, ACommandLineStartLeavesSomeoneElsesMonitorAlone)
{
    CreateAccount();
    {
        KvtDatabase db;
        ASSERT_EQ(db.Login(u"ann", u"abc"), 1);
        ASSERT_EQ(db.SetDeviceSerialNo(u"someone-elses-monitor"), 1);
        ASSERT_EQ(db.Logout(), 1);
    }
    PlugInDrive(TwoRuns());
    const auto before = DriveFile();
    CKVTDlg dlg(1033);
    dlg.m_strCmdUser = u"ann";
    dlg.m_strCmdPassword = StoredPasswordText();
    RunDialog(dlg, [&] {
        vxtest::ProcessEvents();
        EXPECT_TRUE(dlg.IsWindowVisible());
        EXPECT_EQ(Caption(1250), u"Device does not match");
        EXPECT_EQ(StoredRuns(), 0);
        EXPECT_EQ(DriveFile(), before);
        EXPECT_EQ(StoredIdentity(), u"someone-elses-monitor");
    });
}

// Without a monitor the command-line start logs in and says so with the no-device prompt; Continue
// shows the home page.
TEST_F(Flows, ACommandLineStartWithoutAMonitorPromptsThenGoesHome)
{
    CreateAccount();
    CKVTDlg dlg(1033);
    dlg.m_strCmdUser = u"ann";
    dlg.m_strCmdPassword = StoredPasswordText();
    int prompts = 0;
    RunDialog(
        dlg,
        [&] {
            vxtest::ProcessEvents();
            EXPECT_EQ(prompts, 1);
            EXPECT_TRUE(dlg.IsWindowVisible());
            ExpectHomePage(u"Ann Lee");
            EXPECT_FALSE(Shown(kRunCountValue));
            EXPECT_EQ(StoredRuns(), 0);
        },
        AnswerDevicePrompt(u"Device Not Detected !", false, &prompts));
}

// A password text that does not decipher to the user's password leads to the login page.
TEST_F(Flows, ACommandLineStartWithAWrongPasswordTextShowsTheLoginPage)
{
    CreateAccount();
    PlugInDrive(TwoRuns());
    // Empty; another password's text; no cipher text at all.
    const std::u16string texts[] = {u"", u"624D80920979D4E964A5174C9943AE36", u"not hex at all"};
    for (const std::u16string &text : texts)
    {
        CKVTDlg dlg(1033);
        dlg.m_strCmdUser = u"ann";
        dlg.m_strCmdPassword = text.c_str();
        RunDialog(dlg, [&] {
            EXPECT_TRUE(dlg.IsWindowVisible());
            EXPECT_FALSE(dlg.m_bLoggedIn);
            EXPECT_NE(dlg.m_nCurrentView == KvtView::Home && Shown(kHomeGreeting), true);
            EXPECT_TRUE(Shown(kLoginButton));
            EXPECT_EQ(StoredRuns(), -1);
        });
    }
    EXPECT_EQ(DriveFile()[207], 2) << "the monitor keeps its runs";
}

// ---- the monitor goes while the Device Setting page is open ------------------------------------------

TEST_F(Flows, RemovingTheMonitorFromTheDeviceSettingPageGoesHome)
{
    PlugInHid([](vxtest::SimHidMonitor &m) {
        m.SetReadData(0x05, vxtest::SimHidMonitor::DeviceInfoBlock(0, 1, 2, 3, 0,
                                                                   {'H', 'I', 'D', '4', '2', 'X', 'Y', 'Z',
                                                                    '0', '1', '2', '3', '4', '5', '6', '7'}));
        Bytes image = TwoRuns(true);
        image.resize(880, 0);
        m.SetReadData(0x6E, image);
    });
    CreateAccount();
    CKVTDlg dlg(1033);
    std::vector<std::string> prompts;
    RunDialog(
        dlg,
        [&] {
            LogInOnThePage(u"ann", u"abc");
            ASSERT_TRUE(vxtest::WaitFor([&] { return Shown(kYesButton); }));
            EXPECT_EQ(StoredIdentity(), FoundIdentity());
            Click(kYesButton);
            vxtest::ProcessEvents();
            ExpectHomePage(u"Ann Lee");
            ExpectTotals(u"2", u"8.0km", u"1Hr15Min00Sec");
            ASSERT_TRUE(Enabled(CKVTDlg::kDeviceSettingButtonId));
            Click(CKVTDlg::kDeviceSettingButtonId);
            ASSERT_EQ(dlg.m_nCurrentView, KvtView::DeviceSetting);
            ASSERT_NE(dlg.m_pChildPage, nullptr);

            UnplugHid();
            ASSERT_TRUE(feed->Send("r"));
            ASSERT_TRUE(vxtest::WaitFor([&] { return dlg.m_nCurrentView == KvtView::Home; }));
            vxtest::ProcessEvents();
            ExpectHomePage(u"Ann Lee");
            EXPECT_EQ(dlg.m_pChildPage, nullptr);
            EXPECT_FALSE(Enabled(CKVTDlg::kDeviceSettingButtonId));
            EXPECT_FALSE(dlg.m_bImported);
            EXPECT_EQ(StoredRuns(), 2);
            EXPECT_EQ(prompts, std::vector<std::string>{"connect status"});
        },
        [&](CDialog &d) {
            prompts.push_back(dynamic_cast<CConnectStatusChangeDlg *>(&d) ? "connect status" : "other");
        });
}

// ---- another start, another program ---------------------------------------------------------------------

// The record another program sends to log a user in.
Bytes CopyDataRecord(const std::u16string &user, const std::u16string &passwordText)
{
    Bytes record(200 + (passwordText.size() + 1) * 2, 0);
    for (std::size_t i = 0; i < user.size() && i < 99; ++i)
    {
        record[i * 2] = static_cast<std::uint8_t>(user[i] & 0xFF);
        record[i * 2 + 1] = static_cast<std::uint8_t>(user[i] >> 8);
    }
    for (std::size_t i = 0; i < passwordText.size(); ++i)
    {
        record[200 + i * 2] = static_cast<std::uint8_t>(passwordText[i] & 0xFF);
        record[200 + i * 2 + 1] = static_cast<std::uint8_t>(passwordText[i] >> 8);
    }
    return record;
}

// A second start reaches the first through its socket: activation brings the minimised window back,
// and a copy-data log-in logs the user in on the first instance's window.
TEST_F(Flows, ASecondStartReachesTheFirstInstancesWindow)
{
    CreateAccount();
    PlugInDrive(TwoRuns());
    ASSERT_EQ(app.CheckSingleInstance(), 0);
    const std::string socket = vxsys::InstanceSocketPath(CKVTApp::kInstanceName);
    CKVTDlg dlg(1033);
    RunDialog(dlg, [&] {
        ASSERT_TRUE(ListenForOtherInstances());
        ExpectLoginPage();
        dlg.ShowWindow(SW_MINIMIZE);
        ASSERT_TRUE(dlg.IsIconic());
        auto activation =
            std::async(std::launch::async, [&] { return vxwin::RequestActivation(socket, 5000); });
        ASSERT_TRUE(vxtest::WaitFor(
            [&] { return activation.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 3000));
        EXPECT_EQ(activation.get(), 1);
        EXPECT_FALSE(dlg.IsIconic());

        const Bytes record = CopyDataRecord(u"ann", StoredPasswordText());
        auto login = std::async(std::launch::async, [&] {
            long long result = 0;
            return vxwin::RequestCopyData(socket, 1, record.data(), static_cast<std::uint32_t>(record.size()),
                                          result, 10000) &&
                   result == TRUE;
        });
        ASSERT_TRUE(vxtest::WaitFor(
            [&] { return login.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 3000));
        EXPECT_TRUE(login.get());
        ASSERT_TRUE(vxtest::WaitFor([&] { return Shown(kYesButton); }));
        EXPECT_TRUE(dlg.m_bLoggedIn);
        EXPECT_EQ(std::u16string(dlg.m_szDisplayName.data()), u"Ann Lee");
        Click(kYesButton);
        ExpectHomePage(u"Ann Lee");
        ExpectTotals(u"2", u"8.0km", u"1Hr15Min00Sec");
        vxwin::StopListening();
    });
}

// While the first instance shows a prompt, a second start is still answered: activation, and a
// copy-data request that, with someone logged in, only brings the window forward.
TEST_F(Flows, ASecondStartIsAnsweredWhileAPromptIsUp)
{
    CreateAccount();
    ASSERT_EQ(app.CheckSingleInstance(), 0);
    const std::string socket = vxsys::InstanceSocketPath(CKVTApp::kInstanceName);
    CKVTDlg dlg(1033);
    int activation = -1;
    bool copied = false;
    int prompts = 0;
    const auto answered = [](auto &future) {
        return vxtest::WaitFor(
            [&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 3000);
    };
    RunDialog(
        dlg,
        [&] {
            ASSERT_TRUE(ListenForOtherInstances());
            LogInWithoutMonitor();
            vxwin::StopListening();
            EXPECT_EQ(prompts, 1);
            EXPECT_EQ(activation, 1);
            EXPECT_TRUE(copied);
            ExpectHomePage(u"Ann Lee");
            EXPECT_EQ(std::u16string(dlg.m_szUserId.data()), u"ann");
        },
        [&](CDialog &d) {
            ++prompts;
            auto *prompt = dynamic_cast<CReloginContinueDlg *>(&d);
            ASSERT_NE(prompt, nullptr);
            auto activate =
                std::async(std::launch::async, [&] { return vxwin::RequestActivation(socket, 5000); });
            ASSERT_TRUE(answered(activate));
            activation = activate.get();
            const Bytes record = CopyDataRecord(u"bob", StoredPasswordText());
            auto copy = std::async(std::launch::async, [&] {
                long long result = 0;
                return vxwin::RequestCopyData(socket, 1, record.data(),
                                              static_cast<std::uint32_t>(record.size()), result, 10000) &&
                       result == TRUE;
            });
            ASSERT_TRUE(answered(copy));
            copied = copy.get();
            EXPECT_EQ(dlg.m_pPromptDlg, prompt) << "the prompt is still up";
            Press(prompt->GetSecondButton());
        });
}

// A copy-data log-in on the window itself: the right record logs in and leads on to the monitor's
// upload prompt; a wrong password text is the failed log-in's page; once logged in, a record changes
// nothing.
TEST_F(Flows, ACopyDataLogInLogsTheUserIn)
{
    CreateAccount();
    PlugInDrive(TwoRuns());
    const auto send = [](CKVTDlg &dlg, const Bytes &record) {
        COPYDATASTRUCT data{1, static_cast<DWORD>(record.size()), const_cast<std::uint8_t *>(record.data())};
        return dlg.SendMessage(WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    };
    CKVTDlg dlg(1033);
    RunDialog(dlg, [&] {
        ExpectLoginPage();
        EXPECT_EQ(send(dlg, CopyDataRecord(u"ann", u"624D80920979D4E964A5174C9943AE36")), TRUE);
        vxtest::ProcessEvents();
        EXPECT_FALSE(dlg.m_bLoggedIn);
        EXPECT_TRUE(Shown(1195)) << "the failed log-in's page with its Exit button";

        EXPECT_EQ(send(dlg, CopyDataRecord(u"ann", StoredPasswordText())), TRUE);
        ASSERT_TRUE(vxtest::WaitFor([&] { return Shown(kYesButton); }));
        EXPECT_TRUE(dlg.m_bLoggedIn);
        EXPECT_EQ(StoredIdentity(), FoundIdentity());

        // Logged in, another record is not a second log-in.
        Click(kNoButton);
        ExpectHomePage(u"Ann Lee");
        EXPECT_EQ(send(dlg, CopyDataRecord(u"bob", StoredPasswordText())), TRUE);
        vxtest::ProcessEvents();
        ExpectHomePage(u"Ann Lee");
        EXPECT_EQ(std::u16string(dlg.m_szUserId.data()), u"ann");
    });
}

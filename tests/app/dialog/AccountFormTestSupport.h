#pragma once

// What the New Account and My Profile tests share: the dialog running modally with its real watcher
// (which finds a simulated mass-storage monitor through the test variant of the Ulvex library when one
// is plugged in), a real records store in a temporary folder, a pinned clock, and the pages of other
// work recorded.

#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <sqlite3.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/SupportedDevices.h"
#include "platform/sys/LocalTime.h"
#include "store/KvtDatabase.h"
#include "tests/device/UlvexTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "tests/support/sim_ulvex/SimUlvex.h"
#include "tests/support/workout/WorkoutFileBuilder.h"
#include "ui/UIButton.h"
#include "ui/UIEdit.h"
#include "ui/UIStatic.h"

namespace accounttest
{
using Bytes = std::vector<std::uint8_t>;
using Calls = std::vector<std::string>;

class AccountDlg : public CKVTDlg
{
  public:
    AccountDlg() : CKVTDlg(1033) {}

    Calls calls;
    int writes = 0;

    void ShowHomeView() override
    {
        calls.push_back("home page");
        CKVTDlg::ShowHomeView();
    }
    void ShowUploadPromptView() override
    {
        calls.push_back("upload prompt");
        CKVTDlg::ShowUploadPromptView();
    }
    void ShowSaveErrorView() override { calls.push_back("save error page"); }
    void ShowDeviceMismatchView() override { calls.push_back("mismatch page"); }
    void PromptDeviceNotDetected() override { calls.push_back("device not detected"); }
    void PromptDongleOnly() override { calls.push_back("dongle only"); }
    void PromptDeviceNotReady() override { calls.push_back("device not ready"); }
    bool WriteDeviceSettings(bool freshHeader) override
    {
        ++writes;
        return CKVTDlg::WriteDeviceSettings(freshHeader);
    }

  protected:
    void ShowLoginView() override { calls.push_back("login page"); }
};

// 2026-06-15 12:00:00 UTC.
constexpr std::int64_t kMidJune2026 = 1781524800;
constexpr std::size_t kDriveEntry = 1;

class AccountFlowTest : public ::testing::Test
{
  protected:
    AccountFlowTest()
    {
        vxsys::SetCurrentTimeSource([] { return kMidJune2026; });
        vxwin::SetSleepHook([this](DWORD) {
            if (m_dlg)
                vxtest::WaitFor([this] { return m_dlg->PendingDeviceChecks() == 0; });
        });
    }
    ~AccountFlowTest() override
    {
        app.m_pMainWnd = nullptr;
        vxwin::SetSleepHook({});
        vxwin::SetModalHook({});
        vxsys::SetCurrentTimeSource({});
    }

    void PlugInDrive(const Bytes &workout)
    {
        drive.reset();
        drive = std::make_unique<vxtest::MonitorDrive>(HexToU16(kSupportedDevices[kDriveEntry].szProductId));
        ASSERT_NE(drive->letter, 0);
        drive->WriteFile("Settings.dat", vxtest::SettingsImage(300, 150, vxtest::ModelCodeText(2).c_str()));
        drive->WriteFile("FR.DAT", workout);
    }
    Bytes DriveFile() const { return vxtest::ReadFile(drive->mountPoint + "/FR.DAT"); }

    static Bytes Workout(std::initializer_list<vxtest::WorkoutRecordSpec> records)
    {
        vxtest::WorkoutFileBuilder builder(false);
        builder.FirstName(u"Old").Profile(30, 1, 170, 60);
        for (const auto &r : records)
            builder.AddRecord(r);
        return builder.Build();
    }
    static Bytes TwoRuns()
    {
        return Workout({vxtest::RecordAt(2026, 6, 14, 7, 15, 30), vxtest::RecordAt(2026, 6, 15, 8, 0, 0)});
    }

    // Runs the dialog as the program does; body runs once the start-up device check is over. No
    // override cursor is left behind by anything the body did.
    void Run(AccountDlg &dlg, const std::function<void()> &body)
    {
        m_dlg = &dlg;
        bool ran = false;
        vxwin::SetModalHook([&](CDialog &d) {
            if (&d != static_cast<CDialog *>(&dlg))
            {
                d.EndDialog(IDCANCEL);
                return;
            }
            ran = true;
            app.m_pMainWnd = &dlg;
            EXPECT_TRUE(vxtest::WaitFor([&] { return dlg.PendingDeviceChecks() == 0; }));
            vxtest::ProcessEvents();
            dlg.calls.clear();
            body();
            EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
            d.PostMessage(WM_CLOSE);
        });
        EXPECT_EQ(dlg.DoModal(), IDCANCEL);
        EXPECT_TRUE(ran);
        app.m_pMainWnd = nullptr;
        m_dlg = nullptr;
    }

    static std::u16string Text(const CWnd &dlg, UINT id)
    {
        CWnd *item = dlg.GetDlgItem(static_cast<int>(id));
        if (!item)
            return u"(none)";
        CString text;
        item->GetWindowText(text);
        return text.str();
    }
    static void SetText(const CWnd &dlg, UINT id, const std::u16string &text)
    {
        CWnd *item = dlg.GetDlgItem(static_cast<int>(id));
        ASSERT_NE(item, nullptr) << id;
        item->SetWindowText(text.c_str());
    }
    static std::u16string Caption(const CWnd &dlg, UINT id)
    {
        auto *label = dynamic_cast<UIStatic *>(dlg.GetDlgItem(static_cast<int>(id)));
        return label ? std::u16string(label->GetText()) : u"(none)";
    }
    static std::u16string StatusText(const CWnd &dlg) { return Caption(dlg, CKVTDlg::kStatusLineId); }
    static bool Checked(const CWnd &dlg, UINT id)
    {
        auto *button = dynamic_cast<UIButton *>(dlg.GetDlgItem(static_cast<int>(id)));
        return button && button->GetCheck();
    }

    // The rows of the user table, read beside the dialog's own connection.
    int UserRows() const
    {
        sqlite3 *db = nullptr;
        const std::string file = dataHome + "/Vormatik/KVTDB_NB.dat";
        if (sqlite3_open(file.c_str(), &db) != SQLITE_OK)
        {
            sqlite3_close(db);
            return -1;
        }
        int rows = -1;
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, "select count(*) from UserInfo", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            rows = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
        sqlite3_close(db);
        return rows;
    }

    struct StoredUser
    {
        std::u16string first, last;
        std::uint8_t gender = 0, age = 0, heightUnit = 0, weight = 0, weightUnit = 0;
        std::uint16_t height = 0;
        DateParts birth{};
    };
    // The logged-in user as the store gives it back.
    static bool ReadUser(CKVTDlg &dlg, StoredUser *user)
    {
        char16_t first[260] = {}, last[260] = {};
        if (!dlg.m_pDatabase->GetUser(first, 260, last, 260, &user->gender, &user->birth, &user->age,
                                      &user->height, &user->heightUnit, &user->weight, &user->weightUnit))
            return false;
        user->first = first;
        user->last = last;
        return true;
    }

    vxtest::ScopedTimeZone zone{"UTC"};
    std::string dataHome = vxtest::MakeTempDir("xdg");
    vxtest::ScopedEnv env{"XDG_DATA_HOME", dataHome.c_str()};
    vxtest::SimUlvexLibrary sim;
    CWinApp app;
    std::unique_ptr<vxtest::MonitorDrive> drive;
    AccountDlg *m_dlg = nullptr;
};
} // namespace accounttest

#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <cstdlib>
#include <string>

#include "platform/sys/LocalTime.h"
#include "store/KvtDatabase.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "ui/UIStatic.h"

namespace
{
class ShotDlg : public CKVTDlg
{
  public:
    using CKVTDlg::CKVTDlg;

  protected:
    std::shared_ptr<UlvexDevice> CreateDeviceWrapper() override
    {
        return std::make_shared<UlvexDevice>(vxtest::FakeUlvexPath());
    }
};

RunRecord MakeRun(int day, int month, uint32_t metres, uint32_t seconds)
{
    RunRecord run{};
    run.date = DateParts{static_cast<uint8_t>(day), static_cast<uint8_t>(month), 2026};
    run.time = TimeParts{7, 30, 0};
    run.duration = seconds;
    run.runDistance = metres;
    run.walkDistance = metres / 10;
    run.calories = metres / 15;
    run.heartRateBefore = 68;
    run.heartRateAfter = 142;
    return run;
}

// The home and My Runs pages of a user with a month of runs and a distance goal, grabbed from the
// offscreen window. With VORMATIK_SCREENSHOT_DIR set they are written there (scripts/screenshots
// does that for docs/).
TEST(Screenshots, HomeAndMyRunsOfAUserWithRuns)
{
    vxtest::ScopedTimeZone zone{"Europe/Berlin"};
    const std::string dataHome = vxtest::MakeTempDir("xdg");
    vxtest::ScopedEnv dataEnv{"XDG_DATA_HOME", dataHome.c_str()};
    const std::string runtime = vxtest::MakeTempDir("run");
    vxtest::ScopedEnv runtimeEnv{"XDG_RUNTIME_DIR", runtime.c_str()};
    vxtest::FakeUlvexLibrary fake;
    int64_t now = 0;
    ASSERT_TRUE(vxsys::LocalTimeFromFields({2026, 12, 10, 18, 0, 0, 0}, &now));
    vxsys::SetCurrentTimeSource([now] { return now; });
    CWinApp app;
    {
        ShotDlg dlg(1033);
        ASSERT_TRUE(dlg.Create(CKVTDlg::kDialogTemplate, nullptr));
        app.m_pMainWnd = &dlg;
        KvtDatabase &db = *dlg.m_pDatabase;
        const DateParts dob = {14, 5, 1988};
        ASSERT_EQ(db.AddUser(u"ann", u"pw", u"Ann", u"Lee", 1, &dob, 38, 168, 3, 61, 5), 1);
        ASSERT_EQ(db.Login(u"ann", u"pw"), 1);
        for (uint32_t day = 11; day <= 30; day += 2)
        {
            const RunRecord run = MakeRun(static_cast<int>(day), 11, 3000u + 250u * day, 1500u + 40u * day);
            ASSERT_EQ(db.AddRun(&run), 1);
        }
        for (uint32_t day = 1; day <= 10; ++day)
        {
            const RunRecord run = MakeRun(static_cast<int>(day), 12, 4000u + 300u * day, 1800u + 60u * day);
            if (day % 3 != 0)
            {
                ASSERT_EQ(db.AddRun(&run), 1);
            }
        }
        ASSERT_EQ(db.Commit(), 1);
        const DateParts start = {1, 12, 2026}, end = {1, 1, 2027};
        ASSERT_EQ(db.AddDistanceGoal(100000, 1, &start, &end), 1);
        const std::u16string id = u"ann", first = u"Ann", name = u"Ann Lee";
        std::copy(id.begin(), id.end(), dlg.m_szUserId.begin());
        std::copy(first.begin(), first.end(), dlg.m_szFirstName.begin());
        std::copy(name.begin(), name.end(), dlg.m_szDisplayName.begin());
        dlg.m_bMetric = TRUE;
        dlg.m_bLoggedIn = TRUE;
        dlg.ShowWindow(SW_SHOW);

        const char *folder = std::getenv("VORMATIK_SCREENSHOT_DIR");
        dlg.ShowHomeView();
        vxtest::ProcessEvents();
        const QImage home = vxtest::GrabWidget(dlg.GetWidget());
        dlg.ShowRunsView();
        vxtest::ProcessEvents();
        const QImage runs = vxtest::GrabWidget(dlg.GetWidget());

        ASSERT_EQ(home.size(), QSize(720, 520));
        ASSERT_EQ(runs.size(), QSize(720, 520));
        EXPECT_EQ(dlg.m_nCurrentView, KvtView::Runs);
        // The detail panel of today beside the graph.
        auto *panel = dynamic_cast<UIStatic *>(dlg.GetDlgItem(1068));
        auto *title = panel ? dynamic_cast<UIStatic *>(panel->GetDlgItem(1069)) : nullptr;
        ASSERT_NE(title, nullptr);
        EXPECT_FALSE(std::u16string(title->GetText()).empty());
        EXPECT_NE(home, runs);
        if (folder)
        {
            EXPECT_TRUE(home.save(QString::fromLocal8Bit(folder) + "/home-en.png", "PNG"));
            EXPECT_TRUE(runs.save(QString::fromLocal8Bit(folder) + "/runs-en.png", "PNG"));
        }
        app.m_pMainWnd = nullptr;
    }
    vxsys::SetCurrentTimeSource({});
    vxtest::ProcessEvents();
}
} // namespace

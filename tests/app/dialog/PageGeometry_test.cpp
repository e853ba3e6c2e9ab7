// The main dialog's size against its pages: the window is as tall as its tallest page (the
// navigation bar along its bottom edge), and every control of every page lies inside it, in each
// of the four languages.

#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "platform/sys/LocalTime.h"
#include "store/KvtDatabase.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "ui/ConnectStatusChangeDlg.h"

namespace
{
constexpr int kDialogWidth = 720;
constexpr int kDialogHeight = 520;
constexpr int kNavigationBarBottom = 499;

class GeometryDlg : public CKVTDlg
{
  public:
    using CKVTDlg::CKVTDlg;
    using CKVTDlg::ShowLoginView;

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

class PageGeometry : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(vxsys::LocalTimeFromFields({2026, 12, 10, 18, 0, 0, 0}, &now));
        vxsys::SetCurrentTimeSource([this] { return now; });
        // Whatever prompt a page opens is closed at once: only the pages are measured here.
        vxwin::SetModalHook([](CDialog &d) { d.EndDialog(IDCANCEL); });
    }
    void TearDown() override
    {
        vxwin::SetModalHook({});
        app.m_pMainWnd = nullptr;
        vxsys::SetCurrentTimeSource({});
        vxtest::ProcessEvents();
    }

    // A logged-in user with ten days of runs and a distance goal, in a data folder of its own.
    std::unique_ptr<GeometryDlg> Make(LANGID language)
    {
        const std::string dataHome = vxtest::MakeTempDir("xdg");
        dataEnv.reset();
        dataEnv = std::make_unique<vxtest::ScopedEnv>("XDG_DATA_HOME", dataHome.c_str());
        auto dlg = std::make_unique<GeometryDlg>(language);
        EXPECT_TRUE(dlg->Create(CKVTDlg::kDialogTemplate, nullptr));
        app.m_pMainWnd = dlg.get();
        KvtDatabase &db = *dlg->m_pDatabase;
        const DateParts dob = {14, 5, 1988};
        EXPECT_EQ(db.AddUser(u"ann", u"pw", u"Ann", u"Lee", 1, &dob, 38, 168, 3, 61, 5), 1);
        EXPECT_EQ(db.Login(u"ann", u"pw"), 1);
        for (uint32_t day = 1; day <= 10; ++day)
        {
            const RunRecord run = MakeRun(static_cast<int>(day), 12, 4000u + 300u * day, 1800u + 60u * day);
            EXPECT_EQ(db.AddRun(&run), 1);
        }
        EXPECT_EQ(db.Commit(), 1);
        const DateParts start = {1, 12, 2026}, end = {1, 1, 2027};
        EXPECT_EQ(db.AddDistanceGoal(100000, 1, &start, &end), 1);
        const std::u16string id = u"ann", first = u"Ann", name = u"Ann Lee";
        std::copy(id.begin(), id.end(), dlg->m_szUserId.begin());
        std::copy(first.begin(), first.end(), dlg->m_szFirstName.begin());
        std::copy(name.begin(), name.end(), dlg->m_szDisplayName.begin());
        dlg->m_bMetric = TRUE;
        dlg->m_bLoggedIn = TRUE;
        dlg->m_bDeviceFound = TRUE;
        dlg->m_bImported = TRUE;
        dlg->m_nDeviceTableFlag = 1;
        dlg->ShowWindow(SW_SHOW);
        return dlg;
    }

    CWinApp app;
    int64_t now = 0;
    std::unique_ptr<vxtest::ScopedEnv> dataEnv;
};

// Every window a page shows, in the dialog's client coordinates, with a name to report it by.
struct Placed
{
    std::string name;
    QRect rect;
};

std::vector<Placed> ShownWindows(CWnd &dlg)
{
    std::vector<Placed> shown;
    QWidget *top = dlg.GetWidget();
    for (QWidget *w : top->findChildren<QWidget *>())
    {
        if (!w->isVisibleTo(top))
            continue;
        const QPoint origin = w->mapTo(top, QPoint(0, 0));
        const CWnd *wnd = vxwin::WndFromWidget(w);
        const int id = wnd ? wnd->GetDlgCtrlID() : 0;
        shown.push_back({std::string(w->metaObject()->className()) + " " + std::to_string(id),
                         QRect(origin, w->size())});
    }
    return shown;
}
} // namespace

TEST_F(PageGeometry, TheMainDialogIsAsTallAsItsPagesWithTheBarAlongItsBottomEdge)
{
    std::unique_ptr<GeometryDlg> dlg = Make(1033);
    CRect window;
    dlg->GetWindowRect(&window);
    EXPECT_EQ(window.Width(), kDialogWidth);
    EXPECT_EQ(window.Height(), kDialogHeight);
    dlg->ShowHomeView();
    vxtest::ProcessEvents();
    // The bar's buttons end 21 pixels above the window's bottom edge: the panel's rounded corners
    // and its frame take that, nothing else.
    CRect bar;
    ASSERT_NE(dlg->GetDlgItem(1032), nullptr);
    dlg->GetDlgItem(1032)->GetWindowRect(&bar);
    dlg->ScreenToClient(&bar);
    EXPECT_EQ(bar.bottom, kNavigationBarBottom);
    EXPECT_LE(kDialogHeight - bar.bottom, 24);
    app.m_pMainWnd = nullptr;
}

TEST_F(PageGeometry, EveryPageLiesInsideTheDialogInEveryLanguage)
{
    const std::vector<std::pair<const char *, std::function<void(GeometryDlg &)>>> pages = {
        {"login", [](GeometryDlg &d) { d.ShowLoginView(); }},
        {"login error", [](GeometryDlg &d) { d.ShowLoginErrorView(); }},
        {"relogin", [](GeometryDlg &d) { d.ShowReloginView(); }},
        {"new account", [](GeometryDlg &d) { d.ShowNewAccountView(); }},
        {"home", [](GeometryDlg &d) { d.ShowHomeView(); }},
        {"my runs", [](GeometryDlg &d) { d.ShowRunsView(); }},
        {"my goal", [](GeometryDlg &d) { d.ShowGoalView(); }},
        {"my profile", [](GeometryDlg &d) { d.ShowProfileView(); }},
        {"my support", [](GeometryDlg &d) { d.ShowSupportView(); }},
        {"remove account", [](GeometryDlg &d) { d.ShowRemoveAccountView(); }},
        {"account deleted", [](GeometryDlg &d) { d.ShowAccountDeletedView(); }},
        {"device setting", [](GeometryDlg &d) { d.ShowDeviceSettingView(); }},
        {"log-out confirmation", [](GeometryDlg &d) { d.ShowLogOutConfirmView(); }},
        {"log-out error", [](GeometryDlg &d) { d.ShowLogOutErrorView(); }},
        {"retrieve error", [](GeometryDlg &d) { d.ShowRetrieveErrorView(); }},
        {"upload disconnected", [](GeometryDlg &d) { d.ShowUploadDisconnectedView(); }},
        {"save error", [](GeometryDlg &d) { d.ShowSaveErrorView(); }},
        {"abnormal data", [](GeometryDlg &d) { d.ShowAbnormalDataView(); }},
        {"erase warning", [](GeometryDlg &d) { d.ShowEraseWarningView(); }},
        {"upload prompt", [](GeometryDlg &d) { d.ShowUploadPromptView(); }},
        {"device mismatch", [](GeometryDlg &d) { d.ShowDeviceMismatchView(); }},
        {"share confirmation",
         [](GeometryDlg &d) {
             d.ShowRunsView();
             d.RenderSharePicture(FALSE);
             d.ShowShareConfirmView();
         }},
    };
    for (LANGID language : {1033, 1031, 2052, 1028})
    {
        std::unique_ptr<GeometryDlg> dlg = Make(language);
        const QRect inside(0, 0, kDialogWidth, kDialogHeight);
        for (const auto &[name, build] : pages)
        {
            build(*dlg);
            vxtest::ProcessEvents();
            int count = 0;
            for (const Placed &p : ShownWindows(*dlg))
            {
                ++count;
                EXPECT_TRUE(inside.contains(p.rect))
                    << name << " in " << language << ": " << p.name << " at " << p.rect.x() << "," << p.rect.y()
                    << " " << p.rect.width() << "x" << p.rect.height();
            }
            EXPECT_GT(count, 1) << name << " in " << language;
        }
        app.m_pMainWnd = nullptr;
    }
}

// The connect-status prompt shares the main dialog's picture: its size, and its controls inside.
TEST_F(PageGeometry, TheConnectStatusPromptHoldsItsControls)
{
    CConnectStatusChangeDlg prompt(nullptr);
    prompt.m_nConnected = 1;
    prompt.m_nDisplayTime = 60000;
    bool measured = false;
    vxwin::SetModalHook([&](CDialog &d) {
        measured = true;
        CRect window;
        d.GetWindowRect(&window);
        EXPECT_EQ(window.Width(), kDialogWidth);
        EXPECT_EQ(window.Height(), kDialogHeight);
        for (const Placed &p : ShownWindows(d))
            EXPECT_TRUE(QRect(0, 0, kDialogWidth, kDialogHeight).contains(p.rect)) << p.name;
        d.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(prompt.DoModal(), IDCANCEL);
    EXPECT_TRUE(measured);
}

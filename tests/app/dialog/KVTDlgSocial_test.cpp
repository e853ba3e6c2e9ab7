#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sys/TextConvert.h"
#include "sharing/FacebookInfoDlg.h"
#include "sharing/WebService.h"
#include "store/KvtDatabase.h"
#include "tests/sharing/WebServiceTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "ui/PromptDialogs.h"
#include "ui/UIStatic.h"

using vxtest::FakeXmlRpcService;
using vxtest::LoopbackHttpServer;

namespace
{
// "No internet connection was detected"
constexpr UINT kNoInternetText = 584;

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

void Click(CWnd *wnd)
{
    ASSERT_TRUE(wnd && wnd->GetWidget());
    QTest::mouseClick(wnd->GetWidget(), Qt::LeftButton, {}, QPoint(10, 10));
}

// The main dialog with what the social-site steps call on their way out recorded.
class SocialDlg : public CKVTDlg
{
  public:
    SocialDlg() : CKVTDlg(1033) {}

    std::vector<std::u16string> opened;
    // The no-internet message prompts that came up.
    int noInternetShown = 0;
    int noInternetPosted = 0;
    int reentries = 0;
    // The arrival flag as each credential dialog saw it.
    std::vector<BOOL> ignoringDuringDialogs;

    int OpenUrlInBrowser(const std::u16string &address) override
    {
        opened.push_back(address);
        return 1;
    }
    void OpenWebAppPage() override
    {
        ++reentries;
        CKVTDlg::OpenWebAppPage();
    }
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_KVT_NO_INTERNET)
            ++noInternetPosted;
        return CKVTDlg::WindowProc(msg, wParam, lParam);
    }

    // Logs a user in the way the log-in step leaves the dialog.
    void LogIn(const char16_t *user)
    {
        const DateParts dob{1, 2, 1980};
        ASSERT_EQ(1, m_pDatabase->AddUser(user, u"pw", u"Ann", u"Lee", 1, &dob, 30, 170, 3, 60, 5));
        ASSERT_EQ(1, m_pDatabase->Login(user, u"pw"));
        m_szUserId.fill(0);
        std::copy_n(user, std::char_traits<char16_t>::length(user), m_szUserId.begin());
        m_bLoggedIn = TRUE;
    }

    // The page's status line, empty when there is none.
    std::u16string StatusLine()
    {
        auto *line = dynamic_cast<UIStatic *>(GetDlgItem(kStatusLineId));
        return line ? std::u16string(line->GetText()) : std::u16string();
    }

    std::optional<std::pair<std::u16string, std::u16string>> Stored()
    {
        char16_t email[260] = {}, password[260] = {};
        if (!m_pDatabase->GetFacebookInfo(email, 260, password, 260))
            return std::nullopt;
        return std::make_pair(std::u16string(email), std::u16string(password));
    }

  protected:
    std::shared_ptr<UlvexDevice> CreateDeviceWrapper() override
    {
        return std::make_shared<UlvexDevice>(vxtest::FakeUlvexPath());
    }
};

// What the user does in each credential dialog that comes up.
struct Entry
{
    bool cont = true; // Continue, else Cancel
    const char16_t *email = u"ann@example.com";
    const char16_t *password = u"secret";
};

class SocialSiteTest : public ::testing::Test
{
  protected:
    SocialSiteTest() { PointAt(m_page.port()); }
    ~SocialSiteTest() override { wstest::SetServiceHost(""); }

    // The application page's host: the loopback server, or any other port.
    void PointAt(std::uint16_t appPort)
    {
        wstest::SetServiceHost(m_service.Host(), "127.0.0.1:" + std::to_string(appPort));
    }

    // Runs the main dialog, logs a user in (unless told not to), runs the scenario inside it and
    // closes it again; the credential dialogs that come up are answered from entries in order.
    void Run(SocialDlg &dlg, const std::function<void()> &scenario, std::vector<Entry> entries,
             bool logIn = true)
    {
        // Every run starts from a store of its own.
        const std::string home = vxtest::MakeTempDir("xdg");
        vxtest::ScopedEnv dataHome("XDG_DATA_HOME", home.c_str());
        std::size_t next = 0;
        ModalScript script([&](CDialog &d) {
            if (auto *prompt = dynamic_cast<CMessageDlg *>(&d))
            {
                dlg.noInternetShown += prompt->m_nMessageId == kNoInternetText;
                d.EndDialog(IDOK);
                return;
            }
            if (&d != &dlg)
            {
                dlg.ignoringDuringDialogs.push_back(dlg.m_bIgnoreDeviceArrival);
                kinds.push_back(dynamic_cast<CFacebookInfoErrorDlg *>(&d) ? 2 : 1);
                ASSERT_LT(next, entries.size()) << "an unexpected credential dialog";
                const Entry entry = entries[next++];
                d.GetDlgItem(CFacebookInfoDlg::kEmailEdit)->SetWindowText(entry.email);
                d.GetDlgItem(CFacebookInfoDlg::kPasswordEdit)->SetWindowText(entry.password);
                Click(d.GetDlgItem(entry.cont ? CFacebookInfoDlg::kContinueButton
                                              : CFacebookInfoDlg::kCancelButton));
                // A dialog that stays open (a refusal, a store that failed) is left with Cancel.
                if (d.IsWindowVisible())
                {
                    stayedOpen = true;
                    Click(d.GetDlgItem(CFacebookInfoDlg::kCancelButton));
                }
                return;
            }
            EXPECT_TRUE(vxtest::WaitFor([&] { return dlg.PendingDeviceChecks() == 0; }));
            if (logIn)
                dlg.LogIn(u"ann");
            scenario();
            vxtest::ProcessEvents();
            d.PostMessage(WM_CLOSE);
        });
        dlg.DoModal();
        EXPECT_EQ(next, entries.size()) << "credential dialogs that never came";
    }

    int CheckCalls() const
    {
        int n = 0;
        for (const auto &method : m_service.Methods())
            n += method == "CheckFacebookLogin";
        return n;
    }

    std::u16string PageUrl() const { return vxsys::Utf8ToUtf16(WebAppPageUrl()); }

    std::string m_dataHome = vxtest::MakeTempDir("xdg");
    vxtest::ScopedEnv m_env{"XDG_DATA_HOME", m_dataHome.c_str()};
    vxtest::FakeUlvexLibrary m_fake;
    vxtest::NoProxyEnvironment m_noProxy;
    vxtest::FakeXmlRpcService m_service;
    LoopbackHttpServer m_page{[] {
        LoopbackHttpServer::Options options;
        options.mode = LoopbackHttpServer::Mode::HtmlPage;
        options.statusLine = "HTTP/1.0 404 Not Found";
        options.maxConnections = 64;
        return options;
    }()};
    std::vector<int> kinds; // 1 the first dialog, 2 the re-entry dialog, in the order they came
    bool stayedOpen = false;
};
} // namespace

TEST_F(SocialSiteTest, ProbeOfTheApplicationPage)
{
    vxtest::RefusingPort closed;
    struct Case
    {
        const char *name;
        bool pageUp;
        int pauseMs;
        int tries;
        int result;
        std::vector<DWORD> sleeps;
        std::size_t requests;
    };
    const Case cases[] = {
        {"an error page answers", true, 0, 1, 1, {}, 1},
        {"a page up with a negative pause", true, -5, 1, 1, {}, 1},
        {"a closed port, one try", false, 0, 1, 0, {0}, 0},
        {"a closed port, three tries", false, 250, 3, 0, {250, 250, 250}, 0},
        {"a closed port, one try with a negative pause", false, -5, 1, 0, {0}, 0},
        {"two tries with a negative pause", true, -1, 2, 0, {}, 0},
        {"zero tries", true, 0, 0, 0, {}, 0},
        {"negative tries", true, 0, -3, 0, {}, 0},
    };
    SocialDlg dlg;
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        LoopbackHttpServer::Options options;
        options.mode = LoopbackHttpServer::Mode::HtmlPage;
        options.statusLine = "HTTP/1.0 404 Not Found";
        LoopbackHttpServer page(options);
        PointAt(c.pageUp ? page.port() : closed.port());
        SleepRecorder sleeps;
        EXPECT_EQ(dlg.IsInternetReachable(c.pauseMs, c.tries), c.result);
        EXPECT_EQ(sleeps.sleeps, c.sleeps);
        const auto requests = page.requests();
        ASSERT_EQ(requests.size(), c.requests);
        for (const auto &request : requests)
        {
            EXPECT_EQ(request.requestLine, "GET /vormatik HTTP/1.1");
            EXPECT_EQ(request.header("User-Agent"), "Vormatik");
        }
    }
}

TEST_F(SocialSiteTest, ShareToWebAppPaths)
{
    vxtest::RefusingPort closed;
    struct Case
    {
        const char *name;
        bool pageUp;
        std::optional<FakeXmlRpcService::Answer> answer;
        bool loggedIn;
        std::vector<Entry> entries;
        std::vector<int> kinds;
        int checks;
        bool stored;
        bool browser;
        int noInternet;
        const char16_t *status;
    };
    const Entry cancel{false};
    const Entry next;
    const Case cases[] = {
        {"cancelled", true, FakeXmlRpcService::Int(2), true, {cancel}, {1}, 0, false, false, 0, u""},
        {"unreachable", false, FakeXmlRpcService::Int(2), true, {next}, {1}, 0, false, false, 1, u""},
        {"accepted with 2", true, FakeXmlRpcService::Int(2), true, {next}, {1}, 1, true, true, 0, u""},
        {"accepted with 1", true, FakeXmlRpcService::Int(1), true, {next}, {1}, 1, true, true, 0, u""},
        {"a negative answer", true, FakeXmlRpcService::Int(-1), true, {next}, {1}, 1, false, false, 1, u""},
        {"a fault", true, FakeXmlRpcService::Fault(), true, {next}, {1}, 1, false, false, 1, u""},
        {"no service at all", true, std::nullopt, true, {next}, {1}, 1, false, false, 1, u""},
        {"storing fails",
         true,
         FakeXmlRpcService::Int(2),
         false,
         {next},
         {1},
         1,
         false,
         false,
         0,
         u"Error saving profile."},
        {"the store refuses a lone surrogate",
         true,
         FakeXmlRpcService::Int(2),
         true,
         {Entry{true, u"ann\xD800@example.com", u"secret"}},
         {1},
         1,
         false,
         false,
         0,
         u"Error saving profile."},
        {"refused, re-entry cancelled",
         true,
         FakeXmlRpcService::Int(0),
         true,
         {next, cancel},
         {1, 2},
         1,
         false,
         false,
         0,
         u""},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        vxtest::FakeXmlRpcService service;
        if (c.answer)
            service.Script("CheckFacebookLogin", {*c.answer});
        wstest::SetServiceHost(c.answer ? service.Host() : "127.0.0.1:" + std::to_string(closed.port()),
                               "127.0.0.1:" + std::to_string(c.pageUp ? m_page.port() : closed.port()));
        kinds.clear();
        SocialDlg dlg;
        std::optional<std::pair<std::u16string, std::u16string>> stored;
        BOOL after = -1;
        std::u16string status;
        Run(
            dlg,
            [&] {
                dlg.m_bIgnoreDeviceArrival = FALSE;
                dlg.ShareToWebApp();
                after = dlg.m_bIgnoreDeviceArrival;
                status = dlg.StatusLine();
                if (c.loggedIn)
                    stored = dlg.Stored();
            },
            c.entries, c.loggedIn);
        EXPECT_EQ(kinds, c.kinds);
        EXPECT_EQ(after, FALSE);
        EXPECT_EQ(dlg.ignoringDuringDialogs, std::vector<BOOL>(c.kinds.size(), TRUE));
        int checks = 0;
        for (const auto &method : service.Methods())
            checks += method == "CheckFacebookLogin";
        EXPECT_EQ(checks, c.answer ? c.checks : 0);
        EXPECT_EQ(stored.has_value(), c.stored);
        if (c.stored)
        {
            EXPECT_EQ(*stored, std::make_pair(std::u16string(u"ann@example.com"), std::u16string(u"secret")));
            EXPECT_EQ(std::u16string(dlg.m_szWebUser.data()), u"ann@example.com");
            EXPECT_EQ(std::u16string(dlg.m_szWebPassword.data()), u"secret");
        }
        else
        {
            EXPECT_EQ(dlg.m_szWebUser[0], 0);
        }
        EXPECT_EQ(dlg.opened,
                  c.browser ? std::vector<std::u16string>{PageUrl()} : std::vector<std::u16string>{});
        EXPECT_EQ(dlg.noInternetShown, c.noInternet);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(dlg.reentries, c.kinds.size() == 2 ? 1 : 0);
        EXPECT_EQ(vxwin::WaitCursorDepth(), 0);
    }
}

TEST_F(SocialSiteTest, AnAnswerOfOneIsStoredBySharingAndRefusedByTheReentryDialog)
{
    m_service.Script("CheckFacebookLogin", {FakeXmlRpcService::Int(1)});
    SocialDlg share;
    Run(share, [&] { share.ShareToWebApp(); }, {Entry{}});
    EXPECT_EQ(share.opened.size(), 1u);
    EXPECT_FALSE(stayedOpen);

    stayedOpen = false;
    SocialDlg reentry;
    std::optional<std::pair<std::u16string, std::u16string>> stored;
    Run(reentry,
        [&] {
            reentry.OpenWebAppPage();
            stored = reentry.Stored();
        },
        {Entry{}});
    EXPECT_TRUE(stayedOpen);
    EXPECT_FALSE(stored.has_value());
    EXPECT_TRUE(reentry.opened.empty());
}

TEST_F(SocialSiteTest, ReentryAfterARefusalStoresAndOpensThePage)
{
    m_service.Script("CheckFacebookLogin", {FakeXmlRpcService::Int(0), FakeXmlRpcService::Int(2)});
    SocialDlg dlg;
    std::optional<std::pair<std::u16string, std::u16string>> stored;
    Run(dlg,
        [&] {
            dlg.m_bIgnoreDeviceArrival = TRUE;
            dlg.ShareToWebApp();
            EXPECT_EQ(dlg.m_bIgnoreDeviceArrival, TRUE);
            stored = dlg.Stored();
        },
        {Entry{true, u"ann@example.com", u"wrong"}, Entry{true, u"o'neil\"@example.com", u"it's"}});
    EXPECT_EQ(kinds, (std::vector<int>{1, 2}));
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(*stored, std::make_pair(std::u16string(u"o'neil\"@example.com"), std::u16string(u"it's")));
    EXPECT_EQ(dlg.opened, std::vector<std::u16string>{PageUrl()});
    EXPECT_EQ(CheckCalls(), 2);
}

TEST_F(SocialSiteTest, ReentryWithoutInternetPostsTheMessageAndClosesTheDialog)
{
    vxtest::RefusingPort closed;
    PointAt(closed.port());
    m_service.Script("CheckFacebookLogin", {FakeXmlRpcService::Int(2)});
    SocialDlg dlg;
    Run(dlg, [&] { dlg.OpenWebAppPage(); }, {Entry{}});
    EXPECT_FALSE(stayedOpen);
    EXPECT_EQ(dlg.noInternetPosted, 1);
    EXPECT_EQ(dlg.noInternetShown, 1);
    EXPECT_TRUE(dlg.opened.empty());
    EXPECT_EQ(CheckCalls(), 0);
}

TEST_F(SocialSiteTest, ReentryWhoseStoreFailsShowsItInTheDialogAndStaysOpen)
{
    m_service.Script("CheckFacebookLogin", {FakeXmlRpcService::Int(2)});
    SocialDlg dlg;
    std::u16string message;
    bool open = false;
    ModalScript script([&](CDialog &d) {
        if (&d == &dlg)
        {
            EXPECT_TRUE(vxtest::WaitFor([&] { return dlg.PendingDeviceChecks() == 0; }));
            // Nobody logged in: nothing can be stored.
            dlg.OpenWebAppPage();
            d.PostMessage(WM_CLOSE);
            return;
        }
        auto &reentry = dynamic_cast<CFacebookInfoErrorDlg &>(d);
        reentry.GetEmailEdit()->SetWindowText(u"ann@example.com");
        reentry.GetPasswordEdit()->SetWindowText(u"secret");
        Click(reentry.GetContinueButton());
        open = d.IsWindowVisible();
        message = reentry.GetMessageLabel()->GetText();
        Click(reentry.GetCancelButton());
    });
    dlg.DoModal();
    EXPECT_TRUE(open);
    EXPECT_EQ(message, u"Error saving profile");
    EXPECT_TRUE(dlg.opened.empty());
}

TEST_F(SocialSiteTest, DeviceArrivalsAreIgnoredWhileADialogRunsAndTheFlagComesBack)
{
    for (BOOL before : {FALSE, TRUE})
    {
        SocialDlg dlg;
        BOOL afterShare = -1, afterReentry = -1;
        Run(dlg,
            [&] {
                dlg.m_bIgnoreDeviceArrival = before;
                dlg.ShareToWebApp();
                afterShare = dlg.m_bIgnoreDeviceArrival;
                dlg.OpenWebAppPage();
                afterReentry = dlg.m_bIgnoreDeviceArrival;
            },
            {Entry{false}, Entry{false}});
        EXPECT_EQ(dlg.ignoringDuringDialogs, (std::vector<BOOL>{TRUE, TRUE}));
        EXPECT_EQ(afterShare, before);
        EXPECT_EQ(afterReentry, before);
        // Nothing else ran: no probe reached the page, nothing went to the service.
        EXPECT_EQ(CheckCalls(), 0);
    }
    EXPECT_TRUE(m_page.requests().empty());
}

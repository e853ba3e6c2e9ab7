#include "app/KVTApp.h"

#include "platform/gdiplus/Gdiplus.h"
#include "platform/sys/InstanceLock.h"
#include "platform/win/Dialog.h"
#include "platform/win/InstanceChannel.h"
#include "platform/win/Wnd.h"
#include "sharing/WebService.h"
#include "tests/support/ProcessFixtures.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/gui/GuiTestHelpers.h"

#include <QApplication>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{
// A fresh runtime folder (so a fresh instance lock) and registry for each test.
class StartupTest : public testing::Test
{
  protected:
    StartupTest()
        : m_runtimeDir(vxtest::MakeTempDir("run")), m_registryDir(vxtest::MakeTempDir("reg")),
          m_runtime("XDG_RUNTIME_DIR", m_runtimeDir.c_str()),
          m_registry("VORMATIK_REGISTRY_DIR", m_registryDir.c_str()), m_all("LC_ALL", "en_US.UTF-8"),
          m_messages("LC_MESSAGES", nullptr), m_lang("LANG", nullptr)
    {
    }
    ~StartupTest() override
    {
        vxwin::SetMessageBoxHook(nullptr);
        vxwin::SetModalHook(nullptr);
        vxwin::SetCommandLine(0, nullptr);
    }

    void SetLanguageValue(const std::string &line)
    {
        std::ofstream(m_registryDir + "/HKEY_LOCAL_MACHINE.reg") << "[Software\\Tarvex\\Vormatik]\n"
                                                                 << line << "\n";
    }

    std::string m_runtimeDir;
    std::string m_registryDir;
    vxtest::ScopedEnv m_runtime;
    vxtest::ScopedEnv m_registry;
    vxtest::ScopedEnv m_all;
    vxtest::ScopedEnv m_messages;
    vxtest::ScopedEnv m_lang;
};

struct Outcome
{
    BOOL result = TRUE;
    std::vector<vxwin::MessageBoxRequest> boxes;
    int modals = 0;
};

Outcome RunInitInstance(CKVTApp &app)
{
    Outcome outcome;
    vxwin::SetMessageBoxHook([&](const vxwin::MessageBoxRequest &request) {
        outcome.boxes.push_back(request);
        return IDOK;
    });
    vxwin::SetModalHook([&](CDialog &dialog) {
        ++outcome.modals;
        dialog.EndDialog(IDCANCEL);
    });
    outcome.result = app.InitInstance();
    app.ExitInstance();
    return outcome;
}

// A child process that takes the instance lock and waits, without any activation server.
class LockHolder
{
  public:
    LockHolder()
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0)
        {
            ::close(fds[0]);
            const char taken =
                vxsys::AcquireInstanceLock(CKVTApp::kInstanceName) == vxsys::InstanceLockResult::First ? '1'
                                                                                                       : '0';
            (void)!::write(fds[1], &taken, 1);
            for (;;)
                ::pause();
        }
        ::close(fds[1]);
        char taken = 0;
        m_holds = m_pid > 0 && ::read(fds[0], &taken, 1) == 1 && taken == '1';
        ::close(fds[0]);
    }
    ~LockHolder()
    {
        if (m_pid > 0)
        {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    bool Holds() const { return m_holds; }

  private:
    pid_t m_pid = -1;
    bool m_holds = false;
};
} // namespace

TEST(CTXCommandLineInfo, TakesTheFirstTwoPlainParametersByPlace)
{
    const struct
    {
        std::vector<const char *> argv;
        const char16_t *user;
        const char16_t *password;
        UINT count;
    } cases[] = {
        {{"vormatik"}, u"", u"", 0},
        {{"vormatik", "anna"}, u"anna", u"", 1},
        {{"vormatik", "anna", "9F00A1"}, u"anna", u"9F00A1", 2},
        {{"vormatik", "anna", "9F00A1", "third"}, u"anna", u"9F00A1", 3},
        {{"vormatik", "-x", "anna", "9F00A1"}, u"", u"anna", 3},
        {{"vormatik", "/p", "anna"}, u"", u"anna", 2},
        {{"vormatik", "anna", "-p", "9F00A1"}, u"anna", u"", 3},
        {{"vormatik", "", "9F00A1"}, u"", u"9F00A1", 2},
        {{"vormatik", "O'Brien \"x\"", "p"}, u"O'Brien \"x\"", u"p", 2},
    };
    for (const auto &c : cases)
    {
        CTXCommandLineInfo info;
        ParseCommandLine(static_cast<int>(c.argv.size()), c.argv.data(), info);
        EXPECT_EQ(info.m_strUserId.str(), c.user) << c.argv.size();
        EXPECT_EQ(info.m_strPassword.str(), c.password) << c.argv.size();
        EXPECT_EQ(info.m_nParam, c.count);
    }
    CTXCommandLineInfo nullParam;
    nullParam.ParseParam(nullptr, FALSE, TRUE);
    EXPECT_TRUE(nullParam.m_strUserId.IsEmpty());
    EXPECT_EQ(nullParam.m_nParam, 1u);
}

// The program as a separate process: its log-in parameters are gone from its argument memory once it
// runs (any local user can read that memory), and it took them by their places on the command line as
// given, while Qt still saw its own options.
TEST(CommandLineStart, TheLogInLeavesTheArgumentMemoryAndIsTakenAsGiven)
{
    const struct
    {
        QStringList arguments;
        const char *cmdline; // with '|' for each zero byte
        const char *user;
        const char *password;
        unsigned count;
        int rtl;
    } cases[] = {
        {{"anna", "9F00A1"}, "||||||||||||", "anna", "9F00A1", 2, 0},
        // A leading flag takes the first place, though Qt knows it as its own.
        {{"-reverse", "alice", "0A1B2C"}, "-reverse||||||||||||||", "", "alice", 3, 1},
        {{"O'Brien \"x\"", "-p", "FF"}, "||||||||||||-p||||", "O'Brien \"x\"", "", 3, 0},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        QProcess probe;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        probe.setProcessEnvironment(env);
        probe.start(VX_COMMAND_LINE_PROBE_PATH, c.arguments);
        ASSERT_TRUE(probe.waitForStarted());
        ASSERT_TRUE(probe.waitForFinished(60000));
        EXPECT_EQ(probe.exitCode(), 0);
        const std::string out = probe.readAllStandardOutput().toStdString();
        const std::string program = VX_COMMAND_LINE_PROBE_PATH;
        EXPECT_EQ(out, "cmdline=" + program + "|" + c.cmdline + "\nuser=" + c.user + "\npassword=" + c.password +
                           "\ncount=" + std::to_string(c.count) + "\nrtl=" + std::to_string(c.rtl) + "\n");
    }
}

TEST_F(StartupTest, TheLanguageValueGivesTheLanguageByItsExactText)
{
    vxtest::ScopedEnv locale("LC_ALL", "zh_TW.UTF-8"); // would give 1028
    const struct
    {
        const char *line;
        LANGID expected;
    } cases[] = {
        {"\"LanguageID\"=\"0x0007\"", 1031},     {"\"LanguageID\"=\"0x0804\"", 2052},
        {"\"LanguageID\"=\"0x0404\"", 1028},     {"\"LanguageID\"=\"0x0009\"", 1033},
        {"\"LanguageID\"=\"0X0804\"", 1033},     {"\"LanguageID\"=\"0x0804 \"", 1033},
        {"\"LanguageID\"=\"\"", 1033},           {"\"LanguageID\"=str(2):\"0x0007\"", 1031},
        {"\"LanguageID\"=dword:00000804", 1028}, // not text: the locale decides
        {"\"Other\"=\"0x0007\"", 1028},
    };
    for (const auto &c : cases)
    {
        SetLanguageValue(c.line);
        CKVTApp app;
        EXPECT_EQ(app.GetUILanguage(), c.expected) << c.line;
    }
}

TEST_F(StartupTest, WithoutTheLanguageValueTheLocaleDecides)
{
    const struct
    {
        const char *locale;
        LANGID expected;
    } cases[] = {
        {"zh_CN.UTF-8", 2052}, {"zh_SG.UTF-8", 1028}, {"zh_TW.UTF-8", 1028}, {"zh_HK.UTF-8", 1028},
        {"de_AT.UTF-8", 1031}, {"de_DE.UTF-8", 1031}, {"fr_FR.UTF-8", 1033}, {"C", 1033},
    };
    for (const auto &c : cases)
    {
        vxtest::ScopedEnv locale("LC_ALL", c.locale);
        CKVTApp app;
        EXPECT_EQ(app.GetUILanguage(), c.expected) << c.locale;
    }
}

TEST_F(StartupTest, AFirstStartRunsTheMainWindowAfterTheEarlierSteps)
{
    SetLanguageValue("\"LanguageID\"=\"0x0007\"");
    const char *argv[] = {"vormatik", "anna", "9F00A1"};
    vxwin::SetCommandLine(3, argv);
    const int startupsBefore = Gdiplus::GdiplusActiveStartups();
    CKVTApp app;

    Outcome outcome;
    vxwin::SetMessageBoxHook([&](const vxwin::MessageBoxRequest &request) {
        outcome.boxes.push_back(request);
        return IDOK;
    });
    vxwin::SetModalHook([&](CDialog &dialog) {
        ++outcome.modals;
        EXPECT_EQ(AfxGetMainWnd(), &dialog);
        EXPECT_EQ(Gdiplus::GdiplusActiveStartups(), startupsBefore + 1);
        EXPECT_EQ(app.GetRegistryKey(), u"Tarvex");
        EXPECT_TRUE(vxsys::HoldsInstanceLock(CKVTApp::kInstanceName));
        EXPECT_TRUE(std::filesystem::exists(vxsys::InstanceSocketPath(CKVTApp::kInstanceName)));
        CString title;
        dialog.GetWindowText(title);
        EXPECT_EQ(title.str(), u"Vormatik");

        // Inside the first instance: its own window, no round trip.
        dialog.ShowWindow(SW_MINIMIZE);
        EXPECT_TRUE(dialog.IsIconic());
        EXPECT_EQ(app.ActivateRunningInstance(), 1);
        EXPECT_FALSE(dialog.IsIconic());
        EXPECT_TRUE(dialog.IsWindowVisible());

        // An open prompt over the window is what comes to the front.
        QWidget prompt;
        prompt.setWindowModality(Qt::ApplicationModal);
        prompt.show();
        vxtest::ProcessEvents();
        QWidget other;
        other.show();
        other.activateWindow();
        vxtest::ProcessEvents();
        EXPECT_EQ(app.ActivateRunningInstance(), 1);
        vxtest::ProcessEvents();
        EXPECT_EQ(QApplication::activeWindow(), &prompt);
        prompt.hide();
        other.hide();

        // A window hidden on purpose stays hidden.
        dialog.ShowWindow(SW_HIDE);
        EXPECT_EQ(app.ActivateRunningInstance(), 0);
        EXPECT_FALSE(dialog.IsWindowVisible());
        dialog.EndDialog(IDOK);
    });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(outcome.modals, 1);
    EXPECT_TRUE(outcome.boxes.empty());
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
    EXPECT_EQ(app.ActivateRunningInstance(), 0); // the window is gone
    app.ExitInstance();
    EXPECT_EQ(Gdiplus::GdiplusActiveStartups(), startupsBefore);
}

TEST_F(StartupTest, TheServiceTextsTakeTheCodePageOfTheChosenLanguage)
{
    SetLanguageValue("\"LanguageID\"=\"0x0804\"");
    const char *argv[] = {"vormatik"};
    vxwin::SetCommandLine(1, argv);
    CKVTApp app;
    unsigned codePage = 0;
    vxwin::SetModalHook([&](CDialog &dialog) {
        codePage = WsCodePage();
        dialog.EndDialog(IDOK);
    });
    EXPECT_FALSE(app.InitInstance());
    app.ExitInstance();
    EXPECT_EQ(codePage, 936u);
    WsSetLanguage(1033);
}

TEST_F(StartupTest, ALockHeldWithoutAWindowShowsTheQuitPromptInTheUsersLanguage)
{
    SetLanguageValue("\"LanguageID\"=\"0x0804\""); // chosen only later: not for this prompt
    LockHolder holder;
    ASSERT_TRUE(holder.Holds());
    const struct
    {
        const char *locale;
        const char16_t *text;
        WORD language;
    } cases[] = {
        {"fr_FR.UTF-8", u"Please quit other running instance of Vormatik", 1033},
        {"en_US.UTF-8", u"Please quit other running instance of Vormatik", 1033},
        {"de_AT.UTF-8", u"Schlie\u00DFen Sie alle anderen laufenden Vorg\u00E4nge von Vormatik", 1031},
        {"zh_TW.UTF-8", u"\u8ACB\u9000\u51FA\u5176\u4ED6\u904B\u884C\u7A0B\u5F0F", 1028},
        {"zh_CN.UTF-8", u"\u8BF7\u9000\u51FA\u5176\u4ED6\u8FD0\u884C\u7A0B\u5E8F", 2052},
    };
    for (const auto &c : cases)
    {
        vxtest::ScopedEnv locale("LC_ALL", c.locale);
        const int startupsBefore = Gdiplus::GdiplusActiveStartups();
        CKVTApp app;
        const Outcome outcome = RunInitInstance(app);
        EXPECT_FALSE(outcome.result);
        EXPECT_EQ(outcome.modals, 0);
        ASSERT_EQ(outcome.boxes.size(), 1u) << c.locale;
        EXPECT_EQ(outcome.boxes[0].text, c.text) << c.locale;
        EXPECT_EQ(outcome.boxes[0].language, c.language);
        EXPECT_EQ(outcome.boxes[0].type, UINT(MB_OK));
        EXPECT_EQ(Gdiplus::GdiplusActiveStartups(), startupsBefore);
    }
}

TEST_F(StartupTest, NoUsableLockFolderShowsTheQuitPrompt)
{
    vxtest::ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    const std::string tmp = vxtest::MakeTempDir("tmp");
    vxtest::ScopedEnv tmpdir("TMPDIR", tmp.c_str());
    const std::string file = tmp + "/vormatik-" + std::to_string(::geteuid());
    std::ofstream(file) << "not a folder";
    // The user's own fallback folders cannot be made either.
    vxtest::ScopedEnv state("XDG_STATE_HOME", (file + "/state").c_str());
    vxtest::ScopedEnv cache("XDG_CACHE_HOME", (file + "/cache").c_str());
    CKVTApp app;
    EXPECT_EQ(app.CheckSingleInstance(), 2);
    const Outcome outcome = RunInitInstance(app);
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.modals, 0);
    ASSERT_EQ(outcome.boxes.size(), 1u);
    EXPECT_EQ(outcome.boxes[0].text, u"Please quit other running instance of Vormatik");
}

TEST_F(StartupTest, ASecondStartBringsTheFirstToTheFrontAndEnds)
{
    QProcess first;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    first.setProcessEnvironment(env);
    first.start(VX_VORMATIK_PATH, {});
    ASSERT_TRUE(first.waitForStarted());
    const std::string socket = vxsys::InstanceSocketPath(CKVTApp::kInstanceName);
    ASSERT_TRUE(vxtest::WaitForFile(socket));

    CKVTApp app;
    EXPECT_EQ(app.CheckSingleInstance(), 1);
    // Once the first window is up it answers; until then the start-up may still be going.
    ASSERT_TRUE(vxtest::WaitFor([&] { return app.ActivateRunningInstance() == 1; }, 500));
    const Outcome outcome = RunInitInstance(app);
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.modals, 0);
    EXPECT_TRUE(outcome.boxes.empty());

    // Anything but the request is answered 0 and changes nothing.
    for (const QByteArray &junk : {QByteArray("X\n"), QByteArray("A\0", 2), QByteArray(70000, 'A')})
    {
        QLocalSocket client;
        client.connectToServer(QString::fromStdString(socket));
        ASSERT_TRUE(client.waitForConnected(5000));
        client.write(junk);
        QByteArray answer;
        while (answer.size() < 2 && client.waitForReadyRead(5000))
            answer += client.readAll();
        EXPECT_EQ(answer.left(2), junk.startsWith("A\n") ? QByteArray("1\n") : QByteArray("0\n"));
    }
    EXPECT_EQ(first.state(), QProcess::Running);

    // Other programs reach the first instance's main window through the same socket.
    long long result = -1;
    EXPECT_TRUE(vxwin::RequestCopyData(socket, 2, "x", 1, result));
    EXPECT_EQ(vxwin::RequestPostMessage(socket, WM_USER + 114), 1);
    EXPECT_EQ(vxwin::RequestPostMessage(socket, WM_USER + 116), 0);
    EXPECT_EQ(app.ActivateRunningInstance(), 1);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill();
    first.waitForFinished();
}

// The main window of a first instance whose copy-data handler brings the program to the front,
// as the main dialog's does.
class ActivatingMainWindow : public CWnd
{
  public:
    explicit ActivatingMainWindow(CKVTApp &app) : m_app(app) {}
    std::vector<int> activations;

  protected:
    BOOL OnCopyData(CWnd *, COPYDATASTRUCT *) override
    {
        activations.push_back(m_app.ActivateRunningInstance());
        return TRUE;
    }

  private:
    CKVTApp &m_app;
};

TEST_F(StartupTest, TheFirstInstanceActivatesItsOwnWindowWithoutItsSocket)
{
    CKVTApp app;
    ASSERT_EQ(app.CheckSingleInstance(), 0);
    ActivatingMainWindow window(app);
    ASSERT_TRUE(
        window.CreateEx(0, u"main", u"Vormatik", WS_POPUP | WS_VISIBLE, CRect(0, 0, 80, 60), nullptr, 0));
    window.ShowWindow(SW_MINIMIZE);
    app.m_pMainWnd = &window;
    const std::string socket = vxsys::InstanceSocketPath(CKVTApp::kInstanceName);
    ASSERT_TRUE(ListenForOtherInstances());

    // Asked from inside the instance, the answer comes from its own window: through the socket
    // the UI thread would wait on itself until the request timed out.
    EXPECT_EQ(app.ActivateRunningInstance(), 1);
    EXPECT_FALSE(window.IsIconic());

    // And from inside a copy-data request another program sent: served while that one waits.
    window.ShowWindow(SW_MINIMIZE);
    auto client = std::async(std::launch::async, [&] {
        long long result = 0;
        return vxwin::RequestCopyData(socket, 1, "x", 1, result, 3000) && result == TRUE;
    });
    ASSERT_TRUE(vxtest::WaitFor(
        [&] { return client.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 3000));
    EXPECT_TRUE(client.get());
    EXPECT_EQ(window.activations, std::vector<int>{1});
    EXPECT_FALSE(window.IsIconic());

    vxwin::StopListening();
    app.m_pMainWnd = nullptr;
}

TEST_F(StartupTest, TheProgramStartsAndShowsItsFirstWindow)
{
    // The benchmark's marker ends the program at its first paint.
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VORMATIK_BENCH_FIRST_PAINT", "1");
    program.setProcessEnvironment(env);
    program.start(VX_VORMATIK_PATH, {"anna", "9F00A1"});
    ASSERT_TRUE(program.waitForStarted());
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

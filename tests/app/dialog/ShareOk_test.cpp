#include "app/KVTDlg.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/sys/TextConvert.h"
#include "platform/win/Com.h"
#include "sharing/MapiMailSender.h"
#include "tests/support/ProcessFixtures.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/fake_ulvex/FakeUlvexLibrary.h"
#include "tests/support/gui/GuiTestHelpers.h"

namespace
{
// One log of what happened, in order: the dialog's COM messages, the sleeps, the page steps and
// the launcher (which writes to the same file from its own process).
class ShareDlg : public CKVTDlg
{
  public:
    ShareDlg(LANGID language, std::string log) : CKVTDlg(language), m_log(std::move(log)) {}

    void Note(const std::string &line) const { std::ofstream(m_log, std::ios::app) << line << "\n"; }

    void ShowShareConfirmView() override
    {
        Note("confirm page, controls " + std::to_string(PageControlCount()) + ", ignore " +
             std::to_string(m_bIgnoreDeviceArrival));
    }
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        const LRESULT result = CKVTDlg::WindowProc(msg, wParam, lParam);
        if (msg == WM_KVT_COINIT || msg == WM_KVT_COUNINIT)
            Note(std::string(msg == WM_KVT_COINIT ? "coinit" : "couninit") + ", depth " +
                 std::to_string(vxwin::ComInitDepth()));
        return result;
    }
    std::shared_ptr<UlvexDevice> CreateDeviceWrapper() override
    {
        return std::make_shared<UlvexDevice>(vxtest::FakeUlvexPath());
    }

    using CKVTDlg::m_bIgnoreDeviceArrival;
    using CKVTDlg::m_bSavedIgnoreDeviceArrival;
    using CKVTDlg::m_bSharePictureSaved;
    using CKVTDlg::m_strSharePicturePath;

  private:
    std::string m_log;
};

class ShareOkTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        dlg = std::make_unique<ShareDlg>(1033, log);
        ASSERT_TRUE(dlg->Create(CKVTDlg::kDialogTemplate, nullptr));
        app.m_pMainWnd = dlg.get();
        vxwin::SetSleepHook([this](DWORD ms) {
            dlg->Note("sleep " + std::to_string(ms) + ", depth " + std::to_string(vxwin::ComInitDepth()));
        });
        vxwin::SetMessageBoxHook([this](const vxwin::MessageBoxRequest &request) {
            dlg->Note("message " + vxsys::Utf16ToUtf8(request.text));
            return IDOK;
        });
        // The launcher notes its arguments in the log.
        launcher = dir + "/fake mailer";
        vxtest::WriteScript(launcher, "printf 'launcher' >> '" + log + "'\nfor a in \"$@\"; do printf ' [%s]' \"$a\" >> '" +
                                          log + "'; done\necho >> '" + log + "'\nexit 0\n");
        MapiMailSender::SetLauncher(vxsys::Utf8ToUtf16(launcher));
        picture = vxsys::Utf16ToUtf8(dlg->m_strSharePicturePath.str());
        ASSERT_FALSE(picture.empty());
        std::filesystem::create_directories(std::filesystem::path(picture).parent_path());
        std::ofstream(picture) << "jpeg";
        // As a rendering that saved its picture leaves it.
        dlg->m_bSharePictureSaved = TRUE;
        dlg->m_bIgnoreDeviceArrival = TRUE;
        dlg->m_bSavedIgnoreDeviceArrival = FALSE;
        // A page that the Ok step takes down.
        dlg->AddPageLabel(0, CRect(10, 10, 50, 30), 1500, 0xFF838281, 12);
    }
    void TearDown() override
    {
        MapiMailSender::SetLauncher(u"");
        vxwin::SetMessageBoxHook({});
        vxwin::SetSleepHook({});
        app.m_pMainWnd = nullptr;
        dlg.reset();
        vxtest::ProcessEvents();
    }

    std::vector<std::string> Log() const
    {
        std::vector<std::string> lines;
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    std::string dir = vxtest::MakeTempDir("share");
    std::string dataHome = vxtest::MakeTempDir("xdg");
    vxtest::ScopedEnv dataEnv{"XDG_DATA_HOME", dataHome.c_str()};
    std::string runtime = vxtest::MakeTempDir("run");
    vxtest::ScopedEnv runtimeEnv{"XDG_RUNTIME_DIR", runtime.c_str()};
    std::string log = dir + "/log";
    std::string launcher;
    std::string picture;
    vxtest::FakeUlvexLibrary fake;
    CWinApp app;
    std::unique_ptr<ShareDlg> dlg;
};
} // namespace

TEST_F(ShareOkTest, ThePageIsRebuiltThenThePictureIsMailedWhileComIsEndedAndComComesBackAfter)
{
    const int depth = vxwin::ComInitDepth();
    ASSERT_GE(depth, 1);
    CKVTDlg::OnShareOk();
    const std::string d = std::to_string(depth), less = std::to_string(depth - 1);
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         "confirm page, controls 0, ignore 0",
                         "couninit, depth " + less,
                         "sleep 500, depth " + less,
                         "sleep 500, depth " + less,
                         "launcher [--utf8] [--attach] [" + picture + "]",
                         "coinit, depth " + d,
                         "sleep 500, depth " + d,
                     }));
    EXPECT_EQ(vxwin::ComInitDepth(), depth);
    EXPECT_EQ(vxwin::ComUnbalancedUninitCount(), 0);
    EXPECT_EQ(dlg->m_bIgnoreDeviceArrival, FALSE);
    EXPECT_EQ(dlg->m_bSavedIgnoreDeviceArrival, TRUE);
}

TEST_F(ShareOkTest, WithoutALauncherMessage324ComesWhileComIsEndedAndComStillComesBack)
{
    MapiMailSender::SetLauncher(vxsys::Utf8ToUtf16(dir + "/no mailer"));
    const int depth = vxwin::ComInitDepth();
    CKVTDlg::OnShareOk();
    const std::string d = std::to_string(depth), less = std::to_string(depth - 1);
    EXPECT_EQ(Log(), (std::vector<std::string>{
                         "confirm page, controls 0, ignore 0",
                         "couninit, depth " + less,
                         "sleep 500, depth " + less,
                         "message Error in MAPI32.DLL",
                         "coinit, depth " + d,
                         "sleep 500, depth " + d,
                     }));
    EXPECT_EQ(vxwin::ComInitDepth(), depth);
}

TEST_F(ShareOkTest, WhenThePictureIsNotThereNothingIsMailed)
{
    // A save that failed leaves no file behind; the folder's name stands where the file was,
    // and a link to nothing is no picture either.
    const struct
    {
        const char *name;
        void (*make)(const std::string &path);
    } cases[] = {
        {"no file", [](const std::string &) {}},
        {"a folder", [](const std::string &path) { std::filesystem::create_directory(path); }},
        {"a dangling link",
         [](const std::string &path) { std::filesystem::create_symlink(path + ".gone", path); }},
    };
    const int depth = vxwin::ComInitDepth();
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(log);
        std::filesystem::remove_all(picture);
        c.make(picture);
        CKVTDlg::OnShareOk();
        EXPECT_EQ(Log(), std::vector<std::string>{"confirm page, controls 0, ignore 0"});
        EXPECT_EQ(vxwin::ComInitDepth(), depth);
    }
}

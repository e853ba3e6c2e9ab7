#pragma once
// Runs the main dialog modally as the program does, for the suites that drive the whole dialog, and
// the world such a suite runs it in.

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "app/KVTApp.h"
#include "app/KVTDlg.h"
#include "platform/win/Dialog.h"
#include "platform/win/DeviceChangeNotifier.h"
#include "store/KvtDatabase.h"
#include "tests/sharing/WebServiceTestSupport.h"
#include "tests/support/DeviceEventFeed.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/gui/GuiTestHelpers.h"
#include "tests/support/http_server/FakeXmlRpcService.h"
#include "tests/support/http_server/LoopbackHttpServer.h"
#include "tests/support/sim_ulvex/SimUlvex.h"

namespace vxtest
{
// `body` runs inside the dialog's modal loop once the start-up's device check is over; every other
// modal dialog goes to `prompt` as it is shown (without one, an unexpected prompt fails the test)
// and is then ended; the main dialog is closed after `body`.
inline void RunMainDialog(CKVTDlg &dlg, const std::function<void()> &body,
                          const std::function<void(CDialog &)> &prompt)
{
    bool ran = false;
    vxwin::SetModalHook([&](CDialog &d) {
        if (&d != static_cast<CDialog *>(&dlg))
        {
            if (prompt)
                prompt(d);
            else
                ADD_FAILURE() << "an unexpected prompt";
            if (::IsWindow(d.m_hWnd))
                d.EndDialog(IDCANCEL);
            return;
        }
        ran = true;
        EXPECT_TRUE(WaitFor([&] { return dlg.PendingDeviceChecks() == 0; }));
        ProcessEvents();
        body();
        d.PostMessage(WM_CLOSE);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(ran);
    vxwin::SetModalHook({});
}

// What a suite that runs the whole main dialog gives it: a private data folder in UTC, the Ulvex
// library with simulated ends, no proxy, a fake web service on the loopback interface for both the
// service and the reachability probe, device events from a feed in place of udev, and the
// program's pauses turned into waits until its watcher is idle, so that nothing depends on timing.
class MainDialogWorld
{
  public:
    MainDialogWorld()
    {
        vxwin::SetSleepHook([this](DWORD) {
            if (m_dlg)
                WaitFor([this] { return m_dlg->PendingDeviceChecks() == 0; });
        });
        wstest::SetServiceHost(service.Host(), service.Host());
        vxwin::SetDeviceEventSourceFactory([this] { return feed->TakeSources(); });
    }
    ~MainDialogWorld()
    {
        wstest::SetServiceHost("");
        vxwin::SetDeviceEventSourceFactory({});
        vxwin::SetSleepHook({});
        vxwin::SetModalHook({});
        app.m_pMainWnd = nullptr;
    }
    MainDialogWorld(const MainDialogWorld &) = delete;
    MainDialogWorld &operator=(const MainDialogWorld &) = delete;

    // Runs the dialog as the program does (RunMainDialog), as the application's main window and with
    // a feed of device events of its own.
    void RunDialog(CKVTDlg &dlg, const std::function<void()> &body,
                   const std::function<void(CDialog &)> &prompt = {})
    {
        m_dlg = &dlg;
        app.m_pMainWnd = &dlg;
        feed = std::make_unique<DeviceEventFeed>();
        RunMainDialog(dlg, body, prompt);
        app.m_pMainWnd = nullptr;
        m_dlg = nullptr;
    }

    // Ann's account (password "abc") in the store of the data folder, before the program starts.
    static void CreateAccount()
    {
        KvtDatabase db;
        ASSERT_TRUE(db.IsOpen());
        const DateParts birth{1, 2, 1980};
        ASSERT_EQ(db.AddUser(u"ann", u"abc", u"Ann", u"Lee", 1, &birth, 40, 170, 3, 60, 5), 1);
    }

    ScopedTimeZone zone{"UTC"};
    std::string dataHome = MakeTempDir("xdg");
    ScopedEnv env{"XDG_DATA_HOME", dataHome.c_str()};
    SimUlvexLibrary sim;
    NoProxyEnvironment noProxy;
    FakeXmlRpcService service;
    std::unique_ptr<DeviceEventFeed> feed = std::make_unique<DeviceEventFeed>();
    CKVTApp app;
    CKVTDlg *m_dlg = nullptr;
};
} // namespace vxtest

#pragma once
// Runs the main dialog modally as the program does, for the suites that drive the whole dialog.

#include <functional>
#include <gtest/gtest.h>

#include "app/KVTDlg.h"
#include "platform/win/Dialog.h"
#include "tests/support/gui/GuiTestHelpers.h"

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
} // namespace vxtest

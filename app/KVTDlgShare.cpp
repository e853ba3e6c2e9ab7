#include "app/KVTDlg.h"

#include "platform/sys/Files.h"
#include "platform/sys/TextConvert.h"
#include "sharing/MapiMailSender.h"

namespace
{
constexpr DWORD kComPause = 500;
} // namespace

void CKVTDlg::OnShareOk()
{
    CKVTDlg *dlg = FromMainWindow();
    if (!dlg)
        return;
    dlg->m_bSavedIgnoreDeviceArrival = dlg->m_bIgnoreDeviceArrival;
    dlg->m_bIgnoreDeviceArrival = FALSE;
    dlg->DestroyPageControls();
    dlg->ShowShareConfirmView();

    // Without the picture file (a save that failed removes the old one) there is nothing to
    // mail, and an older picture must never go out as this one.
    const std::u16string path = dlg->m_strSharePicturePath.str();
    if (path.empty() || vxsys::HasUnpairedSurrogate(path) || !vxsys::IsRegularFile(vxsys::Utf16ToUtf8(path)))
        return;

    const HWND window = dlg->m_hWnd;
    ::SendMessage(window, WM_KVT_COUNINIT, 0, 0);
    Sleep(kComPause);
    {
        MapiMailSender sender(window, dlg->m_nLanguage);
        sender.SetRecipient(u"");
        sender.SetSubject(u"");
        sender.SetBody(u"");
        sender.SetAttachment(path.c_str());
        sender.Send();
        ::SendMessage(window, WM_KVT_COINIT, 0, 0);
        Sleep(kComPause);
    }
}

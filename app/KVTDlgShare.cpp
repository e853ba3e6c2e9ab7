#include "app/KVTDlg.h"

#include "platform/sys/Files.h"
#include "platform/sys/TextConvert.h"
#include "sharing/MapiMailSender.h"
#include "ui/Calendar.h"
#include "ui/DataGraph.h"
#include "ui/UIStatic.h"

namespace
{
constexpr DWORD kComPause = 500;

constexpr UINT kLogOutButtonId = 1093;
constexpr UINT kPictureId = 1102;
constexpr UINT kOkButtonId = 1103;
constexpr UINT kCancelButtonId = 1104;
const CRect kLogOutRect(555, 66, 640, 89);
// The picture sits in the middle of the page, the two buttons below it.
constexpr int kPictureLeft = 100;
constexpr int kPictureTop = 130;
const CRect kOkRect(235, 330, 320, 353);
const CRect kCancelRect(380, 330, 465, 353);
} // namespace

void CKVTDlg::OnShareWithFriend()
{
    CKVTDlg *dlg = FromMainWindow();
    if (!dlg)
        return;
    dlg->RenderSharePicture(dlg->m_nCurrentView == KvtView::Goal ? TRUE : FALSE);
    if (dlg->m_pSharePicture)
        dlg->ShowShareConfirmView();
}

void CKVTDlg::ShowShareConfirmView()
{
    // The page has no state of its own: Cancel goes back to the page it came from. Device arrivals
    // are treated as on that page.
    DestroyPageControls();
    if (m_pRunGraph && m_pRunGraph->m_hWnd)
        m_pRunGraph->ShowWindow(SW_HIDE);
    if (m_pCalendar && m_pCalendar->m_hWnd)
        m_pCalendar->ShowWindow(SW_HIDE);
    BuildNavigationBar(TRUE, DeviceSettingEnabled(), TRUE, TRUE, TRUE, TRUE, TRUE);
    AddPageButton(378, kLogOutRect, kLogOutButtonId, 472, 471, 470, 471, &CKVTDlg::OnLogOut, 10);

    auto picture = std::make_unique<UIStatic>();
    const int width = m_pSharePicture ? static_cast<int>(m_pSharePicture->GetWidth()) : 0;
    const int height = m_pSharePicture ? static_cast<int>(m_pSharePicture->GetHeight()) : 0;
    picture->Create(nullptr, CRect(kPictureLeft, kPictureTop, kPictureLeft + width, kPictureTop + height),
                    this, kPictureId, WS_CHILD);
    if (m_pSharePicture)
        picture->SetImageCopy(m_pSharePicture.get(), nullptr);
    picture->ShowWindow(SW_SHOW);
    AddPageControl(std::move(picture));

    AddPageButton(402, kOkRect, kOkButtonId, 467, 466, 465, 467, &CKVTDlg::OnShareOk, 11);
    AddPageButton(340, kCancelRect, kCancelButtonId, 476, 475, 474, 476, &CKVTDlg::OnShareCancel, 11);
    AddCloseButton();
    EndPage();
}

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
    // mail, and an older picture must never go out as this one: also not one that a failed save
    // could not remove.
    const std::u16string path = dlg->m_strSharePicturePath.str();
    if (!dlg->m_bSharePictureSaved || path.empty() || vxsys::HasUnpairedSurrogate(path) ||
        !vxsys::IsRegularFile(vxsys::Utf16ToUtf8(path)))
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

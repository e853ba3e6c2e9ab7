#include "app/KVTDlg.h"

#include "device/DeviceWatcherAdapters.h"
#include "platform/sys/TextConvert.h"
#include "store/KvtDatabase.h"
#include "ui/ConnectStatusChangeDlg.h"

#include <cstring>

namespace
{
// How long a device is given to settle after the notification that requests a check.
constexpr DWORD kDeviceSettleMs = 1500;
// The stored identity is read into a buffer of this many characters.
constexpr std::uint32_t kStoredIdentitySize = 100;

// The binding over the dialog's wrapper and ID pair, keeping both alive for as long as the
// watcher holds it.
class OwningWatcherBinding : public UlvexWatcherBinding
{
  public:
    OwningWatcherBinding(std::shared_ptr<UlvexDevice> device, std::shared_ptr<UsbIdPair> ids)
        : UlvexWatcherBinding(*device, *ids), m_device(std::move(device)), m_ids(std::move(ids))
    {
    }

  private:
    std::shared_ptr<UlvexDevice> m_device;
    std::shared_ptr<UsbIdPair> m_ids;
};

class OwningWatcherHid : public SessionWatcherHid
{
  public:
    explicit OwningWatcherHid(std::shared_ptr<DeviceCommandSession> session)
        : SessionWatcherHid(*session), m_session(std::move(session))
    {
    }

  private:
    std::shared_ptr<DeviceCommandSession> m_session;
};
} // namespace

std::shared_ptr<UlvexDevice> CKVTDlg::CreateDeviceWrapper()
{
    return std::make_shared<UlvexDevice>();
}

std::shared_ptr<DeviceWatcherBinding> CKVTDlg::CreateWatcherBinding()
{
    return std::make_shared<OwningWatcherBinding>(m_pDevice, m_pUsbIds);
}

bool CKVTDlg::DeviceWorkerThread()
{
    if (!m_pDevice || !m_pUsbIds || !m_pCommandSession)
        return false;
    // The watcher posts to the window's handle, not to this object: a watcher let go at
    // closing may report after the dialog is gone, and a post to a dead handle is refused.
    const HWND window = GetSafeHwnd();
    auto post = [window](std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
        ::PostMessage(window, msg, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
    };
    m_pWatcher = std::make_unique<DeviceWatcher>(CreateWatcherBinding(),
                                                 std::make_shared<OwningWatcherHid>(m_pCommandSession),
                                                 std::make_shared<WmdmWatcherMtp>(), post);
    if (!m_pWatcher->Start())
    {
        m_pWatcher.reset();
        return false;
    }
    return true;
}

std::int32_t CKVTDlg::PendingDeviceChecks() const
{
    return m_pWatcher ? m_pWatcher->PendingChecks() : 0;
}

void CKVTDlg::WaitForFirstDeviceCheck()
{
    WaitWhileDeviceCheckPending();
}

void CKVTDlg::StopDeviceWatcher()
{
    if (!m_pWatcher || m_bWatcherLetGo)
        return;
    if (!m_pWatcher->Stop(m_nCloseWaitMs))
        m_bWatcherLetGo = true;
}

BOOL CKVTDlg::OnDeviceChange(UINT eventType, DWORD_PTR)
{
    if (eventType != DBT_DEVNODES_CHANGED && eventType != DBT_DEVICEARRIVAL &&
        eventType != DBT_DEVICEREMOVECOMPLETE)
        return TRUE;
    if (!m_pWatcher)
        return TRUE;
    // Only the notification that finds no check pending waits for the device to settle; the
    // rest of a burst arrives after it and joins the check it asks for. One that comes while
    // a check runs is still handed to the watcher, which then runs one more check: the
    // running one may have passed the device already.
    if (m_pWatcher->PendingChecks() == 0)
        Sleep(kDeviceSettleMs);
    m_pWatcher->RequestCheck();
    return TRUE;
}

void CKVTDlg::TakeFoundDevice()
{
    if (!m_pWatcher)
        return;
    const FoundDevice found = m_pWatcher->Found();
    m_bDeviceFound = found.bDeviceFound ? TRUE : FALSE;
    m_bHidAnswered = found.bHidAnswered ? TRUE : FALSE;
    m_nHidState = found.nHidState;
    m_chDriveLetter = found.chDriveLetter;
    std::memcpy(m_szDeviceId.data(), found.szDeviceId, m_szDeviceId.size());
    m_szDeviceId.back() = '\0';
    m_nDeviceTableFlag = found.nDeviceTableFlag;
    m_FirmwareVersion = FirmwareVersion{found.nFirmwareMajor, found.nFirmwareMinor, found.nFirmwareBuild};
}

CKVTDlg::StoredIdentityAnswer CKVTDlg::CompareWithStoredIdentity() const
{
    char16_t stored[kStoredIdentitySize] = {};
    if (!m_pDatabase || !m_pDatabase->GetDeviceSerialNo(stored, kStoredIdentitySize))
        return StoredIdentityAnswer::Unreadable;
    stored[kStoredIdentitySize - 1] = u'\0';
    if (stored[0] == u'\0')
        return StoredIdentityAnswer::NoneStored;
    // Exact: a letter in another case is another device, and a character beyond one byte
    // never equals a device's byte.
    return FoundIdentity() == std::u16string_view(stored) ? StoredIdentityAnswer::Same
                                                          : StoredIdentityAnswer::Another;
}

std::u16string CKVTDlg::FoundIdentity() const
{
    // The identity crosses the device boundary as single-byte text: each byte is one character.
    return vxsys::Latin1ToUtf16(std::string_view(m_szDeviceId.data()));
}

bool CKVTDlg::DeviceMatchesStoredIdentity(bool *unreadable)
{
    *unreadable = false;
    switch (CompareWithStoredIdentity())
    {
    case StoredIdentityAnswer::Unreadable:
        *unreadable = true;
        return false;
    case StoredIdentityAnswer::NoneStored:
        // The first monitor to arrive for a user becomes that user's.
        m_pDatabase->SetDeviceSerialNo(FoundIdentity().c_str());
        return true;
    case StoredIdentityAnswer::Same:
        return true;
    case StoredIdentityAnswer::Another:
        break;
    }
    return false;
}

bool CKVTDlg::FoundMonitorIsAnothers() const
{
    // Only a stored identity that was read and differs says so: an unreadable one leaves the
    // decision to the user at the upload prompt, and with none stored the monitor becomes the user's.
    return m_bDeviceFound && CompareWithStoredIdentity() == StoredIdentityAnswer::Another;
}

void CKVTDlg::OnDeviceArrived()
{
    TakeFoundDevice();
    if (m_bClosing || !m_bLoggedIn || m_bIgnoreDeviceArrival)
        return;
    // A later check has lost the device again; its removal message is on the way.
    if (!m_bDeviceFound)
        return;
    bool unreadable = false;
    const bool matching = DeviceMatchesStoredIdentity(&unreadable);
    if (unreadable)
    {
        ShowUploadPromptView();
        return;
    }
    SetClockByDeviceType();
    if (matching)
        ShowUploadPromptView();
    else
        ShowDeviceMismatchView();
}

void CKVTDlg::OnDeviceRemoved()
{
    TakeFoundDevice();
    if (m_bClosing || !m_bLoggedIn)
        return;
    m_bImported = FALSE;
    m_bUserDateSet = FALSE;
    m_nWorkoutRecordCount = 0;
    const std::weak_ptr<int> life = LifeToken();
    // No settings are edited without the device they belong to.
    if (m_nCurrentView == KvtView::DeviceSetting)
    {
        ShowHomeView();
        if (life.expired())
            return;
    }
    if (CWnd *button = GetDlgItem(kDeviceSettingButtonId))
    {
        button->EnableWindow(FALSE);
        button->Invalidate(TRUE);
    }
    if (!m_bIgnoreDeviceArrival)
        ShowConnectStatusDlg();
}

void CKVTDlg::ShowConnectStatusDlg()
{
    m_bSavedIgnoreDeviceArrival = m_bIgnoreDeviceArrival;
    m_bIgnoreDeviceArrival = TRUE;
    const std::weak_ptr<int> life = LifeToken();
    {
        CConnectStatusChangeDlg prompt(this);
        prompt.DoModal();
    }
    if (!life.expired())
        m_bIgnoreDeviceArrival = m_bSavedIgnoreDeviceArrival;
}

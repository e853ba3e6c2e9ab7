#include "app/KVTDlg.h"

#include "device/DeviceWatcherAdapters.h"

namespace
{
constexpr int kStartupWaitSleeps = 20;
constexpr DWORD kStartupWaitStepMs = 500;

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
    CWaitCursor wait;
    for (int sleeps = 0; PendingDeviceChecks() != 0 && sleeps < kStartupWaitSleeps; ++sleeps)
        Sleep(kStartupWaitStepMs);
}

void CKVTDlg::StopDeviceWatcher()
{
    if (!m_pWatcher || m_bWatcherLetGo)
        return;
    if (!m_pWatcher->Stop(m_nCloseWaitMs))
        m_bWatcherLetGo = true;
}

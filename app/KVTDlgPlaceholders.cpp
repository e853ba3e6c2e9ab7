#include "app/KVTDlg.h"

// Pages and flows that later work builds; until then each does the least it can.

void CKVTDlg::ShowHomeView()
{
    m_nCurrentView = KvtView::Home;
}

void CKVTDlg::ShowDeviceSettingView()
{
    m_nCurrentView = KvtView::DeviceSetting;
}

void CKVTDlg::ShowMySupportView()
{
    m_nCurrentView = KvtView::Support;
}

void CKVTDlg::ShowNewAccountView() {}

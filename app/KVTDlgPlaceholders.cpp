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

void CKVTDlg::OnConfirmViewSwitch() {}

void CKVTDlg::PromptDeviceNotDetected() {}

void CKVTDlg::PromptDongleOnly() {}

void CKVTDlg::PromptDeviceNotReady() {}

void CKVTDlg::ShowLoginErrorView() {}

void CKVTDlg::ShowProfileView()
{
    m_nCurrentView = KvtView::Profile;
}

void CKVTDlg::ShowRetrieveErrorView() {}

void CKVTDlg::ShowUploadDisconnectedView() {}

void CKVTDlg::DoLogOut() {}

void CKVTDlg::OnReloginContinue() {}

void CKVTDlg::BuildRunGraph() {}

void CKVTDlg::UpdateRunDetails() {}

void CKVTDlg::ShowShareConfirmView() {}

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

void CKVTDlg::ShowUploadPromptView() {}

void CKVTDlg::ShowDeviceMismatchView() {}

void CKVTDlg::LoginWithPassword(const char16_t *, const char16_t *) {}

void CKVTDlg::OnLogin() {}

void CKVTDlg::OnConfirmViewSwitch() {}

void CKVTDlg::PromptDeviceNotDetected() {}

void CKVTDlg::PromptDongleOnly() {}

void CKVTDlg::PromptDeviceNotReady() {}

void CKVTDlg::AskLastRunDate() {}

void CKVTDlg::UpdateRunDetails() {}

void CKVTDlg::ShowShareConfirmView() {}
void CKVTDlg::BuildNavigationBar(BOOL, BOOL, BOOL, BOOL, BOOL, BOOL, BOOL) {}

void CKVTDlg::OnShareWithFriend() {}

void CKVTDlg::OnLogOut() {}

#include "app/KVTDlg.h"

// Pages and flows that later work builds; until then each does the least it can.

void CKVTDlg::ShowNewAccountView() {}

void CKVTDlg::ShowGoalView()
{
    m_nCurrentView = KvtView::Goal;
}

void CKVTDlg::ShowProfileView()
{
    m_nCurrentView = KvtView::Profile;
}

void CKVTDlg::UpdateRunDetails() {}

void CKVTDlg::ShowShareConfirmView() {}

void CKVTDlg::OnShareWithFriend() {}

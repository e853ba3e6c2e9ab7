#include "app/KVTDlg.h"

// Pages and flows that later work builds; until then each does the least it can.

void CKVTDlg::ShowHomeView()
{
    m_nCurrentView = KvtView::Home;
}

void CKVTDlg::ShowMySupportView()
{
    m_nCurrentView = KvtView::Support;
}

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

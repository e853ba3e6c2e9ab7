#include "app/KVTDlg.h"

LRESULT CKVTDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_KVT_STARTUP)
        return OnStartupMessage();
    return UIDialog::WindowProc(msg, wParam, lParam);
}

LRESULT CKVTDlg::OnStartupMessage()
{
    if (!m_bClosing)
        OnStartupLogin();
    return 0;
}

void CKVTDlg::ShowLoginView()
{
    // Until the login pages exist the dialog shows only its greeting; the login page keeps
    // the page state of the main page before it.
}

void CKVTDlg::OnStartupLogin()
{
    // Until the log-in flow exists the hidden start ends by showing the window.
    ShowWindow(SW_SHOWNORMAL);
}

void CKVTDlg::OnPaint()
{
    CPaintDC dc(this);
    Draw(&dc);
    m_bRepaintOnActivate = TRUE;
}

BOOL CKVTDlg::OnEraseBkgnd(CDC *dc)
{
    if (m_bEraseBackground)
    {
        UIDialog::OnEraseBkgnd(dc);
        m_bEraseBackground = FALSE;
    }
    return TRUE;
}

void CKVTDlg::OnActivate(UINT state, CWnd *other, BOOL minimized)
{
    UIDialog::OnActivate(state, other, minimized);
    if (state != WA_INACTIVE && m_bRepaintOnActivate)
    {
        Invalidate(TRUE);
        m_bRepaintOnActivate = FALSE;
    }
}

HICON CKVTDlg::OnQueryDragIcon()
{
    return m_hIcon;
}

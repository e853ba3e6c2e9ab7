#include "app/KVTDlg.h"

#include "app/AboutDlg.h"

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
    if (IsIconic())
    {
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
        CRect client;
        GetClientRect(&client);
        const int x = (client.Width() - GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.Height() - GetSystemMetrics(SM_CYICON) + 1) / 2;
        dc.DrawIcon(x, y, m_hIcon);
        return;
    }
    Draw(&dc);
    m_bRepaintOnActivate = TRUE;
}

void CKVTDlg::OnSysCommand(UINT id, LPARAM lParam)
{
    if ((id & 0xFFF0) == IDM_ABOUTBOX)
    {
        CAboutDlg about(m_nLanguage, this);
        about.DoModal();
        return;
    }
    UIDialog::OnSysCommand(id, lParam);
}

void CKVTDlg::GetLastRunKeys(DWORD *dateKey, DWORD *timeKey) const
{
    if (dateKey)
        *dateKey = (static_cast<DWORD>(m_LastRunDate.year) << 16) |
                   (static_cast<DWORD>(m_LastRunDate.month) << 8) | m_LastRunDate.day;
    if (timeKey)
        *timeKey = (static_cast<DWORD>(m_LastRunTime.hour) << 16) |
                   (static_cast<DWORD>(m_LastRunTime.minute) << 8) | m_LastRunTime.second;
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

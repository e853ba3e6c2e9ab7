#include "app/KVTDlg.h"
#include "platform/win/Com.h"

#include "app/AboutDlg.h"
#include "app/CopyDataLogin.h"
#include "app/KVTApp.h"
#include "store/KvtDatabase.h"
#include "ui/PromptDialogs.h"

#include <algorithm>

LRESULT CKVTDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    // A handler may run a modal prompt or a page change whose nested loop ends the dialog.
    const std::weak_ptr<int> life = LifeToken();
    switch (msg)
    {
    case WM_KVT_DEVICE_ARRIVED:
        OnDeviceArrived();
        break;
    case WM_KVT_DEVICE_REMOVED:
        OnDeviceRemoved();
        break;
    case WM_KVT_CENTER_WINDOW:
        CenterOnScreen();
        break;
    case WM_KVT_COINIT:
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        break;
    case WM_KVT_COUNINIT:
        CoUninitialize();
        break;
    case WM_KVT_CONFIRM_VIEW_SWITCH:
        OnConfirmViewSwitch();
        break;
    case WM_KVT_DEVICE_NOT_DETECTED:
        PromptDeviceNotDetected();
        break;
    case WM_KVT_DONGLE_ONLY:
        PromptDongleOnly();
        break;
    case WM_KVT_DEVICE_NOT_READY:
        PromptDeviceNotReady();
        break;
    case WM_KVT_ASK_DATE:
        AskLastRunDate();
        break;
    case WM_KVT_SHARE_TO_WEBAPP:
        ShareToWebApp();
        break;
    case WM_KVT_OPEN_WEBAPP_PAGE:
        OpenWebAppPage();
        break;
    case WM_KVT_STARTUP:
        OnStartupMessage();
        break;
    case WM_KVT_WEBAPP_UPDATE_FAILED:
        ShowWebAppUpdateFailed();
        break;
    case WM_KVT_NO_INTERNET:
        ShowNoInternetMessage();
        break;
    case WM_KVT_OTHER_APP_RUNNING:
        ShowOtherAppRunningMessage();
        break;
    case WM_KVT_GRAPH_POINT:
        OnGraphPoint(static_cast<int>(lParam));
        break;
    case WM_KVT_GRAPH_PREV:
        OnGraphArrow(false);
        break;
    case WM_KVT_GRAPH_NEXT:
        OnGraphArrow(true);
        break;
    case WM_KVT_DATE_SELECTED:
        OnDateSelected(lParam);
        break;
    default:
        break;
    }
    if (life.expired())
        return 0;
    return UIDialog::WindowProc(msg, wParam, lParam);
}

LRESULT CKVTDlg::OnStartupMessage()
{
    if (!m_bClosing)
        OnStartupLogin();
    return 0;
}

BOOL CKVTDlg::OnCopyData(CWnd *, COPYDATASTRUCT *data)
{
    CopyDataLogin request;
    if (!m_bLoggedIn && data && ParseCopyDataLogin(data->dwData, data->lpData, data->cbData, &request))
    {
        std::u16string password;
        if (m_pDatabase && m_pDatabase->DecryptPassword(request.passwordText.c_str(), &password))
        {
            if (CWnd *name = GetDlgItem(kLoginNameId))
                name->SetWindowText(request.userId.c_str());
            if (CWnd *field = GetDlgItem(kLoginPasswordId))
                field->SetWindowText(password.c_str());
            std::fill(password.begin(), password.end(), u'\0');
        }
        const std::weak_ptr<int> life = LifeToken();
        OnLogin();
        if (life.expired())
            return TRUE;
    }
    ActivateProgramWindow();
    return TRUE;
}

void CKVTDlg::ActivateProgramWindow()
{
    if (auto *app = dynamic_cast<CKVTApp *>(AfxGetApp()))
        app->ActivateRunningInstance();
}

void CKVTDlg::OnStartupLogin()
{
    const std::weak_ptr<int> life = LifeToken();
    std::u16string password;
    if (m_pDatabase && m_pDatabase->DecryptPassword(m_strCmdPassword.str().c_str(), &password))
        LoginWithPassword(m_strCmdUser.str().c_str(), password.c_str());
    else
        ShowLoginView();
    std::fill(password.begin(), password.end(), u'\0');
    // OnInitDialog hid the window for the command-line start.
    if (!life.expired() && ::IsWindow(m_hWnd))
        ShowWindow(SW_SHOWNORMAL);
}

namespace
{
constexpr UINT kIdsErrorOccurred = 582;
constexpr UINT kIdsWebAppUpdateFailed = 583;
constexpr UINT kIdsNoInternet = 584;
constexpr UINT kIdsOtherAppRunning = 725;
} // namespace

void CKVTDlg::ShowWebAppUpdateFailed()
{
    RunMessagePrompt(kIdsWebAppUpdateFailed, false);
}

void CKVTDlg::ShowNoInternetMessage()
{
    RunMessagePrompt(kIdsNoInternet, true);
}

void CKVTDlg::ShowOtherAppRunningMessage()
{
    RunMessagePrompt(kIdsOtherAppRunning, true);
}

void CKVTDlg::RunMessagePrompt(UINT messageId, bool holdDeviceArrivals)
{
    // Kept here, not in the dialog's saved flag: another prompt may open inside this one's loop
    // and save the flag too.
    const BOOL ignoreBefore = m_bIgnoreDeviceArrival;
    if (holdDeviceArrivals)
        m_bIgnoreDeviceArrival = TRUE;
    CDialog *const outerPrompt = m_pMessageDlg;
    const std::weak_ptr<int> life = LifeToken();
    {
        CMessageDlg prompt(m_nLanguage, this);
        prompt.m_nTitleId = kIdsErrorOccurred;
        prompt.m_nMessageId = messageId;
        m_pMessageDlg = &prompt;
        prompt.DoModal();
        if (life.expired())
            return;
        m_pMessageDlg = outerPrompt;
    }
    if (holdDeviceArrivals)
        m_bIgnoreDeviceArrival = ignoreBefore;
}

void CKVTDlg::CenterOnScreen()
{
    const auto screenWidth = static_cast<unsigned>(GetSystemMetrics(SM_CXFULLSCREEN));
    const auto screenHeight = static_cast<unsigned>(GetSystemMetrics(SM_CYFULLSCREEN));
    CRect window;
    GetWindowRect(&window);
    const int x = static_cast<int>(screenWidth / 2) - window.Width() / 2;
    const int y = static_cast<int>(screenHeight / 2) - window.Height() / 2;
    SetWindowPos(&wndTop, x, y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
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

#include "app/KVTDlg.h"

#include "app/DefaultBrowser.h"
#include "app/DialogText.h"
#include "platform/net/WinInet.h"
#include "platform/sys/TextConvert.h"
#include "sharing/FacebookInfoDlg.h"
#include "sharing/WebService.h"
#include "store/KvtDatabase.h"

namespace
{
constexpr char kProbeAgent[] = "Vormatik";
// The probe runs on the UI thread under the wait cursor: it must not hang there for long.
constexpr std::uint32_t kProbeConnectTimeoutMs = 10000;
constexpr std::uint32_t kProbeReceiveTimeoutMs = 10000;
constexpr UINT kSaveProfileFailed = 236;

// Stores the credentials for the logged-in user; the uploads of this session then use what was
// just stored, not what the log-in loaded.
int StoreCredentials(CKVTDlg &dialog, const char16_t *email, const char16_t *password)
{
    if (!dialog.SaveWebAppCredentials(email, password))
        return 0;
    CopyText(dialog.m_szWebUser, email);
    CopyText(dialog.m_szWebPassword, password);
    return 1;
}

// The main dialog as the credential dialogs see it, for as long as one of them runs.
class DialogWebAppSeam : public WebAppSeam
{
  public:
    explicit DialogWebAppSeam(CKVTDlg &dialog) : m_dialog(dialog), m_previous(vxsharing::GetWebAppSeam())
    {
        vxsharing::SetWebAppSeam(this);
    }
    ~DialogWebAppSeam() override { vxsharing::SetWebAppSeam(m_previous); }
    DialogWebAppSeam(const DialogWebAppSeam &) = delete;
    DialogWebAppSeam &operator=(const DialogWebAppSeam &) = delete;

    CFacebookInfoDlg *GetOpenFacebookInfoDlg() const override
    {
        return dynamic_cast<CFacebookInfoDlg *>(m_dialog.m_pSocialSiteDlg);
    }
    CFacebookInfoErrorDlg *GetOpenFacebookInfoErrorDlg() const override
    {
        return dynamic_cast<CFacebookInfoErrorDlg *>(m_dialog.m_pSocialLoginDlg);
    }
    int IsInternetReachable(int pauseMs, int tries) override
    {
        return m_dialog.IsInternetReachable(pauseMs, tries);
    }
    int SaveWebAppCredentials(const char16_t *email, const char16_t *password) override
    {
        return StoreCredentials(m_dialog, email, password);
    }
    void PostNoInternetMessage() override { m_dialog.PostMessage(WM_KVT_NO_INTERNET); }

  private:
    CKVTDlg &m_dialog;
    WebAppSeam *m_previous;
};

// Device arrivals are not acted on while a credential dialog runs; the flag comes back as it
// was, whatever the dialog's end.
class IgnoreDeviceArrivals
{
  public:
    explicit IgnoreDeviceArrivals(BOOL &flag) : m_flag(flag), m_saved(flag) { m_flag = TRUE; }
    ~IgnoreDeviceArrivals() { m_flag = m_saved; }
    IgnoreDeviceArrivals(const IgnoreDeviceArrivals &) = delete;
    IgnoreDeviceArrivals &operator=(const IgnoreDeviceArrivals &) = delete;

  private:
    BOOL &m_flag;
    BOOL m_saved;
};

// Runs the dialog modally while the main dialog's pointer names it.
template <typename Dialog> INT_PTR RunCredentialDialog(CKVTDlg &main, Dialog &dialog, CDialog *&openDialog)
{
    DialogWebAppSeam seam(main);
    IgnoreDeviceArrivals ignore(main.m_bIgnoreDeviceArrival);
    CDialog *const previous = openDialog;
    openDialog = &dialog;
    const INT_PTR result = dialog.DoModal();
    openDialog = previous;
    return result;
}

} // namespace

int CKVTDlg::IsInternetReachable(int pauseMs, int tries)
{
    if (tries < 1 || (tries > 1 && pauseMs < 0))
        return 0;
    // One try may still come with a negative pause; taken as unsigned it would sleep for weeks.
    const DWORD pause = pauseMs < 0 ? 0 : static_cast<DWORD>(pauseMs);
    HINTERNET session = InternetOpenA(kProbeAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session)
        return 0;
    InternetSetOptionA(session, INTERNET_OPTION_CONNECT_TIMEOUT, &kProbeConnectTimeoutMs,
                       sizeof kProbeConnectTimeoutMs);
    InternetSetOptionA(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &kProbeReceiveTimeoutMs,
                       sizeof kProbeReceiveTimeoutMs);
    const std::string url = WebAppPageUrl();
    for (int i = 0; i < tries; ++i)
    {
        if (HINTERNET page = InternetOpenUrlA(session, url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0))
        {
            InternetCloseHandle(page);
            InternetCloseHandle(session);
            return 1;
        }
        Sleep(pause);
    }
    InternetCloseHandle(session);
    return 0;
}

void CKVTDlg::ShareToWebApp()
{
    CFacebookInfoDlg dialog(m_nLanguage, this);
    if (RunCredentialDialog(*this, dialog, m_pSocialSiteDlg) != IDOK)
        return;

    CWaitCursor wait;
    if (!IsInternetReachable(0, 1))
    {
        wait.Restore();
        ShowNoInternetMessage();
        return;
    }
    const int result = WsCheckFacebookLogin(dialog.m_strEmail.GetString(), dialog.m_strPassword.GetString());
    if (result < 0)
    {
        // The page answered but the service did not: nothing was verified, so nothing is stored.
        wait.Restore();
        ShowNoInternetMessage();
        return;
    }
    if (result == 0)
    {
        wait.Restore();
        OpenWebAppPage();
        return;
    }
    // Any acceptance counts here, 1 included, unlike in the re-entry dialog.
    if (StoreCredentials(*this, dialog.m_strEmail.GetString(), dialog.m_strPassword.GetString()))
        OpenUrlInBrowser(vxsys::Utf8ToUtf16(WebAppPageUrl()));
    else
        ShowStatusText(kSaveProfileFailed);
}

void CKVTDlg::OpenWebAppPage()
{
    CFacebookInfoErrorDlg dialog(m_nLanguage, this);
    if (RunCredentialDialog(*this, dialog, m_pSocialLoginDlg) == IDOK)
        OpenUrlInBrowser(vxsys::Utf8ToUtf16(WebAppPageUrl()));
}

int CKVTDlg::OpenUrlInBrowser(const std::u16string &address)
{
    return ::OpenUrlInBrowser(address);
}

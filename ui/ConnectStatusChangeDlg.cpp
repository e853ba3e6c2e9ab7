#include "ui/ConnectStatusChangeDlg.h"

#include "ui/MainDialogSeam.h"

namespace
{
constexpr UINT kBackground = 106;
constexpr WORD kImageLanguage = 1033;
constexpr UINT kConnectedText = 269;
constexpr UINT kDisconnectedText = 270;
constexpr ARGB kCaptionColour = 0xFF4D4948;
constexpr ARGB kTitleColour = 0xFFFFFFFF;
} // namespace

CConnectStatusChangeDlg::CConnectStatusChangeDlg(CWnd *parent) : UIDialog(kTemplate, parent) {}

CConnectStatusChangeDlg::~CConnectStatusChangeDlg()
{
    // The labels go before the dialog's window.
    m_pImage.reset();
    m_pCaption.reset();
    m_pTitle.reset();
}

BOOL CConnectStatusChangeDlg::OnInitDialog()
{
    UIDialog::OnInitDialog();
    const MainDialogSeam *main = vxui::GetMainDialogSeam();
    const WORD language = main ? main->GetLanguage() : vxwin::GetDefaultLanguage();
    const int style = language == 1028 ? 0 : 1;
    SetBackgroundImage(kBackground, kImageLanguage);

    const bool connected = m_nConnected != 0;
    m_pImage = std::make_unique<UIStatic>();
    m_pImage->Create(nullptr, CRect(275, 240, 423, 296), this, connected ? 1062 : 1063, WS_CHILD);
    m_pImage->SetImageResource(connected ? 128 : 129, 0, kImageLanguage);

    CString text;
    text.LoadString(nullptr, connected ? kConnectedText : kDisconnectedText, language);
    m_pCaption = std::make_unique<UIStatic>();
    m_pCaption->SetTextColor(kCaptionColour);
    m_pCaption->SetFontSize(11);
    m_pCaption->SetFontStyle(style);
    m_pCaption->SetAlignment(1);
    m_pCaption->Create(text.GetString(), CRect(275, 296, 423, 316), this, 1260, WS_CHILD);

    m_pTitle = std::make_unique<UIStatic>();
    m_pTitle->SetTextColor(kTitleColour);
    m_pTitle->SetFontSize(18);
    m_pTitle->SetFontStyle(style);
    m_pTitle->Create(text.GetString(), CRect(40, 62, 240, 92), this, 1215, WS_CHILD);

    m_pImage->ShowWindow(SW_SHOW);
    m_pCaption->ShowWindow(SW_SHOW);
    m_pTitle->ShowWindow(SW_SHOW);
    SetTimer(kCloseTimer, m_nDisplayTime);
    return TRUE;
}

void CConnectStatusChangeDlg::OnTimer(UINT_PTR id)
{
    if (id != kCloseTimer)
        return;
    KillTimer(kCloseTimer);
    OnCancel();
}

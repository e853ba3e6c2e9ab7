#include "sharing/FacebookInfoDlg.h"

#include "sharing/WebService.h"

namespace
{
constexpr WORD kImageLanguage = 1033;
constexpr UINT kFirstBackground = 572;
constexpr UINT kSecondBackground = 573;
constexpr UINT kEmailText = 576;
constexpr UINT kPasswordText = 577;
constexpr UINT kIncorrectText = 578;
constexpr UINT kSaveFailedText = 360;
constexpr UINT kCancelText = 340;
constexpr UINT kContinueText = 342;
constexpr ARGB kLightLabel = 0xFFFFFFFF;
constexpr ARGB kDarkLabel = 0xFF4D4948;
constexpr ARGB kButtonText = 0xFF383431;
constexpr ARGB kButtonTextLit = 0xFFFFFFFF;
// Gdiplus::StringAlignmentFar
constexpr int kAlignRight = 2;

WebAppSeam *g_seam = nullptr;

CString LoadText(UINT id, WORD language)
{
    CString text;
    text.LoadString(nullptr, id, language);
    return text;
}

std::unique_ptr<UIStatic> MakeLabel(CWnd *parent, const CString &text, const CRect &rect, UINT id,
                                    ARGB colour)
{
    auto label = std::make_unique<UIStatic>();
    label->SetTextColor(colour);
    label->SetAlignment(kAlignRight);
    label->Create(text.GetString(), rect, parent, id, WS_CHILD | WS_VISIBLE);
    return label;
}

std::unique_ptr<UIEdit> MakeEdit(CWnd *parent, const CRect &rect, UINT id, bool password)
{
    auto edit = std::make_unique<UIEdit>();
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
    if (password)
        style |= ES_PASSWORD;
    edit->Create(style, rect, parent, id);
    edit->SetFontSize(10);
    edit->SetMargins(8, 8);
    edit->SetLimitText(CFacebookInfoDlg::kMaxText);
    edit->SetFocus();
    edit->BringWindowToTop();
    return edit;
}

std::unique_ptr<UIButton> MakeButton(CWnd *parent, UINT textId, WORD language, const CRect &rect, UINT id,
                                     UINT normal, UINT middle, UINT pressed, ButtonClickCallback callback)
{
    auto button = std::make_unique<UIButton>();
    button->SetTextColors(kButtonText, kButtonTextLit, kButtonTextLit, kButtonText);
    button->SetFontSize(11);
    button->SetAlignment(1);
    button->m_bCacheBackground = TRUE;
    button->Create(LoadText(textId, language).GetString(), rect, parent, id);
    button->SetImages(normal, middle, pressed, middle, kImageLanguage);
    button->SetClickCallback(callback);
    button->ShowWindow(SW_SHOW);
    return button;
}

bool HoldsText(const UIEdit *edit)
{
    return edit && edit->GetWindowTextLength() > 0;
}

// The field's text, at most the characters the field takes.
CString FieldText(const UIEdit *edit)
{
    CString text;
    edit->GetWindowText(text);
    return CString(text.str().substr(0, CFacebookInfoDlg::kMaxText));
}
} // namespace

namespace vxsharing
{
void SetWebAppSeam(WebAppSeam *seam)
{
    g_seam = seam;
}

WebAppSeam *GetWebAppSeam()
{
    return g_seam;
}
} // namespace vxsharing

// ---- CFacebookInfoDlg ----

CFacebookInfoDlg::CFacebookInfoDlg(WORD language, CWnd *parent)
    : UIDialog(kTemplate, parent), m_wLanguage(language)
{
}

CFacebookInfoDlg::~CFacebookInfoDlg()
{
    // The controls go before the dialog's window.
    m_pEmailLabel.reset();
    m_pPasswordLabel.reset();
    m_pEmailEdit.reset();
    m_pPasswordEdit.reset();
    m_pContinue.reset();
    m_pCancel.reset();
}

BOOL CFacebookInfoDlg::OnInitDialog()
{
    UIDialog::OnInitDialog();
    SetBackgroundImage(kFirstBackground, kImageLanguage);
    m_pEmailLabel = MakeLabel(this, LoadText(kEmailText, m_wLanguage) + u":", CRect(10, 33, 80, 53),
                              kEmailLabel, kLightLabel);
    m_pPasswordLabel = MakeLabel(this, LoadText(kPasswordText, m_wLanguage) + u":", CRect(10, 59, 80, 79),
                                 kPasswordLabel, kLightLabel);
    m_pCancel = MakeButton(this, kCancelText, m_wLanguage, CRect(45, 90, 130, 113), kCancelButton, 472, 471,
                           470, &CFacebookInfoDlg::OnCancelClicked);
    m_pContinue = MakeButton(this, kContinueText, m_wLanguage, CRect(135, 90, 220, 113), kContinueButton, 480,
                             479, 478, &CFacebookInfoDlg::OnContinue);
    // The e-mail field is made last so that it has the focus.
    m_pPasswordEdit = MakeEdit(this, CRect(85, 62, 220, 78), kPasswordEdit, true);
    m_pEmailEdit = MakeEdit(this, CRect(85, 36, 220, 52), kEmailEdit, false);
    return FALSE;
}

void CFacebookInfoDlg::OnOK()
{
    if (!HoldsText(m_pEmailEdit.get()) || !HoldsText(m_pPasswordEdit.get()))
        return;
    if (m_pEmailEdit)
        m_pEmailEdit->GetWindowText(m_strEmail);
    if (m_pPasswordEdit)
        m_pPasswordEdit->GetWindowText(m_strPassword);
    EndDialog(IDOK);
}

void CFacebookInfoDlg::OnContinue()
{
    WebAppSeam *seam = vxsharing::GetWebAppSeam();
    CFacebookInfoDlg *dlg = seam ? seam->GetOpenFacebookInfoDlg() : nullptr;
    if (!dlg || !dlg->GetSafeHwnd())
        return;
    dlg->OnOK();
}

void CFacebookInfoDlg::OnCancelClicked()
{
    WebAppSeam *seam = vxsharing::GetWebAppSeam();
    if (CFacebookInfoDlg *dlg = seam ? seam->GetOpenFacebookInfoDlg() : nullptr)
        dlg->EndDialog(IDCANCEL);
}

// ---- CFacebookInfoErrorDlg ----

CFacebookInfoErrorDlg::CFacebookInfoErrorDlg(WORD language, CWnd *parent)
    : UIDialog(kTemplate, parent), m_wLanguage(language)
{
}

CFacebookInfoErrorDlg::~CFacebookInfoErrorDlg()
{
    m_pMessage.reset();
    m_pEmailLabel.reset();
    m_pPasswordLabel.reset();
    m_pEmailEdit.reset();
    m_pPasswordEdit.reset();
    m_pContinue.reset();
    m_pCancel.reset();
}

BOOL CFacebookInfoErrorDlg::OnInitDialog()
{
    UIDialog::OnInitDialog();
    SetBackgroundImage(kSecondBackground, kImageLanguage);
    m_pMessage = std::make_unique<UIStatic>();
    m_pMessage->SetTextColor(kDarkLabel);
    m_pMessage->SetFontSize(10);
    m_pMessage->Create(LoadText(kIncorrectText, m_wLanguage).GetString(), CRect(5, 5, 205, 31), this,
                       kMessageLabel, WS_CHILD | WS_VISIBLE);
    m_pEmailLabel = MakeLabel(this, LoadText(kEmailText, m_wLanguage) + u":", CRect(10, 35, 80, 55),
                              CFacebookInfoDlg::kEmailLabel, kDarkLabel);
    m_pPasswordLabel = MakeLabel(this, LoadText(kPasswordText, m_wLanguage) + u":", CRect(10, 60, 80, 80),
                                 CFacebookInfoDlg::kPasswordLabel, kDarkLabel);
    m_pCancel =
        MakeButton(this, kCancelText, m_wLanguage, CRect(45, 90, 130, 113), CFacebookInfoDlg::kCancelButton,
                   472, 471, 470, &CFacebookInfoErrorDlg::OnCancelClicked);
    m_pContinue =
        MakeButton(this, kContinueText, m_wLanguage, CRect(135, 90, 220, 113),
                   CFacebookInfoDlg::kContinueButton, 480, 479, 478, &CFacebookInfoErrorDlg::OnLogin);
    m_pPasswordEdit = MakeEdit(this, CRect(85, 62, 210, 78), CFacebookInfoDlg::kPasswordEdit, true);
    m_pEmailEdit = MakeEdit(this, CRect(85, 37, 210, 53), CFacebookInfoDlg::kEmailEdit, false);
    return FALSE;
}

void CFacebookInfoErrorDlg::OnLogin()
{
    WebAppSeam *seam = vxsharing::GetWebAppSeam();
    CFacebookInfoErrorDlg *dlg = seam ? seam->GetOpenFacebookInfoErrorDlg() : nullptr;
    if (!dlg || !dlg->GetSafeHwnd())
        return;
    dlg->Login(*seam);
}

void CFacebookInfoErrorDlg::OnCancelClicked()
{
    WebAppSeam *seam = vxsharing::GetWebAppSeam();
    if (CFacebookInfoErrorDlg *dlg = seam ? seam->GetOpenFacebookInfoErrorDlg() : nullptr)
        dlg->EndDialog(IDCANCEL);
}

void CFacebookInfoErrorDlg::Login(WebAppSeam &seam)
{
    if (!HoldsText(m_pEmailEdit.get()) || !HoldsText(m_pPasswordEdit.get()))
        return;
    const CString email = FieldText(m_pEmailEdit.get());
    const CString password = FieldText(m_pPasswordEdit.get());
    CWaitCursor wait;
    if (!seam.IsInternetReachable(0, 1))
    {
        seam.PostNoInternetMessage();
        EndDialog(IDCANCEL);
        return;
    }
    // Only an answer above 1 is an acceptance here; 0 and 1 are refusals to try again.
    const int result = WsCheckFacebookLogin(email.GetString(), password.GetString());
    if (result > 1)
    {
        if (seam.SaveWebAppCredentials(email.GetString(), password.GetString()))
        {
            EndDialog(IDOK);
            return;
        }
        if (m_pMessage)
        {
            m_pMessage->SetText(LoadText(kSaveFailedText, m_wLanguage).GetString());
            m_pMessage->Invalidate();
        }
    }
    else if (result >= 0)
    {
        m_pEmailEdit->SetWindowText(u"");
        m_pPasswordEdit->SetWindowText(u"");
    }
    else
        EndDialog(IDCANCEL);
}

#include "app/KVTDlg.h"

#include "store/KvtDatabase.h"
#include "ui/UIEdit.h"
#include "ui/UIStatic.h"

namespace
{
constexpr ARGB kBodyTextColour = 0xFF838281;
constexpr ARGB kErrorTextColour = 0xFFDA251D;
constexpr COLORREF kFieldTextColour{0x605D5C};

constexpr UINT kLoginTitle = 156;
constexpr UINT kReloginTitle = 161;
constexpr UINT kLoginText = 379;
constexpr UINT kSignUpText = 423;
constexpr UINT kExitText = 361;
constexpr UINT kNameText = 394;
constexpr UINT kLoginNameText = 381;
constexpr UINT kPasswordText = 403;

constexpr UINT kLoginButtonId = 1002;
constexpr UINT kHeadingId = 1220;
constexpr UINT kNameLabelId = 1221;
constexpr UINT kPasswordLabelId = 1222;
constexpr UINT kSidePictureId = 1008;

const CRect kPictureRect(350, 150, 450, 250);
const CRect kLoginButtonRect(515, 256, 600, 276);
const CRect kSecondButtonRect(515, 306, 600, 326);
const CRect kNameFieldRect(442, 185, 597, 203);
const CRect kPasswordFieldRect(442, 210, 597, 228);
const CRect kSidePictureRect(16, 345, 216, 475);
const CRect kHeadingRect(442, 152, 690, 172);
const CRect kNameLabelRect(300, 186, 436, 204);
const CRect kPasswordLabelRect(300, 211, 436, 229);

void EnterLogsIn(CKVTDlg *dialog)
{
    dialog->OnLogin();
}
} // namespace

void CKVTDlg::OnLoginButton()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->OnLogin();
}

void CKVTDlg::AddLoginFields()
{
    // The password field first, as on every login page.
    for (const UINT id : {kLoginPasswordId, kLoginNameId})
    {
        auto field = std::make_unique<UIEdit>();
        const bool password = id == kLoginPasswordId;
        field->SetTextColor(kFieldTextColour);
        field->SetFontSize(12);
        if (!password)
            field->SetRoundFrame(8, 8);
        field->Create(WS_CHILD | ES_AUTOHSCROLL | (password ? ES_PASSWORD : 0),
                      password ? kPasswordFieldRect : kNameFieldRect, this, id);
        field->LimitText(kLoginFieldLimit);
        field->ShowWindow(SW_SHOW);
        AddPageControl(std::move(field));
    }
}

void CKVTDlg::ShowLoginView()
{
    // Nobody is logged in: a device that arrives now has nobody to belong to.
    BeginPage(TRUE, kLoginTitle);
    AddPagePicture(107, kPictureRect, 1001);
    AddPageButton(kLoginText, kLoginButtonRect, kLoginButtonId, 464, 464, 462, 463, &CKVTDlg::OnLoginButton);
    if (UIButton *signUp =
            AddPageButton(kSignUpText, kSecondButtonRect, 1003, 467, 467, 465, 466, &CKVTDlg::OnStartNewAccount))
        signUp->SetText((LoadStringText(kSignUpText) + u" >").GetString());
    AddLoginFields();
    AddPagePicture(118, kSidePictureRect, kSidePictureId);
    AddCloseButton();
    AddPageLabel(410, kHeadingRect, kHeadingId, kBodyTextColour, 12);
    if (UIStatic *name = AddPageLabel(0, kNameLabelRect, kNameLabelId, kBodyTextColour, 12, 2))
        name->SetText((LoadStringText(kNameText) + u":").GetString());
    if (UIStatic *password = AddPageLabel(0, kPasswordLabelRect, kPasswordLabelId, kBodyTextColour, 12, 2))
        password->SetText((LoadStringText(kPasswordText) + u":").GetString());
    AddPageLabel(371, CRect(250, 284, 600, 302), 1223, kBodyTextColour, 12, 2);
    m_pfnEnterAction = &EnterLogsIn;
    EndPage();
}

void CKVTDlg::ShowLoginErrorView()
{
    // A new page over the login page: its fields start empty. The title stays as it is.
    m_bSavedIgnoreDeviceArrival = m_bIgnoreDeviceArrival;
    m_bIgnoreDeviceArrival = TRUE;
    DestroyPageControls();
    AddPagePicture(122, kPictureRect, 1013);
    AddPageButton(kLoginText, kLoginButtonRect, kLoginButtonId, 464, 464, 462, 463, &CKVTDlg::OnLoginButton);
    AddPageButton(kExitText, kSecondButtonRect, 1195, 476, 476, 474, 475, &CKVTDlg::OnCloseButton);
    AddLoginFields();
    AddPagePicture(118, kSidePictureRect, kSidePictureId);
    AddCloseButton();
    AddPageLabel(358, kHeadingRect, kHeadingId, kErrorTextColour, 12);
    if (UIStatic *name = AddPageLabel(0, kNameLabelRect, kNameLabelId, kBodyTextColour, 12, 2))
        name->SetText((LoadStringText(kNameText) + u":").GetString());
    if (UIStatic *password = AddPageLabel(0, kPasswordLabelRect, kPasswordLabelId, kBodyTextColour, 12, 2))
        password->SetText((LoadStringText(kPasswordText) + u":").GetString());
    AddPageLabel(450, CRect(60, 112, 660, 132), 1245, kErrorTextColour, 12, 1);
    m_pfnEnterAction = &EnterLogsIn;
    EndPage();
}

void CKVTDlg::ShowReloginView()
{
    // The arrival flag stays as the page before left it.
    BeginPage(m_bIgnoreDeviceArrival, kReloginTitle);
    AddPagePicture(130, kPictureRect, 1067);
    AddPageButton(kLoginText, kLoginButtonRect, kLoginButtonId, 464, 464, 462, 463, &CKVTDlg::OnLoginButton);
    AddLoginFields();
    AddCloseButton();
    AddPageLabel(380, kHeadingRect, kHeadingId, kBodyTextColour, 12);
    if (UIStatic *name = AddPageLabel(0, kNameLabelRect, kNameLabelId, kBodyTextColour, 12, 2))
        name->SetText((LoadStringText(kLoginNameText) + u":").GetString());
    if (UIStatic *password = AddPageLabel(0, kPasswordLabelRect, kPasswordLabelId, kBodyTextColour, 12, 2))
        password->SetText((LoadStringText(kPasswordText) + u":").GetString());
    m_pfnEnterAction = &EnterLogsIn;
    EndPage();
}

void CKVTDlg::OnStartNewAccount()
{
    CKVTDlg *dlg = FromMainWindow();
    if (!dlg)
        return;
    // The sign-up form always opens in imperial units.
    dlg->SetDistanceUnit(FALSE);
    dlg->ShowNewAccountView();
}

void CKVTDlg::OnReloginContinue()
{
    CKVTDlg *dlg = FromMainWindow();
    if (!dlg)
        return;
    if (dlg->m_pPromptDlg)
        dlg->m_pPromptDlg->EndDialog(IDOK);
    if (!dlg->m_pDatabase || !dlg->m_pDatabase->Logout())
    {
        dlg->ShowLogOutErrorView();
        return;
    }
    dlg->m_bLoggedIn = FALSE;
    dlg->m_bImported = FALSE;
    dlg->ResetUserSession();
    dlg->ShowReloginView();
}

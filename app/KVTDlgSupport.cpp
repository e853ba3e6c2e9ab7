// The My Support page with the program's name and version, and the removal of an account: the
// warning page, the deletion itself and the page that confirms it.

#include "app/KVTDlg.h"
#include "app/ModuleVersion.h"
#include "store/KvtDatabase.h"
#include "ui/UIButton.h"
#include "ui/UIStatic.h"

namespace
{
constexpr ARGB kTextColour = 0xFF4D4948;
constexpr ARGB kWarningColour = 0xFFDA251D;
constexpr ARGB kBodyTextColour = 0xFF838281;

constexpr UINT kSupportTitle = 198;
constexpr UINT kRemoveAccountText = 214;
constexpr UINT kVersionWord = 207;
constexpr UINT kVersionUnavailable = 715;
constexpr UINT kLogOutText = 378;
constexpr UINT kDataEditTitle = 189;

constexpr UINT kLogOutButtonId = 1093;
constexpr UINT kRemoveAccountButtonId = 1142;
constexpr UINT kVersionLabelId = 1143;
const CRect kLogOutRect(555, 66, 640, 89);
const CRect kWarningPictureRect(80, 150, 144, 214);

void AddLogOutButton(CKVTDlg &dlg)
{
    dlg.AddPageButton(kLogOutText, kLogOutRect, kLogOutButtonId, 472, 471, 470, 471, &CKVTDlg::OnLogOut, 10);
}
} // namespace

// ---- My Support ------------------------------------------------------------------------------

int CKVTDlg::LoadProgramVersion(CModuleVersion *version)
{
    return version ? version->Load(nullptr) : 0;
}

CString CKVTDlg::VersionText()
{
    CModuleVersion version;
    if (!LoadProgramVersion(&version))
        return LoadStringText(kVersionUnavailable);
    return CString(version.GetProductName()) + u" " + LoadStringText(kVersionWord) + u" " +
           CString(version.GetProductVersion());
}

void CKVTDlg::ShowSupportView()
{
    BeginPage(FALSE, kSupportTitle);
    m_nCurrentView = KvtView::Support;
    BuildNavigationBarFor(NavigationPage::Support);
    AddLogOutButton(*this);
    // Never disabled here: whether the account may go is the button's own question.
    AddPageButton(kRemoveAccountText, CRect(220, 170, 337, 200), kRemoveAccountButtonId, 493, 493, 491, 492,
                  &CKVTDlg::OnRemoveAccount, 11);
    if (UIStatic *version = AddPageLabel(0, CRect(220, 100, 720, 140), kVersionLabelId, kTextColour, 18))
        version->SetText(VersionText().GetString());
    AddCloseButton();
    EndPage();
}

// ---- removing the account --------------------------------------------------------------------

void CKVTDlg::OnRemoveAccount()
{
    CKVTDlg *dlg = FromMainWindow();
    if (!dlg)
        return;
    // The maker's other program works on the same records: nothing is removed while it runs.
    if (dlg->IsOtherAppRunning())
    {
        dlg->PostMessage(WM_KVT_OTHER_APP_RUNNING, 0, 0);
        return;
    }
    dlg->ShowRemoveAccountView();
}

void CKVTDlg::ShowRemoveAccountView()
{
    BeginPage(TRUE, kRemoveAccountText);
    AddLogOutButton(*this);
    AddPagePicture(488, kWarningPictureRect, 1144);
    AddPageButton(412, CRect(260, 300, 345, 323), 1145, 472, 471, 470, 471, &CKVTDlg::OnRemoveAccountProceed);
    AddPageButton(340, CRect(360, 300, 445, 323), 1146, 472, 471, 470, 471, &CKVTDlg::OnRemoveAccountCancel);
    AddCloseButton();
    AddPageLabel(446, CRect(160, 150, 600, 180), 1253, kWarningColour, 18);
    AddPageLabel(331, CRect(160, 190, 640, 230), 1254, kBodyTextColour, 12, 0, TRUE);
    AddPageLabel(334, CRect(160, 240, 640, 270), 1255, kBodyTextColour, 12, 0, TRUE);
    BuildNavigationBarFor(NavigationPage::RemoveAccount);
    EndPage();
}

void CKVTDlg::OnRemoveAccountProceed()
{
    CKVTDlg *dlg = FromMainWindow();
    if (!dlg)
        return;
    // A refused deletion leaves every row in place and the user logged in, on this page.
    if (!dlg->m_pDatabase || !dlg->m_pDatabase->DeleteUser())
    {
        dlg->ShowEraseAccountFailed();
        return;
    }
    dlg->m_bLoggedIn = FALSE;
    dlg->m_bImported = FALSE;
    dlg->ResetUserSession();
    dlg->ShowAccountDeletedView();
}

void CKVTDlg::ShowAccountDeletedView()
{
    BeginPage(TRUE, kDataEditTitle);
    AddPagePicture(488, kWarningPictureRect, 1147);
    AddPageButton(489, CRect(260, 300, 345, 323), 1148, 472, 471, 470, 471, &CKVTDlg::OnRegisterNow);
    AddPageButton(375, CRect(360, 300, 445, 323), 1149, 472, 471, 470, 471, &CKVTDlg::OnRegisterLater);
    AddCloseButton();
    AddPageLabel(327, CRect(160, 150, 600, 180), 1253, kTextColour, 18);
    AddPageLabel(455, CRect(160, 190, 640, 230), 1254, kBodyTextColour, 12, 0, TRUE);
    AddPageLabel(401, CRect(160, 240, 640, 280), 1255, kBodyTextColour, 12, 0, TRUE);
    EndPage();
}

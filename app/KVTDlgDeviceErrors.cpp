#include "app/KVTDlg.h"

#include <string_view>

#include "app/DialogText.h"
#include "store/KvtDatabase.h"
#include "ui/PromptDialogs.h"
#include "ui/UIStatic.h"

// The pages and prompts that end a device or account step: the import and save error pages, the
// prompts shown after a log-in that found no usable monitor, and the log-out confirmation.

namespace
{
// Texts.
constexpr UINT kRetrieveErrorText = 243;
constexpr UINT kDisconnectedText = 254;
constexpr UINT kSaveErrorText = 552;
constexpr UINT kLogOutText = 378;
constexpr UINT kRetryText = 416;
constexpr UINT kContinueText = 342;
constexpr UINT kByeText = 211;
constexpr UINT kLogOutQuestionText = 333;
constexpr UINT kYesText = 452;
constexpr UINT kNoText = 399;
constexpr UINT kLetMeInText = 549;

// Colours.
constexpr ARGB kStatusColour = 0xFFDA251D;
constexpr ARGB kBodyTextColour = 0xFF838281;
constexpr ARGB kTitleColour = 0xFF383431;

// Controls.
constexpr UINT kLogOutId = 1093;
constexpr UINT kRetryId = 1192;
constexpr UINT kContinueId = 1199;
constexpr UINT kSidePictureId = 1008;
constexpr UINT kYesId = 1043;
constexpr UINT kNoId = 1044;
constexpr UINT kByePictureId = 1153;
constexpr UINT kLogOutTitleId = 1246;
constexpr UINT kLogOutQuestionId = 1247;

// Pictures (language 1033).
constexpr UINT kSidePicture = 118;
constexpr UINT kByePicture = 477;

const CRect kErrorTextRect(160, 150, 640, 210);
const CRect kSidePictureRect(480, 330, 680, 460);

// The title's usual size, and smaller ones for longer greetings: above 44, 22 and 17 characters.
constexpr int kTitleSize = 18;
constexpr struct
{
    std::size_t longerThan;
    int size;
} kGreetingSizes[] = {{44, 12}, {22, 14}, {17, 16}};

void WithMainDialog(void (CKVTDlg::*action)())
{
    if (CKVTDlg *dlg = CKVTDlg::FromMainWindow())
        (dlg->*action)();
}

// What the three error pages do not share.
struct ErrorPage
{
    UINT textId;
    ButtonClickCallback retry;
};
constexpr ErrorPage kRetrieveErrorPage{kRetrieveErrorText, [] { WithMainDialog(&CKVTDlg::OnErrorRetry); }};
constexpr ErrorPage kDisconnectedPage{kDisconnectedText, [] { WithMainDialog(&CKVTDlg::OnErrorRetry); }};
constexpr ErrorPage kSaveErrorPage{kSaveErrorText, [] { WithMainDialog(&CKVTDlg::OnSaveErrorRetry); }};

// Characters, not UTF-16 units: a character beyond the BMP is one character of the name; a lone
// surrogate counts as one too.
std::size_t CharacterCount(std::u16string_view text)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i, ++count)
    {
        if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            ++i;
    }
    return count;
}

int GreetingSize(std::u16string_view greeting)
{
    const std::size_t length = CharacterCount(greeting);
    for (const auto &step : kGreetingSizes)
    {
        if (length > step.longerThan)
            return step.size;
    }
    return kTitleSize;
}
} // namespace

// ---- the error pages ----------------------------------------------------------------------------

void CKVTDlg::ShowUserGreeting()
{
    if (!m_pGreeting || !m_pGreeting->m_hWnd)
        return;
    std::u16string greeting = TextOf(m_szFirstName);
    if (greeting.empty())
        greeting = TextOf(m_szUserId);
    m_pGreeting->SetText(greeting.c_str());
    m_pGreeting->SetFontSize(GreetingSize(greeting));
    m_pGreeting->ShowWindow(SW_SHOW);
    m_pGreeting->Invalidate(TRUE);
}

void CKVTDlg::ShowDeviceErrorPage(UINT textId, ButtonClickCallback retry)
{
    BeginPage(TRUE, 0);
    ShowUserGreeting();
    AddPageLabel(textId, kErrorTextRect, kStatusLineId, kStatusColour, 12, 0, TRUE);
    AddPageButton(kLogOutText, CRect(160, 300, 245, 323), kLogOutId, 472, 471, 470, 471,
                  [] { WithMainDialog(&CKVTDlg::DoLogOut); });
    AddPageButton(kRetryText, CRect(260, 300, 345, 323), kRetryId, 464, 464, 462, 463, retry);
    AddPageButton(kContinueText, CRect(360, 300, 445, 323), kContinueId, 467, 467, 465, 466,
                  [] { WithMainDialog(&CKVTDlg::OnContinueToHome); });
    AddPagePicture(kSidePicture, kSidePictureRect, kSidePictureId);
    AddCloseButton();
    BuildNavigationBarFor(NavigationPage::Blocked);
    EndPage();
}

void CKVTDlg::ShowRetrieveErrorView()
{
    ShowDeviceErrorPage(kRetrieveErrorPage.textId, kRetrieveErrorPage.retry);
}

void CKVTDlg::ShowUploadDisconnectedView()
{
    ShowDeviceErrorPage(kDisconnectedPage.textId, kDisconnectedPage.retry);
}

void CKVTDlg::ShowSaveErrorView()
{
    ShowDeviceErrorPage(kSaveErrorPage.textId, kSaveErrorPage.retry);
}

// ---- the device prompts -------------------------------------------------------------------------

void CKVTDlg::RunDevicePrompt(UINT titleId, UINT firstMessageId, UINT secondMessageId)
{
    // A prompt opened inside another's loop hands the pointer back when it ends, so that the outer
    // prompt's buttons can still end it.
    CDialog *const outerPrompt = m_pPromptDlg;
    const std::weak_ptr<int> life = LifeToken();
    CReloginContinueDlg prompt(m_nLanguage, this);
    prompt.m_nTitleId = titleId;
    prompt.m_nFirstMessageId = firstMessageId;
    prompt.m_nSecondMessageId = secondMessageId;
    prompt.SetFirstButtonCallback(&CKVTDlg::OnReloginContinue);
    prompt.SetSecondButtonCallback([] { WithMainDialog(&CKVTDlg::OnContinueToHome); });
    m_pPromptDlg = &prompt;
    prompt.DoModal();
    // The prompt's loop may have ended the dialog; nothing of it is touched then.
    if (life.expired())
        return;
    m_pPromptDlg = outerPrompt;
}

void CKVTDlg::PromptDeviceNotDetected()
{
    RunDevicePrompt(547, 548, kLetMeInText);
}

void CKVTDlg::PromptDongleOnly()
{
    RunDevicePrompt(550, 551, kLetMeInText);
}

void CKVTDlg::PromptDeviceNotReady()
{
    RunDevicePrompt(561, 562, kLetMeInText);
}

// ---- log-out --------------------------------------------------------------------------------------

void CKVTDlg::ShowLogOutConfirmView()
{
    BeginPage(TRUE, kByeText);
    m_nCurrentView = KvtView::LogOut;
    AddPagePicture(kByePicture, CRect(350, 156, 450, 256), kByePictureId);
    AddPageButton(kYesText, CRect(290, 325, 375, 348), kYesId, 467, 467, 465, 466,
                  [] { WithMainDialog(&CKVTDlg::DoLogOut); });
    AddPageButton(kNoText, CRect(385, 325, 470, 348), kNoId, 476, 476, 474, 475,
                  [] { WithMainDialog(&CKVTDlg::OnLogOutCancel); });
    AddPagePicture(kSidePicture, kSidePictureRect, kSidePictureId);
    AddCloseButton();
    AddPageLabel(kLogOutText, CRect(200, 262, 600, 287), kLogOutTitleId, kTitleColour, 18, 1);
    AddPageLabel(kLogOutQuestionText, CRect(150, 292, 650, 312), kLogOutQuestionId, kBodyTextColour, 12, 1);
    BuildNavigationBarFor(NavigationPage::Blocked);
    EndPage();
}

void CKVTDlg::DoLogOut()
{
    bool loggedOut = false;
    {
        CWaitCursor wait;
        loggedOut = m_pDatabase && m_pDatabase->Logout() == 1;
    }
    if (!loggedOut)
    {
        ShowLogOutErrorView();
        return;
    }
    m_bLoggedIn = FALSE;
    m_bImported = FALSE;
    ResetUserSession();
    ShowLoginView();
}

void CKVTDlg::OnLogOutCancel()
{
    switch (m_nCurrentView)
    {
    case KvtView::Runs:
    case KvtView::Goal:
    case KvtView::Profile:
    case KvtView::Support:
        BuildPageOfView(m_nCurrentView);
        break;
    case KvtView::DeviceSetting:
        ShowDeviceSettingView();
        break;
    default:
        // The confirmation has set the state to its own: No leads home.
        ShowHomeView();
        break;
    }
}

#include "app/KVTDlg.h"

#include "ui/PromptDialogs.h"
#include "ui/UIButton.h"
#include "ui/UIDeviceSettingDlg.h"
#include "ui/UIStatic.h"

namespace
{
constexpr WORD kImageLanguage = 1033;
constexpr UINT kNavButtonImage = 505;
constexpr ARGB kNavText = 0xFFFFFFFF;
constexpr ARGB kNavTextLit = 0xFF383431;
constexpr ARGB kNavTextDisabled = 0xFF605D5C;
constexpr ARGB kSeparatorColour = 0xFFE01A26;
constexpr UINT kNoId = 0xFFFF;

constexpr UINT kDeviceSettingTitle = 508;
constexpr UINT kLogOutText = 378;
constexpr UINT kLogOutButtonId = 1093;
const CRect kLogOutRect(555, 66, 640, 89);

struct NavButton
{
    UINT id;
    UINT textId; // 0: the home icon, without a caption
    UINT normal, disabled, pressed, hover;
    CRect rect;
    ButtonClickCallback callback;
};
} // namespace

void CKVTDlg::BuildNavigationBar(BOOL home, BOOL deviceSetting, BOOL myRuns, BOOL myGoal, BOOL /*ignored*/,
                                 BOOL myProfile, BOOL mySupport)
{
    const NavButton buttons[] = {
        {1026, 0, 121, 215, 120, 120, CRect(130, 476, 170, 496), &CKVTDlg::OnNavHome},
        {kDeviceSettingButtonId, kDeviceSettingTitle, kNavButtonImage, kNavButtonImage, kNavButtonImage,
         kNavButtonImage, CRect(170, 472, 270, 499), &CKVTDlg::OnNavDeviceSetting},
        {1027, 392, kNavButtonImage, kNavButtonImage, kNavButtonImage, kNavButtonImage, CRect(270, 472, 370, 499),
         &CKVTDlg::OnNavMyRuns},
        {1028, 187, kNavButtonImage, kNavButtonImage, kNavButtonImage, kNavButtonImage, CRect(370, 472, 470, 499),
         &CKVTDlg::OnNavMyGoal},
        {1031, 191, kNavButtonImage, kNavButtonImage, kNavButtonImage, kNavButtonImage, CRect(470, 472, 570, 499),
         &CKVTDlg::OnNavMyProfile},
        {1032, 198, kNavButtonImage, kNavButtonImage, kNavButtonImage, kNavButtonImage, CRect(570, 472, 670, 499),
         &CKVTDlg::OnNavMySupport},
    };
    const BOOL enabled[] = {home, deviceSetting, myRuns, myGoal, myProfile, mySupport};
    for (std::size_t i = 0; i < std::size(buttons); ++i)
    {
        const NavButton &b = buttons[i];
        auto button = std::make_unique<UIButton>();
        button->SetTextColors(kNavText, kNavTextLit, kNavTextLit, kNavTextDisabled);
        button->SetFontSize(11);
        button->SetFontStyle(PageFontStyle());
        button->SetAlignment(1);
        const CString text = b.textId ? LoadStringText(b.textId) : CString();
        button->Create(text.GetString(), b.rect, this, b.id);
        button->SetImages(b.normal, b.disabled, b.pressed, b.hover, kImageLanguage);
        button->SetClickCallback(b.callback);
        // The current page's own button is passed 0: its disabled look marks where the user is.
        button->EnableWindow(enabled[i] ? TRUE : FALSE);
        button->ShowWindow(SW_SHOW);
        AddPageControl(std::move(button));
    }
    auto separator = std::make_unique<UIStatic>();
    separator->SetTransparent(FALSE);
    separator->SetBkColor(kSeparatorColour);
    separator->Create(nullptr, CRect(22, 465, 679, 467), this, kNoId, WS_CHILD);
    separator->ShowWindow(SW_SHOW);
    AddPageControl(std::move(separator));
}

void CKVTDlg::BuildNavigationBarFor(NavigationPage page)
{
    const BOOL d = DeviceSettingEnabled();
    switch (page)
    {
    case NavigationPage::Home:
        BuildNavigationBar(FALSE, d, TRUE, TRUE, TRUE, TRUE, TRUE);
        break;
    case NavigationPage::Runs:
        BuildNavigationBar(TRUE, d, FALSE, TRUE, TRUE, TRUE, TRUE);
        break;
    case NavigationPage::Goal:
        BuildNavigationBar(TRUE, d, TRUE, FALSE, TRUE, TRUE, TRUE);
        break;
    case NavigationPage::Profile:
    case NavigationPage::RemoveAccount:
        BuildNavigationBar(TRUE, d, TRUE, TRUE, TRUE, FALSE, TRUE);
        break;
    case NavigationPage::Support:
        BuildNavigationBar(TRUE, d, TRUE, TRUE, TRUE, TRUE, FALSE);
        break;
    case NavigationPage::DeviceSetting:
        BuildNavigationBar(TRUE, FALSE, TRUE, TRUE, TRUE, TRUE, TRUE);
        break;
    case NavigationPage::Blocked:
        BuildNavigationBar(FALSE, FALSE, FALSE, FALSE, FALSE, FALSE, FALSE);
        break;
    }
}

// ---- page switching ---------------------------------------------------------------------------

bool CKVTDlg::BuildPageOfView(KvtView view)
{
    switch (view)
    {
    case KvtView::Home:
        ShowHomeView();
        return true;
    case KvtView::Runs:
        ShowRunsView();
        return true;
    case KvtView::Goal:
        ShowGoalView();
        return true;
    case KvtView::Profile:
        ShowProfileView();
        return true;
    case KvtView::Support:
        ShowSupportView();
        return true;
    case KvtView::LogOut:
        ShowLogOutConfirmView();
        return true;
    default:
        return false;
    }
}

void CKVTDlg::NavigateTo(KvtView target)
{
    // Once a press has asked, the page state names its target, no longer the settings page: until the
    // question is over, the settings page's own flag tells whether it holds changes, and a further
    // press only changes the target rather than build its page and throw the changes away.
    if ((m_nCurrentView == KvtView::DeviceSetting || m_bViewSwitchAsked) && IsChildPageModified())
    {
        // The save-changes prompt decides; the target page is built once it is answered.
        m_nCurrentView = target;
        if (!m_bViewSwitchAsked)
        {
            m_bViewSwitchAsked = true;
            PostMessage(WM_KVT_CONFIRM_VIEW_SWITCH, 0, 0);
        }
        return;
    }
    BuildPageOfView(target);
}

void CKVTDlg::OnNavMyRuns()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->NavigateTo(KvtView::Runs);
}

void CKVTDlg::OnNavMyGoal()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->NavigateTo(KvtView::Goal);
}

void CKVTDlg::OnNavMyProfile()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->NavigateTo(KvtView::Profile);
}

void CKVTDlg::OnNavMySupport()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->NavigateTo(KvtView::Support);
}

void CKVTDlg::OnLogOut()
{
    if (CKVTDlg *dlg = FromMainWindow())
        dlg->NavigateTo(KvtView::LogOut);
}

void CKVTDlg::OnShareCancel()
{
    CKVTDlg *dlg = FromMainWindow();
    if (!dlg)
        return;
    if (dlg->m_nCurrentView == KvtView::Runs)
        dlg->ShowRunsView();
    else if (dlg->m_nCurrentView == KvtView::Goal)
        dlg->ShowGoalView();
}

void CKVTDlg::OnConfirmViewSwitch()
{
    // The question is about the Device Setting page's changes. When another page has taken its place
    // since the switch was asked for (an arrival's prompt), there is nothing left to ask about, and
    // that page stays: a prompt now could neither save nor discard anything, and so could never be
    // closed.
    if (!dynamic_cast<UIDeviceSettingDlg *>(m_pChildPage))
    {
        m_bViewSwitchAsked = false;
        return;
    }
    const BOOL ignoreBefore = m_bIgnoreDeviceArrival;
    m_bSavedIgnoreDeviceArrival = m_bIgnoreDeviceArrival;
    m_bIgnoreDeviceArrival = TRUE;
    const std::weak_ptr<int> life = LifeToken();
    {
        CSaveChangesDlg prompt(m_nLanguage, this);
        prompt.SetFirstButtonCallback(&CKVTDlg::OnSaveChangesSave);
        prompt.SetSecondButtonCallback(&CKVTDlg::OnSaveChangesDiscard);
        m_pSaveChangesDlg = &prompt;
        prompt.DoModal();
        // The prompt's loop may have ended the dialog; nothing of it is touched then.
        if (life.expired())
            return;
        if (m_pSaveChangesDlg == &prompt)
            m_pSaveChangesDlg = nullptr;
    }
    // Presses while the prompt was up changed only the target; from here on a press decides anew.
    m_bViewSwitchAsked = false;
    // A page built while the prompt was up has replaced the settings page (and ended the prompt): it
    // stays, with the arrival flag it set.
    if (!m_pChildPage)
        return;
    // A failed save sets the state back to the settings page, where the user stays; the flag set for
    // the prompt must not outlive it there, or the page would ignore every later arrival.
    if (!BuildPageOfView(m_nCurrentView))
        m_bIgnoreDeviceArrival = ignoreBefore;
}

// ---- the Device Setting page ------------------------------------------------------------------

void CKVTDlg::ShowDeviceSettingView()
{
    BeginPage(FALSE, kDeviceSettingTitle);
    m_nCurrentView = KvtView::DeviceSetting;
    BuildNavigationBarFor(NavigationPage::DeviceSetting);
    AddPageButton(kLogOutText, kLogOutRect, kLogOutButtonId, 472, 471, 470, 471, &CKVTDlg::OnLogOut, 10);
    AddCloseButton();
    CreateDeviceSettingPage();
    EndPage();
}

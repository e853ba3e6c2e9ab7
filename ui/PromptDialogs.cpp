#include "ui/PromptDialogs.h"

#include "ui/PromptOwner.h"

namespace
{
constexpr WORD kImageLanguage = 1033;
constexpr WORD kTraditionalChinese = 1028;
constexpr WORD kGerman = 1031;
constexpr UINT kWideBackground = 513;
constexpr UINT kSaveChangesBackground = 512;
constexpr ARGB kTitleColour = 0xFFFFFFFF;
constexpr ARGB kTextColour = 0xFF4D4948;
constexpr ARGB kButtonText = 0xFF383431;
constexpr ARGB kButtonTextLit = 0xFFFFFFFF;
constexpr int kButtonSize = 11;
constexpr UINT kCancelText = 340;
constexpr UINT kContinueText = 342;
constexpr UINT kReloginText = 414;
constexpr UINT kSaveText = 419;
constexpr UINT kSaveChangesText = 516;
constexpr UINT kDontSaveText = 517;
} // namespace

namespace vxui
{
PromptOwner *MainPromptOwner()
{
    return dynamic_cast<PromptOwner *>(AfxGetMainWnd());
}
} // namespace vxui

UIPromptDialog::UIPromptDialog(UINT templateId, WORD language, CWnd *parent)
    : UIDialog(templateId, parent), m_wLanguage(language),
      m_nFontStyle(language == kTraditionalChinese ? 0 : 1)
{
}

UIPromptDialog::~UIPromptDialog() = default;

std::unique_ptr<UIStatic> UIPromptDialog::MakeLabel(UINT textId, const CRect &rect, UINT id, ARGB colour,
                                                    int size, BOOL multiLine)
{
    CString text;
    text.LoadString(nullptr, textId, m_wLanguage);
    auto label = std::make_unique<UIStatic>();
    label->SetTextColor(colour);
    label->SetFontSize(size);
    label->SetFontStyle(m_nFontStyle);
    label->SetAlignment(1);
    label->SetMultiLine(multiLine);
    label->Create(text.GetString(), rect, this, id, WS_CHILD);
    label->ShowWindow(SW_SHOW);
    return label;
}

std::unique_ptr<UIButton> UIPromptDialog::MakeButton(UINT textId, const CRect &rect, UINT id, int size,
                                                     UINT normal, UINT disabled, UINT pressed, UINT hover,
                                                     ButtonClickCallback callback)
{
    CString text;
    text.LoadString(nullptr, textId, m_wLanguage);
    auto button = std::make_unique<UIButton>();
    button->SetTextColors(kButtonText, kButtonTextLit, kButtonTextLit, kButtonText);
    button->SetFontSize(size);
    button->SetFontStyle(m_nFontStyle);
    button->SetAlignment(1);
    button->m_bCacheBackground = TRUE;
    button->Create(text.GetString(), rect, this, id);
    button->SetImages(normal, disabled, pressed, hover, kImageLanguage);
    button->SetClickCallback(callback);
    button->ShowWindow(SW_SHOW);
    return button;
}

// ---- CMessageDlg ----------------------------------------------------------------------------

CMessageDlg::CMessageDlg(WORD language, CWnd *parent) : UIPromptDialog(kTemplate, language, parent) {}

CMessageDlg::~CMessageDlg()
{
    m_pButton.reset();
    m_pMessage.reset();
    m_pTitle.reset();
}

BOOL CMessageDlg::OnInitDialog()
{
    UIDialog::OnInitDialog();
    SetBackgroundImage(kWideBackground, kImageLanguage);
    m_pTitle = MakeLabel(m_nTitleId, CRect(100, 10, 430, 25), kTitleId, kTitleColour, 14);
    m_pMessage = MakeLabel(m_nMessageId, CRect(60, 100, 470, 160), kMessageId, kTextColour, 18, TRUE);
    m_pButton = MakeButton(kCancelText, CRect(220, 305, 305, 328), kButtonId, kButtonSize, 472, 471, 470, 471,
                           &CMessageDlg::OnButtonClicked);
    return TRUE;
}

void CMessageDlg::OnButtonClicked()
{
    PromptOwner *owner = vxui::MainPromptOwner();
    if (CDialog *prompt = owner ? owner->GetOpenMessagePrompt() : nullptr)
        prompt->OnOK();
}

// ---- CReloginContinueDlg --------------------------------------------------------------------

CReloginContinueDlg::CReloginContinueDlg(WORD language, CWnd *parent)
    : UIPromptDialog(kTemplate, language, parent)
{
}

CReloginContinueDlg::~CReloginContinueDlg()
{
    m_pSecondButton.reset();
    m_pSecondMessage.reset();
    m_pFirstButton.reset();
    m_pFirstMessage.reset();
    m_pTitle.reset();
}

BOOL CReloginContinueDlg::OnInitDialog()
{
    UIDialog::OnInitDialog();
    SetBackgroundImage(kWideBackground, kImageLanguage);
    m_pTitle = MakeLabel(m_nTitleId, CRect(100, 10, 430, 25), kTitleId, kTitleColour, 14);
    m_pFirstMessage =
        MakeLabel(m_nFirstMessageId, CRect(60, 100, 470, 142), kFirstMessageId, kTextColour, 12);
    // The German caption is longer than the button is wide.
    m_pFirstButton = MakeButton(kReloginText, CRect(220, 145, 305, 168), kFirstButtonId,
                                m_wLanguage == kGerman ? 9 : kButtonSize, 464, 463, 462, 463, m_pfnFirst);
    m_pSecondMessage =
        MakeLabel(m_nSecondMessageId, CRect(60, 260, 470, 302), kSecondMessageId, kTextColour, 12);
    m_pSecondButton = MakeButton(kContinueText, CRect(220, 305, 305, 328), kSecondButtonId, kButtonSize, 467,
                                 466, 465, 466, m_pfnSecond);
    return TRUE;
}

// ---- CSaveChangesDlg ------------------------------------------------------------------------

CSaveChangesDlg::CSaveChangesDlg(WORD language, CWnd *parent) : UIPromptDialog(kTemplate, language, parent) {}

CSaveChangesDlg::~CSaveChangesDlg()
{
    m_pSave.reset();
    m_pDiscard.reset();
    m_pMessage.reset();
}

BOOL CSaveChangesDlg::OnInitDialog()
{
    UIDialog::OnInitDialog();
    SetBackgroundImage(kSaveChangesBackground, kImageLanguage);
    m_pMessage = MakeLabel(kSaveChangesText, CRect(30, 30, 350, 70), kMessageId, kTextColour, 12);
    m_pDiscard = MakeButton(kDontSaveText, CRect(35, 150, 120, 173), kDiscardButtonId, kButtonSize, 472, 471,
                            470, 471, m_pfnSecond);
    m_pSave = MakeButton(kSaveText, CRect(260, 150, 345, 173), kSaveButtonId, kButtonSize, 480, 479, 478, 479,
                         m_pfnFirst);
    return TRUE;
}

#include "app/AboutDlg.h"

#include "app/ModuleVersion.h"

namespace
{
constexpr UINT kBackground = 512;
constexpr WORD kImageLanguage = 1033;
constexpr UINT kTitleText = 258;
constexpr ARGB kNameColour = 0xFF4D4948;
constexpr ARGB kVersionColour = 0xFF838281;
constexpr ARGB kButtonText = 0xFF383431;
constexpr ARGB kButtonTextLit = 0xFFFFFFFF;

// Button callbacks are plain functions; the box is modal, so at most one is up.
CAboutDlg *g_openAbout = nullptr;
} // namespace

CAboutDlg::CAboutDlg(WORD language, CWnd *parent) : UIDialog(kTemplate, parent), m_wLanguage(language) {}

CAboutDlg::~CAboutDlg()
{
    // The controls go before the dialog's window.
    m_pOk.reset();
    m_pVersion.reset();
    m_pProductName.reset();
    if (g_openAbout == this)
        g_openAbout = nullptr;
}

BOOL CAboutDlg::OnInitDialog()
{
    UIDialog::OnInitDialog();
    SetBackgroundImage(kBackground, kImageLanguage);
    const int style = m_wLanguage == 1028 ? 0 : 1;

    CModuleVersion version;
    version.Load(nullptr);
    std::u16string name = version.GetProductName();
    if (name.empty())
    {
        CString title;
        title.LoadString(nullptr, kTitleText, m_wLanguage);
        name = title.str();
    }
    SetWindowText(name.c_str());

    m_pProductName = std::make_unique<UIStatic>();
    m_pProductName->SetTextColor(kNameColour);
    m_pProductName->SetFontSize(18);
    m_pProductName->SetFontStyle(style);
    m_pProductName->SetAlignment(1);
    m_pProductName->Create(name.c_str(), CRect(30, 40, 350, 70), this, kProductNameId, WS_CHILD | WS_VISIBLE);

    m_pVersion = std::make_unique<UIStatic>();
    m_pVersion->SetTextColor(kVersionColour);
    m_pVersion->SetFontSize(14);
    m_pVersion->SetAlignment(1);
    m_pVersion->Create(version.GetProductVersion().c_str(), CRect(30, 80, 350, 100), this, kVersionId,
                       WS_CHILD | WS_VISIBLE);

    m_pOk = std::make_unique<UIButton>();
    m_pOk->SetTextColors(kButtonText, kButtonTextLit, kButtonTextLit, kButtonText);
    m_pOk->SetFontSize(11);
    m_pOk->SetFontStyle(style);
    m_pOk->SetAlignment(1);
    m_pOk->m_bCacheBackground = TRUE;
    m_pOk->Create(vxwin::ButtonText(IDOK, m_wLanguage).c_str(), CRect(147, 140, 232, 163), this, IDOK);
    m_pOk->SetImages(472, 471, 470, 471, kImageLanguage);
    m_pOk->SetClickCallback(&CAboutDlg::OnOkClicked);
    m_pOk->ShowWindow(SW_SHOW);

    g_openAbout = this;
    return TRUE;
}

void CAboutDlg::OnDestroy()
{
    if (g_openAbout == this)
        g_openAbout = nullptr;
    UIDialog::OnDestroy();
}

void CAboutDlg::OnOkClicked()
{
    if (g_openAbout)
        g_openAbout->EndDialog(IDOK);
}

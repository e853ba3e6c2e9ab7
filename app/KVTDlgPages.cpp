#include <new>

#include "app/KVTDlg.h"
#include "platform/sys/InstanceLock.h"
#include "store/KvtDatabase.h"
#include "ui/Calendar.h"
#include "ui/DataGraph.h"
#include "ui/UIButton.h"
#include "ui/UIStatic.h"

namespace
{
constexpr WORD kImageLanguage = 1033;
constexpr UINT kMemoryErrorText = 225;
constexpr UINT kOtherAppTitle = 724;
constexpr ARGB kStatusColour = 0xFFDA251D;
constexpr ARGB kBodyTextColour = 0xFF838281;
constexpr ARGB kButtonText = 0xFF383431;
constexpr ARGB kButtonTextLit = 0xFFFFFFFF;
const CRect kStatusRect(100, 98, 600, 118);
const CRect kStatusWideRect(50, 98, 650, 118);
const CRect kStatusMultiLineRect(230, 100, 630, 140);

// The window's rectangle in its parent's client coordinates.
CRect RectInParent(CWnd *wnd)
{
    CRect rect;
    wnd->GetWindowRect(&rect);
    if (CWnd *parent = wnd->GetParent())
        parent->ScreenToClient(&rect);
    return rect;
}
} // namespace

CString CKVTDlg::LoadStringText(UINT id) const
{
    CString text;
    text.LoadString(nullptr, id, m_nLanguage);
    return text;
}

CKVTDlg *CKVTDlg::FromMainWindow()
{
    return dynamic_cast<CKVTDlg *>(AfxGetMainWnd());
}

// ---- the page container -----------------------------------------------------------------

bool CKVTDlg::ReservePageControls(std::size_t room)
{
    try
    {
        m_aPageControls.reserve(room);
        return true;
    }
    catch (const std::bad_alloc &)
    {
        return false;
    }
}

CWnd *CKVTDlg::AddPageControl(std::unique_ptr<CWnd> control)
{
    if (!control)
        return nullptr;
    // Room grows by a fixed step, and is kept from page to page.
    if (m_aPageControls.size() >= m_aPageControls.capacity() &&
        !ReservePageControls(m_aPageControls.capacity() + kPageControlStep))
    {
        // A control that is on no page would never be deleted: it goes at once.
        control.reset();
        ::MessageBoxEx(m_hWnd, LoadStringText(kMemoryErrorText).GetString(), nullptr, MB_ICONERROR,
                       m_nLanguage);
        return nullptr;
    }
    // Cannot throw: the room is there.
    m_aPageControls.push_back(std::move(control));
    return m_aPageControls.back().get();
}

CWnd *CKVTDlg::PageControl(std::size_t index) const
{
    return index < m_aPageControls.size() ? m_aPageControls[index].get() : nullptr;
}

void CKVTDlg::DestroyPageControls()
{
    // The page is often deleted from a callback of one of its own controls, and deleting a
    // control can set off messages to the dialog: each entry leaves the array before its
    // control is deleted, so nothing reached meanwhile finds a control half gone, and the loop
    // stops at the count it started with.
    const std::size_t count = m_aPageControls.size();
    for (std::size_t i = 0; i < count && i < m_aPageControls.size(); ++i)
    {
        std::unique_ptr<CWnd> control = std::move(m_aPageControls[i]);
        control.reset();
    }
    // Keeps the room: clear() never gives capacity back.
    m_aPageControls.clear();
    // The save-changes prompt asks about the page just deleted: its buttons could no longer end it.
    if (m_pChildPage && m_pSaveChangesDlg)
        m_pSaveChangesDlg->EndDialog(IDCANCEL);
    m_pChildPage = nullptr;
    m_pfnEnterAction = nullptr;
}

// ---- steps every page builder shares ------------------------------------------------------

void CKVTDlg::BeginPage(BOOL ignoreDeviceArrival, UINT titleId)
{
    m_bSavedIgnoreDeviceArrival = m_bIgnoreDeviceArrival;
    m_bIgnoreDeviceArrival = ignoreDeviceArrival;
    DestroyPageControls();
    if (m_pRunGraph && m_pRunGraph->m_hWnd)
        m_pRunGraph->ShowWindow(SW_HIDE);
    if (m_pCalendar && m_pCalendar->m_hWnd)
        m_pCalendar->ShowWindow(SW_HIDE);
    if (!m_pGreeting || !m_pGreeting->m_hWnd)
        return;
    if (titleId == 0)
    {
        m_pGreeting->ShowWindow(SW_HIDE);
        return;
    }
    m_pGreeting->SetText(LoadStringText(titleId).GetString());
    m_pGreeting->SetFontSize(18);
    m_pGreeting->ShowWindow(SW_SHOW);
    m_pGreeting->Invalidate(TRUE);
}

UIStatic *CKVTDlg::AddPageLabel(UINT textId, const CRect &rect, UINT id, ARGB colour, int size, int alignment,
                                BOOL multiLine)
{
    auto label = std::make_unique<UIStatic>();
    label->SetTextColor(colour);
    label->SetFontSize(size);
    label->SetFontStyle(PageFontStyle());
    label->SetAlignment(alignment);
    label->SetMultiLine(multiLine);
    const CString text = textId ? LoadStringText(textId) : CString();
    label->Create(text.GetString(), rect, this, id, WS_CHILD);
    label->ShowWindow(SW_SHOW);
    return static_cast<UIStatic *>(AddPageControl(std::move(label)));
}

UIStatic *CKVTDlg::AddPagePicture(UINT imageId, const CRect &rect, UINT id)
{
    auto picture = std::make_unique<UIStatic>();
    picture->Create(nullptr, rect, this, id, WS_CHILD);
    picture->SetImageResource(imageId, 0, kImageLanguage);
    picture->ShowWindow(SW_SHOW);
    return static_cast<UIStatic *>(AddPageControl(std::move(picture)));
}

UIButton *CKVTDlg::AddPageButton(UINT textId, const CRect &rect, UINT id, UINT normal, UINT disabled,
                                 UINT pressed, UINT hover, ButtonClickCallback callback, int size)
{
    auto button = std::make_unique<UIButton>();
    button->SetTextColors(kButtonText, kButtonTextLit, kButtonTextLit, kButtonText);
    button->SetFontSize(size);
    button->SetFontStyle(PageFontStyle());
    button->SetAlignment(1);
    const CString text = textId ? LoadStringText(textId) : CString();
    button->Create(text.GetString(), rect, this, id);
    button->SetImages(normal, disabled, pressed, hover, kImageLanguage);
    button->SetClickCallback(callback);
    button->ShowWindow(SW_SHOW);
    return static_cast<UIButton *>(AddPageControl(std::move(button)));
}

void CKVTDlg::AddCloseButton()
{
    AddPageButton(0, CRect(645, 64, 671, 90), kCloseButtonId, 259, 259, 259, 260, &CKVTDlg::OnCloseButton);
}

void CKVTDlg::EndPage()
{
    Invalidate(TRUE);
}

// ---- status line ---------------------------------------------------------------------------

void CKVTDlg::ShowStatusLine(LPCWSTR text, const CRect &rect, int alignment, BOOL multiLine)
{
    if (auto *line = dynamic_cast<UIStatic *>(GetDlgItem(kStatusLineId)))
    {
        if (multiLine)
        {
            line->MoveWindow(rect.left, rect.top, rect.Width(), rect.Height(), TRUE);
            line->Invalidate(TRUE);
        }
        line->SetText(text);
        const CRect where = RectInParent(line);
        InvalidateRect(&where, TRUE);
        line->Invalidate(TRUE);
        return;
    }
    auto line = std::make_unique<UIStatic>();
    line->SetTextColor(kStatusColour);
    line->SetFontSize(12);
    line->SetFontStyle(PageFontStyle());
    line->SetAlignment(alignment);
    line->SetMultiLine(multiLine);
    line->Create(text, rect, this, kStatusLineId, WS_CHILD);
    line->ShowWindow(SW_SHOW);
    if (AddPageControl(std::move(line)))
        InvalidateRect(&rect, TRUE);
}

void CKVTDlg::ShowStatusText(UINT textId)
{
    ShowStatusLine(LoadStringText(textId).GetString(), kStatusRect, 1, FALSE);
}

void CKVTDlg::ShowStatusTextWide(UINT textId)
{
    ShowStatusLine(LoadStringText(textId).GetString(), kStatusWideRect, 1, FALSE);
}

void CKVTDlg::ShowStatusTextMultiLine(UINT textId)
{
    ShowStatusLine(LoadStringText(textId).GetString(), kStatusMultiLineRect, 0, TRUE);
}

void CKVTDlg::ShowRegisterDeviceFailed()
{
    ShowStatusText(264);
}

void CKVTDlg::ShowEraseAccountFailed()
{
    ShowStatusText(271);
}

void CKVTDlg::ShowStatusString(LPCWSTR text)
{
    ShowStatusLine(text ? text : u"", kStatusRect, 1, FALSE);
}

void CKVTDlg::ClearStatusLine()
{
    if (auto *line = dynamic_cast<UIStatic *>(GetDlgItem(kStatusLineId)))
    {
        line->SetText(u"");
        const CRect where = RectInParent(line);
        InvalidateRect(&where, TRUE);
        line->Invalidate(TRUE);
    }
}

// ---- log-out error page --------------------------------------------------------------------

void CKVTDlg::ShowLogOutErrorView()
{
    BeginPage(TRUE, 261);
    AddPagePicture(477, CRect(80, 150, 144, 214), 1194);
    AddPageLabel(358, CRect(160, 160, 600, 190), 1246, kStatusColour, 18);
    AddPageLabel(242, CRect(160, 200, 600, 240), kStatusLineId, kBodyTextColour, 12, 0, TRUE);
    AddPageButton(361, CRect(300, 300, 385, 323), 1195, 476, 476, 474, 475, &CKVTDlg::OnCloseButton);
    AddPagePicture(118, CRect(480, 330, 680, 460), 1008);
    AddCloseButton();
    EndPage();
}

// ---- credentials and the other program -------------------------------------------------------

int CKVTDlg::SaveWebAppCredentials(LPCWSTR email, LPCWSTR password)
{
    if (!m_pDatabase || m_szUserId[0] == 0 || !email || !password || !*email || !*password)
        return 0;
    return m_pDatabase->SaveFacebookInfo(email, password) ? 1 : 0;
}

int CKVTDlg::IsOtherAppRunning()
{
    const CString title = LoadStringText(kOtherAppTitle);
    if (title.IsEmpty())
        return 0;
    return vxsys::IsInstanceLockTaken(title.str()) ? 1 : 0;
}

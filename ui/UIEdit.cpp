#include "ui/UIEdit.h"

#include <limits>

// ---- UIEdit ------------------------------------------------------------------------------

UIEdit::UIEdit() = default;

UIEdit::~UIEdit()
{
    // The window goes before the font it shows.
    if (m_hWnd)
        DestroyWindow();
}

unsigned long long UIEdit::LeadingNumber(std::u16string_view text)
{
    constexpr unsigned long long kMax = std::numeric_limits<unsigned long long>::max();
    unsigned long long value = 0;
    for (char16_t c : text)
    {
        if (!IsDigit(c))
            break;
        const unsigned digit = static_cast<unsigned>(c - u'0');
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return value;
}

void UIEdit::ApplyColors()
{
    SetColors(m_crText, m_crCurrentBackground);
}

void UIEdit::SetBkColor(COLORREF color)
{
    m_crBackgroundNormal = color;
    m_crBackgroundFocused = color;
}

void UIEdit::SetTextColor(COLORREF color)
{
    m_crText = color;
    ApplyColors();
}

void UIEdit::SetNumericOnly(BOOL numeric)
{
    m_bNumericOnly = numeric;
    SetTypedInputOnly(numeric);
}

void UIEdit::ApplyFrameMargins()
{
    // Like a fresh formatting rectangle narrowed by half a corner on each side, so setting it
    // again after a resize or a new font does not narrow it further.
    const UINT half = static_cast<UINT>(m_nCornerWidth / 2);
    SetMargins(half, half);
}

void UIEdit::SetRoundFrame(int cornerWidth, int cornerHeight)
{
    if (cornerWidth == 0 && cornerHeight == 0)
    {
        m_bRoundFrame = FALSE;
        return;
    }
    m_nCornerWidth = cornerWidth;
    m_nCornerHeight = cornerHeight;
    m_bRoundFrame = TRUE;
    ApplyFrameMargins();
}

void UIEdit::SetFontSize(int points)
{
    if (points == m_nPointSize)
        return;
    auto font = std::make_unique<CFont>();
    font->CreatePointFont(points * 10, m_szFaceName);
    SetFont(font.get(), TRUE);
    m_nPointSize = points;
    m_pFont = std::move(font); // the old font goes only now that the window has the new one
}

BOOL UIEdit::HasSelection() const
{
    int start = 0;
    int end = 0;
    GetSel(start, end);
    return start != end;
}

void UIEdit::CaptureBackground(CDC *dc)
{
    if (!dc || !m_hWnd)
        return;
    CRect client;
    GetClientRect(&client);
    auto cached = std::make_unique<CBitmap>();
    if (!cached->CreateCompatibleBitmap(dc, client.Width(), client.Height()))
        return;
    CDC mem;
    if (mem.CreateCompatibleDC(dc))
    {
        CBitmap *old = mem.SelectObject(cached.get());
        mem.BitBlt(0, 0, client.Width(), client.Height(), dc, 0, 0, SRCCOPY);
        mem.SelectObject(old);
    }
    m_pCachedBackground = std::move(cached);
}

int UIEdit::OnCreate(LPCREATESTRUCT createStruct)
{
    const std::weak_ptr<int> life = LifeToken();
    if (CEdit::OnCreate(createStruct) == -1 || life.expired())
        return -1;
    if (createStruct)
        m_rcWindow = CRect(createStruct->x, createStruct->y, createStruct->x + createStruct->cx,
                           createStruct->y + createStruct->cy);
    if (!m_pFont)
    {
        m_pFont = std::make_unique<CFont>();
        m_pFont->CreatePointFont(m_nPointSize * 10, m_szFaceName);
    }
    SetFont(m_pFont.get(), TRUE);
    SetTypedInputOnly(m_bNumericOnly);
    ApplyColors();
    return 0;
}

LRESULT UIEdit::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    const std::weak_ptr<int> life = LifeToken();
    const LRESULT result = CEdit::WindowProc(msg, wParam, lParam);
    if ((msg == WM_SIZE || msg == WM_SETFONT) && !life.expired() && m_hWnd && m_bRoundFrame)
        ApplyFrameMargins();
    return result;
}

void UIEdit::OnSetFocus(CWnd *oldWnd)
{
    const std::weak_ptr<int> life = LifeToken();
    CEdit::OnSetFocus(oldWnd);
    if (life.expired() || !m_hWnd)
        return;
    m_crCurrentBackground = m_crBackgroundFocused;
    ApplyColors();
    Invalidate(FALSE);
}

void UIEdit::OnKillFocus(CWnd *newWnd)
{
    const std::weak_ptr<int> life = LifeToken();
    CEdit::OnKillFocus(newWnd);
    if (life.expired() || !m_hWnd)
        return;
    m_crCurrentBackground = m_crBackgroundNormal;
    ApplyColors();
    Invalidate(FALSE);
}

BOOL UIEdit::OnEraseBkgnd(CDC *dc)
{
    if (!m_bRoundFrame)
        return CEdit::OnEraseBkgnd(dc);
    if (!dc)
        return TRUE;
    CRect client;
    GetClientRect(&client);
    dc->FillSolidRect(&client, m_crOuter);
    if (m_bCacheBackground)
    {
        if (!m_bBackgroundCaptured)
        {
            CaptureBackground(dc);
            m_bBackgroundCaptured = TRUE;
            BringWindowToTop();
        }
        else if (m_pCachedBackground)
        {
            CDC mem;
            if (mem.CreateCompatibleDC(dc))
            {
                CBitmap *old = mem.SelectObject(m_pCachedBackground.get());
                dc->BitBlt(0, 0, client.Width(), client.Height(), &mem, 0, 0, SRCCOPY);
                mem.SelectObject(old);
            }
        }
    }
    CRgn frame;
    frame.CreateRoundRectRgn(0, 0, client.Width() + 1, client.Height() + 1, m_nCornerWidth, m_nCornerHeight);
    CBrush brush(m_crCurrentBackground);
    dc->FillRgn(&frame, &brush);
    return TRUE;
}

std::u16string UIEdit::WouldBeText(std::u16string_view inserted) const
{
    CString current;
    GetWindowText(current);
    const std::u16string &text = current.str();
    int start = 0;
    int end = 0;
    GetSel(start, end);
    const std::size_t length = text.size();
    const std::size_t from = std::min(static_cast<std::size_t>(std::max(start, 0)), length);
    const std::size_t to = std::min(std::max(static_cast<std::size_t>(std::max(end, 0)), from), length);
    std::u16string result;
    result.reserve(length + inserted.size());
    result.append(text, 0, from);
    result.append(inserted);
    result.append(text, to, std::u16string::npos);
    return result;
}

bool UIEdit::PassesLimits(std::u16string_view wouldBe) const
{
    if (LeadingNumber(wouldBe) > m_nMaxValue)
        return false;
    if (m_bNoLeadingZero && !wouldBe.empty() && wouldBe.front() == u'0')
        return false;
    return true;
}

bool UIEdit::AcceptPaste(std::u16string_view wouldBe) const
{
    return PassesLimits(wouldBe) && LeadingNumber(wouldBe) >= m_nMinValue;
}

bool UIEdit::AcceptControlCharacter(UINT ch)
{
    // Copy, cut, select-all and the rest change nothing that the filter guards.
    if (ch != 22)
        return true;
    // A paste is judged on the text it would give. When the clipboard cannot be read the
    // paste is dropped, not let through unchecked.
    CWnd *main = AfxGetMainWnd();
    if (!OpenClipboard(main ? main->GetSafeHwnd() : nullptr))
        return false;
    std::u16string pasted;
    const bool haveText = IsClipboardFormatAvailable(CF_UNICODETEXT) && vxwin::GetClipboardText(pasted);
    CloseClipboard();
    if (!haveText || pasted.empty() || pasted.size() >= kMaxPaste)
        return false;
    for (char16_t c : pasted)
        if (!IsDigit(c))
            return false;
    return AcceptPaste(WouldBeText(pasted));
}

void UIEdit::OnChar(UINT ch, UINT, UINT)
{
    if (!m_bNumericOnly || ch == 13 || ch == 8)
    {
        Default();
        return;
    }
    // Control characters come from Ctrl+letter and from Shift+Insert (a paste too).
    if (ch < 0x20)
    {
        if (AcceptControlCharacter(ch))
            Default();
        return;
    }
    if (!IsDigit(ch))
        return;
    const char16_t typed = static_cast<char16_t>(ch);
    if (PassesLimits(WouldBeText(std::u16string_view(&typed, 1))))
        Default();
}

// ---- UINumericEdit -----------------------------------------------------------------------

UINumericEdit::UINumericEdit() = default;

UINumericEdit::~UINumericEdit() = default;

bool UINumericEdit::OneDecimalAtMost(std::u16string_view text) const
{
    const std::size_t point = text.find(m_chDecimal);
    return point == std::u16string_view::npos || text.size() - point - 1 <= 1;
}

bool UINumericEdit::AcceptPaste(std::u16string_view wouldBe) const
{
    return UIEdit::AcceptPaste(wouldBe) && OneDecimalAtMost(wouldBe);
}

void UINumericEdit::OnChar(UINT ch, UINT, UINT)
{
    if (!m_bNumericOnly || ch == 13 || ch == 8)
    {
        Default();
        return;
    }
    if (ch < 0x20)
    {
        if (AcceptControlCharacter(ch))
            Default();
        return;
    }
    if (ch != m_chDecimal && !IsDigit(ch))
        return;
    // The character joins what stays of the text: the present text less the selection it
    // replaces. The point and digit rules look at that, the limits at the text it would give.
    const std::u16string kept = WouldBeText({});
    const std::size_t point = kept.find(m_chDecimal);
    const char16_t typed = static_cast<char16_t>(ch);
    const std::u16string wouldBe = WouldBeText(std::u16string_view(&typed, 1));
    if (ch == m_chDecimal)
    {
        // A point inside the number may not leave more than one digit behind it.
        if (kept.empty() || point != std::u16string::npos)
            return;
        if (PassesLimits(wouldBe) && OneDecimalAtMost(wouldBe))
            Default();
        return;
    }
    // With a digit behind the point already, no further digit goes anywhere.
    if (!kept.empty() && point != std::u16string::npos && point != kept.size() - 1)
        return;
    if (PassesLimits(wouldBe))
        Default();
}

#include "ui/UIDialog.h"

UIDialog::UIDialog(UINT templateId, CWnd *parent) : CDialog(templateId, parent)
{
    m_brBackground.CreateSolidBrush(m_crBackground);
}

UIDialog::~UIDialog()
{
    if (m_hWnd)
        DestroyWindow();
}

BOOL UIDialog::SetBackgroundImage(UINT id, WORD language)
{
    Gdiplus::Image *loaded = nullptr;
    if (!LoadImageFromResource(id, u"PNG", &loaded, language))
        return FALSE;
    std::unique_ptr<Gdiplus::Image> picture(loaded);
    // A picture that does not decode would shrink the window to nothing.
    if (!picture || picture->GetLastStatus() != Gdiplus::Ok || picture->GetWidth() == 0 ||
        picture->GetHeight() == 0)
        return FALSE;
    m_pBackground = std::move(picture);

    if (!m_bLayeredSet)
    {
        m_bLayeredSet = true;
        // No caption and no border; whether it is shown stays as it was.
        SetWindowLong(GWL_STYLE, static_cast<LONG>(GetStyle() & WS_VISIBLE));
        SetWindowLong(GWL_EXSTYLE, static_cast<LONG>(WS_EX_LAYERED));
        SetLayeredWindowAttributes(m_crBackground, 0, LWA_COLORKEY);
    }

    int x = 0;
    int y = 0;
    if (m_rcPosition.left >= 0 && m_rcPosition.top >= 0)
    {
        x = m_rcPosition.left;
        y = m_rcPosition.top;
    }
    else
    {
        CRect window;
        GetWindowRect(&window);
        if (window.left >= 0 && window.top >= 0)
        {
            x = window.left;
            y = window.top;
        }
    }
    MoveWindow(x, y, static_cast<int>(m_pBackground->GetWidth()),
               static_cast<int>(m_pBackground->GetHeight()), TRUE);
    return TRUE;
}

void UIDialog::Draw(CDC *dc)
{
    if (!m_pBackground || !dc)
        return;
    Gdiplus::Graphics graphics(dc->Painter());
    const int pw = static_cast<int>(m_pBackground->GetWidth());
    const int ph = static_cast<int>(m_pBackground->GetHeight());
    const Gdiplus::Rect dest = m_bStretch ? Gdiplus::Rect(0, 0, m_rcPosition.right - m_rcPosition.left,
                                                          m_rcPosition.bottom - m_rcPosition.top)
                                          : Gdiplus::Rect(0, 0, pw, ph);
    if (!m_bColorKey)
    {
        if (m_bStretch)
            graphics.DrawImage(m_pBackground.get(), dest);
        else
            graphics.DrawImage(m_pBackground.get(), 0, 0);
        return;
    }
    const Gdiplus::Color key(static_cast<Gdiplus::ARGB>(m_crBackground));
    m_ImageAttributes.SetColorKey(key, key);
    graphics.DrawImage(m_pBackground.get(), dest, 0, 0, pw, ph, Gdiplus::UnitPixel, &m_ImageAttributes);
}

void UIDialog::OnLButtonDown(UINT flags, CPoint point)
{
    PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
    CDialog::OnLButtonDown(flags, point);
}

BOOL UIDialog::OnEraseBkgnd(CDC *dc)
{
    const std::weak_ptr<int> life = LifeToken();
    CDialog::OnEraseBkgnd(dc);
    if (life.expired())
        return TRUE;
    Draw(dc);
    return TRUE;
}

HBRUSH UIDialog::OnCtlColor(CDC *dc, CWnd *wnd, UINT ctlColor)
{
    if (ctlColor == CTLCOLOR_DLG)
        return m_brBackground;
    return CDialog::OnCtlColor(dc, wnd, ctlColor);
}

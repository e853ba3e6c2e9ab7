#include "ui/UIButton.h"

UIButton::UIButton() = default;

UIButton::~UIButton() = default;

BOOL UIButton::Create(LPCWSTR text, const RECT &rect, CWnd *parent, UINT id)
{
    return Create(text, rect, parent, id, WS_CHILD | SS_NOTIFY);
}

BOOL UIButton::Create(LPCWSTR text, const RECT &rect, CWnd *parent, UINT id, DWORD style)
{
    if (!UIStatic::Create(text, rect, parent, id, style))
        return FALSE;
    // The window's own name; the caption is drawn from the label's text.
    SetWindowText(u"UIButton");
    return TRUE;
}

void UIButton::SetImages(UINT normalId, UINT disabledId, UINT pressedId, UINT hoverId, WORD language)
{
    auto load = [&](UINT id) { return LoadPng(id ? id : normalId, language); };
    ReplaceImages(load(normalId), load(disabledId), load(pressedId), load(hoverId));
}

void UIButton::SetCheck(int state)
{
    if (!IsPlain())
    {
        if (state == 0)
            m_bChecked = FALSE;
        else if (state == 1)
            m_bChecked = TRUE;
    }
    SetState(state);
}

void UIButton::OnPaint()
{
    UIStatic::OnPaint();
    // Buttons lie on pictures and labels of their page; they stay above them.
    BringWindowToTop();
}

void UIButton::OnEnable(BOOL enable)
{
    const std::weak_ptr<int> life = LifeToken();
    CWnd::OnEnable(enable);
    if (life.expired() || !m_hWnd)
        return;
    if (enable)
    {
        if (!IsPlain() && m_bChecked)
        {
            SetState(1);
            return;
        }
        if (!IsPlain())
            m_bChecked = FALSE;
        SetState(0);
        return;
    }
    if (m_bRadioMode)
    {
        // A disabled radio button still shows whether it is the chosen one.
        Gdiplus::Image *source = m_bChecked && m_pPressedImage ? m_pPressedImage.get() : m_pNormalImage.get();
        if (source)
        {
            const bool wasCurrent = m_pCurrentImage == m_pDisabledImage.get();
            m_pDisabledImage.reset(source->Clone());
            if (wasCurrent)
                m_pCurrentImage = m_pDisabledImage.get();
        }
    }
    SetState(3);
}

void UIButton::OnLButtonDown(UINT, CPoint)
{
    // Not handed to the parent as a label's press is: the button keeps it.
    if (m_nState == 3)
        return;
    if (m_bRadioMode)
    {
        m_bChecked = TRUE;
        if (m_nState == 0)
            m_nState = 1;
    }
    else if (m_bCheckMode)
    {
        if (m_nState == 1)
        {
            m_nState = 0;
            m_bChecked = FALSE;
        }
        else if (m_nState == 0)
        {
            m_nState = 1;
            m_bChecked = TRUE;
        }
    }
    else
    {
        m_nState = 1;
    }
    Invalidate(TRUE);
    SetCapture();
}

void UIButton::OnLButtonUp(UINT, CPoint)
{
    const bool enabled = m_nState != 3;
    if (enabled && IsPlain())
        SetState(0);
    ::ReleaseCapture();
    // The callback often ends the page this button lives on: it is the last thing done here,
    // and nothing of the button is touched after it.
    ButtonClickCallback callback = enabled ? m_pfnClick : nullptr;
    if (callback)
        callback();
}

void UIButton::OnMouseMove(UINT, CPoint)
{
    if (IsPlain() && m_nState != 3 && m_nState != 1)
        SetState(2);
    if (!m_bTracking)
    {
        m_bTracking = TRUE;
        RequestTracking();
    }
}

void UIButton::OnMouseHover(UINT, CPoint)
{
    RequestTracking();
}

void UIButton::OnMouseLeave()
{
    // A disabled button keeps showing that it is disabled.
    if (IsPlain() && m_nState != 3)
        SetState(0);
    m_bTracking = FALSE;
}

void UIButton::RequestTracking()
{
    TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_HOVER | TME_LEAVE, m_hWnd, HOVER_DEFAULT};
    TrackMouseEvent(&track);
}
